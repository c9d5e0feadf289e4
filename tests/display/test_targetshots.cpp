// Shot marks, hit crosshair, hold box, live point and zeroing overlay, probed
// at pixels computed from the view's own mapping.
#include "DisplayTestSupport.h"

#include "Device.h"
#include "Globals.h"
#include "Shotdata.h"
#include "Targetrenderer.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<TShot> RingShot(double xMm, double yMm, int tenths, int failures = 0)
{
    auto shot = NewRingShot(tenths, failures);
    shot->raw.SetFunctionMode(1);
    shot->raw.SetX(SaturatingCast<int>(xMm * 10));
    shot->raw.SetY(SaturatingCast<int>(yMm * 10));
    shot->shotNumber = 1;
    return shot;
}

class TargetShots : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureGuiApp();
        SetDecimalSeparator(QLatin1Char('.'));
        target.hasRing = 1;
        target.ringRecord = TestRing();
        UseTarget(shooter, target);
    }

    // ZoomField 160 mm: 1.875 px/mm at 400 x 300, 3.75 px/mm at 800 x 600.
    void Setup(TTargetRenderer& r, int w, int h)
    {
        r.Target = target;
        r.ZoomToFitTarget();
        r.SetSize(w, h);
        r.Shooter = &shooter;
    }

    TShot* Add(std::unique_ptr<TShot> shot) { return shooter.AppendShot(std::move(shot)); }

    static TColor At(const QImage& image, int x, int y) { return PixelToColour(TPixelWord(image.pixel(x, y))); }

    TargetDescription target;
    TShooter shooter;
};

TEST_F(TargetShots, MarksSitAtTheirHitsWithTheRightFill)
{
    TTargetRenderer r;
    Setup(r, 400, 300);
    ASSERT_DOUBLE_EQ(r.PixelsPerMm, 1.875);
    Add(RingShot(20, -20, 97));
    Add(RingShot(-20, -20, 88, 0x10));   // flagged: no mark
    Add(RingShot(30, -30, 104));         // newest
    r.Render(TTargetRenderer::ViewAllShots);

    const TColor red = r.Colour(TTargetRenderer::ClrShot);
    const TColor white = r.Colour(TTargetRenderer::ClrNewestShot);
    for (const QImage* layer : { &r.StaticLayer, &r.DisplayLayer }) {
        EXPECT_EQ(std::tuple(At(*layer, r.MapX(20), r.MapY(-20)), At(*layer, r.MapX(30), r.MapY(-30))), std::tuple(red, white));
        EXPECT_NE(At(*layer, r.MapX(-20), r.MapY(-20)), red);
    }
    EXPECT_EQ(r.GroupCount, 2);

    // The drawn marks add whole rings in tenths: 90 + 100; the flagged shot
    // adds nothing.
    {
        TTargetRenderer::TPaintScope scope(r);
        r.ScoreTotal = 0;
        r.DrawShots();
        EXPECT_EQ(r.ScoreTotal, 190);
        // The target shown, and the shots' (slot 0), with decimal scores.
        target.ringRecord.SetDecimalScores(true);
        UseTarget(shooter, target);
        r.Target = target;
        r.ScoreTotal = 0;
        r.DrawShots();
        EXPECT_EQ(r.ScoreTotal, 201);
    }
}

TEST_F(TargetShots, RangeLimitAndCrosshairIndexStayInsideTheList)
{
    TTargetRenderer r;
    Setup(r, 400, 300);
    for (int i = 0; i < 7; ++i)
        Add(RingShot(-40 + 10 * i, 0, 90));

    // The last five of seven.
    r.LimitShots = 5;
    r.Render(TTargetRenderer::ViewAllShots);
    EXPECT_EQ(r.GroupCount, 5);
    r.LimitShots = 0;

    // A range reaching beyond both ends is cut to the shots that exist.
    {
        TTargetRenderer::TPaintScope scope(r);
        r.ViewMode = TTargetRenderer::ViewRange;
        r.RangeFirst = -4;
        r.RangeLast = 50;
        r.GroupCount = 0;
        r.DrawShots();
        EXPECT_EQ(r.GroupCount, 7);
        r.RangeFirst = 5;
        r.RangeLast = 2;
        r.GroupCount = 0;
        r.DrawShots();
        EXPECT_EQ(r.GroupCount, 0);
    }

    // A crosshair index past the list draws nothing at all; a valid one marks
    // that shot.
    r.Render(TTargetRenderer::ViewSingleShot);
    const QImage before = r.DisplayLayer.copy();
    for (int current : { 99, -1, 1 }) {
        TTargetRenderer::TPaintScope scope(r);
        r.CurrentShot = current;
        r.DrawShots();
        EXPECT_EQ(r.DisplayLayer == before, current != 1) << current;
    }
}

