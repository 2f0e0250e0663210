// velloran-standin-host: our stand-in for the APRS client, as a program of its
// own. It serves the host's automation interface on the desktop bus from a
// scenario file, or from the stations a TNC hears, and shows the map that
// clients draw on.
#include "host/bus/BusWire.h"
#include "standin/bus/BusService.h"
#include "standin/live/LiveStations.h"
#include "standin/live/TncSources.h"
#include "standin/qt/ChannelPanel.h"
#include "standin/qt/MapView.h"
#include "standin/qt/StatusLine.h"
#include "support/APRSParser.h"
#include "support/ProgramInfo.h"
#include "support/TextRules.h"
#include "support/qt/QtPurgeTimer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QMainWindow>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
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

int gSignalPipe[2] = {-1, -1};
int gWatchdogPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto toLoop = write(gSignalPipe[1], &byte, 1);
    [[maybe_unused]] const auto toWatchdog = write(gWatchdogPipe[1], &byte, 1);
}

/// A termination request ends the host within a second whatever it is doing:
/// the orderly close (clients told, bus left) gets most of that second, then
/// the process ends regardless.
void StartWatchdog() {
    std::thread([] {
        char byte = 0;
        while (read(gWatchdogPipe[0], &byte, 1) < 0 && errno == EINTR) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        std::cerr << "velloran-standin-host: ended without closing in order\n";
        _exit(0);
    }).detach();
}

class THostWindow : public QMainWindow {
public:
    std::function<void()> OnClose;

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore(); // the host closes itself once clients have been told
        if (OnClose)
            OnClose();
    }
};

struct TOptions {
    std::string scenario;
    std::string snapshot;
    std::optional<standin::TScenarioFail> fail;
    bool replaceObjects = false;
    std::string kiss;    // HOST:PORT
    std::string monitor; // file or "-"
    std::optional<std::string> own;
    std::optional<double> lat, lon;
    std::int32_t expire = 80;
    bool debug = false;
    std::int32_t txDelayMs = 300;
    bool stats = false;
    bool Live() const { return !kiss.empty() || !monitor.empty(); }
};

