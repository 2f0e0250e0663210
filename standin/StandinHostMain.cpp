// velloran-standin-host: our stand-in for the APRS client, as a program of its
// own. It serves the host's automation interface on the desktop bus from a
// scenario file, or from the stations a TNC hears, and shows the map that
// clients draw on.
#include "host/bus/BusWire.h"
#include "standin/HostOptions.h"
#include "standin/bus/BusService.h"
#include "standin/live/LiveStations.h"
#include "standin/live/TncSources.h"
#include "standin/qt/ChannelPanel.h"
#include "standin/qt/MapView.h"
#include "standin/qt/StatusLine.h"
#include "support/APRSParser.h"
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
#include <chrono>
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

constexpr standin::THostProgramKind kProgram = standin::THostProgramKind::Bus;

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

/// Prints what the command line came to and gives the status to end with.
int Finish(const standin::THostCommandLine& line) {
    std::cout << line.out;
    std::cerr << line.err;
    return line.status;
}

/// The command line as Qt leaves it (without the options it took for itself
/// and without the program name).
std::vector<std::string> QtArguments() {
    std::vector<std::string> args;
    const QStringList all = QApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i)
        args.push_back(all[i].toStdString());
    return args;
}

void Log(const std::string& line) {
    // What is logged comes partly off the air: no terminal controls in it.
    std::cerr << ("velloran-standin-host: " + support::EscapeControls(line) + "\n") << std::flush;
}

/// Reads the monitor input to its end, prints the channel table and returns
/// the exit status. An operator reading yesterday's log over SSH has no
/// session bus and no display, so none is touched here.
int RunMonitorStats(const std::vector<std::string>& args) {
    const standin::THostCommandLine line = standin::ParseHostOptions(kProgram, args);
    if (!line.options)
        return Finish(line);
    const standin::THostOptions& options = *line.options;
    try {
        support::InitializeAprsPatterns();
    } catch (const std::exception& error) {
        Log(error.what());
        return 1;
    }
    std::mutex modelMutex;
    standin::TLiveStations live(std::make_shared<standin::TStandinHost>(standin::TScenario{}),
                                modelMutex,
                                standin::TOwnStation{*options.own, *options.lat, *options.lon});
    live.SetExpiryMinutes(options.expire);
    live.SetTxDelayMs(options.txDelayMs);
    live.OnLog = Log;
    if (options.debug)
        live.OnDebug = [](const std::string& text) { Log("debug: " + text); };
    standin::TMonitorSource monitor(options.monitor, live);
    monitor.OnState = Log;
    try {
        monitor.Start();
    } catch (const std::exception& error) {
        Log(error.what());
        return 1;
    }
    while (!monitor.Finished())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    monitor.Stop();
    std::cout << aprs::FormatChannelTable(live.Channel(aprs::kTopTalkers)) << std::flush;
    return 0;
}

/// The scenario the host serves; nullopt after saying why it cannot be read.
std::optional<standin::TScenario> LoadScenario(const standin::THostOptions& options) {
    standin::TScenario scenario;
    try {
        // Live stations start from an empty list.
        if (!options.Live())
            scenario = options.scenario.value_or("").empty()
                           ? standin::LoadDemoScenario()
                           : standin::LoadScenarioFile(*options.scenario);
    } catch (const standin::EScenarioError& error) {
        std::cerr << support::EscapeControls(error.what()) << '\n';
        return std::nullopt;
    }
    if (options.fail)
        scenario.fail = options.fail;
    return scenario;
}

/// Shores and borders, when Debian's gmt-gshhg-low is installed.
struct TCoast {
    std::shared_ptr<const std::vector<standin::TMapLine>> lines;
    std::string warning;
};

/// The host program once its options are read: the model on the bus, its
/// window, and for live stations the list and the source that feeds it.
/// Members end in the reverse order: the sources before the list they feed,
/// the list before the service's model mutex.
class THostProgram {
public:
    THostProgram(const standin::THostOptions& options, standin::TScenario scenario)
        : FOptions(options), FStationCount(scenario.stations.size()),
          FHost(std::make_shared<standin::TStandinHost>(std::move(scenario))), FService(FHost),
          FSnapshot(options.snapshot.value_or("")) {
        FService.SetReplaceObjects(options.replaceObjects);
    }

    void BuildWindow(TCoast coast);
    /// The live list and its source; false after saying why it cannot be.
    bool WireLive();
    void WireStatusTimer();
    void WireClose();
    void WireSnapshot();
    /// The ends asked for by a signal or over the bus; false when it cannot be.
    bool WireSignals();
    /// Serves until the host is closed; the exit status.
    int Run(bool headless);

private:
    void MapChanged();
    void CloseHost();
    void WriteSnapshot();
    void ShowSourceCounters();

