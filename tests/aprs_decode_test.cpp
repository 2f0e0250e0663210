// The TNC decoders: KISS framing, AX.25 UI frames and the APRS position
// formats, on frames built by hand from the published formats.
#include "standin/aprs/AprsDecode.h"
#include "standin/aprs/Ax25.h"
#include "standin/aprs/Kiss.h"
#include "support/APRSParser.h"

#include <gtest/gtest.h>

#include <random>

using namespace standin::aprs;

namespace {

class AprsDecode : public testing::Test {
protected:
    static void SetUpTestSuite() { support::InitializeAprsPatterns(); }
};

TAprsReport Decoded(const std::string& line) {
    const TMonitorResult monitor = ParseMonitorLine(line);
    EXPECT_TRUE(monitor.packet) << line << ": " << monitor.reason;
    if (!monitor.packet)
        return {};
    const TAprsResult result = DecodeAprs(*monitor.packet);
    EXPECT_TRUE(result.report) << line << ": " << result.reason;
    return result.report.value_or(TAprsReport{});
}

std::string Refused(const std::string& line) {
    const TMonitorResult monitor = ParseMonitorLine(line);
    if (!monitor.packet)
        return monitor.reason;
    const TAprsResult result = DecodeAprs(*monitor.packet);
    EXPECT_FALSE(result.report) << line;
    return result.reason;
}

std::vector<TKissFrame> Deframe(const std::vector<std::string>& pieces,
                                std::uint64_t* garbage = nullptr) {
    TKissDeframer deframer;
    std::vector<TKissFrame> frames;
    deframer.OnFrame = [&](const TKissFrame& frame) { frames.push_back(frame); };
    for (const std::string& piece : pieces)
        deframer.Feed(piece);
    if (garbage)
        *garbage = deframer.Garbage();
    return frames;
}

} // namespace

TEST(KissDeframer, FramesSplitAndJoinedAndEscaped) {
    const std::string a = KissEncode("one\xC0two\xDB", 0);
    const std::string b = KissEncode("second", 3);
    // Joined in one piece, then the same bytes one at a time.
    for (const bool split : {false, true}) {
        std::vector<std::string> pieces;
        const std::string stream = a + b;
        if (split)
            for (const char c : stream)
                pieces.emplace_back(1, c);
        else
            pieces.push_back(stream);
        const auto frames = Deframe(pieces);
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(frames[0].data, std::string("one\xC0two\xDB"));
        EXPECT_EQ(frames[0].port, 0);
        EXPECT_EQ(frames[1].data, "second");
        EXPECT_EQ(frames[1].port, 3);
        EXPECT_EQ(frames[1].command, 0);
    }
}

TEST(KissDeframer, GarbageIsCountedAndDroppedUpToTheNextDelimiter) {
    std::uint64_t garbage = 0;
    // Noise before the first FEND, a bad escape, an empty frame, then a good one.
    auto frames = Deframe({"noise", "\xC0\x00ab\xDBxcd\xC0\xC0\xC0", KissEncode("ok")}, &garbage);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].data, "ok");
    EXPECT_EQ(garbage, 2u);

    // A frame that never ends is dropped without growing without bound.
    std::string flood = "\xC0";
    flood += '\0';
    flood.append(100000, 'x');
    frames = Deframe({flood, KissEncode("after")}, &garbage);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].data, "after");
    EXPECT_EQ(garbage, 1u);
}

TEST(KissDeframer, ResetDropsAFrameCutOffByADisconnect) {
    TKissDeframer deframer;
    std::vector<std::string> got;
    deframer.OnFrame = [&](const TKissFrame& frame) { got.push_back(frame.data); };
    deframer.Feed(std::string("\xC0\x00half", 6));
    deframer.Reset();
    deframer.Feed(std::string("rest\xC0", 5)); // before any FEND of the new stream: noise
    deframer.Feed(KissEncode("whole"));
    EXPECT_EQ(got, std::vector<std::string>{"whole"});
}

