#include "SessionFixtures.h"
#include "Shotdata.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <chrono>
#include <random>
#include <thread>
#include <tuple>
#include <utility>

namespace {

struct ShotdataTest : ::testing::Test {
    void SetUp() override { CurrentSession = new TSession; }
    void TearDown() override
    {
        delete CurrentSession;
        CurrentSession = nullptr;
    }
};

std::unique_ptr<TShot> MakeShot(int startup, uint32_t time, int ring = 255, int silhouette = 255)
{
    auto shot = std::make_unique<TShot>();
    uint8_t* r = shot->raw.data();
    r[14] = uint8_t(ring);
    r[15] = uint8_t(silhouette);
    r[16] = 1;
    r[17] = uint8_t(startup);
    r[18] = uint8_t(time >> 16);
    r[19] = uint8_t(time >> 8);
    r[20] = uint8_t(time);
    return shot;
}

using Fixtures::Message;

TEST_F(ShotdataTest, ShotsAreKeptInTimeOrder)
{
    TShooter shooter;
    TShot* first = shooter.AddShot(MakeShot(1, 0x000100));
    TShot* same = shooter.AddShot(MakeShot(1, 0x000100)); // equal key goes first
    TShot* later = shooter.AddShot(MakeShot(200, 0x000001)); // counter >= 128 is still later
    TShot* middle = shooter.AddShot(MakeShot(127, 0xFFFFFF));
    TShot* earliest = shooter.AddShot(MakeShot(0, 0xFFFFFF));
    EXPECT_EQ(shooter.SnapshotShots(), (std::vector<TShot*> { earliest, same, first, middle, later }));
    EXPECT_EQ(same->index + earliest->index, 1 + 4);

    // The result value is the score in classic mode, the zone in dynamic.
    auto classic = MakeShot(2, 5);
    classic->raw.b[2] = 42;
    classic->raw.b[24] = 95;
    classic->raw.b[26] = 3;
    auto dynamic = std::make_unique<TShot>(*classic);
    dynamic->raw.b[16] = 2;
    TShot* c = shooter.AddShot(std::move(classic));
    EXPECT_EQ(c->resultValue + c->shotNumber, 95 + 42);
    EXPECT_EQ(shooter.AddShot(std::move(dynamic))->resultValue, 3);

    // An appended, unsorted list is walked from the start; records filled in
    // after appending count once the list is sorted.
    shooter.ClearShots();
    TShot* late = shooter.AppendShot(MakeShot(1, 50));
    TShot* early = shooter.AppendShot(MakeShot(1, 10));
    TShot* added = shooter.AddShot(MakeShot(1, 30));
    EXPECT_EQ(shooter.SnapshotShots(), (std::vector<TShot*> { added, late, early }));
    shooter.ClearShots();
    TShot* a = shooter.AppendShot(std::make_unique<TShot>());
    TShot* b = shooter.AppendShot(std::make_unique<TShot>());
    a->raw.b[20] = 10;
    b->raw.b[20] = 50;
    c = shooter.AddShot(MakeShot(0, 30));
    EXPECT_EQ(shooter.SnapshotShots(), (std::vector<TShot*> { a, c, b }));
}

TEST_F(ShotdataTest, LookupsAndRanges)
{
    TShooter* a = CurrentSession->AddShooter(std::make_unique<TShooter>());
    TShooter* b = CurrentSession->AddShooter(std::make_unique<TShooter>());
    EXPECT_EQ(b->index, 2);
    a->name = "KBR0001";
    a->SetSerialNumber("KBR0002");
    b->SetSerialNumber("KBR0001");
    EXPECT_EQ(CurrentSession->FindShooter("KBR0001"), b); // by serial, not name
    EXPECT_EQ(CurrentSession->FindShooter("kbr0001"), nullptr);
    EXPECT_EQ(std::tuple(CurrentSession->GetShooter(-1), CurrentSession->GetShooter(2)), std::tuple(nullptr, nullptr));
    EXPECT_EQ(CurrentSession->TakeShooter(a).get(), a);
    EXPECT_EQ(CurrentSession->ShooterCount(), 1);

    b->AddShot(MakeShot(1, 10));
    b->AddShot(MakeShot(1, 20));
    EXPECT_EQ(Message([&] { b->GetShot(-1); }), "Invalid shot index");
    EXPECT_EQ(Message([&] { b->GetShot(2); }), "Invalid shot index");
    const RawShotRecord wanted = b->GetShot(1)->raw;
    EXPECT_EQ(b->FindShot(wanted), 1);
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        RawShotRecord other = wanted;
        other.b[i] ^= 0x01;
        EXPECT_EQ(b->FindShot(other), -1) << "byte " << i;
    }
}

