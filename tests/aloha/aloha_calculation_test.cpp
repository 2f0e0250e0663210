#include "tools/HeadlessRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

using aloha::TCalculation;
using aloha::TStation;
using standin::TMapCall;
using standin::TScenario;
using standin::TScenarioStation;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

TScenarioStation St(std::string call, float distance, std::string table = "/",
                    std::string code = "-", float speed = 0.0f) {
    TScenarioStation s;
    s.callsign = std::move(call);
    s.entry = standin::DefaultEntry(s.callsign);
    s.distance = distance;
    s.symbolTable = std::move(table);
    s.symbolCode = std::move(code);
    s.speed = speed;
    s.lastHeardRF = "2026-12-08 12:00:00";
    s.path = "APRS,WIDE2-1";
    // Place the station due north, half a unit of latitude per km (exact in floats).
    s.lat = 2580.0f + distance * 0.5f;
    s.lon = -4200.0f;
    return s;
}

TScenarioStation ThirdParty(std::string call, float distance, std::string path,
                            std::string code = "-") {
    TScenarioStation s = St(std::move(call), distance, "/", std::move(code));
    s.thirdParty = 1;
    s.path = std::move(path);
    return s;
}

TScenario Scenario(std::vector<TScenarioStation> stations) {
    TScenario scenario;
    scenario.ownCallsign = "n0call";
    scenario.ownLat = 2580.0f; // 43 degrees north
    scenario.ownLong = -4200.0f;
    scenario.textX = -4230.0f;
    scenario.textY = 2600.0f;
    scenario.stations = std::move(stations);
    return scenario;
}

/// A calculation on an embedded stand-in host, own station read.
struct TestRun {
    explicit TestRun(TScenario scenario) : R(std::move(scenario)) {
        R.Calculation.ReadOwnStation();
    }

    /// Runs only the steps up to and including sorting, on a list of its own.
    void GatherAdjustSort() {
        R.Calculation.UseStationList(std::make_unique<aloha::TStationList>());
        R.Calculation.GatherRFStations();
        R.Calculation.AdjustThirdPartyDistances();
        R.Calculation.SortStationsByDistance();
    }
    std::vector<std::string> Calls() {
        std::vector<std::string> calls;
        for (const auto& s : *R.Calculation.Stations())
            calls.push_back(s->Call);
        return calls;
    }
    std::vector<std::int32_t> Distances() {
        std::vector<std::int32_t> distances;
        for (const auto& s : *R.Calculation.Stations())
            distances.push_back(s->Distance);
        return distances;
    }
    std::vector<std::string> MapLines() {
        std::vector<std::string> lines;
        for (const TMapCall& call : R.Host->MapCalls())
            lines.push_back(standin::FormatMapCall(call));
        return lines;
    }
    std::vector<const TMapCall*> Circles() {
        std::vector<const TMapCall*> circles;
        for (const TMapCall& call : R.Host->MapCalls())
            if (call.kind == TMapCall::Kind::DrawCircle)
                circles.push_back(&call);
        return circles;
    }
    bool DetailsHave(const std::string& line) {
        return std::find(R.Panes.Details.begin(), R.Panes.Details.end(), line) !=
               R.Panes.Details.end();
    }
    bool SummaryHas(const std::string& line) {
        return std::find(R.Panes.Summary.begin(), R.Panes.Summary.end(), line) !=
               R.Panes.Summary.end();
    }
    TCalculation& Calc() { return R.Calculation; }

    tools::THeadlessRun R;
};

std::vector<TScenarioStation> Mobiles(int count, float firstKm = 1.0f) {
    std::vector<TScenarioStation> list;
    for (int i = 0; i < count; ++i)
        list.push_back(St("M" + std::to_string(i), firstKm + static_cast<float>(i), "/", ">", 50));
    return list;
}

} // namespace

// --- gathering -----------------------------------------------------------

TEST(Gathering, CallSignComesFromTheEntryText) {
    auto starred = St("W1ABC", 5);
    starred.entry = " W1ABC*   ";
    auto shortEntry = St("", 6); // an entry shorter than two characters selects ""
    shortEntry.entry = "X";
    auto padded = St("K1XX-9", 7);
    padded.entry = "\t K1XX-9\r\n   tail beyond ten";
    TestRun run(Scenario({starred, shortEntry, padded}));
    run.GatherAdjustSort();
    EXPECT_THAT(run.Calls(), ElementsAre("W1ABC", "", "K1XX-9"));
}

TEST(Gathering, OnlyStationsHeardOnRF) {
    auto internetOnly = St("NET1", 3);
    internetOnly.lastHeardRF = "";
    internetOnly.lastHeardInternet = "2026-12-08 12:00:00";
    const TScenario scenario = Scenario({St("RF1", 4), internetOnly});

    TestRun normal(scenario);
    normal.R.Options.Internet = true; // ignored outside debug mode
    normal.GatherAdjustSort();
    EXPECT_THAT(normal.Calls(), ElementsAre("RF1"));
    EXPECT_EQ(normal.R.Panes.Summary.back(), "-Sorting station list by distance from this station");
    EXPECT_TRUE(normal.SummaryHas("-There are 2 total stations in your station list"));
    EXPECT_TRUE(normal.SummaryHas("-There are 1 RF stations in your station list"));

    TestRun debug(scenario);
    debug.R.Options.Debug = true;
    debug.R.Options.Internet = true;
    debug.GatherAdjustSort();
    EXPECT_THAT(debug.Calls(), ElementsAre("NET1", "RF1"));
    // The record holds the host's text, without the blank that let it in.
    EXPECT_EQ(debug.Calc().Stations()->front()->LastHeardRF, "");
}

