// The print manager on pages kept as images: the shooter page's text block,
// frame, target and shot table, and the true-size print's fit checks.
#include "AppPaths.h"
#include "DisplayTestSupport.h"
#include "PrintTestSupport.h"
#include "Printmanager.h"
#include "Prompts.h"
#include "Shotstring.h"
#include "Targetrenderer.h"
#include "UiBitmaps.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QPainter>
#include <QTemporaryDir>

#include <cmath>
#include <limits>
#include <vector>

namespace {

const QSizeF A4(210.0, 297.0);
constexpr double PageScale = 4.0; // pixels per mm of the test pages

bool Dark(const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 100; }

// The manager's map back on the target half of the page after a print.
void MapTargetHalf(TThePrintManager& manager, const QImage& page)
{
    manager.RegionLeft = int(page.width() * 0.05);
    manager.RegionRight = int(page.width() * 0.95);
    manager.RegionTop = int(page.height() * 0.05);
    manager.RegionBottom = int(page.height() * 0.475);
    manager.FitScale(70);
}

int DarkInColumn(const QImage& image, int x, int top, int bottom)
{
    int n = 0;
    for (int y = top; y < bottom; ++y)
        n += Dark(image, x, y);
    return n;
}

class PrintManager : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureGuiApp(); }
    void SetUp() override
    {
        savedPrompts = SetPrompts(&prompts);
        savedSession = CurrentSession;
        CurrentSession = &session;
        session.date = QStringLiteral("07.12.2026");
    }
    void TearDown() override
    {
        CurrentSession = savedSession;
        SetPrompts(savedPrompts);
    }

    static TargetDescription Ring()
    {
        TargetDescription t;
        t.hasRing = 1;
        t.ringRecord = TestRing();
        t.ringRecord.SetNameText(QStringLiteral("T10"));
        return t;
    }

    // n shots on target slot 0: the first 83 s into the series, the second
    // 1.5 s later, then every 20 s; positions 1 mm apart.
    TShooter* AddShooter(const QString& name, const TargetDescription& target, int n)
    {
        auto shooter = std::make_unique<TShooter>();
        shooter->name = name;
        UseTarget(*shooter, target);
        for (int i = 0; i < n; ++i) {
            auto shot = NewRingShot(100 - i % 50);
            shot->raw.SetStartupCounter(1);
            shot->raw.SetTime(uint32_t(i == 0 ? 83 * 66 : 83 * 66 + 99 + (i - 1) * 20 * 66));
            shot->raw.SetX(10 * i);
            shot->raw.SetY(-10 * i);
            shot->raw.SetClockSector(3);
            shooter->AddShot(std::move(shot));
        }
        return session.AddShooter(std::move(shooter));
    }

    TRecordingPrompts prompts;
    IPrompts* savedPrompts = nullptr;
    TSession session;
    TSession* savedSession = nullptr;
    TArtFolderScope art;
};

