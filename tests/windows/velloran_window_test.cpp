// velloran.exe as the operator meets it, beside a running stand-in host:
// its caption, F9, the close box and its settings file, DEBUG, the donation
// link, and the host's closing event; and the link label itself, in this
// process, by the colours it paints. Run by run-com-tests.sh with the stand-in
// host serving the "ellipse" golden scenario and the shell's "open" of web
// addresses registered as this program's --record-open, which appends the
// show command and the address to OPENED_FILE:
//   velloran_window_test.exe VELLORAN_EXE HOST_EXE OPENED_FILE
//   velloran_window_test.exe --record-open OPENED_FILE ADDRESS
#include <windows.h>

#include "app/win32/UrlLabelWin32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

/// The program's arguments: velloran.exe, the stand-in host and the file
/// that records what the shell was asked to open.
std::string& Argument(int index) {
    static std::string arguments[3];
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

/// The lines of a file, without their line ends.
std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

/// The lines of the opened-file once it has at least count of them (after a
/// moment more, so that an open too many would show too).
std::vector<std::string> WaitForOpened(std::size_t count) {
    for (int i = 0; i < 200 && Lines(Argument(2)).size() < count; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return Lines(Argument(2));
}

LPARAM At(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
}

/// A click of a mouse button on a control, pressed at one point and released
/// at another, as posted messages.
void PostClick(HWND control, UINT down, POINT pressed, POINT released) {
    ::PostMessageA(control, down, 0, At(pressed.x, pressed.y));
    ::PostMessageA(control, down + 1, 0, At(released.x, released.y));
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

TEST(VelloranWindow, TheDonationLinkOpensTheAddressOnAClickOfAnyButton) {
    ::DeleteFileA(Argument(2).c_str());
    TVelloran velloran;
    HWND window = velloran.WaitForWindow();
    ASSERT_NE(window, nullptr);
    HWND link = FindControl(window, 119);
    ASSERT_NE(link, nullptr);
    RECT size{};
    ::GetClientRect(link, &size);
    ASSERT_GT(size.right, 100);

    // Pressed on the link and released below it: nothing; then a click of
    // the right button, released on the bottom-right edge.
    PostClick(link, WM_LBUTTONDOWN, {2, 2}, {2, size.bottom + 20});
    PostClick(link, WM_RBUTTONDOWN, {2, 2}, {size.right, size.bottom});
    const std::string address =
        "https://www.paypal.com/cgi-bin/webscr?cmd=_xclick&business=donations%40example.org"
        "&item_name=The%20Velloran%20Authors%20-%20Velloran&no_shipping=2&no_note=1&tax=0"
        "&currency_code=USD&bn=PP%2BDonationsBF&charset=UTF%2B8";
    // Shown with SW_SHOW (5).
    EXPECT_EQ(WaitForOpened(1), std::vector<std::string>{"5 " + address});
    // Built again, not escaped again, for the next click.
    PostClick(link, WM_LBUTTONDOWN, {2, 2}, {2, 2});
    EXPECT_EQ(WaitForOpened(2), (std::vector<std::string>{"5 " + address, "5 " + address}));

    ::PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(velloran.WaitForExit(), 0);
}

namespace {

/// A link label in a window of this process, with the colours it is made
/// with (blue, red when pressed, navy when visited) and green when hot, and
/// the targets it opens recorded.
class LinkLabel : public ::testing::Test {
protected:
    static constexpr COLORREF kBlue = RGB(0, 0, 255), kRed = RGB(255, 0, 0), kNavy = RGB(0, 0, 128),
                              kGreen = RGB(0, 128, 0);

    void SetUp() override {
        FForm = ::CreateWindowExA(0, "STATIC", "form", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400,
                                  200, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(FForm, nullptr);
        FLabel =
            std::make_unique<app::win32::TUrlLabelWin32>(FForm, FForm, "a link caption", 7, 10, 10);
        FLabel->State().SetHotColor(kGreen);
        FLabel->SetOpener([this](const std::string& target) { FOpened.push_back(target); });
        ::GetClientRect(Label(), &FSize);
        // The mouse rests on the label, so that it is not told the mouse left.
        POINT centre{FSize.right / 2, FSize.bottom / 2};
        ::ClientToScreen(Label(), &centre);
        ::SetCursorPos(centre.x, centre.y);
    }
    void TearDown() override {
        FLabel.reset();
        ::DestroyWindow(FForm);
    }

    HWND Label() const { return FLabel->Handle(); }

    /// Handles what was posted to this thread.
    static void Pump() {
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&message);
    }

    /// The colour the label paints its text in: the commonest colour of its
    /// picture other than the background.
    COLORREF TextColour() const {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = FSize.right;
        info.bmiHeader.biHeight = -FSize.bottom;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HDC dc = ::CreateCompatibleDC(nullptr);
        HBITMAP picture = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        const HGDIOBJ previous = ::SelectObject(dc, picture);
        ::PrintWindow(Label(), dc, PW_CLIENTONLY);
        std::map<COLORREF, int> counts;
        const auto* pixels = static_cast<const std::uint32_t*>(bits);
        for (int i = 0; i < FSize.right * FSize.bottom; ++i) {
            const std::uint32_t p = pixels[i]; // 0x00RRGGBB
            const COLORREF colour = RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
            if (colour != ::GetSysColor(COLOR_BTNFACE))
                ++counts[colour];
        }
        ::SelectObject(dc, previous);
        ::DeleteObject(picture);
        ::DeleteDC(dc);
        COLORREF commonest = CLR_INVALID;
        int most = 0;
        for (const auto& [colour, count] : counts)
            if (count > most) {
                most = count;
                commonest = colour;
            }
        return commonest;
    }

    /// Posts a mouse message to the label, handles it and reads the colour.
    COLORREF After(UINT message, int x, int y) {
        ::PostMessageA(Label(), message, 0, At(x, y));
        Pump();
        return TextColour();
    }

    HWND FForm = nullptr;
    std::unique_ptr<app::win32::TUrlLabelWin32> FLabel;
    RECT FSize{};
    std::vector<std::string> FOpened;
};

} // namespace

TEST_F(LinkLabel, PressedAndReleasedOffItOpensNothingAndRestsInTheLinkColour) {
    EXPECT_EQ(TextColour(), kBlue);
    EXPECT_EQ(After(WM_MOUSEMOVE, 3, 3), kGreen);
    EXPECT_EQ(After(WM_LBUTTONDOWN, 3, 3), kRed);
    // The label holds the mouse, so that it sees the release wherever it is.
    EXPECT_EQ(::GetCapture(), Label());
    EXPECT_EQ(After(WM_MOUSEMOVE, 3, FSize.bottom + 5), kBlue);
    EXPECT_EQ(After(WM_MOUSEMOVE, 3, 3), kRed);
    EXPECT_EQ(After(WM_LBUTTONUP, FSize.right + 1, 3), kBlue);
    EXPECT_EQ(::GetCapture(), nullptr);
    EXPECT_TRUE(FOpened.empty());
    EXPECT_FALSE(FLabel->State().Visited());
    EXPECT_EQ(After(WM_MOUSELEAVE, 0, 0), kBlue);
}

TEST_F(LinkLabel, AnyButtonClicksAndTheLabelThenRestsVisited) {
    // The right button, released on the bottom-right edge; the label has no
    // URL, so its caption is opened.
    EXPECT_EQ(After(WM_RBUTTONDOWN, 1, 1), kRed);
    EXPECT_EQ(After(WM_RBUTTONUP, FSize.right, FSize.bottom), kNavy);
    EXPECT_EQ(FOpened, std::vector<std::string>{"a link caption"});
    // Off the label and back.
    EXPECT_EQ(After(WM_MOUSELEAVE, 0, 0), kNavy);
    EXPECT_EQ(After(WM_MOUSEMOVE, 2, 2), kGreen);
    EXPECT_EQ(After(WM_MBUTTONDOWN, 2, 2), kRed);
    EXPECT_EQ(After(WM_MBUTTONUP, -1, 2), kNavy);

    FLabel->SetURL("https://example.org/");
    EXPECT_EQ(After(WM_MBUTTONDOWN, 2, 2), kRed);
    EXPECT_EQ(After(WM_MBUTTONUP, 2, 2), kNavy);
    EXPECT_EQ(FOpened, (std::vector<std::string>{"a link caption", "https://example.org/"}));
}

TEST_F(LinkLabel, APressWhoseMouseAnotherWindowTakesEndsWithoutAClick) {
    EXPECT_EQ(After(WM_LBUTTONDOWN, 2, 2), kRed);
    ::SetCapture(FForm);
    Pump();
    EXPECT_EQ(TextColour(), kBlue);
    ::ReleaseCapture();
    EXPECT_EQ(After(WM_LBUTTONUP, 2, 2), kBlue);
    EXPECT_TRUE(FOpened.empty());
}

/// A notification area of our own for the tests, where the system has none:
/// a "Shell_TrayWnd" window, served on a thread of its own, that takes every
/// icon the shell hands it.
class TFakeNotificationArea {
public:
    TFakeNotificationArea() {
        FThread = std::thread([this] {
            WNDCLASSA windowClass{};
            windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) -> LRESULT {
                if (message == WM_COPYDATA)
                    return TRUE;
                return ::DefWindowProcA(window, message, wParam, lParam);
            };
            windowClass.hInstance = ::GetModuleHandleA(nullptr);
            windowClass.lpszClassName = "Shell_TrayWnd";
            ::RegisterClassA(&windowClass);
            FWindow = ::CreateWindowExA(0, "Shell_TrayWnd", "", WS_POPUP, 0, 0, 0, 0, nullptr,
                                        nullptr, windowClass.hInstance, nullptr);
            FThreadId = ::GetCurrentThreadId();
            FReady = true;
            MSG message;
            while (::GetMessageA(&message, nullptr, 0, 0) > 0)
                ::DispatchMessageA(&message);
            ::DestroyWindow(FWindow);
        });
        while (!FReady)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ~TFakeNotificationArea() {
        ::PostThreadMessageA(FThreadId, WM_QUIT, 0, 0);
        FThread.join();
    }

private:
    std::thread FThread;
    std::atomic<bool> FReady{false};
    HWND FWindow = nullptr;
    DWORD FThreadId = 0;
};

void WriteIniBesideVelloran(const std::string& content) {
    std::ofstream(Argument(0).substr(0, Argument(0).find_last_of('.')) + ".INI", std::ios::binary)
        << content;
}

/// Waits until the window is shown and not minimized.
bool WaitForRestored(HWND window) {
    for (int i = 0; i < 200; ++i) {
        if (::IsWindowVisible(window) && !::IsIconic(window))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Saved minimized with "Minimize to Tray" ticked: into the tray where a
// notification area takes the icon, and minimized on the taskbar where none
// does, never hidden with no way back.
TEST(VelloranWindow, StartingMinimizedNeverLosesTheWindow) {
    if (::FindWindowA("Shell_TrayWnd", nullptr))
        GTEST_SKIP() << "this desktop has a notification area of its own";
    HDC screen = ::GetDC(nullptr);
    const int ppi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    const std::string minimized = "[MainForm]\r\nShowCmd=2\r\nNormalPos=40,40,567,506\r\n"
                                  "PixelsPerInch=" +
                                  std::to_string(ppi) + "\r\n";
    for (const bool withTray : {false, true}) {
        SCOPED_TRACE(withTray ? "with a notification area" : "without a notification area");
        WriteIniBesideVelloran(minimized);
        std::unique_ptr<TFakeNotificationArea> tray;
        if (withTray)
            tray = std::make_unique<TFakeNotificationArea>();
        TVelloran velloran;
        HWND window = velloran.WaitForWindow(); // the caption comes with the run at start
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(WaitForText(FindControl(window, kMemo1), "Your ALOHA radius is"));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (withTray) {
            EXPECT_FALSE(::IsWindowVisible(window));
            // A double click on the tray icon brings it back.
            ::PostMessageA(window, WM_USER + 100, 1, WM_LBUTTONDBLCLK);
        } else {
            EXPECT_TRUE(::IsWindowVisible(window));
            EXPECT_TRUE(::IsIconic(window));
            ::PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
        }
        EXPECT_TRUE(WaitForRestored(window));
        ::PostMessageA(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(velloran.WaitForExit(), 0);
        EXPECT_NE(IniBesideVelloran().find("ShowCmd=1\r\n"), std::string::npos)
            << IniBesideVelloran();
    }
    WriteIniBesideVelloran("");
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
    // The shell's "open" of a web address, as the tests register it.
    if (argc == 4 && std::string(argv[1]) == "--record-open") {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        ::GetStartupInfoA(&startup);
        const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
        std::ofstream(argv[2], std::ios::binary | std::ios::app) << show << ' ' << argv[3] << '\n';
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: velloran_window_test VELLORAN_EXE HOST_EXE OPENED_FILE\n");
        return 2;
    }
    Argument(0) = argv[1];
    Argument(1) = argv[2];
    Argument(2) = argv[3];
    return RUN_ALL_TESTS();
}
