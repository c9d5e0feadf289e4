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

#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>

namespace {

// Opens once; waiters wait with a deadline.
class TGate {
public:
    void Open()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool Wait(std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> guard(mutex_);
        return changed_.wait_for(guard, limit, [this] { return open_; });
    }
    void Close()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        open_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

// The write tap holds the nth write after arming, as a stalled line holds a
// write for seconds, until released.
class StalledWriteTest : public UnitDeviceTest {
protected:
    void BeforeOpen() override
    {
        device_->Data().writeTap = [this](const uint8_t*, int) {
            if (writes_.fetch_add(1) + 1 != stallAt_.load())
                return;
            inWrite_.Open();
            release_.Wait(10s);
        };
    }
    void TearDown() override
    {
        release_.Open();
        UnitDeviceTest::TearDown();
    }
    void Arm(int nth)
    {
        writes_ = 0;
        stallAt_ = nth;
    }
    // Whether the GUI's copy-out accessors return while that write stalls.
    bool AccessorsReturnDuringStall()
    {
        if (!inWrite_.Wait(2s))
            return false;
        auto reader = std::async(std::launch::async, [this] {
            (void)device_->ReplySlot(ReplyAck);
            (void)device_->LiveSnapshot();
            (void)device_->TargetTables();
            (void)device_->IdentifyTimerEnabled();
            return device_->DownloadProgress().announced;
        });
        const bool returned = reader.wait_for(2s) == std::future_status::ready;
        release_.Open();
        reader.wait();
        return returned;
    }

