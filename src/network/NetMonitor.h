// The monitor role's connections: this PC listens for nodes, mirrors every
// shooter they announce in a local shooter and pulls their shots one at a
// time, in order, until the local count equals the announced one.
//
// GUI thread only (the server's and sockets' events arrive there). No
// widgets: the network form makes and updates the viewers through the hooks
// below; the console peer and the tests run without any.
//
// Owns the server, one TConnection per accepted socket and one
// TShooterOnNode per shooter serial announced since Start. Sockets are
// children of the server; the records only hold guarded pointers to them.
// The shooters belong to the session given (SetSession); the records point
// at them until Stop, which the session's owner calls before it deletes them.
//
// A record has at most one request (its targets or one shot) on the way at
// a time, and only the answer to that request is taken. A request whose
// answer does not come in a form that can be used (lost, unreadable) is
// overdue after OverdueMs and sent again on the next summary that shows the
// shooter ahead of the copy, or by a check on a timer a few times in a row.
// A request the node cannot answer (a shot past a list that shrank) is
// forgotten when the summary shows the shrinking.
//
// The node's list may change order under the copy (a unit's shot sorts
// before older ones, a list shrinks). An answer that repeats the copy's
// entry j (the first of a run of equal entries) is checked by asking for
// entry j again: when the node still holds that shot there, its list holds
// equal shots and the answer is taken;
// otherwise the list moved, and the copy is dropped and pulled again from
// the first shot, as it is on a summary whose count went down. A move seen
// again before the next summary only stops the pulling until that summary,
// so a node whose list keeps moving costs one pull per summary.
//
// The messages of one read are not handled in one go: they wait in their
// connection's backlog and a zero-time continuation handles a slice of them
// at a time (connections in turn, each in stream order), so timers, paints
// and other sockets get their turn in between. A connection with a long
// backlog is not read until it shrinks; the socket's bounded read buffer
// then holds the peer back. A peer that closes its end still has every
// message it sent handled before its connection is dropped. A long message
// is parsed on a pool thread (the parse touches nothing shared); its
// connection waits for it, the others go on, and the parsed message is
// handled here on the GUI thread in its turn.
//
// Caps (NetLimits): a connection that sends what a cap refuses (too many
// shooters, a shot beyond the shot cap, a shot with too many points, a
// message past the buffer cap) or leaves too much of our data unread is
// logged and closed; nothing refused is asked for again at once.
#pragma once

#include "NetDecoder.h"
#include "NetFraming.h"
#include "NetMessages.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class TSession;
class TShooter;

// The monitor's record of one remote shooter.
struct TShooterOnNode {
    QString name;                  // last announced
    QString serialNumber;          // the key, compared exactly
    int announcedShotCount = 0;    // ShotCount of the last summary
    TShooter* shooter = nullptr;   // the session's
    QPointer<QObject> viewer;      // set by the form
    QString remoteAddress;         // of the connection that first announced it
    QPointer<QTcpSocket> socket;   // the connection that last announced it
    bool targetInfoReceived = false;
    bool resetNeeded = false;
    bool capLogged = false;

    // The request on the way, if any.
    enum class TPending { None, TargetInfo, Shot };
    TPending pending = TPending::None;
    int pendingShot = -1;          // its ShotIndex
    uint32_t pendingSince = 0;     // tick it was last sent at
    int timedReasks = 0;           // sent again by the wait, in a row, without an answer
    bool resyncArmed = false;      // a repeat may start a new pull (once per summary)
    bool stale = false;            // the copy is out of step: pulled anew on the next summary
    // An answer for repeatAt repeated the copy's entry checking; the node is
    // asked for that entry again to tell a moved list from two equal shots.
    int checking = -1;
    int repeatAt = -1;
    int acceptRepeatAt = -1;       // taken though it repeats: the node holds equal shots
};

class TNetMonitor : public QObject {
    Q_OBJECT
public:
    explicit TNetMonitor(QObject* parent = nullptr);
    ~TNetMonitor() override;

    // A request unanswered this long is overdue: it is sent again on the
    // next summary that shows its shooter ahead of the copy, or by the
    // check that runs every OverdueCheckMs, which gives up after
    // MaxTimedReasks tries in a row (the summaries still ask).
    static constexpr uint32_t OverdueMs = 1500;
    static constexpr int OverdueCheckMs = 250;
    static constexpr int MaxTimedReasks = 3;

    // The session remote shooters are added to (not owned).
    void SetSession(TSession* session) { session_ = session; }
    TSession* Session() const { return session_; }

    // ---- Hooks (empty ones do nothing) ----
    // A record was made for a serial; existed: its shooter was in the
    // session already (the monitor was stopped and started again).
    std::function<void(TShooterOnNode& record, bool existed)> onLinked;
    // Around the clearing of a record's shots when it is pulled anew: the
    // viewer lets go of the shots before, and shows the empty list after.
    std::function<void(TShooterOnNode& record)> beforeShotsCleared;
    std::function<void(TShooterOnNode& record)> afterShotsCleared;
    // The name of a record's shooter was announced.
    std::function<void(TShooterOnNode& record)> onNameAnnounced;
    // A record's targets arrived; its shooter's current target was rebuilt
    // when it has no shots.
    std::function<void(TShooterOnNode& record)> onTargetInfo;
    // A shot answer for a record was handled; stored: it was appended.
    std::function<void(TShooterOnNode& record, int shotIndex, bool stored)> onShot;
    // A connection was accepted or has ended.
    std::function<void()> onConnectionsChanged;
    // A record's link went to another connection or was lost.
    std::function<void(TShooterOnNode& record)> onLinkChanged;
    std::function<void(const QString& error, const QByteArray& message)> onDecodeError;
    // Every whole message received (tests, logging).
    std::function<void(const QByteArray& message)> onMessage;

