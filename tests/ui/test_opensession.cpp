// Opening a saved session: the file list (newest first, any letter case of
// the extension), opening a file into review viewers, the files and answers
// that leave the running session untouched, and the time a 16-shooter file
// takes until all its viewers are shown.
#include "AppPaths.h"
#include "FormOpenSession.h"
#include "FormShooter.h"
#include "FormShooterList.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "Screens.h"
#include "SessionFileListModel.h"
#include "Shotdata.h"
#include "Shotfile.h"
#include "UiGlobals.h"
#include "UiRig.h"

#include <QDateTime>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <iostream>

namespace {

struct TFileShooter {
    QString name;
    int shots;
};

class OpenSessionTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        ASSERT_TRUE(StartProgram());
        prompts.shown.clear();
    }

    QString PathOf(const QString& fileName) const { return ShotFilesFolder() + QLatin1Char('/') + fileName; }

    // A session file of those shooters (each on its own ring) in the shot
    // files folder; traceSamples gives every shot an aiming trace.
    QString WriteSessionFile(const QString& fileName, const std::vector<TFileShooter>& shooters, int traceSamples = 0)
    {
        TSession session;
        session.date = QStringLiteral("2024-05-01 10:00");
        int serial = 100;
        for (const TFileShooter& s : shooters) {
            TShooter* shooter = AddShooterWithShots(session, s.name, serial++, NamedRing(QStringLiteral("T10")), s.shots);
            shooter->ForEachShot([traceSamples](TShot& shot) {
                shot.AllocateCurve(traceSamples);
                for (int i = 0; i < traceSamples; ++i)
                    shot.Curve()[i].SetX(i);
            });
        }
        TShotFileHandler writer;
        writer.SetSession(&session);
        writer.BuildShotFile();
        writer.Save(PathOf(fileName));
        return PathOf(fileName);
    }

    static void SetFileAge(const QString& path, int secondsOld)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-secondsOld), QFileDevice::FileModificationTime));
    }

    // A running review of one shooter with one viewer, not saved yet.
    void RunningSession()
    {
        AddShooterWithShots(*CurrentSession, QStringLiteral("Running"), 1, NamedRing(QStringLiteral("T10")), 1);
        auto* viewer = new TFormShooter;
        ShooterViewers.push_back(viewer);
        AttachShooterView(viewer, nullptr, CurrentSession->GetShooter(0), false);
        ShowSessionViewers();
        CurrentSession->date = QStringLiteral("today");
        SessionUnsaved = true;
    }

    void ExpectRunningSessionUntouched()
    {
        ASSERT_EQ(CurrentSession->ShooterCount(), 1);
        EXPECT_EQ(CurrentSession->GetShooter(0)->name, QStringLiteral("Running"));
        EXPECT_EQ(ShooterViewers.size(), 1u);
        EXPECT_EQ(CurrentSession->date, QStringLiteral("today"));
        EXPECT_TRUE(SessionUnsaved.load());
    }

    QPushButton* Button(const char* name)
    {
        auto* button = FormOpenSession->findChild<QPushButton*>(QString::fromLatin1(name));
        EXPECT_NE(button, nullptr) << name;
        return button;
    }
};

TEST_F(OpenSessionTest, ListsSessionFilesNewestFirstWhateverTheirCase)
{
    EXPECT_TRUE(ListSessionFiles(ShotFilesFolder()).empty());
    const QString old = WriteSessionFile(QStringLiteral("Old.shotfile.xml"), {{"A", 1}});
    const QString mixed = WriteSessionFile(QStringLiteral("Anna.ShotFile.XML"), {{"A", 1}});
    WriteSessionFile(QStringLiteral("New.shotfile.xml"), {{"A", 1}});
    const QString other = WriteSessionFile(QStringLiteral("Copy.shotfile.xml.bak"), {{"A", 1}});
    SetFileAge(old, 7200);
    SetFileAge(mixed, 3600);
    SetFileAge(other, 0);

    FormOpenSession->show();
    const std::vector<TOpenListItem>& items = FormOpenSession->Items();
    ASSERT_EQ(items.size(), 3u);
    const QStringList expected = {"New", "Anna", "Old"};
    auto* grid = FormOpenSession->findChild<QTableView*>(QStringLiteral("StringGridSessions"));
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(grid->model()->rowCount(), 3);
    EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("File name"));
    EXPECT_EQ(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Date and time"));
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(grid->model()->index(row, 0).data().toString(), expected[row]);
        EXPECT_FALSE(grid->model()->index(row, 1).data().toString().isEmpty());
    }
    EXPECT_EQ(items[1].fileName, QStringLiteral("Anna.ShotFile.XML"));
    SaveScreen(*FormOpenSession, QStringLiteral("open_session"));

    // Nothing selected: Open does nothing.
    QTest::mouseClick(Button("BitBtnOpen"), Qt::LeftButton);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_TRUE(ShooterViewers.empty());
}

