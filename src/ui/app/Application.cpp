#include "Application.h"

#include "Globals.h"
#include "Prompts.h"
#include "Translation.h"

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(&e);
    } catch (...) {
        ShowException(nullptr);
    }
    return false;
}

void ShowException(const std::exception* e)
{
    const QString text = e ? QString::fromUtf8(e->what()) : QString();
    DebugLog(QStringLiteral("Exception: ") + text);
    try {
        Prompts().MessageBox(text, Translate(QStringLiteral("Error")), TMsgButtons::OK);
    } catch (...) {
        // A box that cannot be shown must not take the program down.
    }
}

void TerminateApplication(int code)
{
    QCoreApplication::exit(code);
}
