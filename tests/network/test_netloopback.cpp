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
    ASSERT_TRUE(RunLoopUntil([&] {
        const TShooterOnNode* record = monitor.FindShooterLink(QStringLiteral("A1"));
        return monitor.ConnectionCount() == 2 && record->socket && record->socket != before
            && MonitorShots(QStringLiteral("A1")) == 3;
    }));
    EXPECT_EQ(monitorSession.ShooterCount(), 1);
    EXPECT_TRUE(node.Connected());
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
