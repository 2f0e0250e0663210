// The stand-in host's command line, read once for its bus and COM programs:
// what each accepts, and the exact words and status of what each refuses.
#include "standin/HostOptions.h"
#include "support/ProgramInfo.h"

#include <gtest/gtest.h>

using standin::THostProgramKind;

namespace {

const std::string kWhat = "velloran-standin-host: ";

struct TRefusal {
    THostProgramKind program;
    std::vector<std::string> args;
    std::string err; // after "velloran-standin-host: "
    bool withUsage;  // the usage follows when an option was not understood
};

} // namespace

TEST(HostOptions, RefusedCommandLinesSayWhatWasWrongAndEndWithStatus2) {
    const std::vector<std::string> own = {"--own", "n0call", "--lat", "42.5", "--lon", "-71"};
    const auto live = [&own](std::vector<std::string> args) {
        args.insert(args.end(), own.begin(), own.end());
        return args;
    };
    const TRefusal cases[] = {
        {THostProgramKind::Bus, {"--scenario"}, "--scenario needs 1 value\n", true},
        {THostProgramKind::Com, {"--fail", "GetDistance", "2"}, "--fail needs 3 values\n", true},
        {THostProgramKind::Bus, {"--bogus"}, "unknown option '--bogus'\n", true},
        {THostProgramKind::Bus, {"--close"}, "unknown option '--close'\n", true},
        {THostProgramKind::Com, {"--kiss", "h:1"}, "unknown option '--kiss'\n", true},
        {THostProgramKind::Com, {"/RegServerX"}, "unknown option '/RegServerX'\n", true},
        {THostProgramKind::Bus,
         {"--fail", "NoSuchCall", "1", "boom"},
         "--fail needs an operation of the host and a count of 0 or more\n",
         false},
        {THostProgramKind::Com,
         {"--fail", "GetDistance", "-1", "boom"},
         "--fail needs an operation of the host and a count of 0 or more\n",
         false},
        {THostProgramKind::Com,
         {"--fail", "GetDistance", "99999999999999999999", "boom"},
         "--fail needs an operation of the host and a count of 0 or more\n",
         false},
        {THostProgramKind::Bus,
         {"--fail", "GetDistance", "2x", "boom"},
         "--fail needs an operation of the host and a count of 0 or more\n",
         false},
        {THostProgramKind::Bus,
         {"--kiss", "localhost:0"},
         "--kiss needs HOST:PORT with a port of 1 to 65535, not 'localhost:0'\n",
         false},
        {THostProgramKind::Bus,
         {"--own", "toolongcall"},
         "--own needs a call sign of 1 to 9 characters, not 'TOOLONGCALL'\n",
         false},
        {THostProgramKind::Bus,
         {"--lat", "90.5"},
         "--lat needs degrees from -90 to 90, not '90.5'\n",
         false},
        {THostProgramKind::Bus,
         {"--lon", "1e"},
         "--lon needs degrees from -180 to 180, not '1e'\n",
         false},
        {THostProgramKind::Bus,
         {"--expire", "0"},
         "--expire needs a number of minutes of 1 or more, not '0'\n",
         false},
        {THostProgramKind::Bus,
         {"--txdelay", "10001"},
         "--txdelay needs milliseconds from 0 to 10000, not '10001'\n",
         false},
        {THostProgramKind::Bus, own, "--own, --lat and --lon go with --kiss or --monitor\n", false},
        {THostProgramKind::Bus, {"--stats"}, "--stats goes with --kiss or --monitor\n", false},
        {THostProgramKind::Bus, live({"--monitor", "-", "--scenario", "a.json"}),
         "--scenario cannot be combined with --kiss or --monitor\n", false},
        {THostProgramKind::Bus, live({"--monitor", "-", "--kiss", "h:1"}),
         "give either --kiss or --monitor, not both\n", false},
        {THostProgramKind::Bus,
         {"--monitor", "-", "--own", "N0CALL"},
         "live stations need the own station: --own CALL --lat DEG --lon DEG\n",
         false},
    };
    for (const TRefusal& refusal : cases) {
        const standin::THostCommandLine line =
            standin::ParseHostOptions(refusal.program, refusal.args);
        SCOPED_TRACE(refusal.args.front());
        EXPECT_FALSE(line.options);
        EXPECT_EQ(line.status, 2);
        EXPECT_EQ(line.out, "");
        EXPECT_EQ(line.err, kWhat + refusal.err +
                                (refusal.withUsage ? standin::HostUsage(refusal.program) : ""));
    }
}

