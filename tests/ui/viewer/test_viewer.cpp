// The shooter viewer against simulated units: live shots and samples, the
// hold after a shot, the series stop, the watchdog, losing and regaining a
// unit, the reconnect, gestures, replay, zoom, zeroing, saving and network
// texts.
#include "AppPaths.h"
#include "AppSettings.h"
#include "Clock.h"
#include "DeviceEvents.h"
#include "DeviceFrames.h"
#include "DeviceManager.h"
#include "FormPrepareDownload.h"
#include "FormShooterDevice.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "Globals.h"
#include "Shotfile.h"
#include "TestTargets.h"
#include "UiRig.h"
#include "XmlNames.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <atomic>
#include <stdexcept>
#include <tuple>

using namespace std::chrono_literals;

namespace {

constexpr int Com = 5;

// A clock the test moves by hand; the ports' event threads read it too.
class TTestClock : public IClock {
public:
    uint32_t TickCount() const override { return uint32_t(ns.load() / 1000000); }
    int64_t MonotonicNs() const override { return ns.load(); }
    void AdvanceMs(int64_t ms) { ns.fetch_add(ms * 1000000); }
    std::atomic<int64_t> ns {int64_t(1) << 40};
};

class ViewerTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        ASSERT_TRUE(StartProgram());
        prompts.shown.clear();
        SetOptionString(QStringLiteral("AlwaysShowSaveDialogs"), QStringLiteral("false"));
        SetOptionString(QStringLiteral("AutoZoom"), QStringLiteral("false"));
    }
    void TearDown() override
    {
        SetClock(nullptr);
        SetAdvancedModeOn(false);
        UiRigTest::TearDown();
    }

    // A unit behind COM<Com>, found and identified by a scan, and a viewer
    // bound live to it, training on the ring target.
    struct TLive { unitsim::TSimUnit* unit; TDevice* device; TFormShooter* viewer; };
    TLive StartLive()
    {
        unitsim::TSimUnit* unit = &AddUnit(Com, "KBR0001234");
        EXPECT_TRUE(ScanUnits(1));
        TDevice* device = TDeviceManager::Instance()->FindConnectedDevice(Com);
        if (!device)
            throw std::runtime_error("no unit on the port");
        device->Shooter()->currentTarget = GoldenRing();
        return {unit, device, Shown(AddViewer(device, device->Shooter(), true))};
    }

    static TFormShooter* Shown(TFormShooter* viewer)
    {
        viewer->SetViewerNumber(int(ShooterViewers.size()));
        viewer->resize(700, 560);
        viewer->show();
        return viewer;
    }

    // A review viewer of a shooter with shots on the ring target at the
    // given positions (0.1 mm), one second apart.
    static TFormShooter* ReviewViewer(const std::vector<std::pair<int, int>>& hits,
                                      const QString& name = QStringLiteral("Anna"))
    {
        TShooter* shooter = AddShooterWithShots(*CurrentSession, name, 1, GoldenRing(), int(hits.size()));
        for (std::size_t i = 0; i < hits.size(); ++i) {
            RawShotRecord& raw = shooter->GetShot(int(i))->raw;
            raw.SetTime(uint32_t(660 * (i + 1)));
            raw.SetX(hits[i].first);
            raw.SetY(hits[i].second);
        }
        return Shown(AddViewer(nullptr, shooter, false));
    }

    static int Tag(TFormShooter* v, const char* name) { return Control<QWidget>(v, name)->property("Tag").toInt(); }
    static QString Glyph(TFormShooter* v) { return Control(v, "ButtonStartStop")->property("Glyph").toString(); }

    // Fires a shot and waits until the viewer shows it selected.
    void FireAndShow(unitsim::TSimUnit& unit, TFormShooter* viewer, int16_t x, int16_t y)
    {
        const int before = viewer->Shooter()->ShotCount();
        unit.FireShot(RingShot(x, y));
        ASSERT_TRUE(WaitFor([&] {
            return viewer->Shooter()->ShotCount() == before + 1 && !viewer->DrawPending()
                && viewer->SelectedShot() == viewer->Shooter()->GetShot(before);
        }));
    }

    // Moves the test clock on until the watchdog reports the stream lost
    // (a sample still on its way stamps the time it arrives).
    bool WaitForStreamLost(TTestClock& clock, TFormShooter* viewer, TDevice* device)
    {
        return WaitFor([&] {
            clock.AdvanceMs(1500);
            return !ViewerDevice::SampleStream(*device) && Tag(viewer, "ImageStatus") == 1;
        });
    }
};

// ---- Pure tables ----------------------------------------------------------------------

