// The shooter list: the grid over the session's shooters, the session save
// (file naming, the target numbering that keeps the units' slot 0 usable,
// the refusals and the failures) and printing's refusal.
#include "AppPaths.h"
#include "AppSettings.h"
#include "FormSearchShooterName.h"
#include "FormShooterList.h"
#include "SessionSaving.h"
#include "ShooterGridModel.h"
#include "Shotfile.h"
#include "UiRig.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>

namespace {

TEST(SessionFileNameTest, NamesTeamShootersAndTheCommonTarget)
{
    struct {
        const char* team;
        QStringList viewerTargets;
        QStringList firstShooterTargets;
        const char* expected;
    } const cases[] = {
        {"", {"T10", "T10"}, {"T10"}, "Anna Ben (T10)"},
        {"", {"T10", "Rifle"}, {"T10"}, "Anna Ben"},
        {"Club", {"T10", "T10"}, {"T10"}, "Club - Anna Ben (T10)"},
        {"Club", {}, {"T10"}, "Club - Anna Ben"}, // no viewer
        {"", {"Duel", "Duel"}, {"Ring", "Duel"}, "Anna Ben (Ring Duel)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SessionFileBaseName(c.team, {"Anna", "Ben"}, c.viewerTargets, c.firstShooterTargets), c.expected);
}

class ShooterListTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        ASSERT_TRUE(StartProgram());
        prompts.shown.clear();
    }

    // Anna and Ben, two and three shots on the ring "T10", each with a
    // review viewer; the session unsaved; the list shown.
    void AnnaAndBen()
    {
        for (const char* name : {"Anna", "Ben"}) {
            AddViewer(nullptr,
                      AddShooterWithShots(*CurrentSession, name, CurrentSession->ShooterCount() + 1,
                                          NamedRing(QStringLiteral("T10")), CurrentSession->ShooterCount() + 2),
                      false);
        }
        SessionUnsaved = true;
        FormShooterList->ShowInFront();
    }

    template <class T = QPushButton>
    static T* Control(const char* name)
    {
        return ::Control<T>(FormShooterList, name);
    }

    static void ClickSave() { Click(Control("BitBtnSaveSession")); }

    static QStringList SavedFiles()
    {
        return QDir(ShotFilesFolder()).entryList({QStringLiteral("*.shotfile.xml")}, QDir::Files, QDir::Name);
    }
};

TEST_F(ShooterListTest, GridShowsAndEditsTheShootersThemselvesKeyByKey)
{
    AnnaAndBen();
    SaveScreen(*FormShooterList, QStringLiteral("shooter_list"));
    CurrentSession->GetShooter(0)->team = QStringLiteral("Red");
    TShooterGridModel& model = FormShooterList->GridModel();
    FormShooterList->FillShooterGrid();
    const QStringList row = {"Anna", QStringLiteral("  \u00B7\u00B7\u00B7  "), "Red", "KBR0000001"};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(model.index(0, c).data().toString(), row[c]);
    EXPECT_TRUE(model.setData(model.index(0, 2), QStringLiteral("Blue")));
    EXPECT_EQ(CurrentSession->GetShooter(0)->team, QStringLiteral("Blue"));

    // Typed and not yet confirmed is already the shooter's name.
    auto* grid = Control<QTableView>("StringGridNames");
    grid->setCurrentIndex(model.index(1, 0));
    grid->edit(grid->currentIndex());
    auto* editor = grid->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_End);
    QTest::keyClicks(editor, QStringLiteral("na"));
    EXPECT_EQ(CurrentSession->GetShooter(1)->name, QStringLiteral("Benna"));

    // A shooter that left without a refill is an empty row, never read.
    CurrentSession->DeleteShooters();
    EXPECT_FALSE(model.index(0, 0).data().isValid());
}

TEST_F(ShooterListTest, ATeamPickLeadsTheProposedNameAndFailedSavesKeepTheSession)
{
    AnnaAndBen();
    // Anna's row picks the first name of "Team 1" (the name list a first
    // run starts with) in the search, as soon as it is up.
    auto* combo = Control<QComboBox>("ComboBoxTeams");
    ASSERT_EQ(combo->count(), 3);
    combo->setCurrentIndex(2);
    QTimer::singleShot(0, FormSearchShooterName, [] {
        FormSearchShooterName->findChild<QListWidget*>(QStringLiteral("ListBoxNames"))->setCurrentRow(0);
        QTest::mouseClick(FormSearchShooterName->findChild<QPushButton*>(QStringLiteral("BitBtnOK")), Qt::LeftButton);
    });
    auto* grid = Control<QTableView>("StringGridNames");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, 1)).center());
    EXPECT_EQ(FormShooterList->PickedTeam(), QStringLiteral("Team 1"));
    EXPECT_EQ(CurrentSession->GetShooter(0)->name, QStringLiteral("Shooter 1"));
    EXPECT_EQ(CurrentSession->GetShooter(0)->team, QStringLiteral("Team 1"));
    EXPECT_EQ(grid->currentIndex(), grid->model()->index(0, 0));

    // A failed and a cancelled save leave the session as it was, slot 0 usable.
    const QString expected = ShotFilesFolder() + QStringLiteral("/Team 1 - Shooter 1 Ben (T10).shotfile.xml");
    prompts.fileAnswers = {QStringLiteral("/no/such/folder/x.shotfile.xml"), QString(), expected};
    ClickSave();
    ClickSave();
    ASSERT_EQ(prompts.Texts(), QStringList {"File save failed"});
    EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("Error"));
    EXPECT_TRUE(SessionUnsaved.load());
    EXPECT_TRUE(CurrentSession->GetShooter(1)->targets.ringDefined[0]);
    EXPECT_TRUE(SavedFiles().isEmpty());
    ClickSave();
    ASSERT_EQ(prompts.fileRequests.size(), 3u);
    EXPECT_EQ(prompts.fileRequests[2].fileName, expected);
    EXPECT_EQ(prompts.fileRequests[2].filters, QStringList {"TRAXEL Shot File (*.shotfile.xml)"});
    EXPECT_TRUE(QFileInfo::exists(expected));
    EXPECT_FALSE(SessionUnsaved.load());
}

