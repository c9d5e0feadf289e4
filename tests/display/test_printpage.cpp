// The printed shooter page and true-size target as the reader sees them:
// where words stand on the paper (PDF files read back with pdftotext) and
// which pixels are inked (pages kept as images). Expected places come from
// the page's layout in mm, never from the print manager's own mapping.
#include "DisplayTestSupport.h"
#include "PrintTestSupport.h"

#include "Fonts.h"

#include "GradingPanel.h"
#include "GradingParameters.h"
#include "Printmanager.h"
#include "Prompts.h"
#include "Screens.h"
#include "Shotdata.h"
#include "Translation.h"
#include "UiBitmaps.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFontMetricsF>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <memory>

namespace {

constexpr double PageScale = 4.0; // pixels per mm of the image pages
const QSizeF A4mm(210.0, 297.0);
// Two words of neighbouring cells are apart by at least this, in mm.
constexpr double ClearGap = 1.2;

bool Dark(const QImage& page, double x, double y) { return qGray(page.pixel(int(x), int(y))) < 100; }

// Every pixel of the 3 x 3 block about (x, y) is dark.
bool Inked(const QImage& page, double x, double y)
{
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            if (!Dark(page, x + dx, y + dy))
                return false;
    return true;
}

// Clock time of a shot fired s seconds into the series, as a reader writes it.
QString Clock(int s)
{
    return s >= 3600 ? QString::asprintf("%d:%02d:%02d", s / 3600, s / 60 % 60, s % 60)
                     : QString::asprintf("%d:%02d", s / 60, s % 60);
}

class PrintedPage : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureGuiApp(); }
    void SetUp() override
    {
        SetDecimalSeparator(QLatin1Char('.'));
        savedPrompts = SetPrompts(&prompts);
        savedSession = CurrentSession;
        CurrentSession = &session;
        session.date = QStringLiteral("07.12.2026");
        ASSERT_TRUE(folder.isValid());
    }
    void TearDown() override
    {
        CurrentSession = savedSession;
        SetPrompts(savedPrompts);
        ResetTranslation();
    }

    static TargetDescription Ring()
    {
        TargetDescription t;
        t.hasRing = 1;
        t.ringRecord = TestRing();
        t.ringRecord.SetNameText(QStringLiteral("T10"));
        return t;
    }

    TShooter* NewShooter(const QString& name, const TargetDescription& target)
    {
        auto shooter = std::make_unique<TShooter>();
        shooter->name = name;
        UseTarget(*shooter, target);
        return session.AddShooter(std::move(shooter));
    }

    // A ring shot fired s seconds into the series at (x, y) in 0.1 mm.
    static TShot* Fire(TShooter& shooter, int tenths, int sector, int s, int x = 0, int y = 0)
    {
        auto shot = NewRingShot(tenths);
        shot->raw.SetStartupCounter(1);
        shot->raw.SetTime(uint32_t(s * 66));
        shot->raw.SetClockSector(sector);
        shot->raw.SetX(x);
        shot->raw.SetY(y);
        return shooter.AddShot(std::move(shot));
    }

    // Prints the shooter's page through a viewer of target onto printer.
    bool Print(IPrintDevice& printer, TShooter* shooter, const TargetDescription& target)
    {
        view = std::make_unique<TTestView>(shooter, target);
        manager.Printer = &printer;
        manager.Shooter = shooter;
        IShooterPrintView* views[] = { view.get() };
        return manager.PrintShooter(views);
    }

    // The shooter's page as a PDF on paper, read back word by word.
    std::vector<TPdfWord> PrintPdf(TShooter* shooter, const TargetDescription& target, QPageSize::PageSizeId paper,
                                   const QString& name, bool landscape = false)
    {
        TPdfDevice pdf(folder.filePath(name + QStringLiteral(".pdf")), paper, landscape);
        paperMm = pdf.PaperSizeMm();
        if (!Print(pdf, shooter, target))
            return {};
        return PdfWords(pdf.path);
    }

    // A shooter with six shots that the default grading file grades, so that
    // the page carries the grading summary.
    TShooter* GradedShooter(const QString& name)
    {
        TShooter* shooter = NewShooter(name, Ring());
        for (int k = 0; k < 6; ++k) {
            TShot* shot = Fire(*shooter, 90 + k, 1 + k, 60 + 40 * k, 8 * k - 20, 10 - 5 * k);
            shot->raw.SetFunctionMode(1);
            shot->AllocateCurve(160);
            for (int i = 0; i < 160; ++i) {
                shot->Curve()[i].SetX(8 * k - 20 + int(20 * std::sin(i * 0.37)));
                shot->Curve()[i].SetY(10 - 5 * k + int(20 * std::cos(i * 0.23)));
            }
        }
        return shooter;
    }

    // The graded shooter's page as a PDF, through a viewer of target whose
    // grading panel has the default grading file's first row selected.
    std::vector<TPdfWord> PrintGradedPdf(TShooter* shooter, QPageSize::PageSizeId paper, bool landscape,
                                         const QString& name, const TargetDescription& target = Ring())
    {
        FreeGradingBitmaps();
        ResetGradingParameters();
        TTestView graded(shooter, target);
        LoadGradingParameterFile(graded.renderer.GradingPanel->selection,
                                 QStringLiteral("../assets/files/grading_default.tgp"),
                                 [](const QString&, const QString&) {});
        EXPECT_TRUE(SelectGradingRow(graded.renderer.GradingPanel->selection, 1, 0));
        TPdfDevice pdf(folder.filePath(name + QStringLiteral(".pdf")), paper, landscape);
        paperMm = pdf.PaperSizeMm();
        manager.Printer = &pdf;
        manager.Shooter = shooter;
        IShooterPrintView* views[] = { &graded };
        const bool printed = manager.PrintShooter(views);
        FreeGradingBitmaps();
        ResetGradingParameters();
        EXPECT_TRUE(printed);
        return printed ? PdfWords(pdf.path) : std::vector<TPdfWord>();
    }

    TRecordingPrompts prompts;
    IPrompts* savedPrompts = nullptr;
    TSession session;
    TSession* savedSession = nullptr;
    TArtFolderScope art;
    QTemporaryDir folder;
    std::unique_ptr<TTestView> view;
    TThePrintManager manager;
    QSizeF paperMm;
};

