// The unit's frame protocol as pure functions: the additive checksum, the
// builders of every command frame, the packet lists of ring and silhouette
// target transfers and their reverse, and the recognition and scanning of the
// frames the unit sends. Nothing here touches a port.
#pragma once

#include "DeviceRecords.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <utility>

// ---- Checksum ------------------------------------------------------------------

// 8-bit sum of the first length bytes; 0 for a length below 1.
uint8_t Checksum(const uint8_t* bytes, int length);
// True when the last byte equals the sum of all earlier ones (a single byte
// must be 0). A length below 1 throws.
bool CheckChecksum(const uint8_t* frame, int length);

// ---- Frames to the unit -----------------------------------------------------------

// One command frame; the checksum is already in place.
struct Frame {
    static constexpr int Capacity = 20;
    std::array<uint8_t, Capacity> bytes{};
    int length = 0;

    const uint8_t* data() const { return bytes.data(); }
    int size() const { return length; }
};

// Byte arguments outside 0..255 (or the narrower ranges noted below) throw
// Exception rather than being wrapped into a different command.

// "a" p1, p2, p3.
Frame BuildModeCommand(int p1, int p2, int p3);
Frame BuildEnterSetupMode();       // "a" 15, 0, 32
Frame BuildStop();                 // "a" 2, 0, 33
Frame BuildLeaveSetupMode();       // "a" 1, 0, 33
Frame BuildStartMeasuring(int mode); // "a" mode, 0, 32; 1 classic, 2 dynamic

// "b" bank, index. Bank 0..6; index 0..254, because 255 erases the bank.
Frame BuildRequestStoredShot(int bank, int index);
// "b" bank, 0xFF: erases every stored shot of the bank (0..6).
Frame BuildClearShotBank(int bank);
// "c" register.
Frame BuildRequestInfo(int infoRegister);
// "d": settings block 0..3, 16 data bytes; last sets bit 7 of the block byte.
Frame BuildSetupBlock(int block, const uint8_t* data16, bool last);
// "e" address (184 reads the name block).
Frame BuildRequestParameterBlock(int address);
// "s": one display line; flags, line number, the first 10 bytes of text
// (already in the unit's code page), zero-padded.
Frame BuildTextLine(int flags, int line, const QByteArray& text);

// ---- Ring target transfer -----------------------------------------------------------
// Four blocks, always in this order: 0 = record bytes 16-31, 1 = 32-47,
// 2 = 48-63, 3 = 0-15 (the name; the last block).

constexpr int RingBlockCount = 4;
constexpr int RingBlockReadLast = 0x83; // "m" block byte that reads block 3

// Record offset of block 0..3; any other block throws.
int RingBlockOffset(int block);

// "l" target, (block & 0x7F) | 0x80 when last, 16 data bytes.
Frame BuildRingTargetBlock(int target, int block, const uint8_t* data16, bool last);
// "l" for block 0..3 of the record; block 3 is marked last.
Frame BuildRingTargetBlock(int target, int block, const RingTargetRecord& record);
std::array<Frame, RingBlockCount> BuildRingTargetFrames(int target, const RingTargetRecord& record);

// "m" target, block byte as sent (0, 1, 2 or 131).
Frame BuildRequestRingTargetBlock(int target, int blockByte);
// The four "m" requests in order: 0, 1, 2, 131.
std::array<Frame, RingBlockCount> BuildRingTargetRequests(int target);

// Stores the 16 data bytes of block 0..3 into the record.
void ApplyRingTargetBlock(RingTargetRecord& record, int block, const uint8_t* data16);
// The same from a whole type-19 reply (data at bytes 4-19).
void ApplyRingBlockReply(RingTargetRecord& record, int block, const uint8_t* reply);
// The answer to the last-block request carries bit 7 in byte 3.
bool IsLastRingBlockReply(const uint8_t* reply);

// ---- Silhouette target transfer ---------------------------------------------------
// 66 packets in order: packet 0 = record bytes 16-31 (the device block),
// packet 1 = record bytes 0-15 (the name), packet 2 + r = matrix row r.

constexpr int SilhouettePacketCount = 66;
constexpr int SilhouetteHeaderPackets = 2;

// "f": target & 0x3F in byte 1 (plus 0x40 for map rows); byte 2 is 0 or 1 for
// the header packets and the row for map rows, with 0x80 on row 63. Packet
// outside 0..65 throws.
Frame BuildSilhouettePacket(int target, int packet, const uint8_t* data16);
// The 16 data bytes of a packet of the target.
void SilhouettePacketData(const SilhouetteTargetRecord& record, const SilhouetteMatrix& matrix,
                          int packet, uint8_t out[16]);
Frame BuildSilhouettePacket(int target, int packet, const SilhouetteTargetRecord& record,
                            const SilhouetteMatrix& matrix);
