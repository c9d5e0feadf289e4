// The analysis graphs: layout fields, ring reference lines and bands, the
// time grid, the hold band and the curves, probed at pixels computed from
// the graph fields.
#include "DisplayTestSupport.h"

#include "Globals.h"
#include "Screens.h"
#include "Shotdata.h"
#include "Targetrenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

using R = TTargetRenderer;

TColor At(const QImage& image, int x, int y) { return PixelToColour(TPixelWord(image.pixel(x, y))); }

// Sample i (0 = oldest) of a trace, X and Y in 0.1 mm.
using TraceFunction = std::function<void(int i, int& x, int& y, int& failures)>;

class TargetGraphs : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureGuiApp();
        SetDecimalSeparator(QLatin1Char('.'));
        target.hasRing = 1;
        target.ringRecord = TestRing(); // ring 10: 4 mm .. ring 1: 40 mm; black area 20 mm, white 3 mm
        UseTarget(shooter, target);
        r.Target = target;
        r.Shooter = &shooter;
        r.GradingOverlay = false;
    }

    TShot* AddShot(int n, int hitX, int hitY, const TraceFunction& f)
    {
        auto shot = NewRingShot(95);
        shot->raw.SetFunctionMode(1);
        shot->raw.SetX(hitX);
        shot->raw.SetY(hitY);
        shot->shotNumber = shooter.ShotCount() + 1;
        shot->AllocateCurve(n);
        for (int i = 0; i < n; ++i) {
            int x = 0, y = 0, failures = 0;
            f(i, x, y, failures);
            shot->Curve()[i].SetX(x);
            shot->Curve()[i].SetY(y);
            shot->Curve()[i].SetFailures(failures);
        }
        return shooter.AppendShot(std::move(shot));
    }

    int Row(double mm) const { return ToPixel(r.GraphOriginY + mm * r.GraphScaleY); }
    int Column(double seconds) const { return ToPixel(r.GraphOriginX + seconds * r.GraphScaleX); }
    TColor Slot(int slot) const { return r.Colour(slot); }
    // Whether every pixel of the column between the rows has the colour.
    bool ColumnIs(const QImage& image, int x, int fromY, int toY, TColor colour) const
    {
        for (int y = fromY; y <= toY; ++y)
            if (At(image, x, y) != colour)
                return false;
        return true;
    }
    int CountInColumn(const QImage& image, int x, int fromY, int toY, TColor colour) const
    {
        int n = 0;
        for (int y = fromY; y <= toY; ++y)
            n += At(image, x, y) == colour;
        return n;
    }

    // base tinted with the band colour as the bands tint the layers.
    static TColor Tinted(TColor base, TPixelWord colour)
    {
        QImage one = NewLayer(1, 1);
        one.setPixel(0, 0, 0xFF000000u | ColourToPixel(base).rgb);
        TintRect(one, 0, 0, 1, 1, colour, 0.125);
        return PixelToColour(TPixelWord(one.pixel(0, 0)));
    }
    static constexpr TPixelWord BandYellow { 0xFFFF00 };
    static constexpr TPixelWord BandCyan { 0x00FFFF };

    TargetDescription target;
    TShooter shooter;
    TTargetRenderer r;
};

