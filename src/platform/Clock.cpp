#include "Clock.h"

#include <atomic>
#include <chrono>

namespace {

TRealClock realClock;
std::atomic<IClock*> installedClock { nullptr };

} // namespace

uint32_t TRealClock::TickCount() const
{
    // steady_clock is CLOCK_MONOTONIC on Linux: time since boot.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return uint32_t(uint64_t(ms.count()));
}

int64_t TRealClock::MonotonicNs() const
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

IClock& Clock()
{
    IClock* clock = installedClock.load(std::memory_order_acquire);
    return clock ? *clock : realClock;
}

void SetClock(IClock* clock)
{
    installedClock.store(clock, std::memory_order_release);
}

uint32_t TickCountMs()
{
    return Clock().TickCount();
}

int64_t MonotonicNs()
{
    return Clock().MonotonicNs();
}
