// A device on a real pseudo-terminal with a simulated unit behind it, from
// the identification on.
#include "DeviceRig.h"
#include "TestTargets.h"

#include <set>

namespace {

class DeviceE2E : public UnitDeviceTest {
protected:
    void Identify()
    {
        device_->StartAsyncIdentify();
        ASSERT_TRUE(Ticking([&] { return device_->Async().identifyFinished.load(); }, 20s));
        ASSERT_TRUE(device_->Identified());
    }
};

} // namespace

TEST_F(DeviceE2E, IdentifyMeasureShootAndUnplug)
{
    unit_.AddStoredShot(1, ShotAt(10), 3);
    unit_.AddStoredShot(6, ShotAt(10), 3);
    // The stop answered twice must not run the request chain twice.
    unit_.AddFault({'a', 1, 1, unitsim::FaultKind::DuplicateAck});
    Identify();
    EXPECT_EQ(std::tuple(device_->Busy(), device_->ModelType(), device_->ShotTotal(), device_->Shooter()->SerialNumber()),
              std::tuple(false, 1, 2, QStringLiteral("KBR0001234")));
    // The stop, then 21 requests, each sent on the answer to the one before.
    EXPECT_EQ(unit_.ReceivedLetters(), "a" + std::string(9, 'c') + std::string(11, 'e') + "c");
    EXPECT_FALSE(device_->IdentifyTimerEnabled());

    device_->SetShooterTarget(GoldenRing());
    device_->SetCurrentTarget(GoldenRing());
    device_->SetLiveStarted(true);
    device_->StartMeasuring(1);
    ASSERT_TRUE(WaitUntil([&] { return device_->SampleCount() >= 30; }, 10s));
    unit_.FireShot(ShotAt(100));
    ASSERT_TRUE(WaitUntil([&] { return device_->ShotCount() == 1; }, 10s));
    TShot* scored = device_->Shooter()->GetShot(0);
    EXPECT_EQ(std::tuple(scored->raw.Score(), scored->raw.ClockSector()), std::tuple(97, 3));
    EXPECT_GE(scored->CurveCount(), 25);
    EXPECT_TRUE(scored->converted);

    // Pulled out while streaming: no hang, the shot stays.
    ASSERT_TRUE(WaitUntil([&] { return device_->SampleCount() >= 60; }, 10s));
    unit_.Unplug();
    EXPECT_EQ(device_->ShotCount(), 1);
    device_->ClosePort();
    EXPECT_FALSE(device_->Data().IsOpen());
    EXPECT_THROW(device_->SendStop(), Exception);
}

TEST_F(DeviceE2E, RepliesSeenWhileSamplesStream)
{
    Identify();
    unit_.SetForcedStreaming(true);
    ASSERT_TRUE(WaitUntil([&] { return device_->SampleCount() >= 5; }, 10s));
    // The ack is buried under samples by the time the waiter looks.
    EXPECT_TRUE(device_->SendAndWait(BuildEnterSetupMode(), ReplyAck, 10000));
    EXPECT_TRUE(device_->SendAndWait(BuildRequestInfo(32), ReplyShotBankCounts, 10000));
    // A lost answer is a failure after the time-out.
    unit_.AddFault({'a', 1, 1, unitsim::FaultKind::Drop});
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(device_->SendAndWait(BuildStop(), ReplyAck, 200));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 200ms);
    unit_.SetForcedStreaming(false);

    // Stray bytes that look like the start of a frame longer than the reply
    // behind them hold it back until their fields show them no frame or the
    // line has been silent long enough; the reply still comes through.
    const std::tuple<unitsim::Bytes, Frame, int> strays[] = {
        {{0xCA, 'j'}, BuildRequestInfo(32), ReplyShotBankCounts},
        {{'Y', 'c', 0x00}, BuildStop(), ReplyAck},
    };
    for (const auto& [bytes, request, reply] : strays) {
        unit_.InjectRaw(bytes);
        EXPECT_TRUE(device_->SendAndWait(request, reply, 10000));
    }
}

