// The blocking transfers: each transfer's frames, what lands where, and its
// false result when an answer is lost.
#include "DeviceRig.h"

namespace {

using Clock = std::chrono::steady_clock;
using TransferTest = UnitDeviceTest;

unitsim::Fault Drop(uint8_t command, int nth) { return {command, nth, 1, unitsim::FaultKind::Drop}; }

} // namespace

TEST_F(TransferTest, StartAndStopMeasuring)
{
    device_->SetLiveStarted(true);
    device_->StartMeasuring(1);
    EXPECT_TRUE(WaitUntil([&] { return device_->SampleCount() >= 3; }, 10s));
    device_->SendStop();
    EXPECT_FALSE(device_->Measuring());
    // Shots arriving now (a download) are no live training's.
    EXPECT_FALSE(device_->LiveStarted());
    EXPECT_TRUE(WaitUntil([&] { return !unit_.Measuring(); }, 10s));

    // Dynamic training starts from the centre: the zero offsets go.
    device_->SetZeroOffsets(300, -200);
    device_->StartMeasuring(2);
    EXPECT_FALSE(device_->Zero().HasOffset());
    ASSERT_TRUE(WaitUntil([&] { return unit_.Mode() == 2; }, 10s));
    device_->SendStop();
    ASSERT_TRUE(unit_.WaitForCount('a', 4, 10s));
    ASSERT_EQ(unit_.ReceivedLetters(), "aaaa");
    EXPECT_EQ(ArgsOf('a'), (Args {{1, 0}, {2, 0}, {2, 0}, {2, 0}}));
    const int stopOrStart[4] = {32, 33, 32, 33};
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(unit_.Received()[i].Arg(3), stopOrStart[i]);
}

TEST_F(TransferTest, RingTargetsBothWays)
{
    RingTargetRecord ring;
    ring.b = RingBytes(7);
    EXPECT_TRUE(device_->WriteRingTarget(9, ring));
    ASSERT_EQ(unit_.ReceivedLetters(), "alllla");
    EXPECT_EQ(std::tuple(unit_.Received()[4].Arg(2), unit_.Received()[5].Arg(3), unit_.RingTarget(9)),
              std::tuple(0x83, 33, ring.b));
    EXPECT_THROW(device_->WriteRingTarget(256, ring), Exception);
    // A lost ack of the second block: false at once, nothing more sent.
    unit_.ClearReceived();
    unit_.AddFault(Drop('l', 2));
    EXPECT_FALSE(device_->WriteRingTarget(9, ring));
    Sync();
    EXPECT_EQ(unit_.ReceivedLetters(), "allc");

    unit_.ClearReceived();
    unit_.SetRingTarget(6, RingBytes(0x21));
    EXPECT_TRUE(device_->ReadRingTarget(6));
    EXPECT_EQ(std::tuple(ArgsOf('m'), device_->TargetTables().ringTargets[6].b, bool(device_->RingTargetDefined(6))),
              std::tuple((Args {{6, 0}, {6, 1}, {6, 2}, {6, 131}}), RingBytes(0x21), true));
    unit_.ClearReceived();
    EXPECT_FALSE(device_->ReadRingTarget(16));
    EXPECT_FALSE(device_->ReadRingTarget(-1));
    ExpectNothingSent();

    // An answer to the last block without its last-block mark is refused and
    // the table keeps what it had.
    unit_.SetRingTarget(7, RingBytes(0x55));
    unit_.AddFault(Drop('m', 4));
    std::thread forger([&] {
        if (unit_.WaitForCount('m', 4, 8000ms))
            unit_.InjectRaw(unitsim::RingBlockFrame(7, 3, unitsim::Block16 {}));
    });
    EXPECT_FALSE(device_->ReadRingTarget(7));
    forger.join();
    EXPECT_FALSE(device_->RingTargetDefined(7));
    EXPECT_EQ(device_->TargetTables().ringTargets[7].b, (std::array<uint8_t, 64> {}));
}

TEST_F(TransferTest, SilhouetteTargetsBothWays)
{
    const unitsim::SilhouetteSlot want = SilhouetteSlot(3);
    SilhouetteTargetRecord record;
    SilhouetteMatrix matrix;
    SilhouetteOf(want, record, matrix);
    EXPECT_TRUE(device_->WriteSilhouetteTarget(4, record, matrix));
    ASSERT_EQ(unit_.ReceivedLetters(), "a" + std::string(66, 'f') + "a");
    EXPECT_EQ(std::tuple(unit_.Silhouette(4).record, unit_.Silhouette(4).cells, unit_.Received().back().Arg(1)),
              std::tuple(want.record, want.cells, 2));
    // The ack of row 10 is lost: the stop goes out and the write fails.
    unit_.ClearReceived();
    unit_.AddFault(Drop('f', 2 + 10 + 1));
    EXPECT_FALSE(device_->WriteSilhouetteTarget(4, record, matrix));
    EXPECT_TRUE(unit_.WaitForCount('a', 2, 10s));
    ASSERT_EQ(unit_.ReceivedLetters(), "a" + std::string(13, 'f') + "a");
    EXPECT_EQ(unit_.Received().back().Arg(1), 2);

    unit_.ClearReceived();
    unit_.SetSilhouette(2, SilhouetteSlot(9));
    EXPECT_TRUE(device_->ReadSilhouetteTarget(2));
    const Args requests = ArgsOf('g');
    ASSERT_EQ(requests.size(), 66u);
    EXPECT_EQ(std::tuple(requests[2], requests[65], bool(device_->SilhouetteTargetDefined(2))),
              std::tuple((std::pair<int, int>(2 | 0x40, 0)), (std::pair<int, int>(2 | 0x40, 63)), true));
    SilhouetteTargetRecord readRecord;
    SilhouetteMatrix readMatrix;
    SilhouetteOf(SilhouetteSlot(9), readRecord, readMatrix);
    const DeviceSetup tables = device_->TargetTables();
    EXPECT_EQ(std::tuple(tables.silhouetteTargets[2], tables.silhouetteMatrices[2]), std::tuple(readRecord, readMatrix));
    unit_.ClearReceived();
    EXPECT_FALSE(device_->ReadSilhouetteTarget(16));
    ExpectNothingSent();

    // A lost packet: false after its 5 s wait (packets may take long to
    // come), the slot left undefined.
    unit_.AddFault(Drop('g', 20));
    const auto start = Clock::now();
    EXPECT_FALSE(device_->ReadSilhouetteTarget(2));
    EXPECT_GE(MsSince(start), 5000);
    EXPECT_EQ(std::tuple(unit_.Received().size(), bool(device_->SilhouetteTargetDefined(2))), std::tuple(20u, false));
}

