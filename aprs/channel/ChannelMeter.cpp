#include "aprs/channel/ChannelMeter.h"

#include "aprs/packets/Ax25.h"

#include <limits>

namespace aprs {

namespace {

using support::TPacketType;

bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

/// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<std::int64_t>(era) * 146097 + doe - 719468;
}

} // namespace

TFrameKind FrameKind(const TAprsReport& report) {
    switch (report.type) {
    case TPacketType::ptPeetBrosWx:
    case TPacketType::ptPeetBrosWxStar:
    case TPacketType::ptWeatherReport:
        return TFrameKind::Weather;
    case TPacketType::ptObject:
    case TPacketType::ptItem:
        return TFrameKind::Object;
    case TPacketType::ptMessage:
        return TFrameKind::Message;
    case TPacketType::ptStatus:
        return TFrameKind::Status;
    case TPacketType::ptTelemetry:
        return TFrameKind::Telemetry;
    default:
        break;
    }
    if (report.hasPosition && !report.locator)
        return report.symbolCode == '_' ? TFrameKind::Weather : TFrameKind::Position;
    return TFrameKind::Other;
}

TMeteredFrame MeterAx25(std::string_view bytes) {
    TMeteredFrame metered;
    metered.airBits = Ax25AirBits(bytes);
    const TAx25Result ax25 = DecodeAx25(bytes);
    if (!ax25.frame)
        return metered; // it took the channel all the same
    TMonitorPacket packet;
    packet.source = ax25.frame->source.call;
    packet.destination = ax25.frame->destination.call;
    packet.path = MonitorPath(*ax25.frame);
    packet.information = ax25.frame->information;
    TAprsResult aprs = DecodeAprs(packet);
    metered.station = aprs.report ? aprs.report->name : packet.source;
    if (aprs.report)
        metered.kind = FrameKind(*aprs.report);
    metered.packet = std::move(packet);
    metered.report = std::move(aprs.report);
    return metered;
}

std::optional<TMeteredFrame> MeterMonitorLine(std::string_view line) {
    TMonitorResult monitor = ParseMonitorLine(line);
    if (!monitor.packet)
        return std::nullopt;
    TMeteredFrame metered;
    metered.airBits = MonitorAirBits(*monitor.packet);
    TAprsResult aprs = DecodeAprs(*monitor.packet);
    metered.station = aprs.report ? aprs.report->name : monitor.packet->source;
    if (aprs.report)
        metered.kind = FrameKind(*aprs.report);
    metered.packet = std::move(*monitor.packet);
    metered.report = std::move(aprs.report);
    return metered;
}

std::optional<std::int64_t> MonitorLineTime(std::string_view line, std::string_view& rest) {
    rest = line;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (line.size() < 19 || !Digits(line, 0, 4, year) || line[4] != '-' ||
        !Digits(line, 5, 2, month) || line[7] != '-' || !Digits(line, 8, 2, day) ||
        (line[10] != ' ' && line[10] != 'T') || !Digits(line, 11, 2, hour) || line[13] != ':' ||
        !Digits(line, 14, 2, minute) || line[16] != ':' || !Digits(line, 17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;
    std::string_view after = line.substr(19);
    if (after.starts_with("Z"))
        after.remove_prefix(1);
    else if (after.starts_with(" UTC"))
        after.remove_prefix(4);
    if (after.starts_with(":"))
        after.remove_prefix(1);
    while (!after.empty() && (after.front() == ' ' || after.front() == '\t'))
        after.remove_prefix(1);
    rest = after;
    return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

TChannelMeter::TChannelMeter(std::function<double()> clock)
    : FClock(std::move(clock)), FStats(FClock) {}

void TChannelMeter::SetTxDelayMs(std::int32_t ms) {
    std::lock_guard lock(FMutex);
    FStats.SetTxDelayMs(ms);
}

void TChannelMeter::Add(const TMeteredFrame& frame) {
    std::lock_guard lock(FMutex);
    std::uint64_t* const tag = FStats.Add(frame.station, frame.airBits, KindBit(frame.kind));
    if (!frame.packet.source.empty())
        FTracker.Add(FClock, frame.station, frame.packet, frame.report ? &*frame.report : nullptr,
                     frame.airBits, tag);
}

void TChannelMeter::AddUnreadable() {
    std::lock_guard lock(FMutex);
    ++FUnreadable;
}

TChannelFigures TChannelMeter::Figures() {
    std::lock_guard lock(FMutex);
    return FStats.Figures(std::numeric_limits<std::size_t>::max());
}

std::array<double, TChannelStats::kWindowSeconds / 60> TChannelMeter::AirtimePerMinute() {
    std::lock_guard lock(FMutex);
    return FStats.AirtimePerMinute();
}

std::vector<std::pair<double, std::uint8_t>> TChannelMeter::StationSteps(std::string_view station) {
    std::lock_guard lock(FMutex);
    return FStats.StationSteps(station);
}

void TChannelMeter::Save(std::ostream& out) {
    std::lock_guard lock(FMutex);
    FStats.Save(out);
}

std::int64_t TChannelMeter::Restore(std::istream& in) {
    std::lock_guard lock(FMutex);
    return FStats.Restore(in);
}

std::unordered_map<std::string, std::uint64_t>
TChannelMeter::PerStation(const TChannelFigures& figures) {
    std::unordered_map<std::string, std::uint64_t> counts;
    for (const TChannelTalker& talker : figures.talkers)
        counts[talker.name] += talker.measured;
    return counts;
}

void TChannelMeter::SetOwnCall(std::string_view call) {
    std::lock_guard lock(FMutex);
    FTracker.SetOwnCall(call);
}

TFootprint TChannelMeter::Footprint(const TFootprintRun& run, const TChannelFigures& figures) {
    std::lock_guard lock(FMutex);
    return FTracker.Footprint(FClock(), run, figures);
}

std::pair<TPathTracker, double> TChannelMeter::TakeTracker() {
    std::lock_guard lock(FMutex);
    return {std::move(FTracker), FClock()};
}

std::uint64_t TChannelMeter::Unreadable() const {
    std::lock_guard lock(FMutex);
    return FUnreadable;
}

} // namespace aprs
