// The Channel window's model under a frame flood: a TNC that sends as fast
// as it can, 2,000 stations heard over and over, 4 million frames within 15
// minutes of the window's clock, then across an hour. A reader thread feeds the
// model, as the link does, while the window's thread takes a picture every
// 50 ms. Reported: frames taken per second, the memory the process gained,
// and the longest and the mean picture (the time the window's thread is
// busy with one refresh). Then the path footprint's cost beside it.
#include "app/model/ChannelModel.h"
#include "aprs/packets/Ax25.h"
#include "support/APRSParser.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

double ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4096.0 / (1024.0 * 1024.0);
}

std::vector<std::string> Frames() {
    const char* infos[] = {"=4230.00N/07100.00W>088/036 mobile",
                           "_10090556c220s004g005t077r000p000P000h50b09900", ":N0CALL   :hello{1",
                           ">status text", "T#005,199,000,255,073,123,01101001"};
    std::vector<std::string> frames;
    for (int i = 0; i < 2000; ++i)
        frames.push_back(aprs::EncodeAx25("N" + std::to_string(i) + "AB-9", "APRS",
                                          {"WIDE1-1", "WIDE2-1"}, infos[i % 5]));
    return frames;
}

void BM_ChannelFlood(benchmark::State& state) {
    support::InitializeAprsPatterns();
    const std::vector<std::string> frames = Frames();
    const std::int64_t total = state.range(0);
    for (auto _ : state) {
        // The flood spans the given seconds of the model's clock: within the
        // window (all frames count at the end) or across it twice.
        std::atomic<std::int64_t> fed{0};
        const double start = 1'800'000'000.0;
        const auto span = static_cast<double>(state.range(1));
        const auto clock = [&fed, start, span, total] {
            return start + span * static_cast<double>(fed.load()) / static_cast<double>(total);
        };
        const double before = ResidentMegabytes();
        double peak = before;
        app::TChannelModel model(app::TChannelSettings{}, clock);
        const auto began = std::chrono::steady_clock::now();
        std::thread reader([&] {
            for (std::int64_t i = 0; i < total; ++i) {
                model.AddFrame(frames[static_cast<std::size_t>(i) % frames.size()]);
                fed.store(i + 1);
            }
        });
        aloha::TListedStations list;
        for (int i = 0; i < 100; ++i)
            list.push_back({"N" + std::to_string(i) + "AB-9", i + 1, 15});
        double longest = 0, sum = 0;
        int pictures = 0;
        while (fed.load() < total) {
            const auto t0 = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(model.Picture(list, {}));
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                    .count();
            longest = std::max(longest, ms);
            sum += ms;
            ++pictures;
            peak = std::max(peak, ResidentMegabytes());
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        reader.join();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        state.counters["frames_per_s"] = static_cast<double>(total) / seconds;
        state.counters["rss_gain_MB"] = std::max(peak, ResidentMegabytes()) - before;
        state.counters["picture_max_ms"] = longest;
        state.counters["picture_mean_ms"] = pictures > 0 ? sum / pictures : 0.0;
    }
    support::FinalizeAprsPatterns();
}
BENCHMARK(BM_ChannelFlood)
    ->Args({4'000'000, 900})
    ->Args({4'000'000, 3600})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

/// The path footprint's share of the listener's work on a channel of 10,000
/// stations, each with a path through a digipeater and a position, and the
/// own station's packets with their digipeated copies among them. Side by
/// side in one run, in alternating rounds: the frames counted as the meter
/// counted them before (decoded, then into the channel window) and as it
/// counts them now (the footprint's tracker too); a refresh's figures alone
/// and with the footprint and the table from beyond the radius. Reported as
/// ratios of the medians; the aim for listening is under 1.10. A refresh
/// walks every station heard for the table from beyond the radius, so it is
/// compared with the figures' own walk; the Channel window refreshes every
/// two seconds.
void BM_FootprintCost(benchmark::State& state) {
    support::InitializeAprsPatterns();
    // With the own station, as many as the window keeps.
    constexpr int kStations = 9'999;
    std::vector<std::string> frames;
    for (int i = 0; i < kStations; ++i) {
        char info[64];
        std::snprintf(info, sizeof info, "!%02d%02d.00N/07%02d%02d.00W-home", 40 + i % 8, i % 60,
                      i % 10, (i / 10) % 60);
        frames.push_back(aprs::EncodeAx25("N" + std::to_string(i) + "AB", "APRS",
                                          {"D" + std::to_string(i % 50) + "GI*", "WIDE2-1"}, info));
        if (i % 100 == 0) // the own beacon and a copy two hops out
            frames.push_back(aprs::EncodeAx25("N0CALL", "APRS", {"D1GI", "D2GI", "WIDE2*"},
                                              "!4300.00N/07000.00W-own " + std::to_string(i)));
    }
    aloha::TListedStations list;
    for (int i = 0; i < kStations; i += 2)
        list.push_back({"N" + std::to_string(i) + "AB", i / 100, 2});
    aloha::TRunState run;
    run.OwnCall = "N0CALL";
    run.OwnStationKnown = true;
    run.OwnLatitude = 43.0 * 60;
    run.OwnLongitude = -70.0 * 60;
    run.PacketTotal = 1800;
    run.RadiusKm = 40;
    const aprs::TFootprintRun footprintRun = aprs::FootprintRunOf(list, run);
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    const auto seconds = [](auto&& work) {
        const auto t0 = std::chrono::steady_clock::now();
        work();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    for (auto _ : state) {
        std::vector<double> before, now, figures, footprint;
        double clock = 1'800'000'000.0;
        for (int round = 0; round < 11; ++round) {
            std::mutex mutex;
            aprs::TChannelStats stats([&clock] { return clock; });
            aprs::TChannelMeter meter([&clock] { return clock; });
            meter.SetOwnCall("N0CALL");
            // Ten passes over the channel a round, a second of the clock
            // apart; which goes first changes from round to round.
            const auto counted = [&] {
                return seconds([&] {
                    for (int pass = 0; pass < 10; ++pass, clock += 1)
                        for (const std::string& frame : frames) {
                            const aprs::TMeteredFrame metered = aprs::MeterAx25(frame);
                            std::lock_guard lock(mutex);
                            stats.Add(metered.station, metered.airBits,
                                      aprs::KindBit(metered.kind));
                        }
                });
            };
            const auto traced = [&] {
                return seconds([&] {
                    for (int pass = 0; pass < 10; ++pass, clock += 1)
                        for (const std::string& frame : frames)
                            meter.Add(aprs::MeterAx25(frame));
                });
            };
            if (round % 2 == 0) {
                before.push_back(counted());
                now.push_back(traced());
            } else {
                now.push_back(traced());
                before.push_back(counted());
            }
            aprs::TChannelFigures taken;
            figures.push_back(seconds([&] { taken = meter.Figures(); }));
            footprint.push_back(seconds([&] {
                benchmark::DoNotOptimize(meter.Figures());
                benchmark::DoNotOptimize(
                    aprs::FormatFootprint(meter.Footprint(footprintRun, taken)));
            }));
        }
        state.counters["listen_before_ms"] = median(before) * 1000;
        state.counters["listen_now_ms"] = median(now) * 1000;
        state.counters["listen_ratio"] = median(now) / median(before);
        state.counters["refresh_before_ms"] = median(figures) * 1000;
        state.counters["refresh_now_ms"] = median(footprint) * 1000;
        state.counters["refresh_ratio"] = median(footprint) / median(figures);
    }
    support::FinalizeAprsPatterns();
}
BENCHMARK(BM_FootprintCost)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
