#include "NetMonitor.h"

#include "Clock.h"
#include "Globals.h"
#include "Shotdata.h"
#include "Shotfile.h"
#include "XmlNames.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <utility>

using MiniXMLParser::TXMLNode;

namespace {

QString Q(const char* text) { return QString::fromLatin1(text); }

void Log(const QString& text) { DebugLog(QStringLiteral("Network monitor: ") + text); }

QString Peer(const QTcpSocket* socket)
{
    return socket ? QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort())
                  : QStringLiteral("?");
}

// Handling the backlogs: a slice ends after this long or this many messages.
constexpr qint64 SliceMs = 8;
constexpr int MaxMessagesPerSlice = 64;
// A connection with this much waiting is not read on until it is handled.
constexpr qsizetype MaxBacklogBytes = qsizetype(1) << 20;
constexpr qint64 ReadBufferBytes = 256 * 1024;

// A dispatch error that is not a cap: the rest of the message is skipped.
struct TSkip : Exception {
    using Exception::Exception;
};

// The start tag of a data-out message's root.
const QByteArray DataOutStart = QByteArrayLiteral("<") + XmlNames::TRAXELDataOut;

// Whether bytes between messages hold a data-out root's start tag (the
// marker followed by what may follow an element name; attribute values and
// texts cannot hold a "<").
bool HasDataOutRoot(const QByteArray& between)
{
    for (qsizetype at = between.indexOf(DataOutStart); at >= 0; at = between.indexOf(DataOutStart, at + 1)) {
        const qsizetype next = at + DataOutStart.size();
        if (next < between.size() && QByteArrayView(" \t\r\n/>").contains(between[next]))
            return true;
    }
    return false;
}

} // namespace

TNetMonitor::TNetMonitor(QObject* parent)
    : QObject(parent)
{
    connect(&server_, &QTcpServer::newConnection, this, &TNetMonitor::Accept);
    overdueTimer_.setInterval(OverdueCheckMs);
    connect(&overdueTimer_, &QTimer::timeout, this, [this] {
        try {
            CheckOverdue();
        } catch (const std::exception& e) {
            Log(QStringLiteral("asking again: %1").arg(QString::fromUtf8(e.what())));
        }
    });
}

TNetMonitor::~TNetMonitor()
{
    Stop();
}

bool TNetMonitor::Start(quint16 port)
{
    Stop();
    if (!server_.listen(QHostAddress::AnyIPv4, port)) {
        Log(QStringLiteral("could not listen on port %1: %2").arg(port).arg(server_.errorString()));
        return false;
    }
    Log(QStringLiteral("listening on port %1").arg(server_.serverPort()));
    overdueTimer_.start();
    return true;
}

void TNetMonitor::Stop()
{
    server_.close();
    overdueTimer_.stop();
    // Closing the server leaves the accepted connections open: end them here.
    std::vector<std::unique_ptr<TConnection>> connections;
    connections.swap(connections_);
    for (const auto& connection : connections) {
        if (QTcpSocket* socket = connection->socket) {
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
        }
    }
    records_.clear();
    if (!connections.empty() && onConnectionsChanged)
        onConnectionsChanged();
}

TShooterOnNode* TNetMonitor::Record(int index) const
{
    return index >= 0 && index < RecordCount() ? records_[std::size_t(index)].get() : nullptr;
}

TShooterOnNode* TNetMonitor::FindShooterLink(const QString& serial) const
{
    for (const auto& record : records_)
        if (record->serialNumber == serial)
            return record.get();
    return nullptr;
}

bool TNetMonitor::LinkConnected(const QString& serial) const
{
    const TShooterOnNode* record = FindShooterLink(serial);
    return record && record->socket && record->socket->state() == QAbstractSocket::ConnectedState;
}

TNetMonitor::TConnection* TNetMonitor::Find(const QTcpSocket* socket) const
{
    for (const auto& connection : connections_)
        if (connection->socket == socket)
            return connection.get();
    return nullptr;
}

// ---- Connections ------------------------------------------------------------------------