// A slow link holds a frame back mid-way (a Bluetooth link, a USB adapter
// with a raised latency timer, a serial bridge), and line noise puts frame
// starts that never finish in front of every frame: every answer, sample and
// shot still arrives, and no noise becomes a shot.
TEST_F(DeviceE2E, SlowAndNoisyLinesLoseNothing)
{
    unit_.AddStoredShot(2, ShotAt(10), 3);
    unit_.SetNoise(true, unitsim::NoiseKind::FrameLeads);
    // The bank counts and a parameter block stop halfway for 600 ms.
    unit_.AddFault({'c', 2, 1, unitsim::FaultKind::Pause, 600});
    unit_.AddFault({'e', 4, 1, unitsim::FaultKind::Pause, 600});
    device_->StartAsyncIdentify();
    ASSERT_TRUE(Ticking([&] { return device_->Async().identifyFinished.load(); }, 30s));
    EXPECT_EQ(std::tuple(device_->Identified(), device_->ShotTotal()), std::tuple(true, 1));

    // An ack held back for 1.5 s, then a live result paused for 1 s.
    unit_.AddFault({'a', 1, 1, unitsim::FaultKind::Pause, 1500});
    EXPECT_TRUE(device_->SendAndWait(BuildEnterSetupMode(), ReplyAck, 10000));
    device_->SetShooterTarget(GoldenRing());
    device_->SetCurrentTarget(GoldenRing());
    device_->SetMode(1);
    device_->SetLiveStarted(true);
    unit_.SetWriteMode(unitsim::WriteMode::Split, 18, 1000);
    unit_.FireShot(ShotAt(100));
    ASSERT_TRUE(WaitUntil([&] { return device_->ShotCount() == 1; }, 20s));
    unit_.SetWriteMode(unitsim::WriteMode::PerFrame);

    // Measuring under the noise: every sample the unit sent is taken, the
    // next shot keeps its whole trace, and nothing else is a shot.
    device_->StartMeasuring(1);
    ASSERT_TRUE(WaitUntil([&] { return device_->SampleCount() >= 100; }, 20s));
    unit_.FireShot(ShotAt(300)); // later in time than the first
    ASSERT_TRUE(WaitUntil([&] { return device_->ShotCount() == 2; }, 20s));
    device_->SendStop();
    Sync();
    ASSERT_TRUE(WaitUntil([&] { return uint64_t(device_->SampleCount()) == unit_.Stats().samplesSent; }, 20s));
    const TShot* second = device_->Shooter()->GetShot(1);
    EXPECT_EQ(std::tuple(device_->ShotCount(), second->raw.ShotNumber()),
              std::tuple(2, device_->Shooter()->GetShot(0)->raw.ShotNumber() + 1));
    EXPECT_GE(second->CurveCount(), 60);
}

// Bank counts 89, 10 and 99 put bytes 59 00 0a 00 63 into the counts answer:
// an acknowledgement's shape. Over a line that hands the bytes over 9 or 10
// at a time, or one at a time as at 9600 baud, the unit is still identified,
// each request sent once on the answer to the one before.
TEST_F(DeviceE2E, IdentifiesOverSlowLinesWhenBankCountsLookLikeAnAck)
{
    const int counts[] = {89, 10, 99};
    for (int bank = 0; bank < 3; ++bank)
        for (int i = 0; i < counts[bank]; ++i)
            unit_.AddStoredShot(bank, unitsim::StoredShot {});
    for (const auto& [piece, pauseMs] : {std::pair(9, 5), std::pair(10, 5), std::pair(1, 1)}) {
        SCOPED_TRACE(piece);
        unit_.SetWriteMode(unitsim::WriteMode::Split, piece, pauseMs);
        unit_.ClearReceived();
        device_->ResetAsyncState();
        device_->StartAsyncIdentify();
        ASSERT_TRUE(Ticking([&] { return device_->Async().identifyFinished.load(); }, 15s))
            << "identify stalled at step " << device_->Async().identifyStep.load();
        EXPECT_EQ(std::tuple(device_->Identified(), device_->ShotTotal(), unit_.ReceivedLetters()),
                  std::tuple(true, 198, "a" + std::string(9, 'c') + std::string(11, 'e') + "c"));
    }
}

// A damaged result before a shot numbered out of turn tells of a lost shot
// only when both shots came in the same run: a reopened port, a new start of
// measuring or a download may begin anywhere in the unit's numbering.
TEST_F(DeviceE2E, AShotGapIsALossOnlyWithinOneRun)
{
    std::mutex lock;
    int losses = 0;
    SetDebugLogSink([&](const QString& line) {
        std::lock_guard guard(lock);
        losses += line.contains(QStringLiteral("lost on the line"));
    });
    // Shot 200, then what starts a run, then a damaged result and shot 50.
    const auto gap = [&](const std::function<void()>& newRun) {
        const int before = device_->ShotCount();
        unit_.InjectRaw(unitsim::ShotResultFrame(ShotAt(int16_t(before)), 200, uint32_t(before)));
        EXPECT_TRUE(WaitUntil([&] { return device_->ShotCount() == before + 1; }, 10s));
        newRun();
        unitsim::Bytes damaged = unitsim::ShotResultFrame(ShotAt(7), 9, 7);
        damaged.back() ^= 0x55;
        unit_.InjectRaw(damaged);
        unit_.InjectRaw(unitsim::ShotResultFrame(ShotAt(int16_t(before + 1)), 50, uint32_t(before + 1)));
        EXPECT_TRUE(WaitUntil([&] { return device_->ShotCount() == before + 2; }, 10s));
        std::lock_guard guard(lock);
        return std::exchange(losses, 0);
    };
    EXPECT_EQ(gap([] {}), 1);
    EXPECT_EQ(gap([&] {
        device_->ClosePort();
        ASSERT_TRUE(device_->OpenPort(ComNumber, true));
        ASSERT_TRUE(WaitUntil([&] { return unit_.ListenerReady(); }, 10s));
    }), 0);
    EXPECT_EQ(gap([&] {
        device_->StartMeasuring(1);
        device_->SendStop();
        Sync();
    }), 0);
    // The download's first stored result comes damaged, then again whole.
    unit_.AddStoredShot(2, ShotAt(900), 0);
    unit_.AddFault({'b', 1, 1, unitsim::FaultKind::CorruptResult});
    Sync();
    device_->StartAsyncDownload();
    ASSERT_TRUE(WaitUntil([&] { return device_->Async().downloadComplete.load(); }, 20s));
    SetDebugLogSink({});
    EXPECT_EQ(std::tuple(losses, device_->DownloadProgress().received), std::tuple(0, 1));
}

