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
#include "tests/common/Files.h"

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

std::wstring Wide(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                              static_cast<int>(wide.size()))));
    return wide;
}

/// For failure messages.
std::string Narrow(const std::wstring& wide) {
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(static_cast<std::size_t>(
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(),
                              static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

constexpr const char* kCaption = "Velloran v1.5.0 - Station Call Sign - N0CALL";
constexpr int kMemo1 = 101, kDebugGroup = 115;

/// A velloran.exe process (by default the one named on the command line),
/// ended by the test if it is still running.
class TVelloran {
public:
    explicit TVelloran(const std::string& args = "", const std::wstring& exe = L"") {
        std::wstring command = L"\"" + (exe.empty() ? Wide(Argument(0)) : exe) + L"\"" +
                               (args.empty() ? L"" : L" " + Wide(args));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &FProcess))
            throw std::runtime_error("velloran.exe did not start");
    }
    ~TVelloran() {
        if (::WaitForSingleObject(FProcess.hProcess, 0) == WAIT_TIMEOUT)
            ::TerminateProcess(FProcess.hProcess, 99);
        ::CloseHandle(FProcess.hProcess);
        ::CloseHandle(FProcess.hThread);
    }

    DWORD Id() const { return FProcess.dwProcessId; }

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
    /// The text as the window holds it, whatever the system's code page.
    static std::wstring WideText(HWND window) {
        std::wstring text(
            static_cast<std::size_t>(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
        const LRESULT n =
            ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(n));
        return text;
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

bool WaitForText(HWND control, const std::string& text, int tenthsOfASecond = 200) {
    for (int i = 0; i < tenthsOfASecond; ++i) {
        if (TVelloran::Text(control).find(text) != std::string::npos)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

std::string IniBesideVelloran() {
    return testcommon::ReadWholeFile(Argument(0).substr(0, Argument(0).find_last_of('.')) + ".INI");
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
    // While a run is still going Calculate is disabled and F9 does nothing:
    // pressed again until a run starts.
    bool again = false;
    for (int i = 0; i < 10 && !again; ++i) {
        ::PostMessageA(window, WM_KEYDOWN, VK_F9, 1);
        ::PostMessageA(window, WM_KEYUP, VK_F9, 0xC0000001);
        again = WaitForText(memo1, radius, 20);
    }
    EXPECT_TRUE(again);

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

namespace {

constexpr int kMemo3 = 103, kMemo4 = 104, kRecalculateRate = 112, kMinimizeToTray = 110,
              kSave = 118, kTrayExit = 204, kAbout = 205;
constexpr UINT kTrayMessage = WM_USER + 100;

struct TBoxSearch {
    DWORD Process;
    HWND Found;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<TBoxSearch*>(data);
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, 16);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != search->Process || std::wstring(name) != L"#32770")
        return TRUE;
    search->Found = window;
    return FALSE;
}

template <class Condition> bool WaitUntil(Condition condition) {
    for (int i = 0; i < 200; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

/// The message box the process shows, once it is there (null after 20 s).
HWND WaitForBox(DWORD process) {
    for (int i = 0; i < 200; ++i) {
        TBoxSearch search{process, nullptr};
        ::EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
        if (search.Found)
            return search.Found;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return nullptr;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM data) {
    wchar_t name[16] = {};
    ::GetClassNameW(child, name, 16);
    if (::lstrcmpiW(name, L"Static") == 0) {
        const std::wstring text = TVelloran::WideText(child);
        if (!text.empty())
            *reinterpret_cast<std::wstring*>(data) += text + L"\n";
    }
    return TRUE;
}

/// What a message box says: the texts of its static controls.
std::wstring BoxText(HWND box) {
    std::wstring text;
    ::EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&text));
    return text;
}

/// Reads the message box the process shows and closes it with OK.
std::wstring ReadAndCloseBox(DWORD process) {
    HWND box = WaitForBox(process);
    // The box exists a moment before it has its text and shows.
    if (!box || !WaitUntil([&] { return ::IsWindowVisible(box) && !BoxText(box).empty(); }))
        return L"(no message box)";
    const std::wstring text = BoxText(box);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    return text;
}

std::wstring Folder(const std::wstring& file) {
    return file.substr(0, file.find_last_of(L"\\/"));
}

/// The lines of a golden case's file between two headings, with the NUL a
/// pane shows as its stand-in, joined as an edit control holds them.
std::wstring GoldenSection(const std::string& file, const std::string& from,
                           const std::string& to) {
    std::ifstream in(file, std::ios::binary);
    std::string text, line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (line == to)
            break;
        if (inside)
            text += (text.empty() ? "" : "\r\n") + line;
        if (line == from)
            inside = true;
    }
    std::wstring wide = Wide(text);
    for (wchar_t& c : wide)
        if (c == L'\0')
            c = L'\x2400';
    return wide;
}

} // namespace

TEST(VelloranWindow, AboutTellsTheVersionTheSettingsFileAndTheHost) {
    TVelloran velloran;
    HWND window = velloran.WaitForWindow();
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_COMMAND, kAbout, 0);
    const std::wstring about = ReadAndCloseBox(velloran.Id());
    EXPECT_EQ(about.find(L"Velloran 1."), 0u) << Narrow(about);
    const std::wstring exe = Wide(Argument(0));
    const std::wstring ini = exe.substr(0, exe.find_last_of(L'.')) + L".INI";
    EXPECT_NE(about.find(L"Settings file: " + ini), std::wstring::npos) << Narrow(about);
    EXPECT_NE(about.find(L"Host: UIView32.clsUIV over COM: \"" + Wide(Argument(1)) + L"\""),
              std::wstring::npos)
        << Narrow(about);
    // Ctrl+Q ends it, as Exit does.
    ::SetForegroundWindow(window);
    INPUT keys[4] = {};
    for (INPUT& key : keys)
        key.type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[3].ki.wVk = VK_CONTROL;
    keys[1].ki.wVk = keys[2].ki.wVk = 'Q';
    keys[2].ki.dwFlags = keys[3].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(4, keys, sizeof(INPUT));
    EXPECT_EQ(velloran.WaitForExit(), 0);
}

TEST(VelloranWindow, AnErrorTextInAnyLanguageReachesTheOperatorWhole) {
    // A copy in a folder whose name no single code page holds, with a folder
    // where its settings file would be: saving fails, naming the file.
    const std::wstring folder =
        Folder(Wide(Argument(0))) + L"\\\u00dcn\u00efc\u00f6d\u00e9 \u7121\u7dda";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::CreateDirectoryW((folder + L"\\velloran.INI").c_str(), nullptr);
    ASSERT_TRUE(
        ::CopyFileW(Wide(Argument(0)).c_str(), (folder + L"\\velloran.exe").c_str(), FALSE));
    TVelloran velloran("", folder + L"\\velloran.exe");
    HWND window = velloran.WaitForWindow();
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_COMMAND, kSave, 0);
    const std::wstring error = ReadAndCloseBox(velloran.Id());
    EXPECT_NE(error.find(L"Unable to write to " + folder + L"\\velloran.INI"), std::wstring::npos)
        << Narrow(error);
}

TEST(VelloranWindow, TheOptionsSaveWritesTheSettingsFile) {
    TVelloran velloran;
    HWND window = velloran.WaitForWindow();
    ASSERT_NE(window, nullptr);
    HWND rate = FindControl(window, kRecalculateRate);
    ASSERT_NE(rate, nullptr);
    ::SendMessageW(rate, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"45"));
    ::SendMessageW(FindControl(window, kMinimizeToTray), BM_SETCHECK, BST_UNCHECKED, 0);
    ::SendMessageW(window, WM_COMMAND, kSave, 0);
    const std::string ini = IniBesideVelloran();
    EXPECT_NE(ini.find("edRecalculateRate.Text=45\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("cbMinimizeToTray.Checked=False\r\n"), std::string::npos) << ini;
    // Read back by the next start.
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(velloran.WaitForExit(), 0);
    TVelloran again;
    window = again.WaitForWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TVelloran::Text(FindControl(window, kRecalculateRate)), "45");
    EXPECT_EQ(::SendMessageW(FindControl(window, kMinimizeToTray), BM_GETCHECK, 0, 0),
              BST_UNCHECKED);
    ::SendMessageW(FindControl(window, kMinimizeToTray), BM_SETCHECK, BST_CHECKED, 0);
    ::SendMessageW(rate = FindControl(window, kRecalculateRate), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(L"30"));
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(again.WaitForExit(), 0);
}

TEST(VelloranWindow, TheEndOfTheWindowsSessionSavesTheSettings) {
    TVelloran velloran;
    HWND window = velloran.WaitForWindow();
    ASSERT_NE(window, nullptr);
    ::SendMessageW(FindControl(window, kRecalculateRate), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(L"31"));
    EXPECT_TRUE(::SendMessageW(window, WM_QUERYENDSESSION, 0, 0));
    ::SendMessageW(window, WM_ENDSESSION, TRUE, 0);
    const std::string ini = IniBesideVelloran();
    EXPECT_NE(ini.find("edRecalculateRate.Text=31\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[MainForm]\r\n"), std::string::npos) << ini;
    // Windows ends the program itself once the session ends.
}

TEST(VelloranWindow, MinimizedItGoesToTheTrayAndComesBack) {
    TVelloran velloran;
    HWND window = velloran.WaitForWindow();
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    // Hidden with its icon in the tray (or, where there is no tray, minimized).
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(window) || ::IsIconic(window); }));
    // A double click on the icon brings it back.
    ::PostMessageW(window, kTrayMessage, 0, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) && !::IsIconic(window); }));
    // Exit from the icon's menu ends it.
    ::PostMessageW(window, WM_COMMAND, kTrayExit, 0);
    EXPECT_EQ(velloran.WaitForExit(), 0);
}

