// velloran-report's "== Channel ==" section from a monitor file: the measured
// radius over the run's list, the figures and the table, with the rest of the
// report unchanged.
#include "aprs/channel/ChannelStats.h"
#include "tools/HeadlessRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TReport {
    int status = 0;
    std::string out, err;
};

TReport Report(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    TReport report;
    report.status = tools::RunVelloranReport(args, out, err);
    report.out = out.str();
    report.err = err.str();
    return report;
}

/// A section of the report, up to the next one.
std::string Section(const std::string& report, const std::string& header = "== Channel ==") {
    const auto at = report.find(header + "\n");
    if (at == std::string::npos)
        return {};
    const auto next = report.find("\n== ", at + header.size());
    return report.substr(at, next == std::string::npos ? std::string::npos : next + 1 - at);
}

/// A UTC time stamp minutes before now, as monitor lines may start with.
std::string Stamp(int minutesAgo) {
    const std::time_t when = std::time(nullptr) - minutesAgo * 60;
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &when);
#else
    gmtime_r(&when, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::string Station(const std::string& call, char table, char code, int speed, int distance) {
    return std::string("{\"callsign\": \"") + call + "\", \"symbolTable\": \"" + table +
           "\", \"symbolCode\": \"" + code + "\", \"speed\": " + std::to_string(speed) +
           ", \"distance\": " + std::to_string(distance) +
           ", \"lat\": 2580, \"long\": -4200, \"path\": \"APRS\", \"lastHeardRF\": "
           "\"2026-12-08 14:00:00\", \"lastHeardInternet\": \"\"}";
}

class ReportChannel : public testing::Test {
protected:
    void SetUp() override {
        FDir = fs::temp_directory_path() /
               ("velloran-report-channel-" +
                std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(FDir);
        // Nearest first: a digipeater at 2 km, a home station and a mobile at
        // 5 km (a tie), a home station at 30 km.
        std::ofstream(FDir / "scenario.json")
            << "{\"own\": {\"callsign\": \"n0call\", \"lat\": 2580, \"long\": -4200},\n"
               "\"stations\": [\n"
            << Station("FAR1", '/', '-', 0, 30) << ",\n"
            << Station("HOME5", '/', '-', 0, 5) << ",\n"
            << Station("CAR5-9", '/', '>', 50, 5) << ",\n"
            << Station("DIGI2", '/', '#', 0, 2) << "]}\n";
    }
    void TearDown() override { fs::remove_all(FDir); }

    std::string Scenario() const { return (FDir / "scenario.json").string(); }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(FDir / name, std::ios::binary) << text;
        return (FDir / name).string();
    }

    fs::path FDir;
};

} // namespace

