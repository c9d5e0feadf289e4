// Rebuilding the shot strip of a shooter with 500 shots (layout and painting),
// as the viewer does after every new shot, with the view at the newest shot.
//   BM_ShotStringGrowth - a session growing shot by shot to 3,000 as a
//                   viewer 1,000 px wide follows it: time per shot over the
//                   last 500 shots, and the heap the strip keeps per shot
//                   (bytes_per_shot, from 1,000 to 3,000 shots; goal: flat,
//                   nothing in proportion to the session's length).
#include "BitmapArt.h"
#include "Shotdata.h"
#include "Shotstring.h"
#include "UiBitmaps.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <malloc.h>
#include <memory>

namespace {

constexpr int kShots = 500;
constexpr int kView = 1000;

// What the viewer does after a new shot: the view follows the newest one.
void FollowNewest(TShotString& strip)
{
    strip.Reveal(std::max(0, strip.Width() - kView), kView);
    strip.Draw();
    strip.Reveal(std::max(0, strip.Width() - kView), kView);
}

std::unique_ptr<TShooter> MakeShooter(bool silhouette, int count = kShots)
{
    auto shooter = std::make_unique<TShooter>();
    uint32_t time = 66;
    unsigned seed = 4711;
    for (int s = 0; s < count; ++s) {
        seed = seed * 1103515245u + 12345u;
        auto shot = std::make_unique<TShot>();
        // Mostly single shots 2..20 s apart, every fifth one a quick follow-up.
        time += (s % 5 == 4) ? 40 + seed % 60 : 140 + (seed >> 8) % 1200;
        shot->raw.SetTime(time);
        shot->raw.SetStartupCounter(s / 100);
        if (silhouette) {
            shot->raw.SetRingTargetIndex(RawShotRecord::NoTarget);
            shot->raw.SetSilhouetteTargetIndex(0);
            shot->raw.SetSilhouette(int(seed % 4));
        } else {
            shot->raw.SetRingTargetIndex(0);
            shot->raw.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
            shot->raw.SetScore(int(seed % 109));
        }
        shooter->AppendShot(std::move(shot));
    }
    return shooter;
}

void BM_ShotStringRebuild(benchmark::State& state)
{
    const bool silhouette = state.range(0) != 0;
    auto shooter = MakeShooter(silhouette);
    TShotString strip;
    strip.minWidth = 1000;
    strip.decimals = !silhouette;
    strip.selectBurst = true;
    strip.selected = kShots - 1;
    for (auto _ : state) {
        strip.SetShots(shooter.get());
        FollowNewest(strip);
        benchmark::DoNotOptimize(strip.Bitmap().constBits());
    }
    state.counters["width"] = strip.Width();
}
BENCHMARK(BM_ShotStringRebuild)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The first build of a fresh strip (opening a session): every text is new.
void BM_ShotStringFirstBuild(benchmark::State& state)
{
    auto shooter = MakeShooter(false);
    for (auto _ : state) {
        TShotString strip;
        strip.minWidth = 1000;
        strip.SetShots(shooter.get());
        strip.Draw();
        benchmark::DoNotOptimize(strip.Bitmap().constBits());
    }
}
BENCHMARK(BM_ShotStringFirstBuild)->Unit(benchmark::kMillisecond);

// The layout pass alone (entries, labels, time texts), without painting.
void BM_ShotStringLayout(benchmark::State& state)
{
    auto shooter = MakeShooter(state.range(0) != 0);
    TShotString strip;
    for (auto _ : state) {
        strip.SetShots(shooter.get());
        benchmark::DoNotOptimize(strip.Layout());
    }
}
BENCHMARK(BM_ShotStringLayout)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ShotStringFindShotAt(benchmark::State& state)
{
    auto shooter = MakeShooter(false);
    TShotString strip;
    strip.SetShots(shooter.get());
    strip.Draw();
    int x = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(strip.FindShotAt(x));
        x = (x + 997) % strip.Width();
    }
}
BENCHMARK(BM_ShotStringFindShotAt);

size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void BM_ShotStringGrowth(benchmark::State& state)
{
    constexpr int Total = 3000;
    constexpr int From = 1000;
    auto shooter = MakeShooter(false, Total);
    const std::vector<TShot*> all = shooter->SnapshotShots();
    for (auto _ : state) {
        TShotString strip;
        strip.minWidth = kView - 2;
        size_t heapAtFrom = 0;
        std::chrono::steady_clock::time_point tailStart;
        for (int n = 1; n <= Total; ++n) {
            if (n == From)
                heapAtFrom = HeapInUse();
            if (n == Total - 500)
                tailStart = std::chrono::steady_clock::now();
            strip.SetShots(std::vector<TShot*>(all.begin(), all.begin() + n));
            strip.selected = n - 1;
            FollowNewest(strip);
        }
        const double tail = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - tailStart).count();
        state.counters["bytes_per_shot"] = (double(HeapInUse()) - double(heapAtFrom)) / (Total - From);
        state.counters["ms_per_shot_last500"] = tail / 500;
    }
}
BENCHMARK(BM_ShotStringGrowth)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    QTemporaryDir folder;
    GenerateUiBitmaps(folder.path() + QStringLiteral("/Bitmaps"));
    UiBitmaps().SetFolder(folder.path());
    LoadShotStringBitmaps();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
