// The fixed byte records exchanged with the optical unit. Each record is the
// unit's bytes exactly (std::array, no packed structs) so that it round-trips
// unchanged to files and units; named accessors read and write the fields.
// Multi-byte fields are big-endian; setters store the low 8 or 16 bits.
#pragma once

#include "Globals.h"

#include <array>
#include <cstdint>
#include <cstring>

template <std::size_t N>
struct ByteRecord {
    static constexpr std::size_t Size = N;
    std::array<uint8_t, N> b{};

    uint8_t* data() { return b.data(); }
    const uint8_t* data() const { return b.data(); }
    static constexpr std::size_t size() { return N; }
    void Clear() { b.fill(0); }
    bool operator==(const ByteRecord&) const = default;

protected:
    int U8(std::size_t at) const { return b[at]; }
    void Put8(std::size_t at, int v) { b[at] = uint8_t(v & 0xFF); }
    int U16(std::size_t at) const { return GetBE16(b.data() + at); }
    int S16(std::size_t at) const { return GetBE16Signed(b.data() + at); }
    void Put16(std::size_t at, int v) { PutBE16(b.data() + at, v); }
    bool Bit(std::size_t at, int bit) const { return (b[at] >> bit) & 1; }
    void SetBit(std::size_t at, int bit, bool on) { AssignBit(b[at], bit, on); }

private:
    static void AssignBit(uint8_t& byte, int bit, bool on)
    {
        const unsigned mask = 1u << bit;
        byte = uint8_t(on ? (byte | mask) : (byte & ~mask));
    }
};

// 0xCA "j": one shot result, kept whole (lead and checksum included).
struct RawShotRecord : ByteRecord<36> {
    // Flags byte: the FOV and FSI failures do not count.
    static constexpr int FlagIgnoreFovFsi = 0x04;
    // Failures byte.
    static constexpr int FailLowSignal = 0x01;
    static constexpr int FailHighSignal = 0x02;
    static constexpr int FailFOV = 0x10;
    static constexpr int FailAngle = 0x20;
    static constexpr int FailFSI = 0x40;
    // Target index of a shot taken without that kind of target.
    static constexpr int NoTarget = 255;

    int ShotNumber() const { return U8(2); }
    void SetShotNumber(int v) { Put8(2, v); }
    int XNAU() const { return S16(4); }
    void SetXNAU(int v) { Put16(4, v); }
    int YNAU() const { return S16(6); }
    void SetYNAU(int v) { Put16(6, v); }
    int Tilt() const { return S16(8); }
    void SetTilt(int v) { Put16(8, v); }
    int Rotation() const { return S16(10); }
    void SetRotation(int v) { Put16(10, v); }
    int Flags() const { return U8(12); }
    void SetFlags(int v) { Put8(12, v); }
    int RingTargetIndex() const { return U8(14); }
    void SetRingTargetIndex(int v) { Put8(14, v); }
    int SilhouetteTargetIndex() const { return U8(15); }
    void SetSilhouetteTargetIndex(int v) { Put8(15, v); }
    int FunctionMode() const { return U8(16); }
    void SetFunctionMode(int v) { Put8(16, v); }
    int StartupCounter() const { return U8(17); }
    void SetStartupCounter(int v) { Put8(17, v); }
    // 24-bit, ticks of 1/66 s.
    uint32_t Time() const { return (uint32_t(b[18]) << 16) | (uint32_t(b[19]) << 8) | b[20]; }
    void SetTime(uint32_t v)
    {
        b[18] = uint8_t((v >> 16) & 0xFF);
        b[19] = uint8_t((v >> 8) & 0xFF);
        b[20] = uint8_t(v & 0xFF);
    }
    // Decimal ring score x 10; NoScore when unknown (a damaged file's value).
    static constexpr int NoScore = 255;
    int Score() const { return U8(24); }
    bool HasScore() const { return Score() != NoScore; }
    void SetScore(int v) { Put8(24, v); }
    // Bits 0-3 clock sector, bit 7 inner ten; bits 4-6 belong to the unit.
    int Sector() const { return U8(25); }
    void SetSector(int v) { Put8(25, v); }
    int ClockSector() const { return b[25] & 0x0F; }
    void SetClockSector(int v) { b[25] = uint8_t((b[25] & 0xF0) | (v & 0x0F)); }
    bool InnerTen() const { return Bit(25, 7); }
    void SetInnerTen(bool on) { SetBit(25, 7, on); }
    int Silhouette() const { return U8(26); }
    void SetSilhouette(int v) { Put8(26, v); }
    int Failures() const { return U8(27); }
    void SetFailures(int v) { Put8(27, v); }
    // Measured distance in 0.1 m.
    int Revalm() const { return S16(28); }
    void SetRevalm(int v) { Put16(28, v); }
    // Position on the target in 0.1 mm.
    int X() const { return S16(30); }
    void SetX(int v) { Put16(30, v); }
    int Y() const { return S16(32); }
    void SetY(int v) { Put16(32, v); }
};

