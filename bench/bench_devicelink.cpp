// The device link under load: eight simulated units stream samples at 66 Hz,
// each read by its own TDevice. Measures
//  - shot latency: from the simulated unit being told to send a shot result
//    to the listener's OnShot, called once the scored TShot is in the
//    shooter's list (p50, p99, max);
//  - the program's CPU while all units stream, in percent of one core.
//
// The units run in a child process, so getrusage(RUSAGE_SELF) of this
// process counts the receive path alone, not the simulator's threads. Both
// processes stamp with the same monotonic clock, so the child's send time
// and the listener's stamp compare directly. The send time is taken before
// the unit's own thread has woken to write the frame, so the figure slightly
// overstates the program's share.
//
// A plain program rather than a benchmark loop: the measurements are a
// latency distribution and a CPU ratio over a fixed streaming window.
//
//   bench_devicelink [--shots N] [--seconds S]
#include "CPort.h"
#include "ForkedUnits.h"
#include "Device.h"
#include "Globals.h"
#include "Shotdata.h"
#include "TSimUnit.h"
#include "TestTargets.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono;

namespace {

constexpr int UnitCount = 8;
constexpr int FirstComNumber = 41;

// ---- The program side ----

// Called on the port's event thread under the device lock, right after the
// shot went into the shooter's list.
class TStampListener : public IDeviceEventListener {
public:
    explicit TStampListener(TDevice* device) : device_(device) {}
    void OnSamples() override {}
    void OnShot() override
    {
        const int64_t now = NowNs();
        TShooter* shooter = device_->Shooter();
        shotsInList.store(shooter ? shooter->ShotCount() : -1);
        stampNs.store(now);
        calls.fetch_add(1);
    }
    std::atomic<int64_t> stampNs {0};
    std::atomic<int> shotsInList {0};
    std::atomic<int> calls {0};

private:
    TDevice* device_;
};

// Raw positions on the ten-metre ring target and the score byte each earns.
struct Hit {
    int16_t x;
    int16_t y;
    int score;
};
constexpr Hit Hits[] = {{0, 0, 109}, {100, 0, 97}, {700, -300, 16}, {0, -100, 97}, {800, 0, 11}, {900, 0, 0}};
constexpr int HitCount = int(sizeof Hits / sizeof Hits[0]);

bool WaitFor(const std::function<bool()>& done, milliseconds timeout)
{
    const auto end = steady_clock::now() + timeout;
    while (!done()) {
        if (steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(microseconds(200));
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int shotTotal = ArgValue(argc, argv, "--shots", 400);
    const int cpuSeconds = ArgValue(argc, argv, "--seconds", 10);

    // Forked before this process has any thread of its own.
    TForkedUnits sim;
    if (!sim.Start(UnitCount)) {
        std::fprintf(stderr, "could not start the simulated units\n");
        return 1;
    }

    TSession session;
    CurrentSession = &session;
    SetComPortResolver([&sim](int number) {
        const int i = number - FirstComNumber;
        return i >= 0 && i < UnitCount ? sim.Paths()[std::size_t(i)] : std::string();
    });

    std::vector<std::unique_ptr<TDevice>> devices;
    std::vector<std::unique_ptr<TStampListener>> listeners;
    for (int i = 0; i < UnitCount; ++i) {
        auto device = std::make_unique<TDevice>();
        auto listener = std::make_unique<TStampListener>(device.get());
        if (!device->OpenPort(FirstComNumber + i, true)) {
            std::fprintf(stderr, "COM%d: could not open %s\n", FirstComNumber + i, sim.Paths()[std::size_t(i)].c_str());
            return 1;
        }
        device->SetShooterTarget(GoldenRing());
        device->SetCurrentTarget(GoldenRing());
        device->SetListener(listener.get());
        device->SetLiveStarted(true);
        devices.push_back(std::move(device));
        listeners.push_back(std::move(listener));
    }
    // The unit writes nothing until the port is raw; give it a moment to see that.
    std::this_thread::sleep_for(milliseconds(100));
    for (auto& device : devices)
        device->StartMeasuring(1);
    for (int i = 0; i < UnitCount; ++i) {
        TDevice* device = devices[std::size_t(i)].get();
        if (!WaitFor([device] { return device->SampleCount() >= 30; }, seconds(5))) {
            std::fprintf(stderr, "COM%d: samples do not stream\n", FirstComNumber + i);
            return 1;
        }
    }

    // ---- Shot latency ----
    std::mt19937 rng(20240611u);
    std::uniform_int_distribution<int> gapUs(2000, 25000); // spreads shots over the sample period
    std::vector<double> latenciesMs;
    std::vector<std::vector<int>> expected(UnitCount);
    int lost = 0;
    int notInList = 0;
    const int warmUp = UnitCount;
    for (int k = 0; k < warmUp + shotTotal; ++k) {
        const int u = k % UnitCount;
        const Hit& hit = Hits[(k / UnitCount + u) % HitCount];
        TStampListener& listener = *listeners[std::size_t(u)];
        const int callsBefore = listener.calls.load();
        const int64_t sent = sim.Fire(u, hit.x, hit.y);
        expected[std::size_t(u)].push_back(hit.score);
        if (sent < 0) {
            std::fprintf(stderr, "the simulator went away\n");
            return 1;
        }
        if (!WaitFor([&] { return listener.calls.load() > callsBefore; }, seconds(1))) {
            ++lost;
            continue;
        }
        if (listener.shotsInList.load() != int(expected[std::size_t(u)].size()))
            ++notInList;
        if (k >= warmUp)
            latenciesMs.push_back(double(listener.stampNs.load() - sent) / 1e6);
        std::this_thread::sleep_for(microseconds(gapUs(rng)));
    }

    // Every shot scored as the target says.
    int misScored = 0;
    for (int u = 0; u < UnitCount; ++u) {
        TShooter* shooter = devices[std::size_t(u)]->Shooter();
        std::vector<int> got;
        shooter->ForEachShot([&](const TShot& shot) { got.push_back(shot.raw.Score()); });
        std::vector<int> want = expected[std::size_t(u)];
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        if (got != want)
            ++misScored;
    }

    // ---- CPU while streaming ----
    std::this_thread::sleep_for(milliseconds(500));
    int64_t samplesBefore = 0;
    for (auto& device : devices)
        samplesBefore += device->SampleCount();
    const int64_t sentBefore = sim.SamplesSent();
    const double cpuBefore = CpuSeconds();
    const auto wallBefore = steady_clock::now();
    std::this_thread::sleep_for(seconds(cpuSeconds));
    const double cpuAfter = CpuSeconds();
    const double wall = duration<double>(steady_clock::now() - wallBefore).count();
    const int64_t sentAfter = sim.SamplesSent();
    int64_t samplesAfter = 0;
    for (auto& device : devices)
        samplesAfter += device->SampleCount();

    for (auto& device : devices) {
        device->SetListener(nullptr);
        device->SendStop();
    }
    devices.clear();
    const double simCpu = sim.Stop();
    SetComPortResolver(nullptr);
    CurrentSession = nullptr;

    const double p50 = Percentile(latenciesMs, 50);
    const double p99 = Percentile(latenciesMs, 99);
    const double maxMs = latenciesMs.empty() ? 0 : *std::max_element(latenciesMs.begin(), latenciesMs.end());
    const double cpuPercent = (cpuAfter - cpuBefore) / wall * 100.0;

    std::printf("units                    %d streaming at 66 Hz\n", UnitCount);
    std::printf("shots measured           %zu (after %d warm-up), lost %d, not yet listed %d, shooters mis-scored %d\n",
                latenciesMs.size(), warmUp, lost, notInList, misScored);
    std::printf("shot latency p50         %.3f ms\n", p50);
    std::printf("shot latency p99         %.3f ms   (goal < 5 ms: %s)\n", p99, p99 < 5.0 ? "met" : "MISSED");
    std::printf("shot latency max         %.3f ms\n", maxMs);
    std::printf("streaming window         %.2f s, samples sent %lld, received %lld (%.0f/s)\n", wall,
                static_cast<long long>(sentAfter - sentBefore), static_cast<long long>(samplesAfter - samplesBefore),
                double(samplesAfter - samplesBefore) / wall);
    std::printf("program CPU              %.2f %% of one core   (goal < 5 %%: %s)\n", cpuPercent,
                cpuPercent < 5.0 ? "met" : "MISSED");
    std::printf("simulator CPU (whole run) %.2f s, not counted above\n", simCpu);
    return lost == 0 && notInList == 0 && misScored == 0 ? 0 : 1;
}
