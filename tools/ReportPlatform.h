#pragma once

#include "host/Components.h"

#include <memory>

/// What velloran-report takes from the platform it is built for: the link to
/// a host running as a program of its own (the desktop bus on Linux, COM on
/// Windows), and the set-up that link needs for the program's life.
namespace tools {

/// Set up for as long as it lives: on Windows the thread joins a
/// single-threaded COM apartment and the standard streams write bytes as
/// they are (no line-end translation).
class TReportPlatform {
public:
    TReportPlatform();
    ~TReportPlatform();
    TReportPlatform(const TReportPlatform&) = delete;
    TReportPlatform& operator=(const TReportPlatform&) = delete;

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

/// The connector to the host running outside the program, or null when there
/// is none to use (velloran-report then runs the embedded demo host). Over
/// COM this is always a connector: it attaches to the running host or has
/// COM start the registered one. Throws EHostError when a host is there but
/// cannot be reached.
std::shared_ptr<host::IHostConnector> AttachRunningHost();

} // namespace tools
