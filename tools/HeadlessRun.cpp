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

} // namespace

int RunVelloranReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string scenarioFile;
    bool haveScenario = false, ellipse = false, noLabel = false, debug = false, internet = false;
    std::string density = "1800";
    TChannelSource channel;
    std::optional<std::string> listen;

    switch (support::FindStandardRequest(args)) {
    case support::EStandardRequest::Help:
        out << kUsage << kChannelUsage;
        return 0;
    case support::EStandardRequest::Version:
        out << support::VersionText("velloran-report");
        return 0;
    case support::EStandardRequest::None:
        break;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h") {
            out << kUsage << kChannelUsage;
            return 0;
        }
        if (arg == "--scenario" || arg == "--density") {
            if (i + 1 >= args.size()) {
                err << "velloran-report: " << arg << " needs a value\n" << kUsage;
                return 2;
            }
            (arg == "--scenario" ? scenarioFile : density) = args[++i];
            haveScenario = haveScenario || arg == "--scenario";
        } else if (arg == "--monitor" || arg == "--kiss" || arg == "--agw" || arg == "--listen") {
            if (i + 1 >= args.size()) {
                err << "velloran-report: " << arg << " needs a value\n" << kUsage;
                return 2;
            }
            const std::string& value = args[++i];
            if (arg == "--listen") {
                listen = value;
                continue;
            }
            if (channel.kind != TChannelSource::EKind::None) {
                err << "velloran-report: give one of --monitor, --kiss and --agw\n";
                return 2;
            }
            if (arg == "--monitor") {
                channel.kind = TChannelSource::EKind::Monitor;
                channel.monitorFile = value;
            } else {
                channel.kind = TChannelSource::EKind::Tnc;
                channel.tnc.protocol =
                    arg == "--agw" ? aprs::ETncProtocol::Agw : aprs::ETncProtocol::Kiss;
                if (!aprs::SplitHostPort(value, channel.tnc.host, channel.tnc.port)) {
                    err << "velloran-report: " << arg << " '" << value
                        << "' is not HOST:PORT with a port of 1 to 65535\n";
                    return 2;
                }
            }
        } else if (arg == "--ellipse") {
            ellipse = true;
        } else if (arg == "--no-label") {
            noLabel = true;
        } else if (arg == "--debug") {
            debug = true;
        } else if (arg == "--include-internet") {
            internet = true;
        } else {
            err << "velloran-report: unknown option '" << arg << "'\n" << kUsage;
            return 2;
        }
    }

    if (channel.kind == TChannelSource::EKind::Tnc) {
        const std::optional<std::int32_t> seconds =
            listen ? support::ParseIntText(*listen) : std::nullopt;
        if (!seconds || *seconds < 1 || *seconds > 86400) {
            err << "velloran-report: --kiss and --agw need --listen SECONDS, 1 to 86400"
                << (listen ? ", not '" + *listen + "'" : std::string()) << '\n';
            return 2;
        }
        channel.listenSeconds = *seconds;
    } else if (listen) {
        err << "velloran-report: --listen goes with --kiss or --agw\n";
        return 2;
    }

    // A scenario file runs on the embedded host; otherwise the host running
    // as a program of its own, if there is one, or else the embedded demo.
    standin::TScenario scenario;
    std::shared_ptr<host::IHostConnector> busHost;
    try {
        if (haveScenario)
            scenario = standin::LoadScenarioFile(scenarioFile);
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

    std::unique_ptr<THeadlessRun> run;
    try {
        run = busHost ? std::make_unique<THeadlessRun>(busHost)
                      : std::make_unique<THeadlessRun>(std::move(scenario));
    } catch (const std::exception& error) {
        err << support::WithFullStop(error.what()) << '\n';
        return 1;
    }
    run->Options.Circle = !ellipse;
    run->Options.Ellipse = ellipse;
    run->Options.Label = !noLabel;
    run->Options.Debug = debug;
    run->Options.Internet = internet;

    aloha::TCalculation& calc = run->Calculation;
    if (debug)
        calc.State.PacketDensity = aloha::PacketDensityFromText(density);

    // As the window's first show: the own station first, then the run.
    try {
        calc.ReadOwnStation();
    } catch (const std::exception& error) {
        err << support::WithFullStop(error.what()) << '\n';
        return 1;
    }

    // What the TNC heard (the own call tells the own packets apart), then
    // the run on the host's list as it is now.
    std::optional<TMeasuredChannel> measured;
    if (channel.kind != TChannelSource::EKind::None) {
        channel.ownCall = calc.State.OwnCall;
        try {
            measured = MeasureChannel(channel, err);
        } catch (const std::exception& error) {
            err << "velloran-report: " << error.what() << '\n';
            return channel.kind == TChannelSource::EKind::Monitor ? 2 : 1;
        }
    }

    run->Connector->ClearMapCalls();
    int status = 0;
    std::string failure;
    try {
        calc.btnCalculateClick();
    } catch (const std::exception& error) {
        failure = error.what();
        status = 1;
    }
    WriteReport(*run, out);
    if (measured) {
        WriteChannelSection(calc.LastStations(), *measured, calc.State.PacketDensity, out);
        WritePathSection(calc.LastStations(), calc.State, *measured, out);
    }
    out.flush();
    if (status != 0)
        err << support::WithFullStop(failure) << '\n';
    return status;
}

} // namespace tools
