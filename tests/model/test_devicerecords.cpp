#include "DeviceRecords.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

// One field of a record: what its setter writes into a cleared record and
// what its getter reads back from that.
struct Field {
    const char* name;
    std::size_t at;
    std::vector<uint8_t> bytes;   // expected from offset at on
    int read;                     // expected from the getter
    std::function<std::pair<std::vector<uint8_t>, int>()> write;
};

// A 16-bit field set to -200: 0xFF38 big-endian, read as -200 when signed,
// 65336 when not.
template <class R>
Field Field16(const char* name, void (R::*set)(int), int (R::*get)() const, std::size_t at, bool isSigned)
{
    return { name, at, { 0xFF, 0x38 }, isSigned ? -200 : 65336, [=] {
                R r;
                (r.*set)(-200);
                return std::pair { std::vector<uint8_t>(r.b.begin(), r.b.end()), (r.*get)() };
            } };
}

// An 8-bit field set to 0x1AB: only the low byte is kept.
template <class R>
Field Field8(const char* name, void (R::*set)(int), int (R::*get)() const, std::size_t at)
{
    return { name, at, { 0xAB }, 0xAB, [=] {
                R r;
                (r.*set)(0x1AB);
                return std::pair { std::vector<uint8_t>(r.b.begin(), r.b.end()), (r.*get)() };
            } };
}

// A flag: its bit alone set in its byte.
template <class R>
Field Flag(const char* name, void (R::*set)(bool), bool (R::*get)() const, std::size_t at, int bit)
{
    return { name, at, { uint8_t(1u << bit) }, 1, [=] {
                R r;
                (r.*set)(true);
                return std::pair { std::vector<uint8_t>(r.b.begin(), r.b.end()), int((r.*get)()) };
            } };
}

} // namespace

