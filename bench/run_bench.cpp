// One full calculation run (gather, adjust, sort, accumulate, draw) on the
// embedded stand-in host, with panes that only keep their lines.
#include "bench/BenchScenarios.h"
#include "tools/HeadlessRun.h"

#include <benchmark/benchmark.h>

namespace {

void Run(benchmark::State& state, bool allThirdParty) {
    const int count = static_cast<int>(state.range(0));
    const standin::TScenario scenario = BenchScenario(count, 900.0f, allThirdParty);
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
