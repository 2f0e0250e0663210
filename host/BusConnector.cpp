#include "host/BusConnector.h"

#include "host/BusWire.h"
#include "host/DBusHandles.h"
#include "support/AdaptiveSpin.h"

#include <dbus/dbus.h>

#include <chrono>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace host {

namespace {

using bus::TConnection;
using bus::TDBusError;
using bus::TMessage;

/// Appends arguments to a call.
class TArgs {
public:
    explicit TArgs(DBusMessage* message) { dbus_message_iter_init_append(message, &FIter); }
    TArgs& Int16(std::int16_t value) { return Basic(DBUS_TYPE_INT16, &value); }
    TArgs& Int32(std::int32_t value) { return Basic(DBUS_TYPE_INT32, &value); }
    TArgs& UInt32(std::uint32_t value) { return Basic(DBUS_TYPE_UINT32, &value); }
    TArgs& Double(double value) { return Basic(DBUS_TYPE_DOUBLE, &value); }
    TArgs& String(const std::string& value) {
        const char* text = value.c_str();
        return Basic(DBUS_TYPE_STRING, &text);
    }
    TArgs& Path(const std::string& value) {
        const char* text = value.c_str();
        return Basic(DBUS_TYPE_OBJECT_PATH, &text);
    }
    TArgs& Variants(const std::array<OleVariant, 6>& values) {
        DBusMessageIter array;
        dbus_message_iter_open_container(&FIter, DBUS_TYPE_ARRAY, "v", &array);
        for (const OleVariant& value : values) {
            DBusMessageIter variant;
            if (const auto* b = std::get_if<bool>(&value)) {
                const dbus_bool_t flag = *b;
                dbus_message_iter_open_container(&array, DBUS_TYPE_VARIANT, "b", &variant);
                dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &flag);
            } else if (const auto* i = std::get_if<std::int32_t>(&value)) {
                dbus_message_iter_open_container(&array, DBUS_TYPE_VARIANT, "i", &variant);
                dbus_message_iter_append_basic(&variant, DBUS_TYPE_INT32, i);
            } else if (const auto* s = std::get_if<std::string>(&value)) {
                const char* text = s->c_str();
                dbus_message_iter_open_container(&array, DBUS_TYPE_VARIANT, "s", &variant);
                dbus_message_iter_append_basic(&variant, DBUS_TYPE_STRING, &text);
            } else {
                // An absent argument travels as an empty array of variants.
                DBusMessageIter empty;
                dbus_message_iter_open_container(&array, DBUS_TYPE_VARIANT, "av", &variant);
                dbus_message_iter_open_container(&variant, DBUS_TYPE_ARRAY, "v", &empty);
                dbus_message_iter_close_container(&variant, &empty);
            }
            dbus_message_iter_close_container(&array, &variant);
        }
        dbus_message_iter_close_container(&FIter, &array);
        return *this;
    }

private:
    TArgs& Basic(int type, const void* value) {
        if (!dbus_message_iter_append_basic(&FIter, type, value))
            throw EHostError("Out of memory while calling the host");
        return *this;
    }
    DBusMessageIter FIter;
};

} // namespace

/// One connection to the host, shared by every proxy object.
class TBusClient : public std::enable_shared_from_this<TBusClient> {
public:
    /// destination: the host's bus name when calls go through the bus daemon,
    /// empty on a direct connection.
    TBusClient(TConnection connection, int timeoutMs, std::string destination = {})
        : FConnection(std::move(connection)), FTimeoutMs(timeoutMs),
          FDestination(std::move(destination)) {
        dbus_connection_set_exit_on_disconnect(FConnection.get(), FALSE);
        dbus_connection_add_filter(FConnection.get(), &TBusClient::Filter, this, nullptr);
    }
    ~TBusClient() { dbus_connection_remove_filter(FConnection.get(), &TBusClient::Filter, this); }

