#pragma once

#include "aloha/RunContext.h"

#include <QTimer>

#include <cstdint>
#include <functional>

/// A window timer: an interval in milliseconds and an enabled switch.
namespace app {

/// Fires OnTimer every Interval milliseconds while enabled.
///
/// Unlike a bare QTimer: an interval of 0 (or below) never fires; setting the
/// interval it already has changes nothing; a different interval restarts a
/// running timer's countdown; a disabled timer only stores it. Enabling an
/// enabled timer does not restart it.
class TTimer : public aloha::IRunTimer {
public:
    explicit TTimer(std::int32_t interval = 1000, bool enabled = true);

    std::function<void()> OnTimer;

    std::int32_t Interval() const { return FInterval; }
    void SetInterval(std::int32_t interval);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled);

    /// True while the countdown actually runs (enabled with a positive interval).
    bool Counting() const { return FTimer.isActive(); }

    void Start() override { SetEnabled(true); }
    void Stop() override { SetEnabled(false); }
    bool IsActive() const override { return FEnabled; }

private:
    void Update();

    QTimer FTimer;
    std::int32_t FInterval;
    bool FEnabled;
};

} // namespace app
