// Shot marks, hit crosshair, hold box, live point and zeroing overlay, probed
// at pixels computed from the view's own mapping.
#include "DisplayTestSupport.h"

#include "Device.h"
#include "Globals.h"
#include "Shotdata.h"
#include "Targetrenderer.h"

#include <QRect>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>
#include <vector>

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

// The live point as the trainee sees it: a white cross with a ring and a black
// shadow one pixel right and down, centred where the gun aims, the same size
// at every zoom, clipped at the layer's edges and not drawn at all when the
// aim is outside the view. Expected places come from the target's geometry
// alone: at 10 m 300 raw units are 9.25 mm, and the 300 px high view shows
// 160 mm at 100 % around its centre (200, 150).
TEST_F(TargetShots, LivePointIsAShadowedCrossWhereTheGunAims)
{
    TTargetRenderer r;
    Setup(r, 400, 300);
    Add(RingShot(5, 5, 100));
    const struct {
        double zoom;
        int x, y;
        bool seen;
    } cases[] = {
        {100, 300, 0, true},    {100, -1000, 700, true}, {100, 2500, -1800, true}, {100, -3373, 0, true},
        {100, 3330, 20, true},  {100, -6000, 0, false},  {100, 0, 4200, false},    {250, 300, 0, true},
        {250, -1000, 700, true}, {250, 2500, -1800, false}, {250, -3373, 0, false},
    };
    constexpr int Arm = 30;  // a tenth of the 300 px view, at any zoom
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.zoom << " % at " << c.x << " " << c.y);
        r.SetZoomPercent(c.zoom);
        r.Render(TTargetRenderer::ViewAllShots);
        const QImage clean = r.DisplayLayer.copy();
        r.DrawLivePoint(LiveSample(c.x, c.y));
        const QImage& shown = r.DisplayLayer;
        const auto inside = [&](int x, int y) { return x >= 0 && y >= 0 && x < shown.width() && y < shown.height(); };
        const auto unchanged = [&](int x, int y) { return !inside(x, y) || shown.pixel(x, y) == clean.pixel(x, y); };
        const auto white = [&](int x, int y) { return inside(x, y) && At(shown, x, y) == clWhite; };

        // The pixels the point changed, and the white ones per row and column.
        QRect changed;
        std::vector<int> whiteInRow(std::size_t(shown.height())), whiteInColumn(std::size_t(shown.width()));
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                if (!unchanged(x, y))
                    changed |= QRect(x, y, 1, 1);
                if (white(x, y) && !unchanged(x, y)) {
                    ++whiteInRow[std::size_t(y)];
                    ++whiteInColumn[std::size_t(x)];
                }
            }
        if (!c.seen) {
            EXPECT_TRUE(changed.isNull()) << changed.x() << "," << changed.y();
            continue;
        }
        ASSERT_FALSE(changed.isNull());

        // The arms are the rows and columns with the most white; the cross
        // sits at the middle of each 3 px wide arm.
        const auto armMiddle = [](const std::vector<int>& counts) {
            const int most = *std::max_element(counts.begin(), counts.end());
            std::vector<int> lines;
            for (std::size_t i = 0; i < counts.size(); ++i)
                if (counts[i] * 10 >= most * 8)
                    lines.push_back(int(i));
            return lines.size() == 3 && lines[2] - lines[0] == 2 ? lines[1] : -1;
        };
        const int px = armMiddle(whiteInColumn);
        const int py = armMiddle(whiteInRow);
        const double pxPerMm = 300.0 / 160.0 * c.zoom / 100.0;
        EXPECT_NEAR(px, 200 + c.x * 9.25 / 300 * pxPerMm, 1.5);
        EXPECT_NEAR(py, 150 - c.y * 9.25 / 300 * pxPerMm, 1.5);

        // Arms of 30 px each way, and nothing changed beyond them.
        for (const int d : {-Arm + 2, Arm - 2}) {
            EXPECT_TRUE(!inside(px + d, py) || white(px + d, py)) << "arm at " << d;
            EXPECT_TRUE(!inside(px, py + d) || white(px, py + d)) << "arm at " << d;
        }
        const QRect reach(px - Arm - 3, py - Arm - 3, 2 * Arm + 7, 2 * Arm + 7);
        EXPECT_TRUE(reach.contains(changed)) << changed.x() << "," << changed.y() << " " << changed.width() << "x"
                                             << changed.height();
        // The shadow lies right of and below each arm, not left or above.
        for (const int d : {-22, 22}) {
            if (!inside(px + d, py - 2) || !inside(px - 2, py + d))
                continue;
            EXPECT_EQ(std::tuple(unchanged(px + d, py - 2), white(px + d, py - 1), At(shown, px + d, py + 2)),
                      std::tuple(true, true, clBlack)) << "horizontal arm at " << d;
            EXPECT_EQ(std::tuple(unchanged(px - 2, py + d), white(px - 1, py + d), At(shown, px + 2, py + d)),
                      std::tuple(true, true, clBlack)) << "vertical arm at " << d;
        }
        // Between the arms the cross is open up to its ring, half an arm out.
        bool ring = false;
        for (int d = 3; d <= 13; ++d) {
            if (d <= 6) {
                EXPECT_TRUE(unchanged(px + d, py - d) && unchanged(px - d, py - d)) << "diagonal at " << d;
            }
            ring = ring || white(px + d, py - d) || white(px - d, py - d);
        }
        EXPECT_TRUE(ring);

        r.DrawLivePoint(LiveSample(0, 0, 0x10)); // erased again
        EXPECT_EQ(r.DisplayLayer, clean);
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
