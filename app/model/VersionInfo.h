#pragma once

#include <array>
#include <cstdint>
#include <string>

/// The program's own version information, read from the program at run time.
namespace app {

class TVersionInfo {
public:
    /// Reads the version block built into this program.
    TVersionInfo();
    /// Reads a version block of the form "FileVersion=a.b.c.d\nLegalCopyright=...".
    explicit TVersionInfo(const std::string& block);

    /// Major, minor, release, build; missing numbers are 0.
    const std::array<std::uint16_t, 4>& FileVersion() const { return FFileVersion; }
    std::uint16_t Major() const { return FFileVersion[0]; }
    std::uint16_t Minor() const { return FFileVersion[1]; }
    std::uint16_t Release() const { return FFileVersion[2]; }
    std::uint16_t Build() const { return FFileVersion[3]; }
    /// The one-line legal notice.
    const std::string& LegalCopyright() const { return FLegalCopyright; }

private:
    std::array<std::uint16_t, 4> FFileVersion{};
    std::string FLegalCopyright;
};

/// The version block as built into the program.
const char* BuiltInVersionBlock();

} // namespace app
