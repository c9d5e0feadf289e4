// The asynchronous setup upload: the exact frame sequence, one frame per ack,
// and the bytes that land in the unit. What the programming screen sends for
// a ring target and the settings is checked again by the screen's tests.
#include "DeviceRig.h"

namespace {

using Data = std::vector<uint8_t>;

Data Slice(const uint8_t* p, std::size_t from) { return Data(p + from, p + from + 16); }

class UploadTest : public UnitDeviceTest {
protected:
    void SetUp() override
    {
        UnitDeviceTest::SetUp();
        for (int i = 0; i < 64; ++i)
            blocks_.b[std::size_t(i)] = uint8_t(0xA0 + i);
        device_->SetSettingsBlocks(blocks_);
    }
    bool Done(std::chrono::milliseconds limit = 5000ms)
    {
        return WaitUntil([&] { return device_->Async().uploadDone.load(); }, limit);
    }
    SetupBlocks blocks_;
};

} // namespace

TEST_F(UploadTest, SettingsOnlyIsFifteenFrames)
{
    unit_.AddStoredShot(2, unitsim::SimShot{}, 3);
    device_->StartAsyncUpload({-1, -1, true});
    ASSERT_TRUE(Done());
    EXPECT_EQ(std::tuple(device_->IsUploadStalled(), bool(device_->Async().setupModeEntered.load())), std::tuple(false, false));

    // Stop, setup mode, blocks 0-2, the seven bank erasures (bank 6 first),
    // block 3 marked last, the counts request, stop.
    ASSERT_EQ(unit_.ReceivedLetters(), "aadddbbbbbbbdca");
    const auto f = unit_.Received();
    EXPECT_EQ(std::tuple(ArgsOf('a'), f[1].Arg(3), f[14].Arg(3)), std::tuple((Args {{15, 0}, {15, 0}, {1, 0}}), 32, 33));
    EXPECT_EQ(std::tuple(ArgsOf('b'), f[13].Arg(1)),
              std::tuple((Args {{6, 255}, {0, 255}, {1, 255}, {2, 255}, {3, 255}, {4, 255}, {5, 255}}), 32));
    const std::size_t blockFrames[4] = {2, 3, 4, 12};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(f[blockFrames[i]].Arg(1), i == 3 ? 0x83 : int(i));
        EXPECT_EQ(Slice(f[blockFrames[i]].bytes.data(), 2), Slice(blocks_.data(), 16 * i));
    }
    EXPECT_EQ(unit_.BankCount(2), 0);
    EXPECT_TRUE(WaitUntil([&] { return device_->ReplyCount(ReplyShotBankCounts) == 1; }, 10s));

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
    RingTargetRecord ring;
    ring.b = RingBytes(0x40);
    SilhouetteTargetRecord sil;
    SilhouetteMatrix matrix;
    const unitsim::SilhouetteSlot slot = SilhouetteSlot(0x90);
    SilhouetteOf(slot, sil, matrix);
    device_->SetRingTarget(3, ring);
    device_->SetSilhouetteTarget(5, sil, matrix);
    device_->StartAsyncUpload({3, 5, true});
    ASSERT_TRUE(Done(10000ms));

    ASSERT_EQ(unit_.ReceivedLetters(), "allll" + std::string(66, 'f') + "adddbbbbbbbdca");
    EXPECT_EQ(unit_.RingTarget(3), ring.b);
    // Silhouette: device block, name, then the 64 rows, row 63 marked.
    const auto f = unit_.Received();
    EXPECT_EQ(std::tuple(f[5].Arg(1), f[5].Arg(2), Slice(f[5].bytes.data(), 3), f[6].Arg(2), Slice(f[6].bytes.data(), 3)),
              std::tuple(5, 0, Slice(sil.data(), 16), 1, Slice(sil.data(), 0)));
    for (int r = 0; r < 64; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(f[7 + std::size_t(r)].Arg(1), 5 | 0x40);
        EXPECT_EQ(f[7 + std::size_t(r)].Arg(2), r == 63 ? (63 | 0x80) : r);
    }
    EXPECT_EQ(std::tuple(unit_.Silhouette(5).record, unit_.Silhouette(5).cells), std::tuple(slot.record, slot.cells));
}

TEST_F(UploadTest, NothingPendingIsDoneAtOnceAndABadNumberAborts)
{
    device_->StartAsyncUpload({-1, -1, false});
    EXPECT_TRUE(device_->Async().uploadDone.load());

    // A bad target number is refused before anything is sent, through the
    // abort flag that the programming screen polls.
    device_->StartAsyncUpload({16, -1, false});
    EXPECT_EQ(std::tuple(bool(device_->Async().abort.load()), bool(device_->Async().uploadDone.load())), std::tuple(true, false));
    ExpectNothingSent();
}

// The unit goes away in the middle of the silhouette: no crash, no hang; the
// upload reports a stall after its 3 s of silence.
TEST_F(UploadTest, UnplugDuringUploadStalls)
{
    device_->SetSilhouetteTarget(5, SilhouetteTargetRecord {}, SilhouetteMatrix {});
    unit_.AddFault({'f', 20, 1, unitsim::FaultKind::Delay, 1000});
    device_->StartAsyncUpload({-1, 5, true});
    ASSERT_TRUE(unit_.WaitForCount('f', 20, 20s));
    unit_.Unplug();
    EXPECT_FALSE(device_->IsUploadStalled());
    EXPECT_TRUE(WaitUntil([&] { return device_->IsUploadStalled(); }, 20s));
    EXPECT_EQ(std::tuple(bool(device_->Async().uploadDone.load()), unit_.Received().size()), std::tuple(false, 21u));
}
