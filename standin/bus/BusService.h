#pragma once

#include "standin/model/StandinHost.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

/// Serves a stand-in host on the desktop bus: the host's name on the session
/// bus, and direct connections for the calls themselves. Plain C++ over
/// libdbus; the calls are served on a thread of the service's own, with the
/// host model behind a mutex that the owner also takes to read it.
namespace standin {

/// Removes the socket folders that a host killed without warning (kill -9, a
/// crash) left behind in base: this user's, untouched for a minute (a host
/// starting now is left alone), holding nothing but sockets nobody listens
/// on. Each host does it before it makes its own.
void RemoveStaleSocketFolders(const std::string& base);

class EBusServiceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TBusService {
public:
    explicit TBusService(std::shared_ptr<TStandinHost> host);
    ~TBusService();
    TBusService(const TBusService&) = delete;
    TBusService& operator=(const TBusService&) = delete;

    /// Owns the host's name on the session bus, opens the direct address and
    /// starts serving. Throws EBusServiceError when there is no session bus or
    /// another host owns the name.
    void Start();
    /// Stops serving and leaves the bus. Waits for the service thread.
    void Stop();

    /// The address clients connect to directly.
    std::string PeerAddress() const { return FPeerAddress; }

    /// Sends an event (signal Invoke with the dispatch id) to every client and
    /// returns once it has been written. Callable from any thread.
    void SendEvent(std::int32_t dispatchId);

    /// Taken around every call on the host model; take it to read the model.
    std::mutex& ModelMutex() { return FModelMutex; }

    /// Hand back a new station or own-station object from GetStationInfo and
    /// GetMyInfo (describing the same station), as a host may.
    void SetReplaceObjects(bool replace) { FReplaceObjects = replace; }
    /// Number of reads answered by such replacement objects.
    std::uint64_t ReplacementReads() const { return FReplacementReads; }

    /// Called on the service thread after RefreshMap or a drawing call.
    std::function<void()> OnSceneChanged;
    /// Called on the service thread when a client asks the host to close.
    std::function<void()> OnCloseRequested;
    /// Answers the control method ChannelStats with the channel table of a
    /// live host; without it the method fails. Called on the service thread.
    std::function<std::string()> OnChannelStats;

    class Impl;

private:
    std::shared_ptr<TStandinHost> FHost;
    std::mutex FModelMutex;
    std::unique_ptr<Impl> FImpl;
    std::string FPeerAddress;
    std::atomic<bool> FReplaceObjects{false};
    std::atomic<std::uint64_t> FReplacementReads{0};
    friend class Impl;
};

} // namespace standin
