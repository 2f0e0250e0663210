#include "app/BusEventPump.h"

namespace app {

TBusEventPump::TBusEventPump(const std::shared_ptr<host::TBusConnector>& connector, QObject* parent)
    : QObject(parent), FConnector(connector),
      FNotifier(connector->EventFd(), QSocketNotifier::Read, this) {
    connect(&FNotifier, &QSocketNotifier::activated, this, [this] { Dispatch(); });
    connector->SetOnEventsPending([this] {
        QMetaObject::invokeMethod(
            this, [this] { Dispatch(); }, Qt::QueuedConnection);
    });
}

void TBusEventPump::Dispatch() {
    const auto connector = FConnector.lock();
    if (connector)
        connector->DispatchEvents();
    if (!connector || !connector->Connected())
        FNotifier.setEnabled(false);
}

} // namespace app
