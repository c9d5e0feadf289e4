// The name-list editor, its grid models driven through the grids: they write
// into the list itself, new rows are numbered over all teams, the last shooter
// and team stay, a list goes to a file and comes back, and a file that is no
// name list changes nothing. The name search: typing part of a name lists the
// names that contain it in any letter case, Enter picks the only one left, and
// only a listed name ends the dialog with a choice.
#include "AppPaths.h"
#include "AppSettings.h"
#include "FormNameListEditor.h"
#include "FormSearchShooterName.h"
#include "NameListModels.h"
#include "UiRig.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTableView>
#include <QTest>

#include <tuple>
#include <utility>

namespace {

// ---- Without widgets -----------------------------------------------------------------

TEST(NameListModels, CellsAreTheListsOwnNames)
{
    TShooterNameFileHandler names;
    FillNameList(names, QStringLiteral("Red:Anna,Ben;Blue:Cid"));
    TTeamListModel teams(names);
    TTeamNamesModel shooters;
    ASSERT_EQ(teams.rowCount(), 2);
    EXPECT_TRUE(teams.setData(teams.index(1, 0), QStringLiteral("Green")));
    shooters.SetTeam(teams.Team(0));
    EXPECT_TRUE(shooters.setData(shooters.index(1, 0), QStringLiteral("Bea")));
    EXPECT_EQ(DescribeNameList(names), QStringLiteral("Red:Anna,Bea;Green:Cid"));
    shooters.SetTeam(nullptr);
    EXPECT_EQ(shooters.rowCount(), 0);
    EXPECT_FALSE(teams.Load(QStringLiteral("/nonexistent/x.namelist.xml")));
    EXPECT_EQ(teams.rowCount(), 2);
}

// ---- The form ------------------------------------------------------------------------

class NameListEditorTest : public UiRigTest {
protected:
    void Start(const QString& teams)
    {
        // Folders in place: no first-run message among the boxes.
        ASSERT_TRUE(QDir().mkpath(SetupsFolder()) && QDir().mkpath(ShotFilesFolder()));
        ASSERT_TRUE(StartProgram());
        form = FormNameListEditor;
        Refill(teams);
        form->show();
    }
    void Refill(const QString& teams)
    {
        FillNameList(form->NameList(), teams);
        form->TeamsToGrid();
        form->ShootersToGrid();
    }
    QString List() const { return DescribeNameList(form->NameList()); }
    QTableView* Grid(const char* name) const { return Control<QTableView>(form, name); }
    void Click(const char* name) const { ::Click(Control(form, name)); }
    void SelectRow(const char* grid, int row) const
    {
        QTableView* view = Grid(grid);
        ::Click(view->viewport(), view->visualRect(view->model()->index(row, 0)).center());
    }
    // The texts of a grid's rows.
    QString Rows(const char* grid) const
    {
        const QAbstractItemModel* model = Grid(grid)->model();
        QStringList rows;
        for (int r = 0; r < model->rowCount(); ++r)
            rows << model->index(r, 0).data().toString();
        return rows.join(QLatin1Char(','));
    }
    QString ListFile(const char* name) const { return DataPath() + QLatin1Char('/') + QLatin1String(name); }

    TFormNameListEditor* form = nullptr;
};

TEST_F(NameListEditorTest, NewRowsAreNumberedOverAllTeams)
{
    const std::pair<const char*, const char*> cases[] = {
        {"ButtonNewShooter", "A:a1,a2,a3,Shooter 7;B:b1,b2,b3"},
        {"ButtonNewTeam", "A:a1,a2,a3;B:b1,b2,b3;Team 3:Shooter 7"}};
    Start(QString());
    for (const auto& [button, list] : cases) {
        Refill(QStringLiteral("A:a1,a2,a3;B:b1,b2,b3"));
        Click(button);
        EXPECT_EQ(List(), QLatin1String(list)) << button;
    }
    // The new team is the current one, its name selected in the shooter grid.
    EXPECT_EQ(form->CurrentTeam(), form->NameList().GetTeam(2));
    EXPECT_EQ(Rows("StringGridShooters"), QStringLiteral("Shooter 7"));
    EXPECT_EQ(Grid("StringGridTeams")->currentIndex().row(), 2);
    SaveScreen(*form, QStringLiteral("FormNameListEditor"));
}

TEST_F(NameListEditorTest, RemovingKeepsTheLastShooterAndTheLastTeam)
{
    Start(QStringLiteral("A:a1,a2;B:b1;C:c1,c2,c3"));
    SelectRow("StringGridTeams", 1);
    EXPECT_EQ(Rows("StringGridShooters"), QStringLiteral("b1"));
    Click("ButtonRemoveShooter");
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Can't remove last shooter. Remove team instead.")});
    EXPECT_EQ(prompts.shown.back().caption, QStringLiteral("Error"));

    // The team now at the removed row becomes current.
    Click("ButtonRemoveTeam");
    EXPECT_EQ(List(), QStringLiteral("A:a1,a2;C:c1,c2,c3"));
    EXPECT_EQ(Rows("StringGridShooters"), QStringLiteral("c1,c2,c3"));
    SelectRow("StringGridShooters", 1);
    Click("ButtonRemoveShooter");
    EXPECT_EQ(List(), QStringLiteral("A:a1,a2;C:c1,c3"));

    Click("ButtonRemoveTeam");
    prompts.shown.clear();
    Click("ButtonRemoveTeam");
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Can't remove last team")});
    EXPECT_EQ(List(), QStringLiteral("A:a1,a2"));
}

TEST_F(NameListEditorTest, EveryKeystrokeIsStoredAndCancelKeepsIt)
{
    Start(QStringLiteral("Red:Anna,Ben"));
    QTableView* teams = Grid("StringGridTeams");
    teams->edit(teams->model()->index(0, 0));
    auto* editor = teams->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, QStringLiteral("Gr"));
    EXPECT_EQ(form->NameList().GetTeam(0)->Name(), QStringLiteral("Gr"));
    // Typing inside the text: each store leaves the cursor where it was.
    QTest::keyClick(editor, Qt::Key_Home);
    QTest::keyClicks(editor, QStringLiteral("Ag"));
    EXPECT_EQ(form->NameList().GetTeam(0)->Name(), QStringLiteral("AgGr"));

