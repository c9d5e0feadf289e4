// The renderer's geometry: mm-to-pixel map, zoom field, fit to target, ring
// radii, and the view animation on a hand-driven clock; the grading file each
// new renderer grades with.
#include "AppPaths.h"
#include "DisplayTestSupport.h"
#include "GradingParameters.h"
#include "Shotdata.h"
#include "Targetrenderer.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <tuple>

namespace {

class RendererTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureGuiApp(); }
};

QRgb Corner(const TTargetRenderer& r) { return r.StaticLayer.pixel(0, 0) & 0xFFFFFF; }

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

TEST_F(RendererTest, MapsMillimetresToPixels)
{
    TTargetRenderer r;
    r.SetSize(400, 300);
    EXPECT_DOUBLE_EQ(r.PixelsPerMm, 3.0);
    EXPECT_EQ(r.MapX(10), 230);
    EXPECT_EQ(r.MapY(10), 120); // target Y up, pixel rows down
    EXPECT_EQ(r.MapY(-10), 180);

    // Zoom and pan act around the view centre.
    r.ZoomPercent = 200;
    r.ViewX = 5;
    r.ViewY = -5;
    EXPECT_EQ(std::tuple(r.MapX(10), r.MapY(-5), r.MapY(0)), std::tuple(230, 150, 120));

    // Truncation toward zero, also for negative pixels.
    r.ZoomPercent = 100;
    r.ViewX = r.ViewY = 0;
    r.CentreX = r.CentreY = 0;
    r.PixelsPerMm = 1.0;
    EXPECT_EQ(std::tuple(r.MapX(-0.4), r.MapX(-1.9), r.MapX(1.9)), std::tuple(0, -1, 1));
    // A far point saturates instead of wrapping.
    EXPECT_EQ(r.MapX(1e300), std::numeric_limits<int>::max());
    EXPECT_EQ(r.MapX(-1e300), std::numeric_limits<int>::min());
}

TEST_F(RendererTest, ResizeAndZoomRecomputeGeometryAndRedraw)
{
    TTargetRenderer r;
    r.Target.hasRing = 1;
    r.Target.ringRecord = TestRing(0); // no distance: never drawn by a resize
    r.SetSize(400, 300);
    r.SetSize(800, 600);
    EXPECT_DOUBLE_EQ(r.PixelsPerMm, 6.0);
    EXPECT_EQ(std::tuple(r.CentreX, r.CentreY), std::tuple(400, 300));
    EXPECT_EQ(Corner(r), 0u) << "a target without distance is not drawn on resize";

    // With a distance the resize draws the pass (background colour slot 0).
    r.Target.ringRecord = TestRing(100);
    r.SetSize(300, 200);
    EXPECT_DOUBLE_EQ(r.PixelsPerMm, 2.0);
    EXPECT_EQ(Corner(r), 0x808080u);

    // No target at all: a zoom still draws the background.
    TTargetRenderer empty;
    empty.SetSize(100, 100);
    empty.SetZoomPercent(250);
    EXPECT_EQ(std::tuple(Corner(empty), empty.MapX(4)), std::tuple(0x808080u, 50 + 10));
}

TEST_F(RendererTest, ZoomFieldAndSilhouetteCell)
{
    TTargetRenderer r;
    r.SetSize(400, 400);
    r.SetZoomField(200);
    // Fields of 0 or less, or a silhouette of zero size, keep the scale.
    r.SetZoomField(0);
    r.SetZoomField(-50);
    r.Target.hasSilhouette = 1;
    r.SetZoomField(100);
    EXPECT_DOUBLE_EQ(r.ZoomField, 200.0);
    EXPECT_DOUBLE_EQ(r.PixelsPerMm, 2.0);

    // Silhouette cell: size / 64; 0.1 inch sizes are converted to whole mm.
    r.Target.silhouetteRecord.SetSize(128);
    r.SetZoomField(100);
    EXPECT_DOUBLE_EQ(r.SilhouetteCell, 2.0);
    r.Target.silhouetteRecord.SetSizeInInch(true);
    r.Target.silhouetteRecord.SetSize(100); // 10 inch = 254 mm
    r.SetZoomField(300);
    EXPECT_DOUBLE_EQ(r.SilhouetteCell, 254 / 64.0);
}