TEST(ViewerPictures, StatusAndRotationIndexTables)
{
    const std::tuple<int, int, int> statuses[] = {  // status, tilt, picture
        {0x00, 5, 0},  {0x01, 0, 1},  {0x02, 0, 1},  {0x10, 0, 1},  {0x40, 0, 1},
        {0x08, 0, 0},  {0x20, -1, 2}, {0x20, 0, 3},  {0x21, -4, 2}, {0x21, 4, 3}, // the tilt wins
    };
    for (const auto& [status, tilt, expected] : statuses)
        EXPECT_EQ(StatusPictureIndex(status, tilt), expected) << status << " " << tilt;

    const std::pair<int, int> cants[] = {{0, 0}, {5, 0}, {-5, 0}, {6, 3}, {-6, 1}, {10, 3},
                                         {-10, 1}, {11, 4}, {-11, 2}, {90, 4}, {-90, 2}};
    for (const auto& [cant, expected] : cants)
        EXPECT_EQ(RotatePictureIndex(cant), expected) << cant;
}

TEST(ViewerPictures, StripScrollKeepsTheSelectionAwayFromTheEdges)
{
    // Too near the left edge (100 px from it), left of the view (the scroll
    // bar clamps), well inside, too near the right edge, exactly 100 px from it.
    const struct { int right, position, width, expected; } cases[] = {
        {150, 100, 600, 50}, {99, 0, 600, -1}, {300, 0, 600, 0}, {550, 0, 600, 50}, {500, 0, 600, 0},
        {2000, 1000, 600, 1500}, {1100, 1000, 600, 1000}, {1099, 1000, 600, 999},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StripScrollFor(c.right, c.position, c.width), c.expected) << c.right << " " << c.position;
}

// ---- Live data ---------------------------------------------------------------------------

TEST_F(ViewerTest, LiveShotIsHeldThenTheLivePointReturns)
{
    TTestClock clock;
    SetClock(&clock);
    UiTimings().viewerShotHoldMs = 3000;
    auto [unit, device, viewer] = StartLive();
    SaveScreen(*viewer, QStringLiteral("viewer_empty"));

    Click(Control<QPushButton>(viewer, "ButtonStartStop"));
    ASSERT_TRUE(WaitFor([&] { return unit->Measuring() && viewer->Renderer().LivePointValid; }));
    EXPECT_EQ(std::tuple(Glyph(viewer), Tag(viewer, "ImageStatus"), Tag(viewer, "ImageRotate")),
              std::tuple(QStringLiteral("ButtonStop"), 0, 0));

    unit->SetAimPoint(40, -30);
    FireAndShow(*unit, viewer, 40, -30);
    EXPECT_EQ(viewer->Renderer().ViewMode, TTargetRenderer::ViewSingleShot);
    EXPECT_EQ(viewer->Strip().selected, 0);
    SaveScreen(*viewer, QStringLiteral("viewer_live_trace"));

    // Samples keep coming during the hold: the shot stays selected.
    const int seen = device->SampleCount();
    ASSERT_TRUE(WaitFor([&] { return device->SampleCount() >= seen + 15 && !viewer->DrawPending(); }));
    EXPECT_NE(viewer->SelectedShot(), nullptr);
    EXPECT_EQ(viewer->Renderer().ViewMode, TTargetRenderer::ViewSingleShot);

    // Past the hold, the next valid sample brings back all shots.
    clock.AdvanceMs(3001);
    ASSERT_TRUE(WaitFor([&] { return viewer->SelectedShot() == nullptr; }));
    EXPECT_EQ(viewer->Renderer().ViewMode, TTargetRenderer::ViewAllShots);
    EXPECT_TRUE(WaitFor([&] { return viewer->Renderer().LivePointValid; }));

    for (int i = 1; i < 10; ++i)
        FireAndShow(*unit, viewer, int16_t(-200 + 45 * i), int16_t(120 - 30 * i));
    EXPECT_EQ(viewer->Strip().EntryCount(), 10);
    clock.AdvanceMs(3001);
    ASSERT_TRUE(WaitFor([&] { return viewer->SelectedShot() == nullptr; }));
    SaveScreen(*viewer, QStringLiteral("viewer_ten_shots"));

    // A shot a second before a 32-bit millisecond count would wrap (49.7 days
    // up): its hold still lasts across the wrap, and ends after it.
    clock.ns = (int64_t(1) << 32) * 1000000 - int64_t(1000) * 1000000;
    FireAndShow(*unit, viewer, 30, 30);
    for (const int ms : {0, 1500}) {
        clock.AdvanceMs(ms);
        const int count = device->SampleCount();
        ASSERT_TRUE(WaitFor([&] { return device->SampleCount() >= count + 15 && !viewer->DrawPending(); }));
        EXPECT_NE(viewer->SelectedShot(), nullptr) << ms << " ms into the hold";
    }
    clock.AdvanceMs(1501);
    const int samplesBefore = device->SampleCount();
    EXPECT_TRUE(WaitFor([&] { return viewer->SelectedShot() == nullptr; }))
        << "samples " << samplesBefore << " -> " << device->SampleCount() << ", status "
        << ViewerDevice::LiveSnapshot(*device).status << ", measuring " << unit->Measuring() << ", pending "
        << viewer->DrawPending() << ", shots " << viewer->Shooter()->ShotCount() << ", view "
        << viewer->Renderer().ViewMode;
}

