#include "app/win32/UrlLabelWin32.h"

#include "app/win32/WindowText.h"
#include "support/WideText.h"

#include <shellapi.h>
#include <windowsx.h>

#include <stdexcept>

namespace app::win32 {

namespace {

constexpr UINT kTextFormat = DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX;

void RegisterLabelClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(instance, kLinkLabelClass, &existing))
        return;
    WNDCLASSEXW labelClass{};
    labelClass.cbSize = sizeof labelClass;
    labelClass.lpfnWndProc = procedure;
    labelClass.hInstance = instance;
    labelClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)); // IDC_HAND
    labelClass.lpszClassName = kLinkLabelClass;
    ::RegisterClassExW(&labelClass);
}

} // namespace

TUrlLabelWin32::TUrlLabelWin32(HWND parent, HWND owner, const std::string& caption, int id,
                               int left, int top)
    : FOwner(owner), FOpener([this](const std::string& target) {
          // The shell reports no failure that the label could act on.
          ::ShellExecuteW(FOwner, L"open", support::Wide(target).c_str(), nullptr, nullptr,
                          SW_SHOW);
      }) {
    FState.SetColorSink([this](support::TColor) {
        if (FWindow)
            ::InvalidateRect(FWindow, nullptr, FALSE);
    });
    const auto instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    RegisterLabelClass(instance, &TUrlLabelWin32::Proc);
    if (!::CreateWindowExW(0, kLinkLabelClass, support::Wide(caption).c_str(),
                           WS_CHILD | WS_VISIBLE, left, top, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, this))
        throw std::runtime_error("The link label could not be created");
    FitToCaption();
}

TUrlLabelWin32::~TUrlLabelWin32() {
    if (FWindow)
        ::DestroyWindow(FWindow);
}

void TUrlLabelWin32::SetOpener(TOpener opener) {
    if (opener)
        FOpener = std::move(opener);
}

LRESULT CALLBACK TUrlLabelWin32::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* created = static_cast<TUrlLabelWin32*>(
            reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        created->FWindow = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* label = reinterpret_cast<TUrlLabelWin32*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!label)
        return ::DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        label->FWindow = nullptr;
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    return label->Message(message, wParam, lParam);
}

LRESULT TUrlLabelWin32::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(FWindow, &paint);
        Paint(dc);
        ::EndPaint(FWindow, &paint);
        return 0;
    }
    case WM_PRINTCLIENT:
        Paint(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_ERASEBKGND:
        return 1; // painted with the text
    case WM_SETFONT:
        FFont = reinterpret_cast<HFONT>(wParam);
        FitToCaption();
        if (LOWORD(lParam))
            ::InvalidateRect(FWindow, nullptr, FALSE);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(FFont);
    case WM_SETTEXT: {
        const LRESULT result = ::DefWindowProcW(FWindow, message, wParam, lParam);
        FitToCaption();
        ::InvalidateRect(FWindow, nullptr, FALSE);
        return result;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        ButtonDown();
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        ButtonUp(lParam);
        return 0;
    case WM_MOUSEMOVE:
        MouseMove(lParam);
        return 0;
    case WM_MOUSELEAVE:
        // While the mouse is captured, its moves say where it is.
        if (FState.Hot() && ::GetCapture() != FWindow)
            FState.MouseLeave();
        return 0;
    case WM_CAPTURECHANGED:
        // The press ends without a release on the label (another window took
        // the mouse): it counts as a release off the label, so the label
        // neither stays in the pressed colour nor takes a later release for a
        // click.
        if (FState.Pressed())
            FState.MouseUp(-1, -1, 0, 0);
        return 0;
    default:
        return ::DefWindowProcW(FWindow, message, wParam, lParam);
    }
}

void TUrlLabelWin32::Paint(HDC dc) const {
    RECT client{};
    ::GetClientRect(FWindow, &client);
    ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
    const HGDIOBJ previous = FFont ? ::SelectObject(dc, FFont) : nullptr;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, FState.FontColor());
    std::wstring text = WideWindowText(FWindow);
    ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &client, kTextFormat);
    if (previous)
        ::SelectObject(dc, previous);
}

void TUrlLabelWin32::FitToCaption() {
    HDC dc = ::GetDC(FWindow);
    const HGDIOBJ previous = FFont ? ::SelectObject(dc, FFont) : nullptr;
    std::wstring text = WideWindowText(FWindow);
    RECT size{};
    ::DrawTextW(dc, text.data(), static_cast<int>(text.size()), &size, kTextFormat | DT_CALCRECT);
    if (previous)
        ::SelectObject(dc, previous);
    ::ReleaseDC(FWindow, dc);
    ::SetWindowPos(FWindow, nullptr, 0, 0, size.right, size.bottom,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TUrlLabelWin32::TrackLeave() {
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, FWindow, 0};
    ::TrackMouseEvent(&track);
}

void TUrlLabelWin32::ButtonDown() {
    if (::GetCapture() != FWindow)
        ::SetCapture(FWindow);
    FState.MouseDown();
}

void TUrlLabelWin32::ButtonUp(LPARAM at) {
    Released();
    RECT client{};
    ::GetClientRect(FWindow, &client);
    const bool click =
        FState.MouseUp(GET_X_LPARAM(at), GET_Y_LPARAM(at), client.right, client.bottom);
    // Released after the press has ended, so that losing the capture changes
    // nothing more.
    if (::GetCapture() == FWindow) {
        ::ReleaseCapture();
        if (FState.Hot())
            TrackLeave();
    }
    if (click) {
        const std::string caption = WindowText(FWindow);
        FOpener(FURL.empty() ? caption : FURL);
    }
}

void TUrlLabelWin32::MouseMove(LPARAM at) {
    RECT client{};
    ::GetClientRect(FWindow, &client);
    const POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    const bool inside = ::PtInRect(&client, point);
    if (inside && !FState.Hot()) {
        FState.MouseEnter();
        TrackLeave();
    } else if (!inside && FState.Hot()) {
        FState.MouseLeave();
    }
}

} // namespace app::win32
