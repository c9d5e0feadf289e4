// The serial-port component end to end on a pseudo-terminal: the real
// backend, the event thread and the receive handler together. The rest of
// the component is tested on the scripted backend, the backend on its own.
#include "CPort.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

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
bool WaitFor(Pred pred, std::chrono::milliseconds limit = 5000ms)
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
