// A device on a real pseudo-terminal with a simulated unit behind it, from
// the identification on.
#include "DeviceRig.h"
#include "TestTargets.h"

using namespace std::chrono;

namespace {

constexpr int ComNumber = 41;

// Waits while driving the identification timer as the GUI would.
template <class Pred>
bool WaitTicking(TDevice& device, Pred done, milliseconds limit)
{
    return WaitUntil([&] {
        device.IdentifyTimerTick(DeviceTickMs());
        return done();
    }, limit);
}

// Unlike UnitDeviceTest the unit can be replaced before the port opens.
class DeviceE2E : public ::testing::Test {
protected:
    TSession* savedSession = nullptr;
    std::unique_ptr<TSession> session;
    std::unique_ptr<unitsim::TSimUnit> unit;
    std::unique_ptr<TDevice> device;

    void SetUp() override
    {
        savedSession = CurrentSession;
        session = std::make_unique<TSession>();
        CurrentSession = session.get();
        unit = std::make_unique<unitsim::TSimUnit>();
        SetComPortResolver([this](int number) { return number == ComNumber ? unit->SlavePath() : std::string(); });
        device = std::make_unique<TDevice>();
    }
    void TearDown() override
    {
        device.reset();
        unit.reset();
        SetComPortResolver(nullptr);
        CurrentSession = savedSession;
    }
    void Identify()
    {
        ASSERT_TRUE(device->OpenPort(ComNumber, false));
        device->StartAsyncIdentify();
        ASSERT_TRUE(WaitTicking(*device, [&] { return device->Async().identifyFinished.load(); }, 3s));
        ASSERT_TRUE(device->Identified());
    }
};

} // namespace

TEST_F(DeviceE2E, IdentifyMeasureShootAndUnplug)
{
    unitsim::SimShot stored;
    stored.x = 10;
    unit->AddStoredShot(1, stored, 3);
    unit->AddStoredShot(6, stored, 3);
    // The stop answered twice must not run the request chain twice.
    unit->AddFault({'a', 1, 1, unitsim::FaultKind::DuplicateAck});
    Identify();
    EXPECT_FALSE(device->Busy());
    EXPECT_EQ(device->ModelType(), 1);
    EXPECT_EQ(device->ShotTotal(), 2);
    EXPECT_EQ(device->Shooter()->SerialNumber(), QStringLiteral("KBR0001234"));
    // The stop, then 21 requests, each sent on the answer to the one before.
    EXPECT_EQ(unit->ReceivedLetters(), "a" + std::string(9, 'c') + std::string(11, 'e') + "c");
    EXPECT_FALSE(device->IdentifyTimerEnabled());

    device->SetShooterTarget(GoldenRing());
    device->SetCurrentTarget(GoldenRing());
    device->SetLiveStarted(true);
    device->StartMeasuring(1);
    ASSERT_TRUE(WaitUntil([&] { return device->SampleCount() >= 30; }, seconds(3)));
    EXPECT_GT(device->RingIndex(), 0);
    unit->FireShot(ShotAt(100));
    ASSERT_TRUE(WaitUntil([&] { return device->ShotCount() == 1; }, seconds(2)));
    TShot* scored = device->Shooter()->GetShot(0);
    EXPECT_EQ(scored->raw.Score(), 97);
    EXPECT_EQ(scored->raw.ClockSector(), 3);
    EXPECT_GE(scored->CurveCount(), 25);
    EXPECT_TRUE(scored->converted);

    // Pulled out while streaming: no hang, the shot stays.
    ASSERT_TRUE(WaitUntil([&] { return device->SampleCount() >= 60; }, seconds(3)));
    unit->Unplug();
    EXPECT_EQ(device->ShotCount(), 1);
    device->ClosePort();
    EXPECT_FALSE(device->Data().IsOpen());
    EXPECT_THROW(device->SendStop(), Exception);
}

TEST_F(DeviceE2E, RepliesSeenWhileSamplesStream)
{
    Identify();
    unit->SetForcedStreaming(true);
    ASSERT_TRUE(WaitUntil([&] { return device->SampleCount() >= 5; }, seconds(2)));
    // The ack is buried under samples by the time the waiter looks.
    EXPECT_TRUE(device->SendAndWait(BuildEnterSetupMode(), 3, 2000));
    EXPECT_TRUE(device->SendAndWait(BuildRequestInfo(32), 17, 2000));
    // A lost answer is a failure after the time-out.
    unit->AddFault({'a', 1, 1, unitsim::FaultKind::Drop});
    const auto t0 = steady_clock::now();
    EXPECT_FALSE(device->SendAndWait(BuildStop(), 3, 200));
    EXPECT_GE(steady_clock::now() - t0, milliseconds(200));
    unit->SetForcedStreaming(false);

    // Stray bytes that look like the start of a shot result hold a short
    // reply back only until the line has been quiet for a moment.
    struct Stray {
        unitsim::Bytes bytes; // the start of a frame longer than the reply behind it
        Frame request;
        int reply;
    };
    const Stray strays[] = {
        {{0xCA, 'j'}, BuildRequestInfo(32), ReplyShotBankCounts},
        {{'Y', 'c', 0x00}, BuildStop(), ReplyAck},
    };
    for (const Stray& stray : strays) {
        unit->InjectRaw(stray.bytes);
        EXPECT_TRUE(device->SendAndWait(stray.request, stray.reply, 2000));
    }
}

TEST_F(DeviceE2E, PowerUpDashResendsTheStop)
{
    unitsim::UnitConfig config;
    config.powerUpOnRaw = true;
    unit = std::make_unique<unitsim::TSimUnit>(config);
    unit->SetMute(true);
    ASSERT_TRUE(device->OpenPort(ComNumber, false));
    device->StartAsyncIdentify();
    // The "-" makes the stop go out again at once and stops the timer.
    ASSERT_TRUE(unit->WaitForCount('a', 2, milliseconds(1500)));
    EXPECT_TRUE(device->Data().DashSeen());
    EXPECT_EQ(device->IdentifyTries(), 1);
    EXPECT_FALSE(device->IdentifyTimerEnabled());
    // The unit acks a stop but never answers the first request: the stalled
    // identification fails instead of hanging.
    unit->AddFault({'c', 1, 0, unitsim::FaultKind::Drop});
    unit->SetMute(false);
    EXPECT_TRUE(device->SendAndWait(BuildStop(), 3, 1000));
    ASSERT_TRUE(WaitUntil([&] { return device->Async().identifyStep.load() == 1; }, seconds(1)));
    ASSERT_TRUE(WaitTicking(*device, [&] { return device->Async().identifyFinished.load(); }, 5s));
    EXPECT_FALSE(device->Identified());
    EXPECT_FALSE(device->Busy());
}
