// A device on a real pseudo-terminal with a simulated unit behind it, from
// the identification on.
#include "DeviceRig.h"
#include "TestTargets.h"

namespace {

class DeviceE2E : public UnitDeviceTest {
protected:
    void Identify()
    {
        device_->StartAsyncIdentify();
        ASSERT_TRUE(Ticking([&] { return device_->Async().identifyFinished.load(); }, 3s));
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
    ASSERT_TRUE(WaitUntil([&] { return device_->SampleCount() >= 30; }, 3s));
    unit_.FireShot(ShotAt(100));
    ASSERT_TRUE(WaitUntil([&] { return device_->ShotCount() == 1; }, 2s));
    TShot* scored = device_->Shooter()->GetShot(0);
    EXPECT_EQ(std::tuple(scored->raw.Score(), scored->raw.ClockSector()), std::tuple(97, 3));
    EXPECT_GE(scored->CurveCount(), 25);
    EXPECT_TRUE(scored->converted);

    // Pulled out while streaming: no hang, the shot stays.
    ASSERT_TRUE(WaitUntil([&] { return device_->SampleCount() >= 60; }, 3s));
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
    ASSERT_TRUE(WaitUntil([&] { return device_->SampleCount() >= 5; }, 2s));
    // The ack is buried under samples by the time the waiter looks.
    EXPECT_TRUE(device_->SendAndWait(BuildEnterSetupMode(), ReplyAck, 2000));
    EXPECT_TRUE(device_->SendAndWait(BuildRequestInfo(32), ReplyShotBankCounts, 2000));
    // A lost answer is a failure after the time-out.
    unit_.AddFault({'a', 1, 1, unitsim::FaultKind::Drop});
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(device_->SendAndWait(BuildStop(), ReplyAck, 200));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 200ms);
    unit_.SetForcedStreaming(false);

    // Stray bytes that look like the start of a frame longer than the reply
    // behind them hold it back only until the line has been quiet for a moment.
    const std::tuple<unitsim::Bytes, Frame, int> strays[] = {
        {{0xCA, 'j'}, BuildRequestInfo(32), ReplyShotBankCounts},
        {{'Y', 'c', 0x00}, BuildStop(), ReplyAck},
    };
    for (const auto& [bytes, request, reply] : strays) {
        unit_.InjectRaw(bytes);
        EXPECT_TRUE(device_->SendAndWait(request, reply, 2000));
    }
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
    ASSERT_TRUE(unit.WaitForCount('a', 2, 1500ms));
    EXPECT_EQ(std::tuple(bool(device.Data().DashSeen()), device.IdentifyTries(), device.IdentifyTimerEnabled()),
              std::tuple(true, 1, false));
    // The unit acks a stop but never answers the first request: the stalled
    // identification fails instead of hanging.
    unit.AddFault({'c', 1, 0, unitsim::FaultKind::Drop});
    unit.SetMute(false);
    EXPECT_TRUE(device.SendAndWait(BuildStop(), ReplyAck, 1000));
    ASSERT_TRUE(WaitUntil([&] { return device.Async().identifyStep.load() == 1; }, 1s));
    ASSERT_TRUE(Ticking([&] { return device.Async().identifyFinished.load(); }, 5s, &device));
    EXPECT_EQ(std::tuple(device.Identified(), device.Busy()), std::tuple(false, false));
}