TEST(Gathering, FieldsAndRounding) {
    auto a = St("A", 2.5f, "", "", 1.5f);
    a.thirdParty = -1;
    a.path = "APRS,A*"; // gated by itself: keeps its own distance
    a.lastHeardInternet = "yesterday";
    auto b = St("B", 3.5f, "\\k", "kx", 2.5f);
    auto c = St("C", 0.5f, "/", ">", 0.5f);
    TestRun run(Scenario({a, b, c}));
    run.GatherAdjustSort();
    const auto& list = *run.Calc().Stations();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]->Call, "C");
    EXPECT_EQ(list[0]->Distance, 0); // 0.5 rounds to even
    EXPECT_EQ(list[0]->Speed, 0);
    EXPECT_EQ(list[1]->Call, "A");
    EXPECT_EQ(list[1]->Distance, 2);
    EXPECT_EQ(list[1]->Speed, 2);
    EXPECT_EQ(list[1]->SymbolTable, '\0'); // empty symbol text
    EXPECT_EQ(list[1]->SymbolCode, '\0');
    EXPECT_TRUE(list[1]->ThirdParty); // -1 is true
    EXPECT_EQ(list[1]->Path, "APRS,A*");
    EXPECT_EQ(list[1]->LastHeardInternet, "yesterday");
    EXPECT_EQ(list[2]->Distance, 4); // 3.5 rounds to even
    EXPECT_EQ(list[2]->Speed, 2);    // 2.5 rounds to even
    EXPECT_EQ(list[2]->SymbolTable, '\\');
    EXPECT_EQ(list[2]->SymbolCode, 'k');
    EXPECT_FLOAT_EQ(list[2]->Latitude, 2580.0f + 3.5f * 0.5f);
    EXPECT_EQ(list[2]->Longitude, -4200.0f);
}

namespace {

/// A host application object that meddles: it changes the index it is given
/// and hands back another station object than the one it was given.
class TMeddlingHost : public host::_clsUIV {
public:
    TMeddlingHost(std::shared_ptr<host::_clsUIV> inner,
                  std::shared_ptr<host::_clsStationInfo> replacement)
        : FInner(std::move(inner)), FReplacement(std::move(replacement)) {}
    std::int16_t GetStationInfo(std::shared_ptr<host::_clsStationInfo>& info) override {
        FInner->GetStationInfo(info);
        FReplacement->SetCallsign("REPL");
        FInner->GetStationInfo(FReplacement);
        info = FReplacement;
        return 0;
    }
    void RefreshMap() override { FInner->RefreshMap(); }
    std::shared_ptr<host::_clsUIVMap> GetMap() override { return FInner->GetMap(); }
    std::int16_t GetStationCount() override { return FInner->GetStationCount(); }
    std::string GetStationListEntry(std::int16_t& index) override {
        std::string entry = FInner->GetStationListEntry(index);
        index = 0;
        return entry;
    }
    void GetMyInfo(std::shared_ptr<host::_clsMyInfo>& info) override { FInner->GetMyInfo(info); }

private:
    std::shared_ptr<host::_clsUIV> FInner;
    std::shared_ptr<host::_clsStationInfo> FReplacement;
};

class TMeddlingConnector : public host::IHostConnector {
public:
    explicit TMeddlingConnector(std::shared_ptr<standin::TStandinHost> host) : FEmbedded(host) {}
    std::shared_ptr<host::IHostObject> GetObject(host::Guid classId,
                                                 host::TConnectKind kind) override {
        if (classId != host::CLASS_clsUIV)
            return FEmbedded.GetObject(classId, kind);
        return std::make_shared<TMeddlingHost>(
            host::QueryInterface<host::_clsUIV>(FEmbedded.GetObject(classId, kind)),
            host::QueryInterface<host::_clsStationInfo>(
                FEmbedded.GetObject(host::CLASS_clsStationInfo, kind)));
    }

private:
    standin::TEmbeddedConnector FEmbedded;
};

} // namespace

TEST(Gathering, MeddlingHostDoesNotDisturbTheLoopAndReplacementIsRead) {
    auto host = std::make_shared<standin::TStandinHost>(
        Scenario({St("A", 1), St("B", 2), St("C", 3), St("REPL", 9)}));
    host::THostComponents components(std::make_shared<TMeddlingConnector>(host));
    components.Loaded();
    tools::TLinePanes panes;
    tools::THeadlessWindow window;
    tools::TFixedOptions options;
    TCalculation calc(components, panes, window, options);
    calc.UseStationList(std::make_unique<aloha::TStationList>());
    calc.GatherRFStations();
    ASSERT_EQ(calc.Stations()->size(), 4u); // every index visited once
    for (const auto& station : *calc.Stations()) {
        EXPECT_EQ(station->Call, "REPL");
        EXPECT_EQ(station->Distance, 9);
    }
}

