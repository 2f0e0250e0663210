#pragma once

#include "aloha/RunContext.h"

#include <cstdint>
#include <functional>

/// A window timer as the form model drives it.
namespace app {

/// Fires OnTimer every Interval milliseconds while enabled. Each window
/// provides it on its own platform's timer.
///
/// An interval of 0 (or below) never fires; setting the interval it already
/// has changes nothing; a different interval restarts a running timer's
/// countdown; a disabled timer only stores it. Enabling an enabled timer does
/// not restart it.
class IWindowTimer : public aloha::IRunTimer {
public:
    std::function<void()> OnTimer;

    virtual std::int32_t Interval() const = 0;
    virtual void SetInterval(std::int32_t interval) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetEnabled(bool enabled) = 0;

    void Start() override { SetEnabled(true); }
    void Stop() override { SetEnabled(false); }
    bool IsActive() const override { return Enabled(); }
};

} // namespace app
