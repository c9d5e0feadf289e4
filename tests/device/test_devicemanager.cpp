// The device manager against a fake Ports folder and simulated units on
// pseudo-terminals; pauses are shortened so a scan takes a fraction of a second.
#include "DeviceManager.h"

#include "AppSettings.h"
#include "DeviceRig.h"
#include "Globals.h"
#include "PortRegistry.h"
#include "TestFiles.h"
#include "TestTargets.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <filesystem>
#include <mutex>

using MiniXMLParser::TXMLNode;

namespace {

struct FakeViewer : IShooterViewLink {
    TShooter* shooter = nullptr;
    TDevice* device = nullptr;
    int starts = 0;
    bool failStart = false;

    TShooter* ViewShooter() const override { return shooter; }
    void AttachDevice(TDevice* d) override { device = d; }
    void StartAfterReconnect() override
    {
        ++starts;
        if (failStart)
            throw Exception("viewer start failed");
    }
};

class DeviceManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp_.isValid());
        for (const char* sub : {"Ports", "sys", "byid", "dev", "targets"})
            ASSERT_TRUE(QDir(tmp_.path()).mkpath(QString::fromLatin1(sub)));
        TPortRegistry& registry = TPortRegistry::Instance();
        registry.SetSysfsRoot(Path("sys"));
        registry.SetByIdFolder(Path("byid"));
        registry.SetDevFolder(Path("dev"));
        registry.SetPortsFolder(Path("Ports"));
        registry.Reset();

        auto root = std::make_unique<TXMLNode>();
        root->SetName(QStringLiteral("TRAXELAppSettings"));
        SetSettingsRoot(std::move(root));
        SetOptionString(QStringLiteral("BluetoothPorts"), QStringLiteral("0"));
        CurrentSession = &session_;
        ScanAwaitingCompletion = false;
        SetDebugLogSink([this](const QString& line) {
            std::lock_guard<std::mutex> guard(logLock_);
            log_ << line;
        });

        manager_ = std::make_unique<TDeviceManager>();
        TDeviceManagerTimings& t = manager_->timings;
        t.afterOpenMs = 80;
        t.bluetoothExtraMs = 10;
        t.reconnectPauseMs = t.openWaitStepMs = t.settleStepMs = 20;
        t.openWaitLimitMs = 2000;
        t.settleSteps = 2;
    }

    void TearDown() override
    {
        manager_.reset();
        units_.clear();
        SetDebugLogSink({});
        CurrentSession = nullptr;
        SetSettingsRoot(nullptr);
        TPortRegistry::Instance().SetPortsFolder(std::string());
        TPortRegistry::Instance().Reset();
    }

    std::string Path(const char* sub) { return tmp_.filePath(QString::fromLatin1(sub)).toStdString(); }
    std::string ComLink(int number) { return Path("Ports") + "/COM" + std::to_string(number); }
    QStringList Log()
    {
        std::lock_guard<std::mutex> guard(logLock_);
        return log_;
    }
    int LogCount(const char* line) { return int(Log().count(QString::fromLatin1(line))); }

    void WriteDesc(int number, const QString& text)
    {
        if (text.isEmpty())
            return;
        WriteAll(QString::fromStdString(ComLink(number) + ".desc"), text.toUtf8());
    }

    // A plain file behind COM<n>: a present port nobody answers on.
    void AddPlainPort(int number, const QString& desc)
    {
        const std::string target = Path("targets") + "/t" + std::to_string(number);
        WriteAll(QString::fromStdString(target), QByteArray());
        std::filesystem::create_symlink(target, ComLink(number));
        WriteDesc(number, desc);
    }

    unitsim::TSimUnit& AddUnit(int number, const std::string& name, const QString& desc = QString())
    {
        unitsim::UnitConfig config;
        config.name = name;
        units_.push_back(std::make_unique<unitsim::TSimUnit>(config));
        WriteDesc(number, desc);
        EXPECT_TRUE(units_.back()->SetPortLink(ComLink(number)));
        return *units_.back();
    }

    void AddForce(const char* value)
    {
        TXMLNode* node = SettingsRoot()->AddNode(QStringLiteral("Ports"));
        if (value)
            node->SetAttributeValue(QStringLiteral("Force"), QString::fromLatin1(value));
    }

    // Polls the completion check as the splash does; true once nothing identifies.
    bool WaitForCompletion()
    {
        return WaitUntil([&] { return manager_->CheckScanComplete() == 0; }, 8000ms);
    }

    // Scans for new units and waits until they identified; the device on number.
    TDevice* ScanFor(int number)
    {
        manager_->ScanPorts(true, true, false);
        EXPECT_TRUE(WaitForCompletion());
        return manager_->FindConnectedDevice(number);
    }

    QTemporaryDir tmp_;
    TSession session_;
    std::vector<std::unique_ptr<unitsim::TSimUnit>> units_;
    std::unique_ptr<TDeviceManager> manager_;
    std::mutex logLock_;
    QStringList log_;
};

