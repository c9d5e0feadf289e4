// A node and a monitor in one process over loopback: the pulling, the
// reconnects, text messages and data-out mode.
#include "NetMonitor.h"
#include "NetNode.h"
#include "NetTestSupport.h"

#include "EventLoop.h"
#include "Shotdata.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

namespace {

// "SessionInfo", "TargetInfo A", "Shot A 2", "SendMessage ALL": what a
// request asks, or the root's child name of an answer.
QString Describe(const QByteArray& message)
{
    TDecodedMessage decoded = DecodeMessage(message);
    if (!decoded.root)
        return QStringLiteral("undecodable");
    const auto* child = decoded.root->GetNode(0);
    if (child->Name() != QLatin1String("Request"))
        return child->Name();
    QString text = child->GetAttributeValue(QStringLiteral("Item"));
    for (const char* key : {"SerialNumber", "ShotIndex"}) {
        const QString value = child->GetAttributeValueDef(QString::fromLatin1(key), QString());
        if (!value.isEmpty())
            text += QLatin1Char(' ') + value;
    }
    return text;
}

// A shot as a unit stamps it, put where its start-up and time sort it.
void AddStampedShot(TShooter& shooter, int startup, uint32_t time, int xnau)
{
    auto shot = std::make_unique<TShot>();
    shot->raw.SetXNAU(xnau);
    shot->raw.SetYNAU(-xnau);
    shot->raw.SetX(xnau);
    shot->raw.SetY(-xnau);
    shot->raw.SetRingTargetIndex(0);
    shot->raw.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
    shot->raw.SetFunctionMode(1);
    shot->raw.SetStartupCounter(startup);
    shot->raw.SetTime(time);
    shot->raw.SetScore(90);
    shot->AllocateCurve(2);
    shooter.AddShot(std::move(shot));
}

// "start-up/time/XNAU" of every shot in list order; "none" without the shooter.
QStringList Stamps(const TShooter* shooter)
{
    if (!shooter)
        return {QStringLiteral("none")};
    QStringList stamps;
    shooter->ForEachShot([&](const TShot& shot) {
        stamps << QStringLiteral("%1/%2/%3").arg(shot.raw.StartupCounter()).arg(shot.raw.Time()).arg(shot.raw.XNAU());
    });
    return stamps;
}

class NetLoopback : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureCoreApp();
        monitor.SetSession(&monitorSession);
        ASSERT_TRUE(monitor.Start(0));
        monitor.onMessage = [this](const QByteArray& m) { log.push_back(QStringLiteral("< ") + Describe(m)); };
        Serve(node, nodeSession);
    }

    void Serve(TNetNode& n, TSession& session)
    {
        n.session = [&session] { return &session; };
        n.onMessage = [this](const QByteArray& m) { log.push_back(QStringLiteral("> ") + Describe(m)); };
    }

    void ConnectNode(TNetNode& n) { n.Connect(QStringLiteral("127.0.0.1"), monitor.Port()); }

    int MonitorShots(const QString& serial) const
    {
        const TShooter* shooter = monitorSession.FindShooter(serial);
        return shooter ? shooter->ShotCount() : -1;
    }

    TSession monitorSession;
    TSession nodeSession;
    TNetMonitor monitor;
    TNetNode node;
    std::vector<QString> log;  // "> " request reaching the node, "< " answer reaching the monitor
};

} // namespace

