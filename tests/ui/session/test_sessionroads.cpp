// Roads across the screens with simulated units: a training from the start
// menu to a reopened session file, quitting while a session is unsaved (units
// streaming through the shutdown), and reconnecting every unit while viewers
// are open.
#include "AppPaths.h"
#include "AppSettings.h"
#include "Device.h"
#include "DeviceManager.h"
#include "FormOpenSession.h"
#include "FormSelectSetup.h"
#include "FormShooterList.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "Globals.h"
#include "ShooterGridModel.h"
#include "Setupdata.h"
#include "UiRig.h"

#include <QDir>
#include <QLabel>
#include <QTableView>

#include <algorithm>
#include <tuple>

namespace {

class SessionRoadTest : public UiRigTest {
protected:
    void ExpectThreeStopsEach()
    {
        for (const auto& unit : units) {
            const auto threeStops = [](const auto& f) { return std::count_if(f.begin(), f.end(), IsStopFrame) >= 3; };
            EXPECT_TRUE(unit->WaitForFrames(threeStops, std::chrono::seconds(5)));
            // A late fourth stop would still be on its way without the barrier.
            const int com = 41 + int(&unit - &units.front());
            EXPECT_TRUE(AllWrittenArrived(DeviceManagerInstance->FindConnectedDevice(com))) << com;
            EXPECT_EQ(CountFrames(*unit, IsStopFrame), 3);
        }
    }
};

TEST_F(SessionRoadTest, TrainingToASavedFileAndBackAsReview)
{
    // An older session file, to be listed after the new one.
    const QString older = WriteFile(ShotFilesFolder() + QStringLiteral("/Older.shotfile.xml"), "<x/>");
    SetFileAge(older, 3600);
    StartTraining(2);
    SetOptionString(QStringLiteral("AlwaysShowSaveDialogs"), QStringLiteral("false"));
    FireAndWait({{40, -30}, {-120, 60}});
    EXPECT_TRUE(SessionUnsaved.load());
    const QString trained = GetTargetName(CurrentSession->GetShooter(0)->currentTarget);

    // The list names the shooters and saves them; the training goes on and
    // the list saves again, numbering the second file.
    Click(Control(FormShooterPanel, "BitBtnShooterList"));
    ASSERT_TRUE(FormShooterList->isVisible());
    TShooterGridModel& grid = FormShooterList->GridModel();
    ASSERT_EQ(grid.rowCount(), 2);
    const QStringList names = {QStringLiteral("Anna"), QStringLiteral("Ben")};
    for (int row = 0; row < 2; ++row)
        ASSERT_TRUE(grid.setData(grid.index(row, 0), names[row]));
    Click(Control(FormShooterList, "BitBtnSaveSession"));
    EXPECT_FALSE(SessionUnsaved.load());
    auto* savedPanel = Control<QLabel>(FormShooterList, "PanelSaveCompleted");
    EXPECT_TRUE(savedPanel->isVisible());
    EXPECT_TRUE(WaitFor([&] { return !savedPanel->isVisible(); }));
    FireAndWait({{5, 5}});
    EXPECT_TRUE(SessionUnsaved.load());
    // This time through the file dialog, which names what it saves.
    const QString base = QStringLiteral("Anna Ben (%1)").arg(trained);
    const QString second = ShotFilesFolder() + QLatin1Char('/') + base + QStringLiteral(" (2).shotfile.xml");
    SetOptionString(QStringLiteral("AlwaysShowSaveDialogs"), QStringLiteral("true"));
    prompts.fileAnswers = {second};
    Click(Control(FormShooterList, "BitBtnSaveSession"));
    ASSERT_EQ(prompts.fileRequests.size(), 1u);
    EXPECT_EQ(std::pair(prompts.fileRequests[0].caption, prompts.fileRequests[0].fileName),
              std::pair(QStringLiteral("Save Session"), second));
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join('|').toStdString();
    const QStringList saved = QDir(ShotFilesFolder()).entryList({QStringLiteral("Anna Ben*")}, QDir::Files, QDir::Name);
    ASSERT_EQ(saved, (QStringList {base + " (2).shotfile.xml", base + ".shotfile.xml"}));
    std::vector<std::vector<TShotKey>> fired;
    for (TFormShooter* viewer : ShooterViewers)
        fired.push_back(ShotKeys(viewer->Shooter()));

    // Saved: the close asks nothing and stops every unit.
    ClearReceived();
    Click(Control(FormShooterPanel, "BitBtnCloseSession"));
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_TRUE(ShooterViewers.empty());
    ASSERT_TRUE(FormStartMenu->isVisible());
    ExpectThreeStopsEach();

    Click(Control(FormStartMenu, "BitBtnOpenSession"));
    auto* sessions = Control<QTableView>(FormOpenSession, "StringGridSessions");
    ASSERT_EQ(sessions->model()->rowCount(), 3);
    EXPECT_EQ(sessions->model()->index(2, 0).data().toString(), QStringLiteral("Older"));
    EXPECT_EQ(sessions->model()->index(0, 0).data().toString() + QStringLiteral(".shotfile.xml"), saved.first());
    sessions->selectRow(0);
    Click(Control(FormOpenSession, "BitBtnOpen"));
    ASSERT_EQ(ShooterViewers.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        TFormShooter* viewer = ShooterViewers[i];
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_EQ(viewer->Device(), nullptr);
        EXPECT_EQ(viewer->Shooter()->name, names[int(i)]);
        EXPECT_EQ(ShotKeys(viewer->Shooter()), fired[i]) << i;
        for (const TShot* shot : viewer->Shooter()->SnapshotShots()) {
            TargetDescription target;
            viewer->Shooter()->GetShotTarget(*shot, target);
            EXPECT_EQ(GetTargetName(target), trained) << i;
        }
    }
    EXPECT_EQ(SessionMode, SessionOpenFile);
}

// Quitting with an unsaved session: "Save session?" answered Cancel and Yes
// keeps the program running; No ends the session and the program. Only the
// Close button saves the settings.
class QuitTest : public SessionRoadTest, public ::testing::WithParamInterface<bool> {};

TEST_P(QuitTest, UnsavedSessionIsClosedFirst)
{
    const bool byButton = GetParam();
    StartTraining(2);
    FireAndWait({{10, 10}});
    SetOptionString(QStringLiteral("GunMounting"), QStringLiteral("left"));
    for (const auto& unit : units)
        unit->SetForcedStreaming(true);
    ClearReceived();
    FormStartMenu->ShowInFront();
    const auto quit = [byButton] {
        if (byButton)
            Click(Control(FormStartMenu, "BitBtnClose"));
        else
            FormStartMenu->close();
    };
    const auto settingsSaved = [] {
        return ReadAll(SettingsFileName()).contains("<GunMounting>left</GunMounting>");
    };

    prompts.queued = {TMsgResult::Cancel, TMsgResult::Yes};
    EXPECT_EQ(ExitCodeOf(quit), StillRunning);
    EXPECT_EQ(ExitCodeOf(quit), StillRunning);
    EXPECT_EQ(prompts.Texts(), (QStringList {"Save session?", "Save session?"}));
    EXPECT_TRUE(FormShooterList->isVisible());
    EXPECT_EQ(ShooterViewers.size(), 2u);
    EXPECT_TRUE(SessionUnsaved.load());
    EXPECT_FALSE(settingsSaved());

    prompts.queued = {TMsgResult::No};
    EXPECT_EQ(ExitCodeOf(quit), 0);
    EXPECT_TRUE(ShooterViewers.empty());
    ExpectThreeStopsEach();
    EXPECT_EQ(settingsSaved(), byButton);
}

INSTANTIATE_TEST_SUITE_P(Ways, QuitTest, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "CloseButton" : "Window"); });

