#pragma once

#include "app/model/FormModel.h"

#include <QTabWidget>

#include <functional>

/// The tab set of the main window.
namespace app {

/// A QTabWidget that asks before the user leaves a page.
///
/// OnChanging(leaving, how) runs before a change made by a click on a tab or
/// the arrow keys on the tab strip, and before Ctrl+Tab and Ctrl+Shift+Tab;
/// for any other change by the user (the mouse wheel) it runs just after it,
/// as a click. The change happens when it answers true. A change made by the
/// program (setCurrentIndex) asks nothing.
class TPageControl : public QTabWidget {
public:
    explicit TPageControl(QWidget* parent = nullptr);

    std::function<bool(int leaving, TPageChange how)> OnChanging;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Runs OnChanging for the current page; false when the change must not
    /// happen.
    bool Changing(TPageChange how);

    int FCurrent = -1;
    bool FAsked = false;  // OnChanging ran for the change under way
    bool FByUser = false; // a change the user starts is under way
};

} // namespace app
