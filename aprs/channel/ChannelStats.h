#pragma once

#include "aprs/packets/AprsDecode.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

/// What the radio channel carries: airtime of AX.25 frames and the load of
/// the last 30 minutes, station by station.
namespace aprs {

/// The frame check sequence AX.25 sends after a frame (the CRC-16 of HDLC:
/// reflected polynomial 0x8408, preset and final inversion 0xFFFF).
std::uint16_t Ax25Fcs(std::string_view bytes);

/// Bits that bytes take on the air once stuffed: sent least significant bit
/// first, a 0 after every run of five 1s so that no flag appears inside.
std::size_t StuffedBits(std::string_view bytes);

/// Bits one frame takes on the air: the opening flag, the stuffed frame (the
/// bytes without flags and FCS, as KISS carries them) with its FCS, and the
/// closing flag.
std::size_t Ax25AirBits(std::string_view frame);

/// The bits a monitor line's frame took on the air. Lines that cannot be
/// AX.25 again (calls from the Internet side, say) are sized from their
/// parts: seven bytes an address, without stuffing.
std::size_t MonitorAirBits(const TMonitorPacket& packet);

/// The channel's speed, in bits per second.
inline constexpr double kChannelBaud = 1200.0;
/// Packets per 30 minutes at which the ALOHA computation calls the channel full.
inline constexpr std::uint64_t kSaturationPackets = 1800;
/// Added to the occupancy when the frames of the window took more airtime than
/// its 30 minutes hold (the occupancy then shows 100 %): one channel heard as
/// it happens cannot do that, a file replayed faster than it was heard can.
inline constexpr const char* kOverfullNote =
    "more airtime than 30 minutes hold: the frames came faster than one channel carries them";
/// Stations shown as top talkers.
inline constexpr std::size_t kTopTalkers = 10;

/// One station's share of the window.
struct TChannelTalker {
    std::string name;
    std::uint32_t measured = 0; ///< frames heard from it in the window, copies included
    /// Packets per 30 minutes the ALOHA computation's rule assigns it (before
    /// the copy multiplier); -1 when it is not in the station list.
    std::int32_t estimated = -1;
};

/// The channel over the last 30 minutes.
struct TChannelFigures {
    std::uint64_t frames = 0;    ///< frames heard, digipeated copies included
    std::uint64_t bits = 0;      ///< their bits on the air
    double txDelaySeconds = 0.0; ///< keying time added to every frame
    double airtimeSeconds = 0.0; ///< frames × TX delay + bits / 1200
    double occupancyPercent = 0; ///< airtime as a share of the 30 minutes, at most 100
    bool overfull = false;       ///< the airtime was more than the 30 minutes
    std::size_t stations = 0;    ///< stations heard in the window
    /// Stations forgotten to keep the table bounded, since counting began
    /// (their frames still count in the frames and the airtime): each call
    /// once, however often it came back and was forgotten again.
    std::uint64_t stationsDropped = 0;
    /// Frames whose call sign had a control character: counted for the
    /// channel, not as a station.
    std::uint64_t refusedCalls = 0;
    std::vector<TChannelTalker> talkers; ///< most frames first (names in order on a tie)
};

/// The figures as a plain-text table, the same for the command line and the bus.
std::string FormatChannelTable(const TChannelFigures& figures);

/// Counts frames in a sliding window of the last 30 minutes: for the channel
/// in one-second steps, for each station in 30-second steps. Each frame costs
/// O(1); memory grows only with the stations heard in the window, since a
/// station whose last frame has left the window is forgotten, and at most
/// maxStations are kept.
class TChannelStats {
public:
    static constexpr std::int64_t kWindowSeconds = 1800;
    static constexpr std::int64_t kStationStepSeconds = 30;
    /// One 1200-baud channel carries at most about 4,000 of the shortest
    /// frames in 30 minutes, so no real channel comes near this many stations
    /// in the window; a flood of made-up calls or a merged feed could, and
    /// each station costs about 300 bytes. When full, the station heard
    /// longest ago makes room: the stations of the last minutes are the ones
    /// the window is about, and a flood must not lock them out.
    static constexpr std::size_t kMaxStations = 10000;

