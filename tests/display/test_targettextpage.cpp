// The text page: the character grid, the shot table (rows, pages, cells and
// grade icons) and the grading summary. A cell is checked by writing the
// expected text with the page's font onto a bare layer and comparing the
// cell's pixels.
#include "DisplayTestSupport.h"

#include "GradeSummary.h"
#include "GradingPanel.h"
#include "GradingParameters.h"
#include "Globals.h"
#include "Screens.h"
#include "ShotAnalysis.h"
#include "ShotGrading.h"
#include "Shotdata.h"
#include "Targetrenderer.h"
#include "UiBitmaps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>

namespace {

using R = TTargetRenderer;

constexpr TColor Background { 0x808080 };
constexpr TColor Highlight { 0x666666 }; // trunc(128 x 0.8) grey

QString ShippedGradingFile() { return QStringLiteral("../assets/files/grading_default.tgp"); }

class TextPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureGuiApp();
        SetDecimalSeparator(QLatin1Char('.'));
        // The grading pictures come from the generated art, loaded by the
        // renderer's panel.
        FreeGradingBitmaps();
        ResetGradingParameters();
        r.emplace();
        target.hasRing = 1;
        target.ringRecord = TestRing();
        UseTarget(shooter, target);
        r->Target = target;
        r->Shooter = &shooter;
        r->RangeFirst = r->RangeLast = -1;
    }
    void TearDown() override
    {
        r.reset();
        FreeGradingBitmaps();
        ResetGradingParameters();
    }

    void LoadGrading()
    {
        LoadGradingParameterFile(r->GradingPanel->selection, ShippedGradingFile(), [](const QString&, const QString&) {});
        ASSERT_TRUE(SelectGradingRow(r->GradingPanel->selection, 1, 0));
    }

    TShot* Add(std::unique_ptr<TShot> shot)
    {
        shot->shotNumber = shooter.ShotCount() + 1;
        return shooter.AppendShot(std::move(shot));
    }
    // A ring shot with an aiming trace of n samples wobbling by amplitude
    // (0.1 mm) about (cx, cy).
    TShot* TracedShot(int tenths, int n, int amplitude, int cx = 0, int cy = 0, int aimingTime = 0)
    {
        auto shot = NewRingShot(tenths);
        shot->raw.SetFunctionMode(1);
        shot->raw.SetX(cx);
        shot->raw.SetY(cy);
        shot->raw.SetClockSector(1 + shooter.ShotCount() % 12);
        shot->aimingTime = aimingTime;
        shot->AllocateCurve(n);
        for (int i = 0; i < n; ++i) {
            shot->Curve()[i].SetX(cx + int(amplitude * std::sin(i * 0.37)) + (n - i) / 3);
            shot->Curve()[i].SetY(cy + int(amplitude * std::cos(i * 0.23)));
        }
        return Add(std::move(shot));
    }
    // Ten graded shots of varied steadiness and score, one too short to grade.
    void GradedShots()
    {
        const int scores[] = { 104, 97, 92, 88, 101, 79, 95, 83, 99, 90 };
        for (int k = 0; k < 10; ++k)
            TracedShot(scores[k], 150 + 10 * k, 10 + 35 * (k % 4), 8 * k - 40, 20 - 5 * k, 700 + 230 * k);
        TracedShot(86, 60, 30);
    }

    // The page's pixels of text written at p with the page's font match
    // those of the same text written on a bare layer.
    ::testing::AssertionResult Shows(QPoint p, const QString& text, int fontHeight, bool bold = false) const
    {
        QImage expected = NewLayer(r->DisplayLayer.width(), r->DisplayLayer.height());
        expected.fill(QColor(0x80, 0x80, 0x80));
        QRect cell;
        {
            TCanvas canvas(expected);
            canvas.SetFont(QStringLiteral("Courier New"), fontHeight, bold);
            canvas.SetFontColour(clWhite);
            canvas.SetBrushStyle(TBrushStyle::Clear);
            canvas.TextOut(p.x(), p.y(), text);
            cell = QRect(p.x(), p.y(), canvas.TextWidth(text), canvas.TextHeight(text)) & expected.rect();
        }
        if (cell.isEmpty())
            return ::testing::AssertionFailure() << "cell outside the page";
        if (r->DisplayLayer.copy(cell) != expected.copy(cell))
            return ::testing::AssertionFailure() << "cell does not show \"" << text.toStdString() << "\"";
        return ::testing::AssertionSuccess();
    }
    // Every pixel of the rectangle has the colour.
    bool Plain(const QRect& rect, TColor colour = Background) const
    {
        const QRect area = rect & r->DisplayLayer.rect();
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (PixelToColour(TPixelWord(r->DisplayLayer.pixel(x, y))) != colour)
                    return false;
        return true;
    }
    // The grid cells from (c1, row) up to (c2, row + 1).
    QRect Cells(double c1, double row, double c2) const
    {
        const QPoint a = r->GridToPixel(c1, row);
        const QPoint b = r->GridToPixel(c2, row + 1);
        return QRect(a, b - QPoint(1, 1));
    }
    TColor Pixel(QPoint p) const { return PixelToColour(TPixelWord(r->DisplayLayer.pixel(p))); }

    TArtFolderScope art;
    TargetDescription target;
    TShooter shooter;
    std::optional<TTargetRenderer> r;
};