TEST_F(ShotdataTest, UpdateDefinedTargetsAndMoveTarget)
{
    TShooter shooter;
    DeviceSetup& t = shooter.targets;
    t.ringDefined[3] = 1;
    EXPECT_EQ(shooter.UpdateDefinedTargets(), 0);
    EXPECT_EQ(t.ringDefined[3], 1); // no shots: flags untouched

    TShot* s0 = shooter.AddShot(MakeShot(1, 1, 0, 1));
    TShot* s1 = shooter.AddShot(MakeShot(1, 2, 15, 16));
    shooter.AddShot(MakeShot(1, 3, 255, 5));
    EXPECT_EQ(shooter.UpdateDefinedTargets(), 3);
    std::array<uint8_t, 16> ring {}, silhouette {};
    ring[0] = ring[15] = silhouette[1] = silhouette[5] = 1;
    EXPECT_EQ(std::tuple(t.ringDefined, t.silhouetteDefined), std::tuple(ring, silhouette));

    // A move copies the target and relabels the shots on the old slot.
    t.ringTargets[0].b[40] = 77;
    t.silhouetteTargets[1].b[3] = 8;
    t.silhouetteMatrices[1].b[100] = 2;
    shooter.MoveTarget(0, 5, false);
    shooter.MoveTarget(1, 2, true);
    EXPECT_EQ(std::tuple(t.ringTargets[5].b[40], t.ringDefined[5], t.ringDefined[0], s0->raw.b[14], s1->raw.b[14]),
              std::tuple(77, 1, 1, 5, 15));
    EXPECT_EQ(std::tuple(t.silhouetteTargets[2].b[3], t.silhouetteMatrices[2].b[100], t.silhouetteDefined[2], s0->raw.b[15]),
              std::tuple(8, 2, 1, 2));

    const auto flags = t.ringDefined;
    for (auto [from, to] : { std::pair { -1, 0 }, std::pair { 0, 16 }, std::pair { 16, 5 } })
        EXPECT_EQ(Message([&] { shooter.MoveTarget(from, to, from < 0); }), "Invalid target");
    EXPECT_EQ(std::tuple(t.ringDefined, s1->raw.b[14]), std::tuple(flags, 15));
}

TEST_F(ShotdataTest, ShotTargetsAndTheirComparison)
{
    TShooter shooter;
    StringToTargetName("Ring two", shooter.targets.ringTargets[2].data());
    shooter.targets.ringTargets[2].b[20] = 45;
    shooter.targets.ringDefined[2] = 1;
    StringToTargetName("Sil three", shooter.targets.silhouetteTargets[3].data());
    shooter.targets.silhouetteMatrices[3].b[8] = 3;
    shooter.targets.silhouetteDefined[3] = 1;

    TargetDescription out;
    shooter.GetShotTarget(*MakeShot(1, 1, 2, 3), out);
    EXPECT_EQ(std::tuple(bool(out.hasRing && out.hasSilhouette), out.ringRecord, out.silhouetteMatrix.b[8]),
              std::tuple(true, shooter.targets.ringTargets[2], 3));
    EXPECT_EQ(GetTargetName(out), "Ring two");  // the ring's name first
    shooter.GetShotTarget(*MakeShot(1, 1, 128, 3), out); // 128 and up: none
    EXPECT_EQ(std::tuple(bool(out.hasRing), GetTargetName(out)), std::tuple(false, "Sil three"));

    const QString ringError = "Invalid ring target on shot (not defined on shooter)";
    const QString silError = "Invalid silhouette target on shot (not defined on shooter)";
    const std::tuple<int, int, QString> cases[] = { { 5, 255, ringError }, { 16, 3, ringError },
        { 127, 3, ringError }, { 255, 4, silError }, { 2, 16, silError }, { 255, 255, "Invalid target" } };
    for (const auto& [ring, sil, message] : cases) {
        out.hasRing = 1;
        out.ringRecord.b[5] = 9;
        EXPECT_EQ(Message([&] { shooter.GetShotTarget(*MakeShot(1, 1, ring, sil), out); }), message) << ring << "/" << sil;
        // Zeroed, even when the ring part alone was valid.
        EXPECT_TRUE(!out.hasRing && !out.hasSilhouette && out.ringRecord.b[5] == 0);
    }

    // A ring is the same target when bytes 16-31 match, a silhouette when
    // the name does.
    TargetDescription ring;
    ring.hasRing = 1;
    ring.ringRecord = shooter.targets.ringTargets[2];
    StringToTargetName("Other name", ring.ringRecord.data());
    ring.ringRecord.b[40] = 99;
    EXPECT_TRUE(shooter.ShotTargetEquals(*MakeShot(1, 1, 2, 255), ring));
    EXPECT_FALSE(shooter.ShotTargetEquals(*MakeShot(1, 1, 255, 3), ring));
    ring.ringRecord.b[31] ^= 1;
    EXPECT_FALSE(shooter.ShotTargetEquals(*MakeShot(1, 1, 2, 255), ring));
    TargetDescription sil;
    sil.hasSilhouette = 1;
    StringToTargetName("Sil three", sil.silhouetteRecord.data());
    EXPECT_TRUE(shooter.ShotTargetEquals(*MakeShot(1, 1, 255, 3), sil));
    StringToTargetName("Sil", sil.silhouetteRecord.data());
    EXPECT_FALSE(shooter.ShotTargetEquals(*MakeShot(1, 1, 255, 3), sil));
}

