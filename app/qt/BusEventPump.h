#pragma once

#include "host/bus/BusConnector.h"

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace app {

/// Brings the bus host's events into the event loop: whenever its connection
/// has something to read, and whenever a host call has read events that wait.
/// Once the connection is gone it stops watching it: its descriptor is closed
/// then, and the number may soon belong to another file that is always
/// readable, on which the loop would otherwise spin. When the connector
/// attaches to a host started again, the new connection is watched.
class TBusEventPump : public QObject {
public:
    TBusEventPump(const std::shared_ptr<host::TBusConnector>& connector, QObject* parent);

    /// Reads and dispatches what the host has sent; the loop calls it when
    /// the connection is readable or events wait.
    void Dispatch();
    /// Whether the connection is still watched.
    bool Watching() const { return FNotifier && FNotifier->isEnabled(); }

private:
    void Watch(int fd);

    std::weak_ptr<host::TBusConnector> FConnector;
    std::unique_ptr<QSocketNotifier> FNotifier;
};

} // namespace app
