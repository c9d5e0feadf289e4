#include "DiagnosticsLog.h"

#include "Globals.h"

#include <QMetaObject>

#include <cstdio>

namespace {

TDiagnosticsLog* Installed = nullptr;

}  // namespace

TDiagnosticsLog::TDiagnosticsLog()
    : toStderr_(!qEnvironmentVariableIsEmpty("TRAXEL_LOG_STDERR"))
{
    SetDebugLogSink([this](const QString& line) { Add(line); });
}

TDiagnosticsLog::~TDiagnosticsLog()
{
    // Waits for a sink call in progress; none follows.
    SetDebugLogSink({});
    if (Installed == this)
        Installed = nullptr;
}

void TDiagnosticsLog::Add(const QString& text)
{
    if (toStderr_)
        std::fprintf(stderr, "%s\n", qUtf8Printable(text));
    const QString line = text.size() <= MaxLineChars
        ? text
        : text.left(MaxLineChars) + QStringLiteral("... (%1 characters)").arg(text.size());
    std::lock_guard<std::mutex> guard(lock_);
    if (queued_.size() >= MaxLines)
        queued_.removeFirst();
    queued_.append(line);
    if (flushPosted_)
        return;
    flushPosted_ = true;
    // Posting is safe from any thread; the call is dropped if this object
    // goes first.
    QMetaObject::invokeMethod(this, [this] { Q_EMIT LinesQueued(); }, Qt::QueuedConnection);
}

QStringList TDiagnosticsLog::Take()
{
    std::lock_guard<std::mutex> guard(lock_);
    flushPosted_ = false;
    QStringList lines;
    lines.swap(queued_);
    return lines;
}

TDiagnosticsLog* DiagnosticsLog() { return Installed; }

void SetDiagnosticsLog(TDiagnosticsLog* log) { Installed = log; }
