// The network forms on the running program: remote viewers on a monitor,
// text messages both ways, the node's retry question, undecodable messages
// and a port that cannot be had.
#include "FormApplicationSettings.h"
#include "FormNetworkControl.h"
#include "FormSendMessage.h"
#include "NetMonitor.h"
#include "NetNode.h"
#include "NetTestSupport.h"
#include "UiRig.h"

#include "AppSettings.h"
#include "DeviceManager.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "TranslateUI.h"
#include "XmlNames.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

class NetworkFormsTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        networkForms = {[] { return static_cast<QWidget*>(new TFormNetworkControl); },
                        [] { return static_cast<QWidget*>(new TFormSendMessage); }};
        ASSERT_TRUE(StartProgram());
        ASSERT_TRUE(WaitForStartMenu());
        ASSERT_NE(Network(), nullptr);
        prompts.shown.clear();  // start-up's own boxes
    }

    static TFormNetworkControl* Network() { return dynamic_cast<TFormNetworkControl*>(FormNetworkControl); }
    static TFormSendMessage* SendForm() { return qobject_cast<TFormSendMessage*>(FormSendMessage); }

    static void SetNetwork(const char* mode, const QString& port = QString())
    {
        MiniXMLParser::TXMLNode* network = SettingsRoot()->FindNode(QString::fromLatin1(XmlNames::Network));
        network->SetAttributeValue(QString::fromLatin1(XmlNames::Mode), QString::fromLatin1(mode));
        if (!port.isEmpty())
            network->SetAttributeValue(QString::fromLatin1(XmlNames::MonitorPort), port);
    }

    void StartMonitoring()
    {
        SetNetwork(XmlNames::ModeMonitor);
        SessionMode = SessionMonitor;
        ASSERT_TRUE(Network()->StartMonitor(0));
    }

    void Serve(TNetNode& node, TSession& session)
    {
        node.session = [&session] { return &session; };
        node.Connect(QStringLiteral("127.0.0.1"), Network()->Monitor().Port());
    }

    static int Shots(const QString& serial)
    {
        const TShooter* shooter = CurrentSession->FindShooter(serial);
        return shooter ? shooter->ShotCount() : -1;
    }

    static TFormShooter* ViewerOf(const QString& serial)
    {
        for (TFormShooter* viewer : ShooterViewers)
            if (viewer->Shooter() && viewer->Shooter()->SerialNumber() == serial)
                return viewer;
        return nullptr;
    }

    static QString ShownText(TFormShooter* viewer)
    {
        const auto* panel = viewer->findChild<QWidget*>(QStringLiteral("PanelTimedMessage"));
        return panel && panel->isVisible() ? viewer->findChild<QLabel*>(QStringLiteral("LabelMessage"))->text()
                                           : QString();
    }
};

} // namespace

TEST_F(NetworkFormsTest, MonitorMirrorsTwoNodesInViewersAndFindsThemAgainAfterARestart)
{
    StartMonitoring();
    TSession first;
    TSession second;
    AddNetShooter(first, QStringLiteral("KBR0000011"), QStringLiteral("Anna"), 2);
    AddNetShooter(second, QStringLiteral("KBR0000022"), QStringLiteral("Ben"), 3);
    TNetNode nodeA;
    TNetNode nodeB;
    Serve(nodeA, first);
    Serve(nodeB, second);
    ASSERT_TRUE(WaitFor([&] {
        return Shots(QStringLiteral("KBR0000011")) == 2 && Shots(QStringLiteral("KBR0000022")) == 3
            && ShooterViewers.size() == 2 && ViewerOf(QStringLiteral("KBR0000022"))->Strip().ShotCount() == 3;
    }));
    EXPECT_EQ(Network()->ShooterLinkCount(), 2);
    EXPECT_TRUE(SessionUnsaved.load());
    TFormShooter* viewerA = ViewerOf(QStringLiteral("KBR0000011"));
    ASSERT_NE(viewerA, nullptr);
    EXPECT_EQ(viewerA->Device(), nullptr);
    EXPECT_TRUE(viewerA->HasRing());
    EXPECT_EQ(Control<QLineEdit>(viewerA, "EditShooterName")->text(), QStringLiteral("Anna"));
    EXPECT_TRUE(Control(viewerA, "BitBtnSendMessage")->isVisible());
    EXPECT_EQ(Network()->IconFor(QStringLiteral("KBR0000011")), TNetworkIcon::Connected);
    EXPECT_TRUE(FormShooterPanel->isVisible());
    for (std::size_t i = 0; i < ShooterViewers.size(); ++i)
        SaveScreen(*ShooterViewers[i], QStringLiteral("network_monitor_viewer%1").arg(i + 1));
    SaveScreen(*FormShooterPanel, QStringLiteral("network_monitor_panel"));

    // A node that goes away keeps its viewer, without the link.
    nodeA.Close();
    ASSERT_TRUE(WaitFor([&] { return Network()->IconFor(QStringLiteral("KBR0000011")) == TNetworkIcon::NotConnected; }));
    EXPECT_EQ(ShooterViewers.size(), 2u);

    // Stopped and started in the same session: the shooters are found again.
    Network()->StopMonitor();
    EXPECT_EQ(Network()->ShooterLinkCount(), 0);
    ASSERT_TRUE(WaitFor([&] { return !nodeB.Active(); }));
    ASSERT_TRUE(Network()->StartMonitor(0));
    AddNetShot(*first.GetShooter(0));
    Serve(nodeA, first);
    ASSERT_TRUE(WaitFor([&] { return Shots(QStringLiteral("KBR0000011")) == 3 && Network()->ShooterLinkCount() == 1; }));
    EXPECT_EQ(CurrentSession->ShooterCount(), 2);
    EXPECT_EQ(ShooterViewers.size(), 2u);
    ASSERT_TRUE(WaitFor([&] { return viewerA->Strip().ShotCount() == 3; }));

    // Closing the session stops the monitor and drops the records.
    prompts.queued.push_back(TMsgResult::No);
    ASSERT_TRUE(FormShooterPanel->CloseSession());
    EXPECT_FALSE(Network()->ServerActive());
    EXPECT_EQ(Network()->ShooterLinkCount(), 0);
    EXPECT_TRUE(ShooterViewers.empty());
}

