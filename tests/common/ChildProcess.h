#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace testsupport {

/// Where a child's standard streams go.
struct TChildStreams {
    std::string output;    ///< standard output to this file (truncated); empty: inherited
    bool errorToo = false; ///< standard error to the same file
    int input = -1;        ///< standard input from this descriptor; -1: inherited
};

/// A program the test starts (found on PATH when the name has no slash). It
/// is ended when the test ends: continued if stopped, asked to terminate, and
/// killed if it does not within five seconds.
class TChild {
public:
    explicit TChild(std::vector<std::string> args, const TChildStreams& streams = {}) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (streams.input >= 0)
            posix_spawn_file_actions_adddup2(&actions, streams.input, STDIN_FILENO);
        if (!streams.output.empty()) {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, streams.output.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (streams.errorToo)
                posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        }
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&FPid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            FPid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~TChild() {
        if (FPid <= 0 || FStatus)
            return;
        kill(FPid, SIGCONT);
        kill(FPid, SIGTERM);
        if (!Wait(std::chrono::seconds(5))) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
    }
    TChild(const TChild&) = delete;
    TChild& operator=(const TChild&) = delete;

    pid_t Pid() const { return FPid; }
    bool Started() const { return FPid > 0; }

    /// The exit status (128 + signal when killed), once the process has ended
    /// within the time given.
    std::optional<int> Wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!FStatus && FPid > 0) {
            int status = 0;
            if (waitpid(FPid, &status, WNOHANG) == FPid)
                FStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            else if (std::chrono::steady_clock::now() >= end)
                break;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return FStatus;
    }

private:
    pid_t FPid = -1;
    std::optional<int> FStatus;
};

/// Waits (up to two seconds) until the process is in the given state as
/// /proc shows it ('T' stopped, 'S' sleeping, ...).
inline void WaitForState(pid_t pid, char wanted) {
    for (int i = 0; i < 200; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto close = line.rfind(')');
        if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == wanted)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace testsupport