    // Listens on every IPv4 address; port 0 picks a free one. False (and
    // not listening) when the port cannot be had.
    bool Start(quint16 port);
    // Stops listening, closes every accepted connection, drops the records.
    void Stop();
    bool Listening() const { return server_.isListening(); }
    quint16 Port() const { return server_.serverPort(); }
    QString ErrorString() const { return server_.errorString(); }

    int ConnectionCount() const { return int(connections_.size()); }
    // Messages received and not handled yet, over all connections.
    int BacklogCount() const;
    int RecordCount() const { return int(records_.size()); }
    // Null past the end.
    TShooterOnNode* Record(int index) const;
    TShooterOnNode* FindShooterLink(const QString& serial) const;
    // The shooter's record has a connected socket.
    bool LinkConnected(const QString& serial) const;

    // A text for one shooter's node (by serial) or for every connection
    // ("ALL"). Returns the number of connections it was written to; a text
    // longer than NetLimits::MaxMessageText goes nowhere.
    int SendMessageRequest(const QString& serial, const QString& text);

private:
    struct TConnection {
        QPointer<QTcpSocket> socket;
        QString peer;            // its address, still known after it closed
        TMessageFramer framer;
        QByteArray outsideTail;  // last bytes between messages so far
        bool ignore = false;     // sent data-out: everything from it is dropped
        std::deque<QByteArray> backlog;  // cut, not handled yet, in stream order
        qsizetype backlogBytes = 0;
        QString refusal;         // set: closed for it once the backlog is handled
        bool gone = false;       // the peer closed: dropped once the backlog is handled
        std::shared_ptr<TDecodeJob> decoding;  // its next message, parsed off the GUI thread
    };

    void Accept();
    void Read(QTcpSocket* socket);
    // Handles the backlogs a slice at a time; posts itself again while any is left.
    void Drain();
    void ScheduleDrain();
    // A connection whose backlog is empty: closed, dropped or read on as due.
    void Settle(QTcpSocket* socket);
    // The peer closed its end.
    void Dropped(QTcpSocket* socket);
    // The one place a connection ends (closed by the peer or by us).
    void Remove(QTcpSocket* socket);
    void Close(QTcpSocket* socket, const QString& reason);
    TConnection* Find(const QTcpSocket* socket) const;
    void HandleMessage(QTcpSocket* socket, const QByteArray& message);
    void HandleDecoded(QTcpSocket* socket, const QByteArray& message, const TDecodedMessage& decoded);
    // Parses a long message off the GUI thread; Decoded takes it back.
    void DecodeAside(TConnection& connection, QByteArray message);
    // Posted by the decoder's thread whenever a parse is done.
    Q_INVOKABLE void TakeDecoded();
    void Decoded(const std::shared_ptr<TDecodeJob>& job);
    // False when the message broke a cap: the connection is to be closed.
    bool Dispatch(QTcpSocket* socket, const MiniXMLParser::TXMLNode& root, QString& refusal);
    bool HandleSessionInfo(QTcpSocket* socket, const MiniXMLParser::TXMLNode& info, QString& refusal);
    void HandleTargetInfo(const MiniXMLParser::TXMLNode& info);
    bool HandleShot(const MiniXMLParser::TXMLNode& shot, QString& refusal);
    TShooterOnNode& RecordFor(const QString& serial) const;
    void ResetRecord(TShooterOnNode& record);
    // A summary announced count for record (its previous count given).
    void Announced(TShooterOnNode& record, int count, int previous);
    // Where the copy holds the shot of a shot answer (the first of the last
    // run of equal shots), or -1.
    static int HeldAt(const TShooter& shooter, const MiniXMLParser::TXMLNode& answer);
    // The answer to a check of the copy's entry: equal shots or a moved list.
    void Checked(TShooterOnNode& record, const MiniXMLParser::TXMLNode& answer);
    // The node's list moved under the copy (seen at shot index).
    void Moved(TShooterOnNode& record, int index);
    void PullNext(TShooterOnNode& record);
    void Awaiting(TShooterOnNode& record, TShooterOnNode::TPending what, int shotIndex);
    bool Overdue(const TShooterOnNode& record) const;
    // Sends the request on the way once more.
    void AskAgain(TShooterOnNode& record, const char* why);
    // The timer's look for overdue requests.
    void CheckOverdue();
    void RequestTargetInfo(TShooterOnNode& record);
    void RequestShot(TShooterOnNode& record);
    void RequestShotAt(TShooterOnNode& record, int index);
    bool Send(QTcpSocket* socket, const QByteArray& message);

    QTcpServer server_;
    TSession* session_ = nullptr;
    TMessageWriter writer_;
    std::vector<std::unique_ptr<TConnection>> connections_;
    std::vector<std::unique_ptr<TShooterOnNode>> records_;
    bool drainPosted_ = false;
    QTimer overdueTimer_;
    // Last member: gone (its thread joined) before anything it could reach.
    std::unique_ptr<TNetDecoder> decoder_;
};
