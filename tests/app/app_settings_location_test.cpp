#include "app/model/ProfileFile.h"
#include "app/qt/SettingsLocation.h"
#include "tests/common/Files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
app::TSettingsEnvironment Environment(const fs::path& configHome, const fs::path& home) {
    app::TSettingsEnvironment environment = app::TSettingsEnvironment::Current();
    environment.ConfigHome = configHome.string();
    environment.Home = home.string();
    return environment;
}

TEST(SettingsLocation, BesideTheExecutableWhenItsFolderIsWritable) {
    testcommon::TTempFolder temp;
    fs::create_directories(temp.Path() / "bin");
    const fs::path file = app::SettingsFilePath(temp.Path() / "bin" / "velloran",
                                                Environment(temp.Path() / "config", temp.Path()));
    EXPECT_EQ(file, temp.Path() / "bin" / "velloran.INI");
    EXPECT_FALSE(fs::exists(temp.Path() / "config")); // nothing made elsewhere
}

TEST(SettingsLocation, ConfigFolderWhenTheExecutablesFolderCannotBeWritten) {
    testcommon::TTempFolder temp;
    // A "folder" that is a file cannot take the settings, whoever runs this.
    std::ofstream(temp.Path() / "bin") << "x";
    const fs::path executable = temp.Path() / "bin" / "velloran";

    const fs::path file =
        app::SettingsFilePath(executable, Environment(temp.Path() / "config", temp.Path()));
    EXPECT_EQ(file, temp.Path() / "config" / "velloran" / "velloran.INI");
    // The folder is made, so the first save succeeds and reads back.
    app::WriteProfileString(file, "Settings", "edRecalculateRate.Text", "45");
    EXPECT_EQ(app::ReadProfileString(file, "Settings", "edRecalculateRate.Text", ""), "45");

    // Without $XDG_CONFIG_HOME, or with a relative one: ~/.config.
    for (const char* configHome : {"", "relative/config"})
        EXPECT_EQ(app::SettingsFilePath(executable, Environment(configHome, temp.Path() / "home")),
                  temp.Path() / "home" / ".config" / "velloran" / "velloran.INI")
            << configHome;
}

TEST(SettingsLocation, AFileBesideAReadOnlyExecutableIsReadThroughACopy) {
    testcommon::TTempFolder temp;
    fs::create_directories(temp.Path() / "bin");
    std::ofstream(temp.Path() / "bin" / "velloran.INI", std::ios::binary)
        << "[Settings]\r\nedRecalculateRate.Text=12\r\n";
    app::TSettingsEnvironment environment = Environment(temp.Path() / "config", temp.Path());
    environment.FolderWritable = [](const fs::path&) { return false; };

    const fs::path file = app::SettingsFilePath(temp.Path() / "bin" / "velloran", environment);
    EXPECT_EQ(app::ReadProfileString(file, "Settings", "edRecalculateRate.Text", ""), "12");

    // The user's own file, once there, is never replaced by the one beside.
    app::WriteProfileString(file, "Settings", "edRecalculateRate.Text", "20");
    const fs::path again = app::SettingsFilePath(temp.Path() / "bin" / "velloran", environment);
    EXPECT_EQ(again, file);
    EXPECT_EQ(app::ReadProfileString(again, "Settings", "edRecalculateRate.Text", ""), "20");
    EXPECT_EQ(testcommon::ReadWholeFile(temp.Path() / "bin" / "velloran.INI"),
              "[Settings]\r\nedRecalculateRate.Text=12\r\n");
}

} // namespace
