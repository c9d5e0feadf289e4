// The blocking transfers: each transfer's frames, what lands where, and its
// false result when an answer is lost.
#include "DeviceRig.h"

namespace {

using Clock = std::chrono::steady_clock;

std::array<uint8_t, 64> RingBytes(uint8_t seed)
{
    std::array<uint8_t, 64> r {};
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = uint8_t(seed + i);
    return r;
}

unitsim::SilhouetteSlot SilhouetteSlot(uint8_t seed)
{
    unitsim::SilhouetteSlot s;
    for (std::size_t i = 0; i < s.record.size(); ++i)
        s.record[i] = uint8_t(seed + i);
    for (std::size_t i = 0; i < s.cells.size(); ++i)
        s.cells[i] = uint8_t((i * 5 + seed) % 4);
    return s;
}

unitsim::Fault Drop(uint8_t command, int nth) { return {command, nth, 1, unitsim::FaultKind::Drop}; }

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class TransferTest : public UnitDeviceTest {
protected:
    // Nothing reaches the unit for numbers outside the tables: the next
    // frame it gets is the synchronising one.
    void ExpectNothingSent()
    {
        Sync();
        EXPECT_EQ(unit_.ReceivedLetters(), "c");
        unit_.ClearReceived();
    }
};

} // namespace

TEST_F(TransferTest, StartAndStopMeasuring)
{
    device_->SetLiveStarted(true);
    device_->StartMeasuring(1);
    EXPECT_TRUE(WaitUntil([&] { return device_->SampleCount() >= 3; }, 1000ms));
    device_->SendStop();
    EXPECT_FALSE(device_->Measuring());
    // Shots arriving now (a download) are no live training's.
    EXPECT_FALSE(device_->LiveStarted());
    EXPECT_TRUE(WaitUntil([&] { return !unit_.Measuring(); }, 1000ms));

    // Dynamic training starts from the centre: the zero offsets go.
    {
        RawShotRecord r;
        r.b[0] = 0xCA;
        r.SetXNAU(300);
        r.SetYNAU(-200);
        for (int i = 0; i < 3; ++i) {
            r.b[2] = uint8_t(i + 1);
            device_->RememberZeroingResult(r);
        }
    }
    device_->ComputeZero();
    ASSERT_NE(device_->Zero().offsetX, 0.0);
    device_->StartMeasuring(2);
    EXPECT_FALSE(device_->Zero().HasOffset());
    ASSERT_TRUE(WaitUntil([&] { return unit_.Mode() == 2; }, 1000ms));
    device_->SendStop();
    ASSERT_TRUE(unit_.WaitForCount('a', 4, 1000ms));

    const auto f = unit_.Received();
    ASSERT_EQ(unit_.ReceivedLetters(), "aaaa");
    const int expected[4][2] = {{1, 32}, {2, 33}, {2, 32}, {2, 33}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(f[i].Arg(1), expected[i][0]);
        EXPECT_EQ(f[i].Arg(2), 0);
        EXPECT_EQ(f[i].Arg(3), expected[i][1]);
    }
}

TEST_F(TransferTest, WriteRingTarget)
{
    RingTargetRecord ring;
    ring.b = RingBytes(7);
    EXPECT_TRUE(device_->WriteRingTarget(9, ring));
    ASSERT_EQ(unit_.ReceivedLetters(), "alllla");
    const auto f = unit_.Received();
    EXPECT_EQ(f[4].Arg(2), 0x83);
    EXPECT_EQ(f[5].Arg(3), 33);
    EXPECT_EQ(unit_.RingTarget(9), ring.b);
    EXPECT_THROW(device_->WriteRingTarget(256, ring), Exception);

    // A lost ack of the second block: false at once, nothing more sent.
    unit_.ClearReceived();
    unit_.AddFault(Drop('l', 2));
    EXPECT_FALSE(device_->WriteRingTarget(9, ring));
    Sync();
    EXPECT_EQ(unit_.ReceivedLetters(), "allc");
}

TEST_F(TransferTest, WriteSilhouetteTarget)
{
    const unitsim::SilhouetteSlot want = SilhouetteSlot(3);
    SilhouetteTargetRecord record;
    std::copy(want.record.begin(), want.record.end(), record.b.begin());
    SilhouetteMatrix matrix;
    for (int c = 0; c < 64; ++c)
        for (int r = 0; r < 64; ++r)
            matrix.SetCell(c, r, want.cells[std::size_t(64 * c + r)]);

    EXPECT_TRUE(device_->WriteSilhouetteTarget(4, record, matrix));
    ASSERT_EQ(unit_.ReceivedLetters(), "a" + std::string(66, 'f') + "a");
    const auto got = unit_.Silhouette(4);
    EXPECT_EQ(got.record, want.record);
    EXPECT_EQ(got.cells, want.cells);
    EXPECT_EQ(unit_.Received().back().Arg(1), 2);

    // The ack of row 10 is lost: the stop goes out and the write fails.
    unit_.ClearReceived();
    unit_.AddFault(Drop('f', 2 + 10 + 1));
    const auto start = Clock::now();
    EXPECT_FALSE(device_->WriteSilhouetteTarget(4, record, matrix));
    EXPECT_LT(MsSince(start), 3000);
    EXPECT_TRUE(unit_.WaitForCount('a', 2, 1000ms));
    ASSERT_EQ(unit_.ReceivedLetters(), "a" + std::string(13, 'f') + "a");
    EXPECT_EQ(unit_.Received().back().Arg(1), 2);
}

