#pragma once

#include <string>
#include <string_view>
#include <vector>

/// What every program of the project says about itself on the command line:
/// its version, its legal notice, and GNU's --help and --version.
namespace support {

/// The version of this build, "major.minor.release.build", the same for every
/// program of the project.
const char* BuildVersion();

/// The one-line legal notice every program carries.
const char* LegalNotice();

enum class TStandardRequest { None, Help, Version };

/// The first of --help and --version on a command line (arguments without the
/// program name), looking no further than a "--". Programs answer it before
/// anything else, so that it works without a display or a bus.
TStandardRequest FindStandardRequest(const std::vector<std::string>& args);

/// The --version text: "PROGRAM (Velloran) VERSION" and the legal notice, each
/// on its own line.
std::string VersionText(std::string_view program);

} // namespace support
