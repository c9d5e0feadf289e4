// The drawing steps of the printed pages: banners and frame, rings,
// silhouette, shots, the summary lines, the grading summary and the shot
// table. Each draws on Canvas inside the current region.
#include "Printmanager.h"

#include "GradeSummary.h"
#include "GradingPanel.h"
#include "ScoreDecimals.h"
#include "ShotScoring.h"
#include "Shotdata.h"
#include "Shotstring.h"
#include "Targetrenderer.h"
#include "Translation.h"
#include "UiBitmaps.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <vector>

namespace {

constexpr int Zones = 4;
constexpr double DefaultShotDiameter = 7.62;
constexpr int TableGroups = 4;
constexpr int ShotsPerGroup = 30;
constexpr int DistributionPieceLimit = 100;

// A zone byte the four zones do not cover is no zone.
int ZoneOf(int value) { return value >= 0 && value < Zones ? value : 0; }

bool IsRingShot(const RawShotRecord& r) { return r.RingTargetIndex() < DeviceSetup::SlotCount; }
bool IsSilhouetteShot(const RawShotRecord& r) { return r.SilhouetteTargetIndex() < DeviceSetup::SlotCount; }

void BlackPen(TCanvas& canvas, TPenStyle style)
{
    canvas.SetPenColour(clBlack);
    canvas.SetPenWidth(1);
    canvas.SetPenStyle(style);
}

// A printed font's height is the height of its character cell (the line
// that ascent and descent span), not the letters' size: the largest font
// whose line is no higher than cellHeight.
int SetCellFont(TCanvas& canvas, const QString& name, int cellHeight, bool bold)
{
    int size = std::max(1, cellHeight);
    canvas.SetFont(name, size, bold);
    const int line = canvas.TextHeight(QStringLiteral("0"));
    if (line > cellHeight && line > 0) {
        size = std::max(1, int(int64_t(size) * cellHeight / line));
        canvas.SetFont(name, size, bold);
    }
    while (size > 1 && canvas.TextHeight(QStringLiteral("0")) > cellHeight)
        canvas.SetFont(name, --size, bold);
    return size;
}

// A text and the width it must fit in, a clear gap included.
struct TFitCell {
    QString text;
    int width;
};

// Shrinks the canvas's font, from size down, until every text fits its width
// with one blank to spare behind it.
void ShrinkToFit(TCanvas& canvas, const QString& name, int size, bool bold, const std::vector<TFitCell>& cells)
{
    // The smallest share of its need that a text's width gives it.
    const auto share = [&] {
        const int gap = canvas.TextWidth(QStringLiteral(" "));
        double least = 1.0;
        for (const TFitCell& c : cells) {
            const int need = canvas.TextWidth(c.text) + gap;
            if (need > 0)
                least = std::min(least, double(std::max(c.width, 0)) / need);
        }
        return least;
    };
    // Monospaced and most other texts scale with the font: one step gets
    // close, single steps finish.
    if (const double first = share(); first < 1.0) {
        size = std::max(1, int(size * first));
        canvas.SetFont(name, size, bold);
    }
    while (size > 1 && share() < 1.0)
        canvas.SetFont(name, --size, bold);
}

// The grading summary's box in a region: its column from x0, bw wide, rows
// lh apart from y0, counts cw apart; its icons stand left of x0.
struct TSummaryBox {
    int x0, bw, lh, cw, y0;
    int IconsLeft() const { return ToPixel(x0 - 1.5 * lh); }
};

TSummaryBox SummaryBox(int left, int top, int right, int bottom)
{
    const int w = right - left;
    const int bw = ToPixel(w * (1 - 0.73));
    const int lh = (bottom - top) / 25;
    return { ToPixel(left + w * 0.73), bw, lh, bw / 12, top };
}

// The text without the blanks at its end.
QString RightTrimmed(const QString& text)
{
    qsizetype n = text.size();
    while (n > 0 && text.at(n - 1).isSpace())
        --n;
    return text.left(n);
}

// The length of the longest head of text that ends at a boundary of the
// given kind and is no wider than width, blanks at its end not counted.
qsizetype FittingHead(const TCanvas& canvas, const QString& text, int width, QTextBoundaryFinder::BoundaryType kind)
{
    qsizetype best = 0;
    QTextBoundaryFinder finder(kind, text);
    while (finder.toNextBoundary() > 0) {
        if (canvas.TextWidth(RightTrimmed(text.left(finder.position()))) > width)
            break;
        best = finder.position();
    }
    return best;
}

// The longest head of text that fits width with an ellipsis behind it; empty
// when not even the ellipsis fits.
QString Elided(const TCanvas& canvas, const QString& text, int width)
{
    const QString ellipsis(QChar(0x2026));
    const int room = width - canvas.TextWidth(ellipsis);
    if (room < 0)
        return QString();
    return RightTrimmed(text.left(FittingHead(canvas, text, room, QTextBoundaryFinder::Grapheme))) + ellipsis;
}

// A free-text line of the text block fitted to width: its font size and
// its one or two rows.
struct TFittedLine {
    int size;
    QStringList rows;
};

// A line that fits keeps the block's size. A longer one gets smaller type,
// down to half that size; then a second row at half size, the two as high as
// one line of the block; what those cannot hold is cut short with an
// ellipsis. The canvas is left with the returned size.
TFittedLine FitLine(TCanvas& canvas, const QString& font, const QString& text, int size, int width)
{
    const auto fits = [&](int s) {
        canvas.SetFont(font, s, false);
        return canvas.TextWidth(text) <= width;
    };
    // A region too small to leave any room gets no line rather than one
    // across the summary.
    if (width <= 0)
        return { size, {} };
    if (fits(size))
        return { size, { text } };
    const int floor = std::max(1, size / 2);
    // Widths scale with the font: one step gets close, single steps finish.
    const int guess = int(int64_t(size) * width / std::max(canvas.TextWidth(text), 1));
    int s = std::max(floor, std::min(guess, size - 1));
    while (s + 1 < size && fits(s + 1))
        ++s;
    while (s > floor && !fits(s))
        --s;
    if (fits(s))
        return { s, { text } };

    canvas.SetFont(font, floor, false);
    qsizetype head = FittingHead(canvas, text, width, QTextBoundaryFinder::Line);
    if (head == 0) // one word wider than the row: it breaks between characters
        head = FittingHead(canvas, text, width, QTextBoundaryFinder::Grapheme);
    QString rest = text.mid(head);
    while (!rest.isEmpty() && rest.front().isSpace())
        rest.remove(0, 1);
    if (canvas.TextWidth(rest) > width)
        rest = Elided(canvas, rest, width);
    return { floor, { RightTrimmed(text.left(head)), rest } };
}

} // namespace

