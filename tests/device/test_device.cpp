// The device object without a port: frames go in through the data handler's receive path.
#include "Device.h"
#include "Shotdata.h"
#include "UnitFrames.h"
#include "TestTargets.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using unitsim::Bytes;

const Bytes ack = unitsim::AckFrame('a');

Bytes Sample(int16_t x, int16_t y = 0, uint8_t flags = 0, int16_t tilt = 0, int16_t rotation = 0)
{
    return unitsim::SampleFrame({.x = x, .y = y, .tilt = tilt, .rotation = rotation, .flags = flags});
}

Bytes Shot(int16_t x, int16_t y, uint32_t tag, uint8_t failures = 0)
{
    const unitsim::SimShot s {.x = x, .y = y, .time = int32_t(tag), .startupCounter = 1, .functionMode = 1,
                              .failures = failures};
    return unitsim::ShotResultFrame(s, uint8_t(tag), tag);
}

struct CountingListener : IDeviceEventListener {
    std::atomic<int> samples {0};
    std::atomic<int> shots {0};
    void OnSamples() override { ++samples; }
    void OnShot() override { ++shots; }
};

class DeviceTest : public ::testing::Test {
protected:
    TSession session;
    std::unique_ptr<TDevice> device;

    void SetUp() override
    {
        CurrentSession = &session;
        device = std::make_unique<TDevice>();
        SessionUnsaved = false;
    }
    void TearDown() override
    {
        device.reset();
        CurrentSession = nullptr;
    }
    void Feed(const Bytes& bytes) { device->Data().OnReceive(bytes.data(), int(bytes.size())); }
    void FeedSamples(int count, int16_t x = 0, uint8_t flags = 0)
    {
        for (int i = 0; i < count; ++i)
            Feed(Sample(x, 0, flags));
    }
    void StartLive()
    {
        device->SetShooterTarget(GoldenRing());
        device->SetCurrentTarget(GoldenRing());
        device->SetMode(1);
        device->SetLiveStarted(true);
    }
};

} // namespace

TEST_F(DeviceTest, RepliesLandInTheirSlots)
{
    Feed(ack);
    EXPECT_EQ(device->LastReplyType(), ReplyAck);
    EXPECT_EQ(device->ReplySlot(ReplyAck), QByteArray(reinterpret_cast<const char*>(ack.data()), 5));

    unitsim::Block16 data {};
    for (int i = 0; i < 16; ++i)
        data[std::size_t(i)] = uint8_t(0x40 + i);
    for (uint8_t block : {184 /* the name block, bit 7 ignored */, 2, 40 /* no slot: the last reply only */})
        Feed(unitsim::ParameterFrame(block, data));
    EXPECT_EQ(std::tuple(device->ParameterBlock(56)[0], device->SettingsBlocks().b[32], device->ParameterBlock(40).isEmpty(),
                         device->ReplySlot(ReplyParameterBlock)[2]), std::tuple(0x40, 0x40, true, 40));
    for (uint8_t reg : {3, 25, 9})
        Feed(unitsim::RegisterFrame(reg, data));
    unitsim::Block16 counts {};
    counts[3] = 3;  // bank 1 at frame byte 6
    counts[13] = 2; // bank 6 at frame byte 16
    Feed(unitsim::RegisterFrame(32, counts));
    EXPECT_EQ(std::tuple(device->InfoRegister(3)[2], device->InfoRegister(25)[2], device->InfoRegister(9).isEmpty(),
                         device->ReplySlot(ReplyInfoRegister)[2], device->ReplyCount(ReplyInfoRegister)), std::tuple(3, 25, true, 9, 3u));
    EXPECT_EQ(device->BankCounts(), (std::array<int, 7> {0, 3, 0, 0, 0, 0, 2}));

    // An error report aborts only a running sequence.
    Feed(unitsim::ErrorReportFrame(1));
    EXPECT_EQ(std::tuple(device->LastReplyType(), device->Async().abort.load()), std::tuple(int(ReplyDeviceError), false));

    device->ClearReplySlots();
    EXPECT_EQ(std::tuple(device->LastReplyType(), device->ReplySlot(ReplyAck)), std::tuple(0, QByteArray(5, '\0')));
}

