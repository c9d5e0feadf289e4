// Condenses the aiming trace recorded before a ring-target shot into a
// TraceAnalysis: hold steadiness and centre, ring-value trends, timing ratios
// and the trigger measures the grading holds against its limits.
#pragma once

#include "DeviceRecords.h"
#include "TraceAnalysis.h"

class TShot;

// Trace samples per second; one sample is taken as 15 ms.
constexpr int TraceSamplesPerSecond = 66;
constexpr int TraceSampleMs = 15;

// Ring gaps per millimetre: 1 / (HitRingGap in mm + 0.0001).
double RingGapScale(const RingTargetRecord& ring);
// 11 - k * distance: the ring value of a point given in millimetres.
double RingValueAt(double k, double xMm, double yMm);
// Samples per slice: 13, or sliceMs x 66 / 1000 when sliceMs is above 0.
long long TraceSliceLength(int sliceMs);

// The analysis proper. samples[count - 1] is the moment of the shot; flagged
// samples are left out. Fewer than 81 samples (or fewer than three slices and
// one) give the all-zero record.
TraceAnalysis AnalyseTrace(const TraceSample* samples, int count, const RawShotRecord& shot,
                           const RingTargetRecord& ring, int sliceMs, int lr3SecBottom);

// The ring target of a shot from its shooter's table; null when the shot has
// none (silhouette shot, no shooter, slot not defined).
const RingTargetRecord* ShotRingTarget(const TShot& shot);

// Analyses a shot with the loaded grading settings and caches a valid result
// in the shot; a cached result is reused while those settings are unchanged.
TraceAnalysis AnalyseShotTrace(TShot& shot);
