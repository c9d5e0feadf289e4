// The asynchronous setup upload: the exact frame sequence, one frame per ack,
// and the bytes that land in the unit.
#include "DeviceRig.h"

namespace {

using Data = std::vector<uint8_t>;

Data Slice(const uint8_t* p, std::size_t from) { return Data(p + from, p + from + 16); }
Data Data16(const unitsim::ReceivedFrame& f, std::size_t from) { return Slice(f.bytes.data(), from); }

RingTargetRecord MakeRing()
{
    RingTargetRecord r;
    for (std::size_t i = 0; i < r.b.size(); ++i)
        r.b[i] = uint8_t(0x40 + i);
    return r;
}

SilhouetteTargetRecord MakeSilhouetteRecord()
{
    SilhouetteTargetRecord r;
    for (std::size_t i = 0; i < 32; ++i)
        r.b[i] = uint8_t(0x90 + i);
    return r;
}

class UploadTest : public UnitDeviceTest {
protected:
    void SetUp() override
    {
        UnitDeviceTest::SetUp();
        for (int i = 0; i < 64; ++i)
            blocks_.b[std::size_t(i)] = uint8_t(0xA0 + i);
        device_->SetSettingsBlocks(blocks_);
    }
    void Upload(bool ring, bool silhouette, bool settings)
    {
        device_->StartAsyncUpload({ring ? 3 : -1, silhouette ? 5 : -1, settings});
    }
    bool Done(std::chrono::milliseconds limit = 5000ms)
    {
        return WaitUntil([&] { return device_->Async().uploadDone.load(); }, limit);
    }
    SetupBlocks blocks_;
};

// Frames at..at+13 of a settings upload: stop, blocks 0-2, the seven bank
// erasures (bank 6 first), block 3 marked last, the counts request, stop.
void ExpectSettingsTail(const std::vector<unitsim::ReceivedFrame>& f, std::size_t at, const uint8_t* blocks)
{
    ASSERT_GE(f.size(), at + 14);
    EXPECT_EQ(f[at].Arg(1), 15);
    EXPECT_EQ(f[at].Arg(3), 32);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(f[at + 1 + i].Arg(1), int(i));
        EXPECT_EQ(Data16(f[at + 1 + i], 2), Slice(blocks, 16 * i));
    }
    const int banks[7] = {6, 0, 1, 2, 3, 4, 5};
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(f[at + 4 + i].Arg(1), banks[i]);
        EXPECT_EQ(f[at + 4 + i].Arg(2), 0xFF);
    }
    EXPECT_EQ(f[at + 11].Arg(1), 0x83);
    EXPECT_EQ(Data16(f[at + 11], 2), Slice(blocks, 48));
    EXPECT_EQ(f[at + 12].Arg(1), 32);
    EXPECT_EQ(f[at + 13].Arg(1), 1);
    EXPECT_EQ(f[at + 13].Arg(3), 33);
}

} // namespace

TEST_F(UploadTest, SettingsOnlyIsFifteenFrames)
{
    unit_.AddStoredShot(2, unitsim::SimShot{}, 3);
    Upload(false, false, true);
    ASSERT_TRUE(Done());
    EXPECT_FALSE(device_->IsUploadStalled());
    EXPECT_FALSE(device_->Async().setupModeEntered.load());

    const auto f = unit_.Received();
    ASSERT_EQ(unit_.ReceivedLetters(), "aadddbbbbbbbdca");
    EXPECT_EQ(f[0].Arg(1), 15);
    ExpectSettingsTail(f, 1, blocks_.data());
    for (int i = 0; i < 4; ++i) {
        const auto block = unit_.ParameterBlock(i);
        EXPECT_EQ(Data(block.begin(), block.end()), Slice(blocks_.data(), 16 * std::size_t(i)));
    }
    EXPECT_EQ(unit_.BankCount(2), 0);
    EXPECT_TRUE(WaitUntil([&] { return device_->ReplyCount(ReplyShotBankCounts) == 1; }, 1000ms));

    // An ack after done changes nothing.
    const int steps = device_->Async().uploadStepCount;
    InjectAck('a');
    EXPECT_TRUE(device_->Async().uploadDone.load());
    EXPECT_EQ(device_->Async().uploadStepCount.load(), steps);
    Sync();
    EXPECT_EQ(unit_.ReceivedLetters(), "aadddbbbbbbbdcac");
}

