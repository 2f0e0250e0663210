// End to end with a real software TNC: monitor lines become AFSK audio
// (gen_packets), Dire Wolf decodes the audio and offers the frames on a KISS
// TCP port, the stand-in host listens to that port, and velloran-report
// attached to the host reports the radius. The same lines read straight from
// a file must give the same report.
#include "app/model/ChannelModel.h"
#include "support/APRSParser.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/Files.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using testsupport::TChild;
/// The test's monitor lines as audio (dir/audio.wav), made by Dire Wolf's
/// gen_packets.
void MakeAudio(const fs::path& dir) {
    TChild gen({"gen_packets", "-r", "44100", "-o", (dir / "audio.wav").string(),
                (dir / "lines.txt").string()},
               {.output = (dir / "gen_packets.log").string(), .errorToo = true});
    ASSERT_TRUE(gen.Started()) << "gen_packets (Debian package direwolf) is needed";
    ASSERT_EQ(gen.Wait(60s), 0) << testcommon::ReadWholeFile(dir / "gen_packets.log");
}

/// The report without its reception times, which differ from run to run.
std::string WithoutTimes(const std::string& report) {
    std::istringstream in(report);
    std::string out, line;
    while (std::getline(in, line))
        out += (line.starts_with("  Last heard RF: ") ? std::string("  Last heard RF: (time)")
                                                      : line) +
               "\n";
    return out;
}

/// A Channel section without its airtime (nor the Path section's share of
/// it): gen_packets puts each line's line feed into the frame it sends, one
/// byte more on the air than the line.
std::string WithoutAirtime(const std::string& section) {
    std::istringstream in(section);
    std::string out, line;
    while (std::getline(in, line))
        if (line.starts_with("From beyond the ALOHA radius: "))
            out += line.substr(0, line.find(", ")) + "\n"; // its share of the airtime too
        else if (!line.starts_with("Airtime: "))
            out += line + "\n";
    return out;
}

/// Waits until the condition holds; false when the time runs out first.
template <typename Condition> bool WaitFor(Condition condition, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(100ms);
    }
    return condition();
}

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

/// A free loopback port below 49152: Dire Wolf refuses KISS ports in the
/// dynamic range, where the kernel would pick one.
int FreePort() {
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int port = 20000 + (getpid() * 7919 + attempt * 104729) % 29000;
        const int sock = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = Loopback(port);
        const bool free = bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(sock);
        if (free)
            return port;
    }
    return 0;
}

bool Listening(int port) {
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(port);
    const bool up = connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(sock);
    return up;
}

/// What the host answers to its ChannelStats method on the bus, as dbus-send
/// prints it (error or reply), going through reply.
std::string ChannelStatsReply(const fs::path& reply) {
    TChild send({"dbus-send", "--session", "--print-reply", "--dest=org.velloran.StandinHost",
                 "/org/velloran/StandinHost", "org.velloran.StandinHost.Control.ChannelStats"},
                {.output = reply.string(), .errorToo = true});
    send.Wait(10s);
    return testcommon::ReadWholeFile(reply);
}

/// velloran-report attached to the host on the bus, once it lists `stations`.
std::string ReportWhen(const fs::path& dir, int stations) {
    const fs::path out = dir / "report.out";
    const std::string wanted =
        "-There are " + std::to_string(stations) + " total stations in your station list";
    std::string report;
    WaitFor(
        [&] {
            TChild run({VELLORAN_REPORT_EXE, "--debug", "--density", "20"},
                       {.output = out.string(), .errorToo = true});
            run.Wait(30s);
            report = testcommon::ReadWholeFile(out);
            return report.find(wanted) != std::string::npos;
        },
        90s);
    return report;
}

