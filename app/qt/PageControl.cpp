#include "app/qt/PageControl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTabBar>

namespace app {

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent) {
    tabBar()->installEventFilter(this);
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        const int left = FCurrent;
        FCurrent = index;
        // A change by the user that no filter saw (the mouse wheel, say).
        if (FByUser && !FAsked && left >= 0 && OnChanging)
            OnChanging(left, TPageChange::Click);
    });
}

bool TPageControl::Changing(TPageChange how) {
    FAsked = true;
    return !OnChanging || OnChanging(currentIndex(), how);
}

void TPageControl::keyPressEvent(QKeyEvent* event) {
    const bool nextPage = (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) &&
                          (event->modifiers() & Qt::ControlModifier) && count() > 1;
    if (!nextPage) {
        QTabWidget::keyPressEvent(event);
        return;
    }
    if (!Changing(TPageChange::NextPageKey)) {
        FAsked = false;
        event->accept();
        return;
    }
    FByUser = true;
    QTabWidget::keyPressEvent(event);
    FByUser = false;
    FAsked = false;
}

bool TPageControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched != tabBar())
        return QTabWidget::eventFilter(watched, event);
    bool userChange = false;
    if (event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const int index = tabBar()->tabAt(mouse->position().toPoint());
        userChange = mouse->button() == Qt::LeftButton && index >= 0 && index != currentIndex();
        if (userChange && !Changing(TPageChange::Click)) {
            FAsked = false;
            return true;
        }
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        userChange = key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up ||
                     key == Qt::Key_Down || key == Qt::Key_Home || key == Qt::Key_End;
        if (userChange && !Changing(TPageChange::ArrowKey)) {
            FAsked = false;
            return true;
        }
    } else if (event->type() == QEvent::Wheel) {
        userChange = true;
    }
    if (userChange) {
        // The tab bar changes the page right after this filter; the marks
        // last until control is back in the event loop.
        FByUser = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                FAsked = false;
                FByUser = false;
            },
            Qt::QueuedConnection);
    }
    return QTabWidget::eventFilter(watched, event);
}

} // namespace app
