// Velloran and velloran-report on desktops other than the one they were made
// for: ended by signals, started with no host on the bus. Every test runs in
// a session bus of its own (dbus-run-session), with no host on it.
#include "standin/model/Scenario.h"
#include "support/FileLock.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/Files.h"
#include "tests/common/LoopbackServer.h"
#include "tools/OwnSessionBus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::TChild;

namespace {
/// Velloran, copied into dir so that its settings file is the test's own,
/// started off screen on the threshold scenario; its output goes to out.txt.
TChild StartVelloranIn(const testcommon::TTempFolder& dir) {
    struct TScenarioEnvironment {
        TScenarioEnvironment() {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("VELLORAN_SCENARIO",
                   (std::string(VELLORAN_GOLDEN_DIR) + "/threshold/scenario.json").c_str(), 1);
        }
        ~TScenarioEnvironment() { unsetenv("VELLORAN_SCENARIO"); }
    };
    const TScenarioEnvironment environment; // for the start alone
    return TChild({(dir.Path() / "velloran").string()},
                  {.output = (dir.Path() / "out.txt").string(), .errorToo = true});
}

} // namespace

TEST(Desktop, TerminationSignalsEndVelloranTheNormalWay) {
    // Log-out, a closed terminal or systemctl end the session: what was not
    // saved during the run is saved, as at the end of the program. The
    // program is copied so that its settings file, beside it, is this test's
    // own.
    for (const int signal : {SIGTERM, SIGHUP}) {
        testcommon::TTempFolder dir;
        const fs::path program = dir.Path() / "velloran";
        fs::copy_file(VELLORAN_EXE, program);
        TChild velloran = StartVelloranIn(dir);
        std::this_thread::sleep_for(1500ms); // shown, first run done
        ASSERT_EQ(velloran.Wait(0ms), std::nullopt)
            << testcommon::ReadWholeFile(dir.Path() / "out.txt");
        kill(velloran.Pid(), signal);
        EXPECT_EQ(velloran.Wait(5s), 0) << "signal " << signal;
        const std::string ini = testcommon::ReadWholeFile(dir.Path() / "velloran.INI");
        EXPECT_NE(ini.find("[MainForm]"), std::string::npos) << "signal " << signal;
        EXPECT_NE(ini.find("edRecalculateRate.Text=30"), std::string::npos) << ini;
    }
}

// The end of a session while the settings cannot be saved: another program
// holds the file's lock, or the file is a folder. Nobody is there to answer a
// box: the failure goes to standard error, Velloran ends within 10 s, and the
// file keeps what it had. A TNC whose connect hangs does not hold it up.
TEST(Desktop, AtTheEndOfASessionAFailedSaveIsLoggedAndVelloranEnds) {
    const testsupport::THangingServer tnc;
    const std::string settings = "[Channel]\r\nTnc=kiss://127.0.0.1:" + tnc.Port +
                                 "\r\n[Settings]\r\nedRecalculateRate.Text=45\r\n";
    for (const bool locked : {true, false}) {
        testcommon::TTempFolder dir;
        const fs::path program = dir.Path() / "velloran";
        fs::copy_file(VELLORAN_EXE, program);
        const fs::path ini = dir.Path() / "velloran.INI";
        if (locked)
            std::ofstream(ini, std::ios::binary) << settings;
        else
            fs::create_directory(ini);
        TChild velloran = StartVelloranIn(dir);
        std::this_thread::sleep_for(1500ms); // shown, first run done
        ASSERT_EQ(velloran.Wait(0ms), std::nullopt)
            << testcommon::ReadWholeFile(dir.Path() / "out.txt");
        std::optional<support::TFileLock> held;
        if (locked)
            held.emplace(dir.Path() / "velloran.INI.lock", 0ms);
        kill(velloran.Pid(), SIGTERM);
        EXPECT_EQ(velloran.Wait(10s), 0) << (locked ? "locked" : "a folder");
        if (velloran.Wait(0ms) == std::nullopt)
            kill(velloran.Pid(), SIGKILL);
        const std::string out = testcommon::ReadWholeFile(dir.Path() / "out.txt");
        EXPECT_NE(out.find("velloran: Unable to write to " + ini.string()), std::string::npos)
            << out;
        if (locked) {
            EXPECT_EQ(testcommon::ReadWholeFile(ini), settings);
            // The measured channel is kept all the same, for the next start.
            EXPECT_TRUE(fs::exists(dir.Path() / "velloran-channel.txt"));
        }
    }
}

TEST(Desktop, ReportSaysWhenItFallsBackOnTheDemo) {
    testcommon::TTempFolder dir;
    const fs::path demoOut = dir.Path() / "demo.out", demoErr = dir.Path() / "demo.err";
    const fs::path fileOut = dir.Path() / "file.out";
    {
        TChild report({VELLORAN_REPORT_EXE}, {.output = demoOut.string()});
        ASSERT_EQ(report.Wait(30s), 0);
    }
    {
        // The same run with the demo named as a scenario: nothing to say.
        const std::string demo =
            std::string(VELLORAN_SOURCE_DIR) + "/standin/model/scenarios/demo.json";
        TChild report({VELLORAN_REPORT_EXE, "--scenario", demo}, {.output = fileOut.string()});
        ASSERT_EQ(report.Wait(30s), 0);
    }
    const std::string out = testcommon::ReadWholeFile(demoOut);
    EXPECT_GT(out.size(), 1000u);
    EXPECT_EQ(out, testcommon::ReadWholeFile(fileOut)); // standard output is unchanged
    // Standard error, as the shell sees it.
    const std::string command =
        std::string(VELLORAN_REPORT_EXE) + " 2>" + demoErr.string() + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(testcommon::ReadWholeFile(demoErr), std::string(standin::kDemoScenarioNote) + "\n");
}

// Each run of this program gets a session bus of its own: without one it
// starts itself again under dbus-run-session.
int main(int argc, char** argv) {
    tools::RunInOwnSessionBus(argc, argv, "VELLORAN_TEST_BUS");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