QString TThePrintManager::FormatCount(int n) { return QString::asprintf("%2d", n); }

// ---- Frame and banners --------------------------------------------------------------------

void TThePrintManager::DrawBanners()
{
    BlackPen(*Canvas, TPenStyle::Solid);
    Canvas->SetBrushStyle(TBrushStyle::Clear);
    Canvas->Rectangle(RegionLeft, RegionTop, RegionRight, RegionBottom);
    const int middle = (RegionTop + RegionBottom) / 2;
    Canvas->Line(RegionLeft, middle, RegionRight, middle);

    // Each banner spans the frame's width at its own aspect; where the margin
    // between page edge and frame is lower than that (a landscape page), it
    // keeps its aspect at the margin's height, centred over the frame. A
    // missing picture, or one no wider than tall, has no height to give.
    const double width = RegionRight - RegionLeft;
    const auto ratio = [](const TUiBitmap& b) { return b.Height() > 0 ? b.Width() / b.Height() : 0; };
    const auto place = [&](int a, double room) {
        const double height = std::min(width / a, std::max(room, 0.0));
        const double inset = (width - height * a) / 2;
        return std::pair(ToPixel(RegionLeft + inset), ToPixel(RegionRight - inset));
    };
    const TUiBitmap& header = UiBitmap(BitmapFiles::BannerHeader);
    if (const int a = ratio(header); a > 0) {
        const auto [left, right] = place(a, RegionTop);
        Canvas->StretchDraw(left, ToPixel(RegionTop - double(right - left) / a), right, RegionTop, header.image);
    }
    const TUiBitmap& footer = UiBitmap(BitmapFiles::BannerFooter);
    if (const int a = ratio(footer); a > 0) {
        const auto [left, right] = place(a, Canvas->Height() - RegionBottom);
        Canvas->StretchDraw(left, RegionBottom, right, ToPixel(RegionBottom + double(right - left) / a), footer.image);
    }
}

