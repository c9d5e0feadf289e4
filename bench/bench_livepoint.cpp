// One live aiming point on a 1024 x 768 view of a combined ring and
// silhouette target with 60 traced shots: the erase of the previous point
// from the static layer and the new cross. It runs for every sample, 66
// times a second per shooter.
#include "Shotdata.h"
#include "Targetrenderer.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kShots = 60;
constexpr int kSamples = 200;

TargetDescription CombinedTarget()
{
    TargetDescription t;
    t.hasRing = 1;
    t.hasSilhouette = 1;
    RingTargetRecord& ring = t.ringRecord;
    ring.SetNameText(QStringLiteral("Bench"));
    ring.SetHighestRing(10);
    ring.SetMinimumRing(1);
    ring.SetDiameterHighestRing(100);
    ring.SetHitRingGap(50);
    ring.SetDiameterX(50);
    ring.SetCaliber(450);
    ring.SetNominalDistance(100);
    t.silhouetteRecord.SetNameText(QStringLiteral("Bench figure"));
    t.silhouetteRecord.SetSize(150);
    t.silhouetteRecord.SetNominalDistance(100);
    for (int c = 16; c < 48; ++c)
        for (int r = 8; r < 64; ++r)
            t.silhouetteMatrix.SetCell(c, r, (c > 26 && c < 38 && r < 30) ? 2 : 1);
    return t;
}

void BM_DrawLivePoint(benchmark::State& state)
{
    const TargetDescription target = CombinedTarget();
    TShooter shooter;
    shooter.currentTarget = target;
    shooter.targets.ringTargets[0] = target.ringRecord;
    shooter.targets.ringDefined[0] = 1;
    unsigned seed = 4711;
    for (int s = 0; s < kShots; ++s) {
        auto shot = std::make_unique<TShot>();
        shot->raw.SetRingTargetIndex(0);
        shot->raw.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
        shot->raw.SetFunctionMode(1);
        seed = seed * 1103515245u + 12345u;
        shot->raw.SetX(int((seed >> 16) % 600) - 300);
        shot->raw.SetY(int((seed >> 8) % 600) - 300);
        shot->raw.SetScore(80 + s % 25);
        shot->shotNumber = s + 1;
        shot->AllocateCurve(kSamples);
        for (int i = 0; i < kSamples; ++i) {
            shot->Curve()[i].SetX(shot->raw.X() + (kSamples - i) * 2);
            shot->Curve()[i].SetY(shot->raw.Y() + (i % 7) * 3);
        }
        shooter.AppendShot(std::move(shot));
    }

    TTargetRenderer renderer;
    renderer.Target = target;
    renderer.ZoomToFitTarget();
    renderer.SetSize(1024, 768);
    renderer.Shooter = &shooter;
    renderer.Render(TTargetRenderer::ViewAllShots);

    TraceSample samples[2];
    samples[0].SetX(300);
    samples[0].SetY(-200);
    samples[1].SetX(-250);
    samples[1].SetY(150);
    int i = 0;
    for (auto _ : state) {
        renderer.DrawLivePoint(samples[i]);
        i ^= 1;
        benchmark::DoNotOptimize(renderer.DisplayLayer.constBits());
    }
}
BENCHMARK(BM_DrawLivePoint)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
