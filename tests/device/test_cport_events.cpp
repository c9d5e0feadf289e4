#include "CPort.h"
#include "FakeComBackend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <deque>

using namespace ComBackend;

namespace {

struct Rig {
    std::shared_ptr<FakeComState> fake = std::make_shared<FakeComState>();
    std::unique_ptr<TComPort> port = std::make_unique<TComPort>(FakeComFactory(fake));

    explicit Rig(TSyncMethod sync = smNone)
    {
        port->SetPort("/dev/ttyFAKE1");
        port->SetSyncMethod(sync);
    }
    // True once the event thread waits again with nothing scripted.
    bool Idle()
    {
        return FakeComState::WaitFor([&] {
            std::lock_guard<std::mutex> lock(fake->mutex);
            return fake->waiting > 0;
        });
    }
};

// What handlers on the event thread saw, safe to read from the test.
struct Recorder {
    std::mutex m;
    std::vector<std::string> items;
    void Add(std::string s)
    {
        std::lock_guard<std::mutex> lock(m);
        items.push_back(std::move(s));
    }
    std::vector<std::string> Items()
    {
        std::lock_guard<std::mutex> lock(m);
        return items;
    }
    std::string Joined()
    {
        std::string all;
        for (const std::string& s : Items())
            all += s;
        return all;
    }
    auto Bytes()
    {
        return [this](TCustomComPort&, const void* b, int n) { Add(std::string(static_cast<const char*>(b), std::size_t(n))); };
    }
    auto Line(std::string what)
    {
        return [this, what](TCustomComPort&, bool on) { Add(what + (on ? "1" : "0")); };
    }
};

// A stand-in GUI thread: runs queued calls in order until told to end.
class GuiThread {
public:
    GuiThread() : FThread([this] { Run(); }) {}
    ~GuiThread()
    {
        Locked([&] { FEnd = true; });
        FThread.join();
    }
    void Post(std::function<void()> call) { Locked([&] { FQueue.push_back(std::move(call)); }); }
    void Hold(bool hold) { Locked([&] { FHold = hold; }); }
    std::thread::id Id() const { return FThread.get_id(); }

private:
    template <class F>
    void Locked(F change)
    {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            change();
        }
        FChanged.notify_all();
    }
    void Run()
    {
        std::unique_lock<std::mutex> lock(FMutex);
        for (;;) {
            FChanged.wait(lock, [&] { return FEnd || (!FHold && !FQueue.empty()); });
            if (FEnd && (FHold || FQueue.empty()))
                return;
            auto call = std::move(FQueue.front());
            FQueue.pop_front();
            lock.unlock();
            call();
            lock.lock();
        }
    }

    std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<std::function<void()>> FQueue;
    bool FEnd = false;
    bool FHold = false;
    std::thread FThread;
};

} // namespace

TEST(CPortEvents, EventsAreDeliveredInTheFixedOrder)
{
    Rig r;
    Recorder order;
    auto note = [&](std::string what) { order.Add(std::move(what)); };
    r.port->OnError = [&](TCustomComPort&, TComErrors e) { note("Error " + ComErrorsToStr(e)); };
    r.port->OnRxChar = [&](TCustomComPort& p, int n) {
        note("RxChar " + std::to_string(n));
        char buf[8];
        p.Read(buf, n);
    };
    r.port->OnTxEmpty = [&](TCustomComPort&) { note("TxEmpty"); };
    r.port->OnBreak = [&](TCustomComPort&) { note("Break"); };
    r.port->OnRing = [&](TCustomComPort&) { note("Ring"); };
    r.port->OnRxFlag = [&](TCustomComPort&) { note("RxFlag"); };
    r.port->OnRx80Full = [&](TCustomComPort&) { note("Rx80Full"); };
    r.port->Open();
    r.port->OnCTSChange = order.Line("CTS ");
    r.port->OnDSRChange = order.Line("DSR ");
    r.port->OnRLSDChange = order.Line("RLSD ");
    ASSERT_TRUE(r.Idle());
    {
        std::lock_guard<std::mutex> lock(r.fake->mutex);
        r.fake->errorBits = CeFrame;
        r.fake->modemBits = MsDsrOn;
    }
    r.fake->AddInput("abc");
    r.fake->PushEvents(0x05FF);
    ASSERT_TRUE(FakeComState::WaitFor([&] { return order.Items().size() == 10; }));
    r.port->OnCTSChange = r.port->OnDSRChange = r.port->OnRLSDChange = {};
    r.port->Close();
    EXPECT_EQ(order.Items(), (std::vector<std::string>{"Error <ComError:Frame>", "RxChar 3", "TxEmpty", "Break", "Ring",
                                                "CTS 0", "DSR 1", "RxFlag", "RLSD 0", "Rx80Full"}));
}