// ---- Target ------------------------------------------------------------------------------------

void TThePrintManager::DrawRings()
{
    if (!Target || !Target->hasRing)
        return;
    const RingTargetRecord& ring = Target->ringRecord;
    const double unit = ring.SizesInInch() ? 0.254 : 0.1;
    const auto circle = [this](double r) { Canvas->Ellipse(MapX(-r), MapY(-r), MapX(r), MapY(r)); };

    BlackPen(*Canvas, TPenStyle::Solid);
    Canvas->SetBrushStyle(TBrushStyle::Clear);
    const double black = ring.DiameterBlackArea() / 2.0 * unit;
    if (black > 0.0) {
        Canvas->SetPenStyle(TPenStyle::Clear);
        Canvas->SetBrushStyle(TBrushStyle::Solid);
        Canvas->SetBrushColour(Colours[1]);
        circle(black);
        const double white = ring.DiameterInnerWhite() / 2.0 * unit;
        if (white > 0.0) {
            Canvas->SetBrushColour(Colours[0]);
            circle(white);
        }
    }
    // The inner ten keeps the fill of the area it lies in.
    BlackPen(*Canvas, TPenStyle::Dash);
    circle(ring.DiameterX() / 2.0 * unit);

    BlackPen(*Canvas, TPenStyle::Solid);
    Canvas->SetBrushStyle(TBrushStyle::Clear);
    for (int v = ring.MinimumRing(); v <= ring.HighestRing(); ++v) {
        const double r = RingRadius(v);
        if (r >= 0.0)
            circle(r);
    }
}

void TThePrintManager::DrawSilhouette()
{
    if (!Target || !Target->hasSilhouette)
        return;
    const SilhouetteMatrix& matrix = Target->silhouetteMatrix;
    const int columns = SilhouetteMatrix::Columns;
    const int rows = SilhouetteMatrix::Rows;
    const double size = SilhouetteExtentMm();
    const double cell = size / columns;
    const double origin = -size / 2;
    const auto zone = [&](int c, int r) { return ZoneOf(matrix.Cell(c, r)); };

    BlackPen(*Canvas, TPenStyle::Solid);
    // One position past the last row and column closes the outlines there.
    for (int r = 0; r <= rows; ++r) {
        for (int c = 0; c <= columns; ++c) {
            const int z = zone(c, r);
            const double x = c * cell + origin;
            const double y = r * cell + origin;
            if (z != 0) {
                Canvas->SetBrushStyle(TBrushStyle::Solid);
                Canvas->SetBrushColour(Colours[std::size_t(z)]);
                Canvas->SetPenStyle(TPenStyle::Clear);
                Canvas->Rectangle(MapX(x), MapY(y), MapX(x + cell), MapY(y + cell));
            }
            Canvas->SetBrushStyle(TBrushStyle::Clear);
            Canvas->SetPenStyle(TPenStyle::Solid);
            const int left = c == 0 || r == rows ? 0 : zone(c - 1, r);
            const int up = r == 0 || c == columns ? 0 : zone(c, r - 1);
            if (left != z)
                Canvas->Line(MapX(x), MapY(y), MapX(x), MapY(y + cell));
            if (up != z)
                Canvas->Line(MapX(x), MapY(y), MapX(x + cell), MapY(y));
        }
    }
}