TEST_F(ReportChannel, FramesFromAMonitorFileMeasureTheRadius) {
    std::string lines;
    // The mobile: direct and digipeated copies, each taking the channel.
    for (int i = 0; i < 600; ++i)
        lines += "CAR5-9>APRS,WIDE1-1:=4230.00N/07100.00W>090/030\n";
    for (int i = 0; i < 600; ++i)
        lines += Stamp(10) + " CAR5-9>APRS,DIGI2*,WIDE2-1:=4230.00N/07100.00W>090/030\r\n";
    // DIGI2's beacon, and a station not in the list whose frames would take
    // the sum past 1800.
    for (int i = 0; i < 3; ++i)
        lines += Stamp(29) + "Z: DIGI2>APRS:!4240.00N/07115.00W#digi\n";
    for (int i = 0; i < 700; ++i)
        lines += "K9ZZZ>APRS:>not listed\n";
    // Out of the window, and not a monitor line at all.
    lines += Stamp(31) + " HOME5>APRS:!4237.14N/07120.83W-home\n";
    lines += "this is not a monitor line\n\n";
    const std::string file = Write("heard.log", lines);

    const TReport plain = Report({"--scenario", Scenario()});
    const TReport report = Report({"--scenario", Scenario(), "--monitor", file});
    ASSERT_EQ(report.status, 0) << report.err;
    EXPECT_EQ(report.err, plain.err);
    // Everything before the new section is the report as it always was.
    ASSERT_TRUE(report.out.starts_with(plain.out));
    EXPECT_EQ(report.out.size(), plain.out.size() + Section(report.out).size() +
                                     Section(report.out, "== Path ==").size());
    // 3 + 600 + 600 frames reach 1200 at the mobile, 5 km: not yet 1800. The
    // estimate for the mobile is 15 times the digipeater's 2 copies.
    EXPECT_EQ(Section(report.out), "== Channel ==\n"
                                   "Measured ALOHA radius: not reached (1203 frames)\n"
                                   "Frames heard: 1903 of 1800 in 30 minutes\n"
                                   "Airtime: 1179.5 s (TX delay 300 ms)\n"
                                   "Occupancy: 65.5 %\n"
                                   "Stations heard: 3, not in the station list: 1 (700 frames)\n"
                                   "Call           km  Estimated  Measured\n"
                                   "DIGI2           2          3         3\n"
                                   "CAR5-9          5         30      1200\n"
                                   "Not in the station list: K9ZZZ\n"
                                   "Lines that are not monitor lines: 1\n")
        << Section(report.out);

    // 600 more from the home station at 5 km, listed before the mobile: the
    // sum reaches 1800 at the mobile, 5 km.
    for (int i = 0; i < 600; ++i)
        lines += "HOME5>APRS:!4237.14N/07120.83W-home\n";
    Write("heard.log", lines);
    const std::string section = Section(Report({"--scenario", Scenario(), "--monitor", file}).out);
    EXPECT_TRUE(section.starts_with("== Channel ==\nMeasured ALOHA radius: 5 km\n")) << section;
    EXPECT_NE(section.find("\nHOME5           5          4       600\n"), std::string::npos)
        << section;
}

TEST_F(ReportChannel, BadChannelOptionsAreRefusedByName) {
    const auto refused = [&](const std::vector<std::string>& args, const std::string& message) {
        std::vector<std::string> all = {"--scenario", Scenario()};
        all.insert(all.end(), args.begin(), args.end());
        const TReport report = Report(all);
        EXPECT_EQ(report.status, 2) << message;
        EXPECT_EQ(report.out, "") << message;
        EXPECT_NE(report.err.find(message), std::string::npos) << report.err;
    };
    refused({"--monitor", (FDir / "missing.log").string()},
            "cannot read the monitor file " + (FDir / "missing.log").string());
    refused({"--kiss", "localhost:8001"}, "--kiss and --agw need --listen SECONDS");
    refused({"--agw", "localhost:8000", "--listen", "0"}, "1 to 86400, not '0'");
    refused({"--agw", "localhost", "--listen", "5"}, "--agw 'localhost' is not HOST:PORT");
    refused({"--kiss", "localhost:8001", "--agw", "localhost:8000", "--listen", "5"},
            "give one of --monitor, --kiss and --agw");
    refused({"--monitor", Write("m.log", ""), "--listen", "5"},
            "--listen goes with --kiss or --agw");
    refused({"--listen"}, "--listen needs a value");
}

TEST_F(ReportChannel, AnEmptyMonitorFileIsAChannelWithNothingHeard) {
    const TReport report = Report({"--scenario", Scenario(), "--monitor", Write("m.log", "")});
    ASSERT_EQ(report.status, 0) << report.err;
    EXPECT_EQ(Section(report.out), "== Channel ==\n"
                                   "Measured ALOHA radius: not reached (0 frames)\n"
                                   "Frames heard: 0 of 1800 in 30 minutes\n"
                                   "Airtime: 0.0 s (TX delay 300 ms)\n"
                                   "Occupancy: 0.0 %\n"
                                   "Stations heard: 0, not in the station list: 0 (0 frames)\n"
                                   "Call           km  Estimated  Measured\n");
}

