// When things go wrong between Velloran and the stand-in host program: a host
// that goes away or stops, extreme numbers from clients, clients that do not
// read, termination requests. Every test runs in a session bus of its own
// (dbus-run-session).
#include "host/BusConnector.h"
#include "host/Components.h"
#include "tests/ChildProcess.h"
#include "tools/OwnSessionBus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <limits>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::TChild;

namespace {

std::shared_ptr<host::TBusConnector> AttachWhenUp(int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end) {
        if (auto connector = host::TBusConnector::Attach(timeoutMs))
            return connector;
        std::this_thread::sleep_for(50ms);
    }
    return nullptr;
}

fs::path TempFile(const std::string& name) {
    return fs::temp_directory_path() / ("velloran-" + name + "-" + std::to_string(getpid()));
}

} // namespace

TEST(HostTrouble, HugeFiguresAreDrawnAndTheHostKeepsServing) {
    const fs::path png = TempFile("huge.png");
    fs::remove(png);
    TChild hostProcess({VELLORAN_STANDIN_HOST_EXE, "--snapshot", png.string()});
    auto connector = AttachWhenUp(3000);
    ASSERT_NE(connector, nullptr);
    host::THostComponents components(connector);
    components.Loaded();
    // 1e300 is infinite as a single; 3e38 is the edge of the single range.
    for (const float radius : {static_cast<float>(1e300), 3e38f, 20.0f})
        components.clsUIV.GetMap()->DrawCircle(0, 0, radius, 255, 6.2831855f, 6.283185307179586,
                                               1.0f);
    components.clsUIV.GetMap()->DrawCircle(3e38f, -3e38f, 3e38f, 255, 0, 0, 0.5f);
    // The map has been painted, and the host still answers.
    for (int i = 0; i < 100 && !fs::exists(png); ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(fs::exists(png));
    EXPECT_GT(components.clsUIV.GetStationCount(), 0);
    fs::remove(png);

    kill(hostProcess.Pid(), SIGTERM);
    EXPECT_EQ(hostProcess.Wait(1s), 0);
}

// Each run of this program gets a session bus of its own: without one it
// starts itself again under dbus-run-session.
int main(int argc, char** argv) {
    tools::RunInOwnSessionBus(argc, argv, "VELLORAN_TEST_BUS");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
