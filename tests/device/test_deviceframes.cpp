#include "DeviceFrames.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const Frame& f)
{
    return Bytes(f.bytes.begin(), f.bytes.begin() + f.length);
}

// An inbound frame: the given lead bytes, zeros, and a correct checksum.
Bytes Reply(std::initializer_list<uint8_t> head, int length)
{
    Bytes f(std::size_t(length), 0);
    std::copy(head.begin(), head.end(), f.begin());
    f.back() = Checksum(f.data(), length - 1);
    return f;
}

struct Seen {
    int type;
    int length;
    Bytes bytes;
};

// A receive buffer driven the way the port's receive path drives it.
struct Receiver {
    Bytes buffer;
    std::vector<Seen> seen;
    std::vector<int> damaged;
    ScanCounters counters;

    void Feed(const Bytes& chunk)
    {
        buffer.insert(buffer.end(), chunk.begin(), chunk.end());
        const int consumed = ScanFrames(
            buffer.data(), int(buffer.size()),
            [this](const uint8_t* frame, int length, int type) {
                seen.push_back({ type, length, Bytes(frame, frame + length) });
            },
            counters, [this](int type) { damaged.push_back(type); });
        buffer.erase(buffer.begin(), buffer.begin() + consumed);
    }
};

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

} // namespace

TEST(DeviceFrames, ChecksumRules)
{
    const uint8_t e0[] = { 'e', 0 };
    EXPECT_EQ(Checksum(e0, 2), 0x65);
    const uint8_t big[] = { 0xFF, 0xFF, 0x03 };
    EXPECT_EQ(Checksum(big, 3), 0x01); // 0x201 keeps its low byte
    EXPECT_EQ(Checksum(big, -5), 0);

    uint8_t frame[] = { 0xFF, 0xFF, 0x03, 0x01 };
    EXPECT_TRUE(CheckChecksum(frame, 4));
    frame[3] = 0x02;
    EXPECT_FALSE(CheckChecksum(frame, 4));
    try {
        CheckChecksum(frame, 0);
        FAIL() << "length 0 accepted";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("CheckChecksum: Invalid frame length"));
    }
}

TEST(DeviceFrames, CommandGoldenBytes)
{
    EXPECT_EQ(ToBytes(BuildStop()), (Bytes{ 0x61, 0x02, 0x00, 0x21, 0x84 }));
    EXPECT_EQ(ToBytes(BuildEnterSetupMode()), (Bytes{ 0x61, 0x0F, 0x00, 0x20, 0x90 }));
    EXPECT_EQ(ToBytes(BuildLeaveSetupMode()), (Bytes{ 0x61, 0x01, 0x00, 0x21, 0x83 }));
    EXPECT_EQ(ToBytes(BuildStartMeasuring(2)), (Bytes{ 0x61, 0x02, 0x00, 0x20, 0x83 }));
    EXPECT_EQ(ToBytes(BuildModeCommand(200, 100, 1)), (Bytes{ 0x61, 200, 100, 1, 0x8E }));
    EXPECT_EQ(ToBytes(BuildRequestParameterBlock(184)), (Bytes{ 0x65, 0xB8, 0x1D }));
    EXPECT_EQ(ToBytes(BuildRequestInfo(32)), (Bytes{ 0x63, 0x20, 0x83 }));
    EXPECT_EQ(ToBytes(BuildRequestStoredShot(1, 2)), (Bytes{ 0x62, 0x01, 0x02, 0x65 }));
    EXPECT_EQ(ToBytes(BuildClearShotBank(6)), (Bytes{ 0x62, 0x06, 0xFF, 0x67 }));
    EXPECT_EQ(ToBytes(BuildRequestRingTargetBlock(5, 131)), (Bytes{ 0x6D, 0x05, 0x83, 0xF5 }));

    uint8_t data[16];
    for (int i = 0; i < 16; ++i)
        data[i] = uint8_t(i + 1);
    const Bytes last = ToBytes(BuildSetupBlock(3, data, true));
    ASSERT_EQ(last.size(), 19u);
    EXPECT_EQ(last[0], 'd');
    EXPECT_EQ(last[1], 0x83);
    EXPECT_EQ(Bytes(last.begin() + 2, last.begin() + 18), Bytes(data, data + 16));
    EXPECT_EQ(last[18], uint8_t(0x64 + 0x83 + 136));
    EXPECT_EQ(ToBytes(BuildSetupBlock(1, data, false))[1], 0x01);
    EXPECT_EQ(ToBytes(BuildSetupBlock(0x83, data, false))[1], 0x03); // only the last flag sets bit 7

    // One display line: flags, line, ten text bytes, zero padding.
    const Bytes text = ToBytes(BuildTextLine(0x0B, 3, QByteArray("HELLO WORLD!")));
    ASSERT_EQ(text.size(), 20u);
    EXPECT_EQ(Bytes(text.begin(), text.begin() + 19),
              (Bytes{ 's', 0x0B, 3, 'H', 'E', 'L', 'L', 'O', ' ', 'W', 'O', 'R', 'L', 0, 0, 0, 0, 0, 0 }));
    EXPECT_TRUE(CheckChecksum(text.data(), 20));
}

