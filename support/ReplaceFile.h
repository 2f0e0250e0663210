#pragma once

#include <string>

namespace support {

/// Writes the whole text as the file's new contents. The text goes to a
/// temporary file beside the target, which then replaces the target in one
/// step, so a failed write never leaves a truncated file behind. Throws
/// std::system_error with the system's reason on failure.
void ReplaceFileWithText(const std::string& fileName, const std::string& text);

} // namespace support
