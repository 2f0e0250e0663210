// Known answers for the own packets' footprint: paths read hop by hop, the
// digipeaters placed against the ALOHA radius, the advice rule in each of its
// cases, and the traffic from beyond the radius.
#include "aprs/channel/ChannelMeter.h"
#include "aprs/channel/PathFootprint.h"
#include "support/APRSParser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string Hops(const aprs::TPathReading& reading) {
    std::string text;
    for (const aprs::TPathHop& hop : reading.hops)
        text += (text.empty() ? "" : " ") + (hop.call.empty() ? "?" : hop.call) + "@" +
                std::to_string(hop.hop);
    return text;
}

TEST(PathFootprint, PathsAreReadHopByHop) {
    const struct {
        const char* path;
        const char* hops;
        std::uint32_t asked;
    } cases[] = {
        {"", "", 0},
        {"WIDE1-1,WIDE2-1", "", 2},                   // heard direct
        {"W1AAA*,WIDE2-1", "W1AAA@1", 2},             // traced, one hop left
        {"W1AAA,WIDE1*,WIDE2-1", "W1AAA@1", 2},       // fill-in: WIDE1 is its marker
        {"W1AAA,W1BBB,WIDE2*", "W1AAA@1 W1BBB@2", 2}, // exhausted alias: no hop of its own
        {"W1AAA,W1BBB,W1CCC,WIDE3*", "W1AAA@1 W1BBB@2 W1CCC@3", 3},
        {"WIDE2-1*", "?@1", 2},   // untraced: used, no call before it
        {"WIDE2*", "?@1 ?@2", 2}, // untraced all the way
        {"WIDE1*,WIDE2-1", "?@1", 2},
        {"W1AAA,RELAY*", "W1AAA@1 ?@2", 2}, // RELAY not replaced by its call
        {"RELAY,WIDE,WIDE2-2", "", 4},
        {"W1AAA*,TRACE3-2", "W1AAA@1", 3},
        {"w1aaa*,wide2-1", "w1aaa@1", 2},
        {"TCPIP,W1AAA*", "W1AAA@1", 1}, // Internet markers are no hops
        {"W1AAA*,qAR,W2IGT", "W1AAA@1", 2},
    };
    for (const auto& c : cases) {
        const aprs::TPathReading reading = aprs::ReadPath(c.path);
        EXPECT_EQ(Hops(reading), c.hops) << c.path;
        EXPECT_EQ(reading.asked, c.asked) << c.path;
    }
    EXPECT_TRUE(aprs::SameCall("n0call", "N0CALL-0"));
    EXPECT_FALSE(aprs::SameCall("N0CALL-9", "N0CALL-7"));
    EXPECT_FALSE(aprs::SameCall("", ""));
}

/// The own station at 43 N 70 W; DIGI2 listed at 2 km; digipeaters that only
/// beacon on the channel at 44 N (111 km) and 43.1 N (11 km); a station
/// from 45 N (222 km).
constexpr const char* kBeacons[] = {
    "FAR111>APRS:!4400.00N/07000.00W#digi 111 km",
    "NEAR11>APRS:!4306.00N/07000.00W#digi 11 km",
    "W2ONE>APRS:!4306.00N/07000.00W#digi 11 km",
};

struct TCase {
    const char* name;
    std::vector<std::pair<double, const char*>> frames; ///< seconds, monitor line
    std::optional<double> radiusKm;
    std::vector<const char*> lines; ///< lines the footprint holds, in order
    std::vector<const char*> absent = {};
};