void TNetMonitor::Accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        if (ConnectionCount() >= NetLimits::MaxConnections) {
            Log(QStringLiteral("connection from %1 refused: %2 connections open")
                    .arg(Peer(socket)).arg(ConnectionCount()));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Requests and answers alternate: no waiting to coalesce small writes.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // Bounded: a peer that sends faster than it is handled waits in TCP.
        socket->setReadBufferSize(ReadBufferBytes);
        auto connection = std::make_unique<TConnection>();
        connection->socket = socket;
        connection->peer = Peer(socket);
        connection->framer.KeepOutside(true);
        connections_.push_back(std::move(connection));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            try {
                Read(socket);
            } catch (const std::exception& e) {
                Log(QStringLiteral("receiving from %1: %2").arg(Peer(socket), QString::fromUtf8(e.what())));
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Dropped(socket); });
        Log(QStringLiteral("node connected from %1").arg(Peer(socket)));
        Send(socket, writer_.RequestSessionInfo());
        if (onConnectionsChanged)
            onConnectionsChanged();
    }
}

void TNetMonitor::Dropped(QTcpSocket* socket)
{
    TConnection* connection = Find(socket);
    if (!connection)
        return;
    // What the peer sent before it closed is still handled.
    if (!connection->backlog.empty() || connection->decoding
        || (socket->bytesAvailable() > 0 && !connection->ignore && connection->refusal.isEmpty())) {
        connection->gone = true;
        ScheduleDrain();
        return;
    }
    Remove(socket);
}

void TNetMonitor::Remove(QTcpSocket* socket)
{
    const auto it = std::find_if(connections_.begin(), connections_.end(),
                                 [socket](const auto& c) { return c->socket == socket; });
    if (it == connections_.end())
        return;
    Log(QStringLiteral("node at %1 disconnected").arg((*it)->peer));
    std::vector<TShooterOnNode*> unlinked;
    for (const auto& record : records_) {
        if (record->socket == socket) {
            record->socket = nullptr;
            record->resetNeeded = true;
            record->pending = TShooterOnNode::TPending::None;
            record->checking = -1;
            unlinked.push_back(record.get());
        }
    }
    connections_.erase(it);
    socket->disconnect(this);
    socket->deleteLater();
    if (onLinkChanged)
        for (TShooterOnNode* record : unlinked)
            onLinkChanged(*record);
    if (onConnectionsChanged)
        onConnectionsChanged();
}

void TNetMonitor::Close(QTcpSocket* socket, const QString& reason)
{
    if (!socket)
        return;
    Log(QStringLiteral("connection to %1 closed: %2").arg(Peer(socket), reason));
    // Nothing more of a refused peer is handled.
    if (TConnection* connection = Find(socket)) {
        connection->backlog.clear();
        connection->backlogBytes = 0;
        connection->decoding.reset();
        connection->refusal = reason;
    }
    socket->abort();
    // abort() reports the disconnect only for a connected socket.
    Remove(socket);
}

void TNetMonitor::Read(QTcpSocket* socket)
{
    TConnection* connection = Find(socket);
    // A long backlog is read on once it is handled (Settle).
    if (!connection || !connection->refusal.isEmpty() || connection->backlogBytes >= MaxBacklogBytes)
        return;
    const QByteArray bytes = socket->readAll();
    if (connection->ignore)
        return;
    TMessageFramer::TFeed feed = connection->framer.Feed(bytes);
    if (!feed.outside.isEmpty()) {
        // A marker at the very end waits for the byte after it.
        const QByteArray between = connection->outsideTail + feed.outside;
        connection->outsideTail = between.right(DataOutStart.size());
        if (HasDataOutRoot(between)) {
            // A node in data-out mode serves no requests: nothing it sends is read.
            Log(QStringLiteral("%1 sends data-out messages: ignored from now on").arg(Peer(socket)));
            connection->ignore = true;
            connection->framer.Clear();
            return;
        }
    }
    if (feed.orphanEndMarkers > 0)
        Log(QStringLiteral("%1 end marker(s) without a start from %2 dropped").arg(feed.orphanEndMarkers).arg(Peer(socket)));
    for (QByteArray& message : feed.messages) {
        connection->backlogBytes += message.size();
        connection->backlog.push_back(std::move(message));
    }
    if (feed.overflow)
        connection->refusal = QStringLiteral("a message longer than %1 bytes").arg(NetLimits::MaxMessageBytes);
    if (!connection->backlog.empty() || !connection->refusal.isEmpty())
        ScheduleDrain();
}

int TNetMonitor::BacklogCount() const
{
    std::size_t n = 0;
    for (const auto& connection : connections_)
        n += connection->backlog.size();
    return int(n);
}

