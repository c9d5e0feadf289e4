#include "GradingParameters.h"

#include "Globals.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <limits>
#include <new>

TGradingParameters GradingParameters;
TGradingTables GradingTables;

namespace {

// Longer lines are read as several lines, as the file has always been read.
constexpr int kMaxLineLength = 199;

int ClampToInt(long long value)
{
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    return int(value);
}

int Truncated(double value)
{
    return SaturatingCast<int>(value);
}

// Points are values 0..5 and levels 0..3, as grading and the grade summary
// use them; a file's 1e308 must not reach the summary's sums.
constexpr int MaxPoints = 5;
constexpr int MaxLevel = 3;

int Points(double value)
{
    return std::clamp(Truncated(value), 0, MaxPoints);
}

int Level(double value)
{
    return std::clamp(Truncated(value), 0, MaxLevel);
}

// Snap first: 0.29 x 100 is 28.999999999999996 in binary and must store 29.
int Hundredths(double value)
{
    return ClampToInt(ScaledTrunc(value, 2));
}

// Blanks and control characters, the line feed included.
QString TrimControls(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

// Reads count numbers off value; false when any of them is missing or bad.
template <int N>
bool ReadNumbers(QString value, std::array<double, N>& out)
{
    for (int i = 0; i < N; ++i) {
        GradingNumber number = NextGradingNumber(value);
        if (!number.found)
            return false;
        out[size_t(i)] = number.value;
        value = number.rest;
    }
    return true;
}

int IntValue(const QString& value)
{
    int result = 0;
    return TryStrToIntStrict(value, result) ? result : -1;
}

bool BoolValue(const QString& value)
{
    int result = 0;
    return !(TryStrToIntStrict(value, result) && result == 0);
}

// Scalar keys; false when key is none of them.
bool StoreScalar(const QString& key, const QString& value)
{
    TGradingParameters& p = GradingParameters;
    struct IntKey {
        const char* key;
        int TGradingParameters::*field;
    };
    static const IntKey intKeys[] = {
        { "hitweight", &TGradingParameters::hitWeight },
        { "holdweight", &TGradingParameters::holdWeight },
        { "aimweight", &TGradingParameters::aimWeight },
        { "trigweight", &TGradingParameters::trigWeight },
        { "yellowgrade", &TGradingParameters::yellowGrade },
        { "greengrade", &TGradingParameters::greenGrade },
        { "3stepyellowlimit", &TGradingParameters::step3YellowLimit },
        { "3stepgreenlimit", &TGradingParameters::step3GreenLimit },
        { "aimblinktime", &TGradingParameters::aimBlinkTime },
        { "triglinearregressiongap1", &TGradingParameters::trigLinearRegressionGap1 },
        { "triglinearregressiongap2", &TGradingParameters::trigLinearRegressionGap2 },
        { "slicems", &TGradingParameters::sliceMs },
        { "tcrtvtiming1limit", &TGradingParameters::tcrtvTiming1Limit },
        { "lr3secbottom", &TGradingParameters::lr3SecBottom },
        { "timing1weight", &TGradingParameters::timing1Weight },
        { "ttrx_low", &TGradingParameters::ttrxLow },
        { "ttrx_high", &TGradingParameters::ttrxHigh },
        { "ttrx_dev", &TGradingParameters::ttrxDev },
    };
    for (const IntKey& k : intKeys) {
        if (key == QLatin1String(k.key)) {
            p.*k.field = IntValue(value);
            return true;
        }
    }
    static const char* const step5Keys[] = { "5step2limit", "5step3limit", "5step4limit", "5step5limit" };
    for (size_t i = 0; i < 4; ++i) {
        if (key == QLatin1String(step5Keys[i])) {
            p.step5Limit[i] = IntValue(value);
            return true;
        }
    }
    if (key == QLatin1String("use5stepbitmaps")) {
        p.use5StepBitmaps = BoolValue(value);
        return true;
    }
    if (key == QLatin1String("militarygun")) {
        p.militaryGun = BoolValue(value);
        return true;
    }
    return false;
}

class Loader {
public:
    explicit Loader(const GradingReporter& reporter) : reporter_(reporter) {}

    // False once the grade table is full: the rest of the file is not read.
    bool Line(const QString& line)
    {
        if (line.startsWith(QLatin1Char(';')))
            return true;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            return true;
        const QString key = TrimControls(line.left(eq)).toLower();
        const QString value = TrimControls(line.mid(eq + 1)).toLower();

        if (StoreScalar(key, value))
            return true;
        if (key == QLatin1String("group")) {
            group_ = value == QLatin1String("stand") ? 1
                : value == QLatin1String("kneel")    ? 2
                : value == QLatin1String("prone")    ? 3
                                                     : 0;
            return true;
        }
        if (key == QLatin1String("difficulty")) {
            if (value == QLatin1String("expert"))
                difficulty_ = 2;
            else if (value == QLatin1String("marksman"))
                difficulty_ = 1;
            else if (value == QLatin1String("unqualified"))
                difficulty_ = 0;
            return true;
        }
        TGradingTables& t = GradingTables;
        if (key.startsWith(QLatin1String("tire"))) {
            if (t.tireCount >= TGradingTables::TireCapacity) {
                TableFull("tire Row index too large");
                return true;
            }
            std::array<double, 4> n {};
            if (!ReadNumbers<4>(value, n)) {
                RowError(line);
                return true;
            }
            TireRow& row = t.tire[size_t(t.tireCount++)];
            row = TireRow {};
            row.group = group_;
            row.id = Truncated(n[0]);
            row.level = Truncated(n[1]);
            row.value1 = Hundredths(n[2]);
            row.value2 = Hundredths(n[3]);
            return true;
        }
        if (key.startsWith(QLatin1String("dtc_ct"))) {
            if (t.dtcCtCount >= TGradingTables::DtcCtCapacity) {
                TableFull("TC Row index too large");
                return true;
            }
            std::array<double, 7> n {};
            if (!ReadNumbers<7>(value, n)) {
                RowError(line);
                return true;
            }
            DtcCtRow& row = t.dtcCt[size_t(t.dtcCtCount++)];
            row.limit = n[0];
            row.key13 = Truncated(n[1]);
            row.key14 = Truncated(n[2]);
            row.trigPoints = Points(n[3]);
            row.trigLevel = Level(n[4]);
            row.countOutside = Truncated(n[5]);
            row.countInside = Truncated(n[6]);
            return true;
        }
        if (key.startsWith(QLatin1String("ctr_rtv"))) {
            if (t.ctrRtvCount >= TGradingTables::CtrRtvCapacity) {
                TableFull("CTR Row index too large");
                return true;
            }
            std::array<double, 3> n {};
            if (!ReadNumbers<3>(value, n)) {
                RowError(line);
                return true;
            }
            CtrRtvRow& row = t.ctrRtv[size_t(t.ctrRtvCount++)];
            row.holdKey = Truncated(n[0]);
            row.points = Points(n[1]);
            row.limit = n[2];
            return true;
        }
        if (key.startsWith(QLatin1String("grade"))) {
            if (group_ == 0)
                return true;
            std::array<double, 16> n {};
            if (!ReadNumbers<16>(value, n)) {
                RowError(line);
                return true;
            }
            GradeRow& row = t.grade[size_t(t.gradeCount++)];
            row = GradeRow {};
            row.group = group_;
            row.difficulty = difficulty_;
            row.points = Points(n[0]);
            row.scoreLimit = Hundredths(n[1]);
            row.holdLimit = Hundredths(n[2]);
            row.aimLimit = Hundredths(n[3]);
            row.col7 = Hundredths(n[4]);
            row.col8 = Hundredths(n[5]);
            row.col9 = Hundredths(n[6]);
            row.col10 = Hundredths(n[7]);
            row.col11 = Hundredths(n[8]);
            row.col13 = Hundredths(n[9]);   // numbers 10 and 11 are crossed
            row.col12 = Hundredths(n[10]);
            row.col14 = Hundredths(n[11]);
            row.timingLimit = n[12];
            row.totalLimit = Truncated(n[13]);
            row.col19 = Hundredths(n[14]);
            row.col20 = Hundredths(n[15]);
            GradingParameters.hasRows[size_t(group_ - 1)] = true;
            return t.gradeCount < TGradingTables::GradeCapacity;
        }
        return true;
    }

private:
    void RowError(const QString& line)
    {
        if (reporter_)
            reporter_(QStringLiteral("Grading: error on row: ") + QLatin1Char('\n') + line,
                      QStringLiteral("Grading parameter file error"));
    }
    void TableFull(const char* caption)
    {
        if (reporter_)
            reporter_(QStringLiteral("Grading file error"), QString::fromLatin1(caption));
    }

    const GradingReporter& reporter_;
    int group_ = 0;
    int difficulty_ = 0;
};

} // namespace

void ResetGradingParameters()
{
    GradingParameters = TGradingParameters {};
    GradingTables.grade.fill(GradeRow {});
    GradingTables.gradeCount = 0;
    GradingTables.tireCount = 0;
    GradingTables.dtcCtCount = 0;
    GradingTables.ctrRtvCount = 0;
}

GradingNumber NextGradingNumber(const QString& text)
{
    GradingNumber result;
    if (text.isEmpty())
        return result;
    const QString trimmed = TrimControls(text);
    const qsizetype semi = trimmed.indexOf(QLatin1Char(';'));
    QString number = trimmed;
    if (semi >= 0) {
        number = trimmed.left(semi).trimmed();
        result.rest = trimmed.mid(semi + 1);
    }
    // The file always writes '.'; the parser reads it under any locale.
    double value = 0.0;
    if (TryStrToFloatLocale(number, value)) {
        result.found = true;
        result.value = value;
    }
    return result;
}

int LoadGradingFile(const QString& path, const GradingReporter& reporter)
{
    ResetGradingParameters();
    if (!QFile::exists(path))
        return 0;  // no grading file: grading is off, as intended
    const auto report = [&reporter](const QString& text) {
        if (reporter)
            reporter(text, QStringLiteral("Grading parameter file error"));
    };
    try {
        QStringList lines;
        QString error;
        if (!ReadTextFileLines(path, lines, &error)) {
            report(error);
            return 0;
        }
        Loader loader(reporter);
        bool reading = true;
        for (qsizetype l = 0; reading && l < lines.size(); ++l) {
            const QString& line = lines[l];
            for (qsizetype at = 0; reading && at < line.size(); at += kMaxLineLength)
                reading = loader.Line(line.mid(at, kMaxLineLength));
        }
    } catch (const std::bad_alloc&) {
        ResetGradingParameters();
        report(QStringLiteral("Grading: not enough memory to read ") + path);
        return 0;
    }
    // Without a single grade row nothing is ever graded: say so rather than
    // leave grading silently off.
    if (GradingTables.gradeCount == 0)
        report(QStringLiteral("Grading: no grade rows in file: ") + QLatin1Char('\n') + path);
    return GradingTables.gradeCount;
}

void LoadGradingParameterFile(GradingSelection& panel, const QString& path, const GradingReporter& reporter)
{
    if (LoadGradingFile(path, reporter) == 0) {
        panel.stance = 0;
        panel.difficulty = 0;
    }
}
