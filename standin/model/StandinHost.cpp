#include "standin/model/StandinHost.h"

#include "support/TextRules.h"

#include <algorithm>

namespace standin {

using host::EHostError;

namespace {

constexpr std::string_view kUIV = "_clsUIV";
constexpr std::string_view kStation = "_clsStationInfo";
constexpr std::string_view kMy = "_clsMyInfo";
constexpr std::string_view kMap = "_clsUIVMap";

std::string FormatVariant(const host::OleVariant& value) {
    struct Visitor {
        std::string operator()(std::monostate) const { return "(none)"; }
        std::string operator()(bool b) const { return b ? "true" : "false"; }
        std::string operator()(std::int32_t i) const { return std::to_string(i); }
        std::string operator()(const std::string& s) const { return "\"" + s + "\""; }
    };
    return std::visit(Visitor{}, value);
}

class TStationInfoObject : public host::_clsStationInfo {
public:
    explicit TStationInfoObject(std::shared_ptr<TStandinHost> host) : FHost(std::move(host)) {}

    // A copy: the host's list may change (live stations) while a client
    // still reads the station it selected.
    void Fill() {
        const TScenarioStation* found = FHost->FindStation(FSelected);
        FCurrent = found ? std::optional<TScenarioStation>(*found) : std::nullopt;
    }

    std::string GetCallsign() override { return Text("GetCallsign", &TScenarioStation::callsign); }
    void SetCallsign(std::string callsign) override {
        FHost->Enter(kStation, "SetCallsign");
        FSelected = std::move(callsign);
    }
    std::string GetSymbolCode() override {
        return Text("GetSymbolCode", &TScenarioStation::symbolCode);
    }
    std::string GetSymbolTable() override {
        return Text("GetSymbolTable", &TScenarioStation::symbolTable);
    }
    std::string GetPath() override { return Text("GetPath", &TScenarioStation::path); }
    std::string GetLastHeardRF() override {
        return Text("GetLastHeardRF", &TScenarioStation::lastHeardRF);
    }
    std::string GetLastHeardInternet() override {
        return Text("GetLastHeardInternet", &TScenarioStation::lastHeardInternet);
    }
    float GetLong() override { return Number("GetLong", &TScenarioStation::lon); }
    float GetLat() override { return Number("GetLat", &TScenarioStation::lat); }
    float GetSpeed() override { return Number("GetSpeed", &TScenarioStation::speed); }
    float GetDistance() override { return Number("GetDistance", &TScenarioStation::distance); }
    std::int16_t GetThirdParty() override {
        FHost->Enter(kStation, "GetThirdParty");
        return FCurrent ? FCurrent->thirdParty : std::int16_t{0};
    }

private:
    std::string Text(std::string_view op, std::string TScenarioStation::*field) {
        FHost->Enter(kStation, op);
        return FCurrent ? (*FCurrent).*field : std::string();
    }
    float Number(std::string_view op, float TScenarioStation::*field) {
        FHost->Enter(kStation, op);
        return FCurrent ? (*FCurrent).*field : 0.0f;
    }

    std::shared_ptr<TStandinHost> FHost;
    std::string FSelected;
    std::optional<TScenarioStation> FCurrent;
};

class TMyInfoObject : public host::_clsMyInfo {
public:
    explicit TMyInfoObject(std::shared_ptr<TStandinHost> host) : FHost(std::move(host)) {}
    void Fill() { FFilled = true; }

    float GetLong() override {
        FHost->Enter(kMy, "GetLong");
        return FFilled ? FHost->Scenario().ownLong : 0.0f;
    }
    float GetLat() override {
        FHost->Enter(kMy, "GetLat");
        return FFilled ? FHost->Scenario().ownLat : 0.0f;
    }
    std::string GetCallsign() override {
        FHost->Enter(kMy, "GetCallsign");
        return FFilled ? FHost->Scenario().ownCallsign : std::string();
    }

private:
    std::shared_ptr<TStandinHost> FHost;
    bool FFilled = false;
};

class TMapInfoObject : public host::_clsMapInfo {};

class TMapObject : public host::_clsUIVMap {
public:
    explicit TMapObject(std::shared_ptr<TStandinHost> host) : FHost(std::move(host)) {}

