// Grading a shooter with 1,000 shots of 200 samples each: the summary with the
// trace analysis still to do, and again with every analysis cached.
#include "GradeSummary.h"
#include "GradingParameters.h"
#include "ShotGrading.h"

#include "Shotdata.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kShots = 1000;
constexpr int kSamples = 200;

std::unique_ptr<TShooter> MakeShooterWithShots()
{
    auto shooter = std::make_unique<TShooter>();
    RingTargetRecord ring;
    ring.SetHighestRing(10);
    ring.SetMinimumRing(1);
    ring.SetHitRingGap(80);
    shooter->targets.ringTargets[0] = ring;
    shooter->targets.ringDefined[0] = 1;
    unsigned seed = 12345;
    for (int s = 0; s < kShots; ++s) {
        auto shot = std::make_unique<TShot>();
        shot->raw.SetFunctionMode(1);
        shot->raw.SetRingTargetIndex(0);
        shot->raw.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
        shot->raw.SetScore(70 + s % 39);
        shot->raw.SetTime(uint32_t(s * 100));
        shot->AllocateCurve(kSamples);
        for (int i = 0; i < kSamples; ++i) {
            seed = seed * 1103515245u + 12345u;
            const int jitterX = int((seed >> 16) % 41) - 20;
            const int jitterY = int((seed >> 8) % 41) - 20;
            shot->Curve()[i].SetX((kSamples - i) * 3 + jitterX);
            shot->Curve()[i].SetY((i % 17) * 4 - 30 + jitterY);
        }
        shooter->AddShot(std::move(shot));
    }
    return shooter;
}

bool LoadParameters()
{
    if (LoadGradingFile(QStringLiteral("grading_default.tgp"), {}) > 0)
        return true;
    // Run from anywhere: the shipped file next to this source.
    const QString source = QString::fromUtf8(__FILE__);
    const QString repo = source.left(source.lastIndexOf(QStringLiteral("/bench/")));
    return LoadGradingFile(repo + QStringLiteral("/assets/files/grading_default.tgp"), {}) > 0;
}

void BM_GradeSummaryUncached(benchmark::State& state)
{
    if (!LoadParameters()) {
        state.SkipWithError("grading_default.tgp not found");
        return;
    }
    auto shooter = MakeShooterWithShots();
    for (auto _ : state) {
        state.PauseTiming();
        shooter->ForEachShot([](TShot& shot) { shot.analysisValid = false; });
        state.ResumeTiming();
        benchmark::DoNotOptimize(GradeSummary({ 1, 0 }, *shooter));
    }
    state.SetItemsProcessed(state.iterations() * kShots);
}
BENCHMARK(BM_GradeSummaryUncached)->Unit(benchmark::kMillisecond);

void BM_GradeSummaryCached(benchmark::State& state)
{
    if (!LoadParameters()) {
        state.SkipWithError("grading_default.tgp not found");
        return;
    }
    auto shooter = MakeShooterWithShots();
    GradeSummary({ 1, 0 }, *shooter);
    for (auto _ : state)
        benchmark::DoNotOptimize(GradeSummary({ 1, 0 }, *shooter));
    state.SetItemsProcessed(state.iterations() * kShots);
}
BENCHMARK(BM_GradeSummaryCached)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
