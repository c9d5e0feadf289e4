// A hostile node at byte level against the monitor: whatever it sends, the
// monitor neither crashes nor grows past its caps nor asks anybody anything.
// A hostile monitor against the node: a long message holds neither the loop
// nor its place in the stream.
#include "NetMonitor.h"
#include "NetNode.h"
#include "NetTestSupport.h"

#include "EventLoop.h"
#include "Globals.h"
#include "Prompts.h"
#include "Shotdata.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include <sys/socket.h>

namespace {

// Answers every question with OK and counts them.
class TCountingPrompts final : public IPrompts {
public:
    TMsgResult MessageBox(const QString&, const QString&, TMsgButtons) override
    {
        ++shown;
        return TMsgResult::OK;
    }
    int shown = 0;
};

QByteArray SessionInfo(const QByteArray& shooters)
{
    return Wrap(" <SessionInfo>\r\n  <Name>S</Name>\r\n" + shooters + "\r\n </SessionInfo>");
}

QByteArray Shooter(const QByteArray& serial, int shots)
{
    return "  <Shooter Name=\"N\" SerialNumber=\"" + serial + "\" ShotCount=\"" + QByteArray::number(shots) + "\"/>\r\n";
}

QByteArray Points(int n)
{
    QByteArray points;
    points.reserve(n * 24);
    for (int i = 0; i < n; ++i)
        points += "<Pt i=\"" + QByteArray::number(i) + "\" X=\"0\" Y=\"0\"/>";
    return points;
}

QByteArray ShotAnswer(const QByteArray& serial, int index, int points, bool compact = false)
{
    return Wrap(" <Shot SerialNumber=\"" + serial + "\" ShotIndex=\"" + QByteArray::number(index) + "\" X=\"1.5\" Y=\"-2\""
                + (compact ? QByteArray() : QByteArray(" XNAU=\"3\" YNAU=\"4\""))
                + " FunctionMode=\"Classic\"><ShotInfo><Score X=\"0\">9.5</Score><Sector>3</Sector>"
                + (compact ? QByteArray() : QByteArray("<RingTarget>0</RingTarget>"))
                + "<Time>66</Time></ShotInfo><Curve HitSampleIndex=\"-1\">" + Points(points) + "</Curve></Shot>");
}

class NetHostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureCoreApp();
        previousPrompts = SetPrompts(&prompts);
        monitor.SetSession(&session);
        monitor.onDecodeError = [this](const QString&, const QByteArray&) { ++decodeErrors; };
        ASSERT_TRUE(monitor.Start(0));
        peer.connectToHost(QStringLiteral("127.0.0.1"), monitor.Port());
        ASSERT_TRUE(RunLoopUntil([&] { return monitor.ConnectionCount() == 1 && ReceivedRequest("SessionInfo"); }));
    }

    void TearDown() override
    {
        EXPECT_EQ(prompts.shown, 0);
        SetPrompts(previousPrompts);
    }

    bool ReceivedRequest(const QByteArray& what)
    {
        received += peer.readAll();
        return received.contains("Item=\"" + what + "\"");
    }

    // Sends bytes and lets the monitor take them (and answer) until pred holds.
    bool SendUntil(const QByteArray& bytes, const std::function<bool()>& pred)
    {
        received.clear();
        heartbeat.Start();
        peer.write(bytes);
        return RunLoopUntil([&] {
            received += peer.readAll();
            return pred();
        }, 20000);
    }

    // The longest the event loop was held while the monitor took bytes and
    // pred came to hold: the median of a few repeats, each on a connection
    // made anew when the last was closed. -1 when pred did not hold.
    // The message ends with a summary announcing a shooter new each time.
    qint64 MedianStallMs(const QByteArray& hostile, const std::function<bool()>& pred)
    {
        std::vector<qint64> stalls;
        for (int i = 0; i < 3; ++i) {
            if (peer.state() != QAbstractSocket::ConnectedState && !Reconnect())
                return -1;
            if (!SendUntil(hostile + SessionInfo(Shooter("R" + QByteArray::number(++repeats), 0)), pred))
                return -1;
            stalls.push_back(heartbeat.WorstMs());
        }
        std::sort(stalls.begin(), stalls.end());
        std::printf("event loop held at most %lld ms (median of %zu)\n", (long long)stalls[1], stalls.size());
        return stalls[1];
    }

    bool Reconnect()
    {
        peer.abort();
        received.clear();
        peer.connectToHost(QStringLiteral("127.0.0.1"), monitor.Port());
        return RunLoopUntil([&] { return monitor.ConnectionCount() == 1 && ReceivedRequest("SessionInfo"); });
    }

    bool Closed() { return monitor.ConnectionCount() == 0 && peer.state() == QAbstractSocket::UnconnectedState; }

    THeartbeat heartbeat;
    TCountingPrompts prompts;
    IPrompts* previousPrompts = nullptr;
    TSession session;
    TNetMonitor monitor;
    QTcpSocket peer;
    QByteArray received;
    int decodeErrors = 0;
    int repeats = 0;
};

} // namespace

