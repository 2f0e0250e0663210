#include "app/CommandLine.h"
#include "app/VelloranMain.h"
#include "support/APRSParser.h"
#include "support/ProgramInfo.h"

#include <QApplication>

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // --help and --version are answered before Qt needs a display.
    const std::vector<std::string> raw(argv + 1, argv + argc);
    switch (app::ParseCommandLine(raw).Action) {
    case app::TCommandLine::EAction::Help:
        std::cout << app::VelloranUsage();
        return 0;
    case app::TCommandLine::EAction::Version:
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
        // Qt has taken its own options out of argv; the first remaining
        // argument is the program's.
        const QStringList arguments = QCoreApplication::arguments();
        std::vector<std::string> args;
        for (qsizetype i = 1; i < arguments.size(); ++i)
            args.push_back(arguments[i].toStdString());
        const app::TCommandLine line = app::ParseCommandLine(args);
        if (line.Action == app::TCommandLine::EAction::Error) {
            std::cerr << line.Error;
            status = 2;
        } else {
            status = app::RunVelloran(application, args);
        }
    }
    support::FinalizeAprsPatterns();
    return status;
}
