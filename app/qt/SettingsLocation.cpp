#include "app/qt/SettingsLocation.h"

#include "app/model/SettingsStore.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace app {

TSettingsEnvironment TSettingsEnvironment::Current() {
    const auto env = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    TSettingsEnvironment environment;
    environment.ConfigHome = env("XDG_CONFIG_HOME");
    environment.Home = env("HOME");
    environment.FolderWritable = [](const std::filesystem::path& folder) {
        std::error_code error;
        return std::filesystem::is_directory(folder, error) &&
               ::access(folder.c_str(), W_OK | X_OK) == 0;
    };
    return environment;
}

std::filesystem::path SettingsFilePath(const std::filesystem::path& executable,
                                       const TSettingsEnvironment& environment) {
    const std::filesystem::path beside = TOvcIniFileStore::ExeDirIniPath(executable);
    if (environment.FolderWritable && environment.FolderWritable(beside.parent_path()))
        return beside;

    // A relative $XDG_CONFIG_HOME is to be ignored, as an empty one.
    std::filesystem::path config = environment.ConfigHome;
    if (config.empty() || config.is_relative())
        config = std::filesystem::path(environment.Home) / ".config";
    const std::filesystem::path folder = config / "velloran";
    const std::filesystem::path file = folder / beside.filename();

    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::exists(file, error) && std::filesystem::exists(beside, error))
        std::filesystem::copy_file(beside, file, error);
    return file;
}

} // namespace app
