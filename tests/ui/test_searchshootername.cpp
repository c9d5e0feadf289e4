// The name search: typing part of a name lists the names that contain it in
// any letter case, Enter picks the only one left, and only a listed name ends
// the dialog with a choice.
#include "FormNameListEditor.h"
#include "FormSearchShooterName.h"
#include "NameListModels.h"
#include "Screens.h"
#include "UiGlobals.h"
#include "UiRig.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

TEST(NameSearch, ListsTheNamesContainingTheTextInAnyCase)
{
    const QStringList names {QStringLiteral("Anna"), QStringLiteral("Bob"), QStringLiteral("Jan"), QStringLiteral("DANIEL"),
                             QStringLiteral("ÖSTEN"), QStringLiteral("björn")};
    struct TCase {
        const char* typed;
        const char* listed;
    };
    const TCase cases[] = {
        {"an", "Anna,Jan,DANIEL"},
        {"AN", "Anna,Jan,DANIEL"},
        {"ö", "ÖSTEN,björn"},
        {"BJÖ", "björn"},
        {"", "Anna,Bob,Jan,DANIEL,ÖSTEN,björn"},
        {"x", ""},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(NamesContaining(names, QString::fromUtf8(c.typed)).join(QLatin1Char(',')), QString::fromUtf8(c.listed))
            << c.typed;
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
