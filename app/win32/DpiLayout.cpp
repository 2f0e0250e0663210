#include "app/win32/DpiLayout.h"

#include <algorithm>
#include <string>

namespace app::win32 {

namespace {

/// A function of user32 that older Windows lacks, or null.
template <class F> F User32Function(const char* name) {
    const FARPROC found = ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name);
    // Through a function type that takes nothing, which converts to any other
    // without a warning.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(found));
}

int SystemDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

std::wstring Text(HWND control) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

int Width(const RECT& r) {
    return r.right - r.left;
}

int Height(const RECT& r) {
    return r.bottom - r.top;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

} // namespace

int WindowDpi(HWND window) {
    using TGetDpiForWindow = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<TGetDpiForWindow>("GetDpiForWindow");
    if (getDpiForWindow && window)
        if (const UINT dpi = getDpiForWindow(window); dpi > 0)
            return static_cast<int>(dpi);
    return SystemDpi();
}

int ScaleForDpi(int designed, int dpi) {
    return ::MulDiv(designed, dpi, 96);
}

HFONT MessageFontForDpi(int dpi, bool underline) {
    using TSystemParametersInfoForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const auto forDpi =
        User32Function<TSystemParametersInfoForDpi>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!forDpi ||
        !forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi))) {
        // The system's font is made for the system's DPI.
        ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
        metrics.lfMessageFont.lfHeight = ::MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi());
    }
    LOGFONTW font = metrics.lfMessageFont;
    font.lfUnderline = underline ? TRUE : FALSE;
    return ::CreateFontIndirectW(&font);
}

void TDesignedLayout::Add(HWND control, const RECT& designed, TFit fit) {
    FItems.push_back({control, designed, fit});
}

void TDesignedLayout::Apply(int dpi, HFONT font) const {
    std::vector<RECT> placed;
    for (const TItem& item : FItems)
        placed.push_back({ScaleForDpi(item.Designed.left, dpi), ScaleForDpi(item.Designed.top, dpi),
                          ScaleForDpi(item.Designed.right, dpi),
                          ScaleForDpi(item.Designed.bottom, dpi)});

    HDC dc = ::GetDC(nullptr);
    const HGDIOBJ previous = ::SelectObject(dc, font);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    const int lineHeight = metrics.tmHeight + ScaleForDpi(2, dpi);
    const int box = ScaleForDpi(13 + 6, dpi); // a check box's square and its gap
    const int margin = ScaleForDpi(8, dpi);

    for (std::size_t i = 0; i < FItems.size(); ++i) {
        const TItem& item = FItems[i];
        const std::wstring text = Text(item.Control);
        int growRight = 0, growDown = 0;
        if (item.Fit == TFit::Line || item.Fit == TFit::CheckBox) {
            SIZE extent{};
            ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
            const int wanted =
                extent.cx + ScaleForDpi(2, dpi) + (item.Fit == TFit::CheckBox ? box : 0);
            growRight = std::max(0, wanted - Width(placed[i]));
            growDown = std::max(0, lineHeight - Height(placed[i]));
        } else if (item.Fit == TFit::Wrapped) {
            RECT needed{0, 0, Width(placed[i]), 0};
            ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                        DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            growDown = std::max(0, Height(needed) - Height(placed[i]));
        }
        placed[i].right += growRight;
        placed[i].bottom += growDown;
        for (std::size_t j = 0; j < FItems.size(); ++j) {
            if (j == i || Inside(item.Designed, FItems[j].Designed))
                continue; // a frame around the control grows below
            const RECT& other = FItems[j].Designed;
            const bool sameRow =
                other.top < item.Designed.bottom && other.bottom > item.Designed.top;
            if (growRight && sameRow && other.left >= item.Designed.right)
                OffsetRect(&placed[j], growRight, 0);
            if (growDown && other.top >= item.Designed.bottom)
                OffsetRect(&placed[j], 0, growDown);
        }
    }
    // Frames hold what they frame, with their designed margin.
    for (std::size_t f = 0; f < FItems.size(); ++f) {
        if (FItems[f].Fit != TFit::Frame)
            continue;
        for (std::size_t c = 0; c < FItems.size(); ++c) {
            if (c == f || !Inside(FItems[c].Designed, FItems[f].Designed))
                continue;
            placed[f].right = std::max(placed[f].right, placed[c].right + margin);
            placed[f].bottom = std::max(placed[f].bottom, placed[c].bottom + margin);
        }
    }
    ::SelectObject(dc, previous);
    ::ReleaseDC(nullptr, dc);

    for (std::size_t i = 0; i < FItems.size(); ++i) {
        const RECT& r = placed[i];
        if (FItems[i].Fit == TFit::OwnSize)
            ::SetWindowPos(FItems[i].Control, nullptr, r.left, r.top, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        else
            ::MoveWindow(FItems[i].Control, r.left, r.top, Width(r), Height(r), TRUE);
    }
}

} // namespace app::win32
