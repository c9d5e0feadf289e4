#include "Clock.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <time.h>
#include <unistd.h>

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

int64_t ProcessAgeMs()
{
    // Field 22 of /proc/self/stat is the start time in clock ticks since
    // boot; the command name (field 2) may hold blanks, so count after ')'.
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    for (int n = 3; n <= 22; ++n)
        if (!(fields >> field))
            return -1;
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    timespec now {};
    if (ticksPerSecond <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return -1;
    char* end = nullptr;
    const unsigned long long startTicks = std::strtoull(field.c_str(), &end, 10);
    if (end == field.c_str() || *end != 0)
        return -1;
    const int64_t startMs = int64_t(startTicks) * 1000 / ticksPerSecond;
    const int64_t nowMs = int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    return nowMs - startMs;
}