TEST_F(TargetShots, CrosshairArmsAreOredOntoBothLayers)
{
    TTargetRenderer r;
    Setup(r, 400, 300);
    r.Shooter = nullptr;
    r.Render(TTargetRenderer::ViewAllShots);

    // m = 80 mm (ring 1 across): a = 20 mm = 37 px, h = 18 px open middle.
    const int px = r.MapX(0);
    const int py = r.MapY(0);
    const int a = r.MapX(20) - r.MapX(0);
    ASSERT_EQ(a, 37);
    const int armX = px - (a / 2 + 2 * a) / 2;
    const int armY = py + (a / 2 + 2 * a) / 2;
    const QImage staticBefore = r.StaticLayer.copy();
    const QImage displayBefore = r.DisplayLayer.copy();
    {
        TTargetRenderer::TPaintScope scope(r);
        r.DrawHitCrosshair(0, 0);
    }
    for (auto [layer, before] : { std::pair { &r.StaticLayer, &staticBefore }, { &r.DisplayLayer, &displayBefore } }) {
        EXPECT_EQ(layer->pixel(armX, py) & 0xFFFFFF, (before->pixel(armX, py) | 0x3F3F3F) & 0xFFFFFF);
        EXPECT_EQ(layer->pixel(px, armY) & 0xFFFFFF, (before->pixel(px, armY) | 0x3F3F3F) & 0xFFFFFF);
        // The middle stays open.
        EXPECT_EQ(layer->pixel(px - a / 4, py), before->pixel(px - a / 4, py));
    }
}

// The cross is stroked through a mask: wherever it lies (whole, cut by an
// edge, or beyond the picture) and however long its arms, both layers end
// with exactly the pixels of or-mode wide strokes drawn on them.
TEST_F(TargetShots, CrosshairHasThePixelsOfOrModeStrokes)
{
    Add(RingShot(20, -20, 97));
    Add(RingShot(-70, 50, 40));
    for (double zoom : {100.0, 170.0, 900.0}) {
        TTargetRenderer r;
        Setup(r, 400, 300);
        r.SetZoomPercent(zoom);
        const int a = r.MapX(20) - r.MapX(0);
        for (auto [x, y] : {std::pair {0.0, 0.0}, {-95.0, 3.0}, {101.0, -77.0}, {12.5, 79.0}, {-400.0, 0.0}, {3.3, -2.7}}) {
            SCOPED_TRACE(testing::Message() << zoom << " " << x << " " << y);
            r.Render(TTargetRenderer::ViewAllShots);
            const int px = r.MapX(x);
            const int py = r.MapY(y);
            QImage expected[2] = { r.StaticLayer.copy(), r.DisplayLayer.copy() };
            for (QImage& image : expected) {
                TCanvas canvas(image);
                canvas.SetPenColour(TColor(0x3F3F3F));
                canvas.SetPenWidth(8);
                canvas.SetPenMode(TPenMode::Or);
                canvas.Line(px - a / 2, py, px - 2 * a, py);
                canvas.Line(px + a / 2, py, px + 2 * a, py);
                canvas.Line(px, py - a / 2, px, py - 2 * a);
                canvas.Line(px, py + a / 2, px, py + 2 * a);
            }
            {
                TTargetRenderer::TPaintScope scope(r);
                r.DrawHitCrosshair(x, y);
            }
            EXPECT_EQ(r.StaticLayer, expected[0]);
            EXPECT_EQ(r.DisplayLayer, expected[1]);
        }
    }
}

