#include "GradingTestSupport.h"
#include "ShotScoring.h"
#include "Shotdata.h"
#include "Zeroing.h"
#include "TestTargets.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <array>
#include <functional>

using namespace ShotScoring;

namespace {

TargetDescription RingTarget(const RingTargetRecord& ring)
{
    TargetDescription t;
    t.hasRing = 1;
    t.ringRecord = ring;
    return t;
}

// Square at 10 m, size in mm; the zone of column c is 1 + c % 3.
TargetDescription SilhouetteTarget(int size = 200)
{
    TargetDescription t;
    t.hasSilhouette = 1;
    t.silhouetteRecord.SetNominalDistance(100);
    t.silhouetteRecord.SetSize(size);
    for (int c = 0; c < SilhouetteMatrix::Columns; ++c)
        for (int r = 0; r < SilhouetteMatrix::Rows; ++r)
            t.silhouetteMatrix.SetCell(c, r, 1 + c % 3);
    return t;
}

RawShotRecord Result(int x, int y, int functionMode = ClassicMode)
{
    RawShotRecord r = ShotResult(x, y);
    r.SetFunctionMode(functionMode);
    r.SetRingTargetIndex(7);
    return r;
}

RawShotRecord RingScored(const TargetDescription& target, int x, int y)
{
    RawShotRecord r = Result(x, y);
    CalcRingScoreAndSector(r, target);
    return r;
}

int ZoneOf(const TargetDescription& target, int x, int y)
{
    RawShotRecord r = Result(x, y);
    CalcSilhouetteZone(r, target);
    return r.Silhouette();
}

} // namespace

TEST(ShotScoring, AnglesFailuresAndScale)
{
    // 707 tells the unit's 180/3.14 (45) from 180/pi (44); 1200 is limited to
    // a sine of 1 first.
    const std::pair<int, int> angles[] = { { 500, 30 }, { 707, 45 }, { -707, -45 }, { -1000, -90 }, { 1200, 90 } };
    for (const auto& [sine, degrees] : angles)
        EXPECT_EQ(AngleFromSine(sine), degrees) << sine;

    RawShotRecord r = Result(0, 0);
    r.SetFlags(0x04);
    r.SetFailures(0x51);
    ClearIgnoredFailures(r);
    EXPECT_EQ(r.Failures(), 0x01);

    EXPECT_NEAR(ClassicK(100, false), 0.0308333, 1e-7);
    EXPECT_EQ(SaturatingCast<int>((10.0 * 1000) * ClassicK(100, false)), 308);
    EXPECT_NEAR(ClassicK(100, true), (9.144 - 0.75) / 300, 1e-12);
    r.SetRevalm(150);
    EXPECT_NEAR(DynamicK(r), 0.05, 1e-12);
    EXPECT_FALSE(UsableK(ClassicK(0, false))); // nearer than the muzzle
}