TEST_F(PrintManager, ShooterPageHoldsTextFrameTargetAndTable)
{
    TShooter* anna = AddShooter(QStringLiteral("Anna"), Ring(), 31);
    TTestView view(anna, Ring());
    TImageDevice printer(A4, PageScale);
    TThePrintManager manager;
    manager.Printer = &printer;
    manager.Shooter = anna;
    IShooterPrintView* views[] = { &view };
    ASSERT_TRUE(manager.PrintShooter(views));
    ASSERT_EQ(printer.pages.size(), 1u);
    EXPECT_EQ(view.prepared, 1);

    // Name and date above the viewer's own summary lines, unchanged.
    ASSERT_GE(manager.Lines.size(), 4);
    EXPECT_EQ(manager.Lines.mid(0, 4),
              (QStringList { "Anna", "07.12.2026", "T10", "Shots 31" }));
    EXPECT_EQ(manager.Lines.mid(2), view.renderer.InfoLines);

    // The frame from 4 % to 96 % of each side, halved across the middle.
    const QImage& page = printer.pages[0];
    const int left = int(840 * 0.04), right = int(840 * 0.96) - 1;
    const int top = int(1188 * 0.04), bottom = int(1188 * 0.96) - 1;
    for (int y : { 100, 400, 700, 1000 }) {
        EXPECT_TRUE(Dark(page, left, y)) << y;
        EXPECT_TRUE(Dark(page, right, y)) << y;
        EXPECT_FALSE(Dark(page, left - 2, y)) << y;
    }
    for (int x : { 60, 420, 780 }) {
        EXPECT_TRUE(Dark(page, x, top)) << x;
        EXPECT_TRUE(Dark(page, x, bottom)) << x;
        EXPECT_TRUE(Dark(page, x, (top + bottom + 1) / 2)) << x;
    }
    // The header banner sits on the frame, full frame width.
    EXPECT_NE(page.pixel(420, top - 10), QColor(Qt::white).rgb());

    // 31 shots: the table's first two column groups and their rules only.
    const int tableTop = int(1188 * 0.525), h = int(1188 * 0.95) - tableTop;
    const int yT = int(tableTop + 0.05 * h), yB = int(tableTop + 0.9 * h);
    const int w = int(840 * 0.95) - int(840 * 0.05);
    std::vector<int> rules;
    for (int g = 0; g < 4; ++g) {
        const int gl = 42 + w * g / 4, gr = 42 + w * (g + 1) / 4;
        rules.push_back(DarkInColumn(page, int(gr - 0.02 * (gr - gl)), yT, yB));
    }
    EXPECT_GE(rules[0], yB - yT - 2);
    EXPECT_GE(rules[1], yB - yT - 2);
    EXPECT_EQ(rules[2], 0);
    EXPECT_EQ(rules[3], 0);

    // Row texts: score with sector, a clock time without its blanks, a burst
    // time behind one blank.
    EXPECT_EQ(manager.ShotScoreText(0), QStringLiteral("    10 @ 3"));
    EXPECT_EQ(manager.ShotTimeText(0), QStringLiteral("1:23"));
    EXPECT_EQ(manager.ShotTimeText(1), QStringLiteral(" +1.5"));
    EXPECT_EQ(manager.ShotTimeText(31), QString()); // past the strip
}

TEST_F(PrintManager, TargetShowsWhatTheScreenShows)
{
    // Calibre 0 draws the screen's 7.62 mm marks; a shot with a failure flag
    // and a shot on another target stay off the picture but in the table.
    TargetDescription ring = Ring();
    ring.ringRecord.SetCaliber(0);
    ring.ringRecord.SetDiameterBlackArea(0);
    TShooter* ben = AddShooter(QStringLiteral("Ben"), ring, 0);
    const auto add = [&](int x, int y, int failures, int slot) {
        auto shot = NewRingShot(90, failures);
        shot->raw.SetStartupCounter(1);
        shot->raw.SetTime(uint32_t(66 * (ben->ShotCount() + 1)));
        shot->raw.SetX(x);
        shot->raw.SetY(y);
        shot->raw.SetRingTargetIndex(slot);
        ben->AddShot(std::move(shot));
    };
    add(-260, 0, 0, 0);              // 26 mm left, between two rings
    add(260, 0, RawShotRecord::FailLowSignal, 0);
    add(0, 260, 0, 1);               // target slot 1 is another target
    TTestView view(ben, ring);
    TImageDevice printer(A4, PageScale);
    TThePrintManager manager;
    manager.Printer = &printer;
    manager.Shooter = ben;
    IShooterPrintView* views[] = { &view };
    ASSERT_TRUE(manager.PrintShooter(views));
    const QImage& page = printer.pages[0];
    MapTargetHalf(manager, page);

    // Mark centres, and a point 3 mm off centre inside a 7.62 mm mark.
    const auto dark = [&](double x, double y) { return Dark(page, manager.MapX(x), manager.MapY(-y)); };
    EXPECT_TRUE(dark(-26.0, 0.0));
    EXPECT_TRUE(dark(-23.0, 0.0));
    EXPECT_FALSE(dark(-30.0, 1.0));
    EXPECT_FALSE(dark(26.0, 0.0));
    EXPECT_FALSE(dark(0.0, 26.0));
    EXPECT_EQ(manager.ShotScoreText(1), QStringLiteral("     9 @ 0"));
}