std::vector<std::string> Footprint(const TCase& c) {
    double now = 0.0;
    aprs::TChannelMeter meter([&now] { return now; });
    meter.SetOwnCall("N0CALL");
    for (const char* beacon : kBeacons)
        meter.Add(*aprs::MeterMonitorLine(beacon));
    for (const auto& [at, line] : c.frames) {
        now = at;
        const std::optional<aprs::TMeteredFrame> frame = aprs::MeterMonitorLine(line);
        EXPECT_TRUE(frame) << line;
        if (frame)
            meter.Add(*frame);
    }
    aprs::TFootprintRun run;
    run.ownCall = "N0CALL";
    run.ownPlaced = true;
    run.ownLatitude = 43.0;
    run.ownLongitude = -70.0;
    run.radiusKm = c.radiusKm;
    run.listed = {{"DIGI2", 2}, {"IGATE", 3}};
    return aprs::FormatFootprint(meter.Footprint(run, meter.Figures()));
}

class PathFootprintCases : public testing::TestWithParam<TCase> {
public:
    static void SetUpTestSuite() { support::InitializeAprsPatterns(); }
    static void TearDownTestSuite() { support::FinalizeAprsPatterns(); }
};

constexpr const char* kHome = ":!4300.00N/07000.00W-home";

std::vector<TCase> Cases() {
    static const std::string one = std::string("N0CALL>APRS,DIGI2*,WIDE2-1") + kHome;
    static const std::string two = std::string("N0CALL>APRS,DIGI2,NEAR11,WIDE2*") + kHome;
    static const std::string three = std::string("N0CALL>APRS,DIGI2,NEAR11,FAR111,WIDE3*") + kHome;
    static const std::string farFirst = std::string("N0CALL>APRS,FAR111*,WIDE2-1") + kHome;
    static const std::string unknown = std::string("N0CALL>APRS,W9UNK*,WIDE2-1") + kHome;
    static const std::string unknown2 = std::string("N0CALL>APRS,DIGI2,W9UNK,WIDE2*") + kHome;
    static const std::string untraced = std::string("N0CALL>APRS,WIDE2*") + kHome;
    static const std::string direct = std::string("N0CALL>APRS,WIDE1-1,WIDE2-1") + kHome;
    static const std::string ssid = std::string("N0CALL-9>APRS,DIGI2*,WIDE2-1") + kHome;
    static const std::string lower = std::string("n0call>APRS,DIGI2*,WIDE2-1") + kHome;
    static const std::string again = std::string("N0CALL>APRS,NEAR11*,WIDE2-1") + kHome;
    return {
        {"OneHopInside",
         {{10, one.c_str()}},
         5.0,
         {"Own packets: 1 from N0CALL in 30 minutes, 1 digipeated copies heard",
          "Your path asks for: 2 hops",
          "Digipeated by: DIGI2, 2 km, hop 1, inside the ALOHA radius", "Suggested path: WIDE2-1"}},
        {"TwoHopsInside",
         {{10, one.c_str()}, {12, two.c_str()}},
         20.0,
         {"Own packets: 1 from N0CALL in 30 minutes, 2 digipeated copies heard",
          "Digipeated by: DIGI2, 2 km, hop 1, inside the ALOHA radius",
          "Digipeated by: NEAR11, 11 km, hop 2, inside the ALOHA radius",
          "Suggested path: WIDE2-2"}},
        {"ThirdHopBeyond",
         {{10, three.c_str()}},
         20.0,
         {"Digipeated by: FAR111, 111 km, hop 3, beyond the ALOHA radius",
          "Suggested path: WIDE2-2"}},
        {"SecondHopBeyond",
         {{10, two.c_str()}},
         5.0,
         {"Digipeated by: NEAR11, 11 km, hop 2, beyond the ALOHA radius",
          "Suggested path: WIDE2-1"}},
        {"FirstHopBeyond",
         {{10, farFirst.c_str()}, {11, one.c_str()}},
         20.0,
         {"Digipeated by: DIGI2, 2 km, hop 1, inside the ALOHA radius",
          "Digipeated by: FAR111, 111 km, hop 1, beyond the ALOHA radius", "Suggested path: none"}},
        {"FirstHopUnplaced",
         {{10, unknown.c_str()}},
         20.0,
         {"Digipeated by: W9UNK, hop 1, position unknown",
          "No path suggested yet: the positions of the digipeaters that repeated your packets "
          "first are not known"}},
        {"UnplacedSecondHopStopsTheCount",
         {{10, unknown2.c_str()}},
         20.0,
         {"Digipeated by: W9UNK, hop 2, position unknown", "Suggested path: WIDE2-1"}},
        {"Untraced",
         {{10, untraced.c_str()}},
         20.0,
         {"Digipeated by: an unidentified digipeater, hop 1, position unknown",
          "Digipeated by: an unidentified digipeater, hop 2, position unknown",
          "No path suggested yet: the positions of the digipeaters that repeated your packets "
          "first are not known"}},
        {"NoRadius",
         {{10, one.c_str()}},
         std::nullopt,
         {"Digipeated by: DIGI2, 2 km, hop 1, no ALOHA radius to compare with",
          "No path suggested yet: the run found too few stations for an ALOHA radius, so there is "
          "no distance to keep your packets within",
          "From beyond the ALOHA radius: not known (no ALOHA radius)"}},
        {"HeardDirectOnly",
         {{10, direct.c_str()}},
         20.0,
         {"Own packets: 1 from N0CALL in 30 minutes, 0 digipeated copies heard",
          "No path suggested yet: no digipeater was heard repeating your own packets in the last "
          "30 minutes"}},
        {"AnotherSsidIsAnotherStation",
         {{10, ssid.c_str()}},
         20.0,
         {"Own packets: 0 from N0CALL in 30 minutes, 0 digipeated copies heard"},
         {"Digipeated by: DIGI2, 2 km, hop 1, inside the ALOHA radius"}},
        {"OwnPacketGatedBackIsTheIGatesFrame",
         {{10, "IGATE>APRS,DIGI2*:}N0CALL>APRS,TCPIP,IGATE*:!4300.00N/07000.00W-home"}},
         20.0,
         {"Own packets: 0 from N0CALL in 30 minutes, 0 digipeated copies heard"}},
        {"CallInAnyCase",
         {{10, lower.c_str()}},
         20.0,
         {"Digipeated by: DIGI2, 2 km, hop 1, inside the ALOHA radius"}},
        {"CopiesOutsideThirtySecondsAreAnotherPacket",
         {{10, one.c_str()}, {35, again.c_str()}, {41, one.c_str()}},
         20.0,
         {"Own packets: 2 from N0CALL in 30 minutes, 3 digipeated copies heard",
          "Digipeated by: DIGI2, 2 km, hop 1, inside the ALOHA radius",
          "Digipeated by: NEAR11, 11 km, hop 1, inside the ALOHA radius"}},
        {"OwnPacketsOlderThanTheWindowAreGone",
         {{10, farFirst.c_str()}, {1900, one.c_str()}},
         20.0,
         {"Own packets: 1 from N0CALL in 30 minutes, 1 digipeated copies heard",
          "Suggested path: WIDE2-1"}},
        {"OwnCallFromFarAwayIsNotOwn",
         {{10, one.c_str()}, {20, "N0CALL>APRS,FAR111*,WIDE2-1:!5000.00N/07000.00W-spoof"}},
         20.0,
         {"Own packets: 1 from N0CALL in 30 minutes, 1 digipeated copies heard",
          "Suggested path: WIDE2-1",
          "Frames with your call from 778 km away (another station using it, not taken as yours): "
          "1"}},
        {"MovingOwnStation",
         {{10, "N0CALL>APRS,DIGI2,NEAR11,WIDE2*:!4300.00N/07000.00W>car"},
          {200, "N0CALL>APRS,DIGI2,NEAR11,WIDE2*:!4303.00N/07000.00W>car"}},
         20.0,
         {"Suggested path: WIDE2-2", "Suggested path when mobile: WIDE1-1,WIDE2-1"}},
        {"FromBeyond",
         {{10, "K9FAR>APRS,FAR111*,WIDE2-1:!4500.00N/07000.00W-far"},
          {20, "K9FAR>APRS,FAR111*,WIDE2-1:!4500.00N/07000.00W-far"},
          // gated by a local IGate, and an object placed far by a local
          // station: both take the channel from near by
          {30, "IGATE>APRS,DIGI2*:}K9GAT>APRS,TCPIP,IGATE*:!4500.00N/07000.00W-gated"},
          {40, "DIGI2>APRS:;FAROBJ   *111111z4500.00N/07000.00W-object"}},
         100.0,
         {"From beyond the ALOHA radius: 3 frames, 41.6 % of the airtime",
          "Call           km Hops Frames  Path", "K9FAR         222    1      2  FAR111*,WIDE2-1",
          "FAR111        111    0      1  (direct)"},
         {"K9GAT", "FAROBJ", "N0CALL  "}},
    };
}