TEST_F(TransferTest, ReadRingTarget)
{
    const auto bytes = RingBytes(0x21);
    unit_.SetRingTarget(6, bytes);
    EXPECT_TRUE(device_->ReadRingTarget(6));
    const auto f = unit_.Received();
    ASSERT_EQ(unit_.ReceivedLetters(), "mmmm");
    const int blocks[4] = {0, 1, 2, 131};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(f[i].Arg(1), 6);
        EXPECT_EQ(f[i].Arg(2), blocks[i]);
    }
    EXPECT_EQ(device_->TargetTables().ringTargets[6].b, bytes);
    EXPECT_TRUE(device_->RingTargetDefined(6));

    unit_.ClearReceived();
    EXPECT_FALSE(device_->ReadRingTarget(16));
    EXPECT_FALSE(device_->ReadRingTarget(-1));
    ExpectNothingSent();

    // An answer to the last block without its last-block mark is refused and
    // the table keeps what it had.
    unit_.SetRingTarget(7, RingBytes(0x55));
    unit_.AddFault(Drop('m', 4));
    std::thread forger([&] {
        if (unit_.WaitForCount('m', 4, 3000ms))
            unit_.InjectRaw(unitsim::RingBlockFrame(7, 3, unitsim::Block16 {}));
    });
    const auto start = Clock::now();
    EXPECT_FALSE(device_->ReadRingTarget(7));
    forger.join();
    EXPECT_LT(MsSince(start), 3000);
    EXPECT_FALSE(device_->RingTargetDefined(7));
    EXPECT_EQ(device_->TargetTables().ringTargets[7].b, (std::array<uint8_t, 64> {}));
}

TEST_F(TransferTest, ReadSilhouetteTarget)
{
    const unitsim::SilhouetteSlot want = SilhouetteSlot(9);
    unit_.SetSilhouette(2, want);
    EXPECT_TRUE(device_->ReadSilhouetteTarget(2));
    const auto f = unit_.Received();
    ASSERT_EQ(f.size(), 66u);
    EXPECT_EQ(f[2].Arg(1), 2 | 0x40);
    EXPECT_EQ(f[65].Arg(2), 63);
    {
        EXPECT_TRUE(device_->SilhouetteTargetDefined(2));
        const DeviceSetup tables = device_->TargetTables();
        const auto& rec = tables.silhouetteTargets[2];
        EXPECT_TRUE(std::equal(want.record.begin(), want.record.end(), rec.b.begin()));
        const auto& m = tables.silhouetteMatrices[2];
        for (int c = 0; c < 64; ++c)
            for (int r = 0; r < 64; ++r)
                ASSERT_EQ(m.Cell(c, r), want.cells[std::size_t(64 * c + r)]) << c << "," << r;
    }

    unit_.ClearReceived();
    EXPECT_FALSE(device_->ReadSilhouetteTarget(16));
    ExpectNothingSent();

    // A lost packet: false after its 5 s wait (packets may take long to
    // come), the slot left undefined.
    unit_.AddFault(Drop('g', 20));
    const auto start = Clock::now();
    EXPECT_FALSE(device_->ReadSilhouetteTarget(2));
    EXPECT_GE(MsSince(start), 5000);
    EXPECT_EQ(unit_.Received().size(), 20u);
    EXPECT_FALSE(device_->SilhouetteTargetDefined(2));
}

TEST_F(TransferTest, ClearShotBanks)
{
    for (int bank = 0; bank < 7; ++bank)
        unit_.AddStoredShot(bank, unitsim::SimShot {}, 1);
    EXPECT_TRUE(device_->ClearShotBanks());
    ASSERT_EQ(unit_.ReceivedLetters(), "abbbbbbba");
    const auto f = unit_.Received();
    for (int bank = 0; bank < 7; ++bank) {
        EXPECT_EQ(f[std::size_t(1 + bank)].Arg(1), bank);
        EXPECT_EQ(f[std::size_t(1 + bank)].Arg(2), 0xFF);
        EXPECT_EQ(unit_.BankCount(bank), 0);
    }

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
    const auto f = unit_.Received();
    ASSERT_EQ(unit_.ReceivedLetters(), "mmmm" + std::string(66, 'g'));
    EXPECT_EQ(f[0].Arg(1), 2);
    EXPECT_EQ(f[4].Arg(1), 5);
    EXPECT_TRUE(device_->RingTargetDefined(2));
    EXPECT_TRUE(device_->SilhouetteTargetDefined(5));
    EXPECT_EQ(device_->TargetTables().ringTargets[2].b, RingBytes(1));
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
            EXPECT_EQ(shown[before + i].line, c.lines[i].line);
            EXPECT_EQ(shown[before + i].flags, c.lines[i].flags);
            EXPECT_EQ(shown[before + i].text, c.lines[i].text);
        }
    }
}

// With the unit gone, a transfer fails instead of throwing or hanging.
TEST_F(TransferTest, UnpluggedUnitFailsTransfers)
{
    unit_.Unplug();
    const auto start = Clock::now();
    EXPECT_FALSE(device_->WriteRingTarget(1, RingTargetRecord {}));
    EXPECT_FALSE(device_->ReadSilhouetteTarget(1));
    EXPECT_LT(MsSince(start), 12000);
}
