#include "app/win32/ChannelWindowWin32.h"

#include "app/model/ChannelTimeline.h"
#include "app/win32/DpiLayout.h"
#include "support/WideText.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace app {

namespace {

constexpr UINT_PTR kRefreshTimer = 1;

constexpr int kListId = 100;
constexpr int kPathId = 101;
/// Talker rows the timeline is given room for, when the window has it.
constexpr std::size_t kTimelineRows = 10;

struct TChannelWindowState {
    std::function<TChannelPicture()> picture;
    TChannelPicture last;
    HWND list = nullptr;   ///< the listed stations, a scrolling list view
    HWND path = nullptr;   ///< where the own packets go, a read-only edit beside them
    HFONT font = nullptr;  ///< the message font at the window's DPI
    HFONT fixed = nullptr; ///< a fixed-pitch font as tall, for the path's columns
    ~TChannelWindowState() {
        if (font)
            ::DeleteObject(font);
        if (fixed)
            ::DeleteObject(fixed);
    }
};

HWND gOpen = nullptr; // one Channel window at a time

COLORREF ToGdi(TCanvasColour colour) {
    return RGB(colour.red, colour.green, colour.blue);
}

/// A line of text in the font selected into dc, with a little room.
int LineHeightOf(HDC dc) {
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    return metrics.tmHeight + metrics.tmExternalLeading + metrics.tmHeight / 6;
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
        const std::wstring wide = support::Wide(text);
        ::TextOutW(FDc, static_cast<int>(x), static_cast<int>(y) + FTop, wide.c_str(),
                   static_cast<int>(wide.size()));
    }
    double TextWidth(std::string_view text) override {
        const std::wstring wide = support::Wide(text);
        SIZE size{};
        ::GetTextExtentPoint32W(FDc, wide.c_str(), static_cast<int>(wide.size()), &size);
        return size.cx;
    }
    double LineHeight() override { return LineHeightOf(FDc); }

private:
    HDC FDc;
    int FTop;
};

/// The text above the station list, line by line.
std::vector<std::string> TextLines(const TChannelPicture& picture) {
    std::vector<std::string> lines = {picture.Status};
    if (!picture.Problem.empty())
        lines.push_back(picture.Problem); // its own line: the status does not replace it
    lines.push_back(picture.EstimatedRadius);
    lines.push_back(picture.MeasuredRadius);
    lines.insert(lines.end(), picture.Figures.begin(), picture.Figures.end());
    return lines;
}

std::string UnlistedLine(const TChannelPicture& picture) {
    if (picture.Unlisted.empty())
        return {};
    std::string names = "Heard, not in the station list:";
    for (const std::string& name : picture.Unlisted)
        names += " " + name;
    return names;
}

/// Where each part goes in a client area of width x height, in the font
/// selected into dc: the text lines, the station list, the line of stations
/// not listed, and the timeline, which always keeps room for its legend.
struct TChannelLayout {
    int line = 16;
    int textTop = 0;
    RECT list{};
    int unlistedTop = 0;
    int timelineTop = 0;
    int timelineWidth = 0;
    RECT path{}; ///< beside the list and the timeline, down to the foot
};

TChannelLayout LayOut(HDC dc, int width, int height, const TChannelPicture& picture) {
    TChannelLayout layout;
    layout.line = LineHeightOf(dc);
    const int margin = layout.line / 2;
    layout.textTop = margin;
    const int listTop =
        margin + static_cast<int>(TextLines(picture).size()) * layout.line + margin / 2;
    // The path takes the right: room for a row of its table with a path, at
    // most two fifths of the window.
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    const int pathWidth = std::min(64 * static_cast<int>(metrics.tmAveCharWidth), width * 2 / 5);
    layout.path = {std::max(margin, width - margin - pathWidth), listTop,
                   std::max(margin + 1, width - margin), std::max(listTop + 1, height - margin)};
    width = std::max(2 * margin + 1, static_cast<int>(layout.path.left) - margin);
    layout.timelineWidth = width;
    TGdiChannelCanvas measure(dc, 0);
    const auto timelineFor = [&](std::size_t rows) {
        return static_cast<int>(std::ceil(ChannelTimelineHeight(measure, width, rows)));
    };
    const int below = height - listTop - layout.line - margin; // list, unlisted line, timeline
    // The timeline takes half of what is below the text, at least its
    // legend and three rows, at most ten rows; the list the rest.
    const int timeline =
        std::clamp(below / 2, timelineFor(3), std::max(timelineFor(3), timelineFor(kTimelineRows)));
    const int listHeight = std::max(3 * layout.line, below - timeline);
    layout.list = {margin, listTop, std::max(margin + 1, width - margin), listTop + listHeight};
    layout.unlistedTop = layout.list.bottom + margin / 2;
    layout.timelineTop = layout.unlistedTop + layout.line;
    return layout;
}