void TThePrintManager::DrawShots()
{
    if (!Shooter || !Target)
        return;
    double d = Target->hasRing ? ShotScoring::CaliberMm(Target->ringRecord) : DefaultShotDiameter;
    if (d <= 0.0)
        d = DefaultShotDiameter;
    const double r = d / 2;
    BlackPen(*Canvas, TPenStyle::Solid);
    Canvas->SetBrushStyle(TBrushStyle::Solid);
    Canvas->SetBrushColour(clBlack);
    // The picture shows what the screen shows: hits on this target that
    // carry no failure. The table below lists every shot.
    for (const TShot* shot : Shooter->SnapshotShots()) {
        if (shot->raw.Failures() != 0 || !Shooter->ShotTargetEquals(*shot, *Target))
            continue;
        const double x = shot->raw.X() * 0.1;
        const double y = shot->raw.Y() * 0.1;
        Canvas->Ellipse(MapX(x - r), MapY(-y - r), MapX(x + r), MapY(-y + r));
    }
}

// ---- Texts -----------------------------------------------------------------------------------

void TThePrintManager::DrawDistribution()
{
    const int lh = (RegionBottom - RegionTop) / 20;
    const QString tahoma = QStringLiteral("Tahoma");
    Canvas->SetBrushStyle(TBrushStyle::Clear);
    Canvas->SetFontColour(clBlack);
    Canvas->SetFont(tahoma, lh, false);

    Lines.insert(0, Shooter ? Shooter->name : QString());
    Lines.insert(1, CurrentSession ? CurrentSession->date : QString());

    // The lines above the distribution (name, date, target name and the
    // like) end a blank short of the grading summary's column, whether or
    // not this page has a summary, so that every shooter's page looks alike.
    const int room = SummaryBox(RegionLeft, RegionTop, RegionRight, RegionBottom).IconsLeft()
        - Canvas->TextWidth(QStringLiteral(" ")) - RegionLeft;
    const QString heading = Translate(QStringLiteral("Distribution"));
    bool distribution = false;
    for (int i = 0; i < Lines.size(); ++i) {
        const QString& line = Lines[i];
        const int y = RegionTop + i * lh;
        if (!distribution) {
            const TFittedLine fitted = FitLine(*Canvas, tahoma, line, lh, room);
            for (qsizetype r = 0; r < fitted.rows.size(); ++r)
                Canvas->TextOut(RegionLeft, y + int(r) * fitted.size, fitted.rows[r]);
            Canvas->SetFont(tahoma, lh, false);
            if (line == heading) {
                distribution = true;
                Canvas->SetFont(QStringLiteral("Courier New"), lh, false);
            }
            continue;
        }
        // The label up to its dash, then the figures behind it.
        const int p = int(line.indexOf(QLatin1Char('-'))) + 1;
        const QString first = line.left(p);
        Canvas->TextOut(RegionLeft, y, first);
        Canvas->TextOut(RegionLeft + Canvas->TextWidth(first), y, line.mid(p, DistributionPieceLimit));
    }
    Canvas->SetFont(QStringLiteral("Tahoma"), lh, false);
}