TEST_F(DeviceTest, RingWrapsAndShotTakesLastSamplesOldestFirst)
{
    CountingListener listener;
    device->SetListener(&listener);
    for (int i = 0; i < 205; ++i)
        Feed(Sample(int16_t(i)));
    EXPECT_EQ(std::tuple(device->RingWrapped(), device->RingIndex(), listener.samples.load(), device->AimingTime()),
              std::tuple(true, 5, 205, 205 * 15));

    // Not live: stored raw, unscored, with the last 200 samples.
    Feed(Shot(123, -45, 1));
    ASSERT_EQ(device->ShotCount(), 1);
    TShot* shot = device->Shooter()->GetShot(0);
    ASSERT_EQ(shot->CurveCount(), 200);
    EXPECT_EQ(std::tuple(shot->Curve()[0].X(), shot->Curve()[199].X(), shot->raw.XNAU(), shot->converted, SessionUnsaved.load()),
              std::tuple(5, 204, 123, false, true));
    EXPECT_EQ(std::tuple(device->RingIndex(), device->RingWrapped(), device->DropCount()), std::tuple(0, false, 0));

    // The same result again: one shot only, listener still told.
    Feed(Shot(123, -45, 1));
    EXPECT_EQ(std::tuple(device->ShotCount(), listener.shots.load()), std::tuple(1, 2));
    device->SetListener(nullptr); // hearing nothing afterwards: the viewer tests
}

TEST_F(DeviceTest, FlaggedRunsRestartTheRing)
{
    FeedSamples(5, 1, 0x01);
    EXPECT_EQ(std::tuple(device->RingIndex(), device->AimingTime()), std::tuple(5, 0));
    Feed(Sample(1));
    EXPECT_EQ(std::tuple(device->FlaggedRun(), device->AimingTime()), std::tuple(0, 15));
    FeedSamples(5, 1, 0x20);
    EXPECT_EQ(device->RingIndex(), 11);
    // A T1 record breaks the run as well.
    Feed(unitsim::SampleT1Frame(1, 2, 3, 4));
    // (Slot 11 holds a T1 record: its sample X reads 0.)
    EXPECT_EQ(std::tuple(device->FlaggedRun(), device->RingIndex(), device->T1Slot(11).A(), device->T0Slot(11).X()),
              std::tuple(0, 12, 1, 0));
    FeedSamples(6, 1, 0x01);
    EXPECT_EQ(std::tuple(device->RingIndex(), device->FlaggedRun()), std::tuple(0, 6));
    // T2 counts as a sample for the start time, T1 does not.
    const int before = device->SampleCount();
    Feed(unitsim::SampleT2Frame(1, 2, 3, 4, 5));
    Feed(unitsim::SampleT1Frame(1, 2, 3, 4));
    EXPECT_EQ(std::tuple(device->SampleCount(), device->T2Slot(0).Dist()), std::tuple(before + 1, 5));

    // Angles are kept in degrees (the sine limited to 1 first); the kept
    // frame is as received.
    const int at = device->RingIndex();
    Feed(Sample(0, 0, 0, 1200, 500));
    EXPECT_EQ(std::tuple(device->T0Slot(at).Tilt(), device->T0Slot(at).Rotation(), device->ReplySlot(ReplySample)[11]),
              std::tuple(90, 30, char(500 & 0xFF)));
}

