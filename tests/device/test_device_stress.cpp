// Threads against each other. The device lock is never held across a port
// write nor by an idle identify tick, so a stalled line cannot freeze the GUI;
// and eight simulated units identify, download and stream while the GUI
// thread saves the session, reads shot lists and reply slots and reopens
// ports. Meant for ThreadSanitizer as much as for the plain build: every wait
// has a deadline and the load runs for a bounded time.
#include "DeviceRig.h"
#include "Shotfile.h"
#include "TestTargets.h"

#include <QTemporaryDir>

#include <functional>
#include <future>

namespace {

// Whether call returns within 2 s on a thread of its own (it is waited for
// in any case).
template <class F>
bool ReturnsWhileBlocked(F call, std::atomic<bool>& release)
{
    auto caller = std::async(std::launch::async, call);
    const bool returned = caller.wait_for(2s) == std::future_status::ready;
    release = true;
    caller.wait();
    return returned;
}

// The write tap holds the nth write after arming, as a stalled line holds a
// write for seconds, until released.
class StalledWriteTest : public UnitDeviceTest {
protected:
    void BeforeOpen() override
    {
        device_->Data().writeTap = [this](const uint8_t*, int) {
            if (writes_.fetch_add(1) + 1 != stallAt_.load())
                return;
            inWrite_ = true;
            WaitUntil([&] { return release_.load(); }, 10s);
        };
    }
    void TearDown() override
    {
        release_ = true;
        UnitDeviceTest::TearDown();
    }

    std::atomic<int> writes_ {0};
    std::atomic<int> stallAt_ {0};
    std::atomic<bool> inWrite_ {false};
    std::atomic<bool> release_ {false};
};

} // namespace

TEST_F(StalledWriteTest, NoSequenceHoldsTheLockAcrossAWrite)
{
    struct Case {
        const char* name;
        int stalledWrite; // 1: the starter's own write; 2: the event thread's next step
        std::function<void(TDevice&)> start;
        std::function<bool(TDevice&)> done;
    };
    const auto identified = [](TDevice& d) { return d.Async().identifyFinished.load(); };
    const auto downloaded = [](TDevice& d) { return d.Async().downloadComplete.load(); };
    const auto uploaded = [](TDevice& d) { return d.Async().uploadDone.load(); };
    const auto upload = [](TDevice& d) { d.StartAsyncUpload({-1, -1, true}); };
    const Case cases[] = {
        {"identify start", 1, [](TDevice& d) { d.StartAsyncIdentify(); }, identified},
        {"identify timer", 1, [](TDevice& d) { d.OnIdentifyTimer(); }, [](TDevice&) { return true; }},
        {"download start", 1, [](TDevice& d) { d.StartAsyncDownload(); }, downloaded},
        {"download step", 2, [](TDevice& d) { d.StartAsyncDownload(); }, downloaded},
        // Last: the settings upload erases the stored shots.
        {"upload start", 1, upload, uploaded},
        {"upload step", 2, upload, uploaded},
    };
    unit_.AddStoredShot(2, ShotAt(1), 3);
    unit_.AddStoredShot(2, ShotAt(2), 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        inWrite_ = release_ = false;
        Sync(); // the bank counts a download walks
        writes_ = 0;
        stallAt_ = c.stalledWrite;
        std::thread starter([&] { c.start(*device_); });
        // The GUI's copy-out accessors return while that write stalls.
        ASSERT_TRUE(WaitUntil([&] { return inWrite_.load(); }, 10s));
        EXPECT_TRUE(ReturnsWhileBlocked([this] {
            (void)device_->ReplySlot(ReplyAck);
            (void)device_->LiveSnapshot();
            (void)device_->TargetTables();
            (void)device_->IdentifyTimerEnabled();
            (void)device_->DownloadProgress();
        }, release_));
        starter.join();
        stallAt_ = 0;
        // Finished before the next case, ticking as the GUI would.
        EXPECT_TRUE(Ticking([&] { return c.done(*device_); }, 5s));
    }
}

// The GUI ticks every device's identify timer every 50 ms: while nothing
// identifies, the tick must not wait for the lock the event thread holds.
TEST_F(UnitDeviceTest, IdleIdentifyTickTakesNoLock)
{
    struct BlockingListener : IDeviceEventListener {
        std::atomic<bool> entered {false};
        std::atomic<bool> release {false};
        void OnSamples() override
        {
            if (!entered.exchange(true))
                WaitUntil([&] { return release.load(); }, 10s);
        }
        void OnShot() override {}
    } listener;
    device_->SetListener(&listener);
    device_->StartMeasuring(1);
    ASSERT_TRUE(WaitUntil([&] { return listener.entered.load(); }, 10s));
    EXPECT_TRUE(ReturnsWhileBlocked([&] { device_->IdentifyTimerTick(DeviceTickMs()); }, listener.release));
    device_->SetListener(nullptr);
    device_->SendStop();
}

