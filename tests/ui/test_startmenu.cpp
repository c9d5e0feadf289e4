// The splash's hand-over and the start menu: counts while units identify,
// the operations, reconnecting all units, the monitor server's port and the
// diagnostics log.
#include "AppSettings.h"
#include "Device.h"
#include "DeviceManager.h"
#include "FormApplicationSettings.h"
#include "FormOpenSession.h"
#include "FormPrepareDownload.h"
#include "FormSelectSetup.h"
#include "FormStartMenu.h"
#include "FormStartupSplash.h"
#include "Globals.h"
#include "Screens.h"
#include "Shotdata.h"
#include "UiGlobals.h"
#include "UiRig.h"
#include "XmlNames.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>

#include <thread>

namespace {

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
    link.listening = true;
    Click(Control(FormStartMenu, "BitBtnDownloadSession"));
    EXPECT_EQ(SessionMode, SessionDownload);
    EXPECT_TRUE(FormPrepareDownload->isVisible());
    EXPECT_FALSE(FormStartMenu->isVisible());
    EXPECT_FALSE(CurrentSession->date.isEmpty());
    EXPECT_EQ(link.stops, 0);
    FormPrepareDownload->hide();
    FormStartMenu->ShowInFront();
    Click(Control(FormStartMenu, "BitBtnOpenSession"));
    EXPECT_EQ(SessionMode, SessionOpenFile);
    EXPECT_EQ(link.stops, 1);
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
    for (const auto& [setting, port] : cases) {
        SCOPED_TRACE(setting);
        network->SetAttributeValue(QString::fromLatin1(XmlNames::MonitorPort), QString::fromLatin1(setting));
        Click(monitor);
        ASSERT_FALSE(link.ports.empty());
        EXPECT_EQ(link.ports.back(), port);
        EXPECT_EQ(SessionMode, SessionMonitor);
        EXPECT_TRUE(Control<QLabel>(FormStartMenu, "LabelWaitingForConnections")->isVisible());
        Click(monitor);
        EXPECT_EQ(SessionMode, SessionNone);
        EXPECT_FALSE(link.listening);
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
