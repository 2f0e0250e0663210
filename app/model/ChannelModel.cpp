#include "app/model/ChannelModel.h"

#include "app/model/ProfileFile.h"
#include "aprs/link/TncLink.h"
#include "support/ReplaceFile.h"
#include "support/TextRules.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace app {

namespace {

/// Problems with [Channel] are said together, each with its key.
void AddProblem(std::string& problems, const std::string& problem) {
    problems += (problems.empty() ? "[Channel] " : "; ") + problem;
}

/// A kept window larger than this is not one Velloran wrote: 10,000
/// stations with a frame in every step of the window take about 8 MB.
constexpr std::uintmax_t kMaxWindowFileBytes = 16u << 20;

double SystemSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

TChannelSettings ReadChannelSettings(const std::filesystem::path& file) {
    TChannelSettings settings;
    const std::string tnc = ReadProfileString(file, kChannelSection, "Tnc", "");
    if (!tnc.empty()) {
        std::string reason;
        settings.Tnc = aprs::ParseTncUrl(tnc, reason);
        if (!settings.Tnc)
            AddProblem(settings.Problem, "Tnc=" + tnc + ": " + reason);
    }
    const std::string draw = ReadProfileString(file, kChannelSection, "DrawMeasured", "0");
    if (draw != "0" && draw != "1")
        AddProblem(settings.Problem, "DrawMeasured=" + draw + ": 0 or 1");
    const std::string footprint = ReadProfileString(file, kChannelSection, "DrawFootprint", "0");
    if (footprint != "0" && footprint != "1")
        AddProblem(settings.Problem, "DrawFootprint=" + footprint + ": 0 or 1");
    const std::string delay = ReadProfileString(file, kChannelSection, "TxDelay", "300");
    const std::optional<std::int32_t> ms = support::ParseIntText(delay);
    if (ms && *ms >= 0 && *ms <= 2000)
        settings.TxDelayMs = *ms;
    else
        AddProblem(settings.Problem,
                   "TxDelay=" + delay + ": not a number of milliseconds from 0 to 2000, 300 used");
    return settings;
}

bool ReadDrawMeasured(const std::filesystem::path& file) {
    return ReadProfileString(file, kChannelSection, "DrawMeasured", "0") == "1";
}

bool ReadDrawFootprint(const std::filesystem::path& file) {
    return ReadProfileString(file, kChannelSection, "DrawFootprint", "0") == "1";
}

TChannelModel::TChannelModel(TChannelSettings settings, std::function<double()> clock)
    : FSettings(std::move(settings)), FClock(clock ? std::move(clock) : SystemSeconds),
      FMeter([this] { return FClock(); }), FSilenceLimit(aprs::kSilenceNoteAfter) {
    FMeter.SetTxDelayMs(FSettings.TxDelayMs);
    FStatus = FSettings.Tnc ? "not listening yet"
                            : "no TNC set: add Tnc=kiss://HOST:PORT or agw://HOST:PORT to [" +
                                  std::string(kChannelSection) + "] in the settings file";
    FProblem = FSettings.Problem;
}

TChannelModel::~TChannelModel() {
    Stop();
}

void TChannelModel::Start() {
    if (!FSettings.Tnc || FLink)
        return;
    FLink = std::make_unique<aprs::TTncLink>(*FSettings.Tnc);
    FLink->SetSilenceLimit(FSilenceLimit);
    FLink->OnFrame = [this](std::string_view frame) { AddFrame(frame); };
    FLink->OnState = [this](const std::string& state) {
        std::lock_guard lock(FMutex);
        FStatus = state;
    };
    FLink->Start();
}

void TChannelModel::Stop() {
    if (FLink)
        FLink->Stop();
    FLink.reset();
}

void TChannelModel::AddFrame(std::string_view ax25) {
    FMeter.Add(aprs::MeterAx25(ax25));
}

void TChannelModel::SaveWindow(const std::filesystem::path& file) {
    std::ostringstream text;
    FMeter.Save(text);
    try {
        support::ReplaceFileWithText(file.string(), text.str());
    } catch (const std::exception& error) {
        throw std::runtime_error("cannot keep the measured channel in " + file.string() + ": " +
                                 error.what());
    }
}

void TChannelModel::RestoreWindow(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::exists(file, error))
        return;
    std::string problem;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    std::ifstream in(file, std::ios::binary);
    if (error || !in) {
        problem = "it cannot be read";
    } else if (size > kMaxWindowFileBytes) {
        problem = "it is larger than a kept window can be";
    } else {
        try {
            aprs::TChannelMeter check([this] { return FClock(); });
            const auto ended = static_cast<double>(check.Restore(in));
            const double now = FClock();
            // A window kept longer ago than it spans holds nothing that still
            // counts; one from ahead of this clock is not this machine's.
            if (ended <= now - static_cast<double>(aprs::TChannelStats::kWindowSeconds)) {
                problem = "it is older than 30 minutes";
            } else if (ended > now + 300.0) {
                problem = "it was written ahead of this machine's clock";
            } else {
                in.clear();
                in.seekg(0);
                FMeter.Restore(in);
            }
        } catch (const std::exception& damaged) {
            problem = std::string("it is damaged (") + damaged.what() + ")";
        }
    }
    if (problem.empty())
        return;
    std::lock_guard lock(FMutex);
    FProblem += (FProblem.empty() ? "" : "; ") + std::string("measured window in ") +
                file.string() + " not taken: " + problem + "; measuring from now";
}