std::array<Frame, SilhouettePacketCount> BuildSilhouetteFrames(int target, const SilhouetteTargetRecord& record,
                                                                const SilhouetteMatrix& matrix);

// "g": the target with bit 6 cleared for the header packets and set for map
// rows; byte 2 is 0 or 1, or the plain row number.
Frame BuildRequestSilhouettePacket(int target, int packet);
std::array<Frame, SilhouettePacketCount> BuildSilhouetteRequests(int target);

// Stores the 16 data bytes of a packet into record or matrix.
void ApplySilhouettePacket(SilhouetteTargetRecord& record, SilhouetteMatrix& matrix, int packet,
                           const uint8_t* data16);
// The same from a whole type-11 reply (data at bytes 4-19).
void ApplySilhouettePacketReply(SilhouetteTargetRecord& record, SilhouetteMatrix& matrix, int packet,
                                const uint8_t* reply);

// ---- Frames from the unit ---------------------------------------------------------

enum ReplyType : int {
    ReplyNone = 0,
    ReplyPowerUp = 2,          // not a frame: the unit sent "-" after power-up
    ReplyAck = 3,              // "Y" + any unlisted letter, 5 bytes
    ReplySample = 5,           // 0xCA "e", TraceSample, 20
    ReplySampleT1 = 6,         // 0xCA "U", 21
    ReplySampleT2 = 7,         // 0xCA "V", 46
    ReplyShotResult = 8,       // 0xCA "j", RawShotRecord, 36
    ReplySilhouettePacket = 11, // "Yg", 21
    ReplyParameterBlock = 13,  // "Ye", 20
    ReplyInfoRegister = 14,    // "Yc", 20
    ReplyKFrame = 16,          // "Yk", 20
    ReplyShotBankCounts = 17,  // "Yc" with register 32, 20
    ReplyDeviceError = 18,     // 0xCA "c", 16
    ReplyRingBlock = 19,       // "Ym", 21
};

constexpr int MaxReplyLength = 46;

struct FrameInfo {
    int type = ReplyNone;  // ReplyNone when the bytes start no frame
    int length = 0;        // expected length; 0 when no frame
    bool valid = false;    // a frame, wholly buffered, checksum correct
    bool checksumFailed = false; // wholly buffered but the checksum is wrong
    // A shot result whose buffered fields hold values no unit sends (line
    // noise that happens to start like one, or passes the 8-bit checksum):
    // no frame, whether complete or not.
    bool impossible = false;
};

// Type and length from the two lead bytes (three for "Yc"). Fewer than two
// bytes identify nothing.
FrameInfo IdentifyFrame(const uint8_t* bytes, int remaining);

// False when the buffered part of a shot result (remaining bytes from its
// lead) holds a field outside what a unit sends: a function mode other than
// 1 or 2, a ring or silhouette index other than 0-15 or 255.
bool PossibleShotResult(const uint8_t* bytes, int remaining);

struct ScanCounters {
    uint32_t frames = 0;
    uint32_t skipped = 0;
    uint32_t checksumFailures = 0;
};

// Cuts frames from the front of buf: each valid frame goes to
// onFrame(const uint8_t* frame, int length, int type) and is consumed; a byte
// that cannot start a frame is skipped; a frame not yet complete (or one with
// a bad checksum that exactly fills the buffer) stops the scan to wait for
// more bytes. A wholly buffered frame with a bad checksum, or a shot result
// with impossible fields, is skipped (its first byte) and reported once to
// onDamaged(int type). Returns the number of bytes consumed from the front.
template <class OnFrame, class OnDamaged>
int ScanFrames(const uint8_t* buf, int fill, OnFrame&& onFrame, ScanCounters& counters, OnDamaged&& onDamaged)
{
    int position = 0;
    int remaining = fill;
    while (remaining >= 2) {
        const FrameInfo info = IdentifyFrame(buf + position, remaining);
        if (info.checksumFailed)
            ++counters.checksumFailures;
        if (info.valid) {
            onFrame(buf + position, info.length, info.type);
            ++counters.frames;
            position += info.length;
            remaining -= info.length;
        } else if (remaining > info.length || info.impossible) {
            if (info.checksumFailed || info.impossible)
                onDamaged(info.type);
            ++counters.skipped;
            ++position;
            --remaining;
        } else {
            // The bytes after a frame start are its rest, whatever shapes
            // they hold: nothing is cut from inside it.
            break;
        }
    }
    return position;
}

template <class OnFrame>
int ScanFrames(const uint8_t* buf, int fill, OnFrame&& onFrame, ScanCounters& counters)
{
    return ScanFrames(buf, fill, std::forward<OnFrame>(onFrame), counters, [](int) {});
}

// Stored-shot total of a type-17 reply: the counts of banks 0-6 at bytes
// 4, 6, ..., 16.
int SumShotBankCounts(const uint8_t* frame20);
