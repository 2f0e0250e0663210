#pragma once

#include "app/model/WindowTimer.h"

#include <QTimer>

#include <cstdint>
#include <functional>

/// A window timer: an interval in milliseconds and an enabled switch.
namespace app {

/// The window timer on a QTimer (see IWindowTimer for how it differs from a
/// bare QTimer).
class TTimer : public IWindowTimer {
public:
    explicit TTimer(std::int32_t interval = 1000, bool enabled = true);

    std::int32_t Interval() const override { return FInterval; }
    void SetInterval(std::int32_t interval) override;
    bool Enabled() const override { return FEnabled; }
    void SetEnabled(bool enabled) override;

    /// True while the countdown actually runs (enabled with a positive interval).
    bool Counting() const { return FTimer.isActive(); }

private:
    void Update();

    QTimer FTimer;
    std::int32_t FInterval;
    bool FEnabled;
};

} // namespace app