    const standin::THostOptions& FOptions;
    const std::size_t FStationCount;
    std::shared_ptr<standin::TStandinHost> FHost;
    standin::TBusService FService;
    const std::string FSnapshot;
    THostWindow FWindow;
    standin::TMapView* FView = nullptr;
    standin::TStatusLine* FStatusLine = nullptr;
    std::mutex FStateMutex;
    std::string FSourceState;
    // Called on the reader and service threads: one hand-over to this thread
    // waits at a time, however fast changes come.
    std::atomic<bool> FRepaintPending{false};
    std::atomic<bool> FSceneDrawn{false}; // a client drew: time for the snapshot
    QTimer FSnapshotTimer;
    std::unique_ptr<standin::TLiveStations> FLive;
    std::unique_ptr<standin::TKissTcpSource> FKiss;
    std::unique_ptr<standin::TMonitorSource> FMonitor;
    QTimer FStatusTimer;
    bool FClosing = false;
    bool FSnapshotWritten = false;
    std::unique_ptr<QSocketNotifier> FSignalNotifier;
};

void THostProgram::BuildWindow(TCoast coast) {
    FWindow.setWindowTitle("Velloran stand-in host");
    FView = new standin::TMapView(*FHost, FService.ModelMutex(), &FWindow);
    FWindow.setCentralWidget(FView);
    FWindow.resize(760, 760);
    if (!coast.warning.empty())
        std::cerr << "velloran-standin-host: " << support::EscapeControls(coast.warning)
                  << " (the map goes without it)\n";
    if (!coast.lines->empty())
        FView->SetCoastlines(std::move(coast.lines));
    FStatusLine = new standin::TStatusLine;
    FWindow.statusBar()->addWidget(FStatusLine, 1);
    FView->OnInsideCountChanged = [this](std::optional<int> inside) {
        FStatusLine->SetMap(QString::fromStdString(standin::InsideText(inside)));
    };
}

void THostProgram::MapChanged() {
    if (!FRepaintPending.exchange(true))
        QMetaObject::invokeMethod(
            FView,
            [this] {
                FRepaintPending = false;
                FView->ModelChanged();
                if (FSceneDrawn.exchange(false) && !FSnapshot.empty())
                    FSnapshotTimer.start();
            },
            Qt::QueuedConnection);
}

bool THostProgram::WireLive() {
    try {
        support::InitializeAprsPatterns();
    } catch (const std::exception& error) {
        Log(error.what());
        return false;
    }
    FLive = std::make_unique<standin::TLiveStations>(
        FHost, FService.ModelMutex(),
        standin::TOwnStation{*FOptions.own, *FOptions.lat, *FOptions.lon},
        std::make_unique<support::TQtPurgeTimer>());
    FLive->SetExpiryMinutes(FOptions.expire);
    FLive->SetTxDelayMs(FOptions.txDelayMs);
    FService.OnChannelStats = [this] {
        return aprs::FormatChannelTable(FLive->Channel(aprs::kTopTalkers));
    };
    auto* channel = new QDockWidget("Channel", &FWindow);
    channel->setWidget(
        new standin::TChannelPanel([this] { return FLive->Channel(aprs::kTopTalkers); }, channel));
    FWindow.addDockWidget(Qt::RightDockWidgetArea, channel);
    FLive->OnLog = Log;
    if (FOptions.debug)
        FLive->OnDebug = [](const std::string& line) { Log("debug: " + line); };
    FLive->OnChanged = [this] { MapChanged(); };
    const auto onState = [this](const std::string& text) {
        {
            std::lock_guard lock(FStateMutex);
            FSourceState = text;
        }
        Log(text);
    };
    if (!FOptions.kiss.empty()) {
        std::string hostName, port;
        standin::SplitHostPort(FOptions.kiss, hostName, port);
        FKiss = std::make_unique<standin::TKissTcpSource>(hostName, port, *FLive);
        FKiss->OnState = onState;
    } else {
        FMonitor = std::make_unique<standin::TMonitorSource>(FOptions.monitor, *FLive);
        FMonitor->OnState = onState;
    }
    return true;
}

void THostProgram::ShowSourceCounters() {
    std::size_t count = 0;
    {
        std::lock_guard lock(FService.ModelMutex());
        count = FHost->Scenario().stations.size();
    }
    const standin::TLiveCounters c = FLive->Counters();
    std::string state;
    {
        std::lock_guard lock(FStateMutex);
        state = FSourceState;
    }
    FStatusLine->SetSource(
        QString("Live: %1 stations · %2 · packets %3, placed %4, undecodable %5, dropped %6")
            .arg(count)
            .arg(QString::fromStdString(state))
            .arg(c.frames)
            .arg(c.placed)
            .arg(c.undecodable)
            .arg(c.dropped));
}

void THostProgram::WireStatusTimer() {
    FStatusTimer.setInterval(1000);
    QObject::connect(&FStatusTimer, &QTimer::timeout, [this] { ShowSourceCounters(); });
}

void THostProgram::CloseHost() {
    if (FClosing)
        return;
    FClosing = true;
    if (FKiss)
        FKiss->Stop();
    if (FMonitor)
        FMonitor->Stop();
    FService.SendEvent(host::DISPID_OnUIView32IsClosing);
    FService.Stop();
    QCoreApplication::exit(0); // quit() would ask the window, which waits for us
}

