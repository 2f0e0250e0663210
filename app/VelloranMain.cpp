#include "app/VelloranMain.h"

#include "app/MainForm.h"
#include "standin/Scenario.h"
#include "standin/StandinHost.h"
#include "support/TextRules.h"

#include <QApplication>

#include <cstdlib>

namespace app {

std::shared_ptr<host::IHostConnector> MakeHostConnector() {
    const QString file = qEnvironmentVariable("VELLORAN_SCENARIO");
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
