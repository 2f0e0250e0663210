// The live station list: packets in, host entries out, expiry through the
// packet cache, and a host that keeps serving through all of it.
#include "aprs/packets/Ax25.h"
#include "aprs/packets/Kiss.h"
#include "standin/live/LiveStations.h"
#include "standin/live/TncSources.h"
#include "support/APRSParser.h"
#include "support/TextRules.h"
#include "tests/common/LoopbackServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

using namespace standin;

namespace {

class LiveStations : public testing::Test {
protected:
    static void SetUpTestSuite() { support::InitializeAprsPatterns(); }

    LiveStations() {
        auto timer = std::make_unique<support::TManualPurgeTimer>();
        Timer = timer.get();
        Live = std::make_unique<TLiveStations>(Host, Mutex, TOwnStation{"N0CALL", 42.6, -71.3},
                                               std::move(timer), [this] { return Now; });
    }

    std::vector<std::string> Calls() {
        std::vector<std::string> calls;
        for (const TScenarioStation& station : Host->Scenario().stations)
            calls.push_back(station.callsign);
        return calls;
    }

    double Now = 46000.5; // 2025-12-09 12:00:00 UTC
    std::shared_ptr<TStandinHost> Host = std::make_shared<TStandinHost>(TScenario{});
    std::mutex Mutex;
    support::TManualPurgeTimer* Timer = nullptr;
    std::unique_ptr<TLiveStations> Live;
};

} // namespace

TEST(LiveHelpers, GreatCircleAndHeardTime) {
    // One degree of latitude is about 111.2 km anywhere.
    EXPECT_NEAR(GreatCircleKm(42, -71, 43, -71), 111.19, 0.01);
    EXPECT_NEAR(GreatCircleKm(0, 179.5, 0, -179.5), 111.19, 0.01); // across the date line
    EXPECT_EQ(FormatHeardTime(46000.5), "2025-12-09 12:00:00");
}

TEST_F(LiveStations, PacketsAddAndRefreshEntriesInTheHostsUnits) {
    Live->HandleMonitorLine("W1XYZ-9>APRS,N1DIG*:=4230.00N/07100.00W>090/030moving");
    Live->HandleMonitorLine("N0ABC>APRS:!4237.14N/07120.83W-home");
    ASSERT_EQ(Calls(), (std::vector<std::string>{"W1XYZ-9", "N0ABC"}));
    const TScenarioStation* mobile = Host->FindStation("W1XYZ-9");
    EXPECT_FLOAT_EQ(mobile->lat, 42.5f * 60);
    EXPECT_FLOAT_EQ(mobile->lon, -71.0f * 60);
    EXPECT_NEAR(mobile->speed, 30 * 1.852, 1e-4);
    EXPECT_EQ(mobile->path, "APRS,N1DIG*");
    EXPECT_EQ(mobile->entry, " W1XYZ-9  ");
    EXPECT_EQ(mobile->symbolCode, ">");
    EXPECT_EQ(mobile->lastHeardRF, "2025-12-09 12:00:00");
    EXPECT_NEAR(mobile->distance, GreatCircleKm(42.6, -71.3, 42.5, -71.0), 1e-3);
    EXPECT_FLOAT_EQ(Host->Scenario().ownLat, 42.6f * 60);
    EXPECT_EQ(Host->Scenario().ownCallsign, "N0CALL");

    // The same station again keeps its place; a status refreshes its time and path.
    Now += 0.01;
    Live->HandleMonitorLine("W1XYZ-9>APRS:=4231.00N/07100.00W>");
    Live->HandleMonitorLine("N0ABC>APRS,WIDE2-1:>on the air");
    EXPECT_EQ(Calls(), (std::vector<std::string>{"W1XYZ-9", "N0ABC"}));
    EXPECT_EQ(Host->FindStation("W1XYZ-9")->speed, 0.0f);
    EXPECT_EQ(Host->FindStation("N0ABC")->path, "APRS,WIDE2-1");
    EXPECT_EQ(Host->FindStation("N0ABC")->symbolCode, "-");
    // A status from a station never placed does not list it.
    Live->HandleMonitorLine("K9NEW>APRS:>hello");
    EXPECT_EQ(Host->FindStation("K9NEW"), nullptr);
    const TLiveCounters c = Live->Counters();
    EXPECT_EQ(c.placed, 3u);
    EXPECT_EQ(c.refreshed, 1u);
    EXPECT_EQ(c.noPosition, 1u);
}

