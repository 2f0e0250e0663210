// Settings files shared by programs that save at the same moment.
#include "app/model/ProfileFile.h"
#include "app/model/ProfileLock.h"
#include "support/FileLock.h"
#include "tests/common/ChildProcess.h"
#include "tests/common/Files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using support::TFileLock;
/// The writer role of this program: waits for its standard input to close,
/// so that both writers start together, then writes keys PREFIX0 ..
/// PREFIX<count-1> of "Settings" once per round, each round's value being
/// PREFIX and the round's number.
int WriteKeys(const fs::path& file, const std::string& prefix, int count, int rounds) {
    char ignored = 0;
    while (::read(STDIN_FILENO, &ignored, 1) > 0) {
    }
    try {
        for (int round = 0; round < rounds; ++round)
            for (int i = 0; i < count; ++i)
                app::WriteProfileString(file, "Settings", prefix + std::to_string(i),
                                        prefix + std::to_string(round));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}

TEST(SharedSettingsFile, TwoProgramsSavingAtOnceLoseNoKey) {
    testcommon::TTempFolder temp;
    const fs::path file = temp.Path() / "velloran.INI";
    // Keys of the program's own and a hand-written section, which every
    // save must keep too.
    std::ofstream(file, std::ios::binary) << "[Extra]\r\nmine=1\r\n";
    constexpr int kCount = 40, kRounds = 5;

    // Close-on-exec, so that only this test holds the write end and the
    // writers see the end of input when it closes it.
    int gate[2];
    ASSERT_EQ(::pipe2(gate, O_CLOEXEC), 0);
    testsupport::TChildStreams streams;
    streams.input = gate[0];
    const auto writer = [&](const char* prefix) {
        return std::make_unique<testsupport::TChild>(
            std::vector<std::string>{"/proc/self/exe", "--write-keys", file.string(), prefix,
                                     std::to_string(kCount), std::to_string(kRounds)},
            streams);
    };
    const auto first = writer("a");
    const auto second = writer("b");
    ::close(gate[0]);
    ::close(gate[1]);
    ASSERT_TRUE(first->Started() && second->Started());
    EXPECT_EQ(first->Wait(180s), 0);
    EXPECT_EQ(second->Wait(180s), 0);

    int lost = 0;
    for (const std::string prefix : {"a", "b"})
        for (int i = 0; i < kCount; ++i) {
            const std::string value =
                app::ReadProfileString(file, "Settings", prefix + std::to_string(i), "");
            if (value != prefix + std::to_string(kRounds - 1)) {
                ++lost;
                ADD_FAILURE() << prefix << i << " holds \"" << value << '"';
            }
        }
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(app::ReadProfileString(file, "Extra", "mine", ""), "1");
}

TEST(SharedSettingsFile, LockExcludesOtherHoldersUntilLetGo) {
    testcommon::TTempFolder temp;
    const fs::path lockFile = temp.Path() / "x.lock";
    {
        const TFileLock held(lockFile, 0ms);
        ASSERT_EQ(held.State(), TFileLock::TState::Held);
        // A second holder in this process counts as another program too.
        EXPECT_EQ(TFileLock(lockFile, 20ms).State(), TFileLock::TState::Busy);
    }
    EXPECT_EQ(TFileLock(lockFile, 0ms).State(), TFileLock::TState::Held);

    // A waiter gets the lock once the holder lets go within the wait.
    auto early = std::make_unique<TFileLock>(lockFile, 0ms);
    ASSERT_EQ(early->State(), TFileLock::TState::Held);
    std::thread release([&early] {
        std::this_thread::sleep_for(100ms);
        early.reset();
    });
    EXPECT_EQ(TFileLock(lockFile, 60s).State(), TFileLock::TState::Held);
    release.join();
}

TEST(SharedSettingsFile, SaveFailsAndChangesNothingWhileAnotherHoldsTheLock) {
    testcommon::TTempFolder temp;
    const fs::path file = temp.Path() / "velloran.INI";
    app::WriteProfileString(file, "Settings", "edRecalculateRate.Text", "30");
    const std::string before = testcommon::ReadWholeFile(file);

    const TFileLock other(app::ProfileLockFile(file), 0ms);
    ASSERT_EQ(other.State(), TFileLock::TState::Held);
    try {
        app::WriteProfileString(file, "Settings", "edRecalculateRate.Text", "45");
        ADD_FAILURE() << "the save went ahead under another program's lock";
    } catch (const app::EProfileWriteError& error) {
        EXPECT_STREQ(error.what(), ("Unable to write to " + file.string()).c_str());
    }
    EXPECT_EQ(testcommon::ReadWholeFile(file), before);
}

TEST(SharedSettingsFile, UnusableLockFileDoesNotStopTheSave) {
    testcommon::TTempFolder temp;
    const fs::path file = temp.Path() / "velloran.INI";
    const fs::path lockFile = app::ProfileLockFile(file);
    EXPECT_EQ(lockFile, temp.Path() / "velloran.INI.lock");

    // Whatever stands where the lock file goes stays as it is, and the key is
    // saved all the same, without waiting on a pipe or following a link.
    const auto saves = [&](const char* what) {
        app::WriteProfileString(file, "Settings", "edPacketDensity.Text", what);
        EXPECT_EQ(app::ReadProfileString(file, "Settings", "edPacketDensity.Text", ""), what);
    };
    fs::create_directory(lockFile);
    saves("folder");
    EXPECT_TRUE(fs::is_directory(lockFile));
    fs::remove(lockFile);

    ASSERT_EQ(::mkfifo(lockFile.c_str(), 0600), 0);
    saves("pipe");
    EXPECT_TRUE(fs::is_fifo(lockFile));
    fs::remove(lockFile);

    fs::create_symlink(temp.Path() / "elsewhere" / "target", lockFile);
    saves("link");
    EXPECT_FALSE(fs::exists(temp.Path() / "elsewhere"));
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "--write-keys") == 0)
        return WriteKeys(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
