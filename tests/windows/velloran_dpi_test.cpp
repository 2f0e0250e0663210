// velloran.exe's Options page at the screen scale the Wine prefix is set to,
// on a real display (Xvfb): every text fits its control in the font the
// window uses at that scale, frames hold what they frame, labels sit on the
// page's own colour, and a resized window shows its page without a repaint
// being forced. Run by run-dpi-tests.sh, which starts velloran.exe DEBUG
// beside the stand-in host first:
//   velloran_dpi_test.exe DPI
#include <windows.h>

#include <commctrl.h>

#include "app/win32/DpiLayout.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

int gDpi = 96;

constexpr int kTabs = 100, kMinimizeToTray = 110, kRecalculateRate = 112, kDebugGroup = 115,
              kPayPal = 119;

std::wstring Text(HWND window) {
    wchar_t text[1024] = {};
    const LRESULT n = ::SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return std::wstring(text, static_cast<std::size_t>(n));
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

HWND WaitForWindow() {
    for (int i = 0; i < 600; ++i) {
        HWND window = ::FindWindowW(L"TVelloranForm", nullptr);
        if (window && Text(window).rfind(L"Velloran v", 0) == 0)
            return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return nullptr;
}

struct TFindId {
    int Id;
    HWND Found;
};

BOOL CALLBACK MatchId(HWND child, LPARAM data) {
    auto* find = reinterpret_cast<TFindId*>(data);
    if (::GetDlgCtrlID(child) != find->Id)
        return TRUE;
    find->Found = child;
    return FALSE;
}

/// The page that holds a control, found by the control's id.
HWND PageOf(HWND window, int id) {
    TFindId find{id, nullptr};
    ::EnumChildWindows(window, MatchId, reinterpret_cast<LPARAM>(&find));
    return find.Found ? ::GetParent(find.Found) : nullptr;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
        if (::IsWindowVisible(child))
            children.push_back(child);
    return children;
}

RECT ScreenRect(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return r;
}

COLORREF ScreenPixel(int x, int y) {
    HDC screen = ::GetDC(nullptr);
    const COLORREF colour = ::GetPixel(screen, x, y);
    ::ReleaseDC(nullptr, screen);
    return colour;
}

/// Pixels of a rectangle of the screen that differ from `background`.
int PixelsOtherThan(const RECT& r, COLORREF background) {
    HDC screen = ::GetDC(nullptr);
    int count = 0;
    for (int y = r.top; y < r.bottom; y += 1)
        for (int x = r.left; x < r.right; x += 1)
            count += ::GetPixel(screen, x, y) != background;
    ::ReleaseDC(nullptr, screen);
    return count;
}

class OptionsPage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FWindow = WaitForWindow();
        if (!FWindow)
            return;
        ::ShowWindow(FWindow, SW_RESTORE);
        ::SetForegroundWindow(FWindow);
        // To the Options page as the keyboard gets there.
        HWND tabs = ::GetDlgItem(FWindow, kTabs);
        for (int i = 0; i < 4; ++i) {
            ::PostMessageW(tabs, WM_KEYDOWN, VK_RIGHT, 1);
            ::PostMessageW(tabs, WM_KEYUP, VK_RIGHT, 0xC0000001);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        FPage = PageOf(FWindow, kMinimizeToTray);
    }

    static HWND FWindow;
    static HWND FPage;
};

HWND OptionsPage::FWindow = nullptr;
HWND OptionsPage::FPage = nullptr;

TEST_F(OptionsPage, TheWindowIsLaidOutForItsScale) {
    ASSERT_NE(FWindow, nullptr);
    ASSERT_NE(FPage, nullptr);
    EXPECT_EQ(app::win32::WindowDpi(FWindow), gDpi);
    const RECT window = ScreenRect(FWindow);
    EXPECT_GE(window.right - window.left, app::win32::ScaleForDpi(527, gDpi) - 2);
    EXPECT_TRUE(::IsWindowVisible(FPage));
}

TEST_F(OptionsPage, EveryTextFitsItsControl) {
    ASSERT_NE(FPage, nullptr);
    HFONT font = app::win32::MessageFontForDpi(gDpi);
    HDC dc = ::GetDC(nullptr);
    const HGDIOBJ previous = ::SelectObject(dc, font);
    const RECT page = ScreenRect(FPage);
    std::vector<std::pair<HWND, RECT>> frames;
    int checked = 0;
    for (HWND control : Children(FPage)) {
        const RECT r = ScreenRect(control);
        const std::wstring text = Text(control);
        const std::wstring kind = ClassOf(control);
        const LONG style = ::GetWindowLongW(control, GWL_STYLE);
        const std::string name(text.begin(), text.end());
        EXPECT_TRUE(r.left >= page.left && r.top >= page.top && r.right <= page.right &&
                    r.bottom <= page.bottom)
            << name << " leaves the page";
        const int type = style & BS_TYPEMASK;
        if (kind == L"Button" && type == BS_GROUPBOX) {
            frames.emplace_back(control, r);
            continue;
        }
        if (::GetDlgCtrlID(control) == kPayPal || text.empty() || kind == L"Edit")
            continue;
        const bool box = kind == L"Button" && type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON;
        SIZE extent{};
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        const int room = (r.right - r.left) - (box ? app::win32::ScaleForDpi(13 + 4, gDpi) : 0);
        if (kind == L"Static" && extent.cx > room) {
            RECT needed{0, 0, r.right - r.left, 0};
            ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                        DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            EXPECT_LE(needed.bottom, r.bottom - r.top) << name << " is cut at the bottom";
        } else {
            EXPECT_LE(extent.cx, room) << name << " is cut at the right";
            EXPECT_LE(extent.cy, r.bottom - r.top) << name << " is cut at the bottom";
        }
        ++checked;
    }
    EXPECT_GE(checked, 9); // two check boxes, two radio buttons, five labels, Save
    // A frame holds every control that starts inside it.
    for (const auto& [frame, outer] : frames)
        for (HWND control : Children(FPage)) {
            const RECT r = ScreenRect(control);
            if (control == frame || r.left < outer.left || r.top < outer.top ||
                r.left >= outer.right || r.top >= outer.bottom)
                continue;
            EXPECT_LE(r.right, outer.right) << "a control leaves its frame at the right";
            EXPECT_LE(r.bottom, outer.bottom) << "a control leaves its frame at the bottom";
        }
    EXPECT_EQ(frames.size(), 2u); // the shapes and Debug
    ::SelectObject(dc, previous);
    ::ReleaseDC(nullptr, dc);
    ::DeleteObject(font);
}

// Labels, check boxes and radio buttons show the page's colour around their
// text, not boxes of another: the control's top row, above its text, is
// background.
TEST_F(OptionsPage, LabelsSitOnThePagesColour) {
    ASSERT_NE(FPage, nullptr);
    ::RedrawWindow(FWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const RECT page = ScreenRect(FPage);
    const COLORREF background = ScreenPixel(page.right - 3, page.top + 3);
    int checked = 0;
    for (HWND control : Children(FPage)) {
        const std::wstring kind = ClassOf(control);
        const int type = ::GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
        const bool box =
            kind == L"Button" && (type == BS_AUTOCHECKBOX || type == BS_AUTORADIOBUTTON);
        if (kind != L"Static" && !box)
            continue;
        RECT row = ScreenRect(control);
        row.left += box ? app::win32::ScaleForDpi(13 + 4, gDpi) : 0;
        row.bottom = row.top + 1;
        // A glyph may reach into the row here and there; a box fills it.
        const std::wstring text = Text(control);
        EXPECT_LE(PixelsOtherThan(row, background), (row.right - row.left) / 10)
            << std::string(text.begin(), text.end()) << " sits on a box of another colour";
        ++checked;
    }
    EXPECT_GE(checked, 9);
}

// After a resize the page shows its controls without another tab being
// chosen or a repaint being forced.
TEST_F(OptionsPage, AResizedWindowShowsItsPage) {
    ASSERT_NE(FPage, nullptr);
    const RECT before = ScreenRect(FWindow);
    ::SetWindowPos(FWindow, nullptr, 0, 0, before.right - before.left + 60,
                   before.bottom - before.top + 40, SWP_NOMOVE | SWP_NOZORDER);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    const RECT page = ScreenRect(FPage);
    const COLORREF background = ScreenPixel(page.right - 3, page.top + 3);
    HWND minimize = ::GetDlgItem(FPage, kMinimizeToTray);
    ASSERT_NE(minimize, nullptr);
    EXPECT_GT(PixelsOtherThan(ScreenRect(minimize), background), 20)
        << "the check box is not drawn";
    HWND debug = ::GetDlgItem(FPage, kDebugGroup);
    ASSERT_NE(debug, nullptr);
    EXPECT_GT(PixelsOtherThan(ScreenRect(debug), background), 20) << "the Debug frame is not drawn";
}

/// The hints a tooltip window of another process holds, by the id of the
/// control each belongs to, read through memory lent in that process.
std::map<int, std::wstring> HintsOf(HWND tips) {
    std::map<int, std::wstring> hints;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(tips, &pid);
    HANDLE process =
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return hints;
    constexpr std::size_t kChars = 256;
    void* remote =
        ::VirtualAllocEx(process, nullptr, sizeof(TTTOOLINFOW) + kChars * sizeof(wchar_t),
                         MEM_COMMIT, PAGE_READWRITE);
    auto* remoteInfo = static_cast<TTTOOLINFOW*>(remote);
    auto* remoteText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote) + sizeof(TTTOOLINFOW));
    const auto count = static_cast<int>(::SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; remote && i < count; ++i) {
        TTTOOLINFOW info{};
        info.cbSize = sizeof info;
        info.lpszText = remoteText;
        ::WriteProcessMemory(process, remoteInfo, &info, sizeof info, nullptr);
        if (!::SendMessageW(tips, TTM_ENUMTOOLSW, static_cast<WPARAM>(i),
                            reinterpret_cast<LPARAM>(remoteInfo)))
            continue;
        ::ReadProcessMemory(process, remoteInfo, &info, sizeof info, nullptr);
        info.lpszText = remoteText;
        ::WriteProcessMemory(process, remoteInfo, &info, sizeof info, nullptr);
        ::SendMessageW(tips, TTM_GETTEXTW, kChars, reinterpret_cast<LPARAM>(remoteInfo));
        wchar_t text[kChars] = {};
        ::ReadProcessMemory(process, remoteText, text, sizeof text - sizeof(wchar_t), nullptr);
        hints[::GetDlgCtrlID(reinterpret_cast<HWND>(info.uId))] = text;
    }
    if (remote)
        ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
    return hints;
}