// --- third-party adjustment ----------------------------------------------

TEST(ThirdParty, IGateIsTheCallBeforeTheLastStar) {
    struct Case {
        std::string path;
        std::string igate;
    };
    const std::vector<Case> cases = {
        {"WIDE1-1,KB1XYZ*,qAR", "KB1XYZ"},       {"KB1XYZ*", "????"},
        {"APRS,W1AAA*,KB1XYZ-10*", "KB1XYZ-10"}, {"apRS,tcpip,kb1xyz*", "KB1XYZ"},
        {"APRS,TCPIP,WIDE2-1", "????"},          {"*", "????"},
        {"APRS,TCPIP,KB1 XYZ*", "XYZ"},          {"APRS,KB1_XYZ*", "XYZ"},
    };
    for (const Case& c : cases) {
        TestRun run(Scenario({ThirdParty("TP", 500, c.path)}));
        run.GatherAdjustSort();
        const std::string& line = run.R.Panes.Details.front();
        EXPECT_THAT(line, HasSubstr("gated to RF by: " + c.igate + " and")) << c.path;
    }
}

TEST(ThirdParty, EmptyIGateCallMatchesAStationWithAnEmptyCall) {
    // "APRS,TCPIP,*": the character before the star stops the scan at once.
    auto blank = St("", 11);
    blank.entry = " ";
    TestRun run(Scenario({blank, ThirdParty("TP", 500, "APRS,TCPIP,*")}));
    run.GatherAdjustSort();
    EXPECT_TRUE(run.DetailsHave("Adjusting distance for: TP since it was gated to RF by: "));
    EXPECT_THAT(run.Distances(), ElementsAre(11, 11));
}

TEST(ThirdParty, TakesTheIGatesDistanceOrZero) {
    auto lower = St("w1low-10", 30);
    TestRun run(Scenario({St("W1GAT-10", 25), ThirdParty("W1TP", 600, "APRS,TCPIP,W1GAT-10*"),
                          ThirdParty("W1NO", 700, "APRS,TCPIP,N0NE-10*"), lower,
                          ThirdParty("W1LC", 650, "APRS,TCPIP,w1low-10*")}));
    run.GatherAdjustSort();
    EXPECT_THAT(run.R.Panes.Details,
                ElementsAre("Ignoring distance for: W1LC since it was gated to RF by: W1LOW-10 and "
                            "that IGate station can not be located",
                            "Ignoring distance for: W1NO since it was gated to RF by: N0NE-10 and "
                            "that IGate station can not be located",
                            "Adjusting distance for: W1TP since it was gated to RF by: W1GAT-10",
                            " "));
    EXPECT_THAT(run.Calls(), ElementsAre("W1NO", "W1LC", "W1GAT-10", "W1TP", "w1low-10"));
    EXPECT_THAT(run.Distances(), ElementsAre(0, 0, 25, 25, 30));
    EXPECT_TRUE(run.SummaryHas("-Found 3 third-party stations"));
}

TEST(ThirdParty, CallsWithBlanksAsAHostMayReturnThem) {
    // Calls are compared trimmed; the "Adjusting" line trims, the "Ignoring" line does not.
    TestRun run(Scenario({}));
    auto list = std::make_unique<aloha::TStationList>();
    const auto add = [&list](std::string call, std::int32_t distance, bool thirdParty,
                             std::string path) {
        auto station = std::make_unique<TStation>();
        station->Call = std::move(call);
        station->Distance = distance;
        station->ThirdParty = thirdParty;
        station->Path = std::move(path);
        list->push_back(std::move(station));
    };
    add(" W1GAT-10\t", 25, false, "");
    add(" W1TP ", 600, true, "APRS,W1GAT-10*");
    add(" W1NO ", 700, true, "APRS,N0NE*");
    run.Calc().UseStationList(std::move(list));
    run.Calc().AdjustThirdPartyDistances();
    EXPECT_THAT(run.R.Panes.Details,
                ElementsAre("Ignoring distance for:  W1NO  since it was gated to RF by: N0NE and "
                            "that IGate station can not be located",
                            "Adjusting distance for: W1TP since it was gated to RF by: W1GAT-10",
                            " "));
    EXPECT_EQ((*run.Calc().Stations())[1]->Distance, 25);
}

