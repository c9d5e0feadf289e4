#include "NetNode.h"

#include "Globals.h"
#include "Setupdata.h"
#include "Shotdata.h"
#include "XmlNames.h"

#include <exception>

using MiniXMLParser::TXMLNode;

namespace {

QString Q(const char* text) { return QString::fromLatin1(text); }

void Log(const QString& text) { DebugLog(QStringLiteral("Network node: ") + text); }

} // namespace

TNetNode::TNetNode(QObject* parent)
    : QObject(parent)
{
    connect(&socket_, &QTcpSocket::readyRead, this, &TNetNode::ReadyRead);
    connect(&socket_, &QTcpSocket::connected, this, &TNetNode::SocketConnected);
    connect(&socket_, &QTcpSocket::disconnected, this, &TNetNode::SocketDisconnected);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &TNetNode::SocketError);
}

TNetNode::~TNetNode()
{
    socket_.disconnect(this);
    socket_.abort();
}

void TNetNode::Connect(const QString& host, int port)
{
    Close();
    host_ = host;
    port_ = port;
    framer_.Clear();
    wasActive_ = true;
    socket_.connectToHost(host, quint16(port));
}

void TNetNode::Close()
{
    closing_ = true;
    socket_.abort();
    closing_ = false;
    if (wasActive_)
        Disconnected();
}

bool TNetNode::Active() const { return socket_.state() != QAbstractSocket::UnconnectedState; }

bool TNetNode::Connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }

void TNetNode::SocketConnected()
{
    framer_.Clear();
    socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    Log(QStringLiteral("connected to %1:%2").arg(host_).arg(port_));
    if (onConnectionChanged)
        onConnectionChanged();
}

void TNetNode::SocketDisconnected()
{
    if (!closing_)
        Disconnected();
}

void TNetNode::SocketError(QAbstractSocket::SocketError)
{
    if (closing_)
        return;
    const QString reason = socket_.errorString();
    Log(QStringLiteral("connection problem: ") + reason);
    // Connecting failed without a disconnect: end it here, once.
    if (socket_.state() == QAbstractSocket::UnconnectedState && wasActive_)
        Disconnected();
    if (onConnectionError)
        onConnectionError(reason);
}

void TNetNode::Disconnected()
{
    if (!wasActive_)
        return;
    wasActive_ = false;
    framer_.Clear();
    if (onConnectionChanged)
        onConnectionChanged();
}

void TNetNode::ReadyRead()
{
    try {
        TakeReceived();
    } catch (const std::exception& e) {
        Log(QStringLiteral("receiving: ") + QString::fromUtf8(e.what()));
    }
}

void TNetNode::TakeReceived()
{
    const QByteArray bytes = socket_.readAll();
    // A node in data-out mode serves no requests.
    if (dataoutMode && dataoutMode())
        return;
    TMessageFramer::TFeed feed = framer_.Feed(bytes);
    if (feed.overflow)
        Log(QStringLiteral("a message longer than %1 bytes was dropped").arg(NetLimits::MaxMessageBytes));
    if (feed.orphanEndMarkers > 0)
        Log(QStringLiteral("%1 end marker(s) without a start dropped").arg(feed.orphanEndMarkers));
    for (const QByteArray& message : feed.messages) {
        if (!Connected())
            return;  // a handler closed the connection
        HandleMessage(message);
    }
}

void TNetNode::HandleMessage(const QByteArray& message)
{
    if (onMessage)
        onMessage(message);
    TDecodedMessage decoded = DecodeMessage(message);
    if (!decoded.root) {
        Log(QStringLiteral("undecodable message (%1): %2").arg(decoded.error, MessageExcerpt(message)));
        if (onDecodeError)
            onDecodeError(decoded.error, message);
        return;
    }
    Dispatch(*decoded.root);
}

void TNetNode::Dispatch(const TXMLNode& root)
{
    // A request that lacks what it needs ends the handling of its message.
    try {
        for (int i = 0; i < root.GetNodeCount(); ++i) {
            const TXMLNode& child = *root.GetNode(i);
            const QString item = child.GetAttributeValue(Q(XmlNames::Item));
            if (item == Q(XmlNames::SessionInfo))
                SendSessionInfo();
            else if (item == Q(XmlNames::TargetInfo))
                SendTargetInfo(child);
            else if (item == Q(XmlNames::Shot))
                SendShot(child);
            else if (item == Q(XmlNames::SendMessageRequest))
                HandleSendMessage(child);
        }
    } catch (const std::exception& e) {
        Log(QStringLiteral("request refused: ") + QString::fromUtf8(e.what()));
    }
}

void TNetNode::SendSessionInfo()
{
    TSession* session = Session();
    if (!session || !Connected())
        return;
    try {
        Send(writer_.SessionInfo(*session));
    } catch (const std::exception& e) {
        Log(QStringLiteral("session summary not sent: ") + QString::fromUtf8(e.what()));
    }
}

void TNetNode::SendTargetInfo(const TXMLNode& request)
{
    const QString serial = request.GetAttributeValue(Q(XmlNames::SerialNumber));
    TSession* session = Session();
    TShooter* shooter = session ? session->FindShooter(serial) : nullptr;
    if (!shooter)
        return;
    Send(writer_.TargetInfo(*shooter));
}

void TNetNode::SendShot(const TXMLNode& request)
{
    const QString serial = request.GetAttributeValue(Q(XmlNames::SerialNumber));
    const int index = request.GetAttributeInt(Q(XmlNames::ShotIndex));
    TSession* session = Session();
    TShooter* shooter = session ? session->FindShooter(serial) : nullptr;
    if (!shooter || index < 0 || index >= shooter->ShotCount())
        return;
    Send(writer_.Shot(serial, index, *shooter->GetShot(index)));
}

void TNetNode::HandleSendMessage(const TXMLNode& request)
{
    const QString serial = request.GetAttributeValue(Q(XmlNames::SerialNumber));
    const QString text = request.GetAttributeValue(Q(XmlNames::Message));
    if (text.size() > NetLimits::MaxMessageText) {
        Log(QStringLiteral("text message of %1 characters refused").arg(text.size()));
        return;
    }
    if (onTextMessage)
        onTextMessage(serial, text);
}

void TNetNode::SendDataOut(int shooterNumber, bool classicTraining)
{
    if (!Connected())
        return;
    if (!(dataoutMode && dataoutMode())) {
        SendSessionInfo();
        return;
    }
    TSession* session = Session();
    TShooter* shooter = session ? session->GetShooter(shooterNumber - 1) : nullptr;
    if (!shooter || !classicTraining)
        return;
    const int index = shooter->ShotCount() - 1;
    if (index < 0)
        return;
    try {
        Send(writer_.DataOut(*shooter, index, *shooter->GetShot(index), GetTargetName(shooter->currentTarget)));
    } catch (const std::exception& e) {
        Log(QStringLiteral("data-out not sent: ") + QString::fromUtf8(e.what()));
    }
}

void TNetNode::Send(const QByteArray& message)
{
    if (!Connected())
        return;
    socket_.write(message);
    if (socket_.bytesToWrite() > NetLimits::MaxUnsentBytes) {
        // A connection lost like any other: whoever wants it back is told.
        const QString reason = QStringLiteral("the monitor reads nothing");
        Log(reason + QStringLiteral(": connection closed"));
        Close();
        if (onConnectionError)
            onConnectionError(reason);
    }
}
