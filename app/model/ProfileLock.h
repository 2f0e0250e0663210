#pragma once

#include "app/model/ProfileFile.h"
#include "support/FileLock.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace app {

/// The lock file beside a settings file: its name with ".lock" added.
inline std::filesystem::path ProfileLockFile(const std::filesystem::path& file) {
    std::filesystem::path lock = file;
    lock += ".lock";
    return lock;
}

/// Orders the key writes of programs that share one settings file (two
/// sessions with one portable copy), so that each reads the file only after
/// the other has replaced it and no key written by either is lost.
class TProfileWriteLock {
public:
    /// Throws EProfileWriteError ("Unable to write to" and the settings file)
    /// when another program holds the lock for the whole wait: writing then
    /// could drop that program's key, or it ours, and a save that says it
    /// failed can be done again.
    ///
    /// A lock file that cannot be made or used (a folder where only the
    /// settings file is writable, a file system without locks, something
    /// else in its place) does not stop the write: the write then goes ahead
    /// unordered, as it would without a lock, rather than refuse every save of
    /// a program that is almost always the only one writing. A folder that
    /// cannot be written fails the write itself with the usual error.
    ///
    /// shownName is the settings file's full name as the error gives it.
    TProfileWriteLock(const std::filesystem::path& file, std::string_view shownName,
                      std::chrono::milliseconds wait = kProfileLockWait)
        : FLock(ProfileLockFile(file), wait) {
        if (FLock.State() == support::TFileLock::TState::Busy)
            throw EProfileWriteError("Unable to write to " + std::string(shownName));
    }

private:
    support::TFileLock FLock;
};

} // namespace app
