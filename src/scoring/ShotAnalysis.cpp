#include "ShotAnalysis.h"

#include "GradingParameters.h"
#include "Shotdata.h"
#include "StatAccumulator.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr int kNearSlices = 3;
constexpr int kSpreadSlices = 6;
constexpr int kSlidingWindows = 53;
constexpr int kMinimumLast = 80;        // 81 samples at least
constexpr int kHoldWindow = 66;         // one second
// The longest slice that can still fit a trace: longer ones fail the 3-slice
// test anyway, and this keeps every index product far from overflow.
constexpr long long kSliceCap = 1LL << 24;

double Spread(const StatAccumulator& acc)
{
    const StatPair d = acc.StdDev();
    return std::sqrt(d.x * d.x + d.y * d.y);
}

double Trend(const StatAccumulator& acc, double* intercept = nullptr)
{
    const StatLines lines = acc.Regression();
    if (intercept)
        *intercept = lines.ax;
    return lines.bx * acc.Count();
}

class Trace {
public:
    Trace(const TraceSample* samples, long long last, double k) : samples_(samples), last_(last), k_(k) {}

    bool Usable(long long i) const { return i >= 0 && i <= last_ && samples_[i].Failures() == 0; }
    double XMm(long long i) const { return samples_[i].X() * 0.1; }
    double YMm(long long i) const { return samples_[i].Y() * 0.1; }
    double RingValue(long long i) const { return RingValueAt(k_, XMm(i), YMm(i)); }

    // Adds samples start .. start + length - 1 with z = position in the run.
    void AddRun(StatAccumulator& acc, long long start, long long length) const
    {
        for (long long n = 0; n < length; ++n) {
            if (Usable(start + n))
                acc.Add(XMm(start + n), YMm(start + n), double(n));
        }
    }

private:
    const TraceSample* samples_;
    long long last_;
    double k_;
};

} // namespace

double RingGapScale(const RingTargetRecord& ring)
{
    const double unit = ring.SizesInInch() ? 0.254 : 0.1;
    return 1.0 / (ring.HitRingGap() * unit + 0.0001);
}

double RingValueAt(double k, double xMm, double yMm)
{
    return 11.0 - k * std::sqrt(xMm * xMm + yMm * yMm);
}

long long TraceSliceLength(int sliceMs)
{
    if (sliceMs <= 0)
        return 13;
    return std::min<long long>(static_cast<long long>(sliceMs) * 66 / 1000, kSliceCap);
}

