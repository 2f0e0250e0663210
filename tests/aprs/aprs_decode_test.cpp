// The TNC decoders: KISS framing, AX.25 UI frames and the APRS position
// formats, on frames built by hand from the published formats.
#include "aprs/packets/AprsDecode.h"
#include "aprs/packets/Ax25.h"
#include "aprs/packets/Kiss.h"
#include "support/APRSParser.h"

#include <gtest/gtest.h>

#include <random>

using namespace aprs;

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
    // A control character is no separator: this is not a line from "C", nor
    // from a third party inside it; nor is a digipeater called so.
    using namespace std::string_literals;
    EXPECT_EQ(ParseMonitorLine("N0AB\0C>APRS:>status"s).reason,
              "control character in the source call");
    EXPECT_EQ(ParseMonitorLine("N0AB\x7F\x43>APRS:>status"s).reason,
              "control character in the source call");
    EXPECT_EQ(Refused("N0CALL>APRS:}N0AB\x01\x43>APRS,TCPIP:>status"s),
              "third-party: control character in the source call");
    EXPECT_EQ(ParseMonitorLine("N0AB>APRS,WI\0DE:>status"s).reason,
              "control character in the path");
    // Blanks and tabs before the call stay separators; the information
    // field may hold control characters (Mic-E's do).
    EXPECT_TRUE(ParseMonitorLine("\tN0CALL>APRS:>status").packet);
    EXPECT_TRUE(ParseMonitorLine("N0CALL>APRS:`\x1c\x1d").packet);
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
    // Minutes below 10 travel as 60-69 (5 as ']').
    const TAprsReport east = Decoded("N0CALL>S320Q0:'(]!l!!k/");
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

