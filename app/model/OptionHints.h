#pragma once

#include <string_view>

namespace app {

/// The hints the Options controls show under the mouse, in both windows.
inline constexpr std::string_view kMinimizeToTrayHint = "Hide and minimize to the system tray area";
inline constexpr std::string_view kRecalculateRateHint =
    "How often to recalculate the ALOHA radius";

} // namespace app