TEST_F(NetHostile, MessagesInPiecesAndOrphanEndMarkersStillWork)
{
    const QByteArray stream = "</TRAXELMessage>PING" + SessionInfo(Shooter("H1", 0)) + "x</TRAXELMessage >";
    received.clear();
    for (char c : stream) {
        peer.write(QByteArray(1, c));
        peer.flush();
    }
    ASSERT_TRUE(RunLoopUntil([&] { return ReceivedRequest("TargetInfo"); }));
    EXPECT_EQ(session.ShooterCount(), 1);
    EXPECT_EQ(decodeErrors, 0);
    EXPECT_EQ(monitor.ConnectionCount(), 1);
}

TEST_F(NetHostile, GarbageKeepsTheConnectionButHoldsNothing)
{
    const QByteArray garbage(2 << 20, '\x9c');
    ASSERT_TRUE(SendUntil(garbage + SessionInfo(Shooter("H1", 0)), [&] { return ReceivedRequest("TargetInfo"); }));
    EXPECT_EQ(monitor.ConnectionCount(), 1);
    EXPECT_EQ(session.ShooterCount(), 1);
}

TEST_F(NetHostile, CapsOnShootersAndMessageSizeCloseTheConnection)
{
    QByteArray many;
    for (int i = 0; i < 10000; ++i)
        many += Shooter("S" + QByteArray::number(i), 1);
    ASSERT_TRUE(SendUntil(SessionInfo(many), [&] { return Closed(); }));
    EXPECT_EQ(session.ShooterCount(), 0);
    EXPECT_EQ(monitor.RecordCount(), 0);
}

TEST_F(NetHostile, AMegabyteClosingTagOverflowsTheBuffer)
{
    const QByteArray bytes = "<TRAXELMessage><a/></TRAXELMessage" + QByteArray(1 << 20, ' ') + ">";
    const qint64 stall = MedianStallMs(bytes, [&] { return Closed(); });
    ASSERT_GE(stall, 0);
    EXPECT_LT(stall, MaxStallMs);
}

TEST_F(NetHostile, DeepNestingIsADecodeErrorAndTheConnectionGoesOn)
{
    QByteArray deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    const qint64 stall = MedianStallMs(Wrap(deep), [&] { return ReceivedRequest("TargetInfo"); });
    ASSERT_GE(stall, 0);
    EXPECT_LT(stall, MaxStallMs);
    EXPECT_EQ(decodeErrors, 3);
    EXPECT_EQ(monitor.ConnectionCount(), 1);
}