TEST_F(AprsDecode, RawGpsSentencesPlaceTrackersAsVehicles) {
    // The textbook RMC and GGA sentences: 48 07.038' N, 11 31.000' E.
    const TAprsReport rmc =
        Decoded("TRK-9>GPS:$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A");
    EXPECT_EQ(rmc.type, support::TPacketType::ptRawGps);
    EXPECT_NEAR(rmc.latitude, 48 + 7.038 / 60, 1e-9);
    EXPECT_NEAR(rmc.longitude, 11 + 31.0 / 60, 1e-9);
    EXPECT_EQ(rmc.symbolTable, '/');
    EXPECT_EQ(rmc.symbolCode, '>');
    EXPECT_TRUE(rmc.hasSpeed);
    EXPECT_NEAR(rmc.speedKmh, 22.4 * 1.852, 1e-9);
    EXPECT_EQ(rmc.course, 84);
    // Course to the nearest degree; a speed or course no station can have is
    // left out, the fix kept.
    const auto rmcWith = [&](const std::string& speed, const std::string& course) {
        return Decoded("TRK>GPS:$GPRMC,1,A,4807.038,N,01131.000,E," + speed + "," + course + ",");
    };
    EXPECT_EQ(rmcWith("10", "27.9").course, 28);
    EXPECT_EQ(rmcWith("10", "27.4").course, 27);
    EXPECT_EQ(rmcWith("10", "359.7").course, 360);
    EXPECT_EQ(rmcWith("10", "999").course, 0);
    EXPECT_TRUE(rmcWith("10", "999").hasSpeed);
    EXPECT_TRUE(rmcWith("10", "999").hasPosition);
    EXPECT_NEAR(rmcWith("999", "90").speedKmh, 999 * 1.852, 1e-9);
    for (const char* speed : {"1e20", "1000", "inf", "nan", "-5"}) {
        const TAprsReport wild = rmcWith(speed, "90");
        EXPECT_FALSE(wild.hasSpeed) << speed;
        EXPECT_EQ(wild.course, 0) << speed;
        EXPECT_TRUE(wild.hasPosition) << speed;
    }
    const TAprsReport gga =
        Decoded("TRK>GPS:$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47");
    EXPECT_NEAR(gga.latitude, 48 + 7.038 / 60, 1e-9);
    EXPECT_FALSE(gga.hasSpeed);
    // Other talkers; no checksum; an old GLL without status; a lower-case hemisphere.
    const TAprsReport gll = Decoded("TRK>GPS:$GNGLL,4916.45,N,12311.12,W,225444,A,A*42");
    EXPECT_NEAR(gll.latitude, 49 + 16.45 / 60, 1e-9);
    EXPECT_NEAR(gll.longitude, -(123 + 11.12 / 60), 1e-9);
    EXPECT_TRUE(Decoded("TRK>GPS:$GPGLL,4916.45,N,12311.12,W,225444").hasPosition);
    EXPECT_NEAR(Decoded("TRK>GPS:$GLRMC,1,A,4807.038,s,01131.000,w,,,").longitude,
                -(11 + 31.0 / 60), 1e-9);

    // A symbol in the destination: GPSxyz (xy the symbol, z an overlay).
    const std::string fix = ":$GPGLL,4916.45,N,12311.12,W,225444,A";
    const auto symbol = [&](const std::string& destination) {
        const TAprsReport r = Decoded("TRK>" + destination + fix);
        return std::string{r.symbolTable, r.symbolCode};
    };
    EXPECT_EQ(symbol("GPSPY"), "/Y");   // yacht
    EXPECT_EQ(symbol("GPSBP-2"), "//"); // the last of B..P
    EXPECT_EQ(symbol("SPCMX"), "/@");
    EXPECT_EQ(symbol("SYMHS"), "/[");
    EXPECT_EQ(symbol("GPSLA"), "/a");
    EXPECT_EQ(symbol("GPSJ4"), "/~");
    EXPECT_EQ(symbol("GPSOB"), "\\!");
    EXPECT_EQ(symbol("GPSA0"), "\\0");
    EXPECT_EQ(symbol("GPSAA5"), "5A"); // overlay 5 on the alternate A
    EXPECT_EQ(symbol("GPSPA5"), "/A"); // the primary table takes no overlay
    EXPECT_EQ(symbol("GPSQ1"), "\\{");
    EXPECT_EQ(symbol("GPS"), "/>");
    EXPECT_EQ(symbol("GPSBQ"), "/>"); // beyond its group
    EXPECT_EQ(symbol("APRS"), "/>");

    // No valid fix: the station was heard, but there is no place.
    for (const char* line : {"TRK>GPS:$GNRMC,123519,V,,,,,,,230394,,*2D",
                             "TRK>GPS:$GLGGA,123519,4807.038,s,01131.000,w,0,00,,,M,,M,,*41",
                             "TRK>GPS:$GNGLL,4916.45,N,12311.12,W,225444,V,N*5A",
                             "TRK>GPS:$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K"}) {
        const TAprsReport none = Decoded(line);
        EXPECT_FALSE(none.hasPosition) << line;
    }
    EXPECT_EQ(Refused("TRK>GPS:$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,"
                      "W*6B"),
              "NMEA checksum does not match");
    EXPECT_EQ(Refused("TRK>GPS:$GPGGA,1,4807.038,N,01131.000,E,1,08*4"), "bad NMEA checksum");
    EXPECT_EQ(Refused("TRK>GPS:$GPRMC,1,A,480.038,N,01131.000,E,,"), "bad NMEA latitude '480.038'");
    EXPECT_EQ(Refused("TRK>GPS:$GPRMC,1,A,4807.038,N,01171.000,E,,"),
              "bad NMEA longitude '01171.000'");
}

TEST_F(AprsDecode, PositionAfterLeadingText) {
    const TAprsReport digi = Decoded("N1DIG>APN382,WIDE2-1:TNC-2 DIGI !4903.50N/07201.75W#");
    EXPECT_TRUE(digi.hasPosition);
    EXPECT_EQ(digi.symbolCode, '#');
    EXPECT_NEAR(digi.latitude, 49.058333, 1e-6);
    const std::string forty(40, 'x'), fortyOne(41, 'x');
    EXPECT_TRUE(Decoded("N1DIG>APRS:" + forty + "!4903.50N/07201.75W#").hasPosition);
    EXPECT_FALSE(Decoded("N1DIG>APRS:" + fortyOne + "!4903.50N/07201.75W#").hasPosition);
    // Text with a '!' but no position after it is just text.
    EXPECT_FALSE(Decoded("N0CALL>APRS:Hello! 4903.50N").hasPosition);
    // Messages and telemetry are never searched for one.
    EXPECT_FALSE(Decoded("N0CALL>APRS::N1DIG    :see !4903.50N/07201.75W#").hasPosition);
    EXPECT_FALSE(Decoded("N0CALL>APRS:T#1!4903.50N/07201.75W#").hasPosition);
}

