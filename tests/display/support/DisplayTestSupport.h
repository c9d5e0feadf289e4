// Shared pieces of the display tests: the one GUI application object, a
// clock stepped by hand, a debug-log recorder, generated art and test shots.
#pragma once

#include "Clock.h"
#include "Shotdata.h"
#include "TestReports.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <ostream>

// Creates the QGuiApplication on first call (gtest_main owns main).
void EnsureGuiApp();

// The message of the Exception f throws; empty when it throws none.
template <class F>
QString ThrownMessage(F&& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return {};
}

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

using TLogRecorder = LogCapture;

// The UI pictures written once per process into a temporary application
// folder (root), under root + "/Bitmaps".
struct TGeneratedArt {
    QString root;
    int written = 0;
    QStringList errors;
};
const TGeneratedArt& GeneratedArt();

// Points AppFolder at the generated art and empties the picture cache for
// its lifetime.
class TArtFolderScope {
public:
    TArtFolderScope();
    ~TArtFolderScope();

private:
    QString saved;
};

// Ring 10 has radius 4 mm, every ring below adds 4 mm (ring 1: 40 mm); black
// area radius 20 mm, inner white disc 3 mm, X ring 1 mm.
RingTargetRecord TestRing(int distance = 100);

// Makes target the shooter's current target and its slot 0 of each kind.
void UseTarget(TShooter& shooter, const TargetDescription& target);

// Shots on ring target 0 / silhouette target 0.
std::unique_ptr<TShot> NewRingShot(int tenths, int failures = 0);
std::unique_ptr<TShot> NewFieldShot(int zone, bool centreHit = false, int failures = 0);