// A quarter million elements in one message: parsed, walked and freed
// without holding the loop.
TEST_F(NetHostile, AMessageOfAQuarterMillionElementsDoesNotHoldTheLoop)
{
    QByteArray wide;
    for (int i = 0; i < 250000; ++i)
        wide += "<a/>";
    ASSERT_LT(wide.size(), NetLimits::MaxMessageBytes);
    const qint64 stall = MedianStallMs(Wrap(wide), [&] {
        return monitor.BacklogCount() == 0 && ReceivedRequest("TargetInfo");
    });
    ASSERT_GE(stall, 0);
    EXPECT_LT(stall, MaxStallMs);
    EXPECT_EQ(decodeErrors, 0);
}

// Whatever a peer sends, the text of a decode error (which is logged) quotes
// only the start of the place it failed at, not the rest of the message.
TEST(NetHostileDecode, DecodeErrorsQuoteOnlyTheStartOfTheFailingText)
{
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    for (int round = 0; round < 40; ++round) {
        const qsizetype size = random.bounded(1, int(NetLimits::MaxMessageBytes));
        const QByteArray filler(size, " x<>/a"[random.bounded(6)]);
        QByteArray bytes;
        switch (random.bounded(5)) {
        case 0:  // nested past the parser's depth
            for (qsizetype n = 0; n < size / 3 + 300; ++n)
                bytes += "<a>";
            bytes = "<TRAXELMessage>" + bytes + "</TRAXELMessage>";
            break;
        case 1:  // a closing tag that closes nothing open, padded
            bytes = "<TRAXELMessage><a></b" + filler + "></TRAXELMessage>";
            break;
        case 2:  // text before the root
            bytes = "junk" + filler + "<TRAXELMessage><a/></TRAXELMessage>";
            break;
        case 3:  // an element never closed
            bytes = "<TRAXELMessage><a x=\"1\">" + filler;
            break;
        default:  // a start tag with its '<' doubled
            bytes = "<TRAXELMessage><a " + filler + "<</TRAXELMessage>";
            break;
        }
        const TDecodedMessage decoded = DecodeMessage(bytes);
        if (decoded.root)
            continue;  // the filler happened to make it well-formed
        EXPECT_FALSE(decoded.error.isEmpty());
        EXPECT_LE(decoded.error.size(), 400) << decoded.error.left(160).toStdString();
        // Still the parser's message, the start of its text and the line.
        const MiniXMLParser::TParseError& e = MiniXMLParser::LastParseError();
        EXPECT_TRUE(decoded.error.startsWith(e.Message + e.Text.left(100))) << decoded.error.left(160).toStdString();
        EXPECT_TRUE(decoded.error.endsWith(QString::number(e.Line))) << decoded.error.right(40).toStdString();
    }
}

QByteArray GoodTarget(const QByteArray& serial)
{
    return Wrap(" <TargetInfo SerialNumber=\"" + serial + "\"><Target Type=\"Ring\" TargetName=\"R\" "
                "TargetNumber=\"0\"><HighestRing>10</HighestRing><MinimumRing>1</MinimumRing>"
                "<TargetWidth>170</TargetWidth><TargetHeight>170</TargetHeight></Target></TargetInfo>");
}

