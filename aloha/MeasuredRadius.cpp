#include "aloha/MeasuredRadius.h"

#include "aloha/Calculation.h"
#include "aloha/StationKind.h"
#include "support/TextRules.h"

#include <algorithm>
#include <unordered_set>

namespace aloha {

TListedStations ListStations(const TStationList& list) {
    TListedStations listed;
    listed.reserve(list.size());
    std::int32_t copies = 1;
    for (const std::unique_ptr<TStation>& station : list) {
        const TStationKind kind = StationKind(*station);
        listed.push_back({support::TrimBlanksAndControls(station->Call), station->Distance,
                          KindPackets(kind) * copies, station->Latitude, station->Longitude});
        // As the walk does: a digipeater multiplies what the stations after it send.
        if (kind == TStationKind::Digi || kind == TStationKind::WeatherDigi)
            copies = std::min(copies + 1, INT32_MAX / 64);
    }
    return listed;
}

TMeasuredRadius MeasureRadius(const TListedStations& list,
                              const std::unordered_map<std::string, std::uint64_t>& frames,
                              std::uint64_t threshold) {
    TMeasuredRadius result;
    std::unordered_set<std::string> counted;
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const TListedStation& station = list[i];
        if (!counted.insert(station.Call).second)
            continue;
        const auto found = frames.find(station.Call);
        const std::uint64_t measured = found == frames.end() ? 0 : found->second;
        if (measured > 0)
            result.Heard.push_back({station.Call, station.Distance, station.Estimated, measured});
        sum += measured;
        if (!result.Reached && sum >= threshold && measured > 0) {
            result.Reached = true;
            result.RadiusKm = station.Distance;
            result.Index = i;
            result.Total = sum;
        }
    }
    if (!result.Reached)
        result.Total = sum;
    for (const auto& [name, count] : frames)
        if (count > 0 && !counted.contains(name)) {
            result.Unlisted.push_back(name);
            result.UnlistedFrames += count;
        }
    std::sort(result.Unlisted.begin(), result.Unlisted.end());
    return result;
}

} // namespace aloha