    /// Calls a method and returns its reply; a failure raises the host error.
    template <class AppendArgs>
    TMessage Call(const std::string& path, const char* interfaceName, const char* method,
                  AppendArgs&& append) {
        if (!dbus_connection_get_is_connected(FConnection.get()))
            throw EHostError(std::string("The stand-in host has gone away; ") + method +
                                 " cannot be called",
                             THostFailure::Gone);
        // A host that let a call time out is taken as not answering: rather
        // than wait out the full time again on every call, ask it briefly
        // whether it is back, and fail at once while it is not.
        if (FNotAnswering) {
            if (!Answers())
                throw EHostError("The stand-in host is not answering; " + std::string(method) +
                                     " was not called",
                                 dbus_connection_get_is_connected(FConnection.get())
                                     ? THostFailure::NotAnswering
                                     : THostFailure::Gone);
            FNotAnswering = false;
        }
        TMessage call(
            dbus_message_new_method_call(FDestination.empty() ? nullptr : FDestination.c_str(),
                                         path.c_str(), interfaceName, method));
        if (!call)
            throw EHostError("Out of memory while calling the host");
        TArgs args(call.get());
        append(args);
        TDBusError error;
        TMessage reply(SendAndWait(call.get(), error));
        if (dbus_connection_get_dispatch_status(FConnection.get()) == DBUS_DISPATCH_DATA_REMAINS &&
            FOnEventsPending)
            FOnEventsPending();
        if (!reply) {
            const THostFailure failure = Classify(error);
            FNotAnswering = failure == THostFailure::NotAnswering;
            throw EHostError(Describe(error, method), failure);
        }
        return reply;
    }

    bool Connected() const { return dbus_connection_get_is_connected(FConnection.get()); }

    TMessage Call(const std::string& path, const char* interfaceName, const char* method) {
        return Call(path, interfaceName, method, [](TArgs&) {});
    }

    /// Reads the reply's arguments of the given libdbus types, or raises an error.
    template <class... Out> void Read(DBusMessage* reply, const char* method, Out... out) {
        TDBusError error;
        if (!dbus_message_get_args(reply, &error.error, out..., DBUS_TYPE_INVALID))
            throw EHostError(std::string("The host's answer to ") + method +
                             " has the wrong form: " + error.error.message);
    }

    double Double(const std::string& path, const char* interfaceName, const char* method) {
        TMessage reply = Call(path, interfaceName, method);
        double value = 0;
        Read(reply.get(), method, DBUS_TYPE_DOUBLE, &value);
        return value;
    }
    std::string String(const std::string& path, const char* interfaceName, const char* method) {
        TMessage reply = Call(path, interfaceName, method);
        const char* value = nullptr;
        Read(reply.get(), method, DBUS_TYPE_STRING, &value);
        return value;
    }
    std::int16_t Int16(const std::string& path, const char* interfaceName, const char* method) {
        TMessage reply = Call(path, interfaceName, method);
        dbus_int16_t value = 0;
        Read(reply.get(), method, DBUS_TYPE_INT16, &value);
        return value;
    }

    std::uint32_t Advise(IHostEventSink* sink) {
        FSinks.emplace_back(FNextCookie, sink);
        return FNextCookie++;
    }
    void Unadvise(std::uint32_t cookie) {
        std::erase_if(FSinks, [cookie](const auto& entry) { return entry.first == cookie; });
    }

    int EventFd() const {
        int fd = -1;
        dbus_connection_get_unix_fd(FConnection.get(), &fd);
        return fd;
    }

    void DispatchEvents() {
        dbus_connection_read_write(FConnection.get(), 0);
        while (dbus_connection_dispatch(FConnection.get()) == DBUS_DISPATCH_DATA_REMAINS) {
        }
    }

