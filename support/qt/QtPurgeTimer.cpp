#include "support/qt/QtPurgeTimer.h"

#include <exception>

namespace support {

TQtPurgeTimer::TQtPurgeTimer(TErrorReporter reportError)
    : FTimer(std::make_unique<QTimer>()), FReportError(std::move(reportError)) {
    QObject::connect(FTimer.get(), &QTimer::timeout, [this] {
        if (!FOnTick) {
            return;
        }
        try {
            FOnTick();
        } catch (const std::exception& error) {
            if (FReportError) {
                FReportError(error.what());
            }
        }
    });
}

TQtPurgeTimer::~TQtPurgeTimer() = default;

void TQtPurgeTimer::Configure(std::int32_t intervalMs, std::function<void()> onTick) {
    FTimer->setInterval(intervalMs);
    FOnTick = std::move(onTick);
}

void TQtPurgeTimer::SetEnabled(bool enabled) {
    if (enabled) {
        FTimer->start();
    } else {
        FTimer->stop();
    }
}

bool TQtPurgeTimer::Enabled() const {
    return FTimer->isActive();
}

std::int32_t TQtPurgeTimer::IntervalMs() const {
    return FTimer->interval();
}

} // namespace support
