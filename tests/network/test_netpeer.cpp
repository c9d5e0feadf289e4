// The console peer in two processes: a node serving a session file and a
// monitor that pulls it, over loopback.
#include "NetTestSupport.h"

#include "EventLoop.h"
#include "Shotdata.h"
#include "Shotfile.h"

#include "NetMessages.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The port a started monitor says it listens on (0 when it never says);
// what it printed meanwhile is added to said.
int ListeningPort(QProcess& monitor, QByteArray& said)
{
    int port = 0;
    RunLoopUntil([&] {
        said += monitor.readAllStandardOutput();
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("listening on port (\\d+)")).match(QString::fromLatin1(said));
        port = m.hasMatch() ? m.captured(1).toInt() : 0;
        return port > 0;
    }, 20000);
    return port;
}

// Writes session where a node process reads it.
void SaveSessionFile(TSession& session, const QString& file)
{
    TShotFileHandler writer;
    writer.SetSession(&session);
    writer.SetFileName(file);
    writer.BuildShotFile();
    writer.Save(file);
}

} // namespace

TEST(NetPeer, NodeAndMonitorProcessesMirrorASessionFile)
{
    EnsureCoreApp();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TSession session;
    AddNetShooter(session, QStringLiteral("KBR0000011"), QStringLiteral("Anna"), 3);
    AddNetShooter(session, QStringLiteral("KBR0000022"), QStringLiteral("Ben"), 2);
    const QString input = dir.filePath(QStringLiteral("node.shotfile.xml"));
    const QString output = dir.filePath(QStringLiteral("pulled.shotfile.xml"));
    SaveSessionFile(session, input);

    QProcess monitor;
    monitor.start(QStringLiteral(TRAXEL_NETPEER),
                  {"monitor", "--port", "0", "--until-shots", "5", "--seconds", "60", "--save", output,
                   "--message", "ALL", "Hello node"});
    ASSERT_TRUE(monitor.waitForStarted());
    QByteArray said;
    const int port = ListeningPort(monitor, said);
    ASSERT_GT(port, 0);

    QProcess node;
    node.start(QStringLiteral(TRAXEL_NETPEER),
               {"node", "--session", input, "--port", QString::number(port), "--seconds", "60"});
    ASSERT_TRUE(node.waitForStarted());
    ASSERT_TRUE(monitor.waitForFinished(60000));
    EXPECT_EQ(monitor.exitCode(), 0);
    said += monitor.readAllStandardOutput();
    EXPECT_TRUE(said.contains("shooter KBR0000011"));
    EXPECT_TRUE(said.contains("shots 5"));

    QByteArray heard;
    EXPECT_TRUE(RunLoopUntil([&] {
        heard += node.readAllStandardOutput();
        return heard.contains("message for ALL: Hello node");
    }, 20000));
    node.kill();
    node.waitForFinished();

    TShotFileHandler reader;
    ASSERT_TRUE(reader.LoadShotFile(output));
    const TSession* pulled = reader.Session();
    ASSERT_EQ(pulled->ShooterCount(), 2);
    for (int s = 0; s < 2; ++s) {
        const TShooter* original = session.FindShooter(pulled->GetShooter(s)->SerialNumber());
        ASSERT_NE(original, nullptr);
        ASSERT_EQ(pulled->GetShooter(s)->ShotCount(), original->ShotCount());
        for (int i = 0; i < original->ShotCount(); ++i)
            EXPECT_EQ(pulled->GetShooter(s)->GetShot(i)->raw.XNAU(), original->GetShot(i)->raw.XNAU());
    }
}

// The console node drops a monitor that reads nothing of its answers and,
// as after any lost connection, connects again a second later.
TEST(NetPeer, NodeConnectsAgainAfterDroppingAMonitorThatReadsNothing)
{
    EnsureCoreApp();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TSession session;
    AddNetShooter(session, QStringLiteral("KBR0000011"), QStringLiteral("Anna"), 1, NetLimits::MaxPointsPerShot);
    const QString input = dir.filePath(QStringLiteral("node.shotfile.xml"));
    SaveSessionFile(session, input);
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
    QProcess node;
    node.start(QStringLiteral(TRAXEL_NETPEER),
               {"node", "--session", input, "--port", QString::number(listener.serverPort()), "--seconds", "60"});
    ASSERT_TRUE(node.waitForStarted());
    ASSERT_TRUE(RunLoopUntil([&] { return listener.hasPendingConnections(); }, 20000));
    std::unique_ptr<QTcpSocket> peer(listener.nextPendingConnection());
    peer->setReadBufferSize(4096);
    TMessageWriter writer;
    peer->write(writer.RequestShot(QStringLiteral("KBR0000011"), 0).repeated(3000));
    EXPECT_TRUE(RunLoopUntil([&] { return listener.hasPendingConnections(); }, 30000));
    node.kill();
    node.waitForFinished();
}

// The console node's shooter keeps firing: each new shot is one of its own
// on the unit's clock, and the monitor mirrors every one.
TEST(NetPeer, AFiringNodeIsMirroredShotByShot)
{
    EnsureCoreApp();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TSession session;
    AddNetShooter(session, QStringLiteral("KBR0000011"), QStringLiteral("Anna"), 2);
    const QString input = dir.filePath(QStringLiteral("node.shotfile.xml"));
    SaveSessionFile(session, input);
    QProcess monitor;
    monitor.start(QStringLiteral(TRAXEL_NETPEER), {"monitor", "--port", "0", "--until-shots", "6", "--seconds", "60"});
    ASSERT_TRUE(monitor.waitForStarted());
    QByteArray said;
    const int port = ListeningPort(monitor, said);
    ASSERT_GT(port, 0);
    QProcess node;
    node.start(QStringLiteral(TRAXEL_NETPEER),
               {"node", "--session", input, "--port", QString::number(port), "--shot-every", "50", "--seconds", "60"});
    ASSERT_TRUE(node.waitForStarted());
    ASSERT_TRUE(monitor.waitForFinished(60000));
    EXPECT_EQ(monitor.exitCode(), 0);
    said += monitor.readAllStandardOutput();
    // Shots 0..5 each stored once, in order.
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(said.count("shot KBR0000011 " + QByteArray::number(i) + " "), 1) << i;
    node.kill();
    node.waitForFinished();
}
