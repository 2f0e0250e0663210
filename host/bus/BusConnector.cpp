#include "host/bus/BusConnector.h"

#include "host/AnswerGate.h"
#include "host/bus/BusWire.h"
#include "host/bus/DBusHandles.h"
#include "support/AdaptiveSpin.h"

#include <dbus/dbus.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <thread>
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
        if (!EnsureConnected())
            throw EHostError(std::string("The stand-in host has gone away; ") + method +
                                 " cannot be called",
                             THostFailure::Gone);
        // The window answers while a call waits; what it does meanwhile must
        // not call the host again before the first call is answered.
        if (FWaiting)
            throw FGate.StillAnswering(method);
        // A host that let a call time out is asked briefly whether it is back.
        if (!FGate.MayCall([this] { return Answers(); }))
            throw FGate.NotCalled(method, dbus_connection_get_is_connected(FConnection.get())
                                              ? THostFailure::NotAnswering
                                              : THostFailure::Gone);
        TMessage call(
            dbus_message_new_method_call(FDestination.empty() ? nullptr : FDestination.c_str(),
                                         path.c_str(), interfaceName, method));
        if (!call)
            throw EHostError("Out of memory while calling the host");
        TArgs args(call.get());
        append(args);
        TDBusError error;
        TMessage reply(SendAndWait(call.get(), error));
        if ((dbus_connection_get_dispatch_status(FConnection.get()) == DBUS_DISPATCH_DATA_REMAINS ||
             !FHeldEvents.empty()) &&
            FOnEventsPending)
            FOnEventsPending();
        if (!reply) {
            const THostFailure failure = Classify(error);
            if (failure == THostFailure::NotAnswering)
                throw FGate.TimedOut(method, FTimeoutMs);
            FGate.Answered();
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
        // Events that arrived while a call waited, now that none does.
        while (!FWaiting && !FHeldEvents.empty()) {
            const std::int32_t id = FHeldEvents.front();
            FHeldEvents.erase(FHeldEvents.begin());
            Deliver(id);
        }
    }

    std::function<void()> FOnEventsPending;
    IHostWait* FWait = nullptr;
    /// Opens a connection to the host that runs now, or gives null.
    std::function<TConnection()> FReattach;
    /// Called once a new connection has taken the place of a closed one.
    std::function<void()> FOnReattached;

    /// Counts the connections: objects made on an earlier one are made again.
    std::uint64_t Generation() const { return FGeneration; }

    /// Whether the client is connected, after attaching afresh to a host
    /// started again when the connection had closed.
    bool EnsureConnected() {
        if (FReattach && !FWaiting)
            NoticeHangUp();
        return dbus_connection_get_is_connected(FConnection.get()) || (!FWaiting && Reattach());
    }

    /// Makes an object of the class on the host; returns its path.
    std::string Create(const std::string& classId) {
        TMessage reply = Call(bus::kRootPath, bus::kFactoryInterface, "CreateObject",
                              [&classId](TArgs& args) { args.String(classId); });
        const char* path = nullptr;
        Read(reply.get(), "CreateObject", DBUS_TYPE_OBJECT_PATH, &path);
        return path;
    }

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
        if (FWait)
            WaitAnswering(pending);
        else
            dbus_pending_call_block(pending);
        DBusMessage* reply = dbus_pending_call_get_completed(pending)
                                 ? dbus_pending_call_steal_reply(pending)
                                 : nullptr;
        if (!reply)
            dbus_pending_call_cancel(pending);
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

    /// Lets libdbus see that the host has closed its end, so that a host
    /// started again is attached before the call rather than after it fails.
    void NoticeHangUp() {
        pollfd socket{EventFd(), POLLIN, 0};
        if (socket.fd >= 0 && poll(&socket, 1, 0) == 1 && (socket.revents & (POLLHUP | POLLERR)))
            dbus_connection_read_write(FConnection.get(), 0);
    }

    /// A host that went away may have been started again: attach to it
    /// afresh. Its objects are made again as they are next used.
    bool Reattach() {
        if (!FReattach)
            return false;
        TConnection fresh;
        try {
            fresh = FReattach();
        } catch (const EHostError&) {
            return false;
        }
        if (!fresh)
            return false;
        dbus_connection_remove_filter(FConnection.get(), &TBusClient::Filter, this);
        FConnection = std::move(fresh);
        dbus_connection_set_exit_on_disconnect(FConnection.get(), FALSE);
        dbus_connection_add_filter(FConnection.get(), &TBusClient::Filter, this, nullptr);
        ++FGeneration;
        FGate.Answered();
        if (FOnReattached)
            FOnReattached();
        return true;
    }

    /// Waits for the answer within the time limit while the program's window
    /// goes on (through FWait). Answers are taken from the connection here;
    /// events that arrive meanwhile are held for DispatchEvents.
    void WaitAnswering(DBusPendingCall* pending) {
        constexpr auto kSlice = std::chrono::milliseconds(20);
        const auto start = std::chrono::steady_clock::now();
        const auto deadline = start + std::chrono::milliseconds(FTimeoutMs);
        bool begun = false;
        FWaiting = true;
        const auto done = [&] {
            FWaiting = false;
            if (begun)
                FWait->WaitEnds();
        };
        try {
            for (;;) {
                while (dbus_connection_dispatch(FConnection.get()) == DBUS_DISPATCH_DATA_REMAINS) {
                }
                const auto now = std::chrono::steady_clock::now();
                if (dbus_pending_call_get_completed(pending) || now >= deadline)
                    break;
                if (now - start >= kSlice) {
                    if (!begun) {
                        begun = true;
                        FWait->WaitBegins();
                    }
                    FWait->Waiting();
                }
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                if (!dbus_connection_read_write(
                        FConnection.get(),
                        static_cast<int>(std::clamp<long long>(left.count(), 0, kSlice.count()))))
                    break; // disconnected
            }
        } catch (...) {
            done();
            throw;
        }
        done();
    }

    void Deliver(std::int32_t id) {
        // A sink may unsubscribe while we walk: walk a copy and re-check.
        const auto sinks = FSinks;
        for (const auto& [cookie, sink] : sinks) {
            const bool subscribed = std::any_of(
                FSinks.begin(), FSinks.end(), [c = cookie](const auto& e) { return e.first == c; });
            if (subscribed)
                sink->Invoke(id);
        }
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
        case THostFailure::NotAnswering: // through FGate
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
            if (self->FWaiting)
                self->FHeldEvents.push_back(id);
            else
                self->Deliver(id);
        }
        return DBUS_HANDLER_RESULT_HANDLED;
    }

    TConnection FConnection;
    int FTimeoutMs;
    std::string FDestination;
    TAnswerGate FGate{"The stand-in host"}; // the only host on the bus
    bool FWaiting = false;                  // a call waits for its answer
    std::uint64_t FGeneration = 0;
    std::vector<std::int32_t> FHeldEvents; // arrived while a call waited
    support::TAdaptiveSpin FSpin{std::chrono::microseconds(300)};
    std::vector<std::pair<std::uint32_t, IHostEventSink*>> FSinks;
    std::uint32_t FNextCookie = 1;
};