TEST(VelloranWindow, ASecondOneBringsTheFirstToTheFrontAndEnds) {
    TVelloran first;
    HWND window = first.WaitForWindow();
    ASSERT_NE(window, nullptr);
    ::PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(window) || ::IsIconic(window); }));
    TVelloran second("DEBUG");
    EXPECT_EQ(second.WaitForExit(), 0);
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) && !::IsIconic(window); }));
    int windows = 0;
    for (HWND w = nullptr; (w = ::FindWindowExA(nullptr, w, "TVelloranForm", nullptr));)
        ++windows;
    EXPECT_EQ(windows, 1);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.WaitForExit(), 0);
}

// Beside a host on the "nul-symbol" golden case: a NUL in a line (an empty
// symbol text) loses nothing after it.
TEST(VelloranWindowNulSymbol, EveryLineOfTheRunIsInThePane) {
    TVelloran velloran;
    HWND window = velloran.WaitForWindow();
    ASSERT_NE(window, nullptr);
    HWND details = FindControl(window, kMemo4);
    ASSERT_NE(details, nullptr);
    const std::string golden = VELLORAN_SOURCE_DIR "/tests/golden/nul-symbol/expected.out";
    const std::wstring expected =
        GoldenSection(golden, "== Calculation Details ==", "== Packets Considered ==");
    ASSERT_NE(expected.find(L"W1NUL Dist: 3 symbol: \x2400\x2400"), std::wstring::npos);
    EXPECT_TRUE(WaitUntil([&] { return TVelloran::WideText(details) == expected; }))
        << Narrow(TVelloran::WideText(details));
    EXPECT_EQ(TVelloran::WideText(FindControl(window, kMemo3)),
              GoldenSection(golden, "== Packets Considered ==", "== Map =="));
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(velloran.WaitForExit(), 0);
}

