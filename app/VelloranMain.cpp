#include "app/VelloranMain.h"

#include "app/BusEventPump.h"
#include "app/MainForm.h"
#include "standin/Scenario.h"
#include "standin/StandinHost.h"
#include "support/TextRules.h"

#include "host/BusConnector.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace app {

namespace {

/// Turns SIGTERM and SIGHUP (log-out, a closed terminal, systemctl stop) into
/// the normal way out, closing the window, so that the settings are saved and
/// the tray icon removed. A signal handler may only write to a pipe; the event
/// loop reads it.
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

std::shared_ptr<host::IHostConnector> MakeHostConnector(std::string* note) {
    const QString file = qEnvironmentVariable("VELLORAN_SCENARIO");
    if (file.isEmpty()) {
        // Attach to the host running on the desktop bus, or else start the
        // embedded one in process (the running host, or a new one).
        if (auto connector = host::TBusConnector::Attach()) {
            new TBusEventPump(connector, QCoreApplication::instance());
            return connector;
        }
        if (note)
            *note = standin::kDemoScenarioNote;
    }
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

    auto platform = std::make_shared<TPlatform>();
    std::unique_ptr<TMainForm> form;
    try {
        TMainFormSetup setup;
        setup.Connector = MakeHostConnector(&setup.HostNote);
        setup.Args = args;
        setup.SettingsFile =
            TOvcIniFileStore::ExeDirIniPath(QCoreApplication::applicationFilePath().toStdString());
        setup.Platform = platform;
        form = std::make_unique<TMainForm>(std::move(setup));
    } catch (const std::exception& error) {
        platform->ShowError(TMainForm::ApplicationTitle(),
                            QString::fromStdString(support::WithFullStop(error.what())));
        return 1;
    }
    form->Create();
    form->Start();
    const TTerminationSignals terminationSignals([&form] { form->close(); });
    const int status = application.exec();
    form.reset();
    return status;
}

} // namespace app
