// Velloran on a loaded machine: the 32,767-station velloran-report run as a
// whole process, and a 2,000-station run through the bus, each quiet and
// beside two busy processes (one per core of the machines we build on), side
// by side in one run. Runs in a session bus of its own.
#include "bench/BenchScenarios.h"
#include "bench/BusBenchMain.h"
#include "host/bus/BusConnector.h"
#include "standin/bus/BusService.h"
#include "tools/HeadlessRun.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

/// Processes that each keep a core busy for as long as they live.
class TBusyProcesses {
public:
    explicit TBusyProcesses(int count) {
        for (int i = 0; i < count; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                volatile unsigned long spin = 0;
                for (;;)
                    spin = spin + 1;
            }
            if (pid > 0)
                FPids.push_back(pid);
        }
    }
    ~TBusyProcesses() {
        for (const pid_t pid : FPids) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    TBusyProcesses(const TBusyProcesses&) = delete;
    TBusyProcesses& operator=(const TBusyProcesses&) = delete;

private:
    std::vector<pid_t> FPids;
};

/// The 32,767-station scenario as a file, written once.
const std::string& FullScenarioFile() {
    static const TTempFile temp = [] {
        const std::string file = (std::filesystem::temp_directory_path() /
                                  ("velloran-load-bench-" + std::to_string(getpid()) + ".json"))
                                     .string();
        const standin::TScenario scenario = BenchScenario(32767);
        std::ofstream out(file);
        out.precision(9);
        out << R"({"own": {"callsign": ")" << scenario.ownCallsign << R"(", "lat": )"
            << scenario.ownLat << R"(, "long": )" << scenario.ownLong << R"(}, "stations": [)";
        for (std::size_t i = 0; i < scenario.stations.size(); ++i) {
            const standin::TScenarioStation& s = scenario.stations[i];
            out << (i ? ",\n" : "\n") << R"({"callsign": ")" << s.callsign
                << R"(", "symbolTable": ")" << s.symbolTable << R"(", "symbolCode": ")"
                << s.symbolCode << R"(", "path": ")" << s.path << R"(", "lastHeardRF": ")"
                << s.lastHeardRF << R"(", "distance": )" << s.distance << R"(, "lat": )" << s.lat
                << R"(, "long": )" << s.lon << R"(, "speed": )" << s.speed << "}";
        }
        out << "]}\n";
        return TTempFile{file};
    }();
    return temp.Path;
}

/// Runs velloran-report on the scenario, output thrown away; true on success.
bool RunReport(const std::string& scenario) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::string exe = VELLORAN_REPORT_EXE, option = "--scenario", file = scenario;
    char* argv[] = {exe.data(), option.data(), file.data(), nullptr};
    pid_t pid = -1;
    const bool started = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    int status = 1;
    return started && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

const char* LoadName(bool busy) {
    return busy ? "beside two busy processes" : "quiet";
}

void BM_Report32767Process(benchmark::State& state) {
    const bool busy = state.range(0) != 0;
    const std::string& scenario = FullScenarioFile();
    std::optional<TBusyProcesses> load;
    if (busy)
        load.emplace(2);
    for (auto _ : state) {
        if (!RunReport(scenario)) {
            state.SkipWithError("velloran-report failed");
            break;
        }
    }
    state.SetLabel(LoadName(busy));
}

void BM_BusRun2000(benchmark::State& state) {
    const bool busy = state.range(0) != 0;
    static auto host = std::make_shared<standin::TStandinHost>(BenchScenario(2000, 400.0f));
    static standin::TBusService service(host);
    static const bool started = (service.Start(), true);
    (void)started;
    tools::THeadlessRun run(host::TBusConnector::Attach(10000, true));
    run.Calculation.ReadOwnStation();
    std::optional<TBusyProcesses> load;
    if (busy)
        load.emplace(2);
    for (auto _ : state) {
        run.Calculation.btnCalculateClick();
        benchmark::DoNotOptimize(run.Calculation.State.PacketTotal);
    }
    state.SetLabel(LoadName(busy));
}

} // namespace

BENCHMARK(BM_Report32767Process)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);
BENCHMARK(BM_BusRun2000)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

int main(int argc, char** argv) {
    return RunBenchmarksOnOwnBus(argc, argv);
}