// The unit's byte layout: each setter writes its own bytes and nothing else.
TEST(DeviceRecords, FieldLayout)
{
    using Shot = RawShotRecord;
    using Ring = RingTargetRecord;
    using Sil = SilhouetteTargetRecord;
    const Field fields[] = {
        Field8("shot number", &Shot::SetShotNumber, &Shot::ShotNumber, 2),
        Field16("shot XNAU", &Shot::SetXNAU, &Shot::XNAU, 4, true),
        Field16("shot YNAU", &Shot::SetYNAU, &Shot::YNAU, 6, true),
        Field16("shot tilt", &Shot::SetTilt, &Shot::Tilt, 8, true),
        Field16("shot rotation", &Shot::SetRotation, &Shot::Rotation, 10, true),
        Field8("shot ring target", &Shot::SetRingTargetIndex, &Shot::RingTargetIndex, 14),
        Field8("shot silhouette target", &Shot::SetSilhouetteTargetIndex, &Shot::SilhouetteTargetIndex, 15),
        Field8("shot function mode", &Shot::SetFunctionMode, &Shot::FunctionMode, 16),
        Field8("shot score", &Shot::SetScore, &Shot::Score, 24),
        Field8("shot failures", &Shot::SetFailures, &Shot::Failures, 27),
        Field16("shot Revalm", &Shot::SetRevalm, &Shot::Revalm, 28, true),
        Field16("shot X", &Shot::SetX, &Shot::X, 30, true),
        Field16("shot Y", &Shot::SetY, &Shot::Y, 32, true),
        Field16("sample X", &TraceSample::SetX, &TraceSample::X, 4, true),
        Field16("sample rotation", &TraceSample::SetRotation, &TraceSample::Rotation, 10, true),
        Field8("sample failures", &TraceSample::SetFailures, &TraceSample::Failures, 16),
        Field16("ring distance", &Ring::SetNominalDistance, &Ring::NominalDistance, 18, false),
        Field16("ring caliber", &Ring::SetCaliber, &Ring::Caliber, 20, true),
        Field8("ring highest", &Ring::SetHighestRing, &Ring::HighestRing, 22),
        Field8("ring HIB minimum", &Ring::SetHIBMinScore, &Ring::HIBMinScore, 24),
        Field8("ring height", &Ring::SetTargetHeight, &Ring::TargetHeight, 27),
        Field16("ring prism Y", &Ring::SetPrismPlaceY, &Ring::PrismPlaceY, 30, false),
        Field16("ring gap", &Ring::SetHitRingGap, &Ring::HitRingGap, 36, false),
        Field16("ring inner ten", &Ring::SetDiameterX, &Ring::DiameterX, 38, false),
        Field16("ring highest diameter", &Ring::SetDiameterHighestRing, &Ring::DiameterHighestRing, 40, false),
        Flag("ring decimal", &Ring::SetDecimalScores, &Ring::DecimalScores, 16, 2),
        Flag("ring yards", &Ring::SetDistanceInYards, &Ring::DistanceInYards, 16, 4),
        Flag("ring caliber inch", &Ring::SetCaliberInInch, &Ring::CaliberInInch, 16, 5),
        Flag("ring sizes inch", &Ring::SetSizesInInch, &Ring::SizesInInch, 16, 6),
        Flag("ring variable gaps", &Ring::SetVariableRingGaps, &Ring::VariableRingGaps, 16, 7),
        Field16("silhouette distance", &Sil::SetNominalDistance, &Sil::NominalDistance, 18, false),
        Field16("silhouette size", &Sil::SetSize, &Sil::Size, 26, false),
        Field16("silhouette prism X", &Sil::SetPrismPlaceX, &Sil::PrismPlaceX, 28, true),
        Flag("silhouette yards", &Sil::SetDistanceInYards, &Sil::DistanceInYards, 16, 4),
        Flag("silhouette inch", &Sil::SetSizeInInch, &Sil::SizeInInch, 16, 6),
        Flag("mode silhouette", &ModeBlock::SetSilhouetteEnabled, &ModeBlock::SilhouetteEnabled, 0, 0),
        Flag("mode ring", &ModeBlock::SetRingTargetEnabled, &ModeBlock::RingTargetEnabled, 0, 1),
        Flag("mode HIB", &ModeBlock::SetHIBEnable, &ModeBlock::HIBEnable, 0, 3),
        Flag("mode sleep", &ModeBlock::SetSleepEnable, &ModeBlock::SleepEnable, 0, 4),
        Flag("mode display", &ModeBlock::SetDisplayEnable, &ModeBlock::DisplayEnable, 1, 0),
        Flag("mode sound", &ModeBlock::SetSoundEnable, &ModeBlock::SoundEnable, 1, 5),
    };
    for (const Field& f : fields) {
        SCOPED_TRACE(f.name);
        const auto [bytes, read] = f.write();
        std::vector<uint8_t> expected(bytes.size(), 0);
        std::copy(f.bytes.begin(), f.bytes.end(), expected.begin() + std::ptrdiff_t(f.at));
        EXPECT_EQ(std::tuple(bytes, read), std::tuple(expected, f.read));
    }
}

TEST(DeviceRecords, TimeSectorAndVariableRings)
{
    // The time is 24 bits at 18..20; higher bits are dropped.
    RawShotRecord r;
    r.SetTime(0xABCDEF01);
    EXPECT_EQ(std::tuple(r.Time(), r.b[17] | r.b[21], r.b[18]), std::tuple(0xCDEF01u, 0, 0xCD));

    // Sector keeps the unit's bits 4-6 when the clock and inner-ten parts change.
    r.SetSector(0x70);
    r.SetClockSector(12);
    r.SetInnerTen(true);
    EXPECT_EQ(r.Sector(), 0xFC);
    r.SetInnerTen(false);
    r.SetClockSector(3);
    EXPECT_EQ(std::tuple(r.Sector(), r.ClockSector()), std::tuple(0x73, 3));

    // Ring T-n sits at byte 40 + 2n; n = 11 is the last field of the record.
    RingTargetRecord t;
    for (int n = 1; n <= 11; ++n)
        t.SetDiameterVariableHminus(n, 1000 + n);
    for (int n = 1; n <= 11; ++n)
        EXPECT_EQ(GetBE16(t.data() + 40 + 2 * n), 1000 + n);
    const RingTargetRecord before = t;
    EXPECT_THROW(t.DiameterVariableHminus(0), Exception);
    EXPECT_THROW(t.SetDiameterVariableHminus(12, 7), Exception);
    EXPECT_EQ(t, before);

    // The name fills 16 bytes without a terminator (in the code page), leaves
    // CTRL1 alone, and reads up to the first zero.
    t.SetCTRL1(0xB4);
    t.SetNameText(QString::fromUtf8("\xe2\x82\xac ISSF 10m Air Rifle"));
    EXPECT_EQ(t.NameText(), QString::fromUtf8("\xe2\x82\xac ISSF 10m Air R"));
    EXPECT_EQ(t.b[0] + t.b[16], 0x80 + 0xB4);
    t.SetNameText(QStringLiteral("ab"));
    EXPECT_EQ(t.b[2] | t.b[15], 0);
    t.b[4] = 'x';
    EXPECT_EQ(t.NameText(), QStringLiteral("ab"));
}