TEST_P(PathFootprintCases, KnownAnswers) {
    const TCase& c = GetParam();
    const std::vector<std::string> lines = Footprint(c);
    auto at = lines.begin();
    for (const char* expected : c.lines) {
        const auto found = std::find(at, lines.end(), expected);
        ASSERT_NE(found, lines.end()) << "missing or out of order: " << expected << "\n"
                                      << testing::PrintToString(lines);
        at = found + 1;
    }
    for (const char* word : c.absent)
        for (const std::string& line : lines)
            EXPECT_EQ(line.find(word), std::string::npos) << line;
}

INSTANTIATE_TEST_SUITE_P(Footprint, PathFootprintCases, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<TCase>& info) { return info.param.name; });

// A flood of made-up calls keeps the table within its bound, and the
// stations heard last are the ones kept.
TEST_F(PathFootprintCases, AFloodOfCallsKeepsTheNewestWithinTheBound) {
    aprs::TPathTracker tracker(100);
    aprs::TChannelFigures channel;
    for (int i = 0; i < 10'000; ++i) {
        const std::string line = "F" + std::to_string(i) + ">APRS,FAR111*:!4500.00N/07000.00W-far";
        aprs::TMeteredFrame frame = *aprs::MeterMonitorLine(line);
        tracker.Add(std::nullopt, frame.station, frame.packet, &*frame.report, frame.airBits);
        ASSERT_LE(tracker.Stations(), 100u);
    }
    channel.frames = 1;
    channel.bits = 400;
    channel.airtimeSeconds = 1.0;
    channel.talkers = {{"F9999", 1, -1}, {"F0", 1, -1}};
    aprs::TFootprintRun run;
    run.ownPlaced = true;
    run.ownLatitude = 43.0;
    run.ownLongitude = -70.0;
    run.radiusKm = 100.0;
    const aprs::TFootprint footprint = tracker.Footprint(0.0, run, channel);
    ASSERT_EQ(footprint.beyond.size(), 1u); // F0 was made room for: its place is unknown
    EXPECT_EQ(footprint.beyond[0].call, "F9999");
    EXPECT_EQ(footprint.beyond[0].path, "FAR111*");
}

