// The debug log's way to the start menu's diagnostics view.
//
// DebugLog may be called on any thread (the ports' event threads included)
// and calls its sink under the log's own mutex. The sink installed here only
// queues the line and, for the first line of a batch, posts one queued call
// to the GUI thread, which then emits LinesQueued; the view takes the lines
// there. Nothing here touches a widget or waits on the GUI thread.
//
// Created on the GUI thread at start-up, before anything logs, so that the
// lines of start-up reach the view once it exists. The destructor removes the
// sink (DebugLog then writes to standard error again); after it returns the
// sink is never called again, since removing it takes the log's mutex.
#pragma once

#include <QObject>
#include <QStringList>

#include <mutex>

class TDiagnosticsLog : public QObject {
    Q_OBJECT
public:
    // Lines kept at most: in the queue and in the view.
    static constexpr int MaxLines = 10000;
    // Longer lines are cut to this many characters: the view lays out a
    // line as a whole, and a line that quotes a peer's megabyte would hold
    // the GUI thread for a noticeable time.
    static constexpr int MaxLineChars = 2000;

    TDiagnosticsLog();
    ~TDiagnosticsLog() override;
    TDiagnosticsLog(const TDiagnosticsLog&) = delete;
    TDiagnosticsLog& operator=(const TDiagnosticsLog&) = delete;

    // Any thread. Queues the line, cut to MaxLineChars (the oldest goes once
    // MaxLines wait); standard error, when on, gets it whole.
    void Add(const QString& text);
    // GUI thread. The lines queued so far, oldest first; the queue is empty
    // afterwards.
    QStringList Take();

Q_SIGNALS:
    // GUI thread: lines wait to be taken.
    void LinesQueued();

private:
    std::mutex lock_;
    QStringList queued_;      // under lock_
    bool flushPosted_ = false; // under lock_
    bool toStderr_ = false;    // TRAXEL_LOG_STDERR set: every line also goes to standard error
};

// The program's log, or null outside start-up .. shutdown.
TDiagnosticsLog* DiagnosticsLog();
void SetDiagnosticsLog(TDiagnosticsLog* log);