TEST_F(ViewerTest, SeriesStopsTheUnitAndALateShotDoesNotStartIt)
{
    SetOptionString(QStringLiteral("LimitShotsDrawn"), QStringLiteral("3"));
    SetOptionString(QStringLiteral("StartAutomatically"), QStringLiteral("false"));
    // Each shot stays selected until the next: a hold that ended before a
    // busy test got to look would hide that the shot was shown.
    UiTimings().viewerShotHoldMs = 600000;
    auto [unit, device, viewer] = StartLive();
    QPushButton* startStop = Control<QPushButton>(viewer, "ButtonStartStop");

    Click(startStop);
    ASSERT_TRUE(WaitFor([&] { return unit->Measuring(); }));
    unit->ClearReceived();
    FireAndShow(*unit, viewer, 10, 10);
    FireAndShow(*unit, viewer, 20, 10);
    EXPECT_TRUE(ViewerDevice::Measuring(*device));
    const auto fired = unitsim::Clock::now();
    FireAndShow(*unit, viewer, 30, 10);

    // The third shot stops the unit: two stop frames, after the pause.
    ASSERT_TRUE(unit->WaitForCount('a', 2, 30s));
    ASSERT_TRUE(AllWrittenArrived(device));
    ASSERT_EQ(CountFrames(*unit, IsStopFrame), 2);
    const auto frames = unit->Received();
    EXPECT_GE(std::find_if(frames.begin(), frames.end(), IsStopFrame)->time - fired, 200ms);
    const auto stopped = std::pair(QStringLiteral("ButtonStart"), false);
    EXPECT_EQ(std::pair(Glyph(viewer), ViewerDevice::Measuring(*device)), stopped);

    // Starting again restores the countdown.
    Click(startStop);
    ASSERT_TRUE(WaitFor([&] { return unit->Measuring(); }));
    FireAndShow(*unit, viewer, 40, 10);
    FireAndShow(*unit, viewer, 50, 10);
    EXPECT_TRUE(ViewerDevice::Measuring(*device));

    // Stopped by hand, then a late shot comes in: the unit stays stopped.
    Click(startStop);
    EXPECT_FALSE(ViewerDevice::Measuring(*device));
    const int starts = CountFrames(*unit, IsStartFrame);
    FireAndShow(*unit, viewer, 60, 10);
    EXPECT_EQ(std::pair(Glyph(viewer), ViewerDevice::Measuring(*device)), stopped);
    EXPECT_TRUE(device->SendAndWait(BuildStop(), ReplyAck, 30000)); // everything before it has arrived
    EXPECT_EQ(CountFrames(*unit, IsStartFrame), starts);
}

TEST_F(ViewerTest, WatchdogShowsALostStreamAndItsReturn)
{
    TTestClock clock;
    SetClock(&clock);
    UiTimings().viewerStreamCheckMs = 20;
    auto [unit, device, viewer] = StartLive();
    viewer->ButtonStartStopClick();
    ASSERT_TRUE(WaitFor([&] { return Tag(viewer, "ImageStatus") == 0; }));

    // The unit falls silent behind the viewer's back.
    device->SendStop();
    ASSERT_TRUE(WaitForStreamLost(clock, viewer, device));
    EXPECT_EQ(Tag(viewer, "ImageRotate"), 0);
    EXPECT_TRUE(Control<QLabel>(viewer, "LabelRotation")->text().isEmpty());
    EXPECT_EQ(Glyph(viewer), QStringLiteral("ButtonStop")); // nothing is stopped

    device->StartMeasuring(1);
    EXPECT_TRUE(WaitFor([&] { return ViewerDevice::SampleStream(*device) && Tag(viewer, "ImageStatus") == 0; }));
}

// ---- Regaining the unit (unplug and replug: the download screen's tests) -------------