// Beside a host whose texts hold accented letters and CJK characters.
TEST(VelloranWindowNonAscii, TheHostsTextsReachThePanesWhole) {
    TVelloran velloran;
    HWND window = velloran.WaitForWindow();
    ASSERT_NE(window, nullptr);
    HWND packets = FindControl(window, kMemo3);
    ASSERT_NE(packets, nullptr);
    const std::wstring path = L"0: APRS,\u00c9metteur-\u00fc,\u7121\u7dda\u5c40";
    EXPECT_TRUE(
        WaitUntil([&] { return TVelloran::WideText(packets).find(path) != std::wstring::npos; }));
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(velloran.WaitForExit(), 0);
}

// Stops or resumes the running stand-in host as a whole.
void StopHost(bool stop) {
    HWND control = ::FindWindowW(L"VelloranStandinHostControl", nullptr);
    ASSERT_NE(control, nullptr);
    DWORD id = 0;
    ::GetWindowThreadProcessId(control, &id);
    const HANDLE process = ::OpenProcess(PROCESS_SUSPEND_RESUME, FALSE, id);
    ASSERT_NE(process, nullptr);
    using TCall = LONG(WINAPI*)(HANDLE);
    const auto change = reinterpret_cast<TCall>(reinterpret_cast<void*>(::GetProcAddress(
        ::GetModuleHandleW(L"ntdll.dll"), stop ? "NtSuspendProcess" : "NtResumeProcess")));
    ASSERT_NE(change, nullptr);
    EXPECT_GE(change(process), 0);
    ::CloseHandle(process);
}

