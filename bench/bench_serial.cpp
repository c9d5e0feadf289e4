// The serial backend through a pseudo-terminal: throughput delivered to a
// reader that waits for EvRxChar and reads at most 256 bytes per call (the
// receive path's chunk size), and the CPU an open idle port costs.
#include "CPort.h"
#include "PosixComBackend.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace ComBackend;

namespace {

struct TPty {
    int master = -1;
    std::string slave;
    TPty()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        char name[128];
        if (ptsname_r(master, name, sizeof name) == 0)
            slave = name;
    }
    ~TPty()
    {
        if (master >= 0)
            close(master);
    }
};

double CpuSeconds()
{
    rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void BM_PtyReceiveThroughput(benchmark::State& state)
{
    TPty pty;
    TPosixComPort port;
    if (pty.slave.empty() || port.Open(pty.slave) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    LineSettings line;
    line.baudRate = 115200;
    port.SetLineSettings(line);
    Timeouts to; // MaxWait,0,0: reads return what is there
    port.SetTimeouts(to);
    port.SetBufferSizes(4096, 2048);
    port.SetEventMask(EvRxChar);

    const std::size_t total = std::size_t(state.range(0));
    std::vector<char> block(4096, 'x');
    std::size_t received = 0;
    for (auto _ : state) {
        std::atomic<bool> stop {false};
        std::thread writer([&] {
            std::size_t sent = 0;
            while (sent < total && !stop) {
                ssize_t n = write(pty.master, block.data(), std::min(block.size(), total - sent));
                if (n > 0) {
                    sent += std::size_t(n);
                } else if (n < 0 && errno == EAGAIN) {
                    pollfd p {pty.master, POLLOUT, 0};
                    poll(&p, 1, 100);
                } else if (n < 0 && errno != EINTR) {
                    break;
                }
            }
        });
        std::size_t got = 0;
        uint8_t chunk[256];
        while (got < total) {
            WaitResult r = port.WaitEvent(-1, 2000);
            if (r.outcome != WaitOutcome::Events)
                break;
            // As the receive handler does: read what is waiting, 256 at most
            // per call, until the queue is empty.
            Status st;
            port.GetStatus(st);
            std::size_t count = st.inQueue;
            while (count > 0) {
                std::size_t done = 0;
                port.Read(chunk, std::min<std::size_t>(count, sizeof chunk), done);
                got += done;
                port.GetStatus(st);
                count = st.inQueue;
            }
        }
        stop = true;
        writer.join();
        received += got;
        if (got < total) {
            state.SkipWithError("receive stalled");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(received));
}
BENCHMARK(BM_PtyReceiveThroughput)->Arg(16 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same stream delivered by the component's event thread to OnRxChar
// (smNone, as the program runs it), read 256 bytes at a time.
void BM_ComPortOnRxChar(benchmark::State& state)
{
    TPty pty;
    if (pty.slave.empty()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    TComPort port;
    port.SetBaudRate(br115200);
    port.Buffer().SetInputSize(4096);
    port.SetSyncMethod(smNone);
    port.SetPort(pty.slave);
    std::atomic<std::size_t> got {0};
    port.OnRxChar = [&](TCustomComPort& sender, int count) {
        uint8_t chunk[256];
        while (count > 0) {
            got += std::size_t(sender.Read(chunk, std::min(count, int(sizeof chunk))));
            count = sender.InputCount();
        }
    };
    port.Open();

    const std::size_t total = std::size_t(state.range(0));
    std::vector<char> block(4096, 'x');
    std::size_t received = 0;
    for (auto _ : state) {
        got = 0;
        std::size_t sent = 0;
        while (sent < total) {
            ssize_t n = write(pty.master, block.data(), std::min(block.size(), total - sent));
            if (n > 0)
                sent += std::size_t(n);
            else if (n < 0 && errno != EINTR && errno != EAGAIN)
                break;
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (got < total && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        received += got;
        if (got < total) {
            state.SkipWithError("receive stalled");
            break;
        }
    }
    port.Close();
    state.SetBytesProcessed(int64_t(received));
}
BENCHMARK(BM_ComPortOnRxChar)->Arg(16 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();

// CPU time of the whole process while one open port waits in WaitEvent.
void BM_IdlePortCpu(benchmark::State& state)
{
    TPty pty;
    TPosixComPort port;
    if (pty.slave.empty() || port.Open(pty.slave) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    port.SetEventMask(EvRxChar | EvTxEmpty | EvRx80Full);
    double cpu = 0;
    for (auto _ : state) {
        std::thread waiter([&] { port.WaitEvent(-1, -1); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const double c0 = CpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        cpu += CpuSeconds() - c0;
        port.WakeWaiter();
        waiter.join();
    }
    state.counters["cpu_ms_per_5s"] = benchmark::Counter(cpu * 1000.0 / double(state.iterations()));
}
BENCHMARK(BM_IdlePortCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The same with an open component: its event thread waits for all events.
void BM_IdleComPortCpu(benchmark::State& state)
{
    TPty pty;
    if (pty.slave.empty()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    TComPort port;
    port.SetSyncMethod(smNone);
    port.SetPort(pty.slave);
    port.OnRxChar = [](TCustomComPort&, int) {};
    port.Open();
    double cpu = 0;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const double c0 = CpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        cpu += CpuSeconds() - c0;
    }
    port.Close();
    state.counters["cpu_ms_per_5s"] = benchmark::Counter(cpu * 1000.0 / double(state.iterations()));
}
BENCHMARK(BM_IdleComPortCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