void TNetMonitor::ScheduleDrain()
{
    if (drainPosted_)
        return;
    drainPosted_ = true;
    QTimer::singleShot(0, this, [this] {
        try {
            Drain();
        } catch (const std::exception& e) {
            Log(QStringLiteral("handling messages: %1").arg(QString::fromUtf8(e.what())));
        }
    });
}

void TNetMonitor::Drain()
{
    drainPosted_ = false;
    QElapsedTimer clock;
    clock.start();
    int handled = 0;
    for (bool more = true; more;) {
        more = false;
        // One message of each connection a round; a message may close any of them.
        std::vector<QPointer<QTcpSocket>> sockets;
        for (const auto& connection : connections_)
            sockets.push_back(connection->socket);
        for (const QPointer<QTcpSocket>& socket : sockets) {
            TConnection* connection = socket ? Find(socket) : nullptr;
            if (!connection)
                continue;
            if (connection->decoding)
                continue;  // waits for its parse
            if (!connection->backlog.empty()) {
                if (handled >= MaxMessagesPerSlice || clock.elapsed() >= SliceMs) {
                    ScheduleDrain();
                    return;
                }
                QByteArray message = std::move(connection->backlog.front());
                connection->backlog.pop_front();
                connection->backlogBytes -= message.size();
                ++handled;
                if (message.size() >= TNetDecoder::AsideBytes) {
                    DecodeAside(*connection, std::move(message));
                    continue;
                }
                HandleMessage(socket, message);
                connection = socket ? Find(socket) : nullptr;
                if (!connection)
                    continue;
            }
            if (connection->backlog.empty())
                Settle(socket);
            connection = socket ? Find(socket) : nullptr;
            more = more || (connection && !connection->decoding && !connection->backlog.empty());
        }
    }
}

void TNetMonitor::Settle(QTcpSocket* socket)
{
    TConnection* connection = Find(socket);
    if (!connection || connection->decoding)
        return;
    if (!connection->refusal.isEmpty()) {
        Close(socket, connection->refusal);
        return;
    }
    // What waited in the socket while the backlog was long.
    if (socket->bytesAvailable() > 0 && !connection->ignore) {
        Read(socket);
        if (!connection->backlog.empty() || !connection->refusal.isEmpty())
            return;
    }
    if (connection->gone)
        Remove(socket);
}

void TNetMonitor::HandleMessage(QTcpSocket* socket, const QByteArray& message)
{
    if (onMessage)
        onMessage(message);
    HandleDecoded(socket, message, DecodeMessage(message));
}

void TNetMonitor::DecodeAside(TConnection& connection, QByteArray message)
{
    if (onMessage)
        onMessage(message);
    auto job = std::make_shared<TDecodeJob>();
    job->message = std::move(message);
    connection.decoding = job;
    if (!decoder_)
        decoder_ = std::make_unique<TNetDecoder>(this);
    decoder_->Post(std::move(job));
}

void TNetMonitor::TakeDecoded()
{
    if (!decoder_)
        return;
    for (const std::shared_ptr<TDecodeJob>& job : decoder_->TakeDone())
        Decoded(job);
}

void TNetMonitor::Decoded(const std::shared_ptr<TDecodeJob>& job)
{
    const auto it = std::find_if(connections_.begin(), connections_.end(),
                                 [&job](const auto& c) { return c->decoding == job; });
    if (it == connections_.end()) {
        // Closed meanwhile; the tree is still freed off this thread.
        if (job->decoded.root && decoder_)
            decoder_->Dispose(std::move(job->decoded.root));
        return;
    }
    (*it)->decoding.reset();
    const QPointer<QTcpSocket> socket = (*it)->socket;
    try {
        HandleDecoded(socket, job->message, job->decoded);
    } catch (const std::exception& e) {
        Log(QStringLiteral("handling a message: %1").arg(QString::fromUtf8(e.what())));
    }
    // Freeing a long message's tree takes as long as a good part of its parse.
    if (job->decoded.root && decoder_)
        decoder_->Dispose(std::move(job->decoded.root));
    ScheduleDrain();
}