TEST_F(ViewerTest, ReconnectFromTheStatusCorner)
{
    TTestClock clock;
    SetClock(&clock);
    UiTimings().viewerStreamCheckMs = 20;
    // The start-up scan over first, and a Bluetooth port allowed: the end of
    // any scan drops Bluetooth units beyond the allowed number, and the unit
    // below poses as one (a late scan dropped it on a loaded machine).
    ASSERT_TRUE(WaitForStartMenu());
    SetOptionString(QString::fromLatin1(XmlNames::BluetoothPorts), QStringLiteral("1"));
    // The port watch off: the unplug below would reach it as a removal that
    // unbinds the viewer (rightly), at a moment that depends on the machine's
    // load; this test drives the viewer's own reconnect.
    RemoveDeviceEvents();
    auto [unit, device, viewer] = StartLive();
    device->SetBluetooth(true);
    QWidget* target = Control<QWidget>(viewer, "ImageTarget");
    const QPoint corner(5, target->height() - 5);

    // A unit whose stream is alive is left alone.
    Click(target, corner);
    EXPECT_FALSE(viewer->Waiting());

    // The port cannot be opened again: logged, normal cursor, still bound.
    viewer->ButtonStartStopClick();
    ASSERT_TRUE(WaitFor([&] { return unit->Measuring(); }));
    unit->Unplug();
    ASSERT_TRUE(WaitForStreamLost(clock, viewer, device));
    Click(target, corner);
    EXPECT_EQ(std::tuple(viewer->Waiting(), BusyCursorDepth(), Control(viewer, "ButtonStartStop")->isEnabled()),
              std::tuple(true, 1, false));
    ASSERT_TRUE(WaitFor([&] { return !viewer->Waiting(); }));
    EXPECT_EQ(std::pair(BusyCursorDepth(), viewer->Device()), std::pair(0, device));
    const auto* log = Control<QPlainTextEdit>(FormStartMenu, "MemoLog");
    EXPECT_TRUE(WaitFor([&] { return log->toPlainText().contains(QLatin1String("Reconnect COM5")); }));

    // Back: the port opens and the unit is told to measure again, since it was
    // measuring (the operator clicks again while the port is not there yet).
    unit->Replug();
    unit->ClearReceived();
    ASSERT_TRUE(WaitFor([&] {
        if (!viewer->Waiting() && device->Data().ComNumber() == 0)
            Click(target, corner);
        return !viewer->Waiting() && CountFrames(*unit, IsStartFrame) > 0;
    }));
    EXPECT_EQ(BusyCursorDepth(), 0);
    EXPECT_EQ(std::pair(Glyph(viewer), Control(viewer, "ButtonStartStop")->isEnabled()),
              std::pair(QStringLiteral("ButtonStop"), true));

    // Stopped before: reconnected, and not told to measure. The unit stopped
    // and every sample it sent before taken in first: a late one would mark
    // the stream alive again and the click would leave it alone.
    viewer->ButtonStartStopClick();
    ASSERT_TRUE(WaitFor([&] { return !unit->Measuring(); }));
    ASSERT_TRUE(AllWrittenArrived(device));
    ViewerDevice::SetSampleStream(*device, false);
    unit->ClearReceived();
    Click(target, corner);
    ASSERT_TRUE(viewer->Waiting());
    ASSERT_TRUE(WaitFor([&] { return !viewer->Waiting(); }));
    EXPECT_EQ(std::tuple(CountFrames(*unit, IsStartFrame), unit->Measuring(), viewer->Device(), device->Data().ComNumber()),
              std::tuple(0, false, device, Com));

    // Unbound during the wait: the continuation lets the device be.
    ViewerDevice::SetSampleStream(*device, false);
    Click(target, corner);
    ASSERT_TRUE(viewer->Waiting());
    viewer->UnbindDevice();
    ASSERT_TRUE(WaitFor([&] { return !viewer->Waiting(); }));
    EXPECT_EQ(BusyCursorDepth(), 0);
    EXPECT_EQ(device->Data().ComNumber(), 0); // not opened again

    // Deleted during the wait: the busy cursor ends with it.
    AttachShooterView(viewer, device, device->Shooter(), true);
    ASSERT_TRUE(device->OpenPort(Com, true));
    ViewerDevice::SetSampleStream(*device, false);
    Click(target, corner);
    ASSERT_TRUE(viewer->Waiting());
    ShooterViewers.erase(std::find(ShooterViewers.begin(), ShooterViewers.end(), viewer));
    delete viewer;
    EXPECT_EQ(BusyCursorDepth(), 0);
    EXPECT_EQ(device->Listener(), nullptr);
}

