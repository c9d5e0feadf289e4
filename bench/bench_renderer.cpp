// A full render pass of the target view at 1024 x 768: a combined ring and
// silhouette target and a shooter with 60 shots, each with a 200-sample
// aiming trace; once with all shots and once with one shot selected (its
// trace and hold box). Then the analysis graphs of the last shot, a page of
// the shot table and the grading summary, graded with the shipped grading
// file when the build's runtime folder is found.
//
// Then the view animation at a live viewer's size (480 x 476): one step of a
// pan at 200 % (the glide to each shot after the first) and of a zoom from
// 100 % to 200 % (the first shot), beside the whole pass at the same view
// that each step used to be; and the hit crosshair against its four or-mode
// wide strokes.
#include "AppPaths.h"
#include "Clock.h"
#include "BenchShooter.h"
#include "GradingPanel.h"
#include "Shotdata.h"
#include "Targetrenderer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

namespace {

void EnsureApp()
{
    static int argc = 1;
    static char name[] = "bench_renderer";
    static char* argv[] = { name, nullptr };
    if (QGuiApplication::instance() == nullptr)
        new QGuiApplication(argc, argv);
}

void RenderPass(benchmark::State& state, bool selected)
{
    EnsureApp();
    const TargetDescription target = MakeBenchTarget();
    auto shooter = MakeBenchShooter(target);
    TTargetRenderer renderer;
    renderer.Target = target;
    renderer.Shooter = shooter.get();
    renderer.GradingOverlay = false;
    renderer.SetSize(1024, 768);
    renderer.ZoomToFitTarget();
    if (selected) {
        renderer.SelectedShot = shooter->GetShot(kBenchShots - 1);
        renderer.ViewMode = TTargetRenderer::ViewSingleShot;
    }
    for (auto _ : state) {
        renderer.Render(-1);
        benchmark::DoNotOptimize(renderer.DisplayLayer.constBits());
    }
}

void BM_RenderAllShots(benchmark::State& state) { RenderPass(state, false); }
void BM_RenderSelectedShot(benchmark::State& state) { RenderPass(state, true); }

// The runtime folder beside the bench folder holds the shipped grading file
// and the pictures; a renderer made after this grades with them.
void UseRuntimeFolder()
{
    const QString runtime = QCoreApplication::applicationDirPath() + QStringLiteral("/../runtime");
    if (QFileInfo::exists(runtime + QStringLiteral("/grading_default.tgp")))
        SetAppFolder(runtime);
}

// One view mode of the last shot (graphs) or one page (text), redrawn. With
// cold set, every pass finds the page's shots not yet analysed.
void RenderView(benchmark::State& state, int mode, int page, bool cold = false)
{
    EnsureApp();
    UseRuntimeFolder();
    const TargetDescription target = MakeBenchTarget();
    auto shooter = MakeBenchShooter(target);
    TTargetRenderer renderer;
    renderer.Target = target;
    renderer.Shooter = shooter.get();
    renderer.SetSize(1024, 768);
    renderer.ZoomToFitTarget();
    renderer.SelectedShot = shooter->GetShot(kBenchShots - 1);
    renderer.GradedShot = renderer.SelectedShot;
    renderer.TextPage = page;
    renderer.RangeFirst = renderer.RangeLast = -1;
    renderer.Render(mode);
    for (auto _ : state) {
        if (cold)
            shooter->ForEachShot([](TShot& shot) { shot.analysisValid = false; });
        renderer.Render(mode);
        benchmark::DoNotOptimize(renderer.DisplayLayer.constBits());
    }
    state.counters["graded"] = renderer.GradingPanel->selection.stance != 0;
}

void BM_RenderDistanceGraph(benchmark::State& state) { RenderView(state, TTargetRenderer::ViewDistanceGraph, 0); }
void BM_RenderXYGraph(benchmark::State& state) { RenderView(state, TTargetRenderer::ViewXYGraph, 0); }
void BM_RenderTextPage(benchmark::State& state) { RenderView(state, TTargetRenderer::ViewTextPage, 3); }
void BM_RenderTextPageUnanalysed(benchmark::State& state) { RenderView(state, TTargetRenderer::ViewTextPage, 3, true); }
void BM_RenderGradingSummary(benchmark::State& state) { RenderView(state, TTargetRenderer::ViewTextPage, -1); }

} // namespace

