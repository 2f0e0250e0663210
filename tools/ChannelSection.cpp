#include "tools/ChannelSection.h"

#include "aprs/channel/ChannelMeter.h"
#include "aprs/link/TncLink.h"
#include "aprs/packets/MonitorLines.h"
#include "support/APRSParser.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <limits>
#include <mutex>
#include <ostream>
#include <queue>
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
    auto [paths, now] = meter.TakeTracker();
    channel.paths = std::make_shared<const aprs::TPathTracker>(std::move(paths));
    channel.pathsNow = now;
    return channel;
}

} // namespace

namespace {

/// A frame that cannot count however the file's clock turns out: the window
/// ends at least at the latest time seen less the clock slack.
constexpr double kNeverCounts =
    static_cast<double>(aprs::TChannelStats::kWindowSeconds) + kClockSlackSeconds;
/// Timed frames held back to be put in time order: more than a channel
/// carries in the window many times over. Beyond it the oldest is counted
/// at once, and a line later still counts at the newest second.
constexpr std::size_t kMaxPending = 1u << 17;

/// Measures a monitor stream line by line, holding no more than the two
/// windows it may end up measured on (this machine's clock, or the file's
/// own when its times are not this machine's) and the frames still to be
/// put in time order.
class TMonitorMeasure {
public:
    TMonitorMeasure(std::int32_t txDelayMs, const std::string& ownCall)
        : FNow(std::floor(NowSeconds())), FOwn([this] { return FOwnClock; }),
          FHere([this] { return FHereClock; }) {
        FOwn.SetTxDelayMs(txDelayMs);
        FHere.SetTxDelayMs(txDelayMs);
        FPaths.SetOwnCall(ownCall);
    }

    void Line(std::string_view line) {
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            return;
        std::string_view rest;
        const std::optional<std::int64_t> time = aprs::MonitorLineTime(line, rest);
        std::optional<aprs::TMeteredFrame> frame = aprs::MeterMonitorLine(rest);
        if (!frame) {
            ++FUnreadable;
            return;
        }
        FPaths.Add(time ? std::optional<double>(static_cast<double>(*time)) : std::nullopt,
                   frame->station, frame->packet, frame->report ? &*frame->report : nullptr,
                   frame->airBits);
        if (!time) {
            Untimed(*frame);
            return;
        }
        const auto at = static_cast<double>(*time);
        FLatest = std::max(FLatest, at);
        if (at <= FLatest - kNeverCounts)
            return;
        FPending.push({at, FSequence++, std::move(frame->station), frame->airBits});
        while (!FPending.empty() &&
               (FPending.top().time < FLatest - kNeverCounts || FPending.size() > kMaxPending))
            Release();
    }

    TMeasuredChannel Finish(std::uint64_t overlong) {
        while (!FPending.empty())
            Release();
        // Times from a clock other than this machine's: every line would be
        // out of the window, or (ahead of it) all counted in its last second,
        // so the file's own clock measures the window instead.
        const bool own =
            FLatest != kUntimed && (FLatest > FNow + kClockSlackSeconds ||
                                    FLatest <= FNow - aprs::TChannelStats::kWindowSeconds);
        FOwnClock = FLatest;
        FHereClock = FNow;
        for (const TUntimed& station : FUntimed) {
            if (own)
                FOwn.AddFrames(station.name, station.frames, station.bits, 0);
            FHere.AddFrames(station.name, station.frames, station.bits, 0);
        }
        aprs::TChannelStats& stats = own ? FOwn : FHere;
        TMeasuredChannel channel;
        channel.figures = stats.Figures(std::numeric_limits<std::size_t>::max());
        channel.perStation = aprs::TChannelMeter::PerStation(channel.figures);
        channel.unreadable = FUnreadable;
        channel.overlong = overlong;
        if (own)
            channel.inputClockEnd = static_cast<std::int64_t>(FLatest);
        channel.pathsNow = own ? FLatest : FNow;
        channel.paths = std::make_shared<const aprs::TPathTracker>(std::move(FPaths));
        return channel;
    }

private:
    struct TPending {
        double time;
        std::uint64_t sequence; ///< lines of the same second in file order
        std::string station;
        std::size_t airBits;
        bool operator>(const TPending& other) const {
            return time != other.time ? time > other.time : sequence > other.sequence;
        }
    };
    /// Lines without a time count at the window's end, whichever clock it is
    /// on: kept per station until then, in the order first heard.
    struct TUntimed {
        std::string name;
        std::uint32_t frames = 0;
        std::uint64_t bits = 0;
    };