    void DrawCircle(float x, float y, float radius, std::uint32_t colour, float startAngle,
                    double endAngle, float aspect) override {
        FHost->MapCall(TMapCall::Circle(x, y, radius, colour, startAngle, endAngle, aspect), kMap,
                       "DrawCircle");
    }
    void DrawMapText(const std::string& text, float x, float y, std::uint32_t colour,
                     const std::array<host::OleVariant, 6>& variants) override {
        FHost->MapCall(TMapCall::Text(text, x, y, colour, variants), kMap, "DrawMapText");
    }
    float GetTextX() override {
        FHost->MapCall(TMapCall::Of(TMapCall::Kind::GetTextX), kMap, "GetTextX");
        return FHost->Scenario().textX;
    }
    float GetTextY() override {
        FHost->MapCall(TMapCall::Of(TMapCall::Kind::GetTextY), kMap, "GetTextY");
        return FHost->Scenario().textY;
    }
    void SetDrawSettingA(std::int32_t value) override {
        Setting(TMapCall::Kind::SetDrawSettingA, value, "SetDrawSettingA");
    }
    void SetDrawSettingB(std::int32_t value) override {
        Setting(TMapCall::Kind::SetDrawSettingB, value, "SetDrawSettingB");
    }
    void SetDrawColour(std::int32_t value) override {
        Setting(TMapCall::Kind::SetDrawColour, value, "SetDrawColour");
    }

private:
    void Setting(TMapCall::Kind kind, std::int32_t value, std::string_view op) {
        FHost->MapCall(TMapCall::Of(kind, value), kMap, op);
    }
    std::shared_ptr<TStandinHost> FHost;
};

class TApplicationObject : public host::_clsUIV, public host::IHostEventSource {
public:
    explicit TApplicationObject(std::shared_ptr<TStandinHost> host) : FHost(std::move(host)) {}

    std::int16_t GetStationInfo(std::shared_ptr<host::_clsStationInfo>& info) override {
        FHost->Enter(kUIV, "GetStationInfo");
        auto* ours = dynamic_cast<TStationInfoObject*>(info.get());
        if (!ours)
            throw EHostError("GetStationInfo: the object is not a station-information object "
                             "of this host");
        ours->Fill();
        return 0;
    }
    void RefreshMap() override {
        FHost->MapCall(TMapCall::Of(TMapCall::Kind::RefreshMap), kUIV, "RefreshMap");
    }
    std::shared_ptr<host::_clsUIVMap> GetMap() override {
        FHost->MapCall(TMapCall::Of(TMapCall::Kind::GetMap), kUIV, "GetMap");
        return std::make_shared<TMapObject>(FHost);
    }
    std::int16_t GetStationCount() override {
        FHost->Enter(kUIV, "GetStationCount");
        FHost->WalkBegins();
        // The count is 16-bit: a longer list shows its first 32767 entries
        // rather than a negative count.
        return static_cast<std::int16_t>(
            std::min<std::size_t>(FHost->Scenario().stations.size(), 32767));
    }
    std::string GetStationListEntry(std::int16_t& index) override {
        FHost->Enter(kUIV, "GetStationListEntry");
        FHost->ListRead();
        const auto& stations = FHost->Scenario().stations;
        if (index < 0 || static_cast<std::size_t>(index) >= stations.size())
            throw EHostError("GetStationListEntry: index " + std::to_string(index) +
                             " is outside the station list (" + std::to_string(stations.size()) +
                             " entries)");
        return stations[static_cast<std::size_t>(index)].entry;
    }
    void GetMyInfo(std::shared_ptr<host::_clsMyInfo>& info) override {
        FHost->Enter(kUIV, "GetMyInfo");
        auto* ours = dynamic_cast<TMyInfoObject*>(info.get());
        if (!ours)
            throw EHostError("GetMyInfo: the object is not an own-station object of this host");
        ours->Fill();
    }

