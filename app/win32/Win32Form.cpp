#include "app/win32/Win32Form.h"

#include "app/model/AboutInfo.h"
#include "app/model/DonationLabel.h"
#include "app/model/InformationText.h"
#include "app/model/OptionHints.h"
#include "app/win32/ChannelWindowWin32.h"
#include "app/win32/DpiLayout.h"
#include "app/win32/PaneEdit.h"
#include "app/win32/UrlLabelWin32.h"
#include "app/win32/WindowText.h"
#include "support/WideText.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace app::win32 {

namespace {

/// Designed placement of the window and heights of its strips.
constexpr int kDesignLeft = 235, kDesignTop = 174, kDesignWidth = 527, kDesignHeight = 466;
constexpr int kStatusHeight = 19, kPacketPanelHeight = 25;
constexpr UINT kTrayMessage = WM_USER + 100;
constexpr UINT kFirstShowMessage = WM_APP + 1;
constexpr UINT kDeferredRunMessage = WM_APP + 2;
constexpr UINT kMinimizedMessage = WM_APP + 3;
constexpr UINT_PTR kCalcTimerId = 1, kRedrawTimerId = 2, kPurgeTimerId = 3, kPaneTimerId = 4;
/// How often lines waiting for a pane are handed over, in ms.
constexpr UINT kPaneFlushMs = 50;
constexpr const wchar_t* kPageClass = L"TVelloranPage";

/// A rectangle of the screen in workspace coordinates (from the primary
/// monitor's work area).
TRect Relative(const RECT& r, POINT origin) {
    return {r.left - origin.x, r.top - origin.y, r.right - origin.x, r.bottom - origin.y};
}

/// The monitors found so far, relative to the primary work area's origin.
struct TMonitors {
    POINT Origin;
    std::vector<TScreenArea> Areas;
};

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    auto& found = *reinterpret_cast<TMonitors*>(data);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (::GetMonitorInfoW(monitor, &info))
        found.Areas.push_back(
            {Relative(info.rcMonitor, found.Origin), Relative(info.rcWork, found.Origin)});
    return TRUE;
}

/// The work area of the monitor nearest to a rectangle, both in workspace
/// coordinates, by the model's rule, as in every view.
TRect NearestWorkArea(const TRect& saved) {
    MONITORINFO primary{};
    primary.cbSize = sizeof primary;
    ::GetMonitorInfoW(::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary);
    TMonitors monitors{{primary.rcWork.left, primary.rcWork.top}, {}};
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return NearestAvailableArea(saved, monitors.Areas, Relative(primary.rcWork, monitors.Origin));
}

} // namespace

TWin32Form::TWin32Form(HINSTANCE instance, TFormServices services, const std::string& hostNote,
                       const std::string& hostDescription)
    : FInstance(instance), FHostNote(hostNote), FHostDescription(hostDescription) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    FIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    if (!FIcon)
        FIcon = ::LoadIconW(nullptr, MAKEINTRESOURCEW(32512)); // IDI_APPLICATION

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = FIcon;
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExW(&windowClass);
    WNDCLASSEXW pageClass = windowClass;
    pageClass.lpfnWndProc = PageProc;
    pageClass.hIcon = nullptr;
    pageClass.lpszClassName = kPageClass;
    ::RegisterClassExW(&pageClass);

    BuildMenus();
    FWindow = ::CreateWindowExW(0, kWindowClass, L"Velloran", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                kDesignLeft, kDesignTop, kDesignWidth, kDesignHeight, nullptr,
                                FMenu, instance, this);
    if (!FWindow)
        throw std::runtime_error("The window could not be created");
    // The design is in pixels at 96 DPI; the screen may show more of them.
    FDpi = WindowDpi(FWindow);
    if (FDpi != 96)
        ::SetWindowPos(FWindow, nullptr, 0, 0, ScaleForDpi(kDesignWidth, FDpi),
                       ScaleForDpi(kDesignHeight, FDpi),
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    FCalcTimer = std::make_unique<TWin32Timer>(FWindow, kCalcTimerId);
    FRedrawTimer = std::make_unique<TWin32Timer>(FWindow, kRedrawTimerId);
    FPurgeTimer = std::make_unique<TWin32Timer>(FWindow, kPurgeTimerId);
    FTray = std::make_shared<TWin32Tray>(FWindow, FIcon);
    services.Tray = FTray;
    services.TrayWindow =
        static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(FWindow) & 0xFFFFFFFFu);
    services.MakePurgeTimer = [this](std::function<void(const std::string&)> reportError) {
        return std::make_unique<TWin32PurgeTimer>(*FPurgeTimer, std::move(reportError));
    };
    BuildLayout();
    FModel = std::make_unique<TFormModel>(*this, *FCalcTimer, *FRedrawTimer, std::move(services));
    // The window is built: the host application object connects now.
    FModel->Loaded();
}

