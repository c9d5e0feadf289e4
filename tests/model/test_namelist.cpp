#include "NameList.h"
#include "SessionFixtures.h"
#include "Translation.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using Fixtures::Message;

namespace {

QStringList Names(const TTeam* team)
{
    QStringList names;
    for (int i = 0; i < team->NameCount(); ++i)
        names.append(team->GetName(i)->Name);
    return names;
}

// "Team:Name1,Name2|Team2:..." for compact comparisons.
QString Describe(const TShooterNameFileHandler& list)
{
    QStringList teams;
    for (int t = 0; t < list.TeamCount(); ++t)
        teams.append(list.GetTeam(t)->Name() + ":" + Names(list.GetTeam(t)).join(','));
    return teams.join('|');
}

class NameListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetTranslation();
        ASSERT_TRUE(FTemp.isValid());
    }
    void TearDown() override { ResetTranslation(); }
    QString Path(const char* name) const { return FTemp.filePath(QString::fromUtf8(name)); }

    QTemporaryDir FTemp;
};

}  // namespace

TEST_F(NameListTest, NewListIndexChecksAndDefaultNames)
{
    TShooterNameFileHandler list;
    EXPECT_EQ(Describe(list), QStringLiteral("Team 1:Shooter 1"));

    TTeam* team = list.GetTeam(0);
    EXPECT_EQ((QStringList { Message([&] { team->GetName(-1); }), Message([&] { team->DeleteName(1); }),
                             Message([&] { list.GetTeam(1); }), Message([&] { list.DeleteTeam(-1); }) }),
              (QStringList { "Bad name index", "Bad name index", "Bad team index", "Bad team index" }));

    team->AddName("B");
    team->AddName("C");
    team->DeleteName(1);
    list.AddTeam("Second")->AddName("D");
    EXPECT_EQ(Describe(list), QStringLiteral("Team 1:Shooter 1,C|Second:D"));
    list.DeleteTeam(0);
    EXPECT_EQ(Describe(list), QStringLiteral("Second:D"));

    // Default names are translated and formatted safely.
    SetTranslationList({"Team %d=Mannschaft %d", "Shooter %d=%s Schütze %d"});
    EXPECT_EQ(Describe(TShooterNameFileHandler()), QStringLiteral("Mannschaft 1:%s Schütze 1"));
    EXPECT_EQ(FormatNamePattern("Team %d of %d", 7), QStringLiteral("Team 7 of 7"));
    EXPECT_EQ(FormatNamePattern("100%", 3), QStringLiteral("100%"));
}

TEST_F(NameListTest, FindTeamAndAllNames)
{
    TShooterNameFileHandler list;
    list.AddTeam("Blue")->AddName("Anna");
    list.GetTeam(1)->AddName("Shooter 1");
    list.AddTeam("BLUE")->AddName("Jan");
    list.AddTeam("Äpfel");

    EXPECT_EQ(list.FindTeam("blue"), list.GetTeam(1));  // first match wins
    EXPECT_EQ(list.FindTeam("äPFEL"), list.GetTeam(3));
    EXPECT_EQ(list.FindTeam("Red"), nullptr);

    const QStringList expected = {"Shooter 1", "Anna", "Shooter 1", "Jan"};
    TTeam* all = list.GetAllNames();
    EXPECT_EQ(std::tuple(all, Names(all)), std::tuple(&AllNamesTeam(), expected));
    EXPECT_EQ(Names(list.GetAllNames()), expected);  // refilled, not appended

    // The copies outlive the teams they came from.
    const TShooterName* anna = all->GetName(1);
    list.DeleteTeam(1);
    EXPECT_EQ(anna->Name, QStringLiteral("Anna"));
}

TEST_F(NameListTest, FileRoundTripAndFailures)
{
    // Failed loads of damaged and foreign files are left to the editor's tests.
    TShooterNameFileHandler list;
    list.GetTeam(0)->SetName("R&D <Team> \"1\"");
    list.GetTeam(0)->AddName(QString::fromUtf8("O'Brien & S\xC3\xB6hne"));
    list.GetTeam(0)->AddName("");  // no Name attribute for an empty name
    list.AddTeam("");
    list.AddTeam("No shooters");
    const QString path = Path("teams.namelist.xml");
    list.SaveToFile(path);
    EXPECT_EQ(ReadAll(path), TestData("golden.namelist.xml"));
    TShooterNameFileHandler reread;
    ASSERT_TRUE(reread.LoadFromFile(path));
    EXPECT_EQ(Describe(reread), Describe(list));

    // A load replaces the whole list; other elements are passed over.
    WriteAll(path, "<NameListFile>\n <Team Name=\"A\">\n  <Shooter Name=\"a1\"/>\n  <Other Name=\"x\"/>\n </Team>\n"
                   " <Remark/>\n <Team Name=\"B\"/>\n</NameListFile>\n");
    ASSERT_TRUE(list.LoadFromFile(path));
    EXPECT_EQ(Describe(list), QStringLiteral("A:a1|B:"));
    WriteAll(path, "<NameListFile>\n <Team Name=\"A&bogus;\"/>\n</NameListFile>\n");
    EXPECT_FALSE(list.LoadFromFile(path));
    EXPECT_EQ(Describe(list), QStringLiteral("A:a1|B:"));
    EXPECT_THROW(list.SaveToFile(Path("no/such/folder/x.namelist.xml")), Exception);
}