TEST_F(TargetGraphs, FieldsFollowTheLayerSize)
{
    struct Case {
        int w, h, mode;
        int originY, originX;
        double scaleY, scaleX;
    } cases[] = {
        { 400, 300, R::ViewDistanceGraph, 90, 360, 0.55 * 300 / 40, 0.8 * 400 / 3.0 },
        { 333, 211, R::ViewDistanceGraph, 63, 299, 0.55 * 211 / 40, 0.8 * 333 / 3.0 },
        { 333, 211, R::ViewXYGraph, 105, 299, 0.3 * 211 / 40, 0.8 * 333 / 3.0 },
        // Layers too small to read still place the graph, curve and all.
        { 3, 2, R::ViewDistanceGraph, 0, 2, 0.55 * 2 / 40, 0.8 * 3 / 3.0 },
        { 1, 400, R::ViewXYGraph, 200, 0, 0.3 * 400 / 40, 0.8 / 3.0 },
        { 400, 1, R::ViewXYGraph, 0, 360, 0.3 / 40, 0.8 * 400 / 3.0 },
        { 0, 0, R::ViewXYGraph, 0, 0, 0.0, 0.0 },
    };
    r.SelectedShot = AddShot(150, 30, 30, [](int i, int& x, int& y, int&) { x = i; y = -i; });
    for (const Case& c : cases) {
        r.SetSize(c.w, c.h);
        r.Render(c.mode);
        EXPECT_EQ(std::tuple(r.GraphOriginY, r.GraphOriginX), std::tuple(c.originY, c.originX)) << c.w << "x" << c.h;
        EXPECT_DOUBLE_EQ(r.GraphScaleY, c.scaleY) << c.w << "x" << c.h;
        EXPECT_DOUBLE_EQ(r.GraphScaleX, c.scaleX) << c.w << "x" << c.h;
    }

    // A target without a ring has no graph: the axes refuse, and the pass
    // shows the normal picture instead.
    r.Target.hasRing = 0;
    EXPECT_EQ(ThrownMessage([&] { r.DrawDistanceAxes(); }), QStringLiteral("DrawRT: No ring target in use"));
    EXPECT_EQ(ThrownMessage([&] { r.DrawXYAxes(); }), QStringLiteral("DrawRT: No ring target in use"));
}

TEST_F(TargetGraphs, RingLinesAndBlackAreaBands)
{
    r.SetSize(1000, 500);
    r.Render(R::ViewDistanceGraph);
    const QImage& layer = r.StaticLayer;
    const int xLeft = 100;
    // A column off the time lines (they sit every 0.1 s = 26.67 px).
    const int probe = Column(-0.55);
    ASSERT_NE(probe, Column(-0.5));

    // Each ring v lies at its radius below the top line, across the grid.
    for (int v = 1; v <= 10; ++v) {
        const int y = Row(44 - 4 * v);
        EXPECT_EQ(std::tuple(At(layer, xLeft + 1, y), At(layer, probe, y), At(layer, r.GraphOriginX - 1, y)),
                  std::tuple(clWhite, clWhite, clWhite))
            << "ring " << v;
    }
    // The zero line, and no grid to the left of xLeft or the labels' side.
    EXPECT_EQ(At(layer, probe, r.GraphOriginY), clWhite);
    EXPECT_EQ(At(layer, xLeft - 2, Row(20)), Slot(R::ClrBackground));
    // The black area from the inner white (3 mm) to its edge (20 mm).
    EXPECT_EQ(At(layer, probe, Row(2)), Slot(R::ClrBackground));
    EXPECT_EQ(At(layer, probe, Row(3.5)), Slot(R::ClrBlackArea));
    EXPECT_EQ(At(layer, probe, Row(19)), Slot(R::ClrBlackArea));
    EXPECT_EQ(At(layer, probe, Row(22)), Slot(R::ClrBackground));

    // The X/Y graph mirrors rings and bands about the centre line, which is
    // not drawn itself.
    r.Render(R::ViewXYGraph);
    for (int v = 1; v <= 10; ++v) {
        EXPECT_EQ(std::tuple(At(layer, probe, Row(44 - 4 * v)), At(layer, probe, Row(4 * v - 44))),
                  std::tuple(clWhite, clWhite))
            << "ring " << v;
    }
    EXPECT_EQ(At(layer, probe, r.GraphOriginY), Slot(R::ClrBackground));
    for (double mm : { 10.0, -10.0 })
        EXPECT_EQ(At(layer, probe, Row(mm)), Slot(R::ClrBlackArea)) << mm;
    for (double mm : { 2.0, -2.0, 22.0, -22.0 })
        EXPECT_EQ(At(layer, probe, Row(mm)), Slot(R::ClrBackground)) << mm;
}