/// How many values follow an option of this program on the command line.
int ValueCount(const QString& arg) {
    if (arg == "--fail")
        return 3;
    for (const char* name : {"--scenario", "--snapshot", "--kiss", "--monitor", "--own", "--lat",
                             "--lon", "--expire", "--txdelay"})
        if (arg == name)
            return 1;
    return 0;
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

/// Checks the live options together; prints why they do not fit.
bool CheckLive(const TOptions& options) {
    const auto fail = [](const std::string& text) {
        std::cerr << "velloran-standin-host: " << text << '\n';
        return false;
    };
    if (!options.Live()) {
        if (options.own || options.lat || options.lon)
            return fail("--own, --lat and --lon go with --kiss or --monitor");
        if (options.stats)
            return fail("--stats goes with --kiss or --monitor");
        return true;
    }
    if (!options.scenario.empty())
        return fail("--scenario cannot be combined with --kiss or --monitor");
    if (!options.kiss.empty() && !options.monitor.empty())
        return fail("give either --kiss or --monitor, not both");
    if (!options.own || !options.lat || !options.lon)
        return fail("live stations need the own station: --own CALL --lat DEG --lon DEG");
    return true;
}

/// Parses the command line; returns nullopt after printing why it cannot.
std::optional<TOptions> Parse(const QStringList& args, int& status) {
    TOptions options;
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const auto need = [&](int count) {
            if (i + count >= args.size()) {
                std::cerr << "velloran-standin-host: " << arg.toStdString() << " needs " << count
                          << (count == 1 ? " value\n" : " values\n") << kUsage;
                return false;
            }
            return true;
        };
        if (arg == "-h") {
            std::cout << kUsage;
            status = 0;
            return std::nullopt;
        } else if (arg == "--scenario" && need(1)) {
            options.scenario = args[++i].toStdString();
        } else if (arg == "--snapshot" && need(1)) {
            options.snapshot = args[++i].toStdString();
        } else if (arg == "--fail" && need(3)) {
            bool ok = false;
            const qint64 after = args[i + 2].toLongLong(&ok);
            if (!standin::IsHostOperationName(args[i + 1].toStdString()) || !ok || after < 0) {
                std::cerr << "velloran-standin-host: --fail needs an operation of the host and a "
                             "count of 0 or more\n";
                status = 2;
                return std::nullopt;
            }
            options.fail =
                standin::TScenarioFail{args[i + 1].toStdString(), after, args[i + 3].toStdString()};
            i += 3;
        } else if (arg == "--replace-objects") {
            options.replaceObjects = true;
        } else if (arg == "--kiss" && need(1)) {
            options.kiss = args[++i].toStdString();
            std::string host, port;
            if (!standin::SplitHostPort(options.kiss, host, port)) {
                std::cerr << "velloran-standin-host: --kiss needs HOST:PORT with a port of 1 to "
                             "65535, not '"
                          << options.kiss << "'\n";
                status = 2;
                return std::nullopt;
            }
        } else if (arg == "--monitor" && need(1)) {
            options.monitor = args[++i].toStdString();
        } else if (arg == "--own" && need(1)) {
            const std::string call = support::UpperAscii(args[++i].toStdString());
            if (call.empty() || call.size() > 9 ||
                call.find_first_of(" *:>,") != std::string::npos) {
                std::cerr << "velloran-standin-host: --own needs a call sign of 1 to 9 characters, "
                             "not '"
                          << call << "'\n";
                status = 2;
                return std::nullopt;
            }
            options.own = call;
        } else if ((arg == "--lat" || arg == "--lon") && need(1)) {
            const bool lat = arg == "--lat";
            const std::string text = args[++i].toStdString();
            const auto value = Degrees(text, lat ? 90.0 : 180.0);
            if (!value) {
                std::cerr << "velloran-standin-host: " << arg.toStdString()
                          << (lat ? " needs degrees from -90 to 90"
                                  : " needs degrees from -180 to 180")
                          << ", not '" << text << "'\n";
                status = 2;
                return std::nullopt;
            }
            (lat ? options.lat : options.lon) = value;
        } else if (arg == "--expire" && need(1)) {
            const std::string text = args[++i].toStdString();
            const auto minutes = support::ParseIntText(text);
            if (!minutes || *minutes < 1) {
                std::cerr << "velloran-standin-host: --expire needs a number of minutes of 1 or "
                             "more, not '"
                          << text << "'\n";
                status = 2;
                return std::nullopt;
            }
            options.expire = *minutes;
        } else if (arg == "--debug") {
            options.debug = true;
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--txdelay" && need(1)) {
            const std::string text = args[++i].toStdString();
            const auto ms = support::ParseIntText(text);
            if (!ms || *ms < 0 || *ms > 10000) {
                std::cerr << "velloran-standin-host: --txdelay needs milliseconds from 0 to "
                             "10000, not '"
                          << text << "'\n";
                status = 2;
                return std::nullopt;
            }
            options.txDelayMs = *ms;
        } else {
            if (ValueCount(arg) == 0) // else `need` has said what is missing
                std::cerr << "velloran-standin-host: unknown option '" << arg.toStdString() << "'\n"
                          << kUsage;
            status = 2;
            return std::nullopt;
        }
    }
    if (!CheckLive(options)) {
        status = 2;
        return std::nullopt;
    }
    return options;
}