void TThePrintManager::DrawGradingSummary()
{
    if (!Shooter || !Viewer || !Viewer->Renderer().GradingPanel)
        return;
    const GradeSummaryRecord summary = GradeSummary(Viewer->Renderer().GradingPanel->selection, *Shooter);
    if (summary.rows[0].levelSum == 0)
        return;

    const TSummaryBox box = SummaryBox(RegionLeft, RegionTop, RegionRight, RegionBottom);
    const auto [x0, bw, lh, cw, y0] = box;

    // A translated title or row head longer than the English one gets a
    // smaller font rather than running into the frame or the counts.
    const QString font = QStringLiteral("Tahoma");
    const int size = ToPixel(lh * 0.8);
    Canvas->SetFont(font, size, true);
    Canvas->SetFontColour(clBlack);
    Canvas->SetBrushStyle(TBrushStyle::Clear);
    const QString title = Translate(QStringLiteral("Grading Summary"));
    ShrinkToFit(*Canvas, font, size, true, { { title, bw } });
    Canvas->TextOut(ToPixel(x0 + (bw - Canvas->TextWidth(title)) * 0.45), y0, title);
    Canvas->SetFont(font, size, true);
    Canvas->TextOut(x0 + 6 * cw, y0 + 2 * lh, QStringLiteral("(3)"));
    Canvas->TextOut(x0 + 8 * cw, y0 + 2 * lh, QStringLiteral("(2)"));
    Canvas->TextOut(x0 + 10 * cw, y0 + 2 * lh, QStringLiteral("(1)"));

    struct Component {
        const char* word;
        int row;      // row of the summary
        int picture;  // index into the grading pictures' components
    };
    static constexpr Component components[] = { { "Hold", 4, 1 }, { "Aim", 7, 2 }, { "Triggering", 10, 3 } };
    std::vector<TFitCell> heads;
    for (const Component& c : components)
        heads.push_back({ Translate(QString::fromLatin1(c.word)), 6 * cw });
    ShrinkToFit(*Canvas, font, size, true, heads);
    const TGradingBitmapHandler& bitmaps = EnsureGradingBitmaps();
    for (int k = 1; k <= 3; ++k) {
        const Component& c = components[k - 1];
        Canvas->TextOut(x0, y0 + (3 + k) * lh, Translate(QString::fromLatin1(c.word)));
        // The icons' key colour stays off the paper, as it stays off the screen.
        const TUiBitmap& icon = bitmaps.components[std::size_t(c.picture)];
        Canvas->StretchDraw(box.IconsLeft(), y0 + (3 + k) * lh, ToPixel(x0 - 0.7 * lh),
                            ToPixel(y0 + 3.8 * lh) + k * lh, icon.transparent.isNull() ? icon.image : icon.transparent);
    }
    Canvas->SetFont(font, size, false);
    for (int k = 1; k <= 3; ++k) {
        const GradeSummaryRow& row = summary.rows[std::size_t(components[k - 1].row)];
        const int y = y0 + (3 + k) * lh;
        Canvas->TextOut(x0 + 6 * cw, y, FormatCount(row.levelCount[3]));
        Canvas->TextOut(x0 + 8 * cw, y, FormatCount(row.levelCount[2]));
        Canvas->TextOut(x0 + 10 * cw, y, FormatCount(row.levelCount[1]));
    }
}

QString TThePrintManager::ShotScoreText(int i) const
{
    if (!Shooter || i < 0 || i >= Shooter->ShotCount())
        return QString();
    const RawShotRecord& r = Shooter->GetShot(i)->raw;
    if (IsRingShot(r)) {
        if (!r.HasScore())
            return QStringLiteral(" ") + Translate(QStringLiteral("N/A"));
        QString text = ShotScoredInTenths(*Shooter, r)
            ? FormatDisplayText(QStringLiteral("%4.1f"), { r.Score() * 0.1 })
            : FormatDisplayText(QStringLiteral("%6d"), { double(ToPixel(r.Score() * 0.1)) });
        if (r.InnerTen())
            text += QStringLiteral(" X");
        else
            text += FormatDisplayText(QStringLiteral(" @ %d"), { double(r.ClockSector()) });
        return text;
    }
    if (IsSilhouetteShot(r)) {
        static const char* const words[Zones] = { "Miss", "Hit", "Fatal", "Near" };
        const int zone = r.Silhouette();
        // A zone the four words do not cover prints no word.
        return QStringLiteral(" ") + (zone < Zones ? Translate(QString::fromLatin1(words[zone])) : QString());
    }
    return QString();
}