// A saved session asks nothing: the program ends with the units streaming
// into its live viewers, and writes nothing outside the scratch data folder.
TEST_F(SessionRoadTest, ASavedSessionEndsWithTheUnitsStreamingIntoLiveViewers)
{
    const auto outsideData = [this] {
        auto files = FileListing(ScratchRoot());
        std::erase_if(files, [this](const auto& file) { return file.first.startsWith(DataPath()); });
        files.merge(FileListing(QDir::currentPath()));
        return files;
    };
    const auto before = outsideData();
    StartTraining(2);
    FireAndWait({{10, 10}});
    SetOptionString(QStringLiteral("AlwaysShowSaveDialogs"), QStringLiteral("false"));
    Click(Control(FormShooterPanel, "BitBtnShooterList"));
    TShooterGridModel& grid = FormShooterList->GridModel();
    for (int row = 0; row < 2; ++row)
        ASSERT_TRUE(grid.setData(grid.index(row, 0), QStringLiteral("Anna")));
    Click(Control(FormShooterList, "BitBtnSaveSession"));
    ASSERT_FALSE(SessionUnsaved.load()) << prompts.Texts().join('|').toStdString();
    for (const auto& unit : units)
        unit->SetForcedStreaming(true);
    FormStartMenu->ShowInFront();
    EXPECT_EQ(ExitCodeOf([] { Click(Control(FormStartMenu, "BitBtnClose")); }), 0);
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join('|').toStdString();
    ASSERT_EQ(ShooterViewers.size(), 2u);
    TDevice* device = ShooterViewers[1]->Device();
    ASSERT_NE(device, nullptr);
    const int samples = device->SampleCount();
    ASSERT_TRUE(WaitFor([&] { return device->SampleCount() > samples + 20; }));
    StopProgram();
    EXPECT_EQ(outsideData(), before);
}