TEST_F(TextPage, GridMapsCellsToPixels)
{
    r->SetSize(400, 300);
    r->GridColumns = 21;
    r->GridRows = 11;
    EXPECT_EQ(r->GridToPixel(1.5, 2), QPoint(28, 54));
    EXPECT_EQ(r->GridToPixel(100, 2.8), QPoint(1904, 76));
    EXPECT_EQ(r->GridToPixel(-1, -0.5), QPoint(-19, -13)); // toward zero

    // The same grid over a rectangle elsewhere; no rows or columns map to
    // its corner instead of dividing by zero.
    TCharGrid grid { { 10, 20, 370, 260 }, 18, 24 };
    EXPECT_EQ(grid.ToPixel(8, 8), QPoint(10 + 160, 20 + 80));
    grid.rows = 0;
    grid.columns = 0;
    EXPECT_EQ(grid.ToPixel(8, 8), QPoint(10, 20));
}

TEST_F(TextPage, RowsFollowTheSmallerSideOfTheLayer)
{
    Add(NewFieldShot(1));
    struct Case {
        int w, h, rows, font;
    } cases[] = { { 400, 300, 11, 16 }, { 300, 400, 11, 16 }, { 1024, 768, 17, 27 }, { 27, 27, 1, 16 } };
    for (const Case& c : cases) {
        r->SetSize(c.w, c.h);
        r->Render(R::ViewTextPage);
        EXPECT_EQ(std::tuple(r->GridColumns, r->GridRows), std::tuple(21, c.rows)) << c.w << "x" << c.h;
        // (At 27 px the header icons cover the first heading.)
        if (c.rows > 1) {
            EXPECT_TRUE(Shows(r->GridToPixel(0, 0), QStringLiteral("Shot"), c.font)) << c.w << "x" << c.h;
        }
    }

    // Under 27 px on the smaller side not one readable row fits: nothing is
    // drawn, and nothing divides by a row count of 0.
    for (QSize size : { QSize(26, 500), QSize(500, 26), QSize(1, 1), QSize(0, 0) }) {
        r->SetSize(size.width(), size.height());
        r->Render(R::ViewTextPage);
        EXPECT_EQ(r->GridRows, 0);
        EXPECT_TRUE(Plain(r->DisplayLayer.rect()));
        EXPECT_EQ(r->DisplayLayer.size(), size);
    }
    // Without a shooter the page stays empty.
    r->SetSize(400, 300);
    r->Shooter = nullptr;
    r->Render(R::ViewTextPage);
    EXPECT_TRUE(Plain(r->DisplayLayer.rect()));
}