TEST(Ax25, DecodesAddressesRepeatedBitsAndRebuildsTheMonitorLine) {
    const std::string bytes =
        EncodeAx25("N0CALL-7", "APRS", {"WIDE1-1*", "N1DIG-3*", "WIDE2-1"}, "!info\r");
    const TAx25Result result = DecodeAx25(bytes);
    ASSERT_TRUE(result.frame) << result.reason;
    EXPECT_EQ(result.frame->source.call, "N0CALL-7");
    EXPECT_EQ(result.frame->destination.call, "APRS");
    ASSERT_EQ(result.frame->digipeaters.size(), 3u);
    EXPECT_TRUE(result.frame->digipeaters[0].repeated);
    EXPECT_FALSE(result.frame->digipeaters[2].repeated);
    // Only the last repeater that sent it is starred.
    EXPECT_EQ(MonitorLine(*result.frame), "N0CALL-7>APRS,WIDE1-1,N1DIG-3*,WIDE2-1:!info");
    EXPECT_EQ(MonitorLine(*DecodeAx25(EncodeAx25("A1B", "APRS", {}, ">x")).frame), "A1B>APRS:>x");
}

TEST(Ax25, RefusesWhatIsNotAnAprsUiFrame) {
    std::string ui = EncodeAx25("N0CALL", "APRS", {}, "!x");
    const std::size_t control = 14;
    std::string iframe = ui;
    iframe[control] = 0x00;
    std::string otherPid = ui;
    otherPid[control + 1] = static_cast<char>(0xCF);
    EXPECT_NE(DecodeAx25(iframe).reason.find("not a UI frame"), std::string::npos);
    EXPECT_NE(DecodeAx25(otherPid).reason.find("PID"), std::string::npos);
    EXPECT_FALSE(DecodeAx25(ui.substr(0, 10)).frame);
    std::string badCall = ui;
    badCall[7] = static_cast<char>('!' << 1);
    EXPECT_NE(DecodeAx25(badCall).reason.find("source"), std::string::npos);
    // An address list that never ends runs into the information and stops at 8 digipeaters.
    std::string endless = ui.substr(0, 14);
    endless[13] &= ~1;
    for (int i = 0; i < 10; ++i)
        endless += ui.substr(0, 6) + "\x60";
    EXPECT_FALSE(DecodeAx25(endless).frame);
}

TEST_F(AprsDecode, MonitorLines) {
    const TMonitorResult ok = ParseMonitorLine("N0CALL>APRS,WIDE1-1,qAR:@09:23z text\r\n");
    ASSERT_TRUE(ok.packet);
    EXPECT_EQ(ok.packet->path, "WIDE1-1,qAR");
    EXPECT_EQ(ok.packet->information, "@09:23z text");
    EXPECT_TRUE(ParseMonitorLine("[0.3] N0CALL>APRS:>status").packet);
    // A long source is refused rather than cut to its last 9 characters.
    EXPECT_EQ(ParseMonitorLine("TOOLONGCALL1>APRS:!x").reason,
              "source call longer than 9 characters");
    EXPECT_FALSE(ParseMonitorLine("no packet here").packet);
}

TEST_F(AprsDecode, UncompressedPositionsWithAndWithoutTimestamp) {
    const TAprsReport plain = Decoded("N0CALL>APRS,WIDE1-1*:!4903.50N/07201.75W-Test");
    EXPECT_TRUE(plain.hasPosition);
    EXPECT_NEAR(plain.latitude, 49.058333, 1e-6);
    EXPECT_NEAR(plain.longitude, -72.029167, 1e-6);
    EXPECT_EQ(plain.symbolTable, '/');
    EXPECT_EQ(plain.symbolCode, '-');
    EXPECT_FALSE(plain.hasSpeed);
    EXPECT_EQ(plain.path, "APRS,WIDE1-1*");

    const TAprsReport timed = Decoded("N0CALL-9>APRS:@092345z4903.50S\\07201.75E>088/036");
    EXPECT_NEAR(timed.latitude, -49.058333, 1e-6);
    EXPECT_NEAR(timed.longitude, 72.029167, 1e-6);
    EXPECT_EQ(timed.symbolTable, '\\');
    EXPECT_TRUE(timed.hasSpeed);
    EXPECT_EQ(timed.course, 88);
    EXPECT_NEAR(timed.speedKmh, 36 * 1.852, 1e-9);

    EXPECT_TRUE(Decoded("N0CALL>APRS:/092345z4903.50N/07201.75W>").hasPosition);
    EXPECT_TRUE(Decoded("N0CALL>APRS:=4903.  N/07201.  W-").hasPosition); // ambiguity
    EXPECT_EQ(Refused("N0CALL>APRS:!4903.50X/07201.75W-"), "bad latitude '4903.50X'");
    EXPECT_EQ(Refused("N0CALL>APRS:@0923z4903.50N/07201.75W-"), "bad timestamp");
    EXPECT_EQ(Refused("N0CALL>APRS:!9903.50N/07201.75W-"), "bad latitude '9903.50N'");
}

