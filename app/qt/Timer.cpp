#include "app/qt/Timer.h"

namespace app {

TTimer::TTimer(std::int32_t interval, bool enabled) : TWindowTimer(interval, enabled) {
    FTimer.setTimerType(Qt::CoarseTimer);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
        if (OnTimer)
            OnTimer();
    });
    Update();
}

void TTimer::Restart(bool counting) {
    FTimer.stop();
    if (counting)
        FTimer.start(Interval());
}

} // namespace app
