// The frame builders. The target transfers' frames are checked at the
// simulated unit (test_device_upload, test_device_transfers); inbound frames
// are recognised and cut on the receive path (test_datahandler).
#include "DeviceFrames.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ToBytes(const Frame& f)
{
    return Bytes(f.bytes.begin(), f.bytes.begin() + f.length);
}

} // namespace

TEST(DeviceFrames, CommandGoldenBytes)
{
    const std::pair<Frame, Bytes> commands[] = {
        { BuildStop(), { 0x61, 0x02, 0x00, 0x21, 0x84 } },           { BuildEnterSetupMode(), { 0x61, 0x0F, 0x00, 0x20, 0x90 } },
        { BuildLeaveSetupMode(), { 0x61, 0x01, 0x00, 0x21, 0x83 } }, { BuildStartMeasuring(2), { 0x61, 0x02, 0x00, 0x20, 0x83 } },
        { BuildModeCommand(200, 100, 1), { 0x61, 200, 100, 1, 0x8E } }, { BuildRequestParameterBlock(184), { 0x65, 0xB8, 0x1D } },
        { BuildRequestInfo(32), { 0x63, 0x20, 0x83 } },             { BuildRequestStoredShot(1, 2), { 0x62, 0x01, 0x02, 0x65 } },
        { BuildClearShotBank(6), { 0x62, 0x06, 0xFF, 0x67 } },      { BuildRequestRingTargetBlock(5, 131), { 0x6D, 0x05, 0x83, 0xF5 } },
        { BuildRingTargetRequests(7)[3], { 'm', 7, 0x83, uint8_t('m' + 7 + 0x83) } },
    };
    for (const auto& [frame, bytes] : commands)
        EXPECT_EQ(ToBytes(frame), bytes);

    uint8_t data[16];
    for (int i = 0; i < 16; ++i)
        data[i] = uint8_t(i + 1);
    const Bytes last = ToBytes(BuildSetupBlock(3, data, true));
    ASSERT_EQ(last.size(), 19u);
    EXPECT_EQ(std::tuple(Bytes(last.begin(), last.begin() + 2), Bytes(last.begin() + 2, last.begin() + 18), last[18]),
              std::tuple((Bytes{ 'd', 0x83 }), Bytes(data, data + 16), uint8_t(0x64 + 0x83 + 136)));
    EXPECT_EQ(ToBytes(BuildSetupBlock(0x83, data, false))[1], 0x03); // only the last flag sets bit 7

    // One display line: flags, line, ten text bytes, zero padding.
    const Bytes text = ToBytes(BuildTextLine(0x0B, 3, QByteArray("HELLO WORLD!")));
    ASSERT_EQ(text.size(), 20u);
    EXPECT_EQ(Bytes(text.begin(), text.begin() + 19),
              (Bytes{ 's', 0x0B, 3, 'H', 'E', 'L', 'L', 'O', ' ', 'W', 'O', 'R', 'L', 0, 0, 0, 0, 0, 0 }));
    EXPECT_TRUE(CheckChecksum(text.data(), 20));

    // Silhouette packets take the number masked to six bits (rows add 0x40);
    // requests clear only bit 6. The matrix header never travels.
    SilhouetteTargetRecord rec;
    SilhouetteMatrix m;
    const auto frames = BuildSilhouetteFrames(0xC5, rec, m);
    EXPECT_EQ(Bytes(frames[0].bytes.begin(), frames[0].bytes.begin() + 3), (Bytes{ 'f', 0x05, 0 }));
    EXPECT_EQ(frames[65].bytes[1], 0x45);
    EXPECT_EQ(ToBytes(BuildRequestSilhouettePacket(0xC5, 0)), (Bytes{ 'g', 0x85, 0, uint8_t('g' + 0x85) }));
    m.b[0] = 64;
    EXPECT_EQ(BuildSilhouetteFrames(0xC5, rec, m)[2].bytes, frames[2].bytes);
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
    try {
        CheckChecksum(data, 0);
        ADD_FAILURE() << "length 0 accepted";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("CheckChecksum: Invalid frame length"));
    }
    // Nor is a block or packet past the end stored anywhere.
    RingTargetRecord ring;
    SilhouetteTargetRecord rec;
    SilhouetteMatrix m;
    EXPECT_THROW(ApplyRingTargetBlock(ring, 4, data), Exception);
    EXPECT_THROW(ApplySilhouettePacket(rec, m, 66, data), Exception);
}

TEST(DeviceFrames, ShotBankCountsSumTheEvenBytes)
{
    uint8_t frame[20] = { 'Y', 'c', 32 };
    const uint8_t bankCounts[7] = { 255, 1, 2, 3, 4, 5, 255 }; // 255 counts as it stands
    for (int bank = 0; bank < 7; ++bank) {
        frame[4 + 2 * bank] = bankCounts[bank];
        frame[5 + 2 * bank] = 0x11;
    }
    EXPECT_EQ(SumShotBankCounts(frame), 525);
}

// A shot result is no frame when any one of its ring index, silhouette index
// or function mode holds a value no unit sends, whatever the other two hold;
// a field not yet buffered decides nothing.
TEST(DeviceFrames, EachImpossibleResultFieldAloneDecides)
{
    struct Case {
        int at;
        uint8_t value;
        bool possible;
    };
    const Case cases[] = {
        {14, 0, true}, {14, 15, true}, {14, 16, false}, {14, 254, false}, {14, 255, true},
        {15, 0, true}, {15, 15, true}, {15, 16, false}, {15, 254, false}, {15, 255, true},
        {16, 0, false}, {16, 1, true}, {16, 2, true}, {16, 3, false}, {16, 255, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("byte " + std::to_string(c.at) + " = " + std::to_string(c.value));
        uint8_t frame[36] = {0xCA, 'j', 1};
        frame[14] = frame[15] = 255;
        frame[16] = 1;
        frame[c.at] = c.value;
        frame[35] = Checksum(frame, 35);
        const FrameInfo info = IdentifyFrame(frame, 36);
        EXPECT_EQ(std::tuple(PossibleShotResult(frame, 36), info.valid, info.impossible, info.type),
                  std::tuple(c.possible, c.possible, !c.possible, int(ReplyShotResult)));
        EXPECT_TRUE(PossibleShotResult(frame, c.at));
    }
}
