#pragma once

#include "aloha/Station.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

/// The ALOHA radius from frames a TNC measured, beside the run's estimate.
namespace aloha {

/// One station of a run's list as the run left it: nearest first, the
/// distance as adjusted for third-party stations.
struct TListedStation {
    std::string Call;          ///< without surrounding blanks
    std::int32_t Distance = 0; ///< km
    /// Packets per 30 minutes the load rule assigns it: its kind's figure times
    /// the copy multiplier the digipeaters before it in the list make.
    std::int32_t Estimated = 0;
    float Latitude = 0.0f; ///< host position units, where the map shows it
    float Longitude = 0.0f;
};
using TListedStations = std::vector<TListedStation>;

/// The list a run walked, with every station's estimate. Stations after the
/// point where the run stopped get the figure the walk would have given them.
TListedStations ListStations(const TStationList& list);

/// A station of the list that the TNC heard.
struct TMeasuredStation {
    std::string Call;
    std::int32_t Distance = 0;
    std::int32_t Estimated = 0;
    std::uint64_t Measured = 0; ///< frames in the window, digipeated copies included
};

struct TMeasuredRadius {
    bool Reached = false;
    std::int32_t RadiusKm = 0; ///< the distance of the station that reached the threshold
    std::size_t Index = 0;     ///< that station's place in the list
    /// Frames of the listed stations: up to the station that reached the
    /// threshold, or of the whole list when it was not reached.
    std::uint64_t Total = 0;
    std::vector<TMeasuredStation> Heard; ///< listed and heard, in the list's order
    std::vector<std::string> Unlisted;   ///< heard but not in the list, by name
    std::uint64_t UnlistedFrames = 0;    ///< their frames
};

/// Walks the list in its order adding each station's measured frames (by
/// call sign, compared exactly; a call listed twice is counted once, at its
/// first place); the radius is the distance of the station at which the sum
/// first reaches threshold.
TMeasuredRadius MeasureRadius(const TListedStations& list,
                              const std::unordered_map<std::string, std::uint64_t>& frames,
                              std::uint64_t threshold);

} // namespace aloha
