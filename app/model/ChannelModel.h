#pragma once

#include "aloha/MapOverlay.h"
#include "aloha/MeasuredRadius.h"
#include "aloha/RunState.h"
#include "aprs/channel/ChannelMeter.h"
#include "aprs/link/TncAddress.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace aprs {
class TTncLink;
}

/// The Channel window's behaviour: Velloran's own read-only link to the
/// operator's TNC, and what the window shows of it beside the last run.
namespace app {

/// The section of the settings file the channel is configured in. Without a
/// Tnc key Velloran does not listen.
inline constexpr const char* kChannelSection = "Channel";
/// The file beside the settings file that keeps the measured window over a
/// restart.
inline constexpr const char* kChannelWindowFile = "velloran-channel.txt";

struct TChannelSettings {
    std::optional<aprs::TTncAddress> Tnc; ///< Tnc=kiss://HOST:PORT or agw://HOST:PORT
    std::int32_t TxDelayMs = 300;         ///< TxDelay=ms, 0 to 2000
    /// Why keys were not taken (the window shows it on a line of its own);
    /// empty when all were.
    std::string Problem;
};

/// Reads [Channel] from the settings file.
TChannelSettings ReadChannelSettings(const std::filesystem::path& file);

/// Reads DrawMeasured of [Channel] alone, which the runs read each time:
/// 1 draws the measured radius on the host's map beside the estimate; 0, an
/// absent key and anything else (a Problem for ReadChannelSettings) do not.
bool ReadDrawMeasured(const std::filesystem::path& file);
/// Reads DrawFootprint of [Channel] alone, as DrawMeasured: 1 marks the
/// digipeaters that repeated the own packets on the host's map.
bool ReadDrawFootprint(const std::filesystem::path& file);

/// The last 30 minutes along the time axis.
struct TChannelTimeline {
    static constexpr int kMinutes = 30;
    /// Airtime in seconds of each minute, the oldest first.
    std::array<double, kMinutes> airtimePerMinute{};
    struct TTalker {
        std::string name;
        std::uint32_t frames = 0;
        /// Each step of the window (30 seconds) with frames in it: its middle,
        /// in seconds into the window (0 to 1800), once for each kind sent in it.
        std::vector<std::pair<double, aprs::TFrameKind>> transmissions;
    };
    std::vector<TTalker> talkers; ///< most frames first
};

/// Everything the Channel window shows, copied out so that painting holds no lock.
struct TChannelPicture {
    /// What was wrong with [Channel] or the kept window at the start, on a
    /// line of its own (the link's status does not replace it); empty when
    /// all was taken.
    std::string Problem;
    std::string Status; ///< the link's last word
    std::string MeasuredRadius;
    std::string EstimatedRadius;
    std::vector<std::string> Figures; ///< frames, airtime, occupancy, stations
    std::vector<aloha::TMeasuredStation> Listed;
    std::vector<std::string> Unlisted;
    TChannelTimeline Timeline;
    /// Where the own packets go: the digipeaters that repeated them against
    /// the ALOHA radius, the path to use, and the traffic from beyond the
    /// radius, and the same as lines of text (as velloran-report has them).
    aprs::TFootprint Footprint;
    std::vector<std::string> Path;
};

/// Listens to the TNC on a thread of its own and keeps the last 30 minutes.
class TChannelModel {
public:
    /// clock: seconds since 1970 UTC; the system clock unless given.
    explicit TChannelModel(TChannelSettings settings, std::function<double()> clock = {});
    ~TChannelModel();
    TChannelModel(const TChannelModel&) = delete;
    TChannelModel& operator=(const TChannelModel&) = delete;

    const TChannelSettings& Settings() const { return FSettings; }
    /// How long the TNC may be silent before the status says so
    /// (aprs::kSilenceNoteAfter unless set); set before Start.
    void SetSilenceLimit(std::chrono::milliseconds limit) { FSilenceLimit = limit; }
    /// Starts listening when a TNC is configured.
    void Start();
    void Stop();

    /// A frame heard (without flags and FCS); the link calls it, tests too.
    /// The APRS text patterns must be initialized. What is kept depends on
    /// the stations and the window's length, never on how many frames came.
    void AddFrame(std::string_view ax25);

    /// Writes the window to file (beside the settings file) so that the next
    /// start measures on from it: written whole to a new file that then
    /// replaces the old, so a crash leaves the old or the new. Throws
    /// std::runtime_error naming the file when it cannot be written.
    void SaveWindow(const std::filesystem::path& file);
    /// Takes back the window a previous run saved. A file that is missing
    /// is no problem; one that is damaged, too large or written more than 30
    /// minutes ago is ignored and said in Problem.
    void RestoreWindow(const std::filesystem::path& file);

    /// The own station's call, whose packets' footprint is measured.
    void SetOwnCall(std::string_view call) { FMeter.SetOwnCall(call); }

    /// The measured radius of the run's list in the last 30 minutes, against
    /// the run's threshold.
    aloha::TMeasuredRadius Measure(const aloha::TListedStations& list, std::int32_t threshold);

    /// The digipeaters with a known place that repeated the own packets, for
    /// the host's map (host position units).
    std::vector<aloha::TFootprintMark> FootprintMarks(const aloha::TListedStations& list,
                                                      const aloha::TRunState& run);

    /// The window's content for the last run's list and results.
    TChannelPicture Picture(const aloha::TListedStations& list, const aloha::TRunState& run,
                            std::size_t talkers = 10);

private:
    TChannelSettings FSettings;
    std::function<double()> FClock;
    std::mutex FMutex; ///< guards FStatus and FProblem
    aprs::TChannelMeter FMeter;
    std::string FStatus;
    std::string FProblem;
    std::chrono::milliseconds FSilenceLimit;
    std::unique_ptr<aprs::TTncLink> FLink;
};

} // namespace app
