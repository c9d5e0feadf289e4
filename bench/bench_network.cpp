// The network link over loopback.
//   BM_PullShots  - a monitor pulls every shot of a node, one request and
//                   answer at a time (each shot a 200-point trace); items/s
//                   is shots pulled per second (goal: 2,000/s).
//   BM_MonitorCpu - eight node processes (netpeer) each announce a new shot
//                   every second for ten seconds while this process is the
//                   monitor; cpu_percent is the monitor's CPU time over
//                   that wall time, in percent of one core (goal: < 2 %).
//   BM_PullShotsViewers, BM_MonitorCpuViewers - the same with the program's
//                   monitor side: the network form, the control panel and
//                   a viewer for every remote shooter, on the offscreen
//                   window system (goals: 1,000 shots/s at 3,000 shots and
//                   flat in the shots held; under 5 % of a core). The CPU
//                   case runs once as shipped and once with AutoZoom off.
#include "NetMonitor.h"
#include "NetNode.h"

#include "AppSettings.h"
#include "BenchShooter.h"
#include "BenchProgram.h"
#include "FormNetworkControl.h"
#include "FormShooter.h"
#include "FormShooterPanel.h"
#include "Globals.h"
#include "MiniXMLParser.h"
#include "NetworkLink.h"
#include "Shotdata.h"
#include "Shotfile.h"
#include "UiGlobals.h"
#include "XmlNames.h"

#include <QApplication>
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