// For the cases that need the manager's waits to pump a real event loop (the
// screens' tests run every scan in one).
class DeviceManagerLoopTest : public DeviceManagerTest {
protected:
    void TearDown() override
    {
        manager_.reset(); // its timer goes before the application object
        DeviceManagerTest::TearDown();
    }
    int argc_ = 1;
    char name_[19] = "test_devicemanager";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_ {argc_, argv_};
};

} // namespace

TEST_F(DeviceManagerTest, EnumeratePortsAppliesTheDescriptionRules)
{
    AddPlainPort(3, QStringLiteral("USB Serial Port"));
    AddPlainPort(4, QString::fromLatin1(TPortRegistry::BluetoothText));
    AddPlainPort(5, QStringLiteral("Generic BT Adapter"));
    AddPlainPort(6, QStringLiteral("Bluetooth BT Link"));
    AddPlainPort(7, QStringLiteral("Tavrik Trainer"));
    AddPlainPort(9, QString()); // default description: USB serial
    AddPlainPort(11, QStringLiteral("COMTROL USB Serial Port"));
    std::filesystem::create_symlink(Path("targets") + "/missing", ComLink(10));
    // Already there: not twice; no Force: port 0; "14,7" truncated; "abc" skipped.
    for (const char* force : std::initializer_list<const char*> {"12", "3", nullptr, "14,7", "12", "abc"})
        AddForce(force);

    manager_->EnumeratePorts();
    EXPECT_EQ(std::tuple(manager_->CandidatePorts(), manager_->BluetoothPortList(), LogCount("!! COM6 BT"), LogCount("!! COM3 ")),
              std::tuple(QStringList({"3", "5", "6", "7", "9", "11", "12", "0", "14"}), QStringList({"6"}), 1, 1));
    EXPECT_EQ(LogCount("Ports Force \"abc\" is not a number"), 1);

    // Bluetooth ports are taken once some are allowed; the lists are refilled.
    SetOptionString(QStringLiteral("BluetoothPorts"), QStringLiteral("2"));
    manager_->EnumeratePorts();
    EXPECT_EQ(manager_->CandidatePorts(), QStringList({"3", "4", "5", "6", "7", "9", "11", "12", "0", "14"}));
    EXPECT_EQ(manager_->BluetoothPortList(), QStringList({"4", "6"}));
}

TEST_F(DeviceManagerTest, ScanFindsAndIdentifiesUnits)
{
    AddUnit(5, "KBR0000005");
    AddUnit(6, "ZUV0000006");
    QStringList progress;
    int countRefreshes = 0;
    manager_->onScanProgress = [&](const QString& text) { progress << text; };
    manager_->onDeviceCountChanged = [&] { ++countRefreshes; };

    manager_->ScanPorts(true, true, false);
    EXPECT_EQ(std::tuple(bool(ScanAwaitingCompletion), progress, countRefreshes, BusyCursorDepth()),
              std::tuple(true, QStringList({"COM5. 1/2", "COM6. 2/2"}), 2, 0));

    ASSERT_TRUE(WaitForCompletion());
    EXPECT_FALSE(ScanAwaitingCompletion);
    ASSERT_EQ(manager_->Connected().size(), 2u);
    TDevice* a = manager_->FindConnectedDevice(5);
    TDevice* b = manager_->FindConnectedDevice(6);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(std::tuple(a->ModelType(), b->ModelType(), session_.ShooterCount(), LogCount("Found COM5 KBR0000005")),
              std::tuple(1, 2, 2, 1));

    // Completion is reported once; a rescan leaves known devices alone.
    EXPECT_EQ(manager_->CheckScanComplete(), 0);
    EXPECT_EQ(LogCount("Scan completed"), 1);
    manager_->ScanPorts(true, true, false);
    EXPECT_EQ(std::tuple(manager_->FindConnectedDevice(5), manager_->Connected().size()), std::tuple(a, 2u));
}

