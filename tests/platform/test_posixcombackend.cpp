// The POSIX serial backend driven through a pseudo-terminal pair.
#include "PosixComBackend.h"
#include "PtyPair.h"
#include "TestWait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <future>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

using namespace ComBackend;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// The system calls a thread can sleep in: the backend's event wait, or the
// poll of a blocked read.
#ifdef SYS_epoll_wait
const std::vector<long> EventWait {SYS_epoll_wait, SYS_epoll_pwait};
#else
const std::vector<long> EventWait {SYS_epoll_pwait};
#endif
#ifdef SYS_poll
const std::vector<long> PollWait {SYS_poll, SYS_ppoll};
#else
const std::vector<long> PollWait {SYS_ppoll};
#endif

// True once the thread sleeps in one of the calls (the kernel shows the call
// and its arguments while a thread sleeps in it); timeoutArg gets the fourth
// argument, an event wait's time limit (-1: none).
bool SleepsIn(pid_t tid, const std::vector<long>& calls, int* timeoutArg = nullptr)
{
    const std::string file = "/proc/self/task/" + std::to_string(tid) + "/syscall";
    return WaitUntil([&] {
        std::ifstream in(file);
        std::string number, a1, a2, a3, a4;
        if (!(in >> number >> a1 >> a2 >> a3 >> a4) || number == "running")
            return false;
        if (std::find(calls.begin(), calls.end(), std::stol(number)) == calls.end())
            return false;
        if (timeoutArg)
            *timeoutArg = int(uint32_t(std::stoull(a4, nullptr, 16)));
        return true;
    });
}

// Runs call on a thread of its own; tid gets that thread's id.
template <class F>
auto Spawn(F call, pid_t& tid)
{
    std::promise<pid_t> started;
    auto id = started.get_future();
    auto result = std::async(std::launch::async, [call, started = std::move(started)]() mutable {
        started.set_value(gettid());
        return call();
    });
    tid = id.get();
    return result;
}

class PosixComPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Ok());
        ASSERT_EQ(port.Open(pty.SlavePath()), 0);
    }

    int SetReadTimeouts(uint32_t interval, uint32_t multiplier, uint32_t constant)
    {
        return port.SetTimeouts(Timeouts { interval, multiplier, constant });
    }

    std::string ReadPort(std::size_t count, int& rc)
    {
        std::string buf(count, '\0');
        std::size_t done = 0;
        rc = port.Read(buf.data(), count, done);
        buf.resize(done);
        return buf;
    }

    // Writes the parts at the master, each after a pause.
    std::future<void> WriteLater(std::initializer_list<const char*> parts, std::chrono::milliseconds pause = 40ms)
    {
        return std::async(std::launch::async, [this, list = std::vector<const char*>(parts), pause] {
            for (const char* part : list) {
                std::this_thread::sleep_for(pause);
                pty.Write(part);
            }
        });
    }

    // A wait started on another thread, returned once it sleeps in the system.
    std::future<WaitResult> BlockedWait(int stopFd = -1, int* timeoutArg = nullptr)
    {
        pid_t tid = 0;
        auto waiter = Spawn([this, stopFd] { return port.WaitEvent(stopFd, -1); }, tid);
        EXPECT_TRUE(SleepsIn(tid, EventWait, timeoutArg)) << "the waiter never blocked";
        return waiter;
    }

    uint32_t InputWaiting()
    {
        Status st;
        return port.GetStatus(st) == 0 ? st.inQueue : 0;
    }

    // The outcome of a waiter that must return within a second.
    static WaitOutcome Released(std::future<WaitResult>& waiter)
    {
        if (waiter.wait_for(1s) != std::future_status::ready) {
            ADD_FAILURE() << "waiter still blocked";
            return WaitOutcome::Failed;
        }
        return waiter.get().outcome;
    }

    TPtyPair pty;
    TPosixComPort port;
};

} // namespace

TEST_F(PosixComPort, OpenIsExclusiveAndReopenable)
{
    EXPECT_TRUE(port.IsOpen());
    TPosixComPort second;
    EXPECT_EQ(second.Open(pty.SlavePath()), EBUSY);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(port.Open(pty.SlavePath()), EBUSY); // already open

    port.Close();
    port.Close(); // twice is harmless
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(second.Open(pty.SlavePath()), 0);
    second.Close();
    EXPECT_EQ(port.Open(pty.SlavePath()), 0);

    TPosixComPort other;
    EXPECT_EQ(other.Open("/nonexistent/ttyUSB9"), ENOENT);
    EXPECT_EQ(other.Open("/dev/null"), ENOTTY); // not a terminal

    // Calls on a closed port fail cleanly.
    std::size_t done = 1;
    char c;
    EXPECT_EQ(other.Read(&c, 1, done), EBADF);
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(other.Write("x", 1, done), EBADF);
    EXPECT_EQ(other.WaitEvent(-1, 0).outcome, WaitOutcome::Failed);
    EXPECT_EQ(other.WaitEvent(-1, 0).error, EBADF);
}