    std::atomic<int> writes_ {0};
    std::atomic<int> stallAt_ {0};
    TGate inWrite_;
    TGate release_;
};

unitsim::SimShot StoredShot(int16_t x)
{
    unitsim::SimShot s;
    s.x = x;
    s.time = 100 + x;
    s.functionMode = 1;
    s.ringTarget = 0;
    return s;
}

} // namespace

TEST_F(StalledWriteTest, NoSequenceHoldsTheLockAcrossAWrite)
{
    struct Case {
        const char* name;
        int stalledWrite; // 1: the starter's own write; 2: the event thread's next step
        std::function<void(TDevice&)> start;
        std::function<bool(TDevice&)> done;
    };
    const Case cases[] = {
        {"identify start", 1, [](TDevice& d) { d.StartAsyncIdentify(); },
         [](TDevice& d) { return d.Async().identifyFinished.load(); }},
        {"identify timer", 1, [](TDevice& d) { d.OnIdentifyTimer(); }, [](TDevice&) { return true; }},
        {"download start", 1, [](TDevice& d) { d.StartAsyncDownload(); },
         [](TDevice& d) { return d.Async().downloadComplete.load(); }},
        {"download step", 2, [](TDevice& d) { d.StartAsyncDownload(); },
         [](TDevice& d) { return d.Async().downloadComplete.load(); }},
        // Last: the settings upload erases the stored shots.
        {"upload start", 1, [](TDevice& d) { d.StartAsyncUpload({-1, -1, true}); },
         [](TDevice& d) { return d.Async().uploadDone.load(); }},
        {"upload step", 2, [](TDevice& d) { d.StartAsyncUpload({-1, -1, true}); },
         [](TDevice& d) { return d.Async().uploadDone.load(); }},
    };
    unit_.AddStoredShot(2, StoredShot(1), 3);
    unit_.AddStoredShot(2, StoredShot(2), 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        inWrite_.Close();
        release_.Close();
        Sync(); // the bank counts a download walks
        Arm(c.stalledWrite);
        std::thread starter([&] { c.start(*device_); });
        EXPECT_TRUE(AccessorsReturnDuringStall());
        starter.join();
        Arm(0);
        // Finished before the next case, ticking as the GUI would.
        EXPECT_TRUE(WaitUntil([&] {
            device_->IdentifyTimerTick(DeviceTickMs());
            return c.done(*device_);
        }, 5000ms));
    }
}

// The GUI ticks every device's identify timer every 50 ms: while nothing
// identifies, the tick must not wait for the lock the event thread holds.
TEST_F(UnitDeviceTest, IdleIdentifyTickTakesNoLock)
{
    struct BlockingListener : IDeviceEventListener {
        TGate entered;
        TGate release;
        std::atomic<bool> first {true};
        void OnSamples() override
        {
            if (!first.exchange(false))
                return;
            entered.Open();
            release.Wait(10s);
        }
        void OnShot() override {}
    } listener;
    device_->SetListener(&listener);
    device_->StartMeasuring(1);
    ASSERT_TRUE(listener.entered.Wait(2s));
    auto tick = std::async(std::launch::async, [&] { device_->IdentifyTimerTick(DeviceTickMs()); });
    EXPECT_EQ(tick.wait_for(2s), std::future_status::ready);
    listener.release.Open();
    tick.wait();
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
    constexpr auto LoadTime = 3s;
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    TSession session;
    CurrentSession = &session;

    std::vector<std::unique_ptr<unitsim::TSimUnit>> units;
    for (int i = 0; i < Units; ++i) {
        unitsim::UnitConfig config;
        config.name = unitsim::UnitName("KBR", i + 1);
        units.push_back(std::make_unique<unitsim::TSimUnit>(config));
        for (int k = 0; k < StoredPerUnit; ++k)
            units.back()->AddStoredShot(i % 7, StoredShot(int16_t(10 * i + k)), 5 + k);
    }
    SetComPortResolver([&](int n) {
        return n >= FirstCom && n < FirstCom + Units ? units[std::size_t(n - FirstCom)]->SlavePath() : std::string();
    });
    std::vector<std::unique_ptr<TDevice>> devices;
    for (int i = 0; i < Units; ++i) {
        devices.push_back(std::make_unique<TDevice>());
        ASSERT_TRUE(devices.back()->OpenPort(FirstCom + i, false));
    }
    for (int i = 0; i < Units; ++i)
        ASSERT_TRUE(WaitUntil([&] { return units[std::size_t(i)]->ListenerReady(); }, 2000ms));
    for (auto& device : devices)
        device->StartAsyncIdentify(true);

    // Live shots on the streaming units.
    std::atomic<bool> firing {true};
    std::thread shooter([&] {
        int16_t x = 0;
        while (firing.load()) {
            for (int i = Units / 2; i < Units; ++i) {
                unitsim::SimShot shot;
                shot.x = x;
                shot.functionMode = 1;
                if (units[std::size_t(i)]->Measuring())
                    units[std::size_t(i)]->FireShot(shot);
            }
            x = int16_t((x + 37) % 900);
            std::this_thread::sleep_for(40ms);
        }
    });

    const auto end = std::chrono::steady_clock::now() + LoadTime;
    auto nextSave = std::chrono::steady_clock::now();
    auto nextReopen = std::chrono::steady_clock::now() + 300ms;
    int reopen = 0;
    int saves = 0;
    int64_t seen = 0;
    while (std::chrono::steady_clock::now() < end) {
        const auto now = std::chrono::steady_clock::now();
        for (int i = 0; i < Units; ++i) {
            TDevice& device = *devices[std::size_t(i)];
            device.IdentifyTimerTick(DeviceTickMs());
            if (i >= Units / 2 && !device.Measuring() && device.Async().downloadComplete.load()) {
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
            TDevice& device = *devices[std::size_t(i)];
            device.ClosePort();
            ASSERT_TRUE(device.OpenPort(FirstCom + i, false));
            ASSERT_TRUE(WaitUntil([&] { return units[std::size_t(i)]->ListenerReady(); }, 2000ms));
            device.StartAsyncIdentify(true);
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
    for (int i = 0; i < Units; ++i) {
        SCOPED_TRACE(i);
        TDevice& device = *devices[std::size_t(i)];
        if (device.Measuring())
            device.SendStop();
        ASSERT_TRUE(WaitUntil([&] {
            device.IdentifyTimerTick(DeviceTickMs());
            return !device.Identifying() && !(device.Async().downloadActive.load() && !device.Async().downloadComplete.load());
        }, 5000ms));
        EXPECT_TRUE(device.Found());
        ASSERT_NE(device.Shooter(), nullptr);
        EXPECT_EQ(device.Shooter()->SerialNumber(), QString::fromStdString(units[std::size_t(i)]->Name()));
        int stored = 0;
        int live = 0;
        device.Shooter()->ForEachShot([&](const TShot& shot) { (shot.converted ? live : stored) += 1; });
        EXPECT_EQ(stored, StoredPerUnit);
        if (i >= Units / 2)
            EXPECT_GT(live, 0);
    }
    devices.clear();
    units.clear();
    SetComPortResolver({});
    CurrentSession = nullptr;
}
