// The program entry: start-up, the forms, the event loop, shutdown.
#include "AppStartup.h"
#include "Application.h"
#include "FormNetworkControl.h"
#include "FormSendMessage.h"
#include "FormStartupSplash.h"
#include "Globals.h"
#include "QtPrompts.h"
#include "UiGlobals.h"

#include <QCursor>

#include <cstdio>

int main(int argc, char* argv[])
{
    TApplication app(argc, argv);
    TApplication::setApplicationName(QStringLiteral("TRAXEL"));
    TApplication::setApplicationDisplayName(QStringLiteral("TRAXEL"));
    // The splash stays hidden once the start menu is up; only the menu's
    // Close ends the program.
    TApplication::setQuitOnLastWindowClosed(false);

    TQtPrompts prompts;
    SetPrompts(&prompts);
    SetBusyCursorHook([](bool busy) {
        if (busy)
            TApplication::setOverrideCursor(Qt::WaitCursor);
        else
            TApplication::restoreOverrideCursor();
    });

    int exitCode = 1;
    try {
        if (ApplicationStartup()) {
            CreateForms({[] { return static_cast<QWidget*>(new TFormNetworkControl); },
                         [] { return static_cast<QWidget*>(new TFormSendMessage); }});
            FormStartupSplash->show();
            exitCode = TApplication::exec();
            DestroyForms();
        }
        ApplicationShutdown();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "TRAXEL: %s\n", e.what());
        exitCode = 1;
    }
    SetBusyCursorHook({});
    SetPrompts(nullptr);
    return exitCode;
}