TEST_F(TransferTest, ClearShotBanks)
{
    for (int bank = 0; bank < 7; ++bank)
        unit_.AddStoredShot(bank, unitsim::SimShot {}, 1);
    EXPECT_TRUE(device_->ClearShotBanks());
    ASSERT_EQ(unit_.ReceivedLetters(), "abbbbbbba");
    EXPECT_EQ(ArgsOf('b'), (Args {{0, 255}, {1, 255}, {2, 255}, {3, 255}, {4, 255}, {5, 255}, {6, 255}}));
    for (int bank = 0; bank < 7; ++bank)
        EXPECT_EQ(unit_.BankCount(bank), 0);

    // One erasure unanswered: all seven still go out, and the result says
    // the banks may not be empty.
    unit_.ClearReceived();
    unit_.AddFault(Drop('b', 3));
    EXPECT_FALSE(device_->ClearShotBanks());
    EXPECT_EQ(unit_.ReceivedLetters(), "abbbbbbba");
}

TEST_F(TransferTest, ReadMissingTargetsReadsOnlyUndefinedSlotsShotsUse)
{
    unit_.SetRingTarget(2, RingBytes(1));
    unit_.SetRingTarget(3, RingBytes(2));
    unit_.SetSilhouette(5, SilhouetteSlot(4));
    device_->SetRingTarget(3, RingTargetRecord {});
    const int targets[4][2] = {{2, 255}, {3, 5}, {255, 255}, {40, 16}};
    for (int i = 0; i < 4; ++i) {
        auto shot = std::make_unique<TShot>();
        shot->raw.b[0] = 0xCA;
        shot->raw.SetShotNumber(i + 1);
        shot->raw.SetRingTargetIndex(targets[i][0]);
        shot->raw.SetSilhouetteTargetIndex(targets[i][1]);
        device_->Shooter()->AddShot(std::move(shot));
    }
    EXPECT_TRUE(device_->ReadMissingTargets());
    ASSERT_EQ(unit_.ReceivedLetters(), "mmmm" + std::string(66, 'g'));
    EXPECT_EQ(std::tuple(ArgsOf('m')[0].first, ArgsOf('g')[0].first, bool(device_->RingTargetDefined(2))),
              std::tuple(2, 5, true));
    EXPECT_EQ(std::tuple(bool(device_->SilhouetteTargetDefined(5)), device_->TargetTables().ringTargets[2].b),
              std::tuple(true, RingBytes(1)));
}

TEST_F(TransferTest, DisplayText)
{
    struct Line {
        int line;
        int flags;
        const char* text;
    };
    struct Case {
        const char* text;
        std::vector<Line> lines;
    };
    const Case cases[] = {
        {"Stop\nUnload\nReport", {{2, 0x08, "Stop"}, {3, 0x00, "Unload"}, {4, 0x03, "Report"}}},
        {"Ready", {{3, 0x0B, "Ready"}}},
        // A line break at the end starts no further line.
        {"Ready\n", {{3, 0x0B, "Ready"}}},
        {"Aim\r\nFire\r\n", {{2, 0x08, "Aim"}, {3, 0x03, "Fire"}}},
        // The display has six lines.
        {"L0\nL1\nL2\nL3\nL4\nL5\nL6", {{0, 0x08, "L0"}, {1, 0, "L1"}, {2, 0, "L2"}, {3, 0, "L3"}, {4, 0, "L4"},
                                      {5, 0x03, "L5"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::size_t before = unit_.DisplayLines().size();
        device_->SendDisplayText(QString::fromLatin1(c.text));
        // The text lines are not answered: the synchronising request shows
        // that every line the device wrote has arrived.
        Sync();
        const auto shown = unit_.DisplayLines();
        ASSERT_EQ(shown.size() - before, c.lines.size());
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            EXPECT_EQ(std::tuple(shown[before + i].line, shown[before + i].flags, shown[before + i].text),
                      std::tuple(c.lines[i].line, c.lines[i].flags, c.lines[i].text));
        }
    }
}

// With the unit gone, a transfer fails instead of throwing or hanging.
TEST_F(TransferTest, UnpluggedUnitFailsTransfers)
{
    unit_.Unplug();
    EXPECT_FALSE(device_->WriteRingTarget(1, RingTargetRecord {}));
    EXPECT_FALSE(device_->ReadSilhouetteTarget(1));
}
