#include "standin/live/LiveStations.h"

#include "aloha/StationKind.h"
#include "aprs/packets/Ax25.h"
#include "support/APRSParser.h"
#include "support/TextRules.h"

#include <cmath>
#include <ctime>
#include <numbers>

namespace standin {

namespace {

constexpr double kUnitsPerDegree = 60.0;
constexpr double kUnixEpochDays = 25569.0;
constexpr double kSecondsPerDay = 86400.0;

} // namespace

std::string FormatHeardTime(double dateTime) {
    const auto seconds =
        static_cast<std::time_t>(std::llround((dateTime - kUnixEpochDays) * 86400.0));
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

/// Runs the cache's purge ticks under our lock, whichever thread the timer
/// ticks on.
class TLiveStations::TLockedTimer : public support::IPurgeTimer {
public:
    TLockedTimer(std::unique_ptr<support::IPurgeTimer> inner, std::mutex& mutex)
        : FInner(std::move(inner)), FMutex(mutex) {}
    void Configure(std::int32_t intervalMs, std::function<void()> onTick) override {
        FInner->Configure(intervalMs, [this, tick = std::move(onTick)] {
            std::lock_guard lock(FMutex);
            tick();
        });
    }
    void SetEnabled(bool enabled) override { FInner->SetEnabled(enabled); }
    bool Enabled() const override { return FInner->Enabled(); }
    std::int32_t IntervalMs() const override { return FInner->IntervalMs(); }

private:
    std::unique_ptr<support::IPurgeTimer> FInner;
    std::mutex& FMutex;
};

TLiveStations::TLiveStations(std::shared_ptr<TStandinHost> host, std::mutex& modelMutex,
                             TOwnStation own, std::unique_ptr<support::IPurgeTimer> timer,
                             support::TUtcClock clock)
    : FHost(std::move(host)), FModelMutex(modelMutex), FOwn(std::move(own)),
      FClock(clock ? std::move(clock) : support::TUtcClock(support::UtcNow)),
      FChannel([this] { return FClock() * kSecondsPerDay; }) {
    if (!timer)
        timer = std::make_unique<support::TManualPurgeTimer>();
    FCache = std::make_unique<support::TPacketCache>(
        std::make_unique<TLockedTimer>(std::move(timer), FMutex), FClock);
    FCache->SetExpiryMinutes(80);
    // Runs inside a purge, under our lock: the station leaves the host's list
    // together with its packet.
    FCache->SetOnExpire([this](support::TPacketCache&, const std::string& key, const std::string&) {
        bool removed = false;
        {
            std::lock_guard model(FModelMutex);
            removed = FHost->RemoveStation(key);
        }
        FRoughlyPlaced.erase(key);
        ++FCounters.expired;
        if (OnLog)
            OnLog("expired " + key + " (not heard for " + std::to_string(FCache->ExpiryMinutes()) +
                  " minutes)");
        if (removed && OnChanged)
            OnChanged();
    });
    std::lock_guard model(FModelMutex);
    FHost->SetOwnStation(FOwn.callsign, static_cast<float>(FOwn.latitude * kUnitsPerDegree),
                         static_cast<float>(FOwn.longitude * kUnitsPerDegree));
}

TLiveStations::~TLiveStations() {
    // The cache's timer may tick on another thread until it is gone.
    std::lock_guard lock(FMutex);
    FCache->SetAutoPurge(false);
}

void TLiveStations::SetExpiryMinutes(std::int32_t minutes) {
    std::lock_guard lock(FMutex);
    FCache->SetExpiryMinutes(minutes);
}

TLiveCounters TLiveStations::Counters() const {
    std::lock_guard lock(FMutex);
    return FCounters;
}

void TLiveStations::SetTxDelayMs(std::int32_t ms) {
    std::lock_guard lock(FMutex);
    FChannel.SetTxDelayMs(ms);
}

std::int32_t TLiveStations::EstimatedPackets(const TScenarioStation& station) const {
    aloha::TStation rule;
    rule.SymbolTable = station.symbolTable.empty() ? '\0' : station.symbolTable[0];
    rule.SymbolCode = station.symbolCode.empty() ? '\0' : station.symbolCode[0];
    rule.Speed = support::RoundHalfEven(station.speed);
    rule.ThirdParty = station.thirdParty != 0;
    return aloha::KindPackets(aloha::StationKind(rule));
}

aprs::TChannelFigures TLiveStations::Channel(std::size_t topTalkers) {
    std::lock_guard lock(FMutex);
    aprs::TChannelFigures figures = FChannel.Figures(topTalkers);
    std::lock_guard model(FModelMutex);
    for (aprs::TChannelTalker& talker : figures.talkers)
        if (const TScenarioStation* station = FHost->FindStation(talker.name))
            talker.estimated = EstimatedPackets(*station);
    return figures;
}

void TLiveStations::PurgeNow() {
    std::lock_guard lock(FMutex);
    FCache->Purge(0);
}

void TLiveStations::Undecodable(const std::string& what, const std::string& reason) {
    ++FCounters.undecodable;
    if (OnDebug)
        OnDebug("undecodable " + what + ": " + reason);
}

void TLiveStations::HandleKissFrame(const aprs::TKissFrame& frame) {
    if (frame.command != 0) {
        std::lock_guard lock(FMutex);
        ++FCounters.frames;
        ++FCounters.dropped;
        if (OnDebug)
            OnDebug("dropped KISS command " + std::to_string(frame.command));
        return;
    }
    HandleAx25(frame.data);
}

void TLiveStations::HandleAx25(std::string_view bytes) {
    std::lock_guard lock(FMutex);
    ++FCounters.frames;
    const std::size_t airBits = aprs::Ax25AirBits(bytes);
    const aprs::TAx25Result ax25 = aprs::DecodeAx25(bytes);
    if (!ax25.frame) {
        FChannel.Add({}, airBits); // it took the channel all the same
        // Frames that are fine AX.25 but not APRS are not faults of the TNC.
        if (ax25.reason.starts_with("not a")) {
            ++FCounters.dropped;
            if (OnDebug)
                OnDebug("dropped frame: " + ax25.reason);
        } else {
            Undecodable("frame", ax25.reason);
        }
        return;
    }
    aprs::TMonitorPacket packet;
    packet.source = ax25.frame->source.call;
    packet.destination = ax25.frame->destination.call;
    packet.path = aprs::MonitorPath(*ax25.frame);
    packet.information = ax25.frame->information;
    const std::string line = aprs::MonitorLine(*ax25.frame);
    const aprs::TAprsResult aprs = aprs::DecodeAprs(packet);
    FChannel.Add(aprs.report ? aprs.report->name : packet.source, airBits);
    if (!aprs.report) {
        Undecodable("packet " + line, aprs.reason);
        return;
    }
    Apply(*aprs.report, line);
}

void TLiveStations::HandleMonitorLine(std::string_view line) {
    std::lock_guard lock(FMutex);
    ++FCounters.frames;
    const aprs::TMonitorResult monitor = aprs::ParseMonitorLine(line);
    if (!monitor.packet) {
        Undecodable("line " + std::string(line), monitor.reason);
        return;
    }
    const aprs::TAprsResult aprs = aprs::DecodeAprs(*monitor.packet);
    FChannel.Add(aprs.report ? aprs.report->name : monitor.packet->source,
                 aprs::MonitorAirBits(*monitor.packet));
    if (!aprs.report) {
        Undecodable("packet " + std::string(line), aprs.reason);
        return;
    }
    Apply(*aprs.report, std::string(line));
}

void TLiveStations::Apply(const aprs::TAprsReport& report, const std::string& text) {
    const double now = FClock();
    auto packet = std::make_unique<support::TPacket>();
    packet->PacketType = report.type;
    packet->Alive = report.alive;
    packet->Key = report.name;
    packet->Text = text;
    packet->Time = now;

    const bool kill = !report.alive && (report.type == support::TPacketType::ptObject ||
                                        report.type == support::TPacketType::ptItem);
    if (kill) {
        if (!FCache->Store(std::move(packet)))
            return; // a kill of something we never listed
        {
            std::lock_guard model(FModelMutex);
            FHost->RemoveStation(report.name);
        }
        FRoughlyPlaced.erase(report.name);
        ++FCounters.killed;
        if (OnLog)
            OnLog("killed " + report.name);
        if (OnChanged)
            OnChanged();
        return;
    }

    const bool listed = FCache->IndexOf(*packet) >= 0;
    // A locator square is rough: it places a station only when nothing
    // better is known of it.
    const bool better = listed && !FRoughlyPlaced.contains(report.name);
    if (!report.hasPosition || (report.locator && better)) {
        if (!listed) {
            ++FCounters.noPosition;
            if (OnDebug)
                OnDebug("no position from unlisted " + report.name + ": " + text);
            return;
        }
        // Heard again: the entry keeps its place and symbol, takes the time and path.
        {
            std::lock_guard model(FModelMutex);
            if (const TScenarioStation* known = FHost->FindStation(report.name)) {
                TScenarioStation station = *known;
                station.lastHeardRF = FormatHeardTime(now);
                station.path = report.path;
                station.thirdParty = report.thirdParty ? 1 : 0;
                FHost->PutStation(std::move(station));
            }
        }
        FCache->Store(std::move(packet));
        ++FCounters.refreshed;
        if (OnChanged)
            OnChanged();
        return;
    }

    TScenarioStation station;
    station.callsign = report.name;
    station.symbolTable = std::string(1, report.symbolTable);
    station.symbolCode = std::string(1, report.symbolCode);
    station.path = report.path;
    station.lastHeardRF = FormatHeardTime(now);
    station.speed = report.hasSpeed ? static_cast<float>(report.speedKmh) : 0.0f;
    station.lat = static_cast<float>(report.latitude * kUnitsPerDegree);
    station.lon = static_cast<float>(report.longitude * kUnitsPerDegree);
    const double km =
        GreatCircleKm(FOwn.latitude, FOwn.longitude, report.latitude, report.longitude);
    station.distance = static_cast<float>(km);
    station.thirdParty = report.thirdParty ? 1 : 0;
    station.entry = DefaultEntry(station.callsign);

    bool added = false;
    {
        std::lock_guard model(FModelMutex);
        if (!listed && FHost->Scenario().stations.size() >= kMaxStations) {
            ++FCounters.listFull;
            return;
        }
        added = FHost->PutStation(std::move(station));
    }
    FCache->Store(std::move(packet));
    if (report.locator)
        FRoughlyPlaced.insert(report.name);
    else
        FRoughlyPlaced.erase(report.name);
    ++FCounters.placed;
    if (added && OnLog)
        OnLog("heard " + report.name + " at " + std::to_string(std::lround(km)) + " km" +
              (report.thirdParty ? " (third-party)" : ""));
    if (OnChanged)
        OnChanged();
}

} // namespace standin
