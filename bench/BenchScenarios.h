#pragma once

#include "standin/model/Scenario.h"

#include <filesystem>
#include <random>
#include <string>

/// Station lists for the benchmarks: a fixed seed, distances spread evenly up
/// to maxKm, every kind of symbol, all heard on RF.
inline standin::TScenario BenchScenario(int count, float maxKm = 900.0f,
                                        bool allThirdParty = false) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> km(0.0f, maxKm);
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
            // Each station gated by another one of the list.
            s.thirdParty = 1;
            s.path = "APRS,TCPIP,S" + std::to_string((i * 7919) % count) + "-9*";
        }
        scenario.stations.push_back(std::move(s));
    }
    return scenario;
}

/// A file a benchmark writes for itself, removed when the program ends.
struct TTempFile {
    std::string Path;
    ~TTempFile() { std::filesystem::remove(Path); }
};