// Eight units: the first four identify, download their stored shots and get
// their ports reopened now and then; the other four identify, download and
// then stream live shots. Meanwhile the GUI thread saves the session and
// reads everything the screens read.
TEST(DeviceStress, EightUnitsWhileTheGuiReadsSavesAndReopens)
{
    constexpr int Units = 8;
    constexpr int FirstCom = 60;
    constexpr int StoredPerUnit = 3;
    QTemporaryDir folder;
    TSession session;
    CurrentSession = &session;
    struct Unit {
        std::unique_ptr<unitsim::TSimUnit> sim;
        std::unique_ptr<TDevice> device;
        bool streams = false;
        bool Open(int com)
        {
            return device->OpenPort(com, false) && WaitUntil([&] { return sim->ListenerReady(); }, 10s);
        }
    };
    std::vector<Unit> units(Units);
    SetComPortResolver([&](int n) {
        return n >= FirstCom && n < FirstCom + Units ? units[std::size_t(n - FirstCom)].sim->SlavePath() : std::string();
    });
    for (int i = 0; i < Units; ++i) {
        Unit& u = units[std::size_t(i)];
        u.sim = std::make_unique<unitsim::TSimUnit>(unitsim::UnitConfig {.name = unitsim::UnitName("KBR", i + 1)});
        for (int k = 0; k < StoredPerUnit; ++k)
            u.sim->AddStoredShot(i % 7, ShotAt(int16_t(10 * i + k)), 5 + k);
        u.device = std::make_unique<TDevice>();
        u.streams = i >= Units / 2;
        ASSERT_TRUE(u.Open(FirstCom + i));
        u.device->StartAsyncIdentify(true);
    }

    // Live shots on the streaming units.
    std::atomic<bool> firing {true};
    std::thread shooter([&] {
        for (int16_t x = 0; firing.load(); x = int16_t((x + 37) % 900)) {
            for (Unit& u : units)
                if (u.streams && u.sim->Measuring())
                    u.sim->FireShot(ShotAt(x));
            std::this_thread::sleep_for(40ms);
        }
    });

    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + 3s;
    auto nextSave = Clock::now();
    auto nextReopen = Clock::now() + 300ms;
    int reopen = 0;
    int saves = 0;
    int64_t seen = 0;
    while (Clock::now() < end) {
        const auto now = Clock::now();
        for (Unit& u : units) {
            TDevice& device = *u.device;
            device.IdentifyTimerTick(DeviceTickMs());
            if (u.streams && !device.Measuring() && device.Async().downloadComplete.load()) {
                device.MarkDownloadHandled();
                device.SetShooterTarget(GoldenRing());
                device.SetCurrentTarget(GoldenRing());
                device.SetLiveStarted(true);
                device.StartMeasuring(1);
            }
            // What the screens read.
            if (TShooter* shooter = device.Shooter()) {
                for (const TShot* shot : shooter->SnapshotShots())
                    seen += shot->CurveCount() + shot->raw.Score();
                seen += shooter->SerialNumber().size();
            }
            seen += device.ReplySlot(ReplyAck).size() + device.ParameterBlock(56).size();
            seen += device.LiveSnapshot().status + device.DownloadProgress().received;
            seen += device.ShotCount() + device.ShotTotal() + device.Data().FillCount();
        }
        if (now >= nextSave) {
            TShotFileHandler file;
            file.SetSession(&session);
            file.BuildShotFile();
            file.Save(folder.filePath(QStringLiteral("stress.shotfile.xml")));
            ++saves;
            nextSave = now + 250ms;
        }
        if (now >= nextReopen) {
            const int i = reopen++ % (Units / 2);
            units[std::size_t(i)].device->ClosePort();
            ASSERT_TRUE(units[std::size_t(i)].Open(FirstCom + i));
            units[std::size_t(i)].device->StartAsyncIdentify(true);
            nextReopen = now + 300ms;
        }
        std::this_thread::sleep_for(5ms);
    }
    firing = false;
    shooter.join();
    EXPECT_GT(saves, 0);
    EXPECT_GT(seen, 0);

    // Settled: every unit identified with its own name, its stored shots
    // downloaded once each, and the streaming units' live shots scored.
    for (Unit& u : units) {
        SCOPED_TRACE(u.sim->Name());
        TDevice& device = *u.device;
        if (device.Measuring())
            device.SendStop();
        ASSERT_TRUE(WaitUntil([&] {
            device.IdentifyTimerTick(DeviceTickMs());
            const bool downloading = device.Async().downloadActive.load() && !device.Async().downloadComplete.load();
            return !device.Identifying() && !downloading;
        }, 5000ms));
        EXPECT_TRUE(device.Found());
        ASSERT_NE(device.Shooter(), nullptr);
        EXPECT_EQ(device.Shooter()->SerialNumber(), QString::fromStdString(u.sim->Name()));
        int stored = 0;
        int live = 0;
        device.Shooter()->ForEachShot([&](const TShot& shot) { (shot.converted ? live : stored) += 1; });
        EXPECT_EQ(std::tuple(stored, live > 0), std::tuple(StoredPerUnit, u.streams));
    }
    for (Unit& u : units)
        u.device.reset();
    units.clear();
    SetComPortResolver({});
    CurrentSession = nullptr;
}
