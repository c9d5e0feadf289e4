#include "GradingTestSupport.h"
#include "ShotGrading.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// Grading rows (a stand group and an expert kneel group) and the timing rows
// (a trigger row that would match without the ring-value row comes first).
QByteArray Rows() { return TestData("rows.tgp"); }
QByteArray TimingRows() { return TestData("timing.tgp"); }

const GradingSelection kStand { 1, 0 };

} // namespace

TEST(ShotGrading, ComponentsDirectionsAndTies)
{
    ASSERT_EQ(LoadGradingFile(WriteGradingFile(Rows()), {}), 6);
    const GradingLimitRows limits = PickGradingLimitRows(1, 0);
    ASSERT_FALSE(limits.Empty());
    // The earlier of two equally loose rows is the start.
    EXPECT_EQ(std::tuple(limits.rows[GradeHold], limits.rows[GradeScore], limits.rows[GradeTireB]),
              std::tuple(&GradingTables.grade[0], &GradingTables.grade[0], &GradingTables.grade[0]));
    EXPECT_TRUE(PickGradingLimitRows(3, 0).Empty());

    const ShotGradeRecord g = GradeShotAnalysis(kStand, MeasuredAnalysis(), 85, 10);
    ASSERT_TRUE(g.valid);
    const std::array<double, GradeComponentCount> expected = { 2, 2, 3, 1, 2, 3, 1, 2, 2, 2, 3, 2, 3, 2, 2 };
    EXPECT_EQ(std::tuple(g.componentPoints, g.componentRows[GradeHold]), std::tuple(expected, GradingTables.grade[1]));
    EXPECT_EQ(g.componentRows[GradeDeviationX], GradingTables.grade[2]);   // the tie stays on the earlier row
    EXPECT_EQ(g.tireRow, (TireRow { 1, 0, 2, 0, 100 }));                   // hold level 2: yellow
    EXPECT_TRUE(g.trace.valid);
    EXPECT_EQ(g.overall, 1.5);   // (2 + 2 + 2 + 0) / 4
    EXPECT_EQ(std::tuple(bool(g.regressionGap1), bool(g.regressionGap2), bool(g.trigWindowOk)), std::tuple(true, false, true));

    // A target topped by ring 9 grades the score one ring up.
    EXPECT_EQ(GradeShotAnalysis(kStand, MeasuredAnalysis(), 85, 9).componentPoints[GradeScore], 3);
    // Missing even the loosest row keeps its points.
    EXPECT_EQ(GradeShotAnalysis(kStand, MeasuredAnalysis(), 10, 10).componentPoints[GradeScore], 1);

    // Squares of a large hold value must not wrap into "met".
    TraceAnalysis wide = MeasuredAnalysis();
    wide.holdRadius = 50000;
    EXPECT_EQ(GradeShotAnalysis(kStand, wide, 85, 10).componentPoints[GradeHold], 1);

    // Not graded: no selection, a stance outside 1..3, no rows, no analysis.
    for (const GradingSelection none : { GradingSelection { 0, 0 }, GradingSelection { 7, 0 }, GradingSelection { 1, 2 } })
        EXPECT_FALSE(GradeShotAnalysis(none, MeasuredAnalysis(), 85, 10).valid) << none.stance << "/" << none.difficulty;
    EXPECT_FALSE(GradeShotAnalysis(kStand, TraceAnalysis {}, 85, 10).valid);
}

