// The text page of the target view, laid out on a character grid: a table of
// fifteen shots a page (score, aiming time, hold centre and spread, grade
// icons), or the grading summary of all of the shooter's shots.
#include "Targetrenderer.h"

#include "GradeSummary.h"
#include "GradingPanel.h"
#include "ScoreDecimals.h"
#include "ShotAnalysis.h"
#include "ShotGrading.h"
#include "Shotdata.h"
#include "Translation.h"
#include "UiBitmaps.h"

#include <algorithm>
#include <vector>

namespace {

constexpr int PageShots = 15;
constexpr int SummaryPage = -1;

constexpr int TableColumns = 21;
// The row count starts one above the first size tried.
constexpr int TableRowsStart = 18;
constexpr int MinTableFont = 16;
constexpr int FirstShotRow = 2;
constexpr int IconTop = 4;

constexpr int SummaryColumns = 18;
constexpr int SummaryRows = 24;
constexpr int MinSummaryRow = 20;

bool IsRingShot(const RawShotRecord& r) { return r.RingTargetIndex() < DeviceSetup::SlotCount; }

const QImage& NoPicture()
{
    static const QImage none;
    return none;
}

// Grade levels 1 .. 3 have an icon; 0 and anything a grading file may name
// beyond them draw nothing.
const QImage& GradeIcon(int level)
{
    switch (level) {
    case 1:
        return UiBitmap(BitmapFiles::Grade1).transparent;
    case 2:
        return UiBitmap(BitmapFiles::Grade2).transparent;
    case 3:
        return UiBitmap(BitmapFiles::Grade3).transparent;
    default:
        return NoPicture();
    }
}

enum ComponentIcon { IconHit, IconHold, IconAim, IconTrig };

const QImage& ComponentPicture(ComponentIcon which)
{
    const TGradingBitmapHandler* handler = GradingBitmaps();
    return handler ? handler->components[std::size_t(which)].transparent : NoPicture();
}

// "Miss", "Hit", "Fatal", "Near" for zones 0 .. 3; any other zone byte is no
// zone and has no word.
QString ZoneWord(int zone)
{
    static const char* const Words[] = { "Miss", "Hit", "Fatal", "Near" };
    if (zone < 0 || zone > 3)
        return {};
    return Translate(QString::fromLatin1(Words[zone]));
}

QString ScoreText(const RawShotRecord& r, bool decimal)
{
    if (!IsRingShot(r))
        return QStringLiteral("  ") + ZoneWord(r.Silhouette());
    // A ring shot the unit could not score carries the no-score byte, which
    // is no ring value.
    if (!r.HasScore())
        return QStringLiteral("  ") + Translate(QStringLiteral("N/A"));
    QString text = decimal ? FormatDisplayText(QStringLiteral("%4.1f"), { r.Score() * 0.1 })
                           : FormatDisplayText(QStringLiteral("%5d"), { double(r.Score() / 10) });
    if (r.InnerTen())
        text += QStringLiteral(" X");
    else
        text += QStringLiteral(" @") + FormatDisplayText(QStringLiteral("%i"), { double(r.ClockSector()) });
    return text;
}

} // namespace

// ---- Character grid -----------------------------------------------------------------------

QPoint TCharGrid::ToPixel(double col, double row) const
{
    const double width = double(area.right) - area.left;
    const double height = double(area.bottom) - area.top;
    const int x = columns > 0 ? ::ToPixel(width * col / columns) : 0;
    const int y = rows > 0 ? ::ToPixel(height * row / rows) : 0;
    return QPoint(SaturatingCast<int>(double(area.left) + x), SaturatingCast<int>(double(area.top) + y));
}

void TCharGrid::TextOut(TCanvas& canvas, double col, double row, const QString& text, int align) const
{
    const QPoint p = ToPixel(col, row);
    int x = p.x();
    if (align < 0)
        x -= canvas.TextWidth(text);
    else if (align == 0)
        x -= canvas.TextWidth(text) / 2;
    canvas.TextOut(x, p.y(), text);
}

void TCharGrid::Draw(TCanvas& canvas, double col, double row, const QImage& picture) const
{
    const QPoint p = ToPixel(col, row);
    canvas.Draw(p.x(), p.y(), picture);
}

