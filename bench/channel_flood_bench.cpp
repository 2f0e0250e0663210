// The Channel window's model under a frame flood: a TNC that sends as fast
// as it can, 2,000 stations heard over and over, 4 million frames within 15
// minutes of the window's clock, then across an hour. A reader thread feeds the
// model, as the link does, while the window's thread takes a picture every
// 50 ms. Reported: frames taken per second, the memory the process gained,
// and the longest and the mean picture (the time the window's thread is
// busy with one refresh).
#include "app/model/ChannelModel.h"
#include "aprs/packets/Ax25.h"
#include "support/APRSParser.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <fstream>
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

} // namespace

BENCHMARK_MAIN();
