// The program's start-up and shutdown against a scratch data folder, with
// simulated units behind the ports: the first run, the splash up to the start
// menu, a damaged settings file, a language, the grading file's reports, a
// shutdown without the device manager and an exception that reaches the event
// loop. The start menu: counts while units identify, the operations,
// reconnecting all units, the monitor server's port and the diagnostics log.
#include "AppPaths.h"
#include "AppSettings.h"
#include "AppStartup.h"
#include "DiagnosticsLog.h"
#include "Device.h"
#include "DeviceEvents.h"
#include "DeviceManager.h"
#include "FormApplicationSettings.h"
#include "FormNameListEditor.h"
#include "FormOpenSession.h"
#include "FormPrepareDownload.h"
#include "FormSelectSetup.h"
#include "FormStartMenu.h"
#include "FormStartupSplash.h"
#include "Globals.h"
#include "GradingReports.h"
#include "Targetrenderer.h"
#include "UiRig.h"
#include "XmlNames.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <gmock/gmock.h>

#include <thread>
#include <tuple>
#include <utility>

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

// The scan's closing wait lasts seconds on a real start; meanwhile the splash
// tells every tick what the units are doing, over the scan's last progress
// line ("COM92. 2/2").
TEST_F(StartupTest, SplashShowsTheUnitsEveryTickWhileTheScanSettles)
{
    AddUnit(91, "KBR0000091");
    AddUnit(92, "KBR0000092");
    std::vector<std::pair<QString, bool>> statuses; // text, shown while the scan ran
    // The closing wait lasts until the splash has shown both units found
    // (identifying takes long on a loaded machine), 30 s at most.
    QElapsedTimer limit;
    limit.start();
    ASSERT_TRUE(StartProgram([&] {
        TDeviceManagerTimings& t = TDeviceManager::Instance()->timings;
        t.settleSteps = 1 << 30;
        t.settleStepMs = 20;
        QObject::connect(FormStartupSplash, &TFormStartupSplash::StatusShown, [&](const QString& text) {
            const bool scanning = DeviceManagerInstance->Scanning();
            statuses.emplace_back(text, scanning);
            const bool bothShown = text.startsWith(QLatin1String("Found devices:"))
                && DeviceManagerInstance->FoundDeviceCount() == 2;
            if ((scanning && bothShown) || limit.elapsed() > 30000)
                TDeviceManager::Instance()->timings.settleSteps = 0;
        });
    }));
    ASSERT_TRUE(WaitForStartMenu(std::chrono::seconds(60)));
    QStringList shown;
    for (const auto& [text, scanning] : statuses)
        shown << text + (scanning ? QStringLiteral(" (scan)") : QString());
    EXPECT_TRUE(shown.contains(QStringLiteral("COM92. 2/2 (scan)"))) << shown.join('|').toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("Found devices:  COM91 COM92 (scan)"))) << shown.join('|').toStdString();
    EXPECT_EQ(shown.last(), QStringLiteral("Found devices:  COM91 COM92"));
}

// The team names the operator keeps in a file of their own are there after
// the start, in the editor's grids too.
TEST_F(StartupTest, TheTeamNameListOfTheSettingsIsLoadedAtTheStart)
{
    const QString names = WriteFile(DataFile(QStringLiteral("club.namelist.xml")),
                                    "<NameListFile><Team Name=\"Club\"><Shooter Name=\"Ann\"/>"
                                    "<Shooter Name=\"Bo\"/></Team></NameListFile>");
    WriteFile(DataFile(QStringLiteral("TRAXEL.settings.xml")),
              "<TRAXELAppSettings><Options><TeamNameListFile>" + names.toUtf8()
                  + "</TeamNameListFile></Options></TRAXELAppSettings>");
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(WaitForStartMenu());
    EXPECT_EQ(DescribeNameList(FormNameListEditor->NameList()), QStringLiteral("Club:Ann,Bo"));
    const auto* shooters = Control<QTableView>(FormNameListEditor, "StringGridShooters");
    ASSERT_EQ(shooters->model()->rowCount(), 2);
    EXPECT_EQ(shooters->model()->index(1, 0).data().toString(), QStringLiteral("Bo"));
}