TraceAnalysis AnalyseTrace(const TraceSample* samples, int count, const RawShotRecord& shot,
                           const RingTargetRecord& ring, int sliceMs, int lr3SecBottom)
{
    TraceAnalysis a;
    if (!samples || count <= 0)
        return a;
    const long long last = count - 1;
    const long long s = TraceSliceLength(sliceMs);
    if (last < kHoldWindow || last < 3 * s || last < kMinimumLast)
        return a;

    const double k = RingGapScale(ring);
    const Trace trace(samples, last, k);

    // The three slices before the shot: which one was aimed nearest the centre.
    std::array<StatAccumulator, kNearSlices> nearSlices {};
    for (int j = 0; j < kNearSlices; ++j)
        trace.AddRun(nearSlices[size_t(j)], last - (kNearSlices - j) * s, s);
    double nearest = 0.0;
    for (int j = 0; j < kNearSlices; ++j) {
        const StatPair m = nearSlices[size_t(j)].Mean();
        const double d = m.x * m.x + m.y * m.y;
        if (j == 0 || d <= nearest) {
            nearest = d;
            a.nearestSlice = j + 1;
        }
    }

    // Six slices ending at the shot: the last one's spread against the others.
    std::array<StatAccumulator, kSpreadSlices> slices {};
    for (int j = 0; j < kSpreadSlices; ++j)
        trace.AddRun(slices[size_t(j)], last - (j + 1) * s, s);
    const double lastSpread = Spread(slices[0]);
    double earlierSpread = 0.0;
    for (int j = 1; j < kSpreadSlices; ++j)
        earlierSpread += Spread(slices[size_t(j)]);
    if (earlierSpread != 0.0)
        a.steadiness = lastSpread / (0.2 * earlierSpread);

    // Sliding windows over the second before the last 0.4 s. A long slice
    // would run past the shot: those indices are skipped like any other gap.
    double sumSx = 0.0;
    double sumSy = 0.0;
    int windows = 0;
    for (int w = 0; w < kSlidingWindows; ++w) {
        StatAccumulator acc;
        trace.AddRun(acc, last - 79 + w, s);
        if (acc.Count() > 1) {
            const StatPair d = acc.StdDev();
            sumSx += d.x;
            sumSy += d.y;
            ++windows;
        }
    }
    if (windows > 0) {
        const double mx = sumSx / windows;
        const double my = sumSy / windows;
        a.timingRatio = lastSpread / std::sqrt(mx * mx + my * my + 0.001);
    }

    // Hold window: the second before the shot without its last 0.2 s, and the
    // two sub-windows W1 (last 0.2 s) and W2 (1 s to 0.2 s before the shot).
    const double holdEnd = double(last) - 13.2;
    const long long w1Start = SaturatingCast<long long>(holdEnd);
    const long long w2Start = SaturatingCast<long long>(double(last) - 66.0);
    StatAccumulator hold;
    StatAccumulator holdRing;
    StatAccumulator w1;
    StatAccumulator w2;
    for (int i = kHoldWindow - 1; i >= -14; --i) {
        const long long idx = last - kHoldWindow + i;
        if (!trace.Usable(idx))
            continue;
        const double x = trace.XMm(idx);
        const double y = trace.YMm(idx);
        const double rv = RingValueAt(k, x, y);
        if (i >= 0 && double(idx) <= holdEnd) {
            hold.Add(x * k, y * k, i);
            holdRing.Add(rv, 0.0, i);
        }
        if (idx >= w1Start && idx < last - 1)
            w1.Add(rv, 0.0, double(idx - w1Start));
        if (idx >= w2Start && idx < w1Start)
            w2.Add(rv, 0.0, double(idx - w2Start));
    }
    if (hold.Count() >= 2) {
        const StatPair d = hold.StdDev();
        a.devX = SaturatingCast<int>(100.0 * d.x);
        a.devY = SaturatingCast<int>(100.0 * d.y);
        a.holdRadius = SaturatingCast<int>(100.0 * std::sqrt(d.x * d.x + d.y * d.y));
        const StatPair cog = hold.Mean();
        a.cogX = cog.x;
        a.cogY = cog.y;
        a.cogXInt = SaturatingCast<int>(cog.x);
        a.cogYInt = SaturatingCast<int>(cog.y);
        // The centre is already in ring gaps: its distance is taken as it is.
        a.aimValue = SaturatingCast<int>((10.9 - std::sqrt(cog.x * cog.x + cog.y * cog.y)) * 10.0);
        a.holdRingTrend = Trend(holdRing, &a.holdRingIntercept);
        a.holdWindowMs = hold.Count() * TraceSampleMs;
        if (w1.Count() > 0)
            a.trendA = Trend(w1, &a.interceptA);
        if (w2.Count() > 0) {
            a.trendB = Trend(w2, &a.interceptB);
            a.trendSpread = float((0.5 * a.trendB + a.interceptB) - (0.5 * a.trendA + a.interceptA));
            const double shotValue = RingValueAt(k, shot.X() * 0.1, shot.Y() * 0.1);
            a.trigValue = shotValue - std::min(a.interceptB + 1.25 * a.trendB, 10.9);
        }
    }

    // The last three seconds: the ring-value trend while it stays above the
    // floor, and the trigger window (two seconds ending one second before).
    StatAccumulator ringTrend;
    StatAccumulator trigPosition;
    StatAccumulator trigRing;
    bool aboveFloor = true;
    const long long stop = std::max<long long>(last - 200, 0);
    for (long long i = last - 1; i > stop; --i) {
        if (!trace.Usable(i))
            continue;
        const double x = trace.XMm(i);
        const double y = trace.YMm(i);
        const double rv = RingValueAt(k, x, y);
        if (aboveFloor && rv * 10.0 < lr3SecBottom)
            aboveFloor = false;
        if (aboveFloor)
            ringTrend.Add(rv, 0.0, double(i));
        if (i >= last - 198 && i <= last - 66) {
            trigPosition.Add(x * k, y * k, double(i));
            trigRing.Add(rv, 0.0, double(i));
        }
    }
    a.ringTrend = Trend(ringTrend);
    a.trigTime = Trend(trigRing);
    a.trigDeviation = Spread(trigPosition);

    a.valid = true;
    a.sliceMs = sliceMs;
    a.lr3SecBottom = lr3SecBottom;
    return a;
}

const RingTargetRecord* ShotRingTarget(const TShot& shot)
{
    const int index = shot.raw.RingTargetIndex();
    if (!shot.shooter || index >= DeviceSetup::SlotCount)
        return nullptr;
    const DeviceSetup& table = shot.shooter->targets;
    if (!table.ringDefined[size_t(index)])
        return nullptr;
    return &table.ringTargets[size_t(index)];
}

TraceAnalysis AnalyseShotTrace(TShot& shot)
{
    const int sliceMs = GradingParameters.sliceMs;
    const int lr3SecBottom = GradingParameters.lr3SecBottom;
    if (shot.analysisValid && shot.analysis.valid && shot.analysis.sliceMs == sliceMs
        && shot.analysis.lr3SecBottom == lr3SecBottom)
        return shot.analysis;
    const RingTargetRecord* ring = ShotRingTarget(shot);
    if (!ring)
        return {};
    const TraceAnalysis a = AnalyseTrace(shot.Curve(), shot.CurveCount(), shot.raw, *ring, sliceMs, lr3SecBottom);
    if (a.valid) {
        shot.analysis = a;
        shot.analysisValid = true;
    }
    return a;
}
