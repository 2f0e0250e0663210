#pragma once

#include <QDBusConnection>
#include <QObject>

#include <functional>
#include <memory>

/// One Velloran a session: the first one owns a name on the session bus, and a
/// second one started later asks it to bring its window to the front instead
/// of running beside it (two tray icons, one settings file).
namespace app {

class TSingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.velloran.Velloran")
public:
    static constexpr const char* kServiceName = "org.velloran.Velloran";
    static constexpr const char* kObjectPath = "/org/velloran/Velloran";

    /// Takes the program's name on the bus and serves Activate. Returns null
    /// when another instance holds the name already.
    static std::unique_ptr<TSingleInstance> Claim(QDBusConnection bus);

    /// Asks the instance holding the name to bring its window to the front;
    /// false when it did not answer.
    static bool ActivateRunning(QDBusConnection bus);

    ~TSingleInstance() override;

    /// What Activate does: set by the program once its window exists.
    std::function<void()> OnActivate;

public slots:
    Q_SCRIPTABLE void Activate();

private:
    explicit TSingleInstance(QDBusConnection bus);
    QDBusConnection FBus;
    bool FOwned = false;
};

} // namespace app
