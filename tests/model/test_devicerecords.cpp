#include "DeviceRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

// The field read from a record holding 0xFF38 at offset.
template <class R>
int ReadFF38(std::size_t offset, int (R::*field)() const)
{
    R r;
    r.b[offset] = 0xFF;
    r.b[offset + 1] = 0x38;
    return (r.*field)();
}

} // namespace

// Every 16-bit field is big-endian; signed ones read 0xFF38 as -200,
// unsigned ones as 65336.
TEST(DeviceRecords, SixteenBitFieldsAndTheirSign)
{
    struct Row {
        const char* field;
        int got;
        int want;
    };
    const Row rows[] = {
        {"shot XNAU", ReadFF38(4, &RawShotRecord::XNAU), -200},
        {"shot YNAU", ReadFF38(6, &RawShotRecord::YNAU), -200},
        {"shot tilt", ReadFF38(8, &RawShotRecord::Tilt), -200},
        {"shot Revalm", ReadFF38(28, &RawShotRecord::Revalm), -200},
        {"sample X", ReadFF38(4, &TraceSample::X), -200},
        {"sample rotation", ReadFF38(10, &TraceSample::Rotation), -200},
        {"ring distance", ReadFF38(18, &RingTargetRecord::NominalDistance), 65336},
        {"ring caliber", ReadFF38(20, &RingTargetRecord::Caliber), -200},
        {"ring inner ten", ReadFF38(38, &RingTargetRecord::DiameterX), 65336},
        {"silhouette distance", ReadFF38(18, &SilhouetteTargetRecord::NominalDistance), 65336},
        {"silhouette size", ReadFF38(26, &SilhouetteTargetRecord::Size), 65336},
        {"silhouette prism X", ReadFF38(28, &SilhouetteTargetRecord::PrismPlaceX), -200},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.got, row.want) << row.field;
}

TEST(DeviceRecords, ShotAndSampleRecordFields)
{
    RawShotRecord r;
    r.b[14] = 255; r.b[15] = 255;   // no target at all is still a record
    r.b[18] = 0x12; r.b[19] = 0x34; r.b[20] = 0x56;
    EXPECT_EQ(r.RingTargetIndex(), RawShotRecord::NoTarget);
    EXPECT_EQ(r.SilhouetteTargetIndex(), RawShotRecord::NoTarget);
    EXPECT_EQ(r.Time(), 0x123456u);

    // Values past 16 bits keep their low bits, like the unit's own fields.
    r.SetY(0x12345);
    EXPECT_EQ(r.Y(), 0x2345);

    r.SetTime(0xABCDEF01);
    EXPECT_EQ(r.Time(), 0xCDEF01u);
    EXPECT_EQ(r.b[17], 0);
    EXPECT_EQ(r.b[21], 0);

    // Sector keeps the unit's bits 4-6 when the clock and inner-ten parts change.
    r.SetSector(0x70);
    r.SetClockSector(12);
    r.SetInnerTen(true);
    EXPECT_EQ(r.Sector(), 0xFC);
    r.SetInnerTen(false);
    r.SetClockSector(3);
    EXPECT_EQ(r.Sector(), 0x73);
    EXPECT_EQ(r.ClockSector(), 3);
    EXPECT_FALSE(r.InnerTen());

    TraceSample s;
    s.SetX(-300);
    s.SetRotation(45);
    s.SetFailures(TraceSample::FailOverflow);
    EXPECT_EQ(s.b[4], 0xFE);
    EXPECT_EQ(s.b[5], 0xD4);
    EXPECT_EQ(s.b[11], 45);
    EXPECT_EQ(s.b[16], 0x10);
}

TEST(DeviceRecords, RingTargetFields)
{
    RingTargetRecord t;
    t.SetCTRL1(0);
    t.SetVariableRingGaps(true);
    t.SetSizesInInch(true);
    t.SetDecimalScores(true);
    EXPECT_EQ(t.CTRL1(), 0xC4);
    EXPECT_FALSE(t.DistanceInYards());
    t.SetSizesInInch(false);
    t.SetDistanceInYards(true);
    t.SetCaliberInInch(true);
    EXPECT_EQ(t.b[16], 0xB4);

    // Each setter writes its own byte (the low byte of a 16-bit field).
    struct Setter {
        const char* field;
        std::function<void(RingTargetRecord&, int)> set;
        int value;
        std::size_t at;
        int byte;
    };
    const Setter setters[] = {
        {"highest ring", &RingTargetRecord::SetHighestRing, 10, 22, 10},
        {"HIB minimum", &RingTargetRecord::SetHIBMinScore, 95, 24, 95},
        {"height", &RingTargetRecord::SetTargetHeight, 18, 27, 18},
        {"prism Y", &RingTargetRecord::SetPrismPlaceY, 600, 31, 600 & 0xFF},
        {"ring gap", &RingTargetRecord::SetHitRingGap, 3, 37, 3},
        {"highest diameter", &RingTargetRecord::SetDiameterHighestRing, 4, 41, 4},
    };
    for (const Setter& s : setters) {
        s.set(t, s.value);
        EXPECT_EQ(t.b[s.at], s.byte) << s.field;
    }

    // Ring T-n sits at byte 40 + 2n; n = 11 is the last field of the record.
    for (int n = 1; n <= 11; ++n)
        t.SetDiameterVariableHminus(n, 1000 + n);
    for (int n = 1; n <= 11; ++n)
        EXPECT_EQ(GetBE16(t.data() + 40 + 2 * n), 1000 + n);
    EXPECT_EQ(t.DiameterHighestRing(), 4);
    const RingTargetRecord before = t;
    EXPECT_THROW(t.DiameterVariableHminus(0), Exception);
    EXPECT_THROW(t.SetDiameterVariableHminus(12, 7), Exception);
    EXPECT_EQ(t, before);

    // The name fills 16 bytes without a terminator and leaves CTRL1 alone.
    t.SetNameText(QStringLiteral("ISSF 10m Air Rifle"));
    EXPECT_EQ(t.NameText(), QStringLiteral("ISSF 10m Air Rif"));
    EXPECT_EQ(t.b[16], 0xB4);
    t.SetNameText(QStringLiteral("ab"));
    EXPECT_EQ(t.b[2] | t.b[15], 0);

    SilhouetteTargetRecord sil;
    sil.SetNameText(QStringLiteral("Fig 11"));
    sil.SetCTRL1(0);
    sil.SetSizeInInch(true);
    sil.SetDistanceInYards(true);
    EXPECT_EQ(sil.CTRL1(), 0x50);
}