// Starting another training while a session runs closes it the way the
// operator closes it: Cancel keeps its viewers and shots, No ends it (each
// unit stopped) before the units are programmed anew.
TEST_F(SessionRoadTest, StartingAgainClosesTheRunningSessionFirst)
{
    StartTraining(2);
    FireAndWait({{10, 10}});
    FormStartMenu->ShowInFront();
    Click(Control(FormStartMenu, "BitBtnDynamicTraining"));
    QPushButton* start = Control(FormSelectSetup, "ButtonStart");
    ASSERT_TRUE(WaitFor([&] { return start->isEnabled(); }));
    const auto shotCounts = [] {
        std::vector<int> counts;
        for (TFormShooter* viewer : ShooterViewers)
            counts.push_back(viewer->Shooter()->ShotCount());
        return counts;
    };

    prompts.queued = {TMsgResult::Cancel};
    Click(start);
    EXPECT_EQ(prompts.Texts(), QStringList {"Save session?"});
    EXPECT_FALSE(FormSelectSetup->Programming());
    EXPECT_EQ(shotCounts(), (std::vector<int> {1, 1}));
    EXPECT_TRUE(SessionUnsaved.load());

    prompts.shown.clear();
    ClearReceived();
    prompts.queued = {TMsgResult::No};
    Click(start);
    ASSERT_TRUE(WaitFor([&] {
        return !FormSelectSetup->Programming() && ShooterViewers.size() == 2 && units[0]->Measuring()
               && units[1]->Measuring();
    }));
    EXPECT_EQ(prompts.Texts(), QStringList {"Save session?"});
    ExpectThreeStopsEach();
    EXPECT_EQ(CurrentSession->ShooterCount(), 2);
    EXPECT_EQ(shotCounts(), (std::vector<int> {0, 0}));
    for (TFormShooter* viewer : ShooterViewers)
        EXPECT_NE(viewer->Device(), nullptr);
}

// Reconnecting every unit from the start menu while the session's viewers
// are open: the viewers let go first, keep their shooters, and get their
// units back after the wait, measuring again.
TEST_F(SessionRoadTest, ReconnectAllGivesTheViewersTheirUnitsBack)
{
    StartTraining(2);
    FireAndWait({{20, 20}});
    std::vector<TShooter*> shooters;
    for (TFormShooter* viewer : ShooterViewers)
        shooters.push_back(viewer->Shooter());
    ClearReceived();
    FormStartMenu->ShowInFront();

    Click(Control<QLabel>(FormStartMenu, "ImageDeviceCount"));
    ASSERT_TRUE(FormStartMenu->Reconnecting());
    EXPECT_TRUE(DeviceManagerInstance->Connected().empty());
    for (TFormShooter* viewer : ShooterViewers)
        EXPECT_EQ(viewer->Device(), nullptr);
    bool enabledEarly = false;
    ASSERT_TRUE(WaitFor([&] {
        const bool waiting = FormStartMenu->Reconnecting();
        for (const char* name : {"BitBtnDownloadSession", "BitBtnOpenSession", "BitBtnDynamicTraining"})
            enabledEarly = enabledEarly || (waiting && Control(FormStartMenu, name)->isEnabled());
        return !waiting;
    }));
    EXPECT_FALSE(enabledEarly);

    ASSERT_TRUE(WaitFor([&] {
        for (const auto& unit : units)
            if (!unit->Measuring())
                return false;
        return true;
    }));
    ASSERT_EQ(CurrentSession->ShooterCount(), 2);
    for (std::size_t i = 0; i < 2; ++i) {
        TFormShooter* viewer = ShooterViewers[i];
        ASSERT_NE(viewer->Device(), nullptr) << i;
        EXPECT_EQ(viewer->Device()->ComNumber(), 41 + int(i));
        EXPECT_EQ(viewer->Shooter(), shooters[i]);
        EXPECT_EQ(viewer->Device()->Shooter(), shooters[i]);
        EXPECT_EQ(CurrentSession->GetShooter(int(i)), shooters[i]);
        EXPECT_GE(CountFrames(*units[i], IsStartFrame), 1);
    }
    EXPECT_EQ(BusyCursorDepth(), 0);

    // The units' shots reach the viewers again.
    FireAndWait({{-40, 15}});
}

} // namespace
