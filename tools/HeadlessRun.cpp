#include "tools/HeadlessRun.h"

#include "support/ProgramInfo.h"
#include "support/TextRules.h"
#include "tools/ChannelSection.h"
#include "tools/ReportPlatform.h"

#include <optional>
#include <ostream>
#include <thread>

namespace tools {

void THeadlessWindow::Yield() {
    ++Yields;
    std::this_thread::yield();
}

THeadlessRun::THeadlessRun(standin::TScenario scenario)
    : Host(std::make_shared<standin::TStandinHost>(std::move(scenario))),
      Connector(std::make_shared<TRecordingConnector>(
          std::make_shared<standin::TEmbeddedConnector>(Host))),
      Components(Connector), Calculation(Components, Panes, Window, Options) {
    Components.Loaded();
}

THeadlessRun::THeadlessRun(std::shared_ptr<host::IHostConnector> connector)
    : Connector(std::make_shared<TRecordingConnector>(std::move(connector))), Components(Connector),
      Calculation(Components, Panes, Window, Options) {
    Components.Loaded();
}

void WriteReport(const THeadlessRun& run, std::ostream& out) {
    const auto section = [&out](const char* header, const std::vector<std::string>& lines) {
        out << header << '\n';
        for (const std::string& line : lines)
            out << line << '\n';
    };
    section("== ALOHA Radius ==", run.Panes.Summary);
    section("== Calculation Details ==", run.Panes.Details);
    section("== Packets Considered ==", run.Panes.Packets);
    out << "== Map ==\n";
    for (const standin::TMapCall& call : run.Connector->MapCalls())
        out << standin::FormatMapCall(call) << '\n';
    out << "== Tooltip ==\n" << run.Window.TrayTip << '\n';
}

namespace {

constexpr const char* kUsage =
    "usage: velloran-report [--scenario FILE] [--ellipse] [--no-label] [--debug]\n"
    "                       [--density TEXT] [--include-internet]\n"
    "Runs one ALOHA calculation on the stand-in host and prints what the window shows.\n"
    "  --scenario FILE      the host's scenario (JSON); default: the demo scenario\n"
    "  --ellipse            draw an ellipse instead of a circle\n"
    "  --no-label           do not label the radius on the map\n"
    "  --debug              debug mode: --density and --include-internet count\n"
    "  --density TEXT       packet density threshold as typed (default 1800)\n"
    "  --include-internet   count stations heard only on the Internet\n"
    "  --help               show this text and exit\n"
    "  --version            show the version and exit\n";

/// The channel's options, shown by --help after the usage above (which a bad
/// option prints as it always has).
constexpr const char* kChannelUsage =
    "Measuring the channel (adds the sections == Channel == and == Path == after the others):\n"
    "  --monitor FILE           TNC2 monitor lines, each optionally after a time\n"
    "                           YYYY-MM-DD HH:MM:SS (UTC); lines without one count as now\n"
    "  --kiss HOST:PORT         listen to a KISS TNC over TCP (such as Dire Wolf's 8001)\n"
    "  --agw HOST:PORT          listen to an AGW packet engine (port 8000); raw frames only\n"
    "  --listen SECONDS         how long to listen with --kiss or --agw (1 to 86400)\n";

/// What velloran-report's command line asks for.
struct TReportOptions {
    std::optional<std::string> scenarioFile;
    bool ellipse = false, noLabel = false, debug = false, internet = false;
    std::string density = "1800";
    TChannelSource channel;
    std::optional<std::string> listen;
};

/// Reads one of the channel's options and its value (args[i + 1]); the exit
/// status when it is refused.
std::optional<int> ReadChannelOption(const std::string& arg, const std::string& value,
                                     TReportOptions& options, std::ostream& err) {
    TChannelSource& channel = options.channel;
    if (arg == "--listen") {
        options.listen = value;
        return std::nullopt;
    }
    if (channel.kind != TChannelSource::TKind::None) {
        err << "velloran-report: give one of --monitor, --kiss and --agw\n";
        return 2;
    }
    if (arg == "--monitor") {
        channel.kind = TChannelSource::TKind::Monitor;
        channel.monitorFile = value;
        return std::nullopt;
    }
    channel.kind = TChannelSource::TKind::Tnc;
    channel.tnc.protocol = arg == "--agw" ? aprs::TTncProtocol::Agw : aprs::TTncProtocol::Kiss;
    if (!aprs::SplitHostPort(value, channel.tnc.host, channel.tnc.port)) {
        err << "velloran-report: " << arg << " '" << value
            << "' is not HOST:PORT with a port of 1 to 65535\n";
        return 2;
    }
    return std::nullopt;
}

/// How long to listen to a TNC: --listen goes with --kiss and --agw, and only
/// with them. The exit status when it does not fit.
std::optional<int> CheckListen(TReportOptions& options, std::ostream& err) {
    const std::optional<std::string>& listen = options.listen;
    if (options.channel.kind == TChannelSource::TKind::Tnc) {
        const std::optional<std::int32_t> seconds =
            listen ? support::ParseIntText(*listen) : std::nullopt;
        if (!seconds || *seconds < 1 || *seconds > 86400) {
            err << "velloran-report: --kiss and --agw need --listen SECONDS, 1 to 86400"
                << (listen ? ", not '" + *listen + "'" : std::string()) << '\n';
            return 2;
        }
        options.channel.listenSeconds = *seconds;
    } else if (listen) {
        err << "velloran-report: --listen goes with --kiss or --agw\n";
        return 2;
    }
    return std::nullopt;
}

/// Reads the command line into options; the exit status when the program
/// ends here (help, version, or a command line refused).
std::optional<int> ParseReportOptions(const std::vector<std::string>& args, TReportOptions& options,
                                      std::ostream& out, std::ostream& err) {
    switch (support::FindStandardRequest(args)) {
    case support::TStandardRequest::Help:
        out << kUsage << kChannelUsage;
        return 0;
    case support::TStandardRequest::Version:
        out << support::VersionText("velloran-report");
        return 0;
    case support::TStandardRequest::None:
        break;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--scenario" || arg == "--density" || arg == "--monitor" ||
                                arg == "--kiss" || arg == "--agw" || arg == "--listen";
        if (arg == "-h") {
            out << kUsage << kChannelUsage;
            return 0;
        } else if (takesValue && i + 1 >= args.size()) {
            err << "velloran-report: " << arg << " needs a value\n" << kUsage;
            return 2;
        } else if (arg == "--scenario") {
            options.scenarioFile = args[++i];
        } else if (arg == "--density") {
            options.density = args[++i];
        } else if (takesValue) {
            if (const auto status = ReadChannelOption(arg, args[++i], options, err))
                return status;
        } else if (arg == "--ellipse") {
            options.ellipse = true;
        } else if (arg == "--no-label") {
            options.noLabel = true;
        } else if (arg == "--debug") {
            options.debug = true;
        } else if (arg == "--include-internet") {
            options.internet = true;
        } else {
            err << "velloran-report: unknown option '" << arg << "'\n" << kUsage;
            return 2;
        }
    }
    return CheckListen(options, err);
}

/// The run on the host asked for: a scenario file on the embedded host;
/// otherwise the host running as a program of its own, if there is one, or
/// else the embedded demo. The exit status when there is none.
std::optional<int> WireRun(const TReportOptions& options, std::unique_ptr<THeadlessRun>& run,
                           std::ostream& err) {
    standin::TScenario scenario;
    std::shared_ptr<host::IHostConnector> busHost;
    try {
        if (options.scenarioFile)
            scenario = standin::LoadScenarioFile(*options.scenarioFile);
        else if (!(busHost = AttachRunningHost())) {
            // Say so: the demo's radius looks like a real one.
            err << standin::kDemoScenarioNote << '\n';
            scenario = standin::LoadDemoScenario();
        }
    } catch (const standin::EScenarioError& error) {
        err << error.what() << '\n';
        return 2;
    } catch (const std::exception& error) {
        err << support::WithFullStop(error.what()) << '\n';
        return 1;
    }

    try {
        run = busHost ? std::make_unique<THeadlessRun>(busHost)
                      : std::make_unique<THeadlessRun>(std::move(scenario));
    } catch (const std::exception& error) {
        err << support::WithFullStop(error.what()) << '\n';
        return 1;
    }
    run->Options.Circle = !options.ellipse;
    run->Options.Ellipse = options.ellipse;
    run->Options.Label = !options.noLabel;
    run->Options.Debug = options.debug;
    run->Options.Internet = options.internet;
    if (options.debug)
        run->Calculation.State.PacketDensity = aloha::PacketDensityFromText(options.density);
    return std::nullopt;
}

/// What the TNC heard, the own call telling the own packets apart. The exit
/// status when it could not be read.
std::optional<int> MeasureChannelOf(TChannelSource channel, const std::string& ownCall,
                                    std::optional<TMeasuredChannel>& measured, std::ostream& err) {
    if (channel.kind == TChannelSource::TKind::None)
        return std::nullopt;
    channel.ownCall = ownCall;
    try {
        measured = MeasureChannel(channel, err);
    } catch (const std::exception& error) {
        err << "velloran-report: " << error.what() << '\n';
        return channel.kind == TChannelSource::TKind::Monitor ? 2 : 1;
    }
    return std::nullopt;
}

/// As the window's first show: the own station first, then what the TNC
/// heard, then the calculation on the host's list as it is now; the report
/// (and the channel's sections) is written either way.
int RunCalculation(THeadlessRun& run, const TChannelSource& channel, std::ostream& out,
                   std::ostream& err) {
    aloha::TCalculation& calc = run.Calculation;
    try {
        calc.ReadOwnStation();
    } catch (const std::exception& error) {
        err << support::WithFullStop(error.what()) << '\n';
        return 1;
    }
    std::optional<TMeasuredChannel> measured;
    if (const auto status = MeasureChannelOf(channel, calc.State.OwnCall, measured, err))
        return *status;

    run.Connector->ClearMapCalls();
    int status = 0;
    std::string failure;
    try {
        calc.btnCalculateClick();
    } catch (const std::exception& error) {
        failure = error.what();
        status = 1;
    }
    WriteReport(run, out);
    if (measured) {
        WriteChannelSection(calc.LastStations(), *measured, calc.State.PacketDensity, out);
        WritePathSection(calc.LastStations(), calc.State, *measured, out);
    }
    out.flush();
    if (status != 0)
        err << support::WithFullStop(failure) << '\n';
    return status;
}

} // namespace

int RunVelloranReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    TReportOptions options;
    if (const auto status = ParseReportOptions(args, options, out, err))
        return *status;

    std::unique_ptr<THeadlessRun> run;
    if (const auto status = WireRun(options, run, err))
        return *status;
    return RunCalculation(*run, options.channel, out, err);
}

} // namespace tools
