#include "support/ReplaceFile.h"

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace support {

namespace {

// Closes a descriptor and removes a temporary file unless it was kept.
class TTempFile {
public:
    TTempFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~TTempFile() {
        Close();
        if (!kept_) {
            ::unlink(path_.c_str());
        }
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    int Fd() const { return fd_; }
    int Close() {
        int result = 0;
        if (fd_ >= 0) {
            result = ::close(fd_);
            fd_ = -1;
        }
        return result;
    }
    void Keep() { kept_ = true; }
    const std::string& Path() const { return path_; }

private:
    int fd_;
    std::string path_;
    bool kept_ = false;
};

} // namespace

void ReplaceFileWithText(const std::string& fileName, const std::string& text) {
    std::string pattern = fileName + ".XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category());
    }
    TTempFile temp(fd, pattern);
    // mkstemp creates the file private to the user; give it the permissions
    // an ordinary new file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(temp.Fd(), 0666 & ~mask);

    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(temp.Fd(), text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category());
        }
        written += static_cast<std::size_t>(n);
    }
    if (temp.Close() != 0) {
        throw std::system_error(errno, std::generic_category());
    }
    if (::rename(temp.Path().c_str(), fileName.c_str()) != 0) {
        throw std::system_error(errno, std::generic_category());
    }
    temp.Keep();
}

} // namespace support
