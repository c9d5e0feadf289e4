// What the tests of the layers from the model up read back: the DebugLog
// lines, the message of a thrown Exception, QStrings in failure messages.
// Header-only: it needs the model library the including test links.
#pragma once

#include "Globals.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

// The message of the Exception f throws, "no exception" when it returns.
inline QString Message(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return QStringLiteral("no exception");
}

// The DebugLog lines written while it lives.
struct LogCapture {
    QStringList lines;
    LogCapture() { SetDebugLogSink([this](const QString& line) { lines << line; }); }
    ~LogCapture() { SetDebugLogSink(nullptr); }
};
