#include "support/qt/QtPurgeTimer.h"

#include <exception>

namespace support {

TQtPurgeTimer::TQtPurgeTimer(TErrorReporter reportError)
    : timer_(std::make_unique<QTimer>()), reportError_(std::move(reportError)) {
    QObject::connect(timer_.get(), &QTimer::timeout, [this] {
        if (!onTick_) {
            return;
        }
        try {
            onTick_();
        } catch (const std::exception& error) {
            if (reportError_) {
                reportError_(error.what());
            }
        }
    });
}

TQtPurgeTimer::~TQtPurgeTimer() = default;

void TQtPurgeTimer::Configure(std::int32_t intervalMs, std::function<void()> onTick) {
    timer_->setInterval(intervalMs);
    onTick_ = std::move(onTick);
}

void TQtPurgeTimer::SetEnabled(bool enabled) {
    if (enabled) {
        timer_->start();
    } else {
        timer_->stop();
    }
}

bool TQtPurgeTimer::Enabled() const {
    return timer_->isActive();
}

std::int32_t TQtPurgeTimer::IntervalMs() const {
    return timer_->interval();
}

} // namespace support