aprs::TFootprintRun FarRun() {
    aprs::TFootprintRun run;
    run.ownPlaced = true;
    run.ownLatitude = 43.0;
    run.ownLongitude = -70.0;
    run.radiusKm = 100.0;
    return run;
}

// The channel window keeps a station longer than the tracker, with the tag
// it was given: once the tracker made room and gave the record to another
// station, that tag must not write into the other station's record.
TEST_F(PathFootprintCases, AStaleTagFindsItsStationAgain) {
    double now = 0.0;
    aprs::TChannelStats stats([&now] { return now; }, 100);
    aprs::TPathTracker tracker(8);
    const auto add = [&](const std::string& call, const std::string& path) {
        const std::string line = call + ">APRS," + path + ":!4500.00N/07000.00W-far";
        const aprs::TMeteredFrame frame = *aprs::MeterMonitorLine(line);
        std::uint64_t* tag = stats.Add(frame.station, frame.airBits);
        ASSERT_NE(tag, nullptr);
        tracker.Add(now, frame.station, frame.packet, &*frame.report, frame.airBits, tag);
        now += 1.0;
    };
    add("K1AAA", "PATHA*");
    for (int i = 0; i < 20; ++i)
        add("S" + std::to_string(i), "D" + std::to_string(i) + "*");
    add("K1AAA", "PATHB*");
    add("K1AAA", "PATHC*");

    const aprs::TFootprint footprint = tracker.Footprint(now, FarRun(), stats.Figures(100));
    ASSERT_GE(footprint.beyond.size(), 2u);
    bool sawA = false;
    for (const aprs::TBeyondStation& row : footprint.beyond) {
        if (row.call == "K1AAA") {
            sawA = true;
            EXPECT_EQ(row.path, "PATHC*");
        } else {
            EXPECT_EQ(row.path, "D" + row.call.substr(1) + "*") << row.call;
        }
    }
    EXPECT_TRUE(sawA);
    EXPECT_LE(tracker.Stations(), 8u);
}