TEST_F(TextPage, PagesOfFifteenShotsAndClamping)
{
    r->SetSize(1024, 768); // 17 rows, font 27
    for (int i = 0; i < 16; ++i)
        Add(NewFieldShot(1));
    r->TextPage = 0;
    r->Render(R::ViewTextPage);
    EXPECT_TRUE(Shows(r->GridToPixel(0, 2), QStringLiteral("  1"), 27));
    EXPECT_TRUE(Shows(r->GridToPixel(0, 16), QStringLiteral(" 15"), 27));
    r->TextPage = 1;
    r->Render(R::ViewTextPage);
    EXPECT_TRUE(Shows(r->GridToPixel(0, 2), QStringLiteral(" 16"), 27));
    EXPECT_TRUE(Plain(Cells(0, 3, 21)));

    // The selected shot and the selected range get the grey bar across the
    // page, on whichever page they are.
    r->SelectedShot = shooter.GetShot(15);
    r->Render(-1);
    EXPECT_EQ(Pixel(r->GridToPixel(20.5, 2.3)), Highlight);
    r->TextPage = 0;
    r->Render(-1);
    r->SelectedShot = nullptr;
    r->RangeFirst = 3;
    r->RangeLast = 4;
    r->Render(-1);
    EXPECT_EQ(std::tuple(Pixel(r->GridToPixel(20.5, 4.3)), Pixel(r->GridToPixel(20.5, 5.3)),
                         Pixel(r->GridToPixel(20.5, 6.3)), Pixel(r->GridToPixel(20.5, 7.3))),
              std::tuple(Background, Highlight, Highlight, Background));

    // 30 shots: page 2 lies just past the last shot and stays, showing the
    // header only; page 3 and beyond are lowered to 2.
    for (int i = 16; i < 30; ++i)
        Add(NewFieldShot(1));
    r->RangeFirst = r->RangeLast = -1;
    for (auto [page, shown] : { std::pair(2, 2), std::pair(3, 2), std::pair(1000000000, 2) }) {
        r->TextPage = page;
        r->Render(-1);
        EXPECT_EQ(r->TextPage, shown) << page;
        EXPECT_TRUE(Shows(r->GridToPixel(0, 0), QStringLiteral("Shot"), 27));
        EXPECT_TRUE(Plain(Cells(0, 1.5, 21).united(Cells(0, 16, 21)))) << page;
    }

    // Page -1 is the grading summary; anything below it is taken as -1.
    for (int page : { -1, -5 }) {
        r->TextPage = page;
        r->Render(-1);
        EXPECT_EQ(std::tuple(r->TextPage, r->GridColumns), std::tuple(-1, 18)) << page;
    }
}

TEST_F(TextPage, ShotCells)
{
    r->SetSize(1024, 768);
    const int font = 27;
    TShot* nine = Add(NewRingShot(97));
    nine->raw.SetClockSector(3);
    nine->aimingTime = 101;
    TShot* ten = Add(NewRingShot(104));
    ten->raw.SetInnerTen(true);
    ten->aimingTime = 100;
    TShot* fatal = Add(NewFieldShot(2));
    fatal->aimingTime = 2345;
    Add(NewFieldShot(7));                      // a damaged zone byte
    Add(NewRingShot(RawShotRecord::NoScore));  // a ring shot the unit did not score
    TShot* traced = TracedShot(93, 160, 40, 30, -20);

    r->Render(R::ViewTextPage);
    EXPECT_TRUE(Shows(r->GridToPixel(1.5, 2), QStringLiteral("    9 @3"), font, true));
    EXPECT_TRUE(Shows(r->GridToPixel(6, 2), QStringLiteral("0.1s"), font));
    EXPECT_TRUE(Shows(r->GridToPixel(1.5, 3), QStringLiteral("   10 X"), font, true));
    EXPECT_TRUE(Plain(Cells(6, 2.9, 8)));      // 100 ms: no aiming time
    EXPECT_TRUE(Shows(r->GridToPixel(1.5, 4), QStringLiteral("  Fatal"), font, true));
    EXPECT_TRUE(Shows(r->GridToPixel(6, 4), QStringLiteral("2.3s"), font));
    EXPECT_TRUE(Plain(Cells(8, 3.9, 17)));     // a silhouette shot has no hold values
    EXPECT_TRUE(Plain(Cells(1.5, 4.9, 17)));   // zone 7: no word, nothing else
    EXPECT_TRUE(Shows(r->GridToPixel(1.5, 6), QStringLiteral("  N/A"), font, true));

    // Hold values of a ring shot come from its analysis, kept in the shot.
    ASSERT_TRUE(traced->analysisValid);
    const TraceAnalysis a = traced->analysis;
    const auto fixed = [](double v) { return QString::asprintf("%4.1f", v); };
    EXPECT_TRUE(Shows(r->GridToPixel(8, 7), fixed(a.cogX), font));
    EXPECT_TRUE(Shows(r->GridToPixel(10, 7), fixed(a.cogY), font));
    EXPECT_TRUE(Shows(r->GridToPixel(12, 7), fixed(a.devX * 0.01), font));
    EXPECT_TRUE(Shows(r->GridToPixel(14, 7), fixed(a.devY * 0.01), font));
    // Without a grading file nothing is graded: no icons.
    EXPECT_TRUE(Plain(Cells(17, 7, 21)));

    // The ring target the shots were scored on decides on decimal scores,
    // also for a downloaded or reopened shooter, which has no current target.
    shooter.currentTarget = TargetDescription {};
    shooter.targets.ringTargets[0].SetDecimalScores(true);
    r->Render(-1);
    EXPECT_TRUE(Shows(r->GridToPixel(1.5, 2), QStringLiteral(" 9.7 @3"), font, true));
    EXPECT_TRUE(Shows(r->GridToPixel(1.5, 3), QStringLiteral("10.4 X"), font, true));
    // A slot the tables do not hold goes by the current target.
    shooter.targets.ringDefined[0] = 0;
    r->Render(-1);
    EXPECT_TRUE(Shows(r->GridToPixel(1.5, 2), QStringLiteral("    9 @3"), font, true));
}