TEST_F(LiveStations, StationsExpireThroughThePacketCache) {
    Live->SetExpiryMinutes(80);
    Live->HandleMonitorLine("OLD>APRS:!4237.14N/07120.83W-");
    Now += 70.0 / 1440;
    Live->HandleMonitorLine("NEW>APRS:!4237.14N/07120.83W-");
    Live->HandleMonitorLine("OBJ>APRS:;TESTOBJ  *111111z4236.00N/07118.00W/");
    Now += 20.0 / 1440; // OLD was heard 90 minutes ago, NEW 20
    Timer->Advance(60000);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"NEW", "TESTOBJ"}));
    EXPECT_EQ(Live->Counters().expired, 1u);
    // A killed object leaves at once; a kill of an unknown one changes nothing.
    Live->HandleMonitorLine("OBJ>APRS:;TESTOBJ  _111111z4236.00N/07118.00W/");
    Live->HandleMonitorLine("OBJ>APRS:;NEVER    _111111z4236.00N/07118.00W/");
    EXPECT_EQ(Calls(), std::vector<std::string>{"NEW"});
    EXPECT_EQ(Live->Counters().killed, 1u);
    // Heard again after expiry: back at the end of the list.
    Live->HandleMonitorLine("OLD>APRS:!4237.14N/07120.83W-");
    EXPECT_EQ(Calls(), (std::vector<std::string>{"NEW", "OLD"}));
}

TEST_F(LiveStations, BadFramesAreCountedAndKeptOut) {
    std::vector<std::string> debug;
    Live->OnDebug = [&](const std::string& line) { debug.push_back(line); };
    Live->HandleAx25("short");
    Live->HandleAx25(aprs::EncodeAx25("N0CALL", "APRS", {}, "!4903.50X/07201.75W-"));
    std::string connected = aprs::EncodeAx25("N0CALL", "APRS", {}, "x");
    connected[14] = 0x00;
    Live->HandleAx25(connected);
    Live->HandleMonitorLine("not a packet");
    Live->HandleKissFrame(aprs::TKissFrame{0, 6, "\x01"});
    const TLiveCounters c = Live->Counters();
    EXPECT_EQ(c.undecodable, 3u);
    EXPECT_EQ(c.dropped, 2u);
    EXPECT_TRUE(Host->Scenario().stations.empty());
    ASSERT_EQ(debug.size(), 5u);
    EXPECT_NE(debug[1].find("bad latitude"), std::string::npos);
}

TEST_F(LiveStations, ThirdPartyStationsReachTheHostAsSuch) {
    Live->HandleAx25(aprs::EncodeAx25("KB1IGT", "APRS", {"N1DIG*"},
                                      "}K9ZZZ>APRS,TCPIP,KB1IGT*:!4200.00N/07000.00W-far"));
    const TScenarioStation* gated = Host->FindStation("K9ZZZ");
    ASSERT_NE(gated, nullptr);
    EXPECT_EQ(gated->thirdParty, 1);
    EXPECT_EQ(gated->path, "APRS,TCPIP,KB1IGT*");
}