// ---- Shot table -----------------------------------------------------------------------------

// The table's column groups in mm: each a quarter of 90 % of the paper width
// from 5 %; its rule 2 % of the group's width short of its right edge.
struct TGroupSpan {
    double left, right, rule;
};
TGroupSpan GroupSpan(double paperWidth, int g)
{
    const double w = 0.9 * paperWidth;
    const double left = 0.05 * paperWidth + w * g / 4;
    const double right = left + w / 4;
    return { left, right, right - 0.02 * w / 4 };
}

struct TPaperCase {
    const char* name;
    QPageSize::PageSizeId paper;
};

class PrintedTable : public PrintedPage, public ::testing::WithParamInterface<TPaperCase> {};

// 120 shots on a whole-ring target: the first an 8 in sector 1 at 0:09, the
// others tens in sector 12 more than an hour in; the widest cells there are.
TEST_P(PrintedTable, EveryCellKeepsClearOfItsNeighbours)
{
    TShooter* anna = NewShooter(QStringLiteral("Anna"), Ring());
    Fire(*anna, 80, 1, 9);
    for (int i = 1; i < 120; ++i)
        Fire(*anna, 100 + i % 10, 12, 3654 + 20 * i);
    const std::vector<TPdfWord> words = PrintPdf(anna, Ring(), GetParam().paper, QString::fromLatin1(GetParam().name));
    ASSERT_FALSE(words.empty());
    const double width = paperMm.width();
    const auto rows = PdfRows(words, QRectF(0, 0.525 * paperMm.height(), width, 0.425 * paperMm.height()));
    ASSERT_EQ(rows.size(), 31u);

    for (std::size_t k = 0; k < rows.size(); ++k) {
        for (int g = 0; g < 4; ++g) {
            const TGroupSpan span = GroupSpan(width, g);
            std::vector<TPdfWord> cell;
            for (const TPdfWord& w : rows[k])
                if (w.box.left() >= span.left - 1.0 && w.box.left() < span.right - 1.0)
                    cell.push_back(w);
            if (k == 0) {
                EXPECT_EQ(Texts(cell), (QStringList { "Shot", "Score", "Time" })) << "group " << g;
            } else {
                const int shot = 30 * g + int(k);
                const int s = shot == 1 ? 9 : 3654 + 20 * (shot - 1);
                const QString score = shot == 1 ? QStringLiteral("8") : QStringLiteral("10");
                const QString sector = shot == 1 ? QStringLiteral("1") : QStringLiteral("12");
                ASSERT_EQ(Texts(cell), (QStringList { QString::number(shot), score, "@", sector, Clock(s) }))
                    << "row " << k << " group " << g;
            }
            // Number, score and time stand apart, and the time ends clear of
            // the group's rule.
            for (std::size_t i = 1; i < cell.size(); ++i)
                EXPECT_GE(cell[i].box.left() - cell[i - 1].box.right(), ClearGap)
                    << "row " << k << " group " << g << " before " << cell[i].text.toStdString();
            EXPECT_GE(span.rule - cell.back().box.right(), ClearGap) << "row " << k << " group " << g;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Portrait, PrintedTable,
                         ::testing::Values(TPaperCase { "A4", QPageSize::A4 }, TPaperCase { "Letter", QPageSize::Letter }),
                         [](const ::testing::TestParamInfo<TPaperCase>& info) { return std::string(info.param.name); });

TEST_F(PrintedPage, ScoresOfADownloadedShooterKeepTheirDecimals)
{
    // A downloaded or reopened shooter has no current target: the target of
    // the shots' slot scores in tenths.
    TargetDescription decimal = Ring();
    decimal.ringRecord.SetDecimalScores(true);
    TShooter* ben = NewShooter(QStringLiteral("Ben"), decimal);
    ben->currentTarget = TargetDescription {};
    Fire(*ben, 89, 3, 65);
    Fire(*ben, 103, 7, 125)->raw.SetInnerTen(true);
    Fire(*ben, 90, 11, 185);
    const std::vector<TPdfWord> words = PrintPdf(ben, decimal, QPageSize::A4, QStringLiteral("decimals"));
    const auto rows = PdfRows(words, QRectF(0, 0.525 * 297, 210, 0.425 * 297));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(Texts(rows[1]), (QStringList { "1", "8.9", "@", "3", "1:05" }));
    EXPECT_EQ(Texts(rows[2]), (QStringList { "2", "10.3", "X", "2:05" }));
    EXPECT_EQ(Texts(rows[3]), (QStringList { "3", "9.0", "@", "11", "3:05" }));
}

class FullGroups : public PrintedPage, public ::testing::WithParamInterface<int> {};

// 30, 60 or 90 shots fill their groups exactly: the next group has neither
// heads nor rule.
TEST_P(FullGroups, TheGroupAfterAFullOneStaysEmpty)
{
    const int n = GetParam();
    TShooter* cid = NewShooter(QStringLiteral("Cid"), Ring());
    for (int i = 0; i < n; ++i)
        Fire(*cid, 95, 4, 60 + 30 * i);
    const std::vector<TPdfWord> words = PrintPdf(cid, Ring(), QPageSize::A4, QStringLiteral("full%1").arg(n));
    const auto rows = PdfRows(words, QRectF(0, 0.525 * 297, 210, 0.425 * 297));
    ASSERT_EQ(rows.size(), 31u);
    EXPECT_EQ(Texts(rows[0]).count(QStringLiteral("Shot")), n / 30);
    EXPECT_TRUE(Texts(rows[30]).contains(QString::number(n))) << Texts(rows[30]).join(' ').toStdString();

    TImageDevice image(A4mm, PageScale);
    ASSERT_TRUE(Print(image, cid, Ring()));
    const QImage& page = image.pages[0];
    const double top = 0.525 * 297 + 0.05 * 0.425 * 297;
    const double bottom = 0.525 * 297 + 0.9 * 0.425 * 297;
    for (int g = 0; g < 4; ++g) {
        const double x = GroupSpan(210, g).rule * PageScale;
        int inked = 0;
        for (double y = top + 1; y < bottom - 1; y += 1.0)
            inked += Dark(page, x - 1, y * PageScale) || Dark(page, x, y * PageScale) || Dark(page, x + 1, y * PageScale);
        EXPECT_EQ(inked > 0, g < n / 30) << "group " << g << ": " << inked << " mm inked";
    }
}

INSTANTIATE_TEST_SUITE_P(Shots, FullGroups, ::testing::Values(30, 60, 90));

// ---- Target -----------------------------------------------------------------------------------

TEST_F(PrintedPage, ShotsSitWhereTheyHitWithUpUp)
{
    // The target half of an A4 page at 4 px/mm: columns 42 .. 798, rows
    // 59 .. 564, centre (420, 311.5); the 80 mm target fills 70 % of the
    // 505 px side, 4.41875 px/mm. Shots of 4.5 mm calibre, no black area.
    TargetDescription ring = Ring();
    ring.ringRecord.SetDiameterBlackArea(0);
    ring.ringRecord.SetCaliber(450);
    TShooter* dan = NewShooter(QStringLiteral("Dan"), ring);
    Fire(*dan, 90, 2, 10, 200, 150);   // 20 mm right, 15 mm up
    Fire(*dan, 90, 4, 20, 250, -120);  // 25 mm right, 12 mm down
    TImageDevice image(A4mm, PageScale);
    ASSERT_TRUE(Print(image, dan, ring));
    const QImage& page = image.pages[0];
    const double u = 0.7 * 505 / 80;
    const auto x = [&](double mm) { return 420 + mm * u; };
    const auto y = [&](double mm) { return 311.5 - mm * u; };
    EXPECT_TRUE(Inked(page, x(20), y(15)));
    EXPECT_TRUE(Inked(page, x(25), y(-12)));
    EXPECT_FALSE(Inked(page, x(20), y(-15)));
    EXPECT_FALSE(Inked(page, x(25), y(12)));
}

// A true-size print on A4 at 4 px/mm: the page's centre row.
class TrueSizePage : public PrintedPage {
protected:
    QImage PrintTrueSize(const TargetDescription& target)
    {
        TImageDevice image(A4mm, PageScale);
        manager.Printer = &image;
        manager.Target = &target;
        EXPECT_TRUE(manager.PrintTargetTrueSize(1.0)) << prompts.texts.join(QLatin1Char('\n')).toStdString();
        return image.pages.empty() ? QImage() : image.pages[0];
    }
    static QColor At(const QImage& page, double mmRight)
    {
        return page.pixelColor(int(page.width() / 2 + mmRight * PageScale), page.height() / 2);
    }
    static TargetDescription Silhouette(int size, int zone, bool inch = false)
    {
        TargetDescription t;
        t.hasSilhouette = 1;
        t.silhouetteRecord.SetSize(size);
        t.silhouetteRecord.SetSizeInInch(inch);
        for (int c = 0; c < 64; ++c)
            for (int r = 0; r < 64; ++r)
                t.silhouetteMatrix.b[std::size_t(8 + 64 * c + r)] = uint8_t(zone);
        return t;
    }
};

const QColor DarkArea(32, 32, 32);
const QColor Fatal(255, 0, 0);

TEST_F(TrueSizePage, AnInchSilhouetteHasItsSizeInInches)
{
    // 50 tenths of an inch: 127 mm, 508 px of hit zone across the centre.
    const QImage page = PrintTrueSize(Silhouette(50, 1, true));
    ASSERT_FALSE(page.isNull());
    int dark = 0;
    for (int x = 0; x < page.width(); ++x)
        dark += page.pixelColor(x, page.height() / 2) == DarkArea;
    EXPECT_NEAR(dark, 127 * PageScale, 3);
}

TEST_F(TrueSizePage, TheSmallerPartLiesOnTheLarger)
{
    // Rings out to 40 mm with a dark area to 20 mm, and a fatal silhouette:
    // of 40 mm it lies on the rings, of 200 mm under them.
    TargetDescription small = Silhouette(40, 2);
    small.hasRing = 1;
    small.ringRecord = TestRing();
    const QImage onRings = PrintTrueSize(small);
    ASSERT_FALSE(onRings.isNull());
    EXPECT_EQ(At(onRings, 10), Fatal);
    EXPECT_EQ(At(onRings, 30), QColor(Qt::white));

    TargetDescription large = Silhouette(200, 2);
    large.hasRing = 1;
    large.ringRecord = TestRing();
    const QImage underRings = PrintTrueSize(large);
    ASSERT_FALSE(underRings.isNull());
    EXPECT_EQ(At(underRings, 10), DarkArea);
    EXPECT_EQ(At(underRings, 30), Fatal);
}

// ---- Banners ------------------------------------------------------------------------------------

class Banners : public PrintedPage, public ::testing::WithParamInterface<bool> {};

// The inked box of the rows from top to bottom (exclusive).
QRect InkedRows(const QImage& page, int top, int bottom)
{
    QRect box;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < page.width(); ++x)
            if (page.pixel(x, y) != QColor(Qt::white).rgb())
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST_P(Banners, EachBannerFitsBetweenPageEdgeAndFrameAtItsAspect)
{
    const bool landscape = GetParam();
    TShooter* eve = NewShooter(QStringLiteral("Eve"), Ring());
    Fire(*eve, 95, 4, 60);
    TImageDevice image(landscape ? A4mm.transposed() : A4mm, PageScale);
    ASSERT_TRUE(Print(image, eve, Ring()));
    const QImage& page = image.pages[0];
    page.save(ScreensFolder() + (landscape ? QStringLiteral("/printout_landscape.png")
                                           : QStringLiteral("/printout_portrait.png")));
    // The frame lies 4 % in from each edge; the banners are 10 to 1.
    const int frameTop = int(page.height() * 0.04);
    const int frameBottom = int(page.height() * 0.96);
    const QRect header = InkedRows(page, 0, frameTop);
    const QRect footer = InkedRows(page, frameBottom, page.height());
    for (const QRect& banner : { header, footer }) {
        ASSERT_GE(banner.height(), frameTop - 2);
        EXPECT_NEAR(banner.width(), 10 * banner.height(), 12) << banner.width() << "x" << banner.height();
        EXPECT_NEAR(banner.center().x(), page.width() / 2, 2);
    }
    EXPECT_EQ(header.bottom(), frameTop - 1);
    EXPECT_EQ(footer.top(), frameBottom);
}

INSTANTIATE_TEST_SUITE_P(Orientation, Banners, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Landscape" : "Portrait");
                         });

// ---- Long names ------------------------------------------------------------------------------

struct TSheet {
    const char* name;
    QPageSize::PageSizeId paper;
    bool landscape;
};

void PrintTo(const TSheet& sheet, std::ostream* os) { *os << sheet.name; }

const TSheet Sheets[] = { { "A4", QPageSize::A4, false },
                          { "A4Landscape", QPageSize::A4, true },
                          { "Letter", QPageSize::Letter, false },
                          { "LetterLandscape", QPageSize::Letter, true } };

// The room of the text block's lines, in mm from the paper's top left: the
// target half's region runs from 5 % to 95 % across and 5 % to 47.5 % down,
// its lines are a twentieth of its height apart, and the grading summary's
// column begins 73 % across it, its icons 1.5 of its 25 rows further left.
struct TTextRoom {
    double left, top, line, right;
};

TTextRoom TextRoom(QSizeF paper)
{
    const double w = 0.9 * paper.width();
    const double h = 0.425 * paper.height();
    const double left = 0.05 * paper.width();
    return { left, 0.05 * paper.height(), h / 20, left + 0.73 * w - 1.5 * h / 25 };
}

QString Compact(const QString& text)
{
    QString out = text.normalized(QString::NormalizationForm_KC);
    out.remove(QRegularExpression(QStringLiteral("\\s")));
    return out;
}

// What a line of the text block shows of text.
struct TPrintedLine {
    QString shown;  // its words run together
    int rows = 0;
    bool whole = false;
    double height = 0.0;      // of its highest word's box, in mm
    double fullHeight = 0.0;  // of a word's box on a full-size line
};

// The words of text block line k (those whose tops lie in its line, the
// summary's heads aside) must stay inside their room: right of the region's
// edge, left of the summary's column, clear of its heads and no lower than a
// line of full size reaches, a blank short of the summary's icons; no type
// is smaller than half a full line's; they show text whole, or on two rows a
// head of it that ends in an ellipsis, never one behind a blank.
TPrintedLine CheckLine(const std::vector<TPdfWord>& words, QSizeF paper, int k, const QString& text)
{
    const TTextRoom room = TextRoom(paper);
    const double top = room.top + k * room.line;
    static const QStringList summaryWords = { "Grading", "Summary", "(3)", "(2)", "(1)" };
    std::vector<TPdfWord> title, mine;
    for (const TPdfWord& w : words) {
        if (summaryWords.contains(w.text))
            title.push_back(w);
        else if (w.box.top() >= top - 0.5 && w.box.top() < top + 0.75 * room.line)
            mine.push_back(w);
    }
    // A full-size line's box, as the block's other lines show it.
    double fullHeight = 0.0;
    for (const TPdfWord& w : words) {
        const double j = (w.box.top() - room.top) / room.line;
        if (j > 0.9 && j < 5.1 && std::abs(j - std::round(j)) < 0.1 && w.box.left() < room.right)
            fullHeight = std::max(fullHeight, w.box.height());
    }
    EXPECT_GT(fullHeight, 0.0);
    EXPECT_FALSE(title.empty());
    const QFontMetricsF metrics(MakeFont(QStringLiteral("Tahoma"), 1000, false));
    const double blank = metrics.horizontalAdvance(QLatin1Char(' ')) * room.line / 1000;

    for (const TPdfWord& w : mine) {
        const std::string t = w.text.toStdString();
        EXPECT_GE(w.box.left(), room.left - 0.2) << t;
        EXPECT_LE(w.box.right(), room.right - 0.8 * blank) << t;
        EXPECT_LE(w.box.right(), paper.width()) << t;
        EXPECT_LE(w.box.bottom(), top + fullHeight + 0.1) << t;
        for (const TPdfWord& head : title)
            EXPECT_FALSE(w.box.intersects(head.box)) << t;
    }
    TPrintedLine printed;
    printed.fullHeight = fullHeight;
    for (const TPdfWord& w : mine)
        printed.height = std::max(printed.height, w.box.height());
    EXPECT_GE(printed.height, 0.45 * fullHeight);
    const auto rows = PdfRows(mine, QRectF(-paper.width(), -paper.height(), 3 * paper.width(), 3 * paper.height()));
    printed.rows = int(rows.size());
    for (const auto& row : rows)
        printed.shown += Compact(Texts(row).join(QString()));
    const QString full = Compact(text);
    printed.whole = printed.shown == full;
    if (!printed.whole) {
        // The ellipsis reads back as three dots.
        EXPECT_TRUE(printed.shown.endsWith(QStringLiteral("..."))) << printed.shown.toStdString();
        EXPECT_TRUE(full.startsWith(printed.shown.chopped(3))) << printed.shown.toStdString();
        EXPECT_EQ(printed.rows, 2);
        if (!rows.empty()) {
            EXPECT_NE(rows.back().back().text, QStringLiteral("..."));
        }
    }
    EXPECT_LE(printed.rows, 2);
    return printed;
}

class LongNames : public PrintedPage, public ::testing::WithParamInterface<TSheet> {};

// A name of pieces joined by joint, cut after the first letter that makes
// it, at half a line's size, as wide as rows rows of the text block's room.
QString NameOfRows(const QString& piece, const QString& joint, double rows, QSizeF paper)
{
    const TTextRoom room = TextRoom(paper);
    const QFontMetricsF metrics(MakeFont(QStringLiteral("Tahoma"), 1000, false));
    const double scale = room.line / 1000;
    const double row = room.right - room.left - metrics.horizontalAdvance(QLatin1Char(' ')) * scale;
    QString name;
    while (metrics.horizontalAdvance(name) * scale / 2 < rows * row)
        name += (name.size() % (piece.size() + joint.size()) < piece.size()) ? piece[name.size() % (piece.size() + joint.size())]
                                                                             : joint[0];
    return name;
}

// Names of 20 to 83 characters print whole beside the grading summary, the
// short one at the size of the lines below it; one far longer than two small
// lines can hold is cut short with an ellipsis.
TEST_P(LongNames, FitLeftOfTheSummaryAndOnThePage)
{
    const TSheet& sheet = GetParam();
    const QString names[] = {
        QStringLiteral("Anna-Lena Böhmermann"),
        QStringLiteral("Maximiliane Friederike Ottilie von Brandt"),
        QStringLiteral("Maximiliane Friederike Leopoldine von Hohenzollern-Hechingen"),
        QStringLiteral("Maximiliane Friederike Leopoldine Wilhelmine Augustina von Hohenzollern-Sigmaringen"),
    };
    for (const QString& name : names) {
        SCOPED_TRACE(name.size());
        const std::vector<TPdfWord> words = PrintGradedPdf(GradedShooter(name), sheet.paper, sheet.landscape,
                                                           QStringLiteral("%1-%2").arg(sheet.name).arg(name.size()));
        ASSERT_FALSE(words.empty());
        const TPrintedLine printed = CheckLine(words, paperMm, 0, name);
        EXPECT_TRUE(printed.whole) << printed.shown.toStdString();
        if (name.size() == 20) {
            EXPECT_NEAR(printed.height, printed.fullHeight, 0.01) << "a short name keeps its size";
        }
    }
    const QString endless = QStringList(12, names[3]).join(QLatin1Char(' '));
    const std::vector<TPdfWord> words = PrintGradedPdf(GradedShooter(endless), sheet.paper, sheet.landscape,
                                                       QStringLiteral("%1-endless").arg(sheet.name));
    ASSERT_FALSE(words.empty());
    EXPECT_FALSE(CheckLine(words, paperMm, 0, endless).whole);

    // Just narrower than a row at half size: one row. A word longer than a
    // row breaks between letters. What the second row cannot hold is cut,
    // a blank before the cut dropped.
    const struct {
        QString name;
        int rows;
        bool whole;
    } sized[] = { { NameOfRows(QStringLiteral("Hohenzollern"), QStringLiteral(" "), 0.98, paperMm), 1, true },
                  { NameOfRows(QStringLiteral("Donaudampfschiff"), QString(), 1.3, paperMm), 2, true },
                  { NameOfRows(QStringLiteral("Hohenzollern"), QStringLiteral(" "), 2.2, paperMm), 2, false },
                  { NameOfRows(QStringLiteral("W"), QStringLiteral(" "), 2.2, paperMm), 2, false } };
    for (const auto& c : sized) {
        SCOPED_TRACE(c.name.toStdString());
        const std::vector<TPdfWord> words = PrintGradedPdf(GradedShooter(c.name), sheet.paper, sheet.landscape,
                                                           QStringLiteral("%1-sized").arg(sheet.name));
        ASSERT_FALSE(words.empty());
        const TPrintedLine printed = CheckLine(words, paperMm, 0, c.name);
        EXPECT_EQ(printed.rows, c.rows);
        EXPECT_EQ(printed.whole, c.whole);
    }
}

INSTANTIATE_TEST_SUITE_P(Sheets, LongNames, ::testing::ValuesIn(Sheets),
                         [](const ::testing::TestParamInfo<TSheet>& info) { return std::string(info.param.name); });

// Random names of Latin, Cyrillic and Greek words on random sheets (a
// failure prints the seed): each stays in its room, whole when two lines at
// half size hold it with room to spare, cut short when they cannot.
TEST_F(PrintedPage, RandomNamesFitTheirRoom)
{
    const uint32_t seed = uint32_t(QRandomGenerator::global()->generate());
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    QRandomGenerator random(seed);
    const QString alphabets[] = { QStringLiteral("abcdefghijklmnopqrstuvwxyzäöüßéèñøåłç"),
                                  QStringLiteral("абвгдеёжзийклмнопрстуфхцчшщыьэюя"),
                                  QStringLiteral("αβγδεζηθικλμνξοπρστυφχψωάέήίόύώ") };
    for (int round = 0; round < 8; ++round) {
        const QString& letters = alphabets[random.bounded(3)];
        QStringList parts;
        const int count = 1 + random.bounded(random.bounded(2) ? 8 : 40);
        for (int i = 0; i < count; ++i) {
            QString word;
            const int length = 1 + random.bounded(14);
            for (int j = 0; j < length; ++j)
                word += letters[random.bounded(int(letters.size()))];
            word[0] = word[0].toUpper();
            parts << word;
        }
        // Blanks, hyphens, or one endless word that must break between letters.
        const QString joints[] = { QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" "), QStringLiteral("-"),
                                   QString() };
        const QString name = parts.join(joints[random.bounded(5)]);
        const TSheet& sheet = Sheets[random.bounded(4)];
        SCOPED_TRACE(testing::Message() << sheet.name << " " << name.toStdString());
        const std::vector<TPdfWord> words = PrintGradedPdf(GradedShooter(name), sheet.paper, sheet.landscape,
                                                           QStringLiteral("random%1").arg(round));
        ASSERT_FALSE(words.empty());
        const TPrintedLine printed = CheckLine(words, paperMm, 0, name);

        // The name's width at half the line's size against two lines' room.
        const TTextRoom room = TextRoom(paperMm);
        const QFontMetricsF metrics(MakeFont(QStringLiteral("Tahoma"), 1000, false));
        const double width = metrics.horizontalAdvance(name) * room.line / 2 / 1000;
        const double line = room.right - room.left;
        if (width < 0.9 * line - metrics.horizontalAdvance(QLatin1Char(' ')) * room.line / 1000) {
            EXPECT_EQ(printed.rows, 1) << width << " mm on lines of " << line << " mm";
        }
        if (width < 1.6 * line) {
            EXPECT_TRUE(printed.whole) << width << " mm on lines of " << line << " mm";
        }
        if (width > 2.1 * line) {
            EXPECT_FALSE(printed.whole) << width << " mm on lines of " << line << " mm";
        }
    }
}

