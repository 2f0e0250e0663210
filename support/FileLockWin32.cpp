#include "support/FileLock.h"

#include <windows.h>

namespace support {

namespace {

HANDLE OpenLockFile(const std::filesystem::path& lockFile) {
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file =
        ::CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE, kShare, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    // Another user's lock file on a shared folder can be locked through a
    // read-only handle as well.
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED)
        file = ::CreateFileW(lockFile.c_str(), GENERIC_READ, kShare, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return file;
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        ::CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

} // namespace

TFileLock::TFileLock(const std::filesystem::path& lockFile, std::chrono::milliseconds wait) {
    HANDLE file = OpenLockFile(lockFile);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        OVERLAPPED at{};
        if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            FHandle = reinterpret_cast<std::intptr_t>(file);
            FState = TState::Held;
            return;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
            ::CloseHandle(file);
            return;
        }
        if (std::chrono::steady_clock::now() >= end) {
            ::CloseHandle(file);
            FState = TState::Busy;
            return;
        }
        ::Sleep(2);
    }
}

TFileLock::~TFileLock() {
    if (FState != TState::Held)
        return;
    HANDLE file = reinterpret_cast<HANDLE>(FHandle);
    OVERLAPPED at{};
    ::UnlockFileEx(file, 0, 1, 0, &at);
    ::CloseHandle(file);
}

} // namespace support
