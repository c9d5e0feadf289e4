#include "DisplayTestSupport.h"

#include "Globals.h"

#include <QGuiApplication>

void EnsureGuiApp()
{
    static int argc = 1;
    static char name[] = "displaytests";
    static char* argv[] = { name, nullptr };
    static QGuiApplication* app = QGuiApplication::instance() ? nullptr : new QGuiApplication(argc, argv);
    (void)app;
}

TLogRecorder::TLogRecorder()
{
    SetDebugLogSink([this](const QString& line) { lines.append(line); });
}

TLogRecorder::~TLogRecorder()
{
    SetDebugLogSink({});
}

// Font configuration keeps its caches until exit and Qt never releases them;
// under the leak checker that is noise, not a fault of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
