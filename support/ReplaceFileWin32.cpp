#include "support/ReplaceFile.h"

#include <algorithm>
#include <system_error>

#include <windows.h>

namespace support {

namespace {

[[noreturn]] void ThrowLastError() {
    throw std::system_error(static_cast<int>(::GetLastError()), std::system_category());
}

} // namespace

void ReplaceFileWithText(const std::string& fileName, const std::string& text) {
    const std::string temp = fileName + "." + std::to_string(::GetCurrentProcessId()) + ".tmp";
    HANDLE file = ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        ThrowLastError();
    std::size_t written = 0;
    bool ok = true;
    while (ok && written < text.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(text.size() - written, 1u << 30));
        DWORD n = 0;
        ok = ::WriteFile(file, text.data() + written, chunk, &n, nullptr) != 0;
        written += n;
    }
    const DWORD writeError = ok ? 0 : ::GetLastError();
    ::CloseHandle(file);
    if (!ok || !::MoveFileExA(temp.c_str(), fileName.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ok ? ::GetLastError() : writeError;
        ::DeleteFileA(temp.c_str());
        throw std::system_error(static_cast<int>(error), std::system_category());
    }
}

} // namespace support