TEST_F(TextPage, HoldColumnsKeepXAndYApart)
{
    // Rings 4 mm apart. The aim holds X at 8 mm (2.0 rings, no spread) and
    // swings Y between 0 and 8 mm (1.0 ring about 1.0 ring).
    r->SetSize(1024, 768);
    auto shot = NewRingShot(93);
    shot->raw.SetFunctionMode(1);
    shot->raw.SetX(80);
    shot->raw.SetY(40);
    shot->AllocateCurve(160);
    for (int i = 0; i < 160; ++i) {
        shot->Curve()[i].SetX(80);
        shot->Curve()[i].SetY(i % 2 == 0 ? 0 : 80);
    }
    Add(std::move(shot));
    r->Render(R::ViewTextPage);
    const int font = 27;
    EXPECT_TRUE(Shows(r->GridToPixel(8, 2), QStringLiteral(" 2.0"), font));
    EXPECT_TRUE(Shows(r->GridToPixel(10, 2), QStringLiteral(" 1.0"), font));
    EXPECT_TRUE(Shows(r->GridToPixel(12, 2), QStringLiteral(" 0.0"), font));
    EXPECT_TRUE(Shows(r->GridToPixel(14, 2), QStringLiteral(" 1.0"), font));
}

TEST_F(TextPage, GradeIconsOfGradedShots)
{
    LoadGrading();
    r->SetSize(1024, 768);
    GradedShots();
    r->Render(R::ViewTextPage);

    const auto icon = [](int level) -> const QImage& {
        static const QImage none;
        return level == 1 ? UiBitmap(BitmapFiles::Grade1).transparent
             : level == 2 ? UiBitmap(BitmapFiles::Grade2).transparent
             : level == 3 ? UiBitmap(BitmapFiles::Grade3).transparent
                          : none;
    };
    ASSERT_FALSE(icon(1).isNull());
    for (int i = 0; i < 10; ++i) {
        TShot& shot = *shooter.GetShot(i);
        const ShotGradeRecord grade = ComputeShotGrade(r->GradingPanel->selection, shot);
        ASSERT_TRUE(grade.valid) << i;
        const ShotGradeLevels levels = ComputeShotGradeLevels(grade);
        const int row = 2 + i;
        const int shown[] = { levels.levels[GradeHold].level, levels.levels[GradeAim].level, levels.trigLevel };
        for (int k = 0; k < 3; ++k) {
            const QPoint p = r->GridToPixel(17.1 + k, row + 0.2);
            QImage expected = r->DisplayLayer.copy(QRect(p, icon(shown[k]).size()));
            expected.fill(QColor(0x80, 0x80, 0x80));
            {
                TCanvas c(expected);
                c.Draw(0, 0, icon(shown[k]));
            }
            EXPECT_EQ(r->DisplayLayer.copy(QRect(p, expected.size())), expected) << "shot " << i << " icon " << k;
        }
    }
    // The shot too short to grade shows no icons; the header shows the
    // component icons above the three columns.
    EXPECT_TRUE(Plain(Cells(17, 12, 21)));
    for (int column : { 17, 18, 19 })
        EXPECT_FALSE(Plain(QRect(r->GridToPixel(column, 0).x(), 4, 12, 12))) << column;
}

