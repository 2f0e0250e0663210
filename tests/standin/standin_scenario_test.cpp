#include "standin/model/Scenario.h"
#include "standin/model/StandinHost.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using standin::EScenarioError;
using standin::kMaxScenarioBytes;
using standin::LoadScenarioFile;
using standin::ParseScenario;

namespace {

// Expects the parse to fail with exactly this message.
#define EXPECT_SCENARIO_ERROR(json, message)                                                       \
    do {                                                                                           \
        try {                                                                                      \
            ParseScenario(json, "s.json");                                                         \
            ADD_FAILURE() << "no error for " << json;                                              \
        } catch (const EScenarioError& error) {                                                    \
            EXPECT_EQ(std::string(error.what()), message);                                         \
        }                                                                                          \
    } while (false)

constexpr const char* kOwn = R"("own": {"callsign": "n0call", "lat": 2580, "long": -4200})";

std::string WithOwn(const std::string& rest) {
    return std::string("{") + kOwn + rest + "}";
}

} // namespace

TEST(Scenario, DefaultsOfAStation) {
    const auto scenario =
        ParseScenario(WithOwn(R"(, "stations": [{"callsign": "W1AW-9"}, {}])"), "s.json");
    ASSERT_EQ(scenario.stations.size(), 2u);
    const auto& s = scenario.stations[0];
    EXPECT_EQ(s.entry, " W1AW-9   ");
    EXPECT_EQ(s.path, "");
    EXPECT_EQ(s.lastHeardRF, "");
    EXPECT_EQ(s.speed, 0.0f);
    EXPECT_EQ(s.thirdParty, 0);
    EXPECT_EQ(scenario.stations[1].entry, "          ");
    EXPECT_EQ(scenario.textX, -4200.0f); // map text position defaults to the own station
    EXPECT_EQ(scenario.textY, 2580.0f);
    EXPECT_FALSE(scenario.fail);
}

TEST(Scenario, LongCallSignEntryIsNotCut) {
    EXPECT_EQ(standin::DefaultEntry("VERYLONGCALL-15"), " VERYLONGCALL-15");
}

TEST(Scenario, NumbersAreKeptInSinglePrecision) {
    const auto scenario = ParseScenario(
        WithOwn(R"(, "stations": [{"callsign": "A", "distance": 0.1, "thirdParty": -1}])"), "s");
    EXPECT_EQ(scenario.stations[0].distance, 0.1f);
    EXPECT_EQ(scenario.stations[0].thirdParty, -1);
}

TEST(Scenario, MapAndFailSections) {
    const auto scenario = ParseScenario(WithOwn(R"(, "map": {"textX": 1.5, "textY": -2},
                   "fail": {"operation": "_clsStationInfo.GetDistance", "after": 3,
                            "message": "Host gone"})"),
                                        "s");
    EXPECT_EQ(scenario.textX, 1.5f);
    EXPECT_EQ(scenario.textY, -2.0f);
    ASSERT_TRUE(scenario.fail);
    EXPECT_EQ(scenario.fail->operation, "_clsStationInfo.GetDistance");
    EXPECT_EQ(scenario.fail->after, 3);
}