TEST_F(NetLoopback, MonitorPullsTargetsThenShotsOneAtATimeInOrder)
{
    TShooter* shooter = AddNetShooter(nodeSession, QStringLiteral("A1"), QStringLiteral("Anna"), 3);
    ConnectNode(node);
    ASSERT_TRUE(RunLoopUntil([&] { return MonitorShots(QStringLiteral("A1")) == 3; }));
    const std::vector<QString> expected {
        "> SessionInfo", "< SessionInfo", "> TargetInfo A1", "< TargetInfo",
        "> Shot A1 0",   "< Shot",        "> Shot A1 1",     "< Shot",
        "> Shot A1 2",   "< Shot",
    };
    EXPECT_EQ(log, expected);

    const TShooter* mirrored = monitorSession.FindShooter(QStringLiteral("A1"));
    EXPECT_EQ(mirrored->name, QStringLiteral("Anna"));
    EXPECT_TRUE(mirrored->currentTarget.hasRing);
    EXPECT_TRUE(mirrored->targets.ringDefined[0]);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(mirrored->GetShot(i)->raw.XNAU(), shooter->GetShot(i)->raw.XNAU());
        EXPECT_EQ(mirrored->GetShot(i)->raw.Score(), shooter->GetShot(i)->raw.Score());
        EXPECT_EQ(mirrored->GetShot(i)->CurveCount(), 3);
    }
    EXPECT_TRUE(monitor.LinkConnected(QStringLiteral("A1")));

    // A new shot: the node's summary makes the monitor pull just that one.
    log.clear();
    AddNetShot(*shooter);
    node.SendDataOut(1, true);
    ASSERT_TRUE(RunLoopUntil([&] { return MonitorShots(QStringLiteral("A1")) == 4; }));
    EXPECT_EQ(log, (std::vector<QString> {"< SessionInfo", "> Shot A1 3", "< Shot"}));
}

TEST_F(NetLoopback, ReconnectAndMonitorRestartPullAgainWithoutDuplicateShooters)
{
    TShooter* shooter = AddNetShooter(nodeSession, QStringLiteral("A1"), QStringLiteral("Anna"), 2);
    ConnectNode(node);
    ASSERT_TRUE(RunLoopUntil([&] { return MonitorShots(QStringLiteral("A1")) == 2; }));

    node.Close();
    EXPECT_EQ(node.BufferedBytes(), 0);
    ASSERT_TRUE(RunLoopUntil([&] { return monitor.ConnectionCount() == 0; }));
    EXPECT_FALSE(monitor.LinkConnected(QStringLiteral("A1")));
    AddNetShot(*shooter);
    log.clear();
    ConnectNode(node);
    ASSERT_TRUE(RunLoopUntil([&] { return MonitorShots(QStringLiteral("A1")) == 3 && log.size() >= 10; }));
    EXPECT_EQ(log, (std::vector<QString> {"> SessionInfo", "< SessionInfo", "> TargetInfo A1", "< TargetInfo",
                                          "> Shot A1 0", "< Shot", "> Shot A1 1", "< Shot", "> Shot A1 2",
                                          "< Shot"}));

    // Stopped and started again in the same session: the shooter is found
    // again by its serial, and its shots are pulled anew.
    monitor.Stop();
    EXPECT_EQ(monitor.RecordCount(), 0);
    ASSERT_TRUE(RunLoopUntil([&] { return !node.Active(); }));
    ASSERT_TRUE(monitor.Start(0));
    ConnectNode(node);
    ASSERT_TRUE(RunLoopUntil([&] { return monitor.LinkConnected(QStringLiteral("A1")) && MonitorShots(QStringLiteral("A1")) == 3; }));
    EXPECT_EQ(monitorSession.ShooterCount(), 1);
    EXPECT_EQ(monitor.RecordCount(), 1);

    // The same serial from a second connection takes the record over; the
    // old connection is told with a bare "PING", which its framing drops.
    TNetNode second;
    Serve(second, nodeSession);
    const QTcpSocket* before = monitor.FindShooterLink(QStringLiteral("A1"))->socket;
    ConnectNode(second);
    log.clear();
    ConnectNode(second);
    // Taken over, the copy is dropped and pulled again from the first shot.
    ASSERT_TRUE(RunLoopUntil([&] { return std::count(log.begin(), log.end(), QStringLiteral("< Shot")) == 3; }, 20000));
    const TShooterOnNode* record = monitor.FindShooterLink(QStringLiteral("A1"));
    EXPECT_TRUE(monitor.ConnectionCount() == 2 && record->socket && record->socket != before);
    EXPECT_EQ(std::vector<QString>(log.end() - 6, log.end()),
              (std::vector<QString> {"> Shot A1 0", "< Shot", "> Shot A1 1", "< Shot", "> Shot A1 2", "< Shot"}));
    EXPECT_EQ(MonitorShots(QStringLiteral("A1")), 3);
    EXPECT_EQ(monitorSession.ShooterCount(), 1);
    EXPECT_TRUE(node.Connected());
}