TEST(ThirdParty, FirstMatchAndValueAtThatMoment) {
    // Walked from the end: B takes the IGate's 10 first, then A takes B's new value.
    TestRun chained(
        Scenario({St("IG", 10), ThirdParty("A", 400, "X,B*"), ThirdParty("B", 500, "X,IG*")}));
    chained.GatherAdjustSort();
    EXPECT_THAT(chained.Distances(), ElementsAre(10, 10, 10));

    // The other order: A is visited first and sees B's distance before B changes.
    TestRun reversed(
        Scenario({St("IG", 10), ThirdParty("B", 500, "X,IG*"), ThirdParty("A", 400, "X,B*")}));
    reversed.GatherAdjustSort();
    EXPECT_THAT(reversed.Calls(), ElementsAre("IG", "B", "A"));
    EXPECT_THAT(reversed.Distances(), ElementsAre(10, 10, 500));

    // Two stations with the same call: the first in the host's order wins.
    auto twin = St("IG", 99);
    twin.entry = " IG2";
    TestRun twins(Scenario({St("IG", 40), ThirdParty("T", 700, "X,IG*"), St("IG2", 1)}));
    twins.GatherAdjustSort();
    EXPECT_THAT(twins.Distances(), ElementsAre(1, 40, 40));
}

TEST(ThirdParty, NothingToAdjust) {
    TestRun run(Scenario({St("A", 1)}));
    run.GatherAdjustSort();
    EXPECT_TRUE(run.R.Panes.Details.empty());
    EXPECT_TRUE(run.SummaryHas("-Looking for third-party stations gated to RF"));
    EXPECT_FALSE(run.SummaryHas("-Found 0 third-party stations"));
}

// --- sorting ---------------------------------------------------------------

TEST(Sorting, NearestFirstAndStableForEqualDistances) {
    TestRun run(Scenario({St("D12", 12), St("D3", 3), St("E7a", 7), St("D7", 7), St("E3", 3)}));
    run.GatherAdjustSort();
    EXPECT_THAT(run.Calls(), ElementsAre("D3", "E3", "E7a", "D7", "D12"));
}

TEST(Sorting, ProcessorGivenAwayByTimeNotPerComparison) {
    // Each comparison used to yield: half a million calls for a full list.
    std::vector<TScenarioStation> list;
    for (int i = 0; i < 20000; ++i)
        list.push_back(St("S" + std::to_string(i), static_cast<float>((i * 7919) % 800)));
    TestRun run(Scenario(list));
    run.Calc().UseStationList(std::make_unique<aloha::TStationList>());
    run.Calc().GatherRFStations();
    const int before = run.R.Window.Yields;
    const auto start = std::chrono::steady_clock::now();
    run.Calc().AdjustThirdPartyDistances();
    run.Calc().SortStationsByDistance();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    const int yields = run.R.Window.Yields - before;
    EXPECT_LE(yields, ms / 20 + 1) << ms << " ms";
    EXPECT_GE(yields, 1);
}

TEST(Gathering, WindowEventsAreLetInWhileGathering) {
    // Gathering writes nothing to the panes; without this a large list kept
    // the window deaf for seconds.
    std::vector<TScenarioStation> list;
    for (int i = 0; i < 20000; ++i)
        list.push_back(St("S" + std::to_string(i), 5));
    TestRun run(Scenario(list));
    run.Calc().UseStationList(std::make_unique<aloha::TStationList>());
    const int before = run.R.Window.EventRounds;
    const auto start = std::chrono::steady_clock::now();
    run.Calc().GatherRFStations();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    const long rounds = run.R.Window.EventRounds - before;
    EXPECT_GE(rounds, std::max<long>(1, ms / 50)) << ms << " ms";
    EXPECT_LE(rounds, ms / 50 + 1) << ms << " ms";
    EXPECT_EQ(run.Calc().Stations()->size(), 20000u);
}

TEST(Sorting, CompareStationDistance) {
    TStation near, far;
    near.Distance = 3;
    far.Distance = 12;
    EXPECT_EQ(TCalculation::CompareStationDistance(&far, &near), 1);
    EXPECT_EQ(TCalculation::CompareStationDistance(&near, &far), -1);
    EXPECT_EQ(TCalculation::CompareStationDistance(&near, &near), 0);
    EXPECT_EQ(TCalculation::CompareStationDistance(nullptr, &far), 0);
    EXPECT_EQ(TCalculation::CompareStationDistance(&near, nullptr), 0);
}

// --- accumulation -------------------------------------------------------

TEST(MobileSymbol, PrimaryAndAlternateTables) {
    for (const char code : std::string("<=>'()*0COPRSUXY[^abefgjkpsuv"))
        EXPECT_TRUE(aloha::IsMobileSymbol('/', code)) << code;
    for (const char code : std::string("/0>AKOS^knsuv")) {
        EXPECT_TRUE(aloha::IsMobileSymbol('\\', code)) << code;
        EXPECT_TRUE(aloha::IsMobileSymbol('9', code)) << code;
        EXPECT_TRUE(aloha::IsMobileSymbol('\0', code)) << code;
    }
    EXPECT_FALSE(aloha::IsMobileSymbol('/', '-'));
    EXPECT_FALSE(aloha::IsMobileSymbol('/', '#'));
    EXPECT_FALSE(aloha::IsMobileSymbol('\\', 'j')); // jeep is mobile only on primary
    EXPECT_FALSE(aloha::IsMobileSymbol('/', '/'));
    EXPECT_FALSE(aloha::IsMobileSymbol('/', '\0'));
    EXPECT_FALSE(aloha::IsMobileSymbol('\\', '\0'));
}