    std::function<void()> FOnEventsPending;

private:
    /// Sends the call and waits for its answer. The host answers within tens
    /// of microseconds, which is less than it takes to put this thread to
    /// sleep and wake it again: so look for the answer for a short while
    /// before blocking, as long as that catches answers (see TAdaptiveSpin).
    /// A run makes tens of thousands of calls in a row, and this halves their
    /// cost on a quiet machine.
    DBusMessage* SendAndWait(DBusMessage* call, TDBusError& error) {
        DBusPendingCall* pending = nullptr;
        if (!dbus_connection_send_with_reply(FConnection.get(), call, &pending, FTimeoutMs) ||
            !pending) {
            dbus_set_error_const(&error.error, DBUS_ERROR_DISCONNECTED, "not connected");
            return nullptr;
        }
        dbus_connection_flush(FConnection.get());
        if (const auto budget = FSpin.Budget(); budget.count() > 0) {
            const auto spinUntil = std::chrono::steady_clock::now() + budget;
            // Reading only queues what arrives; the wait below then finds the
            // answer in the queue without sleeping.
            bool caught = false;
            while (!(caught = dbus_connection_get_dispatch_status(FConnection.get()) ==
                              DBUS_DISPATCH_DATA_REMAINS) &&
                   std::chrono::steady_clock::now() < spinUntil) {
                if (!dbus_connection_read_write(FConnection.get(), 0))
                    break; // disconnected
            }
            FSpin.Spun(caught);
        }
        dbus_pending_call_block(pending);
        DBusMessage* reply = dbus_pending_call_steal_reply(pending);
        dbus_pending_call_unref(pending);
        if (!reply) {
            dbus_set_error_const(&error.error, DBUS_ERROR_NO_REPLY, "no reply");
            return nullptr;
        }
        if (dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_ERROR) {
            dbus_set_error_from_message(&error.error, reply);
            dbus_message_unref(reply);
            return nullptr;
        }
        return reply;
    }

    THostFailure Classify(const TDBusError& error) const {
        const std::string_view name = error.IsSet() ? error.error.name : "";
        if (name == bus::kHostErrorName)
            return THostFailure::Failed;
        // A broken connection also ends the wait without a reply: ask the
        // connection first, so that a host that has gone is not called slow.
        if (name == DBUS_ERROR_DISCONNECTED || !dbus_connection_get_is_connected(FConnection.get()))
            return THostFailure::Gone;
        if (name == DBUS_ERROR_NO_REPLY || name == DBUS_ERROR_TIMEOUT)
            return THostFailure::NotAnswering;
        return THostFailure::Failed;
    }

    std::string Describe(const TDBusError& error, const char* method) const {
        const std::string_view name = error.IsSet() ? error.error.name : "";
        const std::string message = error.IsSet() && error.error.message ? error.error.message : "";
        if (name == bus::kHostErrorName)
            return message; // the host's own description
        switch (Classify(error)) {
        case THostFailure::Gone:
            return "The stand-in host has gone away; " + std::string(method) + " failed";
        case THostFailure::NotAnswering:
            return "The stand-in host did not answer " + std::string(method) + " within " +
                   std::to_string(FTimeoutMs) + " ms";
        case THostFailure::NotInstalled:
        case THostFailure::Failed:
            break;
        }
        return std::string(method) + " failed on the stand-in host: " + message;
    }

    /// Pings the host with a short time limit: true when it answered.
    bool Answers() {
        TMessage ping(
            dbus_message_new_method_call(FDestination.empty() ? nullptr : FDestination.c_str(),
                                         bus::kRootPath, DBUS_INTERFACE_PEER, "Ping"));
        if (!ping)
            return false;
        TDBusError error;
        TMessage reply(dbus_connection_send_with_reply_and_block(FConnection.get(), ping.get(),
                                                                 kProbeMs, &error.error));
        return reply != nullptr;
    }

    static constexpr int kProbeMs = 50;

    static DBusHandlerResult Filter(DBusConnection*, DBusMessage* message, void* data) {
        auto* self = static_cast<TBusClient*>(data);
        if (!dbus_message_is_signal(message, bus::kEventInterface, bus::kEventSignal))
            return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
        dbus_int32_t id = 0;
        TDBusError error;
        if (dbus_message_get_args(message, &error.error, DBUS_TYPE_INT32, &id, DBUS_TYPE_INVALID)) {
            // A sink may unsubscribe while we walk: walk a copy and re-check.
            const auto sinks = self->FSinks;
            for (const auto& [cookie, sink] : sinks) {
                const bool subscribed =
                    std::any_of(self->FSinks.begin(), self->FSinks.end(),
                                [c = cookie](const auto& e) { return e.first == c; });
                if (subscribed)
                    sink->Invoke(id);
            }
        }
        return DBUS_HANDLER_RESULT_HANDLED;
    }

