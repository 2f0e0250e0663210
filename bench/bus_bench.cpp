// Host calls through the desktop bus: one call's round trip and a whole run
// on 2,000 stations, direct connection and through the bus daemon, side by
// side with the embedded host. Runs in a session bus of its own.
#include "host/BusConnector.h"
#include "standin/BusService.h"
#include "tools/HeadlessRun.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <unistd.h>

namespace {

standin::TScenario Stations(int count) {
    std::mt19937 rng(2026);
    std::uniform_real_distribution<float> km(0.0f, 400.0f);
    standin::TScenario scenario;
    scenario.ownCallsign = "N0CALL";
    scenario.ownLat = 2580.0f;
    scenario.ownLong = -4200.0f;
    scenario.textX = scenario.ownLong;
    scenario.textY = scenario.ownLat;
    for (int i = 0; i < count; ++i) {
        standin::TScenarioStation s;
        s.callsign = "S" + std::to_string(i) + "-9";
        s.entry = standin::DefaultEntry(s.callsign);
        s.distance = km(rng);
        s.lat = scenario.ownLat + s.distance * 0.5f;
        s.lon = scenario.ownLong;
        s.lastHeardRF = "2026-12-08 12:00:00";
        s.path = "APRS,WIDE1-1,WIDE2-1";
        s.symbolTable = "/";
        s.symbolCode = i % 3 ? "-" : ">";
        s.speed = 30.0f;
        scenario.stations.push_back(std::move(s));
    }
    return scenario;
}

/// The host served on the bus from this process, for all benchmarks.
standin::TBusService& Service() {
    static auto host = std::make_shared<standin::TStandinHost>(Stations(2000));
    static standin::TBusService service(host);
    static const bool started = (service.Start(), true);
    (void)started;
    return service;
}

std::shared_ptr<host::IHostConnector> Connector(int route) {
    if (route == 0)
        return std::make_shared<standin::TEmbeddedConnector>(
            std::make_shared<standin::TStandinHost>(Stations(2000)));
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
    if (!std::getenv("VELLORAN_BENCH_BUS")) {
        setenv("VELLORAN_BENCH_BUS", "1", 1);
        std::vector<char*> args{const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        args.insert(args.end(), argv, argv + argc);
        args.push_back(nullptr);
        execvp("dbus-run-session", args.data());
        perror("dbus-run-session");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