TEST(Scenario, ErrorsNameTheFileAndTheField) {
    EXPECT_SCENARIO_ERROR("{}", "s.json: own: missing");
    EXPECT_SCENARIO_ERROR(R"({"own": {"lat": 1}})", "s.json: own.callsign: missing");
    EXPECT_SCENARIO_ERROR(R"({"own": {"callsign": 5}})", "s.json: own.callsign: expected a text");
    EXPECT_SCENARIO_ERROR(WithOwn(R"(, "stations": {})"), "s.json: stations: expected a list");
    EXPECT_SCENARIO_ERROR(WithOwn(R"(, "stations": [{"callsign": "A"}, {"speed": "fast"}])"),
                          "s.json: stations[1].speed: expected a number");
    EXPECT_SCENARIO_ERROR(WithOwn(R"(, "stations": [{"thirdParty": 40000}])"),
                          "s.json: stations[0].thirdParty: must be from -32768 to 32767");
    EXPECT_SCENARIO_ERROR(WithOwn(R"(, "stations": [{"thirdParty": 1.5}])"),
                          "s.json: stations[0].thirdParty: expected an integer");
    EXPECT_SCENARIO_ERROR(WithOwn(R"(, "stations": [{"lastHeardRf": "x"}])"),
                          "s.json: stations[0].lastHeardRf: unknown field");
    EXPECT_SCENARIO_ERROR(WithOwn(R"(, "stations": [{"lat": 1e300}])"),
                          "s.json: stations[0].lat: out of the single-precision range");
    EXPECT_SCENARIO_ERROR(WithOwn(R"(, "map": {"textX": true})"),
                          "s.json: map.textX: expected a number");
    EXPECT_SCENARIO_ERROR(WithOwn(R"(, "fail": {"operation": "Explode", "after": 0})"),
                          "s.json: fail.operation: \"Explode\" is not an operation of the host");
    EXPECT_SCENARIO_ERROR(WithOwn(R"(, "fail": {"operation": "_clsMyInfo.GetPath"})"),
                          "s.json: fail.operation: \"_clsMyInfo.GetPath\" is not an operation "
                          "of the host");
    EXPECT_SCENARIO_ERROR(WithOwn(R"(, "fail": {"operation": "GetLat", "after": -1})"),
                          "s.json: fail.after: must be from 0 to 9223372036854775807");
    EXPECT_SCENARIO_ERROR(WithOwn(R"(, "extra": 1)"), "s.json: extra: unknown field");
    EXPECT_SCENARIO_ERROR("[1, 2]", "s.json: expected an object");
}

TEST(Scenario, PositionsBeyondTheGlobeAreRefused) {
    // 60 host units a degree: latitude to 5400, longitude to 10800.
    EXPECT_SCENARIO_ERROR(R"({"own": {"callsign": "A", "lat": 3e38}})",
                          "s.json: own.lat: must be from -5400 to 5400 (90 degrees in host units)");
    EXPECT_SCENARIO_ERROR(R"({"own": {"callsign": "A", "long": -10800.5}})",
                          "s.json: own.long: must be from -10800 to 10800 (180 degrees in host "
                          "units)");
    EXPECT_SCENARIO_ERROR(WithOwn(R"(, "stations": [{"lat": 5400}, {"long": 20000}])"),
                          "s.json: stations[1].long: must be from -10800 to 10800 (180 degrees in "
                          "host units)");
    EXPECT_SCENARIO_ERROR(WithOwn(R"(, "map": {"textY": -6000})"),
                          "s.json: map.textY: must be from -5400 to 5400 (90 degrees in host "
                          "units)");
    const auto edge =
        ParseScenario(R"({"own": {"callsign": "A", "lat": -5400, "long": 10800}})", "s");
    EXPECT_EQ(edge.ownLat, -5400.0f);
    EXPECT_EQ(edge.ownLong, 10800.0f);
}

TEST(Scenario, OnlyRegularFilesOfASaneSizeAreRead) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("velloran-files-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path fifo = dir / "pipe.json";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::filesystem::path huge = dir / "huge.json";
    std::ofstream(huge).close();
    std::filesystem::resize_file(huge, kMaxScenarioBytes + 1); // sparse: costs no disk
    const std::pair<std::string, std::string> cases[] = {
        {fifo.string(), fifo.string() + ": is not a regular file"},
        {"/dev/zero", "/dev/zero: is not a regular file"},
        {dir.string(), dir.string() + ": is not a regular file"},
        {huge.string(), huge.string() + ": is larger than 67108864 bytes"},
        {(dir / "absent.json").string(), (dir / "absent.json").string() + ": cannot be read"},
    };
    for (const auto& [path, message] : cases) {
        try {
            LoadScenarioFile(path);
            ADD_FAILURE() << path;
        } catch (const EScenarioError& error) {
            EXPECT_EQ(std::string(error.what()), message);
        }
    }
    std::filesystem::remove_all(dir);
}

