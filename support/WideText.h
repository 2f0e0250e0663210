#pragma once

#include <windows.h>

#include <string>
#include <string_view>

/// Texts between the project's UTF-8 and Windows' UTF-16, for the wide calls
/// of the Windows programs: converted once, at the edge, so that any language
/// survives whatever code page Windows is set to. Embedded NULs are kept.
namespace support {

inline std::wstring Wide(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                          length);
    return wide;
}

inline std::string Utf8(std::wstring_view wide) {
    if (wide.empty())
        return {};
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                             nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(),
                          length, nullptr, nullptr);
    return utf8;
}

} // namespace support
