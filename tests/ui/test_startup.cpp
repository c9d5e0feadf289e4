// The program's start-up and shutdown against a scratch data folder, with
// simulated units behind the ports: the first run, the splash up to the
// start menu, a damaged settings file, a language, the grading file's
// reports, a shutdown without the device manager and an exception that
// reaches the event loop.
#include "AppPaths.h"
#include "AppSettings.h"
#include "AppStartup.h"
#include "DeviceEvents.h"
#include "DeviceManager.h"
#include "FormStartMenu.h"
#include "FormStartupSplash.h"
#include "Globals.h"
#include "GradingReports.h"
#include "Screens.h"
#include "Shotdata.h"
#include "Targetrenderer.h"
#include "UiGlobals.h"
#include "UiRig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>

#include <gmock/gmock.h>

namespace {

using ::testing::HasSubstr;

const QString FoldersCreated =
    QStringLiteral("User profile lacks some necessary storage folders. These folders are created.");
const QString SettingsDamaged = QStringLiteral("Error loading application settings. Defaults used.");

class StartupTest : public UiRigTest {
protected:
    QString DataFile(const QString& name) const { return DataPath() + QStringLiteral("/Tavrik/TRAXEL/") + name; }
};

TEST_F(StartupTest, FirstRunScansTheUnitsAndGivesWayToTheStartMenu)
{
    unitsim::TSimUnit& first = AddUnit(91, "KBR0000091");
    AddUnit(92, "KBR0000092");
    // COM91 keeps identifying until it is heard again.
    first.SetMute(true);

    QStringList statuses;
    bool splashSaved = false;
    ASSERT_TRUE(StartProgram([&] {
        QObject::connect(FormStartupSplash, &TFormStartupSplash::StatusShown, [&](const QString& text) {
            statuses << text;
            if (!splashSaved && text.startsWith(QLatin1String("Scanning"))) {
                SaveScreen(*FormStartupSplash, QStringLiteral("startup_splash"));
                splashSaved = true;
            }
        });
    }));
    EXPECT_EQ(prompts.Count(FoldersCreated), 1);
    EXPECT_TRUE(QFileInfo(ShotFilesFolder()).isDir());
    EXPECT_TRUE(QFileInfo::exists(SetupsFolder() + QStringLiteral("/default.setup.xml")));

    ASSERT_TRUE(WaitFor([&] { return statuses.contains(QStringLiteral("Scanning 1:  COM91 COM92")); }))
        << statuses.join(QLatin1Char('|')).toStdString();
    // Still identifying: a click keeps the splash.
    Click(Control<QLabel>(FormStartupSplash, "ImageSplash"));
    EXPECT_TRUE(FormStartupSplash->isVisible());
    EXPECT_FALSE(FormStartMenu->isVisible());

    first.SetMute(false);
    first.SendPowerUp();
    ASSERT_TRUE(WaitForStartMenu());
    EXPECT_FALSE(FormStartupSplash->isVisible());
    // COM92 had not been opened yet while COM91 was first seen identifying.
    EXPECT_TRUE(statuses.contains(QStringLiteral("Scanning 1:  COM91"))) << statuses.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(statuses.last(), QStringLiteral("Found devices:  COM91 COM92"));
    EXPECT_EQ(Control<QLabel>(FormStartMenu, "LabelDeviceCount")->text(), QStringLiteral("2"));
    SaveScreen(*FormStartMenu, QStringLiteral("start_menu"));

    StopProgram();
    EXPECT_EQ(FormStartMenu, nullptr);
    prompts.shown.clear();
    ASSERT_TRUE(StartProgram());
    EXPECT_TRUE(prompts.shown.empty()) << prompts.Texts().join(QLatin1Char('|')).toStdString();
}

TEST_F(StartupTest, FoldersAndTheDefaultSetupCopy)
{
    struct Case {
        const char* what;
        bool shotFilesExist;
        QByteArray ownDefaultSetup;  // already in the Setups folder
        int boxes;
    };
    const Case cases[] = {
        {"only the Shot files folder", true, QByteArray(), 0},
        {"an own default list", true, QByteArray("<kept/>"), 0},
        {"nothing", false, QByteArray(), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(DataFile(QString())).removeRecursively();
        if (c.shotFilesExist) {
            ASSERT_TRUE(QDir().mkpath(DataFile(QStringLiteral("Shot files"))));
        }
        if (!c.ownDefaultSetup.isEmpty())
            WriteFile(DataFile(QStringLiteral("Setups/default.setup.xml")), c.ownDefaultSetup);
        prompts.shown.clear();
        ASSERT_TRUE(ApplicationStartup());
        EXPECT_EQ(prompts.Count(FoldersCreated), c.boxes);
        const QByteArray copied = ReadFile(DataFile(QStringLiteral("Setups/default.setup.xml")));
        EXPECT_EQ(copied, c.ownDefaultSetup.isEmpty() ? ReadFile(ShippedDefaultSetupPath()) : c.ownDefaultSetup);
        ApplicationShutdown();
    }
}

TEST_F(StartupTest, TheChosenDefaultSetupFileCountsOnlyWhenItExists)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString own = folder.filePath(QStringLiteral("own.setup.xml"));
    QFile(ShippedDefaultSetupPath()).copy(own);
    for (const QString& chosen : {own, folder.filePath(QStringLiteral("missing.setup.xml"))}) {
        SCOPED_TRACE(chosen.toStdString());
        SetDefaultSetupPath(QString());
        WriteFile(DataFile(QStringLiteral("TRAXEL.settings.xml")),
                  "<TRAXELAppSettings><Options><DefaultSetupFile>" + chosen.toUtf8()
                      + "</DefaultSetupFile></Options></TRAXELAppSettings>");
        ASSERT_TRUE(ApplicationStartup());
        EXPECT_EQ(DefaultSetupPath(), chosen == own ? own : StandardDefaultSetupPath());
        ApplicationShutdown();
    }
}

TEST_F(StartupTest, DamagedSettingsAreKeptAsOldAndDefaultsUsed)
{
    const QByteArray damaged("<TRAXELAppSettings><Network Mode=\"Node\"");
    WriteFile(DataFile(QStringLiteral("TRAXEL.settings.xml")), damaged);
    ASSERT_TRUE(StartProgram());
    EXPECT_EQ(prompts.Count(SettingsDamaged), 1);
    EXPECT_EQ(prompts.shown.front().caption, QStringLiteral("Information"));
    EXPECT_EQ(ReadFile(SettingsFileName() + QStringLiteral(".old")), damaged);
    EXPECT_EQ(GetNetworkMode(), QStringLiteral("Disable"));
}

TEST_F(StartupTest, AnInstalledLanguageTranslatesTheStartMenu)
{
    const QStringList shipped = QDir(LanguagesFolder()).entryList({QStringLiteral("*.lang.txt")});
    ASSERT_FALSE(shipped.isEmpty());
    const QByteArray language = ReadFile(LanguagesFolder() + QLatin1Char('/') + shipped.first());
    WriteFile(DataFile(QStringLiteral("Translations.lang.txt")), language);
    ASSERT_TRUE(QDir().mkpath(DataFile(QStringLiteral("Shot files"))));

    ASSERT_TRUE(StartProgram());
    EXPECT_EQ(Control(FormStartMenu, "BitBtnDynamicTraining")->text(), QStringLiteral("Schießtraining einrichten"));
    EXPECT_EQ(Control<QLabel>(FormStartMenu, "Label1")->text(), QStringLiteral("Arbeitsplatz des Ausbilders"));
}

TEST_F(StartupTest, ShutdownWithTheDeviceManagerGoneStillFinishes)
{
    AddUnit(91, "KBR0000091");
    ASSERT_TRUE(StartProgram());
    delete DeviceManagerInstance;
    ASSERT_EQ(DeviceManagerInstance, nullptr);

    testing::internal::CaptureStderr();
    StopProgram();
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("Multiple app destroy"));
    EXPECT_EQ(CurrentSession, nullptr);
    EXPECT_EQ(SettingsRoot(), nullptr);
}

