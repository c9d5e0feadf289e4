#include "AppPaths.h"
#include "AppSettings.h"
#include "Globals.h"
#include "Prompts.h"
#include "SessionFixtures.h"
#include "Translation.h"
#include "XmlNames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using MiniXMLParser::TXMLNode;

namespace {

class TRecordingPrompts final : public IPrompts {
public:
    TMsgResult MessageBox(const QString& text, const QString& caption, TMsgButtons buttons) override
    {
        Shown.push_back({text, caption});
        Buttons.push_back(buttons);
        return TMsgResult::OK;
    }
    std::vector<std::pair<QString, QString>> Shown;
    std::vector<TMsgButtons> Buttons;
};

QStringList ChildNames(const TXMLNode* node)
{
    QStringList names;
    for (int i = 0; i < node->GetNodeCount(); ++i)
        names.append(node->GetNode(i)->Name());
    return names;
}

class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FTemp.isValid());
        SetAppDataFolder(FTemp.path());
        ASSERT_TRUE(QDir().mkpath(DataFolder()));
        ResetTranslation();
        SetSettingsRoot(nullptr);
        SetAdvancedModeOn(false);
        SetPrompts(&FPrompts);
    }
    void TearDown() override
    {
        SetPrompts(nullptr);
        SetSettingsRoot(nullptr);
        ResetTranslation();
    }

    QTemporaryDir FTemp;
    TRecordingPrompts FPrompts;
};

const QStringList OptionOrder = {"ClearShotsAfterDownload", "AlwaysShowSaveDialogs", "StartAutomatically", "SimplifyUI",
                                 "QuickGrading", "DefaultSetupFile", "LimitShotsDrawn", "DataoutMode",
                                 "BluetoothPorts", "AutoZoom", "TeamNameListFile", "AdvancedSettings", "GunMounting"};

}  // namespace

TEST_F(AppSettingsTest, FirstStartBuildsTheDefaultDocumentInOrder)
{
    LoadApplicationSettings();
    EXPECT_TRUE(FPrompts.Shown.empty());
    TXMLNode* root = SettingsRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Name() + root->GetAttributeValue("CreatedBy"), QStringLiteral("TRAXELAppSettingsTRAXEL 2.1"));
    EXPECT_EQ(ChildNames(root), (QStringList {"Network", "Options", "QuickGrading"}));

    const TXMLNode* network = root->FindNode("Network");
    EXPECT_EQ(network->AttributeNameAt(0), QStringLiteral("Mode"));
    EXPECT_EQ(network->GetAttributeValue("MonitorIP"), QStringLiteral("?"));
    EXPECT_EQ(network->GetAttributeValue("MonitorPort"), QStringLiteral("14351"));
    EXPECT_EQ(GetNetworkMode(), QStringLiteral("Disable"));

    const TXMLNode* options = root->FindNode("Options");
    EXPECT_EQ(ChildNames(options), OptionOrder);
    EXPECT_EQ(options->GetAttributeCount(), 0);
    EXPECT_EQ(GetOptionString("DefaultSetupFile"), SetupsFolder() + "/default.setup.xml");

    const TXMLNode* grading = root->FindNode("QuickGrading");
    EXPECT_EQ(grading->GetAttributeValue("Position"), QStringLiteral("Standing"));
    EXPECT_EQ(grading->GetAttributeValue("SkillLevel"), QStringLiteral("Unqualified"));
}