TEST_F(RendererTest, ZoomToFitTarget)
{
    // Ring only: twice the lowest ring's diameter; with a silhouette 1.5
    // times the larger of ring diameter and silhouette size. A silhouette
    // without size or a ring without radius is dropped, the field kept.
    RingTargetRecord flat;
    flat.SetHighestRing(10);
    flat.SetMinimumRing(10);
    struct Case { const char* name; int ringGap, silhouette; double field; };
    const Case cases[] = {
        { "ring: radius 40 mm", 40, -1, 160 },  { "silhouette 150 mm, ring 119.6 mm", 62, 150, 225 },
        { "ring 188 mm", 100, 150, 282 },       { "silhouette of no size", 100, 0, 282 },
        { "ring of no size", -1, -1, 282 },
    };
    TTargetRenderer r;
    r.SetSize(400, 400);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        r.Target.hasRing = 1;
        r.Target.ringRecord = TestRing();
        if (c.ringGap < 0)
            r.Target.ringRecord = flat;
        else
            r.Target.ringRecord.SetHitRingGap(c.ringGap);
        r.Target.hasSilhouette = c.silhouette >= 0;
        r.Target.silhouetteRecord.SetSize(std::max(c.silhouette, 0));
        r.ZoomToFitTarget();
        EXPECT_DOUBLE_EQ(r.ZoomField, c.field);
        EXPECT_DOUBLE_EQ(r.PixelsPerMm, 400 / c.field);
        EXPECT_EQ(r.Target.hasSilhouette, c.silhouette > 0 ? 1 : 0);
        EXPECT_EQ(r.Target.hasRing, c.ringGap >= 0 ? 1 : 0);
    }
}

TEST_F(RendererTest, RingRadiiInMillimetres)
{
    TTargetRenderer r;
    EXPECT_EQ(r.RingRadius(5), 0.0) << "no ring";

    // Equal gaps: ring 10 is 8 mm across, each ring below adds 4 mm of
    // radius; above the highest ring the radius stays. In inch the same
    // numbers count 0.01 inch instead of 0.1 mm. Per-ring diameters
    // (80 + 100 n) x 0.1 mm for the eleven rings under the highest: rings
    // further out have no radius.
    RingTargetRecord custom = TestRing();
    custom.SetVariableRingGaps(true);
    custom.SetMinimumRing(0);
    for (int n = 1; n <= 11; ++n)
        custom.SetDiameterVariableHminus(n, 80 + 100 * n);
    RingTargetRecord inch = TestRing();
    inch.SetSizesInInch(true);
    RingTargetRecord far = custom;
    far.SetHighestRing(14);
    struct Case { const char* name; RingTargetRecord ring; double k, radius; };
    const Case cases[] = {
        { "gaps", TestRing(), 11, 4.0 },       { "gaps", TestRing(), 10, 4.0 },
        { "gaps", TestRing(), 9, 8.0 },        { "gaps", TestRing(), 1, 40.0 },
        { "inch", inch, 10, 10.16 },           { "inch", inch, 8, 30.48 },
        { "table", custom, 10, 4.0 },          { "table", custom, 9, 9.0 },
        { "table", custom, 7, 19.0 },          { "table", custom, 0, 54.0 },
        { "beyond the table", far, 2, 0.0 },
    };
    r.Target.hasRing = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " ring " << c.k);
        r.Target.ringRecord = c.ring;
        EXPECT_NEAR(r.RingRadius(c.k), c.radius, 1e-12);
    }
}