TEST(Scenario, InvalidJsonNamesTheFile) {
    try {
        ParseScenario("{\"own\": ", "broken.json");
        FAIL();
    } catch (const EScenarioError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("broken.json: not valid JSON: ", 0), 0u)
            << error.what();
    }
}

TEST(Scenario, NumberBeyondDoubleIsRefusedNotFatal) {
    // Found by fuzzing: the JSON library reports this as a range error.
    for (const char* text : {"3e360", R"({"own": {"callsign": "A", "lat": 1e999}})"}) {
        try {
            ParseScenario(text, "big.json");
            ADD_FAILURE() << text;
        } catch (const EScenarioError& error) {
            EXPECT_EQ(std::string(error.what()).rfind("big.json: not valid JSON: ", 0), 0u)
                << error.what();
        }
    }
}

TEST(Scenario, TooManyStationsForTheHostsCount) {
    std::string json = WithOwn(R"(, "stations": [)");
    json.pop_back();
    for (int i = 0; i < 32768; ++i)
        json += i ? ",{}" : "{}";
    json += "]}";
    EXPECT_SCENARIO_ERROR(json,
                          "s.json: stations: more than 32767 stations (the host counts them in 16 "
                          "bits)");
}

TEST(Scenario, MissingFileIsNamed) {
    try {
        standin::LoadScenarioFile("/nonexistent/velloran.json");
        FAIL();
    } catch (const EScenarioError& error) {
        EXPECT_STREQ(error.what(), "/nonexistent/velloran.json: cannot be read");
    }
}

TEST(Scenario, DemoScenarioLoads) {
    const auto demo = standin::LoadDemoScenario();
    EXPECT_GT(demo.stations.size(), 200u);
    EXPECT_FALSE(demo.ownCallsign.empty());
}

TEST(StandinHost, FailRuleCountsCallsFromLoad) {
    auto scenario = ParseScenario(
        WithOwn(R"(, "fail": {"operation": "GetLat", "after": 1, "message": "no lat"})"), "s");
    auto host = std::make_shared<standin::TStandinHost>(std::move(scenario));
    host->Enter("_clsMyInfo", "GetLat");  // first call succeeds
    host->Enter("_clsMyInfo", "GetLong"); // other operations do not count
    EXPECT_THROW(host->Enter("_clsStationInfo", "GetLat"), host::EHostError); // bare: any interface
    EXPECT_THROW(host->Enter("_clsMyInfo", "GetLat"), host::EHostError);      // and it stays failed
}

TEST(StandinHost, QualifiedFailRuleOnlyOnItsInterface) {
    auto scenario = ParseScenario(
        WithOwn(R"(, "fail": {"operation": "_clsMyInfo.GetCallsign", "message": "x"})"), "s");
    standin::TStandinHost host(std::move(scenario));
    host.Enter("_clsStationInfo", "GetCallsign");
    try {
        host.Enter("_clsMyInfo", "GetCallsign");
        FAIL();
    } catch (const host::EHostError& error) {
        EXPECT_STREQ(error.what(), "x");
    }
}

TEST(StandinHost, FormatsMapCalls) {
    standin::TMapCall circle;
    circle.kind = standin::TMapCall::Kind::DrawCircle;
    circle.x = -4200.5f;
    circle.y = 2580.0f;
    circle.radius = 12.25f;
    circle.colour = 255;
    circle.startAngle = 6.2831855f;
    circle.endAngle = 6.283185307179586;
    circle.aspect = 0.731353700f;
    EXPECT_EQ(standin::FormatMapCall(circle),
              "DrawCircle -4200.5 2580 12.25 255 6.28318548 6.2831853071795862 0.7313537");

    standin::TMapCall text;
    text.kind = standin::TMapCall::Kind::DrawMapText;
    text.text = " ALOHA radius: 48 KM / 30 miles";
    text.x = 1;
    text.y = 2;
    text.variants = {std::string(), 8, false, false, false, false};
    EXPECT_EQ(
        standin::FormatMapCall(text),
        "DrawMapText \" ALOHA radius: 48 KM / 30 miles\" 1 2 0 \"\" 8 false false false false");
}