TEST(DeviceRecords, SilhouetteMatrixCellsAndRows)
{
    SilhouetteMatrix m;
    // Column-major: moving one column moves 64 bytes.
    m.SetCell(0, 0, 1);
    m.SetCell(1, 0, 2);
    m.SetCell(0, 1, 3);
    m.SetCell(63, 63, 2);
    EXPECT_EQ(m.b[8], 1);
    EXPECT_EQ(m.b[8 + 64], 2);
    EXPECT_EQ(m.b[9], 3);
    EXPECT_EQ(m.b[4103], 2);
    EXPECT_EQ(m.Cell(1, 0), 2);

    // Outside the grid nothing is read or written.
    const SilhouetteMatrix before = m;
    m.SetCell(64, 0, 3);
    m.SetCell(0, -1, 3);
    EXPECT_EQ(m, before);
    EXPECT_EQ(m.Cell(64, 63) + m.Cell(0, 64), 0);
    m.SetCell(2, 2, 7);
    EXPECT_EQ(m.Cell(2, 2), 3);

    // Row packing: byte j holds columns 4j..4j+3 from the high bits down.
    SilhouetteMatrix row;
    row.SetCell(0, 5, 3);
    row.SetCell(1, 5, 2);
    row.SetCell(2, 5, 1);
    row.SetCell(63, 5, 1);
    row.SetCell(0, 6, 3); // another row stays out
    uint8_t packed[16];
    row.PackRow(5, packed);
    EXPECT_EQ(packed[0], 0xE4);
    EXPECT_EQ(packed[15], 0x01);
    for (int j = 1; j < 15; ++j)
        EXPECT_EQ(packed[j], 0) << j;

    // A damaged cell above 3 must not spill into its neighbours.
    SilhouetteMatrix damaged;
    damaged.b[8 + 64 * 1 + 0] = 0xFF; // column 1, row 0
    damaged.PackRow(0, packed);
    EXPECT_EQ(packed[0], 0x30);

    // Round trip of every row of a patterned matrix.
    SilhouetteMatrix src;
    for (int c = 0; c < 64; ++c)
        for (int r = 0; r < 64; ++r)
            src.SetCell(c, r, (c * 7 + r * 3) % 4);
    SilhouetteMatrix dst;
    for (int r = 0; r < 64; ++r) {
        src.PackRow(r, packed);
        dst.UnpackRow(r, packed);
    }
    for (int c = 0; c < 64; ++c)
        for (int r = 0; r < 64; ++r)
            ASSERT_EQ(dst.Cell(c, r), src.Cell(c, r)) << c << "," << r;

    // Rows outside the grid pack as zeros and unpack to nothing.
    std::fill(std::begin(packed), std::end(packed), uint8_t(0xAA));
    src.PackRow(64, packed);
    for (uint8_t v : packed)
        EXPECT_EQ(v, 0);
    std::fill(std::begin(packed), std::end(packed), uint8_t(0xFF));
    const SilhouetteMatrix dstBefore = dst;
    dst.UnpackRow(-1, packed);
    dst.UnpackRow(64, packed);
    EXPECT_EQ(dst, dstBefore);
}

TEST(DeviceRecords, ModeAndSetupBlocks)
{
    ModeBlock m;
    EXPECT_FALSE(m.InUse());
    m.SetSleepEnable(true);
    m.SetHIBEnable(true);
    EXPECT_FALSE(m.InUse());
    m.SetSilhouetteEnabled(true);
    EXPECT_TRUE(m.InUse());
    m.SetSilhouetteEnabled(false);
    m.SetRingTargetEnabled(true);
    EXPECT_TRUE(m.InUse());
    EXPECT_EQ(m.CTRL1(), 0x1A);
    m.SetDisplayEnable(true);
    m.SetSoundEnable(true);
    EXPECT_EQ(m.CTRL2(), 0x21);

    SetupBlocks s;
    s.SetModeBlock(SetupBlocks::DynamicBlock, m);
    EXPECT_EQ(s.b[32], m.CTRL1());
    EXPECT_EQ(s.GetModeBlock(SetupBlocks::DynamicBlock), m);
    EXPECT_FALSE(s.GetModeBlock(SetupBlocks::ClassicBlock).InUse());
    EXPECT_EQ(s.Block(3), s.data() + 48);

    s.SetDeviceMounting(7);
    EXPECT_EQ(s.DeviceMounting(), 3);
    s.SetArrowsUnlocked(true);
    s.SetDeviceMounting(1);
    EXPECT_EQ(s.b[0], 0x11);
    EXPECT_TRUE(s.ArrowsUnlocked());
    s.SetFunctionMode(2);
    EXPECT_EQ(s.b[2], 2);

    const SetupBlocks before = s;
    EXPECT_THROW(s.Block(4), Exception);
    EXPECT_THROW(s.SetModeBlock(4, m), Exception);
    EXPECT_THROW(s.GetModeBlock(-1), Exception);
    EXPECT_EQ(s, before);
}
