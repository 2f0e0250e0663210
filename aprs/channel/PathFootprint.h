#pragma once

#include "aprs/channel/ChannelStats.h"
#include "aprs/packets/AprsDecode.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

/// Where the own station's packets go: the digipeaters heard repeating them,
/// at which hop and how far away, against the ALOHA radius; the path to use;
/// and the traffic that comes from beyond the radius.
namespace aprs {

/// One hop a frame took: the digipeater that repeated it there, or an empty
/// call when that digipeater did not put its call into the path.
struct TPathHop {
    std::string call;
    std::uint32_t hop = 0; ///< 1 for the first
};

/// A path as heard, read hop by hop.
struct TPathReading {
    std::vector<TPathHop> hops; ///< the hops taken, in order
    std::uint32_t asked = 0;    ///< the hops the path asks for: those taken and those left
};

/// Reads a path as a monitor line shows it ("W1AAA,WIDE1*,WIDE2-1"): the
/// entries up to the last one marked "*" were used. A station's call is a
/// digipeater's hop; a used WIDEn-N or TRACEn-N right after a call is that
/// digipeater's marker, and without a call before it stands for the n - N
/// hops of digipeaters that did not insert their call (at least one); a used
/// RELAY or WIDE (which a digipeater replaces with its call) is one such hop.
/// TCPIP, TCPXX, NOGATE, RFONLY and q constructs are not hops.
TPathReading ReadPath(std::string_view path);

/// Whether two calls are the same station: letters in any case, "-0" as no SSID.
bool SameCall(std::string_view a, std::string_view b);

/// The great-circle distance in km between two positions in degrees.
double GreatCircleKm(double lat1, double lon1, double lat2, double lon2);

/// What the footprint is measured against: the own station and the last run.
struct TFootprintRun {
    std::string ownCall; ///< empty until the own station was read
    bool ownPlaced = false;
    double ownLatitude = 0.0; ///< degrees, north positive
    double ownLongitude = 0.0;
    std::optional<double> radiusKm; ///< none when the run found too few stations
    /// The run's station list: call and the host's distance in km (its first place).
    std::unordered_map<std::string, std::int32_t> listed;
    /// Where the list places them, in degrees (latitude, longitude).
    std::unordered_map<std::string, std::pair<double, double>> listedPlaces;
};

/// The footprint's inputs from a run's list (members Call and Distance) and
/// the run's state (OwnCall, OwnStationKnown, OwnLatitude and OwnLongitude in
/// host units of 60 a degree, PacketTotal, PacketDensity, RadiusKm).
template <class TList, class TState>
TFootprintRun FootprintRunOf(const TList& list, const TState& run) {
    TFootprintRun footprint;
    footprint.ownCall = run.OwnCall;
    footprint.ownPlaced = run.OwnStationKnown;
    footprint.ownLatitude = run.OwnLatitude / 60.0;
    footprint.ownLongitude = run.OwnLongitude / 60.0;
    if (run.PacketTotal >= run.PacketDensity)
        footprint.radiusKm = run.RadiusKm;
    for (const auto& station : list) {
        footprint.listed.emplace(station.Call, station.Distance);
        footprint.listedPlaces.emplace(
            station.Call, std::make_pair(station.Latitude / 60.0, station.Longitude / 60.0));
    }
    return footprint;
}

/// A digipeater heard repeating the own packets at one hop.
struct TDigipeaterSeen {
    std::string call; ///< empty: one that did not put its call in the path
    std::uint32_t hop = 0;
    std::optional<double> km; ///< none: position unknown
    std::uint32_t copies = 0; ///< copies heard with it at that hop
    /// Where it is in degrees (latitude, longitude), for the map: where the
    /// list places it, or else where it beacons from.
    std::optional<std::pair<double, double>> place;
};

/// What the advice could say.
enum class EPathAdvice {
    NoRadius,         ///< too few stations for an ALOHA radius
    NoCopies,         ///< no digipeated copy of an own packet heard
    FirstHopUnplaced, ///< no first-hop digipeater with a known position
    None,             ///< a first-hop digipeater lies beyond the radius
    OneHop,           ///< WIDE2-1
    TwoHops,          ///< WIDE2-2
};

/// A station heard from beyond the ALOHA radius.
struct TBeyondStation {
    std::string call;
    double km = 0.0;
    std::uint32_t hops = 0; ///< hops its last frame took
    std::string path;       ///< that frame's path as heard
    std::uint64_t frames = 0;
};

/// The own packets' footprint over the window.
struct TFootprint {
    std::string ownCall;
    std::optional<double> radiusKm;
    std::uint32_t ownPackets = 0;             ///< own packets heard (copies within 30 s are one)
    std::uint32_t copies = 0;                 ///< frames of them that digipeaters repeated
    std::uint32_t askedMin = 0, askedMax = 0; ///< hops their paths ask for
    /// Frames with the own call that place the station far from the own
    /// position: another station using the call; not taken as own.
    std::uint32_t elsewhere = 0;
    double elsewhereKm = 0.0;                 ///< the farthest of them
    std::vector<TDigipeaterSeen> digipeaters; ///< by hop, then distance (unknown last)
    EPathAdvice advice = EPathAdvice::NoCopies;
    bool moving = false; ///< the own packets report a speed or a moving position
    std::uint64_t beyondFrames = 0;
    double beyondAirtimePercent = 0.0;
    std::vector<TBeyondStation> beyond; ///< most frames first
};

/// The footprint as lines of text, the same for the report and the window.
std::vector<std::string> FormatFootprint(const TFootprint& footprint);

/// Collects what the footprint needs, frame by frame: the own packets with
/// the paths of their copies, and per station its last path, its mean frame
/// length and the position it beacons. Work per frame is a lookup or two,
/// whatever is heard; memory is bounded by maxStations and kMaxOwnPackets.
/// Not locked: the channel meter calls it under its own lock.
class TPathTracker {
public:
    /// Copies of a packet are the frames with its source and information
    /// heard within this many seconds of the first (digipeaters' duplicate window).
    static constexpr double kCopySeconds = 30.0;
    /// Own packets kept; a flood of frames with the own call drops the oldest.
    static constexpr std::size_t kMaxOwnPackets = 4096;
    /// An own-call packet placing its sender farther than this from the own
    /// position is another station using the call.
    static constexpr double kElsewhereKm = 100.0;
    /// Digipeaters listed for one own packet: a real one is heard through a
    /// handful; past this, copies through further ones count as copies only.
    static constexpr std::size_t kMaxDigipeatersPerPacket = 64;