    std::uint32_t Advise(host::IHostEventSink* sink) override { return FHost->Advise(sink); }
    void Unadvise(std::uint32_t cookie) override { FHost->Unadvise(cookie); }

private:
    std::shared_ptr<TStandinHost> FHost;
};

} // namespace

TMapCall TMapCall::Of(Kind kind, std::int32_t setting) {
    TMapCall call;
    call.kind = kind;
    call.setting = setting;
    return call;
}

TMapCall TMapCall::Circle(float x, float y, float radius, std::uint32_t colour, float startAngle,
                          double endAngle, float aspect) {
    TMapCall call = Of(Kind::DrawCircle);
    call.x = x;
    call.y = y;
    call.radius = radius;
    call.colour = colour;
    call.startAngle = startAngle;
    call.endAngle = endAngle;
    call.aspect = aspect;
    return call;
}

TMapCall TMapCall::Text(const std::string& text, float x, float y, std::uint32_t colour,
                        const std::array<host::OleVariant, 6>& variants) {
    TMapCall call = Of(Kind::DrawMapText);
    call.text = text;
    call.x = x;
    call.y = y;
    call.colour = colour;
    call.variants = variants;
    return call;
}

std::string FormatMapCall(const TMapCall& call) {
    using K = TMapCall::Kind;
    using support::FormatDouble;
    using support::FormatSingle;
    switch (call.kind) {
    case K::GetMap:
        return "GetMap";
    case K::RefreshMap:
        return "RefreshMap";
    case K::SetDrawSettingA:
        return "SetDrawSettingA " + std::to_string(call.setting);
    case K::SetDrawSettingB:
        return "SetDrawSettingB " + std::to_string(call.setting);
    case K::SetDrawColour:
        return "SetDrawColour " + std::to_string(call.setting);
    case K::GetTextX:
        return "GetTextX";
    case K::GetTextY:
        return "GetTextY";
    case K::DrawCircle:
        return "DrawCircle " + FormatSingle(call.x) + " " + FormatSingle(call.y) + " " +
               FormatSingle(call.radius) + " " + std::to_string(call.colour) + " " +
               FormatSingle(call.startAngle) + " " + FormatDouble(call.endAngle) + " " +
               FormatSingle(call.aspect);
    case K::DrawMapText: {
        std::string line = "DrawMapText \"" + call.text + "\" " + FormatSingle(call.x) + " " +
                           FormatSingle(call.y) + " " + std::to_string(call.colour);
        for (const host::OleVariant& variant : call.variants) {
            line += ' ';
            line += FormatVariant(variant);
        }
        return line;
    }
    }
    return "?";
}

bool SameDrawing(const TMapCall& a, const TMapCall& b) {
    return a.kind == b.kind && a.x == b.x && a.y == b.y && a.radius == b.radius &&
           a.colour == b.colour && a.startAngle == b.startAngle && a.endAngle == b.endAngle &&
           a.aspect == b.aspect && a.text == b.text && a.variants == b.variants;
}

TStandinHost::TStandinHost(TScenario scenario) : FScenario(std::move(scenario)) {
    IndexStations();
    SetFail(FScenario.fail);
}

void TStandinHost::IndexStations() {
    FFirstByCall.clear();
    FFirstByCall.reserve(FScenario.stations.size());
    for (std::size_t i = 0; i < FScenario.stations.size(); ++i)
        FFirstByCall.emplace(FScenario.stations[i].callsign, i);
}

void TStandinHost::SetOwnStation(std::string callsign, float lat, float lon) {
    FScenario.ownCallsign = std::move(callsign);
    FScenario.ownLat = lat;
    FScenario.ownLong = lon;
    FScenario.textX = lon;
    FScenario.textY = lat;
}

bool TStandinHost::PutStation(TScenarioStation station) {
    ApplyDeferredRemovals();
    const auto found = FFirstByCall.find(station.callsign);
    if (found != FFirstByCall.end()) {
        FDeferredRemovals.erase(station.callsign); // heard again: it stays
        FScenario.stations[found->second] = std::move(station);
        return false;
    }
    FFirstByCall.emplace(station.callsign, FScenario.stations.size());
    FScenario.stations.push_back(std::move(station));
    return true;
}

bool TStandinHost::RemoveStation(const std::string& callsign) {
    ApplyDeferredRemovals();
    if (!FFirstByCall.contains(callsign))
        return false;
    if (!ListIdle()) {
        if (FDeferredRemovals.empty())
            FDeferredSince = std::chrono::steady_clock::now();
        return FDeferredRemovals.insert(callsign).second;
    }
    RemoveNow(callsign);
    return true;
}

void TStandinHost::ListRead() {
    FLastListRead = std::chrono::steady_clock::now();
}

void TStandinHost::WalkBegins() {
    // The reading paused: whoever walked the list before has finished.
    if (!FDeferredRemovals.empty() &&
        (std::chrono::steady_clock::now() - FLastListRead >= FWalkGap || HeldTooLong()))
        ApplyRemovalsNow();
    ListRead();
}

bool TStandinHost::ListIdle() const {
    return std::chrono::steady_clock::now() - FLastListRead >= FListIdle;
}

bool TStandinHost::HeldTooLong() const {
    return std::chrono::steady_clock::now() - FDeferredSince >= FMaxWalkHold;
}

void TStandinHost::ApplyDeferredRemovals() {
    if (!FDeferredRemovals.empty() && (ListIdle() || HeldTooLong()))
        ApplyRemovalsNow();
}

void TStandinHost::ApplyRemovalsNow() {
    std::vector<bool> gone(FScenario.stations.size(), false);
    for (const std::string& callsign : FDeferredRemovals) {
        if (const auto found = FFirstByCall.find(callsign); found != FFirstByCall.end())
            gone[found->second] = true;
    }
    FDeferredRemovals.clear();
    std::size_t index = 0;
    std::erase_if(FScenario.stations, [&](const TScenarioStation&) { return gone[index++]; });
    IndexStations();
}

void TStandinHost::RemoveNow(const std::string& callsign) {
    const auto found = FFirstByCall.find(callsign);
    if (found == FFirstByCall.end())
        return;
    FScenario.stations.erase(FScenario.stations.begin() +
                             static_cast<std::ptrdiff_t>(found->second));
    // Later stations moved down by one; a later station of the same call
    // sign (scenario files may hold one) becomes the first.
    IndexStations();
}

void TStandinHost::SetFail(std::optional<TScenarioFail> fail) {
    FScenario.fail = std::move(fail);
    FFailSucceeded = 0;
    FFailInterface = {};
    FFailOperation = {};
    if (FScenario.fail) {
        const std::string_view name = FScenario.fail->operation;
        if (const auto dot = name.find('.'); dot != std::string_view::npos) {
            FFailInterface = name.substr(0, dot);
            FFailOperation = name.substr(dot + 1);
        } else {
            FFailOperation = name;
        }
    }
}

void TStandinHost::Enter(std::string_view interfaceName, std::string_view operation) {
    if (OnCall)
        OnCall(operation);
    if (FFailOperation.empty() || operation != FFailOperation)
        return;
    if (!FFailInterface.empty() && interfaceName != FFailInterface)
        return;
    if (FFailSucceeded >= FScenario.fail->after)
        throw EHostError(FScenario.fail->message);
    ++FFailSucceeded;
}

const TScenarioStation* TStandinHost::FindStation(const std::string& callsign) const {
    const auto found = FFirstByCall.find(callsign);
    return found == FFirstByCall.end() ? nullptr : &FScenario.stations[found->second];
}

void TStandinHost::MapCall(TMapCall call, std::string_view interfaceName,
                           std::string_view operation) {
    if (call.text.size() > kMaxMapTextBytes)
        throw EHostError(std::string(operation) + ": a text on the map may be at most " +
                         std::to_string(kMaxMapTextBytes) + " bytes long, not " +
                         std::to_string(call.text.size()));
    if (FRecordMapCalls)
        FMapCalls.push_back(call);
    try {
        Enter(interfaceName, operation);
    } catch (...) {
        if (FRecordMapCalls)
            FMapCalls.back().failed = true;
        throw;
    }
    using K = TMapCall::Kind;
    if (call.kind == K::RefreshMap) {
        FSceneVersion += !FScene.empty();
        FScene.clear();
        FSceneTextBytes = 0;
    } else if (call.kind == K::DrawCircle || call.kind == K::DrawMapText) {
        const bool known = std::any_of(FScene.begin(), FScene.end(),
                                       [&call](const TMapCall& c) { return SameDrawing(c, call); });
        if (!known) {
            // The oldest drawings make way.
            std::size_t drop = 0;
            while (drop < FScene.size() &&
                   (FScene.size() - drop >= kMaxSceneDrawings ||
                    FSceneTextBytes + call.text.size() > kMaxSceneTextBytes))
                FSceneTextBytes -= FScene[drop++].text.size();
            FScene.erase(FScene.begin(), FScene.begin() + static_cast<std::ptrdiff_t>(drop));
            FSceneTextBytes += call.text.size();
            FScene.push_back(std::move(call));
            ++FSceneVersion;
        }
    }
}

std::shared_ptr<host::IHostObject> TStandinHost::Application() {
    std::shared_ptr<host::IHostObject> application = FApplication.lock();
    if (!application) {
        application = std::make_shared<TApplicationObject>(shared_from_this());
        FApplication = application;
    }
    return application;
}

void TStandinHost::SendEvent(std::int32_t dispatchId) {
    // A handler may unsubscribe while we walk: walk a copy, and skip a sink
    // that is no longer subscribed when its turn comes.
    const auto sinks = FSinks;
    for (const auto& [cookie, sink] : sinks) {
        const bool subscribed = std::any_of(FSinks.begin(), FSinks.end(),
                                            [c = cookie](const auto& e) { return e.first == c; });
        if (subscribed)
            sink->Invoke(dispatchId);
    }
}

std::uint32_t TStandinHost::Advise(host::IHostEventSink* sink) {
    const std::uint32_t cookie = FNextCookie++;
    FSinks.emplace_back(cookie, sink);
    return cookie;
}

void TStandinHost::Unadvise(std::uint32_t cookie) {
    std::erase_if(FSinks, [cookie](const auto& entry) { return entry.first == cookie; });
}

TEmbeddedConnector::TEmbeddedConnector(std::shared_ptr<TStandinHost> host)
    : FHost(std::move(host)) {}

std::shared_ptr<host::IHostObject> TEmbeddedConnector::GetObject(host::Guid classId,
                                                                 host::TConnectKind kind) {
    if (kind == host::TConnectKind::ckRemote)
        throw EHostError("The stand-in host does not serve remote connections");
    if (classId == host::CLASS_clsUIV)
        return FHost->Application();
    if (classId == host::CLASS_clsMyInfo)
        return std::make_shared<TMyInfoObject>(FHost);
    if (classId == host::CLASS_clsStationInfo)
        return std::make_shared<TStationInfoObject>(FHost);
    if (classId == host::CLASS_clsMapInfo)
        return std::make_shared<TMapInfoObject>();
    throw EHostError("Class not registered: " + std::string(classId));
}

} // namespace standin