TEST_F(TargetGraphs, TimeGridLinesAndLabels)
{
    r.SetSize(1000, 500);
    r.Render(R::ViewDistanceGraph);
    const QImage& layer = r.StaticLayer;
    const int yBottom = 425;
    // Between the zero line and the black area, where no ring line crosses.
    const int from = r.GraphOriginY + 2;
    const int to = Row(2.5);

    for (double t : { 0.0, -1.0, -2.0, -3.0 })
        EXPECT_TRUE(ColumnIs(layer, Column(t), from, to, clWhite)) << t;
    for (double t : { -0.5, -1.5, -2.5 }) {
        const int dots = CountInColumn(layer, Column(t), from, to, clWhite);
        EXPECT_GT(dots, 0) << t;
        EXPECT_LT(dots, to - from + 1) << t;
    }
    for (double t : { -0.1, -0.7, -2.9 })
        EXPECT_EQ(CountInColumn(layer, Column(t), from, to, clWhite), 0) << t;
    // The solid lines reach down to yBottom.
    EXPECT_EQ(At(layer, Column(-1.0), yBottom), clWhite);
    EXPECT_EQ(At(layer, Column(-1.0), yBottom + 2), Slot(R::ClrBackground));

    // The labels under the grid read exactly as these, each centred on its
    // line: the label band matches the same texts written on a bare band.
    QImage expected = layer.copy();
    const int top = yBottom + 10;
    {
        TCanvas canvas(expected);
        canvas.SetBrushStyle(TBrushStyle::Solid);
        canvas.SetBrushColour(Slot(R::ClrBackground));
        canvas.FillRect(0, top - 2, expected.width(), expected.height());
        canvas.SetFont(QStringLiteral("Arial"), 12, false); // trunc(0.025 x 500)
        canvas.SetFontColour(clWhite);
        canvas.SetBrushStyle(TBrushStyle::Clear);
        const char* labels[] = { "0.0s", "-0.5s", "-1.0s", "-1.5s", "-2.0s", "-2.5s", "-3.0s" };
        for (int k = 0; k < 7; ++k) {
            const QString label = QString::fromLatin1(labels[k]);
            const int x = Column(-0.5 * k);
            canvas.TextOut(ToPixel(x - canvas.TextWidth(label) * 0.5), top, label);
        }
    }
    EXPECT_EQ(layer.copy(0, top - 2, layer.width(), layer.height() - top + 2),
              expected.copy(0, top - 2, layer.width(), layer.height() - top + 2));
}

TEST_F(TargetGraphs, CurvesColouredByAgeAndBrokenByFlags)
{
    r.SetSize(1000, 500); // 4 px per sample
    // Constant distance 10 mm (X 6 mm, Y -8 mm); sample 20 before the newest
    // is flagged.
    const int n = 260;
    TShot* shot = AddShot(n, 60, -80, [&](int i, int& x, int& y, int& failures) {
        x = 60;
        y = -80;
        failures = i == n - 1 - 20 ? 0x10 : 0;
    });
    r.SelectedShot = shot;
    r.Render(R::ViewDistanceGraph);
    const QImage& d = r.DisplayLayer;
    const int y = Row(10.0);
    const auto sampleX = [&](double j) { return ToPixel(r.GraphOriginX - (j + 1) * 0.015 * r.GraphScaleX); };

    // Newest 0.2 s red, up to one second yellow, older white.
    EXPECT_EQ(At(d, sampleX(5), y), Slot(R::ClrTraceLastFifth));
    EXPECT_EQ(At(d, sampleX(40.5), y), Slot(R::ClrTraceLastSecond));
    EXPECT_EQ(At(d, sampleX(100.5), y), Slot(R::ClrTraceOld));
    // The start point at the shot's column joins the newest sample.
    EXPECT_EQ(At(d, r.GraphOriginX - 2, y), Slot(R::ClrTraceLastFifth));
    // No segment ends at or starts from the flagged sample.
    for (double j : { 19.5, 20.0, 20.5 })
        EXPECT_NE(At(d, sampleX(j), y), Slot(R::ClrTraceLastSecond)) << j;
    EXPECT_EQ(At(d, sampleX(21.5), y), Slot(R::ClrTraceLastSecond));
    // Nothing clips the curve: samples older than 3 s run past xLeft.
    EXPECT_EQ(At(d, 60, y), Slot(R::ClrTraceOld));
    // The curve is on the display layer only.
    EXPECT_NE(At(r.StaticLayer, sampleX(5), y), Slot(R::ClrTraceLastFifth));

    // The X/Y curves put the newest sample on the shot's column (x uses j,
    // not j + 1), X and Y about one centre line, broken alike.
    r.Render(R::ViewXYGraph);
    const auto xyX = [&](double j) { return ToPixel(r.GraphOriginX - j * 0.015 * r.GraphScaleX); };
    for (double j : { 2.5, 50.5 })
        EXPECT_EQ(std::tuple(At(d, xyX(j), Row(6.0)), At(d, xyX(j), Row(-8.0))),
                  std::tuple(Slot(R::ClrGraphX), Slot(R::ClrGraphY))) << j;
    for (double j : { 19.5, 20.5 }) {
        EXPECT_NE(At(d, xyX(j), Row(6.0)), Slot(R::ClrGraphX)) << j;
        EXPECT_NE(At(d, xyX(j), Row(-8.0)), Slot(R::ClrGraphY)) << j;
    }

    // Two samples give no distance segment; three give one, from the shot
    // to the newest sample. The X/Y curves start at the newest sample on the
    // shot's column, so three samples give them one visible segment too.
    const auto still = [](int, int& x, int& y, int&) { x = 60; y = -80; };
    r.SelectedShot = AddShot(2, 60, -80, still);
    r.Render(R::ViewDistanceGraph);
    EXPECT_EQ(r.DisplayLayer, r.StaticLayer);
    r.SelectedShot = AddShot(3, 60, -80, still);
    r.Render(R::ViewDistanceGraph);
    EXPECT_EQ(std::tuple(At(r.DisplayLayer, sampleX(-0.5), y), At(r.DisplayLayer, sampleX(1.5), y)),
              std::tuple(Slot(R::ClrTraceLastFifth), At(r.StaticLayer, sampleX(1.5), y)));
    r.Render(R::ViewXYGraph);
    EXPECT_EQ(At(r.DisplayLayer, r.GraphOriginX - 2, Row(6.0)), Slot(R::ClrGraphX));
    EXPECT_EQ(At(r.DisplayLayer, r.GraphOriginX - 2, Row(-8.0)), Slot(R::ClrGraphY));
}

