#include "GradingParameters.h"
#include "GradingTestSupport.h"
#include "ShotGrading.h"

#include "Globals.h"

#include <QTemporaryDir>

#include "ResourceLimits.h"
#include "TestFiles.h"
#include "TextBytes.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

const GradeRow& Grade(int i) { return GradingTables.grade[size_t(i)]; }

// Everything loaded, as comparable values.
struct Snapshot {
    TGradingParameters p;
    std::vector<GradeRow> grade;
    std::vector<TireRow> tire;
    std::vector<DtcCtRow> dtc;
    std::vector<CtrRtvRow> ctr;
    bool operator==(const Snapshot&) const = default;
};

void PrintTo(const Snapshot& s, std::ostream* os)
{
    *os << s.grade.size() << " grade, " << s.tire.size() << " tire, " << s.dtc.size() << " dtc_ct, " << s.ctr.size()
        << " ctr_rtv rows";
}

Snapshot Take()
{
    const TGradingTables& t = GradingTables;
    return { GradingParameters,
             { t.grade.begin(), t.grade.begin() + t.gradeCount },
             { t.tire.begin(), t.tire.begin() + t.tireCount },
             { t.dtcCt.begin(), t.dtcCt.begin() + t.dtcCtCount },
             { t.ctrRtv.begin(), t.ctrRtv.begin() + t.ctrRtvCount } };
}


} // namespace

TEST(GradingParameters, EveryFieldInEveryEncodingLineEndAndLocale)
{
    // Points truncate; 0.29 x 100 snaps to 29, not 28; columns 12 and 13 come
    // from numbers 11 and 10.
    const Snapshot expected {
        { 2, 3, 4, 5, 2, 4, 18, 25, { 15, 25, 35, 45 }, 1500, 20, 50, 100, 150, 60, 80, -5, 7, 150, true, false,
          { false, true, false } },
        { { 2, 2, 3, 0, 950, 29, 115, 700, 800, 7, -10, 2500, 1125, 1050, 120, 2.75, 6, 33, 57 } },
        { { 2, 0, 2, 1, 100 } },
        { { -0.35, 3, 4, 5, 2, 1, 0 } },
        { { 4, 3, 1.25 } } };
    std::setlocale(LC_ALL, "C");
    // Every field, a BOM, CRLF line ends, comments, blanks and capitals.
    const QByteArray kFullFile = TestData("every_field.tgp");
    const QString text = QString::fromLatin1(kFullFile.mid(3)).remove(QLatin1Char('\r'));
    // The byte orders and marks are the shared text decoder's (see the
    // translation loader's tests); here that this reader uses it.
    const std::pair<const char*, QByteArray> files[] = {
        { "utf-8, CR LF, mark", kFullFile },
        { "utf-8, CR", text.toUtf8().replace('\n', '\r') },
        { "utf-16 LE, CR", Utf16Bytes(QString(text).replace(QLatin1Char('\n'), QLatin1Char('\r'))) },
    };
    const auto readAll = [&](const char* locale) {
        for (const auto& [name, bytes] : files) {
            SCOPED_TRACE(testing::Message() << name << locale);
            ReportRecorder reports;
            EXPECT_EQ(LoadGradingFile(WriteGradingFile(bytes), reports.Reporter()), 1);
            EXPECT_EQ(Take(), expected);
            EXPECT_EQ(reports.texts, QStringList());
        }
    };
    readAll("");
    // A reload starts from the defaults again.
    LoadGradingFile(WriteGradingFile("hitweight = 1\n"), {});
    TGradingParameters defaults;
    defaults.hitWeight = 1;
    EXPECT_EQ(Take(), (Snapshot { defaults, {}, {}, {}, {} }));

    // The file always writes '.', whatever the C library's or the program's
    // decimal separator.
    CommaCLocale locale;
    if (!locale.Active())
        GTEST_SKIP() << "no locale with a ',' decimal separator could be had";
    const QChar separator = DecimalSeparator();
    SetDecimalSeparator(QLatin1Char(','));
    readAll(", under a comma locale");
    SetDecimalSeparator(separator);
}

