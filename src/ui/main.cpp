// The program entry: start-up, the forms, the event loop, shutdown.
#include "AppStartup.h"
#include "Application.h"
#include "FormNetworkControl.h"
#include "FormPrepareDownload.h"
#include "FormSendMessage.h"
#include "FormStartupSplash.h"
#include "Globals.h"
#include "HotPlug.h"
#include "PowerEvents.h"
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
            // Port and power changes go to the download form, which keeps the
            // units and viewers in step with them in every mode.
            THotPlug hotPlug;
            hotPlug.AddListener([](EPortChange change, const std::string& port) {
                if (FormPrepareDownload)
                    FormPrepareDownload->OnPortChange(change == EPortChange::Arrival, QString::fromStdString(port));
            });
            TPowerEvents power;
            power.SetHandlers([] { if (FormPrepareDownload) FormPrepareDownload->OnSuspend(); },
                              [] { if (FormPrepareDownload) FormPrepareDownload->OnResume(); });
            try {
                hotPlug.Start();
            } catch (const std::exception& e) {
                DebugLog(QStringLiteral("Port changes are not watched: ") + QString::fromUtf8(e.what()));
            }
            power.Start();
            FormStartupSplash->show();
            exitCode = TApplication::exec();
            power.Stop();
            hotPlug.Stop();
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
