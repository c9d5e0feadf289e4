#include "DisplayTestSupport.h"
#include "DrawKit.h"
#include "Fonts.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>
#include <ctime>

namespace {

class DrawKit : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureGuiApp(); }

    static uint32_t Word(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFFu; }
};

TEST_F(DrawKit, ColourWordsConvertBothWays)
{
    // Stored colours carry red in the low byte, pixel words blue.
    EXPECT_EQ(ColourToPixel(TColor(0xB97A00)).rgb, 0x007AB9u);
    EXPECT_EQ(PixelToColour(TPixelWord(0x007AB9)).bgr, 0xB97A00u);
    EXPECT_EQ(ToQColor(TColor(0x0000FF)), QColor(255, 0, 0));
    EXPECT_EQ(FromQColor(QColor(0x12, 0x34, 0x56)), TColor(0x563412));

    QImage image = NewLayer(4, 4);
    TCanvas canvas(image);
    canvas.SetPenStyle(TPenStyle::Clear);
    canvas.SetBrushColour(TColor(0x0000FF));
    canvas.Rectangle(0, 0, 4, 4);
    EXPECT_EQ(std::tuple(Word(image, 1, 1), canvas.Pixel(1, 1)), std::tuple(0xFF0000u, TColor(0x0000FF)));
    EXPECT_EQ(canvas.Pixel(9, 9), clBlack); // outside
}

TEST_F(DrawKit, TintWorksOnRawPixelWordsAndClips)
{
    EXPECT_EQ(ScaleColour(TPixelWord(0x808080), 0.875).rgb, 0x707070u);
    EXPECT_EQ(ScaleColour(TPixelWord(0x00FFFF), 0.125).rgb, 0x001F1Fu);

    QImage image = NewLayer(10, 10);
    image.fill(0xFF808080u);
    TCanvas open(image); // a painter on the image must not get in the way
    TintRect(image, -5, -5, 3, 2, TPixelWord(0x00FFFF), 0.125);
    EXPECT_EQ(Word(image, 2, 1), 0x708F8Fu);
    EXPECT_EQ(Word(image, 3, 0), 0x808080u); // right edge exclusive
    EXPECT_EQ(Word(image, 0, 2), 0x808080u); // bottom edge exclusive
    EXPECT_EQ(image.pixel(0, 0) >> 24, 0xFFu);

    // Corners in either order; nothing outside the image is touched. The tint
    // inside the image is rechecked by the hold box of the renderer's tests,
    // CopyRect by its live point erasure, and the colour key by the shot
    // strip's pause marker and the grading panel's overlay.
    TintRect(image, 12, 9, 8, 7, TPixelWord(0xFF0000), 0.5);
    EXPECT_EQ(std::tuple(Word(image, 9, 8), Word(image, 7, 8)), std::tuple(0xBF4040u, 0x808080u));
    TintRect(image, 20, 20, 30, 30, TPixelWord(0xFF0000), 0.5);
}

TEST_F(DrawKit, RectangleAndEllipseStayInsideTheirExclusiveBox)
{
    QImage image = NewLayer(20, 20);
    {
        TCanvas canvas(image);
        canvas.SetPenColour(clWhite);
        canvas.SetBrushColour(clWhite);
        canvas.Rectangle(7, 9, 2, 3); // corners reversed, as a flipped map gives them
        canvas.Rectangle(12, 12, 12, 18); // no width: nothing
    }
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            EXPECT_EQ(Word(image, x, y), x >= 2 && x <= 6 && y >= 3 && y <= 8 ? 0xFFFFFFu : 0u) << x << "," << y;

    for (bool withPen : { true, false }) {
        SCOPED_TRACE(withPen);
        QImage disc = NewLayer(20, 20);
        {
            TCanvas canvas(disc);
            canvas.SetPenColour(clWhite);
            canvas.SetPenStyle(withPen ? TPenStyle::Solid : TPenStyle::Clear);
            canvas.SetBrushColour(clWhite);
            canvas.Ellipse(13, 13, 2, 2);
        }
        EXPECT_EQ(std::tuple(Word(disc, 2, 7), Word(disc, 12, 7), Word(disc, 7, 12), Word(disc, 1, 7)),
                  std::tuple(0xFFFFFFu, 0xFFFFFFu, 0xFFFFFFu, 0u));
        EXPECT_EQ(Word(disc, 2, 2), 0u); // corner of the box is outside the ellipse
        EXPECT_EQ(disc.copy(13, 0, 7, 20), NewLayer(7, 20)); // right and bottom edges exclusive
        EXPECT_EQ(disc.copy(0, 13, 20, 7), NewLayer(20, 7));
    }
}

TEST_F(DrawKit, TextIsPlacedByItsTopLeftCorner)
{
    QImage image = NewLayer(200, 100);
    int width = 0;
    int height = 0;
    {
        TCanvas canvas(image);
        canvas.SetFont(QStringLiteral("Arial"), 20, true);
        canvas.SetFontColour(clWhite);
        canvas.SetBrushStyle(TBrushStyle::Clear);
        width = canvas.TextWidth(QStringLiteral("HH"));
        height = canvas.TextHeight(QStringLiteral("HH"));
        canvas.TextOut(10, 30, QStringLiteral("HH"));
    }
    ASSERT_GT(width, 0);
    ASSERT_GE(height, 20);
    // Only the cell below and right of the corner is written.
    const auto blank = [&](int x, int y, int w, int h) { return image.copy(x, y, w, h) == NewLayer(w, h); };
    EXPECT_TRUE(blank(0, 0, 200, 30) && blank(0, 0, 10, 100));
    EXPECT_TRUE(blank(10 + width, 0, 190 - width, 100) && blank(0, 30 + height, 200, 70 - height));
    EXPECT_FALSE(blank(10, 30, width, height));
    // A solid brush's fill of the cell shows as the shot strip's highlight.
}