TEST_F(AprsDecode, CorruptMicEIsRefused) {
    const std::string info = ":`dI_n\"O>/";
    EXPECT_TRUE(Decoded("N0CALL>S32U6T" + info).hasPosition);
    // Message letters A-K only in the first three characters.
    EXPECT_EQ(Refused("N0CALL>S32A6T" + info), "bad Mic-E destination 'S32A6T'");
    EXPECT_EQ(Refused("N0CALL>S32UKT" + info), "bad Mic-E destination 'S32UKT'");
    EXPECT_EQ(Refused("N0CALL>S32U6a" + info), "bad Mic-E destination 'S32U6a'");
    // Ambiguity leaves out trailing digits only.
    EXPECT_TRUE(Decoded("N0CALL>S32UZZ" + info).hasPosition);
    EXPECT_EQ(Refused("N0CALL>S3ZU6T" + info), "bad Mic-E destination 'S3ZU6T'");
    EXPECT_EQ(Refused("N0CALL>SZ2U6T" + info), "bad Mic-E destination 'SZ2U6T'");
    EXPECT_EQ(Refused("N0CALL>Y9PU6T" + info), "bad Mic-E latitude");
    // Bytes outside their ranges: degrees below 10, minutes above 69,
    // hundredths above 99 (beyond 7 bits), a course above 360.
    EXPECT_EQ(Refused("N0CALL>S32U6T:`%I_n\"O>/"), "bad Mic-E longitude degrees");
    EXPECT_EQ(Refused("N0CALL>S32U6T:`db_n\"O>/"), "bad Mic-E longitude minutes");
    EXPECT_EQ(Refused("N0CALL>S32U6T:`dI\x80n\"O>/"), "bad Mic-E longitude or speed byte");
    EXPECT_EQ(Refused("N0CALL>S32U6T:`dI_n)b>/"), "bad Mic-E course");
    EXPECT_EQ(Refused("N0CALL>S32U6T:`dI_n\"O>!"), "bad Mic-E symbol");
}

TEST_F(AprsDecode, WeatherWithoutAPositionIsHeardNotRefused) {
    for (const char* line : {"WX>APRS:!!00000066013D000028710166--------0158053201200210",
                             "WX>APRS:$ULTW0000000001FF000427C70002CCD30001026E003A050F00040000",
                             "WX>APRS:#W1015121008200", "WX>APRS:*0001000000000000",
                             "WX>APRS:_10090556c220s004g005t077r000p000P000h50b09900"}) {
        const TAprsReport wx = Decoded(line);
        EXPECT_FALSE(wx.hasPosition) << line;
        EXPECT_EQ(wx.name, "WX");
    }
}

TEST_F(AprsDecode, LenientWhereThePositionIsIntact) {
    const TAprsReport lower = Decoded("N0CALL>APRS:!4903.50s/07201.75e-");
    EXPECT_NEAR(lower.latitude, -49.058333, 1e-6);
    EXPECT_NEAR(lower.longitude, 72.029167, 1e-6);
    // A timestamp that is not one, before a good position.
    EXPECT_NEAR(Decoded("N0CALL>APRS:@09234xz4903.50N/07201.75W-").latitude, 49.058333, 1e-6);
    EXPECT_TRUE(Decoded("N0CALL>APRS:;OBJ      *0923:5z4903.50N/07201.75W-").hasPosition);
    EXPECT_EQ(Refused("N0CALL>APRS:@09234xz4903.50Q/07201.75W-"), "bad timestamp");
}