TEST(Accumulation, EmptyListDrawsNothing) {
    TestRun run(Scenario({}));
    run.Calc().btnCalculateClick();
    EXPECT_THAT(run.R.Panes.Details,
                ElementsAre(" ", "0 mobile stations", "0 Wx stations", "0 digi stations",
                            "0 home stations",
                            "============================", "0 total stations were considered"));
    EXPECT_TRUE(run.SummaryHas("Your station hears an estimated 0 packets"));
    EXPECT_TRUE(run.SummaryHas("-There are 0 total stations in your station list"));
    EXPECT_TRUE(run.SummaryHas("-There are 0 RF stations in your station list"));
    EXPECT_TRUE(run.MapLines().empty());
    EXPECT_FALSE(run.R.Window.tmrRedraw.IsActive());
    EXPECT_EQ(run.R.Window.TrayTip, "right-click for options");
}

TEST(Accumulation, TooFarAwayEndsTheWalk) {
    TestRun run(Scenario({St("FAR", 806), St("FARTHER", 900)}));
    run.Calc().btnCalculateClick();
    EXPECT_THAT(run.R.Panes.Details,
                ElementsAre("0: FAR Dist: 806 symbol: /-", "  To far away - skipped", " ",
                            "0 mobile stations", "0 Wx stations", "0 digi stations",
                            "0 home stations",
                            "============================", "1 total stations were considered"));
    EXPECT_EQ(run.Calc().State.PacketTotal, 0);
    EXPECT_TRUE(run.MapLines().empty());

    TestRun edge(Scenario({St("EDGE", 805)}));
    edge.Calc().btnCalculateClick();
    EXPECT_EQ(edge.Calc().State.PacketTotal, 2);
}

TEST(Accumulation, TwoMovingMobilesDrawTheReachCircle) {
    TestRun run(Scenario({St("M1", 10, "/", ">", 40), St("M2", 20, "/", "k", 2)}));
    run.Calc().btnCalculateClick();
    EXPECT_EQ(run.Calc().State.PacketTotal, 30);
    EXPECT_EQ(run.Calc().State.RadiusKm, 0);
    EXPECT_TRUE(run.SummaryHas("*** Unable to calculate ALOHA radius; There"));
    EXPECT_TRUE(run.SummaryHas("areas that may not \"need\" to hear your APRS traffic."));
    EXPECT_TRUE(run.SummaryHas("RF saturation occurs at ~1800 packets in 30 minutes."));
    EXPECT_TRUE(run.SummaryHas("Your station hears an estimated 30 packets"));
    EXPECT_EQ(run.R.Panes.Summary.back(), " ");
    EXPECT_EQ(run.R.Window.TrayTip, "right-click for options");
    EXPECT_THAT(run.MapLines(),
                ElementsAre("RefreshMap", "GetMap", "SetDrawSettingA 2", "GetMap",
                            "SetDrawSettingB 2", "GetMap", "SetDrawColour 16776960", "GetMap",
                            "DrawCircle -4200 2580 10 0 6.28318548 6.2831853071795862 1"));
    EXPECT_TRUE(run.R.Window.tmrRedraw.IsActive());
    EXPECT_THAT(run.R.Panes.Packets,
                ElementsAre("0: APRS,WIDE2-1", "  Last heard RF: 2026-12-08 12:00:00",
                            "  Last heard Internet: ", "1: APRS,WIDE2-1",
                            "  Last heard RF: 2026-12-08 12:00:00", "  Last heard Internet: "));
}

TEST(Accumulation, StationClassesAndTheCopyMultiplier) {
    auto tpDigi = St("TPDIGI", 6, "/", "#");
    tpDigi.thirdParty = 1;
    tpDigi.path = "APRS,TCPIP,DIGI*";
    TestRun run(Scenario({St("DIGI", 1, "/", "#"), St("HOME", 2), St("WXO", 3, "W", "_"),
                          St("WX", 4, "/", "_"), St("PARKED", 5, "/", ">", 1), tpDigi,
                          St("MOVING", 7, "/", ">", 2)}));
    run.Calc().btnCalculateClick();
    EXPECT_THAT(
        run.R.Panes.Details,
        ElementsAre(
            "Adjusting distance for: TPDIGI since it was gated to RF by: DIGI", " ",
            "0: DIGI Dist: 1 symbol: /#", "  This is a digi station.",
            "  Adding 3 packets to running total - new total is: 3",
            "  Incrementing packet copy multiplier to: 2", "1: TPDIGI Dist: 1 symbol: /#",
            "  This is a digi station, but since it has been",
            "  gated to RF from the APRS-IS. It will be treated", "  as a fixed station",
            "  This is a home/fixed station.",
            "  Adding 4 packets to running total - new total is: 7", "2: HOME Dist: 2 symbol: /-",
            "  This is a home/fixed station.",
            "  Adding 4 packets to running total - new total is: 11", "3: WXO Dist: 3 symbol: W_",
            "  This is a Wx station.", "  Adding 12 packets to running total - new total is: 23",
            "  Also a Digi. Adding 6 packets to running total - new total is: 29",
            "  Incrementing packet copy multiplier to: 3", "4: WX Dist: 4 symbol: /_",
            "  This is a Wx station.", "  Adding 18 packets to running total - new total is: 47",
            "5: PARKED Dist: 5 symbol: />", "  This is a mobile station. Speed: 1",
            "  Not moving. Adding 21 packets to running total - new total is: 68",
            "6: MOVING Dist: 7 symbol: />", "  This is a mobile station. Speed: 2",
            "  Moving. Adding 45 packets to running total - new total is: 113", " ",
            "2 mobile stations", "2 Wx stations", "2 digi stations", "2 home stations",
            "============================", "7 total stations were considered"));
}