TEST_F(NetworkFormsTest, SendMessageKeepsToTheDisplayAndSaysWhetherAnybodyGotIt)
{
    StartMonitoring();
    Network()->ShowSendMessage(QStringLiteral("ALL"), QIcon());
    TFormSendMessage* form = SendForm();
    ASSERT_TRUE(form && form->isVisible());
    EXPECT_EQ(Control<QLabel>(form, "LabelSendTo")->text(), QStringLiteral(" => ALL"));

    // A translation of another length stays centred.
    const QStringList german {QStringLiteral("Enter message=Bitte die Nachricht eingeben"),
                              QStringLiteral("Send Message=Nachricht senden")};
    TranslateUI(&german);
    auto* label = Control<QLabel>(form, "LabelEnterMessage");
    EXPECT_EQ(std::tuple(label->text(), form->windowTitle()),
              std::tuple(QStringLiteral("Bitte die Nachricht eingeben"), QStringLiteral("Nachricht senden")));
    EXPECT_GE(label->width(), label->sizeHint().width());
    // The text's ink lies whole inside the form with its middle at the form's.
    const QImage picture = form->grab().toImage();
    int inkLeft = picture.width(), inkRight = -1;
    for (int y = label->y(); y < label->y() + label->height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixel(x, y) != picture.pixel(0, y)) {
                inkLeft = std::min(inkLeft, x);
                inkRight = std::max(inkRight, x);
            }
    ASSERT_GT(inkRight - inkLeft, 60);
    EXPECT_GT(inkLeft, 0);
    EXPECT_LT(inkRight, picture.width() - 1);
    EXPECT_NEAR((inkLeft + inkRight) / 2.0, picture.width() / 2.0, 4.0);

    auto* memo = Control<QPlainTextEdit>(form, "MemoMessage");
    QStringList lines;
    for (int i = 0; i < 8; ++i)
        lines << QString(15, QChar(u'a' + i));
    memo->setPlainText(lines.join(QLatin1Char('\n')));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(memo, &release);
    const QStringList kept = memo->toPlainText().split(QLatin1Char('\n'));
    EXPECT_EQ(kept.size(), 6);
    EXPECT_EQ(kept.front(), QStringLiteral("aaaaaaaaaa"));
    EXPECT_EQ(prompts.beeps, 2 + 6);

    // Nobody connected: the panel says so.
    auto* panel = Control<QLabel>(form, "PanelMessageSent");
    Click(Control(form, "BitBtnSend"));
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->text(), QStringLiteral("No connection"));

    TSession session;
    AddNetShooter(session, QStringLiteral("KBR0000011"), QStringLiteral("Anna"), 0);
    TNetNode node;
    std::vector<QString> got;
    node.onTextMessage = [&](const QString& serial, const QString& text) { got.push_back(serial + "|" + text); };
    Serve(node, session);
    ASSERT_TRUE(WaitFor([&] { return Network()->IconFor(QStringLiteral("KBR0000011")) == TNetworkIcon::Connected; }));
    memo->setPlainText(QStringLiteral("Cease\nfire"));
    Click(Control(form, "BitBtnSend"));
    EXPECT_EQ(panel->text(), QStringLiteral("Message sent"));
    ASSERT_TRUE(WaitFor([&] { return got.size() == 1; }));
    EXPECT_EQ(got.front(), QStringLiteral("ALL|Cease\r\nfire"));
    SaveScreen(*form, QStringLiteral("network_send_message"));

    // An empty memo sends one blank, to a single shooter.
    form->SetRecipient(QStringLiteral("KBR0000011"));
    memo->clear();
    Click(Control(form, "BitBtnSend"));
    ASSERT_TRUE(WaitFor([&] { return got.size() == 2; }));
    EXPECT_EQ(got.back(), QStringLiteral("KBR0000011| "));
    Click(Control(form, "BitBtnClose"));
    EXPECT_FALSE(form->isVisible());
}

