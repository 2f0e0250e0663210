#pragma once

#include "tools/OwnSessionBus.h"

#include <benchmark/benchmark.h>

/// The main of a benchmark that talks over the session bus: it runs on a bus
/// of its own, so that nothing else on the desktop's bus is measured.
inline int RunBenchmarksOnOwnBus(int argc, char** argv) {
    tools::RunInOwnSessionBus(argc, argv, "VELLORAN_BENCH_BUS");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
