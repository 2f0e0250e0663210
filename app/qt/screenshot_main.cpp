// Saves a picture of the main window after its first run on the demo
// scenario (or VELLORAN_SCENARIO): velloran-screenshot OUTPUT.png [TAB]
#include "app/qt/MainForm.h"
#include "app/qt/VelloranMain.h"

#include <QApplication>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include <iostream>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::cerr << "usage: velloran-screenshot OUTPUT.png [TAB-INDEX]\n";
        return 2;
    }
    QCoreApplication::setApplicationName(QStringLiteral("Velloran"));
    app::TMainFormSetup setup;
    setup.Connector = app::MakeHostConnector();
    // A settings file of its own, removed afterwards.
    const QTemporaryDir settingsDir;
    setup.SettingsFile = settingsDir.filePath(QStringLiteral("velloran.INI")).toStdString();
    app::TMainForm form(std::move(setup));
    form.Create();
    form.Start();
    const int tab = args.size() > 2 ? args[2].toInt() : 0;
    QTimer::singleShot(1500, &form, [&] {
        form.PageControl1->setCurrentIndex(tab);
        QTimer::singleShot(300, &form, [&] {
            const bool saved = form.grab().save(args[1]);
            QCoreApplication::exit(saved ? 0 : 1);
        });
    });
    const int status = application.exec();
    return status;
}