// A clock the animation benchmarks hold halfway through every animation.
class TStillClock : public IClock {
public:
    uint32_t TickCount() const override { return tick; }
    int64_t MonotonicNs() const override { return int64_t(tick) * 1000000; }
    uint32_t tick = 100000;
};

constexpr int ViewerWidth = 480;
constexpr int ViewerHeight = 476;

// A renderer at a viewer's size, the last shot selected, zoomed to zoom
// around the shot before it.
struct TViewerScene {
    TargetDescription target = MakeBenchTarget();
    std::unique_ptr<TShooter> shooter = MakeBenchShooter(target);
    TTargetRenderer renderer;

    explicit TViewerScene(double zoom)
    {
        renderer.Target = target;
        renderer.Shooter = shooter.get();
        renderer.GradingOverlay = false;
        renderer.SetSize(ViewerWidth, ViewerHeight);
        renderer.ZoomToFitTarget();
        renderer.SelectedShot = shooter->GetShot(kBenchShots - 1);
        renderer.ViewMode = TTargetRenderer::ViewSingleShot;
        const TShot* before = shooter->GetShot(kBenchShots - 2);
        renderer.ViewX = before->raw.X() * 0.1;
        renderer.ViewY = before->raw.Y() * 0.1;
        renderer.SetZoomPercent(zoom);
    }

    // Halfway from the current view to the last shot at zoom.
    void Animate(TStillClock& clock, double zoom)
    {
        const TShot* last = shooter->GetShot(kBenchShots - 1);
        renderer.AnimStartX = renderer.ViewX;
        renderer.AnimStartY = renderer.ViewY;
        renderer.AnimStartZoom = renderer.ZoomPercent;
        renderer.AnimEndX = last->raw.X() * 0.1;
        renderer.AnimEndY = last->raw.Y() * 0.1;
        renderer.AnimEndZoom = zoom;
        renderer.StartViewAnimation(1000);
        clock.tick += 500;
    }
};

void AnimationStep(benchmark::State& state, double startZoom, double endZoom)
{
    EnsureApp();
    TStillClock clock;
    SetClock(&clock);
    {
        TViewerScene scene(startZoom);
        scene.Animate(clock, endZoom);
        // Back and forth by a step's 20 ms: every step is at a new view.
        int drawn = 0;
        int back = 20;
        for (auto _ : state) {
            back = -back;
            clock.tick -= back;
            drawn += scene.renderer.StepViewAnimation();
            benchmark::DoNotOptimize(scene.renderer.DisplayLayer.constBits());
        }
        state.counters["animating"] = scene.renderer.Animating;
        state.counters["drawn"] = benchmark::Counter(drawn, benchmark::Counter::kAvgIterations);
    }
    SetClock(nullptr);
}

void BM_AnimationPanStep(benchmark::State& state) { AnimationStep(state, 200, 200); }
void BM_AnimationZoomStep(benchmark::State& state) { AnimationStep(state, 100, 200); }

