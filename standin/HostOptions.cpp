#include "standin/HostOptions.h"

#include "aprs/link/TncAddress.h"
#include "support/ProgramInfo.h"
#include "support/TextRules.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace standin {

namespace {

constexpr const char* kBusUsage =
    "usage: velloran-standin-host [--scenario FILE] [--snapshot FILE.png]\n"
    "                             [--fail OPERATION AFTER MESSAGE] [--replace-objects]\n"
    "       velloran-standin-host (--kiss HOST:PORT | --monitor FILE|-)\n"
    "                             --own CALL --lat DEG --lon DEG [--expire MINUTES] [--debug]\n"
    "                             [--txdelay MS] [--stats]\n"
    "Serves a stand-in APRS host on the session bus and shows its map.\n"
    "  --scenario FILE     the station list (JSON); default: the demo scenario\n"
    "  --kiss HOST:PORT    live stations from a KISS TNC on TCP (Dire Wolf: localhost:8001)\n"
    "  --monitor FILE|-    live stations from TNC2 monitor lines in a file or on standard input\n"
    "  --own CALL          the own station's call sign (live stations only)\n"
    "  --lat DEG --lon DEG the own station's position in degrees, north and east positive\n"
    "  --expire MINUTES    drop stations not heard for this long (default 80)\n"
    "  --debug             log why packets were not used\n"
    "  --txdelay MS        keying time counted before every frame's airtime (default 300)\n"
    "  --stats             print the channel table at the end; with --monitor: read the\n"
    "                      input, print the table and end (no bus, no window)\n"
    "  --snapshot FILE     write the map as a PNG after the next drawing (no display needed)\n"
    "  --fail OP N MSG     fail operation OP with MSG once N calls of it have succeeded\n"
    "  --replace-objects   hand back new station objects from GetStationInfo and GetMyInfo\n"
    "  --help              show this text and exit\n"
    "  --version           show the version and exit\n"
    "Closing the window, SIGTERM or the bus command Close() tells clients (event 3) and ends.\n";

constexpr const char* kComUsage =
    "usage: velloran-standin-host [--scenario FILE] [--snapshot FILE.png]\n"
    "                             [--fail OPERATION AFTER MESSAGE] [--replace-objects]\n"
    "       velloran-standin-host /RegServer [/AllUsers] | /UnregServer [/AllUsers] | --close\n"
    "Serves the host's automation interface over COM from a scenario file, the file named\n"
    "in VELLORAN_SCENARIO, or the demo scenario.\n"
    "  --scenario FILE     the host's scenario (JSON)\n"
    "  --snapshot FILE     write the map as a PNG after the next drawing\n"
    "  --fail OP N MSG     fail operation OP with MSG once N calls of it have succeeded\n"
    "  --replace-objects   hand back new station objects from GetStationInfo and GetMyInfo\n"
    "  /RegServer          register the classes and the type library for this user\n"
    "  /UnregServer        remove that registration\n"
    "  /AllUsers           with /RegServer or /UnregServer: for all users of the machine\n"
    "  --close             close the running stand-in host (it tells its clients first)\n"
    "  --help              show this text and exit\n"
    "  --version           show the version and exit\n"
    "Closing its map window or its console, or the control command, tells clients\n"
    "(event 3) and ends.\n";

constexpr const char* kProgram = "velloran-standin-host";

/// How many values follow an option of the program on the command line.
int ValueCount(THostProgramKind program, const std::string& arg) {
    if (arg == "--fail")
        return 3;
    for (const char* name : {"--scenario", "--snapshot"})
        if (arg == name)
            return 1;
    if (program == THostProgramKind::Bus)
        for (const char* name :
             {"--kiss", "--monitor", "--own", "--lat", "--lon", "--expire", "--txdelay"})
            if (arg == name)
                return 1;
    return 0;
}

/// A Windows switch: /Name or -Name, the name in any case.
bool IsSwitch(const std::string& arg, std::string_view name) {
    if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-'))
        return false;
    return support::UpperAscii(std::string_view(arg).substr(1)) == support::UpperAscii(name);
}

/// A whole decimal number in degrees within the limit, or nullopt.
std::optional<double> Degrees(const std::string& text, double limit) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || at != end || !(std::fabs(value) <= limit))
        return std::nullopt;
    return value;
}

/// A count of calls: a whole number of 0 or more, blanks around it allowed.
/// One too large for 64 bits is refused, not taken as the largest.
std::optional<std::int64_t> Count(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || errno == ERANGE || value < 0)
        return std::nullopt;
    while (std::isspace(static_cast<unsigned char>(*end)))
        ++end;
    if (*end)
        return std::nullopt;
    return value;
}

/// Why the live options do not fit together; empty when they do.
std::string CheckLive(const THostOptions& options) {
    if (!options.Live()) {
        if (options.own || options.lat || options.lon)
            return "--own, --lat and --lon go with --kiss or --monitor";
        if (options.stats)
            return "--stats goes with --kiss or --monitor";
        return {};
    }
    if (options.scenario && !options.scenario->empty())
        return "--scenario cannot be combined with --kiss or --monitor";
    if (!options.kiss.empty() && !options.monitor.empty())
        return "give either --kiss or --monitor, not both";
    if (!options.own || !options.lat || !options.lon)
        return "live stations need the own station: --own CALL --lat DEG --lon DEG";
    return {};
}