TEST(DeviceFrames, CommandArgumentsOutOfRange)
{
    // Shot 255 of a bank would erase the bank instead of reading it.
    EXPECT_THROW(BuildRequestStoredShot(0, 255), Exception);
    EXPECT_NO_THROW(BuildRequestStoredShot(6, 254));
    EXPECT_THROW(BuildClearShotBank(-1), Exception);
    // A number past a byte would address another target or mode.
    EXPECT_THROW(BuildModeCommand(256, 0, 32), Exception);
    EXPECT_THROW(BuildRequestRingTargetBlock(256, 0), Exception);
    uint8_t data[16] = {};
    EXPECT_THROW(BuildRingTargetBlock(-1, 0, data, false), Exception);
    EXPECT_THROW(BuildSilhouettePacket(0, 66, data), Exception);
    EXPECT_THROW(BuildRequestSilhouettePacket(0, -1), Exception);
}

TEST(DeviceFrames, RingTargetBlocks)
{
    RingTargetRecord ring;
    for (int i = 0; i < 64; ++i)
        ring.b[std::size_t(i)] = uint8_t(0xA0 + i);
    ring.SetNameText(QStringLiteral("Air Rifle"));

    const auto frames = BuildRingTargetFrames(7, ring);
    for (int block = 0; block < 4; ++block) {
        const Bytes f = ToBytes(frames[std::size_t(block)]);
        ASSERT_EQ(f.size(), 20u);
        EXPECT_EQ(f[0], 'l');
        EXPECT_EQ(f[1], 7);
        EXPECT_TRUE(CheckChecksum(f.data(), 20));
    }
    EXPECT_EQ(frames[0].bytes[3], ring.b[16]);
    EXPECT_EQ(frames[2].bytes[18], ring.b[63]);
    // The name goes last, marked.
    EXPECT_EQ(frames[3].bytes[2], 0x83);
    EXPECT_EQ(Bytes(frames[3].bytes.begin() + 3, frames[3].bytes.begin() + 19),
              Bytes(ring.b.begin(), ring.b.begin() + 16));
    EXPECT_EQ(frames[3].bytes[3], 'A');

    const auto requests = BuildRingTargetRequests(7);
    EXPECT_EQ(ToBytes(requests[3]), (Bytes{ 'm', 7, 0x83, uint8_t('m' + 7 + 0x83) }));

    // The unit answers each request with the data at bytes 4-19 of a "Ym".
    RingTargetRecord back;
    for (int block = 0; block < 4; ++block) {
        Bytes reply = Reply({ 'Y', 'm', 7, uint8_t(block == 3 ? 0x83 : block) }, 21);
        std::copy(frames[std::size_t(block)].bytes.begin() + 3, frames[std::size_t(block)].bytes.begin() + 19,
                  reply.begin() + 4);
        EXPECT_EQ(IsLastRingBlockReply(reply.data()), block == 3);
        ApplyRingBlockReply(back, block, reply.data());
    }
    EXPECT_EQ(back, ring);
    uint8_t data[16] = {};
    EXPECT_THROW(ApplyRingTargetBlock(back, 4, data), Exception);
    EXPECT_EQ(back, ring);
}

