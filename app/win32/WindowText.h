#pragma once

#include <windows.h>

#include "support/WideText.h"

#include <algorithm>
#include <string>

namespace app::win32 {

/// The text of a window or control, as Windows holds it.
inline std::wstring WideWindowText(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int n = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(n, 0)));
    return text;
}

/// The text of a window or control, in UTF-8.
inline std::string WindowText(HWND window) {
    return support::Utf8(WideWindowText(window));
}

} // namespace app::win32
