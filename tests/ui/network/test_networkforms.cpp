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
#include "DiagnosticsLog.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "TranslateUI.h"
#include "UiBitmaps.h"
#include "XmlNames.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
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

#include <algorithm>
#include <cstdio>
#include <thread>

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

    // The network icon the viewer shows now, read from its picture.
    static TNetworkIcon DrawnIcon(const TFormShooter* viewer)
    {
        const QImage& layer = viewer->Renderer().DisplayLayer;
        for (TNetworkIcon icon : {TNetworkIcon::Connected, TNetworkIcon::NotConnected}) {
            const TUiBitmap& bitmap = UiBitmap(icon == TNetworkIcon::Connected ? BitmapFiles::Network_Connected
                                                                                : BitmapFiles::Network_NotConnected);
            EXPECT_TRUE(bitmap.Loaded());
            const QImage corner = layer.copy(2, layer.height() - 2 - bitmap.Height(), bitmap.Width(), bitmap.Height());
            if (bitmap.Loaded() && corner.convertToFormat(QImage::Format_RGB32) == bitmap.image.convertToFormat(QImage::Format_RGB32))
                return icon;
        }
        return TNetworkIcon::None;
    }

    static QTimer* RetryTimer() { return Network()->findChild<QTimer*>(QStringLiteral("TimerNetworkRetry")); }

    struct LinkedNode {
        unitsim::TSimUnit* unit = nullptr;
        TShooter* shooter = nullptr;
        TFormShooter* viewer = nullptr;
    };

    // This program as a node: the unit com (serial) identified and shown in a
    // live classic viewer, linked to monitor, which mirrors it into mirror.
    void LinkNodeUnit(int com, const char* serial, TNetMonitor& monitor, TSession& mirror, LinkedNode& node)
    {
        SetNetwork(XmlNames::ModeNode);
        SessionMode = SessionClassic;
        node.unit = &AddUnit(com, serial);
        ASSERT_TRUE(ScanUnits(1));
        TDevice* device = TDeviceManager::Instance()->FindConnectedDevice(com);
        ASSERT_NE(device, nullptr);
        node.shooter = device->Shooter();
        ASSERT_NE(node.shooter, nullptr);
        node.shooter->currentTarget = NamedRing(QStringLiteral("R"));
        node.viewer = AddViewer(device, node.shooter, true);
        node.viewer->show();

        monitor.SetSession(&mirror);
        ASSERT_TRUE(monitor.Start(0));
        Network()->ConnectClient(QStringLiteral("127.0.0.1"), monitor.Port());
        const QString linked = node.shooter->SerialNumber();
        ASSERT_TRUE(WaitFor([&] { return monitor.LinkConnected(linked); }));
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
    TSession mirror;
    TNetMonitor monitor;
    LinkedNode node;
    ASSERT_NO_FATAL_FAILURE(LinkNodeUnit(71, "KBR0007171", monitor, mirror, node));
    unitsim::TSimUnit& unit = *node.unit;
    TShooter* shooter = node.shooter;
    TFormShooter* viewer = node.viewer;

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
    // The default answer after the queued Yes is No: no reconnect is timed
    // (a timed one would be under way once its timer is done), no third attempt.
    ASSERT_TRUE(WaitFor([&] { return !RetryTimer()->isActive(); }));
    EXPECT_EQ(prompts.Count(question), 2);
    EXPECT_FALSE(Network()->ClientActive());
    EXPECT_EQ(Network()->IconFor(QStringLiteral("X")), TNetworkIcon::NotConnected);

    // The session closes while the retry waits: no reconnect, no question.
    UiTimings().networkRetryWaitMs = 300;
    prompts.queued.push_back(TMsgResult::Yes);
    Network()->ConnectClient(QStringLiteral("127.0.0.1"), port);
    ASSERT_TRUE(WaitFor([&] { return prompts.Count(question) == 3; }));
    Network()->CloseClient();
    ASSERT_TRUE(WaitFor([&] { return !RetryTimer()->isActive(); }));
    EXPECT_FALSE(Network()->ClientActive());
    EXPECT_EQ(prompts.Count(question), 3);
}

