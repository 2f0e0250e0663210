// One full calculation run (gather, adjust, sort, accumulate, draw) on the
// embedded stand-in host, with panes that only keep their lines.
#include "tools/HeadlessRun.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

standin::TScenario MakeScenario(int count, bool allThirdParty) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> km(0.0f, 900.0f);
    std::uniform_int_distribution<int> kind(0, 9);
    standin::TScenario scenario;
    scenario.ownCallsign = "N0CALL";
    scenario.ownLat = 2580.0f;
    scenario.ownLong = -4200.0f;
    scenario.textX = scenario.ownLong;
    scenario.textY = scenario.ownLat;
    scenario.stations.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        standin::TScenarioStation s;
        s.callsign = "S" + std::to_string(i) + "-9";
        s.entry = standin::DefaultEntry(s.callsign);
        s.distance = km(rng);
        s.lat = scenario.ownLat + s.distance * 0.5f;
        s.lon = scenario.ownLong;
        s.lastHeardRF = "2026-12-08 12:00:00";
        s.path = "APRS,WIDE1-1,WIDE2-1";
        static const char* codes[] = {">", "k", "-", "-", "_", "#", "-", "y", "v", "&"};
        s.symbolTable = "/";
        s.symbolCode = codes[kind(rng)];
        s.speed = 40.0f;
        if (allThirdParty) {
            s.thirdParty = 1;
            s.path = "APRS,TCPIP,S" + std::to_string((i * 7919) % count) + "-9*";
        }
        scenario.stations.push_back(std::move(s));
    }
    return scenario;
}

void Run(benchmark::State& state, bool allThirdParty) {
    const int count = static_cast<int>(state.range(0));
    const standin::TScenario scenario = MakeScenario(count, allThirdParty);
    for (auto _ : state) {
        state.PauseTiming();
        tools::THeadlessRun run(scenario);
        run.Calculation.ReadOwnStation();
        state.ResumeTiming();
        run.Calculation.btnCalculateClick();
        benchmark::DoNotOptimize(run.Calculation.State.PacketTotal);
    }
    state.counters["per_station"] = benchmark::Counter(
        static_cast<double>(count),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetComplexityN(count);
}

void BM_FullRun(benchmark::State& state) {
    Run(state, false);
}
void BM_FullRunAllThirdParty(benchmark::State& state) {
    Run(state, true);
}

} // namespace

BENCHMARK(BM_FullRun)
    ->Arg(500)
    ->Arg(2000)
    ->Arg(32767)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);
BENCHMARK(BM_FullRunAllThirdParty)
    ->Arg(500)
    ->Arg(2000)
    ->Arg(32767)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oNLogN);
BENCHMARK_MAIN();
