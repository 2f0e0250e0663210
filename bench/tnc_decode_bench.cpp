// Decode throughput of the TNC path: KISS de-framing, AX.25 and APRS
// decoding, on recorded frames of the usual kinds.
#include "aprs/channel/ChannelStats.h"
#include "aprs/packets/AprsDecode.h"
#include "aprs/packets/Ax25.h"
#include "aprs/packets/Kiss.h"
#include "support/APRSParser.h"

#include <benchmark/benchmark.h>

using namespace aprs;

namespace {

std::string Recording() {
    const std::pair<const char*, const char*> packets[] = {
        {"APRS", "!4903.50N/07201.75W-Home station"},
        {"APRS", "@092345z4903.50N/07201.75W>088/036"},
        {"APRS", "=/5L!!<*e7>7P["},
        {"S32U6T", "`dI_n\"O>/"},
        {"APRS", ";LEADER   *092345z4903.50N/07201.75W>088/036"},
        {"APRS", "@092345z4903.50N/07201.75W_220/004g005t077r000p000P000h50b09900"},
        {"APRS", "}W1ABC>APRS,TCPIP,KB1IGT*:!4903.50N/07201.75W-"},
        {"APRS", ">status text"},
    };
    std::string stream;
    for (const auto& [dest, info] : packets)
        stream += KissEncode(EncodeAx25("N0CALL-9", dest, {"WIDE1-1*", "WIDE2-1"}, info));
    return stream;
}

void BM_KissAx25AprsDecode(benchmark::State& state) {
    support::InitializeAprsPatterns();
    const std::string stream = Recording();
    TKissDeframer deframer;
    std::int64_t packets = 0, placed = 0;
    deframer.OnFrame = [&](const TKissFrame& frame) {
        ++packets;
        const TAx25Result ax25 = DecodeAx25(frame.data);
        if (!ax25.frame)
            return;
        const TMonitorPacket packet{ax25.frame->source.call, ax25.frame->destination.call,
                                    MonitorPath(*ax25.frame), ax25.frame->information};
        const TAprsResult aprs = DecodeAprs(packet);
        placed += aprs.report && aprs.report->hasPosition;
    };
    for (auto _ : state)
        deframer.Feed(stream);
    benchmark::DoNotOptimize(placed);
    state.counters["packets/s"] =
        benchmark::Counter(static_cast<double>(packets), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_KissAx25AprsDecode);

void BM_MonitorLineDecode(benchmark::State& state) {
    support::InitializeAprsPatterns();
    const std::string line = "N0CALL-9>APRS,WIDE1-1*,WIDE2-1:@092345z4903.50N/07201.75W>088/036";
    std::int64_t packets = 0;
    for (auto _ : state) {
        const TMonitorResult monitor = ParseMonitorLine(line);
        benchmark::DoNotOptimize(DecodeAprs(*monitor.packet));
        ++packets;
    }
    state.counters["packets/s"] =
        benchmark::Counter(static_cast<double>(packets), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MonitorLineDecode);

// The packet classes real trackers, digipeaters and weather stations add:
// raw GPS, a position after leading text, Mic-E with extra precision, a
// locator square, positionless weather.
void BM_MoreClassesDecode(benchmark::State& state) {
    support::InitializeAprsPatterns();
    const std::vector<std::string> lines = {
        "TRK-9>GPS:$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A",
        "N1DIG>APN382,WIDE2-1:TNC-2 DIGI !4903.50N/07201.75W#",
        "N0CALL>S32U6T,WIDE1-1:`dI_n\"O>/!w5L!",
        "G0SQR>APRS:>IO91SX/G on the air",
        "WX>APRS:!!00000066013D000028710166--------0158053201200210",
    };
    std::int64_t packets = 0;
    for (auto _ : state)
        for (const std::string& line : lines) {
            const TMonitorResult monitor = ParseMonitorLine(line);
            benchmark::DoNotOptimize(DecodeAprs(*monitor.packet));
            ++packets;
        }
    state.counters["packets/s"] =
        benchmark::Counter(static_cast<double>(packets), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MoreClassesDecode);

// The channel measurement per frame: airtime bits and the sliding window,
// with 500 stations in it and a clock that moves a second a frame.
void BM_ChannelStatsPerFrame(benchmark::State& state) {
    double now = 0;
    TChannelStats stats([&] { return now; });
    std::vector<std::string> names;
    for (int i = 0; i < 500; ++i)
        names.push_back("N" + std::to_string(i) + "ABC");
    const std::string frame =
        EncodeAx25("N0CALL-9", "APRS", {"WIDE1-1*", "WIDE2-1"}, "!4903.50N/07201.75W-Home");
    std::size_t i = 0;
    for (auto _ : state) {
        stats.Add(names[i++ % names.size()], Ax25AirBits(frame));
        now += 1.0;
    }
    benchmark::DoNotOptimize(stats.Figures(10));
    state.counters["packets/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ChannelStatsPerFrame);

} // namespace

BENCHMARK_MAIN();