TEST_F(PosixComPort, RawModeFromOpenOn)
{
    // No line settings applied yet: a CR stays a CR, nothing is echoed.
    ASSERT_EQ(SetReadTimeouts(0, 0, 500), 0);
    ASSERT_TRUE(pty.Write("a\rb\n\x03\x1a"));
    int rc;
    EXPECT_EQ(ReadPort(6, rc), std::string("a\rb\n\x03\x1a"));
    EXPECT_EQ(rc, 0);
    // An echo would have been queued before the bytes could be read, so it
    // would reach the master ahead of what the port writes next; no CR added.
    std::size_t done = 0;
    ASSERT_EQ(port.Write("x\ny", 3, done), 0);
    EXPECT_EQ(done, 3u);
    EXPECT_EQ(pty.Read(1000, 3), "x\ny");

    LineSettings s;
    s.baudRate = 115200;
    s.xonXoffIn = true;
    ASSERT_EQ(port.SetLineSettings(s), 0);
    ASSERT_TRUE(pty.Write("\r\r"));
    EXPECT_EQ(ReadPort(2, rc), "\r\r");
    ASSERT_EQ(port.Write("!", 1, done), 0);
    EXPECT_EQ(pty.Read(1000, 1), "!");
}

TEST_F(PosixComPort, ReadTimeoutRules)
{
    int rc;
    // MaxWait,0,0: what is there, at once, even nothing.
    ASSERT_EQ(SetReadTimeouts(Timeouts::MaxWait, 0, 0), 0);
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_TRUE(WaitUntil([&] { return InputWaiting() == 3; }));
    auto t0 = Clock::now();
    EXPECT_EQ(ReadPort(10, rc), "abc");
    EXPECT_EQ(ReadPort(10, rc), "");
    EXPECT_EQ(rc, 0);
    // Bounds in this test stand far from the expected times and far below
    // the wrong ones, so that a busy machine cannot cross them.
    EXPECT_LT(MsSince(t0), 5000);

    // Multiplier x count + constant: a short read after the limit, no error.
    ASSERT_EQ(SetReadTimeouts(0, 20, 50), 0);
    ASSERT_TRUE(pty.Write("xy"));
    t0 = Clock::now();
    EXPECT_EQ(ReadPort(5, rc), "xy");
    EXPECT_EQ(rc, 0);
    EXPECT_GE(MsSince(t0), 140);
    EXPECT_LT(MsSince(t0), 5000);

    // Interval: ends an interval after the last byte, well before the total.
    // The interval is long beside the 25 ms gap: a busy machine may stretch
    // the gap many times over.
    ASSERT_EQ(SetReadTimeouts(1000, 0, 20000), 0);
    auto writer = WriteLater({"12", "34"}, 25ms);
    t0 = Clock::now();
    EXPECT_EQ(ReadPort(10, rc), "1234");
    writer.get();
    EXPECT_GE(MsSince(t0), 1000);
    EXPECT_LT(MsSince(t0), 15000);
    // The interval does not run before the first byte.
    t0 = Clock::now();
    ASSERT_EQ(SetReadTimeouts(30, 0, 200), 0);
    EXPECT_EQ(ReadPort(4, rc), "");
    EXPECT_GE(MsSince(t0), 190);

    // 0,0,0: waits for the whole count; MaxWait,MaxWait,c: the first bytes that come within c.
    ASSERT_EQ(SetReadTimeouts(0, 0, 0), 0);
    writer = WriteLater({"ab", "cd", "ef"});
    EXPECT_EQ(ReadPort(6, rc), "abcdef");
    ASSERT_EQ(SetReadTimeouts(Timeouts::MaxWait, Timeouts::MaxWait, 20000), 0);
    writer = WriteLater({"q"});
    t0 = Clock::now();
    EXPECT_EQ(ReadPort(8, rc), "q");
    EXPECT_LT(MsSince(t0), 10000);
}

