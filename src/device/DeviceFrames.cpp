#include "DeviceFrames.h"

#include <cstring>
#include <initializer_list>

namespace {

constexpr uint8_t LeadReply = 'Y';
constexpr uint8_t LeadMeasure = 0xCA;
constexpr int ReplyDataOffset = 4; // data bytes of "Yg" and "Ym" replies

// A value that does not fit its byte would silently become another command.
uint8_t ByteArg(int value, const char* what)
{
    if (value < 0 || value > 255)
        throw Exception(QStringLiteral("%1 out of range: %2").arg(QLatin1String(what)).arg(value));
    return uint8_t(value);
}

// Fills letter, payload and checksum.
Frame MakeFrame(char letter, std::initializer_list<uint8_t> head, const uint8_t* data, int dataLength)
{
    Frame f;
    f.length = 1 + int(head.size()) + dataLength + 1;
    f.bytes[0] = uint8_t(letter);
    int at = 1;
    for (uint8_t v : head)
        f.bytes[at++] = v;
    if (dataLength > 0)
        std::memcpy(f.bytes.data() + at, data, std::size_t(dataLength));
    f.bytes[f.length - 1] = Checksum(f.bytes.data(), f.length - 1);
    return f;
}

void CheckPacket(int packet)
{
    if (packet < 0 || packet >= SilhouettePacketCount)
        throw Exception(QStringLiteral("Bad silhouette packet: %1").arg(packet));
}

void CheckBank(int bank)
{
    if (bank < 0 || bank > 6)
        throw Exception(QStringLiteral("Bad shot bank: %1").arg(bank));
}

} // namespace

// ---- Checksum ----------------------------------------------------------------

uint8_t Checksum(const uint8_t* bytes, int length)
{
    unsigned sum = 0;
    for (int i = 0; i < length; ++i)
        sum += bytes[i];
    return uint8_t(sum & 0xFF);
}

bool CheckChecksum(const uint8_t* frame, int length)
{
    if (length < 1)
        throw Exception("CheckChecksum: Invalid frame length");
    return frame[length - 1] == Checksum(frame, length - 1);
}

// ---- Commands --------------------------------------------------------------------

Frame BuildModeCommand(int p1, int p2, int p3)
{
    return MakeFrame('a', { ByteArg(p1, "Mode command p1"), ByteArg(p2, "Mode command p2"),
                            ByteArg(p3, "Mode command p3") }, nullptr, 0);
}

Frame BuildEnterSetupMode() { return BuildModeCommand(15, 0, 32); }
Frame BuildStop() { return BuildModeCommand(2, 0, 33); }
Frame BuildLeaveSetupMode() { return BuildModeCommand(1, 0, 33); }
Frame BuildStartMeasuring(int mode) { return BuildModeCommand(mode, 0, 32); }

Frame BuildRequestStoredShot(int bank, int index)
{
    CheckBank(bank);
    if (index < 0 || index > 254)
        throw Exception(QStringLiteral("Bad stored shot index: %1").arg(index));
    return MakeFrame('b', { uint8_t(bank), uint8_t(index) }, nullptr, 0);
}

Frame BuildClearShotBank(int bank)
{
    CheckBank(bank);
    return MakeFrame('b', { uint8_t(bank), 0xFF }, nullptr, 0);
}

Frame BuildRequestInfo(int infoRegister)
{
    return MakeFrame('c', { ByteArg(infoRegister, "Info register") }, nullptr, 0);
}

Frame BuildSetupBlock(int block, const uint8_t* data16, bool last)
{
    const uint8_t b = uint8_t((ByteArg(block, "Setup block") & 0x7F) | (last ? 0x80 : 0));
    return MakeFrame('d', { b }, data16, 16);
}

Frame BuildRequestParameterBlock(int address)
{
    return MakeFrame('e', { ByteArg(address, "Parameter block address") }, nullptr, 0);
}