// A live shot is scored, its trace converted, and the recoil after it dropped.
// One whose result arrives damaged (bad checksum, or cut short by a line that
// falls silent) is lost; its samples do not open the next trace.
TEST_F(DeviceTest, LiveShotsAndDamagedResults)
{
    StartLive();
    struct Case {
        Bytes lost;
        bool silence; // the line falls silent after it
    };
    Bytes damaged = Shot(0, 0, 1);
    damaged.back() ^= 0xFF;
    Bytes cutShort = Shot(0, 0, 1);
    cutShort.resize(20);
    for (const Case& c : {Case {damaged, false}, Case {cutShort, true}}) {
        device->Shooter()->ClearShots();
        FeedSamples(30, 1);
        Feed(c.lost);
        if (c.silence) {
            const auto later = std::chrono::steady_clock::now() + std::chrono::milliseconds(TDataHandler::SilenceMs);
            device->Data().DropStaleBytes(std::chrono::nanoseconds(later.time_since_epoch()).count());
        }
        FeedSamples(4, 300);
        Feed(Shot(0, 0, 2));
        ASSERT_EQ(device->ShotCount(), 1);
        const TShot* shot = device->Shooter()->GetShot(0);
        ASSERT_EQ(shot->CurveCount(), 4);
        // The trace is in 0.1 mm: 300 raw x k x 10 with k = 9.25 / 300. The
        // next 20 sample records are the recoil: the next trace starts after them.
        EXPECT_EQ(std::tuple(shot->raw.ShotNumber(), shot->raw.Score(), shot->raw.InnerTen(), shot->Curve()[3].X(), device->DropCount()),
                  std::tuple(2, 109, true, 92, 20));
        FeedSamples(20);
    }
}

// Line noise that looks like a damaged result (a stray "j" after a sample's
// lead byte) loses that one sample and nothing else: the next result follows
// on in its numbering, so no shot was lost and the whole trace is the shot's.
TEST_F(DeviceTest, StrayBytesDuringAimingKeepTheTrace)
{
    StartLive();
    Bytes noisy = Sample(7);
    noisy.insert(noisy.begin() + 1, 'j');
    const auto shoot = [&](int before, int noises, int after, uint32_t number) {
        device->Shooter()->ClearShots();
        FeedSamples(before, 5);
        for (int i = 0; i < noises; ++i) {
            Feed(noisy);
            FeedSamples(after, 5);
        }
        Feed(Shot(0, 0, number));
        const TShot* shot = device->Shooter()->GetShot(0);
        const std::tuple outcome(shot->CurveCount(), shot->aimingTime);
        FeedSamples(TDevice::PostShotDropLength, 5, 0x01);  // the recoil, out of sight
        return outcome;
    };
    const uint32_t skipped = device->Data().BytesSkipped();
    EXPECT_EQ(shoot(40, 1, 59, 1), std::tuple(99, 1485));
    EXPECT_GT(device->Data().BytesSkipped(), skipped);
    // Noise throughout, shot after shot.
    for (uint32_t number = 2; number <= 4; ++number)
        EXPECT_EQ(shoot(1, 9, 10, number), std::tuple(91, 1365)) << number;

    // A result really lost: the next one skips its number, and only the
    // samples after the damage are the next shot's, aiming time included.
    Bytes lost = Shot(0, 0, 5);
    lost.back() ^= 0xFF;
    device->Shooter()->ClearShots();
    FeedSamples(30, 5);
    Feed(lost);
    FeedSamples(12, 5);
    Feed(Shot(0, 0, 6));
    EXPECT_EQ(std::tuple(device->Shooter()->GetShot(0)->CurveCount(), device->Shooter()->GetShot(0)->aimingTime),
              std::tuple(12, 180));
}

// A damaged result window may be line noise or a lost shot. Only a gap
// between two shots received on this connection tells that a shot was lost:
// a unit whose numbering does not start at 1 lost nothing before its first.
// A result whose bytes 4-8 read as an acknowledgement (raw X 22881, Y 70),
// arriving a byte at a time as at 9600 baud, is no damaged window at all.
TEST_F(DeviceTest, ShotLossIsLoggedOnlyForAGapBetweenShotsReceived)
{
    QStringList log;
    SetDebugLogSink([&](const QString& line) { log << line; });
    StartLive();
    const Bytes resultLead = {0xCA, 'j'};
    const auto shoot = [&](bool noise, uint32_t number, int16_t x = 0, int16_t y = 0) {
        log.clear();
        FeedSamples(30, 5);
        if (noise) {
            Feed(resultLead);
            FeedSamples(3, 5);
        }
        for (uint8_t b : Shot(x, y, number))
            Feed({b});
        FeedSamples(TDevice::PostShotDropLength, 5, 0x01);
        return log.filter(QStringLiteral("shot result window")).size() + 10 * log.filter(QStringLiteral("lost on the line")).size();
    };
    EXPECT_EQ(shoot(true, 7), 1);  // damaged window, no loss known
    EXPECT_EQ(shoot(true, 8), 1);
    EXPECT_EQ(shoot(true, 10), 11); // shot 9 went
    EXPECT_EQ(log.filter(QStringLiteral("shot 9 lost on the line")).size(), 1);
    EXPECT_EQ(shoot(false, 11, 22881, 70), 0);
    SetDebugLogSink({});
    ASSERT_EQ(device->ShotCount(), 4);
    const TShot* last = device->Shooter()->GetShot(3);
    EXPECT_EQ(std::tuple(last->raw.ShotNumber(), last->raw.XNAU(), last->CurveCount()), std::tuple(11, 22881, 30));
}