TEST_F(LiveStations, LocatorSquaresPlaceOnlyWhatNothingBetterPlaces) {
    // Known only by its square: listed at the centre, and moved by a new square.
    Live->HandleMonitorLine("G0SQR>APRS:>IO91 hello");
    ASSERT_NE(Host->FindStation("G0SQR"), nullptr);
    EXPECT_FLOAT_EQ(Host->FindStation("G0SQR")->lat, 51.5f * 60);
    Live->HandleMonitorLine("G0SQR>APRS:>IO92");
    EXPECT_FLOAT_EQ(Host->FindStation("G0SQR")->lat, 52.5f * 60);
    // A real position replaces it, and a later square does not undo that.
    Live->HandleMonitorLine("G0SQR>APRS:!5130.00N/00010.00W-");
    Live->HandleMonitorLine("G0SQR>APRS,WIDE1-1:>IO83 away");
    const TScenarioStation* placed = Host->FindStation("G0SQR");
    EXPECT_FLOAT_EQ(placed->lat, 51.5f * 60);
    EXPECT_EQ(placed->symbolCode, "-");
    EXPECT_EQ(placed->path, "APRS,WIDE1-1"); // but it was heard
    EXPECT_EQ(Live->Counters().refreshed, 1u);
}

TEST_F(LiveStations, TrackersAndPositionlessWeather) {
    Live->HandleMonitorLine(
        "TRK-9>GPS:$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A");
    Live->HandleMonitorLine("WX1>APRS:!4237.14N/07120.83W_");
    Now += 0.01;
    Live->HandleMonitorLine("WX1>APRS,WIDE2-1:!!00000066013D000028710166");
    Live->HandleMonitorLine("TRK-9>GPS,WIDE1-1:$GPRMC,123600,V,,,,,,,230394,,");
    EXPECT_EQ(Calls(), (std::vector<std::string>{"TRK-9", "WX1"}));
    EXPECT_EQ(Host->FindStation("TRK-9")->symbolCode, ">");
    EXPECT_EQ(Host->FindStation("TRK-9")->path, "GPS,WIDE1-1");
    EXPECT_EQ(Host->FindStation("WX1")->lastHeardRF, FormatHeardTime(Now));
    EXPECT_EQ(Live->Counters().refreshed, 2u);
    EXPECT_EQ(Live->Counters().undecodable, 0u);
}

TEST_F(LiveStations, ChannelCountsEveryFrameBesideTheRulesEstimate) {
    // A moving mobile heard direct and as two digipeated copies.
    Live->HandleMonitorLine("W1XYZ-9>APRS:=4230.00N/07100.00W>090/030");
    Live->HandleMonitorLine("W1XYZ-9>APRS,N1DIG*:=4230.00N/07100.00W>090/030");
    Live->HandleMonitorLine("W1XYZ-9>APRS,N1DIG,N2DIG*:=4230.00N/07100.00W>090/030");
    Live->HandleMonitorLine("N1DIG>APRS:!4240.00N/07115.00W#");
    Live->HandleMonitorLine("WX2>APRS:!4240.00N107115.00W_"); // overlay: also a digipeater
    const std::string gated =
        aprs::EncodeAx25("KB1IGT", "APRS", {}, "}K9DIG>APRS,TCPIP,KB1IGT*:!4200.00N/07000.00W#");
    Live->HandleAx25(gated);
    Live->HandleMonitorLine("K9NEW>APRS:>status only");
    Live->HandleAx25("garbage");

    const aprs::TChannelFigures f = Live->Channel(10);
    EXPECT_EQ(f.frames, 8u);
    EXPECT_EQ(f.stations, 5u); // the garbage counts for the channel only
    const auto talker = [&](const std::string& name) {
        for (const aprs::TChannelTalker& t : f.talkers)
            if (t.name == name)
                return t;
        ADD_FAILURE() << name << " is not among the talkers";
        return aprs::TChannelTalker{};
    };
    EXPECT_EQ(f.talkers.at(0).name, "W1XYZ-9");
    EXPECT_EQ(talker("W1XYZ-9").measured, 3u);
    EXPECT_EQ(talker("W1XYZ-9").estimated, 15);
    EXPECT_EQ(talker("N1DIG").estimated, 3);
    EXPECT_EQ(talker("WX2").estimated, 9);
    // Gated from the Internet: counted under the station it carries, as fixed.
    EXPECT_EQ(talker("K9DIG").estimated, 2);
    EXPECT_EQ(talker("K9NEW").estimated, -1);
    // The frames' bits: the KISS frame's own, the lines' rebuilt as AX.25.
    EXPECT_GE(f.bits, aprs::Ax25AirBits(gated) + aprs::Ax25AirBits("garbage"));
    EXPECT_NEAR(f.airtimeSeconds, 8 * 0.3 + f.bits / 1200.0, 1e-9);

    // Half an hour later the channel is quiet again.
    Now += 31.0 / 1440;
    EXPECT_EQ(Live->Channel(10).frames, 0u);
    EXPECT_TRUE(Live->Channel(10).talkers.empty());
}