TEST(CPortEvents, ReceivedCharactersTakeTheirPath)
{
    // No links: OnRxChar with the count waiting; nothing waiting, no call.
    {
        Rig r;
        std::atomic<int> calls{0}, last{0};
        r.port->OnRxChar = [&](TCustomComPort& p, int n) {
            std::string s;
            p.ReadStr(s, last = n);
            ++calls;
        };
        r.port->Open();
        r.fake->PushEvents(EvRxChar);
        r.fake->AddInput("12345");
        r.fake->PushEvents(EvRxChar);
        ASSERT_TRUE(FakeComState::WaitFor([&] { return calls == 1; }));
        ASSERT_TRUE(r.Idle());
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(last, 5);
        r.port->Close();
    }
    // A link with OnRxBuf: it gets the bytes, the port's OnRxBuf too, OnRxChar not.
    {
        Rig r;
        TComLink link;
        Recorder linkGot, portGot, rx;
        link.OnRxBuf = linkGot.Bytes();
        link.OnRx = rx.Line("rx ");
        r.port->OnRxBuf = portGot.Bytes();
        std::atomic<int> rxChar{0};
        r.port->OnRxChar = [&](TCustomComPort&, int) { ++rxChar; };
        r.port->RegisterLink(&link);
        r.port->Open();
        r.fake->AddInput("frame");
        r.fake->PushEvents(EvRxChar);
        ASSERT_TRUE(FakeComState::WaitFor([&] { return linkGot.Joined().size() == 5; }));
        r.port->Close();
        EXPECT_EQ(linkGot.Joined(), "frame");
        EXPECT_EQ(portGot.Joined(), "frame");
        EXPECT_EQ(rxChar, 0);
        EXPECT_EQ(rx.Joined(), "rx 1rx 0"); // on at arrival, off once the queue is empty
        r.port->UnRegisterLink(&link);
    }
    // Input count not supported: received-character events are ignored.
    {
        Rig r;
        r.port->SetInputCountNotSupported(true);
        std::atomic<int> rxChar{0};
        r.port->OnRxChar = [&](TCustomComPort&, int) { ++rxChar; };
        r.port->Open();
        r.fake->AddInput("xyz");
        r.fake->PushEvents(EvRxChar);
        ASSERT_TRUE(r.Idle());
        r.port->Close();
        EXPECT_EQ(rxChar, 0);
        EXPECT_EQ(r.fake->Count("GetStatus"), 0);
    }
}

TEST(CPortEvents, TheLoopEndsOnHangupAndFailureAndRetriesOnInterrupt)
{
    Rig r;
    std::atomic<int> rings{0};
    r.port->OnRing = [&](TCustomComPort&) { ++rings; };
    r.port->Open();
    r.fake->PushWait({WaitOutcome::Failed, 0, EINTR});
    r.fake->PushEvents(EvRing);
    ASSERT_TRUE(FakeComState::WaitFor([&] { return rings == 1; }));

    // Unplugged: the loop ends without dispatching and without waiting again.
    r.fake->PushWait({WaitOutcome::Hangup, 0, 0}, [&] { r.fake->PushEvents(EvRing); });
    ASSERT_TRUE(FakeComState::WaitFor([&] { return r.fake->Count("Purge") == 1; }));
    const int waits = r.fake->Count("WaitEvent");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(r.fake->Count("WaitEvent"), waits);
    EXPECT_EQ(rings, 1);
    EXPECT_TRUE(r.port->Connected());
    EXPECT_NO_THROW(r.port->Close());
    EXPECT_FALSE(r.port->Connected());

    // Any other failed wait ends it too.
    r.port->Open();
    r.fake->PushWait({WaitOutcome::Failed, 0, EBADF});
    ASSERT_TRUE(FakeComState::WaitFor([&] { return r.fake->Count("Purge") == 2; }));
    EXPECT_NO_THROW(r.port->Close());
}

