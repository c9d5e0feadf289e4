#include "GradingTestSupport.h"
#include "Shotdata.h"
#include "Zeroing.h"
#include "TestTargets.h"

#include <gtest/gtest.h>

#include <memory>
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
    EXPECT_EQ(report.converted, 2);
    EXPECT_EQ(report.skipped, 2);
    EXPECT_EQ(report.error, "Bad target number");

    EXPECT_EQ(ringShot->raw.X(), 30);
    EXPECT_EQ(ringShot->raw.Score(), 97);
    EXPECT_EQ(ringShot->resultValue, 97);
    EXPECT_FALSE(ringShot->analysisValid);
    EXPECT_EQ(ringShot->Curve()[0].X(), 30);
    EXPECT_EQ(current.ringRecord, tables.ringTargets[2]);
    // Silhouette only: its own distance; the unit's zone and score stay.
    EXPECT_EQ(silhouetteShot->raw.X(), 6641);
    EXPECT_EQ(silhouetteShot->raw.Score(), 33);
    EXPECT_EQ(silhouetteShot->raw.Silhouette(), 2);
    EXPECT_EQ(silhouetteShot->Curve()[1].X(), 32767);
    EXPECT_EQ(silhouetteShot->Curve()[1].Failures(), TraceSample::FailOverflow);
    // No slot and an unread slot alike: left raw and untouched.
    for (TShot* s : { badNumber, unread, dynamicShot }) {
        EXPECT_FALSE(s->converted);
        EXPECT_EQ(s->raw.Score(), 33);
        EXPECT_EQ(s->Curve()[0].X(), 100);
    }

    // A second pass converts nothing twice.
    report = RescoreDownloadedShots(shooter, tables, current);
    EXPECT_EQ(report.converted, 0);
    EXPECT_EQ(ringShot->Curve()[0].X(), 30);
    EXPECT_EQ(silhouetteShot->raw.X(), 6641);

    // Once the missing slot is read, its shot is converted on the next pass.
    DeviceSetup fixed = tables;
    fixed.ringTargets[5] = tables.ringTargets[2];
    fixed.ringDefined[5] = 1;
    report = RescoreDownloadedShots(shooter, fixed, current);
    EXPECT_EQ(report.converted, 1);
    EXPECT_EQ(report.skipped, 1);
    EXPECT_EQ(unread->raw.Score(), 97);

    // A defined slot whose distance gives no scale is not used either.
    fixed.ringTargets[2].SetNominalDistance(0);
    AddDownloaded(shooter, 6, 100, 2, 255);
    EXPECT_EQ(RescoreDownloadedShots(shooter, fixed, current).skipped, 2);
}
