#include "GradeSummary.h"
#include "GradingTestSupport.h"
#include "ShotGrading.h"

#include "Shotdata.h"

#include <gtest/gtest.h>

#include <limits>
#include <numeric>

TEST(GradeSummary, RowsOfOneShot)
{
    const std::pair<int, int> mapping[] = { { 0, 0 }, { 1, 1 }, { 2, 2 }, { 4, 2 }, { 5, 3 }, { 70, 3 }, { -1, 2 } };
    for (auto [in, out] : mapping)
        EXPECT_EQ(MapGradeCount(in), out) << in;

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

    // Each row as: count, level sum, value sum, the shots per level 0..3 and
    // per value 0..5. Values outside the histograms count in the sums only.
    // Rows: level3 and level5, score, two unused, hold, ..., trigger level and
    // points (10); key 4 counts as value 4 and, mapped, as level 2 (11);
    // outside the trigger window countOutside counts, mapped to 3 (12).
    QStringList rows;
    for (const auto& row : record.rows) {
        QStringList parts { QString::number(row.count), QString::number(row.levelSum), QString::number(row.valueSum) };
        for (int n : row.levelCount)
            parts << QString::number(n);
        for (int n : row.valueCount)
            parts << QString::number(n);
        rows << parts.join(' ');
    }
    EXPECT_EQ(rows, (QStringList { "2 4 8 0 0 2 0 0 0 0 0 2 0", "2 6 0 0 0 0 2 2 0 0 0 0 0", "0 0 0 0 0 0 0 0 0 0 0 0 0",
                                   "0 0 0 0 0 0 0 0 0 0 0 0 0", "2 6 2 0 0 0 2 0 2 0 0 0 0", "2 6 4 0 0 0 2 0 0 2 0 0 0",
                                   "2 14 -4 0 0 0 0 0 0 0 0 0 0", "2 6 8 0 0 0 2 0 0 0 0 2 0", "2 6 10 0 0 0 2 0 0 0 0 0 2",
                                   "2 6 18 0 0 0 2 0 0 0 0 0 0", "2 2 10 0 2 0 0 0 0 0 0 0 2", "2 4 8 0 0 2 0 0 0 0 0 2 0",
                                   "2 6 4294967294 0 0 0 2 0 0 0 0 0 0" }));
}

TEST(GradeSummary, CountsOnlyGradableShots)
{
    LoadGradingFile(ShippedGradingFile(), {});
    auto shooter = MakeShooter(MakeRingTarget(80));
    const GradeSummaryRecord empty = GradeSummary({ 1, 0 }, *shooter);
    for (int r = 0; r < GradeSummaryRecord::RowCount; ++r) {
        EXPECT_EQ(std::tuple(empty.rows[size_t(r)].id, empty.rows[size_t(r)].count), std::tuple(r, 0));
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
