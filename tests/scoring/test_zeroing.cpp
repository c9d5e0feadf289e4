#include "GradingTestSupport.h"
#include "Shotdata.h"
#include "Zeroing.h"
#include "TestTargets.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <vector>


TEST(Zeroing, MeanOfTheValidEntriesWithinReach)
{
    // Each series starts from a saved zero of (12, -8). Means 3750 raw units
    // out or more keep it; a series of flagged shots only goes back to 0.
    const RawShotRecord flagged = ShotResult(5, 0, RawShotRecord::FailAngle);
    struct Case { const char* name; std::vector<RawShotRecord> results; double x, y; };
    const Case cases[] = {
        { "the newest three", { ShotResult(1, 0), flagged, ShotResult(100, 0), ShotResult(200, 0), ShotResult(300, 0) }, 200, 0 },
        { "only flagged", { ShotResult(100, 100, RawShotRecord::FailLowSignal) }, 0, 0 },
        { "on the limit", { ShotResult(3750, 0) }, 12, -8 },
        { "just inside", { ShotResult(3000, 2249) }, 3000, 2249 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ZeroState z;
        z.offsetX = 12;
        z.offsetY = -8;
        z.SaveZero();
        for (const RawShotRecord& r : c.results)
            z.RememberZeroingResult(r);
        EXPECT_TRUE(z.ComputeZero());
        EXPECT_DOUBLE_EQ(z.offsetX, c.x);
        EXPECT_DOUBLE_EQ(z.offsetY, c.y);
        EXPECT_EQ(z.FilledEntries(), 0);
    }

    // An entry with failures does not count, even when placed directly.
    ZeroState z;
    z.history[0] = ShotResult(90, 0);
    z.history[1] = ShotResult(5000, 0, RawShotRecord::FailFOV);
    z.ComputeZero();
    EXPECT_DOUBLE_EQ(z.offsetX, 90);
    z.ClearZeroOffsets();
    EXPECT_FALSE(z.HasOffset());
}

namespace {

// Ring slot 2 (10 m, 2.5 mm gaps), silhouette slot 1 (200 m); slot 5 unread.
DeviceSetup Tables()
{
    DeviceSetup t;
    t.ringTargets[2] = GoldenRingRecord();
    t.ringDefined[2] = 1;
    t.silhouetteTargets[1].SetNominalDistance(2000);
    t.silhouetteDefined[1] = 1;
    return t;
}

TShot* AddDownloaded(TShooter& shooter, int time, int x, int ring, int silhouette, int mode = 1)
{
    auto shot = std::make_unique<TShot>();
    shot->raw.SetXNAU(x);
    shot->raw.SetRingTargetIndex(ring);
    shot->raw.SetSilhouetteTargetIndex(silhouette);
    shot->raw.SetFunctionMode(mode);
    shot->raw.SetTime(uint32_t(time));
    shot->raw.SetScore(33);
    shot->raw.SetSilhouette(2);
    shot->AllocateCurve(2);
    shot->Curve()[0].SetX(x);
    shot->Curve()[1].SetX(20000);
    shot->analysisValid = true;
    return shooter.AddShot(std::move(shot));
}

} // namespace

TEST(Rescoring, ConvertsEachClassicShotOnceAndSkipsBadTargets)
{
    const DeviceSetup tables = Tables();
    TShooter shooter;
    TShot* badNumber = AddDownloaded(shooter, 1, 100, 255, 255);
    TShot* ringShot = AddDownloaded(shooter, 2, 100, 2, 255);
    TShot* unread = AddDownloaded(shooter, 3, 100, 5, 1);
    TShot* silhouetteShot = AddDownloaded(shooter, 4, 1000, 255, 1);
    TShot* dynamicShot = AddDownloaded(shooter, 5, 100, 255, 255, 2);
    TargetDescription current;

    RescoreReport report = RescoreDownloadedShots(shooter, tables, current);
    EXPECT_EQ(std::tuple(report.converted, report.skipped, report.error), std::tuple(2, 2, QString("Bad target number")));
    const auto values = [](const TShot* s) {
        return std::tuple(s->raw.X(), s->raw.Score(), s->resultValue, s->Curve()[0].X(), s->analysisValid);
    };
    EXPECT_EQ(values(ringShot), std::tuple(30, 97, 97, 30, false));
    EXPECT_EQ(current.ringRecord, tables.ringTargets[2]);
    // Silhouette only: its own distance; the unit's zone and score stay.
    EXPECT_EQ(values(silhouetteShot), std::tuple(6641, 33, 33, 6641, false));
    EXPECT_EQ(silhouetteShot->raw.Silhouette(), 2);
    EXPECT_EQ(std::tuple(silhouetteShot->Curve()[1].X(), silhouetteShot->Curve()[1].Failures()),
              std::tuple(32767, int(TraceSample::FailOverflow)));
    // No slot and an unread slot alike: left raw and untouched.
    for (TShot* s : { badNumber, unread, dynamicShot }) {
        EXPECT_FALSE(s->converted);
        EXPECT_EQ(values(s), std::tuple(0, 33, s->resultValue, 100, true));
    }

    // A second pass converts nothing twice.
    EXPECT_EQ(RescoreDownloadedShots(shooter, tables, current).converted, 0);
    EXPECT_EQ(values(ringShot), std::tuple(30, 97, 97, 30, false));
    EXPECT_EQ(silhouetteShot->raw.X(), 6641);

    // Once the missing slot is read, its shot is converted on the next pass.
    DeviceSetup fixed = tables;
    fixed.ringTargets[5] = tables.ringTargets[2];
    fixed.ringDefined[5] = 1;
    report = RescoreDownloadedShots(shooter, fixed, current);
    EXPECT_EQ(std::tuple(report.converted, report.skipped, unread->raw.Score()), std::tuple(1, 1, 97));

    // A defined slot whose distance gives no scale is not used either.
    fixed.ringTargets[2].SetNominalDistance(0);
    AddDownloaded(shooter, 6, 100, 2, 255);
    EXPECT_EQ(RescoreDownloadedShots(shooter, fixed, current).skipped, 2);
}
