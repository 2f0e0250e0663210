#include "standin/bus/BusService.h"

#include "host/bus/BusWire.h"
#include "host/bus/DBusHandles.h"
#include "support/AdaptiveSpin.h"

#include <dbus/dbus.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <vector>

namespace standin {

namespace bus = host::bus;

namespace {

using bus::TDBusError;
using bus::TMessage;

/// Texts on the bus must be UTF-8 without NUL bytes; anything else is shown as '?'.
std::string BusText(const std::string& text) {
    if (text.find('\0') == std::string::npos && dbus_validate_utf8(text.c_str(), nullptr))
        return text;
    std::string clean;
    for (const char c : text)
        clean += (c == '\0' || static_cast<unsigned char>(c) >= 0x80) ? '?' : c;
    return clean;
}

/// A folder only this user can reach, for the host's direct socket: in the
/// user's runtime folder when there is one, else in /tmp.
std::string PrivateSocketFolder() {
    std::string base = "/tmp";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) {
        struct stat info {};
        if (runtime[0] == '/' && stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) &&
            info.st_uid == geteuid() && (info.st_mode & 077) == 0)
            base = runtime;
    }
    RemoveStaleSocketFolders(base);
    std::string folder = base + "/velloran-standin-XXXXXX";
    if (!mkdtemp(folder.data())) // made with mode 0700
        throw EBusServiceError("Cannot create a private folder for the host's socket in " + base);
    return folder;
}

/// A failed call, answered as a D-Bus error.
struct TCallError {
    std::string name;
    std::string message;
};

/// Builds a method return.
class TReply {
public:
    explicit TReply(DBusMessage* call) : FMessage(dbus_message_new_method_return(call)) {
        dbus_message_iter_init_append(FMessage.get(), &FIter);
    }
    TReply& Int16(std::int16_t v) { return Basic(DBUS_TYPE_INT16, &v); }
    TReply& Double(double v) { return Basic(DBUS_TYPE_DOUBLE, &v); }
    TReply& UInt64(std::uint64_t v) { return Basic(DBUS_TYPE_UINT64, &v); }
    TReply& String(const std::string& v) {
        const std::string text = BusText(v);
        const char* p = text.c_str();
        return Basic(DBUS_TYPE_STRING, &p);
    }
    TReply& Path(const std::string& v) {
        const char* p = v.c_str();
        return Basic(DBUS_TYPE_OBJECT_PATH, &p);
    }
    DBusMessage* Get() { return FMessage.get(); }

private:
    TReply& Basic(int type, const void* value) {
        dbus_message_iter_append_basic(&FIter, type, value);
        return *this;
    }
    TMessage FMessage;
    DBusMessageIter FIter;
};

/// Reads the variants of DrawMapText: booleans, 32-bit integers, texts, and
/// an empty array for an absent argument.
std::array<host::OleVariant, 6> ReadVariants(DBusMessageIter* arrayIter) {
    std::array<host::OleVariant, 6> result{};
    DBusMessageIter item;
    dbus_message_iter_recurse(arrayIter, &item);
    for (std::size_t i = 0;
         i < result.size() && dbus_message_iter_get_arg_type(&item) == DBUS_TYPE_VARIANT; ++i) {
        DBusMessageIter inner;
        dbus_message_iter_recurse(&item, &inner);
        switch (dbus_message_iter_get_arg_type(&inner)) {
        case DBUS_TYPE_BOOLEAN: {
            dbus_bool_t b = FALSE;
            dbus_message_iter_get_basic(&inner, &b);
            result[i] = static_cast<bool>(b);
            break;
        }
        case DBUS_TYPE_INT32: {
            dbus_int32_t v = 0;
            dbus_message_iter_get_basic(&inner, &v);
            result[i] = static_cast<std::int32_t>(v);
            break;
        }
        case DBUS_TYPE_STRING: {
            const char* s = nullptr;
            dbus_message_iter_get_basic(&inner, &s);
            result[i] = std::string(s);
            break;
        }
        default:
            break; // absent
        }
        dbus_message_iter_next(&item);
    }
    return result;
}

} // namespace

void RemoveStaleSocketFolders(const std::string& base) {
    namespace fs = std::filesystem;
    std::error_code error;
    const auto now = fs::file_time_type::clock::now();
    for (const fs::directory_entry& entry : fs::directory_iterator(base, error)) {
        const std::string name = entry.path().filename().string();
        struct stat info {};
        if (!name.starts_with("velloran-standin-") || lstat(entry.path().c_str(), &info) != 0 ||
            !S_ISDIR(info.st_mode) || info.st_uid != geteuid() ||
            now - fs::last_write_time(entry.path(), error) < std::chrono::minutes(1))
            continue;
        bool stale = true;
        for (const fs::directory_entry& inside : fs::directory_iterator(entry.path(), error)) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            const std::string path = inside.path().string();
            if (!inside.is_socket(error) || path.size() >= sizeof address.sun_path) {
                stale = false;
                break;
            }
            path.copy(address.sun_path, path.size());
            const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const bool refused =
                probe >= 0 &&
                connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
                errno == ECONNREFUSED;
            if (probe >= 0)
                close(probe);
            if (!refused) {
                stale = false;
                break;
            }
        }
        if (stale && !error)
            fs::remove_all(entry.path(), error);
    }
}

