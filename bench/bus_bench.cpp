// Host calls through the desktop bus: one call's round trip and a whole run
// on 2,000 stations, direct connection and through the bus daemon, side by
// side with the embedded host. Runs in a session bus of its own.
#include "bench/BenchScenarios.h"
#include "bench/BusBenchMain.h"
#include "host/bus/BusConnector.h"
#include "standin/bus/BusService.h"
#include "tools/HeadlessRun.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <unistd.h>

namespace {

/// The host served on the bus from this process, for all benchmarks.
standin::TBusService& Service() {
    static auto host = std::make_shared<standin::TStandinHost>(BenchScenario(2000, 400.0f));
    static standin::TBusService service(host);
    static const bool started = (service.Start(), true);
    (void)started;
    return service;
}

std::shared_ptr<host::IHostConnector> Connector(int route) {
    if (route == 0)
        return std::make_shared<standin::TEmbeddedConnector>(
            std::make_shared<standin::TStandinHost>(BenchScenario(2000, 400.0f)));
    Service();
    return host::TBusConnector::Attach(10000, route == 1);
}

const char* RouteName(int route) {
    return route == 0 ? "embedded" : route == 1 ? "bus direct" : "bus daemon";
}

void BM_CallRoundTrip(benchmark::State& state) {
    const int route = static_cast<int>(state.range(0));
    host::THostComponents components(Connector(route));
    components.Loaded();
    for (auto _ : state)
        benchmark::DoNotOptimize(components.clsUIV.GetStationCount());
    state.SetLabel(RouteName(route));
}

void BM_Run2000(benchmark::State& state) {
    const int route = static_cast<int>(state.range(0));
    tools::THeadlessRun run(Connector(route));
    run.Calculation.ReadOwnStation();
    for (auto _ : state) {
        run.Calculation.btnCalculateClick();
        benchmark::DoNotOptimize(run.Calculation.State.PacketTotal);
    }
    state.SetLabel(RouteName(route));
}

} // namespace

BENCHMARK(BM_CallRoundTrip)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Run2000)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv) {
    return RunBenchmarksOnOwnBus(argc, argv);
}
