#include "host/Components.h"

namespace host {

TOleServer::TOleServer(std::shared_ptr<IHostConnector> connector, Guid classId, Guid interfaceId)
    : FConnector(std::move(connector)), FClassId(classId), FInterfaceId(interfaceId) {}

void TOleServer::Loaded() {
    if (AutoConnect)
        Connect();
}

void TOleServer::Connect() {
    if (FServer)
        return;
    if (ConnectKind == TConnectKind::ckAttachToInterface || !FConnector)
        return; // the interface comes from ConnectTo
    std::shared_ptr<IHostObject> server = FConnector->GetObject(FClassId, ConnectKind);
    if (!server)
        return; // left without an interface: the first call says so
    ConnectEvents(server);
    if (!TakeInterface(server)) {
        DisconnectEvents();
        throw EHostError("Interface not supported");
    }
    FServer = std::move(server);
}

void TOleServer::Disconnect() {
    if (!FServer)
        return;
    DisconnectEvents();
    ReleaseInterface();
    FServer.reset();
}

void TOleServer::EnsureConnected() {
    if (!FServer)
        Connect();
}

// The event sink handed to the host's connection point.
class TclsUIV::Sink : public IHostEventSink {
public:
    explicit Sink(TclsUIV& owner) : FOwner(owner) {}
    void Invoke(std::int32_t dispatchId) override { FOwner.InvokeEvent(dispatchId); }

private:
    TclsUIV& FOwner;
};

TclsUIV::TclsUIV(std::shared_ptr<IHostConnector> connector)
    : TOleServerOf(std::move(connector), CLASS_clsUIV, IID__clsUIV),
      FSink(std::make_unique<Sink>(*this)) {
    AutoConnect = true;
}

TclsUIV::~TclsUIV() {
    try {
        Disconnect();
    } catch (...) {
        // A host that has gone cannot take the subscription back; nothing to do.
    }
}

void TclsUIV::ConnectEvents(const std::shared_ptr<IHostObject>& server) {
    FEventSource = QueryInterface<IHostEventSource>(server);
    if (FEventSource)
        FCookie = FEventSource->Advise(FSink.get());
}

void TclsUIV::DisconnectEvents() {
    auto source = std::move(FEventSource);
    FEventSource.reset();
    if (source && FCookie) {
        const std::uint32_t cookie = *FCookie;
        FCookie.reset();
        source->Unadvise(cookie);
    }
}

void TclsUIV::InvokeEvent(std::int32_t dispatchId) {
    if (dispatchId == DISPID_OnUIView32IsClosing && OnUIView32IsClosing)
        OnUIView32IsClosing();
}

std::int16_t TclsUIV::GetStationInfo(std::shared_ptr<_clsStationInfo>& info) {
    return DefaultInterface()->GetStationInfo(info);
}
void TclsUIV::RefreshMap() {
    DefaultInterface()->RefreshMap();
}
std::shared_ptr<_clsUIVMap> TclsUIV::GetMap() {
    return DefaultInterface()->GetMap();
}
std::int16_t TclsUIV::GetStationCount() {
    return DefaultInterface()->GetStationCount();
}
std::string TclsUIV::GetStationListEntry(std::int16_t& index) {
    return DefaultInterface()->GetStationListEntry(index);
}
void TclsUIV::GetMyInfo(std::shared_ptr<_clsMyInfo>& info) {
    DefaultInterface()->GetMyInfo(info);
}

TclsMyInfo::TclsMyInfo(std::shared_ptr<IHostConnector> connector)
    : TOleServerOf(std::move(connector), CLASS_clsMyInfo, IID__clsMyInfo) {}

TclsStationInfo::TclsStationInfo(std::shared_ptr<IHostConnector> connector)
    : TOleServerOf(std::move(connector), CLASS_clsStationInfo, IID__clsStationInfo) {}

TclsMapInfo::TclsMapInfo(std::shared_ptr<IHostConnector> connector)
    : TOleServerOf(std::move(connector), CLASS_clsMapInfo, IID__clsMapInfo) {}

THostComponents::THostComponents(const std::shared_ptr<IHostConnector>& connector)
    : clsUIV(connector), clsMyInfo(connector), clsStationInfo(connector), clsMapInfo(connector) {}

void THostComponents::Loaded() {
    clsUIV.Loaded();
    clsMyInfo.Loaded();
    clsStationInfo.Loaded();
    clsMapInfo.Loaded();
}

} // namespace host