    explicit TPathTracker(std::size_t maxStations = TChannelStats::kMaxStations);

    /// The own call, compared with SameCall; frames heard before it is set
    /// are no own packets.
    void SetOwnCall(std::string_view call);
    const std::string& OwnCall() const { return FOwnCall; }
    /// Stations kept, at most maxStations.
    std::size_t Stations() const { return FByName.size(); }
    /// Whether a frame from this source is one of the own station's.
    bool IsOwn(std::string_view source) const {
        return !FOwnCall.empty() && SameCall(source, FOwnCall);
    }

    /// A frame heard at a time in seconds (none: at the window's end, for
    /// lines without a time): the station it counts for, the packet, what it
    /// decoded to (null when it did not) and its bits on the air. tag: the
    /// number the channel window keeps beside the same station
    /// (TChannelStats::Add), where the tracker notes where its record is, so
    /// that a station heard again is found without a second search.
    void Add(std::optional<double> time, const std::string& station, const TMonitorPacket& packet,
             const TAprsReport* report, std::size_t airBits, std::uint64_t* tag = nullptr);
    /// The same, the time read from clock for the own station's frames alone.
    void Add(const std::function<double()>& clock, const std::string& station,
             const TMonitorPacket& packet, const TAprsReport* report, std::size_t airBits,
             std::uint64_t* tag = nullptr);

    /// The footprint of the 30 minutes up to now, against the run, with the
    /// channel's figures of the same window (frames per station, airtime).
    TFootprint Footprint(double now, const TFootprintRun& run,
                         const TChannelFigures& channel) const;

private:
    /// A digipeater that repeated an own packet at one hop.
    struct TOwnHop {
        std::string call; ///< empty: one that did not insert its call
        std::uint32_t hop = 0;
        std::uint32_t copies = 0; ///< copies heard through it there
    };
    struct TOwnPacket {
        double first = 0.0; ///< +infinity for lines without a time
        std::string information;
        std::optional<std::pair<double, double>> position;
        double speedKmh = 0.0;
        std::vector<TOwnHop> hops; ///< at most kMaxDigipeatersPerPacket
        std::uint32_t copies = 0;  ///< frames of it that digipeaters repeated
        std::uint32_t frames = 0;
        std::uint32_t asked = 0;
    };
    /// What every frame writes, the fields it writes first.
    struct TStation {
        std::string name;        ///< empty: a free record
        std::uint64_t heard = 0; ///< when last heard, in frames since counting began
        std::uint64_t frames = 0, bits = 0;
        std::string lastPath;
        bool placedBySender = false;
        std::optional<std::pair<double, double>> position;
        std::string sender; ///< the source call, for objects and third-party packets
    };

    void AddFrame(bool own, double time, const std::string& station, const TMonitorPacket& packet,
                  const TAprsReport* report, std::size_t airBits, std::uint64_t* tag);
    void AddOwn(double time, const TMonitorPacket& packet, const TAprsReport* report);
    TStation& Record(const std::string& name, std::uint64_t* tag);
    const TStation* Find(const std::string& call) const;
    std::optional<double> DistanceOf(const std::string& call, const TFootprintRun& run) const;
    std::optional<std::pair<double, double>> PlaceOf(const std::string& call,
                                                     const TFootprintRun& run) const;
    /// Makes room for a station: the eighth heard longest ago go at once, so
    /// that a flood of new calls costs a pass over the table every so many
    /// frames, never one a frame.
    void MakeRoom();

    std::size_t FMaxStations;
    std::string FOwnCall;
    std::deque<TOwnPacket> FOwn;
    /// The newest own packet with each information field, by its number:
    /// FOwn[number - FOwnDropped]. A copy finds its packet in one lookup
    /// however many own packets are kept.
    std::unordered_map<std::string, std::uint64_t> FOwnByInformation;
    std::uint64_t FOwnDropped = 0; ///< own packets dropped from the front

    std::uint64_t FHeard = 0; ///< frames added so far
    /// The records, in place for good: a tag names one by its index.
    std::vector<TStation> FRecords;
    std::vector<std::uint32_t> FFree; ///< records made free, to use again
    std::unordered_map<std::string, std::uint32_t> FByName;
};

} // namespace aprs
