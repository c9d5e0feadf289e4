// The asynchronous download of stored shots: the banks walked one shot per
// ack, each shot stored unscored with its trace.
#include "DeviceRig.h"
#include "TestTargets.h"

namespace {

unitsim::SimShot Stored(int16_t x, int16_t y, uint8_t ring = 0)
{
    unitsim::SimShot s = ShotAt(x, y);
    s.ringTarget = ring;
    return s;
}

class DownloadTest : public UnitDeviceTest {
protected:
    // Downloads what the unit announces in its bank counts (read first, as
    // the identification does); true once complete.
    bool Download()
    {
        Sync();
        unit_.ClearReceived();
        device_->StartAsyncDownload();
        return WaitUntil([&] { return device_->Async().downloadComplete.load(); }, 20s);
    }
    const TShot* Find(const unitsim::StoredShot& stored)
    {
        RawShotRecord raw;
        std::copy(stored.result.begin(), stored.result.end(), raw.b.begin());
        const int at = device_->Shooter()->FindShot(raw);
        return at < 0 ? nullptr : device_->Shooter()->GetShot(at);
    }
};

} // namespace

TEST_F(DownloadTest, WalksTheBanksWithShots)
{
    const int traces[5] = {5, 0, 3, 4, 2};
    const int banks[5] = {1, 1, 1, 6, 6};
    std::vector<unitsim::StoredShot> stored;
    for (int i = 0; i < 5; ++i)
        stored.push_back(unit_.AddStoredShot(banks[i], Stored(int16_t(10 + i), int16_t(20 + i), uint8_t(i)), traces[i]));
    ASSERT_TRUE(Download());
    EXPECT_EQ(std::tuple(device_->Async().downloadFinished.load(), device_->Async().abort.load(),
                         device_->Async().downloadRequestCount.load(), ArgsOf('b')),
              std::tuple(true, false, 5, (Args {{1, 0}, {1, 1}, {1, 2}, {6, 0}, {6, 1}})));

    // Stored raw (no live start): positions as sent, the trace that came with it.
    ASSERT_EQ(device_->Shooter()->ShotCount(), 5);
    for (std::size_t i = 0; i < stored.size(); ++i) {
        SCOPED_TRACE(i);
        const TShot* shot = Find(stored[i]);
        ASSERT_NE(shot, nullptr);
        EXPECT_EQ(std::tuple(shot->raw.XNAU(), shot->raw.Score(), shot->CurveCount()), std::tuple(10 + int(i), 0, traces[i]));
    }

    // Acks after completion request nothing more.
    InjectAck('b');
    Sync();
    EXPECT_EQ(std::tuple(ArgsOf('b').size(), bool(device_->DownloadProgress().missing.empty())), std::tuple(5u, true));
    EXPECT_EQ(device_->DownloadProgress().received, 5);
}

TEST_F(DownloadTest, NothingStoredRequestsNothingAndARestartRuns)
{
    Sync();
    unit_.ClearReceived();
    device_->StartAsyncDownload();
    EXPECT_FALSE(device_->Async().downloadActive.load());
    ExpectNothingSent();

    // A second download after a complete one walks its banks again.
    unit_.AddStoredShot(0, Stored(1, 1), 1);
    ASSERT_TRUE(Download());
    unit_.AddStoredShot(3, Stored(2, 2), 1);
    unit_.AddStoredShot(3, Stored(3, 3), 1);
    ASSERT_TRUE(Download());
    EXPECT_EQ(std::tuple(ArgsOf('b'), device_->Shooter()->ShotCount()), std::tuple((Args {{0, 0}, {3, 0}, {3, 1}}), 3));
}

// An error report of the unit aborts: the next ack requests nothing. The
// next download starts afresh.
TEST_F(DownloadTest, ErrorReportAbortsAndTheNextDownloadRuns)
{
    for (int16_t i = 1; i <= 3; ++i)
        unit_.AddStoredShot(2, Stored(i, i), 0);
    Sync();
    unit_.AddFault({'b', 2, 1, unitsim::FaultKind::ErrorReport});
    device_->StartAsyncDownload();
    ASSERT_TRUE(WaitUntil([&] { return device_->Async().abort.load(); }, 10s));
    InjectAck('b');
    Sync();
    EXPECT_EQ(std::tuple(ArgsOf('b'), device_->Shooter()->ShotCount(), bool(device_->Async().downloadComplete.load())),
              std::tuple((Args {{2, 0}, {2, 1}}), 1, false));

    ASSERT_TRUE(Download());
    EXPECT_EQ(std::tuple(bool(device_->Async().abort.load()), ArgsOf('b'), device_->Shooter()->ShotCount()),
              std::tuple(false, (Args {{2, 0}, {2, 1}, {2, 2}}), 3));
}