QPoint TTargetRenderer::GridToPixel(double col, double row) const
{
    return TCharGrid { { 0, 0, DisplayLayer.width(), DisplayLayer.height() }, GridColumns, GridRows }.ToPixel(col, row);
}

void TTargetRenderer::GridTextOut(double col, double row, const QString& text, int align)
{
    TPaintScope scope(*this);
    const TCharGrid grid { { 0, 0, DisplayLayer.width(), DisplayLayer.height() }, GridColumns, GridRows };
    grid.TextOut(DisplayCanvas(), col, row, text, align);
}

void TTargetRenderer::GridDraw(double col, double row, const QImage& graphic)
{
    TPaintScope scope(*this);
    const TCharGrid grid { { 0, 0, DisplayLayer.width(), DisplayLayer.height() }, GridColumns, GridRows };
    grid.Draw(DisplayCanvas(), col, row, graphic);
}

// ---- Shot table -----------------------------------------------------------------------------

void TTargetRenderer::DrawTextPage()
{
    if (Shooter == nullptr)
        return;
    if (TextPage < SummaryPage)
        TextPage = SummaryPage;
    if (TextPage == SummaryPage) {
        DrawGradingSummaryPage();
        return;
    }

    GridColumns = TableColumns;
    GridRows = TableRowsStart;
    const std::vector<TShot*> shots = Shooter->SnapshotShots();
    const int n = int(shots.size());
    if (int64_t(n) < int64_t(TextPage) * PageShots)
        TextPage = n / PageShots;
    const int first = TextPage * PageShots;
    const int end = std::min(first + PageShots, n);

    // The most rows whose font is still readable; a layer too small for even
    // one such row shows nothing.
    const double side = std::min(DisplayLayer.width(), DisplayLayer.height());
    int fontHeight = 0;
    do {
        --GridRows;
        if (GridRows == 0)
            return;
        fontHeight = ToPixel(side * 0.6 / GridRows);
    } while (fontHeight < MinTableFont);

    TPaintScope scope(*this);
    TCanvas& canvas = DisplayCanvas();
    canvas.SetFont(QStringLiteral("Courier New"), fontHeight, false);
    canvas.SetFontColour(clWhite);
    canvas.SetBrushStyle(TBrushStyle::Clear);

    const struct {
        const char* text;
        int column;
    } heads[] = { { "Shot", 0 }, { "Score", 3 }, { "AimT", 6 }, { "COGX", 8 },
                  { "COGY", 10 }, { "DevX", 12 }, { "DevY", 14 } };
    for (const auto& head : heads)
        GridTextOut(head.column, 0, Translate(QString::fromLatin1(head.text)), 1);

    canvas.Draw(GridToPixel(17, 0).x(), IconTop, ComponentPicture(IconHold));
    canvas.Draw(GridToPixel(18, 0).x(), IconTop, ComponentPicture(IconAim));
    canvas.Draw(GridToPixel(19, 0).x(), IconTop, ComponentPicture(IconTrig));

    const int grey = ToPixel(Colour(ClrBackground).Red() * 0.8);
    const TColor highlight(uint32_t(grey) * 0x010101u);

    for (int i = first; i < end; ++i) {
        TShot& shot = *shots[std::size_t(i)];
        const RawShotRecord& raw = shot.raw;
        const double r = FirstShotRow + (i - first);

        if (&shot == SelectedShot || (i >= RangeFirst && i <= RangeLast)) {
            canvas.SetPenColour(highlight);
            canvas.SetBrushColour(highlight);
            canvas.SetBrushStyle(TBrushStyle::Solid);
            const QPoint from = GridToPixel(0, r - 0.2);
            const QPoint to = GridToPixel(100, r + 0.8);
            canvas.Rectangle(from.x(), from.y(), to.x(), to.y());
            canvas.SetBrushStyle(TBrushStyle::Clear);
        }

        GridTextOut(0, r, FormatDisplayText(QStringLiteral("%3d"), { double(i + 1) }), 1);
        canvas.SetFontBold(true);
        GridTextOut(1.5, r, ScoreText(raw, ShotScoredInTenths(*Shooter, raw)), 1);
        canvas.SetFontBold(false);
        if (shot.aimingTime > 100)
            GridTextOut(6, r, FormatDisplayText(QStringLiteral("%2.1fs"), { shot.aimingTime * 0.001 }), 1);

        if (!IsRingShot(raw))
            continue;
        // Analysed once, then taken from the shot's cache.
        const TraceAnalysis analysis = AnalyseShotTrace(shot);
        GridTextOut(8, r, FormatDisplayText(QStringLiteral("%4.1f"), { analysis.cogX }), 1);
        GridTextOut(10, r, FormatDisplayText(QStringLiteral("%4.1f"), { analysis.cogY }), 1);
        GridTextOut(12, r, FormatDisplayText(QStringLiteral("%4.1f"), { analysis.devX * 0.01 }), 1);
        GridTextOut(14, r, FormatDisplayText(QStringLiteral("%4.1f"), { analysis.devY * 0.01 }), 1);

        if (!analysis.valid || !GradingPanel)
            continue;
        const ShotGradeRecord grade = ComputeShotGrade(GradingPanel->selection, shot);
        if (grade.overall == 0)
            continue;
        const ShotGradeLevels levels = ComputeShotGradeLevels(grade);
        GridDraw(17.1, r + 0.2, GradeIcon(levels.levels[GradeHold].level));
        GridDraw(18.1, r + 0.2, GradeIcon(levels.levels[GradeAim].level));
        GridDraw(19.1, r + 0.2, GradeIcon(levels.trigLevel));
    }
}

