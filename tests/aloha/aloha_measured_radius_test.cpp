#include "aloha/MeasuredRadius.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<aloha::TStation> Station(const std::string& call, std::int32_t distance, char table,
                                         char code, std::int32_t speed = 0,
                                         bool thirdParty = false) {
    auto station = std::make_unique<aloha::TStation>();
    station->Call = call;
    station->Distance = distance;
    station->SymbolTable = table;
    station->SymbolCode = code;
    station->Speed = speed;
    station->ThirdParty = thirdParty;
    return station;
}

} // namespace

TEST(MeasuredRadius, EstimatesFollowTheKindAndTheCopiesOfTheDigipeatersBefore) {
    aloha::TStationList list;
    list.push_back(Station(" HOME1 ", 1, '/', '-'));
    list.push_back(Station("DIGI1", 2, '/', '#'));
    list.push_back(Station("CAR", 3, '/', '>', 40));
    list.push_back(Station("WXDIGI", 4, 'S', '_'));
    list.push_back(Station("PARKED", 5, '/', '>', 1));
    list.push_back(Station("GATED", 6, '/', '#', 0, true)); // fixed: no extra copy
    list.push_back(Station("WX", 7, '/', '_'));
    const aloha::TListedStations listed = aloha::ListStations(list);
    ASSERT_EQ(listed.size(), 7u);
    EXPECT_EQ(listed[0].Call, "HOME1");
    const std::int32_t expected[] = {2, 3, 15 * 2, 9 * 2, 7 * 3, 2 * 3, 6 * 3};
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(listed[i].Estimated, expected[i]) << listed[i].Call;
        EXPECT_EQ(listed[i].Distance, static_cast<std::int32_t>(i + 1));
    }
}

TEST(MeasuredRadius, TheStationWhoseFramesReachTheThresholdGivesTheRadius) {
    const aloha::TListedStations list = {
        {"NEAR", 3, 2}, {"DIGI", 5, 3}, {"QUIET", 8, 2}, {"CAR", 10, 30}, {"FAR", 20, 4}};
    // Exactly 1800 at CAR; QUIET was not heard and is not in the table.
    const aloha::TMeasuredRadius result = aloha::MeasureRadius(
        list, {{"NEAR", 1000}, {"DIGI", 700}, {"CAR", 100}, {"FAR", 50}}, 1800);
    EXPECT_TRUE(result.Reached);
    EXPECT_EQ(result.RadiusKm, 10);
    EXPECT_EQ(result.Total, 1800u);
    ASSERT_EQ(result.Heard.size(), 4u);
    EXPECT_EQ(result.Heard[2].Call, "CAR");
    EXPECT_EQ(result.Heard[2].Estimated, 30);
    EXPECT_EQ(result.Heard[2].Measured, 100u);
    EXPECT_EQ(result.Heard[3].Call, "FAR"); // heard stations beyond the radius are listed too
    EXPECT_TRUE(result.Unlisted.empty());

    // One frame short: the next heard station decides, stations without frames do not.
    const aloha::TMeasuredRadius later =
        aloha::MeasureRadius(list, {{"NEAR", 1000}, {"DIGI", 700}, {"CAR", 99}, {"FAR", 1}}, 1800);
    EXPECT_TRUE(later.Reached);
    EXPECT_EQ(later.RadiusKm, 20);
}

TEST(MeasuredRadius, TiesInDistanceKeepTheRunsOrder) {
    const aloha::TListedStations list = {{"A", 7, 2}, {"B", 7, 2}, {"C", 7, 2}, {"D", 9, 2}};
    const aloha::TMeasuredRadius result =
        aloha::MeasureRadius(list, {{"C", 900}, {"A", 899}, {"B", 1}, {"D", 5000}}, 1800);
    EXPECT_TRUE(result.Reached);
    EXPECT_EQ(result.RadiusKm, 7); // C makes 1800, at the distance of all three
    EXPECT_EQ(result.Total, 1800u);
    ASSERT_EQ(result.Heard.size(), 4u);
    EXPECT_EQ(result.Heard[0].Call, "A");
    EXPECT_EQ(result.Heard[1].Call, "B");
    EXPECT_EQ(result.Heard[2].Call, "C");
}

TEST(MeasuredRadius, StationsHeardButNotListedAreKeptApart) {
    const aloha::TListedStations list = {{"A", 1, 2}, {"B", 2, 15}, {"A", 3, 2}};
    const aloha::TMeasuredRadius result = aloha::MeasureRadius(
        list, {{"A", 500}, {"B", 300}, {"ZED", 2000}, {"OBJ1", 4}, {"SILENT", 0}}, 1800);
    // ZED alone would saturate the channel, but it is not in the list.
    EXPECT_FALSE(result.Reached);
    EXPECT_EQ(result.RadiusKm, 0);
    EXPECT_EQ(result.Total, 800u); // A once, although listed twice
    ASSERT_EQ(result.Heard.size(), 2u);
    EXPECT_EQ(result.Unlisted, (std::vector<std::string>{"OBJ1", "ZED"}));
    EXPECT_EQ(result.UnlistedFrames, 2004u);
}

TEST(MeasuredRadius, AListWhoseSumNeverReachesTheThreshold) {
    const aloha::TMeasuredRadius empty = aloha::MeasureRadius({}, {}, 1800);
    EXPECT_FALSE(empty.Reached);
    EXPECT_EQ(empty.Total, 0u);
    EXPECT_TRUE(empty.Heard.empty());

    const aloha::TListedStations list = {{"A", 1, 2}, {"B", 900, 2}};
    const aloha::TMeasuredRadius result =
        aloha::MeasureRadius(list, {{"A", 1000}, {"B", 799}}, 1800);
    EXPECT_FALSE(result.Reached);
    EXPECT_EQ(result.Total, 1799u);
    // A station beyond the estimate's 805 km still counts: its frames take the channel.
    EXPECT_TRUE(aloha::MeasureRadius(list, {{"A", 1000}, {"B", 800}}, 1800).Reached);
    EXPECT_EQ(aloha::MeasureRadius(list, {{"A", 1000}, {"B", 800}}, 1800).RadiusKm, 900);
}