Frame BuildTextLine(int flags, int line, const QByteArray& text)
{
    uint8_t data[16] = {};
    const int n = text.size() < 10 ? int(text.size()) : 10;
    std::memcpy(data, text.constData(), std::size_t(n));
    return MakeFrame('s', { ByteArg(flags, "Text line flags"), ByteArg(line, "Text line number") }, data, 16);
}

// ---- Ring targets -------------------------------------------------------------------

int RingBlockOffset(int block)
{
    if (block < 0 || block >= RingBlockCount)
        throw Exception(QStringLiteral("Bad ring target block: %1").arg(block));
    return block == 3 ? 0 : 16 * (block + 1);
}

Frame BuildRingTargetBlock(int target, int block, const uint8_t* data16, bool last)
{
    const uint8_t b = uint8_t((ByteArg(block, "Ring target block") & 0x7F) | (last ? 0x80 : 0));
    return MakeFrame('l', { ByteArg(target, "Ring target number"), b }, data16, 16);
}

Frame BuildRingTargetBlock(int target, int block, const RingTargetRecord& record)
{
    return BuildRingTargetBlock(target, block, record.data() + RingBlockOffset(block), block == 3);
}

std::array<Frame, RingBlockCount> BuildRingTargetFrames(int target, const RingTargetRecord& record)
{
    std::array<Frame, RingBlockCount> frames;
    for (int block = 0; block < RingBlockCount; ++block)
        frames[std::size_t(block)] = BuildRingTargetBlock(target, block, record);
    return frames;
}

Frame BuildRequestRingTargetBlock(int target, int blockByte)
{
    return MakeFrame('m', { ByteArg(target, "Ring target number"), ByteArg(blockByte, "Ring target block") },
                     nullptr, 0);
}

std::array<Frame, RingBlockCount> BuildRingTargetRequests(int target)
{
    return { BuildRequestRingTargetBlock(target, 0), BuildRequestRingTargetBlock(target, 1),
             BuildRequestRingTargetBlock(target, 2), BuildRequestRingTargetBlock(target, RingBlockReadLast) };
}

void ApplyRingTargetBlock(RingTargetRecord& record, int block, const uint8_t* data16)
{
    std::memcpy(record.data() + RingBlockOffset(block), data16, 16);
}

void ApplyRingBlockReply(RingTargetRecord& record, int block, const uint8_t* reply)
{
    ApplyRingTargetBlock(record, block, reply + ReplyDataOffset);
}

bool IsLastRingBlockReply(const uint8_t* reply)
{
    return (reply[3] & 0x80) != 0;
}

// ---- Silhouette targets ---------------------------------------------------------------

Frame BuildSilhouettePacket(int target, int packet, const uint8_t* data16)
{
    CheckPacket(packet);
    const int number = target & 0x3F;
    if (packet < SilhouetteHeaderPackets)
        return MakeFrame('f', { uint8_t(number), uint8_t(packet) }, data16, 16);
    const int row = packet - SilhouetteHeaderPackets;
    const int rowByte = row == SilhouetteMatrix::Rows - 1 ? (row | 0x80) : row;
    return MakeFrame('f', { uint8_t(number | 0x40), uint8_t(rowByte) }, data16, 16);
}

void SilhouettePacketData(const SilhouetteTargetRecord& record, const SilhouetteMatrix& matrix, int packet,
                          uint8_t out[16])
{
    CheckPacket(packet);
    if (packet == 0)
        std::memcpy(out, record.data() + 16, 16);
    else if (packet == 1)
        std::memcpy(out, record.data(), 16);
    else
        matrix.PackRow(packet - SilhouetteHeaderPackets, out);
}

Frame BuildSilhouettePacket(int target, int packet, const SilhouetteTargetRecord& record,
                            const SilhouetteMatrix& matrix)
{
    uint8_t data[16];
    SilhouettePacketData(record, matrix, packet, data);
    return BuildSilhouettePacket(target, packet, data);
}

std::array<Frame, SilhouettePacketCount> BuildSilhouetteFrames(int target, const SilhouetteTargetRecord& record,
                                                                const SilhouetteMatrix& matrix)
{
    std::array<Frame, SilhouettePacketCount> frames;
    for (int p = 0; p < SilhouettePacketCount; ++p)
        frames[std::size_t(p)] = BuildSilhouettePacket(target, p, record, matrix);
    return frames;
}