THostCommandLine Refused(std::string text) {
    THostCommandLine result;
    result.status = 2;
    result.err = std::string(kProgram) + ": " + std::move(text);
    return result;
}

} // namespace

const char* HostUsage(THostProgramKind program) {
    return program == THostProgramKind::Bus ? kBusUsage : kComUsage;
}

std::optional<THostCommandLine> HostStandardRequest(THostProgramKind program,
                                                    const std::vector<std::string>& args) {
    THostCommandLine result;
    switch (support::FindStandardRequest(args)) {
    case support::TStandardRequest::Help:
        result.out = HostUsage(program);
        return result;
    case support::TStandardRequest::Version:
        result.out = support::VersionText(kProgram);
        return result;
    case support::TStandardRequest::None:
        break;
    }
    return std::nullopt;
}

THostCommandLine ParseHostOptions(THostProgramKind program, const std::vector<std::string>& args) {
    if (auto request = HostStandardRequest(program, args))
        return *std::move(request);
    const bool bus = program == THostProgramKind::Bus;
    const std::string usage = HostUsage(program);
    THostOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (const int count = ValueCount(program, arg); i + count >= args.size())
            return Refused(arg + " needs " + std::to_string(count) +
                           (count == 1 ? " value\n" : " values\n") + usage);
        if (arg == "-h" || (!bus && arg == "/?")) {
            THostCommandLine help;
            help.out = usage;
            return help;
        } else if (arg == "--scenario") {
            options.scenario = args[++i];
        } else if (arg == "--snapshot") {
            options.snapshot = args[++i];
        } else if (arg == "--fail") {
            const auto after = Count(args[i + 2]);
            if (!IsHostOperationName(args[i + 1]) || !after)
                return Refused("--fail needs an operation of the host and a count of 0 or more\n");
            options.fail = TScenarioFail{args[i + 1], *after, args[i + 3]};
            i += 3;
        } else if (arg == "--replace-objects") {
            options.replaceObjects = true;
        } else if (bus && arg == "--kiss") {
            options.kiss = args[++i];
            std::string host, port;
            if (!aprs::SplitHostPort(options.kiss, host, port))
                return Refused("--kiss needs HOST:PORT with a port of 1 to 65535, not '" +
                               options.kiss + "'\n");
        } else if (bus && arg == "--monitor") {
            options.monitor = args[++i];
        } else if (bus && arg == "--own") {
            const std::string call = support::UpperAscii(args[++i]);
            if (call.empty() || call.size() > 9 || call.find_first_of(" *:>,") != std::string::npos)
                return Refused("--own needs a call sign of 1 to 9 characters, not '" + call +
                               "'\n");
            options.own = call;
        } else if (bus && (arg == "--lat" || arg == "--lon")) {
            const bool lat = arg == "--lat";
            const std::string& text = args[++i];
            const auto value = Degrees(text, lat ? 90.0 : 180.0);
            if (!value)
                return Refused(
                    arg +
                    (lat ? " needs degrees from -90 to 90" : " needs degrees from -180 to 180") +
                    ", not '" + text + "'\n");
            (lat ? options.lat : options.lon) = value;
        } else if (bus && arg == "--expire") {
            const std::string& text = args[++i];
            const auto minutes = support::ParseIntText(text);
            if (!minutes || *minutes < 1)
                return Refused("--expire needs a number of minutes of 1 or more, not '" + text +
                               "'\n");
            options.expire = *minutes;
        } else if (bus && arg == "--debug") {
            options.debug = true;
        } else if (bus && arg == "--stats") {
            options.stats = true;
        } else if (bus && arg == "--txdelay") {
            const std::string& text = args[++i];
            const auto ms = support::ParseIntText(text);
            if (!ms || *ms < 0 || *ms > 10000)
                return Refused("--txdelay needs milliseconds from 0 to 10000, not '" + text +
                               "'\n");
            options.txDelayMs = *ms;
        } else if (!bus && arg == "--close") {
            options.close = true;
        } else if (!bus && IsSwitch(arg, "RegServer")) {
            options.registerServer = true;
        } else if (!bus && IsSwitch(arg, "UnregServer")) {
            options.registerServer = false;
        } else if (!bus && IsSwitch(arg, "AllUsers")) {
            options.allUsers = true;
        } else if (!bus && (IsSwitch(arg, "Embedding") || IsSwitch(arg, "Automation"))) {
            // Started by COM: the scenario comes from the environment.
        } else {
            return Refused("unknown option '" + arg + "'\n" + usage);
        }
    }
    if (bus)
        if (const std::string misfit = CheckLive(options); !misfit.empty())
            return Refused(misfit + "\n");
    THostCommandLine result;
    result.options = std::move(options);
    return result;
}

bool WantsMonitorStats(const std::vector<std::string>& args) {
    bool stats = false;
    bool monitor = false;
    for (std::size_t i = 0; i < args.size(); i += 1 + ValueCount(THostProgramKind::Bus, args[i])) {
        stats = stats || args[i] == "--stats";
        monitor = monitor || args[i] == "--monitor";
    }
    return stats && monitor;
}

} // namespace standin