// A port scan while the viewer has the port closed for its reconnect (another
// unit plugged in meanwhile): the unit stays the viewer's, on its port, and
// the reconnect goes on.
TEST_F(ViewerTest, AScanDuringTheReconnectLeavesTheUnitToTheViewer)
{
    ASSERT_TRUE(WaitForStartMenu());
    SetOptionString(QString::fromLatin1(XmlNames::BluetoothPorts), QStringLiteral("1"));
    RemoveDeviceEvents(); // only the scan below
    auto [unit, device, viewer] = StartLive();
    device->SetBluetooth(true);
    viewer->ButtonStartStopClick();
    ASSERT_TRUE(WaitFor([&] { return unit->Measuring(); }));
    ViewerDevice::SetSampleStream(*device, false);
    QWidget* target = Control<QWidget>(viewer, "ImageTarget");
    Click(target, QPoint(5, target->height() - 5));
    ASSERT_TRUE(viewer->Waiting());
    SessionMode = SessionClassic;
    FormPrepareDownload->OnPortArrival(0);
    ASSERT_TRUE(WaitFor([&] { return !viewer->Waiting(); }));
    EXPECT_EQ(viewer->Device(), device);
    EXPECT_EQ(DeviceManagerInstance->Connected(), std::vector<TDevice*> {device});
    EXPECT_TRUE(WaitFor([&] { return unit->Measuring() && ViewerDevice::SampleStream(*device); }));
}

// ---- Gestures and views ------------------------------------------------------------------

TEST_F(ViewerTest, SwipesOfMoreThan50PixelsArrowsAndSelectionsBeyondTheShots)
{
    TFormShooter* viewer = ReviewViewer({{0, 0}, {50, 20}, {-30, 40}});
    QWidget* target = Control<QWidget>(viewer, "ImageTarget");
    const auto swipe = [&](int from, int to) {
        QTest::mousePress(target, Qt::LeftButton, {}, QPoint(from, 100));
        QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(to, 100));
    };
    TShooter* shooter = viewer->Shooter();
    swipe(100, 150); // exactly 50: a click in the middle
    EXPECT_EQ(std::pair(viewer->SelectedShot(), viewer->Renderer().ViewMode),
              std::pair(static_cast<TShot*>(nullptr), TTargetRenderer::ViewAllShots));
    swipe(100, 151); // right: the previous shot, the first without a selection
    EXPECT_EQ(viewer->SelectedShot(), shooter->GetShot(0));
    swipe(200, 149); // left: the next
    EXPECT_EQ(viewer->SelectedShot(), shooter->GetShot(1));
    swipe(200, 150);
    EXPECT_EQ(viewer->SelectedShot(), nullptr);
    // The right arrow stays at the last shot.
    for (int i = 0; i < 4; ++i)
        Click(Control(viewer, "BitBtnRightArrow"));
    EXPECT_EQ(viewer->SelectedShot(), shooter->GetShot(2));
    viewer->SelectShot(-3); // a network index below 0
    EXPECT_EQ(viewer->SelectedShot(), nullptr);

    // The second shot names a ring slot the unit never delivered: shown on the target there is.
    shooter->GetShot(1)->raw.SetRingTargetIndex(7);
    const QString before = GetTargetName(viewer->Renderer().Target);
    viewer->SelectShot(1);
    EXPECT_EQ(std::pair(viewer->SelectedShot(), viewer->Renderer().ViewMode),
              std::pair(shooter->GetShot(1), TTargetRenderer::ViewSingleShot));
    EXPECT_TRUE(viewer->Renderer().Target.hasRing);
    EXPECT_EQ(GetTargetName(viewer->Renderer().Target), before);

    TFormShooter* empty = ReviewViewer({});
    empty->SelectShot(0);
    empty->SelectShot(-1);
    EXPECT_EQ(std::pair(empty->SelectedShot(), empty->Renderer().ViewMode),
              std::pair(static_cast<TShot*>(nullptr), TTargetRenderer::ViewAllShots));
}

TEST_F(ViewerTest, StripClickSelectsAndADoubleClickDoesNotSelectAgain)
{
    std::vector<std::pair<int, int>> hits;
    for (int i = 0; i < 40; ++i)
        hits.push_back({i * 5, -i * 3});
    TFormShooter* viewer = ReviewViewer(hits);
    QWidget* strip = Control<QWidget>(viewer, "ImageShotString");
    // The last shot: the strip scrolls so that it stays 100 px off the edge.
    viewer->SelectShot(39);
    const TShotOnString* last = viewer->Strip().Entry(39);
    ASSERT_NE(last, nullptr);
    auto* box = viewer->findChild<QAbstractScrollArea*>(QStringLiteral("ScrollBoxShotString"));
    const int width = box->viewport()->width();
    EXPECT_EQ(box->horizontalScrollBar()->value(),
              std::min(box->horizontalScrollBar()->maximum(),
                       last->x + TShotString::IconWidth(last->icon) - width + 100));

    // A click on a visible entry selects it; the double click that follows
    // at another entry only changes the spacing.
    const int offset = box->horizontalScrollBar()->value();
    const TShotOnString* a = viewer->Strip().Entry(38);
    const TShotOnString* b = viewer->Strip().Entry(37);
    QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(a->xCentre - offset, 40));
    EXPECT_EQ(viewer->SelectedShot(), viewer->Shooter()->GetShot(38));
    const bool compact = viewer->Strip().compact;
    QTest::mouseDClick(strip, Qt::LeftButton, {}, QPoint(b->xCentre - offset, 40));
    QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(b->xCentre - offset, 40));
    EXPECT_EQ(viewer->Strip().compact, !compact);
    EXPECT_EQ(viewer->SelectedShot(), viewer->Shooter()->GetShot(38));
}

