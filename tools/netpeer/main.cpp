// netpeer: one end of the network link on the console.
//
//   netpeer monitor [--port N] [--until-shots N] [--seconds S] [--save FILE] [--message SERIAL|ALL TEXT]
//   netpeer node --session FILE [--host H] [--port N] [--shot-every MS] [--seconds S] [--dataout]
//
// The monitor listens (port 0 picks a free one; the port is printed as
// "listening on port N"), mirrors every shooter a node announces and pulls
// its shots; it prints one line per shooter and shot, ends once it holds
// --until-shots shots in all (exit 0) or after --seconds (exit 0 when no
// goal was set, else 1), and saves what it pulled with --save. The node
// serves the session of a session file, prints every text message it gets,
// fires a copy of its first shooter's shots from the file, one after
// another and over again, every --shot-every milliseconds (a shooter that
// keeps firing, whose hits land apart as a trainee's do) and reconnects a
// second after losing the monitor.
#include "NetMonitor.h"
#include "NetNode.h"

#include "Globals.h"
#include "Shotdata.h"
#include "Shotfile.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>

namespace {

void Say(const QString& text)
{
    std::printf("%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: netpeer monitor [--port N] [--until-shots N] [--seconds S] [--save FILE]"
                 " [--message SERIAL|ALL TEXT]\n"
                 "       netpeer node --session FILE [--host H] [--port N] [--shot-every MS] [--seconds S]"
                 " [--dataout]\n");
    return 2;
}

struct TOptions {
    QString role;
    QString host = QStringLiteral("127.0.0.1");
    int port = NetLimits::DefaultPort;
    QString session;
    QString save;
    int untilShots = -1;
    double seconds = 0;
    int shotEveryMs = 0;
    bool dataout = false;
    QString messageTo;
    QString messageText;
};

bool Parse(const QStringList& args, TOptions& o)
{
    if (args.size() < 2)
        return false;
    o.role = args[1];
    for (int i = 2; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool more = i + 1 < args.size();
        if (a == QLatin1String("--port") && more)
            o.port = args[++i].toInt();
        else if (a == QLatin1String("--host") && more)
            o.host = args[++i];
        else if (a == QLatin1String("--session") && more)
            o.session = args[++i];
        else if (a == QLatin1String("--save") && more)
            o.save = args[++i];
        else if (a == QLatin1String("--until-shots") && more)
            o.untilShots = args[++i].toInt();
        else if (a == QLatin1String("--seconds") && more)
            o.seconds = args[++i].toDouble();
        else if (a == QLatin1String("--shot-every") && more)
            o.shotEveryMs = args[++i].toInt();
        else if (a == QLatin1String("--dataout"))
            o.dataout = true;
        else if (a == QLatin1String("--message") && i + 2 < args.size()) {
            o.messageTo = args[++i];
            o.messageText = args[++i];
        } else
            return false;
    }
    return o.role == QLatin1String("monitor") || o.role == QLatin1String("node");
}

int TotalShots(const TSession& session)
{
    int n = 0;
    for (int i = 0; i < session.ShooterCount(); ++i)
        n += session.GetShooter(i)->ShotCount();
    return n;
}

int RunMonitor(const TOptions& o)
{
    TSession session;
    TNetMonitor monitor;
    monitor.SetSession(&session);
    int exitCode = o.untilShots >= 0 ? 1 : 0;
    auto finish = [&](int code) {
        exitCode = code;
        QCoreApplication::quit();
    };
    monitor.onLinked = [](TShooterOnNode& r, bool) {
        Say(QStringLiteral("shooter %1 from %2").arg(r.serialNumber, r.remoteAddress));
    };
    monitor.onShot = [&](TShooterOnNode& r, int index, bool stored) {
        if (!stored)
            return;
        const TShot* shot = r.shooter->GetShot(index);
        Say(QStringLiteral("shot %1 %2 x %3 y %4 score %5")
                .arg(r.serialNumber).arg(index).arg(shot->raw.X()).arg(shot->raw.Y()).arg(shot->raw.Score()));
        if (o.untilShots >= 0 && TotalShots(session) >= o.untilShots)
            finish(0);
    };
    monitor.onConnectionsChanged = [&] {
        Say(QStringLiteral("connections %1").arg(monitor.ConnectionCount()));
        if (!o.messageTo.isEmpty() && monitor.ConnectionCount() > 0)
            Say(QStringLiteral("message sent to %1 connection(s)")
                    .arg(monitor.SendMessageRequest(o.messageTo, o.messageText)));
    };
    if (!monitor.Start(quint16(o.port))) {
        std::fprintf(stderr, "netpeer: could not listen on port %d: %s\n", o.port,
                     monitor.ErrorString().toLocal8Bit().constData());
        return 1;
    }
    Say(QStringLiteral("listening on port %1").arg(monitor.Port()));
    if (o.seconds > 0)
        QTimer::singleShot(int(o.seconds * 1000), [&] { finish(o.untilShots >= 0 ? 1 : 0); });
    QCoreApplication::exec();
    monitor.Stop();
    Say(QStringLiteral("shots %1").arg(TotalShots(session)));
    if (!o.save.isEmpty()) {
        TShotFileHandler writer;
        writer.SetSession(&session);
        writer.SetFileName(o.save);
        writer.BuildShotFile();
        writer.Save(o.save);
    }
    return exitCode;
}

int RunNode(const TOptions& o)
{
    if (o.session.isEmpty())
        return Usage();
    TShotFileHandler reader;
    reader.LoadShotFile(o.session);
    std::unique_ptr<TSession> session = reader.TakeSession();
    TNetNode node;
    node.session = [&] { return session.get(); };
    node.dataoutMode = [&] { return o.dataout; };
    node.onTextMessage = [](const QString& serial, const QString& text) {
        Say(QStringLiteral("message for %1: %2").arg(serial, QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" / "))));
    };
    node.onConnectionChanged = [&] { Say(node.Connected() ? QStringLiteral("connected") : QStringLiteral("disconnected")); };
    node.onConnectionError = [&](const QString& reason) {
        Say(QStringLiteral("connection problem: ") + reason);
        QTimer::singleShot(1000, &node, [&] {
            if (!node.Active())
                node.Connect(o.host, o.port);
        });
    };
    QTimer shots;
    if (o.shotEveryMs > 0 && session->ShooterCount() > 0) {
        const int fileShots = session->GetShooter(0)->ShotCount();
        QObject::connect(&shots, &QTimer::timeout, [&, fileShots] {
            TShooter* shooter = session->GetShooter(0);
            const int n = shooter->ShotCount();
            auto shot = std::make_unique<TShot>();
            if (fileShots > 0) {
                const TShot* model = shooter->GetShot((n - fileShots) % fileShots);
                shot->raw = model->raw;
                shot->AllocateCurve(model->CurveCount());
                for (int k = 0; k < model->CurveCount(); ++k)
                    shot->Curve()[k] = model->Curve()[k];
            }
            shot->raw.SetShotNumber(n + 1);
            // A shot of its own: later on the unit's clock (a monitor takes a
            // shot stamped like one it holds for the same shot sent again).
            if (n > 0) {
                const uint32_t ticks = uint32_t(std::max(1, o.shotEveryMs * 66 / 1000));
                shot->raw.SetTime((shooter->GetShot(n - 1)->raw.Time() + ticks) & 0xFFFFFFu);
            }
            shooter->AppendShot(std::move(shot));
            node.SendDataOut(1, true);
        });
        shots.start(o.shotEveryMs);
    }
    node.Connect(o.host, o.port);
    if (o.seconds > 0)
        QTimer::singleShot(int(o.seconds * 1000), [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    node.Close();
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    TOptions options;
    if (!Parse(QCoreApplication::arguments(), options))
        return Usage();
    SetDebugLogSink([](const QString& line) {
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    });
    try {
        return options.role == QLatin1String("monitor") ? RunMonitor(options) : RunNode(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "netpeer: %s\n", e.what());
        return 1;
    }
}
