#include "CPort.h"
#include "FakeComBackend.h"
#include "TestWait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

using namespace ComBackend;

namespace {

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

// The calls the sync methods hand to the GUI thread, which the test thread
// plays: they run when the test says so.
struct GuiQueue {
    std::mutex m;
    std::vector<std::function<void()>> calls;

    void Post(std::function<void()> call)
    {
        std::lock_guard<std::mutex> lock(m);
        calls.push_back(std::move(call));
    }
    std::size_t Pending()
    {
        std::lock_guard<std::mutex> lock(m);
        return calls.size();
    }
    // Until no call is left, calls posted meanwhile included.
    void RunAll()
    {
        while (Pending() > 0) {
            std::vector<std::function<void()>> now;
            {
                std::lock_guard<std::mutex> lock(m);
                now.swap(calls);
            }
            for (const auto& call : now)
                call();
        }
    }
};

// Log lines, collected from any thread while installed.
struct LogCapture : Recorder {
    LogCapture() { SetDebugLogSink([this](const QString& line) { Add(line.toStdString()); }); }
    ~LogCapture() { SetDebugLogSink({}); }
};

// What the after-close hook of a ClosingPort saw. Reached through a plain
// pointer, not through the port: if the hook ran on a destroyed port, this
// must still be readable to tell so.
struct HookWatch {
    std::atomic<int> runs{0};
    std::atomic<bool> othersSawOpen{false};
};
HookWatch* Watch = nullptr;

// A port whose after-close hook uses a member its destructor frees.
class ClosingPort : public TComPort {
public:
    using TComPort::TComPort;

protected:
    void DoAfterClose() override
    {
        bool open = false;
        std::thread other([&] { open = Connected(); });
        other.join();
        Watch->othersSawOpen = open;
        FHistory->push_back(1);
        ++Watch->runs;
        TComPort::DoAfterClose();
    }

private:
    std::unique_ptr<std::vector<int>> FHistory = std::make_unique<std::vector<int>>();
};

} // namespace

TEST(CPortEvents, EventsAreDeliveredInTheFixedOrder)
{
    FakePort r;
    Recorder order;
    r.port->OnError = [&](TCustomComPort&, TComErrors e) { order.Add("Error " + ComErrorsToStr(e)); };
    r.port->OnRxChar = [&](TCustomComPort& p, int n) {
        order.Add("RxChar " + std::to_string(n));
        char buf[8];
        p.Read(buf, n);
    };
    const std::pair<TComNotifyEvent TCustomComPort::*, const char*> plain[] = {
        {&TCustomComPort::OnTxEmpty, "TxEmpty"}, {&TCustomComPort::OnBreak, "Break"},
        {&TCustomComPort::OnRing, "Ring"}, {&TCustomComPort::OnRxFlag, "RxFlag"},
        {&TCustomComPort::OnRx80Full, "Rx80Full"}};
    for (const auto& [handler, name] : plain)
        (*r.port).*handler = [&order, name](TCustomComPort&) { order.Add(name); };
    r.port->Open();
    r.port->OnCTSChange = order.Line("CTS ");
    r.port->OnDSRChange = order.Line("DSR ");
    r.port->OnRLSDChange = order.Line("RLSD ");
    {
        std::lock_guard<std::mutex> lock(r.fake->mutex);
        r.fake->errorBits = CeFrame;
        r.fake->modemBits = MsDsrOn;
    }
    r.fake->AddInput("abc");
    ASSERT_TRUE(r.Deliver(0x05FF));
    r.port->OnCTSChange = r.port->OnDSRChange = r.port->OnRLSDChange = {};
    r.port->Close();
    EXPECT_EQ(order.Items(), (std::vector<std::string>{"Error <ComError:Frame>", "RxChar 3", "TxEmpty", "Break", "Ring",
                                                       "CTS 0", "DSR 1", "RxFlag", "RLSD 0", "Rx80Full"}));
}