// The event thread adds while the GUI thread reads: without the shooter's
// lock the reader walks a vector being reallocated.
TEST_F(ShotdataTest, ConcurrentAddAndRead)
{
    TShooter shooter;
    constexpr int Total = 20000;
    std::atomic<bool> done { false };
    std::thread writer([&] {
        std::mt19937 rng(12345);
        std::uniform_int_distribution<uint32_t> startup(0, 255), time(0, 0xFFFFFF);
        for (int i = 0; i < Total; ++i)
            shooter.AddShot(MakeShot(int(startup(rng)), time(rng)));
        done = true;
    });

    int faults = 0;
    for (int rounds = 0; !done.load() || rounds < 3; ++rounds) {
        const int count = shooter.ShotCount();
        if (count > 0 && shooter.GetShot(count - 1)->shooter != &shooter)
            ++faults;
        uint32_t previous = 0;
        shooter.ForEachShot([&](const TShot& s) {
            faults += s.SortKey() < previous;
            previous = s.SortKey();
        });
        const std::vector<TShot*> snapshot = shooter.SnapshotShots();
        for (std::size_t i = 1; i < snapshot.size(); ++i)
            faults += snapshot[i]->SortKey() < snapshot[i - 1]->SortKey();
        std::this_thread::sleep_for(std::chrono::microseconds(100)); // a timer, not a spin
    }
    writer.join();
    EXPECT_EQ(std::tuple(faults, shooter.ShotCount()), std::tuple(0, Total));
}

// Whatever links to a shooter hears of it before any session frees it or
// hands it out.
TEST_F(ShotdataTest, LeavingHookRunsBeforeAShooterLeaves)
{
    using Session = std::unique_ptr<TSession>;
    const std::vector<std::pair<const char*, std::function<void(Session&, TShooter*)>>> ways = {
        {"deleted", [](Session& s, TShooter*) { s->DeleteShooters(); }},
        {"taken", [](Session& s, TShooter* b) { s->TakeShooter(b); }},
        {"session gone", [](Session& s, TShooter*) { s.reset(); }},
    };
    for (const auto& [name, leave] : ways) {
        SCOPED_TRACE(name);
        Session session = std::make_unique<TSession>();
        TShooter* a = session->AddShooter(std::make_unique<TShooter>());
        TShooter* b = session->AddShooter(std::make_unique<TShooter>());
        std::vector<TShooter*> heard;
        int stillListed = 0;
        TSession* listing = session.get();
        SetShooterLeavingHook([&](TShooter* s) {
            heard.push_back(s);
            for (int i = 0; i < listing->ShooterCount(); ++i)
                stillListed += listing->GetShooter(i) == s;
        });
        leave(session, b);
        SetShooterLeavingHook({});
        const bool all = std::string(name) != "taken";
        EXPECT_EQ(heard, all ? (std::vector<TShooter*> {b, a}) : (std::vector<TShooter*> {b}));
        EXPECT_EQ(stillListed, int(heard.size()));
    }
}

} // namespace
