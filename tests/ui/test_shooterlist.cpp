// The shooter list: the grid over the session's shooters, the session save
// (file naming, the target numbering that keeps the units' slot 0 usable,
// the refusals and the failures) and printing's refusal.
#include "AppPaths.h"
#include "AppSettings.h"
#include "FormSearchShooterName.h"
#include "FormShooter.h"
#include "FormShooterList.h"
#include "Screens.h"
#include "SessionSaving.h"
#include "ShooterGridModel.h"
#include "Shotdata.h"
#include "Shotfile.h"
#include "TranslateUI.h"
#include "Translation.h"
#include "UiGlobals.h"
#include "UiRig.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

namespace {

inline const QString Anna = QStringLiteral("Anna");
inline const QString Ben = QStringLiteral("Ben");

// ---- The file's base name ----------------------------------------------------------------

struct TNameCase {
    const char* team;
    QStringList shooters;
    QStringList viewerTargets;
    QStringList firstShooterTargets;
    const char* expected;
};

TEST(SessionFileNameTest, NamesTeamShootersAndTheCommonTarget)
{
    const TNameCase cases[] = {
        {"", {"Anna", "Ben"}, {"T10", "T10"}, {"T10"}, "Anna Ben (T10)"},
        {"", {"Anna", "Ben"}, {"T10", "Rifle"}, {"T10"}, "Anna Ben"},
        {"Club", {"Anna", "Ben"}, {"T10", "T10"}, {"T10"}, "Club - Anna Ben (T10)"},
        {"Club", {"Anna"}, {}, {"T10"}, "Club - Anna"},  // no viewer shows anything
        {"", {"Anna"}, {"Duel"}, {"Ring", "Duel"}, "Anna (Ring Duel)"},
    };
    for (const TNameCase& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(SessionFileBaseName(QString::fromLatin1(c.team), c.shooters, c.viewerTargets, c.firstShooterTargets),
                  QString::fromLatin1(c.expected));
    }
}

// ---- The form ------------------------------------------------------------------------------

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
    void TwoShooters()
    {
        AddShooterWithShots(*CurrentSession, Anna, 1, NamedRing(QStringLiteral("T10")), 2);
        AddShooterWithShots(*CurrentSession, Ben, 2, NamedRing(QStringLiteral("T10")), 3);
        for (int i = 0; i < 2; ++i) {
            auto* viewer = new TFormShooter;
            ShooterViewers.push_back(viewer);
            AttachShooterView(viewer, nullptr, CurrentSession->GetShooter(i), false);
        }
        SessionUnsaved = true;
        FormShooterList->ShowInFront();
    }

    template <class T = QPushButton>
    T* Control(const char* name)
    {
        T* control = FormShooterList->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    void ClickSave() { QTest::mouseClick(Control("BitBtnSaveSession"), Qt::LeftButton); }

    QString ShotFile(const QString& base) const { return ShotFilesFolder() + QLatin1Char('/') + base + ".shotfile.xml"; }

    QStringList SavedFiles() const
    {
        return QDir(ShotFilesFolder()).entryList({QStringLiteral("*.shotfile.xml")}, QDir::Files, QDir::Name);
    }
};

TEST_F(ShooterListTest, GridShowsAndEditsTheShootersThemselves)
{
    TShooter* anna = AddShooterWithShots(*CurrentSession, Anna, 1, NamedRing(QStringLiteral("T10")), 1);
    anna->team = QStringLiteral("Red");
    TShooterGridModel& model = FormShooterList->GridModel();
    FormShooterList->FillShooterGrid();

    ASSERT_EQ(model.rowCount(), 1);
    const QStringList headers = {"Name", "", "Team", "Device"};
    const QStringList row = {"Anna", QStringLiteral("  \u00B7\u00B7\u00B7  "), "Red", "KBR0000001"};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), headers[c]);
        EXPECT_EQ(model.index(0, c).data().toString(), row[c]);
        EXPECT_EQ(bool(model.flags(model.index(0, c)) & Qt::ItemIsEditable), c == 0 || c == 2) << c;
    }
    EXPECT_TRUE(model.setData(model.index(0, 0), QStringLiteral("Anne")));
    EXPECT_TRUE(model.setData(model.index(0, 2), QStringLiteral("Blue")));
    EXPECT_FALSE(model.setData(model.index(0, 3), QStringLiteral("KBR9")));
    EXPECT_EQ(anna->name, QStringLiteral("Anne"));
    EXPECT_EQ(anna->team, QStringLiteral("Blue"));
    EXPECT_EQ(anna->SerialNumber(), QStringLiteral("KBR0000001"));

    // A shooter that left without a refill is an empty row, never read.
    CurrentSession->DeleteShooters();
    EXPECT_FALSE(model.index(0, 0).data().isValid());
    FormShooterList->FillShooterGrid();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(ShooterListTest, TypingANameStoresItAtOnce)
{
    TwoShooters();
    auto* grid = Control<QTableView>("StringGridNames");
    grid->setCurrentIndex(grid->model()->index(1, 0));
    grid->edit(grid->currentIndex());
    auto* editor = grid->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_End);
    QTest::keyClicks(editor, QStringLiteral("na"));
    // Not confirmed yet, and already the shooter's name.
    EXPECT_EQ(CurrentSession->GetShooter(1)->name, QStringLiteral("Benna"));
}

