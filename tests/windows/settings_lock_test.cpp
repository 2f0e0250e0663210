// Two programs saving one settings file at once through Windows' profile
// calls: the test runs itself twice as the writers.
#include "app/model/ProfileFile.h"
#include "app/model/ProfileLock.h"
#include "support/FileLock.h"
#include "tests/common/Files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <string>

#include <windows.h>
// Ours, not the macro for the profile call on win.ini.
#undef WriteProfileString

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kCount = 25, kRounds = 4;

std::wstring GateName(DWORD parent) {
    return L"Local\\velloran-settings-lock-test-" + std::to_wstring(parent);
}

/// The writer role: waits for the test's go, then writes keys PREFIX0 ..
/// PREFIX<kCount-1> of "Settings" once per round.
int WriteKeys(const fs::path& file, const std::string& prefix, DWORD parent) {
    HANDLE gate = ::OpenEventW(SYNCHRONIZE, FALSE, GateName(parent).c_str());
    if (!gate || ::WaitForSingleObject(gate, 60000) != WAIT_OBJECT_0)
        return 2;
    ::CloseHandle(gate);
    try {
        for (int round = 0; round < kRounds; ++round)
            for (int i = 0; i < kCount; ++i)
                app::WriteProfileString(file, "Settings", prefix + std::to_string(i),
                                        prefix + std::to_string(round));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}

/// A copy of this program started as a writer.
struct TWriter {
    TWriter(const fs::path& file, const char* prefix) {
        wchar_t self[MAX_PATH];
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(self) + L"\" --write-keys \"" + file.wstring() +
                               L"\" " + fs::path(prefix).wstring() + L" " +
                               std::to_wstring(::GetCurrentProcessId());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        Started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &Process) != 0;
        if (Started)
            ::CloseHandle(Process.hThread);
    }
    ~TWriter() {
        if (Started)
            ::CloseHandle(Process.hProcess);
    }
    /// The exit code, or -1 when it did not end within three minutes.
    long Wait() {
        DWORD code = 0;
        if (::WaitForSingleObject(Process.hProcess, 180000) != WAIT_OBJECT_0 ||
            !::GetExitCodeProcess(Process.hProcess, &code))
            return -1;
        return static_cast<long>(code);
    }
    bool Started = false;
    PROCESS_INFORMATION Process{};
};

TEST(SharedSettingsFileWin32, TwoProgramsSavingAtOnceLoseNoKey) {
    testcommon::TTempFolder temp("velloran-settings-lock");
    const fs::path file = temp.Path() / "velloran.INI";
    std::ofstream(file, std::ios::binary) << "[Extra]\r\nmine=1\r\n";
    HANDLE gate = ::CreateEventW(nullptr, TRUE, FALSE, GateName(::GetCurrentProcessId()).c_str());
    ASSERT_NE(gate, nullptr);
    TWriter first(file, "a"), second(file, "b");
    ASSERT_TRUE(first.Started && second.Started);
    ::SetEvent(gate);
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Wait(), 0);
    ::CloseHandle(gate);

    int lost = 0;
    for (const std::string prefix : {"a", "b"})
        for (int i = 0; i < kCount; ++i)
            if (app::ReadProfileString(file, "Settings", prefix + std::to_string(i), "") !=
                prefix + std::to_string(kRounds - 1))
                ++lost;
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(app::ReadProfileString(file, "Extra", "mine", ""), "1");
}

TEST(SharedSettingsFileWin32, SaveFailsAndChangesNothingWhileAnotherHoldsTheLock) {
    testcommon::TTempFolder temp("velloran-settings-lock");
    const fs::path file = temp.Path() / "velloran.INI";
    app::WriteProfileString(file, "Settings", "edRecalculateRate.Text", "30");
    {
        const support::TFileLock other(app::ProfileLockFile(file), 0ms);
        ASSERT_EQ(other.State(), support::TFileLock::TState::Held);
        EXPECT_EQ(support::TFileLock(app::ProfileLockFile(file), 20ms).State(),
                  support::TFileLock::TState::Busy);
        EXPECT_THROW(app::WriteProfileString(file, "Settings", "edRecalculateRate.Text", "45"),
                     app::EProfileWriteError);
        EXPECT_EQ(app::ReadProfileString(file, "Settings", "edRecalculateRate.Text", ""), "30");
    }
    // A folder where the lock file goes does not stop the save.
    fs::remove(app::ProfileLockFile(file));
    fs::create_directory(app::ProfileLockFile(file));
    app::WriteProfileString(file, "Settings", "edRecalculateRate.Text", "45");
    EXPECT_EQ(app::ReadProfileString(file, "Settings", "edRecalculateRate.Text", ""), "45");
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--write-keys") == 0)
        return WriteKeys(argv[2], argv[3], static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