TEST_F(DeviceManagerTest, UnitThatNeverIdentifiesIsDropped)
{
    AddUnit(5, "KBR0000005");
    AddUnit(6, "KBR0000006").SetMute(true);

    manager_->ScanPorts(true, true, false);
    TDevice* good = manager_->FindConnectedDevice(5);
    TDevice* silent = manager_->FindConnectedDevice(6);
    ASSERT_TRUE(good && silent);
    ASSERT_TRUE(WaitUntil([&] { return good->Found(); }, 8000ms));
    EXPECT_EQ(manager_->CheckScanComplete(), 1);
    EXPECT_EQ(LogCount("Scan completed"), 0);

    // After a failed programming a device may be neither opened nor found:
    // the scan's wait for that is bounded.
    manager_->ResetAsyncStates();
    EXPECT_FALSE(silent->Async().portOpened.load());
    manager_->timings.openWaitLimitMs = 300;
    manager_->ScanPorts(false, false, false);
    EXPECT_EQ(LogCount("Scan: not every device opened"), 1);

    // Identify again; the stops go unanswered until the timer gives up
    // (its clock run ahead instead of waiting nine seconds).
    silent->StartAsyncIdentify();
    for (int k = 1; k <= 6 && !silent->Async().identifyFinished.load(); ++k)
        silent->IdentifyTimerTick(DeviceTickMs() + k * 10000);
    ASSERT_TRUE(silent->Async().identifyFinished.load());

    EXPECT_EQ(manager_->CheckScanComplete(), 0);
    EXPECT_EQ(LogCount("Delete COM6 DNF"), 1);
    EXPECT_EQ(manager_->FindConnectedDevice(6), nullptr);
    ASSERT_EQ(manager_->Connected().size(), 1u);
    ASSERT_EQ(session_.ShooterCount(), 1);
    EXPECT_EQ(session_.GetShooter(0), good->Shooter());
}

TEST_F(DeviceManagerTest, PortThatFailsToOpenWaitsOnTheReconnectList)
{
    AddPlainPort(9, QStringLiteral("USB Serial Port"));
    manager_->ScanPorts(true, true, false);
    EXPECT_EQ(manager_->FindConnectedDevice(9), nullptr);
    TDevice* parked = manager_->FindReconnectDevice(9);
    ASSERT_NE(parked, nullptr);
    EXPECT_EQ(Log().filter(QStringLiteral("Error COM9: ")).size(), 1);
    EXPECT_EQ(session_.ShooterCount(), 1); // kept with its shooter
    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(LogCount("Found none"), 1);
    EXPECT_EQ(manager_->FindReconnectDevice(9), parked);

    manager_->DropDevice(parked);
    EXPECT_EQ(std::tuple(bool(manager_->Reconnecting().empty()), session_.ShooterCount()), std::tuple(true, 0));
}

// The plain unplug-and-return road is the viewer tests'; here what goes wrong
// on the way, and suspend and resume.
TEST_F(DeviceManagerTest, UnpluggedUnitComesBackToItsViewer)
{
    unitsim::TSimUnit& unit = AddUnit(5, "KBR0000005");
    TDevice* device = ScanFor(5);
    ASSERT_NE(device, nullptr);
    FakeViewer viewer;
    viewer.shooter = device->Shooter();
    viewer.failStart = true;
    manager_->findFreeShooterView = [&](int number) -> IShooterViewLink* {
        return number == 5 && !viewer.device ? &viewer : nullptr;
    };

    // Parked by the removal scan, and by a scan without the port.
    unit.Unplug();
    manager_->ScanPorts(false, false, false);
    manager_->ScanPorts(false, true, false);
    EXPECT_EQ(std::tuple(manager_->FindReconnectDevice(5), viewer.starts), std::tuple(device, 0));

    // A failing re-attach is reported for that port and parks the device again.
    unit.Replug();
    manager_->ScanPorts(false, true, false);
    EXPECT_EQ(std::tuple(viewer.starts, LogCount("Error COM5: viewer start failed")), std::tuple(1, 1));
    EXPECT_EQ(std::tuple(manager_->FindReconnectDevice(5), viewer.device), std::tuple(device, nullptr));

    // The next scan brings it back. Suspend parks it with its port closed;
    // resume (a scan) brings it back to its viewer, working.
    viewer.failStart = false;
    manager_->ScanPorts(false, true, false);
    EXPECT_EQ(viewer.device, device);
    manager_->MoveToReconnect(device);
    EXPECT_EQ(std::tuple(manager_->FindReconnectDevice(5), bool(device->Data().IsOpen())), std::tuple(device, false));
    viewer.device = nullptr;
    manager_->ScanPorts(false, true, false);
    EXPECT_EQ(manager_->FindConnectedDevice(5), device);
    EXPECT_EQ(viewer.device, device);
    EXPECT_TRUE(device->SendAndWait(BuildStop(), ReplyAck, 10000));
}