TEST(CPortEvents, AHandlerThatRaisesEndsTheEventsNotTheProgram)
{
    Recorder logged;
    SetDebugLogSink([&](const QString& line) { logged.Add(line.toStdString()); });
    Rig r;
    std::atomic<int> calls{0};
    r.port->OnRing = [&](TCustomComPort&) {
        ++calls;
        throw EComPort(3, EIO, "/dev/ttyFAKE1");
    };
    r.port->Open();
    r.fake->PushEvents(EvRing);
    r.fake->PushEvents(EvRing);
    ASSERT_TRUE(FakeComState::WaitFor([&] { return r.fake->Count("Purge") == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(r.port->Connected());
    EXPECT_NO_THROW(r.port->Close());
    SetDebugLogSink({});
    ASSERT_EQ(logged.Items().size(), 1u);
    EXPECT_NE(logged.Items()[0].find("ReadFile function failed"), std::string::npos);
}

TEST(CPortEvents, CloseFromAHandlerDoesNotWaitForItself)
{
    Rig r;
    std::atomic<int> calls{0};
    r.port->OnRxChar = [&](TCustomComPort& p, int) {
        ++calls;
        p.Close();
    };
    r.port->OnRing = [&](TCustomComPort&) { ADD_FAILURE() << "dispatched after close"; };
    r.port->Open();
    r.fake->AddInput("a");
    r.fake->PushEvents(EvRxChar | EvRing);
    ASSERT_TRUE(FakeComState::WaitFor([&] { return !r.port->Connected(); }));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(r.fake->Count("Close"), 1);
    EXPECT_EQ(r.fake->Count("Purge"), 1); // cleaned up once, by Close

    // Destroying the port from its own handler is survivable too.
    Rig d;
    std::atomic<bool> done{false};
    d.port->OnRing = [&](TCustomComPort&) {
        // This lambda lives in the port: copy what it needs before the port goes.
        std::atomic<bool>* flag = &done;
        d.port.reset();
        *flag = true;
    };
    d.port->Open();
    d.fake->PushEvents(EvRing | EvRlsd);
    ASSERT_TRUE(FakeComState::WaitFor([&] { return done.load(); }));
    EXPECT_TRUE(FakeComState::WaitFor([&] { return !d.fake->open; }));
}

TEST(CPortEvents, LinksFollowThePortWhileTheyComeAndGo)
{
    Rig r;
    std::atomic<int> notified{0};
    TComLink a;
    a.OnRing = [&](TCustomComPort&) { ++notified; };
    a.OnTxEmpty = [&](TCustomComPort&) { ++notified; };
    r.port->RegisterLink(&a);
    r.port->Open();
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        while (!stop) {
            r.fake->PushEvents(EvRing | EvTxEmpty);
            std::this_thread::yield();
        }
    });
    std::vector<std::unique_ptr<TComLink>> links;
    for (int i = 0; i < 64; ++i)
        links.push_back(std::make_unique<TComLink>());
    // Keep registering until the thread has walked the list many times meanwhile.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (notified < 200 && std::chrono::steady_clock::now() < deadline) {
        for (auto& l : links) {
            l->OnRing = [&](TCustomComPort&) { ++notified; };
            r.port->RegisterLink(l.get());
        }
        for (auto& l : links)
            r.port->UnRegisterLink(l.get());
    }
    stop = true;
    feeder.join();
    r.port->Close();
    EXPECT_GE(notified.load(), 200);
    r.port->UnRegisterLink(&a);
}

TEST(CPortEvents, SyncMethodsHandTheCallsToTheGuiThread)
{
    GuiThread gui;
    SetComSyncInvoker([&](std::function<void()> call) { gui.Post(std::move(call)); });
    {
        Rig r(smThreadSync);
        std::atomic<bool> onGui{false};
        std::atomic<int> rings{0};
        r.port->OnRing = [&](TCustomComPort&) {
            onGui = std::this_thread::get_id() == gui.Id();
            ++rings;
        };
        r.port->Open();
        r.fake->PushEvents(EvRing);
        ASSERT_TRUE(FakeComState::WaitFor([&] { return rings == 1; }));
        EXPECT_TRUE(onGui);

        // The GUI thread is busy (here: held) while the port closes: Close
        // returns, and the queued call runs later without touching the port.
        gui.Hold(true);
        r.fake->PushEvents(EvRing);
        ASSERT_TRUE(FakeComState::WaitFor([&] { return r.fake->Count("WaitEvent") >= 2 && r.fake->waiting == 0; }));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        r.port->Close();
        EXPECT_FALSE(r.port->Connected());
        gui.Hold(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(rings, 1);
    }
    {
        // Close from a handler running on the GUI thread.
        Rig r(smWindowSync);
        std::atomic<bool> closed{false};
        r.port->OnRing = [&](TCustomComPort& p) {
            p.Close();
            closed = true;
        };
        r.port->OnRLSDChange = {};
        r.port->Open();
        r.fake->PushEvents(EvRing | EvTxEmpty);
        ASSERT_TRUE(FakeComState::WaitFor([&] { return closed.load(); }));
        EXPECT_FALSE(r.port->Connected());
        EXPECT_EQ(r.fake->Count("Close"), 1);
    }
    SetComSyncInvoker({});
}

TEST(CPortEvents, CloseEndsAReceiveLoopThatNeverRunsDry)
{
    Rig r;
    std::atomic<bool> inLoop{false};
    r.port->OnRxChar = [&](TCustomComPort& p, int count) {
        char buf[4];
        while (count > 0) {
            inLoop = true;
            p.Read(buf, 1);
            r.fake->AddInput("x"); // the sender never pauses
            count = p.InputCount();
        }
    };
    r.port->Open();
    r.fake->AddInput("x");
    r.fake->PushEvents(EvRxChar);
    ASSERT_TRUE(FakeComState::WaitFor([&] { return inLoop.load(); }));
    const auto t0 = std::chrono::steady_clock::now();
    r.port->Close();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
    EXPECT_FALSE(r.port->Connected());
    EXPECT_EQ(r.port->ReadAsyncErrorCount(), 0);
}