TEST_F(RendererTest, ViewAnimationFollowsTheClock)
{
    TClockOverride time;
    time.clock.tick = 1000;
    TTargetRenderer r;
    r.SetSize(200, 200);
    const auto animate = [&](double x0, double x1, double y1, double zoom1, uint32_t ms) {
        r.AnimStartX = x0;
        r.AnimStartY = 0;
        r.AnimStartZoom = 100;
        r.AnimEndX = x1;
        r.AnimEndY = y1;
        r.AnimEndZoom = zoom1;
        r.StartViewAnimation(ms);
    };

    animate(0, 10, -20, 300, 200);
    EXPECT_EQ(std::tuple(bool(r.Animating), r.AnimEndTick), std::tuple(true, 1200u));
    time.clock.Advance(50);
    r.StepViewAnimation();
    EXPECT_DOUBLE_EQ(r.ViewX, 2.5);
    EXPECT_DOUBLE_EQ(r.ViewY, -5.0);
    EXPECT_DOUBLE_EQ(r.ZoomPercent, 150.0);
    EXPECT_EQ(Corner(r), 0x808080u) << "every step redraws";

    time.clock.Advance(500);
    r.StepViewAnimation();
    EXPECT_FALSE(r.Animating);
    EXPECT_DOUBLE_EQ(r.ViewX, 10.0);
    EXPECT_DOUBLE_EQ(r.ZoomPercent, 300.0);

    // Duration 0 lands on the end view at once (no 0 / 0).
    animate(1, 0.3, 0.7, 100, 0);
    EXPECT_EQ(std::tuple(bool(r.Animating), r.ViewX, r.ViewY, bool(std::isnan(r.ZoomPercent))),
              std::tuple(false, 0.3, 0.7, false));

    // 1 ms: the first step at or after the end tick leaves exactly the end
    // view, even where start + (end - start) would miss it by rounding.
    animate(0.1, 0.3, 0, 100, 1);
    time.clock.Advance(1);
    r.StepViewAnimation();
    EXPECT_EQ(std::tuple(bool(r.Animating), r.ViewX), std::tuple(false, 0.3));

    // Across the wrap of the tick counter.
    time.clock.tick = 0xFFFFFFF0u;
    animate(0, 100, 0, 100, 100);
    time.clock.Advance(0x20); // wraps to 0x10, 32 ms in
    r.StepViewAnimation();
    EXPECT_TRUE(r.Animating);
    EXPECT_DOUBLE_EQ(r.ViewX, 32.0);
}

// A shooter with a few ring shots with traces, and renderers on it.
class AnimationTest : public RendererTest {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        target.hasRing = 1;
        target.ringRecord = TestRing();
        UseTarget(shooter, target);
        for (auto [x, y] : {std::pair {120, -80}, {-300, 40}, {60, 210}}) {
            auto shot = NewRingShot(90);
            shot->raw.SetFunctionMode(1);
            shot->raw.SetX(x);
            shot->raw.SetY(y);
            shot->AllocateCurve(120);
            for (int i = 0; i < 120; ++i) {
                shot->Curve()[i].SetX(x + (120 - i) * 3);
                shot->Curve()[i].SetY(y + (i % 7) * 4);
            }
            shooter.AppendShot(std::move(shot));
        }
    }

    void Bind(TTargetRenderer& r, int mode)
    {
        r.Target = target;
        r.ZoomToFitTarget();
        r.SetSize(400, 300);
        r.Shooter = &shooter;
        r.GradingOverlay = false;
        if (mode != TTargetRenderer::ViewAllShots)
            r.SelectedShot = shooter.GetShot(1);
        r.Render(mode);
    }

    // The whole pass of a fresh renderer at the view of r (as a step drew it
    // before: without the hold-box tint while animating).
    QImage PassAt(const TTargetRenderer& r, int mode)
    {
        TTargetRenderer fresh;
        Bind(fresh, mode);
        fresh.Animating = r.Animating;
        fresh.ViewX = r.ViewX;
        fresh.ViewY = r.ViewY;
        fresh.SetZoomPercent(r.ZoomPercent);
        return fresh.DisplayLayer.copy();
    }

    // Share of the pixels of a found nowhere within one pixel of their place
    // in b: what a shift of a pixel here and there leaves of a difference.
    static double DifferentShare(const QImage& a, const QImage& b)
    {
        int different = 0;
        for (int y = 0; y < a.height(); ++y) {
            for (int x = 0; x < a.width(); ++x) {
                bool near = false;
                for (int dy = -1; dy <= 1 && !near; ++dy)
                    for (int dx = -1; dx <= 1 && !near; ++dx)
                        near = b.valid(x + dx, y + dy) && b.pixel(x + dx, y + dy) == a.pixel(x, y);
                different += !near;
            }
        }
        return double(different) / (a.width() * a.height());
    }

    static void Animate(TTargetRenderer& r, double x, double y, double zoom, uint32_t ms)
    {
        r.AnimStartX = r.ViewX;
        r.AnimStartY = r.ViewY;
        r.AnimStartZoom = r.ZoomPercent;
        r.AnimEndX = x;
        r.AnimEndY = y;
        r.AnimEndZoom = zoom;
        r.StartViewAnimation(ms);
    }

    TargetDescription target;
    TShooter shooter;
};

