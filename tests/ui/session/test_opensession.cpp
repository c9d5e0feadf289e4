// Opening a saved session: the file list (newest first, any letter case of
// the extension), opening a file into review viewers, the files and answers
// that leave the running session untouched.
#include "AppPaths.h"
#include "FormOpenSession.h"
#include "FormShooterList.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "Shotfile.h"
#include "Shotstring.h"
#include "UiRig.h"

#include <QAbstractScrollArea>
#include <QFile>
#include <QTableView>
#include <QTest>

#include <tuple>
#include <utility>

namespace {

class OpenSessionTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        ASSERT_TRUE(StartProgram());
        prompts.shown.clear();
    }

    static QString PathOf(const QString& fileName) { return ShotFilesFolder() + QLatin1Char('/') + fileName; }

    // A session file in the shot files folder with one shooter per entry of
    // shots (named A, B, ...).
    static QString WriteSessionFile(const QString& fileName, const std::vector<int>& shots)
    {
        TSession session;
        session.date = QStringLiteral("2024-05-01 10:00");
        for (std::size_t i = 0; i < shots.size(); ++i)
            AddShooterWithShots(session, QString(QChar('A' + int(i))), int(i), NamedRing("T10"), shots[i]);
        TShotFileHandler writer;
        writer.SetSession(&session);
        writer.BuildShotFile();
        writer.Save(PathOf(fileName));
        return PathOf(fileName);
    }

    // A running review of one shooter, not saved yet.
    void RunningSession()
    {
        AddViewer(nullptr, AddShooterWithShots(*CurrentSession, QStringLiteral("Running"), 1, NamedRing("T10"), 1), false);
        ShowSessionViewers();
        CurrentSession->date = QStringLiteral("today");
        SessionUnsaved = true;
    }

    static void ExpectRunningSessionUntouched()
    {
        ASSERT_EQ(CurrentSession->ShooterCount(), 1);
        EXPECT_EQ(CurrentSession->GetShooter(0)->name, QStringLiteral("Running"));
        EXPECT_EQ(ShooterViewers.size(), 1u);
        EXPECT_EQ(CurrentSession->date, QStringLiteral("today"));
        EXPECT_TRUE(SessionUnsaved.load());
    }

    static QPushButton* Button(const char* name) { return Control(FormOpenSession, name); }
};