TEST(DeviceFrames, SilhouettePackets)
{
    SilhouetteTargetRecord rec;
    for (int i = 16; i < 32; ++i)
        rec.b[std::size_t(i)] = uint8_t(i);
    rec.SetNameText(QStringLiteral("Fig 12"));
    rec.SetWidth(500.0); // stays in the program
    SilhouetteMatrix m;
    for (int c = 0; c < 64; ++c)
        for (int r = 0; r < 64; ++r)
            m.SetCell(c, r, (c + 2 * r) % 4);

    // Byte 1 takes the number masked to six bits; rows add 0x40.
    const auto frames = BuildSilhouetteFrames(0xC5, rec, m);
    EXPECT_EQ(Bytes(frames[0].bytes.begin(), frames[0].bytes.begin() + 4), (Bytes{ 'f', 0x05, 0, 16 }));
    EXPECT_EQ(frames[1].bytes[3], 'F');
    EXPECT_EQ(frames[65].bytes[1], 0x45);
    EXPECT_EQ(frames[65].bytes[2], 0xBF);
    // Row 63: column 0 = 126 % 4 = 2, then 3, 0, 1.
    EXPECT_EQ(frames[65].bytes[3], 0xB1);
    for (const Frame& f : frames) {
        ASSERT_EQ(f.length, 20);
        EXPECT_TRUE(CheckChecksum(f.data(), 20));
    }

    // Requests clear only bit 6 of the number and send the plain row.
    EXPECT_EQ(ToBytes(BuildRequestSilhouettePacket(0xC5, 0)), (Bytes{ 'g', 0x85, 0, uint8_t('g' + 0x85) }));
    const auto requests = BuildSilhouetteRequests(3);
    EXPECT_EQ(ToBytes(requests[2]), (Bytes{ 'g', 0x43, 0, uint8_t('g' + 0x43) }));
    EXPECT_EQ(ToBytes(requests[65]), (Bytes{ 'g', 0x43, 63, uint8_t('g' + 0x43 + 63) }));

    // All 66 packets through "Yg" replies rebuild the unit's part of the target.
    SilhouetteTargetRecord recBack;
    SilhouetteMatrix mBack;
    for (int p = 0; p < SilhouettePacketCount; ++p) {
        Bytes reply = Reply({ 'Y', 'g' }, 21);
        std::copy(frames[std::size_t(p)].bytes.begin() + 3, frames[std::size_t(p)].bytes.begin() + 19,
                  reply.begin() + 4);
        ApplySilhouettePacketReply(recBack, mBack, p, reply.data());
    }
    EXPECT_EQ(Bytes(recBack.b.begin(), recBack.b.begin() + 32), Bytes(rec.b.begin(), rec.b.begin() + 32));
    EXPECT_EQ(recBack.Width(), 0.0);
    for (int c = 0; c < 64; ++c)
        for (int r = 0; r < 64; ++r)
            ASSERT_EQ(mBack.Cell(c, r), m.Cell(c, r)) << c << "," << r;
    // The matrix header never travels.
    m.b[0] = 64;
    EXPECT_EQ(BuildSilhouetteFrames(5, rec, m)[2].bytes, frames[2].bytes);

    uint8_t data[16] = {};
    EXPECT_THROW(ApplySilhouettePacket(recBack, mBack, 66, data), Exception);
}

TEST(DeviceFrames, IdentifyInboundTable)
{
    struct Row {
        uint8_t lead;
        uint8_t letter;
        int type;
        int length;
    };
    const Row rows[] = {
        { 'Y', 'a', ReplyAck, 5 },
        { 'Y', 0xCA, ReplyAck, 5 },
        { 'Y', 'g', ReplySilhouettePacket, 21 },
        { 'Y', 'e', ReplyParameterBlock, 20 },
        { 'Y', 'm', ReplyRingBlock, 21 },
        { 0xCA, 'e', ReplySample, 20 },
        { 0xCA, 'V', ReplySampleT2, 46 },
        { 0xCA, 'j', ReplyShotResult, 36 },
        { 0xCA, 'c', ReplyDeviceError, 16 },
    };
    for (const Row& row : rows) {
        const Bytes f = Reply({ row.lead, row.letter }, row.length);
        FrameInfo info = IdentifyFrame(f.data(), int(f.size()));
        EXPECT_EQ(info.type, row.type) << row.letter;
        EXPECT_EQ(info.length, row.length) << row.letter;
        EXPECT_TRUE(info.valid && !info.checksumFailed) << row.letter;

        // Not yet whole: known but waiting.
        info = IdentifyFrame(f.data(), row.length - 1);
        EXPECT_TRUE(info.type == row.type && !info.valid && !info.checksumFailed) << row.letter;

        Bytes broken = f;
        broken.back() ^= 1;
        info = IdentifyFrame(broken.data(), int(broken.size()));
        EXPECT_TRUE(!info.valid && info.checksumFailed) << row.letter;
    }

    // "Yc": the register byte decides, when present.
    const Bytes info14 = Reply({ 'Y', 'c', 5 }, 20);
    const Bytes counts = Reply({ 'Y', 'c', 32, 0, 1, 0, 2 }, 20);
    EXPECT_EQ(IdentifyFrame(info14.data(), 20).type, ReplyInfoRegister);
    EXPECT_EQ(IdentifyFrame(counts.data(), 20).type, ReplyShotBankCounts);
    EXPECT_EQ(IdentifyFrame(counts.data(), 2).type, ReplyInfoRegister);
    EXPECT_EQ(IdentifyFrame(counts.data(), 2).length, 20);
    EXPECT_EQ(IdentifyFrame(counts.data(), 3).type, ReplyShotBankCounts);

    // Unknown leads and 0xCA with an unlisted letter are no frame.
    const uint8_t junk[] = { 0xCA, 'Y', 0, 0, 0 };
    EXPECT_EQ(IdentifyFrame(junk, 5).length, 0);
    const uint8_t dash[] = { '-', 'Y' };
    EXPECT_EQ(IdentifyFrame(dash, 2).type, ReplyNone);
    EXPECT_EQ(IdentifyFrame(junk, 1).type, ReplyNone);
}

