#pragma once

#include "host/HostError.h"
#include "host/UIView32_TLB.h"

#include <functional>
#include <memory>
#include <optional>

/// The four host components the main window owns. Each reaches the host
/// through a connector, connects when first used (or at load, with
/// AutoConnect), keeps its interface for its life and forwards every call.
namespace host {

/// How a component finds its host object.
enum class TConnectKind {
    ckRunningOrNew,     ///< attach to the running object of the class, or create one
    ckNewInstance,      ///< always create one
    ckRunningInstance,  ///< attach only; fail when none runs
    ckRemote,           ///< create on another machine (not offered by any transport here)
    ckAttachToInterface ///< use the interface given to ConnectTo
};

/// What the program does while a call waits for a host in another process
/// that is slow to answer: its window keeps answering meanwhile.
class IHostWait {
public:
    virtual ~IHostWait() = default;
    /// A call has waited a moment; Waiting follows, then WaitEnds.
    virtual void WaitBegins() = 0;
    /// Called every few tens of milliseconds while the call waits.
    virtual void Waiting() = 0;
    virtual void WaitEnds() = 0;
};

/// Maps a class id to a host object: the transport between Velloran and a
/// host. The embedded stand-in host is one; a host in another process is
/// another.
class IHostConnector {
public:
    virtual ~IHostConnector() = default;
    /// Returns the host's object of the class, attached or created as the kind
    /// says. Throws EHostError when there is none and none can be made.
    virtual std::shared_ptr<IHostObject> GetObject(Guid classId, TConnectKind kind) = 0;
    /// Who is told while a call waits (null: nobody, the call just waits).
    /// A host in the same process never keeps a call waiting.
    virtual void SetWait(IHostWait* wait) { (void)wait; }
};

/// Common part of the four components: connection state and the connector.
class TOleServer {
public:
    TOleServer(std::shared_ptr<IHostConnector> connector, Guid classId, Guid interfaceId);
    virtual ~TOleServer() = default;
    TOleServer(const TOleServer&) = delete;
    TOleServer& operator=(const TOleServer&) = delete;

    TConnectKind ConnectKind = TConnectKind::ckRunningOrNew;
    bool AutoConnect = false;

    /// Called once the owner is built: connects when AutoConnect is set.
    void Loaded();
    /// Obtains the host object and its interface. Does nothing when connected.
    void Connect();
    /// Releases the interface (and the event subscription, where there is one).
    void Disconnect();
    bool Connected() const { return FServer != nullptr; }

    Guid ClassId() const { return FClassId; }
    Guid InterfaceId() const { return FInterfaceId; }

protected:
    /// Takes the interface from the host object; returns false when the object
    /// does not offer it.
    virtual bool TakeInterface(const std::shared_ptr<IHostObject>& server) = 0;
    virtual void ReleaseInterface() = 0;
    /// Subscribes to the host's events between obtaining the object and asking
    /// for the interface. Components without events do nothing.
    virtual void ConnectEvents(const std::shared_ptr<IHostObject>&) {}
    virtual void DisconnectEvents() {}
    /// Connects on first use; throws the not-connected text when that leaves
    /// the component without an interface.
    void EnsureConnected();

private:
    std::shared_ptr<IHostConnector> FConnector;
    Guid FClassId;
    Guid FInterfaceId;
    std::shared_ptr<IHostObject> FServer;
};

/// A component serving one interface I of the host.
template <class I> class TOleServerOf : public TOleServer {
public:
    using TOleServer::TOleServer;

    /// The interface, connecting on first use.
    std::shared_ptr<I> DefaultInterface() {
        if (!FIntf)
            EnsureConnected();
        if (!FIntf)
            throw EHostError(kNotConnectedText);
        return FIntf;
    }

    /// Uses an interface obtained elsewhere (ConnectKind ckAttachToInterface).
    void ConnectTo(std::shared_ptr<I> intf) {
        Disconnect();
        FIntf = std::move(intf);
    }

protected:
    bool TakeInterface(const std::shared_ptr<IHostObject>& server) override {
        FIntf = QueryInterface<I>(server);
        return FIntf != nullptr;
    }
    void ReleaseInterface() override { FIntf.reset(); }

private:
    std::shared_ptr<I> FIntf;
};

/// The host application object, with its closing event.
class TclsUIV : public TOleServerOf<_clsUIV> {
public:
    explicit TclsUIV(std::shared_ptr<IHostConnector> connector);
    ~TclsUIV() override;

    /// Runs when the host sends dispatch id 3 (it is closing).
    std::function<void()> OnUIView32IsClosing;

    std::int16_t GetStationInfo(std::shared_ptr<_clsStationInfo>& info);
    void RefreshMap();
    std::shared_ptr<_clsUIVMap> GetMap();
    std::int16_t GetStationCount();
    std::string GetStationListEntry(std::int16_t& index);
    void GetMyInfo(std::shared_ptr<_clsMyInfo>& info);

    /// Dispatches one incoming event: id 3 runs OnUIView32IsClosing, every
    /// other id changes nothing.
    void InvokeEvent(std::int32_t dispatchId);

protected:
    void ConnectEvents(const std::shared_ptr<IHostObject>& server) override;
    void DisconnectEvents() override;

private:
    class Sink;
    std::unique_ptr<Sink> FSink;
    std::shared_ptr<IHostEventSource> FEventSource;
    std::optional<std::uint32_t> FCookie;
};

/// The own-station object.
class TclsMyInfo : public TOleServerOf<_clsMyInfo> {
public:
    explicit TclsMyInfo(std::shared_ptr<IHostConnector> connector);
};

/// The station-information object.
class TclsStationInfo : public TOleServerOf<_clsStationInfo> {
public:
    explicit TclsStationInfo(std::shared_ptr<IHostConnector> connector);
};

/// The map-information object (connected on first use; nothing uses it).
class TclsMapInfo : public TOleServerOf<_clsMapInfo> {
public:
    explicit TclsMapInfo(std::shared_ptr<IHostConnector> connector);
};

/// The four components as the main window owns them, all with ConnectKind
/// ckRunningOrNew; only clsUIV connects by itself (call Loaded()).
struct THostComponents {
    explicit THostComponents(const std::shared_ptr<IHostConnector>& connector);
    /// Connects clsUIV (AutoConnect). Throws EHostError when the host cannot be
    /// reached.
    void Loaded();

    TclsUIV clsUIV;
    TclsMyInfo clsMyInfo;
    TclsStationInfo clsStationInfo;
    TclsMapInfo clsMapInfo;
};

} // namespace host
