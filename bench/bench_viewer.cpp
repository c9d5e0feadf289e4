// Eight live shooter viewers on eight simulated units streaming at 66 Hz, on
// the offscreen window system. Measures
//  - shot latency: from the simulated unit being told to send a shot result
//    to the end of the first paint of that viewer's target that shows the
//    new shot selected (p50, p99, max);
//  - the program's CPU while all eight stream and draw, in percent of one
//    core;
//  - the program's CPU with the eight units connected and bound but not
//    measuring.
//
// The units run in a child process, so getrusage(RUSAGE_SELF) counts this
// program alone. Both processes stamp with the same monotonic clock. Only
// the viewers, the devices and the event loop run here: no other form.
//
// A plain program rather than a benchmark loop: the measurements are a
// latency distribution and CPU ratios over fixed windows.
//
// The default pace, one shot every four seconds per shooter, is a brisk
// training; --shots raises it.
//
//   bench_viewer [--shots N] [--seconds S] [--idle-seconds S]
#include "AppPaths.h"
#include "AppSettings.h"
#include "BenchProgram.h"
#include "CPort.h"
#include "Device.h"
#include "ForkedUnits.h"
#include "FormShooter.h"
#include "Globals.h"
#include "Shotdata.h"
#include "TSimUnit.h"
#include "TestTargets.h"
#include "UiBitmaps.h"
#include "UiGlobals.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono;

namespace {

constexpr int UnitCount = 8;
constexpr int FirstComNumber = 41;

// Stamps the end of the first paint of a target that shows a new shot.
class TPaintStamp : public QObject {
public:
    TPaintStamp(TFormShooter* viewer, QWidget* target) : viewer_(viewer), target_(target) {}

    int expectedShots = 0;
    int64_t sentNs = 0;
    std::vector<double>* latenciesMs = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != target_ || event->type() != QEvent::Paint || sentNs == 0)
            return false;
        const int n = viewer_->Shooter()->ShotCount();
        if (n < expectedShots || viewer_->SelectedShot() != viewer_->Shooter()->GetShot(expectedShots - 1))
            return false;
        static_cast<QObject*>(target_)->event(event); // paint now, then stamp
        latenciesMs->push_back(double(NowNs() - sentNs) / 1e6);
        sentNs = 0;
        return true;
    }

private:
    TFormShooter* viewer_;
    QWidget* target_;
};

void RunFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv)
{
    const int busySeconds = ArgValue(argc, argv, "--seconds", 20);
    const int shotTotal = ArgValue(argc, argv, "--shots", busySeconds * UnitCount / 4);
    const int idleSeconds = ArgValue(argc, argv, "--idle-seconds", 5);

    // Forked before this process has any thread of its own.
    TForkedUnits sim;
    if (!sim.Start(UnitCount)) {
        std::fprintf(stderr, "could not start the simulated units\n");
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetUpBenchProgram();

    TSession session;
    CurrentSession = &session;
    SetComPortResolver([&sim](int number) {
        const int i = number - FirstComNumber;
        return i >= 0 && i < UnitCount ? sim.Paths()[std::size_t(i)] : std::string();
    });

    std::vector<std::unique_ptr<TDevice>> devices;
    std::vector<std::unique_ptr<TPaintStamp>> stamps;
    std::vector<double> latenciesMs;
    for (int i = 0; i < UnitCount; ++i) {
        auto device = std::make_unique<TDevice>();
        if (!device->OpenPort(FirstComNumber + i, true)) {
            std::fprintf(stderr, "COM%d: could not open\n", FirstComNumber + i);
            return 1;
        }
        device->Shooter()->currentTarget = GoldenRing();
        auto* viewer = new TFormShooter;
        ShooterViewers.push_back(viewer);
        viewer->SetViewerNumber(i + 1);
        viewer->setGeometry((i % 4) * 480, (i / 4) * 520, 480, 520);
        viewer->show();
        AttachShooterView(viewer, device.get(), device->Shooter(), true);
        QWidget* target = viewer->findChild<QWidget*>(QStringLiteral("ImageTarget"));
        auto stamp = std::make_unique<TPaintStamp>(viewer, target);
        stamp->latenciesMs = &latenciesMs;
        target->installEventFilter(stamp.get());
        devices.push_back(std::move(device));
        stamps.push_back(std::move(stamp));
    }
    RunFor(200); // the units write once the ports are raw
    for (TFormShooter* viewer : ShooterViewers)
        viewer->ButtonStartStopClick();
    RunFor(1000);

    // ---- Busy: all streaming, a shot every few hundred ms somewhere ----
    int fired = 0;
    const int gapMs = std::max(20, busySeconds * 1000 / shotTotal);
    QTimer shots;
    QObject::connect(&shots, &QTimer::timeout, [&] {
        if (fired >= shotTotal)
            return;
        const int unit = fired % UnitCount;
        TPaintStamp& stamp = *stamps[std::size_t(unit)];
        stamp.expectedShots = ShooterViewers[std::size_t(unit)]->Shooter()->ShotCount() + 1;
        stamp.sentNs = sim.Fire(unit, int16_t((fired * 37) % 400 - 200), int16_t((fired * 53) % 400 - 200));
        ++fired;
    });
    const double cpu0 = CpuSeconds();
    const int64_t wall0 = NowNs();
    shots.start(gapMs);
    RunFor(busySeconds * 1000);
    shots.stop();
    const double busyCpu = (CpuSeconds() - cpu0) / (double(NowNs() - wall0) / 1e9) * 100.0;
    RunFor(300);

    // ---- Idle: connected, bound, not measuring ----
    for (TFormShooter* viewer : ShooterViewers)
        viewer->ButtonStartStopClick();
    RunFor(1500);
    const double cpu1 = CpuSeconds();
    const int64_t wall1 = NowNs();
    RunFor(idleSeconds * 1000);
    const double idleCpu = (CpuSeconds() - cpu1) / (double(NowNs() - wall1) / 1e9) * 100.0;

    std::printf("viewers %d, shots fired %d, painted %zu\n", UnitCount, fired, latenciesMs.size());
    std::printf("shot frame -> viewer painted: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", Percentile(latenciesMs, 50),
                Percentile(latenciesMs, 99), latenciesMs.empty() ? 0.0 : *std::max_element(latenciesMs.begin(), latenciesMs.end()));
    std::printf("CPU with %d live viewers: %.1f %% of one core\n", UnitCount, busyCpu);
    std::printf("CPU with %d connected, not measuring: %.2f %% of one core\n", UnitCount, idleCpu);

    for (TFormShooter* viewer : ShooterViewers)
        delete viewer;
    ShooterViewers.clear();
    devices.clear();
    CurrentSession = nullptr;
    SetComPortResolver({});
    sim.Stop();
    return 0;
}