TEST(DeviceFrames, ScanCutsFramesAndSkipsGarbage)
{
    Receiver rx;
    const Bytes ack = Reply({ 'Y', 'a' }, 5);
    const Bytes sample = Reply({ 0xCA, 'e', 0, 0, 0x01, 0x02 }, 20);
    const Bytes shot = Reply({ 0xCA, 'j', 9 }, 36);
    rx.Feed(Concat({ { '-', 0x00 }, ack, { 0x13 }, sample, shot, { 0x77 } }));
    ASSERT_EQ(rx.seen.size(), 3u);
    EXPECT_EQ(rx.seen[0].bytes, ack);
    EXPECT_EQ(rx.seen[1].bytes, sample);
    EXPECT_EQ(rx.seen[2].type, ReplyShotResult);
    EXPECT_EQ(rx.counters.frames, 3u);
    EXPECT_EQ(rx.counters.skipped, 3u);
    // A single trailing byte waits: it may be the lead of the next frame.
    EXPECT_EQ(rx.buffer, Bytes{ 0x77 });

    // 0xCA with an unlisted letter: only the 0xCA byte goes, the "Y" after it
    // starts a real frame.
    Receiver rx3;
    rx3.Feed(Concat({ { 0xCA }, ack }));
    ASSERT_EQ(rx3.seen.size(), 1u);
    EXPECT_EQ(rx3.seen[0].type, ReplyAck);
    EXPECT_EQ(rx3.counters.skipped, 1u);
    EXPECT_TRUE(rx3.buffer.empty());
}

TEST(DeviceFrames, ScanWaitsForShotCountsAndBadChecksums)
{
    // "Yc" alone waits as an info register, then the blank makes it type 17.
    Receiver rx;
    const Bytes counts = Reply({ 'Y', 'c', 32, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2 }, 20);
    rx.Feed(Bytes(counts.begin(), counts.begin() + 2));
    EXPECT_TRUE(rx.seen.empty());
    EXPECT_EQ(rx.buffer.size(), 2u);
    rx.Feed(Bytes(counts.begin() + 2, counts.end()));
    ASSERT_EQ(rx.seen.size(), 1u);
    EXPECT_EQ(rx.seen[0].type, ReplyShotBankCounts);
    EXPECT_EQ(SumShotBankCounts(rx.seen[0].bytes.data()), 5);

    // A bad ack that exactly fills the buffer waits; the next chunk gets it
    // skipped byte by byte and the good ack behind it through.
    Receiver bad;
    bad.Feed({ 'Y', 'a', 0, 0, 0x10 });
    EXPECT_EQ(bad.buffer.size(), 5u);
    EXPECT_EQ(bad.counters.checksumFailures, 1u);
    EXPECT_EQ(bad.counters.skipped, 0u);
    EXPECT_TRUE(bad.damaged.empty()); // reported once it is skipped
    const Bytes ack = Reply({ 'Y', 'x' }, 5);
    bad.Feed(ack);
    ASSERT_EQ(bad.seen.size(), 1u);
    EXPECT_EQ(bad.seen[0].bytes, ack);
    EXPECT_EQ(bad.counters.skipped, 5u);
    EXPECT_EQ(bad.damaged, std::vector<int>{ ReplyAck });
    EXPECT_TRUE(bad.buffer.empty());

    // A corrupt shot result inside a stream loses one byte at a time, never a
    // following good frame.
    Receiver rx2;
    Bytes shot = Reply({ 0xCA, 'j' }, 36);
    shot[35] ^= 0xFF;
    const Bytes sample = Reply({ 0xCA, 'e' }, 20);
    rx2.Feed(Concat({ shot, sample, sample }));
    ASSERT_EQ(rx2.seen.size(), 2u);
    EXPECT_EQ(rx2.seen[0].type, ReplySample);
    EXPECT_EQ(rx2.counters.skipped, 36u);
    ASSERT_FALSE(rx2.damaged.empty());
    EXPECT_EQ(rx2.damaged[0], ReplyShotResult);
}

TEST(DeviceFrames, ShotBankCountsSumTheEvenBytes)
{
    uint8_t frame[20] = { 'Y', 'c', 32 };
    const uint8_t counts[7] = { 255, 1, 2, 3, 4, 5, 255 };
    for (int bank = 0; bank < 7; ++bank) {
        frame[4 + 2 * bank] = counts[bank];
        frame[5 + 2 * bank] = 0x11; // the odd bytes are not counts
    }
    EXPECT_EQ(SumShotBankCounts(frame), 525);
}
