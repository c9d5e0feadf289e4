// Sessions, shots and peers for the network tests.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <algorithm>

#include <memory>

class TSession;
class TShooter;

// A shooter appended to session: serial, name, the test ring in slot 0 and
// shots shots on it (raw XNAU 10 i, YNAU -5 i, score 100 - i, a trace of
// points points each).
TShooter* AddNetShooter(TSession& session, const QString& serial, const QString& name, int shots, int points = 3);
// One more shot like those of AddNetShooter at the end of shooter's list.
void AddNetShot(TShooter& shooter, int points = 3);

// A message as a node or monitor writes it: declaration line and body.
QByteArray Wrap(const QByteArray& body, const QByteArray& root = "TRAXELMessage");

// The longest the event loop may be held by one hostile message; the
// sanitizer builds (unoptimised) are given eight times as long.
#ifdef NDEBUG
constexpr qint64 MaxStallMs = 50;
#else
constexpr qint64 MaxStallMs = 8 * 50;
#endif

// Ticks on the GUI thread every 2 ms and keeps the longest gap between two
// ticks: the longest the event loop was held.
class THeartbeat {
public:
    THeartbeat()
    {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout, [this] { worstMs_ = std::max(worstMs_, clock_.restart()); });
    }
    void Start()
    {
        worstMs_ = 0;
        clock_.start();
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    qint64 WorstMs() const { return worstMs_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 worstMs_ = 0;
};