TEST_F(NetworkFormsTest, UndecodableMessagesShowOneBoxThatHoldsTheClipboardWhileItShows)
{
    StartMonitoring();
    QTcpSocket peer;
    peer.connectToHost(QStringLiteral("127.0.0.1"), Network()->Monitor().Port());
    ASSERT_TRUE(WaitFor([&] { return Network()->Monitor().ConnectionCount() == 1; }));
    for (int i = 0; i < 5; ++i)
        peer.write("<TRAXELMessage>bad " + QByteArray::number(i) + "</TRAXELMessage>");
    // A good message after them: once it is handled, so are the bad ones.
    peer.write(Wrap(" <SessionInfo>\r\n  <Name>S</Name>\r\n  <Shooter Name=\"N\" SerialNumber=\"KBR0000099\" ShotCount=\"0\"/>\r\n </SessionInfo>"));
    ASSERT_TRUE(WaitFor([&] { return Network()->ShooterLinkCount() == 1 && Network()->DecodeErrorBox() != nullptr; }));
    QMessageBox* box = Network()->DecodeErrorBox();
    EXPECT_FALSE(box->isModal());
    const QWidgetList windows = QApplication::topLevelWidgets();
    EXPECT_EQ(std::count_if(windows.begin(), windows.end(),
                            [](const QWidget* w) { return w->objectName() == QLatin1String("DecodeErrorBox"); }),
              1);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("<TRAXELMessage>bad 0</TRAXELMessage>"));
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(Network()->Monitor().ConnectionCount(), 1);
    box->close();
    ASSERT_TRUE(WaitFor([&] { return Network()->DecodeErrorBox() == nullptr; }));
    EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
}