TEST_F(NetworkFormsTest, NodeShowsTextsOnTheViewersOfTheSerialNamed)
{
    SetNetwork(XmlNames::ModeNode);
    SessionMode = SessionClassic;
    TShooter* anna = AddShooterWithShots(*CurrentSession, QStringLiteral("Anna"), 11, NamedRing(QStringLiteral("R")), 1);
    TShooter* ben = AddShooterWithShots(*CurrentSession, QStringLiteral("Ben"), 22, NamedRing(QStringLiteral("R")), 0);
    // A shooter without a viewer, as after a failed programming.
    AddShooterWithShots(*CurrentSession, QStringLiteral("Cid"), 33, NamedRing(QStringLiteral("R")), 0);
    TFormShooter* viewerBen = AddViewer(nullptr, ben, false);
    TFormShooter* viewerAnna = AddViewer(nullptr, anna, false);

    TSession mirror;
    TNetMonitor monitor;
    monitor.SetSession(&mirror);
    ASSERT_TRUE(monitor.Start(0));
    Network()->ConnectClient(QStringLiteral("127.0.0.1"), monitor.Port());
    ASSERT_TRUE(WaitFor([&] { return monitor.LinkConnected(anna->SerialNumber()) && mirror.ShooterCount() == 3; }));
    EXPECT_TRUE(Network()->ClientActive());
    EXPECT_EQ(Network()->IconFor(anna->SerialNumber()), TNetworkIcon::Connected);

    EXPECT_EQ(monitor.SendMessageRequest(ben->SerialNumber(), QStringLiteral("Ben, wait")), 1);
    ASSERT_TRUE(WaitFor([&] { return !ShownText(viewerBen).isEmpty(); }));
    EXPECT_EQ(ShownText(viewerBen), QStringLiteral("Ben, wait"));
    EXPECT_TRUE(ShownText(viewerAnna).isEmpty());
    const int beeps = prompts.beeps;
    EXPECT_EQ(monitor.SendMessageRequest(QStringLiteral("ALL"), QStringLiteral("All stop")), 1);
    ASSERT_TRUE(WaitFor([&] { return ShownText(viewerAnna) == QStringLiteral("All stop"); }));
    EXPECT_EQ(ShownText(viewerBen), QStringLiteral("All stop"));
    EXPECT_EQ(prompts.beeps, beeps + 1);

    // A new shot is announced: the monitor pulls it.
    AddNetShot(*anna);
    Network()->SendDataOut(1);
    ASSERT_TRUE(WaitFor([&] { return mirror.FindShooter(anna->SerialNumber())->ShotCount() == 2; }));
    EXPECT_TRUE(prompts.shown.empty());
}

// The whole road of a text: typed for one serial at the monitor, shown on
// the node's live viewer of that unit and written to the unit's display.
TEST_F(NetworkFormsTest, AMonitorTextReachesTheNodesUnit)
{
    SetNetwork(XmlNames::ModeNode);
    SessionMode = SessionClassic;
    unitsim::TSimUnit& unit = AddUnit(71, "KBR0007171");
    ASSERT_TRUE(ScanUnits(1));
    TDevice* device = TDeviceManager::Instance()->FindConnectedDevice(71);
    ASSERT_NE(device, nullptr);
    TShooter* shooter = device->Shooter();
    ASSERT_NE(shooter, nullptr);
    shooter->currentTarget = NamedRing(QStringLiteral("R"));
    TFormShooter* viewer = AddViewer(device, shooter, true);
    viewer->show();

    TSession mirror;
    TNetMonitor monitor;
    monitor.SetSession(&mirror);
    ASSERT_TRUE(monitor.Start(0));
    Network()->ConnectClient(QStringLiteral("127.0.0.1"), monitor.Port());
    ASSERT_TRUE(WaitFor([&] { return monitor.LinkConnected(shooter->SerialNumber()); }));

    unit.ClearReceived();
    EXPECT_EQ(monitor.SendMessageRequest(shooter->SerialNumber(), QStringLiteral("Cease fire")), 1);
    ASSERT_TRUE(WaitFor([&] { return !unit.DisplayLines().empty() && !viewer->Waiting(); }));
    EXPECT_EQ(ShownText(viewer), QStringLiteral("Cease fire"));
    EXPECT_EQ(unit.DisplayLines().front().text, "Cease fire");
}

