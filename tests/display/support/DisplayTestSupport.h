// Shared pieces of the display tests: the one GUI application object, a
// clock stepped by hand, and a debug-log recorder.
#pragma once

#include "Clock.h"

#include <QString>
#include <QStringList>

#include <cstdint>

// Creates the QGuiApplication on first call (gtest_main owns main).
void EnsureGuiApp();

class TManualClock : public IClock {
public:
    uint32_t TickCount() const override { return tick; }
    int64_t MonotonicNs() const override { return int64_t(tick) * 1000000; }
    void Advance(uint32_t ms) { tick += ms; }

    uint32_t tick = 0;
};

// Installs a manual clock for its lifetime.
class TClockOverride {
public:
    TClockOverride() { SetClock(&clock); }
    ~TClockOverride() { SetClock(nullptr); }
    TManualClock clock;
};

// Collects DebugLog lines for its lifetime.
class TLogRecorder {
public:
    TLogRecorder();
    ~TLogRecorder();
    QStringList lines;
};