    QTableView* shooters = Grid("StringGridShooters");
    shooters->edit(shooters->model()->index(1, 0));
    editor = shooters->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    TypeText(editor, QStringLiteral("Bö"));
    Click("ButtonCancel");
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(List(), QStringLiteral("AgGr:Anna,Bö"));
}

TEST_F(NameListEditorTest, SavedListLoadsBackAndOnlyItsFileIsStoredInTheSettings)
{
    Start(QStringLiteral("Röd & <Blå>:Anna,Östen;:,Ben"));
    // Changed in memory only: a store of every setting would write it too.
    SetOptionString(QStringLiteral("StartAutomatically"), QStringLiteral("true"));
    const QString path = ListFile("club.namelist.xml");
    prompts.fileAnswers = {path};
    Click("ButtonSaveList");
    LoadApplicationSettings();
    EXPECT_EQ(GetOptionString(QStringLiteral("TeamNameListFile")), path);
    EXPECT_EQ(GetOptionString(QStringLiteral("StartAutomatically")), QStringLiteral("true"));

    Refill(QStringLiteral("Other:Eve"));
    SetOptionString(QStringLiteral("TeamNameListFile"), QStringLiteral(" "));
    prompts.fileAnswers = {path};
    Click("ButtonLoadList");
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(List(), QStringLiteral("Röd & <Blå>:Anna,Östen;:,Ben"));
    EXPECT_EQ(Rows("StringGridShooters"), QStringLiteral("Anna,Östen"));
    LoadApplicationSettings();
    EXPECT_EQ(GetOptionString(QStringLiteral("TeamNameListFile")), path);
    // The save dialog now proposes the loaded file.
    Click("ButtonSaveList");
    EXPECT_EQ(prompts.fileRequests.back().fileName, path);
}

TEST_F(NameListEditorTest, AFileThatIsNoNameListChangesNothing)
{
    Start(QStringLiteral("Red:Anna"));
    const QByteArray sessionFile = "<TRAXELSessionFile><Shooter Name=\"x\"/></TRAXELSessionFile>";
    const QString files[] = {
        ListFile("missing.namelist.xml"),
        WriteFile(ListFile("broken.namelist.xml"), "<NameListFile><Team Name=\"A\">"),
        WriteFile(ListFile("empty.namelist.xml"), ""),
        WriteFile(ListFile("session.namelist.xml"), sessionFile),
    };
    for (const QString& path : files) {
        prompts.shown.clear();
        prompts.fileAnswers = {path};
        Click("ButtonLoadList");
        EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Name list open failed.")}) << path.toStdString();
        EXPECT_EQ(std::tuple(List(), Rows("StringGridShooters"), GetOptionString(QStringLiteral("TeamNameListFile"))),
                  std::tuple(QStringLiteral("Red:Anna"), QStringLiteral("Anna"), QStringLiteral(" ")));
    }
    // Nor is such a file offered as the place to save the list.
    Click("ButtonSaveList");
    EXPECT_EQ(prompts.fileRequests.back().fileName, QString());
}