// H2 serves as the barrier: the monitor answers in order, so once it has
// asked for H2's next item everything H1 sent before was handled.
TEST_F(NetHostile, BadTargetsAndShotsAreRefusedAndNotAskedForAgain)
{
    ASSERT_TRUE(SendUntil(SessionInfo(Shooter("H1", 2) + Shooter("H2", 2)),
                          [&] { return received.contains("SerialNumber=\"H2\""); }));
    EXPECT_TRUE(received.contains("Item=\"TargetInfo\" SerialNumber=\"H1\""));

    // A matrix cell outside 0..3: the targets are refused, no shot is asked.
    QByteArray rows;
    for (int r = 0; r < 64; ++r)
        rows += "<MatrixRow Row=\"" + QByteArray::number(r) + "\" Columns=\"" + QByteArray(64, r == 5 ? '7' : '1') + "\"/>";
    const QByteArray badTarget = Wrap(" <TargetInfo SerialNumber=\"H1\"><Target Type=\"Silhouette\" TargetName=\"S\" "
                                      "TargetNumber=\"0\"><CTRL1>0</CTRL1><PrismPlaceX>0</PrismPlaceX>"
                                      "<PrismPlaceY>0</PrismPlaceY>" + rows + "</Target></TargetInfo>");
    ASSERT_TRUE(SendUntil(badTarget + GoodTarget("H2"), [&] { return received.contains("SerialNumber=\"H2\""); }));
    EXPECT_TRUE(received.contains("Item=\"Shot\" SerialNumber=\"H2\" ShotIndex=\"0\"")) << received.toStdString();
    EXPECT_FALSE(received.contains("H1"));
    EXPECT_FALSE(monitor.FindShooterLink(QStringLiteral("H1"))->targetInfoReceived);

    // Good targets: shot 0 is asked for.
    ASSERT_TRUE(SendUntil(GoodTarget("H1"), [&] { return ReceivedRequest("Shot"); }));
    EXPECT_TRUE(received.contains("ShotIndex=\"0\""));

    // A compact shot cannot be read: refused, not stored, not asked again.
    ASSERT_TRUE(SendUntil(ShotAnswer("H1", 0, 3, true) + ShotAnswer("H2", 0, 3),
                          [&] { return received.contains("SerialNumber=\"H2\""); }));
    EXPECT_TRUE(received.contains("SerialNumber=\"H2\" ShotIndex=\"1\"")) << received.toStdString();
    EXPECT_FALSE(received.contains("H1"));
    EXPECT_EQ(session.FindShooter(QStringLiteral("H1"))->ShotCount(), 0);

    // A whole shot is stored and the next one asked for.
    ASSERT_TRUE(SendUntil(ShotAnswer("H1", 0, 3), [&] { return ReceivedRequest("Shot"); }));
    EXPECT_TRUE(received.contains("ShotIndex=\"1\""));
    EXPECT_EQ(session.FindShooter(QStringLiteral("H1"))->ShotCount(), 1);

    // Too many points for one shot: the connection is an error.
    ASSERT_TRUE(SendUntil(ShotAnswer("H1", 1, NetLimits::MaxPointsPerShot + 1), [&] { return Closed(); }));
    EXPECT_EQ(session.FindShooter(QStringLiteral("H1"))->ShotCount(), 1);
}

TEST_F(NetHostile, AMillionPointsAndAShotPastTheCapCloseTheConnection)
{
    ASSERT_TRUE(SendUntil(SessionInfo(Shooter("H1", 1)), [&] { return ReceivedRequest("TargetInfo"); }));
    ASSERT_TRUE(SendUntil(ShotAnswer("H1", 0, 1000000), [&] { return Closed(); }));
    EXPECT_EQ(session.FindShooter(QStringLiteral("H1"))->ShotCount(), 0);

    QTcpSocket again;
    again.connectToHost(QStringLiteral("127.0.0.1"), monitor.Port());
    ASSERT_TRUE(RunLoopUntil([&] { return monitor.ConnectionCount() == 1; }));
    again.write(ShotAnswer("H1", NetLimits::MaxShotsPerShooter, 1));
    ASSERT_TRUE(RunLoopUntil([&] { return monitor.ConnectionCount() == 0; }));
}

