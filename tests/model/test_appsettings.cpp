#include "AppPaths.h"
#include "AppSettings.h"
#include "Globals.h"
#include "Prompts.h"
#include "SessionFixtures.h"
#include "XmlNames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using MiniXMLParser::TXMLNode;

namespace {

// Counts the boxes shown; their texts and caption are the start-up tests'.
class TCountingPrompts final : public IPrompts {
public:
    TMsgResult MessageBox(const QString&, const QString&, TMsgButtons) override
    {
        ++Shown;
        return TMsgResult::OK;
    }
    int Shown = 0;
};

QString ChildNames(const TXMLNode* node)
{
    QStringList names;
    for (int i = 0; i < node->GetNodeCount(); ++i)
        names.append(node->GetNode(i)->Name());
    return names.join(' ');
}

class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FTemp.isValid());
        SetAppDataFolder(FTemp.path());
        ASSERT_TRUE(QDir().mkpath(DataFolder()));
        SetSettingsRoot(nullptr);
        SetAdvancedModeOn(false);
        SetPrompts(&FPrompts);
    }
    void TearDown() override
    {
        SetPrompts(nullptr);
        SetSettingsRoot(nullptr);
    }
    QString Attributes(const char* element) const
    {
        const TXMLNode* node = SettingsRoot()->FindNode(element);
        QStringList pairs;
        for (int i = 0; i < node->GetAttributeCount(); ++i)
            pairs.append(node->AttributeNameAt(i) + '=' + node->AttributeValueAt(i));
        return pairs.join(' ');
    }

    QTemporaryDir FTemp;
    TCountingPrompts FPrompts;
};

const QString OptionOrder = "ClearShotsAfterDownload AlwaysShowSaveDialogs StartAutomatically SimplifyUI QuickGrading "
                            "DefaultSetupFile LimitShotsDrawn DataoutMode BluetoothPorts AutoZoom TeamNameListFile "
                            "AdvancedSettings GunMounting";

}  // namespace

TEST_F(AppSettingsTest, MissingPartsAreAddedInOrderAndPresentOnesStay)
{
    // First start: the whole default document.
    LoadApplicationSettings();
    TXMLNode* root = SettingsRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ((QStringList { root->Name() + root->GetAttributeValue("CreatedBy"), ChildNames(root), Attributes("Network"),
                             Attributes("QuickGrading"), ChildNames(root->FindNode("Options")), GetOptionString("DefaultSetupFile") }),
              (QStringList { "TRAXELAppSettingsTRAXEL 2.1", "Network Options QuickGrading", "Mode=Disable MonitorIP=? MonitorPort=14351",
                             "Position=Standing SkillLevel=Unqualified", OptionOrder, SetupsFolder() + "/default.setup.xml" }));

    // An older file: present elements keep their place and values, nothing is
    // added twice, an empty text gets its default.
    WriteAll(SettingsFileName(), TestData("older.appsettings.xml"));
    LoadApplicationSettings();
    EXPECT_EQ(FPrompts.Shown, 0);
    root = SettingsRoot();
    EXPECT_EQ(std::tuple(root->GetAttributeValue("CreatedBy"), ChildNames(root)),
              std::tuple(QStringLiteral("TRAXEL 2.1"), QStringLiteral("QuickGrading Network Options")));
    EXPECT_EQ(Attributes("Network"), QStringLiteral("Mode=Node MonitorIP=? MonitorPort=14351"));
    EXPECT_EQ(std::tuple(Attributes("QuickGrading"), bool(GetOptionBool("AutoZoom")), bool(GetOptionBool("StartAutomatically"))),
              std::tuple(QStringLiteral("SkillLevel=Expert Position=Standing"), false, true));
    EXPECT_EQ(GetOptionString("BluetoothPorts") + GetOptionString("Custom"), QStringLiteral("2kept"));
    EXPECT_EQ(ChildNames(root->FindNode("Options")),
              "AutoZoom StartAutomatically BluetoothPorts Custom "
                  + QString(OptionOrder).remove("StartAutomatically ").remove(" AutoZoom").remove(" BluetoothPorts"));
}

