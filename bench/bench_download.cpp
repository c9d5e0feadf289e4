// Downloading stored shots: four simulated units, each holding 7 banks of 100
// shots (with the given number of trace samples per shot), downloaded at the
// same time, each by its own TDevice, until every download is complete.
//
// Counters: bytes moved over the four lines in both directions, what one
// 115200-baud line (11520 bytes/s) would need for the busiest unit's share,
// and the wall time against it ("line_ratio" below 1: the program is faster
// than the line would let a real unit be).
#include "CPort.h"
#include "Device.h"
#include "DeviceFrames.h"
#include "Shotdata.h"
#include "TSimUnit.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int UnitCount = 4;
constexpr int Banks = 7;
constexpr int ShotsPerBank = 100;
constexpr int FirstComNumber = 61;
constexpr double LineBytesPerSecond = 115200.0 / 10.0;

struct TRig {
    std::unique_ptr<TSession> session = std::make_unique<TSession>();
    std::vector<std::unique_ptr<unitsim::TSimUnit>> units;
    std::vector<std::unique_ptr<TDevice>> devices;

    explicit TRig(int samples)
    {
        CurrentSession = session.get();
        for (int u = 0; u < UnitCount; ++u) {
            units.push_back(std::make_unique<unitsim::TSimUnit>());
            for (int bank = 0; bank < Banks; ++bank) {
                for (int i = 0; i < ShotsPerBank; ++i) {
                    unitsim::SimShot shot;
                    shot.x = int16_t(i * 7 - 300);
                    shot.y = int16_t(bank * 40 - 100);
                    shot.functionMode = 1;
                    shot.ringTarget = 0;
                    units.back()->AddStoredShot(bank, shot, samples);
                }
            }
        }
        SetComPortResolver([this](int n) {
            const int u = n - FirstComNumber;
            return u >= 0 && u < UnitCount ? units[std::size_t(u)]->SlavePath() : std::string();
        });
        for (int u = 0; u < UnitCount; ++u) {
            devices.push_back(std::make_unique<TDevice>());
            devices.back()->OpenPort(FirstComNumber + u, true);
            while (!units[std::size_t(u)]->ListenerReady())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            // The bank counts, as the identification leaves them.
            devices.back()->SendAndWait(BuildRequestInfo(32), ReplyShotBankCounts, 2000);
        }
    }

    ~TRig()
    {
        devices.clear();
        SetComPortResolver({});
        CurrentSession = nullptr;
    }

    uint64_t BytesMoved() const
    {
        uint64_t bytes = 0;
        for (const auto& unit : units) {
            bytes += unit->Stats().bytesWritten;
            for (const auto& frame : unit->Received())
                bytes += frame.bytes.size();
        }
        return bytes;
    }

    bool AllComplete() const
    {
        for (const auto& device : devices)
            if (!device->Async().downloadComplete.load() && !device->Async().abort.load())
                return false;
        return true;
    }
};

void BM_DownloadFourUnits(benchmark::State& state)
{
    TRig rig(int(state.range(0)));
    uint64_t bytes = 0;
    double seconds = 0;
    int received = 0;
    for (auto _ : state) {
        for (auto& unit : rig.units)
            unit->ClearReceived();
        const uint64_t before = rig.BytesMoved();
        const auto start = std::chrono::steady_clock::now();
        for (auto& device : rig.devices)
            device->StartAsyncDownload();
        while (!rig.AllComplete())
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        bytes += rig.BytesMoved() - before;
        received = 0;
        for (auto& device : rig.devices) {
            received += device->DownloadProgress().received;
            device->Shooter()->ClearShots();
        }
    }
    const double perIteration = double(bytes) / double(state.iterations());
    // The lines run side by side: the slowest is one unit's share.
    const double lineSeconds = perIteration / UnitCount / LineBytesPerSecond;
    state.counters["bytes"] = perIteration;
    state.counters["shots"] = received;
    state.counters["line_s"] = lineSeconds;
    state.counters["line_ratio"] = (seconds / double(state.iterations())) / lineSeconds;
}

} // namespace

BENCHMARK(BM_DownloadFourUnits)->Arg(0)->Arg(30)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
