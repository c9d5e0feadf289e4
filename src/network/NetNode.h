// The node role's connection: this PC runs the training and serves one
// monitor over a TCP client socket. It answers the monitor's requests
// (session summary, a shooter's targets, single shots), hands text messages
// on, and announces every new shot.
//
// GUI thread only (the socket's events arrive there). No widgets: the
// network form supplies the session, the options and what to do with a text
// message or a lost connection through the hooks below, and the console peer
// supplies its own. Nothing here asks the operator anything; a hook that
// does must not run a nested event loop inside the socket's signal (the
// form posts its question).
//
// Messages are handled strictly in the order received. A long one is parsed
// on the decoder's thread and those behind it wait for it; while that much
// waits, the socket is not read on and its bounded read buffer holds the
// monitor back. What waits is dropped with the connection.
#pragma once

#include "NetDecoder.h"
#include "NetFraming.h"
#include "NetMessages.h"

#include <QObject>
#include <QString>
#include <QTcpSocket>

#include <deque>
#include <functional>
#include <memory>

class TSession;

class TNetNode : public QObject {
    Q_OBJECT
public:
    explicit TNetNode(QObject* parent = nullptr);
    ~TNetNode() override;

    // ---- Hooks (set before Connect; empty ones do nothing) ----
    // The session served; null serves nothing.
    std::function<TSession*()> session;
    // Option DataoutMode: the node then serves no requests and sends the
    // compact per-shot data instead of its session summary.
    std::function<bool()> dataoutMode;
    // A text from the monitor for the shooter with serial (or "ALL").
    std::function<void(const QString& serial, const QString& text)> onTextMessage;
    // The connection came up or went down.
    std::function<void()> onConnectionChanged;
    // Connecting failed or the connection was lost, also when this end
    // dropped a monitor that reads nothing (not after Close).
    std::function<void(const QString& reason)> onConnectionError;
    // A received message that cannot be decoded: the reason and its bytes.
    std::function<void(const QString& error, const QByteArray& message)> onDecodeError;
    // Every whole message received, before it is decoded (tests, logging).
    std::function<void(const QByteArray& message)> onMessage;

    void Connect(const QString& host, int port);
    // Closes the connection or the attempt; no error is reported for it.
    void Close();
    // Connecting or connected.
    bool Active() const;
    bool Connected() const;
    QString Host() const { return host_; }
    int Port() const { return port_; }

    // After a new shot of shooter number (1-based): in data-out mode the
    // shot itself (classic training only), else the session summary, from
    // which the monitor sees what is new. Nothing while not connected.
    void SendDataOut(int shooterNumber, bool classicTraining);
    void SendSessionInfo();

    // Bytes received and not yet part of a whole message.
    qsizetype BufferedBytes() const { return framer_.BufferedBytes(); }

private:
    void ReadyRead();
    void TakeReceived();
    void SocketConnected();
    void SocketDisconnected();
    void SocketError(QAbstractSocket::SocketError error);
    // The one place a connection ends: the buffer goes, the hook is told.
    void Disconnected();
    // Handles the waiting messages in order, a slice at a time, until one
    // goes to the decoder; posts itself again while any is left.
    void Drain();
    void ScheduleDrain();
    // Drops what waits and any parse under way.
    void DropBacklog();
    // Posted by the decoder's thread whenever a parse is done.
    Q_INVOKABLE void TakeDecoded();
    void HandleMessage(const QByteArray& message);
    void HandleDecoded(const QByteArray& message, const TDecodedMessage& decoded);
    void Dispatch(const MiniXMLParser::TXMLNode& root);
    void SendTargetInfo(const MiniXMLParser::TXMLNode& request);
    void SendShot(const MiniXMLParser::TXMLNode& request);
    void HandleSendMessage(const MiniXMLParser::TXMLNode& request);
    void Send(const QByteArray& message);
    TSession* Session() const { return session ? session() : nullptr; }

    QTcpSocket socket_;
    TMessageFramer framer_;
    TMessageWriter writer_;
    QString host_;
    int port_ = NetLimits::DefaultPort;
    bool closing_ = false;
    bool wasActive_ = false;
    std::deque<QByteArray> backlog_;  // cut, not handled yet, in stream order
    qsizetype backlogBytes_ = 0;
    std::shared_ptr<TDecodeJob> decoding_;  // the front message, parsed off this thread
    bool readHeld_ = false;  // bytes left in the socket while the backlog was long
    bool drainPosted_ = false;
    // Last member: gone (its thread joined) before anything it could reach.
    std::unique_ptr<TNetDecoder> decoder_;
};