TEST_F(AppSettingsTest, ExistingValuesStayAndGapsAreFilled)
{
    WriteAll(SettingsFileName(),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
             "<TRAXELAppSettings CreatedBy=\"TRAXEL 1.0\">\r\n"
             " <QuickGrading SkillLevel=\"Expert\"/>\r\n"
             " <Network Mode=\"Node\"/>\r\n"
             " <Options>\r\n"
             "  <AutoZoom>false</AutoZoom>\r\n"
             "  <StartAutomatically>TRUE</StartAutomatically>\r\n"
             "  <BluetoothPorts></BluetoothPorts>\r\n"
             "  <Custom>kept</Custom>\r\n"
             " </Options>\r\n"
             "</TRAXELAppSettings>\r\n"
             "a stray line another tool left\r\n");
    LoadApplicationSettings();
    EXPECT_TRUE(FPrompts.Shown.empty());
    TXMLNode* root = SettingsRoot();
    EXPECT_EQ(root->GetAttributeValue("CreatedBy"), QStringLiteral("TRAXEL 2.1"));
    // Present elements keep their place; nothing is added twice.
    EXPECT_EQ(ChildNames(root), (QStringList {"QuickGrading", "Network", "Options"}));
    EXPECT_EQ(GetNetworkMode(), QStringLiteral("Node"));
    EXPECT_EQ(root->FindNode("Network")->GetAttributeValue("MonitorPort"), QStringLiteral("14351"));
    EXPECT_EQ(root->FindNode("QuickGrading")->GetAttributeValue("SkillLevel"), QStringLiteral("Expert"));
    EXPECT_EQ(root->FindNode("QuickGrading")->GetAttributeValue("Position"), QStringLiteral("Standing"));

    EXPECT_FALSE(GetOptionBool("AutoZoom"));
    EXPECT_TRUE(GetOptionBool("StartAutomatically"));
    EXPECT_EQ(GetOptionString("BluetoothPorts"), QStringLiteral("2"));  // empty text gets its default
    EXPECT_EQ(GetOptionString("Custom"), QStringLiteral("kept"));
    const QStringList names = ChildNames(root->FindNode("Options"));
    EXPECT_EQ(names.mid(0, 4), (QStringList {"AutoZoom", "StartAutomatically", "BluetoothPorts", "Custom"}));
    EXPECT_EQ(names.size(), 4 + OptionOrder.size() - 3);
    EXPECT_EQ(names.mid(4, 3), (QStringList {"ClearShotsAfterDownload", "AlwaysShowSaveDialogs", "SimplifyUI"}));
}

TEST_F(AppSettingsTest, BadFilesAreReportedCopiedAndReplacedByDefaults)
{
    SetTranslationList({"Error loading application settings. Defaults used.=Fehler beim Laden.",
                        "Information=Hinweis"});
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
        FPrompts.Shown.clear();
        LoadApplicationSettings();
        ASSERT_EQ(FPrompts.Shown.size(), 1u);
        EXPECT_EQ(FPrompts.Shown[0], std::make_pair(QStringLiteral("Fehler beim Laden."), QStringLiteral("Hinweis")));
        EXPECT_EQ(FPrompts.Buttons.back(), TMsgButtons::OK);
        EXPECT_EQ(ReadAll(SettingsFileName() + ".old"), bad);
        EXPECT_EQ(ReadAll(SettingsFileName()), bad);  // stays until the next save
        EXPECT_EQ(SettingsRoot()->Name(), QStringLiteral("TRAXELAppSettings"));
        EXPECT_EQ(GetNetworkMode(), QStringLiteral("Disable"));

        EXPECT_TRUE(SaveApplicationSettings());
        EXPECT_TRUE(ReadAll(SettingsFileName()).startsWith("\xEF\xBB\xBF<?xml"));
        EXPECT_EQ(ReadAll(SettingsFileName() + ".old"), bad);
        LoadApplicationSettings();
        EXPECT_EQ(FPrompts.Shown.size(), 1u);  // the saved file loads cleanly
    }

    // A file that cannot be opened at all (here: a folder in its place), and a
    // save that cannot replace it is reported, not passed over.
    ASSERT_TRUE(QFile::remove(SettingsFileName()));
    ASSERT_TRUE(QDir().mkdir(SettingsFileName()));
    LoadApplicationSettings();
    EXPECT_EQ(FPrompts.Shown.size(), 2u);
    EXPECT_EQ(GetNetworkMode(), QStringLiteral("Disable"));
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

    SetOptionString("GunMounting", "left");
    EXPECT_TRUE(SaveApplicationSettings());
    EXPECT_FALSE(SaveApplicationSettings());
    SetSettingsRoot(nullptr);
    LoadApplicationSettings();
    EXPECT_EQ(GetOptionString("GunMounting"), QStringLiteral("left"));

    // Texts with markup characters and non-ASCII survive the file.
    SetOptionString("TeamNameListFile", QStringLiteral("/data/Ä & <B>/teams.namelist.xml"));
    EXPECT_TRUE(SaveApplicationSettings());
    SetSettingsRoot(nullptr);
    LoadApplicationSettings();
    EXPECT_EQ(GetOptionString("TeamNameListFile"), QStringLiteral("/data/Ä & <B>/teams.namelist.xml"));
    EXPECT_TRUE(FPrompts.Shown.empty());

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
    EXPECT_EQ(GetNetworkMode(), QStringLiteral("Disable"));
    EXPECT_FALSE(GetAlwaysShowSaveDialogs());

    SetOptionString("AdvancedSettings", "True");  // adds Options and the child
    EXPECT_TRUE(GetOptionBool("AdvancedSettings"));
    EXPECT_TRUE(IsAdvancedMode());
    // Element names are exact.
    EXPECT_EQ(GetOptionString("advancedsettings"), QString());
}