TEST_F(UploadTest, RingSilhouetteAndSettingsOneFramePerAck)
{
    const RingTargetRecord ring = MakeRing();
    const SilhouetteTargetRecord sil = MakeSilhouetteRecord();
    SilhouetteMatrix matrix;
    for (int c = 0; c < SilhouetteMatrix::Columns; ++c)
        for (int r = 0; r < SilhouetteMatrix::Rows; ++r)
            matrix.SetCell(c, r, (c * 7 + r * 3) % 4);
    device_->SetRingTarget(3, ring);
    device_->SetSilhouetteTarget(5, sil, matrix);
    Upload(true, true, true);
    ASSERT_TRUE(Done(10000ms));

    const auto f = unit_.Received();
    ASSERT_EQ(unit_.ReceivedLetters(), "allll" + std::string(66, 'f') + "adddbbbbbbbdca");

    // Ring: blocks 0, 1, 2 carry bytes 16-63, block 3 (marked last) the name.
    const std::size_t offsets[4] = {16, 32, 48, 0};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(f[1 + i].Arg(1), 3);
        EXPECT_EQ(f[1 + i].Arg(2), i == 3 ? 0x83 : int(i));
        EXPECT_EQ(Data16(f[1 + i], 3), Slice(ring.data(), offsets[i]));
    }
    EXPECT_EQ(unit_.RingTarget(3), ring.b);

    // Silhouette: device block, name, then the 64 rows, row 63 marked.
    EXPECT_EQ(f[5].Arg(1), 5);
    EXPECT_EQ(f[5].Arg(2), 0);
    EXPECT_EQ(Data16(f[5], 3), Slice(sil.data(), 16));
    EXPECT_EQ(f[6].Arg(2), 1);
    EXPECT_EQ(Data16(f[6], 3), Slice(sil.data(), 0));
    for (int r = 0; r < 64; ++r) {
        const auto& p = f[7 + std::size_t(r)];
        EXPECT_EQ(p.Arg(1), 5 | 0x40);
        EXPECT_EQ(p.Arg(2), r == 63 ? (63 | 0x80) : r);
        uint8_t packed[16];
        matrix.PackRow(r, packed);
        EXPECT_EQ(Data16(p, 3), Data(packed, packed + 16)) << "row " << r;
    }
    const auto slot = unit_.Silhouette(5);
    EXPECT_TRUE(std::equal(slot.record.begin(), slot.record.end(), sil.b.begin()));
    for (int c = 0; c < 64; ++c)
        for (int r = 0; r < 64; ++r)
            ASSERT_EQ(slot.cells[std::size_t(64 * c + r)], matrix.Cell(c, r)) << c << "," << r;

    ExpectSettingsTail(f, 71, blocks_.data());
}

TEST_F(UploadTest, NothingPendingIsDoneAtOnceAndABadNumberAborts)
{
    Upload(false, false, false);
    EXPECT_TRUE(device_->Async().uploadDone.load());

    // A bad target number is refused before anything is sent, through the
    // abort flag that the programming screen polls.
    device_->StartAsyncUpload({16, -1, false});
    EXPECT_TRUE(device_->Async().abort.load());
    EXPECT_FALSE(device_->Async().uploadDone.load());
    Sync();
    EXPECT_EQ(unit_.ReceivedLetters(), "c");
}

// The unit goes away in the middle of the silhouette: no crash, no hang; the
// upload reports a stall after its 3 s of silence.
TEST_F(UploadTest, UnplugDuringUploadStalls)
{
    device_->SetSilhouetteTarget(5, MakeSilhouetteRecord(), SilhouetteMatrix {});
    unit_.AddFault({'f', 20, 1, unitsim::FaultKind::Delay, 1000});
    Upload(false, true, true);
    ASSERT_TRUE(unit_.WaitForCount('f', 20, 5000ms));
    unit_.Unplug();
    EXPECT_FALSE(device_->IsUploadStalled());
    EXPECT_TRUE(WaitUntil([&] { return device_->IsUploadStalled(); }, 4000ms));
    EXPECT_FALSE(device_->Async().uploadDone.load());
    EXPECT_EQ(unit_.Received().size(), 21u);
}