TEST_F(AppSettingsTest, BadFilesAreReportedCopiedAndReplacedByDefaults)
{
    // Well-formed XML of another kind must not become the settings root; an
    // empty file has no root at all.
    const std::pair<const char*, QByteArray> files[] = {
        {"unclosed", "<TRAXELAppSettings>\r\n <Network Mode=\"Node\"\r\n"},
        {"foreign", "<NameListFile CreatedBy=\"TRAXEL 2.1\">\r\n <Team Name=\"A\"/>\r\n</NameListFile>\r\n"},
        {"empty", ""},
    };
    for (const auto& [name, bad] : files) {
        SCOPED_TRACE(name);
        WriteAll(SettingsFileName(), bad);
        WriteAll(SettingsFileName() + ".old", "an older copy");
        FPrompts.Shown = 0;
        LoadApplicationSettings();
        EXPECT_EQ(FPrompts.Shown, 1);
        EXPECT_EQ(ReadAll(SettingsFileName() + ".old"), bad);
        EXPECT_EQ(ReadAll(SettingsFileName()), bad);  // stays until the next save
        EXPECT_EQ(SettingsRoot()->Name() + GetNetworkMode(), QStringLiteral("TRAXELAppSettingsDisable"));

        EXPECT_TRUE(SaveApplicationSettings());
        EXPECT_TRUE(ReadAll(SettingsFileName()).startsWith("\xEF\xBB\xBF<?xml"));
        EXPECT_EQ(ReadAll(SettingsFileName() + ".old"), bad);
        LoadApplicationSettings();
        EXPECT_EQ(FPrompts.Shown, 1);  // the saved file loads cleanly
    }

    // A file that cannot be opened at all (here: a folder in its place), and a
    // save that cannot replace it is reported, not passed over.
    ASSERT_TRUE(QFile::remove(SettingsFileName()));
    ASSERT_TRUE(QDir().mkdir(SettingsFileName()));
    LoadApplicationSettings();
    EXPECT_EQ(std::tuple(FPrompts.Shown, GetNetworkMode()), std::tuple(2, QStringLiteral("Disable")));
    EXPECT_THROW(SaveApplicationSettings(), Exception);
}

TEST_F(AppSettingsTest, SavedOnlyWhenTheTextChanged)
{
    LoadApplicationSettings();
    EXPECT_TRUE(SaveApplicationSettings());
    const QByteArray first = ReadAll(SettingsFileName());
    EXPECT_FALSE(SaveApplicationSettings());

    // A new run reading that file builds the same text again.
    SetSettingsRoot(nullptr);
    LoadApplicationSettings();
    EXPECT_FALSE(SaveApplicationSettings());
    EXPECT_EQ(GetOptionString("TeamNameListFile"), QStringLiteral(" "));

    // Surrounding blank lines do not count as a change.
    WriteAll(SettingsFileName(), "\xEF\xBB\xBF \r\n" + first.mid(3) + "\r\n\r\n");
    EXPECT_FALSE(SaveApplicationSettings());

    // Texts with markup characters and non-ASCII survive the file.
    SetOptionString("TeamNameListFile", QStringLiteral("/data/Ä & <B>/teams.namelist.xml"));
    EXPECT_TRUE(SaveApplicationSettings());
    EXPECT_FALSE(SaveApplicationSettings());
    SetSettingsRoot(nullptr);
    LoadApplicationSettings();
    EXPECT_EQ(GetOptionString("TeamNameListFile"), QStringLiteral("/data/Ä & <B>/teams.namelist.xml"));
    EXPECT_EQ(FPrompts.Shown, 0);

    // A save that cannot reach the data folder is reported.
    SetAppDataFolder(FTemp.path() + "/missing");
    SetOptionString("GunMounting", "right");
    EXPECT_THROW(SaveApplicationSettings(), Exception);
}

TEST_F(AppSettingsTest, AccessorsOnIncompleteDocuments)
{
    auto root = std::make_unique<TXMLNode>();
    root->SetName("TRAXELAppSettings");
    root->AddNode("Network")->SetAttributeValue("MonitorIP", "10.0.0.2");
    SetSettingsRoot(std::move(root));
    EXPECT_EQ(std::tuple(GetNetworkMode(), GetAlwaysShowSaveDialogs()), std::tuple(QStringLiteral("Disable"), false));

    SetOptionString("AdvancedSettings", "True");  // adds Options and the child
    EXPECT_EQ(std::tuple(bool(GetOptionBool("AdvancedSettings")), IsAdvancedMode()), std::tuple(true, true));
    // Element names are exact.
    EXPECT_EQ(GetOptionString("advancedsettings"), QString());
}