// Beside a host that stops: the window goes on answering while a run waits
// for it, the run ends with the operator's words within the limit, and once
// the host goes on the next run is whole.
TEST(VelloranWindowHostTrouble, AStoppedHostLeavesTheWindowAnsweringAndSaysSo) {
    ::SetEnvironmentVariableW(L"VELLORAN_HOST_TIMEOUT_MS", L"4000");
    TVelloran velloran;
    ::SetEnvironmentVariableW(L"VELLORAN_HOST_TIMEOUT_MS", nullptr);
    HWND window = velloran.WaitForWindow();
    ASSERT_NE(window, nullptr);
    HWND memo1 = FindControl(window, kMemo1);
    const std::string radius = "Your ALOHA radius is";
    ASSERT_TRUE(WaitForText(memo1, radius));

    StopHost(true);
    ::SendMessageA(memo1, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    ::PostMessageA(window, WM_KEYDOWN, VK_F9, 1);
    ::PostMessageA(window, WM_KEYUP, VK_F9, 0xC0000001);
    // While the run waits the window answers: each question is taken within
    // a second (a generous bound for a busy machine; a blocked window takes
    // the whole limit).
    const ULONGLONG start = ::GetTickCount64();
    ULONGLONG slowest = 0;
    while (::GetTickCount64() - start < 3000) {
        const ULONGLONG asked = ::GetTickCount64();
        DWORD_PTR result = 0;
        EXPECT_NE(::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 3000, &result), 0);
        slowest = std::max(slowest, ::GetTickCount64() - asked);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_LT(slowest, 1000u);
    const std::wstring text = ReadAndCloseBox(velloran.Id());
    EXPECT_EQ(text.find(L"The host is not answering."), 0u) << Narrow(text);
    EXPECT_NE(text.find(L"within 4000 ms"), std::wstring::npos) << Narrow(text);

    StopHost(false);
    bool again = false;
    for (int i = 0; i < 20 && !again; ++i) {
        ::PostMessageA(window, WM_KEYDOWN, VK_F9, 1);
        ::PostMessageA(window, WM_KEYUP, VK_F9, 0xC0000001);
        again = WaitForText(memo1, radius, 10);
        // A redraw that failed at once while the host stood still may have
        // said so too.
        TBoxSearch search{velloran.Id(), nullptr};
        ::EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
        if (!again && search.Found)
            ReadAndCloseBox(velloran.Id());
    }
    EXPECT_TRUE(again);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(velloran.WaitForExit(), 0);
}

// With no host registered: what that means for the operator, then the
// technical text, and exit status 1.
TEST(VelloranWithoutHost, SaysTheHostIsNotInstalledAndEnds) {
    TVelloran velloran;
    const std::wstring text = ReadAndCloseBox(velloran.Id());
    EXPECT_EQ(text.find(L"The host is not installed, or not registered."), 0u) << Narrow(text);
    EXPECT_NE(text.find(L"velloran-standin-host.exe /RegServer"), std::wstring::npos)
        << Narrow(text);
    EXPECT_NE(text.find(L"Details: Class not registered."), std::wstring::npos) << Narrow(text);
    EXPECT_EQ(velloran.WaitForExit(), 1);
}

// With VELLORAN_SCENARIO, as on Linux, no host is needed: an embedded
// stand-in host serves the scenario, and About names it.
TEST(VelloranWithoutHost, WithAScenarioItRunsOnAnEmbeddedHost) {
    char folder[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, folder);
    const std::string scenario = std::string(folder) + "velloran-embedded-scenario.json";
    std::ofstream(scenario, std::ios::binary)
        << R"({"own": {"callsign": "n0call", "lat": 2580, "long": -4200}, "stations": [)"
           R"({"callsign": "W1ABC", "symbolTable": "/", "symbolCode": ">", "speed": 30,)"
           R"( "distance": 12, "lat": 2586, "long": -4200, "path": "APRS",)"
           R"( "lastHeardRF": "2026-12-08 14:00:00", "lastHeardInternet": ""}]})";
    ::SetEnvironmentVariableA("VELLORAN_SCENARIO", scenario.c_str());
    TVelloran velloran;
    ::SetEnvironmentVariableA("VELLORAN_SCENARIO", nullptr);
    HWND window = velloran.WaitForWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(TVelloran::Text(window), kCaption);
    HWND memo1 = FindControl(window, kMemo1);
    ASSERT_NE(memo1, nullptr);
    EXPECT_TRUE(WaitForText(memo1, "Your station hears an estimated 15 packets"))
        << TVelloran::Text(memo1);
    ::PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(velloran.WaitForExit(), 0);
    ::DeleteFileA(scenario.c_str());
}

namespace {

/// A notification area of our own for the tests, where the system has none:
/// a "Shell_TrayWnd" window, served on a thread of its own, that takes every
/// icon the shell hands it.
class TFakeNotificationArea {
public:
    TFakeNotificationArea() {
        FThread = std::thread([this] {
            WNDCLASSA windowClass{};
            windowClass.lpfnWndProc = Proc;
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
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COPYDATA)
            return TRUE;
        return ::DefWindowProcA(window, message, wParam, lParam);
    }

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

} // namespace

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
        ASSERT_NE(window, nullptr) << Narrow(ReadAndCloseBox(velloran.Id()));
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
