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
#include "NetworkLink.h"
#include "Screens.h"
#include "Shotdata.h"
#include "UiGlobals.h"
#include "UiRig.h"
#include "XmlNames.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <thread>

namespace {

class StartMenuTest : public UiRigTest {
protected:
    template <class T = QPushButton>
    static T* Control(QWidget* form, const char* name)
    {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    static QPushButton* Button(const char* name) { return Control(FormStartMenu, name); }
    static QString Count() { return Control<QLabel>(FormStartMenu, "LabelDeviceCount")->text(); }
    static bool SessionButtonsEnabled()
    {
        return Button("BitBtnDownloadSession")->isEnabled() && Button("BitBtnOpenSession")->isEnabled();
    }
};

// A network link that only records what the menu asked of it.
class TRecordingLink final : public INetworkLink {
public:
    bool ClientActive() const override { return false; }
    void ConnectClient(const QString&, int) override {}
    void CloseClient() override {}
    void SendDataOut(int) override {}
    void AskNetworkRetry() override {}
    bool ServerActive() const override { return listening; }
    void StartMonitor(int port) override
    {
        listening = true;
        ports.push_back(port);
    }
    void StopMonitor() override
    {
        listening = false;
        ++stops;
    }
    int ShooterLinkCount() const override { return 0; }
    void ShowSendMessage(const QString&, const QIcon&) override {}
    void HideSendMessage() override {}

