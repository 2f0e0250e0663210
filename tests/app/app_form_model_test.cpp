// The main window's behaviour, as every view of it gets it: the model on the
// embedded stand-in host, with a view that records what it is told.
#include "app/model/AboutInfo.h"
#include "app/model/FormModel.h"
#include "aprs/packets/Ax25.h"
#include "host/HostError.h"
#include "standin/model/Scenario.h"
#include "standin/model/StandinHost.h"
#include "support/APRSParser.h"
#include "tests/common/FakeFormView.h"
#include "tests/common/Files.h"
#include "tests/common/MobilesScenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <tuple>

using namespace app;

namespace {

using testsupport::TFakeTimer;
using testsupport::TFakeTray;
using testsupport::TFakeView;

std::string Scenario(const std::string& fail = "") {
    return MobilesScenario(130, "n1abc", fail);
}
struct TRig {
    explicit TRig(const std::string& scenario = Scenario(), std::vector<std::string> args = {}) {
        Dir =
            std::filesystem::temp_directory_path() /
            ("velloran-model-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
        Host = std::make_shared<standin::TStandinHost>(standin::ParseScenario(scenario, "test"));
        Tray = std::make_shared<TFakeTray>();
        TFormServices services;
        services.Connector = std::make_shared<standin::TEmbeddedConnector>(Host);
        services.Args = std::move(args);
        services.SettingsFile = Ini();
        services.Tray = Tray;
        Model = std::make_unique<TFormModel>(View, CalcTimer, RedrawTimer, std::move(services));
        Model->Loaded();
    }
    ~TRig() {
        Model.reset();
        std::filesystem::remove_all(Dir);
    }
    std::filesystem::path Ini() const { return Dir / "velloran.INI"; }
    /// Create, then the first show, as a view does them.
    void Start() {
        Model->Create();
        Model->Handle([this] { Model->FormShow(); });
    }

    std::filesystem::path Dir;
    TFakeView View;
    TFakeTimer CalcTimer, RedrawTimer;
    std::shared_ptr<standin::TStandinHost> Host;
    std::shared_ptr<TFakeTray> Tray;
    std::unique_ptr<TFormModel> Model;
};

} // namespace

// A saved window goes to the available area of the screen nearest to it, in
// both views: the one it overlaps most, else the closest.
TEST(FormModel, PlacementTakesTheNearestScreensAvailableArea) {
    const std::vector<TScreenArea> screens{
        {{0, 0, 1920, 1080}, {0, 0, 1920, 1040}},        // task bar at the bottom
        {{1920, 0, 3200, 1024}, {1920, 30, 3200, 1024}}, // panel at the top
    };
    const TRect fallback{0, 0, 800, 600};
    struct Case {
        TRect window, area;
    } const cases[] = {
        {{100, 100, 600, 500}, screens[0].Available},
        {{1800, 100, 2400, 500}, screens[1].Available}, // more of it on the second
        {{1700, 100, 2000, 500}, screens[0].Available},
        {{5000, 5000, 5400, 5400}, screens[1].Available}, // off every screen: the closest
        {{-900, 200, -100, 600}, screens[0].Available},
        {{600, 100, 100, 500}, screens[0].Available}, // sides the wrong way round
    };
    for (const Case& c : cases)
        EXPECT_EQ(NearestAvailableArea(c.window, screens, fallback), c.area)
            << c.window.Left << "," << c.window.Top;
    EXPECT_EQ(NearestAvailableArea({1, 2, 3, 4}, {}, fallback), fallback);
    // Fitted there: the second screen's panel is not covered.
    EXPECT_EQ(FitToWorkArea({2000, 0, 2500, 400}, screens[1].Available),
              (TRect{2000, 30, 2500, 430}));
}

TEST(FormModel, RecalculateIntervalRules) {
    EXPECT_EQ(TFormModel::RecalculateInterval("30"), 1800000);
    EXPECT_EQ(TFormModel::RecalculateInterval(" 45 "), 1800000);
    EXPECT_EQ(TFormModel::RecalculateInterval("  45"), 2700000);
    EXPECT_EQ(TFormModel::RecalculateInterval("abc"), 1800000);
    EXPECT_EQ(TFormModel::RecalculateInterval(""), 1800000);
    EXPECT_EQ(TFormModel::RecalculateInterval("0"), 0);
    EXPECT_EQ(TFormModel::RecalculateInterval("$100"), 256 * 60000);
    EXPECT_EQ(TFormModel::RecalculateInterval("-5"), 0);
    EXPECT_EQ(TFormModel::RecalculateInterval("40000"), 2147483647);
}

TEST(FormModel, StartUpShowsCaptionRunsAndSetsTheTray) {
    for (const auto& [args, debug] :
         std::vector<std::pair<std::vector<std::string>, bool>>{{{}, false},
                                                                {{"dEbUg", "x"}, true},
                                                                {{"x", "DEBUG"}, false},
                                                                {{"DEBUGGING"}, false}}) {
        TRig rig(Scenario(), args);
        rig.View.Texts[TOption::edPacketDensity] = "$100";
        rig.Start();
        EXPECT_EQ(rig.View.Caption, std::string("Velloran v1.5.0 - Station Call Sign - N1ABC") +
                                        (debug ? " *DEBUG*" : ""));
        EXPECT_EQ(rig.View.DebugShown, debug);
        EXPECT_EQ(rig.Model->Calculation.State.PacketDensity, debug ? 256 : 1800);
        EXPECT_TRUE(rig.View.Errors.empty());
        EXPECT_EQ(rig.View.Status.rfind(" ", 0), 0u);
        ASSERT_GE(rig.Tray->Calls.size(), 2u);
        EXPECT_EQ(rig.Tray->Calls.front(),
                  std::make_pair(NIM_ADD, std::string("right-click for options")));
        if (!debug) {
            EXPECT_TRUE(rig.View.SummaryHas("Your ALOHA radius is 120 Kilometers or 75 Miles"));
            EXPECT_EQ(rig.Tray->Calls.back(),
                      std::make_pair(NIM_MODIFY, std::string("ALOHA radius: 120 KM or 75 miles")));
        }
        EXPECT_TRUE(rig.CalcTimer.Enabled());
        EXPECT_EQ(rig.CalcTimer.Interval(), 1800000);
        EXPECT_TRUE(rig.RedrawTimer.Enabled());
    }
}

// In debug mode a Packet Density below 1 counts as 1800: no radius of 0 km is
// reported and the tray tip stays, with nothing counted.
TEST(FormModel, DebugDensityBelowOneIsTheStandardOne) {
    TRig rig(MobilesScenario(0), {"DEBUG"});
    rig.View.Texts[TOption::edPacketDensity] = "0";
    rig.Start();
    EXPECT_EQ(rig.Model->Calculation.State.PacketDensity, 1800);
    EXPECT_FALSE(rig.View.SummaryHas("Your ALOHA radius"));
    EXPECT_EQ(rig.Tray->Calls.size(), 1u); // the icon added, its tip never changed
}

// A shape the settings restore selects starts no run while the own station is
// unknown: the figure would stand at 0,0. The first show runs it; and a run
// asked for after a failed own-station read reads it again first.
TEST(FormModel, NoRunNorFigureUntilTheOwnStationIsKnown) {
    TRig rig(Scenario(R"({"operation": "GetStationCount", "after": 0, "message": "Gone"})"));
    std::ofstream(rig.Ini(), std::ios::binary)
        << "[Settings]\r\nrbDrawCircle.Checked=False\r\nrbDrawEllispe.Checked=True\r\n"
           "edRecalculateRate.Text=5\r\n";
    rig.Model->Create();
    EXPECT_EQ(rig.View.Runs, 0);
    EXPECT_TRUE(rig.Host->MapCalls().empty());
    EXPECT_FALSE(rig.CalcTimer.Enabled() || rig.RedrawTimer.Enabled());
    EXPECT_TRUE(rig.View.Errors.empty());
    EXPECT_TRUE(rig.View.Checks[TOption::rbDrawEllispe]);
    EXPECT_FALSE(rig.View.Checks[TOption::rbDrawCircle]);
    EXPECT_EQ(rig.CalcTimer.Interval(), 300000);
    // The first show's run, with its error shown.
    rig.Model->Handle([&] { rig.Model->FormShow(); });
    EXPECT_EQ(rig.View.Runs, 1);
    EXPECT_EQ(rig.View.Errors, std::vector<std::string>{"Velloran: Gone."});

    // The own station cannot be read: F9 and a shape change each
    // try to read it again and show why not, and nothing is drawn.
    TRig failing(Scenario(R"({"operation": "GetLat", "after": 0, "message": "No position"})"));
    failing.Start();
    failing.Model->btnCalculateClick();
    failing.View.ClickShape(*failing.Model, TOption::rbDrawEllispe);
    EXPECT_EQ(failing.View.Runs, 0);
    EXPECT_EQ(failing.View.Errors, std::vector<std::string>(3, "Velloran: No position."));
    EXPECT_EQ(failing.View.Caption, "Velloran");
    EXPECT_TRUE(failing.Host->MapCalls().empty());
    failing.Host->SetFail(std::nullopt);
    failing.Model->btnCalculateClick();
    EXPECT_EQ(failing.View.Caption, "Velloran v1.5.0 - Station Call Sign - N1ABC");
    ASSERT_EQ(failing.View.Runs, 1);
    ASSERT_FALSE(failing.Host->MapCalls().empty());
    for (const standin::TMapCall& call : failing.Host->MapCalls()) {
        if (call.kind == standin::TMapCall::Kind::DrawCircle) {
            EXPECT_EQ(std::make_pair(call.x, call.y), std::make_pair(-4300.0f, 2500.0f));
        }
    }
}

TEST(FormModel, ErrorsOneBoxAtATimeAndAFailingRedrawOnceARun) {
    TRig rig;
    rig.Start();
    rig.Host->SetFail(standin::TScenarioFail{"GetStationCount", 0, "Host gone"});
    int nested = 0;
    rig.View.WhileErrorShown = [&] {
        ++nested;
        rig.Model->btnCalculateClick();
        rig.RedrawTimer.Fire();
    };
    rig.Model->btnCalculateClick();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(rig.View.Errors, std::vector<std::string>{"Velloran: Host gone."});
    EXPECT_TRUE(rig.View.CalculateEnabled);
    EXPECT_TRUE(rig.CalcTimer.Enabled());
    rig.View.WhileErrorShown = nullptr;

    rig.Host->SetFail(standin::TScenarioFail{"GetMap", 0, "Map closed"});
    rig.View.Errors.clear();
    for (int i = 0; i < 5; ++i)
        rig.RedrawTimer.Fire();
    EXPECT_EQ(rig.View.Errors.size(), 1u);
    EXPECT_TRUE(rig.RedrawTimer.Enabled());
}

TEST(FormModel, WhileAHostCallWaitsTheWindowGoesOnButNeitherRunsNorRedraws) {
    TRig rig;
    rig.Start();
    const std::size_t mapCalls = rig.Host->MapCalls().size();
    const std::size_t summary = rig.View.Panes[0].size();
    host::IHostWait& wait = *rig.Model;
    wait.WaitBegins();
    EXPECT_FALSE(rig.View.CalculateEnabled);
    // The window's messages come in meanwhile: the recalculation and redraw
    // ticks, and F9, do not call the host while it owes an answer.
    rig.RedrawTimer.Fire();
    rig.CalcTimer.Fire();
    rig.Model->btnCalculateClick();
    wait.Waiting();
    EXPECT_EQ(rig.Host->MapCalls().size(), mapCalls);
    EXPECT_EQ(rig.View.Panes[0].size(), summary);
    EXPECT_EQ(rig.View.DeferredRuns, 0);
    wait.WaitEnds();
    // Then the run asked for comes, once.
    EXPECT_TRUE(rig.View.CalculateEnabled);
    EXPECT_EQ(rig.View.DeferredRuns, 1);
    wait.WaitBegins();
    wait.WaitEnds();
    EXPECT_EQ(rig.View.DeferredRuns, 1);
}

TEST(FormModel, AShowThatComesWhileAHostCallWaitsIsMadeAfterIt) {
    TRig rig;
    host::IHostWait& wait = *rig.Model;
    wait.WaitBegins();
    rig.Model->Handle([&] { rig.Model->FormShow(); });
    EXPECT_EQ(rig.View.Caption, "Velloran");
    EXPECT_TRUE(rig.View.Panes[0].empty());
    wait.WaitEnds();
    ASSERT_EQ(rig.View.DeferredRuns, 1);
    // The deferred turn makes the whole show: caption, own station, run.
    rig.Model->btnCalculateClick();
    EXPECT_EQ(rig.View.Caption.rfind("Velloran v", 0), 0u);
    EXPECT_FALSE(rig.View.Panes[0].empty());
}

TEST(FormModel, HostLossIsWordedForTheOperator) {
    const std::string gone = OperatorErrorText(host::EHostError(
        "The stand-in host has gone away; GetMap failed", host::THostFailure::Gone));
    EXPECT_EQ(gone,
              "The host is not answering. Start it again; Velloran attaches to it at the next "
              "calculation.\n\nDetails: The stand-in host has gone away; GetMap failed");
    const std::string stopped = OperatorErrorText(
        host::EHostError("The stand-in host is not answering; GetMap was not called",
                         host::THostFailure::NotAnswering));
    EXPECT_EQ(stopped.rfind("The host is not answering.", 0), 0u);
    const std::string missing = OperatorErrorText(
        host::EHostError("Class not registered", host::THostFailure::NotInstalled));
    EXPECT_EQ(missing.rfind("The host is not installed, or not registered.", 0), 0u);
    EXPECT_NE(missing.find("velloran-standin-host.exe /RegServer"), std::string::npos);
    EXPECT_EQ(missing.substr(missing.find("\n\nDetails: ")), "\n\nDetails: Class not registered");
    EXPECT_EQ(OperatorErrorText(host::EHostError("Station list is gone")), "Station list is gone");
    EXPECT_EQ(OperatorErrorText(std::runtime_error("Unable to write to x")),
              "Unable to write to x");
    // A start-up that fails says it as every later box does, in both views.
    EXPECT_EQ(StartUpErrorText(
                  host::EHostError("Class not registered", host::THostFailure::NotInstalled)),
              missing + ".");
    EXPECT_EQ(StartUpErrorText(std::runtime_error("No scenario")), "No scenario.");
}

TEST(FormModel, AboutTellsVersionNoticeSettingsFileAndHost) {
    const TAboutInfo about =
        MakeAboutInfo(TVersionInfo("FileVersion=1.5.0.1\nLegalCopyright=Notice\n"),
                      std::filesystem::path(u8"/home/\u00e9\u7121/velloran.INI"), "");
    EXPECT_EQ(AboutPlainText(about), "Velloran 1.5.0.1\nThe ALOHA radius of your APRS channel.\n\n"
                                     "Notice\n\nSettings file: /home/\u00e9\u7121/velloran.INI\n\n"
                                     "Host: not described");
}

TEST(FormModel, CloseRequestWritesBothSectionsInOrderKeepingOthers) {
    TRig rig;
    std::ofstream(rig.Ini(), std::ios::binary) << "[Mine]\r\nkept=yes\r\n";
    rig.Start();
    rig.View.Texts[TOption::edRecalculateRate] = "12";
    rig.Model->CloseRequest();
    EXPECT_EQ(rig.View.Terminations, 1);
    const std::string ini = testcommon::ReadWholeFile(rig.Ini());
    EXPECT_EQ(ini.rfind("[Mine]\r\nkept=yes\r\n", 0), 0u);
    const std::size_t form = ini.find("[MainForm]\r\n");
    const std::size_t settings = ini.find("[Settings]\r\n");
    ASSERT_NE(form, std::string::npos);
    ASSERT_NE(settings, std::string::npos);
    EXPECT_LT(form, settings);
    EXPECT_NE(ini.find("edRecalculateRate.Text=12\r\n"), std::string::npos);
    EXPECT_EQ(ini.find("\n\n"), std::string::npos);
    EXPECT_EQ(rig.CalcTimer.Interval(), 12 * 60000);
    // The destruction step finds both saved and writes nothing more.
    rig.Model.reset();
    EXPECT_EQ(testcommon::ReadWholeFile(rig.Ini()), ini);
    EXPECT_EQ(rig.Tray->Calls.back().first, NIM_DELETE);
}

TEST(FormModel, WaysToEnd) {
    TRig rig;
    rig.Start();
    rig.Host->SendEvent(host::DISPID_OnUIView32IsClosing);
    EXPECT_EQ(rig.View.Terminations, 1);
    rig.Host->SendEvent(7);
    EXPECT_EQ(rig.View.Terminations, 1);
    rig.Model->miExitClick();
    EXPECT_EQ(rig.View.Terminations, 2);
    EXPECT_EQ(rig.Tray->Calls.back().first, NIM_DELETE);
    EXPECT_TRUE(rig.Model->QueryEndSession());
    // Nothing runs after the destruction step has begun.
    rig.Model->Destroy();
    const std::size_t lines = rig.View.Panes[0].size();
    rig.Model->btnCalculateClick();
    EXPECT_EQ(rig.View.Panes[0].size(), lines);
}

// The end of the session (log-off; SIGTERM or SIGHUP on Linux) saves as the
// end of the program does: Options saved during the run are not saved again,
// the window's placement is, and no close request runs.
TEST(FormModel, TheEndOfTheSessionSavesAsTheEndOfTheProgram) {
    TRig rig;
    rig.Start();
    EXPECT_TRUE(rig.Model->ProgramEndSaves().Settings && rig.Model->ProgramEndSaves().MainForm);
    rig.View.Texts[TOption::edRecalculateRate] = "12";
    rig.Model->btnSaveSettingsClick();
    rig.View.Texts[TOption::edRecalculateRate] = "13";
    EXPECT_FALSE(rig.Model->ProgramEndSaves().Settings);
    EXPECT_TRUE(rig.Model->ProgramEndSaves().MainForm);
    rig.Model->SessionEnds();
    EXPECT_EQ(rig.View.Terminations, 1);
    EXPECT_EQ(rig.Tray->Calls.back().first, NIM_DELETE);
    const std::string ini = testcommon::ReadWholeFile(rig.Ini());
    EXPECT_NE(ini.find("edRecalculateRate.Text=12\r\n"), std::string::npos);
    EXPECT_NE(ini.find("[MainForm]\r\n"), std::string::npos);
    rig.Model.reset();
    EXPECT_EQ(testcommon::ReadWholeFile(rig.Ini()), ini);
}

TEST(FormModel, TrayMinimizeAndMessages) {
    TRig rig;
    rig.Start();
    const std::uint32_t callback = rig.Model->TrayIconData.uCallbackMessage;
    rig.Tray->OnCallback(callback, WM_RBUTTONDOWN);
    rig.Tray->OnCallback(callback + 1, WM_LBUTTONDBLCLK); // not ours
    rig.Tray->OnCallback(callback, WM_LBUTTONDBLCLK);
    EXPECT_EQ(rig.View.Popups, 1);
    EXPECT_EQ(rig.View.Restores, 1);

    rig.Model->AppMinimize();
    EXPECT_TRUE(rig.Model->HiddenInTray());
    EXPECT_FALSE(rig.View.OnTaskbar);
    rig.Model->RestoreFromTray();
    EXPECT_TRUE(rig.View.OnTaskbar && !rig.Model->HiddenInTray());

    // Without a notification area the window stays on the taskbar.
    rig.Tray->Shown = false;
    rig.Model->AppMinimize();
    EXPECT_TRUE(rig.View.OnTaskbar && !rig.Model->HiddenInTray());
    rig.Tray->Shown = true;
    rig.View.Checks[TOption::cbMinimizeToTray] = false;
    rig.Model->AppMinimize();
    EXPECT_TRUE(rig.View.OnTaskbar);
}

// A shape click starts a run only when the shape changes, whichever way it
// changed last (a click, or the settings restore); unselecting starts none.
TEST(FormModel, ShapeClicksStartARunOnlyWhenTheShapeChanges) {
    TRig rig;
    rig.Start();
    ASSERT_EQ(rig.View.Runs, 1);
    rig.View.ClickShape(*rig.Model, TOption::rbDrawCircle);
    EXPECT_EQ(rig.View.Runs, 1);
    rig.View.ClickShape(*rig.Model, TOption::rbDrawEllispe);
    EXPECT_EQ(rig.View.Runs, 2);
    rig.View.ClickShape(*rig.Model, TOption::rbDrawEllispe);
    EXPECT_EQ(rig.View.Runs, 2);

    // The file selects neither shape: nothing runs, and a click on either
    // shape is then a change.
    std::ofstream(rig.Ini(), std::ios::binary)
        << "[Settings]\r\nrbDrawCircle.Checked=False\r\nrbDrawEllispe.Checked=False\r\n";
    rig.Model->OvcComponentState1.RestoreState();
    EXPECT_FALSE(rig.View.Checks[TOption::rbDrawCircle] || rig.View.Checks[TOption::rbDrawEllispe]);
    EXPECT_EQ(rig.View.Runs, 2);
    rig.View.ClickShape(*rig.Model, TOption::rbDrawEllispe);
    EXPECT_EQ(rig.View.Runs, 3);

    // The restore selects the circle: the ellipse is cleared and a run starts;
    // a click on the circle after that is no change.
    std::ofstream(rig.Ini(), std::ios::binary) << "[Settings]\r\nrbDrawCircle.Checked=True\r\n";
    rig.Model->OvcComponentState1.RestoreState();
    EXPECT_TRUE(rig.View.Checks[TOption::rbDrawCircle]);
    EXPECT_FALSE(rig.View.Checks[TOption::rbDrawEllispe]);
    EXPECT_EQ(rig.View.Runs, 4);
    rig.View.ClickShape(*rig.Model, TOption::rbDrawCircle);
    EXPECT_EQ(rig.View.Runs, 4);
    // A notice of a click on a button the toolkit did not check is ignored.
    rig.Model->ShapeClicked(TOption::rbDrawEllispe);
    EXPECT_EQ(rig.View.Runs, 4);
}

// How the window first appears: the saved state and the system's start-up
// show command, and never hidden where no tray icon can bring it back.
TEST(FormModel, StartShowNeverLosesTheWindow) {
    const auto start = [](const std::string& showCmd, bool iconShown, bool toTray,
                          std::int32_t system) {
        TRig rig;
        std::ofstream(rig.Ini(), std::ios::binary)
            << "[MainForm]\r\nShowCmd=" << showCmd
            << "\r\nNormalPos=10,10,537,476\r\nPixelsPerInch=96\r\n";
        rig.Tray->Shown = iconShown;
        rig.View.Checks[TOption::cbMinimizeToTray] = toTray;
        rig.Model->Create();
        const TStartShow show = rig.Model->StartShow(system);
        return std::make_tuple(show.Visible, show.Minimized, show.Maximized);
    };
    using T = std::tuple<bool, bool, bool>;
    EXPECT_EQ(start("1", true, true, kSwShowNormal), T(true, false, false));
    EXPECT_EQ(start("3", true, true, kSwShowNormal), T(true, false, true));
    EXPECT_EQ(start("1", true, true, kSwShowMaximized), T(true, false, true));
    // Minimized into the tray only where its icon is really shown.
    EXPECT_EQ(start("2", true, true, kSwShowNormal), T(false, true, false));
    EXPECT_EQ(start("2", false, true, kSwShowNormal), T(true, true, false));
    EXPECT_EQ(start("2", true, false, kSwShowNormal), T(true, true, false));
    EXPECT_EQ(start("6", false, true, kSwShowNormal), T(true, true, false));
    // The system's "minimized" start wins over a saved maximized state.
    EXPECT_EQ(start("3", true, false, kSwShowMinNoActive), T(true, true, false));
    EXPECT_EQ(start("3", true, true, kSwShowMinNoActive), T(false, true, false));
}

// FormShow once, at the first time the window is visible and not minimized;
// the tray, minimizing and restoring do not count.
TEST(FormModel, FirstShowAndRestoreFromTheTray) {
    TRig rig;
    rig.Model->Create();
    EXPECT_FALSE(rig.Model->WindowShown(false, false));
    EXPECT_FALSE(rig.Model->WindowShown(true, true));
    EXPECT_TRUE(rig.Model->WindowShown(true, false));
    EXPECT_FALSE(rig.Model->WindowShown(true, false));
    EXPECT_FALSE(rig.Model->WindowShown(true, true));
    EXPECT_FALSE(rig.Model->WindowShown(true, false));

    rig.Model->AppMinimize();
    ASSERT_TRUE(rig.Model->HiddenInTray());
    rig.Tray->OnCallback(rig.Model->TrayIconData.uCallbackMessage, WM_LBUTTONDBLCLK);
    EXPECT_FALSE(rig.Model->HiddenInTray());
    EXPECT_TRUE(rig.View.OnTaskbar);
    EXPECT_EQ(rig.View.Restores, 1);
    rig.Model->RestoreFromTray(); // the tray menu's Restore, or a second instance
    EXPECT_EQ(rig.View.Restores, 2);
}

// Started minimized, the window goes to the tray after the first run; a
// restore from the tray while that run still lets messages in wins.
TEST(FormModel, ARestoreDuringTheMinimizedStartRunWins) {
    TRig rig;
    rig.Model->Create();
    bool restored = false;
    rig.View.OnProcessMessages = [&] {
        if (!restored) {
            restored = true;
            rig.Tray->OnCallback(rig.Model->TrayIconData.uCallbackMessage, WM_LBUTTONDBLCLK);
        }
    };
    rig.Model->AppMinimize();
    EXPECT_TRUE(restored);
    EXPECT_EQ(rig.View.Runs, 1);
    EXPECT_FALSE(rig.Model->HiddenInTray());
    EXPECT_TRUE(rig.View.OnTaskbar);

    rig.View.OnProcessMessages = nullptr;
    rig.Model->AppMinimize(); // the own station is known now: no run
    EXPECT_TRUE(rig.Model->HiddenInTray());
    EXPECT_EQ(rig.View.Runs, 1);
}

// A minimized start that the view hears of twice (its own notice and the
// window system's) makes the minimize step once: one own-station read, one
// error box. The next minimize after a restore makes it again.
TEST(FormModel, OneMinimizeMakesOneMinimizeStep) {
    TRig rig(Scenario(R"({"operation": "GetLat", "after": 0, "message": "No position"})"));
    rig.Tray->Shown = false; // ticked, but no icon to go to
    rig.Model->Create();
    rig.Model->Handle([&] { rig.Model->AppMinimize(); });
    rig.Model->Handle([&] { rig.Model->AppMinimize(); });
    EXPECT_EQ(rig.View.Errors, std::vector<std::string>{"Velloran: No position."});
    EXPECT_FALSE(rig.Model->WindowShown(true, true));
    rig.Model->Handle([&] { rig.Model->AppMinimize(); });
    EXPECT_EQ(rig.View.Errors.size(), 1u);
    EXPECT_TRUE(rig.Model->WindowShown(true, false)); // restored: the first show
    rig.Model->Handle([&] { rig.Model->AppMinimize(); });
    EXPECT_EQ(rig.View.Errors.size(), 2u);
}

// The shape changed and the Options saved while a map call waits for a slow
// host, in a run's drawing or in a redraw, at every call of them in turn: once
// the runs asked for are over, the map shows the new figure alone, never the
// old circle beside it.
TEST(FormModel, AShapeChangedWhileTheMapIsDrawnLeavesOnlyTheNewFigure) {
    const auto isMapCall = [](std::string_view operation) {
        return operation != "GetStationCount" && operation != "GetStationListEntry" &&
                       operation.find("Get") == 0
                   ? operation == "GetMap" || operation == "GetTextX" || operation == "GetTextY"
                   : operation.find("Draw") != std::string_view::npos ||
                         operation.find("SetDraw") == 0 || operation == "RefreshMap";
    };
    for (int at = 0;; ++at) {
        SCOPED_TRACE("map call " + std::to_string(at));
        TRig rig;
        rig.Start();
        int calls = 0;
        bool changed = false;
        rig.Host->OnCall = [&](std::string_view operation) {
            if (changed || !isMapCall(operation) || calls++ != at)
                return;
            changed = true;
            host::IHostWait& wait = *rig.Model;
            wait.WaitBegins();
            rig.View.Texts[TOption::edRecalculateRate] = "7";
            rig.View.ClickShape(*rig.Model, TOption::rbDrawEllispe);
            rig.Model->btnSaveSettingsClick();
            rig.RedrawTimer.Fire();
            wait.Waiting();
            wait.WaitEnds();
        };
        // A redraw, a run, a redraw; then each run asked for, each followed
        // by a redraw, as the message loop takes them.
        rig.RedrawTimer.Fire();
        rig.Model->btnCalculateClick();
        rig.RedrawTimer.Fire();
        for (int run = 0; run < rig.View.DeferredRuns; ++run) {
            rig.Model->btnCalculateClick();
            rig.RedrawTimer.Fire();
        }
        if (!changed)
            break; // past the last map call
        rig.Host->OnCall = nullptr;
        ASSERT_TRUE(rig.View.Checks[TOption::rbDrawEllispe]);
        const float aspect = static_cast<float>(std::cos(2500.0 / 60.0 * 3.14159265358979 / 180.0));
        int figures = 0;
        for (const standin::TMapCall& drawn : rig.Host->Scene()) {
            if (drawn.kind != standin::TMapCall::Kind::DrawCircle)
                continue;
            ++figures;
            EXPECT_NEAR(drawn.aspect, aspect, 1e-6);
            EXPECT_NEAR(drawn.radius, rig.Model->Calculation.State.MapRadius, 1e-3);
        }
        EXPECT_EQ(figures, 1);
        EXPECT_EQ(rig.CalcTimer.Interval(), 7 * 60000);
    }
}

// Hidden in the tray, the window is saved as minimized whatever the window
// itself reports, so that the next start goes to the tray again.
TEST(FormModel, HiddenInTheTrayIsSavedAsMinimized) {
    TRig rig;
    rig.Start();
    rig.Model->AppMinimize();
    ASSERT_TRUE(rig.Model->HiddenInTray());
    rig.Model->CloseRequest();
    EXPECT_NE(testcommon::ReadWholeFile(rig.Ini()).find("ShowCmd=2\r\n"), std::string::npos);

    TRig shown;
    shown.Start();
    shown.Model->CloseRequest();
    EXPECT_NE(testcommon::ReadWholeFile(shown.Ini()).find("ShowCmd=1\r\n"), std::string::npos);
}

// Leaving the Options saves them; a failed save is shown, and keeps the
// Options in front only after Ctrl+Tab or Ctrl+Shift+Tab.
TEST(FormModel, PageChangeRules) {
    TRig rig;
    rig.Start();
    EXPECT_TRUE(rig.Model->PageChanging(0, TPageChange::NextPageKey));
    EXPECT_FALSE(std::filesystem::exists(rig.Ini()));
    EXPECT_TRUE(rig.Model->PageChanging(4, TPageChange::Click));
    EXPECT_NE(testcommon::ReadWholeFile(rig.Ini()).find("[Settings]"), std::string::npos);

    TRig blocked;
    blocked.Start();
    std::filesystem::create_directory(blocked.Ini()); // cannot be written as a file
    const std::string message = "Velloran: Unable to write to " + blocked.Ini().string() + ".";
    EXPECT_TRUE(blocked.Model->PageChanging(4, TPageChange::Click));
    EXPECT_TRUE(blocked.Model->PageChanging(4, TPageChange::ArrowKey));
    EXPECT_FALSE(blocked.Model->PageChanging(4, TPageChange::NextPageKey));
    EXPECT_EQ(blocked.View.Errors, std::vector<std::string>(3, message));
    EXPECT_TRUE(blocked.Model->PageChanging(3, TPageChange::NextPageKey));
    EXPECT_EQ(blocked.View.Errors.size(), 3u);

    EXPECT_EQ(TFormModel::NextPage(0, 5, false), 1);
    EXPECT_EQ(TFormModel::NextPage(4, 5, false), 0);
    EXPECT_EQ(TFormModel::NextPage(0, 5, true), 4);
    EXPECT_EQ(TFormModel::NextPage(2, 5, true), 1);
}

// --- the measured radius on the host's map ---------------------------------

namespace {

/// Frames heard from each of the mobiles M0 .. M<count-1>.
void Hear(TChannelModel& channel, int count, int framesEach) {
    for (int i = 0; i < count; ++i) {
        const std::string frame =
            aprs::EncodeAx25("M" + std::to_string(i), "APRS", {"WIDE1-1"}, "=4230.00N/07100.00W>");
        for (int n = 0; n < framesEach; ++n)
            channel.AddFrame(frame);
    }
}

/// The map calls since the last RefreshMap (all of them when there was none).
std::vector<std::string> SinceRefresh(const standin::TStandinHost& host) {
    std::vector<std::string> lines;
    for (const standin::TMapCall& call : host.MapCalls()) {
        if (call.kind == standin::TMapCall::Kind::RefreshMap)
            lines.clear();
        lines.push_back(standin::FormatMapCall(call));
    }
    return lines;
}

std::vector<const standin::TMapCall*> Measured(const standin::TStandinHost& host,
                                               standin::TMapCall::Kind kind) {
    std::vector<const standin::TMapCall*> found;
    for (const standin::TMapCall& call : host.MapCalls())
        if (call.kind == kind && call.colour == aloha::kMeasuredColour)
            found.push_back(&call);
    return found;
}

/// A rig started with the settings file given and, before its first run,
/// the frames of `heard` mobiles heard 200 times each.
struct TChannelRig : TRig {
    TChannelRig(const std::string& ini, int heard, int mobiles = 130)
        : TRig(MobilesScenario(mobiles, "n1abc")) {
        support::InitializeAprsPatterns();
        std::ofstream(Ini(), std::ios::binary) << ini;
        Model->Create();
        Hear(*Model->Channel, heard, 200);
        Model->Handle([this] { Model->FormShow(); });
    }
    ~TChannelRig() { support::FinalizeAprsPatterns(); }
};

} // namespace

TEST(MeasuredOnTheMap, SecondFigureAndLabelAfterTheRunsOwnAndAtEveryRedraw) {
    // 9 mobiles of 200 frames reach 1800 at M8, 9 km out (0.54 units a km).
    TChannelRig rig("[Channel]\r\nDrawMeasured=1\r\n", 9);
    ASSERT_TRUE(rig.View.Errors.empty());
    const std::vector<std::string> lines = SinceRefresh(*rig.Host);
    const auto circles = Measured(*rig.Host, standin::TMapCall::Kind::DrawCircle);
    const auto texts = Measured(*rig.Host, standin::TMapCall::Kind::DrawMapText);
    ASSERT_EQ(circles.size(), 1u);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_FLOAT_EQ(circles[0]->x, -4300.0f);
    EXPECT_FLOAT_EQ(circles[0]->y, 2500.0f);
    EXPECT_NEAR(circles[0]->radius, 9 * 0.54, 1e-3);
    EXPECT_EQ(circles[0]->aspect, 1.0f);
    EXPECT_EQ(texts[0]->text, " Measured ALOHA radius: 9 KM / 6 miles");
    // At the figure's top, away from the run's own label.
    EXPECT_FLOAT_EQ(texts[0]->x, -4300.0f);
    EXPECT_NEAR(texts[0]->y, 2500 + 9 * 0.54, 1e-3);
    // Drawn after the run's own figure and label, which are as ever.
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "RefreshMap");
    EXPECT_EQ(lines.back(), standin::FormatMapCall(*texts[0]));
    const auto aloha = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("DrawMapText \" ALOHA radius: 120 KM");
    });
    const auto measured = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.starts_with("DrawCircle") && line.find(" 16711680 ") != std::string::npos;
    });
    EXPECT_LT(aloha, measured);

    // The redraw draws both figures again, without clearing the map.
    rig.Host->ClearMapCalls();
    rig.RedrawTimer.Fire();
    EXPECT_EQ(Measured(*rig.Host, standin::TMapCall::Kind::DrawCircle).size(), 1u);
    EXPECT_EQ(Measured(*rig.Host, standin::TMapCall::Kind::DrawMapText).size(), 1u);
    EXPECT_EQ(SinceRefresh(*rig.Host).size(), rig.Host->MapCalls().size());

    // Switched off: the next run clears the map and draws it no more, nor
    // does the redraw after it.
    std::ofstream(rig.Ini(), std::ios::binary) << "[Channel]\r\nDrawMeasured=0\r\n";
    rig.Model->btnCalculateClick();
    rig.RedrawTimer.Fire();
    for (const std::string& line : SinceRefresh(*rig.Host))
        EXPECT_EQ(line.find(" 16711680"), std::string::npos) << line;
}

