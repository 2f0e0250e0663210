#pragma once

#include <windows.h>

#include <vector>

/// Laying the Win32 window out at any screen scale.
namespace app::win32 {

/// The dots per inch a window is shown at: its monitor's where the system
/// knows per-monitor scaling, else the system's.
int WindowDpi(HWND window);

/// A length designed at 96 dots per inch, at `dpi`.
int ScaleForDpi(int designed, int dpi);

/// The system's message font at `dpi`, optionally underlined; the caller
/// deletes it.
HFONT MessageFontForDpi(int dpi, bool underline = false);

/// How a control's designed rectangle is fitted to its text.
enum class TFit {
    None,     ///< the designed rectangle, scaled
    Line,     ///< widened and heightened to one line of its text
    CheckBox, ///< one line of text after the box
    Wrapped,  ///< made taller for its text wrapped to its width
    Frame,    ///< a group box: grows to hold what it frames
    OwnSize,  ///< placed only; it sizes itself to its text
};

/// The controls of a page laid out from their 96-DPI design: scaled to the
/// window's DPI and fitted to their texts in the window's font. A control
/// that grows pushes the controls to its right on its row, or below it,
/// further out, and the frames around it grow with it, so that no text is
/// cut whatever the scale or the font.
class TDesignedLayout {
public:
    void Add(HWND control, const RECT& designed, TFit fit);
    /// Places every control for `dpi`, its texts measured in `font`.
    void Apply(int dpi, HFONT font) const;

private:
    struct TItem {
        HWND Control;
        RECT Designed;
        TFit Fit;
    };
    std::vector<TItem> FItems;
};

} // namespace app::win32