TEST_F(NetworkFormsTest, LostMonitorAsksOnceAndRetriesUntilNo)
{
    SetNetwork(XmlNames::ModeNode);
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    const QString question = QStringLiteral("Network connection problem. Attempt retry?");
    prompts.queued.push_back(TMsgResult::Yes);
    Network()->ConnectClient(QStringLiteral("127.0.0.1"), port);
    ASSERT_TRUE(WaitFor([&] { return prompts.Count(question) == 2 && !Network()->ClientActive(); }));
    // The default answer after the queued Yes is No: no third attempt.
    WaitFor([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(prompts.Count(question), 2);
    EXPECT_FALSE(Network()->ClientActive());
    EXPECT_EQ(Network()->IconFor(QStringLiteral("X")), TNetworkIcon::NotConnected);

    // The session closes while the retry waits: no reconnect, no question.
    UiTimings().networkRetryWaitMs = 300;
    prompts.queued.push_back(TMsgResult::Yes);
    Network()->ConnectClient(QStringLiteral("127.0.0.1"), port);
    ASSERT_TRUE(WaitFor([&] { return prompts.Count(question) == 3; }));
    Network()->CloseClient();
    WaitFor([] { return false; }, std::chrono::milliseconds(600));
    EXPECT_EQ(prompts.Count(question), 3);
    EXPECT_FALSE(Network()->ClientActive());
}

TEST_F(NetworkFormsTest, UndecodableMessagesShowOneBoxThatHoldsTheClipboardWhileItShows)
{
    StartMonitoring();
    QTcpSocket peer;
    peer.connectToHost(QStringLiteral("127.0.0.1"), Network()->Monitor().Port());
    ASSERT_TRUE(WaitFor([&] { return Network()->Monitor().ConnectionCount() == 1; }));
    for (int i = 0; i < 5; ++i)
        peer.write("<TRAXELMessage>bad " + QByteArray::number(i) + "</TRAXELMessage>");
    ASSERT_TRUE(WaitFor([&] { return Network()->DecodeErrorBox() != nullptr; }));
    WaitFor([] { return false; }, std::chrono::milliseconds(100));
    QMessageBox* box = Network()->DecodeErrorBox();
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(QApplication::topLevelWidgets().count(box), 1);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("<TRAXELMessage>bad 0</TRAXELMessage>"));
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(Network()->Monitor().ConnectionCount(), 1);
    box->close();
    ASSERT_TRUE(WaitFor([&] { return Network()->DecodeErrorBox() == nullptr; }));
    EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
}

TEST_F(NetworkFormsTest, APortInUseIsReportedAndNoMonitoringBegins)
{
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::AnyIPv4, 0));
    // The operator makes this PC the instructor's, on the taken port, in the
    // settings dialog the start menu opens; the start menu then offers
    // monitoring.
    FormStartMenu->ShowInFront();
    bool chosen = false;
    QTimer::singleShot(0, FormApplicationSettings, [&] {
        auto* network = Control<QGroupBox>(FormApplicationSettings, "RadioGroupNetwork");
        Click(network->findChildren<QRadioButton*>().value(0));  // "Instructor"
        auto* port = Control<QLineEdit>(FormApplicationSettings, "EditMonitorPort");
        port->clear();
        TypeText(port, QString::number(taken.serverPort()));
        chosen = true;
        Click(Control(FormApplicationSettings, "BitBtnOk"));
        if (FormApplicationSettings->isVisible())
            FormApplicationSettings->reject();
    });
    Click(Control(FormStartMenu, "ButtonAppSettings"));
    ASSERT_TRUE(chosen);
    EXPECT_EQ(GetNetworkMode(), QLatin1String(XmlNames::ModeMonitor));
    ASSERT_TRUE(ClickWhenReady(Control(FormStartMenu, "BitBtnMonitorTraining")));
    EXPECT_EQ(SessionMode, int(SessionNone));
    EXPECT_FALSE(Network()->ServerActive());
    EXPECT_FALSE(Control<QLabel>(FormStartMenu, "LabelWaitingForConnections")->isVisible());
    EXPECT_EQ(prompts.Count(QStringLiteral("could not listen on port %1").arg(taken.serverPort())), 1);
}