TEST_F(AprsDecode, DaoAddsADigitOfPrecision) {
    // Human-readable: one more decimal of the minutes, 49 03.505' N 72 01.752' W.
    const TAprsReport human = Decoded("N0CALL>APRS:!4903.50N/07201.75W-Home !W52!");
    EXPECT_NEAR(human.latitude, 49 + 3.505 / 60, 1e-9);
    EXPECT_NEAR(human.longitude, -(72 + 1.752 / 60), 1e-9);
    // Base 91: '5' is 20/91 and 'L' 43/91 of a hundredth of a minute.
    const TAprsReport b91 = Decoded("N0CALL>APRS:!4903.50N/07201.75W-!w5L!");
    EXPECT_NEAR(b91.latitude, 49 + (3.50 + 0.01 * 20 / 91) / 60, 1e-9);
    EXPECT_NEAR(b91.longitude, -(72 + (1.75 + 0.01 * 43 / 91) / 60), 1e-9);
    // Mic-E carries it in its comment; a malformed group is ignored.
    const TAprsReport mic = Decoded("N0CALL>S32U6T:`dI_n\"O>/!W9 !");
    EXPECT_NEAR(mic.latitude, 33 + 25.649 / 60, 1e-9);
    EXPECT_NEAR(mic.longitude, -(72 + 45.67 / 60), 1e-9);
    EXPECT_NEAR(Decoded("N0CALL>APRS:!4903.50N/07201.75W-!Wx2!").latitude, 49.058333, 1e-6);
}

TEST_F(AprsDecode, CompressedOverlayLettersMeanDigits) {
    EXPECT_EQ(Decoded("N0CALL>APRS:=a5L!!<*e7#7P[").symbolTable, '0');
    EXPECT_EQ(Decoded("N0CALL>APRS:=j5L!!<*e7#7P[").symbolTable, '9');
    EXPECT_EQ(Refused("N0CALL>APRS:=k5L!!<*e7#7P["), "bad symbol table 'k'");
    EXPECT_EQ(Refused("N0CALL>APRS:!4903.50N*07201.75W-"), "bad symbol table '*'");
}

TEST_F(AprsDecode, MaidenheadLocatorsInStatusReports) {
    // FN31pr: the centre of the subsquare.
    const TAprsReport six = Decoded("N0CALL>APRS:>FN31pr on the air");
    EXPECT_TRUE(six.hasPosition);
    EXPECT_TRUE(six.locator);
    EXPECT_NEAR(six.longitude, -80 + 6 + 15 * 2.0 / 24 + 1.0 / 24, 1e-9);
    EXPECT_NEAR(six.latitude, 40 + 1 + 17 / 24.0 + 1 / 48.0, 1e-9);
    EXPECT_EQ(six.symbolTable, '\\');
    EXPECT_EQ(six.symbolCode, '.');
    const TAprsReport withSymbol = Decoded("N0CALL>APRS:>IO91SX/G");
    EXPECT_EQ(withSymbol.symbolTable, '/');
    EXPECT_EQ(withSymbol.symbolCode, 'G');
    const TAprsReport four = Decoded("N0CALL>APRS:>FN31 hello");
    EXPECT_NEAR(four.longitude, -73.0, 1e-9);
    EXPECT_NEAR(four.latitude, 41.5, 1e-9);
    for (const char* line :
         {"N0CALL>APRS:>Hello", "N0CALL>APRS:>FN31prs", "N0CALL>APRS:>SN31", "N0CALL>APRS:>"})
        EXPECT_FALSE(Decoded(line).hasPosition) << line;
}

TEST_F(AprsDecode, ObjectAndItemNamesWithControlCharactersAreRefused) {
    EXPECT_EQ(Refused(std::string("N0CALL>APRS:;OB\x01J     *092345z4903.50N/07201.75W-")),
              "object name with a control character");
    EXPECT_EQ(Refused(std::string("N0CALL>APRS:)IT\x7F!4903.50N/07201.75W-")),
              "item name with a control character");
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
                                            "_10090556c220s004g005t077",
                                            "$GPRMC,1,A,4807.038,N,01131.000,E,022.4,084.4*4B",
                                            "TNC DIGI !4903.50N/07201.75W#!w5L!",
                                            ">FN31pr/G text",
                                            "!!00000066013D000028710166"};
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