// The plain OnRxChar path is the device tests' receive path.
TEST(CPortEvents, ReceivedCharactersTakeTheirPath)
{
    // A link with OnRxBuf: it gets the bytes, the port's OnRxBuf too, OnRxChar not.
    {
        FakePort r;
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
        ASSERT_TRUE(WaitUntil([&] { return linkGot.Joined().size() == 5; }));
        r.port->Close();
        EXPECT_EQ(std::tuple(linkGot.Joined(), portGot.Joined(), rxChar.load()), std::tuple("frame", "frame", 0));
        EXPECT_EQ(rx.Joined(), "rx 1rx 0"); // on at arrival, off once the queue is empty
        r.port->UnRegisterLink(&link);
    }
    // A link that only follows the receive state (a signal LED): on at
    // arrival, off once the port's own handler read the queue empty.
    {
        FakePort r;
        TComLink link;
        Recorder rx;
        link.OnRx = rx.Line("rx ");
        std::atomic<int> got{0};
        r.port->OnRxChar = [&](TCustomComPort& port, int count) {
            char bytes[16];
            got += port.Read(bytes, std::min(count, 16));
        };
        r.port->RegisterLink(&link);
        r.port->Open();
        r.fake->AddInput("frame");
        r.fake->PushEvents(EvRxChar);
        ASSERT_TRUE(WaitUntil([&] { return got == 5; }));
        EXPECT_TRUE(WaitUntil([&] { return rx.Joined() == "rx 1rx 0"; })) << rx.Joined();
        r.port->Close();
        r.port->UnRegisterLink(&link);
    }
    // Input count not supported: received-character events are ignored.
    {
        FakePort r;
        r.port->SetInputCountNotSupported(true);
        std::atomic<int> rxChar{0};
        r.port->OnRxChar = [&](TCustomComPort&, int) { ++rxChar; };
        r.port->Open();
        r.fake->AddInput("xyz");
        ASSERT_TRUE(r.Deliver(EvRxChar));
        r.port->Close();
        EXPECT_EQ(std::tuple(rxChar.load(), r.fake->Count("GetStatus")), std::tuple(0, 0));
    }
}

TEST(CPortEvents, TheLoopEndsOnHangupAndFailureAndRetriesOnInterrupt)
{
    FakePort r;
    std::atomic<int> rings{0};
    r.port->OnRing = [&](TCustomComPort&) { ++rings; };
    r.port->Open();
    r.fake->PushWait({WaitOutcome::Failed, 0, EINTR});
    r.fake->PushEvents(EvRing);
    ASSERT_TRUE(WaitUntil([&] { return rings == 1; }));

    // Unplugged: the loop ends (it cleans up) without dispatching and without
    // waiting again, though another event is scripted behind the hangup.
    r.fake->PushWait({WaitOutcome::Hangup, 0, 0}, [&] { r.fake->PushEvents(EvRing); });
    ASSERT_TRUE(WaitUntil([&] { return r.fake->Count("Purge") == 1; }));
    const int waits = r.fake->Count("WaitEvent");
    EXPECT_TRUE(r.port->Connected());
    EXPECT_NO_THROW(r.port->Close()); // joins the thread: what it did is final
    EXPECT_EQ(std::tuple(r.port->Connected(), r.fake->Count("WaitEvent"), rings.load()), std::tuple(false, waits, 1));

    // Any other failed wait ends it too.
    r.port->Open();
    r.fake->PushWait({WaitOutcome::Failed, 0, EBADF});
    ASSERT_TRUE(WaitUntil([&] { return r.fake->Count("Purge") == 2; }));
    EXPECT_NO_THROW(r.port->Close());
}