void TNetMonitor::HandleDecoded(QTcpSocket* socket, const QByteArray& message, const TDecodedMessage& decoded)
{
    if (!socket || !Find(socket))
        return;
    if (!decoded.root) {
        Log(QStringLiteral("undecodable message from %1 (%2): %3")
                .arg(Peer(socket), decoded.error, MessageExcerpt(message)));
        if (onDecodeError)
            onDecodeError(decoded.error, message);
        return;
    }
    QString refusal;
    if (!Dispatch(socket, *decoded.root, refusal))
        Close(socket, refusal);
}

bool TNetMonitor::Send(QTcpSocket* socket, const QByteArray& message)
{
    if (!socket || socket->state() != QAbstractSocket::ConnectedState)
        return false;
    if (socket->write(message) < 0)
        return false;
    if (socket->bytesToWrite() > NetLimits::MaxUnsentBytes) {
        // Closing from inside a handler of this socket is safe: the socket
        // is deleted later and every caller checks the connection again.
        Close(socket, QStringLiteral("it reads nothing of what it is sent"));
        return false;
    }
    return true;
}

// ---- Dispatch --------------------------------------------------------------------------

bool TNetMonitor::Dispatch(QTcpSocket* socket, const TXMLNode& root, QString& refusal)
{
    // Once, not per child: a message may hold a quarter million of them.
    static const QString sessionInfo = Q(XmlNames::SessionInfo);
    static const QString targetInfo = Q(XmlNames::TargetInfo);
    static const QString shot = Q(XmlNames::Shot);
    const QPointer<QTcpSocket> guard(socket);
    try {
        for (int i = 0, n = root.GetNodeCount(); i < n; ++i) {
            const TXMLNode& child = *root.GetNode(i);
            const QString& name = child.Name();
            if (name != sessionInfo && name != targetInfo && name != shot)
                continue;
            if (!guard || !Find(socket))
                return true;  // closed meanwhile
            if (name == sessionInfo) {
                if (!HandleSessionInfo(socket, child, refusal))
                    return false;
                for (std::size_t r = 0; r < records_.size(); ++r)
                    PullNext(*records_[r]);
            } else if (name == targetInfo) {
                HandleTargetInfo(child);
            } else {
                if (!HandleShot(child, refusal))
                    return false;
            }
        }
    } catch (const std::exception& e) {
        // The rest of this message is skipped; the connection stays.
        Log(QStringLiteral("message from %1 not taken: %2").arg(Peer(socket), QString::fromUtf8(e.what())));
    }
    return true;
}

TShooterOnNode& TNetMonitor::RecordFor(const QString& serial) const
{
    TShooterOnNode* record = FindShooterLink(serial);
    if (!record || !record->shooter)
        throw TSkip("No shooter linked to serial number.");
    return *record;
}

bool TNetMonitor::HandleSessionInfo(QTcpSocket* socket, const TXMLNode& info, QString& refusal)
{
    const QString shooterName = Q(XmlNames::Shooter);
    int announced = 0;
    for (int i = 0; i < info.GetNodeCount(); ++i)
        if (info.GetNode(i)->Name() == shooterName)
            ++announced;
    if (announced > NetLimits::MaxRemoteShooters) {
        refusal = QStringLiteral("it announces %1 shooters").arg(announced);
        return false;
    }
    for (int i = 0; i < info.GetNodeCount(); ++i) {
        const TXMLNode& s = *info.GetNode(i);
        if (s.Name() != shooterName)
            continue;
        const QString name = s.GetAttributeValueDef(Q(XmlNames::Name), QString());
        const QString serial = s.GetAttributeValue(Q(XmlNames::SerialNumber));
        const int count = s.GetAttributeInt(Q(XmlNames::ShotCount));
        TShooterOnNode* record = FindShooterLink(serial);
        const int previous = record ? record->announcedShotCount : 0;
        if (record) {
            if (record->socket && record->socket != socket) {
                // The shooter moved to another connection: the old one is
                // told so, and its shots are pulled again on the new one.
                record->socket->write("PING");
                record->resetNeeded = true;
            }
            const bool moved = record->socket != socket;
            record->socket = socket;
            if (moved && onLinkChanged)
                onLinkChanged(*record);
            if (record->resetNeeded)
                ResetRecord(*record);
        } else {
            if (RecordCount() >= NetLimits::MaxRemoteShooters) {
                refusal = QStringLiteral("more than %1 remote shooters").arg(NetLimits::MaxRemoteShooters);
                return false;
            }
            if (!session_)
                throw TSkip("No session for remote shooters");
            auto made = std::make_unique<TShooterOnNode>();
            made->serialNumber = serial;
            made->socket = socket;
            made->remoteAddress = socket->peerAddress().toString();
            TShooter* shooter = session_->FindShooter(serial);
            const bool existed = shooter != nullptr;
            if (!shooter) {
                auto fresh = std::make_unique<TShooter>();
                fresh->index = session_->ShooterCount() + 1;
                fresh->SetSerialNumber(serial);
                fresh->name = name;
                shooter = session_->AddShooter(std::move(fresh));
            }
            made->shooter = shooter;
            records_.push_back(std::move(made));
            record = records_.back().get();
            if (onLinked)
                onLinked(*record, existed);
            // A shooter met again after a restart of the monitor: its
            // shots are pulled anew, so they are the node's own.
            if (existed)
                ResetRecord(*record);
        }
        record->name = name;
        record->announcedShotCount = std::max(0, count);
        record->shooter->name = name;
        Announced(*record, record->announcedShotCount, previous);
        if (onNameAnnounced)
            onNameAnnounced(*record);
    }
    return true;
}