TEST_F(TargetGraphs, HoldBandsTintTheHoldWindowOnBothLayers)
{
    r.SetSize(1000, 500);
    // Four points around the centre, 1 mm out on each axis: the box mean +-
    // one deviation straddles both axes, so the distance band starts at 0.
    TShot* shot = AddShot(200, 0, 0, [](int i, int& x, int& y, int&) {
        x = (i % 4 < 2) ? 10 : -10;
        y = (i % 2 == 0) ? 10 : -10;
    });
    r.SelectedShot = shot;
    r.Render(R::ViewDistanceGraph);
    const StatPair m = r.HoldWindowStats.Mean();
    const StatPair s = r.HoldWindowStats.StdDev();
    ASSERT_LT((m.x - s.x) * (m.x + s.x), 0);
    ASSERT_LT((m.y - s.y) * (m.y + s.y), 0);
    const double dmax = std::hypot(std::abs(m.x) + s.x, std::abs(m.y) + s.y);

    const auto tinted = [](TColor base, TPixelWord colour) {
        QImage one = NewLayer(1, 1);
        one.setPixel(0, 0, 0xFF000000u | ColourToPixel(base).rgb);
        TintRect(one, 0, 0, 1, 1, colour, 0.125);
        return PixelToColour(TPixelWord(one.pixel(0, 0)));
    };
    const TColor bg = Slot(R::ClrBackground);
    const int inside = Column(-0.7);
    const int outside = Column(-1.25);
    const int row = r.GraphOriginY + 2;
    ASSERT_LT(row, Row(dmax));
    for (const QImage* layer : { &r.DisplayLayer, &r.StaticLayer }) {
        EXPECT_EQ(At(*layer, inside, row), tinted(bg, TPixelWord(0xFFFF00)));
        EXPECT_EQ(At(*layer, outside, row), bg);
        EXPECT_EQ(At(*layer, inside, Row(dmax) + 2), bg);
    }

    // The X/Y graph tints a yellow band for X and a cyan one for Y, which
    // here overlap about the centre line.
    r.Render(R::ViewXYGraph);
    const TColor both = tinted(tinted(bg, TPixelWord(0xFFFF00)), TPixelWord(0x00FFFF));
    EXPECT_EQ(At(r.StaticLayer, inside, r.GraphOriginY + 1), both);
    EXPECT_EQ(At(r.StaticLayer, outside, r.GraphOriginY + 1), bg);
}

