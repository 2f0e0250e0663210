#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace support {

/// A file that was not read: the message names the file and says why.
class EFileRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Reads a whole regular file of at most maxBytes. Anything else (a named
/// pipe, a device such as /dev/zero, a directory, a larger file) is refused
/// without waiting on it or reading it: EFileRefused with "FILE: is not a
/// regular file", "FILE: is larger than N bytes" or "FILE: cannot be read".
std::string ReadRegularFile(const std::filesystem::path& file, std::size_t maxBytes);

} // namespace support