TEST_F(PosixComPort, AbortAndCloseReleaseBlockedCalls)
{
    ASSERT_EQ(SetReadTimeouts(0, 0, 0), 0);
    // An abort before the read starts does not cancel it: the reader takes
    // what is there and sleeps for the rest.
    ASSERT_TRUE(pty.Write("ab"));
    ASSERT_TRUE(WaitUntil([&] { return InputWaiting() == 2; }));
    ASSERT_EQ(port.AbortPending(), 0);
    pid_t tid = 0;
    auto reader = Spawn([this] {
        int rc;
        return std::make_pair(ReadPort(4, rc), rc);
    }, tid);
    ASSERT_TRUE(SleepsIn(tid, PollWait));
    ASSERT_EQ(reader.wait_for(0ms), std::future_status::timeout);
    ASSERT_EQ(port.AbortPending(), 0);
    ASSERT_EQ(reader.wait_for(1s), std::future_status::ready);
    auto [got, rc] = reader.get();
    EXPECT_EQ(rc, ECANCELED);
    EXPECT_EQ(got, "ab"); // what arrived is not lost

    // Close while a read and a wait are blocked: both return, then the
    // descriptor goes.
    ASSERT_EQ(port.SetEventMask(EvRxChar), 0);
    auto blockedRead = Spawn([this] { int r; ReadPort(4, r); return r; }, tid);
    ASSERT_TRUE(SleepsIn(tid, PollWait));
    auto blockedWait = BlockedWait();
    port.Close();
    ASSERT_EQ(blockedRead.wait_for(1s), std::future_status::ready);
    EXPECT_EQ(blockedRead.get(), ECANCELED);
    EXPECT_EQ(Released(blockedWait), WaitOutcome::Stopped);

    // Reopened, nothing of the abort is left over.
    ASSERT_EQ(port.Open(pty.SlavePath()), 0);
    ASSERT_EQ(SetReadTimeouts(0, 0, 300), 0);
    ASSERT_TRUE(pty.Write("z"));
    EXPECT_EQ(ReadPort(1, rc), "z");
    EXPECT_EQ(rc, 0);
}

TEST_F(PosixComPort, WriteAndStatus)
{
    std::string big(20000, 'w');
    std::size_t done = 0;
    Timeouts t;
    t.writeTotalMultiplier = 0;
    t.writeTotalConstant = 100;
    ASSERT_EQ(port.SetTimeouts(t), 0);
    // Nobody reads the master: the pty fills and the write stops short.
    auto t0 = Clock::now();
    EXPECT_EQ(port.Write(big.data(), big.size(), done), 0);
    EXPECT_GT(done, 0u);
    EXPECT_LT(done, big.size());
    EXPECT_GE(MsSince(t0), 90);
    EXPECT_EQ(pty.Read(300).size(), done);

    ASSERT_TRUE(pty.Write("12345"));
    EXPECT_TRUE(WaitUntil([&] { return InputWaiting() == 5; }));
    Status st;
    EXPECT_EQ(port.Purge(true, false), 0);
    ASSERT_EQ(port.GetStatus(st), 0);
    EXPECT_EQ(st.inQueue, 0u);

    // A pty has no modem lines: no error, DTR remembered.
    uint32_t bits = 0xFFFF;
    EXPECT_EQ(port.GetModemStatus(bits), 0);
    EXPECT_EQ(bits, 0u);
    EXPECT_EQ(port.EscapeFunction(Escape::SetDtr), 0);
    EXPECT_TRUE(port.DtrState());

    // XOFF holds our output (a pty takes nothing while held, so the write
    // times out short), XON releases it.
    EXPECT_EQ(port.EscapeFunction(Escape::SetXoff), 0);
    ASSERT_EQ(port.Write("held", 4, done), 0);
    EXPECT_LT(done, 4u);
    EXPECT_EQ(port.EscapeFunction(Escape::SetXon), 0);
    ASSERT_EQ(port.Write("go", 2, done), 0);
    EXPECT_EQ(done, 2u);
    EXPECT_EQ(pty.Read(200, 2), "go");
}

