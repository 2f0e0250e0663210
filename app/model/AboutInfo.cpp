#include "app/model/AboutInfo.h"

namespace app {

TAboutInfo MakeAboutInfo(const TVersionInfo& version, const std::filesystem::path& settingsFile,
                         const std::string& hostDescription) {
    TAboutInfo about;
    const auto& v = version.FileVersion();
    about.Version = std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) +
                    "." + std::to_string(v[3]);
    about.Notice = version.LegalCopyright();
    // UTF-8 whatever the system's code page (a name Windows holds in UTF-16).
    const std::u8string name = settingsFile.u8string();
    about.SettingsFile.assign(name.begin(), name.end());
    about.Host = hostDescription.empty() ? "not described" : hostDescription;
    return about;
}

std::string AboutPlainText(const TAboutInfo& about) {
    return "Velloran " + about.Version + "\nThe ALOHA radius of your APRS channel.\n\n" +
           about.Notice + "\n\nSettings file: " + about.SettingsFile + "\n\nHost: " + about.Host;
}

} // namespace app
