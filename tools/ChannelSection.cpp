#include "tools/ChannelSection.h"

#include "aprs/ChannelMeter.h"
#include "aprs/TncLink.h"
#include "support/APRSParser.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tools {

namespace {

/// A line without a time, until the window's end is known.
constexpr double kUntimed = -1e300;
/// How far ahead of this machine's a file's times may be and still be taken
/// as this machine's clock: clocks a little apart.
constexpr double kClockSlackSeconds = 300.0;

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
        frames.push_back({time ? static_cast<double>(*time) : kUntimed, std::move(*frame)});
    }
    if (in.bad())
        throw std::runtime_error("cannot read the monitor file " + file);
    // Times from a clock other than this machine's: every line would be out
    // of the window, or (ahead of it) all counted in its last second, so the
    // file's own clock measures the window instead.
    double latest = kUntimed;
    for (const TTimed& timed : frames)
        latest = std::max(latest, timed.time);
    std::optional<std::int64_t> ownClock;
    if (latest != kUntimed &&
        (latest > now + kClockSlackSeconds ||
         latest <= now - static_cast<double>(aprs::TChannelStats::kWindowSeconds)))
        ownClock = static_cast<std::int64_t>(latest);
    const double end = ownClock ? latest : now;
    for (TTimed& timed : frames)
        timed.time = timed.time == kUntimed ? end : std::min(timed.time, end);
    // The window takes frames in time order.
    std::stable_sort(frames.begin(), frames.end(),
                     [](const TTimed& a, const TTimed& b) { return a.time < b.time; });
    for (const TTimed& timed : frames) {
        clock = timed.time;
        meter.Add(timed.frame);
    }
    clock = end;
    TMeasuredChannel channel = Finish(meter);
    channel.inputClockEnd = ownClock;
    return channel;
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
    std::snprintf(line, sizeof line, "Occupancy: %.1f %%", figures.occupancyPercent);
    out << line;
    if (figures.overfull)
        out << " (" << aprs::kOverfullNote << ')';
    out << '\n';
    if (channel.inputClockEnd) {
        const std::time_t end = static_cast<std::time_t>(*channel.inputClockEnd);
        std::tm parts{};
#ifdef _WIN32
        gmtime_s(&parts, &end);
#else
        gmtime_r(&end, &parts);
#endif
        std::strftime(line, sizeof line, "%Y-%m-%d %H:%M:%S", &parts);
        out << "Window: the 30 minutes up to " << line
            << " UTC, the monitor file's own clock (its times are not this machine's)\n";
    }
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
    if (figures.refusedCalls > 0)
        out << "Frames whose call has a control character (not counted as stations): "
            << figures.refusedCalls << '\n';
    if (figures.stationsDropped > 0)
        out << "Stations dropped to keep the table within " << aprs::TChannelStats::kMaxStations
            << ": " << figures.stationsDropped << '\n';
}

} // namespace tools
