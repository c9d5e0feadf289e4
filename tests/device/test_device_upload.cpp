// The asynchronous setup upload end to end: a TDevice on a pseudo-terminal
// against the simulated unit, checking the exact frame sequence and the
// bytes that land in the unit.
#include "Device.h"

#include "CPort.h"
#include "Shotdata.h"
#include "TSimUnit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr int ComNumber = 41;

template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred())
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return pred();
}

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

std::unique_ptr<SilhouetteMatrix> MakeMatrix()
{
    auto m = std::make_unique<SilhouetteMatrix>();
    for (int c = 0; c < SilhouetteMatrix::Columns; ++c)
        for (int r = 0; r < SilhouetteMatrix::Rows; ++r)
            m->SetCell(c, r, (c * 7 + r * 3) % 4);
    return m;
}

class UploadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        session_ = std::make_unique<TSession>();
        CurrentSession = session_.get();
        SetComPortResolver([this](int n) { return n == ComNumber ? unit_.SlavePath() : std::string(); });
        device_ = std::make_unique<TDevice>();
        ASSERT_TRUE(device_->OpenPort(ComNumber, true));
        ASSERT_TRUE(WaitUntil([&] { return unit_.ListenerReady(); }, 2000ms));
        for (int i = 0; i < 64; ++i)
            device_->GetSettingsBlock()[i] = uint8_t(0xA0 + i);
    }

    void TearDown() override
    {
        device_.reset();
        SetComPortResolver({});
        CurrentSession = nullptr;
        session_.reset();
    }

    void Upload(bool ring, bool silhouette, bool settings)
    {
        TDeviceAsyncState& s = device_->async;
        s.ringPending = ring;
        s.ringTargetNumber = 3;
        s.silhouettePending = silhouette;
        s.silhouetteTargetNumber = 5;
        s.settingsPending = settings;
        device_->StartAsyncUpload();
    }

    bool Done(std::chrono::milliseconds limit = 5000ms)
    {
        return WaitUntil([&] { return device_->async.uploadDone.load(); }, limit);
    }

    // The 16 data bytes of a received frame starting at byte 'from'.
    static std::vector<uint8_t> Data16(const unitsim::ReceivedFrame& f, std::size_t from)
    {
        return std::vector<uint8_t>(f.bytes.begin() + std::ptrdiff_t(from), f.bytes.begin() + std::ptrdiff_t(from + 16));
    }
    static std::vector<uint8_t> Slice(const uint8_t* p, std::size_t from)
    {
        return std::vector<uint8_t>(p + from, p + from + 16);
    }

    std::unique_ptr<TSession> session_;
    unitsim::TSimUnit unit_;
    std::unique_ptr<TDevice> device_;
};

// Frames 1..13 after the first "a" of a settings upload, as letters and
// first argument.
void ExpectSettingsTail(const std::vector<unitsim::ReceivedFrame>& f, std::size_t at, const uint8_t* blocks)
{
    ASSERT_GE(f.size(), at + 14);
    EXPECT_EQ(f[at].Letter(), 'a');
    EXPECT_EQ(f[at].Arg(1), 15);
    EXPECT_EQ(f[at].Arg(3), 32);
    for (int i = 0; i < 3; ++i) {
        const auto& d = f[at + 1 + std::size_t(i)];
        EXPECT_EQ(d.Letter(), 'd');
        EXPECT_EQ(d.Arg(1), i);
        EXPECT_EQ(std::vector<uint8_t>(d.bytes.begin() + 2, d.bytes.begin() + 18),
                  std::vector<uint8_t>(blocks + 16 * i, blocks + 16 * i + 16));
    }
    const int banks[7] = {6, 0, 1, 2, 3, 4, 5};
    for (int i = 0; i < 7; ++i) {
        const auto& b = f[at + 4 + std::size_t(i)];
        EXPECT_EQ(b.Letter(), 'b');
        EXPECT_EQ(b.Arg(1), banks[i]);
        EXPECT_EQ(b.Arg(2), 0xFF);
    }
    const auto& last = f[at + 11];
    EXPECT_EQ(last.Letter(), 'd');
    EXPECT_EQ(last.Arg(1), 0x83);
    EXPECT_EQ(std::vector<uint8_t>(last.bytes.begin() + 2, last.bytes.begin() + 18),
              std::vector<uint8_t>(blocks + 48, blocks + 64));
    EXPECT_EQ(f[at + 12].Letter(), 'c');
    EXPECT_EQ(f[at + 12].Arg(1), 32);
    EXPECT_EQ(f[at + 13].Letter(), 'a');
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
    EXPECT_FALSE(device_->async.setupModeEntered.load());

    const auto f = unit_.Received();
    ASSERT_EQ(f.size(), 15u) << unit_.ReceivedLetters();
    EXPECT_EQ(unit_.ReceivedLetters(), "aadddbbbbbbbdca");
    EXPECT_EQ(f[0].Arg(1), 15);
    ExpectSettingsTail(f, 1, device_->GetSettingsBlock());

    // The unit now holds the blocks and has no stored shots left; the
    // counts answer was stored on the way.
    for (int i = 0; i < 4; ++i) {
        const auto block = unit_.ParameterBlock(i);
        EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.end()), Slice(device_->GetSettingsBlock(), 16 * std::size_t(i)));
    }
    EXPECT_EQ(unit_.BankCount(2), 0);
    EXPECT_TRUE(WaitUntil([&] { return device_->ReplyCount(ReplyShotBankCounts) == 1; }, 1000ms));

    // An ack after done changes nothing.
    const int steps = device_->async.uploadStepCount;
    std::array<uint8_t, 5> ack {'Y', 'a', 0, 0, 0};
    ack[4] = Checksum(ack.data(), 4);
    {
        auto lock = device_->Lock();
        device_->HandleFrame(ack.data(), 5, ReplyAck);
    }
    EXPECT_TRUE(device_->async.uploadDone.load());
    EXPECT_EQ(device_->async.uploadStepCount.load(), steps);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(unit_.Received().size(), 15u);
}

