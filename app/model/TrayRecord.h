#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

/// The notification-area (tray) icon as the window sees it: the shell's
/// record and the shell's one call.
namespace app {

/// The tray icon record: the shell's notify-icon record in its first form.
struct TNotifyIconData {
    std::uint32_t cbSize = 0;
    std::uint32_t hWnd = 0; ///< the window receiving the callback messages
    std::uint32_t uID = 0;  ///< the icon's number within the window
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    std::uint32_t hIcon = 0; ///< the icon's handle
    char szTip[64] = {};     ///< zero-terminated, at most 63 characters
};
static_assert(sizeof(TNotifyIconData) == 88, "the tray icon record is 88 bytes");
static_assert(offsetof(TNotifyIconData, szTip) == 24);

inline constexpr std::uint32_t NIM_ADD = 0;
inline constexpr std::uint32_t NIM_MODIFY = 1;
inline constexpr std::uint32_t NIM_DELETE = 2;
inline constexpr std::uint32_t NIF_MESSAGE = 1;
inline constexpr std::uint32_t NIF_ICON = 2;
inline constexpr std::uint32_t NIF_TIP = 4;
inline constexpr std::uint32_t WM_USER = 1024;
inline constexpr std::uint32_t WM_LBUTTONUP = 514;
inline constexpr std::uint32_t WM_LBUTTONDBLCLK = 515;
inline constexpr std::uint32_t WM_RBUTTONDOWN = 516;

/// Copies the text into szTip, cut to 63 characters.
void SetTip(TNotifyIconData& data, const std::string& tip);

/// The shell's tray: add, modify and delete the icon a record describes.
/// Mouse messages on the icon arrive through OnCallback with the record's
/// callback message and the mouse message (WM_LBUTTONDBLCLK, WM_RBUTTONDOWN).
class TTrayShell {
public:
    virtual ~TTrayShell() = default;
    /// NIM_ADD, NIM_MODIFY or NIM_DELETE. Returns whether the shell did it.
    virtual bool Shell_NotifyIconA(std::uint32_t message, const TNotifyIconData& data) = 0;
    /// True while an icon is really shown in a notification area, so that
    /// the operator can bring the window back through it.
    virtual bool IconShown() const { return true; }

    std::function<void(std::uint32_t callbackMessage, std::uint32_t mouseMessage)> OnCallback;
};

} // namespace app
