#pragma once

#include "aprs/channel/ChannelStats.h"
#include "aprs/channel/PathFootprint.h"
#include "aprs/packets/AprsDecode.h"

#include <array>
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

/// The channel measured from what a TNC hears, frame by frame.
namespace aprs {

/// What a frame is, for the timeline's colours.
enum class TFrameKind : std::uint8_t {
    Position,
    Weather,
    Object,
    Message,
    Status,
    Telemetry,
    Other
};

/// One frame as the channel counts it.
struct TMeteredFrame {
    /// The station it is counted for: the one a station list knows it by (the
    /// inner source of a third-party packet, an object's or item's name), or
    /// its sender when it is not APRS; empty when not even that is known.
    std::string station;
    std::size_t airBits = 0;
    TFrameKind kind = TFrameKind::Other;
    /// The frame's parts and what it decoded to, for the path footprint
    /// (empty when it was not even AX.25).
    TMonitorPacket packet;
    std::optional<TAprsReport> report;
};

/// The bit a kind has in a set of kinds.
constexpr std::uint8_t KindBit(TFrameKind kind) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(kind));
}

/// The kind of a decoded packet.
TFrameKind FrameKind(const TAprsReport& report);

/// An AX.25 frame (without flags and FCS) as the channel counts it. The APRS
/// text patterns must be initialized.
TMeteredFrame MeterAx25(std::string_view bytes);

/// A TNC2 monitor line as the channel counts it; empty when it is not one.
std::optional<TMeteredFrame> MeterMonitorLine(std::string_view line);

/// The time a monitor line may start with, "YYYY-MM-DD HH:MM:SS" (or with a
/// "T" between; a "Z" or " UTC" may follow, then blanks), in seconds since
/// 1970 UTC. The rest of the line is left in rest. Empty when the line
/// starts without a time; rest is then the line.
std::optional<std::int64_t> MonitorLineTime(std::string_view line, std::string_view& rest);

/// Counts frames into a channel window, safe to feed from a reader thread
/// while another asks for the figures.
class TChannelMeter {
public:
    /// clock: seconds on any steady scale, as TChannelStats takes it.
    explicit TChannelMeter(std::function<double()> clock);

    void SetTxDelayMs(std::int32_t ms);
    /// A frame heard now.
    void Add(const TMeteredFrame& frame);
    /// Frames that were not even AX.25 or monitor lines.
    void AddUnreadable();

    /// The window now, with every station heard in it.
    TChannelFigures Figures();
    /// Airtime per minute of the window, the oldest first.
    std::array<double, TChannelStats::kWindowSeconds / 60> AirtimePerMinute();
    /// The kinds of frame a station sent in each step of the window: seconds
    /// into the window and the kinds (one bit each, KindBit).
    std::vector<std::pair<double, std::uint8_t>> StationSteps(std::string_view station);
    /// The window as text, and back (see TChannelStats::Save and Restore).
    void Save(std::ostream& out);
    std::int64_t Restore(std::istream& in);
    /// Frames in the window per station, for the measured radius.
    static std::unordered_map<std::string, std::uint64_t>
    PerStation(const TChannelFigures& figures);
    std::uint64_t Unreadable() const;

    /// The own station's call, whose packets' footprint is measured.
    void SetOwnCall(std::string_view call);
    /// The own packets' footprint and the traffic from beyond the radius,
    /// over the window now, with figures the window gave a moment ago.
    TFootprint Footprint(const TFootprintRun& run, const TChannelFigures& figures);
    /// What the footprint is made from, moved out once counting is over,
    /// and the time it stands at now.
    std::pair<TPathTracker, double> TakeTracker();

private:
    mutable std::mutex FMutex;
    std::function<double()> FClock;
    TChannelStats FStats;
    TPathTracker FTracker;
    std::uint64_t FUnreadable = 0;
};

} // namespace aprs
