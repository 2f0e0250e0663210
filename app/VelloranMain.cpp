#include "app/VelloranMain.h"

#include "app/MainForm.h"
#include "app/SettingsLocation.h"
#include "app/SingleInstance.h"
#include "standin/Scenario.h"
#include "standin/StandinHost.h"
#include "support/TextRules.h"

#include "host/BusConnector.h"
#include "host/BusWire.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cstdlib>
#include <iostream>

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

std::shared_ptr<host::IHostConnector> MakeHostConnector(std::string* description) {
    const QString file = qEnvironmentVariable("VELLORAN_SCENARIO");
    const auto describe = [description](const std::string& text) {
        if (description)
            *description = text;
    };
    if (file.isEmpty()) {
        // Attach to the host running on the desktop bus, or else start the
        // embedded one in process (the running host, or a new one).
        if (auto connector = host::TBusConnector::Attach()) {
            new TBusEventPump(connector); // owned by the application object
            describe(std::string("the stand-in host on the session bus (") + host::bus::kBusName +
                     ")");
            return connector;
        }
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
        setup.Connector = MakeHostConnector(&setup.HostDescription);
        setup.Args = args;
        setup.SettingsFile = SettingsFilePath(QCoreApplication::applicationFilePath().toStdString(),
                                              TSettingsEnvironment::Current());
        setup.Platform = platform;
        form = std::make_unique<TMainForm>(std::move(setup));
    } catch (const std::exception& error) {
        platform->ShowError(TMainForm::ApplicationTitle(),
                            QString::fromStdString(support::WithFullStop(error.what())));
        return 1;
    }
    form->Create();
    form->Start();
    if (instance)
        instance->OnActivate = [&form] { form->BringToFront(); };
    const int status = application.exec();
    instance.reset();
    form.reset();
    return status;
}

} // namespace app