TEST_F(ReportChannel, ATncNeverReachedIsAFailureAndNoReport) {
    // Port 1 on the loopback address: nothing listens there.
    const TReport report =
        Report({"--scenario", Scenario(), "--kiss", "127.0.0.1:1", "--listen", "1"});
    EXPECT_EQ(report.status, 1);
    EXPECT_EQ(report.out, "");
    EXPECT_NE(report.err.find("velloran-report: cannot connect to kiss://127.0.0.1:1: "),
              std::string::npos)
        << report.err;
    EXPECT_NE(report.err.find("velloran-report: no connection to kiss://127.0.0.1:1 in 1 s\n"),
              std::string::npos)
        << report.err;
}

TEST_F(ReportChannel, AReplayedFileIsMeasuredOnItsOwnClock) {
    // Yesterday's log: a frame from CAR5-9 every 2 s for an hour; and lines
    // without a time, which count at the log's end.
    std::string lines;
    for (int s = 0; s < 3600; s += 2) {
        const int ago = 24 * 60 + 60 - s / 60;
        lines += Stamp(ago) + " CAR5-9>APRS:=4230.00N/07100.00W>090/030\n";
    }
    lines += "DIGI2>APRS:!4240.00N/07115.00W#digi\n";
    const TReport report =
        Report({"--scenario", Scenario(), "--monitor", Write("yesterday.log", lines)});
    ASSERT_EQ(report.status, 0) << report.err;
    const std::string section = Section(report.out);
    // The last 30 minutes of it, not nothing because it is old: 30 minutes of
    // the mobile's 30 frames a minute, and the beacon.
    EXPECT_NE(section.find("\nWindow: the 30 minutes up to "), std::string::npos) << section;
    EXPECT_NE(section.find(" UTC, the monitor file's own clock"), std::string::npos) << section;
    EXPECT_NE(section.find("\nDIGI2           2          3         1\n"), std::string::npos)
        << section;
    EXPECT_NE(section.find("\nCAR5-9          5         30       900\n"), std::string::npos)
        << section;

    // A log far ahead of this machine's clock, fed faster than a channel
    // carries: its own clock, and at most 100 %.
    std::string flood;
    const std::string ahead = Stamp(-24 * 60);
    for (int i = 0; i < 20000; ++i)
        flood += ahead + " K9ZZZ>APRS:>" + std::string(200, 'x') + "\n";
    const std::string fast =
        Section(Report({"--scenario", Scenario(), "--monitor", Write("fast.log", flood)}).out);
    EXPECT_NE(fast.find(std::string("\nOccupancy: 100.0 % (") + aprs::kOverfullNote + ")\n"),
              std::string::npos)
        << fast;
    EXPECT_NE(fast.find("\nWindow: the 30 minutes up to " + ahead + " UTC"), std::string::npos)
        << fast;
}

TEST_F(ReportChannel, ACallWithAControlCharacterIsNoStation) {
    using namespace std::string_literals;
    const std::string file = Write("nul.log", "N0AB\0C>APRS:>status\nK9ZZZ>APRS:>status\n"s);
    const std::string section = Section(Report({"--scenario", Scenario(), "--monitor", file}).out);
    EXPECT_NE(section.find("Stations heard: 1, not in the station list: 1 (1 frames)\n"),
              std::string::npos)
        << section;
    EXPECT_NE(section.find("Not in the station list: K9ZZZ\n"), std::string::npos) << section;
    EXPECT_NE(section.find("Lines that are not monitor lines: 1\n"), std::string::npos) << section;
}