// A station object read by a client keeps describing what it selected while
// the list changes under it, and the list stays in step with its index.
TEST_F(LiveStations, ClientsReadWhileTheListChanges) {
    auto app = host::QueryInterface<host::_clsUIV>(Host->Application());
    auto object = TEmbeddedConnector(Host).GetObject(host::CLASS_clsStationInfo,
                                                     host::TConnectKind::ckRunningOrNew);
    auto info = host::QueryInterface<host::_clsStationInfo>(object);
    Live->HandleMonitorLine("FIRST>APRS:!4237.14N/07120.83W-");
    {
        std::lock_guard lock(Mutex);
        info->SetCallsign("FIRST");
        app->GetStationInfo(info);
    }
    std::thread feeder([&] {
        for (int i = 0; i < 2000; ++i)
            Live->HandleMonitorLine("S" + std::to_string(i) + ">APRS:!4237.14N/07120.83W-");
    });
    for (int i = 0; i < 2000; ++i) {
        std::lock_guard lock(Mutex);
        EXPECT_EQ(info->GetCallsign(), "FIRST");
        const std::int16_t count = app->GetStationCount();
        if (count > 0) {
            std::int16_t last = static_cast<std::int16_t>(count - 1);
            EXPECT_FALSE(app->GetStationListEntry(last).empty());
        }
    }
    feeder.join();
    EXPECT_EQ(Host->Scenario().stations.size(), 2001u);
    EXPECT_EQ(Host->FindStation("S1999"), &Host->Scenario().stations.back());
}

TEST_F(LiveStations, ExpiryDuringAWalkWaitsUntilTheListIsIdle) {
    using namespace std::chrono_literals;
    Host->SetListIdle(200ms);
    auto app = host::QueryInterface<host::_clsUIV>(Host->Application());
    for (int i = 0; i < 4; ++i)
        Live->HandleMonitorLine("OLD" + std::to_string(i) + ">APRS:!4237.14N/07120.83W-");
    Now += 70.0 / 1440;
    for (int i = 0; i < 4; ++i)
        Live->HandleMonitorLine("NEW" + std::to_string(i) + ">APRS:!4237.14N/07120.83W-");
    Now += 20.0 / 1440; // the OLD stations were heard 90 minutes ago

    // A client reads the count once, then walks; expiry strikes half-way.
    std::vector<std::string> seen;
    std::lock_guard lock(Mutex);
    const std::int16_t count = app->GetStationCount();
    ASSERT_EQ(count, 8);
    for (std::int16_t i = 0; i < count; ++i) {
        if (i == 3) {
            Mutex.unlock();
            Timer->Advance(60000);
            Live->HandleMonitorLine("LATE>APRS:!4237.14N/07120.83W-");
            Mutex.lock();
        }
        std::int16_t index = i;
        seen.push_back(support::TrimBlanksAndControls(app->GetStationListEntry(index)));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"OLD0", "OLD1", "OLD2", "OLD3", "NEW0", "NEW1",
                                              "NEW2", "NEW3"}));
    EXPECT_EQ(Live->Counters().expired, 4u);
    EXPECT_EQ(Host->DeferredRemovals(), 4u);
    EXPECT_EQ(Calls().back(), "LATE"); // new stations go to the end

    // Once nobody has read the list for a moment, the next walk sees them gone.
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(app->GetStationCount(), 5);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"NEW0", "NEW1", "NEW2", "NEW3", "LATE"}));
}

