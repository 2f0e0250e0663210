#pragma once

#include "app/model/WindowTimer.h"

#include <QTimer>

#include <cstdint>
#include <functional>

/// A window timer: an interval in milliseconds and an enabled switch.
namespace app {

/// The window timer on a QTimer (see TWindowTimer for how it differs from a
/// bare QTimer).
class TTimer : public TWindowTimer {
public:
    explicit TTimer(std::int32_t interval = 1000, bool enabled = true);

    /// True while the countdown actually runs (enabled with a positive interval).
    bool Counting() const { return FTimer.isActive(); }

protected:
    void Restart(bool counting) override;

private:
    QTimer FTimer;
};

} // namespace app
