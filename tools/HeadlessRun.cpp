#include "tools/HeadlessRun.h"

#include "support/ProgramInfo.h"
#include "support/TextRules.h"
#include "tools/ReportPlatform.h"

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

} // namespace

int RunVelloranReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string scenarioFile;
    bool haveScenario = false, ellipse = false, noLabel = false, debug = false, internet = false;
    std::string density = "1800";

    switch (support::FindStandardRequest(args)) {
    case support::EStandardRequest::Help:
        out << kUsage;
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
            out << kUsage;
            return 0;
        }
        if (arg == "--scenario" || arg == "--density") {
            if (i + 1 >= args.size()) {
                err << "velloran-report: " << arg << " needs a value\n" << kUsage;
                return 2;
            }
            (arg == "--scenario" ? scenarioFile : density) = args[++i];
            haveScenario = haveScenario || arg == "--scenario";
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
        calc.State.PacketDensity = support::IntTextOr(density, 1800);

    // As the window's first show: the own station first, then the run.
    try {
        calc.ReadOwnStation();
    } catch (const std::exception& error) {
        err << support::WithFullStop(error.what()) << '\n';
        return 1;
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
    out.flush();
    if (status != 0)
        err << support::WithFullStop(failure) << '\n';
    return status;
}

} // namespace tools
