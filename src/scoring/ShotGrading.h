// Grades one ring-target shot from its aiming trace against the loaded grading
// tables, for a panel's stance and difficulty: fifteen component points, the
// timing and trigger steps, an overall grade and the three-light levels.
#pragma once

#include "GradingParameters.h"
#include "TraceAnalysis.h"

#include <array>

class TShot;

// Component order of the grade records.
enum GradeComponent {
    GradeScore,
    GradeHold,
    GradeDeviationX,
    GradeDeviationY,
    GradeAim,
    GradeAimX,
    GradeAimY,
    GradeTireA,
    GradeTireB,
    GradeRegressionA,
    GradeRegressionB,
    GradeSpread,
    GradeTimingB,
    GradeTimingA,
    GradeRingValue,
    GradeComponentCount
};

// The loosest grade row of each component for one stance and difficulty;
// all null when the tables hold no row for it. Valid until the next load.
struct GradingLimitRows {
    std::array<const GradeRow*, GradeComponentCount> rows {};
    bool Empty() const { return rows[0] == nullptr; }
};

// All zero when not valid.
struct ShotGradeRecord {
    bool valid = false;
    double overall = 0.0;
    std::array<double, GradeComponentCount> componentPoints {};
    double timingTotal = 0.0;
    double timingResult = 0.0;
    std::array<GradeRow, GradeComponentCount> componentRows {};
    TireRow tireRow {};
    DtcCtRow dtcCtRow {};
    CtrRtvRow ctrRtvRow {};
    bool trigWindowOk = false;
    bool regressionGap1 = false;
    bool regressionGap2 = false;
    TraceAnalysis trace {};
};

struct GradeLevelResult {
    int level = 0;   // 1 red, 2 yellow, 3 green
    int value = 0;   // the graded value truncated
};

struct ShotGradeLevels {
    static constexpr int LevelCount = 9; // components GradeScore .. GradeTireB

    bool valid = false;
    ShotGradeRecord grade {};
    int level3 = 0;  // overall on the 3-step scale, 1..3
    int level5 = 0;  // overall on the 5-step scale, 1..5
    std::array<GradeLevelResult, LevelCount> levels {};
    int trigLevel = 0;
    int trigPoints = 0;
    std::array<bool, 5> blink {};  // kept by the panel
};

// True when a grade row exists for exactly this stance (1..3) and difficulty.
bool IsGradingRowAvailable(int stance, int difficulty);
// Stores the selection in the panel when rows exist for it; otherwise returns
// false and the panel keeps its selection.
bool SelectGradingRow(GradingSelection& panel, int stance, int difficulty);
// The start rows of every component. Cheap (one pass over at most 200 rows),
// so each grading picks them from its own panel's selection.
GradingLimitRows PickGradingLimitRows(int stance, int difficulty);

// Analyses and grades a shot; the all-zero record when the panel has no
// selection, the shot no ring target or too short a trace, or the tables no
// row for the selection.
ShotGradeRecord ComputeShotGrade(const GradingSelection& panel, TShot& shot);
// The grading of an analysed shot: scoreTenths is the shot's ring score x 10,
// highestRing that of its target.
ShotGradeRecord GradeShotAnalysis(const GradingSelection& panel, const TraceAnalysis& trace, int scoreTenths,
                                  int highestRing);
// The timing, ring-value and trigger steps of a grading (part of the above).
void ComputeShotTiming(const GradingSelection& panel, ShotGradeRecord& record);

GradeLevelResult GradeLevel(float value);
ShotGradeLevels ComputeShotGradeLevels(const ShotGradeRecord& grade);