TEST(HostOptions, EachProgramReadsItsOwnOptionsAndAnswersHelpAndVersion) {
    const auto options = [](THostProgramKind program, const std::vector<std::string>& args) {
        standin::THostCommandLine line = standin::ParseHostOptions(program, args);
        EXPECT_EQ(line.err, "");
        return line.options.value_or(standin::THostOptions{});
    };
    const standin::THostOptions bus = options(
        THostProgramKind::Bus,
        {"--kiss", "[::1]:8001", "--own", "n0call-9", "--lat", "42.5", "--lon", "-71.25", "--fail",
         "GetDistance", "3", "boom", "--expire", "5", "--txdelay", "0", "--stats", "--debug"});
    EXPECT_EQ(bus.kiss, "[::1]:8001");
    EXPECT_EQ(bus.own, "N0CALL-9");
    EXPECT_EQ(bus.lat, 42.5);
    EXPECT_EQ(bus.lon, -71.25);
    ASSERT_TRUE(bus.fail);
    EXPECT_EQ(bus.fail->operation, "GetDistance");
    EXPECT_EQ(bus.fail->after, 3);
    const auto padded = options(THostProgramKind::Com, {"--fail", "GetDistance", " +7 ", "x"}).fail;
    ASSERT_TRUE(padded);
    EXPECT_EQ(padded->after, 7);
    EXPECT_EQ(bus.fail->message, "boom");
    EXPECT_EQ(bus.expire, 5);
    EXPECT_EQ(bus.txDelayMs, 0);
    EXPECT_TRUE(bus.stats && bus.debug && bus.Live());

    // Windows switches in any case, with / or -.
    const standin::THostOptions com =
        options(THostProgramKind::Com, {"/regserver", "-ALLUSERS", "/Embedding", "--scenario", ""});
    EXPECT_EQ(com.registerServer, true);
    EXPECT_TRUE(com.allUsers);
    EXPECT_EQ(com.scenario, "");
    EXPECT_EQ(options(THostProgramKind::Com, {"-UnregServer"}).registerServer, false);

    for (const auto program : {THostProgramKind::Bus, THostProgramKind::Com}) {
        // --help and --version win wherever they are, even after a fault.
        for (const auto& args : {std::vector<std::string>{"--bogus", "--help"},
                                 std::vector<std::string>{"-h", "--bogus"}}) {
            const standin::THostCommandLine help = standin::ParseHostOptions(program, args);
            EXPECT_EQ(help.out, standin::HostUsage(program));
            EXPECT_EQ(help.status, 0);
            EXPECT_FALSE(help.options);
        }
        const standin::THostCommandLine version =
            standin::ParseHostOptions(program, {"--fail", "--version"});
        EXPECT_EQ(version.out, support::VersionText("velloran-standin-host"));
        EXPECT_EQ(version.status, 0);
    }
    EXPECT_EQ(standin::ParseHostOptions(THostProgramKind::Com, {"/?"}).out,
              standin::HostUsage(THostProgramKind::Com));

    // The table of a monitor input needs no bus: told apart before Qt starts,
    // with option values not taken for options.
    EXPECT_TRUE(standin::WantsMonitorStats({"--monitor", "-", "--stats"}));
    EXPECT_FALSE(standin::WantsMonitorStats({"--monitor", "--stats"}));
    EXPECT_FALSE(standin::WantsMonitorStats({"--kiss", "h:1", "--stats"}));
}
