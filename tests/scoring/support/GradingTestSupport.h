// Helpers shared by the scoring tests: thrown messages and log lines, grading
// files written to a temporary folder, a recorder for load reports, and shots
// with made-up traces.
#pragma once

#include "DeviceRecords.h"
#include "GradingParameters.h"
#include "TestReports.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <ostream>
#include <vector>

class TShooter;

// A shot result as the unit sends it: position in raw units, failure bits.
RawShotRecord ShotResult(int x, int y, int failures = 0);

// Writes text to a new file in a folder that lives as long as the test
// program; returns its path.
QString WriteGradingFile(const QByteArray& text);

// The shipped default grading file, seen from the tests' working directory.
QString ShippedGradingFile();

struct ReportRecorder {
    QStringList texts;
    QStringList captions;
    GradingReporter Reporter()
    {
        return [this](const QString& text, const QString& caption) {
            texts << text;
            captions << caption;
        };
    }
};

// A ring target with fixed 0.1 mm gaps: HitRingGap in 0.1 mm, highest ring.
RingTargetRecord MakeRingTarget(int hitRingGap, int highestRing = 10);

// Fills sample i (0 = oldest) with X, Y (0.1 mm) from f.
using SampleFunction = std::function<void(int i, int& x, int& y, int& failures)>;
std::vector<TraceSample> MakeTrace(int count, const SampleFunction& f);

// A shooter with ring slot 0 defined as ring.
std::unique_ptr<TShooter> MakeShooter(const RingTargetRecord& ring);
// Adds a ring shot on slot 0 with the given trace, score (tenths) and hit.
void AddTracedShot(TShooter& shooter, const std::vector<TraceSample>& trace, int scoreTenths, int timeKey,
                   int hitX = 0, int hitY = 0);