// Past the own packets kept, a copy still finds the newest packet it belongs
// to, and a copy of a packet dropped long ago starts a packet of its own.
TEST_F(PathFootprintCases, CopiesFindTheirPacketPastTheOwnPacketsKept) {
    aprs::TPathTracker tracker;
    tracker.SetOwnCall("N0CALL");
    const auto own = [&tracker](double at, const std::string& path, std::size_t n) {
        const std::string line =
            "N0CALL>APRS," + path + ":!4300.00N/07000.00W-n" + std::to_string(n);
        const aprs::TMeteredFrame frame = *aprs::MeterMonitorLine(line);
        tracker.Add(at, frame.station, frame.packet, &*frame.report, frame.airBits);
    };
    const std::size_t last = aprs::TPathTracker::kMaxOwnPackets + 9;
    for (std::size_t n = 0; n <= last; ++n)
        own(static_cast<double>(n) * 0.001, "WIDE1-1,WIDE2-1", n);
    own(10.0, "DIGI2*,WIDE2-1", last); // within 30 s of the newest
    own(10.0, "DIGI2*,WIDE2-1", 0);    // its packet was dropped: a new one

    const aprs::TFootprint footprint = tracker.Footprint(20.0, FarRun(), {});
    EXPECT_EQ(footprint.ownPackets, aprs::TPathTracker::kMaxOwnPackets);
    EXPECT_EQ(footprint.copies, 2u);
    ASSERT_EQ(footprint.digipeaters.size(), 1u);
    EXPECT_EQ(footprint.digipeaters[0].call, "DIGI2");
    EXPECT_EQ(footprint.digipeaters[0].copies, 2u);
}

// A flood of copies through made-up digipeaters counts every copy and lists
// a bounded number of them.
TEST_F(PathFootprintCases, DigipeatersOfOnePacketAreBounded) {
    aprs::TPathTracker tracker;
    tracker.SetOwnCall("N0CALL");
    for (int i = 0; i < 100; ++i) {
        const std::string line =
            "N0CALL>APRS,X" + std::to_string(i) + "*,WIDE2-1:!4300.00N/07000.00W-home";
        const aprs::TMeteredFrame frame = *aprs::MeterMonitorLine(line);
        tracker.Add(1.0, frame.station, frame.packet, &*frame.report, frame.airBits);
    }
    const aprs::TFootprint footprint = tracker.Footprint(2.0, FarRun(), {});
    EXPECT_EQ(footprint.ownPackets, 1u);
    EXPECT_EQ(footprint.copies, 100u);
    EXPECT_EQ(footprint.digipeaters.size(), aprs::TPathTracker::kMaxDigipeatersPerPacket);
}

} // namespace