TEST(DeviceRecords, SilhouetteMatrixCellsAndRows)
{
    SilhouetteMatrix m;
    // Column-major: moving one column moves 64 bytes.
    m.SetCell(1, 0, 2);
    m.SetCell(0, 1, 3);
    m.SetCell(63, 63, 2);
    EXPECT_EQ(std::tuple(m.b[8 + 64], m.b[9], m.b[4103]), std::tuple(2, 3, 2));

    // Outside the grid nothing is read or written; values keep two bits.
    const SilhouetteMatrix before = m;
    m.SetCell(64, 0, 3);
    m.SetCell(0, -1, 3);
    EXPECT_EQ(std::tuple(m, m.Cell(64, 63) + m.Cell(0, 64)), std::tuple(before, 0));
    m.SetCell(2, 2, 7);
    EXPECT_EQ(m.Cell(2, 2), 3);

    // Row packing: byte j holds columns 4j..4j+3 from the high bits down;
    // a damaged cell above 3 must not spill into its neighbours.
    SilhouetteMatrix row;
    row.SetCell(0, 5, 3);
    row.SetCell(1, 5, 2);
    row.SetCell(2, 5, 1);
    row.SetCell(63, 5, 1);
    row.SetCell(0, 6, 3); // another row stays out
    row.b[8 + 64 * 1 + 4] = 0xFF; // column 1, row 4
    uint8_t packed[16];
    row.PackRow(5, packed);
    EXPECT_EQ(std::vector<uint8_t>(packed, packed + 16),
              (std::vector<uint8_t> { 0xE4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01 }));
    row.PackRow(4, packed);
    EXPECT_EQ(packed[0], 0x30);

    // Rows outside the grid pack as zeros and unpack to nothing. (Every row
    // of a matrix is rechecked against the simulated unit's own unpacking.)
    std::fill(std::begin(packed), std::end(packed), uint8_t(0xAA));
    row.PackRow(64, packed);
    EXPECT_EQ(std::count(std::begin(packed), std::end(packed), 0), 16);
    std::fill(std::begin(packed), std::end(packed), uint8_t(0xFF));
    const SilhouetteMatrix kept = row;
    row.UnpackRow(-1, packed);
    row.UnpackRow(64, packed);
    EXPECT_EQ(row, kept);
}

TEST(DeviceRecords, ModeAndSetupBlocks)
{
    // Sleep and HIB alone do not put a mode in use; a target does.
    ModeBlock m;
    m.SetSleepEnable(true);
    m.SetHIBEnable(true);
    EXPECT_FALSE(m.InUse());
    m.SetSilhouetteEnabled(true);
    EXPECT_TRUE(m.InUse());
    m.SetSilhouetteEnabled(false);
    m.SetRingTargetEnabled(true);
    EXPECT_TRUE(m.InUse());

    SetupBlocks s;
    s.SetModeBlock(SetupBlocks::DynamicBlock, m);
    EXPECT_EQ(std::tuple(s.b[32], s.GetModeBlock(SetupBlocks::DynamicBlock)), std::tuple(m.CTRL1(), m));
    s.SetDeviceMounting(7);  // two bits
    EXPECT_EQ(s.DeviceMounting(), 3);
    s.SetArrowsUnlocked(true);
    s.SetDeviceMounting(1);
    s.SetFunctionMode(2);
    EXPECT_EQ(s.b[0] + s.b[2], 0x11 + 2);

    const SetupBlocks before = s;
    EXPECT_THROW(s.Block(4), Exception);
    EXPECT_THROW(s.SetModeBlock(4, m), Exception);
    EXPECT_THROW(s.GetModeBlock(-1), Exception);
    EXPECT_EQ(s, before);
}
