#pragma once

#include "host/Components.h"

#include <functional>
#include <memory>
#include <string>

/// The connector to a stand-in host running as a program of its own on the
/// desktop bus (D-Bus, through libdbus). Plain C++: the owner integrates the
/// connection's events with its own event loop through EventFd and
/// DispatchEvents.
namespace host {

class TBusClient;

class TBusConnector : public IHostConnector {
public:
    /// Attaches to the host when one owns its name on the session bus, and
    /// returns null when no session bus is reachable or no host runs there.
    /// With direct set (the default) every host call goes over a direct
    /// connection to the host rather than through the bus daemon. Calls wait
    /// at most timeoutMs for an answer. Throws EHostError when a host runs but
    /// cannot be connected to.
    static std::shared_ptr<TBusConnector> Attach(int timeoutMs = DefaultTimeoutMs(),
                                                 bool direct = true);

    /// Connects directly to a host at its address (as PeerAddress gives it).
    /// Throws EHostError when the host does not take the connection within
    /// timeoutMs (its queue of connections is full) or cannot be reached.
    static std::shared_ptr<TBusConnector> AttachTo(const std::string& address, int timeoutMs);

    /// The answer time limit: VELLORAN_HOST_TIMEOUT_MS, or 10 seconds.
    static int DefaultTimeoutMs();

    std::shared_ptr<IHostObject> GetObject(Guid classId, TConnectKind kind) override;

    /// False once the connection to the host is gone. A connector made by
    /// Attach then looks for the host again at its next call, and attaches
    /// afresh to one started again (the objects handed out are made again
    /// there as they are next used); EventFd changes then.
    bool Connected() const;
    /// Called when a new connection has taken the place of a closed one.
    void SetOnReattached(std::function<void()> callback);

    /// The file descriptor that becomes readable when the host sends something.
    int EventFd() const;
    /// Reads and dispatches what the host has sent (events) without blocking.
    void DispatchEvents();
    /// While a call waits more than a moment, wait is told and given the
    /// chance to run the window (see IHostWait); the time limit stays.
    void SetWait(IHostWait* wait) override;
    /// Called when events were read during a host call and wait for
    /// DispatchEvents; the owner schedules a DispatchEvents from its loop.
    void SetOnEventsPending(std::function<void()> callback);

    explicit TBusConnector(std::shared_ptr<TBusClient> client);

private:
    std::shared_ptr<TBusClient> FClient;
};

} // namespace host