TEST(ShotScoring, RingScoresAtTheEdgesAndOnDamagedRecords)
{
    // Central hits are rechecked end to end by the device tests. Ring 1 ends
    // at 25.0 mm (22.75 + half the caliber): 850 raw (26.2 mm) lies in the
    // ring a scorer testing one ring too many finds.
    using Edit = std::function<void(RingTargetRecord&)>;
    const Edit golden = [](RingTargetRecord&) {};
    // A highest ring without size (and no caliber): the outer rings score as
    // usual, the dead centre counts as the highest ring.
    const Edit point = [](RingTargetRecord& r) {
        r.SetDiameterHighestRing(0);
        r.SetCaliber(0);
    };
    // The X diameter is in the same unit as the rings: 0.635 mm radius.
    const Edit inch = [](RingTargetRecord& r) {
        r.SetSizesInInch(true);
        r.SetCaliberInInch(true);
        r.SetDiameterHighestRing(10);
        r.SetHitRingGap(10);
        r.SetCaliber(177);
    };
    const struct {
        const char* name;
        Edit edit;
        int x, y, score, innerTen;  // -1: not looked at
    } cases[] = {
        { "ring 1", golden, 800, 0, 11, 0 }, { "ring 1 below", golden, 0, -810, 10, 0 },
        { "one ring past the lowest", golden, 850, 0, 0, 0 }, { "miss", golden, 900, 0, 0, 0 },
        { "highest ring 30", [](RingTargetRecord& r) { r.SetHighestRing(30); }, 0, 0, 255, -1 },
        { "highest ring without size", point, 50, 0, 93, -1 }, { "its centre", point, 0, 0, 109, -1 },
        { "no gaps either", [&](RingTargetRecord& r) { point(r); r.SetHitRingGap(0); }, 50, 0, 0, -1 },
        { "no usable distance", [](RingTargetRecord& r) { r.SetNominalDistance(0); }, 0, 100, 0, -1 },
        { "inch, 0.617 mm", inch, 20, 0, -1, 1 }, { "inch, 0.648 mm", inch, 21, 0, -1, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RingTargetRecord ring = GoldenRingRecord();
        c.edit(ring);
        const RawShotRecord r = RingScored(RingTarget(ring), c.x, c.y);
        EXPECT_EQ(c.score < 0 ? -1 : r.Score(), c.score);
        EXPECT_EQ(c.innerTen < 0 ? -1 : int(r.InnerTen()), c.innerTen);
    }
    RingTargetRecord near = GoldenRingRecord();
    near.SetNominalDistance(0);
    EXPECT_EQ(RingScored(RingTarget(near), 0, 100).ClockSector(), 12);  // still a sector
    EXPECT_EQ(RingScored(GoldenRing(), 900, 0).ClockSector(), 3);
    EXPECT_EQ(Message([] { RawShotRecord x = Result(0, 0); CalcRingScoreAndSector(x, TargetDescription {}); }),
              "Calculating score and sector for non-ring target");

    // By radius: the ring under the highest is tried even below the lowest
    // ring; rings more than eleven below the highest have no diameter.
    const RingTargetRecord ten = GoldenRingRecord();
    EXPECT_EQ(SaturatingCast<int>(10 * DecimalScore(ten, RingRadius(ten, 10) + CaliberMm(ten) / 2)), 100);
    RingTargetRecord narrow = ten;
    narrow.SetMinimumRing(10);
    EXPECT_NEAR(DecimalScore(narrow, 4.0), 9.4, 1e-12);
    EXPECT_EQ(DecimalScore(narrow, 6.0), 0.0);
    RingTargetRecord var;
    var.SetVariableRingGaps(true);
    var.SetHighestRing(15);
    var.SetMinimumRing(1);
    var.SetDiameterHighestRing(50);                      // R(15) = 2.5 mm
    for (int n = 1; n <= RingTargetRecord::VariableRingCount; ++n)
        var.SetDiameterVariableHminus(n, 50 + 50 * n);   // R(15 - n) = 2.5 + 2.5 n
    EXPECT_NEAR(DecimalScore(var, 28.75), 4.5, 1e-12);
    EXPECT_EQ(DecimalScore(var, 31.0), 0.0);
    var.SetHighestRing(255);
    var.SetMinimumRing(0);
    EXPECT_EQ(DecimalScore(var, 1000.0), 0.0);
}

// Inside the highest ring the score falls from T + 0.99 at the centre to T
// at its edge, in proportion to the distance. The test ring's highest ring
// ends at 0.25 mm + half the 4.5 mm calibre = 2.5 mm; 40 raw units at 10 m
// are 1.2333 mm: 10.99 - 0.99 x 1.2333 / 2.5 = 10.5016.
TEST(ShotScoring, HitsInsideTheHighestRingAwayFromTheCentre)
{
    const RingTargetRecord ten = GoldenRingRecord();
    EXPECT_NEAR(DecimalScore(ten, 1.25), 10.495, 1e-9);
    EXPECT_NEAR(DecimalScore(ten, 2.5), 10.0, 1e-9);
    EXPECT_NEAR(DecimalScore(ten, 0.5), 10.792, 1e-9);
    EXPECT_EQ(RingScored(GoldenRing(), 40, 0).Score(), 105);
    EXPECT_EQ(RingScored(GoldenRing(), 0, -40).Score(), 105);
}

TEST(ShotScoring, SectorsAndSilhouetteZones)
{
    struct Sector { double x, y; int sector; };
    const Sector sectors[] = { { 0, 1, 12 }, { 0, -1, 6 }, { 1, 0, 3 }, { 0, 0, 9 }, { -1, -2, 7 }, { -1, 0, 9 } };
    for (const Sector& c : sectors)
        EXPECT_EQ(ClockSector(c.x, c.y), c.sector) << c.x << "," << c.y;
    // The unit's bits 4-6 of the sector byte survive; the X bit is rewritten.
    RawShotRecord r = Result(100, 0);
    r.SetSector(0xF0);
    CalcRingScoreAndSector(r, GoldenRing());
    EXPECT_EQ(r.Sector(), 0x73);

    const TargetDescription t = SilhouetteTarget(); // half side 100 mm
    EXPECT_EQ(ZoneOf(t, 3200, 0), 1 + 63 % 3); // column 63.6
    EXPECT_EQ(ZoneOf(t, 3300, 0), 0);          // column 64.6: past the edge
    EXPECT_EQ(ZoneOf(t, -3300, 0), 0);         // column -0.6, not column 0
    TargetDescription inch = SilhouetteTarget(100); // 10 inch = 254 mm
    inch.silhouetteRecord.SetSizeInInch(true);
    EXPECT_EQ(std::tuple(ZoneOf(inch, 3300, 0), ZoneOf(SilhouetteTarget(0), 0, 0)), std::tuple(1 + 57 % 3, 0));
    EXPECT_EQ(Message([] { RawShotRecord x = Result(0, 0); CalcSilhouetteZone(x, GoldenRing()); }),
              "Calculating silhouette score for non-silhouette target");
}

namespace {

struct Intake {
    TargetDescription current = GoldenRing();
    TargetDescription shooterTarget = GoldenRing();
    ZeroState zero;
    std::array<TraceSample, SampleRingSize> ring {};
    ShotIntakeContext context { ClassicMode, true, false, &current, &shooterTarget };

    Intake()
    {
        ring[0].SetX(1000);
        ring[0].SetY(-100);
    }
    ShotIntakeOutcome Take(RawShotRecord& r) { return OnShotResult(r, context, zero, ring); }
};

} // namespace

// Central scores, zero correction, the trace scale, zeroing, downloads and
// the trace copy are rechecked through the device by its own tests.
TEST(ShotIntake, LiveShotIsConvertedAndScored)
{
    Intake f;
    RawShotRecord r = Result(200, 0);
    r.SetTilt(500);
    r.SetFlags(0x04);
    r.SetFailures(0x10);
    const ShotIntakeOutcome out = f.Take(r);
    EXPECT_TRUE(out.addShot && out.converted && out.dropSamples);
    EXPECT_EQ(out.lastResult.Tilt(), 500); // kept before the angles change
    EXPECT_EQ(std::tuple(r.Tilt(), r.Failures(), r.SilhouetteTargetIndex()), std::tuple(30, 0, 255));

    // Dynamic: the measured distance, no zero, no silhouette zone.
    Intake d;
    d.context.mode = DynamicMode;
    d.zero.offsetX = 100;
    d.shooterTarget.hasSilhouette = 1;
    r = Result(300, 0, DynamicMode);
    r.SetRevalm(100);
    r.SetSilhouette(2);
    d.Take(r);
    EXPECT_EQ(r.X() + r.Silhouette(), 100 + 2);
}

TEST(ShotIntake, FaultsDoNotEscape)
{
    Intake f; // the shooter's target has a ring the device's target lacks
    f.current = SilhouetteTarget();
    f.shooterTarget.hasSilhouette = 1;
    RawShotRecord r = Result(0, 0);
    r.SetScore(55);
    ShotIntakeOutcome out;
    {
        LogCapture log;
        EXPECT_NO_THROW(out = f.Take(r));
        EXPECT_FALSE(log.lines.isEmpty());
    }
    EXPECT_EQ(std::tuple(bool(out.addShot), out.scoringError, r.Score() + r.Silhouette()),
              std::tuple(true, "Calculating score and sector for non-ring target", 55 + 1 + 32 % 3));

    Intake s; // at 100 m positions saturate instead of wrapping
    s.current.ringRecord.SetNominalDistance(10000);
    r = Result(2000, -2000);
    s.ring[0].SetX(-2000);
    s.Take(r);
    EXPECT_EQ(std::tuple(r.X(), r.Y(), s.ring[0].X(), s.ring[0].Failures()),
              std::tuple(32767, -32768, -32768, int(TraceSample::FailOverflow)));
    EXPECT_EQ(ZeroCorrected(-32768, 100), -32768);

    Intake m; // no usable distance: nothing mirrored, a miss
    m.current.ringRecord.SetNominalDistance(0);
    r = Result(300, 300);
    m.Take(r);
    EXPECT_EQ(std::tuple(r.X(), r.Score(), m.ring[0].X()), std::tuple(0, 0, 0));
}