// A whole animation of a second in 20 ms steps, as a viewer runs one for
// every shot: to where the view is (a shot where the last one was) or, in
// turn, to the last shot and back to the one before. Arg 1: a monitor's
// tile of a remote target it has no sizes of, at the size eight tiles get.
void WholeAnimation(benchmark::State& state, bool still)
{
    EnsureApp();
    TStillClock clock;
    SetClock(&clock);
    {
        TViewerScene scene(200);
        if (state.range(0) != 0) {
            scene.renderer.Target = TargetDescription {};
            scene.renderer.SetLayerSize(164, 352);
            scene.renderer.Render(-1);
        }
        const TShot* shots[] = { scene.shooter->GetShot(kBenchShots - 1), scene.shooter->GetShot(kBenchShots - 2) };
        int next = 0;
        int64_t drawn = 0;
        for (auto _ : state) {
            TTargetRenderer& r = scene.renderer;
            r.AnimStartX = r.AnimEndX = r.ViewX;
            r.AnimStartY = r.AnimEndY = r.ViewY;
            r.AnimStartZoom = r.AnimEndZoom = r.ZoomPercent;
            if (!still) {
                r.AnimEndX = shots[next]->raw.X() * 0.1;
                r.AnimEndY = shots[next]->raw.Y() * 0.1;
                next = 1 - next;
            }
            r.StartViewAnimation(1000);
            ++drawn;
            while (r.Animating) {
                clock.tick += 20;
                drawn += r.StepViewAnimation();
            }
            benchmark::DoNotOptimize(r.DisplayLayer.constBits());
        }
        state.counters["frames"] = benchmark::Counter(double(drawn), benchmark::Counter::kAvgIterations);
    }
    SetClock(nullptr);
}

void BM_AnimationStill(benchmark::State& state) { WholeAnimation(state, true); }
void BM_AnimationPan(benchmark::State& state) { WholeAnimation(state, false); }

// What every step was before: the whole pass at the step's view.
void BM_AnimationStepAsWholePass(benchmark::State& state)
{
    EnsureApp();
    TViewerScene scene(200);
    for (auto _ : state) {
        scene.renderer.Render(-1);
        benchmark::DoNotOptimize(scene.renderer.DisplayLayer.constBits());
    }
}

void BM_HitCrosshair(benchmark::State& state)
{
    EnsureApp();
    TViewerScene scene(200);
    for (auto _ : state) {
        TTargetRenderer::TPaintScope scope(scene.renderer);
        scene.renderer.DrawHitCrosshair(scene.renderer.ViewX, scene.renderer.ViewY);
        benchmark::DoNotOptimize(scene.renderer.DisplayLayer.constBits());
    }
}

// The same cross as or-mode wide strokes on the static layer, copied onto
// the display layer: how it was drawn before.
void BM_HitCrosshairOrStrokes(benchmark::State& state)
{
    EnsureApp();
    TViewerScene scene(200);
    TTargetRenderer& r = scene.renderer;
    const double ring = 2.0 * r.RingRadius(r.Target.ringRecord.MinimumRing());
    const double m = std::max(ring, double(r.SilhouetteSizeMm()));
    const int a = r.MapX(0.25 * m) - r.MapX(0.0);
    const int px = r.MapX(r.ViewX);
    const int py = r.MapY(r.ViewY);
    for (auto _ : state) {
        TTargetRenderer::TPaintScope scope(r);
        TCanvas& still = r.StaticCanvas();
        still.SetPenColour(TColor(0x3F3F3F));
        still.SetPenWidth(8);
        still.SetPenMode(TPenMode::Or);
        still.Line(px - a / 2, py, px - 2 * a, py);
        still.Line(px + a / 2, py, px + 2 * a, py);
        still.Line(px, py - a / 2, px, py - 2 * a);
        still.Line(px, py + a / 2, px, py + 2 * a);
        still.SetPenMode(TPenMode::Copy);
        still.SetPenWidth(1);
        const int reach = 2 * a + 8;
        r.DisplayCanvas().CopyRect(px - reach, py - reach, px + reach + 1, py + reach + 1, r.StaticLayer);
        benchmark::DoNotOptimize(r.DisplayLayer.constBits());
    }
}

BENCHMARK(BM_AnimationPanStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AnimationZoomStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AnimationStepAsWholePass)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AnimationStill)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnimationPan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HitCrosshair)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HitCrosshairOrStrokes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RenderAllShots)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderSelectedShot)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderDistanceGraph)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderXYGraph)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderTextPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderTextPageUnanalysed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderGradingSummary)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