// Pans and zooms in every target view: the steps look like whole passes at
// their view (a pixel's shift at most, here and there), and the view at rest
// is the whole pass exactly, on both layers.
TEST_F(AnimationTest, StepsLookLikePassesAndTheRestIsExactlyOne)
{
    TClockOverride time;
    for (int mode : {TTargetRenderer::ViewAllShots, TTargetRenderer::ViewSingleShot}) {
        for (auto [startZoom, endZoom] : {std::pair {200.0, 200.0}, {100.0, 200.0}, {300.0, 120.0}}) {
            SCOPED_TRACE(testing::Message() << mode << " " << startZoom << " -> " << endZoom);
            TTargetRenderer r;
            Bind(r, mode);
            r.ViewX = 12;
            r.ViewY = -8;
            r.SetZoomPercent(startZoom);
            Animate(r, -25, 15, endZoom, 1000);
            for (int step = 0; step < 4; ++step) {
                time.clock.Advance(230);
                r.StepViewAnimation();
                ASSERT_TRUE(r.Animating);
                EXPECT_LT(DifferentShare(r.DisplayLayer, PassAt(r, mode)), 0.01) << step;
            }
            time.clock.Advance(100);
            r.StepViewAnimation();
            ASSERT_FALSE(r.Animating);
            const QImage rest = PassAt(r, mode);
            EXPECT_EQ(r.DisplayLayer, rest);
            if (mode == TTargetRenderer::ViewAllShots) {
                EXPECT_EQ(r.StaticLayer, rest);
            }
        }
    }
}

// Between steps the live point erases to the step's own view, and a pass
// from outside (a new shot) shows in the steps after it.
TEST_F(AnimationTest, LivePointAndNewShotsDuringSteps)
{
    TClockOverride time;
    TTargetRenderer r;
    Bind(r, TTargetRenderer::ViewAllShots);
    r.SetZoomPercent(200);
    Animate(r, 20, 0, 200, 1000);
    time.clock.Advance(300);
    r.StepViewAnimation();
    const QImage step = r.DisplayLayer.copy();
    TraceSample aim {};
    r.DrawLivePoint(aim);
    EXPECT_NE(r.DisplayLayer, step);
    aim.SetFailures(0x10); // no point: only erases
    r.DrawLivePoint(aim);
    EXPECT_EQ(r.DisplayLayer, step);

    auto shot = NewRingShot(100);
    shot->raw.SetX(200);
    shot->raw.SetY(0);
    shooter.AppendShot(std::move(shot));
    r.Render(-1);
    time.clock.Advance(300);
    r.StepViewAnimation();
    ASSERT_TRUE(r.Animating);
    // The newest mark is white at its hit.
    EXPECT_EQ(r.DisplayLayer.pixel(r.MapX(20), r.MapY(0)) & 0xFFFFFF, 0xFFFFFFu);

    // A glide of a tenth of a pixel: after its first cut frame the steps
    // have nothing new to show.
    Animate(r, r.ViewX + 0.01, r.ViewY, 200, 1000);
    time.clock.Advance(200);
    EXPECT_TRUE(r.StepViewAnimation());
    const QImage still = r.DisplayLayer.copy();
    time.clock.Advance(200);
    EXPECT_FALSE(r.StepViewAnimation());
    EXPECT_EQ(r.DisplayLayer, still);
}

