// The asynchronous download of stored shots end to end: a TDevice on a
// pseudo-terminal against the simulated unit, walking the banks one shot per
// ack and storing each shot, unscored, with its trace.
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

constexpr int ComNumber = 42;

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

unitsim::SimShot Shot(int16_t x, int16_t y, uint8_t ring)
{
    unitsim::SimShot s;
    s.x = x;
    s.y = y;
    s.time = 1000 + x;
    s.functionMode = 1;
    s.ringTarget = ring;
    return s;
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        session_ = std::make_unique<TSession>();
        CurrentSession = session_.get();
        SetComPortResolver([this](int n) { return n == ComNumber ? unit_.SlavePath() : std::string(); });
        device_ = std::make_unique<TDevice>();
        ASSERT_NE(device_->Shooter(), nullptr);
        ASSERT_TRUE(device_->OpenPort(ComNumber, true));
        ASSERT_TRUE(WaitUntil([&] { return unit_.ListenerReady(); }, 2000ms));
    }

    void TearDown() override
    {
        device_.reset();
        SetComPortResolver({});
        CurrentSession = nullptr;
        session_.reset();
    }

    // What the identification leaves behind: the unit's bank counts.
    void ReadCounts()
    {
        ASSERT_TRUE(device_->SendAndWait(BuildRequestInfo(32), ReplyShotBankCounts, 2000));
        unit_.ClearReceived();
    }

    // "b" requests received, as (bank, index).
    std::vector<std::pair<int, int>> Requests() const
    {
        std::vector<std::pair<int, int>> out;
        for (const auto& f : unit_.Received())
            if (f.Letter() == 'b')
                out.emplace_back(f.Arg(1), f.Arg(2));
        return out;
    }

    std::unique_ptr<TSession> session_;
    unitsim::TSimUnit unit_;
    std::unique_ptr<TDevice> device_;
};

} // namespace

