#include "tools/ChannelSection.h"

#include "aprs/ChannelMeter.h"
#include "aprs/TncLink.h"
#include "support/APRSParser.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tools {

namespace {

double NowSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

/// The APRS text patterns for as long as it lives, unless they were set up already.
class TPatterns {
public:
    TPatterns() : FOwned(!support::AprsPatternsReady()) {
        if (FOwned)
            support::InitializeAprsPatterns();
    }
    ~TPatterns() {
        if (FOwned)
            support::FinalizeAprsPatterns();
    }
    TPatterns(const TPatterns&) = delete;
    TPatterns& operator=(const TPatterns&) = delete;

private:
    bool FOwned;
};

TMeasuredChannel Finish(aprs::TChannelMeter& meter) {
    TMeasuredChannel channel;
    channel.figures = meter.Figures();
    channel.perStation = aprs::TChannelMeter::PerStation(channel.figures);
    channel.unreadable = meter.Unreadable();
    return channel;
}

} // namespace

TMeasuredChannel ReadMonitorFile(const std::string& file, std::int32_t txDelayMs) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the monitor file " + file);
    const double now = std::floor(NowSeconds());
    double clock = now;
    aprs::TChannelMeter meter([&clock] { return clock; });
    meter.SetTxDelayMs(txDelayMs);

    struct TTimed {
        double time;
        aprs::TMeteredFrame frame;
    };
    std::vector<TTimed> frames;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        std::string_view rest;
        const std::optional<std::int64_t> time = aprs::MonitorLineTime(line, rest);
        std::optional<aprs::TMeteredFrame> frame = aprs::MeterMonitorLine(rest);
        if (!frame) {
            meter.AddUnreadable();
            continue;
        }
        // A time ahead of the clock counts as now.
        frames.push_back(
            {time ? std::min(static_cast<double>(*time), now) : now, std::move(*frame)});
    }
    if (in.bad())
        throw std::runtime_error("cannot read the monitor file " + file);
    // The window takes frames in time order.
    std::stable_sort(frames.begin(), frames.end(),
                     [](const TTimed& a, const TTimed& b) { return a.time < b.time; });
    for (const TTimed& timed : frames) {
        clock = timed.time;
        meter.Add(timed.frame);
    }
    clock = now;
    return Finish(meter);
}

TMeasuredChannel ListenToTnc(const aprs::TTncAddress& tnc, std::int32_t seconds,
                             std::int32_t txDelayMs, std::ostream& err) {
    aprs::TChannelMeter meter(NowSeconds);
    meter.SetTxDelayMs(txDelayMs);
    aprs::TTncLink link(tnc);
    std::mutex errMutex;
    std::string lastState;
    link.OnFrame = [&meter](std::string_view frame) { meter.Add(aprs::MeterAx25(frame)); };
    link.OnState = [&](const std::string& state) {
        std::lock_guard lock(errMutex);
        lastState = state;
        err << "velloran-report: " << state << '\n';
        err.flush();
    };
    link.Start();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            until - std::chrono::steady_clock::now(), std::chrono::milliseconds(200)));
    const bool connected = link.Connections() > 0;
    link.Stop();
    if (!connected)
        throw std::runtime_error("no connection to " + aprs::TncUrl(tnc) + " in " +
                                 std::to_string(seconds) + " s");
    return Finish(meter);
}

TMeasuredChannel MeasureChannel(const TChannelSource& source, std::ostream& err) {
    const TPatterns patterns;
    if (source.kind == TChannelSource::EKind::Monitor)
        return ReadMonitorFile(source.monitorFile, source.txDelayMs);
    return ListenToTnc(source.tnc, source.listenSeconds, source.txDelayMs, err);
}

void WriteChannelSection(const aloha::TListedStations& list, const TMeasuredChannel& channel,
                         std::int32_t threshold, std::ostream& out) {
    const std::uint64_t saturation = static_cast<std::uint64_t>(std::max(threshold, 0));
    const aloha::TMeasuredRadius radius =
        aloha::MeasureRadius(list, channel.perStation, saturation);
    const aprs::TChannelFigures& figures = channel.figures;
    char line[200];
    out << "== Channel ==\n";
    if (radius.Reached)
        out << "Measured ALOHA radius: " << radius.RadiusKm << " km\n";
    else
        out << "Measured ALOHA radius: not reached (" << radius.Total << " frames)\n";
    std::snprintf(line, sizeof line, "Frames heard: %llu of %llu in 30 minutes\n",
                  static_cast<unsigned long long>(figures.frames),
                  static_cast<unsigned long long>(saturation));
    out << line;
    std::snprintf(line, sizeof line, "Airtime: %.1f s (TX delay %.0f ms)\n", figures.airtimeSeconds,
                  figures.txDelaySeconds * 1000.0);
    out << line;
    std::snprintf(line, sizeof line, "Occupancy: %.1f %%\n", figures.occupancyPercent);
    out << line;
    out << "Stations heard: " << figures.stations
        << ", not in the station list: " << radius.Unlisted.size() << " (" << radius.UnlistedFrames
        << " frames)\n";
    std::snprintf(line, sizeof line, "%-9s %7s %10s %9s\n", "Call", "km", "Estimated", "Measured");
    out << line;
    for (const aloha::TMeasuredStation& station : radius.Heard) {
        std::snprintf(line, sizeof line, "%-9s %7d %10d %9llu\n", station.Call.c_str(),
                      station.Distance, station.Estimated,
                      static_cast<unsigned long long>(station.Measured));
        out << line;
    }
    if (!radius.Unlisted.empty()) {
        out << "Not in the station list:";
        for (const std::string& name : radius.Unlisted)
            out << ' ' << name;
        out << '\n';
    }
    if (channel.unreadable > 0)
        out << "Lines that are not monitor lines: " << channel.unreadable << '\n';
}

} // namespace tools
