#include "app/qt/SingleInstance.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace app {

TSingleInstance::TSingleInstance(QDBusConnection bus) : FBus(std::move(bus)) {}

TSingleInstance::~TSingleInstance() {
    if (!FOwned)
        return;
    FBus.unregisterObject(QString::fromLatin1(kObjectPath));
    FBus.unregisterService(QString::fromLatin1(kServiceName));
}

std::unique_ptr<TSingleInstance> TSingleInstance::Claim(QDBusConnection bus) {
    if (!bus.isConnected())
        return nullptr;
    std::unique_ptr<TSingleInstance> instance(new TSingleInstance(bus));
    // The object first, so an Activate that comes as soon as the name is ours
    // finds it; the name is taken without queueing, so exactly one wins.
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), instance.get(),
                            QDBusConnection::ExportScriptableSlots))
        return nullptr; // our path is taken: another instance in this process
    const auto reply = bus.interface()->registerService(
        QString::fromLatin1(kServiceName), QDBusConnectionInterface::DontQueueService,
        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
        return nullptr;
    }
    instance->FOwned = true;
    return instance;
}

bool TSingleInstance::ActivateRunning(QDBusConnection bus) {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kServiceName), QString::fromLatin1(kObjectPath),
        QString::fromLatin1("org.velloran.Velloran"), QStringLiteral("Activate"));
    return bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

void TSingleInstance::Activate() {
    if (OnActivate)
        OnActivate();
}

} // namespace app
