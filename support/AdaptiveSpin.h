#pragma once

#include <chrono>
#include <cstdint>

namespace support {

/// How long to look for an answer before going to sleep on it.
///
/// Between two processes that answer each other within microseconds, a short
/// spin saves the cost of sleeping and waking. It pays only while the other
/// side runs at the same time: on one processor, or when other work keeps
/// the other side waiting for a processor, both sides spinning starve each
/// other. So the spin is tried, and after a spin that caught nothing the next
/// waits sleep at once, for twice as many waits at each further miss, until a
/// spin catches an answer again.
class TAdaptiveSpin {
public:
    /// limit: the longest spin. Never spins where this process may run on
    /// one processor only.
    explicit TAdaptiveSpin(std::chrono::microseconds limit);

    /// The time to spin before the next wait; zero for none.
    std::chrono::microseconds Budget();
    /// After a wait that spun: whether the answer came during the spin.
    void Spun(bool caught);

private:
    std::chrono::microseconds FLimit;
    std::uint32_t FSkip = 0;   ///< waits left that sleep at once
    std::uint32_t FMisses = 0; ///< spins in a row that caught nothing
};

} // namespace support