/// The command line as given, for the paths that run without a Qt application.
QStringList RawArguments(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

/// True when the command line asks for the channel table of a monitor input:
/// a measurement that needs neither a bus nor a display.
bool WantsMonitorStats(const QStringList& args) {
    bool stats = false;
    bool monitor = false;
    for (int i = 1; i < args.size(); i += 1 + ValueCount(args[i])) {
        stats = stats || args[i] == "--stats";
        monitor = monitor || args[i] == "--monitor";
    }
    return stats && monitor;
}

/// Reads the monitor input to its end, prints the channel table and returns
/// the exit status. An operator reading yesterday's log over SSH has no
/// session bus and no display, so none is touched here.
int RunMonitorStats(const QStringList& args) {
    int status = 2;
    const std::optional<TOptions> options = Parse(args, status);
    if (!options)
        return status;
    const auto log = [](const std::string& line) {
        std::cerr << ("velloran-standin-host: " + support::EscapeControls(line) + "\n")
                  << std::flush;
    };
    try {
        support::InitializeAprsPatterns();
    } catch (const std::exception& error) {
        log(error.what());
        return 1;
    }
    std::mutex modelMutex;
    standin::TLiveStations live(std::make_shared<standin::TStandinHost>(standin::TScenario{}),
                                modelMutex,
                                standin::TOwnStation{*options->own, *options->lat, *options->lon});
    live.SetExpiryMinutes(options->expire);
    live.SetTxDelayMs(options->txDelayMs);
    live.OnLog = log;
    if (options->debug)
        live.OnDebug = [&](const std::string& line) { log("debug: " + line); };
    standin::TMonitorSource monitor(options->monitor, live);
    monitor.OnState = log;
    try {
        monitor.Start();
    } catch (const std::exception& error) {
        log(error.what());
        return 1;
    }
    while (!monitor.Finished())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    monitor.Stop();
    std::cout << aprs::FormatChannelTable(live.Channel(aprs::kTopTalkers)) << std::flush;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // --help and --version are answered before Qt needs a display.
    switch (support::FindStandardRequest(std::vector<std::string>(argv + 1, argv + argc))) {
    case support::TStandardRequest::Help:
        std::cout << kUsage;
        return 0;
    case support::TStandardRequest::Version:
        std::cout << support::VersionText("velloran-standin-host");
        return 0;
    case support::TStandardRequest::None:
        break;
    }
    if (const QStringList args = RawArguments(argc, argv); WantsMonitorStats(args))
        return RunMonitorStats(args);
    // Without a display the host still serves (and can write snapshots): its
    // map is then drawn off screen.
    const bool headless = !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
                          !std::getenv("QT_QPA_PLATFORM");
    if (headless)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    // Shores and borders when Debian's gmt-gshhg-low is installed, read while
    // the host is still one thread: a damaged file can crash the libraries
    // that read it, so they read it in a child process.
    std::string coastWarning;
    auto coastlines = std::make_shared<const std::vector<standin::TMapLine>>(
        standin::LoadCoastlinesApart(standin::kGshhgFolder, &coastWarning));

    QApplication app(argc, argv);
    QApplication::setApplicationName("velloran-standin-host");

    int status = 2;
    const std::optional<TOptions> options = Parse(QApplication::arguments(), status);
    if (!options)
        return status;

    standin::TScenario scenario;
    try {
        // Live stations start from an empty list.
        if (!options->Live())
            scenario = options->scenario.empty() ? standin::LoadDemoScenario()
                                                 : standin::LoadScenarioFile(options->scenario);
    } catch (const standin::EScenarioError& error) {
        std::cerr << support::EscapeControls(error.what()) << '\n';
        return 2;
    }
    if (options->fail)
        scenario.fail = options->fail;
    const std::size_t stationCount = scenario.stations.size();
    auto host = std::make_shared<standin::TStandinHost>(std::move(scenario));

    standin::TBusService service(host);
    service.SetReplaceObjects(options->replaceObjects);

    THostWindow window;
    window.setWindowTitle("Velloran stand-in host");
    auto* view = new standin::TMapView(*host, service.ModelMutex(), &window);
    window.setCentralWidget(view);
    window.resize(760, 760);
    if (!coastWarning.empty())
        std::cerr << "velloran-standin-host: " << support::EscapeControls(coastWarning)
                  << " (the map goes without it)\n";
    if (!coastlines->empty())
        view->SetCoastlines(std::move(coastlines));
    auto* statusLine = new standin::TStatusLine;
    window.statusBar()->addWidget(statusLine, 1);
    view->OnInsideCountChanged = [statusLine](std::optional<int> inside) {
        statusLine->SetMap(QString::fromStdString(standin::InsideText(inside)));
    };

    // Live stations: the list fed by a TNC, and the source that feeds it.
    // Declared after the service, so they end before its model mutex does.
    std::mutex stateMutex;
    std::string sourceState;
    // Called on the reader and service threads: one hand-over to this thread
    // waits at a time, however fast changes come.
    std::atomic<bool> repaintPending{false};
    std::atomic<bool> sceneDrawn{false}; // a client drew: time for the snapshot
    QTimer snapshotTimer;
    const auto mapChanged = [&] {
        if (!repaintPending.exchange(true))
            QMetaObject::invokeMethod(
                view,
                [&] {
                    repaintPending = false;
                    view->ModelChanged();
                    if (sceneDrawn.exchange(false) && !options->snapshot.empty())
                        snapshotTimer.start();
                },
                Qt::QueuedConnection);
    };
    std::unique_ptr<standin::TLiveStations> live;
    std::unique_ptr<standin::TKissTcpSource> kiss;
    std::unique_ptr<standin::TMonitorSource> monitor;
    const auto log = [](const std::string& line) {
        // What is logged comes partly off the air: no terminal controls in it.
        std::cerr << ("velloran-standin-host: " + support::EscapeControls(line) + "\n")
                  << std::flush;
    };
    if (options->Live()) {
        try {
            support::InitializeAprsPatterns();
        } catch (const std::exception& error) {
            log(error.what());
            return 1;
        }
        live = std::make_unique<standin::TLiveStations>(
            host, service.ModelMutex(),
            standin::TOwnStation{*options->own, *options->lat, *options->lon},
            std::make_unique<support::TQtPurgeTimer>());
        live->SetExpiryMinutes(options->expire);
        live->SetTxDelayMs(options->txDelayMs);
        service.OnChannelStats = [&] {
            return aprs::FormatChannelTable(live->Channel(aprs::kTopTalkers));
        };
        auto* channel = new QDockWidget("Channel", &window);
        channel->setWidget(
            new standin::TChannelPanel([&] { return live->Channel(aprs::kTopTalkers); }, channel));
        window.addDockWidget(Qt::RightDockWidgetArea, channel);
        live->OnLog = log;
        if (options->debug)
            live->OnDebug = [&](const std::string& line) { log("debug: " + line); };
        live->OnChanged = mapChanged;
        const auto onState = [&](const std::string& text) {
            {
                std::lock_guard lock(stateMutex);
                sourceState = text;
            }
            log(text);
        };
        if (!options->kiss.empty()) {
            std::string hostName, port;
            standin::SplitHostPort(options->kiss, hostName, port);
            kiss = std::make_unique<standin::TKissTcpSource>(hostName, port, *live);
            kiss->OnState = onState;
        } else {
            monitor = std::make_unique<standin::TMonitorSource>(options->monitor, *live);
            monitor->OnState = onState;
        }
    }
    QTimer statusTimer;
    statusTimer.setInterval(1000);
    QObject::connect(&statusTimer, &QTimer::timeout, [&] {
        std::size_t count = 0;
        {
            std::lock_guard lock(service.ModelMutex());
            count = host->Scenario().stations.size();
        }
        const standin::TLiveCounters c = live->Counters();
        std::string state;
        {
            std::lock_guard lock(stateMutex);
            state = sourceState;
        }
        statusLine->SetSource(
            QString("Live: %1 stations · %2 · packets %3, placed %4, undecodable %5, dropped %6")
                .arg(count)
                .arg(QString::fromStdString(state))
                .arg(c.frames)
                .arg(c.placed)
                .arg(c.undecodable)
                .arg(c.dropped));
    });

    bool closing = false;
    const auto closeHost = [&] {
        if (closing)
            return;
        closing = true;
        if (kiss)
            kiss->Stop();
        if (monitor)
            monitor->Stop();
        service.SendEvent(host::DISPID_OnUIView32IsClosing);
        service.Stop();
        QCoreApplication::exit(0); // quit() would ask the window, which waits for us
    };
    window.OnClose = closeHost;

    snapshotTimer.setSingleShot(true);
    snapshotTimer.setInterval(300); // a run's figure and label arrive together
    bool snapshotWritten = false;
    QObject::connect(&snapshotTimer, &QTimer::timeout, [&] {
        if (snapshotWritten)
            return;
        snapshotWritten = true;
        const QImage image = view->Render();
        // Written beside and renamed into place, so that whoever waits for
        // the file never reads half a picture.
        const std::string part = options->snapshot + ".part";
        std::error_code error;
        const bool saved = image.save(QString::fromStdString(part), "PNG");
        if (saved)
            std::filesystem::rename(part, options->snapshot, error);
        if (!saved || error) {
            std::filesystem::remove(part, error);
            std::cerr << "velloran-standin-host: cannot write the snapshot " << options->snapshot
                      << '\n';
            return;
        }
        std::cerr << "velloran-standin-host: snapshot written to " << options->snapshot << '\n';
    });

    service.OnSceneChanged = [&] {
        sceneDrawn = true;
        mapChanged();
    };
    service.OnCloseRequested = [&] {
        // As with a termination request: ended within a second, even when the
        // window's thread is busy painting and gets to the close late.
        const char byte = 1;
        [[maybe_unused]] const auto toWatchdog = write(gWatchdogPipe[1], &byte, 1);
        QMetaObject::invokeMethod(&window, closeHost, Qt::QueuedConnection);
    };

    if (pipe(gSignalPipe) != 0 || pipe(gWatchdogPipe) != 0)
        return 1;
    StartWatchdog();
    QSocketNotifier signalNotifier(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        char buffer[16];
        [[maybe_unused]] const auto got = read(gSignalPipe[0], buffer, sizeof buffer);
        closeHost();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    try {
        service.Start();
    } catch (const standin::EBusServiceError& error) {
        std::cerr << "velloran-standin-host: " << error.what() << '\n';
        return 1;
    }
    if (kiss)
        kiss->Start();
    if (monitor) {
        try {
            monitor->Start();
        } catch (const std::exception& error) {
            log(error.what());
            service.Stop();
            return 1;
        }
    }
    if (live)
        statusTimer.start();
    const QString status_line =
        live ? QString("Serving live stations heard by the TNC as %1").arg(host::bus::kBusName)
             : QString("Serving %1 stations as %2").arg(stationCount).arg(host::bus::kBusName);
    statusLine->SetSource(status_line);
    std::cerr << "velloran-standin-host: " << status_line.toStdString()
              << (headless ? " (no display: the map is drawn off screen)" : "") << '\n';
    window.show();
    const int code = QApplication::exec();
    if (options->stats)
        std::cout << aprs::FormatChannelTable(live->Channel(aprs::kTopTalkers)) << std::flush;
    return code;
}