TEST_F(AprsDecode, WeatherWithPositionTakesNoSpeedFromTheWind) {
    const TAprsReport wx = Decoded("WX1>APRS:@092345z4903.50N/07201.75W_220/004g005t077r000");
    EXPECT_EQ(wx.symbolCode, '_');
    EXPECT_FALSE(wx.hasSpeed);
    EXPECT_FALSE(Decoded("WX1>APRS:_10090556c220s004g005t077").hasPosition);
}

TEST_F(AprsDecode, CompressedPositionKnownAnswer) {
    // The published example: 49 30' N, 72 45' W, course 88, speed 36.2 knots.
    const TAprsReport r = Decoded("N0CALL>APRS:=/5L!!<*e7>7P[");
    EXPECT_NEAR(r.latitude, 49.5, 1e-6);
    EXPECT_NEAR(r.longitude, -72.75, 1e-4);
    EXPECT_EQ(r.symbolCode, '>');
    EXPECT_EQ(r.course, 88);
    EXPECT_NEAR(r.speedKmh / 1.852, 36.2, 0.05);
    // Altitude in cs (GGA origin): no speed. A blank c: no course or speed.
    EXPECT_FALSE(Decoded("N0CALL>APRS:!/5L!!<*e7>S]Q").hasSpeed);
    EXPECT_FALSE(Decoded("N0CALL>APRS:!/5L!!<*e7>  [").hasSpeed);
    EXPECT_EQ(Refused("N0CALL>APRS:!/5L!"), "compressed position too short");
}

TEST_F(AprsDecode, MicEKnownAnswer) {
    // Destination S32U6T: 33 25.64' N, west, no longitude offset. Longitude
    // 72 45.67', speed 20 knots (sent as 820), course 251 (sent as 651).
    const TAprsReport r = Decoded("N0CALL>S32U6T,WIDE1-1:`dI_n\"O>/");
    EXPECT_NEAR(r.latitude, 33 + 25.64 / 60, 1e-6);
    EXPECT_NEAR(r.longitude, -(72 + 45.67 / 60), 1e-6);
    EXPECT_EQ(r.symbolCode, '>');
    EXPECT_EQ(r.symbolTable, '/');
    EXPECT_EQ(r.course, 251);
    EXPECT_NEAR(r.speedKmh, 20 * 1.852, 1e-9);
    // Longitude offset (fifth character P-Z) and east (sixth 0-9): 112 E, south.
    const TAprsReport east = Decoded("N0CALL>S320Q0:'(!!l!!k/");
    EXPECT_NEAR(east.latitude, -(33 + 20.10 / 60), 1e-6);
    EXPECT_NEAR(east.longitude, 112 + 5.05 / 60, 1e-6);
    EXPECT_EQ(Refused("N0CALL>APRS:`dI_n\"O>/"), "Mic-E destination 'APRS' is not 6 characters");
    EXPECT_EQ(Refused("N0CALL>S32U6T:`dI"), "Mic-E information too short");
}

TEST_F(AprsDecode, ObjectsAndItemsNameTheStationAndCanBeKilled) {
    const TAprsReport object = Decoded("N0CALL>APRS:;LEADER   *092345z4903.50N/07201.75W>088/036");
    EXPECT_EQ(object.name, "LEADER");
    EXPECT_TRUE(object.alive);
    EXPECT_EQ(object.type, support::TPacketType::ptObject);
    EXPECT_FALSE(Decoded("N0CALL>APRS:;LEADER   _092345z4903.50N/07201.75W>").alive);
    const TAprsReport item = Decoded("N0CALL>APRS:)AID #2!4903.50N/07201.75WA");
    EXPECT_EQ(item.name, "AID #2");
    EXPECT_EQ(item.symbolTable, '/');
    EXPECT_EQ(item.symbolCode, 'A');
    const TAprsReport compressedItem = Decoded("N0CALL>APRS:)MOBIL_/5L!!<*e7>7P[");
    EXPECT_FALSE(compressedItem.alive);
    EXPECT_EQ(Refused("N0CALL>APRS:)AB!4903.50N/07201.75WA"), "malformed item name");
}

