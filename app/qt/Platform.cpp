#include "app/qt/Platform.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QMenu>
#include <QMessageBox>
#include <QUrl>
#include <QWidget>

namespace app {

void TPlatform::ShowError(const QString& caption, const QString& message) {
    QMessageBox::critical(nullptr, caption, message);
}

void TPlatform::SetTaskbarEntryVisible(QWidget* window, bool visible) {
    window->setVisible(visible);
}

QPoint TPlatform::CursorPos() const {
    return QCursor::pos();
}

void TPlatform::PopupMenu(QMenu* menu, const QPoint& at) {
    menu->popup(at);
}

void TPlatform::RequestTermination() {
    // exit() rather than quit(): quit() would first close the windows, which
    // is a close request with its own saving, and ending is not closing.
    QCoreApplication::exit(0);
}

void TPlatform::OpenUrl(const QString& url) {
    QDesktopServices::openUrl(QUrl(url));
}

} // namespace app
