// Closing a live session at simulated units: "Save session?" answered Yes,
// Cancel and No, the three stops each unit receives, a unit whose port is
// gone, and shots that arrive after the session was closed (which must reach
// neither a deleted viewer nor a deleted shooter).
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
    // Two identified units, each with a shooter of the session, a live
    // viewer and one shot taken: the session is unsaved.
    void StartLiveSession()
    {
        AddUnit(31, unitsim::UnitName("KBR", 31));
        AddUnit(32, unitsim::UnitName("KBR", 32));
        ASSERT_TRUE(StartProgram());
        TDeviceManager* manager = TDeviceManager::Instance();
        manager->ScanPorts(true, true, false);
        ASSERT_TRUE(WaitFor([&] {
            manager->CheckScanComplete();
            return manager->FoundDeviceCount() == 2 && manager->IdentifyingDeviceCount() == 0;
        }));
        CurrentSession->DeleteShooters();
        SessionMode = SessionClassic;
        for (TDevice* device : DP::ConnectedDevices()) {
            TShooter* shooter = DP::AddShooterFor(*device, GoldenRing());
            auto* viewer = new TFormShooter;
            ShooterViewers.push_back(viewer);
            viewer->SetDeviceMode(1);
            AttachShooterView(viewer, device, shooter, true);
            // Where the viewer does not bind itself yet, it listens all the same.
            if (!device->Listener())
                device->SetListener(viewer);
        }
        ShowSessionViewers();
        for (auto& unit : units)
            unit->FireShot({});
        ASSERT_TRUE(WaitFor([] {
            return CurrentSession->GetShooter(0)->ShotCount() == 1 && CurrentSession->GetShooter(1)->ShotCount() == 1;
        }));
        ASSERT_TRUE(SessionUnsaved.load());
        for (auto& unit : units)
            unit->ClearReceived();
        prompts.shown.clear();
    }

    void ClickClose()
    {
        auto* button = FormShooterPanel->findChild<QPushButton*>(QStringLiteral("BitBtnCloseSession"));
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    static TDevice* DeviceOn(int com) { return TDeviceManager::Instance()->FindConnectedDevice(com); }

    // The stops the unit received before a start command sent now (the
    // frames of one port arrive in the order written).
    std::size_t StopsBeforeMarker(unitsim::TSimUnit& unit, TDevice& device)
    {
        device.StartMeasuring(1);
        EXPECT_TRUE(unit.WaitForFrames(
            [](const auto& frames) { return std::any_of(frames.begin(), frames.end(), IsStart); }, 5s));
        const auto frames = unit.Received();
        return std::size_t(std::count_if(frames.begin(), frames.end(), IsStop));
    }
};

TEST_F(CloseSessionTest, YesAndCancelKeepTheSessionNoEndsItWithThreeStopsPerUnit)
{
    StartLiveSession();

    prompts.queued = {TMsgResult::Cancel, TMsgResult::Yes};
    ClickClose();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, QStringLiteral("Save session?"));
    EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("Confirm"));
    EXPECT_EQ(prompts.shown[0].buttons, TMsgButtons::YesNoCancel);
    EXPECT_EQ(ShooterViewers.size(), 2u);
    EXPECT_FALSE(FormShooterList->isVisible());

    ClickClose();  // Yes: the operator saves first, in the list
    EXPECT_TRUE(FormShooterList->isVisible());
    EXPECT_EQ(ShooterViewers.size(), 2u);
    EXPECT_EQ(CurrentSession->ShooterCount(), 2);
    EXPECT_TRUE(FormShooterPanel->isVisible());
    EXPECT_TRUE(SessionUnsaved.load());

    prompts.queued = {TMsgResult::No};
    ClickClose();
    EXPECT_TRUE(ShooterViewers.empty());
    EXPECT_EQ(ActiveViewer, nullptr);
    EXPECT_EQ(CurrentSession->ShooterCount(), 0);
    EXPECT_FALSE(SessionUnsaved.load());
    EXPECT_FALSE(FormShooterPanel->isVisible());
    EXPECT_FALSE(FormShooterList->isVisible());
    EXPECT_TRUE(FormStartMenu->isVisible());
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        TDevice* device = DeviceOn(31 + i);
        EXPECT_EQ(device->Shooter(), nullptr);
        EXPECT_EQ(device->Listener(), nullptr);
        EXPECT_EQ(StopsBeforeMarker(*units[std::size_t(i)], *device), 3u);
    }
}

TEST_F(CloseSessionTest, AUnitWhosePortIsGoneDoesNotKeepTheSessionOpen)
{
    StartLiveSession();
    DeviceOn(32)->Data().ClosePort();
    prompts.queued = {TMsgResult::No};
    ClickClose();
    EXPECT_TRUE(ShooterViewers.empty());
    EXPECT_EQ(CurrentSession->ShooterCount(), 0);
    EXPECT_FALSE(SessionUnsaved.load());
    EXPECT_EQ(StopsBeforeMarker(*units[0], *DeviceOn(31)), 3u);

    // Closed means closed: the next close asks nothing.
    prompts.shown.clear();
    EXPECT_TRUE(FormShooterPanel->CloseSession());
    EXPECT_TRUE(prompts.shown.empty());
}

// The unit keeps streaming and shoots once more after the close: the frames
// reach a device that no longer has a viewer or a shooter.
TEST_F(CloseSessionTest, ShotsAfterTheCloseReachNoViewerAndNoShooter)
{
    StartLiveSession();
    prompts.queued = {TMsgResult::No};
    ClickClose();
    ASSERT_TRUE(ShooterViewers.empty());

    for (int i = 0; i < 2; ++i) {
        TDevice& device = *DeviceOn(31 + i);
        unitsim::TSimUnit& unit = *units[std::size_t(i)];
        device.StartMeasuring(1);
        ASSERT_TRUE(unit.WaitForFrames([](const auto& f) { return std::any_of(f.begin(), f.end(), IsStart); }, 5s));
        const uint32_t before = device.ReplyCount(ReplyShotResult);
        unit.FireShot({});
        unit.FireShot({});
        ASSERT_TRUE(WaitFor([&] { return device.ReplyCount(ReplyShotResult) == before + 2; }));
    }
    EXPECT_EQ(CurrentSession->ShooterCount(), 0);
    EXPECT_FALSE(SessionUnsaved.load());
}

} // namespace