void TNetMonitor::Announced(TShooterOnNode& record, int count, int previous)
{
    const int held = record.shooter->ShotCount();
    if (record.stale || count < previous || count < held) {
        Log(QStringLiteral("%1: the node's list changed (%2 shots, %3 before, %4 held): pulled again from the first")
                .arg(record.serialNumber).arg(count).arg(previous).arg(held));
        ResetRecord(record);
    }
    record.resyncArmed = true;
    const bool ahead = record.pending == TShooterOnNode::TPending::TargetInfo || count > record.shooter->ShotCount();
    if (ahead && Overdue(record))
        AskAgain(record, "on a summary");
}

namespace {

// What names a shot: the unit's start-up and time, and its raw position
// against two shots a careless source stamped alike.
struct TShotKey {
    int startup = 0;
    uint32_t time = 0;
    int16_t xnau = 0;
    int16_t ynau = 0;

    bool Names(const TShot& shot) const
    {
        return shot.raw.StartupCounter() == startup && shot.raw.Time() == time && shot.raw.XNAU() == xnau
            && shot.raw.YNAU() == ynau;
    }
};

// False when the answer lacks a part of the key.
bool KeyOf(const TXMLNode& answer, TShotKey& key)
{
    const TXMLNode* info = answer.FindNode(Q(XmlNames::ShotInfo));
    if (!info)
        return false;
    bool ok[4] = {};
    key.startup = info->GetNodeText(Q(XmlNames::StartupCounter)).trimmed().toInt(&ok[0]) & 0xFF;
    key.time = uint32_t(info->GetNodeText(Q(XmlNames::Time)).trimmed().toInt(&ok[1])) & 0xFFFFFFu;
    key.xnau = int16_t(answer.GetAttributeValueDef(Q(XmlNames::XNAU), QString()).trimmed().toInt(&ok[2]));
    key.ynau = int16_t(answer.GetAttributeValueDef(Q(XmlNames::YNAU), QString()).trimmed().toInt(&ok[3]));
    return ok[0] && ok[1] && ok[2] && ok[3];
}

} // namespace

int TNetMonitor::HeldAt(const TShooter& shooter, const TXMLNode& answer)
{
    TShotKey key;
    if (!KeyOf(answer, key))
        return -1;
    int last = -1;
    int i = 0;
    shooter.ForEachShot([&](const TShot& shot) {
        if (key.Names(shot))
            last = i;
        ++i;
    });
    // The first of the run of equal shots that ends there: a list that
    // moved has another shot at that place (the one before the run, or one
    // put in front), a list that holds equal shots has the same.
    int first = last;
    while (first > 0 && key.Names(*shooter.GetShot(first - 1)))
        --first;
    return first;
}

void TNetMonitor::ResetRecord(TShooterOnNode& record)
{
    record.targetInfoReceived = false;
    record.resetNeeded = false;
    record.capLogged = false;
    record.stale = false;
    // An answer still on the way no longer matches what is asked next.
    record.pending = TShooterOnNode::TPending::None;
    record.timedReasks = 0;
    record.checking = -1;
    record.repeatAt = -1;
    record.acceptRepeatAt = -1;
    if (beforeShotsCleared)
        beforeShotsCleared(record);
    record.shooter->ClearShots();
    record.shooter->currentTarget.hasRing = 0;
    record.shooter->currentTarget.hasSilhouette = 0;
    if (afterShotsCleared)
        afterShotsCleared(record);
}