// Five stations near the own station at 42.6 N, 71.3 W: a digipeater, a home
// station, a moving mobile, a parked Mic-E mobile and one gated by the digi.
const char* const kLines = "N1DIG>APRS:!4240.00N/07115.00W#digi\n"
                           "N0ABC>APRS,N1DIG*:!4237.14N/07120.83W-home\n"
                           "W1XYZ-9>APRS,WIDE1-1:=4230.00N/07100.00W>090/030\n"
                           "K1MIC>423V0P:`c&!l &>/\n"
                           "N1DIG>APRS:}K9ZZZ>APRS,TCPIP,N1DIG*:!4200.00N/07000.00W-\n";

} // namespace

TEST(TncEndToEnd, DireWolfDecodesAudioAndVelloranReportsTheRadius) {
    const fs::path dir = fs::temp_directory_path() / ("velloran-tnc-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "lines.txt") << kLines;

    // The monitor-line run first: the answer the radio path must give too.
    std::string expected;
    {
        TChild host({VELLORAN_STANDIN_HOST_EXE, "--monitor", (dir / "lines.txt").string(), "--own",
                     "N0CALL", "--lat", "42.6", "--lon", "-71.3"},
                    {.output = (dir / "monitor-host.log").string(), .errorToo = true});
        ASSERT_TRUE(host.Started());
        expected = ReportWhen(dir, 5);
    }
    ASSERT_NE(expected.find("-There are 5 RF stations"), std::string::npos) << expected;
    ASSERT_NE(expected.find("-Found 1 third-party stations"), std::string::npos) << expected;
    // Nearest first: N0ABC 4 km, N1DIG 8, K9ZZZ at its IGate's 8, the parked
    // Mic-E mobile K1MIC 11, which takes the total past 20.
    ASSERT_NE(expected.find("Your ALOHA radius is 11 Kilometers or 7 Miles"), std::string::npos)
        << expected;

    ASSERT_NO_FATAL_FAILURE(MakeAudio(dir));

    const int port = FreePort();
    ASSERT_NE(port, 0);
    std::ofstream(dir / "direwolf.conf")
        << "ADEVICE stdin null\nARATE 44100\nKISSPORT " << port << "\nAGWPORT 0\n";
    int audio[2];
    ASSERT_EQ(pipe(audio), 0);
    signal(SIGPIPE, SIG_IGN);
    TChild direwolf(
        {"direwolf", "-t", "0", "-c", (dir / "direwolf.conf").string()},
        {.output = (dir / "direwolf.log").string(), .errorToo = true, .input = audio[0]});
    close(audio[0]);
    ASSERT_TRUE(direwolf.Started());
    ASSERT_TRUE(WaitFor([&] { return Listening(port); }, 60s))
        << testcommon::ReadWholeFile(dir / "direwolf.log");

    TChild host({VELLORAN_STANDIN_HOST_EXE, "--kiss", "127.0.0.1:" + std::to_string(port), "--own",
                 "N0CALL", "--lat", "42.6", "--lon", "-71.3"},
                {.output = (dir / "kiss-host.log").string(), .errorToo = true});
    ASSERT_TRUE(WaitFor(
        [&] {
            return testcommon::ReadWholeFile(dir / "kiss-host.log").find("connected to KISS") !=
                   std::string::npos;
        },
        60s))
        << testcommon::ReadWholeFile(dir / "kiss-host.log");

    // The audio, then a second of silence so the last frame is surely decoded.
    const std::string wav = testcommon::ReadWholeFile(dir / "audio.wav");
    const std::string silence(44100 * 2, '\0');
    for (const std::string* part : {&wav, &silence}) {
        std::size_t at = 0;
        while (at < part->size()) {
            const ssize_t n = write(audio[1], part->data() + at, part->size() - at);
            ASSERT_GT(n, 0) << testcommon::ReadWholeFile(dir / "direwolf.log");
            at += static_cast<std::size_t>(n);
        }
    }

    const std::string actual = ReportWhen(dir, 5);
    close(audio[1]);
    EXPECT_EQ(WithoutTimes(actual), WithoutTimes(expected))
        << "direwolf:\n"
        << testcommon::ReadWholeFile(dir / "direwolf.log") << "host:\n"
        << testcommon::ReadWholeFile(dir / "kiss-host.log");
    fs::remove_all(dir);
}

// The channel table of a monitor file: read, printed and ended with neither a
// session bus nor a display (an operator over SSH), and the same text as the
// bus method of a host serving the same lines.
TEST(TncEndToEnd, StatsTableNeedsNoBusAndMatchesTheBusMethod) {
    const fs::path dir = fs::temp_directory_path() / ("velloran-stats-" + std::to_string(getpid()));
    fs::create_directories(dir);
    // The mobile is heard twice: direct, and repeated by the digipeater.
    std::ofstream(dir / "heard.log")
        << kLines << "W1XYZ-9>APRS,N1DIG*,WIDE1*:=4230.00N/07100.00W>090/030\n";
    const std::vector<std::string> live = {"--monitor", (dir / "heard.log").string(),
                                           "--txdelay", "250",
                                           "--own",     "N0CALL",
                                           "--lat",     "42.6",
                                           "--lon",     "-71.3"};

    std::vector<std::string> oneShot = {"env",
                                        "-u",
                                        "DBUS_SESSION_BUS_ADDRESS",
                                        "-u",
                                        "DISPLAY",
                                        "-u",
                                        "WAYLAND_DISPLAY",
                                        "-u",
                                        "QT_QPA_PLATFORM",
                                        VELLORAN_STANDIN_HOST_EXE,
                                        "--stats"};
    oneShot.insert(oneShot.end(), live.begin(), live.end());
    TChild stats(oneShot, {.output = (dir / "table.txt").string()});
    ASSERT_TRUE(stats.Started());
    ASSERT_EQ(stats.Wait(30s), 0) << testcommon::ReadWholeFile(dir / "table.txt");
    const std::string table = testcommon::ReadWholeFile(dir / "table.txt");
    EXPECT_NE(table.find("TX delay 250 ms"), std::string::npos) << table;
    EXPECT_NE(table.find("frames heard       6 "), std::string::npos) << table;
    EXPECT_NE(table.find("stations heard     5\n"), std::string::npos) << table;
    // Measured beside the rule's estimate: a moving mobile is 15, a digi 3.
    EXPECT_NE(table.find("\n  W1XYZ-9               2         15\n"), std::string::npos) << table;
    EXPECT_NE(table.find("\n  N1DIG                 1          3\n"), std::string::npos) << table;

    std::vector<std::string> serving = {VELLORAN_STANDIN_HOST_EXE};
    serving.insert(serving.end(), live.begin(), live.end());
    TChild host(serving, {.output = (dir / "host.log").string(), .errorToo = true});
    ASSERT_TRUE(host.Started());
    std::string answer;
    ASSERT_TRUE(WaitFor(
        [&] {
            answer = ChannelStatsReply(dir / "reply.txt");
            return answer.find("frames heard       6 ") != std::string::npos;
        },
        60s))
        << answer << testcommon::ReadWholeFile(dir / "host.log");
    EXPECT_NE(answer.find('"' + table + '"'), std::string::npos) << answer << "\n" << table;
    fs::remove_all(dir);
}

// A host serving a scenario hears no channel: the method says so rather
// than answer with an empty table.
TEST(TncEndToEnd, ChannelStatsFailsWithoutALiveSource) {
    const fs::path dir =
        fs::temp_directory_path() / ("velloran-nostats-" + std::to_string(getpid()));
    fs::create_directories(dir);
    TChild host({VELLORAN_STANDIN_HOST_EXE},
                {.output = (dir / "host.log").string(), .errorToo = true});
    ASSERT_TRUE(host.Started());
    std::string answer;
    ASSERT_TRUE(WaitFor(
        [&] {
            answer = ChannelStatsReply(dir / "reply.txt");
            return answer.find("ServiceUnknown") == std::string::npos &&
                   answer.find("NameHasNoOwner") == std::string::npos;
        },
        60s))
        << answer;
    EXPECT_NE(answer.find("org.freedesktop.DBus.Error.NotSupported"), std::string::npos) << answer;
    EXPECT_NE(answer.find("only with a live source"), std::string::npos) << answer;
    fs::remove_all(dir);
}

// velloran-report listening to Dire Wolf itself, over KISS and over AGW at
// once: its Channel section counts exactly the frames of the audio, the same
// as the monitor lines read from the file. The Channel window's model,
// configured in a settings file, listens beside it and counts the same. Both
// trace the own beacon through N1DIG (8 km) and W2FAR (133 km) against the
// run's radius of 108 km, and suggest the same path.
TEST(TncEndToEnd, VelloranReportMeasuresDireWolfOverKissAndAgw) {
    const fs::path dir =
        fs::temp_directory_path() / ("velloran-measure-" + std::to_string(getpid()));
    fs::create_directories(dir);
    // The five lines, and the mobile once more as the digipeater repeats it;
    // a digipeater beaconing from 43.8 N, and the own beacon as N1DIG and
    // then W2FAR repeat it.
    std::ofstream(dir / "lines.txt")
        << kLines << "W1XYZ-9>APRS,N1DIG*,WIDE1*:=4230.00N/07100.00W>090/030\n"
        << "W2FAR>APRS:!4348.00N/07118.00W#far digi\n"
        << "N0CALL>APRS,N1DIG*,WIDE2-1:!4236.00N/07118.00W-own\n"
        << "N0CALL>APRS,N1DIG,W2FAR,WIDE2*:!4236.00N/07118.00W-own\n";
    // The run's list: K9ZZZ, heard through N1DIG, is not in it.
    const auto station = [](const char* call, const char* table, const char* code, int speed,
                            int distance) {
        return std::string("{\"callsign\": \"") + call + "\", \"symbolTable\": \"" + table +
               "\", \"symbolCode\": \"" + code + "\", \"speed\": " + std::to_string(speed) +
               ", \"distance\": " + std::to_string(distance) +
               ", \"lat\": 2556, \"long\": -4278, \"path\": \"APRS\", \"lastHeardRF\": "
               "\"2026-12-08 14:00:00\", \"lastHeardInternet\": \"\"}";
    };
    std::ofstream(dir / "scenario.json")
        << "{\"own\": {\"callsign\": \"N0CALL\", \"lat\": 2556, \"long\": -4278}, \"stations\": ["
        << station("N0ABC", "/", "-", 0, 4) << ", " << station("N1DIG", "/", "#", 0, 8) << ", "
        << station("K1MIC", "/", ">", 0, 11) << ", " << station("W1XYZ-9", "/", ">", 56, 31);
    // Moving mobiles 50 km out and beyond, never heard: with the four above
    // the estimate reaches 1800 at the 59th, 108 km out.
    for (int i = 0; i < 80; ++i)
        std::ofstream(dir / "scenario.json", std::ios::app)
            << ", " << station(("F" + std::to_string(i)).c_str(), "/", ">", 50, 50 + i);
    std::ofstream(dir / "scenario.json", std::ios::app) << "]}\n";

    TChild fromFile({VELLORAN_REPORT_EXE, "--scenario", (dir / "scenario.json").string(),
                     "--monitor", (dir / "lines.txt").string()},
                    {.output = (dir / "file.out").string()});
    ASSERT_EQ(fromFile.Wait(30s), 0);
    const std::string file = testcommon::ReadWholeFile(dir / "file.out");
    const std::string expected = file.substr(file.find("== Channel ==\n"));
    ASSERT_NE(file.find("Your ALOHA radius is 108 Kilometers"), std::string::npos) << file;
    EXPECT_NE(expected.find("Frames heard: 9 of 1800 in 30 minutes\n"), std::string::npos)
        << expected;
    const std::string path = expected.substr(expected.find("== Path ==\n"));
    EXPECT_EQ(path, "== Path ==\n"
                    "Own packets: 1 from N0CALL in 30 minutes, 2 digipeated copies heard\n"
                    "Your path asks for: 2 hops\n"
                    "Digipeated by: N1DIG, 8 km, hop 1, inside the ALOHA radius\n"
                    "Digipeated by: W2FAR, 133 km, hop 2, beyond the ALOHA radius\n"
                    "Suggested path: WIDE2-1\n"
                    "From beyond the ALOHA radius: 1 frames, 10.6 % of the airtime\n"
                    "Call           km Hops Frames  Path\n"
                    "W2FAR         133    0      1  (direct)\n");
    EXPECT_NE(expected.find("Measured ALOHA radius: not reached (5 frames)\n"), std::string::npos)
        << expected;
    // The mobile is 15 packets times the 2 copies N1DIG makes, heard twice.
    EXPECT_NE(expected.find("\nW1XYZ-9        31         30         2\n"), std::string::npos)
        << expected;
    EXPECT_NE(expected.find("\nNot in the station list: K9ZZZ N0CALL W2FAR\n"), std::string::npos)
        << expected;

    ASSERT_NO_FATAL_FAILURE(MakeAudio(dir));

    const int kissPort = FreePort();
    int agwPort = FreePort();
    for (int i = 0; agwPort == kissPort && i < 100; ++i)
        agwPort = FreePort() + 1;
    ASSERT_NE(kissPort, 0);
    std::ofstream(dir / "direwolf.conf") << "ADEVICE stdin null\nARATE 44100\nKISSPORT " << kissPort
                                         << "\nAGWPORT " << agwPort << "\n";
    int audio[2];
    ASSERT_EQ(pipe(audio), 0);
    signal(SIGPIPE, SIG_IGN);
    TChild direwolf(
        {"direwolf", "-t", "0", "-c", (dir / "direwolf.conf").string()},
        {.output = (dir / "direwolf.log").string(), .errorToo = true, .input = audio[0]});
    close(audio[0]);
    ASSERT_TRUE(direwolf.Started());
    // The reports themselves wait for Dire Wolf's ports, trying again until
    // they answer. (A probe connection first can hold up Dire Wolf's AGW
    // clients after it.)
    fcntl(audio[1], F_SETFD, FD_CLOEXEC);

    // Long enough to connect, hear the audio and more on a busy machine; the
    // audio goes out once both have said they are connected.
    const std::string listen = "30";
    TChild kiss({VELLORAN_REPORT_EXE, "--scenario", (dir / "scenario.json").string(), "--kiss",
                 "127.0.0.1:" + std::to_string(kissPort), "--listen", listen},
                {.output = (dir / "kiss.out").string(), .errorToo = true});
    TChild agw({VELLORAN_REPORT_EXE, "--scenario", (dir / "scenario.json").string(), "--agw",
                "127.0.0.1:" + std::to_string(agwPort), "--listen", listen},
               {.output = (dir / "agw.out").string(), .errorToo = true});
    support::InitializeAprsPatterns();
    const auto window = [&](const std::string& tnc) {
        const fs::path settings = dir / ("velloran-" + tnc.substr(0, 3) + ".INI");
        std::ofstream(settings, std::ios::binary) << "[Channel]\r\nTnc=" << tnc << "\r\n";
        auto model = std::make_unique<app::TChannelModel>(app::ReadChannelSettings(settings));
        model->SetOwnCall("N0CALL"); // as the main window does once it read the own station
        model->Start();
        return model;
    };
    const auto kissWindow = window("kiss://127.0.0.1:" + std::to_string(kissPort));
    const auto agwWindow = window("agw://127.0.0.1:" + std::to_string(agwPort));
    const aloha::TListedStations listed{
        {"N0ABC", 4, 2}, {"N1DIG", 8, 6}, {"K1MIC", 11, 15}, {"W1XYZ-9", 31, 30}};
    aloha::TRunState run;
    run.OwnCall = "N0CALL";
    run.OwnStationKnown = true;
    run.OwnLatitude = 2556;
    run.OwnLongitude = -4278;
    run.PacketTotal = 1800;
    run.RadiusKm = 108;
    ASSERT_TRUE(WaitFor(
        [&] {
            return testcommon::ReadWholeFile(dir / "kiss.out").find("connected to kiss://") !=
                       std::string::npos &&
                   testcommon::ReadWholeFile(dir / "agw.out").find("connected to agw://") !=
                       std::string::npos &&
                   kissWindow->Picture(listed, {}).Status.starts_with("connected to kiss://") &&
                   agwWindow->Picture(listed, {}).Status.starts_with("connected to agw://");
        },
        60s))
        << testcommon::ReadWholeFile(dir / "kiss.out") << testcommon::ReadWholeFile(dir / "agw.out")
        << testcommon::ReadWholeFile(dir / "direwolf.log") << kissWindow->Picture(listed, {}).Status
        << agwWindow->Picture(listed, {}).Status;

    const std::string wav = testcommon::ReadWholeFile(dir / "audio.wav");
    const std::string silence(44100 * 2, '\0');
    for (const std::string* part : {&wav, &silence}) {
        std::size_t at = 0;
        while (at < part->size()) {
            const ssize_t n = write(audio[1], part->data() + at, part->size() - at);
            ASSERT_GT(n, 0) << testcommon::ReadWholeFile(dir / "direwolf.log");
            at += static_cast<std::size_t>(n);
        }
    }
    ASSERT_EQ(kiss.Wait(120s), 0) << testcommon::ReadWholeFile(dir / "kiss.out");
    ASSERT_EQ(agw.Wait(120s), 0) << testcommon::ReadWholeFile(dir / "agw.out");
    close(audio[1]);
    for (const char* name : {"kiss.out", "agw.out"}) {
        const std::string out = testcommon::ReadWholeFile(dir / name);
        const auto at = out.find("== Channel ==\n");
        ASSERT_NE(at, std::string::npos) << out;
        EXPECT_EQ(WithoutAirtime(out.substr(at)), WithoutAirtime(expected))
            << name << "\n"
            << out << testcommon::ReadWholeFile(dir / "direwolf.log");
        // The rest of the report is the run's, as without the channel.
        EXPECT_NE(out.find(file.substr(0, file.find("== Channel =="))), std::string::npos) << out;
    }
    for (app::TChannelModel* model : {kissWindow.get(), agwWindow.get()}) {
        app::TChannelPicture picture;
        EXPECT_TRUE(WaitFor(
            [&] {
                picture = model->Picture(listed, {});
                return !picture.Figures.empty() &&
                       picture.Figures[0] == "Frames heard: 9 of 1800 in 30 minutes";
            },
            20s))
            << picture.Status << "\n"
            << (picture.Figures.empty() ? "" : picture.Figures[0]);
        ASSERT_EQ(picture.Listed.size(), 4u) << picture.Status;
        EXPECT_EQ(picture.Listed[3].Call, "W1XYZ-9");
        EXPECT_EQ(picture.Listed[3].Measured, 2u);
        EXPECT_EQ(picture.Unlisted, (std::vector<std::string>{"K9ZZZ", "N0CALL", "W2FAR"}));
        // The window's model traces the own packets as the report does.
        std::string lines = "== Path ==\n";
        for (const std::string& line : model->Picture(listed, run).Path)
            lines += line + "\n";
        EXPECT_EQ(WithoutAirtime(lines), WithoutAirtime(path));
    }
    kissWindow->Stop();
    agwWindow->Stop();
    support::FinalizeAprsPatterns();
    fs::remove_all(dir);
}

// Each run gets a session bus of its own: without one it starts itself again
// under dbus-run-session.
int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::string_view(argv[i]).starts_with("--gtest_list_tests");
    if (!listing && !std::getenv("VELLORAN_TEST_BUS")) {
        setenv("VELLORAN_TEST_BUS", "1", 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::vector<char*> args{const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        args.insert(args.end(), argv, argv + argc);
        args.push_back(nullptr);
        execvp("dbus-run-session", args.data());
        perror("dbus-run-session");
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
