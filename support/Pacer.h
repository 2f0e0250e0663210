#pragma once

#include <chrono>

namespace support {

/// Lets a recurring step happen at most once per interval of the steady
/// clock: long loops ask it on every turn, cheaply, and act when it says so.
class TPacer {
public:
    using TClock = std::chrono::steady_clock;

    explicit TPacer(TClock::duration interval) : FInterval(interval) {}

    /// True on the first call and whenever the interval has passed since the
    /// last call that returned true.
    bool Due() {
        const TClock::time_point now = TClock::now();
        if (FStarted && now - FLast < FInterval)
            return false;
        FStarted = true;
        FLast = now;
        return true;
    }

private:
    TClock::duration FInterval;
    TClock::time_point FLast{};
    bool FStarted = false;
};

} // namespace support