// A result lost or damaged on the line: the shot is asked for once more; a
// second loss is reported as missing. No shot's trace takes another's samples.
TEST_F(DownloadTest, LostResultIsAskedAgainOnceThenReportedMissing)
{
    struct Case {
        const char* name;
        unitsim::FaultKind kind;
        int losses;
    };
    const Case cases[] = {
        {"dropped once", unitsim::FaultKind::DropResult, 1},
        {"damaged once", unitsim::FaultKind::CorruptResult, 1},
        {"dropped twice", unitsim::FaultKind::DropResult, 2},
        {"damaged twice", unitsim::FaultKind::CorruptResult, 2},
    };
    const int traces[3] = {7, 11, 5};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device_->Shooter()->ClearShots();
        unit_.ClearBanks();
        std::vector<unitsim::StoredShot> stored;
        for (int i = 0; i < 3; ++i)
            stored.push_back(unit_.AddStoredShot(3, Stored(int16_t(40 + i), 0), traces[i]));
        // The second shot's answer loses its result.
        unit_.AddFault({'b', 2, c.losses, c.kind});
        ASSERT_TRUE(Download());
        const bool recovered = c.losses == 1;
        EXPECT_EQ(ArgsOf('b'), (Args {{3, 0}, {3, 1}, {3, 1}, {3, 2}}));
        const TDownloadProgress progress = device_->DownloadProgress();
        EXPECT_EQ(std::tuple(progress.announced, progress.received), std::tuple(3, recovered ? 3 : 2));
        EXPECT_EQ(progress.missing, recovered ? std::vector<TStoredShotRef> {} : (std::vector<TStoredShotRef> {{3, 1}}));
        ASSERT_EQ(device_->Shooter()->ShotCount(), recovered ? 3 : 2);
        for (int i = 0; i < 3; ++i) {
            const TShot* shot = Find(stored[std::size_t(i)]);
            if (i == 1 && !recovered) {
                EXPECT_EQ(shot, nullptr);
                continue;
            }
            ASSERT_NE(shot, nullptr) << "shot " << i;
            EXPECT_EQ(shot->CurveCount(), traces[i]) << "shot " << i;
        }
    }
}

// A unit left measuring streamed samples, and a live training ran before:
// neither leaks into the stored shots, which arrive raw for the rescoring.
TEST_F(DownloadTest, NothingFromBeforeJoinsTheStoredShots)
{
    const unitsim::StoredShot stored = unit_.AddStoredShot(0, Stored(300, -200, 5), 30);
    device_->SetShooterTarget(GoldenRing());
    device_->SetCurrentTarget(GoldenRing());
    device_->SetMode(1);
    device_->SetLiveStarted(true);
    unit_.SetForcedStreaming(true);
    ASSERT_TRUE(WaitUntil([&] { return device_->SampleCount() >= 21; }, 10s));
    unit_.SetForcedStreaming(false);
    // Every sample sent has arrived.
    ASSERT_TRUE(WaitUntil([&] { return uint64_t(device_->SampleCount()) == unit_.Stats().samplesSent; }, 10s));

    ASSERT_TRUE(Download());
    EXPECT_FALSE(device_->LiveStarted());
    const TShot* shot = Find(stored);
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(std::tuple(shot->CurveCount(), bool(shot->converted), shot->raw.RingTargetIndex(), shot->raw.XNAU()),
              std::tuple(30, false, 5, 300));
}

// The unit goes away halfway: no crash, no hang, the shots already received
// stay intact and the download stays incomplete.
TEST_F(DownloadTest, UnplugDuringDownloadKeepsReceivedShots)
{
    std::vector<unitsim::StoredShot> stored;
    for (int i = 0; i < 5; ++i)
        stored.push_back(unit_.AddStoredShot(4, Stored(int16_t(100 + i), int16_t(-i)), 10));
    Sync();
    unit_.AddFault({'b', 3, 1, unitsim::FaultKind::Delay, 2000});
    device_->StartAsyncDownload();
    ASSERT_TRUE(unit_.WaitForCount('b', 3, 10s));
    ASSERT_TRUE(WaitUntil([&] { return device_->Shooter()->ShotCount() == 2; }, 10s));
    unit_.Unplug();

    EXPECT_TRUE(device_->Async().downloadActive.load());
    EXPECT_FALSE(device_->Async().downloadComplete.load());
    TShooter* shooter = device_->Shooter();
    ASSERT_EQ(shooter->ShotCount(), 2);
    for (int i = 0; i < 2; ++i) {
        const TShot* shot = Find(stored[std::size_t(i)]);
        ASSERT_NE(shot, nullptr);
        EXPECT_EQ(shot->CurveCount(), 10);
    }
    // Closing the device on the dead port returns.
    device_.reset();
    EXPECT_EQ(shooter->ShotCount(), 2);
}