TEST(Accumulation, ThresholdReachedAtTheHundredAndTwentiethMobile) {
    TestRun exact(Scenario(Mobiles(120)));
    exact.Calc().btnCalculateClick();
    EXPECT_EQ(exact.Calc().State.PacketTotal, 1800);
    EXPECT_EQ(exact.Calc().State.RadiusKm, 120);
    EXPECT_FALSE(exact.DetailsHave("Running packet total has reached 1800. Done."));
    EXPECT_TRUE(exact.DetailsHave("120 total stations were considered"));

    TestRun more(Scenario(Mobiles(125)));
    more.Calc().btnCalculateClick();
    EXPECT_EQ(more.Calc().State.PacketTotal, 1800);
    EXPECT_EQ(more.Calc().State.RadiusKm, 120);
    EXPECT_TRUE(more.DetailsHave("Running packet total has reached 1800. Done."));
    EXPECT_TRUE(more.DetailsHave("120 total stations were considered"));
    EXPECT_EQ(more.R.Panes.Packets.size(), 360u);
}

std::vector<TScenarioStation> LimitAt48() {
    std::vector<TScenarioStation> list;
    for (int i = 0; i < 119; ++i)
        list.push_back(St("M" + std::to_string(i), 10, "/", ">", 50));
    list.push_back(St("LIMIT", 48, "/", ">", 60));
    list.push_back(St("BEYOND", 49, "/", ">", 60));
    return list;
}

TEST(Accumulation, RadiusLineTooltipAndLabel) {
    auto list = LimitAt48();
    list.push_back(St("LIMIT", 48, "/", ">", 60));
    TestRun run(Scenario(list));
    run.Calc().btnCalculateClick();
    EXPECT_EQ(run.R.Panes.Summary.back(), "Your ALOHA radius is 48 Kilometers or 30 Miles");
    EXPECT_EQ(run.R.Window.TrayTip, "ALOHA radius: 48 KM or 30 miles");
    EXPECT_DOUBLE_EQ(run.Calc().State.RadiusMiles, 48 * 0.621371192);
    const auto lines = run.MapLines();
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[8], "DrawCircle -4200 2580 24 255 6.28318548 6.2831853071795862 1");
    EXPECT_THAT(std::vector<std::string>(lines.begin() + 9, lines.begin() + 14),
                ElementsAre("GetMap", "GetTextX", "GetMap", "GetTextY", "GetMap"));
    EXPECT_EQ(lines[14], "DrawMapText \" ALOHA radius: 48 KM / 30 miles\" -4230 2600 0 \"\" 8 "
                         "false false false false");
}

TEST(Accumulation, DebugDensityAndOverflowGuard) {
    // A typed density below 1 would report a radius with nothing counted: it
    // counts as the standard 1800, as a text that is not a number does.
    for (const auto& [typed, density] :
         std::vector<std::pair<std::string, std::int32_t>>{{"0", 1800},
                                                           {"-5", 1800},
                                                           {"$80000000", 1800},
                                                           {"abc", 1800},
                                                           {"1", 1},
                                                           {"$100", 256}})
        EXPECT_EQ(aloha::PacketDensityFromText(typed), density) << typed;

    TestRun low(Scenario(Mobiles(3)));
    low.Calc().State.PacketDensity = 20;
    low.Calc().btnCalculateClick();
    EXPECT_EQ(low.Calc().State.PacketTotal, 30);
    EXPECT_EQ(low.Calc().State.RadiusKm, 2);
    EXPECT_TRUE(low.DetailsHave("Running packet total has reached 20. Done."));

    // A threshold no channel reaches: the total must not wrap round.
    std::vector<TScenarioStation> digis;
    for (int i = 0; i < 3000; ++i)
        digis.push_back(St("D" + std::to_string(i), 1, "/", "#"));
    digis.push_back(St("MOBILE", 2, "/", ">", 50));
    for (int i = 0; i < 20000; ++i)
        digis.push_back(St("W" + std::to_string(i), 3, "\\", "_"));
    TestRun huge(Scenario(digis));
    huge.Calc().State.PacketDensity = 2147483647;
    huge.Calc().btnCalculateClick();
    EXPECT_EQ(huge.Calc().State.PacketTotal, 2147483647);
}

// --- overlay --------------------------------------------------------------

