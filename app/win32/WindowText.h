#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

namespace app::win32 {

/// The text of a window or control.
inline std::string WindowText(HWND window) {
    const int length = ::GetWindowTextLengthA(window);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int n = ::GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(n, 0)));
    return text;
}

} // namespace app::win32