Frame BuildRequestSilhouettePacket(int target, int packet)
{
    CheckPacket(packet);
    const int number = ByteArg(target, "Silhouette target number") & ~0x40;
    if (packet < SilhouetteHeaderPackets)
        return MakeFrame('g', { uint8_t(number), uint8_t(packet) }, nullptr, 0);
    return MakeFrame('g', { uint8_t(number | 0x40), uint8_t(packet - SilhouetteHeaderPackets) }, nullptr, 0);
}

std::array<Frame, SilhouettePacketCount> BuildSilhouetteRequests(int target)
{
    std::array<Frame, SilhouettePacketCount> frames;
    for (int p = 0; p < SilhouettePacketCount; ++p)
        frames[std::size_t(p)] = BuildRequestSilhouettePacket(target, p);
    return frames;
}

void ApplySilhouettePacket(SilhouetteTargetRecord& record, SilhouetteMatrix& matrix, int packet,
                           const uint8_t* data16)
{
    CheckPacket(packet);
    if (packet == 0)
        std::memcpy(record.data() + 16, data16, 16);
    else if (packet == 1)
        std::memcpy(record.data(), data16, 16);
    else
        matrix.UnpackRow(packet - SilhouetteHeaderPackets, data16);
}

void ApplySilhouettePacketReply(SilhouetteTargetRecord& record, SilhouetteMatrix& matrix, int packet,
                                const uint8_t* reply)
{
    ApplySilhouettePacket(record, matrix, packet, reply + ReplyDataOffset);
}

// ---- Frames from the unit ---------------------------------------------------------

FrameInfo IdentifyFrame(const uint8_t* bytes, int remaining)
{
    FrameInfo info;
    if (remaining < 2)
        return info;
    const uint8_t lead = bytes[0];
    const uint8_t letter = bytes[1];
    if (lead == LeadReply) {
        switch (letter) {
        case 'g': info.type = ReplySilhouettePacket; info.length = 21; break;
        case 'e': info.type = ReplyParameterBlock; info.length = 20; break;
        case 'c':
            // The register byte decides; until it arrives the frame waits as an
            // info register of the same length.
            info.type = remaining >= 3 && bytes[2] == 32 ? ReplyShotBankCounts : ReplyInfoRegister;
            info.length = 20;
            break;
        case 'k': info.type = ReplyKFrame; info.length = 20; break;
        case 'm': info.type = ReplyRingBlock; info.length = 21; break;
        default: info.type = ReplyAck; info.length = 5; break;
        }
    } else if (lead == LeadMeasure) {
        switch (letter) {
        case 'e': info.type = ReplySample; info.length = 20; break;
        case 'U': info.type = ReplySampleT1; info.length = 21; break;
        case 'V': info.type = ReplySampleT2; info.length = 46; break;
        case 'j': info.type = ReplyShotResult; info.length = 36; break;
        case 'c': info.type = ReplyDeviceError; info.length = 16; break;
        default: return info;
        }
    } else {
        return info;
    }
    if (info.type == ReplyShotResult && !PossibleShotResult(bytes, remaining)) {
        info.impossible = true;
        return info;
    }
    if (remaining >= info.length) {
        info.valid = CheckChecksum(bytes, info.length);
        info.checksumFailed = !info.valid;
    }
    return info;
}

bool PossibleShotResult(const uint8_t* bytes, int remaining)
{
    const auto targetIndex = [](uint8_t v) { return v < 16 || v == RawShotRecord::NoTarget; };
    if (remaining > 14 && !targetIndex(bytes[14]))
        return false;
    if (remaining > 15 && !targetIndex(bytes[15]))
        return false;
    if (remaining > 16 && bytes[16] != 1 && bytes[16] != 2)
        return false;
    return true;
}

int SumShotBankCounts(const uint8_t* frame20)
{
    int total = 0;
    for (int at = 4; at <= 16; at += 2)
        total += frame20[at];
    return total;
}