TEST_F(ShooterListTest, SaveNamesTheFileAfterShootersAndTargetAndKeepsSlotZeroUsable)
{
    TwoShooters();
    SetOptionString(QStringLiteral("AlwaysShowSaveDialogs"), QStringLiteral("false"));
    SaveScreen(*FormShooterList, QStringLiteral("shooter_list"));

    ClickSave();
    ASSERT_TRUE(prompts.shown.empty()) << prompts.Texts().join('|').toStdString();
    EXPECT_EQ(SavedFiles(), QStringList {"Anna Ben (T10).shotfile.xml"});
    EXPECT_FALSE(SessionUnsaved.load());
    EXPECT_EQ(prompts.beeps, 2);
    EXPECT_TRUE(Control<QLabel>("PanelSaveCompleted")->isVisible());
    EXPECT_TRUE(WaitFor([&] { return !Control<QLabel>("PanelSaveCompleted")->isVisible(); }));
    // The units go on reporting on slot 0: it is still a target of both.
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(CurrentSession->GetShooter(i)->targets.ringDefined[0]) << i;

    ClickSave();
    EXPECT_EQ(SavedFiles(), (QStringList {"Anna Ben (T10) (2).shotfile.xml", "Anna Ben (T10).shotfile.xml"}));

    // Read back: each shooter's shots on a slot of its own, the same shots.
    TShotFileHandler reader;
    reader.LoadShotFile(ShotFile(QStringLiteral("Anna Ben (T10)")));
    const TSession& loaded = *reader.Session();
    ASSERT_EQ(loaded.ShooterCount(), 2);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const TShooter& original = *CurrentSession->GetShooter(i);
        const TShooter& read = *loaded.GetShooter(i);
        EXPECT_EQ(read.name, original.name);
        ASSERT_EQ(read.ShotCount(), original.ShotCount());
        for (int s = 0; s < read.ShotCount(); ++s) {
            EXPECT_EQ(read.GetShot(s)->raw.RingTargetIndex(), i);
            EXPECT_EQ(read.GetShot(s)->raw.XNAU(), original.GetShot(s)->raw.XNAU());
            EXPECT_EQ(read.GetShot(s)->raw.Score(), original.GetShot(s)->raw.Score());
        }
        EXPECT_EQ(read.targets.ringTargets[std::size_t(i)].NameText(), QStringLiteral("T10"));
    }
}

TEST_F(ShooterListTest, SaveDialogProposesTheNameAndATeamPickLeadsIt)
{
    TwoShooters();
    // Pick from "Team 1" of the name list for Anna's row; the dialog is
    // answered as soon as it is up (with its first name, where it lists any).
    auto* combo = Control<QComboBox>("ComboBoxTeams");
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(0), QStringLiteral("<None>"));
    combo->setCurrentIndex(2);
    QTimer::singleShot(0, FormSearchShooterName, [] {
        if (auto* names = FormSearchShooterName->findChild<QListWidget*>(QStringLiteral("ListBoxNames")))
            names->setCurrentRow(0);
        FormSearchShooterName->accept();
    });
    auto* grid = Control<QTableView>("StringGridNames");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(0, 1)).center());
    EXPECT_EQ(FormShooterList->PickedTeam(), QStringLiteral("Team 1"));
    EXPECT_EQ(grid->currentIndex().column(), 0);
    const QString first = CurrentSession->GetShooter(0)->name;
    if (first != Anna) {
        EXPECT_EQ(CurrentSession->GetShooter(0)->team, QStringLiteral("Team 1"));
    }

    const QString expected = ShotFile(QStringLiteral("Team 1 - ") + first + QStringLiteral(" Ben (T10)"));
    prompts.fileAnswers.push_back(expected);
    ClickSave();
    ASSERT_EQ(prompts.fileRequests.size(), 1u);
    const TFileRequest& request = prompts.fileRequests[0];
    EXPECT_EQ(request.fileName, expected);
    EXPECT_EQ(request.filters, QStringList {"TRAXEL Shot File (*.shotfile.xml)"});
    EXPECT_EQ(request.defaultSuffix, QStringLiteral("shotfile.xml"));
    EXPECT_TRUE(QFileInfo::exists(expected));
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join('|').toStdString();
}

