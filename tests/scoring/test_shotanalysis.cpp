#include "GradingTestSupport.h"
#include "ShotAnalysis.h"
#include "StatAccumulator.h"

#include "GradingParameters.h"
#include "Shotdata.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

const RingTargetRecord kRing = AnalysisRing();
const double kK = AnalysisRingsPerMm;

void ExpectFinite(const TraceAnalysis& a)
{
    for (double v : { a.cogX, a.cogY, a.holdRingTrend, a.holdRingIntercept, a.trendA, a.interceptA, a.trendB,
                      a.interceptB, a.steadiness, a.trendSpread, a.timingRatio, a.ringTrend, a.trigValue,
                      a.trigTime, a.trigDeviation })
        EXPECT_TRUE(std::isfinite(v));
}

} // namespace

// Means, deviations and lines of ordinary data are checked through the
// analyses below; here the degenerate inputs and decimal rounding.
TEST(StatAccumulator, DegenerateInputsAndDecimalSteps)
{
    StatAccumulator acc;
    EXPECT_EQ(acc.Mean().x, 0.0);
    acc.Add(7, -3, 1);
    EXPECT_EQ(acc.StdDev().x, 0.0);
    const StatLines single = acc.Regression();
    EXPECT_EQ(single.ax + single.bx + single.ay + single.by, 0.0);

    // Every z equal: no slope, the line goes through the mean.
    acc.Clear();
    for (double x : { 1.0, 2.0, 6.0 })
        acc.Add(x, 0, 3);
    EXPECT_EQ(acc.Regression().bx, 0.0);
    EXPECT_DOUBLE_EQ(acc.Regression().ax, 3.0);

    // Pinned: decimal steps that do not exist in binary.
    acc.Clear();
    for (double x : { 0.1, 0.2, 0.3 })
        acc.Add(x, x, x);
    EXPECT_DOUBLE_EQ(acc.StdDev().x, 0.1);
    EXPECT_DOUBLE_EQ(acc.Regression().bx, 1.0);
    EXPECT_NEAR(acc.Regression().ax, 0.0, 1e-15);
}

TEST(ShotAnalysis, SliceLengthAndMinimumTrace)
{
    EXPECT_EQ(std::tuple(TraceSliceLength(-5), TraceSliceLength(1000), TraceSliceLength(10)), std::tuple(13, 66, 0));
    EXPECT_GT(TraceSliceLength(INT_MAX), 0);   // 64-bit product, no overflow

    struct Case { int samples, sliceMs; bool valid; };
    const Case cases[] = { { 80, 0, false }, { 81, 0, true }, { 198, 1000, false }, { 199, 1000, true },
                           { 200, INT_MAX, false } };
    for (const Case& c : cases)
        EXPECT_EQ(Analyse(MakeTrace(c.samples, [](int, int& x, int&, int&) { x = 50; }), c.sliceMs).valid, c.valid)
            << c.samples << " samples, slices of " << c.sliceMs << " ms";
    EXPECT_FALSE(AnalyseTrace(nullptr, 0, RawShotRecord {}, kRing, 0, 0).valid);
}

TEST(ShotAnalysis, ConstantTrace)
{
    const TraceAnalysis a = Analyse(MakeTrace(120, [](int, int& x, int& y, int&) { x = 50; y = -30; }), 0, 0, 20);
    ASSERT_TRUE(a.valid);
    EXPECT_EQ(a.nearestSlice, 3);   // equal distances: the later slice
    EXPECT_EQ(std::tuple(a.devX + a.devY + a.holdRadius, a.steadiness + a.timingRatio), std::tuple(0, 0.0));
    EXPECT_NEAR(a.cogY, -3.0 * kK, 1e-12);
    EXPECT_EQ(a.cogXInt, 0);
    const double rv = 11.0 - kK * std::sqrt(34.0);
    EXPECT_NEAR(a.holdRingIntercept, rv, 1e-9);
    EXPECT_NEAR(a.interceptB, rv, 1e-9);
    EXPECT_NEAR(a.trigValue, (11.0 - 2.0 * kK) - rv, 1e-9);
    // The sums of squares leave a rounding residue of about 1e-8 here.
    EXPECT_NEAR(a.trigDeviation, 0.0, 1e-7);
}