// A unit's shots are sorted by start-up and time: a shot may go in before
// older ones, a list may get shorter. After the next summary the copy is the
// node's list again, nothing lost or doubled.
TEST_F(NetLoopback, CopyFollowsTheNodesListWhenShotsSortInFrontOrTheListShrinks)
{
    TShooter* shooter = AddNetShooter(nodeSession, QStringLiteral("A1"), QStringLiteral("Anna"), 0);
    for (int k = 1; k <= 3; ++k)
        AddStampedShot(*shooter, 1, uint32_t(660 * k), 10 * k);
    ConnectNode(node);
    const auto mirrored = [&] { return Stamps(monitorSession.FindShooter(QStringLiteral("A1"))) == Stamps(shooter); };
    ASSERT_TRUE(RunLoopUntil(mirrored, 20000));

    // Measuring started again on a clock that restarted: the new shot sorts first.
    AddStampedShot(*shooter, 1, 66, 1);
    node.SendDataOut(1, true);
    ASSERT_TRUE(RunLoopUntil(mirrored, 20000)) << Stamps(monitorSession.FindShooter(QStringLiteral("A1"))).join(' ').toStdString();
    EXPECT_EQ(Stamps(shooter).front(), QStringLiteral("1/66/1"));

    // One in the middle and one at the end, announced together.
    AddStampedShot(*shooter, 1, 1000, 15);
    AddStampedShot(*shooter, 2, 5, 75);
    node.SendDataOut(1, true);
    ASSERT_TRUE(RunLoopUntil(mirrored, 20000)) << Stamps(monitorSession.FindShooter(QStringLiteral("A1"))).join(' ').toStdString();
    EXPECT_EQ(MonitorShots(QStringLiteral("A1")), 6);

    // A shorter list of other shots.
    shooter->ClearShots();
    AddStampedShot(*shooter, 3, 66, 7);
    AddStampedShot(*shooter, 3, 132, 8);
    node.SendDataOut(1, true);
    ASSERT_TRUE(RunLoopUntil(mirrored, 20000)) << Stamps(monitorSession.FindShooter(QStringLiteral("A1"))).join(' ').toStdString();
    EXPECT_EQ(MonitorShots(QStringLiteral("A1")), 2);
}

// However many summaries arrive while shots are missing, each shot is asked
// for once: one request per shooter is on its way at a time.
TEST_F(NetLoopback, EachShotIsAskedForOnceWhateverTheSummaries)
{
    AddNetShooter(nodeSession, QStringLiteral("A1"), QStringLiteral("Anna"), 100, 1);
    AddNetShooter(nodeSession, QStringLiteral("B2"), QStringLiteral("Ben"), 100, 1);
    ConnectNode(node);
    ASSERT_TRUE(RunLoopUntil([&] { return MonitorShots(QStringLiteral("A1")) >= 1; }, 20000));
    for (int i = 0; i < 30; ++i)
        node.SendSessionInfo();
    ASSERT_TRUE(RunLoopUntil([&] { return MonitorShots(QStringLiteral("A1")) == 100 && MonitorShots(QStringLiteral("B2")) == 100; }, 20000));
    std::map<QString, int> asked;
    for (const QString& line : log)
        if (line.startsWith(QLatin1String("> Shot ")))
            ++asked[line];
    EXPECT_EQ(asked.size(), 200u);
    EXPECT_EQ(std::count_if(asked.begin(), asked.end(), [](const auto& a) { return a.second != 1; }), 0);
}