// A new shot where the last one was starts an animation that does not move,
// one interrupted near its end a zoom of a few thousandths: their steps show
// the frame already there and repaint nothing, a resize makes the next step
// draw, and the rest is the pass, drawn anew only where the first differs.
TEST_F(AnimationTest, StillAndNearlyStillViewsRepaintNothing)
{
    TClockOverride time;
    TTargetRenderer r;
    Bind(r, TTargetRenderer::ViewSingleShot);
    r.SetZoomPercent(200);
    Animate(r, r.ViewX, r.ViewY, 200, 1000);
    const QImage first = r.DisplayLayer.copy();
    for (int step = 0; step < 3; ++step) {
        time.clock.Advance(20);
        EXPECT_FALSE(r.StepViewAnimation()) << step;
    }
    EXPECT_EQ(r.DisplayLayer, first);
    EXPECT_EQ(r.StillViewMs(), 940u) << "nothing to draw before the last step";
    r.SetLayerSize(400, 300);
    EXPECT_EQ(r.StillViewMs(), 0u);
    time.clock.Advance(20);
    EXPECT_TRUE(r.StepViewAnimation()) << "a new layer holds no frame";
    time.clock.Advance(1000);
    r.StepViewAnimation();
    ASSERT_FALSE(r.Animating);
    EXPECT_EQ(r.DisplayLayer, PassAt(r, TTargetRenderer::ViewSingleShot));

    // Left to its end: the first step's pass is the one at rest unless it
    // left a hold box untinted (a shot's), and then the last step draws.
    for (int mode : {TTargetRenderer::ViewAllShots, TTargetRenderer::ViewSingleShot}) {
        TTargetRenderer still;
        Bind(still, mode);
        still.SetZoomPercent(200);
        Animate(still, still.ViewX, still.ViewY, 200, 1000);
        time.clock.Advance(1000);
        EXPECT_EQ(still.StepViewAnimation(), mode == TTargetRenderer::ViewSingleShot) << mode;
        ASSERT_FALSE(still.Animating);
        EXPECT_EQ(still.DisplayLayer, PassAt(still, mode)) << mode;
        if (mode == TTargetRenderer::ViewAllShots) {
            EXPECT_EQ(still.StaticLayer, still.DisplayLayer);
        }
    }

    Animate(r, r.ViewX, r.ViewY, 200.003, 1000);
    EXPECT_EQ(r.StillViewMs(), 0u);
    time.clock.Advance(20);
    EXPECT_TRUE(r.StepViewAnimation());
    const QImage cut = r.DisplayLayer.copy();
    time.clock.Advance(20);
    EXPECT_FALSE(r.StepViewAnimation());
    EXPECT_EQ(r.DisplayLayer, cut);
}

// A target the view has no sizes of (a monitor's remote shooter) still
// shows shots and traces that move with the view: the steps are cut from a
// picture too, a slow glide repaints nothing, and the rest is the pass.
TEST_F(AnimationTest, ShotsWithoutRingOrSilhouetteGlideLikeTheTarget)
{
    TClockOverride time;
    target = TargetDescription {};
    for (int mode : {TTargetRenderer::ViewAllShots, TTargetRenderer::ViewSingleShot}) {
        SCOPED_TRACE(mode);
        TTargetRenderer r;
        Bind(r, mode);
        r.ViewX = 12;
        r.SetZoomPercent(100);
        Animate(r, -25, 15, 200, 1000);
        for (int step = 0; step < 3; ++step) {
            time.clock.Advance(250);
            r.StepViewAnimation();
            ASSERT_TRUE(r.Animating);
            EXPECT_LT(DifferentShare(r.DisplayLayer, PassAt(r, mode)), 0.01) << step;
        }
        time.clock.Advance(250);
        r.StepViewAnimation();
        ASSERT_FALSE(r.Animating);
        EXPECT_EQ(r.DisplayLayer, PassAt(r, mode));

        Animate(r, r.ViewX + 0.01, r.ViewY, 200, 1000);
        time.clock.Advance(200);
        EXPECT_TRUE(r.StepViewAnimation());
        time.clock.Advance(200);
        EXPECT_FALSE(r.StepViewAnimation());
    }
}

