// The serial-port component end to end on a pseudo-terminal: the real
// backend, the event thread and the receive handler.
#include "CPort.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

double CpuSeconds()
{
    rusage ru {};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Set up as the program's serial wrapper does.
void SetupLikeWrapper(TComPort& port, const std::string& path)
{
    port.Buffer().SetInputSize(4096);
    port.SetSyncMethod(smNone);
    port.SetPort(path);
}

// The wrapper's receive handler: read in chunks of at most 256 until nothing waits.
int Drain(TCustomComPort& sender, int count, std::string* into = nullptr)
{
    char buf[256];
    int total = 0;
    while (count > 0) {
        const int n = sender.Read(buf, std::min(count, int(sizeof buf)));
        if (into)
            into->append(buf, std::size_t(n));
        total += n;
        count = sender.InputCount();
    }
    return total;
}

template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = 1000ms)
{
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (pred())
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return pred();
}

} // namespace

TEST(CPortPty, ReceivesOnEventThread)
{
    TPtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TComPort port;
    SetupLikeWrapper(port, pty.SlavePath());

    std::mutex mutex;
    std::string received;
    std::thread::id handlerThread;
    std::atomic<int> calls {0};
    port.OnRxChar = [&](TCustomComPort& sender, int count) {
        std::lock_guard<std::mutex> lock(mutex);
        Drain(sender, count, &received);
        handlerThread = std::this_thread::get_id();
        ++calls;
    };
    port.Open();
    port.SetBaudRate(br115200);

    std::string sent;
    for (int i = 0; i < 50; ++i)
        sent += "frame " + std::to_string(i) + "\r\n";
    ASSERT_TRUE(pty.Write(sent));
    EXPECT_TRUE(WaitFor([&] {
        std::lock_guard<std::mutex> lock(mutex);
        return received.size() >= sent.size();
    }));
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(received, sent); // raw: CR/LF untouched
        EXPECT_NE(handlerThread, std::this_thread::get_id());
    }
    EXPECT_GE(calls.load(), 1);

    // Writing reaches the master unchanged.
    EXPECT_EQ(port.Write("ok\n", 3), 3);
    char back[8] = {};
    pollfd p {pty.Master(), POLLIN, 0};
    ASSERT_GT(poll(&p, 1, 1000), 0);
    EXPECT_EQ(read(pty.Master(), back, sizeof back), 3);
    EXPECT_STREQ(back, "ok\n");
    port.Close();
    EXPECT_FALSE(port.Connected());
}

TEST(CPortPty, HandlerReadingNothingIsNotCalledAgain)
{
    TPtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TComPort port;
    SetupLikeWrapper(port, pty.SlavePath());
    std::atomic<int> calls {0};
    std::atomic<int> lastCount {0};
    port.OnRxChar = [&](TCustomComPort&, int count) {
        lastCount = count;
        ++calls;
    };
    port.Open();
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_TRUE(WaitFor([&] { return calls.load() == 1; })) << "calls " << calls.load();
    EXPECT_EQ(lastCount.load(), 3);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(calls.load(), 1);
    ASSERT_TRUE(pty.Write("d"));
    ASSERT_TRUE(WaitFor([&] { return calls.load() == 2; }));
    EXPECT_EQ(lastCount.load(), 4); // the unread bytes are still there
    EXPECT_EQ(port.InputCount(), 4);
    port.Close();
}

TEST(CPortPty, MasterClosedEndsThreadWithoutSpinning)
{
    TPtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TComPort port;
    SetupLikeWrapper(port, pty.SlavePath());
    port.OnRxChar = [](TCustomComPort& sender, int count) { Drain(sender, count); };
    port.Open();
    pty.CloseMaster();
    std::this_thread::sleep_for(100ms);
    const double cpu0 = CpuSeconds();
    std::this_thread::sleep_for(400ms);
    EXPECT_LT(CpuSeconds() - cpu0, 0.05);
    const auto t0 = Clock::now();
    EXPECT_NO_THROW(port.Close());
    EXPECT_LT(Clock::now() - t0, 500ms);
    EXPECT_FALSE(port.Connected());
}

TEST(CPortPty, CloseWhileStreamingIsPrompt)
{
    TPtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TComPort port;
    SetupLikeWrapper(port, pty.SlavePath());
    std::atomic<long> bytes {0};
    port.OnRxChar = [&](TCustomComPort& sender, int count) { bytes += Drain(sender, count); };
    port.Open();
    std::atomic<bool> stop {false};
    std::thread writer([&] {
        const std::string block(1024, 'x');
        fcntl(pty.Master(), F_SETFL, fcntl(pty.Master(), F_GETFL) | O_NONBLOCK);
        while (!stop) {
            if (write(pty.Master(), block.data(), block.size()) < 0 && errno != EAGAIN)
                break;
        }
    });
    ASSERT_TRUE(WaitFor([&] { return bytes.load() > 100000; }, 3000ms));
    const auto t0 = Clock::now();
    EXPECT_NO_THROW(port.Close());
    const auto took = Clock::now() - t0;
    stop = true;
    writer.join();
    EXPECT_LT(took, 100ms);
    EXPECT_FALSE(port.Connected());
}

TEST(CPortPty, SecondOpenFailsNamingThePort)
{
    TPtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TComPort first;
    SetupLikeWrapper(first, pty.SlavePath());
    first.Open();
    TComPort second;
    SetupLikeWrapper(second, pty.SlavePath());
    try {
        second.Open();
        ADD_FAILURE() << "second open succeeded";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 1);
        EXPECT_NE(std::string(e.what()).find(pty.SlavePath()), std::string::npos) << e.what();
        EXPECT_NE(e.WinCode(), -1);
    }
    EXPECT_FALSE(second.Connected());
    first.Close();
    EXPECT_NO_THROW(second.Open());
    EXPECT_TRUE(second.Connected());
}
