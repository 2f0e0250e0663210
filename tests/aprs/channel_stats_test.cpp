// The channel measurement: airtime of frames from their bits on the air, and
// the sliding 30-minute window, on a clock the test turns.
#include "aprs/channel/ChannelStats.h"
#include "aprs/packets/Ax25.h"

#include <gtest/gtest.h>

using namespace aprs;

TEST(Airtime, BitStuffingSendsLeastSignificantBitFirst) {
    EXPECT_EQ(StuffedBits(""), 0u);
    EXPECT_EQ(StuffedBits("\x01\x02"), 16u);
    // Five 1s get a 0 after them, even when a 0 follows anyway.
    EXPECT_EQ(StuffedBits("\x1F"), 9u);
    EXPECT_EQ(StuffedBits("\xFF"), 9u);      // 1111 1 0 111
    EXPECT_EQ(StuffedBits("\xFF\xFF"), 19u); // after the 5th, 10th and 15th 1
    EXPECT_EQ(StuffedBits("\x7E"), 9u);      // a flag's pattern inside a frame
    // 0xF0 ends with four 1s when sent low bit first, 0x01 starts with one:
    // a run of five across the byte boundary. The other way round there is none.
    EXPECT_EQ(StuffedBits("\xF0\x01"), 17u);
    EXPECT_EQ(StuffedBits("\x01\xF0"), 16u);
    EXPECT_EQ(StuffedBits("\x0F\xF8"), 17u); // 0x0F starts 1111, 0xF8 ...
    EXPECT_EQ(StuffedBits("\xF8\x0F"), 17u); // 0xF8 ends 11111 on its own
}

TEST(Airtime, FrameBitsIncludeFlagsAndTheCheckSequence) {
    // The CRC-16 of HDLC has the check value 0x906E for "123456789".
    EXPECT_EQ(Ax25Fcs("123456789"), 0x906E);
    // Digits have no run of five 1s, nor have 0x6E 0x90 (the FCS, low byte
    // first): 8 + 9 × 8 + 16 + 8 bits.
    EXPECT_EQ(Ax25AirBits("123456789"), 104u);
    // A position beacon without digipeaters: 36 bytes and the FCS 0xAF50 are
    // 304 bits; the address bytes of "APRS" padded with blanks (0x40) and the
    // FCS carry no run, 'W' (0x57) then '-' (0x2D) carry one: 305, and the flags.
    const std::string frame = EncodeAx25("N0CALL", "APRS", {}, "!4903.50N/07201.75W-");
    ASSERT_EQ(frame.size(), 36u);
    EXPECT_EQ(Ax25Fcs(frame), 0xAF50);
    EXPECT_EQ(Ax25AirBits(frame), 321u);
}

namespace {

class ChannelWindow : public testing::Test {
protected:
    double Now = 1000000.0;
    TChannelStats Stats{[this] { return Now; }};
};

} // namespace

TEST_F(ChannelWindow, FramesLeaveTheChannelWindowAfterThirtyMinutes) {
    Stats.Add("A", 1200);
    Now += 100;
    Stats.Add("B", 600);
    Now += 1699; // the first frame is 1799 s old
    TChannelFigures f = Stats.Figures(10);
    EXPECT_EQ(f.frames, 2u);
    EXPECT_EQ(f.bits, 1800u);
    // 2 × 300 ms keying + 1800 bits at 1200 baud = 2.1 s of 1800 s.
    EXPECT_DOUBLE_EQ(f.airtimeSeconds, 2.1);
    EXPECT_NEAR(f.occupancyPercent, 2.1 / 18, 1e-12);
    Now += 1;
    f = Stats.Figures(10);
    EXPECT_EQ(f.frames, 1u);
    EXPECT_EQ(f.bits, 600u);
    Now += 100;
    EXPECT_EQ(Stats.Figures(10).frames, 0u);
    EXPECT_EQ(Stats.Figures(10).airtimeSeconds, 0.0);

    Stats.SetTxDelayMs(0);
    Stats.Add("A", 1200);
    EXPECT_DOUBLE_EQ(Stats.Figures(10).airtimeSeconds, 1.0);
}

TEST_F(ChannelWindow, StationsAreCountedInTheirWindowAndThenForgotten) {
    Now = 30 * 1000; // the start of a 30-second step
    for (int i = 0; i < 5; ++i)
        Stats.Add("MOBILE", 300);
    Stats.Add("HOME", 300);
    Now += 900;
    for (int i = 0; i < 3; ++i)
        Stats.Add("MOBILE", 300);
    Stats.Add("DIGI", 300);
    Stats.Add("DIGI", 300);
    TChannelFigures f = Stats.Figures(2);
    EXPECT_EQ(f.stations, 3u);
    ASSERT_EQ(f.talkers.size(), 2u); // the top two
    EXPECT_EQ(f.talkers[0].name, "MOBILE");
    EXPECT_EQ(f.talkers[0].measured, 8u);
    EXPECT_EQ(f.talkers[1].name, "DIGI");
    EXPECT_EQ(f.talkers[0].estimated, -1);

    // Thirty minutes after the first frames they leave, and HOME with them.
    Now += 900;
    f = Stats.Figures(10);
    EXPECT_EQ(f.stations, 2u);
    ASSERT_EQ(f.talkers.size(), 2u);
    EXPECT_EQ(f.talkers[0].name, "MOBILE");
    EXPECT_EQ(f.talkers[0].measured, 3u);
    EXPECT_EQ(f.talkers[1].measured, 2u);
    EXPECT_EQ(f.frames, 5u);

    // A station heard again after a long silence starts from nothing.
    Now += 5000;
    Stats.Add("MOBILE", 300);
    f = Stats.Figures(10);
    EXPECT_EQ(f.stations, 1u);
    EXPECT_EQ(f.talkers[0].measured, 1u);
    EXPECT_EQ(f.frames, 1u);
}

