#pragma once

#include <dbus/dbus.h>

#include <memory>

/// Owning handles for libdbus objects, shared by the bus client and the
/// stand-in host's service.
namespace host::bus {

struct MessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
/// A message that is released with its handle.
using TMessage = std::unique_ptr<DBusMessage, MessageUnref>;

struct ConnectionClose {
    void operator()(DBusConnection* connection) const {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};
/// A private connection, closed and released with its handle.
using TConnection = std::unique_ptr<DBusConnection, ConnectionClose>;

/// A libdbus error that frees itself.
struct TDBusError {
    TDBusError() { dbus_error_init(&error); }
    ~TDBusError() { dbus_error_free(&error); }
    TDBusError(const TDBusError&) = delete;
    TDBusError& operator=(const TDBusError&) = delete;
    bool IsSet() const { return dbus_error_is_set(&error); }
    DBusError error;
};

} // namespace host::bus