TEST_F(DeviceE2E, PowerUpDashResendsTheStop)
{
    unitsim::UnitConfig config;
    config.powerUpOnRaw = true;
    unitsim::TSimUnit unit(config);
    unit.SetMute(true);
    SetComPortResolver([&](int n) { return n == ComNumber + 1 ? unit.SlavePath() : std::string(); });
    TDevice device;
    ASSERT_TRUE(device.OpenPort(ComNumber + 1, false));
    device.StartAsyncIdentify();
    // The "-" makes the stop go out again at once and stops the timer.
    ASSERT_TRUE(unit.WaitForCount('a', 2, 10s));
    EXPECT_EQ(std::tuple(bool(device.Data().DashSeen()), device.IdentifyTries(), device.IdentifyTimerEnabled()),
              std::tuple(true, 1, false));
    // The unit acks a stop but never answers the first request: the stalled
    // identification fails instead of hanging.
    unit.AddFault({'c', 1, 0, unitsim::FaultKind::Drop});
    unit.SetMute(false);
    EXPECT_TRUE(device.SendAndWait(BuildStop(), ReplyAck, 10000));
    ASSERT_TRUE(WaitUntil([&] { return device.Async().identifyStep.load() == 1; }, 10s));
    ASSERT_TRUE(Ticking([&] { return device.Async().identifyFinished.load(); }, 5s, &device));
    EXPECT_EQ(std::tuple(device.Identified(), device.Busy()), std::tuple(false, false));
}

// ---- The unit playing a trainee ----------------------------------------------------

namespace {

// A 25 m silhouette, 500 mm square: zone 1 on the left half, 2 on the right,
// 3 in the top rows.
TargetDescription HalvedSilhouette()
{
    TargetDescription t;
    t.hasSilhouette = 1;
    t.silhouetteRecord.SetNominalDistance(250);
    t.silhouetteRecord.SetSize(500);
    for (int c = 0; c < SilhouetteMatrix::Columns; ++c)
        for (int r = 0; r < SilhouetteMatrix::Rows; ++r)
            t.silhouetteMatrix.SetCell(c, r, r < 8 ? 3 : c < 32 ? 1 : 2);
    return t;
}

// Settings that train in mode (1 classic, 2 dynamic) on the given slots.
SetupBlocks TrainingOn(int mode, int ringSlot, int silhouetteSlot, int bullets)
{
    SetupBlocks blocks;
    blocks.SetFunctionMode(mode);
    ModeBlock m;
    m.SetRingTargetEnabled(ringSlot >= 0);
    m.SetRingTargetNumber(ringSlot >= 0 ? ringSlot : 255);
    m.SetSilhouetteEnabled(silhouetteSlot >= 0);
    m.SetSilhouetteTargetNumber(silhouetteSlot >= 0 ? silhouetteSlot : 255);
    m.SetNumberOfBullets(bullets);
    blocks.SetModeBlock(mode, m);
    return blocks;
}

class TraineeE2E : public UnitDeviceTest {
protected:
    void Program(const TUploadPlan& plan, const SetupBlocks& blocks)
    {
        device_->SetSettingsBlocks(blocks);
        device_->StartAsyncUpload(plan);
        ASSERT_TRUE(WaitUntil([&] { return device_->Async().uploadDone.load(); }, 10s));
        ASSERT_TRUE(unit_.Programmed());
    }
    void GoLive(const TargetDescription& target, int mode)
    {
        device_->SetShooterTarget(target);
        device_->SetCurrentTarget(target);
        device_->SetLiveStarted(true);
        device_->StartMeasuring(mode);
    }
};

} // namespace