TEST_F(ChannelWindow, MemoryFollowsTheStationsInTheWindow) {
    // A day of stations coming and going, one new station a minute.
    for (int i = 0; i < 1440; ++i) {
        Stats.Add("S" + std::to_string(i), 500);
        Stats.Add("S" + std::to_string(i), 500);
        Now += 60;
    }
    // Heard 60, 120 ... 1740 s ago; the one of 1800 s ago has just left.
    const TChannelFigures f = Stats.Figures(1000);
    EXPECT_EQ(f.stations, 29u);
    EXPECT_EQ(f.talkers.size(), 29u);
    EXPECT_EQ(f.frames, 58u);
}

TEST_F(ChannelWindow, AClockThatJumpsOrStepsBackKeepsTheCountsSound) {
    Stats.Add("A", 100);
    Now -= 500; // set back: counted with the newest second
    Stats.Add("A", 100);
    EXPECT_EQ(Stats.Figures(10).frames, 2u);
    EXPECT_EQ(Stats.Figures(10).talkers.at(0).measured, 2u);
    Now += 1e9; // decades ahead: everything has left
    const TChannelFigures f = Stats.Figures(10);
    EXPECT_EQ(f.frames, 0u);
    EXPECT_EQ(f.bits, 0u);
    EXPECT_EQ(f.stations, 0u);
}

TEST_F(ChannelWindow, AFloodOfCallsKeepsTheTableBoundedAndEveryFrameCounted) {
    TChannelStats small([this] { return Now; }, 100);
    for (int i = 0; i < 100000; ++i) {
        small.Add("F" + std::to_string(i), 100);
        if (i % 1000 == 999)
            Now += 1;
    }
    TChannelFigures f = small.Figures(5);
    EXPECT_EQ(f.stations, 100u);
    EXPECT_EQ(f.stationsDropped, 99900u);
    EXPECT_EQ(f.frames, 100000u);
    EXPECT_EQ(f.bits, 10000000u);
    // The stations heard last are the ones kept, and one heard again is new.
    small.Add("F99999", 100);
    f = small.Figures(1);
    ASSERT_EQ(f.talkers.size(), 1u);
    EXPECT_EQ(f.talkers[0].name, "F99999");
    EXPECT_EQ(f.talkers[0].measured, 2u);
    small.Add("F0", 100);
    EXPECT_EQ(small.Figures(1).stations, 100u);
    EXPECT_NE(FormatChannelTable(small.Figures(1)).find("stations dropped   99901"),
              std::string::npos);

    // The same 1,000 calls over and over through a table of 100: each was
    // dropped at some time, and counts once, not at every round.
    TChannelStats again([this] { return Now; }, 100);
    for (int round = 0; round < 50; ++round)
        for (int i = 0; i < 1000; ++i)
            again.Add("R" + std::to_string(i), 100);
    EXPECT_EQ(again.Figures(1).stationsDropped, 1000u);
}

TEST_F(ChannelWindow, MoreAirtimeThanTheWindowHoldsIsCappedAndSaid) {
    // 3,000 frames of a second each in one minute, as a file replayed at once.
    Stats.SetTxDelayMs(0);
    for (int i = 0; i < 3000; ++i) {
        Stats.Add("FAST", 1200);
        if (i % 50 == 49)
            Now += 1;
    }
    TChannelFigures f = Stats.Figures(1);
    EXPECT_DOUBLE_EQ(f.airtimeSeconds, 3000.0);
    EXPECT_EQ(f.occupancyPercent, 100.0);
    EXPECT_TRUE(f.overfull);
    EXPECT_NE(FormatChannelTable(f).find(std::string("occupancy          100.0 % (") +
                                         kOverfullNote + ")\n"),
              std::string::npos)
        << FormatChannelTable(f);
    // Once the window holds what a channel can, it is a share again: the
    // last 19 seconds' 950 frames.
    Now += 1780;
    f = Stats.Figures(1);
    EXPECT_FALSE(f.overfull);
    EXPECT_NEAR(f.occupancyPercent, 950.0 / 18, 1e-9);
}

TEST_F(ChannelWindow, CallsWithControlCharactersAreNoStations) {
    using namespace std::string_literals;
    Stats.Add("N0AB\0C"s, 100);
    Stats.Add("N0AB\x1B[2J", 100);
    Stats.Add("N0AB", 100);
    const TChannelFigures f = Stats.Figures(10);
    EXPECT_EQ(f.frames, 3u);
    EXPECT_EQ(f.refusedCalls, 2u);
    ASSERT_EQ(f.stations, 1u);
    EXPECT_EQ(f.talkers.at(0).name, "N0AB");
    EXPECT_NE(FormatChannelTable(f).find("calls refused      2"), std::string::npos);
}

TEST(ChannelTable, ShowsMeasuredBesideEstimated) {
    TChannelFigures f;
    f.frames = 42;
    f.txDelaySeconds = 0.3;
    f.airtimeSeconds = 27.5;
    f.occupancyPercent = 27.5 / 18;
    f.stations = 2;
    f.talkers = {{"W1XYZ-9", 30, 15}, {"K1ABC", 12, -1}};
    const std::string table = FormatChannelTable(f);
    EXPECT_NE(table.find("TX delay 300 ms"), std::string::npos) << table;
    EXPECT_NE(table.find("frames heard       42 (of 1800"), std::string::npos) << table;
    EXPECT_NE(table.find("occupancy          1.5 %"), std::string::npos) << table;
    EXPECT_NE(table.find("  W1XYZ-9              30         15\n"), std::string::npos) << table;
    EXPECT_NE(table.find("  K1ABC                12          -\n"), std::string::npos) << table;
}