TEST_F(ViewerTest, ReplayStatesCycleByModeAndGrading)
{
    const struct { bool advanced, grading; std::vector<int> states; } cases[] = {
        {false, false, {2, 0, 2, 0}}, {false, true, {2, 3, 0, 2}},
        {true, false, {1, 2, 0, 1}}, {true, true, {1, 2, 3, 0}}};
    const int modes[] = {TTargetRenderer::ViewAllShots, TTargetRenderer::ViewXYGraph,
                         TTargetRenderer::ViewDistanceGraph, TTargetRenderer::ViewTextPage};
    TFormShooter* viewer = ReviewViewer({{0, 0}, {30, -20}, {-15, 25}});
    QPushButton* replay = Control<QPushButton>(viewer, "BitBtnReplayMode");
    for (const auto& c : cases) {
        SetAdvancedModeOn(c.advanced);
        SetOptionString(QStringLiteral("QuickGrading"), c.grading ? QStringLiteral("true") : QStringLiteral("false"));
        viewer->SetReplayState(0);
        for (int expected : c.states) {
            viewer->BitBtnReplayModeClick();
            const bool zoomable = Control(viewer, "BitBtnZoomIn")->isEnabled();
            EXPECT_EQ(std::tuple(viewer->ReplayState(), viewer->Renderer().ViewMode, zoomable),
                      std::tuple(expected, modes[expected], expected == 0)) << c.advanced << c.grading;
        }
    }
    viewer->SetReplayState(0);
    viewer->BitBtnReplayModeClick();
    viewer->SelectShot(1);
    SaveScreen(*viewer, QStringLiteral("viewer_replay"));
    EXPECT_EQ(replay->property("Tag").toInt(), viewer->ReplayState());

    // Without a ring the button does nothing.
    TShooter* silhouette = CurrentSession->AddShooter(std::make_unique<TShooter>());
    TFormShooter* other = Shown(AddViewer(nullptr, silhouette, false));
    other->BitBtnReplayModeClick();
    EXPECT_EQ(other->ReplayState(), 0);
}

TEST_F(ViewerTest, ZoomButtonsFollowTheSliderWhileTheyAgree)
{
    TFormShooter* viewer = ReviewViewer({{0, 0}, {200, 150}});
    QSlider* slider = Control<QSlider>(viewer, "TrackBarZoomPercent");
    QPushButton* in = Control<QPushButton>(viewer, "BitBtnZoomIn");
    QPushButton* out = Control<QPushButton>(viewer, "BitBtnZoomOut");
    const auto zoom = [&] { return viewer->Renderer().ZoomPercent; };

    const auto both = [&] { return std::pair(slider->value(), zoom()); };
    Click(in);
    EXPECT_EQ(both(), std::pair(150, 150.0));
    Click(out);
    Click(out);
    EXPECT_EQ(both(), std::pair(50, 50.0));
    Click(out); // the slider stops at 25
    EXPECT_EQ(both(), std::pair(25, 25.0));

    // Zoomed elsewhere (an animation onto a shot): steps of 25 on the zoom alone.
    SetOptionString(QStringLiteral("AutoZoom"), QStringLiteral("true"));
    viewer->SelectShot(1);
    ASSERT_TRUE(WaitFor([&] { return !viewer->Renderer().Animating; }));
    const int z = int(zoom());
    ASSERT_NE(z, slider->value());
    Click(in);
    EXPECT_EQ(both(), std::pair(25, double(std::min(500, z + 25))));
    Click(out);
    Click(out);
    EXPECT_EQ(zoom(), double(std::max(25, std::min(500, z + 25) - 50)));
}

// ---- Zeroing ------------------------------------------------------------------------------

