#pragma once

#include "app/model/VersionInfo.h"

#include <filesystem>
#include <string>

/// What Help > About tells the operator, shared by the views of the window.
namespace app {

struct TAboutInfo {
    std::string Version;      ///< "a.b.c.d"
    std::string Notice;       ///< the legal notice
    std::string SettingsFile; ///< the settings file's full name, UTF-8
    std::string Host;         ///< which host is attached, or "not described"
};

TAboutInfo MakeAboutInfo(const TVersionInfo& version, const std::filesystem::path& settingsFile,
                         const std::string& hostDescription);

/// The About box's text, for a view that shows plain text.
std::string AboutPlainText(const TAboutInfo& about);

} // namespace app