TEST_F(TargetGraphs, RingsWithoutSizeOrDiameterStillDrawTheGrid)
{
    r.SetSize(400, 300);
    TShot* shot = AddShot(100, 50, 50, [](int, int& x, int& y, int&) { x = 50; y = 50; });
    r.SelectedShot = shot;

    // Every ring of radius 0: no value scale, a grid without rings or curves.
    r.Target.ringRecord.SetDiameterHighestRing(0);
    r.Target.ringRecord.SetHitRingGap(0);
    for (int mode : { R::ViewDistanceGraph, R::ViewXYGraph }) {
        r.Render(mode);
        EXPECT_EQ(r.GraphScaleY, 0.0) << mode;
        EXPECT_TRUE(std::isfinite(r.GraphScaleX));
        EXPECT_EQ(r.DisplayLayer, r.StaticLayer) << mode;
        EXPECT_EQ(At(r.StaticLayer, Column(-1.0), ToPixel(0.5 * 300) + 20), clWhite) << mode;
    }

    // Variable ring gaps: rings more than eleven below the highest have no
    // diameter and are left out; the outermost one that has sets the scale.
    RingTargetRecord& ring = r.Target.ringRecord;
    ring.SetVariableRingGaps(true);
    ring.SetHighestRing(15);
    ring.SetMinimumRing(1);
    ring.SetDiameterHighestRing(40);
    for (int k = 1; k <= 11; ++k)
        ring.SetDiameterVariableHminus(k, 40 + 40 * k); // ring 4: 48 mm diameter
    r.Render(R::ViewDistanceGraph);
    EXPECT_DOUBLE_EQ(r.GraphScaleY, 0.55 * 300 / 24.0);
    EXPECT_EQ(At(r.StaticLayer, Column(-0.55), Row(24.0)), clWhite);
    EXPECT_NE(r.DisplayLayer, r.StaticLayer); // the curve is back
}

TEST_F(TargetGraphs, EachBandFollowsItsOwnAxis)
{
    // X 9 or 11 mm (mean 10, spread 1), Y -1 or -9 mm (mean -5, spread 4):
    // the yellow X band covers 10 mm and not -5 mm, the cyan Y band the
    // other way round.
    r.SetSize(1000, 500);
    r.Render(R::ViewXYGraph);
    const QImage bare = r.StaticLayer.copy();
    r.SelectedShot = AddShot(200, 100, -50, [](int i, int& x, int& y, int&) {
        x = i % 2 == 0 ? 90 : 110;
        y = i % 2 == 0 ? -10 : -90;
    });
    r.Render(R::ViewXYGraph);
    const int column = Column(-0.7);
    const auto at = [&](const QImage& layer, double mm) { return At(layer, column, Row(mm)); };
    // (The static layer: the curves zigzag over the display layer's bands.)
    EXPECT_EQ(at(r.StaticLayer, 10.0), Tinted(at(bare, 10.0), BandYellow));
    EXPECT_EQ(at(r.StaticLayer, -5.0), Tinted(at(bare, -5.0), BandCyan));
    // Beyond one spread neither band.
    for (double mm : { 14.0, -10.5, 6.0 })
        EXPECT_EQ(at(r.StaticLayer, mm), at(bare, mm)) << mm;
}

