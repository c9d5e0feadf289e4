// A node stand-in for the monitor's pull tests: it serves a session over a
// plain socket on the test's event loop and lets the test decide, request
// by request, what becomes of each answer.
#pragma once

#include "NetFraming.h"
#include "NetMessages.h"
#include "Clock.h"

#include <QString>
#include <QTcpSocket>

#include <functional>
#include <vector>

class TSession;

// A clock the test moves by hand.
class TStepClock final : public IClock {
public:
    uint32_t TickCount() const override { return uint32_t(ms); }
    int64_t MonotonicNs() const override { return ms * 1000000; }
    int64_t ms = int64_t(1) << 20;
};

class TStandInNode {
public:
    // Answer: at once. Drop: never. Garble: one that cannot be parsed.
    // Repeat: twice. Delay: held until ReleaseDelayed, and built from the
    // list as it is then.
    enum class TFate { Answer, Drop, Garble, Repeat, Delay };
    struct TRequest {
        QString item;    // "SessionInfo", "TargetInfo", "Shot"
        QString serial;
        int index = -1;  // of a shot
    };

    explicit TStandInNode(TSession& session);
    // Connects and waits for the monitor's first request.
    bool Connect(quint16 port);

    // Decides each answer; empty answers everything at once.
    std::function<TFate(const TRequest&)> fate;

    void SendSummary();
    // Sends the held answers, last held first when reversed.
    void ReleaseDelayed(bool reversed);
    void DropDelayed() { delayed_.clear(); }
    // Lets the monitor run until the stand-in has been quiet for quietMs
    // (nothing asked of it), at most limitMs; false when never quiet.
    bool RunUntilQuiet(int quietMs = 150, int limitMs = 20000);

    std::vector<TRequest> requests;  // every request received, in order
    int ShotRequests(const QString& serial, int index) const;

private:
    void Read();
    void Serve(const TRequest& request);
    QByteArray Answer(const TRequest& request);

    TSession& session_;
    QTcpSocket socket_;
    TMessageFramer framer_;
    TMessageWriter writer_;
    std::vector<TRequest> delayed_;
};

// Whether two sessions hold the same shots for serial, in the same order
// (as the unit stamped and placed them).
bool SameShots(const TSession& a, const TSession& b, const QString& serial);