// "<All>" is no team: a name picked there leaves the team out of the proposed
// file name. A team picked in one session does not lead the next one's name.
TEST_F(ShooterListTest, OnlyATeamPickedInThisSessionLeadsTheProposedName)
{
    AnnaAndBen();
    auto* combo = Control<QComboBox>("ComboBoxTeams");
    auto* grid = Control<QTableView>("StringGridNames");
    const auto pickFirstName = [&](int comboIndex) {
        combo->setCurrentIndex(comboIndex);
        QTimer::singleShot(0, FormSearchShooterName, [] {
            FormSearchShooterName->findChild<QListWidget*>(QStringLiteral("ListBoxNames"))->setCurrentRow(0);
            QTest::mouseClick(FormSearchShooterName->findChild<QPushButton*>(QStringLiteral("BitBtnOK")), Qt::LeftButton);
        });
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, 1)).center());
    };
    const auto proposed = [&] {
        ClickSave();
        return prompts.fileRequests.empty() ? QString() : QFileInfo(prompts.fileRequests.back().fileName).fileName();
    };

    ASSERT_EQ(combo->itemText(1), QStringLiteral("<All>"));
    pickFirstName(1);
    const QString picked = CurrentSession->GetShooter(0)->name;
    ASSERT_NE(picked, QStringLiteral("Anna"));
    EXPECT_EQ(proposed(), picked + QStringLiteral(" Ben (T10).shotfile.xml"));

    pickFirstName(2);
    ASSERT_EQ(proposed(), QStringLiteral("Team 1 - ") + picked + QStringLiteral(" Ben (T10).shotfile.xml"));
    // The next session: the list is shown again for it.
    FormShooterList->hide();
    CurrentSession->GetShooter(0)->name = QStringLiteral("Cid");
    FormShooterList->ShowInFront();
    EXPECT_EQ(proposed(), QStringLiteral("Cid Ben (T10).shotfile.xml"));
}

// Each shooter's shots on a target slot of its own, up to the sixteen slots
// (those past slot 15 keep their slot 0), slot 0 still defined for the units
// that report on it; the names together are far longer than a file name may be.
TEST_F(ShooterListTest, EighteenShootersWithLongNamesSave)
{
    SetOptionString(QStringLiteral("AlwaysShowSaveDialogs"), QStringLiteral("false"));
    for (int i = 0; i < 18; ++i)
        AddShooterWithShots(*CurrentSession, QStringLiteral("Schütze Nummer %1 des Vereins").arg(i), i,
                            NamedRing(QStringLiteral("T10")), 1);
    FormShooterList->ShowInFront();
    ClickSave();
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join('|').toStdString();
    ASSERT_EQ(SavedFiles().size(), 1);
    EXPECT_LE(SavedFiles().first().toUtf8().size(), 255);
    EXPECT_TRUE(CurrentSession->GetShooter(1)->targets.ringDefined[0]);  // the shooter's slot 0 stays usable
    TShotFileHandler reader;
    reader.LoadShotFile(ShotFilesFolder() + QLatin1Char('/') + SavedFiles().first());
    ASSERT_EQ(reader.Session()->ShooterCount(), 18);
    EXPECT_EQ(reader.Session()->GetShooter(15)->GetShot(0)->raw.RingTargetIndex(), 15);
    EXPECT_EQ(reader.Session()->GetShooter(15)->targets.ringTargets[15].NameText(), QStringLiteral("T10"));
    EXPECT_EQ(reader.Session()->GetShooter(17)->GetShot(0)->raw.RingTargetIndex(), 0);
}

TEST_F(ShooterListTest, RefusesWithoutShotsOrNames)
{
    AddShooterWithShots(*CurrentSession, QStringLiteral("Anna"), 1, NamedRing(QStringLiteral("T10")), 0);
    FormShooterList->ShowInFront();
    ClickSave();
    Click(Control("BitBtnPrintSession"));
    // Ben has shots but no name yet: his row is selected.
    AddShooterWithShots(*CurrentSession, QStringLiteral("Enter name here"), 2, NamedRing(QStringLiteral("T10")), 1);
    ClickSave();
    ASSERT_EQ(prompts.Texts(), (QStringList {"Nothing to save!", "No shots to print", "Enter shooter name"}));
    EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("Information"));
    EXPECT_EQ(prompts.shown[2].caption, QStringLiteral("Error"));
    EXPECT_EQ(Control<QTableView>("StringGridNames")->currentIndex(), FormShooterList->GridModel().index(1, 0));
    EXPECT_TRUE(SavedFiles().isEmpty());
}

} // namespace