TEST_F(RendererTest, FormatDisplayText)
{
    SetDecimalSeparator(QLatin1Char('.'));
    EXPECT_EQ(FormatDisplayText(QStringLiteral("Score %1.1f"), {10.4}), QStringLiteral("Score 10.4"));
    EXPECT_EQ(FormatDisplayText(QStringLiteral("%2d - %d"), {7, 1}), QStringLiteral(" 7 - 1"));
    EXPECT_EQ(FormatDisplayText(QStringLiteral(" (%d%%)"), {33}), QStringLiteral(" (33%)"));
    // Translations are not trusted: unknown conversions and conversions
    // without an argument stay as written.
    EXPECT_EQ(FormatDisplayText(QStringLiteral("%s %n %d %d"), {5}), QStringLiteral("%s %n 5 %d"));
    EXPECT_EQ(FormatDisplayText(QStringLiteral("100%"), {}), QStringLiteral("100%"));
    EXPECT_EQ(FormatDisplayText(QStringLiteral("%999999999999d"), {1}), QStringLiteral("%999999999999d"));
    SetDecimalSeparator(QLatin1Char(','));
    EXPECT_EQ(FormatDisplayText(QStringLiteral("%1.1f"), {0.5}), QStringLiteral("0,5"));
    SetDecimalSeparator(QLatin1Char('.'));
}

TEST_F(RendererTest, EachRendererGradesWithTheGradingFileAsItIsNow)
{
    // Renderers made one after another share one read of an unchanged file,
    // but never hand on parameters that are not the file's.
    QTemporaryDir folder;
    const QString saved = AppFolder();
    SetAppFolder(folder.path());
    int reports = 0;
    SetGradingReporterFactory([&reports](const QString&) { return [&reports](const QString&, const QString&) { ++reports; }; });
    const QString path = folder.path() + QStringLiteral("/grading_default.tgp");
    const QByteArray rows = "group = stand\n"
                            "grade = 1; 5.0; 2.0; 5.0; 3; 1; 2.0; 2.0; 200; -2.0; -2.0; 2.0; 1; 2; 2.0; 2.0\n"
                            "grade = 2; 8.0; 1.0; 8.0; 2; 2; 1.0; 1.0; 100; -1.0; -1.0; 1.5; 2; 4; 1.0; 1.0\n";
    WriteFile(path, "hitweight = 3\n" + rows);
    const auto gradingOfNewRenderer = [] {
        TTargetRenderer r;
        return std::tuple(GradingParameters.hitWeight, GradingTables.gradeCount);
    };
    EXPECT_EQ(gradingOfNewRenderer(), std::tuple(3, 2));
    EXPECT_EQ(gradingOfNewRenderer(), std::tuple(3, 2));
    // Parameters reset or changed since: the file is read again.
    ResetGradingParameters();
    EXPECT_EQ(gradingOfNewRenderer(), std::tuple(3, 2));
    GradingParameters.hitWeight = 9;
    EXPECT_EQ(gradingOfNewRenderer(), std::tuple(3, 2));
    // An edited file.
    WriteFile(path, "hitweight = 42\n" + rows);
    EXPECT_EQ(gradingOfNewRenderer(), std::tuple(42, 2));
    // A file without grade rows is reported by every renderer, as before.
    WriteFile(path, "hitweight = 5\n");
    EXPECT_EQ(gradingOfNewRenderer(), std::tuple(5, 0));
    EXPECT_EQ(gradingOfNewRenderer(), std::tuple(5, 0));
    EXPECT_EQ(reports, 2);
    // No file: nothing graded.
    WriteFile(path, "hitweight = 3\n" + rows);
    EXPECT_EQ(gradingOfNewRenderer(), std::tuple(3, 2));
    QFile::remove(path);
    EXPECT_EQ(gradingOfNewRenderer(), std::tuple(0, 0));

    SetGradingReporterFactory({});
    SetAppFolder(saved);
    ResetGradingParameters();
}
