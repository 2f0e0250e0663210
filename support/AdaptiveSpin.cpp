#include "support/AdaptiveSpin.h"

#include <algorithm>
#include <thread>

#ifdef __linux__
#include <sched.h>
#endif

namespace support {

namespace {

bool SeveralProcessors() {
#ifdef __linux__
    // The processors this process may run on, not those the machine has.
    cpu_set_t set;
    CPU_ZERO(&set);
    return sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 1;
#else
    return std::thread::hardware_concurrency() > 1;
#endif
}

constexpr std::uint32_t kMaxSkip = 1024;

} // namespace

TAdaptiveSpin::TAdaptiveSpin(std::chrono::microseconds limit)
    : FLimit(SeveralProcessors() ? limit : std::chrono::microseconds(0)) {}

std::chrono::microseconds TAdaptiveSpin::Budget() {
    if (FSkip > 0) {
        --FSkip;
        return std::chrono::microseconds(0);
    }
    return FLimit;
}

void TAdaptiveSpin::Spun(bool caught) {
    if (caught) {
        FMisses = 0;
        return;
    }
    ++FMisses;
    FSkip = std::min<std::uint32_t>(kMaxSkip, 1u << std::min<std::uint32_t>(FMisses, 10));
}

} // namespace support
