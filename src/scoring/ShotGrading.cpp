#include "ShotGrading.h"

#include "Globals.h"
#include "ShotAnalysis.h"
#include "Shotdata.h"

#include <cmath>
#include <cstdlib>

namespace {

// How a component reads the grade rows: its column, and whether the loosest
// limit is the largest one (then "met" is v <= limit and stricter is smaller)
// or the smallest one (then "met" is limit <= v and stricter is larger).
struct ComponentRule {
    int GradeRow::*column;
    bool loosestIsLargest;
    bool measured;   // the tire components take their start rows as they are
};

constexpr std::array<ComponentRule, GradeComponentCount> kRules = { {
    { &GradeRow::scoreLimit, false, true },
    { &GradeRow::holdLimit, true, true },
    { &GradeRow::col19, true, true },
    { &GradeRow::col20, true, true },
    { &GradeRow::aimLimit, false, true },
    { &GradeRow::aimLimit, false, true },
    { &GradeRow::aimLimit, false, true },
    { &GradeRow::col7, true, false },
    { &GradeRow::col8, false, false },
    { &GradeRow::col9, true, true },
    { &GradeRow::col10, true, true },
    { &GradeRow::col11, true, true },
    { &GradeRow::col13, false, true },
    { &GradeRow::col12, false, true },
    { &GradeRow::col14, true, true },
} };

bool ValidStance(int stance)
{
    return stance >= 1 && stance <= 3;
}

bool Matches(const GradeRow& row, const GradingSelection& panel)
{
    return row.group == panel.stance && row.difficulty == panel.difficulty;
}

// Larger-is-looser columns get looser with a larger value, and the reverse.
bool Looser(const ComponentRule& rule, const GradeRow& candidate, const GradeRow& current)
{
    const int a = candidate.*rule.column;
    const int b = current.*rule.column;
    return rule.loosestIsLargest ? a > b : a < b;
}

bool Stricter(const ComponentRule& rule, const GradeRow& candidate, const GradeRow& current)
{
    const int a = candidate.*rule.column;
    const int b = current.*rule.column;
    return rule.loosestIsLargest ? a < b : a > b;
}

struct Measures {
    std::array<double, GradeComponentCount> v {};
    long long scoreHundredths = 0;
    long long scoreOffset = 0;   // one ring per ring the target's top is below 10
    long long holdRadius = 0;
};

Measures Measure(const TraceAnalysis& t, int scoreTenths, int highestRing)
{
    Measures m;
    m.scoreHundredths = static_cast<long long>(scoreTenths) * 10;
    m.scoreOffset = (10LL - highestRing) * 100;
    m.holdRadius = t.holdRadius;
    m.v[GradeScore] = double(m.scoreHundredths);
    m.v[GradeHold] = t.holdRadius;
    m.v[GradeDeviationX] = t.devX;
    m.v[GradeDeviationY] = t.devY;
    m.v[GradeAim] = static_cast<double>(static_cast<long long>(t.aimValue) * 10);
    m.v[GradeAimX] = static_cast<double>(SaturatingCast<long long>((11.0 - std::fabs(t.cogX)) * 10.0) * 10);
    m.v[GradeAimY] = static_cast<double>(SaturatingCast<long long>((11.0 - std::fabs(t.cogY)) * 10.0) * 10);
    m.v[GradeRegressionA] = -t.trendA * 100.0;
    m.v[GradeRegressionB] = -t.trendB * 100.0;
    m.v[GradeSpread] = double(float(t.trendSpread * 100.0)) * 100.0;
    m.v[GradeTimingB] = t.trendB * 100.0;
    m.v[GradeTimingA] = t.trendA * 100.0;
    m.v[GradeRingValue] = t.steadiness * 100.0;
    return m;
}

bool Met(int component, const GradeRow& row, const Measures& m)
{
    const ComponentRule& rule = kRules[size_t(component)];
    const int limit = row.*rule.column;
    switch (component) {
    case GradeScore:
        return limit - m.scoreOffset <= m.scoreHundredths;
    case GradeHold: {
        // Squares of 32-bit values need 64 bits.
        const long long l = limit;
        return m.holdRadius * m.holdRadius <= l * l;
    }
    default:
        return rule.loosestIsLargest ? m.v[size_t(component)] <= limit : limit <= m.v[size_t(component)];
    }
}

template <class F>
void ForEachSelectedRow(const GradingSelection& panel, F&& f)
{
    const TGradingTables& t = GradingTables;
    for (int i = 0; i < t.gradeCount; ++i) {
        const GradeRow& row = t.grade[size_t(i)];
        if (Matches(row, panel))
            f(row);
    }
}

void TireStep(const GradingSelection& panel, ShotGradeRecord& record)
{
    const int holdLevel = GradeLevel(float(record.componentPoints[GradeHold])).level;
    const TGradingTables& t = GradingTables;
    const TireRow* used = nullptr;
    for (int i = 0; i < t.tireCount; ++i) {
        const TireRow& row = t.tire[size_t(i)];
        if (row.group == panel.stance && row.level == holdLevel && row.id == 0)
            used = &row;
    }
    if (!used)
        return;
    record.tireRow = *used;
    double points = 1.0;
    if (used->value1 >= 1)
        points = GradingParameters.greenGrade;
    else if (used->value2 >= 1)
        points = GradingParameters.yellowGrade;
    record.componentPoints[GradeTireA] = points;
    record.componentPoints[GradeTireB] = points;
}

} // namespace