TEST_F(NameListEditorTest, AnEmptyListHasNoCurrentTeamUntilOneIsAdded)
{
    Start(QStringLiteral("Red:Anna"));
    ASSERT_TRUE(form->LoadNameList(WriteFile(ListFile("none.namelist.xml"), "<NameListFile CreatedBy=\"x\"/>")));
    EXPECT_EQ(form->CurrentTeam(), nullptr);
    EXPECT_EQ(Rows("StringGridShooters"), QString());
    Click("ButtonNewShooter");
    Click("ButtonRemoveShooter");
    Click("ButtonRemoveTeam");
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Add a team first.")});
    Click("ButtonNewTeam");
    Click("ButtonNewShooter");
    EXPECT_EQ(List(), QStringLiteral("Team 1:Shooter 1,Shooter 2"));

    // Teams and shooters without a name attribute load with empty names.
    const QByteArray unnamed = "<NameListFile><Team><Shooter/><Shooter Name=\"Ann\"/></Team></NameListFile>";
    ASSERT_TRUE(form->LoadNameList(WriteFile(ListFile("unnamed.namelist.xml"), unnamed)));
    EXPECT_EQ(List(), QStringLiteral(":,Ann"));
}

// ---- The name search ----------------------------------------------------------------

TEST(NameSearch, ListsTheNamesContainingTheTextInAnyCase)
{
    const QStringList names {"Anna", "Bob", "Jan", "DANIEL", "ÖSTEN", "björn"};
    const std::pair<const char*, const char*> cases[] = {
        {"an", "Anna,Jan,DANIEL"}, {"AN", "Anna,Jan,DANIEL"}, {"ö", "ÖSTEN,björn"}, {"BJÖ", "björn"},
        {"", "Anna,Bob,Jan,DANIEL,ÖSTEN,björn"}, {"x", ""}};
    for (const auto& [typed, listed] : cases)
        EXPECT_EQ(NamesContaining(names, QString::fromUtf8(typed)).join(QLatin1Char(',')), QString::fromUtf8(listed))
            << typed;
}

class SearchShooterNameTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        ASSERT_TRUE(StartProgram());
        dialog = FormSearchShooterName;
        edit = dialog->findChild<QLineEdit*>(QStringLiteral("EditSearch"));
        list = dialog->findChild<QListWidget*>(QStringLiteral("ListBoxNames"));
        ASSERT_TRUE(edit && list);
        FillNameList(FormNameListEditor->NameList(), QStringLiteral("Red:Anna,Jan,Bob;Blue:DANIEL,Östen"));
    }
    // Shows the dialog for every name of the list, as "<All>" does.
    void ShowAllNames()
    {
        dialog->SetTeam(FormNameListEditor->NameList().GetAllNames(), QStringLiteral("<All>"));
        dialog->show();
    }
    QString Listed() const
    {
        QStringList names;
        for (int i = 0; i < list->count(); ++i)
            names << list->item(i)->text();
        return names.join(QLatin1Char(','));
    }
    // As the window system sends it: a click, then the double click.
    void DoubleClick(const QPoint& at)
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    bool EndedWithOk() const { return !dialog->isVisible() && dialog->result() == QDialog::Accepted; }

    TFormSearchShooterName* dialog = nullptr;
    QLineEdit* edit = nullptr;
    QListWidget* list = nullptr;
};

TEST_F(SearchShooterNameTest, EnterPicksTheOnlyNameLeft)
{
    ShowAllNames();
    EXPECT_EQ(Listed(), QStringLiteral("Anna,Jan,Bob,DANIEL,Östen"));
    TypeText(edit, QStringLiteral("an"));
    EXPECT_EQ(Listed(), QStringLiteral("Anna,Jan,DANIEL"));
    SaveScreen(*dialog, QStringLiteral("FormSearchShooterName"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    TypeText(edit, QStringLiteral("i"));
    EXPECT_EQ(Listed(), QStringLiteral("DANIEL"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(EndedWithOk());
    EXPECT_EQ(dialog->SelectedName(), QStringLiteral("DANIEL"));

    // Shown again: the search starts over, and an ö finds the Ö.
    dialog->SetTeam(FormNameListEditor->NameList().GetTeam(1), QStringLiteral("Blue"));
    dialog->show();
    EXPECT_EQ(edit->text(), QString());
    EXPECT_EQ(dialog->SelectedName(), QString());
    TypeText(edit, QStringLiteral("ö"));
    EXPECT_EQ(Listed(), QStringLiteral("Östen"));
}

TEST_F(SearchShooterNameTest, OnlyAListedNameEndsTheDialogWithAChoice)
{
    ShowAllNames();
    // Beside the names, with nothing selected.
    DoubleClick(QPoint(5, list->viewport()->height() - 5));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());

    DoubleClick(list->visualItemRect(list->item(1)).center());
    EXPECT_TRUE(EndedWithOk());
    EXPECT_EQ(dialog->SelectedName(), QStringLiteral("Jan"));

    ShowAllNames();
    list->setCurrentRow(2);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(dialog->SelectedName(), QStringLiteral("Bob"));

    // OK without a name: the team is chosen, no name.
    dialog->SetTeam(nullptr, QString());
    dialog->show();
    TypeText(edit, QStringLiteral("a"));
    EXPECT_EQ(list->count(), 0);
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("BitBtnOK")), Qt::LeftButton);
    EXPECT_TRUE(EndedWithOk());
    EXPECT_EQ(dialog->SelectedName(), QString());
}

}  // namespace
