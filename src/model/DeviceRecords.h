// The fixed byte records exchanged with the optical unit. Each record is the
// unit's bytes exactly (std::array, no packed structs) so that it round-trips
// unchanged to files and units; named accessors read and write the fields.
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
    int U16(std::size_t at) const { return GetBE16(b.data() + at); }
    int S16(std::size_t at) const { return GetBE16Signed(b.data() + at); }
    void Put16(std::size_t at, int v) { PutBE16(b.data() + at, v); }
};

// Accessors are added per record; the bytes are always reachable through b.
struct RawShotRecord : ByteRecord<36> {};          // 0xCA "j": one shot result
struct TraceSample : ByteRecord<20> {};            // 0xCA "e": one live aiming sample
struct SampleT1 : ByteRecord<21> {};               // 0xCA "U"
struct SampleT2 : ByteRecord<46> {};               // 0xCA "V"
struct RingTargetRecord : ByteRecord<64> {};       // name block, then three device blocks
struct SilhouetteTargetRecord : ByteRecord<48> {}; // bytes 32-47 stay in the program
struct SilhouetteMatrix : ByteRecord<4104> {};     // 8 header bytes, 64 x 64 cells column by column
struct ModeBlock : ByteRecord<16> {};              // one training mode
struct SetupBlocks : ByteRecord<64> {};            // general, classic, dynamic, further settings

static_assert(sizeof(RawShotRecord) == 36);
static_assert(sizeof(TraceSample) == 20);
static_assert(sizeof(SampleT1) == 21);
static_assert(sizeof(SampleT2) == 46);
static_assert(sizeof(RingTargetRecord) == 64);
static_assert(sizeof(SilhouetteTargetRecord) == 48);
static_assert(sizeof(SilhouetteMatrix) == 4104);
static_assert(sizeof(ModeBlock) == 16);
static_assert(sizeof(SetupBlocks) == 64);
