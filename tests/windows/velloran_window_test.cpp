// velloran.exe as the operator meets it, beside a running stand-in host:
// its caption, F9, the close box and its settings file, DEBUG, and the host's
// closing event. Run by run-com-tests.sh with the stand-in host serving the
// "ellipse" golden scenario.
//   velloran_window_test.exe VELLORAN_EXE HOST_EXE
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

namespace {

/// The program's two arguments: velloran.exe and the stand-in host.
std::string& Argument(int index) {
    static std::string arguments[2];
    return arguments[index];
}

constexpr const char* kCaption = "Velloran v1.5.0 - Station Call Sign - N0CALL";
constexpr int kMemo1 = 101, kDebugGroup = 115;

/// A velloran.exe process, ended by the test if it is still running.
class TVelloran {
public:
    explicit TVelloran(const std::string& args = "") {
        std::string command = "\"" + Argument(0) + "\"" + (args.empty() ? "" : " " + args);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &FProcess))
            throw std::runtime_error("velloran.exe did not start");
    }
    ~TVelloran() {
        if (::WaitForSingleObject(FProcess.hProcess, 0) == WAIT_TIMEOUT)
            ::TerminateProcess(FProcess.hProcess, 99);
        ::CloseHandle(FProcess.hProcess);
        ::CloseHandle(FProcess.hThread);
    }

    /// The main window, once it has its caption from the host.
    HWND WaitForWindow() {
        for (int i = 0; i < 300; ++i) {
            HWND window = ::FindWindowA("TVelloranForm", nullptr);
            DWORD process = 0;
            if (window)
                ::GetWindowThreadProcessId(window, &process);
            if (window && process == FProcess.dwProcessId &&
                Text(window).rfind("Velloran v", 0) == 0)
                return window;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return nullptr;
    }
    /// The exit status, or -1 when it does not end within 20 s.
    int WaitForExit() {
        if (::WaitForSingleObject(FProcess.hProcess, 20000) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        ::GetExitCodeProcess(FProcess.hProcess, &code);
        return static_cast<int>(code);
    }

    static std::string Text(HWND window) {
        char text[65536];
        const LRESULT n =
            ::SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
        return std::string(text, static_cast<std::size_t>(n));
    }

private:
    PROCESS_INFORMATION FProcess{};
};

struct TSearch {
    int Id;
    HWND Found;
};

BOOL CALLBACK MatchControl(HWND child, LPARAM data) {
    auto* search = reinterpret_cast<TSearch*>(data);
    if (::GetDlgCtrlID(child) != search->Id)
        return TRUE;
    search->Found = child;
    return FALSE;
}

/// A control of the window by its id, however deep.
HWND FindControl(HWND window, int id) {
    TSearch search{id, nullptr};
    ::EnumChildWindows(window, MatchControl, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

bool WaitForText(HWND control, const std::string& text) {
    for (int i = 0; i < 200; ++i) {
        if (TVelloran::Text(control).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

std::string IniBesideVelloran() {
    std::string ini = Argument(0).substr(0, Argument(0).find_last_of('.')) + ".INI";
    std::ifstream in(ini, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

} // namespace

TEST(VelloranWindow, CaptionF9AndCloseWithItsSettingsFile) {
    {
        std::ofstream ini(Argument(0).substr(0, Argument(0).find_last_of('.')) + ".INI",
                          std::ios::binary);
        ini << "[Hand]\r\nadded=yes\r\n";
    }
    TVelloran velloran;
    HWND window = velloran.WaitForWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TVelloran::Text(window), kCaption);
    HWND memo1 = FindControl(window, kMemo1);
    ASSERT_NE(memo1, nullptr);
    const std::string radius = "Your ALOHA radius is 39 Kilometers or 24 Miles";
    ASSERT_TRUE(WaitForText(memo1, radius)) << TVelloran::Text(memo1);

    // F9 runs again: the emptied pane gets the radius line back.
    ::SendMessageA(memo1, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    ASSERT_EQ(TVelloran::Text(memo1), "");
    ::PostMessageA(window, WM_KEYDOWN, VK_F9, 1);
    ::PostMessageA(window, WM_KEYUP, VK_F9, 0xC0000001);
    EXPECT_TRUE(WaitForText(memo1, radius));

    ::PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(velloran.WaitForExit(), 0);
    const std::string ini = IniBesideVelloran();
    EXPECT_EQ(ini.rfind("[Hand]\r\nadded=yes\r\n", 0), 0u) << ini;
    const std::size_t form = ini.find("[MainForm]\r\n");
    const std::size_t settings = ini.find("[Settings]\r\n");
    ASSERT_NE(form, std::string::npos) << ini;
    ASSERT_NE(settings, std::string::npos) << ini;
    EXPECT_LT(form, settings);
    EXPECT_NE(ini.find("rbDrawCircle.Checked=True\r\n"), std::string::npos) << ini;
    for (std::size_t i = 0; i < ini.size(); ++i) {
        if (ini[i] == '\n') {
            EXPECT_TRUE(i > 0 && ini[i - 1] == '\r') << "a line ends in LF alone at " << i;
        }
    }
}

TEST(VelloranWindow, DebugShowsTheDebugOptions) {
    TVelloran velloran("DEBUG");
    HWND window = velloran.WaitForWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TVelloran::Text(window), std::string(kCaption) + " *DEBUG*");
    HWND debug = FindControl(window, kDebugGroup);
    ASSERT_NE(debug, nullptr);
    EXPECT_TRUE(::GetWindowLongA(debug, GWL_STYLE) & WS_VISIBLE);
    // The Options controls with their texts as the operator knows them. (Wine
    // keeps menus to their own process, so the menus are not read here.)
    const std::pair<int, const char*> options[] = {
        {110, "Minimize to Tray"},
        {111, "Show ALOHA Radius on map (text)"},
        {112, "30"},
        {113, "Draw Circle"},
        {114, "Draw Ellispe"},
        {116, "1800"},
        {117, "Include Internet"},
        {118, "Save"},
        {119, "If you like Velloran consider making a donation"}};
    for (const auto& [id, text] : options) {
        HWND control = FindControl(window, id);
        ASSERT_NE(control, nullptr) << id;
        EXPECT_EQ(TVelloran::Text(control), text);
    }
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(velloran.WaitForExit(), 0);
}

// Last: it closes the host.
TEST(VelloranWindow, TheHostClosingEndsIt) {
    TVelloran velloran;
    HWND window = velloran.WaitForWindow();
    ASSERT_NE(window, nullptr);
    HWND debug = FindControl(window, kDebugGroup);
    ASSERT_NE(debug, nullptr);
    EXPECT_FALSE(::GetWindowLongA(debug, GWL_STYLE) & WS_VISIBLE);
    std::string command = "\"" + Argument(1) + "\" --close";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION closer{};
    ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &startup, &closer));
    ::WaitForSingleObject(closer.hProcess, 20000);
    ::CloseHandle(closer.hProcess);
    ::CloseHandle(closer.hThread);
    EXPECT_EQ(velloran.WaitForExit(), 0);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: velloran_window_test VELLORAN_EXE HOST_EXE\n");
        return 2;
    }
    Argument(0) = argv[1];
    Argument(1) = argv[2];
    return RUN_ALL_TESTS();
}
