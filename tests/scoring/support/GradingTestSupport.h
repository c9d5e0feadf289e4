// Helpers shared by the scoring tests: thrown messages and log lines, grading
// files written to a temporary folder, a recorder for load reports, and shots
// with made-up traces.
#pragma once

#include "DeviceRecords.h"
#include "GradingParameters.h"
#include "ShotAnalysis.h"
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

// The trace analyses' ring: 16 mm gaps, so one ring is 1 / 16.0001 per mm
// (the scorer's guard against a zero gap included).
RingTargetRecord AnalysisRing();
inline constexpr double AnalysisRingsPerMm = 1.0 / (16.0 + 0.0001);
// The analysis of trace on AnalysisRing() for a shot at (hitX, 0).
TraceAnalysis Analyse(const std::vector<TraceSample>& trace, int sliceMs = 0, int lr3SecBottom = 0, int hitX = 0);
// Sample deviation of n consecutive integers.
double ConsecutiveDeviation(int n);

// A measured shot whose every component lands on a known row of the grading
// rows file (tests/scoring/data/rows.tgp).
TraceAnalysis MeasuredAnalysis();

// A shooter with ring slot 0 defined as ring.
std::unique_ptr<TShooter> MakeShooter(const RingTargetRecord& ring);
// Adds a ring shot on slot 0 with the given trace, score (tenths) and hit.
void AddTracedShot(TShooter& shooter, const std::vector<TraceSample>& trace, int scoreTenths, int timeKey,
                   int hitX = 0, int hitY = 0);