TEST_F(DownloadTest, WalksTheBanksWithShots)
{
    std::vector<unitsim::StoredShot> stored;
    stored.push_back(unit_.AddStoredShot(1, Shot(10, 20, 0), 5));
    stored.push_back(unit_.AddStoredShot(1, Shot(11, 21, 0), 0));
    stored.push_back(unit_.AddStoredShot(1, Shot(12, 22, 2), 3));
    stored.push_back(unit_.AddStoredShot(6, Shot(13, 23, 255), 4));
    stored.push_back(unit_.AddStoredShot(6, Shot(14, 24, 1), 2));
    ReadCounts();

    device_->StartAsyncDownload();
    ASSERT_TRUE(WaitUntil([&] { return device_->async.downloadComplete.load(); }, 5000ms));
    EXPECT_TRUE(device_->async.downloadFinished.load());
    EXPECT_TRUE(device_->async.downloadActive.load());
    EXPECT_FALSE(device_->async.abort.load());
    EXPECT_EQ(device_->async.downloadRequestCount.load(), 5);
    EXPECT_EQ(Requests(), (std::vector<std::pair<int, int>> {{1, 0}, {1, 1}, {1, 2}, {6, 0}, {6, 1}}));

    // Every shot stored raw (no live start): positions as sent, trace of the
    // samples that came with it.
    TShooter* shooter = device_->Shooter();
    ASSERT_EQ(shooter->ShotCount(), 5);
    const int traces[5] = {5, 0, 3, 4, 2};
    for (std::size_t i = 0; i < stored.size(); ++i) {
        RawShotRecord raw;
        std::copy(stored[i].result.begin(), stored[i].result.end(), raw.b.begin());
        const int at = shooter->FindShot(raw);
        ASSERT_GE(at, 0) << "shot " << i;
        const TShot* shot = shooter->GetShot(at);
        EXPECT_EQ(shot->raw.XNAU(), 10 + int(i));
        EXPECT_EQ(shot->raw.YNAU(), 20 + int(i));
        EXPECT_EQ(shot->raw.Score(), 0);
        EXPECT_EQ(shot->CurveCount(), traces[i]) << "shot " << i;
    }

    // Acks after completion request nothing more.
    std::array<uint8_t, 5> ack {'Y', 'b', 0, 0, 0};
    ack[4] = Checksum(ack.data(), 4);
    {
        auto lock = device_->Lock();
        device_->HandleFrame(ack.data(), 5, ReplyAck);
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(Requests().size(), 5u);
}

TEST_F(DownloadTest, NothingStoredRequestsNothingAndARestartRuns)
{
    ReadCounts();
    device_->StartAsyncDownload();
    EXPECT_FALSE(device_->async.downloadActive.load());
    EXPECT_FALSE(device_->async.downloadComplete.load());
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(unit_.Received().empty());

    // A second download after a complete one walks its banks again.
    unit_.AddStoredShot(0, Shot(1, 1, 0), 1);
    ReadCounts();
    device_->StartAsyncDownload();
    ASSERT_TRUE(WaitUntil([&] { return device_->async.downloadComplete.load(); }, 3000ms));
    unit_.AddStoredShot(3, Shot(2, 2, 0), 1);
    unit_.AddStoredShot(3, Shot(3, 3, 0), 1);
    ReadCounts();
    device_->StartAsyncDownload();
    EXPECT_FALSE(device_->async.downloadComplete.load());
    ASSERT_TRUE(WaitUntil([&] { return device_->async.downloadComplete.load(); }, 3000ms));
    EXPECT_EQ(Requests(), (std::vector<std::pair<int, int>> {{0, 0}, {3, 0}, {3, 1}}));
    EXPECT_EQ(device_->Shooter()->ShotCount(), 3);
}

// An error report of the unit aborts: the next ack requests nothing.
TEST_F(DownloadTest, ErrorReportAborts)
{
    unit_.AddStoredShot(2, Shot(1, 1, 0), 0);
    unit_.AddStoredShot(2, Shot(2, 2, 0), 0);
    unit_.AddStoredShot(2, Shot(3, 3, 0), 0);
    ReadCounts();
    unitsim::Fault f;
    f.command = 'b';
    f.nth = 2;
    f.kind = unitsim::FaultKind::ErrorReport;
    unit_.AddFault(f);
    device_->StartAsyncDownload();
    ASSERT_TRUE(WaitUntil([&] { return device_->async.abort.load(); }, 3000ms));
    EXPECT_FALSE(device_->async.downloadComplete.load());
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Requests(), (std::vector<std::pair<int, int>> {{2, 0}, {2, 1}}));
    EXPECT_EQ(device_->Shooter()->ShotCount(), 1);

    std::array<uint8_t, 5> ack {'Y', 'b', 0, 0, 0};
    ack[4] = Checksum(ack.data(), 4);
    {
        auto lock = device_->Lock();
        device_->HandleFrame(ack.data(), 5, ReplyAck);
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(Requests().size(), 2u);
    EXPECT_FALSE(device_->async.downloadComplete.load());
}

// The unit goes away halfway: no crash, no hang, the shots already received
// stay intact and the download stays incomplete.
TEST_F(DownloadTest, UnplugDuringDownloadKeepsReceivedShots)
{
    std::vector<unitsim::StoredShot> stored;
    for (int i = 0; i < 5; ++i)
        stored.push_back(unit_.AddStoredShot(4, Shot(int16_t(100 + i), int16_t(-i), 0), 10));
    ReadCounts();
    unitsim::Fault f;
    f.command = 'b';
    f.nth = 3;
    f.kind = unitsim::FaultKind::Delay;
    f.delayMs = 2000;
    unit_.AddFault(f);
    device_->StartAsyncDownload();
    ASSERT_TRUE(unit_.WaitForCount('b', 3, 3000ms));
    ASSERT_TRUE(WaitUntil([&] { return device_->Shooter()->ShotCount() == 2; }, 3000ms));
    unit_.Unplug();
    std::this_thread::sleep_for(200ms);

    EXPECT_TRUE(device_->async.downloadActive.load());
    EXPECT_FALSE(device_->async.downloadComplete.load());
    TShooter* shooter = device_->Shooter();
    ASSERT_EQ(shooter->ShotCount(), 2);
    for (int i = 0; i < 2; ++i) {
        RawShotRecord raw;
        std::copy(stored[std::size_t(i)].result.begin(), stored[std::size_t(i)].result.end(), raw.b.begin());
        const int at = shooter->FindShot(raw);
        ASSERT_GE(at, 0);
        EXPECT_EQ(shooter->GetShot(at)->CurveCount(), 10);
    }
    // Closing the device on the dead port returns.
    device_.reset();
    EXPECT_EQ(shooter->ShotCount(), 2);
}
