#include "app/VelloranMain.h"

#include "app/MainForm.h"
#include "standin/Scenario.h"
#include "standin/StandinHost.h"
#include "support/TextRules.h"

#include "host/BusConnector.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cstdlib>

namespace app {

namespace {

/// Brings the bus host's events into the event loop: whenever its connection
/// has something to read, and whenever a host call has read events that wait.
class TBusEventPump : public QObject {
public:
    explicit TBusEventPump(const std::shared_ptr<host::TBusConnector>& connector)
        : QObject(QCoreApplication::instance()), FConnector(connector),
          FNotifier(connector->EventFd(), QSocketNotifier::Read, this) {
        connect(&FNotifier, &QSocketNotifier::activated, this, [this] { Dispatch(); });
        connector->SetOnEventsPending([this] {
            QMetaObject::invokeMethod(
                this, [this] { Dispatch(); }, Qt::QueuedConnection);
        });
    }

private:
    void Dispatch() {
        const auto connector = FConnector.lock();
        if (connector)
            connector->DispatchEvents();
        // A closed connection stays readable for ever: stop watching it, or
        // the loop would spin on it for as long as the program runs.
        if (!connector || !connector->Connected())
            FNotifier.setEnabled(false);
    }
    std::weak_ptr<host::TBusConnector> FConnector;
    QSocketNotifier FNotifier;
};

} // namespace

std::shared_ptr<host::IHostConnector> MakeHostConnector() {
    const QString file = qEnvironmentVariable("VELLORAN_SCENARIO");
    if (file.isEmpty()) {
        // Attach to the host running on the desktop bus, or else start the
        // embedded one in process (the running host, or a new one).
        if (auto connector = host::TBusConnector::Attach()) {
            new TBusEventPump(connector); // owned by the application object
            return connector;
        }
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
        setup.Connector = MakeHostConnector();
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
    const int status = application.exec();
    form.reset();
    return status;
}

} // namespace app
