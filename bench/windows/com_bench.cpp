// Side by side in one run: one host call and a whole run on 2,000 stations,
// with the stand-in host embedded and out of process over COM. Run it on
// Windows, or under Wine with the stand-in host registered.

#include "bench/BenchScenarios.h"
#include "host/com/ComConnector.h"
#include "host/com/ComSupport.h"
#include "support/TextRules.h"
#include "tests/windows/HostProcess.h"
#include "tools/HeadlessRun.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The scenario as a file the host program loads.
std::string WriteScenario(const standin::TScenario& scenario) {
    nlohmann::json stations = nlohmann::json::array();
    for (const standin::TScenarioStation& s : scenario.stations)
        stations.push_back({{"callsign", s.callsign},
                            {"symbolTable", s.symbolTable},
                            {"symbolCode", s.symbolCode},
                            {"path", s.path},
                            {"lastHeardRF", s.lastHeardRF},
                            {"lastHeardInternet", s.lastHeardInternet},
                            {"speed", s.speed},
                            {"distance", s.distance},
                            {"lat", s.lat},
                            {"long", s.lon},
                            {"thirdParty", s.thirdParty},
                            {"entry", s.entry}});
    const nlohmann::json file = {{"own",
                                  {{"callsign", scenario.ownCallsign},
                                   {"lat", scenario.ownLat},
                                   {"long", scenario.ownLong}}},
                                 {"map", {{"textX", scenario.textX}, {"textY", scenario.textY}}},
                                 {"stations", stations}};
    char directory[MAX_PATH];
    ::GetTempPathA(MAX_PATH, directory);
    const std::string path = std::string(directory) + "velloran-bench-2000.json";
    std::ofstream(path) << file.dump();
    return path;
}

// Seconds per call of GetStationCount, over the given number of calls.
double OneCall(host::TclsUIV& uiv, int calls) {
    const auto start = Clock::now();
    for (int i = 0; i < calls; ++i)
        uiv.GetStationCount();
    return SecondsSince(start) / calls;
}

// Seconds per call of each operation a run makes for a station, on the first
// station of the list.
void PerOperation(host::THostComponents& components, int calls, const char* route) {
    std::int16_t index = 0;
    const std::string call =
        support::TrimBlanksAndControls(components.clsUIV.GetStationListEntry(index).substr(1, 9));
    auto info = components.clsStationInfo.DefaultInterface();
    const auto time = [&](const char* name, const std::function<void()>& operation) {
        const auto start = Clock::now();
        for (int i = 0; i < calls; ++i)
            operation();
        std::printf("| %s | %s | %.3f us |\n", route, name, SecondsSince(start) / calls * 1e6);
    };
    time("GetStationListEntry", [&] {
        std::int16_t i = 0;
        components.clsUIV.GetStationListEntry(i);
    });
    time("SetCallsign", [&] { info->SetCallsign(call); });
    time("GetStationInfo", [&] { components.clsUIV.GetStationInfo(info); });
    time("GetPath (text)", [&] { info->GetPath(); });
    time("GetDistance (single)", [&] { info->GetDistance(); });
}

// Median seconds of whole runs (the own station read once before).
double WholeRun(tools::THeadlessRun& run, int runs) {
    run.Calculation.ReadOwnStation();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        run.Connector->ClearMapCalls();
        const auto start = Clock::now();
        run.Calculation.btnCalculateClick();
        times.push_back(SecondsSince(start));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main() {
    const host::com::TApartment apartment;
    const standin::TScenario scenario = BenchScenario(2000);

    tools::THeadlessRun embedded(scenario);
    const double embeddedCall = OneCall(embedded.Components.clsUIV, 200000);
    const double embeddedRun = WholeRun(embedded, 5);

    const comtest::THostProcess hostProcess("--scenario \"" + WriteScenario(scenario) + "\"");
    tools::THeadlessRun overCom(std::make_shared<host::TComConnector>());
    const double comCall = OneCall(overCom.Components.clsUIV, 2000);
    const double comRun = WholeRun(overCom, 1);

    std::printf("| route | operation | one call |\n|---|---|---:|\n");
    PerOperation(embedded.Components, 100000, "embedded");
    PerOperation(overCom.Components, 500, "COM");

    std::printf("\n| route | one call | 2,000-station run |\n|---|---:|---:|\n");
    std::printf("| embedded host | %.3f us | %.1f ms |\n", embeddedCall * 1e6, embeddedRun * 1e3);
    std::printf("| COM, out of process | %.1f us | %.1f s |\n", comCall * 1e6, comRun);
    std::printf(
        "COM / embedded: one call %.0f times, a run %.0f times; a run is about %.0f calls\n",
        comCall / embeddedCall, comRun / embeddedRun, comRun / comCall);
    return 0;
}
