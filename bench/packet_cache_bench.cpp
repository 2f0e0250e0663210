// Store and FindByKey on caches of 1,000, 10,000 and 100,000 records. Both
// are linear scans, so their cost per call grows with the number of records.
#include "support/APRSCache.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace support;

namespace {

std::string KeyOf(std::int64_t i) {
    return "ST" + std::to_string(i);
}

std::unique_ptr<TPacketCache> FilledCache(std::int64_t records) {
    auto cache = std::make_unique<TPacketCache>();
    cache->SetAutoPurge(false);
    for (std::int64_t i = 0; i < records; ++i) {
        auto packet = std::make_unique<TPacket>();
        packet->Key = KeyOf(i);
        packet->Time = 45000.0;
        cache->Add(std::move(packet));
    }
    return cache;
}

// A packet for a key that is held, in the middle of the list: the common case
// of a station heard again.
void BM_StoreReplace(benchmark::State& state) {
    const auto cache = FilledCache(state.range(0));
    const std::string key = KeyOf(state.range(0) / 2);
    for (auto _ : state) {
        auto packet = std::make_unique<TPacket>();
        packet->Key = key;
        packet->Time = 45000.0;
        benchmark::DoNotOptimize(cache->Store(std::move(packet)));
    }
}

// A packet for a new key: the whole list is scanned before the append. The
// appended record is removed again outside the timing, so the size stays put.
void BM_StoreNew(benchmark::State& state) {
    const auto cache = FilledCache(state.range(0));
    TPacket probe;
    probe.Key = "NEWKEY";
    for (auto _ : state) {
        auto packet = std::make_unique<TPacket>();
        packet->Key = probe.Key;
        packet->Time = 45000.0;
        benchmark::DoNotOptimize(cache->Store(std::move(packet)));
        state.PauseTiming();
        cache->Remove(probe);
        state.ResumeTiming();
    }
}

// The middle record, found ignoring case.
void BM_FindByKeyHit(benchmark::State& state) {
    const auto cache = FilledCache(state.range(0));
    const std::string key = "st" + std::to_string(state.range(0) / 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(cache->FindByKey(key));
    }
}

// A key that is not held: the whole list is scanned.
void BM_FindByKeyMiss(benchmark::State& state) {
    const auto cache = FilledCache(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(cache->FindByKey("NOSUCHKEY"));
    }
}

} // namespace

BENCHMARK(BM_StoreReplace)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_StoreNew)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_FindByKeyHit)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(BM_FindByKeyMiss)->Arg(1000)->Arg(10000)->Arg(100000);

BENCHMARK_MAIN();