TEST_F(LiveStations, AClientThatKeepsPollingDoesNotHoldExpiryBack) {
    using namespace std::chrono_literals;
    auto app = host::QueryInterface<host::_clsUIV>(Host->Application());
    Host->SetWalkGap(100ms);
    for (int i = 0; i < 3; ++i)
        Live->HandleMonitorLine("OLD" + std::to_string(i) + ">APRS:!4237.14N/07120.83W-");
    Now += 90.0 / 1440;
    Live->HandleMonitorLine("NEW>APRS:!4237.14N/07120.83W-");
    std::lock_guard lock(Mutex);
    ASSERT_EQ(app->GetStationCount(), 4);
    Mutex.unlock();
    Timer->Advance(60000); // the OLD stations expire just after a poll
    Mutex.lock();
    EXPECT_EQ(Host->DeferredRemovals(), 3u);
    // The next poll, well within the list's idle time, begins a new walk.
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(app->GetStationCount(), 1);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"NEW"}));

    // A client that reads entries without any pause holds removals back only
    // for a bounded time.
    Host->SetMaxWalkHold(300ms);
    Now += 90.0 / 1440;
    Mutex.unlock();
    Live->HandleMonitorLine("LATE>APRS:!4237.14N/07120.83W-");
    Timer->Advance(60000); // NEW expires
    Mutex.lock();
    ASSERT_EQ(Host->DeferredRemovals(), 1u);
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (Host->DeferredRemovals() > 0 && std::chrono::steady_clock::now() < end) {
        std::int16_t first = 0;
        app->GetStationListEntry(first);
        app->GetStationCount();
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(Calls(), (std::vector<std::string>{"LATE"}));
}

TEST_F(LiveStations, ASilentKissTncIsSaidToBeSoAndTheConnectionIsProbed) {
    using namespace std::chrono_literals;
    testsupport::TTestServer server;
    TKissTcpSource source("127.0.0.1", server.Port, *Live);
    source.SetSilenceLimit(1s);
    std::mutex mutex;
    std::vector<std::string> states;
    source.OnState = [&](const std::string& state) {
        std::lock_guard lock(mutex);
        states.push_back(state);
    };
    const auto said = [&](const std::string& start) {
        for (int i = 0; i < 1000; ++i) {
            {
                std::lock_guard lock(mutex);
                for (const std::string& state : states)
                    if (state.starts_with(start))
                        return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    };
    source.Start();
    const int sock = server.Accept(); // and never a byte from it
    ASSERT_GE(sock, 0);
    const std::string where = "connected to KISS TNC 127.0.0.1:" + server.Port;
    ASSERT_TRUE(said(where));
    const int client = testsupport::ClientEndOf(sock);
    ASSERT_GE(client, 0);
    int on = 0;
    socklen_t length = sizeof on;
    ASSERT_EQ(getsockopt(client, SOL_SOCKET, SO_KEEPALIVE, &on, &length), 0);
    EXPECT_EQ(on, 1);

    ASSERT_TRUE(said(where + ", nothing heard for "));
    EXPECT_TRUE(source.Connected());
    const std::string frame = aprs::KissEncode(aprs::EncodeAx25("N0CALL", "APRS", {}, ">back"));
    ASSERT_EQ(send(sock, frame.data(), frame.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(frame.size()));
    ASSERT_TRUE(said(where + ", hearing frames again"));

    // A KISS command is counted as dropped; the TNC going away is said in the
    // host's words, with the next try.
    const std::string command = "\xC0\x06\x01\xC0";
    ASSERT_EQ(send(sock, command.data(), command.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(command.size()));
    close(sock);
    ASSERT_TRUE(said("lost KISS TNC 127.0.0.1:" + server.Port +
                     ": closed by the TNC; reconnecting in 1 s"));
    EXPECT_EQ(Live->Counters().dropped, 1u);
    source.Stop();
    std::lock_guard lock(mutex);
    EXPECT_EQ(states.back(), "stopped reading KISS TNC 127.0.0.1:" + server.Port);
}