TEST_F(NetLoopback, TextMessagesReachAllNodesOrTheOneByItsSerial)
{
    AddNetShooter(nodeSession, QStringLiteral("A1"), QStringLiteral("Anna"), 0);
    TSession otherSession;
    AddNetShooter(otherSession, QStringLiteral("B2"), QStringLiteral("Ben"), 0);
    TNetNode other;
    Serve(other, otherSession);
    std::vector<QString> texts;
    node.onTextMessage = [&](const QString& s, const QString& t) { texts.push_back("A:" + s + ":" + t); };
    other.onTextMessage = [&](const QString& s, const QString& t) { texts.push_back("B:" + s + ":" + t); };
    ConnectNode(node);
    ConnectNode(other);
    ASSERT_TRUE(RunLoopUntil([&] { return monitor.LinkConnected(QStringLiteral("A1")) && monitor.LinkConnected(QStringLiteral("B2")); }));

    EXPECT_EQ(monitor.SendMessageRequest(QStringLiteral("ALL"), QStringLiteral("Hold\r\nfire")), 2);
    ASSERT_TRUE(RunLoopUntil([&] { return texts.size() == 2; }));
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<QString> {"A:ALL:Hold\r\nfire", "B:ALL:Hold\r\nfire"}));

    texts.clear();
    EXPECT_EQ(monitor.SendMessageRequest(QStringLiteral("B2"), QStringLiteral("Ben only")), 1);
    EXPECT_EQ(monitor.SendMessageRequest(QStringLiteral("Z9"), QStringLiteral("nobody")), 0);
    EXPECT_EQ(monitor.SendMessageRequest(QStringLiteral("ALL"), QString(NetLimits::MaxMessageText + 1, 'x')), 0);
    ASSERT_TRUE(RunLoopUntil([&] { return texts.size() == 1; }));
    EXPECT_EQ(texts, (std::vector<QString> {"B:B2:Ben only"}));
}

TEST_F(NetLoopback, DataOutNodeServesNothingAndIsIgnoredByTheMonitor)
{
    AddNetShooter(nodeSession, QStringLiteral("A1"), QStringLiteral("Anna"), 1);
    bool dataout = true;
    node.dataoutMode = [&] { return dataout; };
    ConnectNode(node);
    ASSERT_TRUE(RunLoopUntil([&] { return node.Connected() && monitor.ConnectionCount() == 1; }));
    // Outside classic training nothing is sent after a shot.
    node.SendDataOut(1, false);
    node.SendDataOut(7, true);  // no such shooter
    node.SendDataOut(1, true);
    // Something the monitor would answer if it still read this connection.
    TNetNode probe;
    TSession probeSession;
    AddNetShooter(probeSession, QStringLiteral("P1"), QStringLiteral("Probe"), 0);
    Serve(probe, probeSession);
    ConnectNode(probe);
    ASSERT_TRUE(RunLoopUntil([&] { return monitor.LinkConnected(QStringLiteral("P1")); }));
    EXPECT_EQ(monitor.FindShooterLink(QStringLiteral("A1")), nullptr);
    // The data-out node answered nothing, the monitor decoded nothing of it.
    EXPECT_EQ(std::count(log.begin(), log.end(), QStringLiteral("> SessionInfo")), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), QStringLiteral("< SessionInfo")), 1);
}

// Only a message whose root is the data-out root marks a data-out node, not
// a name that holds the root's name.
TEST_F(NetLoopback, AShooterNamedLikeTheDataOutRootIsStillMirrored)
{
    AddNetShooter(nodeSession, QStringLiteral("A1"), QStringLiteral("TRAXELDataOut fan"), 2);
    AddNetShooter(nodeSession, QStringLiteral("B2"), QStringLiteral("<TRAXELDataOut>"), 1);
    ConnectNode(node);
    ASSERT_TRUE(RunLoopUntil([&] { return MonitorShots(QStringLiteral("A1")) == 2 && MonitorShots(QStringLiteral("B2")) == 1; }, 20000));
    EXPECT_EQ(monitorSession.FindShooter(QStringLiteral("B2"))->name, QStringLiteral("<TRAXELDataOut>"));
}

