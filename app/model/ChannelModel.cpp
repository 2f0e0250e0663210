#include "app/model/ChannelModel.h"

#include "app/model/ProfileFile.h"
#include "aprs/TncLink.h"
#include "support/TextRules.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unordered_map>

namespace app {

namespace {

constexpr double kWindowSeconds = 1800.0;

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
            settings.Problem = "Tnc=" + tnc + ": " + reason;
    }
    const std::string draw = ReadProfileString(file, kChannelSection, "DrawMeasured", "0");
    if (draw != "0" && draw != "1" && settings.Problem.empty())
        settings.Problem = "DrawMeasured=" + draw + ": 0 or 1";
    const std::string delay = ReadProfileString(file, kChannelSection, "TxDelay", "300");
    const std::optional<std::int32_t> ms = support::ParseIntText(delay);
    if (ms && *ms >= 0 && *ms <= 2000) {
        settings.TxDelayMs = *ms;
    } else if (settings.Problem.empty()) {
        settings.Problem = "TxDelay=" + delay + ": not a number of milliseconds from 0 to 2000";
    }
    return settings;
}

bool ReadDrawMeasured(const std::filesystem::path& file) {
    return ReadProfileString(file, kChannelSection, "DrawMeasured", "0") == "1";
}

TChannelModel::TChannelModel(TChannelSettings settings, std::function<double()> clock)
    : FSettings(std::move(settings)), FClock(clock ? std::move(clock) : SystemSeconds),
      FMeter([this] { return FClock(); }), FSilenceLimit(aprs::kSilenceNoteAfter) {
    FMeter.SetTxDelayMs(FSettings.TxDelayMs);
    FStatus = FSettings.Tnc ? "not listening yet"
                            : "no TNC set: add Tnc=kiss://HOST:PORT or agw://HOST:PORT to [" +
                                  std::string(kChannelSection) + "] in the settings file";
    if (!FSettings.Problem.empty())
        FStatus = FSettings.Problem;
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

void TChannelModel::Forget(double now) {
    while (!FFrames.empty() && FFrames.front().time <= now - kWindowSeconds)
        FFrames.pop_front();
}

void TChannelModel::AddFrame(std::string_view ax25) {
    const aprs::TMeteredFrame frame = aprs::MeterAx25(ax25);
    FMeter.Add(frame);
    std::lock_guard lock(FMutex);
    const double now = FClock();
    Forget(now);
    FFrames.push_back({now, frame.station, frame.kind, frame.airBits});
}

aloha::TMeasuredRadius TChannelModel::Measure(const aloha::TListedStations& list,
                                              std::int32_t threshold) {
    return aloha::MeasureRadius(list, aprs::TChannelMeter::PerStation(FMeter.Figures()),
                                static_cast<std::uint64_t>(std::max(threshold, 0)));
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

    std::lock_guard lock(FMutex);
    picture.Status = FStatus;
    const double now = FClock();
    Forget(now);
    const double start = now - kWindowSeconds;
    std::unordered_map<std::string, std::size_t> index;
    std::vector<TChannelTimeline::TTalker> all;
    const double txDelay = FSettings.TxDelayMs / 1000.0;
    for (const TFrame& frame : FFrames) {
        const double at = std::clamp(frame.time - start, 0.0, kWindowSeconds);
        const int minute = std::min(static_cast<int>(at / 60.0), TChannelTimeline::kMinutes - 1);
        picture.Timeline.airtimePerMinute[static_cast<std::size_t>(minute)] +=
            txDelay + static_cast<double>(frame.airBits) / aprs::kChannelBaud;
        if (frame.station.empty())
            continue;
        auto [found, added] = index.emplace(frame.station, all.size());
        if (added)
            all.push_back({frame.station, 0, {}});
        TChannelTimeline::TTalker& talker = all[found->second];
        ++talker.frames;
        talker.transmissions.emplace_back(at, frame.kind);
    }
    const std::size_t top = std::min(talkers, all.size());
    std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(top), all.end(),
                      [](const auto& a, const auto& b) {
                          return a.frames != b.frames ? a.frames > b.frames : a.name < b.name;
                      });
    all.resize(top);
    picture.Timeline.talkers = std::move(all);
    return picture;
}

} // namespace app