class TBusService::Impl {
    static constexpr long kMaxOutgoingBytes = 4L << 20;
    static constexpr std::size_t kMaxObjectsPerClient = 1024;
    static constexpr std::size_t kMaxReplacementsPerClient = 64;
    static constexpr long kMaxReceivedBytes = 4L << 20;
    // Direct connections: a client has a second to authenticate, and one
    // process may hold only so many, so that idle connections cannot use up
    // the host's descriptors.
    static constexpr auto kHelloTime = std::chrono::seconds(1);
    static constexpr int kMaxUnauthenticatedPerPeer = 8;
    static constexpr int kMaxConnectionsPerPeer = 64;
    static constexpr std::size_t kMaxConnections = 512;
    static constexpr auto kMaxAcceptPause = std::chrono::milliseconds(800);

public:
    explicit Impl(TBusService& owner) : FOwner(owner) {}

    ~Impl() { Shutdown(); }

    void Start() {
        dbus_threads_init_default();
        if (!std::getenv("DBUS_SESSION_BUS_ADDRESS"))
            throw EBusServiceError("No session bus: DBUS_SESSION_BUS_ADDRESS is not set");
        TDBusError error;
        FBus = dbus_bus_get_private(DBUS_BUS_SESSION, &error.error);
        if (!FBus)
            throw EBusServiceError(std::string("Cannot reach the session bus: ") +
                                   error.error.message);
        dbus_connection_set_exit_on_disconnect(FBus, FALSE);
        const int owned =
            dbus_bus_request_name(FBus, bus::kBusName, DBUS_NAME_FLAG_DO_NOT_QUEUE, &error.error);
        if (owned != DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER)
            throw EBusServiceError(std::string("Another stand-in host already runs as ") +
                                   bus::kBusName);
        dbus_connection_add_filter(FBus, &Impl::Filter, this, nullptr);
        dbus_bus_add_match(FBus,
                           "type='signal',sender='" DBUS_SERVICE_DBUS
                           "',interface='" DBUS_INTERFACE_DBUS "',member='NameOwnerChanged'",
                           nullptr);
        WatchConnection(FBus);

        FSocketFolder = PrivateSocketFolder();
        char* escaped = dbus_address_escape_value(FSocketFolder.c_str());
        const std::string listen = std::string("unix:dir=") + (escaped ? escaped : "");
        dbus_free(escaped);
        FServer = dbus_server_listen(listen.c_str(), &error.error);
        if (!FServer)
            throw EBusServiceError(std::string("Cannot open a direct address: ") +
                                   error.error.message);
        const char* mechanisms[] = {"EXTERNAL", nullptr};
        dbus_server_set_auth_mechanisms(FServer, mechanisms);
        dbus_server_set_new_connection_function(FServer, &Impl::NewConnection, this, nullptr);
        dbus_server_set_watch_functions(FServer, &Impl::AddServerWatch, &Impl::RemoveServerWatch,
                                        nullptr, this, nullptr);
        char* address = dbus_server_get_address(FServer);
        FOwner.FPeerAddress = address;
        dbus_free(address);

        if (pipe2(FWake, O_CLOEXEC | O_NONBLOCK) != 0)
            throw EBusServiceError("Cannot create the service's wake-up pipe");
        FThread = std::thread([this] { Loop(); });
    }

    void Shutdown() {
        if (FThread.joinable()) {
            {
                std::lock_guard lock(FQueueMutex);
                FStopping = true;
            }
            Wake();
            FThread.join();
        }
        if (FBus)
            FlushBriefly();
        for (DBusConnection* peer : FPeers) {
            dbus_connection_close(peer);
            dbus_connection_unref(peer);
        }
        FPeers.clear();
        FPeerInfo.clear();
        FObjects.clear();
        if (FServer) {
            dbus_server_disconnect(FServer);
            dbus_server_unref(FServer);
            FServer = nullptr;
        }
        if (!FSocketFolder.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(FSocketFolder, ignored);
            FSocketFolder.clear();
        }
        if (FBus) {
            dbus_connection_close(FBus);
            dbus_connection_unref(FBus);
            FBus = nullptr;
        }
        for (int& fd : FWake) {
            if (fd >= 0)
                close(fd);
            fd = -1;
        }
    }

    void SendEvent(std::int32_t id) {
        if (!FThread.joinable())
            return;
        std::unique_lock lock(FQueueMutex);
        const std::uint64_t ticket = ++FEventsQueued;
        FEvents.push_back(id);
        lock.unlock();
        Wake();
        lock.lock();
        FEventsDone.wait(lock, [&] { return FEventsSent >= ticket || FStopped; });
    }

private:
    void Wake() {
        const char byte = 1;
        [[maybe_unused]] const auto written = write(FWake[1], &byte, 1);
    }

