// velloran-standin-host: our stand-in for the APRS client, as a program of its
// own. It serves the host's automation interface on the desktop bus from a
// scenario file and shows the map that clients draw on.
#include "host/BusWire.h"
#include "standin/BusService.h"
#include "standin/MapView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMainWindow>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "usage: velloran-standin-host [--scenario FILE] [--snapshot FILE.png]\n"
    "                             [--fail OPERATION AFTER MESSAGE] [--replace-objects]\n"
    "Serves a stand-in APRS host on the session bus and shows its map.\n"
    "  --scenario FILE     the station list (JSON); default: the demo scenario\n"
    "  --snapshot FILE     write the map as a PNG after the next drawing (no display needed)\n"
    "  --fail OP N MSG     fail operation OP with MSG once N calls of it have succeeded\n"
    "  --replace-objects   hand back new station objects from GetStationInfo and GetMyInfo\n"
    "Closing the window, SIGTERM or the bus command Close() tells clients (event 3) and ends.\n";

int gSignalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = write(gSignalPipe[1], &byte, 1);
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
};

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
        if (arg == "--help" || arg == "-h") {
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
        } else {
            if (arg != "--scenario" && arg != "--snapshot" && arg != "--fail")
                std::cerr << "velloran-standin-host: unknown option '" << arg.toStdString() << "'\n"
                          << kUsage;
            status = 2;
            return std::nullopt;
        }
    }
    return options;
}

} // namespace

int main(int argc, char** argv) {
    // Without a display the host still serves (and can write snapshots): its
    // map is then drawn off screen.
    const bool headless = !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
                          !std::getenv("QT_QPA_PLATFORM");
    if (headless)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication app(argc, argv);
    QApplication::setApplicationName("velloran-standin-host");

    int status = 2;
    const std::optional<TOptions> options = Parse(QApplication::arguments(), status);
    if (!options)
        return status;

    standin::TScenario scenario;
    try {
        scenario = options->scenario.empty() ? standin::LoadDemoScenario()
                                             : standin::LoadScenarioFile(options->scenario);
    } catch (const standin::EScenarioError& error) {
        std::cerr << error.what() << '\n';
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

    bool closing = false;
    const auto closeHost = [&] {
        if (closing)
            return;
        closing = true;
        service.SendEvent(host::DISPID_OnUIView32IsClosing);
        service.Stop();
        QCoreApplication::exit(0); // quit() would ask the window, which waits for us
    };
    window.OnClose = closeHost;

    QTimer snapshotTimer;
    snapshotTimer.setSingleShot(true);
    snapshotTimer.setInterval(300); // a run's figure and label arrive together
    bool snapshotWritten = false;
    QObject::connect(&snapshotTimer, &QTimer::timeout, [&] {
        if (snapshotWritten)
            return;
        snapshotWritten = true;
        const QImage image = view->Render();
        if (!image.save(QString::fromStdString(options->snapshot), "PNG")) {
            std::cerr << "velloran-standin-host: cannot write the snapshot " << options->snapshot
                      << '\n';
            return;
        }
        std::cerr << "velloran-standin-host: snapshot written to " << options->snapshot << '\n';
    });

    // Called on the service's thread: hand over to this one.
    service.OnSceneChanged = [&] {
        QMetaObject::invokeMethod(
            view,
            [&] {
                view->update();
                if (!options->snapshot.empty() && !snapshotWritten)
                    snapshotTimer.start();
            },
            Qt::QueuedConnection);
    };
    service.OnCloseRequested = [&] {
        QMetaObject::invokeMethod(&window, closeHost, Qt::QueuedConnection);
    };

    if (pipe(gSignalPipe) != 0)
        return 1;
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
    const QString status_line =
        QString("Serving %1 stations as %2").arg(stationCount).arg(host::bus::kBusName);
    window.statusBar()->showMessage(status_line);
    std::cerr << "velloran-standin-host: " << status_line.toStdString()
              << (headless ? " (no display: the map is drawn off screen)" : "") << '\n';
    window.show();
    return QApplication::exec();
}