bool IsGradingRowAvailable(int stance, int difficulty)
{
    if (!ValidStance(stance) || !GradingParameters.hasRows[size_t(stance - 1)])
        return false;
    const GradingSelection wanted { stance, difficulty };
    bool found = false;
    ForEachSelectedRow(wanted, [&](const GradeRow&) { found = true; });
    return found;
}

bool SelectGradingRow(GradingSelection& panel, int stance, int difficulty)
{
    if (!IsGradingRowAvailable(stance, difficulty))
        return false;
    panel.stance = stance;
    panel.difficulty = difficulty;
    return true;
}

GradingLimitRows PickGradingLimitRows(int stance, int difficulty)
{
    GradingLimitRows limits;
    const GradingSelection wanted { stance, difficulty };
    ForEachSelectedRow(wanted, [&](const GradeRow& row) {
        for (size_t c = 0; c < limits.rows.size(); ++c) {
            if (!limits.rows[c] || Looser(kRules[c], row, *limits.rows[c]))
                limits.rows[c] = &row;
        }
    });
    return limits;
}

ShotGradeRecord GradeShotAnalysis(const GradingSelection& panel, const TraceAnalysis& trace, int scoreTenths,
                                  int highestRing)
{
    ShotGradeRecord record;
    if (!ValidStance(panel.stance) || !trace.valid)
        return record;
    const GradingLimitRows limits = PickGradingLimitRows(panel.stance, panel.difficulty);
    if (limits.Empty())
        return record;
    record.trace = trace;

    // From the loosest row, each component moves to the strictest row the
    // shot still meets; when even the loosest is missed it stays.
    const Measures m = Measure(trace, scoreTenths, highestRing);
    std::array<const GradeRow*, GradeComponentCount> chosen = limits.rows;
    ForEachSelectedRow(panel, [&](const GradeRow& row) {
        for (int c = 0; c < GradeComponentCount; ++c) {
            const ComponentRule& rule = kRules[size_t(c)];
            if (rule.measured && Stricter(rule, row, *chosen[size_t(c)]) && Met(c, row, m))
                chosen[size_t(c)] = &row;
        }
    });
    for (size_t c = 0; c < chosen.size(); ++c) {
        record.componentPoints[c] = chosen[c]->points;
        record.componentRows[c] = *chosen[c];
    }

    ComputeShotTiming(panel, record);
    TireStep(panel, record);

    const TGradingParameters& p = GradingParameters;
    record.regressionGap1 = trace.holdRingTrend < p.trigLinearRegressionGap1 * -0.01;
    record.regressionGap2 = trace.holdRingTrend < p.trigLinearRegressionGap2 * -0.01;

    // Weights summing to 0 leave no overall grade rather than a NaN.
    const double weights = double(p.hitWeight) + p.holdWeight + p.aimWeight + p.trigWeight;
    const double weighted = double(p.hitWeight) * record.componentPoints[GradeScore]
        + double(p.holdWeight) * record.componentPoints[GradeHold]
        + double(p.aimWeight) * record.componentPoints[GradeAim]
        + double(p.trigWeight) * record.dtcCtRow.trigPoints;
    record.overall = weights != 0.0 ? weighted / weights : 0.0;
    record.valid = true;
    return record;
}

ShotGradeRecord ComputeShotGrade(const GradingSelection& panel, TShot& shot)
{
    if (!ValidStance(panel.stance))
        return {};
    const TraceAnalysis trace = AnalyseShotTrace(shot);
    if (!trace.valid)
        return {};
    const RingTargetRecord* ring = ShotRingTarget(shot);
    if (!ring)
        return {};
    return GradeShotAnalysis(panel, trace, shot.raw.Score(), ring->HighestRing());
}

