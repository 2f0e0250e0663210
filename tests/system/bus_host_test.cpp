// The stand-in host on the desktop bus, against the embedded one. Every test
// runs in a session bus of its own (dbus-run-session).
#include "app/model/FormModel.h"
#include "aprs/packets/Ax25.h"
#include "host/bus/BusConnector.h"
#include "host/bus/BusWire.h"
#include "standin/bus/BusService.h"
#include "support/APRSParser.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/FakeFormView.h"
#include "tests/common/MobilesScenario.h"
#include "tools/HeadlessRun.h"
#include "tools/OwnSessionBus.h"

#include <QColor>
#include <QImage>

#include <dbus/dbus.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

standin::TScenario Golden(const std::string& name) {
    return standin::LoadScenarioFile(std::string(VELLORAN_GOLDEN_DIR) + "/" + name +
                                     "/scenario.json");
}

std::string Report(tools::THeadlessRun& run, bool ellipse = false) {
    run.Options.Circle = !ellipse;
    run.Options.Ellipse = ellipse;
    run.Calculation.ReadOwnStation();
    run.Connector->ClearMapCalls();
    try {
        run.Calculation.btnCalculateClick();
    } catch (const std::exception& error) {
        std::ostringstream out;
        tools::WriteReport(run, out);
        return out.str() + "error: " + error.what() + "\n";
    }
    std::ostringstream out;
    tools::WriteReport(run, out);
    return out.str();
}

/// A host served on the bus by this process.
struct TServedHost {
    explicit TServedHost(standin::TScenario scenario)
        : Host(std::make_shared<standin::TStandinHost>(std::move(scenario))), Service(Host) {
        Service.Start();
    }
    std::shared_ptr<standin::TStandinHost> Host;
    standin::TBusService Service;
};

using testsupport::TChild;

/// Waits until a host owns its name on the bus.
std::shared_ptr<host::TBusConnector> AttachWhenUp(int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end) {
        if (auto connector = host::TBusConnector::Attach(timeoutMs))
            return connector;
        std::this_thread::sleep_for(50ms);
    }
    return nullptr;
}

/// Calls a control operation of the host through the bus daemon.
void Control(const char* method, std::int32_t id = 0, bool withId = false) {
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    ASSERT_NE(bus, nullptr);
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    DBusMessage* call = dbus_message_new_method_call(host::bus::kBusName, host::bus::kRootPath,
                                                     host::bus::kControlInterface, method);
    if (withId)
        dbus_message_append_args(call, DBUS_TYPE_INT32, &id, DBUS_TYPE_INVALID);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, call, 5000, &error);
    EXPECT_NE(reply, nullptr) << (dbus_error_is_set(&error) ? error.message : "");
    if (reply)
        dbus_message_unref(reply);
    dbus_message_unref(call);
    dbus_error_free(&error);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
}

} // namespace

TEST(BusHost, SameReportAsTheEmbeddedHost) {
    for (const char* name : {"threshold", "third-party", "too-few", "wx-overlay", "distance-805"}) {
        for (const bool ellipse : {false, true}) {
            tools::THeadlessRun embedded(Golden(name));
            const std::string expected = Report(embedded, ellipse);

            TServedHost served(Golden(name));
            tools::THeadlessRun overBus(host::TBusConnector::Attach());
            EXPECT_EQ(Report(overBus, ellipse), expected) << name;
        }
    }
}

TEST(BusHost, DemoThroughTheBusDaemonToo) {
    tools::THeadlessRun embedded(standin::LoadDemoScenario());
    const std::string expected = Report(embedded);
    TServedHost served(standin::LoadDemoScenario());
    tools::THeadlessRun direct(host::TBusConnector::Attach());
    EXPECT_EQ(Report(direct), expected);
    tools::THeadlessRun daemon(host::TBusConnector::Attach(10000, false));
    EXPECT_EQ(Report(daemon), expected);
}

TEST(BusHost, NoHostOnTheBusMeansNoConnector) {
    EXPECT_EQ(host::TBusConnector::Attach(), nullptr);
}

