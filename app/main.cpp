#include "app/VelloranMain.h"

#include <QApplication>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    // APRS text patterns: compiled here, first, once that component is in.
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
    // APRS text patterns: released here, last.
    return status;
}
