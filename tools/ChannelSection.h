#pragma once

#include "aloha/MeasuredRadius.h"
#include "aloha/RunState.h"
#include "aprs/channel/ChannelStats.h"
#include "aprs/channel/PathFootprint.h"
#include "aprs/link/TncAddress.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

/// velloran-report's measured channel: where its frames come from, and the
/// "== Channel ==" section it adds.
namespace tools {

/// What the channel was measured from.
struct TChannelSource {
    enum class TKind { None, Monitor, Tnc };
    TKind kind = TKind::None;
    std::string monitorFile; ///< for Monitor
    aprs::TTncAddress tnc;   ///< for Tnc
    std::int32_t listenSeconds = 0;
    std::int32_t txDelayMs = 300;
    std::string ownCall; ///< whose packets' footprint is measured
};

/// The channel as measured, ready for the section.
struct TMeasuredChannel {
    aprs::TChannelFigures figures; ///< every station heard, most frames first
    std::unordered_map<std::string, std::uint64_t> perStation;
    std::uint64_t unreadable = 0; ///< lines that are not monitor lines
    std::uint64_t overlong = 0;   ///< lines too long to be monitor lines, skipped
    /// Where a monitor file's own clock gave the window: its end, in seconds
    /// since 1970 UTC.
    std::optional<std::int64_t> inputClockEnd;
    /// The own packets' paths and the stations' positions, for "== Path ==",
    /// and the end of the window on its clock.
    std::shared_ptr<const aprs::TPathTracker> paths;
    double pathsNow = 0.0;
};

/// Reads monitor lines from a file: lines that start with a time
/// (aprs::MonitorLineTime) count at that time, the others as heard now; the
/// window is the 30 minutes up to now. When the times are not the wall
/// clock's (a log replayed later, or written by a machine whose clock is
/// ahead) the file's own clock is used: the window is the 30 minutes up to
/// its latest time, and lines without one count at that time. The file is
/// read in pieces, and what is kept depends on the stations and the window,
/// not on the file's size: lines over 4096 bytes are skipped and counted.
/// Throws std::runtime_error naming the file when it cannot be read.
TMeasuredChannel ReadMonitorFile(const std::string& file, std::int32_t txDelayMs,
                                 const std::string& ownCall = {});

/// Listens to the TNC for the given seconds, saying on err how the
/// connection goes. Throws std::runtime_error when it never connected.
TMeasuredChannel ListenToTnc(const aprs::TTncAddress& tnc, std::int32_t seconds,
                             std::int32_t txDelayMs, std::ostream& err,
                             const std::string& ownCall = {});

/// Measures from the source (the APRS text patterns are set up meanwhile).
TMeasuredChannel MeasureChannel(const TChannelSource& source, std::ostream& err);

/// Writes "== Channel ==": the measured radius over the run's list, the
/// channel's figures, and a row per listed station that was heard.
void WriteChannelSection(const aloha::TListedStations& list, const TMeasuredChannel& channel,
                         std::int32_t threshold, std::ostream& out);

/// Writes "== Path ==": the digipeaters that repeated the own packets, at
/// which hop and distance against the run's ALOHA radius, the path to use,
/// and the traffic from beyond the radius.
void WritePathSection(const aloha::TListedStations& list, const aloha::TRunState& run,
                      const TMeasuredChannel& channel, std::ostream& out);

} // namespace tools