TEST_F(ViewerTest, ZeroingSetsTheOffsetsAndAsksWhenThereIsNoResult)
{
    SetOptionString(QStringLiteral("LimitShotsDrawn"), QStringLiteral("1"));
    auto [unit, device, viewer] = StartLive();
    QToolButton* zeroing = Control<QToolButton>(viewer, "SpeedButtonZeroing");
    ASSERT_FALSE(zeroing->isHidden());

    // Entering starts the idle unit and shows the whole target area.
    Click(zeroing);
    ASSERT_TRUE(WaitFor([&] { return unit->Measuring(); }));
    EXPECT_EQ(std::tuple(ViewerDevice::Zeroing(*device), zeroing->isChecked(), viewer->windowTitle(),
                         viewer->Renderer().ZoomPercent),
              std::tuple(true, true, QStringLiteral("Zeroing mode"), 25.0));

    // Zeroing shots are no shots of the series: the unit goes on.
    for (int x : {280, 320})
        unit->FireShot(RingShot(x, -150));
    ASSERT_TRUE(WaitFor([&] { return device->Zero().FilledEntries() == 2 && !viewer->DrawPending(); }));
    EXPECT_TRUE(ViewerDevice::Measuring(*device));
    EXPECT_EQ(viewer->Shooter()->ShotCount(), 0);
    SaveScreen(*viewer, QStringLiteral("viewer_zeroing"));

    // Leaving with results: their mean, no question.
    Click(zeroing);
    EXPECT_FALSE(ViewerDevice::Zeroing(*device));
    EXPECT_EQ(std::pair(device->Zero().offsetX, device->Zero().offsetY), std::pair(300.0, -150.0));
    EXPECT_EQ(std::pair(viewer->windowTitle(), viewer->Renderer().ZoomPercent),
              std::pair(QStringLiteral("Shooter Viewer 1"), 100.0));
    EXPECT_TRUE(prompts.shown.empty());

    // Leaving without a result asks; No brings the old offsets back, Yes clears them.
    const std::pair<TMsgResult, double> answers[] = {{TMsgResult::No, 300.0}, {TMsgResult::Yes, 0.0}};
    for (const auto& [answer, offsetX] : answers) {
        Click(zeroing);
        EXPECT_EQ(device->Zero().offsetX, 0.0);
        prompts.queued.push_back(answer);
        Click(zeroing);
        EXPECT_EQ(std::pair(prompts.shown.back().text, prompts.shown.back().caption),
                  std::pair(QStringLiteral("Reset zeroing?"), QStringLiteral("Confirm")));
        EXPECT_EQ(device->Zero().offsetX, offsetX);
    }
    EXPECT_EQ(prompts.Count(QStringLiteral("Reset zeroing?")), 2);
}

// A screen reader toggles a check button through its accessible action.
void ToggleAsScreenReader(QAbstractButton* button)
{
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
    QAccessibleActionInterface* actions = accessible ? accessible->actionInterface() : nullptr;
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    actions->doAction(QAccessibleActionInterface::toggleAction());
}

// Toggled by a click or by a screen reader, the viewer's and the panel's
// zeroing buttons do the same: the unit enters zeroing and leaves it again;
// a toggle that changes nothing leaves the button showing the unit's state.
TEST_F(ViewerTest, ZeroingButtonsToggledByAScreenReaderDoWhatAClickDoes)
{
    SessionMode = SessionClassic;
    auto [unit, device, viewer] = StartLive();
    TFormShooter* unbound =
        Shown(AddViewer(nullptr, AddShooterWithShots(*CurrentSession, QStringLiteral("Ben"), 2, GoldenRing(), 1), false));
    ShowSessionViewers();
    // A viewer without a unit: a toggle changes nothing, nor the button.
    QToolButton* idle = Control<QToolButton>(unbound, "SpeedButtonZeroing");
    ToggleAsScreenReader(idle);
    EXPECT_FALSE(idle->isChecked());
    QToolButton* own = Control<QToolButton>(viewer, "SpeedButtonZeroing");
    QToolButton* panel = Control<QToolButton>(FormShooterPanel, "SpeedButtonShootingZeroing");
    ASSERT_TRUE(own->isVisible() && panel->isVisible());
    const auto state = [&, device = device, viewer = viewer] {
        return std::tuple(ViewerDevice::Zeroing(*device), own->isChecked(), viewer->windowTitle());
    };
    const auto zeroing = std::tuple(true, true, QStringLiteral("Zeroing mode"));
    const auto plain = std::tuple(false, false, QStringLiteral("Shooter Viewer 1"));

    const std::function<void(QAbstractButton*)> ways[] = {[](QAbstractButton* b) { Click(b); }, ToggleAsScreenReader};
    for (const auto& way : ways) {
        way(own);
        EXPECT_EQ(state(), zeroing);
        EXPECT_TRUE(WaitFor([&] { return unit->Measuring(); }));
        prompts.queued.push_back(TMsgResult::Yes);  // no zeroing shot: "Reset zeroing?"
        way(own);
        EXPECT_EQ(state(), plain);

        way(panel);
        EXPECT_EQ(std::pair(state(), panel->isChecked()), std::pair(zeroing, true));
        way(panel);
        EXPECT_EQ(std::pair(state(), panel->isChecked()), std::pair(plain, false));
    }
    EXPECT_EQ(prompts.Count(QStringLiteral("Reset zeroing?")), 2);
}