TEST_F(DeviceManagerTest, BluetoothConflictsAndLimit)
{
    SetOptionString(QStringLiteral("BluetoothPorts"), QStringLiteral("1"));
    const QString bt = QString::fromLatin1(TPortRegistry::BluetoothText);
    // The USB twin comes first in the list: each Bluetooth unit is compared
    // with every other one, not only with those after it.
    AddUnit(3, "KBR0000001");
    AddUnit(4, "KBR0000001", bt);
    AddUnit(5, "KBR0000002", bt);
    AddUnit(6, "KBR0000003", bt);
    AddUnit(7, "KBR0000004", bt);

    ASSERT_NE(ScanFor(3), nullptr);
    EXPECT_EQ(LogCount("Bluetooth conflict KBR0000001"), 1);
    ASSERT_EQ(manager_->Connected().size(), 2u);
    EXPECT_FALSE(manager_->FindConnectedDevice(3)->Bluetooth());
    EXPECT_NE(manager_->FindConnectedDevice(5), nullptr);
    EXPECT_EQ(session_.ShooterCount(), 2);
}

TEST_F(DeviceManagerTest, ScanRequestedDuringAScanRunsOnceAfterIt)
{
    AddUnit(5, "KBR0000005");
    // Left over from an earlier scan: a completion check from inside the scan
    // must not act on the lists the scan is walking.
    ScanAwaitingCompletion = true;
    int nested = 0;
    manager_->onScanProgress = [&](const QString&) {
        ++nested;
        manager_->ScanPorts(false, false, false);
        manager_->ScanPorts(true, true, false);
        EXPECT_TRUE(manager_->Scanning());
        manager_->CheckScanComplete();
    };
    int refreshes = 0;
    manager_->onDeviceCountChanged = [&] {
        if (++refreshes == 1)
            manager_->ScanPorts(false, false, false);
    };

    manager_->ScanPorts(true, true, false);
    EXPECT_FALSE(manager_->Scanning());
    EXPECT_EQ(std::tuple(nested, refreshes, LogCount("Scan starting"), LogCount("Scan completed"), manager_->Connected().size()),
              std::tuple(1, 2, 2, 0, 1u));

    ASSERT_TRUE(WaitForCompletion());
    EXPECT_EQ(std::tuple(LogCount("Scan completed"), manager_->FoundDeviceCount()), std::tuple(1, 1));
}

// Clearing the banks lets GUI events through; a drop of that very device
// handled there leaves the lists at once but deletes the device only after
// the transfer returned.
TEST_F(DeviceManagerLoopTest, DeviceDroppedWhileItsBanksAreClearedOutlivesTheTransfer)
{
    unitsim::TSimUnit& unit = AddUnit(5, "KBR0000005");
    TDevice* device = ScanFor(5);
    ASSERT_NE(device, nullptr);
    unit.ClearReceived();

    QTimer::singleShot(0, [&] { manager_->DropDevice(device); });
    // The port closed under the transfer: the erasures fail, nothing crashes.
    EXPECT_FALSE(device->ClearShotBanks());
    EXPECT_EQ(std::tuple(unit.ReceivedLetters(), device->InPumpedTransfer(), bool(manager_->Connected().empty())),
              std::tuple("a", false, true));
    EXPECT_EQ(session_.ShooterCount(), 0);
    manager_->TickIdentifyTimers(); // deletes it now
}

// A session reset while a unit streams: the devices let go of the shooters
// before they are freed, so the event thread stores nothing into freed memory.
TEST_F(DeviceManagerTest, ShootersLeavingTheSessionAreUnlinkedFirst)
{
    unitsim::TSimUnit& unit = AddUnit(5, "KBR0000005");
    TDevice* device = ScanFor(5);
    ASSERT_NE(device, nullptr);
    device->SetShooterTarget(GoldenRing());
    device->SetCurrentTarget(GoldenRing());
    device->SetLiveStarted(true);
    device->StartMeasuring(1);
    ASSERT_TRUE(WaitUntil([&] { return device->SampleCount() >= 10; }, 10s));

    unitsim::SimShot shot;
    shot.functionMode = 1;
    int fired = 0;
    const auto fire = [&] {
        shot.x = int16_t(10 * ++fired);
        unit.FireShot(shot);
        return WaitUntil([&] { return device->LastResult().XNAU() == 10 * fired; }, 10s);
    };

    // Deleted with the rest of the session.
    session_.DeleteShooters();
    EXPECT_EQ(device->Shooter(), nullptr);
    ASSERT_TRUE(fire());
    EXPECT_EQ(device->ShotCount(), 0);

    // Handed out by the session.
    TShooter* next = session_.AddShooter(std::make_unique<TShooter>());
    device->SetShooter(next);
    ASSERT_TRUE(fire());
    EXPECT_EQ(next->ShotCount(), 1);
    std::unique_ptr<TShooter> taken = session_.TakeShooter(next);
    EXPECT_EQ(device->Shooter(), nullptr);
    ASSERT_TRUE(fire());
    EXPECT_EQ(taken->ShotCount(), 1);
    device->SendStop();
}
