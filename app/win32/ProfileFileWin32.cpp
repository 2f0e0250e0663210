// The settings file through Windows' own profile calls, which read and write
// one key at a time in the file itself.
#include "app/model/ProfileFile.h"

#include <vector>

#include <windows.h>
// Ours, not the macro for the profile call on win.ini.
#undef WriteProfileString

namespace app {

namespace {

// A relative name would be looked for in the Windows folder.
std::string FullName(const std::filesystem::path& file) {
    return std::filesystem::absolute(file).string();
}

} // namespace

std::string ReadProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key, std::string_view defaultValue) {
    std::vector<char> value(kMaxProfileValue + 1);
    const std::string sectionName(section), keyName(key), fallback(defaultValue);
    const DWORD n = ::GetPrivateProfileStringA(
        sectionName.c_str(), keyName.c_str(), fallback.c_str(), value.data(),
        static_cast<DWORD>(value.size()), FullName(file).c_str());
    return std::string(value.data(), n);
}

void WriteProfileString(const std::filesystem::path& file, std::string_view section,
                        std::string_view key, std::string_view value) {
    const std::string name = FullName(file);
    const std::string sectionName(section), keyName(key), text(value);
    if (!::WritePrivateProfileStringA(sectionName.c_str(), keyName.c_str(), text.c_str(),
                                      name.c_str()))
        throw EProfileWriteError("Unable to write to " + name);
}

void RemoveStaleProfileTemps(const std::filesystem::path&) {
    // Windows writes the file in place: no temporary files to remove.
}

} // namespace app