TEST_F(StartupTest, GradingFileProblemsAreShownOncePerFile)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString file = folder.filePath(QStringLiteral("grading_default.tgp"));
    SetAppFolder(folder.path());
    InstallGradingReports();
    const QString rowError = QStringLiteral("Grading: error on row: \ngrade = 1;2");

    WriteFile(file, "group = stand\ngrade = 1;2\n");
    { TTargetRenderer a; TTargetRenderer b; }
    EXPECT_EQ(prompts.Count(rowError), 1);
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_EQ(prompts.shown.back().caption, QStringLiteral("Grading parameter file error"));
    EXPECT_EQ(prompts.shown.back().buttons, TMsgButtons::OK);

    // An edited file is another file; a full table asks with three buttons.
    QByteArray full("group = stand\ngrade = 1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1\n");
    for (int i = 0; i < 201; ++i)
        full += "tire = 1;1;1;1\n";
    WriteFile(file, full);
    prompts.shown.clear();
    { TTargetRenderer c; TTargetRenderer d; }
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, QStringLiteral("Grading file error"));
    EXPECT_EQ(prompts.shown[0].caption, QStringLiteral("tire Row index too large"));
    EXPECT_EQ(prompts.shown[0].buttons, TMsgButtons::AbortRetryIgnore);
    RemoveGradingReports();
}

TEST_F(StartupTest, AnExceptionReachingTheEventLoopIsShownAndTheLoopGoesOn)
{
    QTimer::singleShot(0, [] { throw Exception("Bad setup index"); });
    bool later = false;
    QTimer::singleShot(1, [&] { later = true; });
    ASSERT_TRUE(WaitFor([&] { return later && prompts.Count(QStringLiteral("Bad setup index")) == 1; }));
    EXPECT_EQ(prompts.shown.back().caption, QStringLiteral("Error"));
}

}  // namespace
