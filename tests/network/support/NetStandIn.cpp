#include "NetStandIn.h"

#include "EventLoop.h"
#include "Shotdata.h"

#include <QElapsedTimer>

#include <algorithm>
#include <tuple>

TStandInNode::TStandInNode(TSession& session)
    : session_(session)
{
    QObject::connect(&socket_, &QTcpSocket::readyRead, [this] { Read(); });
}

bool TStandInNode::Connect(quint16 port)
{
    socket_.connectToHost(QStringLiteral("127.0.0.1"), port);
    return RunLoopUntil([this] { return !requests.empty(); }, 20000);
}

void TStandInNode::SendSummary() { socket_.write(writer_.SessionInfo(session_)); }

void TStandInNode::ReleaseDelayed(bool reversed)
{
    std::vector<TRequest> held;
    held.swap(delayed_);
    if (reversed)
        std::reverse(held.begin(), held.end());
    for (const TRequest& request : held)
        socket_.write(Answer(request));
}

bool TStandInNode::RunUntilQuiet(int quietMs, int limitMs)
{
    std::size_t seen = requests.size();
    QElapsedTimer quiet;
    quiet.start();
    return RunLoopUntil([&] {
        if (requests.size() != seen) {
            seen = requests.size();
            quiet.restart();
        }
        return quiet.elapsed() >= quietMs;
    }, limitMs);
}

int TStandInNode::ShotRequests(const QString& serial, int index) const
{
    return int(std::count_if(requests.begin(), requests.end(), [&](const TRequest& r) {
        return r.item == QLatin1String("Shot") && r.serial == serial && r.index == index;
    }));
}

void TStandInNode::Read()
{
    for (const QByteArray& message : framer_.Feed(socket_.readAll()).messages) {
        const TDecodedMessage decoded = DecodeMessage(message);
        if (!decoded.root)
            continue;
        for (int i = 0; i < decoded.root->GetNodeCount(); ++i) {
            const auto* child = decoded.root->GetNode(i);
            TRequest request;
            request.item = child->GetAttributeValueDef(QStringLiteral("Item"), QString());
            request.serial = child->GetAttributeValueDef(QStringLiteral("SerialNumber"), QString());
            request.index = child->GetAttributeValueDef(QStringLiteral("ShotIndex"), QStringLiteral("-1")).toInt();
            requests.push_back(request);
            Serve(request);
        }
    }
}

void TStandInNode::Serve(const TRequest& request)
{
    switch (fate ? fate(request) : TFate::Answer) {
    case TFate::Answer:
        socket_.write(Answer(request));
        break;
    case TFate::Drop:
        break;
    case TFate::Garble:
        socket_.write(Answer(request).replace("<Shot ", "<Shot \"=").replace("<TargetInfo ", "<TargetInfo \"="));
        break;
    case TFate::Repeat:
        socket_.write(Answer(request));
        socket_.write(Answer(request));
        break;
    case TFate::Delay:
        delayed_.push_back(request);
        break;
    }
}

QByteArray TStandInNode::Answer(const TRequest& request)
{
    if (request.item == QLatin1String("SessionInfo"))
        return writer_.SessionInfo(session_);
    TShooter* shooter = session_.FindShooter(request.serial);
    if (!shooter)
        return {};
    if (request.item == QLatin1String("TargetInfo"))
        return writer_.TargetInfo(*shooter);
    if (request.item == QLatin1String("Shot") && request.index >= 0 && request.index < shooter->ShotCount())
        return writer_.Shot(request.serial, request.index, *shooter->GetShot(request.index));
    return {};
}

bool SameShots(const TSession& a, const TSession& b, const QString& serial)
{
    const TShooter* x = a.FindShooter(serial);
    const TShooter* y = b.FindShooter(serial);
    if (!x || !y || x->ShotCount() != y->ShotCount())
        return false;
    const auto key = [](const TShot& s) {
        const RawShotRecord& r = s.raw;
        return std::tuple(r.StartupCounter(), r.Time(), r.XNAU(), r.YNAU(), r.X(), r.Y());
    };
    for (int i = 0; i < x->ShotCount(); ++i)
        if (key(*x->GetShot(i)) != key(*y->GetShot(i)))
            return false;
    return true;
}