    TConnection FConnection;
    int FTimeoutMs;
    std::string FDestination;
    bool FNotAnswering = false;
    support::TAdaptiveSpin FSpin{std::chrono::microseconds(300)};
    std::vector<std::pair<std::uint32_t, IHostEventSink*>> FSinks;
    std::uint32_t FNextCookie = 1;
};

namespace {

/// An object of the host, known by its path.
class TBusObject : public virtual IHostObject {
public:
    TBusObject(std::shared_ptr<TBusClient> client, std::string path)
        : FClient(std::move(client)), FPath(std::move(path)) {}
    const std::string& Path() const { return FPath; }

protected:
    TBusClient& Client() { return *FClient; }
    std::shared_ptr<TBusClient> FClient;
    std::string FPath;
};

const std::string& PathOf(const std::shared_ptr<IHostObject>& object, const char* method) {
    const auto* busObject = dynamic_cast<const TBusObject*>(object.get());
    if (!busObject)
        throw EHostError(std::string(method) + ": the object does not belong to this host");
    return busObject->Path();
}

std::string ReadPath(TBusClient& client, DBusMessage* reply, const char* method) {
    const char* path = nullptr;
    client.Read(reply, method, DBUS_TYPE_OBJECT_PATH, &path);
    return path;
}

class TBusStationInfo : public _clsStationInfo, public TBusObject {
public:
    using TBusObject::TBusObject;
    std::string GetCallsign() override { return Text("GetCallsign"); }
    void SetCallsign(std::string callsign) override {
        Client().Call(FPath, bus::kStationInfoInterface, "SetCallsign",
                      [&callsign](TArgs& args) { args.String(callsign); });
    }
    std::string GetSymbolCode() override { return Text("GetSymbolCode"); }
    std::string GetSymbolTable() override { return Text("GetSymbolTable"); }
    std::string GetPath() override { return Text("GetPath"); }
    std::string GetLastHeardRF() override { return Text("GetLastHeardRF"); }
    std::string GetLastHeardInternet() override { return Text("GetLastHeardInternet"); }
    float GetLong() override { return Single("GetLong"); }
    float GetLat() override { return Single("GetLat"); }
    float GetSpeed() override { return Single("GetSpeed"); }
    float GetDistance() override { return Single("GetDistance"); }
    std::int16_t GetThirdParty() override {
        return Client().Int16(FPath, bus::kStationInfoInterface, "GetThirdParty");
    }

private:
    std::string Text(const char* method) {
        return Client().String(FPath, bus::kStationInfoInterface, method);
    }
    float Single(const char* method) {
        return static_cast<float>(Client().Double(FPath, bus::kStationInfoInterface, method));
    }
};

class TBusMyInfo : public _clsMyInfo, public TBusObject {
public:
    using TBusObject::TBusObject;
    float GetLong() override {
        return static_cast<float>(Client().Double(FPath, bus::kMyInfoInterface, "GetLong"));
    }
    float GetLat() override {
        return static_cast<float>(Client().Double(FPath, bus::kMyInfoInterface, "GetLat"));
    }
    std::string GetCallsign() override {
        return Client().String(FPath, bus::kMyInfoInterface, "GetCallsign");
    }
};

class TBusMapInfo : public _clsMapInfo, public TBusObject {
public:
    using TBusObject::TBusObject;
};

class TBusMap : public _clsUIVMap, public TBusObject {
public:
    using TBusObject::TBusObject;
    void DrawCircle(float x, float y, float radius, std::uint32_t colour, float startAngle,
                    double endAngle, float aspect) override {
        Client().Call(FPath, bus::kMapInterface, "DrawCircle", [&](TArgs& args) {
            args.Double(x)
                .Double(y)
                .Double(radius)
                .UInt32(colour)
                .Double(startAngle)
                .Double(endAngle)
                .Double(aspect);
        });
    }
    void DrawMapText(const std::string& text, float x, float y, std::uint32_t colour,
                     const std::array<OleVariant, 6>& variants) override {
        Client().Call(FPath, bus::kMapInterface, "DrawMapText", [&](TArgs& args) {
            args.String(text).Double(x).Double(y).UInt32(colour).Variants(variants);
        });
    }
    float GetTextX() override {
        return static_cast<float>(Client().Double(FPath, bus::kMapInterface, "GetTextX"));
    }
    float GetTextY() override {
        return static_cast<float>(Client().Double(FPath, bus::kMapInterface, "GetTextY"));
    }
    void SetDrawSettingA(std::int32_t value) override { Setting("SetDrawSettingA", value); }
    void SetDrawSettingB(std::int32_t value) override { Setting("SetDrawSettingB", value); }
    void SetDrawColour(std::int32_t value) override { Setting("SetDrawColour", value); }

private:
    void Setting(const char* method, std::int32_t value) {
        Client().Call(FPath, bus::kMapInterface, method,
                      [value](TArgs& args) { args.Int32(value); });
    }
};

class TBusApplication : public _clsUIV, public IHostEventSource, public TBusObject {
public:
    using TBusObject::TBusObject;