TEST(GradingParameters, SmallFiles)
{
    // Each file as: grade rows loaded [points/group/difficulty of each],
    // tire/dtc_ct/ctr_rtv rows, hit/hold/aim weights, military gun and
    // five-step flags, then the reports (a file's path as <path>).
    const auto loaded = [](const QByteArray& text) {
        ReportRecorder reports;
        const QString path = WriteGradingFile(text);
        const int rows = LoadGradingFile(path, reports.Reporter());
        QStringList grades;
        for (int i = 0; i < GradingTables.gradeCount; ++i)
            grades << QStringLiteral("%1/%2/%3").arg(Grade(i).points).arg(Grade(i).group).arg(Grade(i).difficulty);
        const TGradingParameters& p = GradingParameters;
        const TGradingTables& t = GradingTables;
        for (const QString& caption : reports.captions)
            EXPECT_EQ(caption, QStringLiteral("Grading parameter file error"));
        return QStringLiteral("%1 [%2] %3/%4/%5 %6/%7/%8 %9%10").arg(rows).arg(grades.join(' ')).arg(t.tireCount)
                   .arg(t.dtcCtCount).arg(t.ctrRtvCount).arg(p.hitWeight).arg(p.holdWeight).arg(p.aimWeight)
                   .arg(int(p.militaryGun)).arg(int(p.use5StepBitmaps))
            + (reports.texts.isEmpty() ? QString() : " " + reports.texts.join('|').replace(path, "<path>"));
    };
    const QByteArray one = "1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1\n";
    const struct {
        const char* name;
        QByteArray text;
        QString result;
    } cases[] = {
        // Rows count in a group of 1..3 only; a file without one is reported.
        { "outside a group", "grade = " + one + "group = sitting\ngrade = " + one, "0 [] 0/0/0 0/0/0 00 Grading: no grade rows in file: \n<path>" },
        { "empty", "", "0 [] 0/0/0 0/0/0 00 Grading: no grade rows in file: \n<path>" },
        { "no grade row", "hitweight = 1\ntire = 0;1;0;0\n", "0 [] 1/0/0 1/0/0 00 Grading: no grade rows in file: \n<path>" },
        // Keys match by prefix and in any case; an unknown difficulty keeps
        // the last; numbers past a row's end are ignored.
        { "prefixes", "Group = prone\ndifficulty = marksman\ndifficulty = master\nGRADE7 = 2;" + one + "tires = 0; 1; 0; 0; 99\n",
          "1 [2/3/1] 1/0/0 0/0/0 00" },
        { "junk after a row", "group = stand\ngradex = 4;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;junk\n", "1 [4/1/0] 0/0/0 0/0/0 00" },
        // ';' starts a comment only at the start of a line; a key without
        // '=' is ignored, a value that is no integer reads as -1.
        { "comments", "group = stand\ngrade = " + one + " ;grade = 3;" + one + "; hitweight = 9\n", "1 [1/1/0] 0/0/0 0/0/0 00" },
        { "bad values", "group = stand\ngrade = " + one + "hitweight = 1.5\naimweight\nholdweight = = 3\nmilitarygun = yes\nuse5stepbitmaps = 0\n",
          "1 [1/1/0] 0/0/0 -1/-1/0 10" },
        // Rows that cannot be read are reported with their line and skipped.
        { "bad rows",
          "group = stand\ngrade = 1; 2\ngrade = 1;2;3;4;5;6;7;8;9;1x;11;12;13;14;15;16\ntire = 0;;1;1\r\n"
          "dtc_ct = 1;2;3;4;5;6\nctr_rtv = a;b;c\ngrade = 5;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16\n",
          "1 [5/1/0] 0/0/0 0/0/0 00 Grading: error on row: \ngrade = 1; 2|Grading: error on row: \n"
          "grade = 1;2;3;4;5;6;7;8;9;1x;11;12;13;14;15;16|Grading: error on row: \ntire = 0;;1;1|"
          "Grading: error on row: \ndtc_ct = 1;2;3;4;5;6|Grading: error on row: \nctr_rtv = a;b;c" },
        // Lines are read in pieces of 199 characters: the second piece of a
        // long line is a line of its own.
        { "long line", "group = stand\ngrade = " + one.trimmed() + QByteArray(199 - 39, ' ') + "grade = 2;" + one, "2 [1/1/0 2/1/0] 0/0/0 0/0/0 00" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(loaded(c.text), c.result) << c.name;
}

TEST(GradingParameters, PointsAndLevelsStayInTheirRanges)
{
    LoadGradingFile(WriteGradingFile("group = stand\n"
                                     "grade = 1e308;1;1;1;1;1;1;1;1;1;1;1;1;1e308;1;1\n"
                                     "grade = -7;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1\n"
                                     "dtc_ct = 0;1;1;1e308;-4;1e308;-1e308\n"
                                     "ctr_rtv = 1;99;1\n"),
                    {});
    EXPECT_EQ(Grade(0).points, 5);
    EXPECT_EQ(Grade(0).totalLimit, std::numeric_limits<int>::max());  // a limit, not points
    EXPECT_EQ(Grade(1).points, 0);
    EXPECT_EQ(GradingTables.dtcCt[0], (DtcCtRow { 0, 1, 1, 5, 0, std::numeric_limits<int>::max(),
                                                  std::numeric_limits<int>::min() }));
    EXPECT_EQ(GradingTables.ctrRtv[0].points, 5);
}

TEST(GradingParameters, AllocationFailureIsReported)
{
    if (!ResourceLimits::MemoryLimitUsable)
        GTEST_SKIP() << "sanitizers reserve the address space a limit would cut";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const QString path = WriteGradingFile(QByteArray(8000000, '\n'));  // eight million lines
            ReportRecorder reports;
            ResourceLimits::LimitMemoryGrowth(64 << 20);
            int rows = -1;
            try {
                rows = LoadGradingFile(path, reports.Reporter());
            } catch (...) {
                std::_Exit(2);
            }
            std::fprintf(stderr, "%s\n", qPrintable(reports.texts.join(QLatin1Char('|'))));
            std::_Exit(rows == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "not enough memory");
}

TEST(GradingParameters, FullTablesAreReportedAndTheTwoHundredthGradeRowEndsTheFile)
{
    struct Table { const char* row; int count; const int& loaded; int capacity; };
    const Table tables[] = {
        { "tire = 0;1;0;0\n", 201, GradingTables.tireCount, 200 },
        { "dtc_ct = 0;1;1;1;1;0;0\n", 502, GradingTables.dtcCtCount, 500 },
        { "ctr_rtv = 1;1;1\n", 201, GradingTables.ctrRtvCount, 200 },
        { "grade = 1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1\n", 199, GradingTables.gradeCount, 200 },
    };
    QByteArray text = "group = stand\n";
    for (const Table& t : tables)
        for (int i = 0; i < t.count; ++i)
            text += t.row;
    text += "grade = 2;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1\nhitweight = 7\ngrade = 3;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1\n";
    text += "tire = 0;1;0;0\n";

    ReportRecorder reports;
    EXPECT_EQ(LoadGradingFile(WriteGradingFile(text), reports.Reporter()), 200);
    for (const Table& t : tables)
        EXPECT_EQ(t.loaded, t.capacity) << t.row;
    EXPECT_EQ(std::tuple(GradingTables.grade[199].points, GradingParameters.hitWeight), std::tuple(2, 0));
    const QStringList captions = { QStringLiteral("tire Row index too large"), QStringLiteral("TC Row index too large"),
                                   QStringLiteral("TC Row index too large"), QStringLiteral("CTR Row index too large") };
    EXPECT_EQ(reports.captions, captions);
    EXPECT_EQ(reports.texts, QStringList(4, QStringLiteral("Grading file error")));
}

TEST(GradingParameters, ShippedAndMissingFile)
{
    ReportRecorder reports;
    GradingSelection panel { 2, 1 };
    LoadGradingParameterFile(panel, ShippedGradingFile(), reports.Reporter());
    EXPECT_EQ(std::tuple(GradingTables.gradeCount, reports.texts), std::tuple(45, QStringList()));
    for (int stance = 1; stance <= 3; ++stance) {
        for (int difficulty = 0; difficulty <= 2; ++difficulty) {
            EXPECT_TRUE(IsGradingRowAvailable(stance, difficulty)) << stance << "/" << difficulty;
            EXPECT_FALSE(PickGradingLimitRows(stance, difficulty).Empty());
        }
    }
    EXPECT_GT(GradingTables.tireCount * GradingTables.dtcCtCount * GradingTables.ctrRtvCount, 0);
    EXPECT_EQ(std::tuple(panel.stance, panel.difficulty), std::tuple(2, 1));

    // No file: grading off, silently, and the panel's selection cleared.
    LoadGradingParameterFile(panel, QStringLiteral("/nonexistent/grading.tgp"), reports.Reporter());
    EXPECT_EQ(std::tuple(reports.texts, GradingTables.gradeCount, panel.stance, panel.difficulty),
              std::tuple(QStringList(), 0, 0, 0));
    EXPECT_FALSE(SelectGradingRow(panel, 1, 0));
}