TEST(ShotAnalysis, RampTowardsTheCentre)
{
    // X falls by 1 mm per sample and reaches the centre at the shot (last = 100).
    const int last = 100;
    const auto ramp = [&](int i, int& x, int& y, int&) { x = (last - i) * 10; y = 0; };
    const TraceAnalysis a = Analyse(MakeTrace(last + 1, ramp));
    ASSERT_TRUE(a.valid);
    EXPECT_EQ(a.nearestSlice, 3);
    // Hold window: 53 samples, 14 .. 66 mm from the centre.
    EXPECT_EQ(std::tuple(a.devX, a.devY, a.holdRadius), std::tuple(int(100 * kK * ConsecutiveDeviation(53)), 0, a.devX));
    EXPECT_DOUBLE_EQ(a.cogX, 40 * kK);
    EXPECT_EQ(a.cogXInt, 2);
    EXPECT_EQ(a.aimValue, 84);   // (10.9 - 2.49998) x 10
    EXPECT_EQ(a.holdWindowMs, 795);
    EXPECT_NEAR(a.holdRingTrend, 53 * kK, 1e-9);
    EXPECT_NEAR(a.trendA, 13 * kK, 1e-9);
    EXPECT_NEAR(a.interceptA, 11 - 14 * kK, 1e-9);
    EXPECT_NEAR(a.trendB, 52 * kK, 1e-9);
    EXPECT_NEAR(a.interceptB, 11 - 66 * kK, 1e-9);
    EXPECT_NEAR(a.trendSpread, -32.5 * kK, 1e-6);
    EXPECT_EQ(a.trendSpread, double(float(a.trendSpread)));
    EXPECT_NEAR(a.trigValue, 0.1, 1e-9);   // capped at 10.9
    EXPECT_NEAR(a.steadiness, 1.0, 1e-9);
    const double sliceSpread = ConsecutiveDeviation(13);
    EXPECT_NEAR(a.timingRatio, sliceSpread / std::sqrt(sliceSpread * sliceSpread + 0.001), 1e-9);
    EXPECT_NEAR(a.ringTrend, 99 * kK, 1e-9);
    EXPECT_NEAR(a.trigTime, 34 * kK, 1e-9);
    EXPECT_NEAR(a.trigDeviation, kK * ConsecutiveDeviation(34), 1e-9);

    // A floor of 8.0 rings stops the three-second trend 48 mm out.
    EXPECT_NEAR(Analyse(MakeTrace(last + 1, ramp), 0, 80).ringTrend, 48 * kK, 1e-9);
}

TEST(ShotAnalysis, FlaggedSamplesAndLongSlices)
{
    const TraceAnalysis flagged = Analyse(MakeTrace(150, [](int i, int& x, int& y, int& f) {
        x = i * 7;
        y = -i * 3;
        f = 0x10;
    }));
    ASSERT_TRUE(flagged.valid);
    ExpectFinite(flagged);
    EXPECT_EQ(flagged.devX + flagged.devY + flagged.holdRadius + flagged.holdWindowMs, 0);
    EXPECT_EQ(flagged.steadiness + flagged.timingRatio + flagged.cogX + flagged.trigDeviation, 0.0);

    // Windows of 66 samples reach past the shot; those indices are skipped.
    const auto wobble = [](int i, int& x, int& y, int&) { x = (i % 7) * 13; y = (i % 5) * 11; };
    const TraceAnalysis longSlices = Analyse(MakeTrace(199, wobble), 1000);
    ASSERT_TRUE(longSlices.valid);
    ExpectFinite(longSlices);
    EXPECT_GT(longSlices.timingRatio, 0.0);

    // Empty slices (slicems 10) leave the slice measures at 0.
    const TraceAnalysis empty = Analyse(MakeTrace(100, wobble), 10);
    ASSERT_TRUE(empty.valid);
    ExpectFinite(empty);
    EXPECT_EQ(empty.steadiness + empty.timingRatio, 0.0);
}

TEST(ShotAnalysis, ShotCacheFollowsTheSettings)
{
    ResetGradingParameters();
    auto shooter = MakeShooter(kRing);
    const auto wobble = [](int i, int& x, int& y, int&) { x = (i % 9) * 17 - 40; y = (i % 4) * 9; };
    AddTracedShot(*shooter, MakeTrace(150, wobble), 95, 10);
    TShot& shot = *shooter->GetShot(0);

    const TraceAnalysis first = AnalyseShotTrace(shot);
    ASSERT_TRUE(first.valid);
    EXPECT_TRUE(shot.analysisValid);
    shot.Curve()[140].SetX(3000);   // the cached result stands for the shot
    EXPECT_EQ(AnalyseShotTrace(shot).devX, first.devX);

    GradingParameters.sliceMs = 300;  // other settings: analysed afresh
    EXPECT_EQ(AnalyseShotTrace(shot).sliceMs, 300);
    EXPECT_EQ(shot.analysis.sliceMs, 300);
    ResetGradingParameters();

    // No ring target: nothing analysed, nothing cached.
    AddTracedShot(*shooter, MakeTrace(150, wobble), 95, 20);
    TShot& silhouette = *shooter->GetShot(1);
    silhouette.raw.SetRingTargetIndex(RawShotRecord::NoTarget);
    EXPECT_FALSE(AnalyseShotTrace(silhouette).valid);
    EXPECT_FALSE(silhouette.analysisValid);
    TShot loose;
    loose.raw.SetRingTargetIndex(0);        // no shooter
    EXPECT_FALSE(AnalyseShotTrace(loose).valid);
}