TEST_F(AprsDecode, ThirdPartyPacketsTakeTheInnerSourceAndStarTheIGate) {
    const TAprsReport gated =
        Decoded("KB1IGT>APRS,WIDE1-1*:}W1ABC>APRS,TCPIP,KB1IGT*:!4903.50N/07201.75W-");
    EXPECT_EQ(gated.name, "W1ABC");
    EXPECT_TRUE(gated.thirdParty);
    EXPECT_EQ(gated.path, "APRS,TCPIP,KB1IGT*");
    // Without the IGate in the inner path it is added, starred, last.
    EXPECT_EQ(Decoded("KB1IGT>APRS:}W1ABC>APDR15,WIDE2*:=4903.50N/07201.75W-").path,
              "APDR15,WIDE2,KB1IGT*");
    EXPECT_EQ(Refused("KB1IGT>APRS:}W1ABC>APRS:}K1X>APRS:!4903.50N/07201.75W-"),
              "third-party: third-party packet inside a third-party packet");
    EXPECT_EQ(Refused("KB1IGT>APRS:}garbage"), "third-party: not a monitor line");
}

TEST_F(AprsDecode, PacketsWithoutAPlaceStillDecode) {
    for (const char* line : {"N0CALL>APRS:>status", "N0CALL>APRS::BLN1     :hello",
                             "N0CALL>APRS:T#005,199,000,255,073,123,01101001"}) {
        const TAprsReport r = Decoded(line);
        EXPECT_FALSE(r.hasPosition) << line;
        EXPECT_EQ(r.name, "N0CALL");
    }
    EXPECT_EQ(Refused("N0CALL>APRS:"), "empty information field");
}

// Random and mutated frames through every decoder: nothing may crash, hang or
// read out of bounds (the sanitizer build checks the last).
TEST_F(AprsDecode, RandomAndMutatedFramesNeverBreakTheDecoders) {
    const std::vector<std::string> seeds = {"!4903.50N/07201.75W-Test",
                                            "@092345z4903.50N/07201.75W>088/036",
                                            "=/5L!!<*e7>7P[",
                                            "`dI_n\"O>/",
                                            ";LEADER   *092345z4903.50N/07201.75W>",
                                            ")AID #2!4903.50N/07201.75WA",
                                            "}W1ABC>APRS,TCPIP,KB1IGT*:!4903.50N/07201.75W-",
                                            "_10090556c220s004g005t077"};
    std::mt19937 random(12345);
    const auto byte = [&] { return static_cast<char>(random() & 0xFF); };
    TKissDeframer deframer;
    std::size_t decoded = 0;
    deframer.OnFrame = [&](const TKissFrame& frame) {
        const TAx25Result ax25 = DecodeAx25(frame.data);
        if (!ax25.frame)
            return;
        TMonitorPacket packet{ax25.frame->source.call, ax25.frame->destination.call,
                              MonitorPath(*ax25.frame), ax25.frame->information};
        if (DecodeAprs(packet).report)
            ++decoded;
    };
    for (int round = 0; round < 20000; ++round) {
        std::string info = seeds[random() % seeds.size()];
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits && !info.empty(); ++e) {
            const std::size_t at = random() % info.size();
            switch (random() % 3) {
            case 0:
                info[at] = byte();
                break;
            case 1:
                info.erase(at, 1 + random() % 8);
                break;
            default:
                info.insert(at, 1, byte());
            }
        }
        const std::string dest = random() % 2 ? "S32U6T" : "APRS";
        std::string frame = EncodeAx25("N0CALL", dest, {"WIDE1-1*"}, info);
        if (random() % 4 == 0)
            frame[random() % frame.size()] = byte();
        std::string stream = KissEncode(frame);
        if (random() % 8 == 0)
            stream.insert(random() % stream.size(), 1, byte());
        deframer.Feed(stream);
        const TMonitorResult line = ParseMonitorLine("N0CALL>" + dest + ":" + info);
        if (line.packet)
            DecodeAprs(*line.packet);
    }
    EXPECT_GT(decoded, 1000u); // the mutations leave many frames valid
}
