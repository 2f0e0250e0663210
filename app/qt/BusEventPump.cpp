#include "app/qt/BusEventPump.h"

namespace app {

TBusEventPump::TBusEventPump(const std::shared_ptr<host::TBusConnector>& connector, QObject* parent)
    : QObject(parent), FConnector(connector) {
    Watch(connector->EventFd());
    connector->SetOnReattached([this] {
        if (const auto attached = FConnector.lock())
            Watch(attached->EventFd());
    });
    connector->SetOnEventsPending([this] {
        QMetaObject::invokeMethod(
            this, [this] { Dispatch(); }, Qt::QueuedConnection);
    });
}

void TBusEventPump::Watch(int fd) {
    // The notifier of the closed connection may be the one whose signal runs.
    if (FNotifier) {
        FNotifier->setEnabled(false);
        FNotifier.release()->deleteLater();
    }
    FNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(FNotifier.get(), &QSocketNotifier::activated, this, [this] { Dispatch(); });
}

void TBusEventPump::Dispatch() {
    const auto connector = FConnector.lock();
    if (connector)
        connector->DispatchEvents();
    if (!connector || !connector->Connected())
        FNotifier->setEnabled(false);
}

} // namespace app