    void Loop() {
        for (;;) {
            // Every socket is watched the way libdbus asks (reading, writing,
            // or both), so that authentication and large answers move on too.
            std::vector<pollfd> fds{{FWake[0], POLLIN, 0}};
            std::vector<DBusWatch*> watches;
            const auto now = std::chrono::steady_clock::now();
            const bool accepting = now >= FAcceptPausedUntil;
            for (DBusWatch* watch : FWatches) {
                if (!dbus_watch_get_enabled(watch) || (!accepting && IsServerWatch(watch)))
                    continue;
                const unsigned flags = dbus_watch_get_flags(watch);
                short events = 0;
                if (flags & DBUS_WATCH_READABLE)
                    events |= POLLIN;
                if (flags & DBUS_WATCH_WRITABLE)
                    events |= POLLOUT;
                fds.push_back({dbus_watch_get_unix_fd(watch), events, 0});
                watches.push_back(watch);
            }
            // Calls come in bursts (a run makes tens of thousands in a row):
            // right after serving one, look for the next for a moment instead
            // of sleeping, since waking up costs more than the call itself,
            // as long as that catches calls (see TAdaptiveSpin).
            const bool busy = now < FSpinUntil;
            const int ready = poll(fds.data(), fds.size(), busy ? 0 : WaitMs(now, accepting));
            CloseSilentPeers();
            if (ready < 0)
                continue;
            if (ready == 0 && !busy) { // a client's time to say hello ran out, or a pause
                DropDisconnectedPeers();
                continue;
            }
            if (ready == 0 && busy) {
                if (std::chrono::steady_clock::now() >= FSpinUntil) {
                    FSpin.Spun(false);
                    FSpinning = false;
                }
                continue;
            }
            if (FSpinning)
                FSpin.Spun(busy);
            const auto budget = FSpin.Budget();
            FSpinning = budget.count() > 0;
            FSpinUntil = std::chrono::steady_clock::now() + budget;

            if (fds[0].revents & POLLIN) {
                char buffer[64];
                while (read(FWake[0], buffer, sizeof buffer) > 0) {
                }
                if (DrainQueue())
                    break;
            }
            for (std::size_t i = 0; i < watches.size(); ++i) {
                const short revents = fds[1 + i].revents;
                // A watch handled earlier in this round may have removed this one.
                if (!revents ||
                    std::find(FWatches.begin(), FWatches.end(), watches[i]) == FWatches.end())
                    continue;
                unsigned flags = 0;
                if (revents & POLLIN)
                    flags |= DBUS_WATCH_READABLE;
                if (revents & POLLOUT)
                    flags |= DBUS_WATCH_WRITABLE;
                if (revents & POLLERR)
                    flags |= DBUS_WATCH_ERROR;
                if (revents & POLLHUP)
                    flags |= DBUS_WATCH_HANGUP;
                const bool server = IsServerWatch(watches[i]);
                const std::uint64_t accepted = FAccepted;
                dbus_watch_handle(watches[i], flags);
                if (server && (revents & POLLIN))
                    AcceptDone(FAccepted != accepted);
            }
            std::vector<DBusConnection*> connections{FBus};
            connections.insert(connections.end(), FPeers.begin(), FPeers.end());
            for (DBusConnection* connection : connections)
                Serve(connection);
            DropDisconnectedPeers();
        }
        std::lock_guard lock(FQueueMutex);
        FStopped = true;
        FEventsDone.notify_all();
    }

    /// Answers what the connection has sent. Nothing here waits for a client:
    /// answers leave as its socket takes them (the loop watches it for
    /// writing), and a client that does not read its answers is not served
    /// further until it has, so it stalls only itself and what it holds stays
    /// bounded.
    static void Serve(DBusConnection* connection) {
        while (dbus_connection_get_outgoing_size(connection) < kMaxOutgoingBytes &&
               dbus_connection_dispatch(connection) == DBUS_DISPATCH_DATA_REMAINS) {
        }
        // Answers go out now, as far as the socket takes them, rather than on
        // the next round of the loop.
        if (dbus_connection_has_messages_to_send(connection))
            dbus_connection_read_write(connection, 0);
    }

    /// Sends queued events; returns true when the service is stopping.
    bool DrainQueue() {
        std::unique_lock lock(FQueueMutex);
        while (!FEvents.empty()) {
            const std::int32_t id = FEvents.front();
            FEvents.pop_front();
            lock.unlock();
            Broadcast(id);
            lock.lock();
            ++FEventsSent;
        }
        FEventsDone.notify_all();
        return FStopping;
    }

    void Broadcast(std::int32_t id) {
        std::vector<DBusConnection*> connections{FBus};
        connections.insert(connections.end(), FPeers.begin(), FPeers.end());
        for (DBusConnection* connection : connections) {
            if (!dbus_connection_get_is_connected(connection))
                continue;
            TMessage signal(dbus_message_new_signal(ApplicationPath().c_str(), bus::kEventInterface,
                                                    bus::kEventSignal));
            dbus_int32_t value = id;
            dbus_message_append_args(signal.get(), DBUS_TYPE_INT32, &value, DBUS_TYPE_INVALID);
            dbus_connection_send(connection, signal.get(), nullptr);
            dbus_connection_read_write(connection, 0);
        }
    }