// ---- Grading summary -----------------------------------------------------------------------

void TTargetRenderer::DrawGradingSummaryPage()
{
    TPaintScope scope(*this);
    if (DisplayLayer.isNull()) {
        GridColumns = SummaryColumns;
        GridRows = 0;
        return;
    }
    DrawGradingSummaryPage(DisplayCanvas(), { 0, 0, DisplayLayer.width(), DisplayLayer.height() });
}

void TTargetRenderer::DrawGradingSummaryPage(TCanvas& canvas, const TPixelRect& area)
{
    GridColumns = SummaryColumns;
    GridRows = SummaryRows;
    const int height = area.bottom - area.top;
    int rowHeight = height / SummaryRows;
    if (rowHeight < MinSummaryRow) {
        rowHeight = MinSummaryRow;
        GridRows = ToPixel(height / double(MinSummaryRow));
    }
    // Not one row of text fits.
    if (GridRows <= 0)
        return;

    GradeSummaryRecord summary;
    InitGradeSummary(summary);
    if (Shooter != nullptr && GradingPanel)
        summary = GradeSummary(GradingPanel->selection, *Shooter);

    const TCharGrid grid { area, GridColumns, GridRows };
    canvas.SetFont(QStringLiteral("Courier New"), ToPixel(rowHeight * 0.9), false);
    canvas.SetFontColour(clWhite);
    canvas.SetBrushStyle(TBrushStyle::Clear);

    grid.TextOut(canvas, 1, 1, Translate(QStringLiteral("Grading Summary")), 1);

    // Columns by grade level, best first.
    const struct {
        int level;
        double column;
    } levelColumns[] = { { 3, 8 }, { 2, 11 }, { 1, 14 } };
    for (const auto& c : levelColumns) {
        grid.Draw(canvas, c.column, 2, GradeIcon(c.level));
        grid.TextOut(canvas, c.column, 3, FormatDisplayText(QStringLiteral("%i"), { double(c.level) }), 1);
    }

    const struct {
        ComponentIcon icon;
        const char* word;
        int summaryRow;
        double gridRow;
    } components[] = { { IconHold, "Hold", 4, 8 }, { IconAim, "Aim", 7, 10 }, { IconTrig, "Triggering", 10, 12 } };
    for (const auto& c : components) {
        grid.Draw(canvas, 0.85, c.gridRow, ComponentPicture(c.icon));
        grid.TextOut(canvas, 2, c.gridRow, Translate(QString::fromLatin1(c.word)), 1);
        const GradeSummaryRow& row = summary.rows[std::size_t(c.summaryRow)];
        for (const auto& l : levelColumns)
            grid.TextOut(canvas, l.column, c.gridRow,
                         FormatDisplayText(QStringLiteral("%i"), { double(row.levelCount[std::size_t(l.level)]) }), 1);
    }
}
