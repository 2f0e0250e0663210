#pragma once

#include <QPoint>
#include <QString>

class QMenu;
class QWidget;

/// The desktop services the main window uses, each behind one virtual
/// function so that tests replace them (a modal box must never block a test).
namespace app {

class TPlatform {
public:
    virtual ~TPlatform() = default;

    /// A modal error box with the caption and the message.
    virtual void ShowError(const QString& caption, const QString& message);
    /// Shows or hides the program's taskbar entry (the top-level window).
    virtual void SetTaskbarEntryVisible(QWidget* window, bool visible);
    /// The mouse position in screen coordinates.
    virtual QPoint CursorPos() const;
    /// Pops up the menu with its top-left corner at the screen point.
    virtual void PopupMenu(QMenu* menu, const QPoint& at);
    /// Asks the message loop to end once the running handler has returned.
    virtual void RequestTermination();
    /// Opens a web address in the default browser.
    virtual void OpenUrl(const QString& url);
};

} // namespace app
