// Small sessions, targets and setups for the file tests, plus file helpers.
#pragma once

#include "DeviceRecords.h"
#include "Globals.h"
#include "Setupdata.h"
#include "Shotdata.h"
#include "TestFiles.h"
#include "TestReports.h"

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

namespace Fixtures {

// Restores the decimal separator a test changed.
struct SeparatorGuard {
    QChar saved = DecimalSeparator();
    ~SeparatorGuard() { SetDecimalSeparator(saved); }
};

using ::LogCapture;
using ::Message;

// 10 m air-rifle style ring: decimal scores, mm, fixed gaps.
RingTargetRecord AirRifleRing();
// A silhouette in yards and inches whose zone map has no symmetry, so a
// row/column swap or a flipped axis changes it.
SilhouetteTargetRecord TorsoSilhouette();
SilhouetteMatrix AsymmetricMatrix();

ModeBlock ClassicRingMode();
ModeBlock DynamicSilhouetteMode();

// One shot at ring slot 0 (score 9.5, inner ten, sector 3) with a 3-point
// trace, and one at silhouette slot 1 (zone 2, failure FOV) without a trace.
std::unique_ptr<TShot> RingShot();
std::unique_ptr<TShot> SilhouetteShot();

// A ring target as the file readers give it back: without its prism places.
RingTargetRecord RingAsRead(RingTargetRecord written);

// One shooter with the two shots above and both targets defined.
std::unique_ptr<TSession> SmallSession();

// A session file written and read through the file handler.
void SaveSession(TSession& session, const QString& path);
std::unique_ptr<TSession> LoadSession(const QString& path);

// The smallest ModeInfo and ring Target elements a setup file reader takes.
extern const char MinimalModeText[];
extern const char MinimalRingText[];

// Runs f and returns how many kB the process's peak resident memory rose
// above the resident memory at the start (the kernel's peak is reset first,
// so earlier tests do not hide it); -1 when the peak cannot be reset.
long long PeakGrowthKb(const std::function<void()>& f);

}  // namespace Fixtures
