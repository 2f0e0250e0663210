#include "support/RegularFile.h"

#include <fstream>
#include <system_error>

// Windows has no named pipes or devices among ordinary paths, so asking the
// file system what the path is before opening it cannot leave us waiting.
namespace support {

std::string ReadRegularFile(const std::filesystem::path& file, std::size_t maxBytes) {
    const std::string name = file.string();
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (error)
        throw EFileRefused(name + ": cannot be read");
    if (!std::filesystem::is_regular_file(status))
        throw EFileRefused(name + ": is not a regular file");
    const auto tooLarge = [&] {
        return EFileRefused(name + ": is larger than " + std::to_string(maxBytes) + " bytes");
    };
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (!error && size > maxBytes)
        throw tooLarge();
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw EFileRefused(name + ": cannot be read");
    // The file may grow while it is read: read one byte beyond the limit to see.
    std::string content(maxBytes + 1, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    if (in.bad())
        throw EFileRefused(name + ": cannot be read");
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got > maxBytes)
        throw tooLarge();
    content.resize(got);
    return content;
}

} // namespace support