// 0xCA "e": one live aiming sample.
struct TraceSample : ByteRecord<20> {
    // Set in the failures byte when a scaled position did not fit 16 bits.
    static constexpr int FailOverflow = 0x10;

    int X() const { return S16(4); }
    void SetX(int v) { Put16(4, v); }
    int Y() const { return S16(6); }
    void SetY(int v) { Put16(6, v); }
    int Tilt() const { return S16(8); }
    void SetTilt(int v) { Put16(8, v); }
    int Rotation() const { return S16(10); }
    void SetRotation(int v) { Put16(10, v); }
    int Failures() const { return U8(16); }
    void SetFailures(int v) { Put8(16, v); }
};

// 0xCA "U"; stored, not interpreted.
struct SampleT1 : ByteRecord<21> {
    int A() const { return U16(4); }
    void SetA(int v) { Put16(4, v); }
    int B() const { return U16(6); }
    void SetB(int v) { Put16(6, v); }
    int C() const { return U16(8); }
    void SetC(int v) { Put16(8, v); }
    int D() const { return U16(10); }
    void SetD(int v) { Put16(10, v); }
};

// 0xCA "V"; stored, not interpreted.
struct SampleT2 : ByteRecord<46> {
    int LgX() const { return U16(20); }
    void SetLgX(int v) { Put16(20, v); }
    int LgY() const { return U16(22); }
    void SetLgY(int v) { Put16(22, v); }
    int HgX() const { return U16(24); }
    void SetHgX(int v) { Put16(24, v); }
    int HgY() const { return U16(26); }
    void SetHgY(int v) { Put16(26, v); }
    int Dist() const { return U16(40); }
    void SetDist(int v) { Put16(40, v); }
};

// Name block, then the unit's three device blocks. Sizes are in 0.1 mm (0.01
// inch with SizesInInch), distances in 0.1 m (0.1 yd with DistanceInYards).
struct RingTargetRecord : ByteRecord<64> {
    static constexpr int VariableRingCount = 11;

    QString NameText() const { return TargetNameToString(b.data()); }
    void SetNameText(const QString& text) { StringToTargetName(text, b.data()); }

    int CTRL1() const { return U8(16); }
    void SetCTRL1(int v) { Put8(16, v); }
    bool DecimalScores() const { return Bit(16, 2); }
    void SetDecimalScores(bool on) { SetBit(16, 2, on); }
    bool DistanceInYards() const { return Bit(16, 4); }
    void SetDistanceInYards(bool on) { SetBit(16, 4, on); }
    bool CaliberInInch() const { return Bit(16, 5); }
    void SetCaliberInInch(bool on) { SetBit(16, 5, on); }
    bool SizesInInch() const { return Bit(16, 6); }
    void SetSizesInInch(bool on) { SetBit(16, 6, on); }
    bool VariableRingGaps() const { return Bit(16, 7); }
    void SetVariableRingGaps(bool on) { SetBit(16, 7, on); }
    int CTRL2() const { return U8(17); }
    void SetCTRL2(int v) { Put8(17, v); }

    int NominalDistance() const { return U16(18); }
    void SetNominalDistance(int v) { Put16(18, v); }
    // 0.01 mm, or 0.001 inch with CaliberInInch.
    int Caliber() const { return S16(20); }
    void SetCaliber(int v) { Put16(20, v); }
    int HighestRing() const { return U8(22); }
    void SetHighestRing(int v) { Put8(22, v); }
    int MinimumRing() const { return U8(23); }
    void SetMinimumRing(int v) { Put8(23, v); }
    // Score x 10.
    int HIBMinScore() const { return U8(24); }
    void SetHIBMinScore(int v) { Put8(24, v); }
    int TargetWidth() const { return U8(26); }
    void SetTargetWidth(int v) { Put8(26, v); }
    int TargetHeight() const { return U8(27); }
    void SetTargetHeight(int v) { Put8(27, v); }
    int PrismPlaceX() const { return U16(28); }
    void SetPrismPlaceX(int v) { Put16(28, v); }
    int PrismPlaceY() const { return U16(30); }
    void SetPrismPlaceY(int v) { Put16(30, v); }
    int DiameterInnerWhite() const { return U16(32); }
    void SetDiameterInnerWhite(int v) { Put16(32, v); }
    int DiameterBlackArea() const { return U16(34); }
    void SetDiameterBlackArea(int v) { Put16(34, v); }
    int HitRingGap() const { return U16(36); }
    void SetHitRingGap(int v) { Put16(36, v); }
    int DiameterX() const { return U16(38); }
    void SetDiameterX(int v) { Put16(38, v); }
    int DiameterHighestRing() const { return U16(40); }
    void SetDiameterHighestRing(int v) { Put16(40, v); }
    // Diameter of ring HighestRing - n, n = 1..11; any other n throws, since
    // the field would lie outside the record.
    int DiameterVariableHminus(int n) const { return U16(VariableOffset(n)); }
    void SetDiameterVariableHminus(int n, int v) { Put16(VariableOffset(n), v); }

private:
    static std::size_t VariableOffset(int n)
    {
        if (n < 1 || n > VariableRingCount)
            throw Exception("DiameterVariableHminus: ring index out of range");
        return std::size_t(40 + 2 * n);
    }
};

