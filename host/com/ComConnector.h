#pragma once

#include "host/Components.h"

#include <memory>

/// The connector to a host that serves the automation interface as a COM
/// server (the APRS client on Windows, or our COM stand-in host). Plain Win32
/// and COM. The calls are made on a thread of the connector's own, with a time
/// limit; host events arrive on the thread that made the connector while it
/// processes its messages. A host that has gone away is attached afresh once
/// it runs again.
namespace host {

namespace com {
class TComLink;
}

class TComConnector : public IHostConnector {
public:
    /// Starts the thread that makes the calls; events reach the calling
    /// thread while it processes its messages.
    TComConnector();
    ~TComConnector() override;
    TComConnector(const TComConnector&) = delete;
    TComConnector& operator=(const TComConnector&) = delete;

    /// Attaches to the active object of the class (running object table) or,
    /// as the kind allows, creates one, which starts the host. Throws
    /// EHostError with the system's text when neither works (class not
    /// registered, host fails to start, ...). The object is offered as the
    /// host interfaces that it answers to; the application object also as an
    /// event source when it has the event interface's connection point.
    std::shared_ptr<IHostObject> GetObject(Guid classId, TConnectKind kind) override;
    /// Calls wait within the host's answer limit (host/AnswerGate.h) while
    /// wait keeps the window going; a host that has run out of time is
    /// refused at once until it answers again.
    void SetWait(IHostWait* wait) override;

private:
    // How long starting the host may take.
    static constexpr int kStartLimitMs = 60000;
    std::shared_ptr<com::TComLink> FLink;
};

} // namespace host
