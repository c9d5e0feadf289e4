// The viewer's live path under load, for the thread sanitizer as much as for
// itself: a unit streaming far faster than 66 Hz while the viewer draws,
// shots arriving from another thread, and the session closing (viewer and
// shooter deleted) while the port's event thread is still delivering.
#include "DeviceManager.h"
#include "TestTargets.h"
#include "UiRig.h"

#include <algorithm>
#include <atomic>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr int Com = 7;

class ViewerLiveTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        ASSERT_TRUE(StartProgram());
        unitsim::UnitConfig config;
        config.sampleHz = 1000;
        unit = &AddUnit(Com, config);
        UiTimings().viewerShotHoldMs = 40;  // many shots held and released in little time
        ASSERT_TRUE(ScanUnits(1));
        device = TDeviceManager::Instance()->FindConnectedDevice(Com);
        ASSERT_NE(device, nullptr);
        device->Shooter()->currentTarget = GoldenRing();
        viewer = AddViewer(device, device->Shooter(), true);
        viewer->SetViewerNumber(1);
        viewer->resize(640, 520);
        viewer->show();
        viewer->ButtonStartStopClick();
        ASSERT_TRUE(WaitFor([&] { return viewer->Renderer().LivePointValid; }));
        // The unit streams on whatever it is told, as a unit whose stop got lost.
        unit->SetForcedStreaming(true);
    }

    void DeleteViewer()
    {
        ShooterViewers.erase(std::find(ShooterViewers.begin(), ShooterViewers.end(), viewer));
        delete viewer;
        viewer = nullptr;
    }

    unitsim::TSimUnit* unit = nullptr;
    TDevice* device = nullptr;
    TFormShooter* viewer = nullptr;
};

TEST_F(ViewerLiveTest, FastStreamWithShotsWhileTheSessionCloses)
{
    // Shots from another thread while the GUI draws every sample.
    std::atomic<int> fired {0};
    std::thread shooter([&] {
        for (int i = 0; i < 12; ++i) {
            unit->FireShot(RingShot(20 * i - 100, 50 - 10 * i));
            fired.fetch_add(1);
            std::this_thread::sleep_for(15ms);
        }
    });
    const bool allShown = WaitFor([&] { return fired.load() == 12 && viewer->Shooter()->ShotCount() == 12 && !viewer->DrawPending(); });
    shooter.join();
    ASSERT_TRUE(allShown);
    EXPECT_EQ(viewer->Strip().EntryCount(), 12);

    // The session closes as the shooter panel closes it: stops, links cut,
    // viewers deleted, then the shooters, while frames still pour in.
    device->SendStop();
    device->SetListener(nullptr);
    DeleteViewer();
    CurrentSession->DeleteShooters();
    EXPECT_EQ(device->Shooter(), nullptr);
    const int samples = device->SampleCount();
    EXPECT_TRUE(WaitFor([&] { return device->SampleCount() > samples + 200; }));
    unit->FireShot(RingShot(0, 0));
    const int after = device->SampleCount();
    EXPECT_TRUE(WaitFor([&] { return device->SampleCount() > after + 50; }));
}

// Every shot is held for its time and then gives way to the live point
// again, also when it arrives while the viewer is busy with a sample (the
// stream is far faster than 66 Hz, so shots keep landing mid-draw).
TEST_F(ViewerLiveTest, EveryShotEndsItsHoldWhileSamplesPourIn)
{
    for (int i = 0; i < 60; ++i) {
        SCOPED_TRACE(i);
        const int before = viewer->Shooter()->ShotCount();
        unit->FireShot(RingShot(6 * i - 180, 100 - 4 * i));
        // On the strip: the viewer has taken the shot in.
        ASSERT_TRUE(WaitFor([&] { return viewer->Strip().EntryCount() == before + 1; }));
        ASSERT_TRUE(WaitFor([&] {
            return viewer->SelectedShot() == nullptr && viewer->Renderer().ViewMode == TTargetRenderer::ViewAllShots
                && viewer->Renderer().LivePointValid;
        })) << "shot " << before + 1 << " still held";
    }
}

TEST_F(ViewerLiveTest, ViewerDeletedWhileItsUnitDelivers)
{
    // The viewer goes without being unbound first: it unlinks itself, and
    // the event thread, busy with samples and shots, never calls it again.
    std::atomic<bool> stop {false};
    std::thread shooter([&] {
        while (!stop.load()) {
            unit->FireShot(RingShot(0, 0));
            std::this_thread::sleep_for(5ms);
        }
    });
    const int shots = device->Shooter()->ShotCount();
    const bool shown = WaitFor([&] { return device->Shooter()->ShotCount() > shots + 3; });
    DeleteViewer();
    EXPECT_EQ(device->Listener(), nullptr);
    const int after = device->Shooter()->ShotCount();
    const bool more = WaitFor([&] { return device->Shooter()->ShotCount() > after + 3; });
    stop.store(true);
    shooter.join();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(more);
}

} // namespace
