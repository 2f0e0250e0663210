// Coverage-guided fuzzing of the coastline reader: bins, segments and points
// that do not fit together must be refused with an error, never read out of
// bounds. (The netCDF and HDF5 libraries that take these tables out of the
// file are not ours and crash on damaged files within seconds of fuzzing:
// the host reads the files in a child process.)
#include "standin/map/Coastline.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace {

template <class T> std::vector<T> List(FuzzedDataProvider& data) {
    std::vector<T> values(data.ConsumeIntegralInRange<std::size_t>(0, 64));
    for (T& value : values)
        value =
            data.ConsumeBool() ? data.ConsumeIntegralInRange<T>(-2, 70) : data.ConsumeIntegral<T>();
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    const bool border = data.ConsumeBool();
    standin::TBins bins;
    // Mostly sizes that divide the globe, so that the tables are looked at.
    bins.binMinutes = data.ConsumeBool() ? data.PickValueInArray({20, 60, 180, 600, 1800, 10800})
                                         : data.ConsumeIntegral<int>();
    bins.binsAcross = data.ConsumeBool() && bins.binMinutes > 0 ? 360 * 60 / bins.binMinutes
                                                                : data.ConsumeIntegral<int>();
    bins.firstSegment = List<int>(data);
    bins.segmentsInBin = List<short>(data);
    bins.firstPoint = List<int>(data);
    bins.points = List<int>(data);
    bins.dx = List<short>(data);
    bins.dy = List<short>(data);
    try {
        standin::LinesOfBins(bins, border);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