// The live point is erased from the static layer, so a pass of all shots
// leaves both layers alike, the cross around the current shot included, at
// any zoom that puts its arms on or off the picture.
TEST_F(TargetShots, AllShotsPassLeavesBothLayersAlike)
{
    Add(RingShot(20, -20, 97));
    Add(RingShot(-70, 50, 40));
    for (int zoom : {100, 400, 1600}) {
        SCOPED_TRACE(zoom);
        TTargetRenderer r;
        Setup(r, 400, 300);
        r.SetZoomPercent(zoom);
        for (int current : {0, 1}) {
            r.CurrentShot = current;
            r.Render(TTargetRenderer::ViewAllShots);
            EXPECT_EQ(r.DisplayLayer, r.StaticLayer);
        }
    }
}

// A trace alternating between (5, 5) and (15, 15) mm: mean (10, 10), spread
// about 5 mm in both axes, the line only on the diagonal.
std::unique_ptr<TShot> TracedShot(int functionMode)
{
    auto shot = RingShot(-30, -30, 50);
    shot->raw.SetFunctionMode(functionMode);
    shot->AllocateCurve(100);
    for (int i = 0; i < 100; ++i) {
        const int v = i % 2 ? 150 : 50;
        shot->Curve()[i].SetX(v);
        shot->Curve()[i].SetY(v);
    }
    return shot;
}

TEST_F(TargetShots, HoldBoxTintsByTheFormula)
{
    TTargetRenderer plain;
    Setup(plain, 800, 600);
    plain.SelectedShot = Add(TracedShot(2));   // dynamic: no hold box
    plain.Render(TTargetRenderer::ViewSingleShot);

    TTargetRenderer boxed;
    Setup(boxed, 800, 600);
    boxed.SelectedShot = Add(TracedShot(1));
    boxed.Render(TTargetRenderer::ViewSingleShot);
    // The hold window of 100 samples is i = 21 .. 86, all valid.
    EXPECT_EQ(boxed.HoldWindowStats.Count(), 66);

    // Inside the box, away from the cross, the outline and the trace.
    const int x = boxed.MapX(12);
    const int y = boxed.MapY(8);
    for (auto layers : { std::pair { &plain.StaticLayer, &boxed.StaticLayer },
                         { &plain.DisplayLayer, &boxed.DisplayLayer } }) {
        const TPixelWord before(layers.first->pixel(x, y));
        const TPixelWord expected(ScaleColour(before, 0.875).rgb + ScaleColour(TPixelWord(0x00FFFF), 0.125).rgb);
        EXPECT_EQ(TPixelWord(layers.second->pixel(x, y)), expected);
    }

    // While the view moves the tint is left out.
    boxed.Animating = true;
    boxed.Render(-1);
    EXPECT_EQ(boxed.DisplayLayer.pixel(x, y), plain.DisplayLayer.pixel(x, y));

    // Short or broken traces get no box.
    boxed.Animating = false;
    auto shot = TracedShot(1);
    // Every other window sample flagged: each valid one follows a flagged one.
    for (int i = 0; i < 100; i += 2)
        shot->Curve()[i].SetFailures(0x01);
    boxed.SelectedShot = Add(std::move(shot));
    boxed.Render(TTargetRenderer::ViewSingleShot);
    EXPECT_EQ(boxed.HoldWindowStats.Count(), 0);

    auto small = TracedShot(1);
    small->AllocateCurve(13);
    boxed.SelectedShot = Add(std::move(small));
    boxed.Render(TTargetRenderer::ViewSingleShot);
    EXPECT_EQ(boxed.HoldWindowStats.Count(), 0);
}