// ---- Saving -------------------------------------------------------------------------------

TEST_F(ViewerTest, SavingOneShooterGivesUniqueNamesAndAFailureKeepsIt)
{
    // Shots that came in during the session: nobody has saved them yet.
    SessionUnsaved.store(true);
    TFormShooter* anna = ReviewViewer({{0, 0}, {20, 5}}, QStringLiteral("Anna"));
    TFormShooter* ben = ReviewViewer({{5, 5}}, QStringLiteral("Ben"));
    anna->ShowShooterName();

    // A failed save (no such folder) and a cancelled dialog keep everything.
    SetOptionString(QStringLiteral("AlwaysShowSaveDialogs"), QStringLiteral("true"));
    prompts.fileAnswers.push_back(DataPath() + QStringLiteral("/missing/folder/Anna.shotfile.xml"));
    anna->ButtonSaveClick();
    anna->ButtonSaveClick();
    ASSERT_EQ(prompts.Texts(), QStringList {"File save failed"});
    EXPECT_EQ(prompts.shown.back().caption, QStringLiteral("Error"));
    EXPECT_EQ(CurrentSession->GetShooter(0), anna->Shooter());
    EXPECT_EQ(anna->Shooter()->ShotCount(), 2);
    EXPECT_TRUE(anna->HasUnsavedShots());

    SetOptionString(QStringLiteral("AlwaysShowSaveDialogs"), QStringLiteral("false"));
    prompts.beeps = 0;
    anna->ButtonSaveClick();
    anna->ButtonSaveClick();
    const QString folder = ShotFilesFolder();
    EXPECT_TRUE(QFileInfo::exists(folder + QStringLiteral("/Anna.shotfile.xml")));
    EXPECT_EQ(Control<QLabel>(anna, "LabelMessage")->text(), QStringLiteral("Saving Completed"));
    EXPECT_EQ(prompts.beeps, 2);
    TShotFileHandler file;
    file.LoadShotFile(folder + QStringLiteral("/Anna (2).shotfile.xml"));
    ASSERT_EQ(file.Session()->ShooterCount(), 1);
    EXPECT_EQ(file.Session()->GetShooter(0)->name, QStringLiteral("Anna"));
    EXPECT_EQ(file.Session()->GetShooter(0)->ShotCount(), 2);
    // Ben's shot is not saved yet: the session still is unsaved.
    EXPECT_TRUE(SessionUnsaved.load());
    ben->ShowShooterName();
    ben->ButtonSaveClick();
    EXPECT_FALSE(SessionUnsaved.load());

    // No name: nothing saved, a beep.
    Control<QLineEdit>(ben, "EditShooterName")->setText(QStringLiteral("Enter name here"));
    ben->ButtonSaveClick();
    EXPECT_EQ(prompts.beeps, 4);
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/Ben (2).shotfile.xml")));
}

// ---- Texts ---------------------------------------------------------------------------------

TEST_F(ViewerTest, NetworkTextStopsTheUnitAndSendsPlainLettersLineByLine)
{
    auto [unit, device, viewer] = StartLive();
    viewer->ButtonStartStopClick();
    ASSERT_TRUE(WaitFor([&] { return unit->Measuring(); }));
    unit->ClearReceived();

    const QString text = QStringLiteral("ÅÄÖåäö\nHej");
    ShowNetworkMessage(viewer, text);
    EXPECT_EQ(Control<QLabel>(viewer, "LabelMessage")->text(), text);
    EXPECT_EQ(std::pair(viewer->Waiting(), Control(viewer, "ButtonStartStop")->isEnabled()), std::pair(true, false));
    ASSERT_TRUE(WaitFor([&] { return unit->DisplayLines().size() == 2 && !viewer->Waiting(); }));
    ASSERT_TRUE(AllWrittenArrived(device));
    EXPECT_EQ(CountFrames(*unit, IsStopFrame), 2);
    const auto lines = unit->DisplayLines();
    EXPECT_EQ(std::tuple(lines[0].text, int(lines[0].line), lines[0].flags & 0x0B), std::tuple("AAOaao", 2, 0x08));
    EXPECT_EQ(std::tuple(lines[1].text, int(lines[1].line), lines[1].flags & 0x0B), std::tuple("Hej", 3, 0x03));
    EXPECT_EQ(std::pair(unit->Measuring(), Control(viewer, "ButtonStartStop")->isEnabled()), std::pair(false, true));
}

} // namespace
