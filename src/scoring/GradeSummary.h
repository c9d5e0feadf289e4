// Counts the grades of all of a shooter's shots per grade component, for the
// grading summary page and the printout.
#pragma once

#include "GradingParameters.h"

#include <array>
#include <cstdint>

class TShooter;

struct GradeSummaryRow {
    int id = 0;
    std::array<int, 6> valueCount {};   // shots per value 0..5
    std::array<int, 4> levelCount {};   // shots per level 0..3
    int count = 0;
    int64_t levelSum = 0;   // 64 bits: no file value times any shot count overflows
    int64_t valueSum = 0;
};

// Rows: 0 overall (level3 / level5), 1 score, 2 and 3 unused, 4 hold,
// 5 deviation X, 6 deviation Y, 7 aim, 8 aim X, 9 aim Y, 10 trigger,
// 11 trigger key, 12 trigger window count.
struct GradeSummaryRecord {
    static constexpr int RowCount = 13;
    std::array<GradeSummaryRow, RowCount> rows {};
};

struct ShotGradeLevels;

void InitGradeSummary(GradeSummaryRecord& record);
// 0 -> 0, 1 -> 1, 2..4 -> 2, 5 and more -> 3, negative -> 2.
int MapGradeCount(int count);
// Counts one graded shot (levels.valid must be true).
void AddToGradeSummary(GradeSummaryRecord& record, const ShotGradeLevels& levels);
// Grades every shot of the shooter for the panel's selection; shots that
// cannot be graded are not counted.
GradeSummaryRecord GradeSummary(const GradingSelection& panel, const TShooter& shooter);