// Bytes 0-31 travel to the unit; the two doubles stay in the program.
struct SilhouetteTargetRecord : ByteRecord<48> {
    QString NameText() const { return TargetNameToString(b.data()); }
    void SetNameText(const QString& text) { StringToTargetName(text, b.data()); }

    int CTRL1() const { return U8(16); }
    void SetCTRL1(int v) { Put8(16, v); }
    bool DistanceInYards() const { return Bit(16, 4); }
    void SetDistanceInYards(bool on) { SetBit(16, 4, on); }
    bool SizeInInch() const { return Bit(16, 6); }
    void SetSizeInInch(bool on) { SetBit(16, 6, on); }
    int NominalDistance() const { return U16(18); }
    void SetNominalDistance(int v) { Put16(18, v); }
    // Side of the square target: mm, or 0.1 inch with SizeInInch.
    int Size() const { return U16(26); }
    void SetSize(int v) { Put16(26, v); }
    int PrismPlaceX() const { return S16(28); }
    void SetPrismPlaceX(int v) { Put16(28, v); }
    int PrismPlaceY() const { return S16(30); }
    void SetPrismPlaceY(int v) { Put16(30, v); }

    // Host byte order: these never leave the program in binary form.
    double Width() const { return GetDouble(32); }
    void SetWidth(double v) { PutDouble(32, v); }
    double Height() const { return GetDouble(40); }
    void SetHeight(double v) { PutDouble(40, v); }

private:
    double GetDouble(std::size_t at) const
    {
        double v;
        std::memcpy(&v, b.data() + at, sizeof v);
        return v;
    }
    void PutDouble(std::size_t at, double v) { std::memcpy(b.data() + at, &v, sizeof v); }
};

// 8 header bytes, then 64 x 64 zone cells (0 miss, 1-3) column by column.
// On the wire a row travels as 16 bytes of four 2-bit cells each.
struct SilhouetteMatrix : ByteRecord<4104> {
    static constexpr int Columns = 64;
    static constexpr int Rows = 64;
    static constexpr int PackedRowSize = 16;

    static bool InRange(int c, int r) { return c >= 0 && c < Columns && r >= 0 && r < Rows; }

    // Outside the grid: reads give 0, writes are ignored.
    int Cell(int c, int r) const { return InRange(c, r) ? b[CellOffset(c, r)] : 0; }
    void SetCell(int c, int r, int v)
    {
        if (InRange(c, r))
            b[CellOffset(c, r)] = uint8_t(v & 3);
    }

    // Data byte j holds columns 4j..4j+3 in bits 7-6, 5-4, 3-2, 1-0. Cells are
    // masked so that a damaged value cannot spill into its neighbours. A row
    // outside the grid packs as zeros.
    void PackRow(int r, uint8_t out[PackedRowSize]) const
    {
        for (int j = 0; j < PackedRowSize; ++j) {
            int v = 0;
            if (r >= 0 && r < Rows) {
                for (int k = 0; k < 4; ++k)
                    v |= (b[CellOffset(4 * j + k, r)] & 3) << (6 - 2 * k);
            }
            out[j] = uint8_t(v);
        }
    }
    // A row outside the grid is ignored.
    void UnpackRow(int r, const uint8_t in[PackedRowSize])
    {
        if (r < 0 || r >= Rows)
            return;
        for (int j = 0; j < PackedRowSize; ++j)
            for (int k = 0; k < 4; ++k)
                b[CellOffset(4 * j + k, r)] = uint8_t((in[j] >> (6 - 2 * k)) & 3);
    }

private:
    static std::size_t CellOffset(int c, int r) { return std::size_t(8 + 64 * c + r); }
};