// Line noise that passes the checksum as a shot result whose fields no unit
// sends (function mode 0, ring index 206, shot number 0) is no shot: the real
// shot behind it follows in its numbering with its whole trace.
TEST_F(DeviceTest, NoiseResultWithImpossibleFieldsIsNoShot)
{
    StartLive();
    const unitsim::SimShot noise {.time = 0, .startupCounter = 0, .functionMode = 0, .ringTarget = 206};
    FeedSamples(40, 5);
    Feed(unitsim::ShotResultFrame(noise, 0, 0));
    FeedSamples(59, 5);
    Feed(Shot(0, 0, 1));
    ASSERT_EQ(device->ShotCount(), 1);
    const TShot* shot = device->Shooter()->GetShot(0);
    EXPECT_EQ(std::tuple(shot->raw.ShotNumber(), shot->CurveCount(), shot->aimingTime), std::tuple(1, 99, 1485));
}

TEST_F(DeviceTest, ShotWithoutShooterStoresNothing)
{
    StartLive();
    TShooter* shooter = device->Shooter();
    device->SetShooter(nullptr);
    CountingListener listener;
    device->SetListener(&listener);
    Feed(Sample(5));
    Feed(Shot(0, 0, 1));
    EXPECT_EQ(std::tuple(device->ShotCount(), listener.shots.load()), std::tuple(0, 1));
    // A downloaded (not live) shot without a shooter is not kept either.
    device->SetLiveStarted(false);
    Feed(Shot(0, 0, 2));
    EXPECT_EQ(std::tuple(shooter->ShotCount(), SessionUnsaved.load()), std::tuple(0, false));
}

TEST_F(DeviceTest, ZeroingMovesShotsAndSamples)
{
    StartLive();
    device->SaveZero();
    device->SetZeroing(true);
    Feed(Shot(100, 0, 1));
    Feed(Shot(5000, 0, 2, 0x01)); // flagged: not taken
    Feed(Shot(300, 0, 3));
    EXPECT_EQ(device->ShotCount(), 0);
    device->SetZeroing(false);
    EXPECT_TRUE(device->ComputeZero());
    EXPECT_DOUBLE_EQ(device->Zero().offsetX, 200);

    // Classic samples and shots are corrected by the offset.
    FeedSamples(20); // the recoil of the last zeroing shot
    Feed(Sample(250, 10));
    EXPECT_EQ(std::tuple(device->T0Slot(0).X(), device->T0Slot(0).Y()), std::tuple(50, 10));
    Feed(Shot(200, 0, 5));
    ASSERT_EQ(device->ShotCount(), 1);
    EXPECT_EQ(std::tuple(device->Shooter()->GetShot(0)->raw.XNAU(), device->Shooter()->GetShot(0)->raw.Score()), std::tuple(0, 109));

    // Dynamic mode leaves samples as they are.
    FeedSamples(20);
    device->SetMode(2);
    Feed(Sample(250));
    EXPECT_EQ(device->T0Slot(0).X(), 250);
}

// (Answers buried under streamed samples and lost ones are the end-to-end tests'.)
TEST_F(DeviceTest, WaitForReplyCountsAnAnswerSinceArming)
{
    // An answer that comes before the wait starts, buried under samples.
    device->ArmReply(ReplyAck);
    Feed(ack);
    FeedSamples(5);
    EXPECT_EQ(device->WaitForReply(ReplyAck, 2000), ReplyAck);
    // An ack from before arming does not count.
    Feed(ack);
    EXPECT_EQ(device->WaitForReply(ReplyAck, 50), 0);
}
