#pragma once

#include "app/model/ProfileFile.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// The settings file and the two keepers that store the main window's
/// placement ("MainForm") and the Options values ("Settings") in it.
namespace app {

/// Access to the settings file beside the executable. Holds no copy of the
/// file: every read and write goes to the file itself.
class TOvcIniFileStore {
public:
    explicit TOvcIniFileStore(std::filesystem::path fileName);

    /// The settings file of an executable: its name with the extension
    /// replaced by ".INI" (or ".INI" added), in the executable's directory.
    static std::filesystem::path ExeDirIniPath(const std::filesystem::path& executable);

    const std::filesystem::path& FileName() const { return FFileName; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    /// Reads an integer with the typed-number rule; other text gives the default.
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t defaultValue) const;
    /// Writes one key to disk at once; throws EProfileWriteError on failure.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    /// How long a write waits for another program's hold on the file.
    void SetLockWait(std::chrono::milliseconds wait) { FLockWait = wait; }

private:
    std::filesystem::path FFileName;
    std::chrono::milliseconds FLockWait = kProfileLockWait;
};

/// A rectangle as left, top, right, bottom.
struct TRect {
    std::int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TRect&) const = default;
};

/// The saved normal rectangle fitted into the work area (both in the same
/// coordinates): each side at least 1 and at most the area's, and moved so
/// the window lies inside the area. Worked out in 64 bits, so that corrupt
/// saved values cannot overflow.
TRect FitToWorkArea(const TRect& saved, const TRect& area);

/// One screen: its whole rectangle and the part windows may use (without
/// task bars and panels), in the coordinates of the saved placement.
struct TScreenArea {
    TRect Screen;
    TRect Available;
};

/// Where a saved window goes: the available area of the screen nearest to
/// it, the one it overlaps most, or when it overlaps none the one closest to
/// it (the first of equals). Without screens, `fallback`.
TRect NearestAvailableArea(const TRect& window, const std::vector<TScreenArea>& screens,
                           const TRect& fallback);

/// Show states and placement flag as they are stored: the values of Windows' SW_ and
/// WPF_ constants, under names of their own so that no system header can redefine them.
inline constexpr std::int32_t kSwHide = 0;
inline constexpr std::int32_t kSwShowNormal = 1;
inline constexpr std::int32_t kSwShowMinimized = 2;
inline constexpr std::int32_t kSwShowMaximized = 3;
inline constexpr std::int32_t kSwMinimize = 6;
inline constexpr std::int32_t kSwShowMinNoActive = 7;
inline constexpr std::int32_t kWpfRestoreToMaximized = 2;

/// A window's placement: flags, show state and normal (restored) rectangle.
struct TWindowPlacement {
    std::int32_t Flags = 0;
    std::int32_t ShowCmd = kSwShowNormal;
    TRect NormalPosition;
};

/// The window whose placement TOvcFormState keeps.
class IPlacementWindow {
public:
    virtual ~IPlacementWindow() = default;
    virtual TWindowPlacement GetPlacement() const = 0;
    /// Applies the flags and the normal rectangle; does not show the window.
    virtual void SetPlacement(const TWindowPlacement& placement) = 0;
    /// Sets the state the window takes when first shown (kSwShowMinimized,
    /// kSwShowMaximized or kSwShowNormal).
    virtual void SetStartState(std::int32_t showCmd) = 0;
    /// True while the window is minimized (hidden in the tray is the
    /// keeper's own knowledge, see TOvcFormState::HiddenInTray).
    virtual bool ApplicationMinimized() const = 0;
    /// The screen's logical pixels per inch.
    virtual std::int32_t PixelsPerInch() const = 0;
};

/// The colour code written as "Color": the system button-face colour.
inline constexpr std::int32_t kButtonFaceColour = static_cast<std::int32_t>(0xFF00000Fu);

/// Common part of the two keepers: section, storage, marks and events.
class TOvcAbstractState {
public:
    TOvcAbstractState(TOvcIniFileStore& storage, std::string section);
    virtual ~TOvcAbstractState() = default;

    /// Reads the section and applies it; clears the saved mark first, sets the
    /// restored mark and fires OnRestoreState after.
    void RestoreState();
    /// Writes the section when it has been restored; fires OnSaveState and
    /// sets the saved mark once every key is written. A failing write throws
    /// and leaves both the event and the mark alone.
    void SaveState();

    bool Restored() const { return FRestored; }
    bool Saved() const { return FSaved; }
    const std::string& Section() const { return FSection; }

    std::function<void()> OnRestoreState;
    std::function<void()> OnSaveState;

protected:
    virtual void DoRestore() = 0;
    virtual void DoSave() = 0;
    TOvcIniFileStore& Storage() { return FStorage; }

private:
    TOvcIniFileStore& FStorage;
    std::string FSection;
    bool FRestored = false;
    bool FSaved = false;
};

/// Keeps the window's placement in "MainForm": Flags, ShowCmd, NormalPos,
/// PixelsPerInch and Color.
class TOvcFormState : public TOvcAbstractState {
public:
    TOvcFormState(TOvcIniFileStore& storage, IPlacementWindow& window);

    /// The state the last restore gave the window for its first show
    /// (kSwShowNormal when nothing was restored).
    std::int32_t StartShowCmd() const { return FStartShowCmd; }
    /// True while the window is hidden in the tray, which is saved as
    /// minimized as well.
    std::function<bool()> HiddenInTray;

protected:
    void DoRestore() override;
    void DoSave() override;

private:
    void SetStartState(std::int32_t showCmd);

    IPlacementWindow& FWindow;
    std::int32_t FStartShowCmd = kSwShowNormal;
};

/// One stored control property: key "control.Property", how to read it as
/// text, and how to set it.
struct TStoredProperty {
    std::string Key;
    /// The value as text: "True"/"False" for a yes/no property.
    std::function<std::string()> Get;
    /// Set for yes/no properties; null for text properties.
    std::function<void(bool)> SetBool;
    /// Set for text properties; null for yes/no properties.
    std::function<void(const std::string&)> SetText;
};

/// Keeps control values in "Settings", in the order of StoredProperties.
class TOvcComponentState : public TOvcAbstractState {
public:
    explicit TOvcComponentState(TOvcIniFileStore& storage);

    std::vector<TStoredProperty> StoredProperties;

protected:
    void DoRestore() override;
    void DoSave() override;
};

} // namespace app
