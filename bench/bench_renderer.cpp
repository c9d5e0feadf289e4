// A full render pass of the target view at 1024 x 768: a combined ring and
// silhouette target and a shooter with 60 shots, each with a 200-sample
// aiming trace; once with all shots and once with one shot selected (its
// trace and hold box). Then the analysis graphs of the last shot, a page of
// the shot table and the grading summary, graded with the shipped grading
// file when the build's runtime folder is found.
#include "AppPaths.h"
#include "GradingPanel.h"
#include "Shotdata.h"
#include "Targetrenderer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kShots = 60;
constexpr int kSamples = 200;

TargetDescription MakeTarget()
{
    TargetDescription t;
    t.hasRing = 1;
    t.ringRecord.SetNameText(QStringLiteral("Bench ring"));
    t.ringRecord.SetHighestRing(10);
    t.ringRecord.SetMinimumRing(1);
    t.ringRecord.SetDiameterHighestRing(80);
    t.ringRecord.SetHitRingGap(80);
    t.ringRecord.SetDiameterBlackArea(600);
    t.ringRecord.SetDiameterInnerWhite(100);
    t.ringRecord.SetDiameterX(40);
    t.ringRecord.SetNominalDistance(100);
    t.ringRecord.SetCaliber(450);
    t.hasSilhouette = 1;
    t.silhouetteRecord.SetNameText(QStringLiteral("Bench silhouette"));
    t.silhouetteRecord.SetSize(200);
    t.silhouetteRecord.SetNominalDistance(100);
    // A rough figure: head, body, fatal zone, near border.
    for (int c = 0; c < 64; ++c) {
        for (int r = 0; r < 64; ++r) {
            int zone = 0;
            const int dx = c - 32;
            if (r > 8 && r < 20 && dx * dx < 36)
                zone = 1;
            if (r >= 20 && dx * dx < 196)
                zone = 1;
            if (r >= 24 && r < 36 && dx * dx < 25)
                zone = 2;
            if (zone == 0 && r >= 18 && dx * dx < 256)
                zone = 3;
            t.silhouetteMatrix.SetCell(c, r, zone);
        }
    }
    return t;
}

std::unique_ptr<TShooter> MakeShooter(const TargetDescription& target)
{
    auto shooter = std::make_unique<TShooter>();
    shooter->targets.ringTargets[0] = target.ringRecord;
    shooter->targets.ringDefined[0] = 1;
    shooter->targets.silhouetteTargets[0] = target.silhouetteRecord;
    shooter->targets.silhouetteMatrices[0] = target.silhouetteMatrix;
    shooter->targets.silhouetteDefined[0] = 1;
    shooter->currentTarget = target;
    unsigned seed = 4711;
    for (int s = 0; s < kShots; ++s) {
        auto shot = std::make_unique<TShot>();
        seed = seed * 1103515245u + 12345u;
        shot->raw.SetShotNumber(s + 1);
        shot->raw.SetFunctionMode(1);
        shot->raw.SetRingTargetIndex(0);
        shot->raw.SetSilhouetteTargetIndex(0);
        shot->raw.SetX(int((seed >> 16) % 600) - 300);
        shot->raw.SetY(int((seed >> 4) % 600) - 300);
        shot->raw.SetScore(60 + int(seed % 49));
        shot->raw.SetClockSector(1 + s % 12);
        shot->raw.SetSilhouette(1 + s % 3);
        shot->raw.SetTime(uint32_t(s * 300));
        shot->shotNumber = s + 1;
        shot->AllocateCurve(kSamples);
        for (int i = 0; i < kSamples; ++i) {
            seed = seed * 1103515245u + 12345u;
            shot->Curve()[i].SetX(shot->raw.X() + (kSamples - i) * 2 + int((seed >> 16) % 21) - 10);
            shot->Curve()[i].SetY(shot->raw.Y() + (kSamples - i) + int((seed >> 8) % 21) - 10);
        }
        shooter->AppendShot(std::move(shot));
    }
    return shooter;
}

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
    const TargetDescription target = MakeTarget();
    auto shooter = MakeShooter(target);
    TTargetRenderer renderer;
    renderer.Target = target;
    renderer.Shooter = shooter.get();
    renderer.GradingOverlay = false;
    renderer.SetSize(1024, 768);
    renderer.ZoomToFitTarget();
    if (selected) {
        renderer.SelectedShot = shooter->GetShot(kShots - 1);
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
    const TargetDescription target = MakeTarget();
    auto shooter = MakeShooter(target);
    TTargetRenderer renderer;
    renderer.Target = target;
    renderer.Shooter = shooter.get();
    renderer.SetSize(1024, 768);
    renderer.ZoomToFitTarget();
    renderer.SelectedShot = shooter->GetShot(kShots - 1);
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
