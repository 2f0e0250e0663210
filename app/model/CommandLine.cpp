#include "app/model/CommandLine.h"

#include "support/ProgramInfo.h"

namespace app {

const char* VelloranUsage() {
#ifdef _WIN32
    return "usage: velloran [DEBUG]\n"
           "       velloran --help | --version\n"
           "Computes the ALOHA radius of the APRS stations the host has heard on RF, reports it\n"
           "and draws it on the host's map. The host is the program registered for COM class\n"
           "UIView32.clsUIV (the real host, or velloran-standin-host.exe /RegServer).\n"
           "A second velloran brings the running one's window to the front.\n"
           "  DEBUG       (first argument, any case) show the Debug options\n"
           "  --help      show this text and exit\n"
           "  --version   show the version and exit\n"
           "Settings: velloran.INI beside the program.\n";
#else
    return "usage: velloran [DEBUG]\n"
           "       velloran --help | --version\n"
           "Computes the ALOHA radius of the APRS stations the host has heard on RF, reports it\n"
           "and draws it on the host's map. The host is the stand-in host on the session bus,\n"
           "or an embedded one on the demo scenario (VELLORAN_SCENARIO=FILE: on that scenario).\n"
           "A second velloran brings the running one's window to the front.\n"
           "  DEBUG       (first argument, any case) show the Debug options\n"
           "  --help      show this text and exit\n"
           "  --version   show the version and exit\n"
           "Settings: velloran.INI beside the program when that folder can be written,\n"
           "otherwise $XDG_CONFIG_HOME/velloran/velloran.INI (default ~/.config).\n";
#endif
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    TCommandLine line;
    switch (support::FindStandardRequest(args)) {
    case support::TStandardRequest::Help:
        line.Action = TCommandLine::TAction::Help;
        return line;
    case support::TStandardRequest::Version:
        line.Action = TCommandLine::TAction::Version;
        return line;
    case support::TStandardRequest::None:
        break;
    }
    for (const std::string& arg : args) {
        if (arg == "--")
            break;
        if (arg.size() > 1 && arg.front() == '-') {
            line.Action = TCommandLine::TAction::Error;
            line.Error = "velloran: unknown option '" + arg +
                         "'\nTry 'velloran --help' for more information.\n";
            return line;
        }
    }
    return line;
}

} // namespace app