TEST(MeasuredOnTheMap, WithoutTheSwitchOrNotReachedTheMapIsAsWithoutAChannel) {
    TChannelRig plain("", 0);
    const std::vector<std::string> expected = SinceRefresh(*plain.Host);
    ASSERT_FALSE(expected.empty());
    for (const auto& [ini, heard] : std::vector<std::pair<std::string, int>>{
             {"", 9},                                  // heard, key absent
             {"[Channel]\r\nDrawMeasured=0\r\n", 9},   // switched off
             {"[Channel]\r\nDrawMeasured=1\r\n", 8},   // 1600 frames: not reached
             {"[Channel]\r\nDrawMeasured=yes\r\n", 9}, // not a switch value
         }) {
        TChannelRig rig(ini, heard);
        EXPECT_EQ(SinceRefresh(*rig.Host), expected) << ini << heard;
        rig.Host->ClearMapCalls();
        rig.RedrawTimer.Fire();
        EXPECT_TRUE(Measured(*rig.Host, standin::TMapCall::Kind::DrawCircle).empty());
    }
}

TEST(MeasuredOnTheMap, FollowsTheShapeAndTheLabelOptionBesideTheFallbackFigure) {
    // 50 mobiles estimate 750 packets: the run draws its fallback figure,
    // while the channel measured 1800 frames by M8.
    TChannelRig rig("[Channel]\r\nDrawMeasured=1\r\n[Settings]\r\nrbDrawCircle.Checked=False\r\n"
                    "rbDrawEllispe.Checked=True\r\ncbShowALOHARadius.Checked=False\r\n",
                    9, 50);
    ASSERT_TRUE(rig.View.Checks[TOption::rbDrawEllispe]);
    const auto circles = Measured(*rig.Host, standin::TMapCall::Kind::DrawCircle);
    ASSERT_FALSE(circles.empty());
    const double aspect = aloha::LatitudeAspect(2500);
    EXPECT_NEAR(circles.back()->radius, 9 * 0.54 / aspect, 1e-3);
    EXPECT_NEAR(circles.back()->aspect, aspect, 1e-6);
    EXPECT_TRUE(Measured(*rig.Host, standin::TMapCall::Kind::DrawMapText).empty());
    EXPECT_EQ(rig.Host->Scene().size(), 2u); // the fallback figure and the measured one
}

