#pragma once

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

/// Single-key access to a sections-and-keys text file (the settings file).
///
/// The file keeps no copy in memory: each read opens and parses the file, and
/// each write replaces the file with a copy that differs in that one key.
namespace app {

/// How long a key write waits for another program's write of the same file.
/// A write holds the lock for one read, change and replace of a small file,
/// so the wait only runs out when the other program hangs in the middle.
inline constexpr std::chrono::milliseconds kProfileLockWait{5000};

/// A key that could not be written. The message is "Unable to write to " and
/// the file's full path.
class EProfileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The largest settings file read; anything larger counts as unreadable.
inline constexpr std::size_t kMaxProfileFileBytes = 1u << 20;

/// The longest value read back, in bytes.
inline constexpr std::size_t kMaxProfileValue = 2047;

/// Reads the value of key in section. Section and key names match without
/// regard to ASCII letter case; the value is the text after the first "=",
/// without leading and trailing blanks, cut to kMaxProfileValue bytes. An
/// absent key, section or file, or a file that cannot be read, gives the
/// default.
///
/// Lines may end in CR LF or in LF alone. A value enclosed in a matching pair
/// of double or single quotes is read without them.
std::string ReadProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key, std::string_view defaultValue);

/// Writes one key. An existing key line of the section is replaced in place,
/// a new key goes after the last line of its section, a missing section is
/// added at the end of the file, and a missing file is created. Every other
/// line stays as it was. New lines end in CR LF.
///
/// The new contents go to a temporary file beside the settings file, which
/// then replaces it in one rename, so a failure never leaves a half-written
/// file. Throws EProfileWriteError when the file cannot be written; the file
/// is then unchanged.
///
/// Programs sharing the file take turns: each write holds an advisory lock on
/// the file's name with ".lock" added (see ProfileLock.h), so that a key
/// written by one is never dropped by the other's replace.
/// wait: how long another program's hold on the lock is waited for.
void WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value,
                        std::chrono::milliseconds wait = kProfileLockWait);

/// Removes temporary files that a save cut short (the program was killed
/// between writing and renaming) left beside the settings file. Only files of
/// the temporary name that have not changed for a minute are taken, so a
/// save in progress elsewhere is left alone.
void RemoveStaleProfileTemps(const std::filesystem::path& file);

} // namespace app
