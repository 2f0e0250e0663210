#pragma once

#include <QTimer>

#include <functional>
#include <memory>
#include <string>

#include "support/APRSCache.h"

namespace support {

/// The packet cache's purge timer on the Qt event loop, for the main window
/// to hand to the cache it creates.
class TQtPurgeTimer : public IPurgeTimer {
public:
    /// Receives the message of an error raised by a purge (for instance from
    /// an OnExpire handler), since errors must not leave a Qt slot.
    using TErrorReporter = std::function<void(const std::string& message)>;

    explicit TQtPurgeTimer(TErrorReporter reportError = {});
    ~TQtPurgeTimer() override;

    void Configure(std::int32_t intervalMs, std::function<void()> onTick) override;
    void SetEnabled(bool enabled) override;
    bool Enabled() const override;
    std::int32_t IntervalMs() const override;

private:
    std::unique_ptr<QTimer> FTimer;
    std::function<void()> FOnTick;
    TErrorReporter FReportError;
};

} // namespace support
