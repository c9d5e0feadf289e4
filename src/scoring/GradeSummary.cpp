#include "GradeSummary.h"

#include "ShotGrading.h"
#include "Shotdata.h"

namespace {

// Values and levels come from the grading file and may lie outside the
// histograms: they still count in the sums.
void Count(GradeSummaryRow& row, int level, int value)
{
    if (level >= 0 && level < int(row.levelCount.size()))
        ++row.levelCount[size_t(level)];
    if (value >= 0 && value < int(row.valueCount.size()))
        ++row.valueCount[size_t(value)];
    row.levelSum += level;
    row.valueSum += value;
    ++row.count;
}

} // namespace

void InitGradeSummary(GradeSummaryRecord& record)
{
    record = GradeSummaryRecord {};
    for (int r = 0; r < GradeSummaryRecord::RowCount; ++r)
        record.rows[size_t(r)].id = r;
}

int MapGradeCount(int count)
{
    if (count == 0)
        return 0;
    if (count == 1)
        return 1;
    if (count >= 5)
        return 3;
    return 2;
}

void AddToGradeSummary(GradeSummaryRecord& record, const ShotGradeLevels& levels)
{
    auto& rows = record.rows;
    Count(rows[0], levels.level3, levels.level5);
    const auto component = [&](int row, int c) {
        Count(rows[size_t(row)], levels.levels[size_t(c)].level, levels.levels[size_t(c)].value);
    };
    component(1, GradeScore);
    component(4, GradeHold);
    component(5, GradeDeviationX);
    component(6, GradeDeviationY);
    component(7, GradeAim);
    component(8, GradeAimX);
    component(9, GradeAimY);
    Count(rows[10], levels.trigLevel, levels.trigPoints);
    const DtcCtRow& trig = levels.grade.dtcCtRow;
    Count(rows[11], MapGradeCount(trig.key14), trig.key14);
    const int n = levels.grade.trigWindowOk ? trig.countInside : trig.countOutside;
    Count(rows[12], MapGradeCount(n), n);
}

GradeSummaryRecord GradeSummary(const GradingSelection& panel, const TShooter& shooter)
{
    GradeSummaryRecord record;
    InitGradeSummary(record);
    for (TShot* shot : shooter.SnapshotShots()) {
        const ShotGradeRecord grade = ComputeShotGrade(panel, *shot);
        if (!grade.valid)
            continue;
        const ShotGradeLevels levels = ComputeShotGradeLevels(grade);
        if (levels.valid)
            AddToGradeSummary(record, levels);
    }
    return record;
}
