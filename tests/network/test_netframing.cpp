// Cutting messages out of a byte stream, building and decoding them.
#include "NetFraming.h"
#include "NetMessages.h"
#include "NetTestSupport.h"

#include "Globals.h"
#include "Shotdata.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const QByteArray First = Wrap(" <Request Item=\"SessionInfo\"/>");
const QByteArray Second = Wrap(" <Request Item=\"Shot\" SerialNumber=\"A1\" ShotIndex=\"2\"/>");

// The messages as the framer cuts them: from the start marker to the ">"
// of the end marker.
QByteArray Cut(const QByteArray& wrapped)
{
    const qsizetype s = wrapped.indexOf("<TRAXELMessage");
    const qsizetype e = wrapped.indexOf('>', wrapped.indexOf("</TRAXELMessage"));
    return wrapped.mid(s, e - s + 1);
}

std::vector<QByteArray> FeedAll(TMessageFramer& framer, const std::vector<QByteArray>& reads, int* orphans = nullptr,
                                bool* overflow = nullptr)
{
    std::vector<QByteArray> out;
    for (const QByteArray& read : reads) {
        TMessageFramer::TFeed feed = framer.Feed(read);
        out.insert(out.end(), feed.messages.begin(), feed.messages.end());
        if (orphans)
            *orphans += feed.orphanEndMarkers;
        if (overflow)
            *overflow = *overflow || feed.overflow;
    }
    return out;
}

} // namespace

TEST(NetFraming, TwoMessagesSplitAtEveryOffsetComeOutWholeAndInOrder)
{
    const QByteArray stream = "PING" + First + Second;
    const std::vector<QByteArray> expected {Cut(First), Cut(Second)};
    for (qsizetype at = 0; at <= stream.size(); ++at) {
        TMessageFramer framer;
        EXPECT_EQ(FeedAll(framer, {stream.left(at), stream.mid(at)}), expected) << "split at " << at;
        EXPECT_EQ(framer.BufferedBytes(), 2) << "split at " << at;  // the CR LF after the second
    }
    TMessageFramer bytewise;
    std::vector<QByteArray> reads;
    for (char c : stream)
        reads.emplace_back(1, c);
    EXPECT_EQ(FeedAll(bytewise, reads), expected);
}

// What lies between messages comes out in stream order, wherever the reads
// split it, and nothing of a message is in it.
TEST(NetFraming, BytesBetweenMessagesComeOutInOrderWhereverTheReadsSplit)
{
    const QByteArray between = "<TRAXELDataOut><Shot/></TRAXELDataOut>";
    const QByteArray stream = "PING" + First + between + Second + "</TRAXELMessage>x";
    for (qsizetype at = 0; at <= stream.size(); ++at) {
        TMessageFramer framer;
        framer.KeepOutside(true);
        QByteArray outside;
        for (const QByteArray& read : {stream.left(at), stream.mid(at)})
            outside += framer.Feed(read).outside;
        const QByteArray firstHead = First.left(First.indexOf("<TRAXELMessage"));
        const QByteArray secondHead = Second.left(Second.indexOf("<TRAXELMessage"));
        // The CR LF after each message, the orphan end marker and what
        // follows, bar the tail kept in case a marker begins there.
        EXPECT_EQ(outside, "PING" + firstHead + "\r\n" + between + secondHead + "\r\n" + "</TRAXELMessage>")
            << "split at " << at;
    }
}

TEST(NetFraming, OrphanEndMarkersAndJunkAreDroppedWithoutHarmingTheNextMessage)
{
    TMessageFramer framer;
    int orphans = 0;
    const std::vector<QByteArray> got = FeedAll(
        framer, {"junk</TRAXELMessage>more</TRAXELMess", "age >", "PING", First}, &orphans);
    EXPECT_EQ(orphans, 2);
    EXPECT_EQ(got, std::vector<QByteArray> {Cut(First)});

    // A data-out message never matches a node's markers.
    TMessageFramer node;
    EXPECT_EQ(FeedAll(node, {Wrap("<Shot/>", "TRAXELDataOut"), Second}), std::vector<QByteArray> {Cut(Second)});
}

TEST(NetFraming, GarbageAndOverlongMessagesStayWithinTheCap)
{
    // Two MiB without a marker: only a possible marker's beginning is kept.
    TMessageFramer framer;
    bool overflow = false;
    const QByteArray garbage(2 << 20, 'x');
    EXPECT_TRUE(FeedAll(framer, {garbage}, nullptr, &overflow).empty());
    EXPECT_FALSE(overflow);
    EXPECT_LE(framer.BufferedBytes(), 14);

    // A start marker followed by two MiB: dropped as one overflow; the
    // stream goes on with the next whole message.
    TMessageFramer open;
    overflow = false;
    std::vector<QByteArray> got = FeedAll(open, {"<TRAXELMessage>", garbage, First}, nullptr, &overflow);
    EXPECT_TRUE(overflow);
    EXPECT_EQ(got, std::vector<QByteArray> {Cut(First)});
    EXPECT_LE(open.BufferedBytes(), TMessageFramer::DefaultCap);

    // A closing tag of a megabyte, in small reads (linear time).
    TMessageFramer closing;
    overflow = false;
    std::vector<QByteArray> reads {"<TRAXELMessage><a/></TRAXELMessage"};
    for (int i = 0; i < 300; ++i)
        reads.push_back(QByteArray(4096, 'y'));
    reads.push_back(">");
    reads.push_back(Second);
    got = FeedAll(closing, reads, nullptr, &overflow);
    EXPECT_TRUE(overflow);
    EXPECT_EQ(got, std::vector<QByteArray> {Cut(Second)});
}