    bool listening = false;
    std::vector<int> ports;
    int stops = 0;
};

TEST_F(StartMenuTest, ASplashClickBeforeTheScanShowsTheMenuOnlyOnce)
{
    AddUnit(91, "KBR0000091");
    ASSERT_TRUE(StartProgram());
    QTest::mouseClick(Control<QLabel>(FormStartupSplash, "ImageSplash"), Qt::LeftButton);
    ASSERT_TRUE(FormStartMenu->isVisible());

    // The operator goes on to the setup screen while the scan still runs.
    QTest::mouseClick(Button("BitBtnDynamicTraining"), Qt::LeftButton);
    EXPECT_EQ(SessionMode, SessionDynamic);
    EXPECT_TRUE(FormSelectSetup->isVisible());
    auto* hideTimer = FormStartupSplash->findChild<QTimer*>(QStringLiteral("TimerHideSplash"));
    auto* statusTimer = FormStartupSplash->findChild<QTimer*>(QStringLiteral("TimerUpdateStatus"));
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

TEST_F(StartMenuTest, OperationsSetTheModeAndShowTheirScreen)
{
    auto link = std::make_unique<TRecordingLink>();
    SetNetworkLink(link.get());
    ASSERT_TRUE(StartProgram());
    const struct {
        const char* button;
        int mode;
        QWidget* (*form)();
    } cases[] = {
        {"BitBtnDynamicTraining", SessionDynamic, [] { return static_cast<QWidget*>(FormSelectSetup); }},
        {"BitBtnDownloadSession", SessionDownload, [] { return static_cast<QWidget*>(FormPrepareDownload); }},
        {"BitBtnOpenSession", SessionOpenFile, [] { return static_cast<QWidget*>(FormOpenSession); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        FormStartMenu->ShowInFront();
        link->listening = true;
        QTest::mouseClick(Button(c.button), Qt::LeftButton);
        EXPECT_EQ(SessionMode, c.mode);
        EXPECT_TRUE(c.form()->isVisible());
        EXPECT_FALSE(FormStartMenu->isVisible());
        c.form()->hide();
    }
    // Opening a session file ends monitoring; the others leave it alone.
    EXPECT_EQ(link->stops, 1);
    EXPECT_FALSE(CurrentSession->date.isEmpty());
    SetNetworkLink(nullptr);
}

TEST_F(StartMenuTest, MonitorTrainingListensOnTheConfiguredPortOrTheDefault)
{
    auto link = std::make_unique<TRecordingLink>();
    SetNetworkLink(link.get());
    ASSERT_TRUE(StartProgram());
    MiniXMLParser::TXMLNode* network = SettingsRoot()->FindNode(QString::fromLatin1(XmlNames::Network));
    ASSERT_NE(network, nullptr);
    network->SetAttributeValue(QString::fromLatin1(XmlNames::Mode), QString::fromLatin1(XmlNames::ModeMonitor));
    FormStartMenu->ShowInFront();
    ASSERT_TRUE(Button("BitBtnMonitorTraining")->isVisible());
    EXPECT_FALSE(Button("BitBtnDynamicTraining")->isVisible());
    EXPECT_FALSE(Button("BitBtnDownloadSession")->isVisible());

    const struct {
        const char* setting;
        int port;
    } cases[] = {{"15000", 15000}, {" 80 ", 80}, {"65535", 65535}, {"0", 14351}, {"65536", 14351},
                 {"-1", 14351},    {"port", 14351}, {"", 14351}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        network->SetAttributeValue(QString::fromLatin1(XmlNames::MonitorPort), QString::fromLatin1(c.setting));
        QTest::mouseClick(Button("BitBtnMonitorTraining"), Qt::LeftButton);
        ASSERT_FALSE(link->ports.empty());
        EXPECT_EQ(link->ports.back(), c.port);
        EXPECT_EQ(SessionMode, SessionMonitor);
        EXPECT_TRUE(Control<QLabel>(FormStartMenu, "LabelWaitingForConnections")->isVisible());
        QTest::mouseClick(Button("BitBtnMonitorTraining"), Qt::LeftButton);
        EXPECT_EQ(SessionMode, SessionNone);
        EXPECT_FALSE(link->listening);
    }

    // The settings dialog switches monitoring off before it opens.
    QTest::mouseClick(Button("BitBtnMonitorTraining"), Qt::LeftButton);
    const int stops = link->stops;
    QTimer::singleShot(0, FormApplicationSettings, [] { FormApplicationSettings->reject(); });
    QTest::mouseClick(Button("ButtonAppSettings"), Qt::LeftButton);
    EXPECT_EQ(link->stops, stops + 1);
    SetNetworkLink(nullptr);
}

TEST_F(StartMenuTest, ReconnectAllKeepsShotsAndRescans)
{
    unitsim::TSimUnit& first = AddUnit(91, "KBR0000091");
    unitsim::TSimUnit& second = AddUnit(92, "KBR0000092");
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(WaitForStartMenu());
    ASSERT_EQ(DeviceManagerInstance->FoundDeviceCount(), 2);
    TShooter* withShot = DeviceManagerInstance->Connected()[0]->Shooter();
    TShooter* withoutShot = DeviceManagerInstance->Connected()[1]->Shooter();
    ASSERT_NE(withShot, nullptr);
    ASSERT_NE(withoutShot, nullptr);
    withShot->AddShot(std::make_unique<TShot>());
    first.ClearReceived();
    second.ClearReceived();

    QTest::mouseClick(Control<QLabel>(FormStartMenu, "ImageDeviceCount"), Qt::LeftButton);
    ASSERT_TRUE(FormStartMenu->Reconnecting());
    EXPECT_TRUE(DeviceManagerInstance->Connected().empty());
    EXPECT_GT(BusyCursorDepth(), 0);
    // The shooter with a shot stays in the session; the other one is gone.
    bool kept = false;
    for (int i = 0; i < CurrentSession->ShooterCount(); ++i) {
        kept = kept || CurrentSession->GetShooter(i) == withShot;
        EXPECT_NE(CurrentSession->GetShooter(i), withoutShot);
    }
    EXPECT_TRUE(kept);

    // The device-count timer runs meanwhile and must not let the operator on.
    bool enabledEarly = false;
    ASSERT_TRUE(WaitFor([&] {
        const bool waiting = FormStartMenu->Reconnecting();
        enabledEarly = enabledEarly
            || (waiting && (SessionButtonsEnabled() || Button("BitBtnDynamicTraining")->isEnabled()
                            || Control<QLabel>(FormStartMenu, "ImageDeviceCount")->isEnabled()));
        return !waiting;
    }));
    EXPECT_FALSE(enabledEarly);
    // Both units were opened and identified again.
    EXPECT_TRUE(first.WaitForCount('a', 1, std::chrono::seconds(5)));
    EXPECT_TRUE(second.WaitForCount('a', 1, std::chrono::seconds(5)));
    ASSERT_TRUE(WaitFor([] { return DeviceManagerInstance->FoundDeviceCount() == 2 && Count() == QLatin1String("2"); }));
    EXPECT_TRUE(SessionButtonsEnabled());
    EXPECT_TRUE(Button("BitBtnDynamicTraining")->isEnabled());
    EXPECT_EQ(BusyCursorDepth(), 0);
}

TEST_F(StartMenuTest, LogLinesFromAnyThreadReachTheCappedView)
{
    ASSERT_TRUE(StartProgram());
    ASSERT_TRUE(WaitForStartMenu());
    auto* memo = Control<QPlainTextEdit>(FormStartMenu, "MemoLog");
    ASSERT_NE(memo, nullptr);
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
    QTest::mouseClick(Control<QLabel>(FormStartMenu, "LabelDeviceCount"), Qt::LeftButton);
    EXPECT_TRUE(memo->isVisible());
    SaveScreen(*FormStartMenu, QStringLiteral("start_menu_log"));
}

}  // namespace
