#pragma once

#include <string>
#include <vector>

/// Velloran's command line: GNU's --help and --version, the word DEBUG, and a
/// clear refusal of anything else that looks like an option.
namespace app {

struct TCommandLine {
    enum class TAction { Run, Help, Version, Error };
    TAction Action = TAction::Run;
    /// For TAction::Error: what was wrong, for standard error.
    std::string Error;
};

/// Reads the arguments after the program name (DEBUG is the main window's to
/// read). Words that are not options are left alone, as the program always
/// has; an unknown option is an error.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

/// The usage text for --help.
const char* VelloranUsage();

} // namespace app
