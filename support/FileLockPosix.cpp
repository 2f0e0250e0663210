#include "support/FileLock.h"

#include <cerrno>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace support {

namespace {

int OpenLockFile(const std::filesystem::path& lockFile) {
    // No following of links, and no waiting on a named pipe put in its place.
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | kFlags, 0666);
    // Another user's lock file on a shared folder can be locked through a
    // read-only descriptor as well.
    if (fd < 0 && errno == EACCES)
        fd = ::open(lockFile.c_str(), O_RDONLY | kFlags);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

TFileLock::TFileLock(const std::filesystem::path& lockFile, std::chrono::milliseconds wait) {
    const int fd = OpenLockFile(lockFile);
    if (fd < 0)
        return;
    const auto end = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            FHandle = fd;
            FState = TState::Held;
            return;
        }
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            // A file system without locks (ENOLCK, EINVAL).
            ::close(fd);
            return;
        }
        if (std::chrono::steady_clock::now() >= end) {
            ::close(fd);
            FState = TState::Busy;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

TFileLock::~TFileLock() {
    // Closing the descriptor lets go of the lock.
    if (FHandle >= 0)
        ::close(static_cast<int>(FHandle));
}

} // namespace support
