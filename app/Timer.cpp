#include "app/Timer.h"

namespace app {

TTimer::TTimer(std::int32_t interval, bool enabled) : FInterval(interval), FEnabled(enabled) {
    FTimer.setTimerType(Qt::CoarseTimer);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
        if (OnTimer)
            OnTimer();
    });
    Update();
}

void TTimer::SetInterval(std::int32_t interval) {
    if (interval == FInterval)
        return;
    FInterval = interval;
    Update();
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == FEnabled)
        return;
    FEnabled = enabled;
    Update();
}

void TTimer::Update() {
    FTimer.stop();
    if (FEnabled && FInterval > 0)
        FTimer.start(FInterval);
}

} // namespace app