// One training mode.
struct ModeBlock : ByteRecord<16> {
    int CTRL1() const { return U8(0); }
    void SetCTRL1(int v) { Put8(0, v); }
    bool SilhouetteEnabled() const { return Bit(0, 0); }
    void SetSilhouetteEnabled(bool on) { SetBit(0, 0, on); }
    bool RingTargetEnabled() const { return Bit(0, 1); }
    void SetRingTargetEnabled(bool on) { SetBit(0, 1, on); }
    bool HIBEnable() const { return Bit(0, 3); }
    void SetHIBEnable(bool on) { SetBit(0, 3, on); }
    bool SleepEnable() const { return Bit(0, 4); }
    void SetSleepEnable(bool on) { SetBit(0, 4, on); }
    int CTRL2() const { return U8(1); }
    void SetCTRL2(int v) { Put8(1, v); }
    bool DisplayEnable() const { return Bit(1, 0); }
    void SetDisplayEnable(bool on) { SetBit(1, 0, on); }
    bool SoundEnable() const { return Bit(1, 5); }
    void SetSoundEnable(bool on) { SetBit(1, 5, on); }

    int RingTargetNumber() const { return U8(2); }
    void SetRingTargetNumber(int v) { Put8(2, v); }
    int SilhouetteTargetNumber() const { return U8(3); }
    void SetSilhouetteTargetNumber(int v) { Put8(3, v); }
    int NumberOfPrisms() const { return U8(4); }
    void SetNumberOfPrisms(int v) { Put8(4, v); }
    int NumberOfBullets() const { return U8(5); }
    void SetNumberOfBullets(int v) { Put8(5, v); }
    int WakeupAngle() const { return U8(6); }
    void SetWakeupAngle(int v) { Put8(6, v); }
    int ShotRejectionAngle() const { return U8(7); }
    void SetShotRejectionAngle(int v) { Put8(7, v); }
    int SleepTimeout() const { return U8(8); }
    void SetSleepTimeout(int v) { Put8(8, v); }
    int TriggerSensitivity() const { return U8(9); }
    void SetTriggerSensitivity(int v) { Put8(9, v); }
    // 0.1 s.
    int CockingDelay() const { return U8(10); }
    void SetCockingDelay(int v) { Put8(10, v); }

    // A mode with neither a silhouette nor a ring target is not used.
    bool InUse() const { return (b[0] & 0x03) != 0; }
};

// The unit's four settings blocks: general, classic mode, dynamic mode,
// further settings (kept as they are).
struct SetupBlocks : ByteRecord<64> {
    static constexpr int BlockSize = 16;
    static constexpr int BlockCount = 4;
    static constexpr int GeneralBlock = 0;
    static constexpr int ClassicBlock = 1;
    static constexpr int DynamicBlock = 2;
    static constexpr int FurtherBlock = 3;

    // Any block index other than 0..3 throws.
    uint8_t* Block(int i) { return b.data() + BlockOffset(i); }
    const uint8_t* Block(int i) const { return b.data() + BlockOffset(i); }
    ModeBlock GetModeBlock(int i) const
    {
        ModeBlock m;
        std::memcpy(m.data(), Block(i), BlockSize);
        return m;
    }
    void SetModeBlock(int i, const ModeBlock& m) { std::memcpy(Block(i), m.data(), BlockSize); }

    // General block.
    int DeviceMounting() const { return b[0] & 0x03; }
    void SetDeviceMounting(int v) { b[0] = uint8_t((b[0] & ~0x03) | (v & 0x03)); }
    bool ArrowsUnlocked() const { return Bit(0, 4); }
    void SetArrowsUnlocked(bool on) { SetBit(0, 4, on); }
    // 1 classic, 2 dynamic.
    int FunctionMode() const { return U8(2); }
    void SetFunctionMode(int v) { Put8(2, v); }

private:
    static std::size_t BlockOffset(int i)
    {
        if (i < 0 || i >= BlockCount)
            throw Exception("Bad setup block index");
        return std::size_t(i * BlockSize);
    }
};

static_assert(sizeof(RawShotRecord) == 36);
static_assert(sizeof(TraceSample) == 20);
static_assert(sizeof(SampleT1) == 21);
static_assert(sizeof(SampleT2) == 46);
static_assert(sizeof(RingTargetRecord) == 64);
static_assert(sizeof(SilhouetteTargetRecord) == 48);
static_assert(sizeof(SilhouetteMatrix) == 4104);
static_assert(sizeof(ModeBlock) == 16);
static_assert(sizeof(SetupBlocks) == 64);