// Whatever is thrown on the event thread, by a handler, the sync invoker or
// the wait itself, ends the events of that port, is logged, and leaves the
// port open and closable; the program goes on.
TEST(CPortEvents, NothingThrownOnTheEventThreadEndsTheProgram)
{
    struct Case {
        const char* name;
        TSyncMethod sync;
        std::function<void()> handler; // runs in OnRing
        std::function<void()> invoker; // throws before handing the call on
        bool waitThrows;
        const char* logged;
    };
    const Case cases[] = {
        {"handler raises EComPort", smNone, [] { throw EComPort(3, EIO, "/dev/ttyFAKE0"); }, {}, false,
         "ReadFile function failed"},
        {"handler throws a non-standard value", smNone, [] { throw 42; }, {}, false, "unknown exception"},
        {"invoker throws a non-standard value", smThreadSync, {}, [] { throw 7; }, false, "unknown exception"},
        {"the wait throws", smNone, {}, {}, true, "unknown exception"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        if (c.invoker)
            SetComSyncInvoker([&](std::function<void()>) { c.invoker(); });
        FakePort r(c.sync);
        std::atomic<int> calls{0};
        r.port->OnRing = [&](TCustomComPort&) {
            ++calls;
            if (c.handler)
                c.handler();
        };
        r.port->Open();
        if (c.waitThrows)
            r.fake->PushWait({WaitOutcome::Events, EvRing, 0}, [] { throw 3; });
        r.fake->PushEvents(EvRing);
        r.fake->PushEvents(EvRing);
        ASSERT_TRUE(WaitUntil([&] { return r.fake->Count("Purge") == 1; }));
        EXPECT_TRUE(r.port->Connected());
        EXPECT_NO_THROW(r.port->Close());
        EXPECT_EQ(std::tuple(r.port->Connected(), calls.load()), std::tuple(false, c.handler ? 1 : 0));
        SetComSyncInvoker({});
        const std::vector<std::string> lines = log.Items();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("/dev/ttyFAKE0"), std::string::npos) << lines[0];
        EXPECT_NE(lines[0].find(c.logged), std::string::npos) << lines[0];
    }
}

TEST(CPortEvents, CloseFromAHandlerDoesNotWaitForItself)
{
    FakePort r;
    std::atomic<int> calls{0};
    r.port->OnRxChar = [&](TCustomComPort& p, int) {
        ++calls;
        p.Close();
    };
    r.port->OnRing = [&](TCustomComPort&) { ADD_FAILURE() << "dispatched after close"; };
    r.port->Open();
    r.fake->AddInput("a");
    r.fake->PushEvents(EvRxChar | EvRing);
    ASSERT_TRUE(WaitUntil([&] { return !r.port->Connected(); }));
    EXPECT_EQ(std::tuple(calls.load(), r.fake->Count("Close")), std::tuple(1, 1));
    EXPECT_EQ(r.fake->Count("Purge"), 1); // cleaned up once, by Close

    // Destroying the port from its own handler is survivable too.
    FakePort d;
    std::atomic<bool> done{false};
    d.port->OnRing = [&](TCustomComPort&) {
        // This lambda lives in the port: copy what it needs before the port goes.
        std::atomic<bool>* flag = &done;
        d.port.reset();
        *flag = true;
    };
    d.port->Open();
    d.fake->PushEvents(EvRing | EvRlsd);
    ASSERT_TRUE(WaitUntil([&] { return done.load(); }));
    EXPECT_TRUE(WaitUntil([&] { return !d.fake->IsOpen(); }));
}

// A handler's close has ended, after-close hook included, before any other
// thread reads the port as closed and may destroy it.
TEST(CPortEvents, AClosedPortIsDoneWithBeforeOthersSeeItClosed)
{
    HookWatch watch;
    Watch = &watch;
    FakePort r;
    r.port = std::make_unique<ClosingPort>(FakeComFactory(r.fake));
    r.port->SetPort("/dev/ttyFAKE1");
    r.port->SetSyncMethod(smNone);
    r.port->OnRing = [](TCustomComPort& p) { p.Close(); };
    r.port->Open();
    r.fake->PushEvents(EvRing);
    ASSERT_TRUE(WaitUntil([&] { return !r.port->Connected(); }));
    r.port.reset(); // at once, as a device list dropping a closed unit would
    EXPECT_EQ(std::tuple(watch.runs.load(), bool(watch.othersSawOpen)), std::tuple(1, true));
    Watch = nullptr;
}

// A close from a handler and one from another thread run one after the
// other: the close path runs once, whichever starts first.
TEST(CPortEvents, ConcurrentClosesRunOnce)
{
    for (const bool handlerFirst : {true, false}) {
        SCOPED_TRACE(handlerFirst ? "handler first" : "other thread first");
        FakePort r;
        std::atomic<int> before{0}, after{0};
        std::atomic<bool> handlerIn{false}, otherClosing{false};
        r.port->OnBeforeClose = [&](TCustomComPort&) {
            const int n = ++before;
            if (!handlerFirst && n == 1) {
                otherClosing = true;
            } else if (handlerFirst && n == 1) {
                handlerIn = true;
                // The other close is under way now; a second pass through
                // here would be the fault this test is about.
                WaitUntil([&] { return before.load() > 1; }, std::chrono::milliseconds(300));
            }
        };
        r.port->OnAfterClose = [&](TCustomComPort&) { ++after; };
        r.port->OnRing = [&](TCustomComPort& p) {
            if (!handlerFirst) {
                handlerIn = true;
                WaitUntil([&] { return otherClosing.load(); });
            }
            p.Close();
        };
        r.port->Open();
        r.fake->PushEvents(EvRing);
        ASSERT_TRUE(WaitUntil([&] { return handlerIn.load(); }));
        r.port->Close();
        EXPECT_EQ(std::tuple(r.port->Connected(), before.load(), after.load(), r.fake->Count("Close")), std::tuple(false, 1, 1, 1));
    }
}