struct TFindTips {
    HWND Owner;
    HWND Tips;
};

BOOL CALLBACK MatchTips(HWND window, LPARAM data) {
    auto* find = reinterpret_cast<TFindTips*>(data);
    if (ClassOf(window) != TOOLTIPS_CLASSW || ::GetWindow(window, GW_OWNER) != find->Owner)
        return TRUE;
    find->Tips = window;
    return FALSE;
}

// The Options hints, as the Qt window shows them.
TEST_F(OptionsPage, HintsSayWhatTheOptionsDo) {
    ASSERT_NE(FWindow, nullptr);
    TFindTips find{FWindow, nullptr};
    ::EnumWindows(MatchTips, reinterpret_cast<LPARAM>(&find));
    ASSERT_NE(find.Tips, nullptr);
    const std::map<int, std::wstring> hints = HintsOf(find.Tips);
    EXPECT_EQ(hints.size(), 2u);
    EXPECT_EQ(hints.count(kMinimizeToTray) ? hints.at(kMinimizeToTray) : L"",
              L"Hide and minimize to the system tray area");
    EXPECT_EQ(hints.count(kRecalculateRate) ? hints.at(kRecalculateRate) : L"",
              L"How often to recalculate the ALOHA radius");
}

} // namespace

int main(int argc, char** argv) {
    // Measured in the screen's own pixels, as velloran.exe lays them out.
    ::SetProcessDPIAware();
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1)
        gDpi = std::atoi(argv[1]);
    return RUN_ALL_TESTS();
}