// Any input is read in bounded pieces: a runaway line through a FIFO is
// skipped and counted under a memory limit far below its length, and lines
// out of time order are still measured in it.
TEST_F(ReportChannel, AnyInputIsReadInBoundedPiecesAndOverlongLinesAreSkipped) {
    const fs::path fifo = FDir / "monitor.fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const fs::path result = FDir / "result.txt";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // What the process has now, and 64 MB more: a 256 MB line cannot be held.
        std::ifstream statm("/proc/self/statm");
        long pages = 0;
        statm >> pages;
        const rlim_t limit = static_cast<rlim_t>(pages) * 4096 + (64u << 20);
        const rlimit bound{limit, limit};
        setrlimit(RLIMIT_AS, &bound);
        const TReport report = Report({"--scenario", Scenario(), "--monitor", fifo.string()});
        std::ofstream(result) << report.status << '\n' << report.out << report.err;
        _exit(0);
    }
    {
        std::ofstream out(fifo, std::ios::binary);
        out << Stamp(5) << " CAR5-9>APRS:=4230.00N/07100.00W>090/030\n";
        out << Stamp(20) << " CAR5-9>APRS:=4230.00N/07100.00W>090/030\n"; // earlier, later
        const std::string block(1u << 20, 'x');
        for (int i = 0; i < 256; ++i)
            out << block;
        out << "\nDIGI2>APRS:!4240.00N/07115.00W#" << std::string(5000, 'd') << "\n";
        out << "DIGI2>APRS:!4240.00N/07115.00W#digi"; // no line feed at the end
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::ifstream in(result);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    ASSERT_TRUE(text.starts_with("0\n")) << text;
    const std::string section = Section(text);
    EXPECT_NE(section.find("\nFrames heard: 3 of 1800 in 30 minutes\n"), std::string::npos)
        << section;
    EXPECT_NE(section.find("\nCAR5-9          5         30         2\n"), std::string::npos)
        << section;
    EXPECT_NE(section.find("\n2 lines longer than 4096 bytes skipped\n"), std::string::npos)
        << section;
}

TEST_F(ReportChannel, ThePathSectionPlacesTheDigipeatersOfTheOwnPackets) {
    // An own beacon traced through DIGI2 (listed at 2 km) and then FAR2,
    // which the list does not hold but which beacons from 44 N (111 km); a
    // station from 45 N heard through FAR2.
    std::string lines;
    lines += Stamp(5) + " FAR2>APRS:!4400.00N/07000.00W#digi\n";
    lines += Stamp(4) + " N0CALL>APRS,DIGI2*,WIDE2-1:!4300.00N/07000.00W-home\n";
    lines += Stamp(4) + " N0CALL>APRS,DIGI2,FAR2,WIDE2*:!4300.00N/07000.00W-home\n";
    lines += Stamp(3) + " K9FAR>APRS,FAR2*,WIDE2-1:!4500.00N/07000.00W-far\n";
    const std::string file = Write("own.log", lines);
    // A threshold of 30 is reached at the stations 5 km away.
    const TReport report =
        Report({"--scenario", Scenario(), "--monitor", file, "--debug", "--density", "30"});
    ASSERT_EQ(report.status, 0) << report.err;
    ASSERT_NE(report.out.find("Your ALOHA radius is 5 Kilometers"), std::string::npos);
    EXPECT_TRUE(report.out.ends_with(Section(report.out, "== Path ==")));
    EXPECT_EQ(Section(report.out, "== Path =="),
              "== Path ==\n"
              "Own packets: 1 from N0CALL in 30 minutes, 2 digipeated copies heard\n"
              "Your path asks for: 2 hops\n"
              "Digipeated by: DIGI2, 2 km, hop 1, inside the ALOHA radius\n"
              "Digipeated by: FAR2, 111 km, hop 2, beyond the ALOHA radius\n"
              "Suggested path: WIDE2-1\n"
              "From beyond the ALOHA radius: 2 frames, 47.3 % of the airtime\n"
              "Call           km Hops Frames  Path\n"
              "FAR2          111    0      1  (direct)\n"
              "K9FAR         222    1      1  FAR2*,WIDE2-1\n");
}
