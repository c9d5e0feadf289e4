// The program entry: start-up, the forms, the event loop, shutdown.
#include "AppStartup.h"
#include "Application.h"
#include "FormNetworkControl.h"
#include "FormSendMessage.h"
#include "FormStartupSplash.h"
#include "FormPrepareDownload.h"
#include "Globals.h"
#include "PowerEvents.h"
#include "QtPrompts.h"
#include "UiGlobals.h"

#include <QByteArray>

#include <cstdio>
#include <exception>

namespace {

// Qt ends the process with a page of platform-plugin errors when it finds no
// display; say it in one line instead, before Qt tries.
bool DisplayMissing()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM").split(':').first().trimmed();
    if (!platform.isEmpty() && platform != "xcb")
        return false;  // offscreen, vnc, wayland ...: that platform decides
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    return platform == "xcb" || qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int RunProgram()
{
    if (!ApplicationStartup())
        return 1;  // the reason was shown; nothing else starts
    CreateForms({[] { return static_cast<QWidget*>(new TFormNetworkControl); },
                 [] { return static_cast<QWidget*>(new TFormSendMessage); }});
    // Suspend and resume reach the download form, which keeps the units and
    // viewers in step with them in every mode. Port changes are wired with
    // the forms (DeviceEvents).
    TPowerEvents power;
    power.SetHandlers([] { if (FormPrepareDownload) FormPrepareDownload->OnSuspend(); },
                      [] { if (FormPrepareDownload) FormPrepareDownload->OnResume(); });
    power.Start();
    FormStartupSplash->show();
    const int exitCode = TApplication::exec();
    power.Stop();
    return exitCode;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (DisplayMissing()) {
        std::fprintf(stderr, "TRAXEL: no display to show the program on (DISPLAY is not set).\n");
        return 1;
    }
    TApplication app(argc, argv);
    TApplication::setApplicationName(QStringLiteral("TRAXEL"));
    TApplication::setApplicationDisplayName(QStringLiteral("TRAXEL"));
    // The splash stays hidden once the start menu is up; only the menu's
    // Close (or closing its window) ends the program.
    TApplication::setQuitOnLastWindowClosed(false);
    InitDecimalSeparatorFromSystem();

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
        exitCode = RunProgram();
    } catch (const std::exception& e) {
        ShowException(&e);
        exitCode = 1;
    } catch (...) {
        ShowException(nullptr);
        exitCode = 1;
    }
    try {
        DestroyForms();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "TRAXEL: %s\n", e.what());
    }
    ApplicationShutdown();
    SetBusyCursorHook({});
    SetPrompts(nullptr);
    return exitCode;
}