aloha::TMeasuredRadius TChannelModel::Measure(const aloha::TListedStations& list,
                                              std::int32_t threshold) {
    return aloha::MeasureRadius(list, aprs::TChannelMeter::PerStation(FMeter.Figures()),
                                static_cast<std::uint64_t>(std::max(threshold, 0)));
}

std::vector<aloha::TFootprintMark> TChannelModel::FootprintMarks(const aloha::TListedStations& list,
                                                                 const aloha::TRunState& run) {
    if (!run.OwnCall.empty())
        FMeter.SetOwnCall(run.OwnCall);
    const aprs::TFootprint footprint =
        FMeter.Footprint(aprs::FootprintRunOf(list, run), FMeter.Figures());
    std::vector<aloha::TFootprintMark> marks;
    for (const aprs::TDigipeaterSeen& digi : footprint.digipeaters) {
        const bool again = std::any_of(marks.begin(), marks.end(), [&digi](const auto& mark) {
            return mark.Call == digi.call;
        });
        if (digi.place && !again)
            marks.push_back({digi.call, digi.place->second * 60.0, digi.place->first * 60.0});
    }
    return marks;
}

TChannelPicture TChannelModel::Picture(const aloha::TListedStations& list,
                                       const aloha::TRunState& run, std::size_t talkers) {
    TChannelPicture picture;
    const aprs::TChannelFigures figures = FMeter.Figures();
    const std::uint64_t threshold = static_cast<std::uint64_t>(std::max(run.PacketDensity, 0));
    const aloha::TMeasuredRadius radius =
        aloha::MeasureRadius(list, aprs::TChannelMeter::PerStation(figures), threshold);
    picture.MeasuredRadius =
        radius.Reached
            ? "Measured ALOHA radius: " + std::to_string(radius.RadiusKm) + " km"
            : "Measured ALOHA radius: not reached (" + std::to_string(radius.Total) + " frames)";
    picture.EstimatedRadius =
        run.PacketTotal >= run.PacketDensity
            ? "Estimated ALOHA radius: " + std::to_string(support::RoundHalfEven(run.RadiusKm)) +
                  " km"
            : "Estimated ALOHA radius: not reached (" + std::to_string(run.PacketTotal) +
                  " packets)";
    char line[160];
    std::snprintf(line, sizeof line, "Frames heard: %llu of %llu in 30 minutes",
                  static_cast<unsigned long long>(figures.frames),
                  static_cast<unsigned long long>(threshold));
    picture.Figures.emplace_back(line);
    std::snprintf(line, sizeof line, "Airtime: %.1f s (TX delay %.0f ms)", figures.airtimeSeconds,
                  figures.txDelaySeconds * 1000.0);
    picture.Figures.emplace_back(line);
    std::snprintf(line, sizeof line, "Occupancy: %.1f %%", figures.occupancyPercent);
    picture.Figures.emplace_back(figures.overfull
                                     ? std::string(line) + " (" + aprs::kOverfullNote + ")"
                                     : std::string(line));
    picture.Figures.push_back(
        "Stations heard: " + std::to_string(figures.stations) +
        ", not in the station list: " + std::to_string(radius.Unlisted.size()) + " (" +
        std::to_string(radius.UnlistedFrames) + " frames)");
    picture.Listed = radius.Heard;
    picture.Unlisted = radius.Unlisted;
    if (!run.OwnCall.empty())
        FMeter.SetOwnCall(run.OwnCall);
    picture.Footprint = FMeter.Footprint(aprs::FootprintRunOf(list, run), figures);
    picture.Path = aprs::FormatFootprint(picture.Footprint);

    {
        std::lock_guard lock(FMutex);
        picture.Status = FStatus;
        picture.Problem = FProblem;
    }
    // The timeline from the window's steps: work for the stations shown and
    // the window's length, however many frames came.
    picture.Timeline.airtimePerMinute = FMeter.AirtimePerMinute();
    for (const aprs::TChannelTalker& talker : figures.talkers) {
        if (picture.Timeline.talkers.size() >= talkers)
            break;
        TChannelTimeline::TTalker row{talker.name, talker.measured, {}};
        for (const auto& [at, kinds] : FMeter.StationSteps(talker.name))
            for (std::uint8_t kind = 0; kind <= static_cast<std::uint8_t>(aprs::TFrameKind::Other);
                 ++kind)
                if (kinds & aprs::KindBit(static_cast<aprs::TFrameKind>(kind)))
                    row.transmissions.emplace_back(at, static_cast<aprs::TFrameKind>(kind));
        picture.Timeline.talkers.push_back(std::move(row));
    }
    return picture;
}

} // namespace app
