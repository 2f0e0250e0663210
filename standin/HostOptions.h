#pragma once

#include "standin/model/Scenario.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// The command line of the stand-in host, read once for both of its programs:
/// the bus program (Linux) and the COM local server (Windows). They share the
/// scenario options; live stations belong to the first, registration to the
/// second, and each refuses the other's as unknown.
namespace standin {

enum class THostProgramKind { Bus, Com };

struct THostOptions {
    std::optional<std::string> scenario;
    std::optional<std::string> snapshot;
    std::optional<TScenarioFail> fail;
    bool replaceObjects = false;

    // The bus program's live stations.
    std::string kiss;    // HOST:PORT
    std::string monitor; // file or "-"
    std::optional<std::string> own;
    std::optional<double> lat, lon;
    std::int32_t expire = 80;
    bool debug = false;
    std::int32_t txDelayMs = 300;
    bool stats = false;
    bool Live() const { return !kiss.empty() || !monitor.empty(); }

    // The COM program's registration and control.
    std::optional<bool> registerServer; // true: register, false: unregister
    bool allUsers = false;
    bool close = false;
};

/// What the command line comes to: the options, or the status to end with
/// after printing out (to standard output) and err (to standard error).
struct THostCommandLine {
    std::optional<THostOptions> options;
    int status = 0;
    std::string out;
    std::string err;
};

/// The program's usage text.
const char* HostUsage(THostProgramKind program);

/// --help or --version anywhere on the command line (arguments without the
/// program name), answered before anything else; nullopt when neither is
/// there.
std::optional<THostCommandLine> HostStandardRequest(THostProgramKind program,
                                                    const std::vector<std::string>& args);

/// Reads the command line (arguments without the program name). A refused
/// one names what was wrong, followed by the usage where an option was not
/// understood at all.
THostCommandLine ParseHostOptions(THostProgramKind program, const std::vector<std::string>& args);

/// True when the bus program's command line asks for the channel table of a
/// monitor input: a measurement that needs neither a bus nor a display.
bool WantsMonitorStats(const std::vector<std::string>& args);

} // namespace standin
