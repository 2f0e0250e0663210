#pragma once

#include <cstdint>
#include <string>

namespace aloha {

/// The values the main window keeps between runs and hands to the
/// calculation: the threshold, the own station, and the last run's results.
struct TRunState {
    /// Saturation threshold in packets per 30 minutes (changed in debug mode only).
    std::int32_t PacketDensity = 1800;

    std::string OwnCall;      ///< upper case; empty until read from the host
    double OwnLatitude = 0.0; ///< host position units
    double OwnLongitude = 0.0;
    /// True once the own station has been read whole; false again while a
    /// read is under way or after one failed. Nothing is drawn without it: a
    /// figure would stand around a position nobody read.
    bool OwnStationKnown = false;

    std::int32_t PacketTotal = 0; ///< packets per 30 minutes counted by the last run
    double RadiusKm = 0.0;        ///< set only when the threshold was reached
    double RadiusMiles = 0.0;
    double MapRadius = 0.0; ///< radius of the figure, host position units
};

/// Kilometres to statute miles.
inline constexpr double kMilesPerKm = 0.621371192;

} // namespace aloha