    std::int16_t GetStationInfo(std::shared_ptr<_clsStationInfo>& info) override {
        const std::string& given = PathOf(info, "GetStationInfo");
        TMessage reply = Client().Call(FPath, bus::kUIVInterface, "GetStationInfo",
                                       [&given](TArgs& args) { args.Path(given); });
        dbus_int16_t result = 0;
        const char* path = nullptr;
        Client().Read(reply.get(), "GetStationInfo", DBUS_TYPE_INT16, &result,
                      DBUS_TYPE_OBJECT_PATH, &path);
        if (given != path)
            info = std::make_shared<TBusStationInfo>(FClient, path);
        return result;
    }
    void RefreshMap() override { Client().Call(FPath, bus::kUIVInterface, "RefreshMap"); }
    std::shared_ptr<_clsUIVMap> GetMap() override {
        TMessage reply = Client().Call(FPath, bus::kUIVInterface, "GetMap");
        return std::make_shared<TBusMap>(FClient, ReadPath(Client(), reply.get(), "GetMap"));
    }
    std::int16_t GetStationCount() override {
        return Client().Int16(FPath, bus::kUIVInterface, "GetStationCount");
    }
    std::string GetStationListEntry(std::int16_t& index) override {
        TMessage reply = Client().Call(FPath, bus::kUIVInterface, "GetStationListEntry",
                                       [index](TArgs& args) { args.Int16(index); });
        const char* entry = nullptr;
        dbus_int16_t newIndex = index;
        Client().Read(reply.get(), "GetStationListEntry", DBUS_TYPE_STRING, &entry, DBUS_TYPE_INT16,
                      &newIndex);
        index = newIndex;
        return entry;
    }
    void GetMyInfo(std::shared_ptr<_clsMyInfo>& info) override {
        const std::string& given = PathOf(info, "GetMyInfo");
        TMessage reply = Client().Call(FPath, bus::kUIVInterface, "GetMyInfo",
                                       [&given](TArgs& args) { args.Path(given); });
        const std::string path = ReadPath(Client(), reply.get(), "GetMyInfo");
        if (given != path)
            info = std::make_shared<TBusMyInfo>(FClient, path);
    }

