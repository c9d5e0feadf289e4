#include "NetNode.h"

#include "Globals.h"
#include "Setupdata.h"
#include "Shotdata.h"
#include "XmlNames.h"

#include <QElapsedTimer>
#include <QTimer>

#include <exception>
#include <utility>

using MiniXMLParser::TXMLNode;

namespace {

QString Q(const char* text) { return QString::fromLatin1(text); }

void Log(const QString& text) { DebugLog(QStringLiteral("Network node: ") + text); }

// Handling the backlog: a slice ends after this long.
constexpr qint64 SliceMs = 8;
// This much waiting, the socket is not read on until it is handled.
constexpr qsizetype MaxBacklogBytes = qsizetype(1) << 20;
constexpr qint64 ReadBufferBytes = 256 * 1024;

} // namespace

TNetNode::TNetNode(QObject* parent)
    : QObject(parent)
{
    connect(&socket_, &QTcpSocket::readyRead, this, &TNetNode::ReadyRead);
    connect(&socket_, &QTcpSocket::connected, this, &TNetNode::SocketConnected);
    connect(&socket_, &QTcpSocket::disconnected, this, &TNetNode::SocketDisconnected);
    connect(&socket_, &QTcpSocket::errorOccurred, this, &TNetNode::SocketError);
    // Bounded: a monitor that sends faster than it is handled waits in TCP.
    socket_.setReadBufferSize(ReadBufferBytes);
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
    DropBacklog();
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
    DropBacklog();
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
    // A long backlog is read on once it is handled (Drain).
    if (backlogBytes_ >= MaxBacklogBytes) {
        readHeld_ = true;
        return;
    }
    const QByteArray bytes = socket_.readAll();
    // A node in data-out mode serves no requests.
    if (dataoutMode && dataoutMode())
        return;
    TMessageFramer::TFeed feed = framer_.Feed(bytes);
    if (feed.overflow)
        Log(QStringLiteral("a message longer than %1 bytes was dropped").arg(NetLimits::MaxMessageBytes));
    if (feed.orphanEndMarkers > 0)
        Log(QStringLiteral("%1 end marker(s) without a start dropped").arg(feed.orphanEndMarkers));
    for (QByteArray& message : feed.messages) {
        backlogBytes_ += message.size();
        backlog_.push_back(std::move(message));
    }
    Drain();
}

void TNetNode::ScheduleDrain()
{
    if (drainPosted_)
        return;
    drainPosted_ = true;
    QTimer::singleShot(0, this, [this] {
        drainPosted_ = false;
        try {
            Drain();
        } catch (const std::exception& e) {
            Log(QStringLiteral("handling messages: ") + QString::fromUtf8(e.what()));
        }
    });
}

void TNetNode::Drain()
{
    QElapsedTimer clock;
    clock.start();
    while (!decoding_ && !backlog_.empty()) {
        if (!Connected()) {
            DropBacklog();  // a handler closed the connection
            return;
        }
        if (clock.elapsed() >= SliceMs) {
            ScheduleDrain();
            return;
        }
        QByteArray message = std::move(backlog_.front());
        backlog_.pop_front();
        backlogBytes_ -= message.size();
        if (message.size() < TNetDecoder::AsideBytes) {
            HandleMessage(message);
            continue;
        }
        if (onMessage)
            onMessage(message);
        if (!Connected()) {
            DropBacklog();  // the hook closed the connection
            return;
        }
        auto job = std::make_shared<TDecodeJob>();
        job->message = std::move(message);
        decoding_ = job;
        if (!decoder_)
            decoder_ = std::make_unique<TNetDecoder>(this);
        decoder_->Post(std::move(job));
    }
    // What waited in the socket while the backlog was long.
    if (readHeld_ && !decoding_ && backlog_.empty()) {
        readHeld_ = false;
        if (Connected())
            TakeReceived();
    }
}

void TNetNode::DropBacklog()
{
    backlog_.clear();
    backlogBytes_ = 0;
    readHeld_ = false;
    // A parse under way is let finish; its result matches nothing and is dropped.
    decoding_.reset();
}

void TNetNode::TakeDecoded()
{
    if (!decoder_)
        return;
    try {
        for (const std::shared_ptr<TDecodeJob>& job : decoder_->TakeDone()) {
            // Anything else was dropped with its connection.
            if (job == decoding_ && Connected()) {
                decoding_.reset();
                HandleDecoded(job->message, job->decoded);
            }
            // Freeing a long message's tree takes as long as a good part of its parse.
            if (job->decoded.root)
                decoder_->Dispose(std::move(job->decoded.root));
        }
        ScheduleDrain();
    } catch (const std::exception& e) {
        Log(QStringLiteral("handling a message: ") + QString::fromUtf8(e.what()));
    }
}

void TNetNode::HandleMessage(const QByteArray& message)
{
    if (onMessage)
        onMessage(message);
    HandleDecoded(message, DecodeMessage(message));
}

void TNetNode::HandleDecoded(const QByteArray& message, const TDecodedMessage& decoded)
{
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