TEST(BusHost, HostErrorTextReachesTheClientAndTheRunCleansUp) {
    auto scenario = Golden("threshold");
    scenario.fail = standin::TScenarioFail{"_clsStationInfo.GetPath", 3, "UI-View32 is busy"};
    TServedHost served(scenario);
    tools::THeadlessRun run(host::TBusConnector::Attach());
    run.Calculation.ReadOwnStation();
    try {
        run.Calculation.btnCalculateClick();
        FAIL() << "expected the host error";
    } catch (const host::EHostError& error) {
        EXPECT_STREQ(error.what(), "UI-View32 is busy");
    }
    EXPECT_TRUE(run.Window.CalculateEnabled);
    EXPECT_TRUE(run.Window.tmrCalc.IsActive());
}

TEST(BusHost, OnlyEventThreeClosesAndEventsArriveThroughDispatch) {
    TServedHost served(Golden("empty"));
    auto connector = host::TBusConnector::Attach();
    host::THostComponents components(connector);
    int closings = 0;
    components.clsUIV.OnUIView32IsClosing = [&closings] { ++closings; };
    components.Loaded();

    for (const std::int32_t id : {1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 99})
        served.Service.SendEvent(id);
    for (int i = 0; i < 20; ++i) {
        connector->DispatchEvents();
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(closings, 0);

    served.Service.SendEvent(3);
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (closings == 0 && std::chrono::steady_clock::now() < end) {
        connector->DispatchEvents();
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(closings, 1);
}

TEST(BusHost, EventsReadDuringACallAreAnnounced) {
    TServedHost served(Golden("empty"));
    auto connector = host::TBusConnector::Attach();
    host::THostComponents components(connector);
    int closings = 0, announced = 0;
    components.clsUIV.OnUIView32IsClosing = [&closings] { ++closings; };
    connector->SetOnEventsPending([&announced] { ++announced; });
    components.Loaded();
    served.Service.SendEvent(3); // arrives before the next answer
    components.clsUIV.GetStationCount();
    EXPECT_GE(announced, 1);
    EXPECT_EQ(closings, 0); // not run inside the call
    connector->DispatchEvents();
    EXPECT_EQ(closings, 1);
}

TEST(BusHost, ReplacementObjectsAreReadFrom) {
    tools::THeadlessRun embedded(Golden("threshold"));
    const std::string expected = Report(embedded);
    TServedHost served(Golden("threshold"));
    served.Service.SetReplaceObjects(true);
    tools::THeadlessRun run(host::TBusConnector::Attach());
    EXPECT_EQ(Report(run), expected);
    EXPECT_GT(served.Service.ReplacementReads(), 100u);
}

TEST(BusHost, BadCallsAreRefusedAndTheHostKeepsServing) {
    TServedHost served(Golden("too-few"));
    auto connector = host::TBusConnector::Attach();
    host::THostComponents components(connector);
    components.Loaded();

    DBusError error;
    dbus_error_init(&error);
    DBusConnection* peer =
        dbus_connection_open_private(served.Service.PeerAddress().c_str(), &error);
    ASSERT_NE(peer, nullptr);
    const auto call = [&](const char* path, const char* iface, const char* method,
                          bool wrongArgument) -> std::string {
        DBusMessage* message = dbus_message_new_method_call(nullptr, path, iface, method);
        if (wrongArgument) {
            const char* text = "seven";
            dbus_message_append_args(message, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
        }
        DBusError callError;
        dbus_error_init(&callError);
        DBusMessage* reply =
            dbus_connection_send_with_reply_and_block(peer, message, 5000, &callError);
        dbus_message_unref(message);
        std::string name = reply ? "ok" : callError.name;
        if (reply)
            dbus_message_unref(reply);
        dbus_error_free(&callError);
        return name;
    };
    const std::string app = std::string(host::bus::kRootPath) + "/clsUIV";
    EXPECT_EQ(call(app.c_str(), host::bus::kUIVInterface, "GetStationListEntry", true),
              DBUS_ERROR_INVALID_ARGS);
    EXPECT_EQ(call("/org/velloran/StandinHost/o999", host::bus::kStationInfoInterface,
                   "GetCallsign", false),
              DBUS_ERROR_UNKNOWN_OBJECT);
    EXPECT_EQ(call(app.c_str(), host::bus::kUIVInterface, "Explode", false),
              DBUS_ERROR_UNKNOWN_METHOD);
    EXPECT_EQ(call(app.c_str(), host::bus::kUIVInterface, "GetStationCount", false), "ok");
    dbus_connection_close(peer);
    dbus_connection_unref(peer);

    EXPECT_EQ(components.clsUIV.GetStationCount(), 3);
}

TEST(BusHostProgram, ReportIsByteForByteTheEmbeddedOne) {
    const fs::path dir = fs::temp_directory_path();
    const std::string tag = std::to_string(getpid());
    const std::string embeddedOut = (dir / ("velloran-embedded-" + tag)).string();
    const std::string busOut = (dir / ("velloran-bus-" + tag)).string();
    const std::string demo =
        std::string(VELLORAN_SOURCE_DIR) + "/standin/model/scenarios/demo.json";

    TChild embedded({VELLORAN_REPORT_EXE, "--scenario", demo, "--ellipse"},
                    {.output = embeddedOut});
    ASSERT_EQ(embedded.Wait(30s), 0);
    TChild hostProcess({VELLORAN_STANDIN_HOST_EXE});
    ASSERT_NE(AttachWhenUp(), nullptr);
    TChild overBus({VELLORAN_REPORT_EXE, "--ellipse"}, {.output = busOut});
    ASSERT_EQ(overBus.Wait(30s), 0);

    const auto read = [](const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    const std::string expected = read(embeddedOut);
    EXPECT_GT(expected.size(), 10000u);
    EXPECT_EQ(read(busOut), expected);
    fs::remove(embeddedOut);
    fs::remove(busOut);
}

TEST(BusHostProgram, CloseCommandEndsTheHost) {
    TChild hostProcess({VELLORAN_STANDIN_HOST_EXE});
    ASSERT_NE(AttachWhenUp(), nullptr);
    Control("Close");
    EXPECT_EQ(hostProcess.Wait(10s), 0);
}

TEST(BusHostProgram, HostThatStopsAnsweringTimesOut) {
    TChild hostProcess({VELLORAN_STANDIN_HOST_EXE});
    auto connector = AttachWhenUp(400);
    ASSERT_NE(connector, nullptr);
    host::THostComponents components(connector);
    components.Loaded();
    EXPECT_GT(components.clsUIV.GetStationCount(), 0);
    kill(hostProcess.Pid(), SIGSTOP);
    testsupport::WaitForState(hostProcess.Pid(), 'T');
    try {
        components.clsUIV.GetStationCount();
        FAIL() << "expected a time-out";
    } catch (const host::EHostError& error) {
        EXPECT_STREQ(error.what(),
                     "The stand-in host did not answer GetStationCount within 400 ms");
    }
}

TEST(BusHostProgram, HostGoneInTheMiddleOfARun) {
    TChild hostProcess({VELLORAN_STANDIN_HOST_EXE});
    auto connector = AttachWhenUp();
    ASSERT_NE(connector, nullptr);
    tools::THeadlessRun run(connector);
    run.Calculation.ReadOwnStation();
    int appends = 0;
    run.Panes.OnAppend = [&] {
        if (++appends == 8) {
            kill(hostProcess.Pid(), SIGKILL);
            hostProcess.Wait(5s);
        }
    };
    try {
        run.Calculation.btnCalculateClick();
        FAIL() << "expected an error";
    } catch (const host::EHostError& error) {
        EXPECT_NE(std::string(error.what()).find("The stand-in host has gone away"),
                  std::string::npos)
            << error.what();
    }
    EXPECT_TRUE(run.Window.CalculateEnabled);
    EXPECT_TRUE(run.Window.tmrCalc.IsActive());
    EXPECT_EQ(run.Calculation.Stations(), nullptr);
    // Every later call fails the same way.
    EXPECT_THROW(run.Calculation.btnCalculateClick(), host::EHostError);
}

TEST(BusHostProgram, ClosingTheHostSendsEventThreeThenExits) {
    TChild hostProcess({VELLORAN_STANDIN_HOST_EXE});
    auto connector = AttachWhenUp();
    ASSERT_NE(connector, nullptr);
    host::THostComponents components(connector);
    int closings = 0;
    components.clsUIV.OnUIView32IsClosing = [&closings] { ++closings; };
    components.Loaded();
    kill(hostProcess.Pid(), SIGTERM);
    EXPECT_EQ(hostProcess.Wait(10s), 0);
    connector->DispatchEvents();
    EXPECT_EQ(closings, 1);
}

TEST(BusHostProgram, VelloranEndsOnlyOnEventThree) {
    TChild hostProcess({VELLORAN_STANDIN_HOST_EXE});
    ASSERT_NE(AttachWhenUp(), nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TChild velloran({VELLORAN_EXE});
    std::this_thread::sleep_for(1500ms); // attached, first run done
    for (const std::int32_t id : {1, 2, 4, 11, 99})
        Control("SendEvent", id, true);
    EXPECT_EQ(velloran.Wait(1s), std::nullopt);
    Control("SendEvent", 3, true);
    EXPECT_EQ(velloran.Wait(10s), 0);
}

TEST(BusHostProgram, ASecondVelloranBringsTheFirstToTheFrontAndEnds) {
    TChild hostProcess({VELLORAN_STANDIN_HOST_EXE});
    ASSERT_NE(AttachWhenUp(), nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TChild first({VELLORAN_EXE});
    std::this_thread::sleep_for(1500ms); // attached, first run done
    const fs::path out =
        fs::temp_directory_path() / ("velloran-second-" + std::to_string(getpid()) + ".out");
    TChild second({VELLORAN_EXE}, {out.string()});
    // The second one only hears back once the first has handled the request.
    EXPECT_EQ(second.Wait(10s), 0);
    std::ifstream in(out);
    std::string said;
    std::getline(in, said);
    fs::remove(out);
    EXPECT_EQ(said, "velloran: already running in this session; its window is in front now");
    EXPECT_EQ(first.Wait(1s), std::nullopt);
    Control("SendEvent", 3, true);
    EXPECT_EQ(first.Wait(10s), 0);
}

TEST(BusHostProgram, SnapshotShowsTheCircle) {
    const fs::path png =
        fs::temp_directory_path() / ("velloran-snapshot-" + std::to_string(getpid()) + ".png");
    fs::remove(png);
    const std::string scenario = std::string(VELLORAN_GOLDEN_DIR) + "/threshold/scenario.json";
    TChild hostProcess(
        {VELLORAN_STANDIN_HOST_EXE, "--scenario", scenario, "--snapshot", png.string()});
    auto connector = AttachWhenUp();
    ASSERT_NE(connector, nullptr);
    tools::THeadlessRun run(connector);
    Report(run);
    float radius = 0;
    for (const standin::TMapCall& call : run.Connector->MapCalls())
        if (call.kind == standin::TMapCall::Kind::DrawCircle)
            radius = call.radius;
    ASSERT_GT(radius, 0.0f);
    for (int i = 0; i < 200 && !fs::exists(png); ++i)
        std::this_thread::sleep_for(50ms);
    std::this_thread::sleep_for(200ms);
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(png.string())));
    fs::remove(png);

    // The view spans the figure with a margin; the circle crosses the
    // horizontal line through the own station at the radius, in red.
    const double extent = std::max(55.0, static_cast<double>(radius)) * 1.15;
    const double scale = std::min(image.width(), image.height()) / (2.0 * extent);
    const int cx = image.width() / 2, cy = image.height() / 2;
    const int expected = static_cast<int>(std::lround(radius * scale));
    const auto redNear = [&](int x, int y) {
        for (int dx = -3; dx <= 3; ++dx) {
            const QColor c = image.pixelColor(x + dx, y);
            if (c.red() > 180 && c.green() < 90 && c.blue() < 90)
                return true;
        }
        return false;
    };
    EXPECT_TRUE(redNear(cx + expected, cy)) << "right edge at " << cx + expected;
    EXPECT_TRUE(redNear(cx - expected, cy)) << "left edge at " << cx - expected;
    EXPECT_FALSE(redNear(cx + expected / 2, cy + 7)); // inside the circle: no red line
}

TEST(BusHostProgram, SnapshotShowsTheMeasuredRadiusBesideTheEstimate) {
    // The window's model over the bus, on 130 mobiles 0.54 units (1 km) apart
    // northward: the estimate reaches 1800 packets at 120 km, the channel
    // measured 200 frames from each of the nearest 9, so 1800 at 9 km.
    const fs::path dir =
        fs::temp_directory_path() / ("velloran-measured-map-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "scenario.json") << MobilesScenario(130);
    std::ofstream(dir / "velloran.INI", std::ios::binary) << "[Channel]\r\nDrawMeasured=1\r\n";
    const fs::path png = dir / "map.png";
    TChild hostProcess({VELLORAN_STANDIN_HOST_EXE, "--scenario", (dir / "scenario.json").string(),
                        "--snapshot", png.string()});
    auto connector = AttachWhenUp();
    ASSERT_NE(connector, nullptr);

    support::InitializeAprsPatterns();
    testsupport::TFakeView view;
    testsupport::TFakeTimer calcTimer, redrawTimer;
    app::TFormServices services;
    services.Connector = connector;
    services.SettingsFile = dir / "velloran.INI";
    {
        app::TFormModel model(view, calcTimer, redrawTimer, std::move(services));
        model.Loaded();
        model.Create();
        for (int i = 0; i < 9; ++i) {
            const std::string frame = aprs::EncodeAx25("M" + std::to_string(i), "APRS", {"WIDE1-1"},
                                                       "=4230.00N/07100.00W>");
            for (int n = 0; n < 200; ++n)
                model.Channel->AddFrame(frame);
        }
        model.Handle([&model] { model.FormShow(); });
        EXPECT_EQ(view.Errors, std::vector<std::string>{});
        for (int i = 0; i < 200 && !fs::exists(png); ++i)
            std::this_thread::sleep_for(50ms);
    }
    support::FinalizeAprsPatterns();
    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(png.string())));
    fs::remove_all(dir);

    // Along the line west of the own station, past its marker: first the
    // measured figure in blue, then the estimated one in red, at 9 and 120 km.
    const int cx = image.width() / 2, cy = image.height() / 2;
    const auto first = [&](bool (*wanted)(const QColor&)) {
        for (int d = 8; d < cx; ++d)
            for (int dy = -1; dy <= 1; ++dy)
                if (wanted(image.pixelColor(cx - d, cy + dy)))
                    return d;
        return -1;
    };
    const int blue =
        first([](const QColor& c) { return c.blue() > 180 && c.red() < 90 && c.green() < 90; });
    const int red =
        first([](const QColor& c) { return c.red() > 180 && c.green() < 90 && c.blue() < 90; });
    ASSERT_GT(blue, 0);
    ASSERT_GT(red, 0);
    EXPECT_NEAR(static_cast<double>(blue) / red, 9.0 / 120.0, 3.0 / red) << blue << " " << red;
}

// Each run of this program gets a session bus of its own: without one it
// starts itself again under dbus-run-session.
int main(int argc, char** argv) {
    tools::RunInOwnSessionBus(argc, argv, "VELLORAN_TEST_BUS");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// A host killed with kill -9 leaves its socket folder behind; the next host
// removes it, and nothing that may still be in use.
TEST(BusHost, SocketFoldersLeftBehindByAKilledHostAreRemoved) {
    namespace fs = std::filesystem;
    const fs::path base =
        fs::temp_directory_path() / ("velloran-stale-" + std::to_string(getpid()));
    fs::create_directories(base);
    const auto folder = [&](const std::string& name) {
        fs::create_directory(base / name);
        return base / name;
    };
    // A socket bound in folder; listening when live, else closed at once.
    std::vector<int> live;
    const auto socketIn = [&](const fs::path& dir, bool listening) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = (dir / "dbus-socket").string();
        path.copy(address.sun_path, path.size());
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        if (listening) {
            listen(fd, 1);
            live.push_back(fd);
        } else {
            close(fd);
        }
    };
    const fs::path stale = folder("velloran-standin-stale1");
    socketIn(stale, false);
    const fs::path empty = folder("velloran-standin-empty1");
    const fs::path serving = folder("velloran-standin-live11");
    socketIn(serving, true);
    const fs::path young = folder("velloran-standin-young1");
    socketIn(young, false);
    const fs::path other = folder("velloran-standin-files1");
    std::ofstream(other / "notes.txt") << "kept";
    const fs::path unrelated = folder("someone-else");
    for (const fs::path& old : {stale, empty, serving, other, unrelated})
        fs::last_write_time(old, fs::file_time_type::clock::now() - std::chrono::minutes(5));

    standin::RemoveStaleSocketFolders(base.string());
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_FALSE(fs::exists(empty));
    for (const fs::path& kept : {serving, young, other, unrelated})
        EXPECT_TRUE(fs::exists(kept)) << kept;
    for (const int fd : live)
        close(fd);
    fs::remove_all(base);
}