    /// Gives what is still to be sent (the closing event) a moment to leave,
    /// without waiting on a client that does not read.
    void FlushBriefly() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        std::vector<DBusConnection*> connections{FBus};
        connections.insert(connections.end(), FPeers.begin(), FPeers.end());
        for (;;) {
            std::vector<pollfd> fds;
            for (DBusConnection* connection : connections) {
                int fd = -1;
                if (dbus_connection_get_is_connected(connection) &&
                    dbus_connection_has_messages_to_send(connection) &&
                    dbus_connection_get_socket(connection, &fd))
                    fds.push_back({fd, POLLOUT, 0});
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (fds.empty() || left.count() <= 0)
                return;
            poll(fds.data(), fds.size(), static_cast<int>(left.count()));
            for (DBusConnection* connection : connections) {
                if (dbus_connection_get_is_connected(connection) &&
                    dbus_connection_has_messages_to_send(connection))
                    dbus_connection_read_write(connection, 0);
            }
        }
    }

    void DropDisconnectedPeers() {
        for (auto it = FPeers.begin(); it != FPeers.end();) {
            if (dbus_connection_get_is_connected(*it)) {
                ++it;
                continue;
            }
            DBusConnection* gone = *it;
            FreeObjectsOf(gone, nullptr);
            FPeerInfo.erase(gone);
            dbus_connection_unref(gone);
            it = FPeers.erase(it);
        }
    }

    /// What the host knows of a direct connection's other end.
    struct TPeerInfo {
        pid_t pid = 0;
        std::chrono::steady_clock::time_point accepted;
        bool authenticated = false;
    };

