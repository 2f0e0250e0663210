#pragma once

#include "host/Components.h"

#include <memory>
#include <string>
#include <vector>

class QApplication;

/// The program: start-up, message loop and shut-down of Velloran.
namespace app {

/// The connector the program's host components use. With VELLORAN_SCENARIO
/// set, the embedded stand-in host on that scenario. Otherwise the stand-in
/// host running on the desktop bus, when one runs (its events then arrive
/// through the event loop), or else the embedded host on the demo scenario.
/// Throws when the scenario cannot be loaded or the bus host cannot be
/// connected to: the host cannot be reached. When description is given, it
/// receives which host that is, in words; when the demo scenario is taken
/// because no host runs, note (if given) receives a line saying so.
std::shared_ptr<host::IHostConnector> MakeHostConnector(std::string* description = nullptr,
                                                        std::string* note = nullptr);

/// The program's own command-line arguments, without the program name. Read
/// from argv before the application object is made, which takes Qt's own
/// options out of it: "-reverse DEBUG" must not turn debug mode on.
std::vector<std::string> ProgramArguments(int argc, char** argv);

/// Runs the program on the application object: builds the main window,
/// restores its settings, shows it and runs the message loop. Returns the
/// exit status (1 when the host cannot be reached).
int RunVelloran(QApplication& application, const std::vector<std::string>& args);

} // namespace app