TWin32Form::~TWin32Form() {
    if (FModel)
        FModel->Destroy();
    FModel.reset();
    if (FWindow)
        ::DestroyWindow(FWindow);
    for (HFONT font : {FFont, FPaneFont, FLinkFont})
        if (font)
            ::DeleteObject(font);
    if (FAccelerators)
        ::DestroyAcceleratorTable(FAccelerators);
    if (FTrayMenu)
        ::DestroyMenu(FTrayMenu);
}

HWND TWin32Form::Child(HWND parent, const wchar_t* windowClass, std::string_view text, DWORD style,
                       int id, int left, int top, int width, int height) {
    HWND child = ::CreateWindowExW(
        0, windowClass, support::Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, left, top,
        width, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), FInstance, this);
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
    return child;
}

void TWin32Form::BuildMenus() {
    FMenu = ::CreateMenu();
    HMENU file = ::CreatePopupMenu();
    ::AppendMenuW(file, MF_STRING, idExit, L"E&xit");
    ::AppendMenuW(FMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"File");
    FActionMenu = ::CreatePopupMenu();
    ::AppendMenuW(FActionMenu, MF_STRING, idCalculate, L"Calculate\tF9");
    ::AppendMenuW(FActionMenu, MF_STRING, idChannel, L"Channel...");
    ::AppendMenuW(FMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(FActionMenu), L"Action");
    HMENU help = ::CreatePopupMenu();
    ::AppendMenuW(help, MF_STRING, idAbout, L"&About Velloran");
    ::AppendMenuW(FMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"&Help");
    FTrayMenu = ::CreatePopupMenu();
    ::AppendMenuW(FTrayMenu, MF_STRING, idRestore, L"Restore");
    ::AppendMenuW(FTrayMenu, MF_STRING, idTrayCalc, L"Calculate");
    ::AppendMenuW(FTrayMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(FTrayMenu, MF_STRING, idTrayExit, L"E&xit");
    // Ctrl+Q ends the program as Exit does, without changing the File menu.
    ACCEL keys[] = {{FVIRTKEY, VK_F9, idCalculate}, {FVIRTKEY | FCONTROL, 'Q', idExit}};
    FAccelerators = ::CreateAcceleratorTableW(keys, 2);
}

void TWin32Form::CreateFonts() {
    for (HFONT font : {FFont, FPaneFont, FLinkFont})
        if (font)
            ::DeleteObject(font);
    FFont = MessageFontForDpi(FDpi);
    FLinkFont = MessageFontForDpi(FDpi, true);
    LOGFONTW fixed{};
    fixed.lfHeight = -ScaleForDpi(12, FDpi);
    fixed.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpyW(fixed.lfFaceName, L"Courier New");
    FPaneFont = ::CreateFontIndirectW(&fixed);
}

BOOL CALLBACK TWin32Form::SetChildFont(HWND child, LPARAM form) {
    const auto* self = reinterpret_cast<const TWin32Form*>(form);
    const bool pane = child == self->FMemo1 || child == self->FMemo2 || child == self->FMemo3 ||
                      child == self->FMemo4;
    const bool link = self->FPayPalLabel1 && child == self->FPayPalLabel1->Handle();
    const HFONT font = pane ? self->FPaneFont : link ? self->FLinkFont : self->FFont;
    ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return TRUE;
}

void TWin32Form::ApplyDpi() {
    CreateFonts();
    ::EnumChildWindows(FWindow, &TWin32Form::SetChildFont, reinterpret_cast<LPARAM>(this));
    FOptionsLayout.Apply(FDpi, FFont);
    Layout();
    ::RedrawWindow(FWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TWin32Form::AddHint(HWND control, std::string_view hint) {
    if (!FHints) {
        FHints = ::CreateWindowExW(
            WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, FWindow, nullptr, FInstance, nullptr);
        if (!FHints)
            return;
    }
    std::wstring text(hint.size(), L'\0');
    text.resize(static_cast<std::size_t>(
        ::MultiByteToWideChar(CP_UTF8, 0, hint.data(), static_cast<int>(hint.size()), text.data(),
                              static_cast<int>(text.size()))));
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = ::GetParent(control);
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text.data();
    ::SendMessageW(FHints, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

HWND TWin32Form::Designed(HWND control, TFit fit) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    FOptionsLayout.Add(control, r, fit);
    return control;
}

void TWin32Form::BuildLayout() {
    CreateFonts();

    FTabs = Child(FWindow, WC_TABCONTROLW, "", WS_CLIPSIBLINGS, idTabs, 0, 0, 100, 100);
    const wchar_t* titles[] = {L"ALOHA Radius", L"Information", L"Calculation Details",
                               L"Packets Considered", L"Options"};
    for (int i = 0; i < 5; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(titles[i]);
        ::SendMessageW(FTabs, TCM_INSERTITEMW, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(&item));
        FPages[static_cast<std::size_t>(i)] =
            Child(FWindow, kPageClass, "", WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 100, 100);
    }
    // Later children are placed below earlier ones: the tab control goes to
    // the bottom, or it paints its body over the pages when it is resized.
    ::SetWindowPos(FTabs, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const DWORD paneStyle = WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_BORDER;
    FMemo1 = Child(FPages[0], L"EDIT", "", paneStyle, idMemo1, 0, 0, 100, 100);
    FPacketPanel = Child(FPages[0], L"STATIC", "Pkts: 0", SS_SUNKEN | SS_LEFTNOWORDWRAP,
                         idPacketCount, 0, 0, 100, kPacketPanelHeight);
    FMemo2 = Child(FPages[1], L"EDIT", "", paneStyle, idMemo2, 0, 0, 100, 100);
    ::SetWindowTextW(FMemo2, EditText(InformationText()).c_str());
    FMemo4 = Child(FPages[2], L"EDIT", "", paneStyle, idMemo4, 0, 0, 100, 100);
    FMemo3 = Child(FPages[3], L"EDIT", "", paneStyle, idMemo3, 0, 0, 100, 100);
    for (HWND pane : {FMemo1, FMemo2, FMemo3, FMemo4}) {
        ::SendMessageW(pane, WM_SETFONT, reinterpret_cast<WPARAM>(FPaneFont), FALSE);
        // No 32 KB limit: the logs of a large list are longer.
        ::SendMessageW(pane, EM_SETLIMITTEXT, 0, 0);
    }
    FPanes = {TPaneBuffer(FMemo1), TPaneBuffer(FMemo3), TPaneBuffer(FMemo4)};
    ::SetTimer(FWindow, kPaneTimerId, kPaneFlushMs, nullptr);
    BuildOptionsPage(FPages[4]);
    FPacketStatus =
        Child(FWindow, STATUSCLASSNAMEW, "", 0, idPacketStatus, 0, 0, 100, kStatusHeight);
    ::SetWindowLongPtrW(FPacketStatus, GWL_STYLE,
                        ::GetWindowLongPtrW(FPacketStatus, GWL_STYLE) | CCS_NOPARENTALIGN |
                            CCS_NORESIZE);
    FStatusBar =
        Child(FWindow, STATUSCLASSNAMEW, "", SBARS_SIZEGRIP, idStatusBar, 0, 0, 100, kStatusHeight);
    if (!FHostNote.empty()) {
        std::string note = FHostNote;
        note[0] = static_cast<char>(::toupper(static_cast<unsigned char>(note[0])));
        int parts[] = {300, -1};
        ::SendMessageW(FStatusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
        ::SendMessageW(FStatusBar, SB_SETTEXTW, 1,
                       reinterpret_cast<LPARAM>(support::Wide(note).c_str()));
    }
    ShowPage(0);
    ApplyDpi();
}

void TWin32Form::BuildOptionsPage(HWND page) {
    const DWORD check = BS_AUTOCHECKBOX | WS_TABSTOP;
    HWND minimize =
        Designed(Child(page, L"BUTTON", "Minimize to Tray", check, idMinimizeToTray, 8, 8, 200, 17),
                 TFit::CheckBox);
    Button_SetCheck(minimize, BST_CHECKED);
    Button_SetCheck(Designed(Child(page, L"BUTTON", "Show ALOHA Radius on map (text)", check,
                                   idShowALOHARadius, 8, 32, 240, 17),
                             TFit::CheckBox),
                    BST_CHECKED);
    Designed(Child(page, L"STATIC", "Recalculate Rate", 0, 0, 8, 56, 120, 15), TFit::Line);
    HWND rate = Designed(Child(page, L"EDIT", "30", WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP,
                               idRecalculateRate, 8, 72, 33, 21),
                         TFit::None);
    Designed(Child(page, L"STATIC", "Minutes", 0, 0, 46, 76, 60, 15), TFit::Line);
    Designed(Child(page, L"BUTTON", "", BS_GROUPBOX, 0, 8, 104, 321, 65), TFit::Frame);
    Button_SetCheck(
        Designed(Child(page, L"BUTTON", "Draw Circle", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP,
                       idDrawCircle, 16, 120, 95, 17),
                 TFit::CheckBox),
        BST_CHECKED);
    Designed(
        Child(page, L"BUTTON", "Draw Ellispe", BS_AUTORADIOBUTTON, idDrawEllispe, 16, 144, 95, 17),
        TFit::CheckBox);
    Designed(Child(page, L"STATIC",
                   "Both are approximations and will each display with some measurement "
                   "discrepancies on your map.",
                   0, 0, 121, 117, 200, 44),
             TFit::Wrapped);
    FDebugControls = {
        Designed(Child(page, L"BUTTON", "Debug", BS_GROUPBOX, idDebug, 8, 176, 137, 73),
                 TFit::Frame),
        Designed(Child(page, L"STATIC", "Packet Density", 0, 0, 16, 196, 75, 15), TFit::Line),
        Designed(Child(page, L"EDIT", "1800", WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP,
                       idPacketDensity, 96, 193, 41, 21),
                 TFit::None),
        Designed(Child(page, L"BUTTON", "Include Internet", check, idUseInternet, 17, 221, 120, 17),
                 TFit::CheckBox),
    };
    for (HWND control : FDebugControls)
        ::ShowWindow(control, SW_HIDE);
    const std::string caption(kDonationLabel.Caption);
    FPayPalLabel1 = std::make_unique<TPayPalLabelWin32>(page, FWindow, caption, idPayPal, 9, 257);
    ::SendMessageW(FPayPalLabel1->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(FLinkFont), FALSE);
    FPayPalLabel1->State().SetLinkColor(support::kClRed);
    FPayPalLabel1->SetCompany(std::string(kDonationLabel.Company));
    FPayPalLabel1->SetProduct(std::string(kDonationLabel.Product));
    FPayPalLabel1->SetEmail(std::string(kDonationLabel.Email));
    Designed(FPayPalLabel1->Handle(), TFit::OwnSize);
    AddHint(minimize, kMinimizeToTrayHint);
    AddHint(rate, kRecalculateRateHint);
    Child(page, L"BUTTON", "Save", BS_PUSHBUTTON | WS_TABSTOP, idSaveSettings, 432, 320, 75, 25);
}

void TWin32Form::Layout() {
    RECT client{};
    ::GetClientRect(FWindow, &client);
    // The status bar takes the height its font needs.
    ::SendMessageW(FStatusBar, WM_SIZE, 0, 0);
    RECT bar{};
    ::GetWindowRect(FStatusBar, &bar);
    const int statusHeight =
        std::max(ScaleForDpi(kStatusHeight, FDpi), static_cast<int>(bar.bottom - bar.top));
    const int panelHeight = ScaleForDpi(kPacketPanelHeight, FDpi);
    const int width = client.right;
    const int tabsHeight = std::max(0, static_cast<int>(client.bottom) - 2 * statusHeight);
    ::MoveWindow(FTabs, 0, 0, width, tabsHeight, TRUE);
    ::MoveWindow(FPacketStatus, 0, tabsHeight, width, statusHeight, TRUE);
    RECT page{0, 0, width, tabsHeight};
    TabCtrl_AdjustRect(FTabs, FALSE, &page);
    const int pageWidth = std::max(0, static_cast<int>(page.right - page.left));
    const int pageHeight = std::max(0, static_cast<int>(page.bottom - page.top));
    for (HWND sheet : FPages)
        ::MoveWindow(sheet, page.left, page.top, pageWidth, pageHeight, TRUE);
    ::MoveWindow(FMemo1, 0, 0, pageWidth, std::max(0, pageHeight - panelHeight), TRUE);
    ::MoveWindow(FPacketPanel, 0, std::max(0, pageHeight - panelHeight), pageWidth, panelHeight,
                 TRUE);
    for (HWND pane : {FMemo2, FMemo3, FMemo4})
        ::MoveWindow(pane, 0, 0, pageWidth, pageHeight, TRUE);
    // "Save" keeps its distance from the page's right and bottom edges.
    const int saveWidth = ScaleForDpi(75, FDpi), saveHeight = ScaleForDpi(25, FDpi);
    ::MoveWindow(::GetDlgItem(FPages[4], idSaveSettings),
                 pageWidth - ScaleForDpi(4, FDpi) - saveWidth,
                 pageHeight - ScaleForDpi(5, FDpi) - saveHeight, saveWidth, saveHeight, TRUE);
}

void TWin32Form::ShowPage(int index) {
    TabCtrl_SetCurSel(FTabs, index);
    for (int i = 0; i < 5; ++i)
        ::ShowWindow(FPages[static_cast<std::size_t>(i)], i == index ? SW_SHOW : SW_HIDE);
}

void TWin32Form::Start(int showCmd) {
    FModel->Create();
    const TStartShow start = FModel->StartShow(showCmd);
    if (start.Minimized) {
        if (start.Visible)
            ::ShowWindow(FWindow, SW_SHOWMINNOACTIVE);
        // Shown minimized, WM_SIZE posts the step too: the model makes it
        // once a minimize.
        ::PostMessageW(FWindow, kMinimizedMessage, 0, 0);
        return;
    }
    ::ShowWindow(FWindow, start.Maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    ::UpdateWindow(FWindow);
    CheckFirstShow();
}

void TWin32Form::CheckFirstShow() {
    if (FModel && FModel->WindowShown(::IsWindowVisible(FWindow), ::IsIconic(FWindow)))
        ::PostMessageW(FWindow, kFirstShowMessage, 0, 0);
}

int TWin32Form::Run() {
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0)
        Take(message);
    return FExitCode;
}

void TWin32Form::Take(MSG& message) {
    if (::TranslateAcceleratorW(FWindow, FAccelerators, &message))
        return;
    // Ctrl+Tab and Ctrl+Shift+Tab change pages anywhere in the window, as a
    // tabbed dialog does; the tab control alone does not know them.
    if (message.message == WM_KEYDOWN && message.wParam == VK_TAB &&
        (::GetKeyState(VK_CONTROL) & 0x8000) &&
        (message.hwnd == FWindow || ::IsChild(FWindow, message.hwnd))) {
        const int current = TabCtrl_GetCurSel(FTabs);
        if (FModel->PageChanging(current, TPageChange::NextPageKey))
            ShowPage(TFormModel::NextPage(current, TabCtrl_GetItemCount(FTabs),
                                          (::GetKeyState(VK_SHIFT) & 0x8000) != 0));
        return;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

LRESULT CALLBACK TWin32Form::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<TWin32Form*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form || !form->FWindow)
        return ::DefWindowProcW(window, message, wParam, lParam);
    return form->Message(message, wParam, lParam);
}

LRESULT CALLBACK TWin32Form::PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // A page passes its controls' notifications to the window.
    switch (message) {
    case WM_COMMAND:
        return ::SendMessageW(::GetParent(window), message, wParam, lParam);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        // Labels, check boxes and radio buttons on the page's own colour,
        // not on boxes of the control's; the read-only panes keep theirs.
        wchar_t name[16] = {};
        ::GetClassNameW(reinterpret_cast<HWND>(lParam), name, 16);
        if (::lstrcmpiW(name, L"Edit") == 0)
            break;
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TWin32Form::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!FModel && message != WM_SIZE)
        return ::DefWindowProcW(FWindow, message, wParam, lParam);
    switch (message) {
    case WM_SIZE:
        Layout();
        if (wParam == SIZE_MINIMIZED && FModel)
            ::PostMessageW(FWindow, kMinimizedMessage, 0, 0);
        else
            CheckFirstShow();
        return 0;
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == FTabs && header->code == TCN_SELCHANGING) {
            // A click and the arrow keys on the strip go through here alike.
            return FModel->PageChanging(TabCtrl_GetCurSel(FTabs), TPageChange::Click) ? FALSE
                                                                                      : TRUE;
        }
        if (header->hwndFrom == FTabs && header->code == TCN_SELCHANGE)
            ShowPage(TabCtrl_GetCurSel(FTabs));
        return 0;
    }
    case WM_TIMER:
        if (wParam == kPaneTimerId)
            for (TPaneBuffer& pane : FPanes)
                pane.Flush();
        for (TWin32Timer* timer : {FCalcTimer.get(), FRedrawTimer.get(), FPurgeTimer.get()})
            if (timer && timer->Id() == wParam)
                timer->Tick();
        return 0;
    case kTrayMessage:
        FTray->Callback(kTrayMessage, static_cast<std::uint32_t>(lParam));
        return 0;
    case kFirstShowMessage:
        if (!FModel->Destroying())
            FModel->Handle([this] { FModel->FormShow(); });
        return 0;
    case kDeferredRunMessage:
        FModel->btnCalculateClick();
        return 0;
    case kActivateMessage:
        // A second instance asks this one to the front, out of the tray too.
        if (!FModel->Destroying())
            FModel->Handle([this] { FModel->RestoreFromTray(); });
        return 0;
    case kMinimizedMessage:
        if (!FModel->Destroying())
            FModel->Handle([this] { FModel->AppMinimize(); });
        return 0;
    case WM_CLOSE:
        FModel->CloseRequest();
        return 0;
    case WM_DPICHANGED: {
        // Moved to a monitor of another scale: fonts and layout for it, in
        // the rectangle the system suggests.
        FDpi = HIWORD(wParam);
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ApplyDpi();
        ::SetWindowPos(FWindow, nullptr, suggested->left, suggested->top,
                       suggested->right - suggested->left, suggested->bottom - suggested->top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_QUERYENDSESSION:
        return FModel->QueryEndSession() ? TRUE : FALSE;
    case WM_ENDSESSION:
        // The session ends once this returns: the end-of-program saves and the
        // tray icon's removal happen now. Nobody answers a box then: a save
        // that fails goes to the log.
        if (wParam) {
            FModel->SetUnattended([log = FModel->EndOfSessionLog()](const std::string& message) {
                AppendLogLine(log, message);
            });
            FModel->SessionEnds();
        }
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(FWindow, message, wParam, lParam);
}

void TWin32Form::Command(int id, int notification) {
    switch (id) {
    case idExit:
    case idTrayExit:
        FModel->Handle([this] { FModel->miExitClick(); });
        break;
    case idCalculate:
    case idTrayCalc:
        FModel->btnCalculateClick();
        break;
    case idChannel:
        FModel->Handle([this] {
            if (FModel->Channel)
                OpenChannelWindow(FInstance, FWindow, [this] {
                    return FModel->Channel->Picture(FModel->Calculation.LastStations(),
                                                    FModel->Calculation.State);
                });
        });
        break;
    case idRestore:
        FModel->Handle([this] { FModel->RestoreFromTray(); });
        break;
    case idAbout:
        ShowAbout();
        break;
    case idSaveSettings:
        FModel->btnSaveSettingsClick();
        break;
    case idDrawCircle:
    case idDrawEllispe:
        if (notification == BN_CLICKED)
            FModel->ShapeClicked(id == idDrawCircle ? TOption::rbDrawCircle
                                                    : TOption::rbDrawEllispe);
        break;
    default:
        break;
    }
}

HWND TWin32Form::Control(TOption control) const {
    static constexpr int ids[] = {idMinimizeToTray,  idShowALOHARadius, idDrawCircle, idDrawEllispe,
                                  idRecalculateRate, idPacketDensity,   idUseInternet};
    return ::GetDlgItem(FPages[4], ids[static_cast<int>(control)]);
}

TPaneBuffer& TWin32Form::Pane(TPane pane) {
    return FPanes[static_cast<std::size_t>(pane)];
}

bool TWin32Form::Checked(TOption control) const {
    return Button_GetCheck(Control(control)) == BST_CHECKED;
}

void TWin32Form::SetChecked(TOption control, bool checked) {
    Button_SetCheck(Control(control), checked ? BST_CHECKED : BST_UNCHECKED);
}

std::string TWin32Form::Text(TOption control) const {
    return WindowText(Control(control));
}

void TWin32Form::SetText(TOption control, const std::string& text) {
    ::SetWindowTextW(Control(control), support::Wide(text).c_str());
}

void TWin32Form::AppendLine(TPane pane, const std::string& line) {
    Pane(pane).Append(line);
}

void TWin32Form::ClearPane(TPane pane) {
    Pane(pane).Clear();
}

void TWin32Form::SetCaption(const std::string& caption) {
    ::SetWindowTextW(FWindow, support::Wide(caption).c_str());
}

void TWin32Form::SetStatusText(const std::string& text) {
    ::SendMessageW(FStatusBar, SB_SETTEXTW, 0,
                   reinterpret_cast<LPARAM>(support::Wide(text).c_str()));
}

void TWin32Form::ShowFirstPage() {
    ShowPage(0);
}

void TWin32Form::ShowDebugOptions() {
    for (HWND control : FDebugControls)
        ::ShowWindow(control, SW_SHOW);
}

void TWin32Form::SetCalculateEnabled(bool enabled) {
    const UINT state = MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED);
    ::EnableMenuItem(FActionMenu, idCalculate, state);
    ::EnableMenuItem(FTrayMenu, idTrayCalc, state);
}

void TWin32Form::ProcessMessages() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The end waits for the outer loop.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        // During a run as outside one: the keys are the window's alike.
        Take(message);
    }
}

void TWin32Form::PostDeferredRun() {
    ::PostMessageW(FWindow, kDeferredRunMessage, 0, 0);
}

void TWin32Form::ShowErrorBox(const std::string& caption, const std::string& message) {
    ::MessageBoxW(FWindow, support::Wide(message).c_str(), support::Wide(caption).c_str(),
                  MB_OK | MB_ICONERROR);
}

void TWin32Form::ShowAbout() {
    const std::string text = AboutPlainText(
        MakeAboutInfo(FModel->VersionInfo, FModel->OvcIniFileStore1.FileName(), FHostDescription));
    ::MessageBoxW(FWindow, support::Wide(text).c_str(), L"About Velloran",
                  MB_OK | MB_ICONINFORMATION);
}

void TWin32Form::RequestTermination() {
    if (FEnding)
        return;
    FEnding = true;
    FExitCode = 0;
    ::PostQuitMessage(0);
}

void TWin32Form::SetTaskbarEntryVisible(bool visible) {
    ::ShowWindow(FWindow, visible ? SW_SHOW : SW_HIDE);
}

void TWin32Form::RestoreWindow() {
    if (::IsIconic(FWindow) || !::IsWindowVisible(FWindow))
        ::ShowWindow(FWindow, SW_RESTORE);
    ::SetForegroundWindow(FWindow);
    CheckFirstShow();
}

void TWin32Form::PopupTrayMenu() {
    POINT at{};
    ::GetCursorPos(&at);
    // The window comes to the front first, or the menu would not close.
    ::SetForegroundWindow(FWindow);
    // Its top-left corner at the cursor, as the menu's own default puts it.
    ::TrackPopupMenu(FTrayMenu, TPM_LEFTALIGN | TPM_TOPALIGN, at.x, at.y, 0, FWindow, nullptr);
    ::PostMessageW(FWindow, WM_NULL, 0, 0);
}

TWindowPlacement TWin32Form::GetPlacement() const {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    ::GetWindowPlacement(FWindow, &placement);
    TWindowPlacement result;
    result.Flags = static_cast<std::int32_t>(placement.flags);
    result.ShowCmd = static_cast<std::int32_t>(placement.showCmd);
    const RECT& r = placement.rcNormalPosition;
    result.NormalPosition = {static_cast<std::int32_t>(r.left), static_cast<std::int32_t>(r.top),
                             static_cast<std::int32_t>(r.right),
                             static_cast<std::int32_t>(r.bottom)};
    return result;
}

void TWin32Form::SetPlacement(const TWindowPlacement& placement) {
    // A saved rectangle may be corrupt or come from a monitor that is gone:
    // keep the window on the work area of the monitor nearest to it. The
    // rectangle is in workspace coordinates (the primary work area's origin
    // at 0,0), which may be negative on a monitor left of or above it.
    const TRect r =
        FitToWorkArea(placement.NormalPosition, NearestWorkArea(placement.NormalPosition));
    WINDOWPLACEMENT current{};
    current.length = sizeof current;
    ::GetWindowPlacement(FWindow, &current);
    current.flags = static_cast<UINT>(placement.Flags) & WPF_RESTORETOMAXIMIZED;
    current.rcNormalPosition = {r.Left, r.Top, r.Right, r.Bottom};
    current.showCmd = SW_HIDE;
    ::SetWindowPlacement(FWindow, &current);
}

bool TWin32Form::ApplicationMinimized() const {
    return ::IsIconic(FWindow);
}

std::int32_t TWin32Form::PixelsPerInch() const {
    HDC screen = ::GetDC(nullptr);
    const int ppi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return ppi;
}

} // namespace app::win32
