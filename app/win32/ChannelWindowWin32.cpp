#include "app/win32/ChannelWindowWin32.h"

#include "app/model/ChannelTimeline.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace app {

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr int kLineHeight = 16;

struct TChannelWindowState {
    std::function<TChannelPicture()> picture;
    TChannelPicture last;
};

HWND gOpen = nullptr; // one Channel window at a time

COLORREF ToGdi(TCanvasColour colour) {
    return RGB(colour.red, colour.green, colour.blue);
}

class TGdiChannelCanvas : public IChannelCanvas {
public:
    TGdiChannelCanvas(HDC dc, int top) : FDc(dc), FTop(top) {}
    void FillRect(double x, double y, double width, double height, TCanvasColour colour) override {
        const RECT box{static_cast<LONG>(x), static_cast<LONG>(y) + FTop,
                       static_cast<LONG>(x + width + 0.5),
                       static_cast<LONG>(y + height + 0.5) + FTop};
        HBRUSH brush = ::CreateSolidBrush(ToGdi(colour));
        ::FillRect(FDc, &box, brush);
        ::DeleteObject(brush);
    }
    void Line(double x1, double y1, double x2, double y2, TCanvasColour colour) override {
        HPEN pen = ::CreatePen(PS_SOLID, 1, ToGdi(colour));
        HGDIOBJ old = ::SelectObject(FDc, pen);
        ::MoveToEx(FDc, static_cast<int>(x1), static_cast<int>(y1) + FTop, nullptr);
        ::LineTo(FDc, static_cast<int>(x2), static_cast<int>(y2) + FTop);
        ::SelectObject(FDc, old);
        ::DeleteObject(pen);
    }
    void Text(double x, double y, std::string_view text, TCanvasColour colour) override {
        ::SetTextColor(FDc, ToGdi(colour));
        ::SetBkMode(FDc, TRANSPARENT);
        ::SetTextAlign(FDc, TA_BASELINE | TA_LEFT);
        ::TextOutA(FDc, static_cast<int>(x), static_cast<int>(y) + FTop, text.data(),
                   static_cast<int>(text.size()));
    }

private:
    HDC FDc;
    int FTop;
};

/// The text part of the window, line by line.
std::vector<std::string> TextLines(const TChannelPicture& picture) {
    std::vector<std::string> lines = {picture.Status};
    if (!picture.Problem.empty())
        lines.push_back(picture.Problem); // its own line: the status does not replace it
    lines.push_back(picture.EstimatedRadius);
    lines.push_back(picture.MeasuredRadius);
    lines.insert(lines.end(), picture.Figures.begin(), picture.Figures.end());
    char line[160];
    std::snprintf(line, sizeof line, "%-9s %7s %10s %9s", "Call", "km", "Estimated", "Measured");
    lines.emplace_back(line);
    for (const aloha::TMeasuredStation& station : picture.Listed) {
        std::snprintf(line, sizeof line, "%-9s %7d %10d %9llu", station.Call.c_str(),
                      station.Distance, station.Estimated,
                      static_cast<unsigned long long>(station.Measured));
        lines.emplace_back(line);
    }
    if (!picture.Unlisted.empty()) {
        std::string names = "Heard, not in the station list:";
        for (const std::string& name : picture.Unlisted)
            names += " " + name;
        lines.push_back(names);
    }
    return lines;
}

void Paint(HWND window, const TChannelWindowState& state) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    RECT client;
    ::GetClientRect(window, &client);
    PaintChannelWindow(dc, client.right, client.bottom, state.last);
    ::EndPaint(window, &paint);
}

LRESULT CALLBACK ChannelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state =
        reinterpret_cast<TChannelWindowState*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE: {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        break;
    }
    case WM_TIMER:
        if (state && wParam == kRefreshTimer) {
            state->last = state->picture();
            ::InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_PAINT:
        if (state) {
            Paint(window, *state);
            return 0;
        }
        break;
    case WM_NCDESTROY:
        ::KillTimer(window, kRefreshTimer);
        delete state;
        ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        if (gOpen == window)
            gOpen = nullptr;
        break;
    default:
        break;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

void PaintChannelWindow(HDC dc, int width, int height, const TChannelPicture& picture) {
    const RECT client{0, 0, width, height};
    ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    HGDIOBJ oldFont = ::SelectObject(dc, ::GetStockObject(ANSI_FIXED_FONT));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(0x20, 0x20, 0x20));
    ::SetTextAlign(dc, TA_TOP | TA_LEFT);
    int y = 8;
    for (const std::string& line : TextLines(picture)) {
        ::TextOutA(dc, 8, y, line.data(), static_cast<int>(line.size()));
        y += kLineHeight;
    }
    ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
    const int top = y + 8;
    TGdiChannelCanvas canvas(dc, top);
    PaintChannelTimeline(canvas, width, std::max(height - top, 1), picture.Timeline);
    ::SelectObject(dc, oldFont);
}

HWND OpenChannelWindow(HINSTANCE instance, HWND owner, std::function<TChannelPicture()> picture) {
    if (gOpen) {
        ::ShowWindow(gOpen, SW_SHOWNORMAL);
        ::SetForegroundWindow(gOpen);
        return gOpen;
    }
    static const bool registered = [instance] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = ChannelProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
        windowClass.lpszClassName = kChannelWindowClass;
        return ::RegisterClassA(&windowClass) != 0;
    }();
    if (!registered)
        return nullptr;
    auto state = std::make_unique<TChannelWindowState>();
    state->picture = std::move(picture);
    state->last = state->picture();
    HWND window =
        ::CreateWindowExA(0, kChannelWindowClass, "Channel", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                          CW_USEDEFAULT, 680, 640, owner, nullptr, instance, state.get());
    if (!window)
        return nullptr;
    state.release(); // the window owns it now, until WM_NCDESTROY
    ::SetTimer(window, kRefreshTimer, 2000, nullptr);
    ::ShowWindow(window, SW_SHOWNORMAL);
    gOpen = window;
    return window;
}

} // namespace app