void THostProgram::WireClose() {
    FWindow.OnClose = [this] { CloseHost(); };
}

void THostProgram::WriteSnapshot() {
    if (FSnapshotWritten)
        return;
    FSnapshotWritten = true;
    const QImage image = FView->Render();
    // Written beside and renamed into place, so that whoever waits for the
    // file never reads half a picture.
    const std::string part = FSnapshot + ".part";
    std::error_code error;
    const bool saved = image.save(QString::fromStdString(part), "PNG");
    if (saved)
        std::filesystem::rename(part, FSnapshot, error);
    if (!saved || error) {
        std::filesystem::remove(part, error);
        std::cerr << "velloran-standin-host: cannot write the snapshot " << FSnapshot << '\n';
        return;
    }
    std::cerr << "velloran-standin-host: snapshot written to " << FSnapshot << '\n';
}

void THostProgram::WireSnapshot() {
    FSnapshotTimer.setSingleShot(true);
    FSnapshotTimer.setInterval(300); // a run's figure and label arrive together
    QObject::connect(&FSnapshotTimer, &QTimer::timeout, [this] { WriteSnapshot(); });
    FService.OnSceneChanged = [this] {
        FSceneDrawn = true;
        MapChanged();
    };
}

bool THostProgram::WireSignals() {
    FService.OnCloseRequested = [this] {
        // As with a termination request: ended within a second, even when the
        // window's thread is busy painting and gets to the close late.
        const char byte = 1;
        [[maybe_unused]] const auto toWatchdog = write(gWatchdogPipe[1], &byte, 1);
        QMetaObject::invokeMethod(
            &FWindow, [this] { CloseHost(); }, Qt::QueuedConnection);
    };
    if (pipe(gSignalPipe) != 0 || pipe(gWatchdogPipe) != 0)
        return false;
    StartWatchdog();
    FSignalNotifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(FSignalNotifier.get(), &QSocketNotifier::activated, [this] {
        char buffer[16];
        [[maybe_unused]] const auto got = read(gSignalPipe[0], buffer, sizeof buffer);
        CloseHost();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    return true;
}

int THostProgram::Run(bool headless) {
    try {
        FService.Start();
    } catch (const standin::EBusServiceError& error) {
        std::cerr << "velloran-standin-host: " << error.what() << '\n';
        return 1;
    }
    if (FKiss)
        FKiss->Start();
    if (FMonitor) {
        try {
            FMonitor->Start();
        } catch (const std::exception& error) {
            Log(error.what());
            FService.Stop();
            return 1;
        }
    }
    if (FLive)
        FStatusTimer.start();
    const QString statusLine =
        FLive ? QString("Serving live stations heard by the TNC as %1").arg(host::bus::kBusName)
              : QString("Serving %1 stations as %2").arg(FStationCount).arg(host::bus::kBusName);
    FStatusLine->SetSource(statusLine);
    std::cerr << "velloran-standin-host: " << statusLine.toStdString()
              << (headless ? " (no display: the map is drawn off screen)" : "") << '\n';
    FWindow.show();
    const int code = QApplication::exec();
    if (FOptions.stats)
        std::cout << aprs::FormatChannelTable(FLive->Channel(aprs::kTopTalkers)) << std::flush;
    return code;
}

/// Serves the host until it is closed; the exit status.
int RunHost(const standin::THostOptions& options, bool headless, TCoast coast) {
    std::optional<standin::TScenario> scenario = LoadScenario(options);
    if (!scenario)
        return 2;
    THostProgram program(options, std::move(*scenario));
    program.BuildWindow(std::move(coast));
    if (options.Live() && !program.WireLive())
        return 1;
    program.WireStatusTimer();
    program.WireClose();
    program.WireSnapshot();
    if (!program.WireSignals())
        return 1;
    return program.Run(headless);
}

/// Without a display the host still serves (and can write snapshots): its
/// map is then drawn off screen. True when it is.
bool DrawOffScreenWithoutDisplay() {
    const bool headless = !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
                          !std::getenv("QT_QPA_PLATFORM");
    if (headless)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return headless;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // --help and --version are answered before Qt needs a display.
    if (const auto request = standin::HostStandardRequest(kProgram, args))
        return Finish(*request);
    if (standin::WantsMonitorStats(args))
        return RunMonitorStats(args);
    const bool headless = DrawOffScreenWithoutDisplay();

    // Shores and borders, read while the host is still one thread: a damaged
    // file can crash the libraries that read it, so they read it in a child
    // process.
    TCoast coast;
    coast.lines = std::make_shared<const std::vector<standin::TMapLine>>(
        standin::LoadCoastlinesApart(standin::kGshhgFolder, &coast.warning));

    QApplication app(argc, argv);
    QApplication::setApplicationName("velloran-standin-host");
    const standin::THostCommandLine line = standin::ParseHostOptions(kProgram, QtArguments());
    if (!line.options)
        return Finish(line);
    return RunHost(*line.options, headless, std::move(coast));
}
