#include "app/qt/VelloranMain.h"

#include "app/qt/BusEventPump.h"
#include "app/qt/MainForm.h"
#include "app/qt/SettingsLocation.h"
#include "app/qt/SingleInstance.h"
#include "standin/model/Scenario.h"
#include "standin/model/StandinHost.h"

#include "host/bus/BusConnector.h"
#include "host/bus/BusWire.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <unistd.h>

namespace app {

namespace {

/// Turns SIGTERM and SIGHUP (log-out, a closed terminal, systemctl stop) into
/// the end of the session, as Windows' log-off is: the end-of-program saves,
/// the tray icon removed, and nobody there to answer a box. A signal handler
/// may only write to a pipe; the event loop reads it.
class TTerminationSignals : public QObject {
public:
    explicit TTerminationSignals(std::function<void()> onSignal) : FOnSignal(std::move(onSignal)) {
        if (pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        FWriteFd = FPipe[1];
        FNotifier = std::make_unique<QSocketNotifier>(FPipe[0], QSocketNotifier::Read);
        connect(FNotifier.get(), &QSocketNotifier::activated, this, [this] {
            char buffer[16];
            while (read(FPipe[0], buffer, sizeof buffer) > 0) {
            }
            FOnSignal();
        });
        struct sigaction action {};
        action.sa_handler = &TTerminationSignals::OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int signal : kSignals)
            sigaction(signal, &action, nullptr);
    }
    ~TTerminationSignals() override {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        for (const int signal : kSignals)
            sigaction(signal, &action, nullptr);
        FWriteFd = -1;
        FNotifier.reset();
        for (const int fd : FPipe)
            if (fd >= 0)
                close(fd);
    }
    TTerminationSignals(const TTerminationSignals&) = delete;
    TTerminationSignals& operator=(const TTerminationSignals&) = delete;

private:
    static constexpr int kSignals[] = {SIGTERM, SIGHUP};
    static void OnSignal(int) {
        const char byte = 1;
        if (FWriteFd >= 0) {
            [[maybe_unused]] const auto written = write(FWriteFd, &byte, 1);
        }
    }
    // The handler's only way to the loop; a process has one set of handlers.
    static inline int FWriteFd = -1;
    int FPipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> FNotifier;
    std::function<void()> FOnSignal;
};

} // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return args;
}

std::shared_ptr<host::IHostConnector> MakeHostConnector(std::string* description,
                                                        std::string* note) {
    const QString file = qEnvironmentVariable("VELLORAN_SCENARIO");
    const auto describe = [description](const std::string& text) {
        if (description)
            *description = text;
    };
    if (file.isEmpty()) {
        // Attach to the host running on the desktop bus, or else start the
        // embedded one in process (the running host, or a new one).
        if (auto connector = host::TBusConnector::Attach()) {
            new TBusEventPump(connector, QCoreApplication::instance());
            describe(std::string("the stand-in host on the session bus (") + host::bus::kBusName +
                     ")");
            return connector;
        }
        if (note)
            *note = standin::kDemoScenarioNote;
    }
    describe(file.isEmpty() ? std::string("embedded stand-in host on the demo scenario")
                            : "embedded stand-in host on the scenario " + file.toStdString());
    standin::TScenario scenario = file.isEmpty() ? standin::LoadDemoScenario()
                                                 : standin::LoadScenarioFile(file.toStdString());
    return std::make_shared<standin::TEmbeddedConnector>(
        std::make_shared<standin::TStandinHost>(std::move(scenario)));
}

int RunVelloran(QApplication& application, const std::vector<std::string>& args) {
    QCoreApplication::setApplicationName(QStringLiteral("Velloran"));
    // The program ends through its own ways (Exit, closing the window, the
    // host closing); closing an error box while the window sits in the tray
    // must not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    // One Velloran a session: a second one brings the first to the front.
    const QDBusConnection bus = QDBusConnection::sessionBus();
    std::unique_ptr<TSingleInstance> instance;
    if (bus.isConnected()) {
        instance = TSingleInstance::Claim(bus);
        if (!instance && TSingleInstance::ActivateRunning(bus)) {
            std::cout << "velloran: already running in this session; its window is in front now\n";
            return 0;
        }
        // A holder of the name that does not answer is not kept waiting for.
    }

    auto platform = std::make_shared<TPlatform>();
    std::unique_ptr<TMainForm> form;
    try {
        TMainFormSetup setup;
        setup.Connector = MakeHostConnector(&setup.HostDescription, &setup.HostNote);
        setup.Args = args;
        setup.SettingsFile = SettingsFilePath(QCoreApplication::applicationFilePath().toStdString(),
                                              TSettingsEnvironment::Current());
        setup.Platform = platform;
        form = std::make_unique<TMainForm>(std::move(setup));
    } catch (const std::exception& error) {
        platform->ShowError(TMainForm::ApplicationTitle(),
                            QString::fromStdString(StartUpErrorText(error)));
        return 1;
    }
    form->Create();
    form->Start();
    if (instance)
        instance->OnActivate = [&form] { form->BringToFront(); };
    const TTerminationSignals terminationSignals([&form] { form->EndUnattended(); });
    const int status = application.exec();
    instance.reset();
    form.reset();
    return status;
}

} // namespace app
