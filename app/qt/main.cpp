#include "app/model/CommandLine.h"
#include "app/qt/VelloranMain.h"
#include "support/APRSParser.h"
#include "support/ProgramInfo.h"

#include <QApplication>

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // The arguments as given: the application object takes Qt's own options
    // ("-reverse", ...) out of argv, and DEBUG counts only as the first of these.
    const std::vector<std::string> args = app::ProgramArguments(argc, argv);
    // --help and --version are answered before Qt needs a display.
    switch (app::ParseCommandLine(args).Action) {
    case app::TCommandLine::TAction::Help:
        std::cout << app::VelloranUsage();
        return 0;
    case app::TCommandLine::TAction::Version:
        std::cout << support::VersionText("velloran");
        return 0;
    default:
        break;
    }
    // The APRS text patterns come first and go last, around everything else.
    try {
        support::InitializeAprsPatterns();
    } catch (const std::exception& error) {
        std::cerr << "Velloran: " << error.what() << '\n';
        return 1;
    }
    int status = 0;
    {
        QApplication application(argc, argv);
        // Unknown options are looked for once Qt has taken its own.
        const QStringList arguments = QCoreApplication::arguments();
        std::vector<std::string> remaining;
        for (qsizetype i = 1; i < arguments.size(); ++i)
            remaining.push_back(arguments[i].toStdString());
        const app::TCommandLine line = app::ParseCommandLine(remaining);
        if (line.Action == app::TCommandLine::TAction::Error) {
            std::cerr << line.Error;
            status = 2;
        } else {
            status = app::RunVelloran(application, args);
        }
    }
    support::FinalizeAprsPatterns();
    return status;
}