TEST_F(DeviceE2E, TraineeShootsOnItsOwnAndTheShotArrivesScoredWithItsTrace)
{
    unitsim::UnitConfig config;
    config.trainee = true;
    config.shootEverySeconds = 1;
    config.traineeSeed = 7;
    unitsim::TSimUnit unit(config);
    SetComPortResolver([&](int n) { return n == ComNumber + 2 ? unit.SlavePath() : std::string(); });
    TDevice device;
    ASSERT_TRUE(device.OpenPort(ComNumber + 2, true));
    ASSERT_TRUE(WaitUntil([&] { return unit.ListenerReady(); }, 10s));
    device.SetShooterTarget(GoldenRing());
    device.SetCurrentTarget(GoldenRing());
    device.SetLiveStarted(true);
    device.StartMeasuring(1);

    // The trainee breaks after seconds of its own samples, which a busy
    // machine stretches: the wait follows the unit, not the clock.
    ASSERT_TRUE(WaitUntil([&] { return unit.Stats().resultsSent >= 2; }, 120s));
    ASSERT_TRUE(WaitUntil([&] { return device.ShotCount() >= 2; }, 30s));
    device.SendStop();
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const TShot* shot = device.Shooter()->GetShot(i);
        // The trainee settles on the target: the shot scores, and its trace
        // (the approach and hold before the break) ends where the shot broke.
        EXPECT_TRUE(shot->converted);
        EXPECT_GT(shot->raw.Score(), 0);
        ASSERT_GE(shot->CurveCount(), 40);
        const TraceSample& last = shot->Curve()[shot->CurveCount() - 1];
        EXPECT_NEAR(last.X(), shot->raw.X(), 1);
        EXPECT_NEAR(last.Y(), shot->raw.Y(), 1);
        int moved = 0;
        for (int k = 1; k < shot->CurveCount(); ++k)
            moved += shot->Curve()[k].X() != shot->Curve()[k - 1].X();
        EXPECT_GT(moved, shot->CurveCount() / 2); // a hold, not a fixed point
    }
    // The recoil after the first break did not reach the second shot's trace.
    EXPECT_LT(device.Shooter()->GetShot(1)->Curve()[0].Y(), 2000);
}

TEST_F(TraineeE2E, RangeShotsDownloadWithTheirTargetAndARingScore)
{
    device_->SetRingTarget(3, GoldenRingRecord());
    Program({3, -1, true}, TrainingOn(1, 3, -1, 6));
    EXPECT_EQ(unit_.GoToRange(), 0);
    EXPECT_EQ(unit_.BankCount(0), 6);

    Sync();
    device_->StartAsyncDownload();
    ASSERT_TRUE(WaitUntil([&] { return device_->Async().downloadComplete.load(); }, 5s));
    // The target comes from the unit, as after a download on another PC.
    device_->SetTargetTables(DeviceSetup {});
    EXPECT_TRUE(device_->ReadMissingTargets());
    EXPECT_TRUE(device_->RescoreDownloadedShots().error.isEmpty());
    ASSERT_EQ(device_->ShotCount(), 6);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const TShot* shot = device_->Shooter()->GetShot(i);
        EXPECT_EQ(std::tuple(shot->raw.RingTargetIndex(), shot->raw.FunctionMode()), std::tuple(3, 1));
        EXPECT_GT(shot->raw.Score(), 0);
        // Enough trace before the break for a hold box.
        EXPECT_GE(shot->CurveCount(), 100);
    }
}

TEST_F(TraineeE2E, SilhouetteShotsGetTheirZoneAndPlaceFromTheUnit)
{
    const TargetDescription target = HalvedSilhouette();
    device_->SetSilhouetteTarget(0, target.silhouetteRecord, target.silhouetteMatrix);
    Program({-1, 0, true}, TrainingOn(2, -1, 0, 10));
    GoLive(target, 2);
    // 25 m measured: 800 raw units are 800 x 25 / 300 = 66.6 mm.
    unit_.FireShotAt(800, 0);
    unit_.FireShotAt(-800, -100);
    unit_.FireShotAt(0, 2800);
    unit_.FireShotAt(5000, 0);
    ASSERT_TRUE(WaitUntil([&] { return device_->ShotCount() == 4; }, 10s));
    device_->SendStop();
    // Zone, then the place in 0.1 mm; shots of one tick may come in any order.
    std::set<std::tuple<int, int, int>> got;
    for (int i = 0; i < 4; ++i) {
        const RawShotRecord& raw = device_->Shooter()->GetShot(i)->raw;
        got.insert({raw.Silhouette(), raw.X(), raw.Y()});
        EXPECT_EQ(std::tuple(raw.Revalm(), raw.SilhouetteTargetIndex()), std::tuple(250, 0));
    }
    EXPECT_EQ(got, (std::set<std::tuple<int, int, int>> {{2, 666, 0}, {1, -666, -83}, {3, 0, 2333}, {0, 4166, 0}}));
}