TEST_F(DrawKit, FarCoordinatesAreSaturatedAndKeepTheirDirection)
{
    EXPECT_EQ(std::tuple(ToPixel(-0.4), ToPixel(1e300), ToPixel(-1e300), ToPixel(std::nan(""))),
              std::tuple(0, INT_MAX, INT_MIN, 0));

    QImage image = NewLayer(100, 100);
    {
        TCanvas canvas(image);
        canvas.SetPenColour(clWhite);
        canvas.SetBrushColour(TColor(0x0000FF));
        canvas.Ellipse(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
        canvas.Rectangle(ToPixel(-1e300), 90, ToPixel(1e300), ToPixel(1e300));
        canvas.Line(10, 50, ToPixel(1e300), 50);
        // A line to a far point keeps its slope: it passes through (60, 60).
        canvas.Line(10, 10, INT_MAX / 2, INT_MAX / 2);
    }
    EXPECT_EQ(std::tuple(Word(image, 0, 95), Word(image, 99, 95), Word(image, 99, 50), Word(image, 60, 60)),
              std::tuple(0xFF0000u, 0xFF0000u, 0xFFFFFFu, 0xFFFFFFu));
}

TEST_F(DrawKit, FontNamesAreSubstitutedOnce)
{
    RegisterFontSubstitutions();
    RegisterFontSubstitutions();
    const QStringList tahoma = QFont::substitutes(QStringLiteral("Tahoma"));
    EXPECT_EQ(std::count_if(tahoma.begin(), tahoma.end(),
                            [](const QString& s) { return s.compare(QStringLiteral("DejaVu Sans"), Qt::CaseInsensitive) == 0; }),
              1);
    const QFont mono = MakeFont(QStringLiteral("Courier New"), 16, true);
    EXPECT_EQ(std::tuple(mono.family(), mono.pixelSize(), SubstituteFontFamily(QStringLiteral("Verdana"))),
              std::tuple(QStringLiteral("Liberation Mono"), 16, QStringLiteral("Verdana")));
}

TEST_F(DrawKit, PainterCanvasDrawsOnABorrowedPainterAndLeavesItAsItWas)
{
    // A printer page stands in as an image behind a painter the caller owns.
    QImage page(40, 30, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.setPen(QPen(Qt::green, 3));
    painter.setBrush(Qt::red);
    const QFont before = painter.font();
    {
        TCanvas canvas(painter, 40, 30);
        EXPECT_EQ(std::tuple(canvas.Width(), canvas.Height(), canvas.HasImage()), std::tuple(40, 30, false));
        canvas.SetPenStyle(TPenStyle::Clear);
        canvas.SetBrushColour(TColor(0x0000FF));
        canvas.Ellipse(0, 0, 20, 20);
        canvas.SetPenStyle(TPenStyle::Solid);
        canvas.Line(25, 5, 35, 5);
        canvas.SetFont(QStringLiteral("Courier New"), 10, false);
        EXPECT_GT(canvas.TextWidth(QStringLiteral("10 - 4")), canvas.TextWidth(QStringLiteral("10")));
        EXPECT_EQ(canvas.Pixel(10, 10), clBlack); // no pixels to read
    }
    EXPECT_TRUE(painter.isActive());
    EXPECT_EQ(std::tuple(painter.pen().color(), painter.pen().width(), painter.brush().color(), painter.font()),
              std::tuple(QColor(Qt::green), 3, QColor(Qt::red), before));
    painter.end();
    EXPECT_EQ(std::tuple(Word(page, 10, 10), Word(page, 0, 0), Word(page, 30, 5)),
              std::tuple(0xFF0000u, 0xFFFFFFu, 0x000000u));
}

TEST(ClockTest, RealClockCountsMillisecondsOfTheMonotonicClock)
{
    // Both readings come from CLOCK_MONOTONIC (time since boot); the tick is
    // its milliseconds cut to 32 bits, so it wraps instead of saturating.
    const auto monotonicNs = [] {
        timespec ts {};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    };
    const TRealClock real;
    const int64_t before = monotonicNs();
    const int64_t ns = real.MonotonicNs();
    const uint32_t tick = real.TickCount();
    const int64_t after = monotonicNs();
    EXPECT_LE(before, ns);
    EXPECT_LE(ns, after);
    EXPECT_LE(uint32_t(tick - uint32_t(before / 1000000)), uint32_t((after - before) / 1000000 + 1));

    {
        TClockOverride fake;
        fake.clock.tick = 1234;
        EXPECT_EQ(TickCountMs(), 1234u);
    }
    EXPECT_NE(dynamic_cast<TRealClock*>(&Clock()), nullptr);
    const uint32_t restored = TickCountMs();
    EXPECT_LE(uint32_t(restored - tick), uint32_t((monotonicNs() - before) / 1000000 + 1));
}

} // namespace