TraceSample LiveSample(int rawX, int rawY, int failures = 0)
{
    TraceSample s;
    s.SetX(rawX);
    s.SetY(rawY);
    s.SetFailures(failures);
    return s;
}
TEST_F(TargetShots, LivePointIsErasedByteIdenticalFromTheStaticLayer)
{
    TTargetRenderer r;
    Setup(r, 400, 300);
    Add(RingShot(5, 5, 100));
    r.Render(TTargetRenderer::ViewAllShots);
    const QImage clean = r.DisplayLayer.copy();

    // 10 m: k = 9.25 / 300 mm per unit; 300 units are 9.25 mm.
    r.DrawLivePoint(LiveSample(300, 0));
    EXPECT_EQ(At(r.DisplayLayer, r.MapX(9.25), r.MapY(0)), clWhite);
    EXPECT_EQ(r.StaticLayer.pixel(r.MapX(9.25), r.MapY(0)), clean.pixel(r.MapX(9.25), r.MapY(0)));
    EXPECT_TRUE(r.LivePointValid);

    // A sample without a point erases the last one and leaves a box at the
    // top centre to be erased next.
    r.DrawLivePoint(LiveSample(0, 0, 0x10));
    EXPECT_EQ(std::tuple(r.DisplayLayer, r.LivePointRect.top), std::tuple(clean, 0));

    // A point at the left edge: its rectangle starts at column 0 and must
    // still be erased.
    const int rawLeft = SaturatingCast<int>(-189.0 / r.PixelsPerMm / (9.25 / 300));
    r.DrawLivePoint(LiveSample(rawLeft, 0));
    EXPECT_EQ(r.LivePointRect.left, 0);
    EXPECT_NE(r.DisplayLayer, clean);
    r.DrawLivePoint(LiveSample(0, 0, 0x01));
    EXPECT_EQ(r.DisplayLayer, clean);

    // A point far outside keeps a rectangle inside the layer or none.
    r.DrawLivePoint(LiveSample(-30000, 30000));
    EXPECT_GE(r.LivePointRect.left, 0);
    EXPECT_LE(r.LivePointRect.right, r.LayerWidth());
    EXPECT_EQ(std::tuple(bool(r.LivePointValid), r.DisplayLayer), std::tuple(false, clean));
}

// The cross has the pixels of its eight drawing calls wherever it lies, in
// the middle, touching an edge, and at another zoom (another cross size).
TEST_F(TargetShots, LivePointHasThePixelsOfItsDrawingCalls)
{
    TTargetRenderer r;
    Setup(r, 400, 300);
    Add(RingShot(5, 5, 100));
    const double k = 9.25 / 300;
    for (double zoom : {100.0, 250.0}) {
        r.SetZoomPercent(zoom);
        r.Render(TTargetRenderer::ViewAllShots);
        const int radius = SaturatingCast<int>(r.PixelsPerMm * r.ZoomField * 0.1);
        for (auto [x, y] : {std::pair {300, 0}, {-1000, 700}, {2500, -1800}, {-3373, 0}, {3330, 20}, {-6000, 0}, {0, 4200}}) {
            SCOPED_TRACE(testing::Message() << zoom << " " << x << " " << y);
            const QImage clean = r.DisplayLayer.copy();
            r.DrawLivePoint(LiveSample(x, y));
            QImage expected = clean;
            {
                TCanvas canvas(expected);
                const int px = r.MapX(x * k);
                const int py = r.MapY(y * k);
                for (auto [dx, colour] : {std::pair {1, clBlack}, {0, clWhite}}) {
                    canvas.SetPenColour(colour);
                    canvas.SetPenWidth(3);
                    canvas.Line(px + dx - radius, py + dx, px + dx + radius, py + dx);
                    canvas.Line(px + dx, py + dx - radius, px + dx, py + dx + radius);
                    canvas.SetBrushStyle(TBrushStyle::Clear);
                    canvas.Ellipse(int(px + dx - radius / 2.0), int(py + dx - radius / 2.0),
                                   int(px + dx + radius / 2.0), int(py + dx + radius / 2.0));
                }
            }
            EXPECT_EQ(r.DisplayLayer, expected);
            r.DrawLivePoint(LiveSample(0, 0, 0x10)); // erased again
        }
    }
}

TEST_F(TargetShots, ZeroingOverlay)
{
    TTargetRenderer r;
    Setup(r, 800, 600);
    r.SetZoomField(300);   // 2 px/mm
    EXPECT_THROW(r.DrawZeroingResults(nullptr), Exception);

    r.Zeroing = 1;
    TDevice device;
    device.SetMode(1);
    RawShotRecord entry;
    entry.b[0] = 0xCA;
    device.RememberZeroingResult(entry);
    r.Device = &device;
    r.Render(TTargetRenderer::ViewAllShots);
    // 3750 units at 10 m: 125 mm = 250 px; the pen is 3 px wide.
    EXPECT_EQ(At(r.StaticLayer, r.MapX(125) - 1, r.MapY(0)), TColor(0x00FFFF));
    // The newest zeroing shot, at the centre by its raw position.
    EXPECT_EQ(r.GroupCount, 1);
    EXPECT_EQ(At(r.DisplayLayer, r.MapX(0), r.MapY(0)), r.Colour(TTargetRenderer::ClrNewestShot));
    r.Device = nullptr;
}

} // namespace
