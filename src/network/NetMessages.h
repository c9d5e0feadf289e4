// The messages of the link between a shooter PC (node) and an instructor PC
// (monitor): every one is a small XML document with the root
// "TRAXELMessage" (requests and answers) or "TRAXELDataOut" (the node's
// unsolicited per-shot data), sent as 8-bit code page text. The element
// forms of sessions, targets and shots are those of the session file.
//
// No widgets, no sockets: the roles, the console peer and the tests build
// and read messages here. Not thread-safe; the GUI thread uses one writer.
#pragma once

#include "MiniXMLParser.h"
#include "Shotfile.h"

#include <QByteArray>
#include <QString>

#include <memory>

class TSession;
class TShooter;
class TShot;

namespace NetLimits {
inline constexpr int DefaultPort = 14351;
// Most remote shooters one monitor mirrors, and connections it accepts.
inline constexpr int MaxRemoteShooters = 64;
inline constexpr int MaxConnections = 32;
// Most shots a monitor pulls for one remote shooter.
inline constexpr int MaxShotsPerShooter = 10000;
// Most aiming-trace points a received shot may carry.
inline constexpr int MaxPointsPerShot = 1000;
// Longest text message to shooters, in characters.
inline constexpr int MaxMessageText = 256;
// Longest message a connection may buffer before its end marker.
inline constexpr qsizetype MaxMessageBytes = qsizetype(1) << 20;
// A peer that leaves this much of our data unread is dropped.
inline constexpr qint64 MaxUnsentBytes = qint64(4) << 20;
} // namespace NetLimits

// Builds outgoing messages. Each call clears and refills one document, so
// only one message is built at a time.
class TMessageWriter {
public:
    TMessageWriter();

    // ---- Monitor to node ----
    QByteArray RequestSessionInfo();
    QByteArray RequestTargetInfo(const QString& serial);
    QByteArray RequestShot(const QString& serial, int shotIndex);
    QByteArray RequestSendMessage(const QString& serial, const QString& text);

    // ---- Node to monitor ----
    QByteArray SessionInfo(TSession& session);
    QByteArray TargetInfo(TShooter& shooter);
    // Always the full form of the shot: a monitor cannot read a compact one.
    QByteArray Shot(const QString& serial, int shotIndex, const TShot& shot);
    // The unsolicited data after a shot: the compact form of the shot plus
    // its target's and shooter's names.
    QByteArray DataOut(const TShooter& shooter, int shotIndex, const TShot& shot, const QString& targetName);

private:
    MiniXMLParser::TXMLNode* Begin(const char* root);
    MiniXMLParser::TXMLNode* Request(const char* item);
    QByteArray Finish();

    TShotFileHandler writer_;
};

// One received message, parsed.
struct TDecodedMessage {
    std::unique_ptr<MiniXMLParser::TXMLNode> root;  // null when error is set
    QString error;
};

// Parses one message cut by the framer: the code page text, a
// "TRAXELMessage" root with at least one child. Never throws.
TDecodedMessage DecodeMessage(const QByteArray& message);

// The text of a message as it is logged: at most maxChars characters.
QString MessageExcerpt(const QByteArray& message, int maxChars = 200);