TEST_F(TextPage, SummaryPageGridAndCounts)
{
    LoadGrading();
    GradedShots();
    r->TextPage = -1;
    r->SetSize(640, 480); // rows of 20 px, font 18
    r->Render(R::ViewTextPage);
    EXPECT_EQ(std::tuple(r->GridColumns, r->GridRows), std::tuple(18, 24));

    const GradeSummaryRecord summary = GradeSummary(r->GradingPanel->selection, shooter);
    ASSERT_EQ(summary.rows[0].count, 10);
    EXPECT_TRUE(Shows(r->GridToPixel(1, 1), QStringLiteral("Grading Summary"), 18));
    EXPECT_TRUE(Shows(r->GridToPixel(2, 12), QStringLiteral("Triggering"), 18));
    const int levelColumn[] = { 0, 14, 11, 8 };
    const struct {
        int summaryRow, gridRow;
    } rows[] = { { 4, 8 }, { 7, 10 }, { 10, 12 } };
    for (const auto& row : rows) {
        for (int level = 1; level <= 3; ++level) {
            const int count = summary.rows[size_t(row.summaryRow)].levelCount[size_t(level)];
            EXPECT_TRUE(Shows(r->GridToPixel(levelColumn[level], row.gridRow), QString::number(count), 18))
                << "row " << row.summaryRow << " level " << level;
        }
    }
    EXPECT_TRUE(Shows(r->GridToPixel(8, 3), QStringLiteral("3"), 18));
    EXPECT_FALSE(Plain(QRect(r->GridToPixel(8, 2), QSize(8, 8))));     // the level icon
    EXPECT_FALSE(Plain(QRect(r->GridToPixel(0.85, 8), QSize(8, 8))));  // the component icon

    // The same page drawn onto another canvas over a rectangle of the same
    // size is the same picture there.
    {
        QImage sheet = NewLayer(900, 700);
        sheet.fill(QColor(0x80, 0x80, 0x80));
        {
            TCanvas canvas(sheet);
            r->DrawGradingSummaryPage(canvas, { 100, 50, 740, 530 });
        }
        EXPECT_EQ(sheet.copy(100, 50, 640, 480), r->DisplayLayer);
    }

    // Low layers keep rows of 20 px and have fewer of them; under 20 px not
    // one fits and the page stays empty.
    r->SetSize(400, 300);
    r->Render(-1);
    EXPECT_EQ(r->GridRows, 15);
    EXPECT_TRUE(Shows(r->GridToPixel(1, 1), QStringLiteral("Grading Summary"), 18));
    for (int h : { 19, 1 }) {
        r->SetSize(400, h);
        r->Render(-1);
        EXPECT_EQ(r->GridRows, 0);
        EXPECT_TRUE(Plain(r->DisplayLayer.rect()));
    }

    // A shooter without gradable shots gets zeros.
    TShooter empty;
    UseTarget(empty, target);
    r->Shooter = &empty;
    r->SetSize(640, 480);
    r->Render(-1);
    EXPECT_TRUE(Shows(r->GridToPixel(8, 8), QStringLiteral("0"), 18));
    EXPECT_TRUE(Shows(r->GridToPixel(14, 12), QStringLiteral("0"), 18));
}

TEST_F(TextPage, SavesPicturesOfTheShotTableAndTheSummary)
{
    LoadGrading();
    GradedShots();
    Add(NewFieldShot(2))->aimingTime = 1800;
    r->SetSize(800, 600);
    r->SelectedShot = shooter.GetShot(4);
    r->TextPage = 0;
    r->Render(R::ViewTextPage);
    EXPECT_TRUE(r->DisplayLayer.save(ScreensFolder() + QStringLiteral("/TargetTextPage.png"), "PNG"));
    // 800 x 600: 17 rows, font 21. The selected fifth shot's row carries the
    // bar, its neighbours none; the last row is the fatal hit of 1.8 s.
    ASSERT_EQ(r->GridRows, 17);
    EXPECT_EQ(std::tuple(Pixel(r->GridToPixel(20.5, 5.3)), Pixel(r->GridToPixel(20.5, 6.3)),
                         Pixel(r->GridToPixel(20.5, 7.3))),
              std::tuple(Background, Highlight, Background));
    EXPECT_TRUE(Shows(r->GridToPixel(0, 13), QStringLiteral(" 12"), 21));
    EXPECT_TRUE(Shows(r->GridToPixel(1.5, 13), QStringLiteral("  Fatal"), 21, true));
    EXPECT_TRUE(Shows(r->GridToPixel(6, 13), QStringLiteral("1.8s"), 21));

    r->TextPage = -1;
    r->Render(R::ViewTextPage);
    EXPECT_TRUE(r->DisplayLayer.save(ScreensFolder() + QStringLiteral("/TargetGradingSummary.png"), "PNG"));
    // Rows of 25 px, font 22: the title and the three components.
    EXPECT_TRUE(Shows(r->GridToPixel(1, 1), QStringLiteral("Grading Summary"), 22));
    EXPECT_TRUE(Shows(r->GridToPixel(2, 8), QStringLiteral("Hold"), 22));
    EXPECT_TRUE(Shows(r->GridToPixel(2, 10), QStringLiteral("Aim"), 22));
    EXPECT_TRUE(Shows(r->GridToPixel(2, 12), QStringLiteral("Triggering"), 22));
}

} // namespace
