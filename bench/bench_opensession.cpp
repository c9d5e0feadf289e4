// Opening a saved session into review viewers, on the offscreen window
// system: a session file of 16 shooters (60 shots each by default) on the
// shipped 10 m air rifle target, with hits grouped as a trainee's are and
// 200-point traces that settle onto the hit as an aim does, opened through
// the open-session form, timed from the call to
//  - the call's return: the file read, the shooters taken over, one viewer
//    per shooter created, shown and tiled;
//  - every viewer drawn: the event loop has run until no viewer has a draw
//    pending and every target has been painted.
// After each opening the file is read once more alone, as the opening reads
// it (read, parsed, the session built, the document freed): the share of the
// opening that is the file's.
// The program's forms are made as at start-up, without a port scan.
//
// A plain program rather than a benchmark loop: each opening closes the
// previous session first, which a benchmark loop would time with it.
//
//   bench_opensession [--shooters N] [--shots N] [--runs N]
#include "Application.h"
#include "AppPaths.h"
#include "AppStartup.h"
#include "BenchProgram.h"
#include "DeviceManager.h"
#include "FormOpenSession.h"
#include "FormShooter.h"
#include "FormShooterPanel.h"
#include "Globals.h"
#include "PortRegistry.h"
#include "Prompts.h"
#include "Shotdata.h"
#include "Shotfile.h"
#include "ShotScoring.h"
#include "UiGlobals.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cmath>
#include <memory>
#include <random>
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

// The first target of the shipped default setup (the 10 m air rifle ring).
TargetDescription ShippedTarget()
{
    TSetupHandler setups;
    if (!setups.LoadFromFile(QStringLiteral("default.setup.xml")) || setups.Count() == 0)
        return {};
    return setups.Get(0)->target;
}

// A session as trainees shoot it: each shooter's hits spread around a point
// of aim of their own, scored on the target; each trace comes down onto the
// target from above and wanders ever less until the shot breaks.
std::unique_ptr<TSession> MakeRealisticSession(const TargetDescription& target, int shooters, int shots)
{
    std::mt19937 rng(4711);
    std::normal_distribution<double> unit(0.0, 1.0);
    const double k = ShotScoring::ClassicK(target.ringRecord);
    constexpr int Samples = 200;
    auto session = std::make_unique<TSession>();
    session->name = QStringLiteral("Benchmark session");
    session->date = QStringLiteral("2024-05-17 10:00");
    for (int s = 0; s < shooters; ++s) {
        auto shooter = std::make_unique<TShooter>();
        shooter->name = QStringLiteral("Shooter %1").arg(s + 1);
        shooter->team = QStringLiteral("Team 1");
        shooter->SetSerialNumber(QStringLiteral("SN%1").arg(1000 + s));
        shooter->targets.ringTargets[0] = target.ringRecord;
        shooter->targets.ringDefined[0] = 1;
        shooter->currentTarget = target;
        const double aimX = unit(rng) * 3.0;
        const double aimY = unit(rng) * 3.0;
        const double spread = 2.0 + (s % 4) * 1.5;
        for (int n = 0; n < shots; ++n) {
            auto shot = std::make_unique<TShot>();
            RawShotRecord& r = shot->raw;
            const double x = aimX + unit(rng) * spread;
            const double y = aimY + unit(rng) * spread;
            r.SetShotNumber(n + 1);
            r.SetRingTargetIndex(0);
            r.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
            r.SetFunctionMode(1);
            r.SetStartupCounter(1);
            r.SetTime(uint32_t(n * 660 + 660));
            r.SetXNAU(int(std::lround(x / k)));
            r.SetYNAU(int(std::lround(y / k)));
            r.SetX(int(std::lround(x * 10)));
            r.SetY(int(std::lround(y * 10)));
            ShotScoring::CalcRingScoreAndSector(r, target);
            shot->shotNumber = n + 1;
            shot->aimingTime = 2000 + n;
            shot->AllocateCurve(Samples);
            double wx = unit(rng) * 6.0;
            double wy = 40.0 + unit(rng) * 5.0;
            for (int p = 0; p < Samples; ++p) {
                // Settling: the offset from the hit shrinks, the tremor stays.
                const double left = double(Samples - 1 - p) / (Samples - 1);
                wx = wx * 0.97 + unit(rng) * 0.4 * left;
                wy = wy * 0.96 + unit(rng) * 0.4 * left;
                shot->Curve()[p].SetX(int(std::lround((x + wx * left + unit(rng) * 0.15) * 10)));
                shot->Curve()[p].SetY(int(std::lround((y + wy * left + unit(rng) * 0.15) * 10)));
            }
            shooter->AddShot(std::move(shot));
        }
        session->AddShooter(std::move(shooter));
    }
    return session;
}

// Counts the viewers whose target has not been painted yet.
class TPaintWatch : public QObject {
public:
    int unpainted = 0;

    void Watch()
    {
        unpainted = 0;
        for (TFormShooter* viewer : ShooterViewers) {
            if (QWidget* target = viewer->findChild<QWidget*>(QStringLiteral("ImageTarget"))) {
                target->installEventFilter(this);
                ++unpainted;
            }
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !painted_.contains(watched)) {
            painted_.append(watched);
            --unpainted;
        }
        return false;
    }

public:
    void Reset() { painted_.clear(); }

private:
    QList<QObject*> painted_;
};

// Reads the session file as the opening does; the session is kept until the
// clock has stopped, as the opening keeps it.
double FileReadMs(const QString& path)
{
    std::unique_ptr<TSession> kept;
    QElapsedTimer clock;
    clock.start();
    {
        TShotFileHandler reader;
        reader.LoadShotFile(path);
        kept = reader.TakeSession();
    }
    return double(clock.nsecsElapsed()) / 1e6;
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
    UseScratchPorts(scratch);
    TAnswerNo prompts;
    SetPrompts(&prompts);
    if (!ApplicationStartup())
        return 1;
    CreateForms();

    const QString path = ShotFilesFolder() + QStringLiteral("/Bench.shotfile.xml");
    {
        const TargetDescription target = ShippedTarget();
        if (!target.hasRing) {
            std::fprintf(stderr, "the shipped default setup was not found in the runtime folder\n");
            return 1;
        }
        const std::unique_ptr<TSession> session = MakeRealisticSession(target, shooters, shots);
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
    TPaintWatch watch;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        FormOpenSession->OpenSessionFile(path);
        const double returned = double(clock.nsecsElapsed()) / 1e6;
        watch.Reset();
        watch.Watch();
        while ((AnyDrawPending() || watch.unpainted > 0) && clock.elapsed() < 60000)
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
        std::printf("       file read alone %.0f ms\n", FileReadMs(path));
    }

    DestroyForms();
    ApplicationShutdown();
    SetPrompts(nullptr);
    return failures == 0 ? 0 : 1;
}
