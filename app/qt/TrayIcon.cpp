#include "app/qt/TrayIcon.h"

#include <QSystemTrayIcon>

#include <cstring>

namespace app {

TQtTrayShell::TQtTrayShell(QIcon icon) : FIcon(std::move(icon)) {}

TQtTrayShell::~TQtTrayShell() = default;

bool TQtTrayShell::Shell_NotifyIconA(std::uint32_t message, const TNotifyIconData& data) {
    // No tray on this desktop (or the offscreen platform): the program runs on
    // without an icon, as when the shell refuses one.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return true;
    const QString tip = QString::fromLocal8Bit(
        data.szTip, static_cast<qsizetype>(::strnlen(data.szTip, sizeof data.szTip)));
    switch (message) {
    case NIM_ADD:
        if (!FTray) {
            FTray = std::make_unique<QSystemTrayIcon>();
            QObject::connect(FTray.get(), &QSystemTrayIcon::activated,
                             [this](QSystemTrayIcon::ActivationReason reason) {
                                 std::uint32_t mouse = 0;
                                 if (reason == QSystemTrayIcon::DoubleClick)
                                     mouse = WM_LBUTTONDBLCLK;
                                 else if (reason == QSystemTrayIcon::Context)
                                     mouse = WM_RBUTTONDOWN;
                                 else if (reason == QSystemTrayIcon::Trigger)
                                     mouse = WM_LBUTTONUP;
                                 if (mouse != 0 && OnCallback)
                                     OnCallback(FCallbackMessage, mouse);
                             });
        }
        [[fallthrough]];
    case NIM_MODIFY:
        if (!FTray)
            return false;
        if (data.uFlags & NIF_MESSAGE)
            FCallbackMessage = data.uCallbackMessage;
        if (data.uFlags & NIF_ICON)
            FTray->setIcon(FIcon);
        if (data.uFlags & NIF_TIP)
            FTray->setToolTip(tip);
        FTray->show();
        return true;
    case NIM_DELETE:
        if (!FTray)
            return false;
        FTray.reset();
        return true;
    default:
        return false;
    }
}

bool TQtTrayShell::IconShown() const {
    return QSystemTrayIcon::isSystemTrayAvailable() && FTray && FTray->isVisible();
}

} // namespace app
