#include "GradeSummary.h"
#include "GradingTestSupport.h"
#include "ShotGrading.h"

#include "Shotdata.h"

#include <gtest/gtest.h>

#include <limits>
#include <numeric>

TEST(GradeSummary, CountMapping)
{
    const std::pair<int, int> mapping[] = { { 0, 0 }, { 1, 1 }, { 2, 2 }, { 4, 2 }, { 5, 3 }, { 70, 3 }, { -1, 2 } };
    for (auto [in, out] : mapping)
        EXPECT_EQ(MapGradeCount(in), out) << in;
}

TEST(GradeSummary, RowsOfOneShot)
{
    ShotGradeLevels levels;
    levels.valid = true;
    levels.level3 = 2;
    levels.level5 = 4;
    for (size_t c = 0; c < levels.levels.size(); ++c)
        levels.levels[c] = { 3, int(c) % 6 };
    levels.levels[GradeAimY] = { 3, 9 };       // a file's points above 5
    levels.levels[GradeDeviationY] = { 7, -2 };
    levels.trigLevel = 1;
    levels.trigPoints = 5;
    // A count the file may hold up to the int limit: summed in 64 bits.
    levels.grade.dtcCtRow = DtcCtRow { 0.0, 3, 4, 5, 1, std::numeric_limits<int>::max(), 1 };
    levels.grade.trigWindowOk = false;

    GradeSummaryRecord record;
    InitGradeSummary(record);
    AddToGradeSummary(record, levels);
    AddToGradeSummary(record, levels);
    const auto& rows = record.rows;
    EXPECT_EQ(rows[0].levelCount[2], 2);
    EXPECT_EQ(rows[0].valueCount[4], 2);
    EXPECT_EQ(rows[0].levelSum, 4);
    EXPECT_EQ(rows[0].valueSum, 8);
    EXPECT_EQ(rows[1].valueCount[0], 2);       // score
    EXPECT_EQ(rows[2].count + rows[3].count, 0);
    EXPECT_EQ(rows[4].valueCount[1], 2);       // hold
    // Out of the histograms: only the sums and the count see them.
    EXPECT_EQ(rows[6].count, 2);
    EXPECT_EQ(rows[6].levelSum, 14);
    EXPECT_EQ(rows[6].valueSum, -4);
    EXPECT_EQ(rows[6].levelCount, (std::array<int, 4> {}));
    EXPECT_EQ(rows[9].valueSum, 18);
    EXPECT_EQ(rows[9].valueCount, (std::array<int, 6> {}));
    EXPECT_EQ(rows[10].levelCount[1], 2);
    EXPECT_EQ(rows[10].valueCount[5], 2);
    // Key 4 counts as value 4 and, mapped, as level 2.
    EXPECT_EQ(rows[11].valueCount[4], 2);
    EXPECT_EQ(rows[11].levelCount[2], 2);
    // Outside the trigger window: countOutside, mapped to 3.
    EXPECT_EQ(rows[12].valueSum, 2LL * std::numeric_limits<int>::max());
    EXPECT_EQ(rows[12].levelCount[3], 2);
    EXPECT_EQ(rows[12].valueCount, (std::array<int, 6> {}));
}

TEST(GradeSummary, CountsOnlyGradableShots)
{
    LoadGradingFile(ShippedGradingFile(), {});
    auto shooter = MakeShooter(MakeRingTarget(80));
    const GradeSummaryRecord empty = GradeSummary({ 1, 0 }, *shooter);
    for (int r = 0; r < GradeSummaryRecord::RowCount; ++r) {
        EXPECT_EQ(empty.rows[size_t(r)].id, r);
        EXPECT_EQ(empty.rows[size_t(r)].count, 0);
    }
    const auto wobble = [](int i, int& x, int& y, int&) { x = (i % 9) * 5 - 20; y = (i % 4) * 4 - 6; };
    AddTracedShot(*shooter, MakeTrace(150, wobble), 98, 10);
    AddTracedShot(*shooter, MakeTrace(120, wobble), 91, 20);
    AddTracedShot(*shooter, MakeTrace(60, wobble), 99, 30);       // too short
    AddTracedShot(*shooter, MakeTrace(150, wobble), 70, 40);
    shooter->GetShot(3)->raw.SetRingTargetIndex(RawShotRecord::NoTarget);

    const GradeSummaryRecord summary = GradeSummary({ 1, 0 }, *shooter);
    for (int r : { 0, 1, 4, 5, 6, 7, 8, 9, 10, 11, 12 })
        EXPECT_EQ(summary.rows[size_t(r)].count, 2) << r;
    EXPECT_EQ(summary.rows[2].count + summary.rows[3].count, 0);
    const auto& levels = summary.rows[0].levelCount;
    EXPECT_EQ(std::accumulate(levels.begin(), levels.end(), 0), 2);
    EXPECT_EQ(GradeSummary({ 0, 0 }, *shooter).rows[0].count, 0);
}
