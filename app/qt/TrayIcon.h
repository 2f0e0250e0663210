#pragma once

#include "app/model/TrayRecord.h"

#include <QIcon>
#include <QObject>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class QSystemTrayIcon;

/// The notification-area (tray) icon.
namespace app {

/// The tray through QSystemTrayIcon. Where the desktop has no tray, every call
/// succeeds and nothing is shown.
class TQtTrayShell : public TTrayShell {
public:
    /// icon: the image for the record's hIcon.
    explicit TQtTrayShell(QIcon icon);
    ~TQtTrayShell() override;
    bool Shell_NotifyIconA(std::uint32_t message, const TNotifyIconData& data) override;
    bool IconShown() const override;

private:
    QIcon FIcon;
    std::unique_ptr<QSystemTrayIcon> FTray;
    std::uint32_t FCallbackMessage = 0;
};

} // namespace app