TEST_F(NetHostile, ConnectionsAndUnreadDataHaveTheirCaps)
{
    // One connection is open already.
    std::vector<std::unique_ptr<QTcpSocket>> more;
    for (int i = 0; i < NetLimits::MaxConnections; ++i) {
        more.push_back(std::make_unique<QTcpSocket>());
        more.back()->connectToHost(QStringLiteral("127.0.0.1"), monitor.Port());
    }
    ASSERT_TRUE(RunLoopUntil([&] {
        return std::count_if(more.begin(), more.end(), [](const auto& s) {
                   return s->state() == QAbstractSocket::UnconnectedState;
               }) == 1;
    }));
    EXPECT_EQ(monitor.ConnectionCount(), NetLimits::MaxConnections);
    more.clear();
    ASSERT_TRUE(RunLoopUntil([&] { return monitor.ConnectionCount() == 1; }));

    // A node that reads nothing is dropped once too much waits for it.
    const QString text(NetLimits::MaxMessageText, 'w');
    int sent = 0;
    while (sent < 100000 && monitor.SendMessageRequest(QStringLiteral("ALL"), text) == 1)
        ++sent;
    EXPECT_GT(sent, 1000);
    EXPECT_LT(sent, 100000);
    EXPECT_EQ(monitor.ConnectionCount(), 0);
}

QByteArray Note(int i) { return "<TRAXELMessage><Note N=\"" + QByteArray::number(i) + "\"/></TRAXELMessage>"; }

// Sends bytes and ends the sending half, as a node that closes once all is
// out. The socket keeps reading: a socket closed with unread input resets
// the link and the kernel drops whatever it had not sent yet, which would
// lose the very bytes under test.
void SendAndClose(QTcpSocket& socket, const QByteArray& bytes)
{
    socket.write(bytes);
    ASSERT_TRUE(RunLoopUntil([&] {
        socket.readAll();
        return socket.bytesToWrite() == 0;
    }, 20000));
    ASSERT_EQ(::shutdown(int(socket.socketDescriptor()), SHUT_WR), 0);
}

int NoteNumber(const QByteArray& message)
{
    const qsizetype at = message.indexOf("N=\"");
    return at < 0 ? -1 : message.mid(at + 3, message.indexOf('"', at + 3) - at - 3).toInt();
}

// Thousands of messages in one write: each handled, in order, and the event
// loop gets its turn before the last of them.
TEST_F(NetHostile, AFloodOfMessagesIsHandledInOrderWhileTheLoopGoesOn)
{
    constexpr int Count = 3000;
    std::vector<int> order;
    int handledWhenTheLoopRan = -1;
    monitor.onMessage = [&](const QByteArray& message) {
        if (order.empty())
            QTimer::singleShot(0, [&] { handledWhenTheLoopRan = int(order.size()); });
        order.push_back(NoteNumber(message));
    };
    QByteArray flood;
    for (int i = 0; i < Count; ++i)
        flood += Note(i);
    ASSERT_TRUE(SendUntil(flood + SessionInfo(Shooter("H1", 0)), [&] { return ReceivedRequest("TargetInfo"); }));
    ASSERT_EQ(order.size(), std::size_t(Count + 1));
    for (int i = 0; i < Count; ++i)
        ASSERT_EQ(order[std::size_t(i)], i);
    EXPECT_GT(handledWhenTheLoopRan, 0);
    EXPECT_LT(handledWhenTheLoopRan, Count);
    EXPECT_EQ(monitor.BacklogCount(), 0);
    EXPECT_EQ(monitor.ConnectionCount(), 1);
}

// A node that sends and closes at once: what it sent is still taken, then
// its link is let go.
TEST_F(NetHostile, EverythingAClosingPeerSentIsHandledBeforeItIsDropped)
{
    int handled = 0;
    monitor.onMessage = [&](const QByteArray&) { ++handled; };
    QTcpSocket closing;
    closing.connectToHost(QStringLiteral("127.0.0.1"), monitor.Port());
    ASSERT_TRUE(RunLoopUntil([&] { return monitor.ConnectionCount() == 2; }));
    QByteArray bytes;
    for (int i = 0; i < 2000; ++i)
        bytes += Note(i);
    SendAndClose(closing, bytes + SessionInfo(Shooter("LAST", 0)));
    ASSERT_TRUE(RunLoopUntil([&] { return monitor.ConnectionCount() == 1; }, 20000));
    EXPECT_EQ(handled, 2001);
    const TShooterOnNode* last = monitor.FindShooterLink(QStringLiteral("LAST"));
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(last->socket.isNull());
    EXPECT_TRUE(last->resetNeeded);
}

