#pragma once

#include <filesystem>
#include <functional>
#include <string>

/// Where the settings file lives. Beside the executable, as it always has,
/// when that folder can be written (a build folder, a portable copy);
/// otherwise (installed in /usr/bin) in the user's configuration folder.
namespace app {

struct TSettingsEnvironment {
    /// $XDG_CONFIG_HOME; used when it is an absolute path.
    std::string ConfigHome;
    /// $HOME, for the default configuration folder ~/.config.
    std::string Home;
    /// Whether a folder exists and this user may create files in it.
    std::function<bool(const std::filesystem::path&)> FolderWritable;

    /// The environment of this process.
    static TSettingsEnvironment Current();
};

/// The settings file of an executable: TOvcIniFileStore::ExeDirIniPath when
/// its folder is writable, otherwise the same file name in
/// CONFIG/velloran/, CONFIG being $XDG_CONFIG_HOME or ~/.config. A settings
/// file found beside a read-only executable is copied there on first use, so
/// its values are read and later saves succeed. Creates the configuration
/// folder when it is chosen; a folder that cannot be made shows up as the
/// usual write error at the first save.
std::filesystem::path SettingsFilePath(const std::filesystem::path& executable,
                                       const TSettingsEnvironment& environment);

} // namespace app