namespace {

/// An object of the host, known by its path. After the host has been
/// attached afresh the object is made again there when next used.
class TBusObject : public virtual IHostObject {
public:
    /// remake makes the object again on a new connection and gives its path.
    using TRemake = std::function<std::string(TBusClient&)>;

    TBusObject(std::shared_ptr<TBusClient> client, std::string path, TRemake remake)
        : FClient(std::move(client)), FPath(std::move(path)), FRemake(std::move(remake)),
          FGeneration(FClient->Generation()) {}
    const std::string& Path() {
        FClient->EnsureConnected();
        if (FGeneration != FClient->Generation()) {
            FPath = FRemake(*FClient);
            FGeneration = FClient->Generation();
        }
        return FPath;
    }
    /// Makes an object of the class again.
    static TRemake OfClass(Guid classId) {
        return [cls = std::string(classId)](TBusClient& client) { return client.Create(cls); };
    }

protected:
    TBusClient& Client() { return *FClient; }
    std::shared_ptr<TBusClient> FClient;

private:
    std::string FPath;
    TRemake FRemake;
    std::uint64_t FGeneration;
};

const std::string& PathOf(const std::shared_ptr<IHostObject>& object, const char* method) {
    auto* busObject = dynamic_cast<TBusObject*>(object.get());
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
        Client().Call(Path(), bus::kStationInfoInterface, "SetCallsign",
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
        return Client().Int16(Path(), bus::kStationInfoInterface, "GetThirdParty");
    }

private:
    std::string Text(const char* method) {
        return Client().String(Path(), bus::kStationInfoInterface, method);
    }
    float Single(const char* method) {
        return static_cast<float>(Client().Double(Path(), bus::kStationInfoInterface, method));
    }
};

class TBusMyInfo : public _clsMyInfo, public TBusObject {
public:
    using TBusObject::TBusObject;
    float GetLong() override {
        return static_cast<float>(Client().Double(Path(), bus::kMyInfoInterface, "GetLong"));
    }
    float GetLat() override {
        return static_cast<float>(Client().Double(Path(), bus::kMyInfoInterface, "GetLat"));
    }
    std::string GetCallsign() override {
        return Client().String(Path(), bus::kMyInfoInterface, "GetCallsign");
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
        Client().Call(Path(), bus::kMapInterface, "DrawCircle", [&](TArgs& args) {
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
        Client().Call(Path(), bus::kMapInterface, "DrawMapText", [&](TArgs& args) {
            args.String(text).Double(x).Double(y).UInt32(colour).Variants(variants);
        });
    }
    float GetTextX() override {
        return static_cast<float>(Client().Double(Path(), bus::kMapInterface, "GetTextX"));
    }
    float GetTextY() override {
        return static_cast<float>(Client().Double(Path(), bus::kMapInterface, "GetTextY"));
    }
    void SetDrawSettingA(std::int32_t value) override { Setting("SetDrawSettingA", value); }
    void SetDrawSettingB(std::int32_t value) override { Setting("SetDrawSettingB", value); }
    void SetDrawColour(std::int32_t value) override { Setting("SetDrawColour", value); }

private:
    void Setting(const char* method, std::int32_t value) {
        Client().Call(Path(), bus::kMapInterface, method,
                      [value](TArgs& args) { args.Int32(value); });
    }
};

class TBusApplication : public _clsUIV, public IHostEventSource, public TBusObject {
public:
    using TBusObject::TBusObject;

    std::int16_t GetStationInfo(std::shared_ptr<_clsStationInfo>& info) override {
        const std::string& given = PathOf(info, "GetStationInfo");
        TMessage reply = Client().Call(Path(), bus::kUIVInterface, "GetStationInfo",
                                       [&given](TArgs& args) { args.Path(given); });
        dbus_int16_t result = 0;
        const char* path = nullptr;
        Client().Read(reply.get(), "GetStationInfo", DBUS_TYPE_INT16, &result,
                      DBUS_TYPE_OBJECT_PATH, &path);
        if (given != path)
            info = std::make_shared<TBusStationInfo>(FClient, path, OfClass(CLASS_clsStationInfo));
        return result;
    }
    void RefreshMap() override { Client().Call(Path(), bus::kUIVInterface, "RefreshMap"); }
    std::shared_ptr<_clsUIVMap> GetMap() override {
        TMessage reply = Client().Call(Path(), bus::kUIVInterface, "GetMap");
        // The map comes from the application: on a new connection, from its new one.
        return std::make_shared<TBusMap>(
            FClient, ReadPath(Client(), reply.get(), "GetMap"), [](TBusClient& client) {
                const std::string application = client.Create(std::string(CLASS_clsUIV));
                TMessage again = client.Call(application, bus::kUIVInterface, "GetMap");
                return ReadPath(client, again.get(), "GetMap");
            });
    }
    std::int16_t GetStationCount() override {
        return Client().Int16(Path(), bus::kUIVInterface, "GetStationCount");
    }
    std::string GetStationListEntry(std::int16_t& index) override {
        TMessage reply = Client().Call(Path(), bus::kUIVInterface, "GetStationListEntry",
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
        TMessage reply = Client().Call(Path(), bus::kUIVInterface, "GetMyInfo",
                                       [&given](TArgs& args) { args.Path(given); });
        const std::string path = ReadPath(Client(), reply.get(), "GetMyInfo");
        if (given != path)
            info = std::make_shared<TBusMyInfo>(FClient, path, OfClass(CLASS_clsMyInfo));
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

/// The socket of a unix address ("unix:path=..." or "unix:abstract=..."), or
/// nullopt for any other kind.
std::optional<sockaddr_un> UnixSocketOf(const std::string& address, socklen_t& length) {
    DBusAddressEntry** entries = nullptr;
    int count = 0;
    TDBusError error;
    if (!dbus_parse_address(address.c_str(), &entries, &count, &error.error))
        return std::nullopt;
    std::optional<sockaddr_un> result;
    if (count > 0 && std::string_view(dbus_address_entry_get_method(entries[0])) == "unix") {
        const char* path = dbus_address_entry_get_value(entries[0], "path");
        const char* abstract = dbus_address_entry_get_value(entries[0], "abstract");
        const char* name = path ? path : abstract;
        sockaddr_un socket{};
        socket.sun_family = AF_UNIX;
        const std::size_t offset = abstract && !path ? 1 : 0; // abstract: a leading NUL
        if (name && std::strlen(name) + offset < sizeof socket.sun_path) {
            std::memcpy(socket.sun_path + offset, name, std::strlen(name));
            length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset +
                                            std::strlen(name) + (offset ? 0 : 1));
            result = socket;
        }
    }
    dbus_address_entries_free(entries);
    return result;
}

/// Waits until the host's socket takes a connection. libdbus connects without
/// a time limit, and a host that does not accept (stopped, or flooded) leaves
/// a full queue that such a connect waits on for ever: try first without
/// waiting, and give up after the time limit.
void WaitUntilAccepting(const std::string& address, int timeoutMs) {
    socklen_t length = 0;
    const std::optional<sockaddr_un> target = UnixSocketOf(address, length);
    if (!target)
        return;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return; // let libdbus report it
        const int result = connect(fd, reinterpret_cast<const sockaddr*>(&*target), length);
        const int failure = errno;
        close(fd);
        if (result == 0 || failure != EAGAIN)
            return;
        if (std::chrono::steady_clock::now() >= end)
            throw EHostError("The stand-in host did not take a connection within " +
                                 std::to_string(timeoutMs) + " ms",
                             THostFailure::NotAnswering);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace

int TBusConnector::DefaultTimeoutMs() {
    return HostAnswerLimitMs();
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
    auto connector = AttachTo(address, timeoutMs);
    // A host started again after a crash is another process at another
    // address: found on the bus as the first one was.
    connector->FClient->FReattach = [timeoutMs]() -> TConnection {
        DBusConnection* daemon = nullptr;
        TConnection daemonHolder;
        const std::string again = FindHost(timeoutMs, daemon, daemonHolder);
        if (again.empty())
            return nullptr;
        WaitUntilAccepting(again, timeoutMs);
        TDBusError error;
        return TConnection(dbus_connection_open_private(again.c_str(), &error.error));
    };
    return connector;
}

std::shared_ptr<TBusConnector> TBusConnector::AttachTo(const std::string& address, int timeoutMs) {
    dbus_threads_init_default();
    WaitUntilAccepting(address, timeoutMs);
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
        return std::make_shared<TBusApplication>(FClient, path, TBusObject::OfClass(classId));
    if (classId == CLASS_clsMyInfo)
        return std::make_shared<TBusMyInfo>(FClient, path, TBusObject::OfClass(classId));
    if (classId == CLASS_clsStationInfo)
        return std::make_shared<TBusStationInfo>(FClient, path, TBusObject::OfClass(classId));
    if (classId == CLASS_clsMapInfo)
        return std::make_shared<TBusMapInfo>(FClient, path, TBusObject::OfClass(classId));
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
void TBusConnector::SetOnReattached(std::function<void()> callback) {
    FClient->FOnReattached = std::move(callback);
}
void TBusConnector::SetWait(IHostWait* wait) {
    FClient->FWait = wait;
}
void TBusConnector::SetOnEventsPending(std::function<void()> callback) {
    FClient->FOnEventsPending = std::move(callback);
}

} // namespace host