TEST(Overlay, EllipseStretchesTheRadiusAndSqueezesTheFigure) {
    TestRun run(Scenario(LimitAt48()));
    run.R.Options.Circle = false;
    run.R.Options.Ellipse = true;
    run.Calc().btnCalculateClick();
    const double planar = 24.0;
    const double aspect = std::cos(43.0 * 3.14159265358979323846 / 180.0);
    EXPECT_NEAR(run.Calc().State.MapRadius, planar / aspect, 1e-3);
    ASSERT_EQ(run.Circles().size(), 1u);
    EXPECT_EQ(run.Circles()[0]->aspect, static_cast<float>(aspect));
    EXPECT_NEAR(run.Circles()[0]->aspect, 0.7314, 1e-4);
}

TEST(Overlay, NeitherShapeSelectedSqueezesWithoutStretching) {
    TestRun run(Scenario({St("M1", 10, "/", ">", 40)}));
    run.R.Options.Circle = false;
    run.R.Options.Ellipse = false;
    run.Calc().btnCalculateClick();
    EXPECT_EQ(run.Calc().State.MapRadius, 5.0);
    ASSERT_EQ(run.Circles().size(), 1u);
    EXPECT_LT(run.Circles()[0]->aspect, 0.74f);
}

TEST(Overlay, LabelOffDrawsOnlyTheFigure) {
    TestRun run(Scenario(Mobiles(120)));
    run.R.Options.Label = false;
    run.Calc().btnCalculateClick();
    for (const TMapCall& call : run.R.Host->MapCalls()) {
        EXPECT_NE(call.kind, TMapCall::Kind::GetTextX);
        EXPECT_NE(call.kind, TMapCall::Kind::DrawMapText);
    }
    EXPECT_EQ(run.Circles().size(), 1u);
}

TEST(Overlay, RedrawRepeatsTheFigureWithoutClearing) {
    TestRun reach(Scenario({St("M1", 10, "/", ">", 40)}));
    reach.Calc().btnCalculateClick();
    reach.R.Host->ClearMapCalls();
    reach.Calc().tmrRedrawTimer();
    EXPECT_EQ(reach.MapLines().size(), 8u); // no RefreshMap, no label
    EXPECT_EQ(reach.Circles()[0]->colour, 0u);

    TestRun aloha(Scenario(Mobiles(120)));
    aloha.Calc().btnCalculateClick();
    aloha.R.Host->ClearMapCalls();
    aloha.R.Options.Label = false; // read at drawing time
    aloha.Calc().tmrRedrawTimer();
    EXPECT_EQ(aloha.MapLines().size(), 8u);
    EXPECT_EQ(aloha.Circles()[0]->colour, 255u);
}

// --- the run --------------------------------------------------------------

TEST(CalculationRun, BannerAndCommandsDuringTheRun) {
    TestRun run(Scenario({St("A", 1)}));
    std::vector<bool> enabledDuringAppends;
    bool calcTimerRan = false;
    run.R.Panes.OnAppend = [&] {
        enabledDuringAppends.push_back(run.R.Window.CalculateEnabled);
        calcTimerRan = calcTimerRan || run.R.Window.tmrCalc.IsActive();
    };
    run.Calc().btnCalculateClick();
    EXPECT_THAT(
        std::vector<std::string>(run.R.Panes.Summary.begin(), run.R.Panes.Summary.begin() + 4),
        ElementsAre(" ****************************************",
                    " *** UI-View32 Exclusions must be OFF ***",
                    " ****************************************", " "));
    // The banner is written before the commands are disabled; every later line after.
    ASSERT_GT(enabledDuringAppends.size(), 5u);
    EXPECT_TRUE(enabledDuringAppends[3]);
    EXPECT_FALSE(enabledDuringAppends[4]);
    EXPECT_FALSE(enabledDuringAppends.back());
    EXPECT_FALSE(calcTimerRan);
    EXPECT_TRUE(run.R.Window.CalculateEnabled);
    EXPECT_TRUE(run.R.Window.tmrCalc.IsActive());
    EXPECT_EQ(run.Calc().Stations(), nullptr);
}

TEST(CalculationRun, HostErrorInGatheringRestoresCommandsAndTimer) {
    auto scenario = Scenario(Mobiles(10));
    scenario.fail = standin::TScenarioFail{"GetDistance", 4, "The host has gone away"};
    TestRun run(scenario);
    try {
        run.Calc().btnCalculateClick();
        FAIL() << "expected the host error";
    } catch (const host::EHostError& error) {
        EXPECT_STREQ(error.what(), "The host has gone away");
    }
    EXPECT_TRUE(run.R.Window.CalculateEnabled);
    EXPECT_TRUE(run.R.Window.tmrCalc.IsActive());
    EXPECT_EQ(run.Calc().Stations(), nullptr);
    EXPECT_FALSE(run.Calc().RunInProgress());
    EXPECT_EQ(run.R.Panes.Summary.back(), "-Searching for stations heard on RF");

    // The next run fails the same way: the host stays failed.
    EXPECT_THROW(run.Calc().btnCalculateClick(), host::EHostError);
    EXPECT_EQ(run.R.Window.tmrCalc.Starts, 2);
}