// The longest the event loop was held while a hostile node's message was
// taken, logged and shown in the start menu's diagnostics view: the median
// of three repeats. The sanitizer builds (unoptimised) get eight times as long.
TEST_F(NetworkFormsTest, UndecodableHugeMessagesDoNotHoldTheLoopInTheDiagnosticsView)
{
    StartMonitoring();
    FormStartMenu->ShowInFront();
    Click(Control<QLabel>(FormStartMenu, "LabelDeviceCount"));  // the log shows
    auto* log = Control<QPlainTextEdit>(FormStartMenu, "MemoLog");
    ASSERT_TRUE(log->isVisible());

    QByteArray deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    for (int i = 0; i < 100000; ++i)
        deep += "</a>";
    const QByteArray padded = "<TRAXELMessage><a></b" + QByteArray(NetLimits::MaxMessageBytes - 64, ' ')
        + "></TRAXELMessage>";
    int repeat = 0;
    for (const QByteArray& hostile : {Wrap(deep), padded}) {
        std::vector<qint64> stalls;
        for (int i = 0; i < 3; ++i) {
            QTcpSocket peer;
            peer.connectToHost(QStringLiteral("127.0.0.1"), Network()->Monitor().Port());
            ASSERT_TRUE(WaitFor([&] { return peer.state() == QAbstractSocket::ConnectedState; }));
            // A good summary after it: once that is answered and its line
            // is in the view, the bad message was logged and shown too.
            const QByteArray serial = "KBR00001" + QByteArray::number(++repeat);
            QByteArray received;
            THeartbeat heartbeat;
            heartbeat.Start();
            peer.write(hostile + Wrap(" <SessionInfo><Name>S</Name><Shooter Name=\"N\" SerialNumber=\"" + serial
                                      + "\" ShotCount=\"0\"/></SessionInfo>"));
            ASSERT_TRUE(WaitFor([&] {
                received += peer.readAll();
                return received.contains("SerialNumber=\"" + serial + "\"")
                    && log->toPlainText().contains(QStringLiteral("undecodable message"));
            }, std::chrono::seconds(20)));
            heartbeat.Stop();
            stalls.push_back(heartbeat.WorstMs());
            log->clear();
        }
        std::sort(stalls.begin(), stalls.end());
        std::printf("event loop held at most %lld ms (median of 3)\n", (long long)stalls[1]);
        EXPECT_LT(stalls[1], MaxStallMs) << "message of " << hostile.size() << " bytes";
    }
    EXPECT_TRUE(WaitFor([&] { return Network()->Monitor().ConnectionCount() == 0; }));
    // A line up to the cap reaches the view whole; a longer one, such as
    // any other that quotes a megabyte, is cut to the cap and tells its length.
    const int cap = TDiagnosticsLog::MaxLineChars;
    for (const int size : {cap, cap + 1, int(NetLimits::MaxMessageBytes)}) {
        log->clear();
        const QString line = QString(size - 1, u'x') + u'y';
        DebugLog(line);
        ASSERT_TRUE(WaitFor([&] { return log->toPlainText().startsWith(u'x'); }));
        EXPECT_EQ(log->toPlainText(),
                  size <= cap ? line : line.left(cap) + QStringLiteral("... (%1 characters)").arg(size));
    }
    SaveScreen(*FormStartMenu, QStringLiteral("network_monitor_diagnostics_log"));
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

// The icon in each viewer's corner shows the link as it is, not as it was
// when the viewer last drew a shot.
TEST_F(NetworkFormsTest, MonitorViewersShowEachNodesLinkAsItGoes)
{
    StartMonitoring();
    TSession first;
    TSession second;
    AddNetShooter(first, QStringLiteral("KBR0000011"), QStringLiteral("Anna"), 1);
    AddNetShooter(second, QStringLiteral("KBR0000022"), QStringLiteral("Ben"), 1);
    TNetNode nodeA;
    TNetNode nodeB;
    Serve(nodeA, first);
    Serve(nodeB, second);
    const auto icon = [](const char* serial) {
        const TFormShooter* viewer = ViewerOf(QString::fromLatin1(serial));
        return viewer ? DrawnIcon(viewer) : TNetworkIcon::None;
    };
    ASSERT_TRUE(WaitFor([&] {
        return Shots(QStringLiteral("KBR0000011")) == 1 && Shots(QStringLiteral("KBR0000022")) == 1
            && icon("KBR0000011") == TNetworkIcon::Connected && icon("KBR0000022") == TNetworkIcon::Connected;
    }));
    // The shots are drawn and the zoom onto them is over: nothing draws the
    // viewers on its own.
    ASSERT_TRUE(WaitFor([] {
        return std::none_of(ShooterViewers.begin(), ShooterViewers.end(), [](const TFormShooter* viewer) {
            return viewer->DrawPending() || viewer->findChild<QTimer*>(QStringLiteral("TimerUpdateZoom"))->isActive();
        });
    }));
    nodeA.Close();
    ASSERT_TRUE(WaitFor([&] { return icon("KBR0000011") == TNetworkIcon::NotConnected; }));
    EXPECT_EQ(icon("KBR0000022"), TNetworkIcon::Connected);
    SaveScreen(*ViewerOf(QStringLiteral("KBR0000011")), QStringLiteral("network_monitor_node_gone"));
    nodeB.Close();
    ASSERT_TRUE(WaitFor([&] { return icon("KBR0000022") == TNetworkIcon::NotConnected; }));
}

TEST_F(NetworkFormsTest, NodeViewersShowTheLinkAsItComesAndGoes)
{
    SetNetwork(XmlNames::ModeNode);
    SessionMode = SessionClassic;
    TShooter* anna = AddShooterWithShots(*CurrentSession, QStringLiteral("Anna"), 11, NamedRing(QStringLiteral("R")), 1);
    TFormShooter* viewer = AddViewer(nullptr, anna, false);
    ShowSessionViewers();
    ASSERT_TRUE(WaitFor([&] { return DrawnIcon(viewer) == TNetworkIcon::NotConnected; }));

    TSession mirror;
    TNetMonitor monitor;
    monitor.SetSession(&mirror);
    ASSERT_TRUE(monitor.Start(0));
    Network()->ConnectClient(QStringLiteral("127.0.0.1"), monitor.Port());
    ASSERT_TRUE(WaitFor([&] { return DrawnIcon(viewer) == TNetworkIcon::Connected; }));
    SaveScreen(*viewer, QStringLiteral("network_node_connected"));

    // The monitor goes: the question is asked (No), the viewer says so.
    monitor.Stop();
    const QString question = QStringLiteral("Network connection problem. Attempt retry?");
    ASSERT_TRUE(WaitFor([&] { return prompts.Count(question) == 1 && DrawnIcon(viewer) == TNetworkIcon::NotConnected; }));
}

// A monitor that reads nothing while the node's answers pile up: the node
// drops it like a lost connection, says so, and connects again on Yes.
TEST_F(NetworkFormsTest, NodeDroppingAMonitorThatReadsNothingAsksAndReconnects)
{
    SetNetwork(XmlNames::ModeNode);
    SessionMode = SessionClassic;
    TShooter* anna = AddNetShooter(*CurrentSession, QStringLiteral("KBR0000011"), QStringLiteral("Anna"), 1,
                                   NetLimits::MaxPointsPerShot);
    TFormShooter* viewer = AddViewer(nullptr, anna, false);
    ShowSessionViewers();
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
    Network()->ConnectClient(QStringLiteral("127.0.0.1"), listener.serverPort());
    ASSERT_TRUE(WaitFor([&] { return listener.hasPendingConnections() && Network()->Node().Connected(); }));
    std::unique_ptr<QTcpSocket> peer(listener.nextPendingConnection());
    peer->setReadBufferSize(4096);
    TMessageWriter writer;
    const QByteArray request = writer.RequestShot(anna->SerialNumber(), 0);
    peer->write(request.repeated(3000));

    const QString question = QStringLiteral("Network connection problem. Attempt retry?");
    ASSERT_TRUE(WaitFor([&] { return prompts.Count(question) == 1; }, std::chrono::seconds(30)));
    EXPECT_FALSE(Network()->ClientActive());
    EXPECT_EQ(DrawnIcon(viewer), TNetworkIcon::NotConnected);

    prompts.queued.push_back(TMsgResult::Yes);
    Network()->AskNetworkRetry();
    ASSERT_TRUE(WaitFor([&] { return listener.hasPendingConnections() && DrawnIcon(viewer) == TNetworkIcon::Connected; }));
}

// In data-out mode a viewer that took a new shot has the node send that
// shooter's last shot after a shot in classic training, and nothing after
// one in dynamic training.
TEST_F(NetworkFormsTest, DataOutFollowsOnlyAClassicShotOfTheViewersShooter)
{
    SetNetwork(XmlNames::ModeNode);
    SetOptionString(QString::fromLatin1(XmlNames::DataoutMode), QStringLiteral("true"));
    TShooter* anna = AddNetShooter(*CurrentSession, QStringLiteral("KBR0000011"), QStringLiteral("Anna"), 2);
    TShooter* ben = AddNetShooter(*CurrentSession, QStringLiteral("KBR0000022"), QStringLiteral("Ben"), 3);
    TFormShooter* viewerAnna = AddViewer(nullptr, anna, false);
    AddViewer(nullptr, ben, false);
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
    Network()->ConnectClient(QStringLiteral("127.0.0.1"), listener.serverPort());
    ASSERT_TRUE(WaitFor([&] { return listener.hasPendingConnections() && Network()->Node().Connected(); }));
    std::unique_ptr<QTcpSocket> peer(listener.nextPendingConnection());

    SessionMode = SessionDynamic;
    AddNetShot(*anna);
    viewerAnna->OnShot();
    ASSERT_TRUE(WaitFor([&] { return !viewerAnna->DrawPending() && viewerAnna->Strip().ShotCount() == 3; }));
    SessionMode = SessionClassic;
    AddNetShot(*anna);
    viewerAnna->OnShot();
    QByteArray bytes;
    ASSERT_TRUE(WaitFor([&] {
        bytes += peer->readAll();
        return bytes.contains("</TRAXELDataOut>");
    }));
    EXPECT_EQ(bytes.count("<TRAXELDataOut"), 1);
    EXPECT_TRUE(bytes.contains("SerialNumber=\"KBR0000011\" ShotIndex=\"3\"")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("<Name>Anna</Name>"));
    SetOptionString(QString::fromLatin1(XmlNames::DataoutMode), QStringLiteral("false"));
}

// The road an instructor watches: the node's unit fires, is stopped and
// started again (as every text message does), and fires on. The node keeps
// the shots in the order fired and the monitor's copy is that list.
TEST_F(NetworkFormsTest, MonitorKeepsStepWithANodesUnitThroughAStopAndAStart)
{
    TSession mirror;
    TNetMonitor monitor;
    LinkedNode node;
    ASSERT_NO_FATAL_FAILURE(LinkNodeUnit(72, "KBR0007272", monitor, mirror, node));
    unitsim::TSimUnit& unit = *node.unit;
    TShooter* shooter = node.shooter;
    TFormShooter* viewer = node.viewer;

    const auto fire = [&](std::initializer_list<int> xs) {
        for (int x : xs) {
            // A shot per tick of the unit's clock, as a trigger allows.
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            const int before = shooter->ShotCount();
            unit.FireShot(RingShot(x, 0));
            ASSERT_TRUE(WaitFor([&] { return shooter->ShotCount() == before + 1; }));
        }
    };
    viewer->ButtonStartStopClick();
    ASSERT_TRUE(WaitFor([&] { return unit.Measuring() && !viewer->Waiting(); }));
    fire({100, 200, 300});
    viewer->ButtonStartStopClick();
    ASSERT_TRUE(WaitFor([&] { return !unit.Measuring() && !viewer->Waiting(); }));
    viewer->ButtonStartStopClick();
    ASSERT_TRUE(WaitFor([&] { return unit.Measuring() && !viewer->Waiting(); }));
    fire({400, 500});

    const auto positions = [](const TShooter* s) {
        std::vector<int> xs;
        if (s)
            s->ForEachShot([&](const TShot& shot) { xs.push_back(shot.raw.XNAU()); });
        return xs;
    };
    EXPECT_EQ(positions(shooter), (std::vector<int> {100, 200, 300, 400, 500}));
    ASSERT_TRUE(WaitFor([&] { return positions(mirror.FindShooter(shooter->SerialNumber())) == positions(shooter); }));
    SaveScreen(*viewer, QStringLiteral("network_node_unit_restarted"));
}

// Later summaries: a new name shows, the shots follow, and a node that
// comes back on a new connection has its viewer show the link again.
TEST_F(NetworkFormsTest, MonitorViewerFollowsARenameAndANodeThatComesBack)
{
    StartMonitoring();
    TSession first;
    TShooter* shooter = AddNetShooter(first, QStringLiteral("KBR0000011"), QStringLiteral("Anna"), 1);
    TNetNode node;
    Serve(node, first);
    ASSERT_TRUE(WaitFor([&] {
        const TFormShooter* viewer = ViewerOf(QStringLiteral("KBR0000011"));
        return Shots(QStringLiteral("KBR0000011")) == 1 && viewer && DrawnIcon(viewer) == TNetworkIcon::Connected;
    }));
    TFormShooter* viewer = ViewerOf(QStringLiteral("KBR0000011"));
    auto* name = Control<QLineEdit>(viewer, "EditShooterName");

    shooter->name = QStringLiteral("Anne");
    AddNetShot(*shooter);
    node.SendDataOut(1, true);
    ASSERT_TRUE(WaitFor([&] { return Shots(QStringLiteral("KBR0000011")) == 2 && viewer->Strip().ShotCount() == 2; }));
    EXPECT_EQ(name->text(), QStringLiteral("Anne"));

    node.Close();
    ASSERT_TRUE(WaitFor([&] { return DrawnIcon(viewer) == TNetworkIcon::NotConnected; }));
    Serve(node, first);
    ASSERT_TRUE(WaitFor([&] {
        return Shots(QStringLiteral("KBR0000011")) == 2 && viewer->Strip().ShotCount() == 2
            && DrawnIcon(viewer) == TNetworkIcon::Connected;
    }));
    EXPECT_EQ(ShooterViewers.size(), 1u);
    EXPECT_TRUE(viewer->isVisible());
}
