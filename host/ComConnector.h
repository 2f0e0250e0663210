#pragma once

#include "host/Components.h"

#include <memory>

/// The connector to a host that serves the automation interface as a COM
/// server (the APRS client on Windows, or our COM stand-in host). Plain Win32
/// and COM; the calling thread must have joined a single-threaded apartment
/// (host::com::TApartment), and host events arrive while it processes its
/// messages, or while it waits for the host's answer to a call.
namespace host {

class TComConnector : public IHostConnector {
public:
    /// Attaches to the active object of the class (running object table) or,
    /// as the kind allows, creates one, which starts the host. Throws
    /// EHostError with the system's text when neither works (class not
    /// registered, host fails to start, ...). The object is offered as the
    /// host interfaces that it answers to; the application object also as an
    /// event source when it has the event interface's connection point.
    std::shared_ptr<IHostObject> GetObject(Guid classId, TConnectKind kind) override;
};

} // namespace host