// The application main() made; a timer on it wakes the loop now and then, so
// that a time limit is seen while idle.
void EnsureApp()
{
    SetDebugLogSink([](const QString&) {});
    static QTimer* tick = new QTimer(QCoreApplication::instance());
    tick->start(100);
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

// Console nodes, one shooter each (SN2000 on) on a ring and silhouette
// target with kBenchShots spread hits, firing those hits again in turn, one
// a second, at the monitor on port for 30 s: each new shot lands elsewhere,
// so each viewer's view moves to it as it does for a trainee.
std::vector<std::unique_ptr<QProcess>> StartFiringNodes(const QTemporaryDir& dir, int count, quint16 port)
{
    std::vector<std::unique_ptr<QProcess>> nodes;
    const TargetDescription target = MakeBenchTarget();
    for (int n = 0; n < count; ++n) {
        TSession session;
        std::unique_ptr<TShooter> shooter = MakeBenchShooter(target, 4711u + unsigned(n));
        shooter->name = QStringLiteral("Shooter %1").arg(n + 1);
        shooter->SetSerialNumber(QStringLiteral("SN%1").arg(2000 + n));
        session.AddShooter(std::move(shooter));
        const QString file = dir.filePath(QStringLiteral("node%1.shotfile.xml").arg(n));
        TShotFileHandler writer;
        writer.SetSession(&session);
        writer.SetFileName(file);
        writer.BuildShotFile();
        writer.Save(file);
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral(TRAXEL_NETPEER),
                       {"node", "--session", file, "--port", QString::number(port), "--shot-every", "1000",
                        "--seconds", "30"});
        nodes.push_back(std::move(process));
    }
    return nodes;
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
        std::vector<std::unique_ptr<QProcess>> nodes = StartFiringNodes(dir, Nodes, monitor.Port());
        auto total = [&] {
            int n = 0;
            for (int i = 0; i < mirror.ShooterCount(); ++i)
                n += mirror.GetShooter(i)->ShotCount();
            return n;
        };
        if (!RunUntil([&] { return mirror.ShooterCount() == Nodes && total() >= Nodes * kBenchShots; }, 20000)) {
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

// The program as monitor: its network form listening, the control panel and
// a viewer for every shooter that a node announces, as after "Monitor
// Training Session".
class TProgramMonitor {
public:
    TProgramMonitor()
    {
        SessionMode = SessionMonitor;
        SettingsRoot()->FindNode(QString::fromLatin1(XmlNames::Network))
            ->SetAttributeValue(QString::fromLatin1(XmlNames::Mode), QString::fromLatin1(XmlNames::ModeMonitor));
        CurrentSession = new TSession;
        FormShooterPanel = new TFormShooterPanel;
        form_ = new TFormNetworkControl;
        FormNetworkControl = form_;
        SetNetworkLink(form_);
        form_->StartMonitor(0);
    }
    ~TProgramMonitor()
    {
        form_->StopMonitor();
        for (TFormShooter* viewer : ShooterViewers)
            delete viewer;
        ShooterViewers.clear();
        ActiveViewer = nullptr;
        SetNetworkLink(nullptr);
        FormNetworkControl = nullptr;
        delete form_;
        delete FormShooterPanel;
        FormShooterPanel = nullptr;
        delete CurrentSession;
        CurrentSession = nullptr;
    }
    TProgramMonitor(const TProgramMonitor&) = delete;
    TProgramMonitor& operator=(const TProgramMonitor&) = delete;

    quint16 Port() { return form_->Monitor().Port(); }
    int Shots(const QString& serial) const
    {
        const TShooter* s = CurrentSession->FindShooter(serial);
        return s ? s->ShotCount() : 0;
    }
    int TotalShots() const
    {
        int n = 0;
        for (int i = 0; i < CurrentSession->ShooterCount(); ++i)
            n += CurrentSession->GetShooter(i)->ShotCount();
        return n;
    }
    // Every viewer has drawn what arrived.
    static bool Drawn()
    {
        for (TFormShooter* viewer : ShooterViewers)
            if (viewer->DrawPending() || viewer->Strip().EntryCount() != viewer->Shooter()->ShotCount())
                return false;
        return true;
    }

private:
    TFormNetworkControl* form_ = nullptr;
};

// One shooter's shots pulled into a viewer; shots_per_s_last is the rate
// over the last fifth of the pull, which stays near the whole pull's rate
// when a pulled shot costs the same however many are held.
void BM_PullShotsViewers(benchmark::State& state)
{
    EnsureApp();
    const int shots = int(state.range(0));
    TSession nodeSession;
    AddShooter(nodeSession, QStringLiteral("SN1000"), shots, 200);
    for (auto _ : state) {
        TProgramMonitor monitor;
        TNetNode node;
        node.session = [&] { return &nodeSession; };
        node.Connect(QStringLiteral("127.0.0.1"), monitor.Port());
        QElapsedTimer clock;
        clock.start();
        const int lastFifth = shots - shots / 5;
        qint64 lastFifthStartMs = -1;
        const bool done = RunUntil([&] {
            const int n = monitor.Shots(QStringLiteral("SN1000"));
            if (lastFifthStartMs < 0 && n >= lastFifth)
                lastFifthStartMs = clock.elapsed();
            return n == shots && TProgramMonitor::Drawn();
        }, 600000);
        const qint64 tailMs = clock.elapsed() - lastFifthStartMs;
        if (!done)
            state.SkipWithError("not every shot was pulled and drawn");
        state.counters["shots_per_s_last"] = tailMs > 0 ? 1000.0 * (shots - lastFifth) / double(tailMs) : 0.0;
        node.Close();
    }
    state.SetItemsProcessed(state.iterations() * shots);
}
BENCHMARK(BM_PullShotsViewers)->Arg(3000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PullShots)->Arg(3000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Arg 1: as shipped; arg 0: with AutoZoom off, so that no shot starts a
// view animation (what the rest of the monitor's work costs).
void BM_MonitorCpuViewers(benchmark::State& state)
{
    EnsureApp();
    SetOptionString(QStringLiteral("AutoZoom"), state.range(0) != 0 ? QStringLiteral("true") : QStringLiteral("false"));
    constexpr int Nodes = 8;
    constexpr int WindowMs = 10000;
    QTemporaryDir dir;
    for (auto _ : state) {
        TProgramMonitor monitor;
        std::vector<std::unique_ptr<QProcess>> nodes = StartFiringNodes(dir, Nodes, monitor.Port());
        // The window starts once the files' shots are pulled: it measures
        // the shots fired, not the first pull.
        if (!RunUntil([&] { return CurrentSession->ShooterCount() == Nodes && monitor.TotalShots() >= Nodes * kBenchShots; },
                      20000)) {
            state.SkipWithError("the nodes did not connect");
            break;
        }
        const int before = monitor.TotalShots();
        const double cpu0 = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        RunUntil([] { return false; }, WindowMs);
        const double cpu = ProcessCpuSeconds() - cpu0;
        state.counters["cpu_percent"] = 100.0 * cpu / (double(wall.elapsed()) / 1000.0);
        state.counters["shots_in_window"] = monitor.TotalShots() - before;
        for (auto& process : nodes) {
            process->kill();
            process->waitForFinished();
        }
    }
    SetOptionString(QStringLiteral("AutoZoom"), QStringLiteral("true"));
}
BENCHMARK(BM_MonitorCpuViewers)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

// The application lives on main's stack: left to exit, it would be deleted
// after Qt's own globals.
int main(int argc, char** argv)
{
    // Widgets for the cases with viewers, offscreen.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetUpBenchProgram();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
