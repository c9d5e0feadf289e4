// Opening a saved session into review viewers, on the offscreen window
// system: a session file of 16 shooters (60 shots each with a 200-point
// trace by default) opened through the open-session form, timed from the
// call to
//  - the call's return: the file read, the shooters taken over, one viewer
//    per shooter created, shown and tiled;
//  - every viewer drawn: the event loop has run until no viewer has a draw
//    pending.
// The program's forms are made as at start-up, without a port scan.
//
// A plain program rather than a benchmark loop: each opening closes the
// previous session first, which a benchmark loop would time with it.
//
//   bench_opensession [--shooters N] [--shots N] [--runs N]
#include "BenchShooter.h"
#include "AppPaths.h"
#include "AppStartup.h"
#include "DeviceManager.h"
#include "Application.h"
#include "FormOpenSession.h"
#include "FormShooter.h"
#include "FormShooterPanel.h"
#include "Globals.h"
#include "PortRegistry.h"
#include "Prompts.h"
#include "Shotdata.h"
#include "Shotfile.h"
#include "UiGlobals.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Every box answered No (or OK): a running session is closed unsaved.
class TAnswerNo final : public IPrompts {
public:
    TMsgResult MessageBox(const QString& text, const QString&, TMsgButtons) override
    {
        std::fprintf(stderr, "box: %s\n", qPrintable(text));
        return TMsgResult::No;
    }
};


int Option(int argc, char** argv, const char* name, int fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return std::max(1, std::atoi(argv[i + 1]));
    return fallback;
}

bool AnyDrawPending()
{
    return std::any_of(ShooterViewers.begin(), ShooterViewers.end(),
                       [](const TFormShooter* viewer) { return viewer->DrawPending(); });
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int shooters = Option(argc, argv, "--shooters", 16);
    const int shots = Option(argc, argv, "--shots", 60);
    const int runs = Option(argc, argv, "--runs", 5);

    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    qputenv("XDG_DATA_HOME", scratch.filePath(QStringLiteral("data")).toUtf8());
    TApplication app(argc, argv);
    TApplication::setQuitOnLastWindowClosed(false);
    // The program's folder with Bitmaps/ beside the build's bench folder.
    QDir::setCurrent(QCoreApplication::applicationDirPath() + QStringLiteral("/../runtime"));
    // Ports of an empty scratch system: serial devices that come and go on
    // this machine start no scan (its pauses would be timed with the opening).
    TPortRegistry& registry = TPortRegistry::Instance();
    for (const char* sub : {"sys", "byid", "dev", "ports"})
        QDir().mkpath(scratch.filePath(QString::fromLatin1(sub)));
    registry.SetSysfsRoot(scratch.filePath(QStringLiteral("sys")).toStdString());
    registry.SetByIdFolder(scratch.filePath(QStringLiteral("byid")).toStdString());
    registry.SetDevFolder(scratch.filePath(QStringLiteral("dev")).toStdString());
    registry.SetPortsFolder(scratch.filePath(QStringLiteral("ports")).toStdString());
    registry.Reset();
    TAnswerNo prompts;
    SetPrompts(&prompts);
    if (!ApplicationStartup())
        return 1;
    CreateForms();

    const QString path = ShotFilesFolder() + QStringLiteral("/Bench.shotfile.xml");
    {
        const std::unique_ptr<TSession> session = MakeBenchSession(shooters, shots);
        TShotFileHandler writer;
        writer.SetSession(session.get());
        writer.BuildShotFile();
        writer.Save(path);
    }
    std::printf("session file: %d shooters x %d shots, %.2f MB\n", shooters, shots,
                double(QFileInfo(path).size()) / 1e6);

    // The port watch delivers its first look after a quiet spell, and the
    // scan it starts pauses for seconds: let that pass before timing.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 3000 || (DeviceManagerInstance && DeviceManagerInstance->Scanning()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        FormOpenSession->OpenSessionFile(path);
        const double returned = double(clock.nsecsElapsed()) / 1e6;
        while (AnyDrawPending() && clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::processEvents();
        const double drawn = double(clock.nsecsElapsed()) / 1e6;
        const auto shown = std::count_if(ShooterViewers.begin(), ShooterViewers.end(),
                                         [](const TFormShooter* viewer) { return viewer->isVisible(); });
        std::printf("run %d: %zu of %d viewers shown, open returned %.0f ms, all drawn %.0f ms\n", run + 1,
                    std::size_t(shown), shooters, returned, drawn);
        if (shown != shooters)
            ++failures;
        if (FormShooterPanel)
            FormShooterPanel->CloseSession();
        QCoreApplication::processEvents();
    }

    DestroyForms();
    ApplicationShutdown();
    SetPrompts(nullptr);
    return failures == 0 ? 0 : 1;
}