// The road tests open the newest file; here the order, the letter case of
// the extension, and a shooter without shots left out.
TEST_F(OpenSessionTest, ListsNewestFirstAndOpensTheShootersWithShots)
{
    const QString old = WriteSessionFile(QStringLiteral("Old.shotfile.xml"), {1});
    const QString anna = WriteSessionFile(QStringLiteral("Anna.ShotFile.XML"), {2, 0, 3});
    SetFileAge(old, 7200);
    SetFileAge(anna, 3600);
    WriteSessionFile(QStringLiteral("New.shotfile.xml"), {1});
    WriteSessionFile(QStringLiteral("Copy.shotfile.xml.bak"), {1});
    SessionMode = SessionOpenFile;
    FormOpenSession->show();
    auto* grid = Control<QTableView>(FormOpenSession, "StringGridSessions");
    ASSERT_EQ(grid->model()->rowCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(grid->model()->index(row, 0).data().toString(), QStringList({"New", "Anna", "Old"})[row]);
    SaveScreen(*FormOpenSession, QStringLiteral("open_session"));

    grid->selectRow(1);
    Click(Button("BitBtnOpen"));
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join('|').toStdString();
    ASSERT_EQ(ShooterViewers.size(), 2u);
    EXPECT_EQ(ShooterViewers[1]->Shooter()->name, QStringLiteral("C"));
    EXPECT_EQ(CurrentSession->date, QStringLiteral("2024-05-01 10:00"));
    // Reviewing a file: the panel offers going back to the file list.
    EXPECT_TRUE(Control(FormShooterPanel, "BitBtnOpenSession")->isVisible());
}

// The grid always has a row to open: the newest is selected as the list
// shows, and Open opens it without a click on the grid; Enter on the grid
// opens the row the arrow keys went to. Opening hides the list; the panel's
// open button brings it back, refilled.
TEST_F(OpenSessionTest, OpenAndEnterOpenTheSelectedRowWhichIsTheNewestAtFirst)
{
    SetFileAge(WriteSessionFile(QStringLiteral("Older.shotfile.xml"), {1}), 3600);
    WriteSessionFile(QStringLiteral("Newest.shotfile.xml"), {2, 1});
    SessionMode = SessionOpenFile;
    FormOpenSession->show();
    auto* grid = Control<QTableView>(FormOpenSession, "StringGridSessions");
    ASSERT_TRUE(grid->selectionModel()->isRowSelected(0, QModelIndex()));
    EXPECT_EQ(grid->currentIndex().row(), 0);
    EXPECT_EQ(FormOpenSession->focusWidget(), grid);
    SaveScreen(*FormOpenSession, QStringLiteral("open_session_first_row"));

    Click(Button("BitBtnOpen"));
    ASSERT_EQ(ShooterViewers.size(), 2u);
    EXPECT_EQ(ShooterViewers[0]->Shooter()->name, QStringLiteral("A"));
    EXPECT_FALSE(FormOpenSession->isVisible());

    Click(Control(FormShooterPanel, "BitBtnOpenSession"));
    ASSERT_TRUE(FormOpenSession->isVisible());
    ASSERT_EQ(grid->model()->rowCount(), 2);
    EXPECT_TRUE(grid->selectionModel()->isRowSelected(0, QModelIndex()));
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join('|').toStdString();
    ASSERT_EQ(ShooterViewers.size(), 1u);
    EXPECT_EQ(CurrentSession->GetShooter(0)->ShotCount(), 1); // Older's one shooter
    EXPECT_FALSE(FormOpenSession->isVisible());
}

// Without a row there is nothing to open: Open is disabled, and Enter on the
// empty grid does nothing either. A file saved meanwhile is listed, selected
// and can be opened on the next show.
TEST_F(OpenSessionTest, AnEmptyListLeavesOpenDisabled)
{
    SessionMode = SessionOpenFile;
    FormOpenSession->show();
    auto* grid = Control<QTableView>(FormOpenSession, "StringGridSessions");
    EXPECT_EQ(grid->model()->rowCount(), 0);
    EXPECT_FALSE(Button("BitBtnOpen")->isEnabled());
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_TRUE(ShooterViewers.empty());
    EXPECT_TRUE(FormOpenSession->isVisible());
    SaveScreen(*FormOpenSession, QStringLiteral("open_session_empty"));

    FormOpenSession->hide();
    WriteSessionFile(QStringLiteral("Later.shotfile.xml"), {1});
    FormOpenSession->show();
    EXPECT_TRUE(Button("BitBtnOpen")->isEnabled());
    QTest::keyClick(grid, Qt::Key_Enter);
    EXPECT_EQ(ShooterViewers.size(), 1u);
}

// Files that cannot be opened, and keeping the running session (to save it,
// or cancelled), keep the file out; No closes the session and opens it.
TEST_F(OpenSessionTest, TheRunningSessionStaysUntilAReadableFileMayReplaceIt)
{
    RunningSession();
    const QByteArray cut = "<ShotFile><SessionInfo><Name>cut";
    FormOpenSession->OpenSessionFile(WriteFile(PathOf(QStringLiteral("Damaged.shotfile.xml")), cut));
    FormOpenSession->OpenSessionFile(WriteSessionFile(QStringLiteral("Empty.shotfile.xml"), {}));
    FormOpenSession->OpenSessionFile(PathOf(QStringLiteral("Missing.shotfile.xml")));
    const QString path = WriteSessionFile(QStringLiteral("Review.shotfile.xml"), {2});
    prompts.queued = {TMsgResult::Cancel, TMsgResult::Yes, TMsgResult::No};
    FormOpenSession->OpenSessionFile(path);
    FormOpenSession->OpenSessionFile(path);
    EXPECT_EQ(prompts.Texts(), (QStringList {"File open failed!", "No shooters in shot file", "File open failed!",
                                             "Save session?", "Save session?"}));
    EXPECT_EQ(prompts.shown[1].caption, QStringLiteral("Error"));
    ExpectRunningSessionUntouched();
    EXPECT_TRUE(FormShooterList->isVisible());

    FormOpenSession->OpenSessionFile(path);
    ASSERT_EQ(CurrentSession->ShooterCount(), 1);
    EXPECT_EQ(CurrentSession->GetShooter(0)->name, QStringLiteral("A"));
}

// Browsed to from anywhere, a file whose shooters all lack shots closes the
// running session and opens nothing: back to the start menu.
TEST_F(OpenSessionTest, ABrowsedFileWithoutShotsReturnsToTheStartMenu)
{
    RunningSession();
    SessionUnsaved = false;
    FormOpenSession->show();
    prompts.fileAnswers.push_back(WriteSessionFile(QStringLiteral("Elsewhere.xml"), {0, 0}));
    Click(Button("BitBtnShowBrowseDialog"));
    ASSERT_EQ(prompts.fileRequests.size(), 1u);
    EXPECT_EQ(prompts.fileRequests[0].filters, QStringList {"TRAXEL Shot File (*.shotfile.xml)"});
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(std::pair(CurrentSession->ShooterCount(), ShooterViewers.size()), std::pair(0, std::size_t(0)));
    EXPECT_EQ(std::tuple(FormShooterPanel->isVisible(), FormOpenSession->isVisible(), FormStartMenu->isVisible()),
              std::tuple(false, false, true));
}

// A file keeps decimal scores decimal: the ring target of the shots' slot
// says so (a file holds no current target for its shooters).
TEST_F(OpenSessionTest, DecimalScoresReadBackAsTheyWereShown)
{
    TSession session;
    TargetDescription rifle = NamedRing(QStringLiteral("AR10"));
    rifle.ringRecord.SetDecimalScores(true);
    TShooter* shooter = AddShooterWithShots(session, QStringLiteral("Anna"), 1, rifle, 2);
    shooter->GetShot(0)->raw.SetScore(109);
    shooter->GetShot(1)->raw.SetScore(105);
    TShotFileHandler writer;
    writer.SetSession(&session);
    writer.BuildShotFile();
    writer.Save(PathOf(QStringLiteral("Decimal.shotfile.xml")));

    FormOpenSession->OpenSessionFile(PathOf(QStringLiteral("Decimal.shotfile.xml")));
    ASSERT_EQ(ShooterViewers.size(), 1u);
    TFormShooter* viewer = ShooterViewers[0];
    ASSERT_TRUE(WaitFor([&] { return !viewer->DrawPending() && viewer->Strip().EntryCount() == 2; }));
    EXPECT_EQ(std::pair(viewer->Strip().Entry(0)->label, viewer->Strip().Entry(1)->label),
              std::pair(QStringLiteral(" 10.9 "), QStringLiteral(" 10.5 ")));
    viewer->SelectShot(-1); // every shot, with the total
    ASSERT_TRUE(WaitFor([&] { return !viewer->DrawPending(); }));
    EXPECT_TRUE(viewer->Renderer().InfoLines.contains(QStringLiteral("Total score 21.4")))
        << viewer->Renderer().InfoLines.join(QLatin1Char('|')).toStdString();
}

// Nine tiles leave no viewer the height for its strip, which is then laid
// out but not painted; shown alone, the viewer shows the strip whole.
TEST_F(OpenSessionTest, AStripLeftUnpaintedInItsTileShowsWhenItsViewerIsShownAlone)
{
    SessionMode = SessionOpenFile;
    FormOpenSession->OpenSessionFile(WriteSessionFile(QStringLiteral("Nine.shotfile.xml"), std::vector<int>(9, 4)));
    ASSERT_EQ(ShooterViewers.size(), 9u);
    TFormShooter* viewer = ShooterViewers[4];
    auto* box = Control<QAbstractScrollArea>(viewer, "ScrollBoxShotString");
    ASSERT_TRUE(WaitFor([&] { return !viewer->DrawPending(); }));
    ASSERT_FALSE(box->isVisible());
    EXPECT_EQ(viewer->Strip().EntryCount(), 4);

    ActiveViewer = viewer;
    Click(Control(FormShooterPanel, "BitBtnOneManyShooters"));
    ASSERT_TRUE(WaitFor([&] { return box->isVisible() && !viewer->DrawPending(); }));
    const QImage shown = box->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    TShotString whole;
    whole.minWidth = viewer->Strip().minWidth;
    whole.SetShots(viewer->Shooter());
    whole.Reveal(0, 1 << 20);
    whole.Draw();
    const int columns = std::min(shown.width(), whole.Width());
    const int rows = std::min(shown.height(), int(TShotString::StripHeight));
    EXPECT_EQ(shown.copy(0, 0, columns, rows),
              whole.Bitmap().copy(0, 0, columns, rows).convertToFormat(QImage::Format_RGB32));
}

} // namespace
