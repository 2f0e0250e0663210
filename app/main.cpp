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
        QApplication application(argc, argv);
        // Qt has taken its own options out of argv; the first remaining
        // argument is the program's.
        const QStringList arguments = QCoreApplication::arguments();
        std::vector<std::string> args;
        for (qsizetype i = 1; i < arguments.size(); ++i)
            args.push_back(arguments[i].toStdString());
        status = app::RunVelloran(application, args);
    }
    support::FinalizeAprsPatterns();
    return status;
}
