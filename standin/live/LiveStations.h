#pragma once

#include "aprs/channel/ChannelStats.h"
#include "aprs/channel/PathFootprint.h"
#include "aprs/packets/AprsDecode.h"
#include "aprs/packets/Kiss.h"
#include "standin/model/StandinHost.h"
#include "support/APRSCache.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

/// The stand-in host's station list built from what a TNC hears.
namespace standin {

/// The operator's own station, in degrees (north and east positive).
struct TOwnStation {
    std::string callsign;
    double latitude = 0.0;
    double longitude = 0.0;
};

/// What the live list has taken in so far.
struct TLiveCounters {
    std::uint64_t frames = 0;      ///< KISS data frames and monitor lines offered
    std::uint64_t placed = 0;      ///< packets that put a station on the list or moved it
    std::uint64_t refreshed = 0;   ///< packets without a place from a listed station
    std::uint64_t noPosition = 0;  ///< packets without a place from an unlisted station
    std::uint64_t undecodable = 0; ///< malformed frames, lines and APRS fields
    std::uint64_t dropped = 0;     ///< not for us: KISS commands, non-UI frames, other PIDs
    std::uint64_t listFull = 0;    ///< new stations refused because the list is full
    std::uint64_t killed = 0;      ///< objects and items removed by a kill
    std::uint64_t expired = 0;     ///< stations removed because they went quiet
};

/// The great-circle distance in km, as the channel measures it.
using aprs::GreatCircleKm;

/// A date-time value (days since 1899-12-30, UTC) as "YYYY-MM-DD HH:MM:SS".
std::string FormatHeardTime(double dateTime);

/// Feeds decoded packets into the host's station list, and measures the
/// channel they came over.
///
/// Every packet that places a station adds it to the end of the host's list
/// or refreshes its entry; the packet cache keeps the last packet of every
/// station and expires stations that have not been heard for ExpiryMinutes
/// (80 by default), which removes them from the host's list. Every frame
/// heard also counts towards the channel's load: for the station the list
/// knows it by (the inner source of a third-party packet, an object's name),
/// or its sender when it cannot be decoded as APRS. Safe to call
/// from several threads: decoding and the cache are serialized by a lock of
/// this object, and the host model is changed only under the model mutex.
class TLiveStations {
public:
    /// Room for the host's 16-bit station count.
    static constexpr std::size_t kMaxStations = 32767;

    /// Sets the own station on the host. Without a timer the cache purges
    /// only when a test advances a TManualPurgeTimer handed in; without a
    /// clock UtcNow is used.
    TLiveStations(std::shared_ptr<TStandinHost> host, std::mutex& modelMutex, TOwnStation own,
                  std::unique_ptr<support::IPurgeTimer> timer = nullptr,
                  support::TUtcClock clock = {});
    ~TLiveStations();
    TLiveStations(const TLiveStations&) = delete;
    TLiveStations& operator=(const TLiveStations&) = delete;

    void SetExpiryMinutes(std::int32_t minutes);

    /// One KISS frame; only data frames are decoded.
    void HandleKissFrame(const aprs::TKissFrame& frame);
    /// One AX.25 frame without flags and FCS.
    void HandleAx25(std::string_view bytes);
    /// One TNC2 monitor line (SOURCE>DEST,PATH:information).
    void HandleMonitorLine(std::string_view line);

    /// Removes the stations not heard for ExpiryMinutes, now.
    void PurgeNow();

    TLiveCounters Counters() const;

    /// Keying time counted before every frame's airtime (default 300 ms).
    void SetTxDelayMs(std::int32_t ms);
    /// The channel over the last 30 minutes, with the topTalkers stations
    /// heard most; each talker listed by the host also gets the packets the
    /// ALOHA computation's rule assigns it.
    aprs::TChannelFigures Channel(std::size_t topTalkers);

    /// Called with a line for the log: stations added and removed.
    std::function<void(const std::string&)> OnLog;
    /// Called with the reason a packet was not used (the debug log).
    std::function<void(const std::string&)> OnDebug;
    /// Called after the host's station list changed (on the changing thread).
    std::function<void()> OnChanged;

private:
    class TLockedTimer;
    void Apply(const aprs::TAprsReport& report, const std::string& text);
    void Undecodable(const std::string& what, const std::string& reason);
    std::int32_t EstimatedPackets(const TScenarioStation& station) const;

    std::shared_ptr<TStandinHost> FHost;
    std::mutex& FModelMutex;
    TOwnStation FOwn;
    support::TUtcClock FClock;
    mutable std::mutex FMutex; // decoding, the cache and the counters
    TLiveCounters FCounters;
    aprs::TChannelStats FChannel;
    std::unique_ptr<support::TPacketCache> FCache;
    std::unordered_set<std::string> FRoughlyPlaced; // listed only by a locator square
};

} // namespace standin