// What a refused message is followed by in the same read is not taken.
TEST_F(NetHostile, NothingAfterARefusalIsTaken)
{
    QByteArray many;
    for (int i = 0; i < NetLimits::MaxRemoteShooters + 1; ++i)
        many += Shooter("S" + QByteArray::number(i), 0);
    ASSERT_TRUE(SendUntil(SessionInfo(many) + SessionInfo(Shooter("AFTER", 0)), [&] { return Closed(); }));
    EXPECT_EQ(monitor.FindShooterLink(QStringLiteral("AFTER")), nullptr);
    EXPECT_EQ(monitor.BacklogCount(), 0);
}

// A long message is parsed aside; what follows it waits for its turn, also
// when the peer has closed meanwhile.
TEST_F(NetHostile, ALongMessageKeepsItsPlaceInTheStream)
{
    QByteArray lines;
    for (int i = 0; i < 70000; ++i)
        lines += " a" + QByteArray::number(i) + "=\"1\"\n";
    const QByteArray wide = SessionInfo("  <Shooter\n" + lines + " Name=\"W\" SerialNumber=\"WIDE\" ShotCount=\"0\"/>");
    ASSERT_GT(wide.size(), 256 * 1024);
    ASSERT_LT(wide.size(), NetLimits::MaxMessageBytes);
    QTcpSocket closing;
    closing.connectToHost(QStringLiteral("127.0.0.1"), monitor.Port());
    ASSERT_TRUE(RunLoopUntil([&] { return monitor.ConnectionCount() == 2; }));
    SendAndClose(closing, Note(0) + wide + SessionInfo(Shooter("SMALL", 0)));
    ASSERT_TRUE(RunLoopUntil([&] { return monitor.ConnectionCount() == 1; }, 20000));
    ASSERT_EQ(monitor.RecordCount(), 2);
    EXPECT_EQ(monitor.Record(0)->serialNumber, QStringLiteral("WIDE"));
    EXPECT_EQ(monitor.Record(1)->serialNumber, QStringLiteral("SMALL"));
    EXPECT_EQ(session.ShooterCount(), 2);
}


// A hostile monitor against the node: a quarter million elements in one
// message are parsed without holding the loop, and what follows waits for
// them (the text inside the long message comes before the one after it).
TEST(NetHostileMonitor, AQuarterMillionElementsDoNotHoldTheNodeAndKeepTheirPlace)
{
    EnsureCoreApp();
    TSession session;
    AddNetShooter(session, QStringLiteral("A1"), QStringLiteral("Anna"), 1);
    TNetNode node;
    node.session = [&session] { return &session; };
    QStringList texts;
    node.onTextMessage = [&](const QString&, const QString& text) { texts << text; };
    QTcpServer hostile;
    ASSERT_TRUE(hostile.listen(QHostAddress::LocalHost, 0));
    TMessageWriter writer;
    QByteArray wide = writer.RequestSendMessage(QStringLiteral("ALL"), QStringLiteral("wide"));
    QByteArray siblings;
    for (int i = 0; i < 250000; ++i)
        siblings += "<a/>";
    wide.insert(wide.indexOf("</TRAXELMessage>"), siblings);
    ASSERT_LT(wide.size(), NetLimits::MaxMessageBytes);

    THeartbeat heartbeat;
    std::vector<qint64> stalls;
    for (int round = 0; round < 3; ++round) {
        node.Connect(QStringLiteral("127.0.0.1"), hostile.serverPort());
        ASSERT_TRUE(RunLoopUntil([&] { return hostile.hasPendingConnections() && node.Connected(); }));
        std::unique_ptr<QTcpSocket> peer(hostile.nextPendingConnection());
        texts.clear();
        QByteArray answers;
        heartbeat.Start();
        peer->write(wide + writer.RequestSendMessage(QStringLiteral("ALL"), QStringLiteral("after"))
                    + writer.RequestShot(QStringLiteral("A1"), 0));
        ASSERT_TRUE(RunLoopUntil([&] {
            answers += peer->readAll();
            return answers.contains("</TRAXELMessage>");
        }, 20000));
        stalls.push_back(heartbeat.WorstMs());
        EXPECT_EQ(texts, QStringList({QStringLiteral("wide"), QStringLiteral("after")}));
        EXPECT_EQ(answers.count("<TRAXELMessage>"), 1);
        EXPECT_TRUE(answers.contains("ShotIndex=\"0\""));
        node.Close();
    }
    heartbeat.Stop();
    std::sort(stalls.begin(), stalls.end());
    std::printf("node's event loop held at most %lld ms (median of 3)\n", (long long)stalls[1]);
    EXPECT_LT(stalls[1], MaxStallMs);
}