TEST(FootprintOnTheMap, TheDigipeatersOfTheOwnPacketsAreMarkedWhenSwitchedOn) {
    // The own packets through M4 (listed, 5 km north) and then FARDG, which
    // only beacons on the channel, from 42 N.
    const auto hearOwn = [](TChannelModel& channel) {
        channel.AddFrame(aprs::EncodeAx25("FARDG", "APRS", {}, "!4200.00N/07140.00W#digi"));
        channel.AddFrame(
            aprs::EncodeAx25("N1ABC", "APRS", {"M4", "FARDG", "WIDE2*"}, "!4140.00N/07140.00W-"));
    };
    TChannelRig rig("[Channel]\r\nDrawFootprint=1\r\n", 9);
    ASSERT_TRUE(rig.View.Errors.empty());
    hearOwn(*rig.Model->Channel);
    rig.Model->btnCalculateClick();
    const auto marked = [&rig](standin::TMapCall::Kind kind) {
        std::vector<const standin::TMapCall*> found;
        for (const standin::TMapCall& call : rig.Host->MapCalls())
            if (call.kind == kind && call.colour == aloha::kFootprintColour)
                found.push_back(&call);
        return found;
    };
    const auto circles = marked(standin::TMapCall::Kind::DrawCircle);
    const auto texts = marked(standin::TMapCall::Kind::DrawMapText);
    ASSERT_EQ(circles.size(), 2u);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_FLOAT_EQ(circles[0]->x, -4300.0f);
    EXPECT_NEAR(circles[0]->y, 2500 + 5 * 0.54, 1e-3);
    EXPECT_NEAR(circles[1]->y, 2520.0, 1e-3);
    EXPECT_LT(circles[0]->radius, 10.0f);
    EXPECT_EQ(texts[0]->text, " M4");
    EXPECT_EQ(texts[1]->text, " FARDG");
    // After the run's own figure, and again at every redraw.
    EXPECT_EQ(SinceRefresh(*rig.Host).back(), standin::FormatMapCall(*texts[1]));
    rig.Host->ClearMapCalls();
    rig.RedrawTimer.Fire();
    EXPECT_EQ(marked(standin::TMapCall::Kind::DrawCircle).size(), 2u);

    // Without the key (or 0) the host sees exactly the calls of a run
    // without a channel, though the own packets were heard.
    TChannelRig plain("", 0);
    plain.Model->btnCalculateClick();
    for (const char* ini : {"", "[Channel]\r\nDrawFootprint=0\r\n"}) {
        TChannelRig off(ini, 0);
        hearOwn(*off.Model->Channel);
        off.Model->btnCalculateClick();
        EXPECT_EQ(SinceRefresh(*off.Host), SinceRefresh(*plain.Host)) << ini;
    }
    // Anything but 0 or 1 is said.
    TChannelRig bad("[Channel]\r\nDrawFootprint=yes\r\n", 0);
    EXPECT_NE(bad.Model->Channel->Settings().Problem.find("DrawFootprint=yes: 0 or 1"),
              std::string::npos);
}
