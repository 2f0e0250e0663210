#pragma once

#include <QTabWidget>

#include <exception>
#include <functional>

/// The tab set of the main window.
namespace app {

/// A QTabWidget that asks before the user leaves a page.
///
/// OnChanging(leaving, allowChange) runs before a change made by a click on a
/// tab or the arrow keys on the tab strip, and before Ctrl+Tab and
/// Ctrl+Shift+Tab; for any other change by the user it runs just after it.
/// An error it raises goes to OnError. After a click or an arrow key the
/// change happens all the same; after Ctrl+Tab or Ctrl+Shift+Tab the page
/// stays. A change made by the program (setCurrentIndex) asks nothing.
class TPageControl : public QTabWidget {
public:
    explicit TPageControl(QWidget* parent = nullptr);

    std::function<void(QWidget* leaving, bool& allowChange)> OnChanging;
    std::function<void(std::exception_ptr)> OnError;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Runs OnChanging for the current page; false when the change must not
    /// happen (refused, or failed and failureStops).
    bool Changing(bool failureStops);

    QWidget* FCurrent = nullptr;
    bool FAsked = false;  // OnChanging ran for the change under way
    bool FByUser = false; // a change the user starts is under way
};

} // namespace app
