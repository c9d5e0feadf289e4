// The network link over loopback.
//   BM_PullShots  - a monitor pulls every shot of a node, one request and
//                   answer at a time (each shot a 200-point trace); items/s
//                   is shots pulled per second (goal: 2,000/s).
//   BM_MonitorCpu - eight node processes (netpeer) each announce a new shot
//                   every second for ten seconds while this process is the
//                   monitor; cpu_percent is the monitor's CPU time over
//                   that wall time, in percent of one core (goal: < 2 %).
#include "NetMonitor.h"
#include "NetNode.h"

#include "Globals.h"
#include "Shotdata.h"
#include "Shotfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

void EnsureApp()
{
    static int argc = 1;
    static char name[] = "bench_network";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        static QCoreApplication app(argc, argv);
    SetDebugLogSink([](const QString&) {});
    // Wakes the loop now and then, so that a time limit is seen while idle.
    static QTimer tick;
    tick.start(100);
}

// Runs the event loop (sleeping while nothing happens) until done() holds
// or limitMs has passed; done() is checked after every event batch.
bool RunUntil(const std::function<bool()>& done, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    while (!done() && clock.elapsed() < limitMs)
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

void AddShooter(TSession& session, const QString& serial, int shots, int points)
{
    auto shooter = std::make_unique<TShooter>();
    shooter->name = QStringLiteral("Shooter ") + serial;
    shooter->SetSerialNumber(serial);
    shooter->targets.ringTargets[0].SetNominalDistance(100);
    shooter->targets.ringTargets[0].SetCaliber(450);
    shooter->targets.ringTargets[0].SetHighestRing(10);
    shooter->targets.ringTargets[0].SetMinimumRing(1);
    shooter->targets.ringDefined[0] = 1;
    TShooter* added = session.AddShooter(std::move(shooter));
    for (int i = 0; i < shots; ++i) {
        auto shot = std::make_unique<TShot>();
        shot->raw.SetShotNumber(i + 1);
        shot->raw.SetXNAU(i % 300);
        shot->raw.SetYNAU(-(i % 200));
        shot->raw.SetRingTargetIndex(0);
        shot->raw.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
        shot->raw.SetFunctionMode(1);
        shot->raw.SetTime(uint32_t(66 * (i + 1)));
        shot->raw.SetScore(100 - i % 50);
        shot->AllocateCurve(points);
        for (int k = 0; k < points; ++k) {
            shot->Curve()[k].SetX(k * 3);
            shot->Curve()[k].SetY(-k * 2);
        }
        added->AppendShot(std::move(shot));
    }
}

void BM_PullShots(benchmark::State& state)
{
    EnsureApp();
    const int shots = int(state.range(0));
    TSession nodeSession;
    AddShooter(nodeSession, QStringLiteral("SN1000"), shots, 200);
    for (auto _ : state) {
        TSession mirror;
        TNetMonitor monitor;
        monitor.SetSession(&mirror);
        monitor.Start(0);
        TNetNode node;
        node.session = [&] { return &nodeSession; };
        node.Connect(QStringLiteral("127.0.0.1"), monitor.Port());
        const bool done = RunUntil([&] {
            const TShooter* s = mirror.FindShooter(QStringLiteral("SN1000"));
            return s && s->ShotCount() == shots;
        }, 60000);
        if (!done)
            state.SkipWithError("not every shot was pulled");
        node.Close();
        monitor.Stop();
    }
    state.SetItemsProcessed(state.iterations() * shots);
}
BENCHMARK(BM_PullShots)->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime();

double ProcessCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_MonitorCpu(benchmark::State& state)
{
    EnsureApp();
    constexpr int Nodes = 8;
    constexpr int WindowMs = 10000;
    QTemporaryDir dir;
    for (auto _ : state) {
        TSession mirror;
        TNetMonitor monitor;
        monitor.SetSession(&mirror);
        monitor.Start(0);
        std::vector<std::unique_ptr<QProcess>> nodes;
        for (int n = 0; n < Nodes; ++n) {
            TSession session;
            AddShooter(session, QStringLiteral("SN%1").arg(2000 + n), 1, 200);
            const QString file = dir.filePath(QStringLiteral("node%1.shotfile.xml").arg(n));
            TShotFileHandler writer;
            writer.SetSession(&session);
            writer.SetFileName(file);
            writer.BuildShotFile();
            writer.Save(file);
            auto process = std::make_unique<QProcess>();
            process->start(QStringLiteral(TRAXEL_NETPEER),
                           {"node", "--session", file, "--port", QString::number(monitor.Port()), "--shot-every",
                            "1000", "--seconds", "30"});
            nodes.push_back(std::move(process));
        }
        auto total = [&] {
            int n = 0;
            for (int i = 0; i < mirror.ShooterCount(); ++i)
                n += mirror.GetShooter(i)->ShotCount();
            return n;
        };
        if (!RunUntil([&] { return mirror.ShooterCount() == Nodes && total() >= Nodes; }, 20000)) {
            state.SkipWithError("the nodes did not connect");
            break;
        }
        const int before = total();
        const double cpu0 = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        RunUntil([] { return false; }, WindowMs);
        const double cpu = ProcessCpuSeconds() - cpu0;
        state.counters["cpu_percent"] = 100.0 * cpu / (double(wall.elapsed()) / 1000.0);
        state.counters["shots_in_window"] = total() - before;
        for (auto& process : nodes) {
            process->kill();
            process->waitForFinished();
        }
        monitor.Stop();
    }
}
BENCHMARK(BM_MonitorCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