    /// How long the loop may sleep: until the next client must have said
    /// hello, or accepting may resume; without either, until woken.
    int WaitMs(std::chrono::steady_clock::time_point now, bool accepting) const {
        std::optional<std::chrono::steady_clock::time_point> until;
        if (!accepting)
            until = FAcceptPausedUntil;
        for (const auto& [connection, info] : FPeerInfo) {
            if (!info.authenticated && (!until || info.accepted + kHelloTime < *until))
                until = info.accepted + kHelloTime;
        }
        if (!until)
            return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*until - now).count();
        return static_cast<int>(std::clamp<long long>(left, 0, 1000));
    }

    /// Closes the connections that have not authenticated in time.
    void CloseSilentPeers() {
        const auto now = std::chrono::steady_clock::now();
        for (auto& [connection, info] : FPeerInfo) {
            if (info.authenticated)
                continue;
            info.authenticated = dbus_connection_get_is_authenticated(connection);
            if (!info.authenticated && now - info.accepted >= kHelloTime)
                dbus_connection_close(connection);
        }
    }

    /// After the server's socket was readable: when nothing could be accepted
    /// (no descriptors left), stop watching it for a while rather than find
    /// it readable again at once, with growing pauses while that lasts.
    void AcceptDone(bool accepted) {
        if (accepted) {
            FAcceptPause = {};
            return;
        }
        FAcceptPause =
            std::min(kMaxAcceptPause, std::max(FAcceptPause * 2, std::chrono::milliseconds(25)));
        FAcceptPausedUntil = std::chrono::steady_clock::now() + FAcceptPause;
    }

    /// Whether a new direct connection may stay: the same user, and not too
    /// many from one process or in all.
    bool Admit(DBusConnection* connection, TPeerInfo& info) const {
        int fd = -1;
        ucred peer{};
        socklen_t size = sizeof peer;
        if (!dbus_connection_get_socket(connection, &fd) ||
            getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != geteuid())
            return false;
        info.pid = peer.pid;
        if (FPeers.size() >= kMaxConnections)
            return false;
        int held = 0, waiting = 0;
        for (const auto& [other, known] : FPeerInfo) {
            if (known.pid != peer.pid)
                continue;
            ++held;
            waiting += !known.authenticated;
        }
        return held < kMaxConnectionsPerPeer && waiting < kMaxUnauthenticatedPerPeer;
    }

    static void NewConnection(DBusServer*, DBusConnection* connection, void* data) {
        auto* self = static_cast<Impl*>(data);
        ++self->FAccepted;
        TPeerInfo info;
        info.accepted = std::chrono::steady_clock::now();
        if (!self->Admit(connection, info))
            return; // not referenced: libdbus closes it
        self->FPeerInfo[connection] = info;
        dbus_connection_ref(connection);
        dbus_connection_set_exit_on_disconnect(connection, FALSE);
        // A client that sends calls faster than it reads the answers is not
        // read from beyond this.
        dbus_connection_set_max_received_size(connection, kMaxReceivedBytes);
        dbus_connection_add_filter(connection, &Impl::Filter, self, nullptr);
        self->WatchConnection(connection);
        self->FPeers.push_back(connection);
    }
    void WatchConnection(DBusConnection* connection) {
        dbus_connection_set_watch_functions(connection, &Impl::AddWatch, &Impl::RemoveWatch,
                                            &Impl::ToggleWatch, this, nullptr);
    }
    static void ToggleWatch(DBusWatch*, void*) {} // the loop reads the state each round
    static dbus_bool_t AddServerWatch(DBusWatch* watch, void* data) {
        static_cast<Impl*>(data)->FServerWatches.push_back(watch);
        return AddWatch(watch, data);
    }
    static void RemoveServerWatch(DBusWatch* watch, void* data) {
        std::erase(static_cast<Impl*>(data)->FServerWatches, watch);
        RemoveWatch(watch, data);
    }
    bool IsServerWatch(DBusWatch* watch) const {
        return std::find(FServerWatches.begin(), FServerWatches.end(), watch) !=
               FServerWatches.end();
    }
    static dbus_bool_t AddWatch(DBusWatch* watch, void* data) {
        static_cast<Impl*>(data)->FWatches.push_back(watch);
        return TRUE;
    }
    static void RemoveWatch(DBusWatch* watch, void* data) {
        std::erase(static_cast<Impl*>(data)->FWatches, watch);
    }

    static DBusHandlerResult Filter(DBusConnection* connection, DBusMessage* message, void* data) {
        auto* self = static_cast<Impl*>(data);
        // A client of the bus daemon has gone: what it made goes with it.
        if (dbus_message_is_signal(message, DBUS_INTERFACE_DBUS, "NameOwnerChanged")) {
            const char *name = nullptr, *from = nullptr, *to = nullptr;
            if (dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING,
                                      &from, DBUS_TYPE_STRING, &to, DBUS_TYPE_INVALID) &&
                name[0] == ':' && to[0] == '\0')
                self->FreeObjectsOf(connection, name);
            return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
        }
        if (dbus_message_get_type(message) != DBUS_MESSAGE_TYPE_METHOD_CALL)
            return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
        const char* interfaceName = dbus_message_get_interface(message);
        if (interfaceName && std::string_view(interfaceName).starts_with("org.freedesktop.DBus"))
            return DBUS_HANDLER_RESULT_NOT_YET_HANDLED; // introspection, peer pings
        self->Handle(connection, message);
        return DBUS_HANDLER_RESULT_HANDLED;
    }

    static std::string ApplicationPath() { return std::string(bus::kRootPath) + "/clsUIV"; }

    void Handle(DBusConnection* connection, DBusMessage* call) {
        // Objects belong to the caller: a direct connection, or a client of
        // the bus daemon known by its unique name.
        const char* sender = dbus_message_get_sender(call);
        FCaller = {connection, connection == FBus && sender ? sender : ""};
        TMessage reply;
        try {
            reply = Answer(call);
        } catch (const TCallError& error) {
            reply.reset(
                dbus_message_new_error(call, error.name.c_str(), BusText(error.message).c_str()));
        } catch (const host::EHostError& error) {
            reply.reset(
                dbus_message_new_error(call, bus::kHostErrorName, BusText(error.what()).c_str()));
        } catch (const std::exception& error) {
            reply.reset(
                dbus_message_new_error(call, DBUS_ERROR_FAILED, BusText(error.what()).c_str()));
        }
        if (reply && !dbus_message_get_no_reply(call))
            dbus_connection_send(connection, reply.get(), nullptr);
    }

    static void Expect(DBusMessage* call, const char* signature) {
        if (!dbus_message_has_signature(call, signature))
            throw TCallError{DBUS_ERROR_INVALID_ARGS, std::string(dbus_message_get_member(call)) +
                                                          " takes (" + signature + "), not (" +
                                                          dbus_message_get_signature(call) + ")"};
    }

    template <class... Out> static void Args(DBusMessage* call, Out... out) {
        TDBusError error;
        if (!dbus_message_get_args(call, &error.error, out..., DBUS_TYPE_INVALID))
            throw TCallError{DBUS_ERROR_INVALID_ARGS, error.error.message};
    }

    /// Who an object belongs to: the connection, and on the bus daemon's
    /// connection the client's unique name.
    using TClient = std::pair<DBusConnection*, std::string>;

    struct TRegistered {
        std::shared_ptr<host::IHostObject> object;
        TClient owner; // no connection: shared by every client
        bool replacement = false;
        std::string selected; // the call sign last selected on a station object
    };

    /// What one client holds.
    struct THeld {
        std::size_t created = 0;              ///< objects it asked for
        std::deque<std::string> replacements; ///< handed back by the host, oldest first
    };

    /// Registers an object of the calling client. A client may hold a bounded
    /// number of objects it made; of those the host handed back in place of
    /// its own, only the latest are kept (a client reads from each only until
    /// its next call of the same kind).
    std::string Register(std::shared_ptr<host::IHostObject> object, bool replacement = false) {
        THeld& held = FHeld[FCaller];
        if (!replacement && held.created >= kMaxObjectsPerClient)
            throw TCallError{DBUS_ERROR_LIMITS_EXCEEDED, "A client may hold at most " +
                                                             std::to_string(kMaxObjectsPerClient) +
                                                             " objects of this host"};
        const std::string path = std::string(bus::kRootPath) + "/o" + std::to_string(++FNextId);
        FObjects[path] = {std::move(object), FCaller, replacement, {}};
        if (!replacement) {
            ++held.created;
        } else {
            held.replacements.push_back(path);
            if (held.replacements.size() > kMaxReplacementsPerClient) {
                FObjects.erase(held.replacements.front());
                held.replacements.pop_front();
            }
        }
        return path;
    }

    /// Frees what a client that has gone held (any client of the connection
    /// when name is null).
    void FreeObjectsOf(DBusConnection* connection, const char* name) {
        const auto gone = [&](const TClient& owner) {
            return owner.first == connection && (!name || owner.second == name);
        };
        std::erase_if(FObjects, [&](const auto& entry) { return gone(entry.second.owner); });
        std::erase_if(FHeld, [&](const auto& entry) { return gone(entry.first); });
    }

    template <class I>
    std::shared_ptr<I> Object(const std::string& path, bool* replacement = nullptr) {
        const auto found = FObjects.find(path);
        if (found == FObjects.end())
            throw TCallError{DBUS_ERROR_UNKNOWN_OBJECT, "No object " + path + " on this host"};
        auto object = host::QueryInterface<I>(found->second.object);
        if (!object)
            throw TCallError{DBUS_ERROR_UNKNOWN_INTERFACE,
                             "The object " + path + " does not offer that interface"};
        if (replacement)
            *replacement = found->second.replacement;
        return object;
    }

    TMessage Answer(DBusMessage* call) {
        const std::string path = dbus_message_get_path(call) ? dbus_message_get_path(call) : "";
        const std::string_view iface =
            dbus_message_get_interface(call) ? dbus_message_get_interface(call) : "";
        const std::string_view member = dbus_message_get_member(call);
        TReply reply(call);
        const auto unknown = [&]() -> TCallError {
            return {DBUS_ERROR_UNKNOWN_METHOD,
                    "No method " + std::string(member) + " in " + std::string(iface)};
        };

        if (path == bus::kRootPath && iface == bus::kFactoryInterface) {
            if (member == "PeerAddress") {
                Expect(call, "");
                reply.String(FOwner.FPeerAddress);
            } else if (member == "CreateObject") {
                Expect(call, "s");
                const char* classId = nullptr;
                Args(call, DBUS_TYPE_STRING, &classId);
                reply.Path(CreateObject(classId));
            } else {
                throw unknown();
            }
            return TMessage(dbus_message_ref(reply.Get()));
        }
        if (path == bus::kRootPath && iface == bus::kControlInterface) {
            if (member == "SendEvent") {
                Expect(call, "i");
                dbus_int32_t id = 0;
                Args(call, DBUS_TYPE_INT32, &id);
                Broadcast(id); // already on the service thread
            } else if (member == "Close") {
                Expect(call, "");
                if (FOwner.OnCloseRequested)
                    FOwner.OnCloseRequested();
            } else if (member == "Fail") {
                Expect(call, "sxs");
                const char* operation = nullptr;
                dbus_int64_t after = 0;
                const char* message = nullptr;
                Args(call, DBUS_TYPE_STRING, &operation, DBUS_TYPE_INT64, &after, DBUS_TYPE_STRING,
                     &message);
                std::lock_guard lock(FOwner.FModelMutex);
                if (std::string_view(operation).empty())
                    FOwner.FHost->SetFail(std::nullopt);
                else if (!IsHostOperationName(operation) || after < 0)
                    throw TCallError{DBUS_ERROR_INVALID_ARGS,
                                     std::string("Cannot fail \"") + operation + "\""};
                else
                    FOwner.FHost->SetFail(TScenarioFail{operation, after, message});
            } else if (member == "ObjectCount") {
                Expect(call, "");
                reply.UInt64(FObjects.size());
            } else if (member == "ReplacementReads") {
                Expect(call, "");
                reply.UInt64(FOwner.FReplacementReads);
            } else if (member == "ChannelStats") {
                Expect(call, "");
                if (!FOwner.OnChannelStats)
                    throw TCallError{DBUS_ERROR_NOT_SUPPORTED,
                                     "The host measures the channel only with a live source"};
                reply.String(FOwner.OnChannelStats());
            } else {
                throw unknown();
            }
            return TMessage(dbus_message_ref(reply.Get()));
        }

        std::lock_guard lock(FOwner.FModelMutex);
        if (iface == bus::kUIVInterface)
            AnswerApplication(call, path, member, reply);
        else if (iface == bus::kStationInfoInterface)
            AnswerStation(call, path, member, reply);
        else if (iface == bus::kMyInfoInterface)
            AnswerMyInfo(call, path, member, reply);
        else if (iface == bus::kMapInterface)
            AnswerMap(call, path, member, reply);
        else
            throw unknown();
        return TMessage(dbus_message_ref(reply.Get()));
    }

    std::string CreateObject(const std::string& classId) {
        std::lock_guard lock(FOwner.FModelMutex);
        TEmbeddedConnector connector(FOwner.FHost);
        std::shared_ptr<host::IHostObject> object =
            connector.GetObject(classId, host::TConnectKind::ckRunningOrNew);
        if (classId == host::CLASS_clsUIV) {
            FObjects[ApplicationPath()] = {std::move(object), {}, false, {}};
            return ApplicationPath();
        }
        return Register(std::move(object));
    }

    void AnswerApplication(DBusMessage* call, const std::string& path, std::string_view member,
                           TReply& reply) {
        auto app = Object<host::_clsUIV>(path);
        if (member == "GetStationInfo") {
            Expect(call, "o");
            const char* given = nullptr;
            Args(call, DBUS_TYPE_OBJECT_PATH, &given);
            auto info = Object<host::_clsStationInfo>(given);
            std::string answer = given;
            if (FOwner.FReplaceObjects) {
                // A fresh object that describes the station selected on the given one.
                auto fresh = host::QueryInterface<host::_clsStationInfo>(
                    TEmbeddedConnector(FOwner.FHost)
                        .GetObject(host::CLASS_clsStationInfo, host::TConnectKind::ckRunningOrNew));
                fresh->SetCallsign(Selected(given));
                info = fresh;
                answer = Register(fresh, true);
            }
            const std::int16_t result = app->GetStationInfo(info);
            reply.Int16(result).Path(answer);
            if (const auto found = FObjects.find(answer); found != FObjects.end())
                found->second.selected = Selected(given);
        } else if (member == "RefreshMap") {
            Expect(call, "");
            app->RefreshMap();
            SceneChanged();
        } else if (member == "GetMap") {
            Expect(call, "");
            auto map = app->GetMap();
            // Map objects hold no state: every client gets the same path back.
            const std::string mapPath = std::string(bus::kRootPath) + "/map";
            FObjects[mapPath] = {map, {}, false, {}};
            reply.Path(mapPath);
        } else if (member == "GetStationCount") {
            Expect(call, "");
            reply.Int16(app->GetStationCount());
        } else if (member == "GetStationListEntry") {
            Expect(call, "n");
            dbus_int16_t index = 0;
            Args(call, DBUS_TYPE_INT16, &index);
            std::int16_t value = index;
            const std::string entry = app->GetStationListEntry(value);
            reply.String(entry).Int16(value);
        } else if (member == "GetMyInfo") {
            Expect(call, "o");
            const char* given = nullptr;
            Args(call, DBUS_TYPE_OBJECT_PATH, &given);
            auto info = Object<host::_clsMyInfo>(given);
            std::string answer = given;
            if (FOwner.FReplaceObjects) {
                info = host::QueryInterface<host::_clsMyInfo>(
                    TEmbeddedConnector(FOwner.FHost)
                        .GetObject(host::CLASS_clsMyInfo, host::TConnectKind::ckRunningOrNew));
                answer = Register(info, true);
            }
            app->GetMyInfo(info);
            reply.Path(answer);
        } else {
            throw TCallError{DBUS_ERROR_UNKNOWN_METHOD, "No method " + std::string(member)};
        }
    }

    /// The call sign last selected on a station object (kept for replacements).
    std::string Selected(const std::string& path) {
        const auto found = FObjects.find(path);
        return found == FObjects.end() ? std::string() : found->second.selected;
    }

    void AnswerStation(DBusMessage* call, const std::string& path, std::string_view member,
                       TReply& reply) {
        bool replacement = false;
        auto info = Object<host::_clsStationInfo>(path, &replacement);
        if (replacement)
            ++FOwner.FReplacementReads;
        if (member == "SetCallsign") {
            Expect(call, "s");
            const char* callsign = nullptr;
            Args(call, DBUS_TYPE_STRING, &callsign);
            info->SetCallsign(callsign);
            FObjects[path].selected = callsign;
            return;
        }
        Expect(call, "");
        if (member == "GetCallsign")
            reply.String(info->GetCallsign());
        else if (member == "GetSymbolCode")
            reply.String(info->GetSymbolCode());
        else if (member == "GetSymbolTable")
            reply.String(info->GetSymbolTable());
        else if (member == "GetPath")
            reply.String(info->GetPath());
        else if (member == "GetLastHeardRF")
            reply.String(info->GetLastHeardRF());
        else if (member == "GetLastHeardInternet")
            reply.String(info->GetLastHeardInternet());
        else if (member == "GetLong")
            reply.Double(info->GetLong());
        else if (member == "GetLat")
            reply.Double(info->GetLat());
        else if (member == "GetSpeed")
            reply.Double(info->GetSpeed());
        else if (member == "GetDistance")
            reply.Double(info->GetDistance());
        else if (member == "GetThirdParty")
            reply.Int16(info->GetThirdParty());
        else
            throw TCallError{DBUS_ERROR_UNKNOWN_METHOD, "No method " + std::string(member)};
    }

    void AnswerMyInfo(DBusMessage* call, const std::string& path, std::string_view member,
                      TReply& reply) {
        auto info = Object<host::_clsMyInfo>(path);
        Expect(call, "");
        if (member == "GetLong")
            reply.Double(info->GetLong());
        else if (member == "GetLat")
            reply.Double(info->GetLat());
        else if (member == "GetCallsign")
            reply.String(info->GetCallsign());
        else
            throw TCallError{DBUS_ERROR_UNKNOWN_METHOD, "No method " + std::string(member)};
    }

    void AnswerMap(DBusMessage* call, const std::string& path, std::string_view member,
                   TReply& reply) {
        auto map = Object<host::_clsUIVMap>(path);
        if (member == "DrawCircle") {
            Expect(call, "ddduddd");
            double x, y, radius, start, end, aspect;
            dbus_uint32_t colour;
            Args(call, DBUS_TYPE_DOUBLE, &x, DBUS_TYPE_DOUBLE, &y, DBUS_TYPE_DOUBLE, &radius,
                 DBUS_TYPE_UINT32, &colour, DBUS_TYPE_DOUBLE, &start, DBUS_TYPE_DOUBLE, &end,
                 DBUS_TYPE_DOUBLE, &aspect);
            map->DrawCircle(static_cast<float>(x), static_cast<float>(y),
                            static_cast<float>(radius), colour, static_cast<float>(start), end,
                            static_cast<float>(aspect));
            SceneChanged();
        } else if (member == "DrawMapText") {
            Expect(call, "sdduav");
            DBusMessageIter iter;
            dbus_message_iter_init(call, &iter);
            const char* text = nullptr;
            double x = 0, y = 0;
            dbus_uint32_t colour = 0;
            dbus_message_iter_get_basic(&iter, &text);
            dbus_message_iter_next(&iter);
            dbus_message_iter_get_basic(&iter, &x);
            dbus_message_iter_next(&iter);
            dbus_message_iter_get_basic(&iter, &y);
            dbus_message_iter_next(&iter);
            dbus_message_iter_get_basic(&iter, &colour);
            dbus_message_iter_next(&iter);
            map->DrawMapText(text, static_cast<float>(x), static_cast<float>(y), colour,
                             ReadVariants(&iter));
            SceneChanged();
        } else if (member == "GetTextX" || member == "GetTextY") {
            Expect(call, "");
            reply.Double(member == "GetTextX" ? map->GetTextX() : map->GetTextY());
        } else if (member == "SetDrawSettingA" || member == "SetDrawSettingB" ||
                   member == "SetDrawColour") {
            Expect(call, "i");
            dbus_int32_t value = 0;
            Args(call, DBUS_TYPE_INT32, &value);
            if (member == "SetDrawSettingA")
                map->SetDrawSettingA(value);
            else if (member == "SetDrawSettingB")
                map->SetDrawSettingB(value);
            else
                map->SetDrawColour(value);
        } else {
            throw TCallError{DBUS_ERROR_UNKNOWN_METHOD, "No method " + std::string(member)};
        }
    }

    void SceneChanged() {
        if (FOwner.OnSceneChanged)
            FOwner.OnSceneChanged();
    }

    TBusService& FOwner;
    DBusConnection* FBus = nullptr;
    DBusServer* FServer = nullptr;
    std::vector<DBusWatch*> FWatches;
    std::vector<DBusConnection*> FPeers;
    std::map<DBusConnection*, TPeerInfo> FPeerInfo;
    std::vector<DBusWatch*> FServerWatches;
    std::string FSocketFolder;
    std::uint64_t FAccepted = 0;
    std::chrono::milliseconds FAcceptPause{0};
    std::chrono::steady_clock::time_point FAcceptPausedUntil;
    std::map<std::string, TRegistered> FObjects;
    std::map<TClient, THeld> FHeld;
    TClient FCaller; // the client whose call is being answered
    std::uint64_t FNextId = 0;
    std::chrono::steady_clock::time_point FSpinUntil;
    support::TAdaptiveSpin FSpin{std::chrono::microseconds(300)};
    bool FSpinning = false; // the current wait began with a spin
    int FWake[2] = {-1, -1};
    std::thread FThread;

    std::mutex FQueueMutex;
    std::condition_variable FEventsDone;
    std::deque<std::int32_t> FEvents;
    std::uint64_t FEventsQueued = 0;
    std::uint64_t FEventsSent = 0;
    bool FStopping = false;
    bool FStopped = false;
};

TBusService::TBusService(std::shared_ptr<TStandinHost> host)
    : FHost(std::move(host)), FImpl(std::make_unique<Impl>(*this)) {
    // A host serving for days keeps what its map shows, not every call.
    FHost->SetRecordMapCalls(false);
}

TBusService::~TBusService() {
    Stop();
}

void TBusService::Start() {
    FImpl->Start();
}

void TBusService::Stop() {
    if (FImpl)
        FImpl->Shutdown();
}

void TBusService::SendEvent(std::int32_t dispatchId) {
    FImpl->SendEvent(dispatchId);
}

} // namespace standin