// A long message still being parsed when its connection is closed, or its
// node deleted, is dropped: nothing of it reaches the hooks afterwards.
TEST(NetHostileMonitor, ALongMessageInTheParseGoesWithItsConnectionAndItsNode)
{
    EnsureCoreApp();
    TSession session;
    auto node = std::make_unique<TNetNode>();
    node->session = [&session] { return &session; };
    QStringList texts;
    node->onTextMessage = [&](const QString&, const QString& text) { texts << text; };
    // Each long message takes the node away on the next turn of the loop,
    // long before its parse is done.
    std::function<void()> takeAway;
    node->onMessage = [&](const QByteArray& message) {
        if (message.size() >= 64 * 1024 && takeAway)
            QTimer::singleShot(0, [&] { std::exchange(takeAway, {})(); });
    };
    QTcpServer hostile;
    ASSERT_TRUE(hostile.listen(QHostAddress::LocalHost, 0));
    TMessageWriter writer;
    const auto wide = [&](const QString& text) {
        QByteArray message = writer.RequestSendMessage(QStringLiteral("ALL"), text);
        QByteArray siblings;
        for (int i = 0; i < 250000; ++i)
            siblings += "<a/>";
        return message.insert(message.indexOf("</TRAXELMessage>"), siblings);
    };
    const auto connect = [&] {
        node->Connect(QStringLiteral("127.0.0.1"), hostile.serverPort());
        EXPECT_TRUE(RunLoopUntil([&] { return hostile.hasPendingConnections() && node->Connected(); }));
        return std::unique_ptr<QTcpSocket>(hostile.nextPendingConnection());
    };

    std::unique_ptr<QTcpSocket> peer = connect();
    ASSERT_TRUE(peer);
    bool taken = false;
    takeAway = [&] { node->Close(); taken = true; };
    peer->write(wide(QStringLiteral("closed")) + writer.RequestSendMessage(QStringLiteral("ALL"), QStringLiteral("closed too")));
    ASSERT_TRUE(RunLoopUntil([&] { return taken; }, 20000));

    // The parse of the closed connection's message ends before the next one's.
    peer = connect();
    ASSERT_TRUE(peer);
    peer->write(wide(QStringLiteral("next")) + writer.RequestSendMessage(QStringLiteral("ALL"), QStringLiteral("after")));
    ASSERT_TRUE(RunLoopUntil([&] { return texts.size() >= 2; }, 20000));
    EXPECT_EQ(texts, QStringList({QStringLiteral("next"), QStringLiteral("after")}));

    taken = false;
    takeAway = [&] { node.reset(); taken = true; };
    peer->write(wide(QStringLiteral("deleted")) + writer.RequestSendMessage(QStringLiteral("ALL"), QStringLiteral("deleted too")));
    ASSERT_TRUE(RunLoopUntil([&] { return taken; }, 20000));
    RunLoopUntil([] { return false; }, 300);  // a call left for the node would come now
    EXPECT_EQ(texts.size(), 2);
}
