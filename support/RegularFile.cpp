#include "support/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace support {

namespace {

/// Closes the descriptor when it goes.
struct TFd {
    int fd;
    ~TFd() {
        if (fd >= 0)
            ::close(fd);
    }
};

#ifdef _WIN32
constexpr int kOpenFlags = O_RDONLY | O_BINARY;
#else
// Not blocking: opening a named pipe would otherwise wait for a writer.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
#endif

} // namespace

std::string ReadRegularFile(const std::filesystem::path& file, std::size_t maxBytes) {
    const std::string name = file.string();
    const TFd handle{::open(name.c_str(), kOpenFlags)};
    if (handle.fd < 0)
        throw EFileRefused(name + ": cannot be read");
    struct stat info {};
    if (::fstat(handle.fd, &info) != 0)
        throw EFileRefused(name + ": cannot be read");
    if (!S_ISREG(info.st_mode))
        throw EFileRefused(name + ": is not a regular file");
    const auto tooLarge = [&] {
        return EFileRefused(name + ": is larger than " + std::to_string(maxBytes) + " bytes");
    };
    if (static_cast<std::uintmax_t>(info.st_size) > maxBytes)
        throw tooLarge();
    std::string content;
    content.resize(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    // The file may grow while it is read: read one byte beyond the limit to see.
    for (;;) {
        if (got == content.size()) {
            if (content.size() > maxBytes)
                throw tooLarge();
            content.resize(std::min(maxBytes + 1, std::max<std::size_t>(content.size() * 2, 4096)));
        }
        const auto n =
            ::read(handle.fd, content.data() + got,
                   static_cast<unsigned>(std::min<std::size_t>(content.size() - got, 1u << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EFileRefused(name + ": cannot be read");
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got > maxBytes)
        throw tooLarge();
    content.resize(got);
    return content;
}

} // namespace support
