#include "app/VelloranMain.h"
#include "support/APRSParser.h"

#include <QApplication>

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // The APRS text patterns come first and go last, around everything else.
    try {
        support::InitializeAprsPatterns();
    } catch (const std::exception& error) {
        std::cerr << "Velloran: " << error.what() << '\n';
        return 1;
    }
    int status = 0;
    {
        // The first argument as given: the application object takes Qt's own
        // options ("-reverse", ...) out of argv.
        const std::vector<std::string> args = app::ProgramArguments(argc, argv);
        QApplication application(argc, argv);
        status = app::RunVelloran(application, args);
    }
    support::FinalizeAprsPatterns();
    return status;
}
