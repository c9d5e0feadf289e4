// Closing a live session from the panel at simulated units: each live unit
// stopped three times even when another's port is gone, and shots that
// arrive after the close (they must reach neither a deleted viewer nor a
// deleted shooter; run under the sanitizers).
#include "Device.h"
#include "DeviceFrames.h"
#include "DeviceManager.h"
#include "FormShooterList.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "UiRig.h"

using namespace std::chrono_literals;

namespace {

class CloseSessionTest : public UiRigTest {
protected:
    // A training on n units with one shot each: the session is unsaved.
    void StartLiveSession(int n)
    {
        StartTraining(n);
        FireAndWait({{0, 0}});
        ASSERT_TRUE(SessionUnsaved.load());
        ClearReceived();
    }

    void CloseAnswering(TMsgResult answer)
    {
        prompts.queued = {answer};
        Click(Control(FormShooterPanel, "BitBtnCloseSession"));
    }

    static TDevice& DeviceOn(int com) { return *TDeviceManager::Instance()->FindConnectedDevice(com); }

    // Starts the unit measuring; returns the stops it received before.
    static int StopsBeforeStart(unitsim::TSimUnit& unit, TDevice& device)
    {
        device.StartMeasuring(1);
        EXPECT_TRUE(unit.WaitForFrames([](const auto& f) { return std::any_of(f.begin(), f.end(), IsStartFrame); }, 5s));
        return CountFrames(unit, IsStopFrame);
    }
};

TEST_F(CloseSessionTest, NoEndsTheSessionEachLiveUnitStoppedThreeTimes)
{
    StartLiveSession(3);
    CloseAnswering(TMsgResult::Yes);  // the operator saves first
    EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("Confirm"));
    EXPECT_EQ(prompts.shown[0].buttons, TMsgButtons::YesNoCancel);
    EXPECT_TRUE(FormShooterList->isVisible());
    EXPECT_EQ(ShooterViewers.size(), 3u);

    // The third unit's port is gone: its stop fails, the others' do not.
    DeviceOn(43).Data().ClosePort();
    CloseAnswering(TMsgResult::No);
    EXPECT_TRUE(ShooterViewers.empty());
    EXPECT_EQ(ActiveViewer, nullptr);
    EXPECT_EQ(CurrentSession->ShooterCount(), 0);
    EXPECT_FALSE(SessionUnsaved.load());
    EXPECT_FALSE(FormShooterPanel->isVisible());
    EXPECT_FALSE(FormShooterList->isVisible());
    EXPECT_TRUE(FormStartMenu->isVisible());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(DeviceOn(41 + i).Shooter(), nullptr) << i;
        EXPECT_EQ(DeviceOn(41 + i).Listener(), nullptr) << i;
    }
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(StopsBeforeStart(*units[std::size_t(i)], DeviceOn(41 + i)), 3) << i;

    // Closed means closed: the next close asks nothing.
    prompts.shown.clear();
    EXPECT_TRUE(FormShooterPanel->CloseSession());
    EXPECT_TRUE(prompts.shown.empty());
}

// The units stream and shoot on after the close.
TEST_F(CloseSessionTest, ShotsAfterTheCloseReachNoViewerAndNoShooter)
{
    StartLiveSession(2);
    CloseAnswering(TMsgResult::No);
    ASSERT_TRUE(ShooterViewers.empty());
    for (int i = 0; i < 2; ++i) {
        TDevice& device = DeviceOn(41 + i);
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