    std::uint32_t Advise(IHostEventSink* sink) override { return Client().Advise(sink); }
    void Unadvise(std::uint32_t cookie) override { Client().Unadvise(cookie); }
};

/// Asks the bus whether the host runs and, if so, for its direct address.
std::string FindHost(int timeoutMs, DBusConnection*& busOut, TConnection& busHolder) {
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        return {}; // no session bus: never let libdbus try to start one
    TDBusError error;
    DBusConnection* busConnection = dbus_bus_get_private(DBUS_BUS_SESSION, &error.error);
    if (!busConnection)
        return {};
    busHolder.reset(busConnection);
    dbus_connection_set_exit_on_disconnect(busConnection, FALSE);
    busOut = busConnection;
    if (!dbus_bus_name_has_owner(busConnection, bus::kBusName, &error.error))
        return {};
    TMessage call(dbus_message_new_method_call(bus::kBusName, bus::kRootPath,
                                               bus::kFactoryInterface, "PeerAddress"));
    TMessage reply(dbus_connection_send_with_reply_and_block(busConnection, call.get(), timeoutMs,
                                                             &error.error));
    const char* address = nullptr;
    if (!reply || !dbus_message_get_args(reply.get(), &error.error, DBUS_TYPE_STRING, &address,
                                         DBUS_TYPE_INVALID))
        throw EHostError(std::string("The stand-in host on the bus does not answer: ") +
                         (error.IsSet() ? error.error.message : "no address"));
    return address;
}

} // namespace

int TBusConnector::DefaultTimeoutMs() {
    if (const char* text = std::getenv("VELLORAN_HOST_TIMEOUT_MS")) {
        const int value = std::atoi(text);
        if (value > 0)
            return value;
    }
    return 10000;
}

std::shared_ptr<TBusConnector> TBusConnector::Attach(int timeoutMs, bool direct) {
    dbus_threads_init_default();
    DBusConnection* busConnection = nullptr;
    TConnection bus;
    const std::string address = FindHost(timeoutMs, busConnection, bus);
    if (address.empty())
        return nullptr;
    if (!direct) {
        // Every call through the bus daemon, addressed to the host's name: the
        // slower route, kept for measuring against the direct one.
        TDBusError error;
        const std::string rule =
            std::string("type='signal',interface='") + bus::kEventInterface + "'";
        dbus_bus_add_match(busConnection, rule.c_str(), &error.error);
        return std::make_shared<TBusConnector>(
            std::make_shared<TBusClient>(std::move(bus), timeoutMs, bus::kBusName));
    }
    TDBusError error;
    DBusConnection* peer = dbus_connection_open_private(address.c_str(), &error.error);
    if (!peer)
        throw EHostError(std::string("Cannot connect to the stand-in host at ") + address + ": " +
                         (error.IsSet() ? error.error.message : "unknown error"));
    return std::make_shared<TBusConnector>(
        std::make_shared<TBusClient>(TConnection(peer), timeoutMs));
}

TBusConnector::TBusConnector(std::shared_ptr<TBusClient> client) : FClient(std::move(client)) {}

std::shared_ptr<IHostObject> TBusConnector::GetObject(Guid classId, TConnectKind kind) {
    if (kind == TConnectKind::ckRemote)
        throw EHostError("The stand-in host does not serve remote connections");
    const std::string cls(classId);
    TMessage reply = FClient->Call(bus::kRootPath, bus::kFactoryInterface, "CreateObject",
                                   [&cls](TArgs& args) { args.String(cls); });
    const std::string path = ReadPath(*FClient, reply.get(), "CreateObject");
    if (classId == CLASS_clsUIV)
        return std::make_shared<TBusApplication>(FClient, path);
    if (classId == CLASS_clsMyInfo)
        return std::make_shared<TBusMyInfo>(FClient, path);
    if (classId == CLASS_clsStationInfo)
        return std::make_shared<TBusStationInfo>(FClient, path);
    if (classId == CLASS_clsMapInfo)
        return std::make_shared<TBusMapInfo>(FClient, path);
    throw EHostError("Class not registered: " + cls);
}

bool TBusConnector::Connected() const {
    return FClient->Connected();
}

int TBusConnector::EventFd() const {
    return FClient->EventFd();
}
void TBusConnector::DispatchEvents() {
    FClient->DispatchEvents();
}
void TBusConnector::SetOnEventsPending(std::function<void()> callback) {
    FClient->FOnEventsPending = std::move(callback);
}

} // namespace host