// Links registered while the thread walks the list are followed; once
// unregistered they are called no more.
TEST(CPortEvents, LinksAreFollowedFromRegistrationToRemoval)
{
    FakePort r;
    std::atomic<int> permanent{0}, transient{0};
    TComLink a;
    a.OnRing = [&](TCustomComPort&) { ++permanent; };
    r.port->RegisterLink(&a);
    r.port->Open();
    std::atomic<bool> stop{false};
    std::thread feeder([&] {
        while (!stop) {
            if (r.fake->Waiting() > 0)
                r.fake->PushEvents(EvRing);
            std::this_thread::yield();
        }
    });
    std::vector<std::unique_ptr<TComLink>> links;
    for (int i = 0; i < 64; ++i) {
        links.push_back(std::make_unique<TComLink>());
        links.back()->OnRing = [&](TCustomComPort&) { ++transient; };
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (transient < 200 && std::chrono::steady_clock::now() < deadline) {
        for (auto& l : links)
            r.port->RegisterLink(l.get());
        for (auto& l : links)
            r.port->UnRegisterLink(l.get());
    }
    stop = true;
    feeder.join();
    EXPECT_GE(transient.load(), 200);

    // Every walk has ended once the thread has dispatched one more event;
    // the next reaches the permanent link only.
    ASSERT_TRUE(r.Deliver(EvRing));
    const int seen = transient;
    const int rings = permanent;
    ASSERT_TRUE(r.Deliver(EvRing));
    r.port->Close();
    EXPECT_EQ(std::tuple(permanent.load(), transient.load()), std::tuple(rings + 1, seen));
    r.port->UnRegisterLink(&a);
}

TEST(CPortEvents, SyncMethodsHandTheCallsToTheGuiThread)
{
    GuiQueue gui;
    SetComSyncInvoker([&](std::function<void()> call) { gui.Post(std::move(call)); });
    {
        FakePort r(smThreadSync);
        std::atomic<int> rings{0};
        r.port->OnRing = [&](TCustomComPort&) {
            ++rings;
        };
        r.port->Open();
        r.fake->PushEvents(EvRing);
        ASSERT_TRUE(WaitUntil([&] { return gui.Pending() == 1; }));
        EXPECT_EQ(rings, 0);
        gui.RunAll();
        EXPECT_EQ(rings, 1);

        // The GUI thread is busy while the port closes: Close returns, and
        // the queued call runs later without touching the port.
        r.fake->PushEvents(EvRing);
        ASSERT_TRUE(WaitUntil([&] { return gui.Pending() == 1; }));
        r.port->Close();
        EXPECT_FALSE(r.port->Connected());
        gui.RunAll();
        EXPECT_EQ(rings, 1);
    }
    {
        // Close from a handler running on the GUI thread, while the event
        // thread waits for that handler.
        FakePort r(smWindowSync);
        r.port->OnRing = [&](TCustomComPort& p) { p.Close(); };
        r.port->Open();
        r.fake->PushEvents(EvRing | EvTxEmpty);
        ASSERT_TRUE(WaitUntil([&] { return gui.Pending() == 1; }));
        gui.RunAll();
        EXPECT_EQ(std::tuple(r.port->Connected(), r.fake->Count("Close")), std::tuple(false, 1));
    }
    SetComSyncInvoker({});
}

TEST(CPortEvents, CloseEndsAReceiveLoopThatNeverRunsDry)
{
    FakePort r;
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
    ASSERT_TRUE(WaitUntil([&] { return inLoop.load(); }));
    r.port->Close(); // returns: the loop saw the close
    EXPECT_FALSE(r.port->Connected());
    EXPECT_EQ(r.port->ReadAsyncErrorCount(), 0);
}
