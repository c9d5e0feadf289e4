// Closing a live session at simulated units: "Save session?" answered
// Cancel, Yes and No, the three stops each unit receives, a unit whose port
// is gone, and shots that arrive after the close (they must reach neither a
// deleted viewer nor a deleted shooter; run under the sanitizers).
#include "Device.h"
#include "DeviceFrames.h"
#include "DeviceManager.h"
#include "DeviceProgramming.h"
#include "FormShooter.h"
#include "FormShooterList.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "Shotdata.h"
#include "TestTargets.h"
#include "UiGlobals.h"
#include "UiRig.h"

#include <QPushButton>
#include <QTest>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

namespace DP = DeviceProgramming;

bool IsStop(const unitsim::ReceivedFrame& f) { return f.Letter() == 'a' && f.Arg(1) == 2 && f.Arg(3) == 33; }
bool IsStart(const unitsim::ReceivedFrame& f) { return f.Letter() == 'a' && f.Arg(1) == 1 && f.Arg(3) == 32; }

class CloseSessionTest : public UiRigTest {
protected:
    // Identified units on COM31.., each with a shooter, a live viewer (which
    // listens to it) and one shot taken: the session is unsaved.
    void StartLiveSession(int n)
    {
        for (int i = 0; i < n; ++i)
            AddUnit(31 + i, unitsim::UnitName("KBR", 31 + i));
        ASSERT_TRUE(StartProgram());
        TDeviceManager* manager = TDeviceManager::Instance();
        manager->ScanPorts(true, true, false);
        ASSERT_TRUE(WaitFor([&] {
            manager->CheckScanComplete();
            return manager->FoundDeviceCount() == n && manager->IdentifyingDeviceCount() == 0;
        }));
        CurrentSession->DeleteShooters();
        SessionMode = SessionClassic;
        for (TDevice* device : DP::ConnectedDevices()) {
            auto* viewer = new TFormShooter;
            ShooterViewers.push_back(viewer);
            AttachShooterView(viewer, device, DP::AddShooterFor(*device, GoldenRing()), true);
            ASSERT_EQ(device->Listener(), viewer);
        }
        ShowSessionViewers();
        for (auto& unit : units)
            unit->FireShot({});
        ASSERT_TRUE(WaitFor([n] {
            for (int i = 0; i < n; ++i)
                if (CurrentSession->GetShooter(i)->ShotCount() != 1)
                    return false;
            return true;
        }));
        ASSERT_TRUE(SessionUnsaved.load());
        prompts.shown.clear();
    }

    void ClickClose()
    {
        QTest::mouseClick(FormShooterPanel->findChild<QPushButton*>(QStringLiteral("BitBtnCloseSession")), Qt::LeftButton);
    }

    static TDevice& DeviceOn(int com) { return *TDeviceManager::Instance()->FindConnectedDevice(com); }

    // Starts the unit measuring; returns the stops it received before.
    static long StopsBeforeStart(unitsim::TSimUnit& unit, TDevice& device)
    {
        device.StartMeasuring(1);
        EXPECT_TRUE(unit.WaitForFrames([](const auto& f) { return std::any_of(f.begin(), f.end(), IsStart); }, 5s));
        const auto frames = unit.Received();
        return std::count_if(frames.begin(), frames.end(), IsStop);
    }
};

TEST_F(CloseSessionTest, OnlyNoEndsTheSessionEachLiveUnitStoppedThreeTimes)
{
    StartLiveSession(3);
    for (auto& unit : units)
        unit->ClearReceived();

    prompts.queued = {TMsgResult::Cancel, TMsgResult::Yes};
    ClickClose();
    ClickClose();
    EXPECT_EQ(prompts.Texts(), (QStringList {"Save session?", "Save session?"}));
    EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("Confirm"));
    EXPECT_EQ(prompts.shown[0].buttons, TMsgButtons::YesNoCancel);
    EXPECT_TRUE(FormShooterList->isVisible()); // Yes: the operator saves first
    EXPECT_EQ(ShooterViewers.size(), 3u);
    EXPECT_EQ(CurrentSession->ShooterCount(), 3);
    EXPECT_TRUE(SessionUnsaved.load());

    // The third unit's port is gone: its stop fails, the others' do not.
    DeviceOn(33).Data().ClosePort();
    prompts.queued = {TMsgResult::No};
    ClickClose();
    EXPECT_TRUE(ShooterViewers.empty());
    EXPECT_EQ(ActiveViewer, nullptr);
    EXPECT_EQ(CurrentSession->ShooterCount(), 0);
    EXPECT_FALSE(SessionUnsaved.load());
    EXPECT_FALSE(FormShooterPanel->isVisible());
    EXPECT_FALSE(FormShooterList->isVisible());
    EXPECT_TRUE(FormStartMenu->isVisible());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(DeviceOn(31 + i).Shooter(), nullptr) << i;
        EXPECT_EQ(DeviceOn(31 + i).Listener(), nullptr) << i;
    }
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(StopsBeforeStart(*units[std::size_t(i)], DeviceOn(31 + i)), 3) << i;

    // Closed means closed: the next close asks nothing.
    prompts.shown.clear();
    EXPECT_TRUE(FormShooterPanel->CloseSession());
    EXPECT_TRUE(prompts.shown.empty());
}

// The units stream and shoot on after the close.
TEST_F(CloseSessionTest, ShotsAfterTheCloseReachNoViewerAndNoShooter)
{
    StartLiveSession(2);
    prompts.queued = {TMsgResult::No};
    ClickClose();
    ASSERT_TRUE(ShooterViewers.empty());
    for (int i = 0; i < 2; ++i) {
        TDevice& device = DeviceOn(31 + i);
        StopsBeforeStart(*units[std::size_t(i)], device);
        const uint32_t before = device.ReplyCount(ReplyShotResult);
        units[std::size_t(i)]->FireShot({});
        units[std::size_t(i)]->FireShot({});
        ASSERT_TRUE(WaitFor([&] { return device.ReplyCount(ReplyShotResult) == before + 2; }));
    }
    EXPECT_EQ(CurrentSession->ShooterCount(), 0);
    EXPECT_FALSE(SessionUnsaved.load());
}

} // namespace
