// The setup screen's list: the grid's model, the order by ring targets, the
// default list at start-up (damaged too), opening lists, the list tools and
// saving.
#include "AppPaths.h"
#include "AppSettings.h"
#include "FormSelectSetup.h"
#include "SetupCardDelegate.h"
#include "SetupListModel.h"
#include "SetupProgramming.h"
#include "UiRig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTableView>
#include <QTest>

namespace {

TTargetSetup Entry(const char* title, bool ring)
{
    TTargetSetup s;
    if (title)
        s.descriptions = QStringList {QString::fromLatin1(title), QStringLiteral("second line")};
    s.target.hasRing = ring;
    s.target.hasSilhouette = !ring;
    return s;
}

QStringList Titles(const TSetupHandler& list)
{
    QStringList titles;
    for (int i = 0; i < list.Count(); ++i) {
        const auto& lines = list.Get(i)->descriptions;
        titles << (lines && !lines->isEmpty() ? lines->first() : QStringLiteral("-"));
    }
    return titles;
}

// ---- Without widgets -----------------------------------------------------------------

TEST(SetupOrder, RingFlagGroupsKeepTheirOrder)
{
    // The kinds in list order (R ring, S silhouette), rings first or last.
    const struct { const char* kinds; bool ringFirst; const char* expected; bool changed; } cases[] = {
        {"S1 R2 S3 R4", true, "R2 R4 S1 S3", true}, {"S1 R2 S3 R4", false, "S1 S3 R2 R4", true},
        {"R1 R2 S3", true, "R1 R2 S3", false}, {"", true, "", false}};
    for (const auto& c : cases) {
        TSetupHandler list;
        const QStringList items = QString::fromLatin1(c.kinds).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString& item : items)
            list.Add(Entry(item.toLatin1().constData(), item.startsWith(QLatin1Char('R'))));
        EXPECT_EQ(SortSetupsByRing(list, c.ringFirst), c.changed) << c.kinds;
        EXPECT_EQ(Titles(list).join(QLatin1Char(' ')), QString::fromLatin1(c.expected)) << c.kinds;
    }
}

TEST(SetupListModel, RowsAndCardsFollowTheList)
{
    TSetupHandler list;
    TSetupListModel model(list);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.Setup(0), nullptr);

    TTargetSetup named = Entry("Rifle", true);
    named.target.ringRecord.SetNameText(QStringLiteral("R10"));
    list.Add(named);
    list.Add(Entry(nullptr, false));  // no description lines at all
    model.Reload();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.CardLines(0), (QStringList {QStringLiteral("R10"), QStringLiteral("Rifle"), QStringLiteral("second line")}));
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QStringLiteral("R10\nRifle\nsecond line"));
    EXPECT_EQ(model.CardLines(1), QStringList {QString()});
    EXPECT_EQ(model.CardLines(2), QStringList {});
}

// ---- The form ------------------------------------------------------------------------

class SelectSetupTest : public UiRigTest {
protected:
    // The program started with defaultList as the user's default setup list
    // (empty: the shipped one is copied as usual).
    void Start(const QByteArray& defaultList = QByteArray())
    {
        // Folders in place: no first-run message among the boxes.
        ASSERT_TRUE(QDir().mkpath(SetupsFolder()) && QDir().mkpath(ShotFilesFolder()));
        if (!defaultList.isEmpty())
            WriteFile(SetupsFolder() + QStringLiteral("/default.setup.xml"), defaultList);
        ASSERT_TRUE(StartProgram());
        SessionMode = SessionClassic;
        form = FormSelectSetup;
        form->show();
    }

    QPushButton* Button(const char* name) const { return Control(form, name); }
    void Click(const char* name) const { ::Click(Button(name)); }
    void ShowListTools()
    {
        if (!Button("ButtonOpenSetupFile")->isVisible())
            Click("BitBtnMore");
    }
    QString SavedList(const TSetupHandler& list, const QString& name) const
    {
        const QString path = DataPath() + QLatin1Char('/') + name;
        list.SaveToFile(path);
        return path;
    }
    static QByteArray Shipped() { return ReadAll(QStringLiteral("default.setup.xml")); }

    TFormSelectSetup* form = nullptr;
};