TEST(ShotGrading, TimingRingValueAndTrigger)
{
    LoadGradingFile(WriteGradingFile(Rows() + TimingRows()), {});
    const ShotGradeRecord g = GradeShotAnalysis(kStand, MeasuredAnalysis(), 85, 10);
    ASSERT_TRUE(g.valid);
    // Ratio 1.0: past the 0.8 row, the 1.1 row is the smallest limit above it.
    EXPECT_EQ(std::tuple(g.ctrRtvRow, g.componentPoints[GradeRingValue]), std::tuple((CtrRtvRow { 2, 4, 1.1 }), 4));
    // Trigger rows of timing B 3 and ring value 4: -0.3 falls to the -0.5 row.
    EXPECT_EQ(g.dtcCtRow, (DtcCtRow { -0.5, 3, 4, 3, 2, 2, 4 }));
    EXPECT_EQ(g.overall, 2.25);   // (2 + 2 + 2 + 3) / 4
    // t = (3 + 2) / 2 = 2.5: timing limit 2 is the nearest below.
    EXPECT_EQ(g.timingTotal, 2);
    // s = 2 (ring value before the row) + 2: the first row with points stays.
    EXPECT_EQ(g.timingResult, 1);

    // Past the ratio limit timing B counts alone: t = 3 reaches the 2.8 row.
    GradingParameters.tcrtvTiming1Limit = 50;
    EXPECT_EQ(GradeShotAnalysis(kStand, MeasuredAnalysis(), 85, 10).timingTotal, 3);
    // A weight of -100 % would divide by 0: timing B alone as well.
    GradingParameters.tcrtvTiming1Limit = 100;
    GradingParameters.timing1Weight = -100;
    const ShotGradeRecord noWeight = GradeShotAnalysis(kStand, MeasuredAnalysis(), 85, 10);
    EXPECT_EQ(std::tuple(noWeight.timingTotal, bool(std::isfinite(noWeight.timingResult))), std::tuple(3, true));

    // Trigger time outside the window.
    TraceAnalysis late = MeasuredAnalysis();
    late.trigTime = 0.6;
    EXPECT_FALSE(GradeShotAnalysis(kStand, late, 85, 10).trigWindowOk);
    late.trigTime = 0.0;
    late.trigDeviation = 1.6;
    EXPECT_FALSE(GradeShotAnalysis(kStand, late, 85, 10).trigWindowOk);

    // Weights adding up to 0 give no overall grade instead of NaN.
    GradingParameters.hitWeight = GradingParameters.holdWeight = GradingParameters.aimWeight = 0;
    GradingParameters.trigWeight = 0;
    const ShotGradeRecord unweighted = GradeShotAnalysis(kStand, MeasuredAnalysis(), 85, 10);
    EXPECT_EQ(std::tuple(bool(unweighted.valid), unweighted.overall), std::tuple(true, 0.0));
}

TEST(ShotGrading, SelectionBelongsToEachPanel)
{
    LoadGradingFile(WriteGradingFile(Rows()), {});
    GradingSelection standPanel { 1, 0 };
    GradingSelection kneelPanel { 1, 0 };
    EXPECT_FALSE(SelectGradingRow(kneelPanel, 2, 0));   // kneel has expert rows only
    EXPECT_EQ(kneelPanel.stance, 1);
    EXPECT_FALSE(SelectGradingRow(kneelPanel, 9, 0));
    EXPECT_TRUE(SelectGradingRow(kneelPanel, 2, 2));
    EXPECT_TRUE(SelectGradingRow(standPanel, 1, 0));

    // The panel selected last does not change what the other one grades.
    EXPECT_EQ(GradeShotAnalysis(standPanel, MeasuredAnalysis(), 85, 10).componentPoints[GradeHold], 2);
    EXPECT_EQ(GradeShotAnalysis(kneelPanel, MeasuredAnalysis(), 85, 10).componentPoints[GradeHold], 4);
}

TEST(ShotGrading, LevelsAndOverallScales)
{
    LoadGradingFile(WriteGradingFile(Rows()), {});
    EXPECT_EQ(std::tuple(GradeLevel(2.9f).level, GradeLevel(3.0f).level, GradeLevel(-1.5f).value), std::tuple(2, 3, -1));
    EXPECT_EQ(GradeLevel(float(2.99999999)).level, 3);   // compared in single precision
    EXPECT_FALSE(ComputeShotGradeLevels(ShotGradeRecord {}).valid);

    // All weights 1: a = 10 x levels of score, hold, aim and trigger against
    // 4 x (18, 25); b = 10 x the points against 4 x (15, 25, 35, 45).
    struct Case { int score, hold, aim, trigLevel, trigPoints, level3, level5; };
    const Case cases[] = {
        { 3, 3, 2, 2, 4, 3, 3 },   // a = 100: green; b = 120
        { 3, 3, 1, 2, 4, 2, 3 },   // a = 90: yellow; b = 110
        { 0, 0, 0, 0, 0, 1, 1 },
        { 5, 5, 5, 3, 5, 3, 5 },   // b = 200
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.score << c.hold << c.aim << c.trigLevel << c.trigPoints);
        ShotGradeRecord g;
        g.valid = true;
        g.componentPoints[GradeScore] = c.score;
        g.componentPoints[GradeHold] = c.hold;
        g.componentPoints[GradeAim] = c.aim;
        g.dtcCtRow.trigLevel = c.trigLevel;
        g.dtcCtRow.trigPoints = c.trigPoints;
        const ShotGradeLevels levels = ComputeShotGradeLevels(g);
        ASSERT_TRUE(levels.valid);
        EXPECT_EQ(std::tuple(levels.trigPoints, levels.level3, levels.level5), std::tuple(c.trigPoints, c.level3, c.level5));
    }
    GradingParameters.step3GreenLimit = 2147483647;   // no overflow with extreme limits
    GradingParameters.hitWeight = 2147483647;
    ShotGradeRecord zero;
    zero.valid = true;
    EXPECT_EQ(ComputeShotGradeLevels(zero).level3, 1);
}
