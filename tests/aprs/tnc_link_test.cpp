#include "aprs/link/Agw.h"
#include "aprs/link/TncAddress.h"
#include "aprs/link/TncLink.h"
#include "aprs/packets/Ax25.h"
#include "aprs/packets/Kiss.h"
#include "tests/common/LoopbackServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using testsupport::TTestServer;

/// Waits up to 20 s for a condition: generous, for busy machines.
bool WaitFor(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

/// What arrived on a connection within a moment, without waiting for more.
std::string ReadWhatCame(int sock, int ms) {
    std::string got;
    pollfd fd{sock, POLLIN, 0};
    char buffer[256];
    while (poll(&fd, 1, ms) > 0) {
        const ssize_t n = recv(sock, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

void SendBytes(int sock, const std::string& bytes) {
    ASSERT_EQ(send(sock, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
}

/// A link that keeps what it heard and said.
struct TRecorder {
    std::mutex mutex;
    std::vector<std::string> frames, states;
    void Attach(aprs::TTncLink& link) {
        link.OnFrame = [this](std::string_view frame) {
            std::lock_guard lock(mutex);
            frames.emplace_back(frame);
        };
        link.OnState = [this](const std::string& state) {
            std::lock_guard lock(mutex);
            states.push_back(state);
        };
    }
    std::size_t Frames() {
        std::lock_guard lock(mutex);
        return frames.size();
    }
    bool Said(const std::string& start) {
        std::lock_guard lock(mutex);
        for (const std::string& state : states)
            if (state.starts_with(start))
                return true;
        return false;
    }
};

} // namespace

TEST(TncAddress, UrlsNameTheProtocolHostAndPort) {
    std::string reason;
    auto kiss = aprs::ParseTncUrl("kiss://localhost:8001", reason);
    ASSERT_TRUE(kiss);
    EXPECT_EQ(kiss->protocol, aprs::TTncProtocol::Kiss);
    EXPECT_EQ(kiss->host, "localhost");
    EXPECT_EQ(kiss->port, "8001");
    auto agw = aprs::ParseTncUrl("AGW://[::1]:8000", reason);
    ASSERT_TRUE(agw);
    EXPECT_EQ(agw->protocol, aprs::TTncProtocol::Agw);
    EXPECT_EQ(agw->host, "::1");
    EXPECT_EQ(aprs::TncUrl(*agw), "agw://[::1]:8000");

    for (const char* bad :
         {"", "localhost:8001", "tcp://localhost:8001", "kiss://localhost", "kiss://localhost:0",
          "agw://localhost:65536", "kiss://:8001", "agw://host:80x"}) {
        reason.clear();
        EXPECT_FALSE(aprs::ParseTncUrl(bad, reason)) << bad;
        EXPECT_NE(reason.find(bad), std::string::npos) << reason;
    }
}

TEST(Agw, FramesSurviveAnySplitAndAnOversizedLengthBreaksTheStream) {
    aprs::TAgwFrame raw;
    raw.kind = 'K';
    raw.port = 1;
    raw.callFrom = "N0CALL-9";
    raw.callTo = "APRS";
    raw.data = std::string(1, '\0') +
               aprs::EncodeAx25("N0CALL-9", "APRS", {"WIDE1-1"}, "!4237.14N/07120.83W>");
    aprs::TAgwFrame version;
    version.kind = 'R';
    version.data = std::string(8, '\x02');
    const std::string stream =
        aprs::AgwEncode(raw) + aprs::AgwEncode(version) + aprs::AgwEncode(raw);
    ASSERT_EQ(aprs::AgwEncode(raw).size(), aprs::kAgwHeaderSize + raw.data.size());

    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{36}, stream.size()}) {
        aprs::TAgwDeframer deframer;
        std::vector<aprs::TAgwFrame> frames;
        deframer.OnFrame = [&](const aprs::TAgwFrame& frame) { frames.push_back(frame); };
        for (std::size_t at = 0; at < stream.size(); at += piece)
            deframer.Feed(std::string_view(stream).substr(at, piece));
        ASSERT_EQ(frames.size(), 3u) << piece;
        EXPECT_EQ(frames[0].kind, 'K');
        EXPECT_EQ(frames[0].port, 1);
        EXPECT_EQ(frames[0].callFrom, "N0CALL-9");
        EXPECT_EQ(frames[0].callTo, "APRS");
        EXPECT_EQ(aprs::AgwRawAx25(frames[0]), std::string_view(raw.data).substr(1));
        EXPECT_TRUE(aprs::AgwRawAx25(frames[1]).empty()); // not a raw frame
        EXPECT_EQ(aprs::AgwVersion(frames[1]), "514.514");
        EXPECT_EQ(aprs::AgwVersion(frames[0]), "");
        EXPECT_FALSE(deframer.Broken());
    }

    // The request asks for raw frames and carries nothing else.
    const std::string request = aprs::AgwRawFramesRequest();
    ASSERT_EQ(request.size(), aprs::kAgwHeaderSize);
    EXPECT_EQ(request[4], 'k');
    EXPECT_EQ(request.find_first_not_of('\0', 5), std::string::npos);

    aprs::TAgwDeframer deframer;
    std::string header = aprs::AgwEncode(version).substr(0, aprs::kAgwHeaderSize);
    header[31] = '\x7f'; // a length of about 2 GB
    deframer.Feed(header);
    EXPECT_TRUE(deframer.Broken());
    deframer.Reset();
    EXPECT_FALSE(deframer.Broken());
}

TEST(TncLink, KissIsOnlyReadAndALostTncIsTriedAgainAndSaidSo) {
    TTestServer server;
    aprs::TTncLink link({aprs::TTncProtocol::Kiss, "127.0.0.1", server.Port});
    TRecorder recorder;
    recorder.Attach(link);
    link.Start();

    const std::string a = aprs::EncodeAx25("N0CALL", "APRS", {}, ">first");
    const std::string b = aprs::EncodeAx25("N0CALL-1", "APRS", {"WIDE2-1"}, ">second");
    int first = server.Accept();
    ASSERT_GE(first, 0);
    // A command frame (TX delay) is not a frame heard.
    SendBytes(first, aprs::KissEncode(a) + std::string("\xC0\x01\x1E\xC0", 4) +
                         aprs::KissEncode(b).substr(0, 5));
    SendBytes(first, aprs::KissEncode(b).substr(5));
    ASSERT_TRUE(WaitFor([&] { return recorder.Frames() == 2; }));
    EXPECT_EQ(ReadWhatCame(first, 300), ""); // nothing is ever sent to a KISS TNC
    close(first);

    ASSERT_TRUE(WaitFor([&] { return recorder.Said("lost kiss://127.0.0.1:" + server.Port); }));
    int second = server.Accept();
    ASSERT_GE(second, 0);
    SendBytes(second, aprs::KissEncode(a));
    ASSERT_TRUE(WaitFor([&] { return recorder.Frames() == 3; }));
    EXPECT_EQ(link.Connections(), 2u);
    EXPECT_TRUE(link.Connected());
    link.Stop();
    close(second);
    EXPECT_FALSE(link.Connected());
    std::lock_guard lock(recorder.mutex);
    EXPECT_EQ(recorder.frames[0], a);
    EXPECT_EQ(recorder.frames[1], b);
    EXPECT_EQ(recorder.states.back(), "stopped listening to kiss://127.0.0.1:" + server.Port);
}

TEST(TncLink, AgwAsksForRawFramesOnlyAndTakesTheFramesOut) {
    TTestServer server;
    aprs::TTncLink link({aprs::TTncProtocol::Agw, "127.0.0.1", server.Port});
    TRecorder recorder;
    recorder.Attach(link);
    link.Start();
    const int sock = server.Accept();
    ASSERT_GE(sock, 0);
    std::string request;
    ASSERT_TRUE(WaitFor([&] {
        request += ReadWhatCame(sock, 50);
        return request.size() >= 2 * aprs::kAgwHeaderSize;
    }));
    EXPECT_EQ(request, aprs::AgwRawFramesRequest() + aprs::AgwVersionRequest());
    EXPECT_FALSE(recorder.Said("connected")); // not before the engine answers
    aprs::TAgwFrame version;
    version.kind = 'R';
    version.data = std::string("\xd5\x07\0\0\x7f\0\0\0", 8);
    SendBytes(sock, aprs::AgwEncode(version));
    ASSERT_TRUE(WaitFor([&] {
        return recorder.Said("connected to agw://127.0.0.1:" + server.Port +
                             " (AGW engine version 2005.127), raw frames on");
    }));

    const std::string ax25 =
        aprs::EncodeAx25("N0CALL-9", "APRS", {"WIDE1-1*"}, "=4237.14N/07120.83W-");
    aprs::TAgwFrame raw;
    raw.kind = 'K';
    raw.data = std::string(1, '\0') + ax25;
    aprs::TAgwFrame monitor; // a monitored frame in text: not counted twice
    monitor.kind = 'U';
    monitor.data = "1:Fm N0CALL-9 To APRS";
    SendBytes(sock, aprs::AgwEncode(monitor) + aprs::AgwEncode(raw));
    ASSERT_TRUE(WaitFor([&] { return recorder.Frames() == 1; }));
    EXPECT_EQ(ReadWhatCame(sock, 300), ""); // the requests were all
    link.Stop();
    close(sock);
    std::lock_guard lock(recorder.mutex);
    EXPECT_EQ(recorder.frames[0], ax25);
}

TEST(TncLink, AnAbsentTncIsReportedAndTheLinkStopsPromptly) {
    std::string port;
    {
        TTestServer gone; // a port that was free a moment ago
        port = gone.Port;
    }
    aprs::TTncLink link({aprs::TTncProtocol::Kiss, "127.0.0.1", port});
    TRecorder recorder;
    recorder.Attach(link);
    link.Start();
    ASSERT_TRUE(
        WaitFor([&] { return recorder.Said("cannot connect to kiss://127.0.0.1:" + port); }));
    const auto before = std::chrono::steady_clock::now();
    link.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    EXPECT_TRUE(recorder.Said("cannot connect to kiss://127.0.0.1:" + port));
    std::lock_guard lock(recorder.mutex);
    EXPECT_NE(recorder.states[1].find("; trying again in 1 s"), std::string::npos)
        << recorder.states[1];
}

// A TNC whose accept queue is full: the connect hangs until its time limit.
// Neither a stop (the end of a listen, the end of the program) waits for it.
TEST(TncLink, AHangingConnectDoesNotHoldUpTheStop) {
    const testsupport::THangingServer server;
    const std::string& port = server.Port;
    aprs::TTncLink link({aprs::TTncProtocol::Kiss, "127.0.0.1", port});
    TRecorder recorder;
    recorder.Attach(link);
    link.Start();
    ASSERT_TRUE(WaitFor([&] { return recorder.Said("connecting to kiss://127.0.0.1:" + port); }));
    std::this_thread::sleep_for(300ms);
    const auto before = std::chrono::steady_clock::now();
    link.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s); // the connect's limit is 10 s
    EXPECT_FALSE(recorder.Said("connected"));
}

TEST(TncLink, ASilentTncIsSaidToBeSoAndTheConnectionIsProbed) {
    TTestServer server;
    aprs::TTncLink link({aprs::TTncProtocol::Kiss, "127.0.0.1", server.Port});
    link.SetSilenceLimit(1s);
    TRecorder recorder;
    recorder.Attach(link);
    link.Start();
    const int sock = server.Accept(); // and never a byte from it
    ASSERT_GE(sock, 0);
    const std::string url = "kiss://127.0.0.1:" + server.Port;

    // A dead peer is found by keepalive probes within a few minutes.
    ASSERT_TRUE(WaitFor([&] { return recorder.Said("connected to " + url); }));
    const int client = testsupport::ClientEndOf(sock);
    ASSERT_GE(client, 0);
    int on = 0, idle = 0, interval = 0, probes = 0;
    socklen_t length = sizeof on;
    ASSERT_EQ(getsockopt(client, SOL_SOCKET, SO_KEEPALIVE, &on, &length), 0);
    getsockopt(client, IPPROTO_TCP, TCP_KEEPIDLE, &idle, &length);
    getsockopt(client, IPPROTO_TCP, TCP_KEEPINTVL, &interval, &length);
    getsockopt(client, IPPROTO_TCP, TCP_KEEPCNT, &probes, &length);
    EXPECT_EQ(on, 1);
    EXPECT_GT(idle, 0);
    EXPECT_LE(idle + interval * probes, 180);

    // A connected TNC that hears nothing is not just "connected".
    ASSERT_TRUE(WaitFor([&] { return recorder.Said("connected to " + url + ", nothing heard"); }));
    EXPECT_TRUE(link.Connected());
    {
        std::lock_guard lock(recorder.mutex);
        EXPECT_TRUE(
            recorder.states.back().starts_with("connected to " + url + ", nothing heard for "))
            << recorder.states.back();
    }
    // A KISS command is no frame heard; a data frame is.
    SendBytes(sock, std::string("\xC0\x01\x1E\xC0", 4));
    SendBytes(sock, aprs::KissEncode(aprs::EncodeAx25("N0CALL", "APRS", {}, ">back")));
    ASSERT_TRUE(
        WaitFor([&] { return recorder.Said("connected to " + url + ", hearing frames again"); }));
    link.Stop();
    close(sock);
}

TEST(TncLink, SilenceIsSaidInSecondsThenWholeMinutes) {
    EXPECT_EQ(aprs::SilenceText(1500ms), "nothing heard for 1 s");
    EXPECT_EQ(aprs::SilenceText(10min + 59s), "nothing heard for 10 min");
    EXPECT_EQ(aprs::SilenceText(125min), "nothing heard for 125 min");
}
