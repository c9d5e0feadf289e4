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
#pragma once

#include "NetFraming.h"
#include "NetMessages.h"

#include <QObject>
#include <QString>
#include <QTcpSocket>

#include <functional>

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
    void HandleMessage(const QByteArray& message);
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
};