TEST_F(StartupTest, FoldersAndTheDefaultSetupCopy)
{
    // The Shot files folder there, an own default list in the Setups folder.
    const struct { bool shotFilesExist; QByteArray ownDefaultSetup; int boxes; } cases[] = {
        {true, QByteArray(), 0}, {true, QByteArray("<kept/>"), 0}, {false, QByteArray(), 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ownDefaultSetup.toStdString() + (c.shotFilesExist ? " shot files" : ""));
        QDir(DataFile(QString())).removeRecursively();
        if (c.shotFilesExist) {
            ASSERT_TRUE(QDir().mkpath(DataFile(QStringLiteral("Shot files"))));
        }
        if (!c.ownDefaultSetup.isEmpty())
            WriteFile(DataFile(QStringLiteral("Setups/default.setup.xml")), c.ownDefaultSetup);
        prompts.shown.clear();
        ASSERT_TRUE(ApplicationStartup());
        EXPECT_EQ(prompts.Count(FoldersCreated), c.boxes);
        const QByteArray copied = ReadAll(DataFile(QStringLiteral("Setups/default.setup.xml")));
        EXPECT_EQ(copied, c.ownDefaultSetup.isEmpty() ? ReadAll(ShippedDefaultSetupPath()) : c.ownDefaultSetup);
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

// Started from a folder without the shipped list: nothing to copy, and the
// diagnostics log says so instead of the copy failing silently.
TEST_F(StartupTest, AFailedDefaultSetupCopyIsLogged)
{
    ASSERT_TRUE(QDir().mkpath(DataFile(QStringLiteral("Shot files"))));
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    const QString programFolder = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    const bool started = ApplicationStartup();
    QDir::setCurrent(programFolder);
    ASSERT_TRUE(started);
    ASSERT_NE(DiagnosticsLog(), nullptr);
    const QStringList lines = DiagnosticsLog()->Take();
    EXPECT_EQ(lines.filter(QStringLiteral("Default setup not copied to ")).size(), 1)
        << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(QFileInfo(DataFile(QStringLiteral("Setups"))).isDir());
    EXPECT_TRUE(prompts.shown.empty());
    ApplicationShutdown();
    SetAppFolder(programFolder);
}

TEST_F(StartupTest, DamagedSettingsAreKeptAsOldAndDefaultsUsed)
{
    const QByteArray damaged("<TRAXELAppSettings><Network Mode=\"Node\"");
    WriteFile(DataFile(QStringLiteral("TRAXEL.settings.xml")), damaged);
    ASSERT_TRUE(StartProgram());
    EXPECT_EQ(prompts.Count(SettingsDamaged), 1);
    EXPECT_EQ(prompts.shown.front().caption, QStringLiteral("Information"));
    EXPECT_EQ(ReadAll(SettingsFileName() + QStringLiteral(".old")), damaged);
    EXPECT_EQ(GetNetworkMode(), QStringLiteral("Disable"));
}

TEST_F(StartupTest, AnInstalledLanguageTranslatesTheStartMenu)
{
    const QStringList shipped = QDir(LanguagesFolder()).entryList({QStringLiteral("*.lang.txt")});
    ASSERT_FALSE(shipped.isEmpty());
    const QByteArray language = ReadAll(LanguagesFolder() + QLatin1Char('/') + shipped.first());
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
    WriteFile(file, "group = stand\ngrade = 1;2\n");
    { TTargetRenderer a; TTargetRenderer b; }
    EXPECT_EQ(prompts.Count(QStringLiteral("Grading: error on row: \ngrade = 1;2")), 1);
    ASSERT_FALSE(prompts.shown.empty());
    EXPECT_EQ(std::pair(prompts.shown.back().caption, prompts.shown.back().buttons),
              std::pair(QStringLiteral("Grading parameter file error"), TMsgButtons::OK));

    // An edited file is another file; a full table asks with three buttons.
    const QByteArray fullGrades = "group = stand\ngrade = 1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1\n";
    WriteFile(file, fullGrades + QByteArray("tire = 1;1;1;1\n").repeated(201));
    prompts.shown.clear();
    { TTargetRenderer c; TTargetRenderer d; }
    ASSERT_EQ(prompts.Texts(), QStringList {"Grading file error"});
    EXPECT_EQ(std::pair(prompts.shown[0].caption, prompts.shown[0].buttons),
              std::pair(QStringLiteral("tire Row index too large"), TMsgButtons::AbortRetryIgnore));
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

// ---- The start menu ----------------------------------------------------------------

class StartMenuTest : public UiRigTest {
protected:
    static QString Count() { return Control<QLabel>(FormStartMenu, "LabelDeviceCount")->text(); }
    static bool SessionButtonsEnabled()
    {
        return Control(FormStartMenu, "BitBtnDownloadSession")->isEnabled()
            && Control(FormStartMenu, "BitBtnOpenSession")->isEnabled();
    }
};

TEST_F(StartMenuTest, ASplashClickBeforeTheScanShowsTheMenuOnlyOnce)
{
    AddUnit(91, "KBR0000091");
    ASSERT_TRUE(StartProgram());
    Click(Control<QLabel>(FormStartupSplash, "ImageSplash"));
    ASSERT_TRUE(FormStartMenu->isVisible());

    // The operator goes on to the setup screen while the scan still runs.
    Click(Control(FormStartMenu, "BitBtnDynamicTraining"));
    EXPECT_TRUE(FormSelectSetup->isVisible());
    auto* hideTimer = Control<QTimer>(FormStartupSplash, "TimerHideSplash");
    auto* statusTimer = Control<QTimer>(FormStartupSplash, "TimerUpdateStatus");
    ASSERT_TRUE(WaitFor([&] {
        return DeviceManagerInstance->FoundDeviceCount() == 1 && !statusTimer->isActive() && !hideTimer->isActive();
    }));
    EXPECT_FALSE(FormStartMenu->isVisible());
}

TEST_F(StartMenuTest, CountsWhileAUnitIdentifiesAndTheBoundedSplash)
{
    AddUnit(91, "KBR0000091");
    AddUnit(92, "KBR0000092");
    unitsim::TSimUnit& silent = AddUnit(93, "KBR0000093");
    silent.SetMute(true);
    // The splash stops waiting for the silent unit.
    UiTimings().splashIdentifyLimitMs = 300;
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(WaitForStartMenu());
    ASSERT_TRUE(WaitFor([] { return Count() == QLatin1String("2 (1)"); })) << Count().toStdString();
    EXPECT_FALSE(SessionButtonsEnabled());
    EXPECT_EQ(Control<QLabel>(FormStartMenu, "LabelPorts")->text(), QStringLiteral(" COM93"));

    silent.SetMute(false);
    silent.SendPowerUp();
    ASSERT_TRUE(WaitFor([] { return Count() == QLatin1String("3"); })) << Count().toStdString();
    EXPECT_TRUE(SessionButtonsEnabled());
}

// Training and opening a file are driven by the road tests; here the
// download, and the monitoring that only opening a file ends.
TEST_F(StartMenuTest, DownloadAndOpenSetTheModeAndOpenEndsMonitoring)
{
    TRecordingLink link;
    SetNetworkLink(&link);
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(WaitForStartMenu());
    link.listening = true;
    Click(Control(FormStartMenu, "BitBtnDownloadSession"));
    EXPECT_EQ(std::tuple(SessionMode, FormPrepareDownload->isVisible(), link.stops),
              std::tuple(int(SessionDownload), true, 0));
    EXPECT_FALSE(CurrentSession->date.isEmpty());
    FormPrepareDownload->hide();
    FormStartMenu->ShowInFront();
    Click(Control(FormStartMenu, "BitBtnOpenSession"));
    EXPECT_EQ(std::pair(SessionMode, link.stops), std::pair(int(SessionOpenFile), 1));
}

TEST_F(StartMenuTest, MonitorTrainingListensOnTheConfiguredPortOrTheDefault)
{
    TRecordingLink link;
    SetNetworkLink(&link);
    ASSERT_TRUE(StartProgram());
    MiniXMLParser::TXMLNode* network = SettingsRoot()->FindNode(QString::fromLatin1(XmlNames::Network));
    ASSERT_NE(network, nullptr);
    network->SetAttributeValue(QString::fromLatin1(XmlNames::Mode), QString::fromLatin1(XmlNames::ModeMonitor));
    FormStartMenu->ShowInFront();
    QPushButton* monitor = Control(FormStartMenu, "BitBtnMonitorTraining");
    ASSERT_TRUE(monitor->isVisible());
    EXPECT_FALSE(Control(FormStartMenu, "BitBtnDynamicTraining")->isVisible());

    const std::pair<const char*, int> cases[] = {{"15000", 15000}, {" 80 ", 80}, {"65535", 65535}, {"0", 14351},
                                                 {"65536", 14351}, {"-1", 14351}, {"port", 14351}, {"", 14351}};
    auto* waiting = Control<QLabel>(FormStartMenu, "LabelWaitingForConnections");
    for (const auto& [setting, port] : cases) {
        SCOPED_TRACE(setting);
        network->SetAttributeValue(QString::fromLatin1(XmlNames::MonitorPort), QString::fromLatin1(setting));
        Click(monitor);
        ASSERT_FALSE(link.ports.empty());
        EXPECT_EQ(std::tuple(link.ports.back(), SessionMode, waiting->isVisible()),
                  std::tuple(port, int(SessionMonitor), true));
        Click(monitor);
        EXPECT_EQ(std::pair(SessionMode, link.listening), std::pair(int(SessionNone), false));
    }

    // The settings dialog switches monitoring off before it opens.
    Click(monitor);
    const int stops = link.stops;
    QTimer::singleShot(0, FormApplicationSettings, [] { FormApplicationSettings->reject(); });
    Click(Control(FormStartMenu, "ButtonAppSettings"));
    EXPECT_EQ(link.stops, stops + 1);
}

// Without viewers: a shooter with shots stays in the session, one without
// goes; both units are identified anew.
TEST_F(StartMenuTest, ReconnectAllKeepsShotsAndRescans)
{
    unitsim::TSimUnit& first = AddUnit(91, "KBR0000091");
    unitsim::TSimUnit& second = AddUnit(92, "KBR0000092");
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(WaitForStartMenu());
    ASSERT_EQ(DeviceManagerInstance->FoundDeviceCount(), 2);
    TShooter* withShot = DeviceManagerInstance->Connected()[0]->Shooter();
    TShooter* withoutShot = DeviceManagerInstance->Connected()[1]->Shooter();
    ASSERT_TRUE(withShot && withoutShot);
    withShot->AddShot(std::make_unique<TShot>());
    first.ClearReceived();
    second.ClearReceived();

    Click(Control<QLabel>(FormStartMenu, "ImageDeviceCount"));
    ASSERT_TRUE(FormStartMenu->Reconnecting());
    EXPECT_GT(BusyCursorDepth(), 0);
    ASSERT_EQ(CurrentSession->ShooterCount(), 1);
    EXPECT_EQ(CurrentSession->GetShooter(0), withShot);

    ASSERT_TRUE(WaitFor([] { return !FormStartMenu->Reconnecting() && Count() == QLatin1String("2"); }));
    EXPECT_TRUE(first.WaitForCount('a', 1, std::chrono::seconds(5)));
    EXPECT_TRUE(second.WaitForCount('a', 1, std::chrono::seconds(5)));
    EXPECT_TRUE(SessionButtonsEnabled());
    EXPECT_EQ(BusyCursorDepth(), 0);
}

TEST_F(StartMenuTest, LogLinesFromAnyThreadReachTheCappedView)
{
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(WaitForStartMenu());
    auto* memo = Control<QPlainTextEdit>(FormStartMenu, "MemoLog");
    std::thread serial([] {
        for (int i = 0; i < 10050; ++i)
            DebugLog(QStringLiteral("line %1").arg(i));
    });
    serial.join();
    ASSERT_TRUE(WaitFor([&] { return memo->toPlainText().contains(QLatin1String("\nline 10049")); }));
    EXPECT_EQ(memo->blockCount(), 10000);
    const QStringList lines = memo->toPlainText().split(QLatin1Char('\n'));
    EXPECT_FALSE(lines.contains(QStringLiteral("line 49")));
    EXPECT_TRUE(lines.contains(QStringLiteral("line 9000")));

    FormStartMenu->ShowInFront();
    EXPECT_FALSE(memo->isVisible());
    Click(Control<QLabel>(FormStartMenu, "LabelDeviceCount"));
    EXPECT_TRUE(memo->isVisible());
    SaveScreen(*FormStartMenu, QStringLiteral("start_menu_log"));
}

}  // namespace