// The session's date and the target's name are lines of the same block:
// long ones keep left of the summary as the name does.
TEST_F(PrintedPage, EveryLineOfTheTextBlockKeepsLeftOfTheSummary)
{
    session.date = QStringList(8, QStringLiteral("Kalenderwoche")).join(QLatin1Char(' '));
    const QString target = QStringLiteral("WWWWWWWWWWWWWWWW");
    TShooter* gus = GradedShooter(QStringLiteral("Gus"));
    TargetDescription wide = Ring();
    wide.ringRecord.SetNameText(target);
    UseTarget(*gus, wide);
    for (const TSheet& sheet : Sheets) {
        SCOPED_TRACE(sheet.name);
        const std::vector<TPdfWord> words = PrintGradedPdf(gus, sheet.paper, sheet.landscape,
                                                           QStringLiteral("lines-%1").arg(sheet.name), wide);
        ASSERT_FALSE(words.empty());
        EXPECT_TRUE(CheckLine(words, paperMm, 0, QStringLiteral("Gus")).whole);
        CheckLine(words, paperMm, 1, session.date);
        EXPECT_TRUE(CheckLine(words, paperMm, 2, target).whole);
    }
}

// ---- Translated texts -----------------------------------------------------------------------

TEST_F(PrintedPage, TranslatedHeadingsStayInsideTheirBoxes)
{
    SetTranslationList({ QStringLiteral("Grading Summary=Bewertung im Überblick"),
                         QStringLiteral("Triggering=Abzugsverhalten"), QStringLiteral("Shot=Schuss"),
                         QStringLiteral("Score=Ergebnis"), QStringLiteral("Time=Zeit") });
    TShooter* fay = GradedShooter(QStringLiteral("Fay"));
    const std::vector<TPdfWord> words = PrintGradedPdf(fay, QPageSize::A4, false, QStringLiteral("german"));

    // The summary's box: from 73 % of the content width to its right edge
    // (95 % of the paper), left of the frame line at 96 %.
    const double boxLeft = 0.05 * 210 + 0.73 * 0.9 * 210;
    const double boxRight = 0.95 * 210;
    QStringList title;
    for (const TPdfWord& w : words) {
        if (w.text == QLatin1String("Bewertung") || w.text == QLatin1String("im") || w.text == QStringLiteral("Überblick")) {
            title << w.text;
            EXPECT_GE(w.box.left(), boxLeft - 0.1) << w.text.toStdString();
            EXPECT_LE(w.box.right(), boxRight) << w.text.toStdString();
        }
    }
    EXPECT_EQ(title, (QStringList { "Bewertung", "im", "Überblick" }));
    // A row head ends clear of its row's first count.
    const auto rows = PdfRows(words, QRectF(boxLeft - 20, 0.05 * 297, boxRight - boxLeft + 20, 0.2 * 297));
    bool found = false;
    for (const auto& row : rows) {
        if (row.size() >= 2 && row.front().text == QLatin1String("Abzugsverhalten")) {
            found = true;
            EXPECT_GE(row[1].box.left() - row[0].box.right(), ClearGap);
        }
    }
    EXPECT_TRUE(found);
    // The table's heads in their columns.
    const auto table = PdfRows(words, QRectF(0, 0.525 * 297, 210, 0.425 * 297));
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(Texts(table[0]), (QStringList { "Schuss", "Ergebnis", "Zeit" }));
    for (std::size_t i = 1; i < table[0].size(); ++i)
        EXPECT_GE(table[0][i].box.left() - table[0][i - 1].box.right(), ClearGap);
}

} // namespace
