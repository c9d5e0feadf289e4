// The program's time source. Drawing code (animations, blinking) and timing
// waits ask the installed clock instead of the system, so that tests can step
// time by hand.
#pragma once

#include <cstdint>

class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds since system start, wrapping at 2^32 like the classic
    // tick counter; compare ticks by unsigned difference.
    virtual uint32_t TickCount() const = 0;
    // Nanoseconds of a monotonic clock with an arbitrary origin; never wraps.
    virtual int64_t MonotonicNs() const = 0;
};

// The system's monotonic clock.
class TRealClock : public IClock {
public:
    uint32_t TickCount() const override;
    int64_t MonotonicNs() const override;
};

// The installed clock; the real clock until SetClock names another. The
// caller keeps ownership of an installed clock and must restore the real one
// (SetClock(nullptr)) before destroying it.
IClock& Clock();
void SetClock(IClock* clock);

// Shorthands for Clock().TickCount() and Clock().MonotonicNs().
uint32_t TickCountMs();
int64_t MonotonicNs();

// Milliseconds since this process started (the kernel's start time, 10 ms
// resolution), whatever clock is installed; -1 when unknown. For start-up
// figures in the diagnostics log.
int64_t ProcessAgeMs();