TEST_F(NetLoopback, NodeAnswersNothingForAShotItDoesNotHaveAndForgetsHalfMessages)
{
    AddNetShooter(nodeSession, QStringLiteral("A1"), QStringLiteral("Anna"), 1);
    monitor.Stop();
    QTcpServer fake;
    ASSERT_TRUE(fake.listen(QHostAddress::LocalHost, 0));
    node.Connect(QStringLiteral("127.0.0.1"), fake.serverPort());
    ASSERT_TRUE(RunLoopUntil([&] { return fake.hasPendingConnections() || fake.waitForNewConnection(1); }));
    QTcpSocket* peer = fake.nextPendingConnection();
    ASSERT_TRUE(peer);
    TMessageWriter writer;
    peer->write(writer.RequestShot(QStringLiteral("A1"), 1) + writer.RequestShot(QStringLiteral("A1"), -1)
                + writer.RequestShot(QStringLiteral("NOPE"), 0) + writer.RequestTargetInfo(QStringLiteral("NOPE"))
                + writer.RequestShot(QStringLiteral("A1"), 0));
    QByteArray answers;
    ASSERT_TRUE(RunLoopUntil([&] {
        answers += peer->readAll();
        return answers.contains("</TRAXELMessage>");
    }));
    EXPECT_EQ(answers.count("<TRAXELMessage>"), 1);
    EXPECT_TRUE(answers.contains("ShotIndex=\"0\""));

    // Half a message when the connection drops: gone with the connection.
    peer->write("<TRAXELMessage>\r\n <Request Item=\"Sess");
    ASSERT_TRUE(RunLoopUntil([&] { return node.BufferedBytes() > 0; }));
    peer->abort();
    ASSERT_TRUE(RunLoopUntil([&] { return !node.Active(); }));
    EXPECT_EQ(node.BufferedBytes(), 0);
}

// A node in data-out mode sends, after a shot in classic training, the last
// shot of the shooter numbered, with its target's and shooter's names; after
// a shot in dynamic training it sends nothing.
TEST_F(NetLoopback, DataOutCarriesTheLastShotOfTheShooterNumberedOnlyInClassicTraining)
{
    AddNetShooter(nodeSession, QStringLiteral("A1"), QStringLiteral("Anna"), 2);
    AddNetShooter(nodeSession, QStringLiteral("B2"), QStringLiteral("Ben"), 3);
    node.dataoutMode = [] { return true; };
    monitor.Stop();
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
    node.Connect(QStringLiteral("127.0.0.1"), listener.serverPort());
    ASSERT_TRUE(RunLoopUntil([&] { return listener.hasPendingConnections() && node.Connected(); }, 20000));
    QTcpSocket* peer = listener.nextPendingConnection();

    node.SendDataOut(1, false);
    node.SendDataOut(2, true);
    node.SendDataOut(1, true);
    QByteArray bytes;
    ASSERT_TRUE(RunLoopUntil([&] {
        bytes += peer->readAll();
        return bytes.count("</TRAXELDataOut>") == 2;
    }, 20000));
    TMessageFramer framer("TRAXELDataOut");
    const std::vector<QByteArray> messages = framer.Feed(bytes).messages;
    ASSERT_EQ(messages.size(), 2u);
    const auto holds = [](const QByteArray& m, std::initializer_list<const char*> parts) {
        return std::all_of(parts.begin(), parts.end(), [&](const char* p) { return m.contains(p); });
    };
    // Ben's third shot (X 0.0 mm) first, then Anna's second (X -6.0 mm).
    EXPECT_TRUE(holds(messages[0], {"SerialNumber=\"B2\"", "ShotIndex=\"2\"", "X=\"0\"", "<Name>Ben</Name>", "<TargetName"}))
        << messages[0].toStdString();
    EXPECT_TRUE(holds(messages[1], {"SerialNumber=\"A1\"", "ShotIndex=\"1\"", "X=\"-6\"", "<Name>Anna</Name>"}))
        << messages[1].toStdString();
    // The compact form: no raw position.
    EXPECT_FALSE(messages[0].contains("XNAU"));
}