TEST_F(PrintManager, TargetsWithoutExtentOrWithDamagedFieldsStillPrint)
{
    // No ring size: no scale, the page keeps its texts. Variable rings more
    // than eleven below the highest have no diameter and are left out.
    TargetDescription flat;
    flat.hasRing = 1;
    flat.ringRecord.SetHighestRing(10);
    flat.ringRecord.SetMinimumRing(1);
    TShooter* cid = AddShooter(QStringLiteral("Cid"), flat, 2);
    TTestView flatView(cid, flat);
    TImageDevice printer(A4, PageScale);
    TThePrintManager manager;
    manager.Printer = &printer;
    manager.Shooter = cid;
    IShooterPrintView* views[] = { &flatView };
    EXPECT_TRUE(manager.PrintShooter(views));
    EXPECT_EQ(manager.UnitsPerMm, 0.0);
    EXPECT_EQ(manager.Lines.value(0), QStringLiteral("Cid"));

    TargetDescription wide = Ring();
    wide.ringRecord.SetVariableRingGaps(true);
    wide.ringRecord.SetHighestRing(20);
    wide.ringRecord.SetMinimumRing(1);
    for (int n = 1; n <= RingTargetRecord::VariableRingCount; ++n)
        wide.ringRecord.SetDiameterVariableHminus(n, 100 * n);
    manager.Target = &wide;
    EXPECT_DOUBLE_EQ(manager.RingExtentMm(), 110.0);

    // Zone bytes above 3 are no zone: nothing filled there.
    TargetDescription field;
    field.hasSilhouette = 1;
    field.silhouetteRecord.SetSize(640);
    for (int c = 0; c < 64; ++c)
        for (int r = 0; r < 64; ++r)
            field.silhouetteMatrix.b[std::size_t(8 + 64 * c + r)] = uint8_t(c < 32 ? 7 : 2);
    TShooter* dan = AddShooter(QStringLiteral("Dan"), field, 0);
    TTestView fieldView(dan, field);
    manager.Shooter = dan;
    manager.Target = &field;
    IShooterPrintView* fieldViews[] = { &fieldView };
    ASSERT_TRUE(manager.PrintShooter(fieldViews));
    const QImage& page = printer.pages.back();
    MapTargetHalf(manager, page);
    const QRgb fatal = QColor(192, 192, 192).rgb();
    EXPECT_EQ(page.pixel(manager.MapX(-155), manager.MapY(5)), QColor(Qt::white).rgb());
    EXPECT_EQ(page.pixel(manager.MapX(155), manager.MapY(5)), fatal);
}

TEST_F(PrintManager, PrintsOnlyAShooterThatAViewerShows)
{
    TShooter* anna = AddShooter(QStringLiteral("Anna"), Ring(), 3);
    TShooter* ben = AddShooter(QStringLiteral("Ben"), Ring(), 3);
    TTestView first(anna, Ring());
    TTestView second(anna, Ring());
    TImageDevice printer(A4, PageScale);
    TThePrintManager manager;
    manager.Printer = &printer;
    manager.Shooter = ben;
    IShooterPrintView* views[] = { &first, &second };
    EXPECT_FALSE(manager.PrintShooter(views));
    EXPECT_EQ(printer.begun, 0);

    // Of two viewers of one shooter the last is used.
    manager.Shooter = anna;
    EXPECT_TRUE(manager.PrintShooter(views));
    EXPECT_EQ(std::pair(first.prepared, second.prepared), std::pair(0, 1));
    EXPECT_EQ(manager.Viewer, &second);
}

TEST(PrintBanners, ABannerWithoutHeightToGiveIsLeftOut)
{
    // A header taller than wide has no aspect to span the frame with; the
    // footer is missing. The frame is drawn all the same.
    EnsureGuiApp();
    QTemporaryDir folder;
    QDir(folder.path()).mkpath(QStringLiteral("Bitmaps"));
    QImage tall(50, 100, QImage::Format_RGB32);
    tall.fill(Qt::blue);
    ASSERT_TRUE(tall.save(folder.path() + QStringLiteral("/Bitmaps/BannerHeader.bmp")));
    const QString saved = AppFolder();
    SetAppFolder(folder.path());
    UiBitmaps().Clear();

    QImage page(400, 500, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        TCanvas canvas(painter, 400, 500);
        TThePrintManager manager;
        manager.Canvas = &canvas;
        manager.RegionLeft = 16;
        manager.RegionTop = 20;
        manager.RegionRight = 384;
        manager.RegionBottom = 480;
        manager.DrawBanners();
    }
    UiBitmaps().Clear();
    SetAppFolder(saved);
    EXPECT_TRUE(Dark(page, 200, 20));
    EXPECT_TRUE(Dark(page, 200, 479));
    EXPECT_EQ(page.pixel(200, 10), QColor(Qt::white).rgb());
    EXPECT_EQ(page.pixel(200, 490), QColor(Qt::white).rgb());
}