void ComputeShotTiming(const GradingSelection& panel, ShotGradeRecord& record)
{
    const TGradingParameters& p = GradingParameters;
    const TGradingTables& t = GradingTables;
    const TraceAnalysis& trace = record.trace;
    std::array<double, GradeComponentCount>& points = record.componentPoints;

    // Weighted timing value; a weight of -100 % would divide by 0, and then
    // timing B stands alone as it does past the ratio limit.
    const double weightB = p.timing1Weight * 0.01;
    const double divisor = weightB + 1.0;
    double timing = points[GradeTimingB];
    if (divisor != 0.0 && !(trace.timingRatio > p.tcrtvTiming1Limit * 0.01))
        timing = (weightB * points[GradeTimingB] + points[GradeTimingA]) / divisor;

    const double ringPointsBefore = points[GradeRingValue];

    // Timing row for the hold points: the ring-value component's points.
    const CtrRtvRow* ctr = nullptr;
    for (int i = 0; i < t.ctrRtvCount; ++i) {
        const CtrRtvRow& row = t.ctrRtv[size_t(i)];
        if (double(row.holdKey) != points[GradeHold])
            continue;
        if (!ctr || ctr->limit < trace.timingRatio || (row.limit <= ctr->limit && trace.timingRatio <= row.limit))
            ctr = &row;
    }
    if (ctr) {
        record.ctrRtvRow = *ctr;
        points[GradeRingValue] = ctr->points;
    }

    // Total row: the timing limit nearest the timing value.
    const GradeRow* total = nullptr;
    ForEachSelectedRow(panel, [&](const GradeRow& row) {
        if (!total || (timing < total->timingLimit && row.timingLimit < total->timingLimit)
            || (total->timingLimit < row.timingLimit && row.timingLimit < timing))
            total = &row;
    });
    const int totalPoints = total ? total->points : 0;
    record.timingTotal = totalPoints;

    float sum = float(ringPointsBefore) + float(totalPoints);
    const GradeRow* finalRow = nullptr;
    ForEachSelectedRow(panel, [&](const GradeRow& row) {
        if (row.points == 0)
            return;
        if (!finalRow || sum < finalRow->totalLimit || (row.totalLimit > finalRow->totalLimit && sum > row.totalLimit))
            finalRow = &row;
    });
    if (finalRow)
        sum = float(finalRow->points);
    record.timingResult = sum;

    record.trigWindowOk = p.ttrxLow * 0.1 <= trace.trigTime && trace.trigTime <= p.ttrxHigh * 0.1
        && trace.trigDeviation <= p.ttrxDev * 0.01;

    const DtcCtRow* trig = nullptr;
    for (int i = 0; i < t.dtcCtCount; ++i) {
        const DtcCtRow& row = t.dtcCt[size_t(i)];
        if (double(row.key13) != points[GradeTimingB] || double(row.key14) != points[GradeRingValue])
            continue;
        if (!trig || trace.trigValue < trig->limit || (trig->limit < row.limit && row.limit <= trace.trigValue))
            trig = &row;
    }
    if (trig)
        record.dtcCtRow = *trig;
}

GradeLevelResult GradeLevel(float value)
{
    const double v = value;
    GradeLevelResult result;
    result.level = v >= GradingParameters.greenGrade ? 3 : v >= GradingParameters.yellowGrade ? 2 : 1;
    result.value = SaturatingCast<int>(v);
    return result;
}

ShotGradeLevels ComputeShotGradeLevels(const ShotGradeRecord& grade)
{
    ShotGradeLevels result;
    result.grade = grade;
    if (!grade.valid)
        return result;
    for (size_t c = 0; c < result.levels.size(); ++c)
        result.levels[c] = GradeLevel(float(grade.componentPoints[c]));
    result.trigLevel = grade.dtcCtRow.trigLevel;
    result.trigPoints = grade.dtcCtRow.trigPoints;

    // Whole numbers throughout; 128 bits so that no file value can overflow.
    using Wide = __int128;
    const TGradingParameters& p = GradingParameters;
    const Wide hit = p.hitWeight;
    const Wide hold = p.holdWeight;
    const Wide aim = p.aimWeight;
    const Wide trig = p.trigWeight;
    const Wide weights = hit + hold + aim + trig;
    const Wide a = 10
        * (hit * result.levels[GradeScore].level + hold * result.levels[GradeHold].level
           + aim * result.levels[GradeAim].level + trig * result.trigLevel);
    result.level3 = a >= weights * p.step3GreenLimit ? 3 : a >= weights * p.step3YellowLimit ? 2 : 1;
    const Wide b = 10
        * (hit * result.levels[GradeScore].value + hold * result.levels[GradeHold].value
           + aim * result.levels[GradeAim].value + trig * result.trigPoints);
    result.level5 = 1;
    for (int step = 4; step >= 1; --step) {
        if (b >= weights * p.step5Limit[size_t(step - 1)]) {
            result.level5 = step + 1;
            break;
        }
    }
    result.valid = true;
    return result;
}