/// The station list's rows and columns, each column as wide as its words.
void FillList(HWND list, const TChannelPicture& picture) {
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    const int rows = static_cast<int>(picture.Listed.size());
    while (ListView_GetItemCount(list) > rows)
        ListView_DeleteItem(list, ListView_GetItemCount(list) - 1);
    int row = 0;
    for (const aloha::TMeasuredStation& station : picture.Listed) {
        const std::wstring cells[] = {
            support::Wide(station.Call), std::to_wstring(station.Distance),
            std::to_wstring(station.Estimated), std::to_wstring(station.Measured)};
        if (row >= ListView_GetItemCount(list)) {
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = row;
            item.pszText = const_cast<wchar_t*>(cells[0].c_str());
            ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
        for (int column = 0; column < 4; ++column) {
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = const_cast<wchar_t*>(cells[column].c_str());
            ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row),
                           reinterpret_cast<LPARAM>(&item));
        }
        ++row;
    }
    // Each column as wide as its widest word in the list's font, and a margin.
    const wchar_t* headers[] = {L"Call", L"km", L"Estimated", L"Measured"};
    HDC dc = ::GetDC(list);
    HGDIOBJ old =
        ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)));
    const auto width = [dc](const std::wstring& text) {
        SIZE size{};
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx);
    };
    int widths[4];
    for (int column = 0; column < 4; ++column)
        widths[column] = width(headers[column]);
    for (const aloha::TMeasuredStation& station : picture.Listed) {
        widths[0] = std::max(widths[0], width(support::Wide(station.Call)));
        widths[1] = std::max(widths[1], width(std::to_wstring(station.Distance)));
        widths[2] = std::max(widths[2], width(std::to_wstring(station.Estimated)));
        widths[3] = std::max(widths[3], width(std::to_wstring(station.Measured)));
    }
    const int margin = 2 * width(L"M");
    ::SelectObject(dc, old);
    ::ReleaseDC(list, dc);
    for (int column = 0; column < 4; ++column)
        ListView_SetColumnWidth(list, column, widths[column] + margin);
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

void PlaceList(HWND window, const TChannelWindowState& state) {
    RECT client;
    ::GetClientRect(window, &client);
    HDC dc = ::GetDC(window);
    HGDIOBJ old = ::SelectObject(dc, state.font);
    const TChannelLayout layout = LayOut(dc, client.right, client.bottom, state.last);
    ::SelectObject(dc, old);
    ::ReleaseDC(window, dc);
    ::MoveWindow(state.list, layout.list.left, layout.list.top,
                 layout.list.right - layout.list.left, layout.list.bottom - layout.list.top, TRUE);
    ::MoveWindow(state.path, layout.path.left, layout.path.top,
                 layout.path.right - layout.path.left, layout.path.bottom - layout.path.top, TRUE);
}

/// The path's lines, set only when they changed so that a refresh keeps
/// where the operator scrolled to.
void FillPath(HWND path, const TChannelPicture& picture) {
    std::string text;
    for (const std::string& line : picture.Path)
        text += (text.empty() ? "" : "\r\n") + line;
    const std::wstring wide = support::Wide(text);
    std::wstring shown(static_cast<std::size_t>(::GetWindowTextLengthW(path)) + 1, L'\0');
    shown.resize(static_cast<std::size_t>(
        ::GetWindowTextW(path, shown.data(), static_cast<int>(shown.size()))));
    if (shown != wide)
        ::SetWindowTextW(path, wide.c_str());
}

void ApplyDpi(HWND window, TChannelWindowState& state) {
    if (state.font)
        ::DeleteObject(state.font);
    state.font = win32::MessageFontForDpi(win32::WindowDpi(window));
    ::SendMessageW(state.list, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), TRUE);
    if (state.fixed)
        ::DeleteObject(state.fixed);
    LOGFONTW message{};
    ::GetObjectW(state.font, sizeof message, &message);
    state.fixed = ::CreateFontW(message.lfHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                CLEARTYPE_QUALITY, FIXED_PITCH | FF_MODERN, L"Consolas");
    ::SendMessageW(state.path, WM_SETFONT, reinterpret_cast<WPARAM>(state.fixed), TRUE);
    FillPath(state.path, state.last);
    FillList(state.list, state.last);
    PlaceList(window, state);
}