TEST(NetFraming, AMessageOfTheCapsLengthIsCutWhateverFollowsInTheSameRead)
{
    const QByteArray head = "<TRAXELMessage><a/>";
    const QByteArray tail = "</TRAXELMessage>";
    const QByteArray full = head + QByteArray(TMessageFramer::DefaultCap - head.size() - tail.size(), ' ') + tail;
    TMessageFramer framer;
    bool overflow = false;
    const std::vector<QByteArray> got = FeedAll(framer, {full + full + Second}, nullptr, &overflow);
    EXPECT_FALSE(overflow);
    EXPECT_EQ(got, (std::vector<QByteArray> {full, full, Cut(Second)}));

    // One byte more is one byte too many.
    overflow = false;
    const std::vector<QByteArray> over = FeedAll(framer, {head + " " + full.mid(head.size()) + Second}, nullptr, &overflow);
    EXPECT_TRUE(overflow);
    EXPECT_EQ(over, std::vector<QByteArray> {Cut(Second)});
}

TEST(NetMessages, RequestsDecodeToWhatWasBuilt)
{
    TMessageWriter writer;
    const QString text = QStringLiteral("Stop now\r\nÄä € <&>\"");
    const QByteArray bytes = writer.RequestSendMessage(QStringLiteral("ALL"), text);
    // 8-bit code page on the wire, not UTF-8.
    EXPECT_TRUE(bytes.contains(char(0xE4)));
    EXPECT_TRUE(bytes.contains(char(0x80)));
    TMessageFramer framer;
    const TMessageFramer::TFeed feed = framer.Feed(bytes);
    ASSERT_EQ(feed.messages.size(), 1u);
    TDecodedMessage decoded = DecodeMessage(feed.messages[0]);
    ASSERT_TRUE(decoded.root) << decoded.error.toStdString();
    const auto* request = decoded.root->GetNode(0);
    EXPECT_EQ(request->Name(), QStringLiteral("Request"));
    EXPECT_EQ(request->GetAttributeValue(QStringLiteral("Item")), QStringLiteral("SendMessage"));
    EXPECT_EQ(request->GetAttributeValue(QStringLiteral("Message")), text);

    decoded = DecodeMessage(writer.RequestShot(QStringLiteral("A1"), 3));
    ASSERT_TRUE(decoded.root);
    EXPECT_EQ(decoded.root->GetNode(0)->GetAttributeValue(QStringLiteral("ShotIndex")), QStringLiteral("3"));
}

TEST(NetMessages, DataOutIsCompactButLaterShotAnswersAreNot)
{
    TSession session;
    TShooter* shooter = AddNetShooter(session, QStringLiteral("KBR0000001"), QStringLiteral("Anna"), 2);
    TMessageWriter writer;
    const QByteArray dataOut = writer.DataOut(*shooter, 1, *shooter->GetShot(1), QStringLiteral("Ring 10m"));
    EXPECT_TRUE(dataOut.contains("<TRAXELDataOut>"));
    EXPECT_FALSE(dataOut.contains("XNAU"));
    EXPECT_FALSE(dataOut.contains("<RingTarget>"));
    EXPECT_TRUE(dataOut.contains("<TargetName>Ring 10m</TargetName>"));
    EXPECT_TRUE(dataOut.contains("<Name>Anna</Name>"));

    const QByteArray answer = writer.Shot(shooter->SerialNumber(), 1, *shooter->GetShot(1));
    EXPECT_TRUE(answer.contains("XNAU=\"10\""));
    EXPECT_TRUE(answer.contains("<RingTarget>0</RingTarget>"));
    TDecodedMessage decoded = DecodeMessage(answer);
    ASSERT_TRUE(decoded.root);
    TShooter copy;
    TShotFileHandler reader;
    const TShot* read = reader.ReadShot(decoded.root->GetNode(0), copy);
    EXPECT_EQ(read->raw.XNAU(), 10);
    EXPECT_EQ(read->raw.YNAU(), -5);
    EXPECT_EQ(read->raw.Score(), 99);
    EXPECT_EQ(read->CurveCount(), 3);
}

TEST(NetMessages, UndecodableMessagesAreReportedNotThrown)
{
    const std::vector<std::pair<QByteArray, const char*>> cases {
        {"<TRAXELMessageX><Request Item=\"SessionInfo\"/></TRAXELMessageX>", "Message root not TRAXELMessage"},
        {"<TRAXELMessage></TRAXELMessage>", "No data node on root"},
        {"<TRAXELMessage><Request Item=\"x></TRAXELMessage>", nullptr},
        {"<TRAXELMessage>" + QByteArray(300 * 3, 0).replace(QByteArray(1, 0), "<a>") + "</TRAXELMessage>", nullptr},
        {QByteArray(), nullptr},
    };
    for (const auto& [bytes, error] : cases) {
        const TDecodedMessage decoded = DecodeMessage(bytes);
        EXPECT_FALSE(decoded.root) << bytes.left(40).toStdString();
        EXPECT_FALSE(decoded.error.isEmpty());
        if (error) {
            EXPECT_EQ(decoded.error, QString::fromLatin1(error));
        }
    }
}