    /// clock: seconds on any steady scale (tests hand in their own).
    explicit TChannelStats(std::function<double()> clock, std::size_t maxStations = kMaxStations);

    /// Keying time before every frame; 300 ms unless set (Dire Wolf's default
    /// TXDELAY of 30 × 10 ms).
    void SetTxDelayMs(std::int32_t ms) { FTxDelaySeconds = ms / 1000.0; }

    /// One frame heard, from the station it is counted for (none when empty:
    /// it counts for the channel only), airBits long; kinds: bits the caller
    /// gives the frame's kind (the timeline's colours), kept per station step.
    /// Gives the station's tag: a number the caller may keep beside the
    /// station while the window holds it, 0 when it is new to the window
    /// (null when the frame counted for the channel only). It stays valid
    /// until the next call.
    std::uint64_t* Add(std::string_view station, std::size_t airBits, std::uint8_t kinds = 0) {
        return AddFrames(station, 1, airBits, kinds);
    }
    /// frames frames heard at once from one station, airBits long together.
    std::uint64_t* AddFrames(std::string_view station, std::uint32_t frames, std::uint64_t airBits,
                             std::uint8_t kinds);

    /// The window as it stands now, with the top talkers (at most topTalkers).
    TChannelFigures Figures(std::size_t topTalkers);

    /// The airtime of each minute of the window in seconds, the oldest first.
    std::array<double, kWindowSeconds / 60> AirtimePerMinute();
    /// The kinds a station sent in each step of the window that holds one:
    /// seconds into the window (the step's middle, 0 to 1800) and the kind bits.
    std::vector<std::pair<double, std::uint8_t>> StationSteps(std::string_view station);

    /// The whole window as text, to be read back by Restore after a restart:
    /// bounded by the stations and the window's length, never by the frames.
    void Save(std::ostream& out) const;
    /// Takes back what Save wrote, on the same clock, and gives the second
    /// the saved window ended at. Throws std::runtime_error naming what is
    /// wrong; the window is then left as it was.
    std::int64_t Restore(std::istream& in);

private:
    static constexpr std::size_t kSeconds = kWindowSeconds;
    static constexpr std::size_t kSteps = kWindowSeconds / kStationStepSeconds;

    struct TSecond {
        std::uint32_t frames = 0;
        std::uint64_t bits = 0;
    };
    struct TStationWindow {
        std::string name;
        std::int64_t lastStep = 0; ///< the step of its last frame
        std::uint64_t tag = 0;
        std::array<std::uint32_t, kSteps> steps{};
        std::array<std::uint8_t, kSteps> kinds{};
    };
    using TStationList = std::list<TStationWindow>;

    void Advance(std::int64_t second);
    void ForgetQuiet(std::int64_t step);
    static std::uint32_t InWindow(const TStationWindow& station, std::int64_t step);

    std::function<double()> FClock;
    double FTxDelaySeconds = 0.3;
    bool FStarted = false;
    std::int64_t FSecond = 0; ///< the newest second of the ring
    std::array<TSecond, kSeconds> FRing{};
    std::uint64_t FFrames = 0, FBits = 0; ///< totals of the ring
    std::size_t FMaxStations;
    std::uint64_t FStationsDropped = 0, FRefusedCalls = 0;
    /// The calls forgotten so far, by a hash of each, so that a call
    /// forgotten again counts once: made at the first drop (8 MB). Past
    /// 786,432 calls every further drop counts.
    std::vector<std::uint64_t> FDroppedCalls;
    std::size_t FDroppedCount = 0;
    void Dropped(const std::string& name);
    TStationList FStations; ///< least recently heard first
    std::unordered_map<std::string, TStationList::iterator> FByName;
};

} // namespace aprs
