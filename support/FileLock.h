#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>

namespace support {

/// An advisory, exclusive lock on a file that serves only as the lock, held
/// for the object's lifetime. Processes that take the lock on the same file
/// exclude each other; the file's content is never touched.
class TFileLock {
public:
    enum class TState {
        Held,        ///< this object holds the lock
        Busy,        ///< another holder kept it for the whole wait
        Unavailable, ///< the lock file cannot be opened or locked at all
    };

    /// Opens (creating when needed) the lock file and tries to take the lock
    /// for up to `wait`. A lock file that is not a regular file (a symbolic
    /// link, a named pipe, a folder) is not used: Unavailable.
    TFileLock(const std::filesystem::path& lockFile, std::chrono::milliseconds wait);
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

    TState State() const { return FState; }

private:
    TState FState = TState::Unavailable;
    // A POSIX descriptor or a Win32 handle.
    std::intptr_t FHandle = -1;
};

} // namespace support
