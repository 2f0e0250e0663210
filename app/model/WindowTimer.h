#pragma once

#include "aloha/RunContext.h"

#include <cstdint>
#include <functional>

/// A window timer as the form model drives it.
namespace app {

/// Fires OnTimer every Interval milliseconds while enabled; each window runs
/// it on its own platform's timer (Restart).
///
/// An interval of 0 (or below) never fires; setting the interval it already
/// has changes nothing; a different interval restarts a running timer's
/// countdown; a disabled timer only stores it. Enabling an enabled timer does
/// not restart it.
class TWindowTimer : public aloha::IRunTimer {
public:
    std::function<void()> OnTimer;

    std::int32_t Interval() const { return FInterval; }
    void SetInterval(std::int32_t interval) {
        if (interval == FInterval)
            return;
        FInterval = interval;
        Update();
    }
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool enabled) {
        if (enabled == FEnabled)
            return;
        FEnabled = enabled;
        Update();
    }

    void Start() override { SetEnabled(true); }
    void Stop() override { SetEnabled(false); }
    bool IsActive() const override { return FEnabled; }

protected:
    TWindowTimer(std::int32_t interval, bool enabled) : FInterval(interval), FEnabled(enabled) {}
    /// Stops the platform's countdown and, when counting, starts it anew with
    /// the interval. A derived timer calls Update once it is built.
    virtual void Restart(bool counting) = 0;
    void Update() { Restart(FEnabled && FInterval > 0); }

private:
    std::int32_t FInterval;
    bool FEnabled;
};

} // namespace app
