// The settings file through Windows' own profile calls, which read and write
// one key at a time in the file itself.
#include "app/model/ProfileFile.h"

#include "app/model/ProfileLock.h"
#include "support/WideText.h"

#include <vector>

#include <windows.h>
// Ours, not the macro for the profile call on win.ini.
#undef WriteProfileString

namespace app {

namespace {

// A relative name would be looked for in the Windows folder.
std::wstring FullName(const std::filesystem::path& file) {
    return std::filesystem::absolute(file).wstring();
}

} // namespace

std::string ReadProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key, std::string_view defaultValue) {
    std::vector<wchar_t> value(kMaxProfileValue + 1);
    const DWORD n =
        ::GetPrivateProfileStringW(support::Wide(section).c_str(), support::Wide(key).c_str(),
                                   support::Wide(defaultValue).c_str(), value.data(),
                                   static_cast<DWORD>(value.size()), FullName(file).c_str());
    return support::Utf8(std::wstring_view(value.data(), n));
}

void WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value,
                        std::chrono::milliseconds wait) {
    const std::wstring name = FullName(file);
    // The profile call reads, changes and writes the whole file; another
    // program's call between its read and write would drop that key.
    const TProfileWriteLock lock(std::filesystem::path(name), support::Utf8(name), wait);
    if (!::WritePrivateProfileStringW(support::Wide(section).c_str(), support::Wide(key).c_str(),
                                      support::Wide(value).c_str(), name.c_str()))
        throw EProfileWriteError("Unable to write to " + support::Utf8(name));
}

void RemoveStaleProfileTemps(const std::filesystem::path&) {
    // Windows writes the file in place: no temporary files to remove.
}

} // namespace app