// A failed or cancelled save keeps the session unsaved, and slot 0 usable.
TEST_F(ShooterListTest, FailedAndCancelledSavesLeaveTheSessionAsItWas)
{
    TwoShooters();
    prompts.fileAnswers.push_back(QStringLiteral("/no/such/folder/x.shotfile.xml"));
    ClickSave();
    EXPECT_EQ(prompts.Texts(), QStringList {"File save failed"});
    EXPECT_EQ(prompts.shown.back().caption, QStringLiteral("Error"));
    EXPECT_TRUE(SessionUnsaved.load());
    EXPECT_TRUE(CurrentSession->GetShooter(1)->targets.ringDefined[0]);
    EXPECT_FALSE(Control<QLabel>("PanelSaveCompleted")->isVisible());

    ClickSave();  // the dialog is cancelled this time
    EXPECT_EQ(prompts.fileRequests.size(), 2u);
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_TRUE(SessionUnsaved.load());
    EXPECT_TRUE(CurrentSession->GetShooter(1)->targets.ringDefined[0]);
    EXPECT_TRUE(SavedFiles().isEmpty());
    EXPECT_TRUE(Control("BitBtnSaveSession")->isEnabled());
}

// More shooters than target slots: those past slot 15 keep their slot 0.
// Their names together are far longer than a file name may be.
TEST_F(ShooterListTest, SessionsOfMoreThanSixteenShootersWithLongNamesSave)
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
    EXPECT_TRUE(SavedFiles().first().startsWith(QStringLiteral("Schütze Nummer 0 des Vereins Schütze")));
    TShotFileHandler reader;
    reader.LoadShotFile(ShotFilesFolder() + QLatin1Char('/') + SavedFiles().first());
    ASSERT_EQ(reader.Session()->ShooterCount(), 18);
    EXPECT_EQ(reader.Session()->GetShooter(15)->GetShot(0)->raw.RingTargetIndex(), 15);
    EXPECT_EQ(reader.Session()->GetShooter(17)->GetShot(0)->raw.RingTargetIndex(), 0);
}

TEST_F(ShooterListTest, TextsAreTranslated)
{
    SetTranslationList({QStringLiteral("Team=Mannschaft"), QStringLiteral("Save Session=Speichern"),
                        QStringLiteral("Nothing to save!=Nichts zu speichern!"), QStringLiteral("Information=Hinweis")});
    TranslateUI();
    EXPECT_EQ(Control<QLabel>("Label1")->text(), QStringLiteral("Mannschaft"));
    EXPECT_EQ(Control("BitBtnSaveSession")->text(), QStringLiteral("Speichern"));
    ClickSave();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, QStringLiteral("Nichts zu speichern!"));
    EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("Hinweis"));
}

TEST_F(ShooterListTest, RefusesWithoutShotsOrNames)
{
    AddShooterWithShots(*CurrentSession, Anna, 1, NamedRing(QStringLiteral("T10")), 0);
    FormShooterList->ShowInFront();
    ClickSave();
    QTest::mouseClick(Control("BitBtnPrintSession"), Qt::LeftButton);
    ASSERT_EQ(prompts.Texts(), (QStringList {"Nothing to save!", "No shots to print"}));
    EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("Information"));
    EXPECT_EQ(prompts.shown[1].caption, QStringLiteral("Error"));

    // Ben has shots but no name yet: his row is selected.
    AddShooterWithShots(*CurrentSession, QStringLiteral("Enter name here"), 2, NamedRing(QStringLiteral("T10")), 1);
    prompts.shown.clear();
    ClickSave();
    EXPECT_EQ(prompts.Texts(), QStringList {"Enter shooter name"});
    EXPECT_EQ(Control<QTableView>("StringGridNames")->currentIndex(), FormShooterList->GridModel().index(1, 0));
    // With shots the session goes to the printer dialog; no box.
    prompts.shown.clear();
    QTest::mouseClick(Control("BitBtnPrintSession"), Qt::LeftButton);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_TRUE(SavedFiles().isEmpty());
}

} // namespace
