#include "app/model/SettingsStore.h"

#include "app/model/ProfileFile.h"
#include "support/TextRules.h"

#include <algorithm>
#include <cstdio>

namespace app {

TOvcIniFileStore::TOvcIniFileStore(std::filesystem::path fileName)
    : FFileName(std::move(fileName)) {
    RemoveStaleProfileTemps(FFileName);
}

std::filesystem::path TOvcIniFileStore::ExeDirIniPath(const std::filesystem::path& executable) {
    std::filesystem::path ini = executable;
    ini.replace_extension(".INI");
    return ini;
}

std::string TOvcIniFileStore::ReadString(std::string_view section, std::string_view key,
                                         std::string_view defaultValue) const {
    return ReadProfileString(FFileName, section, key, defaultValue);
}

std::int32_t TOvcIniFileStore::ReadInteger(std::string_view section, std::string_view key,
                                           std::int32_t defaultValue) const {
    const std::string text = ReadString(section, key, "");
    return support::IntTextOr(text, defaultValue);
}

void TOvcIniFileStore::WriteString(std::string_view section, std::string_view key,
                                   std::string_view value) {
    WriteProfileString(FFileName, section, key, value, FLockWait);
}

void TOvcIniFileStore::WriteInteger(std::string_view section, std::string_view key,
                                    std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

TOvcAbstractState::TOvcAbstractState(TOvcIniFileStore& storage, std::string section)
    : FStorage(storage), FSection(std::move(section)) {}

void TOvcAbstractState::RestoreState() {
    FSaved = false;
    DoRestore();
    FRestored = true;
    if (OnRestoreState)
        OnRestoreState();
}

void TOvcAbstractState::SaveState() {
    if (!FRestored)
        return;
    DoSave();
    if (OnSaveState)
        OnSaveState();
    FSaved = true;
}

TOvcFormState::TOvcFormState(TOvcIniFileStore& storage, IPlacementWindow& window)
    : TOvcAbstractState(storage, "MainForm"), FWindow(window) {}

namespace {

/// Words of a "NormalPos" value: separated by runs of commas and blanks.
std::vector<std::string> PositionWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : text) {
        if (c == ',' || c == ' ') {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    return words;
}

} // namespace

void TOvcFormState::DoRestore() {
    const std::int32_t currentPpi = FWindow.PixelsPerInch();
    // A file laid out for another screen scaling is not applied at all.
    if (Storage().ReadInteger(Section(), "PixelsPerInch", currentPpi) != currentPpi)
        return;

    TWindowPlacement placement = FWindow.GetPlacement();
    placement.ShowCmd = kSwHide;
    placement.Flags = Storage().ReadInteger(Section(), "Flags", placement.Flags);

    const std::string normalPos = Storage().ReadString(Section(), "NormalPos", "");
    if (normalPos.empty())
        return;
    const std::vector<std::string> words = PositionWords(normalPos);
    const TRect current = placement.NormalPosition;
    const auto word = [&words](std::size_t i, std::int32_t fallback) {
        return i < words.size() ? support::IntTextOr(words[i], fallback) : fallback;
    };
    TRect rect{word(0, current.Left), word(1, current.Top), word(2, current.Right),
               word(3, current.Bottom)};
    if (rect.Right > rect.Left) {
        placement.NormalPosition = rect;
        FWindow.SetPlacement(placement);
    }

    const std::int32_t showCmd = Storage().ReadInteger(Section(), "ShowCmd", 0);
    if (showCmd == kSwShowMinimized || showCmd == kSwMinimize)
        SetStartState(kSwShowMinimized);
    else if (showCmd == kSwShowMaximized)
        SetStartState(kSwShowMaximized);
    else
        SetStartState(kSwShowNormal);
}

void TOvcFormState::SetStartState(std::int32_t showCmd) {
    FStartShowCmd = showCmd;
    FWindow.SetStartState(showCmd);
}

void TOvcFormState::DoSave() {
    TWindowPlacement placement = FWindow.GetPlacement();
    if (FWindow.ApplicationMinimized() || (HiddenInTray && HiddenInTray()))
        placement.ShowCmd = kSwShowMinimized;
    const TRect& r = placement.NormalPosition;
    char normalPos[64];
    std::snprintf(normalPos, sizeof normalPos, "%d,%d,%d,%d", r.Left, r.Top, r.Right, r.Bottom);

    Storage().WriteInteger(Section(), "Flags", placement.Flags);
    Storage().WriteInteger(Section(), "ShowCmd", placement.ShowCmd);
    Storage().WriteString(Section(), "NormalPos", normalPos);
    Storage().WriteInteger(Section(), "PixelsPerInch", FWindow.PixelsPerInch());
    Storage().WriteInteger(Section(), "Color", kButtonFaceColour);
}

TRect FitToWorkArea(const TRect& saved, const TRect& area) {
    using Wide = std::int64_t;
    const Wide areaWidth = std::max<Wide>(1, Wide{area.Right} - area.Left);
    const Wide areaHeight = std::max<Wide>(1, Wide{area.Bottom} - area.Top);
    const Wide width = std::clamp<Wide>(Wide{saved.Right} - saved.Left, 1, areaWidth);
    const Wide height = std::clamp<Wide>(Wide{saved.Bottom} - saved.Top, 1, areaHeight);
    const Wide left = std::clamp<Wide>(saved.Left, area.Left, area.Left + areaWidth - width);
    const Wide top = std::clamp<Wide>(saved.Top, area.Top, area.Top + areaHeight - height);
    return {static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
            static_cast<std::int32_t>(left + width), static_cast<std::int32_t>(top + height)};
}

TRect NearestAvailableArea(const TRect& window, const std::vector<TScreenArea>& screens,
                           const TRect& fallback) {
    using Wide = std::int64_t;
    // Overlap as a positive area, distance as a negative square: the larger
    // the nearer. Sides of corrupt rectangles are ordered first.
    const auto nearness = [&window](const TRect& screen) {
        const auto gap = [](Wide low1, Wide high1, Wide low2, Wide high2) {
            return std::min(std::max(low1, high1), std::max(low2, high2)) -
                   std::max(std::min(low1, high1), std::min(low2, high2));
        };
        const Wide x = gap(window.Left, window.Right, screen.Left, screen.Right);
        const Wide y = gap(window.Top, window.Bottom, screen.Top, screen.Bottom);
        if (x > 0 && y > 0)
            return static_cast<double>(x) * static_cast<double>(y);
        const double dx = static_cast<double>(std::min<Wide>(x, 0));
        const double dy = static_cast<double>(std::min<Wide>(y, 0));
        return -(dx * dx + dy * dy);
    };
    const TScreenArea* best = nullptr;
    double bestNearness = 0;
    for (const TScreenArea& screen : screens) {
        const double n = nearness(screen.Screen);
        if (!best || n > bestNearness) {
            best = &screen;
            bestNearness = n;
        }
    }
    return best ? best->Available : fallback;
}

TOvcComponentState::TOvcComponentState(TOvcIniFileStore& storage)
    : TOvcAbstractState(storage, "Settings") {}

namespace {

bool SameText(std::string_view a, std::string_view b) {
    return support::UpperAscii(a) == support::UpperAscii(b);
}

} // namespace

void TOvcComponentState::DoRestore() {
    for (const TStoredProperty& property : StoredProperties) {
        // An entry that fails, including a run its change of value starts, is
        // dropped so that the remaining entries are still applied.
        try {
            const std::string value = support::TrimBlanksAndControls(
                Storage().ReadString(Section(), property.Key, property.Get()));
            if (property.SetBool) {
                if (SameText(value, "False"))
                    property.SetBool(false);
                else if (SameText(value, "True"))
                    property.SetBool(true);
            } else if (property.SetText) {
                property.SetText(value);
            }
        } catch (...) {
        }
    }
}

void TOvcComponentState::DoSave() {
    for (const TStoredProperty& property : StoredProperties)
        Storage().WriteString(Section(), property.Key,
                              support::TrimBlanksAndControls(property.Get()));
}

} // namespace app