struct TFitCase {
    const char* name;
    QSizeF paper;
    double scale;
    bool prints;
};

void PrintTo(const TFitCase& c, std::ostream* os) { *os << c.name; }

class TrueSizeFit : public PrintManager, public ::testing::WithParamInterface<TFitCase> {};

// A 170 mm target (rings of 5 mm steps out to 85 mm radius) on A4, whose
// usable share is 200.5 x 283.6 mm.
TEST_P(TrueSizeFit, RefusesWhatDoesNotFitEitherSide)
{
    const TFitCase& c = GetParam();
    TargetDescription target;
    target.hasRing = 1;
    target.ringRecord.SetHighestRing(10);
    target.ringRecord.SetMinimumRing(1);
    target.ringRecord.SetDiameterHighestRing(800);
    target.ringRecord.SetHitRingGap(50);
    target.ringRecord.SetDiameterBlackArea(600);
    TImageDevice printer(c.paper, PageScale);
    TThePrintManager manager;
    manager.Printer = &printer;
    manager.Target = &target;
    manager.ScaleCaption = QStringLiteral("10 (50) m");
    ASSERT_DOUBLE_EQ(manager.RingExtentMm(), 170.0);

    EXPECT_EQ(manager.PrintTargetTrueSize(c.scale), c.prints);
    EXPECT_EQ(printer.begun, c.prints ? 1 : 0);
    EXPECT_EQ(prompts.texts, c.prints ? QStringList()
                                      : QStringList { "Target cannot be printed with selected printer and paper" });
    if (!c.prints)
        return;
    // True size: the dark area's 60 mm across the page's centre.
    EXPECT_DOUBLE_EQ(manager.UnitsPerMm, PageScale * c.scale);
    const QImage& page = printer.pages[0];
    const int y = page.height() / 2;
    int first = -1, last = -1;
    for (int x = 0; x < page.width(); ++x) {
        if (page.pixel(x, y) == QColor(32, 32, 32).rgb()) {
            first = first < 0 ? x : first;
            last = x;
        }
    }
    EXPECT_NEAR((last - first + 1) / PageScale, 60.0 * c.scale, 0.5);
}

INSTANTIATE_TEST_SUITE_P(
    Paper, TrueSizeFit,
    ::testing::Values(TFitCase { "Portrait", A4, 1.0, true }, TFitCase { "PortraitTooWide", A4, 1.2, false },
                      TFitCase { "LandscapeTooHigh", QSizeF(297.0, 210.0), 1.2, false },
                      TFitCase { "LandscapeSmall", QSizeF(297.0, 210.0), 0.2, true },
                      TFitCase { "ZeroScale", A4, 0.0, false }, TFitCase { "NegativeScale", A4, -0.2, false },
                      TFitCase { "EndlessScale", A4, std::numeric_limits<double>::infinity(), false },
                      TFitCase { "NoScale", A4, std::numeric_limits<double>::quiet_NaN(), false }),
    [](const ::testing::TestParamInfo<TFitCase>& info) { return std::string(info.param.name); });

TEST_F(PrintManager, TrueSizeRefusesASetupWithoutTarget)
{
    TargetDescription none;
    TImageDevice printer(A4, PageScale);
    TThePrintManager manager;
    manager.Printer = &printer;
    manager.Target = &none;
    EXPECT_FALSE(manager.PrintTargetTrueSize(0.2));
    EXPECT_EQ(printer.begun, 0);
    EXPECT_EQ(prompts.texts.size(), 1);
}

} // namespace
