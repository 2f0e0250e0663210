#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// PNG files through the Windows Imaging Component (Windows only). The
/// calling thread must have entered a COM apartment.
namespace support {

/// Pixels as 0x00RRGGBB words (the memory layout of a 32-bit bottom-up or
/// top-down DIB: blue, green, red, unused), the top row first.
struct TPixels {
    unsigned width = 0, height = 0;
    std::vector<std::uint32_t> data;
    std::uint32_t At(unsigned x, unsigned y) const { return data[std::size_t{y} * width + x]; }
};

/// Writes the pixels as a PNG file. The picture goes to "FILE.part" beside
/// the target, which then replaces the target in one step, so whoever waits
/// for the file never reads half a picture. Throws std::runtime_error naming
/// the file and the step that failed.
void WritePngFile(const std::wstring& path, unsigned width, unsigned height,
                  const std::uint32_t* pixels);

/// Reads a PNG (or any picture WIC decodes). Throws std::runtime_error
/// naming the file and the step that failed.
TPixels ReadPngFile(const std::wstring& path);

} // namespace support
