#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "support/PerlRegEx.h"

/// APRS text knowledge: time helpers, the monitor-line and weather-field
/// patterns, and the antenna directivity names.
namespace support {

/// Date-time value: days since 1899-12-30 00:00, the fraction being the time of day.
using TDateTime = double;

/// The current UTC date and time, to the millisecond.
TDateTime UtcNow();

/// A minute count as a date-time span in days (minutes × 1/1440).
double MinutesToDays(std::int32_t minutes);

/// The patterns compiled at program start, in their order of creation.
enum class TAprsPattern : std::uint8_t {
    MonitorLine,     ///< source>destination[,path]:information; groups 1-5
    PortTag,         ///< " Port=...>" annotation; group 1
    FmToVia,         ///< two-line "x:Fm SRC To DST Via PATH <...]" header; groups 1-5
    WxPressure,      ///< b + 5 digits / dots / blanks
    WxTimestamp,     ///< eight digits, named group "wx_mdhm"
    WxHumidity,      ///< h + 2 digits / dots / blanks
    WxRain24h,       ///< p + 3 digits / dots / blanks
    WxRain1h,        ///< r + 3 digits / dots / blanks
    WxRainMidnight,  ///< P + 3 digits / dots / blanks
    WxTemperature,   ///< t + 3 digits / dots / blanks
    WxWindDirection, ///< c + 3 digits / dots / blanks
    WxGust,          ///< g + 3 digits / dots / blanks
    WxWindSpeed,     ///< s + 3 digits / dots / blanks
    CourseSpeed,     ///< ddd/ddd; groups 1 and 2
};

/// Number of patterns.
inline constexpr std::size_t kAprsPatternCount = 14;

/// The text of a pattern.
std::string_view AprsPatternText(TAprsPattern pattern);

/// Creates, compiles and studies the 14 patterns, each with the multi-line
/// option, in their order. Called first thing in main, before any window.
/// Throws EPerlRegExError when a pattern fails; the patterns made so far are
/// then released again. Calling it while the patterns exist does nothing.
void InitializeAprsPatterns();

/// Releases the patterns in their order of creation. Called last thing
/// before the program exits; does nothing when they do not exist.
void FinalizeAprsPatterns();

/// Whether InitializeAprsPatterns has run and FinalizeAprsPatterns has not.
bool AprsPatternsReady();

/// A compiled pattern for a packet parser. Throws std::logic_error when the
/// patterns have not been initialized.
TPerlRegEx& AprsPattern(TAprsPattern pattern);

/// Antenna directivity names indexed by the APRS directivity digit 0-9.
inline constexpr std::array<std::string_view, 10> DirectivityNames = {"OMNI", "NE", "E",  "SE", "S",
                                                                      "SW",   "W",  "NW", "N",  ""};

} // namespace support
