// The stand-in host program taking in a day's monitor log: 1,000,000 lines
// from 3,000 stations, replayed with --monitor, timed from start to the
// host's "finished reading" line. Runs in a session bus of its own.
#include "bench/BenchScenarios.h"
#include "bench/BusBenchMain.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kLines = 1000000;
constexpr int kStations = 3000;

/// The log, written once: position reports round a point in New England.
const std::string& MonitorLog() {
    static const TTempFile temp = [] {
        const std::string file = (std::filesystem::temp_directory_path() /
                                  ("velloran-replay-bench-" + std::to_string(getpid()) + ".log"))
                                     .string();
        std::ofstream out(file);
        char line[96];
        for (int i = 0; i < kLines; ++i) {
            const int station = static_cast<int>((static_cast<long long>(i) * 7919) % kStations);
            std::snprintf(line, sizeof line,
                          "S%d>APRS,WIDE1-1,WIDE2-1:!42%02d.%02dN/071%02d.%02dW-\n", station,
                          10 + station % 50, station % 100, 5 + station % 40, (station * 7) % 100);
            out << line;
        }
        return TTempFile{file};
    }();
    return temp.Path;
}

void BM_ReplayMillionLines(benchmark::State& state) {
    const std::string& log = MonitorLog();
    for (auto _ : state) {
        int errors[2];
        if (pipe(errors) != 0) {
            state.SkipWithError("no pipe");
            break;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, errors[0]);
        std::string exe = VELLORAN_STANDIN_HOST_EXE;
        std::vector<std::string> args{exe,     "--monitor", log,     "--own", "N0CALL",
                                      "--lat", "42.6",      "--lon", "-71.3"};
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const bool started =
            posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        close(errors[1]);
        // Read the host's log until it has taken in the whole file.
        std::string seen;
        char buffer[4096];
        bool finished = false;
        while (started && !finished) {
            const ssize_t got = read(errors[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            seen.append(buffer, static_cast<std::size_t>(got));
            finished = seen.find("finished reading") != std::string::npos;
            if (seen.size() > 4096)
                seen.erase(0, seen.size() - 64);
        }
        state.PauseTiming();
        close(errors[0]);
        if (started) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        state.ResumeTiming();
        if (!finished) {
            state.SkipWithError("the host did not finish reading the log");
            break;
        }
    }
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(kLines) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_ReplayMillionLines)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

int main(int argc, char** argv) {
    return RunBenchmarksOnOwnBus(argc, argv);
}