TEST(CalculationRun, HostErrorWhileDrawingKeepsTheResults) {
    auto scenario = Scenario(Mobiles(120));
    scenario.fail = standin::TScenarioFail{"DrawCircle", 0, "Map is busy"};
    TestRun run(scenario);
    EXPECT_THROW(run.Calc().btnCalculateClick(), host::EHostError);
    EXPECT_EQ(run.Calc().State.RadiusKm, 120);
    EXPECT_FALSE(run.R.Window.tmrRedraw.IsActive());
    EXPECT_TRUE(run.R.Host->MapCalls().back().failed);
    EXPECT_EQ(run.R.Window.TrayTip, "right-click for options");
}

TEST(CalculationRun, RequestDuringARunIsDeferredOnce) {
    TestRun run(Scenario(Mobiles(5)));
    int requests = 0;
    run.R.Panes.OnAppend = [&] {
        if (requests < 3) {
            ++requests;
            run.Calc().btnCalculateClick(); // e.g. a shape change while the run works
        }
    };
    run.Calc().btnCalculateClick();
    EXPECT_EQ(requests, 3);
    EXPECT_EQ(run.R.Window.DeferredRuns, 1);
    EXPECT_EQ(run.R.Window.tmrCalc.Starts, 1);
    EXPECT_FALSE(run.Calc().RunInProgress());

    // A request after the run has ended starts a run at once.
    run.R.Panes.OnAppend = nullptr;
    run.Calc().btnCalculateClick();
    EXPECT_EQ(run.R.Window.DeferredRuns, 1);
    EXPECT_EQ(run.R.Window.tmrCalc.Starts, 2);
}

TEST(CalculationRun, DeferredRequestSurvivesAFailedRun) {
    auto scenario = Scenario(Mobiles(5));
    scenario.fail = standin::TScenarioFail{"GetPath", 2, "gone"};
    TestRun run(scenario);
    bool asked = false;
    run.R.Panes.OnAppend = [&] {
        if (!asked) {
            asked = true;
            run.Calc().btnCalculateClick();
        }
    };
    EXPECT_THROW(run.Calc().btnCalculateClick(), host::EHostError);
    EXPECT_EQ(run.R.Window.DeferredRuns, 1);
}

TEST(CalculationRun, OwnStationIsUpperCased) {
    TestRun run(Scenario({}));
    EXPECT_EQ(run.Calc().State.OwnCall, "N0CALL");
    EXPECT_EQ(run.Calc().State.OwnLatitude, 2580.0);
    EXPECT_EQ(run.Calc().State.OwnLongitude, -4200.0);
}

// A failed read keeps what it read, but the own station is not known, and a
// run then reports its radius without drawing a figure around 0,0.
TEST(CalculationRun, OwnStationValuesAreKeptAsFarAsReadButNothingIsDrawn) {
    auto scenario = Scenario(Mobiles(130));
    scenario.fail = standin::TScenarioFail{"_clsMyInfo.GetLong", 0, "no longitude"};
    tools::THeadlessRun run(scenario);
    EXPECT_THROW(run.Calculation.ReadOwnStation(), host::EHostError);
    EXPECT_EQ(run.Calculation.State.OwnCall, "N0CALL");
    EXPECT_EQ(run.Calculation.State.OwnLatitude, 2580.0);
    EXPECT_EQ(run.Calculation.State.OwnLongitude, 0.0);
    EXPECT_FALSE(run.Calculation.State.OwnStationKnown);
    run.Calculation.btnCalculateClick();
    run.Calculation.tmrRedrawTimer();
    EXPECT_EQ(run.Calculation.State.RadiusKm, 120);
    EXPECT_TRUE(run.Host->MapCalls().empty());
    EXPECT_FALSE(run.Window.tmrRedraw.IsActive());
}

TEST(Overlay, GatedStationIsDrawnAtItsIGate) {
    // The limit is a third-party station 650 km away, counted at its IGate's
    // 20 km: the figure must reach the IGate, not the far station.
    auto list = Mobiles(119);
    list.push_back(St("IGATE", 200));
    auto gated = ThirdParty("FARAWAY", 650, "APRS,TCPIP,IGATE*", ">");
    gated.speed = 50;
    list.push_back(gated);
    TestRun run(Scenario(list));
    run.Calc().btnCalculateClick();
    EXPECT_EQ(run.Calc().State.RadiusKm, 200);
    EXPECT_EQ(run.Calc().State.MapRadius, 100.0); // the IGate's 200 km, not 650

    // An unknown IGate counts the station at distance 0: at the own station.
    TestRun unknown(Scenario({ThirdParty("LOST", 700, "APRS,TCPIP,NOBODY*")}));
    unknown.Calc().btnCalculateClick();
    EXPECT_EQ(unknown.Calc().State.MapRadius, 0.0);

    // Gated by itself: drawn at its own place, not at position 0,0 thousands
    // of units away.
    auto self = Mobiles(119);
    auto own = ThirdParty("SELF", 300, "APRS,TCPIP,SELF*", ">");
    own.speed = 50;
    self.push_back(own);
    TestRun selfGated(Scenario(self));
    selfGated.Calc().btnCalculateClick();
    EXPECT_EQ(selfGated.Calc().State.RadiusKm, 300);
    EXPECT_EQ(selfGated.Calc().State.MapRadius, 150.0);
}