TEST_F(OpenSessionTest, OpensTheShootersWithShotsIntoReviewViewers)
{
    WriteSessionFile(QStringLiteral("Review.shotfile.xml"), {{"Anna", 2}, {"Nobody", 0}, {"Ben", 3}});
    SessionMode = SessionOpenFile;
    FormOpenSession->show();
    auto* grid = FormOpenSession->findChild<QTableView*>(QStringLiteral("StringGridSessions"));
    grid->selectRow(0);
    QTest::mouseClick(Button("BitBtnOpen"), Qt::LeftButton);

    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join('|').toStdString();
    ASSERT_EQ(CurrentSession->ShooterCount(), 2);
    EXPECT_EQ(CurrentSession->GetShooter(0)->name, QStringLiteral("Anna"));
    EXPECT_EQ(CurrentSession->GetShooter(1)->ShotCount(), 3);
    EXPECT_EQ(CurrentSession->date, QStringLiteral("2024-05-01 10:00"));
    ASSERT_EQ(ShooterViewers.size(), 2u);
    for (TFormShooter* viewer : ShooterViewers)
        EXPECT_TRUE(viewer->isVisible());
    EXPECT_FALSE(FormOpenSession->isVisible());
    EXPECT_TRUE(FormShooterPanel->isVisible());
    EXPECT_FALSE(SessionUnsaved.load());
    // Reviewing a file: the panel offers going back to the file list.
    EXPECT_TRUE(FormShooterPanel->findChild<QPushButton*>(QStringLiteral("BitBtnOpenSession"))->isVisible());
}

TEST_F(OpenSessionTest, FilesThatCannotBeOpenedLeaveTheRunningSessionUntouched)
{
    RunningSession();
    const QString damaged = PathOf(QStringLiteral("Damaged.shotfile.xml"));
    QFile file(damaged);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<ShotFile><SessionInfo><Name>cut");
    file.close();
    const QString empty = WriteSessionFile(QStringLiteral("Empty.shotfile.xml"), {});

    FormOpenSession->OpenSessionFile(damaged);
    FormOpenSession->OpenSessionFile(empty);
    FormOpenSession->OpenSessionFile(PathOf(QStringLiteral("Missing.shotfile.xml")));
    EXPECT_EQ(prompts.Texts(), (QStringList {"File open failed!", "No shooters in shot file", "File open failed!"}));
    for (const auto& shown : prompts.shown)
        EXPECT_EQ(shown.caption, QStringLiteral("Error"));
    ExpectRunningSessionUntouched();
}

// Keeping the running session (to save it, or cancelled) keeps the file out
// of it.
TEST_F(OpenSessionTest, AnOpenAbortsWhenTheRunningSessionStays)
{
    RunningSession();
    const QString path = WriteSessionFile(QStringLiteral("Review.shotfile.xml"), {{"Anna", 2}});
    prompts.queued = {TMsgResult::Cancel, TMsgResult::Yes};
    FormOpenSession->OpenSessionFile(path);
    FormOpenSession->OpenSessionFile(path);
    EXPECT_EQ(prompts.Texts(), (QStringList {"Save session?", "Save session?"}));
    ExpectRunningSessionUntouched();
    EXPECT_TRUE(FormShooterList->isVisible());

    prompts.queued = {TMsgResult::No};
    FormOpenSession->OpenSessionFile(path);
    ASSERT_EQ(CurrentSession->ShooterCount(), 1);
    EXPECT_EQ(CurrentSession->GetShooter(0)->name, QStringLiteral("Anna"));
    EXPECT_EQ(ShooterViewers.size(), 1u);
}

TEST_F(OpenSessionTest, AFileWithoutShotsClosesTheSessionAndReturnsToTheStartMenu)
{
    RunningSession();
    SessionUnsaved = false;
    const QString path = WriteSessionFile(QStringLiteral("Idle.shotfile.xml"), {{"Anna", 0}, {"Ben", 0}});
    FormOpenSession->show();
    FormOpenSession->OpenSessionFile(path);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(CurrentSession->ShooterCount(), 0);
    EXPECT_TRUE(ShooterViewers.empty());
    EXPECT_FALSE(FormShooterPanel->isVisible());
    EXPECT_FALSE(FormOpenSession->isVisible());
    EXPECT_TRUE(FormStartMenu->isVisible());
}

TEST_F(OpenSessionTest, BrowseOpensAFileFromAnywhere)
{
    const QString path = WriteSessionFile(QStringLiteral("Elsewhere.shotfile.xml"), {{"Anna", 1}});
    prompts.fileAnswers.push_back(path);
    QTest::mouseClick(Button("BitBtnShowBrowseDialog"), Qt::LeftButton);
    ASSERT_EQ(prompts.fileRequests.size(), 1u);
    EXPECT_EQ(prompts.fileRequests[0].filters, QStringList {"TRAXEL Shot File (*.shotfile.xml)"});
    EXPECT_EQ(prompts.fileRequests[0].folder, ShotFilesFolder());
    EXPECT_EQ(ShooterViewers.size(), 1u);
}

// Not a pass/fail bound: the time is reported with the test's results.
TEST_F(OpenSessionTest, SixteenShooterFileTimeToAllViewersShown)
{
    std::vector<TFileShooter> shooters;
    for (int i = 0; i < 16; ++i)
        shooters.push_back({QStringLiteral("Shooter %1").arg(i + 1), 30});
    const QString path = WriteSessionFile(QStringLiteral("Sixteen.shotfile.xml"), shooters, 200);

    const auto start = std::chrono::steady_clock::now();
    FormOpenSession->OpenSessionFile(path);
    ASSERT_TRUE(WaitFor([] {
        return ShooterViewers.size() == 16
               && std::all_of(ShooterViewers.begin(), ShooterViewers.end(), [](TFormShooter* v) { return v->isVisible(); });
    }));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    RecordProperty("open_16_shooters_ms", int(ms));
    std::cout << "16 shooters x 30 shots x 200 samples: all viewers shown after " << ms << " ms\n";
}

} // namespace