QString TThePrintManager::ShotTimeText(int i) const
{
    const TShotOnString* entry = Viewer ? Viewer->Strip().Entry(i) : nullptr;
    if (!entry)
        return QString();
    const QString& t = entry->timeText;
    // A clock time loses the blanks around it; a burst time gets one in
    // front so that its figures line up with the clock times'.
    if (t.size() > 5)
        return t.mid(1, t.size() - 2);
    if (t.size() == 4)
        return QStringLiteral(" ") + t;
    return t;
}

void TThePrintManager::DrawShotTable()
{
    const int h = RegionBottom - RegionTop;
    const int yT = ToPixel(RegionTop + 0.05 * h);
    const int yB = ToPixel(RegionTop + 0.9 * h);
    const int lh = (yB - yT) / (ShotsPerGroup + 2);
    const QString font = QStringLiteral("Courier New");
    Canvas->SetBrushStyle(TBrushStyle::Clear);
    Canvas->SetFontColour(clBlack);
    BlackPen(*Canvas, TPenStyle::Solid);

    const int count = Shooter ? std::min(Shooter->ShotCount(), TableGroups * ShotsPerGroup) : 0;
    const int w = RegionRight - RegionLeft;
    const QString shotHead = Translate(QStringLiteral("Shot"));
    const QString scoreHead = QStringLiteral(" ") + Translate(QStringLiteral("Score"));
    const QString timeHead = QStringLiteral(" ") + Translate(QStringLiteral("Time"));

    struct TGroup {
        int left, rule, scoreX, timeHeadX, timeX;
    };
    std::vector<TGroup> groups;
    for (int g = 0; g < TableGroups && count > ShotsPerGroup * g; ++g) {
        const int gl = RegionLeft + (w * g) / TableGroups;
        const int gw = RegionLeft + (w * (g + 1)) / TableGroups - gl;
        groups.push_back({ gl, ToPixel(gl + gw - 0.02 * gw), ToPixel(gl + 0.25 * gw), ToPixel(gl + 0.67 * gw),
                           ToPixel(gl + 0.7 * gw) });
    }

    // One font for the whole table: a line high, and small enough that every
    // cell ends a blank short of the next column or of its group's rule.
    const int size = SetCellFont(*Canvas, font, lh, false);
    std::vector<TFitCell> cells;
    for (const TGroup& g : groups) {
        cells.push_back({ shotHead, g.scoreX - g.left });
        cells.push_back({ scoreHead, g.timeHeadX - g.scoreX });
        cells.push_back({ timeHead, g.rule - g.timeHeadX });
    }
    for (int i = 0; i < count; ++i) {
        const TGroup& g = groups[std::size_t(i / ShotsPerGroup)];
        cells.push_back({ QString::asprintf("%3d", i + 1), g.scoreX - g.left });
        cells.push_back({ ShotScoreText(i), g.timeX - g.scoreX });
        cells.push_back({ ShotTimeText(i), g.rule - g.timeX });
    }
    ShrinkToFit(*Canvas, font, size, false, cells);

    for (std::size_t k = 0; k < groups.size(); ++k) {
        const TGroup& g = groups[k];
        Canvas->Line(g.rule, yT, g.rule, yB);
        Canvas->TextOut(g.left, yT, shotHead);
        Canvas->TextOut(g.scoreX, yT, scoreHead);
        Canvas->TextOut(g.timeHeadX, yT, timeHead);
        for (int j = 0; j < ShotsPerGroup; ++j) {
            const int i = ShotsPerGroup * int(k) + j;
            if (i >= count)
                break;
            const int y = yT + (j + 2) * lh;
            Canvas->TextOut(g.left, y, QString::asprintf("%3d", i + 1));
            Canvas->TextOut(g.scoreX, y, ShotScoreText(i));
            Canvas->TextOut(g.timeX, y, ShotTimeText(i));
        }
    }
}