void TNetMonitor::HandleTargetInfo(const TXMLNode& info)
{
    TShooterOnNode& record = RecordFor(info.GetAttributeValue(Q(XmlNames::SerialNumber)));
    if (record.pending == TShooterOnNode::TPending::TargetInfo) {
        record.pending = TShooterOnNode::TPending::None;
        record.timedReasks = 0;
    }
    DeviceSetup table {};
    TShotFileHandler::ReadTargetInfo(&info, table);
    record.shooter->targets = table;
    record.targetInfoReceived = true;
    if (record.shooter->ShotCount() == 0) {
        TargetDescription target {};
        if (table.ringDefined[0]) {
            target.hasRing = 1;
            target.ringRecord = table.ringTargets[0];
        }
        if (table.silhouetteDefined[0]) {
            target.hasSilhouette = 1;
            target.silhouetteRecord = table.silhouetteTargets[0];
            target.silhouetteMatrix = table.silhouetteMatrices[0];
        }
        record.shooter->currentTarget = target;
    }
    const QPointer<QTcpSocket> socket = record.socket;
    if (onTargetInfo)
        onTargetInfo(record);
    if (socket && FindShooterLink(record.serialNumber) == &record)
        PullNext(record);
}

bool TNetMonitor::HandleShot(const TXMLNode& element, QString& refusal)
{
    const int index = element.GetAttributeInt(Q(XmlNames::ShotIndex));
    TShooterOnNode& record = RecordFor(element.GetAttributeValue(Q(XmlNames::SerialNumber)));
    TShooter& shooter = *record.shooter;
    if (index >= NetLimits::MaxShotsPerShooter) {
        refusal = QStringLiteral("shot %1 is past the limit of %2 shots").arg(index).arg(NetLimits::MaxShotsPerShooter);
        return false;
    }
    // Only the answer waited for is taken: another is a second answer to a
    // request sent again, or one from before the copy was dropped.
    if (record.pending != TShooterOnNode::TPending::Shot || record.pendingShot != index) {
        if (onShot)
            onShot(record, index, false);
        return true;
    }
    const auto answered = [&record] {
        record.pending = TShooterOnNode::TPending::None;
        record.timedReasks = 0;
    };
    if (record.checking >= 0) {
        answered();
        Checked(record, element);
        return true;
    }
    bool stored = false;
    if (index == shooter.ShotCount()) {
        const TXMLNode* curve = element.FindNode(Q(XmlNames::Curve));
        if (curve && curve->GetNodeCount() > NetLimits::MaxPointsPerShot) {
            refusal = QStringLiteral("a shot with %1 trace points").arg(curve->GetNodeCount());
            return false;
        }
        const int held = HeldAt(shooter, element);
        if (held >= 0 && record.acceptRepeatAt != index) {
            // Moved, or a second shot like one held: the node's entry at
            // held tells which.
            answered();
            record.checking = held;
            record.repeatAt = index;
            RequestShotAt(record, held);
            return true;
        }
        // A shot that cannot be read leaves its request waiting.
        TShotFileHandler reader;
        reader.SetSession(session_);
        reader.ReadShot(&element, shooter);
        stored = true;
        record.acceptRepeatAt = -1;
        SessionUnsaved.store(true);
    }
    answered();
    if (onShot)
        onShot(record, index, stored);
    if (FindShooterLink(record.serialNumber) == &record)
        PullNext(record);
    return true;
}

void TNetMonitor::Checked(TShooterOnNode& record, const TXMLNode& answer)
{
    const int at = std::exchange(record.checking, -1);
    const int index = std::exchange(record.repeatAt, -1);
    TShotKey key;
    if (at < record.shooter->ShotCount() && KeyOf(answer, key) && key.Names(*record.shooter->GetShot(at))) {
        Log(QStringLiteral("%1: shot %2 equals shot %3 and both are the node's: taken")
                .arg(record.serialNumber).arg(index).arg(at));
        record.acceptRepeatAt = index;
        if (FindShooterLink(record.serialNumber) == &record)
            PullNext(record);
        return;
    }
    Moved(record, index);
}

