// A full render pass of the target view at 1024 x 768: a combined ring and
// silhouette target and a shooter with 60 shots, each with a 200-sample
// aiming trace; once with all shots and once with one shot selected (its
// trace and hold box). Then the analysis graphs of the last shot, a page of
// the shot table and the grading summary, graded with the shipped grading
// file when the build's runtime folder is found.
#include "AppPaths.h"
#include "BenchShooter.h"
#include "GradingPanel.h"
#include "Shotdata.h"
#include "Targetrenderer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

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

BENCHMARK(BM_RenderAllShots)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderSelectedShot)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderDistanceGraph)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderXYGraph)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderTextPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderTextPageUnanalysed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderGradingSummary)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