TEST_F(TargetGraphs, ALabelPerRingWhereItsTwoLinesMeet)
{
    // Ring 10 of 0.5 mm across, rings 2.5 mm apart out to 22.75 mm: on a
    // 600 px high layer the two lines of ring 10 lie 4 px apart, closer than
    // a label is high. One "10" stands on the centre line, unbroken.
    r.Target.ringRecord.SetDiameterHighestRing(5);
    r.Target.ringRecord.SetHitRingGap(25);
    r.SetSize(800, 600);
    r.Render(R::ViewXYGraph);
    const QImage& layer = r.StaticLayer;
    r.StaticLayer.save(ScreensFolder() + QStringLiteral("/TargetGraphXYSmallTen.png"), "PNG");

    QImage expected = layer.copy();
    const int left = r.GraphOriginX + 5;
    const int top = r.GraphOriginY - 8;
    const int bottom = r.GraphOriginY + 8;
    {
        TCanvas canvas(expected);
        canvas.SetBrushStyle(TBrushStyle::Solid);
        canvas.SetBrushColour(Slot(R::ClrBackground));
        canvas.FillRect(left, top, expected.width(), bottom + 1);
        canvas.SetFont(QStringLiteral("Arial"), 15, false); // trunc(0.025 x 600)
        canvas.SetFontColour(clWhite);
        canvas.SetBrushStyle(TBrushStyle::Clear);
        canvas.TextOut(r.GraphOriginX + 10, ToPixel(r.GraphOriginY - canvas.TextHeight(QStringLiteral("1")) * 0.5),
                       QStringLiteral("10"));
    }
    const QRect band(left, top, layer.width() - left, bottom - top + 1);
    EXPECT_EQ(layer.copy(band), expected.copy(band));
}

TEST_F(TargetGraphs, SavesPicturesOfBothGraphs)
{
    r.SetSize(800, 600);
    // An aim that settles towards the centre with a slow wobble, a few bad
    // samples early on.
    TShot* shot = AddShot(260, 35, -20, [](int i, int& x, int& y, int& failures) {
        const double settle = 1.0 + (260 - i) / 60.0;
        x = int(40 * settle * std::sin(i * 0.21)) + 30;
        y = int(55 * settle * std::cos(i * 0.13)) - 20;
        failures = (i >= 40 && i < 44) ? 0x10 : 0;
    });
    r.SelectedShot = shot;
    r.GradedShot = shot;
    r.Render(R::ViewDistanceGraph);
    EXPECT_TRUE(r.DisplayLayer.save(ScreensFolder() + QStringLiteral("/TargetGraphDistance.png"), "PNG"));
    // The last 0.2 s of the aim in red, the second before in yellow, older
    // aim in white, each in its stretch of time.
    const auto inStretch = [&](double from, double to, TColor colour) {
        int n = 0;
        for (int x = Column(from) + 2; x < Column(to) - 2; ++x)
            for (int y = 0; y < r.DisplayLayer.height(); ++y)
                n += At(r.DisplayLayer, x, y) == colour && At(r.StaticLayer, x, y) != colour;
        return n;
    };
    EXPECT_GT(inStretch(-0.2, 0.0, Slot(R::ClrTraceLastFifth)), 0);
    EXPECT_EQ(inStretch(-0.9, -0.3, Slot(R::ClrTraceLastFifth)), 0);
    EXPECT_GT(inStretch(-0.9, -0.3, Slot(R::ClrTraceLastSecond)), 0);
    EXPECT_GT(inStretch(-3.0, -1.1, Slot(R::ClrTraceOld)), 0);
    EXPECT_EQ(inStretch(-3.0, -1.1, Slot(R::ClrTraceLastSecond)), 0);

    r.Render(R::ViewXYGraph);
    EXPECT_TRUE(r.DisplayLayer.save(ScreensFolder() + QStringLiteral("/TargetGraphXY.png"), "PNG"));
    // The legend names the cyan curve X above the centre line and the
    // yellow one Y below it, right of the curves.
    const auto inBox = [&](int top, int bottom, TColor colour) {
        int n = 0;
        for (int x = 760; x < 800; ++x)
            n += CountInColumn(r.DisplayLayer, x, top, bottom, colour);
        return n;
    };
    EXPECT_GT(inBox(r.GraphOriginY - 60, r.GraphOriginY - 1, Slot(R::ClrGraphX)), 0);
    EXPECT_EQ(inBox(r.GraphOriginY - 60, r.GraphOriginY - 1, Slot(R::ClrGraphY)), 0);
    EXPECT_GT(inBox(r.GraphOriginY + 1, r.GraphOriginY + 70, Slot(R::ClrGraphY)), 0);
    EXPECT_EQ(inBox(r.GraphOriginY + 1, r.GraphOriginY + 70, Slot(R::ClrGraphX)), 0);
}

} // namespace
