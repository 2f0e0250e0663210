#pragma once

#include "aloha/Station.h"

#include <cstdint>

/// The load rule's kinds of station: the calculation and the stand-in host's
/// estimates both use them, without the rest of the run.
namespace aloha {

/// The kinds of station the load rule tells apart, in the order it tests them.
enum class TStationKind {
    MovingMobile, ///< mobile symbol, speed 2 or more
    ParkedMobile, ///< mobile symbol, speed 1 or less
    Weather,      ///< symbol code '_' on the primary table
    WeatherDigi,  ///< symbol code '_' with an overlay: also a digipeater
    Digi,         ///< symbol code '#', heard on RF directly
    GatedDigi,    ///< symbol code '#' gated from the Internet: counted as fixed
    Home,         ///< everything else
};

/// Packets per 30 minutes the rule assigns, before the copy multiplier.
inline constexpr std::int32_t kMovingMobilePackets = 15;
inline constexpr std::int32_t kParkedMobilePackets = 7;
inline constexpr std::int32_t kWeatherPackets = 6;
inline constexpr std::int32_t kDigiPackets = 3;
inline constexpr std::int32_t kHomePackets = 2;

/// True when the symbol (table character, code character) is a mobile one.
bool IsMobileSymbol(char table, char code);

/// The kind the load rule makes of a station (symbol, speed, third-party flag).
TStationKind StationKind(const TStation& station);

/// The packets per 30 minutes a station of that kind adds before the copy
/// multiplier; a weather station that is also a digipeater adds both parts.
std::int32_t KindPackets(TStationKind kind);

} // namespace aloha