TEST_F(UploadTest, RingSilhouetteAndSettingsOneFramePerAck)
{
    const RingTargetRecord ring = MakeRing();
    const SilhouetteTargetRecord sil = MakeSilhouetteRecord();
    const auto matrix = MakeMatrix();
    {
        auto lock = device_->Lock();
        device_->targetTables.ringTargets[3] = ring;
        device_->targetTables.silhouetteTargets[5] = sil;
        device_->targetTables.silhouetteMatrices[5] = *matrix;
    }
    Upload(true, true, true);
    ASSERT_TRUE(Done(10000ms));

    const auto f = unit_.Received();
    ASSERT_EQ(f.size(), 1u + 4u + 66u + 13u + 1u) << unit_.ReceivedLetters();
    EXPECT_EQ(f[0].Letter(), 'a');

    // Ring: blocks 0, 1, 2 carry bytes 16-63, block 3 (marked last) the name.
    const int offsets[4] = {16, 32, 48, 0};
    for (int i = 0; i < 4; ++i) {
        const auto& l = f[1 + std::size_t(i)];
        EXPECT_EQ(l.Letter(), 'l');
        EXPECT_EQ(l.Arg(1), 3);
        EXPECT_EQ(l.Arg(2), i == 3 ? 0x83 : i);
        EXPECT_EQ(Data16(l, 3), Slice(ring.data(), std::size_t(offsets[i])));
    }
    EXPECT_EQ(unit_.RingTarget(3), ring.b);

    // Silhouette: device block, name, then the 64 rows, row 63 marked.
    const auto& h0 = f[5];
    EXPECT_EQ(h0.Letter(), 'f');
    EXPECT_EQ(h0.Arg(1), 5);
    EXPECT_EQ(h0.Arg(2), 0);
    EXPECT_EQ(Data16(h0, 3), Slice(sil.data(), 16));
    EXPECT_EQ(f[6].Arg(2), 1);
    EXPECT_EQ(Data16(f[6], 3), Slice(sil.data(), 0));
    for (int r = 0; r < 64; ++r) {
        const auto& p = f[7 + std::size_t(r)];
        EXPECT_EQ(p.Letter(), 'f');
        EXPECT_EQ(p.Arg(1), 5 | 0x40);
        EXPECT_EQ(p.Arg(2), r == 63 ? (63 | 0x80) : r);
        uint8_t packed[16];
        matrix->PackRow(r, packed);
        EXPECT_EQ(Data16(p, 3), std::vector<uint8_t>(packed, packed + 16)) << "row " << r;
    }
    const auto slot = unit_.Silhouette(5);
    EXPECT_TRUE(std::equal(slot.record.begin(), slot.record.end(), sil.b.begin()));
    for (int c = 0; c < 64; ++c)
        for (int r = 0; r < 64; ++r)
            ASSERT_EQ(slot.cells[std::size_t(64 * c + r)], matrix->Cell(c, r)) << c << "," << r;

    ExpectSettingsTail(f, 71, device_->GetSettingsBlock());
}

TEST_F(UploadTest, RingOnlyAddsFourFramesAndNothingPendingIsDoneAtOnce)
{
    {
        auto lock = device_->Lock();
        device_->targetTables.ringTargets[3] = MakeRing();
    }
    Upload(true, false, true);
    ASSERT_TRUE(Done());
    EXPECT_EQ(unit_.ReceivedLetters(), "alllladddbbbbbbbdca");

    // A second upload with nothing pending sends nothing and is done.
    unit_.ClearReceived();
    device_->async.uploadDone = false;
    Upload(false, false, false);
    EXPECT_TRUE(device_->async.uploadDone.load());
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(unit_.Received().empty());
}

// A bad target number is refused before anything is sent, through the
// abort flag that the programming screen polls.
TEST_F(UploadTest, BadTargetNumberAbortsBeforeSending)
{
    TDeviceAsyncState& s = device_->async;
    s.ringPending = true;
    s.ringTargetNumber = 16;
    device_->StartAsyncUpload();
    EXPECT_TRUE(s.abort.load());
    EXPECT_FALSE(s.uploadDone.load());
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(unit_.Received().empty());
}

// The unit goes away in the middle of the silhouette: no crash, no hang; the
// upload reports a stall after its 3 s of silence.
TEST_F(UploadTest, UnplugDuringUploadStalls)
{
    {
        auto lock = device_->Lock();
        device_->targetTables.silhouetteTargets[5] = MakeSilhouetteRecord();
    }
    unitsim::Fault f;
    f.command = 'f';
    f.nth = 20;
    f.kind = unitsim::FaultKind::Delay;
    f.delayMs = 1000;
    unit_.AddFault(f);
    Upload(false, true, true);
    ASSERT_TRUE(unit_.WaitForCount('f', 20, 5000ms));
    unit_.Unplug();
    EXPECT_FALSE(device_->async.uploadDone.load());
    EXPECT_FALSE(device_->IsUploadStalled());
    EXPECT_TRUE(WaitUntil([&] { return device_->IsUploadStalled(); }, 4000ms));
    EXPECT_FALSE(device_->async.uploadDone.load());
    EXPECT_EQ(unit_.Received().size(), 21u);
}