void TNetMonitor::Moved(TShooterOnNode& record, int index)
{
    if (record.resyncArmed) {
        Log(QStringLiteral("%1: shot %2 repeats a shot already held: pulled again from the first")
                .arg(record.serialNumber).arg(index));
        record.resyncArmed = false;
        ResetRecord(record);
        if (FindShooterLink(record.serialNumber) == &record)
            PullNext(record);
        return;
    }
    if (!record.stale)
        Log(QStringLiteral("%1: shot %2 repeats a shot already held again: pulled anew after the next summary")
                .arg(record.serialNumber).arg(index));
    record.stale = true;
}

// ---- Pulling ---------------------------------------------------------------------------

void TNetMonitor::PullNext(TShooterOnNode& record)
{
    // One request at a time; a copy out of step waits for the next summary.
    if (!record.socket || !record.shooter || record.pending != TShooterOnNode::TPending::None || record.stale)
        return;
    if (!record.targetInfoReceived) {
        RequestTargetInfo(record);
        return;
    }
    if (record.shooter->ShotCount() < record.announcedShotCount)
        RequestShot(record);
}

void TNetMonitor::RequestTargetInfo(TShooterOnNode& record)
{
    if (Send(record.socket, writer_.RequestTargetInfo(record.serialNumber)))
        Awaiting(record, TShooterOnNode::TPending::TargetInfo, -1);
}

void TNetMonitor::Awaiting(TShooterOnNode& record, TShooterOnNode::TPending what, int shotIndex)
{
    record.pending = what;
    record.pendingShot = shotIndex;
    record.pendingSince = TickCountMs();
}

bool TNetMonitor::Overdue(const TShooterOnNode& record) const
{
    return record.pending != TShooterOnNode::TPending::None && record.socket
        && TickCountMs() - record.pendingSince >= OverdueMs;
}

void TNetMonitor::AskAgain(TShooterOnNode& record, const char* why)
{
    const bool targets = record.pending == TShooterOnNode::TPending::TargetInfo;
    Log(QStringLiteral("%1: no answer for %2 ms to the request for %3: asked again %4")
            .arg(record.serialNumber)
            .arg(TickCountMs() - record.pendingSince)
            .arg(targets ? QStringLiteral("targets") : QStringLiteral("shot %1").arg(record.pendingShot))
            .arg(QString::fromLatin1(why)));
    if (targets)
        RequestTargetInfo(record);
    else
        RequestShotAt(record, record.pendingShot);
}

void TNetMonitor::CheckOverdue()
{
    for (std::size_t r = 0; r < records_.size(); ++r) {
        TShooterOnNode& record = *records_[r];
        if (!Overdue(record) || record.timedReasks >= MaxTimedReasks)
            continue;
        if (++record.timedReasks == MaxTimedReasks)
            Log(QStringLiteral("%1: the last time asked again without a summary").arg(record.serialNumber));
        AskAgain(record, "after a wait");
    }
}

void TNetMonitor::RequestShot(TShooterOnNode& record) { RequestShotAt(record, record.shooter->ShotCount()); }

void TNetMonitor::RequestShotAt(TShooterOnNode& record, int index)
{
    if (index >= NetLimits::MaxShotsPerShooter) {
        if (!record.capLogged)
            Log(QStringLiteral("%1: no more than %2 shots are taken").arg(record.serialNumber).arg(index));
        record.capLogged = true;
        return;
    }
    if (Send(record.socket, writer_.RequestShot(record.serialNumber, index)))
        Awaiting(record, TShooterOnNode::TPending::Shot, index);
}

int TNetMonitor::SendMessageRequest(const QString& serial, const QString& text)
{
    if (text.size() > NetLimits::MaxMessageText) {
        Log(QStringLiteral("text message of %1 characters not sent").arg(text.size()));
        return 0;
    }
    const QByteArray message = writer_.RequestSendMessage(serial, text);
    int written = 0;
    if (serial == QLatin1String("ALL")) {
        std::vector<QPointer<QTcpSocket>> sockets;
        for (const auto& connection : connections_)
            sockets.push_back(connection->socket);
        for (const QPointer<QTcpSocket>& socket : sockets)
            if (socket && Send(socket, message))
                ++written;
        return written;
    }
    const TShooterOnNode* record = FindShooterLink(serial);
    if (record && record->socket && Send(record->socket, message))
        ++written;
    return written;
}
