#pragma once

#include <windows.h>

#include <chrono>
#include <string>

/// The report panes of the Win32 window: read-only multi-line edit controls.
namespace app::win32 {

/// What a pane shows for a NUL in a line (a host's empty symbol text): the
/// character stays, visibly, where an edit control would take a NUL as the end
/// of all the text handed over with it.
inline constexpr wchar_t kNulStandIn = L'\x2400'; // SYMBOL FOR NULL

/// Text for an edit control, from UTF-8: line feeds become CR LF, and a NUL
/// its stand-in.
std::wstring EditText(const std::string& text);

/// Appends one line as the pane's new last line, handing the control only the
/// new text, placed at the end.
void AppendPaneLine(HWND edit, const std::string& line);

/// A pane that a run writes to line by line. An edit control's work per
/// insertion grows with its text, so lines are gathered and handed over
/// together: at once while that is cheap, and otherwise after a wait ten
/// times as long as the last hand-over took, so that the control takes at
/// most a tenth of the time. Flush hands over what waits (the window calls it
/// from a timer, so that the last lines show within a moment).
class TPaneBuffer {
public:
    explicit TPaneBuffer(HWND edit) : FEdit(edit) {}

    void Append(const std::string& line);
    void Flush();
    void Clear();
    bool Pending() const { return !FPending.empty(); }
    HWND Edit() const { return FEdit; }

private:
    using Clock = std::chrono::steady_clock;
    HWND FEdit;
    std::wstring FPending;
    bool FHasText = false;
    Clock::time_point FNext{};
};

} // namespace app::win32