void Paint(HWND window, const TChannelWindowState& state) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    RECT client;
    ::GetClientRect(window, &client);
    PaintChannelWindow(dc, client.right, client.bottom, state.last, state.font);
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
    case WM_CREATE:
        if (state) {
            state->list = ::CreateWindowExW(
                WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                WS_CHILD | WS_VISIBLE | WS_VSCROLL | LVS_REPORT | LVS_NOSORTHEADER | LVS_SINGLESEL,
                0, 0, 10, 10, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)),
                nullptr, nullptr);
            ListView_SetExtendedListViewStyle(state->list, LVS_EX_FULLROWSELECT);
            state->path = ::CreateWindowExW(
                WS_EX_CLIENTEDGE, L"EDIT", L"",
                WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                    ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                0, 0, 10, 10, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPathId)),
                nullptr, nullptr);
            const wchar_t* headers[] = {L"Call", L"km", L"Estimated", L"Measured"};
            for (int column = 0; column < 4; ++column) {
                LVCOLUMNW header{};
                header.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
                header.fmt = column == 0 ? LVCFMT_LEFT : LVCFMT_RIGHT;
                header.pszText = const_cast<wchar_t*>(headers[column]);
                header.iSubItem = column;
                ::SendMessageW(state->list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                               reinterpret_cast<LPARAM>(&header));
            }
            ApplyDpi(window, *state);
        }
        return 0;
    case WM_SIZE:
        if (state && state->list) {
            PlaceList(window, *state);
            ::InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_DPICHANGED:
        if (state) {
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            ::SetWindowPos(window, nullptr, suggested->left, suggested->top,
                           suggested->right - suggested->left, suggested->bottom - suggested->top,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            ApplyDpi(window, *state);
            ::InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_ERASEBKGND:
        return 1; // the paint fills the whole client area
    case WM_TIMER:
        if (state && wParam == kRefreshTimer) {
            state->last = state->picture();
            FillList(state->list, state->last);
            FillPath(state->path, state->last);
            PlaceList(window, *state);
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

void PaintChannelWindow(HDC dc, int width, int height, const TChannelPicture& picture, HFONT font) {
    const RECT client{0, 0, width, height};
    ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    HGDIOBJ oldFont = ::SelectObject(dc, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
    const TChannelLayout layout = LayOut(dc, width, height, picture);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(0x20, 0x20, 0x20));
    ::SetTextAlign(dc, TA_TOP | TA_LEFT);
    const auto write = [dc, &layout](int y, const std::string& text) {
        const std::wstring wide = support::Wide(text);
        ::TextOutW(dc, layout.list.left, y, wide.c_str(), static_cast<int>(wide.size()));
    };
    int y = layout.textTop;
    for (const std::string& line : TextLines(picture)) {
        ::SetTextColor(dc, !picture.Problem.empty() && line == picture.Problem
                               ? RGB(0xB0, 0x00, 0x00)
                               : RGB(0x20, 0x20, 0x20));
        write(y, line);
        y += layout.line;
    }
    ::SetTextColor(dc, RGB(0x20, 0x20, 0x20));
    write(layout.unlistedTop, UnlistedLine(picture));
    TGdiChannelCanvas canvas(dc, layout.timelineTop);
    PaintChannelTimeline(canvas, layout.timelineWidth, std::max(height - layout.timelineTop, 1),
                         picture.Timeline);
    ::SelectObject(dc, oldFont);
}

HWND OpenChannelWindow(HINSTANCE instance, HWND owner, std::function<TChannelPicture()> picture) {
    if (gOpen) {
        ::ShowWindow(gOpen, SW_SHOWNORMAL);
        ::SetForegroundWindow(gOpen);
        return gOpen;
    }
    static const bool registered = [instance] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
        ::InitCommonControlsEx(&controls);
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
    // Room for the text, 15 rows of the list and the timeline at the
    // system's scale, within the screen's work area.
    const int dpi = win32::WindowDpi(owner);
    RECT area{0, 0, 1024, 768};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const int width =
        std::min(win32::ScaleForDpi(1200, dpi), static_cast<int>(area.right - area.left));
    const int height =
        std::min(win32::ScaleForDpi(900, dpi), static_cast<int>(area.bottom - area.top));
    HWND window =
        ::CreateWindowExA(0, kChannelWindowClass, "Channel", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                          CW_USEDEFAULT, width, height, owner, nullptr, instance, state.get());
    if (!window)
        return nullptr;
    state.release(); // the window owns it now, until WM_NCDESTROY
    ::SetTimer(window, kRefreshTimer, 2000, nullptr);
    ::ShowWindow(window, SW_SHOWNORMAL);
    gOpen = window;
    return window;
}

HWND ChannelWindowList(HWND window) {
    const auto* state =
        reinterpret_cast<const TChannelWindowState*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    return state ? state->list : nullptr;
}

HWND ChannelWindowPath(HWND window) {
    const auto* state =
        reinterpret_cast<const TChannelWindowState*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    return state ? state->path : nullptr;
}

} // namespace app