TEST_F(SelectSetupTest, ShowsTheDefaultListRingsFirstWithPreviews)
{
    Start();
    EXPECT_TRUE(prompts.shown.empty());
    const QStringList titles = Titles(form->Setups());
    ASSERT_EQ(titles.size(), 4);
    EXPECT_EQ(titles.last(), QStringLiteral("25 m Silhouette"));
    EXPECT_EQ(form->SelectedIndex(), 0);

    // Every card has a target drawn on it, not just the background.
    auto* grid = form->findChild<QTableView*>(QStringLiteral("DrawGridSetups"));
    auto* delegate = qobject_cast<TSetupCardDelegate*>(grid->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    for (int row = 0; row < 4; ++row) {
        const QImage preview = delegate->Preview(row);
        ASSERT_EQ(preview.size(), QSize(64, 64));
        EXPECT_NE(preview.pixel(32, 32), preview.pixel(0, 0)) << row;
    }
    SaveScreen(*form, QStringLiteral("select_setup_list"));
}

TEST_F(SelectSetupTest, DamagedDefaultListKeepsWhatWasReadAndTheProgramGoesOn)
{
    const struct {
        QByteArray file;
        int kept;
    } cases[] = {
        {Shipped().left(Shipped().indexOf("25 m Pistol") + 30), 2},
        {QByteArray("\x01\x02 not a setup list"), 0},
    };
    // With a unit present, so that Start is offered once the scan is over.
    AddUnit(41, unitsim::UnitName("KBR", 41));
    for (const auto& c : cases) {
        Start(c.file);
        EXPECT_EQ(prompts.Count(QStringLiteral("Error loading setup file")), 1);
        EXPECT_EQ(form->Setups().Count(), c.kept);
        EXPECT_EQ(form->SelectedIndex(), c.kept > 0 ? 0 : -1);
        // An empty list is a normal state: nothing to start, copy or move.
        if (c.kept == 0) {
            for (const char* name : {"BitBtnCopy", "BitBtnMoveUp", "BitBtnMoveDown", "BitBtnDelete"})
                Button(name)->click();
            ASSERT_TRUE(WaitFor([&] { return Button("ButtonStart")->isEnabled(); }));
            Click("ButtonStart");
            EXPECT_EQ(prompts.Count(QStringLiteral("Ring or silhouette not selected")), 1);
            EXPECT_EQ(form->Setups().Count(), 0);
            EXPECT_FALSE(form->Programming());
        }
        StopProgram();
        prompts.shown.clear();
    }
}

// Opening a list replaces the shown one only when it loads; the tools copy,
// move and delete setups, the list is saved anywhere but over the default
// list, and the factory list comes back on OK only.
TEST_F(SelectSetupTest, ListsOpenOnlyWhenTheyLoadAndTheToolsEditAndSaveThem)
{
    TSetupHandler list;
    ASSERT_TRUE(list.LoadFromFile(QStringLiteral("default.setup.xml")));
    list.Get(1)->descriptions.reset();  // a setup without description lines
    Start();
    SetAdvancedModeOn(true);
    ShowListTools();
    form->DrawGridSetupsClick(1);
    prompts.fileAnswers = {WriteFile(DataPath() + QStringLiteral("/bad.setup.xml"), Shipped().left(2000))};
    Click("ButtonOpenSetupFile");
    EXPECT_EQ(prompts.Count(QStringLiteral("Error loading setup file")), 1);
    EXPECT_EQ(form->Setups().Count(), 4);
    EXPECT_EQ(form->SelectedIndex(), 1);

    prompts.fileAnswers = {SavedList(list, QStringLiteral("tools.setup.xml"))};
    Click("ButtonOpenSetupFile");
    EXPECT_EQ(prompts.fileRequests.back().folder, SetupsFolder());
    ASSERT_EQ(form->Setups().Count(), 4);
    EXPECT_EQ(form->SelectedIndex(), 0);
    EXPECT_FALSE(Button("ButtonSaveSetupFile")->isEnabled());

    // A list opened from a file shows the setups without a ring first: row 0
    // is the silhouette, row 2 the setup without lines.
    for (const int row : {0, 2}) {
        form->DrawGridSetupsClick(row);
        Click("BitBtnCopy");
        EXPECT_EQ(form->SelectedIndex(), form->Setups().Count() - 1);
    }
    const QStringList titles = Titles(form->Setups());
    EXPECT_EQ(titles[4], QStringLiteral("Copy of 25 m Silhouette"));
    EXPECT_EQ(titles[5], QStringLiteral("Copy of ") + GetTargetName(form->Setups().Get(2)->target));
    EXPECT_TRUE(Button("ButtonSaveSetupFile")->isEnabled());
    Click("BitBtnMoveDown");  // already last: stays
    EXPECT_EQ(form->SelectedIndex(), 5);
    Click("BitBtnMoveUp");
    EXPECT_EQ(Titles(form->Setups())[4], titles[5]);
    Click("BitBtnDelete");
    EXPECT_EQ(Titles(form->Setups()), titles.mid(0, 5));

    // The default list cannot be overwritten, whatever the case of its name.
    const QString mine = SetupsFolder() + QStringLiteral("/mine.setup.xml");
    prompts.fileAnswers = {SetupsFolder() + QStringLiteral("/Default.Setup.XML"), mine};
    Click("ButtonSaveSetupFile");
    EXPECT_EQ(prompts.Count(QStringLiteral("Default setup cannot be overwritten")), 1);
    EXPECT_TRUE(form->isVisible());
    Click("ButtonSaveSetupFile");
    EXPECT_FALSE(form->isVisible());
    TSetupHandler reread;
    ASSERT_TRUE(reread.LoadFromFile(mine));
    EXPECT_EQ(Titles(reread), titles.mid(0, 5));

    form->show();
    prompts.queued = {TMsgResult::Cancel, TMsgResult::OK};
    Click("ButtonOpenDefaultSetupFile");
    EXPECT_EQ(form->Setups().Count(), 5);
    Click("ButtonOpenDefaultSetupFile");
    EXPECT_EQ(prompts.Count(QStringLiteral("Load factory default Setup list?")), 2);
    EXPECT_EQ(form->Setups().Count(), 4);
    EXPECT_EQ(form->SelectedIndex(), 0);
    EXPECT_EQ(Control<QTableView>(form, "DrawGridSetups")->currentIndex().row(), 0);
    SetAdvancedModeOn(false);
}

} // namespace
