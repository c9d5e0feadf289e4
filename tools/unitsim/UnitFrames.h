// The simulated unit's own view of the wire: cutting command frames out of
// what the program writes, and building every frame the unit sends. Kept
// apart from the program's frame code on purpose, so that a fault there
// cannot hide itself in the tests that run against this simulator.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace unitsim {

using Bytes = std::vector<uint8_t>;
using Block16 = std::array<uint8_t, 16>;

// 8-bit additive sum of the first length bytes.
uint8_t Checksum(const uint8_t* data, std::size_t length);
// Last byte equals the sum of all earlier ones.
bool ChecksumOk(const uint8_t* frame, std::size_t length);
// Sets the last byte to the sum of the others; returns the frame.
Bytes Sealed(Bytes frame);

// Length of a command frame from its letter; 0 for a letter the unit does
// not know.
std::size_t CommandLength(uint8_t letter);

// Cuts command frames out of the received byte stream. An unknown letter or
// a complete frame with a bad checksum costs one byte; an incomplete frame
// waits for more.
class TCommandDecoder {
public:
    void Feed(const uint8_t* data, std::size_t length, std::vector<Bytes>& frames);
    void Reset() { buffer_.clear(); }

    uint64_t SkippedBytes() const { return skipped_; }
    uint64_t ChecksumFailures() const { return checksumFailures_; }
    std::size_t Pending() const { return buffer_.size(); }

private:
    Bytes buffer_;
    uint64_t skipped_ = 0;
    uint64_t checksumFailures_ = 0;
};

// One live aiming point as the unit measures it.
struct SimSample {
    int16_t x = 0;        // raw units
    int16_t y = 0;
    int16_t tilt = 0;     // sine x 1000
    int16_t rotation = 0; // sine x 1000
    uint8_t flags = 0;    // non-zero: invalid sample
    uint16_t sequence = 0;
};

// One shot as a test fires it. Negative values of time, startupCounter and
// functionMode are filled in by the unit.
struct SimShot {
    int16_t x = 0;        // XNAU, raw units
    int16_t y = 0;        // YNAU
    int16_t tilt = 0;
    int16_t rotation = 0;
    int32_t time = -1;    // ticks of 1/66 s, 24 bits
    int startupCounter = -1;
    int functionMode = -1;
    uint8_t flags = 0;    // byte 12
    uint8_t failures = 0; // byte 27
    uint8_t ringTarget = 255;
    uint8_t silhouetteTarget = 255;
    int16_t revalm = 0;   // measured distance, 0.1 m
    // What the unit works out itself (bytes 24-26, 30-33): a zero stays zero.
    uint8_t score = 0;
    uint8_t sector = 0;
    uint8_t zone = 0;     // silhouette zone 0-3
    int16_t xTenthMm = 0; // position on the target, 0.1 mm
    int16_t yTenthMm = 0;
};

// Frames the unit sends. Each comes back sealed with its checksum.
Bytes AckFrame(uint8_t letter, uint8_t b2 = 0, uint8_t b3 = 0);              // 5
Bytes RegisterFrame(uint8_t reg, const Block16& data);                      // 20, "Yc"
Bytes ParameterFrame(uint8_t address, const Block16& data);                 // 20, "Ye"
Bytes RingBlockFrame(uint8_t target, uint8_t block, const Block16& data);   // 21, "Ym"
Bytes SilhouetteFrame(uint8_t target, uint8_t packet, const Block16& data); // 21, "Yg"
Bytes SampleFrame(const SimSample& sample);                                 // 20, 0xCA "e"
Bytes SampleT1Frame(uint16_t a, uint16_t b, uint16_t c, uint16_t d);        // 21, 0xCA "U"
Bytes SampleT2Frame(uint16_t lgX, uint16_t lgY, uint16_t hgX, uint16_t hgY, uint16_t dist); // 46
Bytes ErrorReportFrame(uint8_t code);                                        // 16, 0xCA "c"
// The shot is complete here (no negative fields left); number is byte 2 and
// tag a 24-bit value in bytes 21-23 that keeps every result distinct.
Bytes ShotResultFrame(const SimShot& shot, uint8_t number, uint32_t tag);   // 36, 0xCA "j"

inline constexpr uint8_t LeadReply = 0x59;       // "Y"
inline constexpr uint8_t LeadMeasurement = 0xCA;
inline constexpr uint8_t PowerUpByte = 0x2D;     // "-"

} // namespace unitsim