    void Release() {
        const TPending& frame = FPending.top();
        FOwnClock = frame.time;
        FHereClock = std::min(frame.time, FNow);
        FOwn.Add(frame.station, frame.airBits);
        FHere.Add(frame.station, frame.airBits);
        FPending.pop();
    }

    void Untimed(const aprs::TMeteredFrame& frame) {
        auto found = FUntimedIndex.find(frame.station);
        if (found == FUntimedIndex.end()) {
            // As many stations as the table keeps; frames of further ones
            // count for the channel only.
            const std::string name = FUntimed.size() >= aprs::TChannelStats::kMaxStations
                                         ? std::string()
                                         : frame.station;
            found = FUntimedIndex.find(name);
            if (found == FUntimedIndex.end()) {
                found = FUntimedIndex.emplace(name, FUntimed.size()).first;
                FUntimed.push_back({name, 0, 0});
            }
        }
        TUntimed& station = FUntimed[found->second];
        station.frames = station.frames < std::numeric_limits<std::uint32_t>::max()
                             ? station.frames + 1
                             : station.frames;
        station.bits += frame.airBits;
    }

    const double FNow;
    double FOwnClock = 0, FHereClock = 0;
    aprs::TChannelStats FOwn, FHere;
    double FLatest = kUntimed;
    std::uint64_t FSequence = 0, FUnreadable = 0;
    std::priority_queue<TPending, std::vector<TPending>, std::greater<>> FPending;
    std::vector<TUntimed> FUntimed;
    std::unordered_map<std::string, std::size_t> FUntimedIndex;
    aprs::TPathTracker FPaths;
};

} // namespace

TMeasuredChannel ReadMonitorFile(const std::string& file, std::int32_t txDelayMs,
                                 const std::string& ownCall) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the monitor file " + file);
    TMonitorMeasure measure(txDelayMs, ownCall);
    aprs::TLineSplitter splitter;
    const auto take = [&measure](std::string_view line) { measure.Line(line); };
    std::vector<char> buffer(1u << 16);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = in.gcount();
        if (got <= 0)
            break;
        splitter.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)), take);
    }
    if (in.bad())
        throw std::runtime_error("cannot read the monitor file " + file);
    splitter.Finish(take);
    return measure.Finish(splitter.Skipped());
}

TMeasuredChannel ListenToTnc(const aprs::TTncAddress& tnc, std::int32_t seconds,
                             std::int32_t txDelayMs, std::ostream& err,
                             const std::string& ownCall) {
    aprs::TChannelMeter meter(NowSeconds);
    meter.SetTxDelayMs(txDelayMs);
    meter.SetOwnCall(ownCall);
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
    if (source.kind == TChannelSource::TKind::Monitor)
        return ReadMonitorFile(source.monitorFile, source.txDelayMs, source.ownCall);
    return ListenToTnc(source.tnc, source.listenSeconds, source.txDelayMs, err, source.ownCall);
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
    if (channel.overlong > 0)
        out << channel.overlong << " lines longer than " << aprs::TLineSplitter::kMaxLine
            << " bytes skipped\n";
    if (figures.refusedCalls > 0)
        out << "Frames whose call has a control character (not counted as stations): "
            << figures.refusedCalls << '\n';
    if (figures.stationsDropped > 0)
        out << "Stations dropped to keep the table within " << aprs::TChannelStats::kMaxStations
            << ": " << figures.stationsDropped << '\n';
}

void WritePathSection(const aloha::TListedStations& list, const aloha::TRunState& run,
                      const TMeasuredChannel& channel, std::ostream& out) {
    out << "== Path ==\n";
    if (!channel.paths)
        return;
    const aprs::TFootprint footprint = channel.paths->Footprint(
        channel.pathsNow, aprs::FootprintRunOf(list, run), channel.figures);
    for (const std::string& line : aprs::FormatFootprint(footprint))
        out << line << '\n';
}

} // namespace tools