TEST_F(PosixComPort, RxCharOncePerArrival)
{
    ASSERT_EQ(port.SetEventMask(EvRxChar | EvCts | EvDsr | EvRlsd | EvRing | EvErr | EvBreak), 0);
    EXPECT_EQ(port.WaitEvent(-1, 50).outcome, WaitOutcome::Timeout);

    ASSERT_TRUE(pty.Write("abc"));
    WaitResult r = port.WaitEvent(-1, 1000);
    EXPECT_EQ(std::tuple(r.outcome, r.occurred), std::tuple(WaitOutcome::Events, uint32_t(EvRxChar)));
    // Nothing read: no repeated event until new bytes come.
    EXPECT_EQ(port.WaitEvent(-1, 100).outcome, WaitOutcome::Timeout);
    ASSERT_TRUE(pty.Write("d"));
    EXPECT_EQ(port.WaitEvent(-1, 1000).occurred, uint32_t(EvRxChar));

    // Bytes outside the mask wake nobody (they are there before the wait).
    ASSERT_EQ(port.SetEventMask(EvCts), 0);
    ASSERT_TRUE(pty.Write("e"));
    ASSERT_TRUE(WaitUntil([&] { return InputWaiting() == 5; }));
    EXPECT_EQ(port.WaitEvent(-1, 100).outcome, WaitOutcome::Timeout);

    // TxEmpty after a write; Rx80Full once the queue passes 80 % of the input size.
    ASSERT_EQ(port.SetEventMask(EvTxEmpty), 0);
    std::size_t done;
    ASSERT_EQ(port.Write("t", 1, done), 0);
    EXPECT_EQ(port.WaitEvent(-1, 1000).occurred, uint32_t(EvTxEmpty));
    EXPECT_EQ(port.WaitEvent(-1, 50).outcome, WaitOutcome::Timeout);

    ASSERT_EQ(port.SetBufferSizes(10, 10), 0);
    ASSERT_EQ(port.SetEventMask(EvRxChar | EvRx80Full), 0);
    ASSERT_TRUE(pty.Write("fgh")); // 8 waiting now
    EXPECT_EQ(port.WaitEvent(-1, 1000).occurred, uint32_t(EvRxChar | EvRx80Full));
    ASSERT_TRUE(pty.Write("i"));
    EXPECT_EQ(port.WaitEvent(-1, 1000).occurred, uint32_t(EvRxChar)); // still above the mark: once only
}

TEST_F(PosixComPort, WakeAndStopDescriptor)
{
    ASSERT_EQ(port.SetEventMask(EvRxChar), 0);
    // A wake before the wait is kept for it, once.
    port.WakeWaiter();
    EXPECT_EQ(port.WaitEvent(-1, 1000).outcome, WaitOutcome::Stopped);
    EXPECT_EQ(port.WaitEvent(-1, 50).outcome, WaitOutcome::Timeout);

    auto waiter = BlockedWait();
    port.WakeWaiter();
    EXPECT_EQ(Released(waiter), WaitOutcome::Stopped);

    int stop = eventfd(0, EFD_CLOEXEC);
    ASSERT_GE(stop, 0);
    EXPECT_EQ(port.WaitEvent(stop, 50).outcome, WaitOutcome::Timeout);
    waiter = BlockedWait(stop);
    uint64_t one = 1;
    ASSERT_EQ(write(stop, &one, sizeof one), ssize_t(sizeof one));
    EXPECT_EQ(Released(waiter), WaitOutcome::Stopped);
    close(stop);
    // The closed stop descriptor no longer counts.
    EXPECT_EQ(port.WaitEvent(-1, 50).outcome, WaitOutcome::Timeout);

    // Mask 0 releases a waiter.
    waiter = BlockedWait();
    ASSERT_EQ(port.SetEventMask(0), 0);
    EXPECT_EQ(Released(waiter), WaitOutcome::Stopped);
}

TEST_F(PosixComPort, HangupWhenMasterCloses)
{
    ASSERT_EQ(port.SetEventMask(EvRxChar | EvCts | EvErr), 0);
    auto waiter = BlockedWait();
    pty.CloseMaster();
    EXPECT_EQ(Released(waiter), WaitOutcome::Hangup);

    // Asked again, it answers Hangup (not a time-out); a caller that
    // (wrongly) loops on it would spin, so it must not turn into Events.
    EXPECT_EQ(port.WaitEvent(-1, 1000).outcome, WaitOutcome::Hangup);

    std::size_t done;
    EXPECT_NE(port.Write("x", 1, done), 0); // the device is gone
}

TEST_F(PosixComPort, IdleWaitSleepsWithoutATimeLimit)
{
    // Nothing to poll for: the waiter sleeps until woken, costing no CPU.
    ASSERT_EQ(port.SetEventMask(EvRxChar | EvTxEmpty | EvRx80Full), 0);
    int timeout = 0;
    auto waiter = BlockedWait(-1, &timeout);
    EXPECT_EQ(timeout, -1);
    port.WakeWaiter();
    EXPECT_EQ(Released(waiter), WaitOutcome::Stopped);
}
