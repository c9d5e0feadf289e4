#include "CPort.h"
#include "FakeComBackend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

using ComBackend::WaitOutcome;
using Log = std::vector<std::string>;

namespace {

template <class F>
EComPort Raised(F&& f)
{
    try {
        f();
    } catch (const EComPort& e) {
        return e;
    }
    ADD_FAILURE() << "no EComPort";
    return EComPort(0);
}

// Without the event thread: the log holds only what the test's calls did.
struct Quiet : FakePort {
    Quiet() : FakePort(smNone, false) {}
};

// A close's log without its wake-up of the event thread. The wake races with
// the thread's own clean-up (it may already have seen the stop), so it only
// has to come once, after the pending I/O was aborted and before the handle
// is closed.
Log CloseWithoutWake(Log log)
{
    const auto wake = std::find(log.begin(), log.end(), "WakeWaiter");
    EXPECT_EQ(std::count(log.begin(), log.end(), "WakeWaiter"), 1);
    EXPECT_LT(std::find(log.begin(), log.end(), "AbortPending"), wake);
    EXPECT_GT(std::find(log.begin(), log.end(), "Close"), wake);
    if (wake != log.end())
        log.erase(wake);
    return log;
}

} // namespace

TEST(CPort, OpenAndCloseRunInTheirFixedOrder)
{
    FakePort r;
    r.fake->modemBits = ComBackend::MsCtsOn | ComBackend::MsRlsdOn;
    auto note = [&](const char* what) { return [&, what](TCustomComPort&) { r.fake->Enter(what, ""); }; };
    auto line = [&](const char* what) {
        return [&, what](TCustomComPort&, bool on) { r.fake->Enter(what, on ? "1" : "0"); };
    };
    r.port->OnBeforeOpen = note("OnBeforeOpen");
    r.port->OnAfterOpen = note("OnAfterOpen");
    r.port->OnBeforeClose = note("OnBeforeClose");
    r.port->OnAfterClose = note("OnAfterClose");
    r.port->OnCTSChange = line("CTS");
    r.port->OnDSRChange = line("DSR");
    r.port->OnRLSDChange = line("RLSD");

    r.port->Open();
    EXPECT_TRUE(r.port->Connected());
    const Log opened{"OnBeforeOpen", "Open /dev/ttyFAKE0", "SetBufferSizes 1024 1024",
                     "SetLineSettings 9600 8 0 0 xon=256 xoff=256", "SetTimeouts 4294967295 0 0 100 1000",
                     "SetEventMask 1535", "OnAfterOpen", "GetModemStatus", "CTS 1", "GetModemStatus", "DSR 0",
                     "GetModemStatus", "RLSD 1"};
    EXPECT_EQ(r.Log(), opened);
    r.port->Open(); // already open: nothing
    EXPECT_EQ(r.Log().size(), opened.size());

    r.fake->ClearLog();
    r.port->Close();
    EXPECT_FALSE(r.port->Connected());
    const Log closed{"CTS 0", "DSR 0", "RLSD 0", "OnBeforeClose", "AbortPending",
                     "SetEventMask 0", "Purge 1 1", "Close", "OnAfterClose"};
    EXPECT_EQ(CloseWithoutWake(r.Log()), closed);
    r.port->Close(); // already closed: nothing
    EXPECT_EQ(r.Log().size(), closed.size() + 1);
}

TEST(CPort, SettersApplyTheirGroupOncePerChangeWhileOpen)
{
    const std::string line = "SetLineSettings 9600 8 0 0 xon=256 xoff=256";
    TComParity mark;
    mark.SetBits(prMark);
    TComTimeouts timeouts;
    timeouts.SetWriteTotalConstant(50);
    struct Case {
        const char* name;
        std::function<void(TCustomComPort&)> set;
        std::string applied;
        bool sameValueApplies; // assignments and the flow-control choice always re-apply
    };
    const Case cases[] = {
        {"baud rate", [](auto& p) { p.SetBaudRate(br115200); }, "SetLineSettings 115200 8 0 0 xon=256 xoff=256", false},
        {"custom rate", [](auto& p) { p.SetCustomBaudRate(31250); }, line, false},
        {"data bits", [](auto& p) { p.SetDataBits(dbSeven); }, "SetLineSettings 9600 7 0 0 xon=256 xoff=256", false},
        {"stop bits", [](auto& p) { p.SetStopBits(sbTwoStopBits); }, "SetLineSettings 9600 8 0 2 xon=256 xoff=256", false},
        {"discard null", [](auto& p) { p.SetDiscardNull(true); }, line, false},
        {"event char", [](auto& p) { p.SetEventChar('\r'); }, line, false},
        {"parity bits", [](auto& p) { p.Parity().SetBits(prOdd); }, "SetLineSettings 9600 8 1 0 xon=256 xoff=256", false},
        {"parity check", [](auto& p) { p.Parity().SetCheck(true); }, line, false},
        {"flow field", [](auto& p) { p.FlowControl().SetOutCTSFlow(true); }, line, false},
        {"flow choice", [](auto& p) { p.FlowControl().SetFlowControl(fcCustom); }, line, true},
        {"whole parity", [&](auto& p) { p.SetParity(mark); }, "SetLineSettings 9600 8 3 0 xon=256 xoff=256", true},
        {"read interval", [](auto& p) { p.Timeouts().SetReadInterval(5); }, "SetTimeouts 5 0 0 100 1000", false},
        {"whole timeouts", [&](auto& p) { p.SetTimeouts(timeouts); }, "SetTimeouts 4294967295 0 0 100 50", true},
        {"output size", [](auto& p) { p.Buffer().SetOutputSize(2048); }, "SetBufferSizes 1024 2048", false},
        {"input size", [](auto& p) { p.Buffer().SetInputSize(2048); }, "SetBufferSizes 2048 1024", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Quiet closed;
        c.set(*closed.port); // closed: only stored
        EXPECT_TRUE(closed.fake->Log().empty());

        Quiet r;
        r.port->Open();
        r.fake->ClearLog();
        c.set(*r.port);
        EXPECT_EQ(r.Log(), Log{c.applied});
        c.set(*r.port);
        EXPECT_EQ(r.Log().size(), c.sameValueApplies ? 2u : 1u);
    }
}

// (Nested updates and a reopen under a new name are the setup dialog's tests.)
TEST(CPort, PortNamesResolve)
{
    SetComPortResolver({});
    EXPECT_EQ(std::tuple(ComPortDevicePath("ttyS0"), ComPortDevicePath("/tmp/x"), ComPortDevicePath("COMX")),
              std::tuple("/dev/ttyS0", "/tmp/x", "/dev/COMX"));

    Quiet r;
    r.port->SetPort("COM7");
    const EComPort e = Raised([&] { r.port->Open(); });
    EXPECT_EQ(e.WinCode(), ENOENT);
    EXPECT_STREQ(e.what(), "COM Port Error: Unable to open com port on COM7");
    SetComPortResolver([](int n) { return n == 7 ? std::string("/dev/ttyACM0") : std::string(); });
    EXPECT_EQ(std::tuple(ComPortDevicePath("com7"), ComPortDevicePath("COM8")), std::tuple("/dev/ttyACM0", ""));
    r.port->Open();
    EXPECT_EQ(r.fake->Log().front(), "Open /dev/ttyACM0");
    SetComPortResolver({});
}

TEST(CPort, GuardedProperties)
{
    Quiet r;
    r.port->Open();
    EXPECT_EQ(Raised([&] { r.port->SetSyncMethod(smThreadSync); }).Code(), 14);
    EXPECT_NO_THROW(r.port->SetSyncMethod(smNone)); // unchanged
    r.port->SetOverlapped(false); // ignored while open
    EXPECT_TRUE(r.port->Overlapped());
    r.port->EndUpdate(); // unbalanced: ignored
    r.fake->ClearLog();
    r.port->SetBaudRate(br2400);
    EXPECT_EQ(r.fake->Count("SetLineSettings"), 1);

    TComLink plain;
    TComLink reader;
    reader.OnRxBuf = [](TCustomComPort&, const void*, int) {};
    r.port->RegisterLink(&plain);
    EXPECT_TRUE(r.port->TriggersOnRxChar());
    r.port->RegisterLink(&reader);
    EXPECT_FALSE(r.port->TriggersOnRxChar());
    EXPECT_EQ(Raised([&] { r.port->SetTriggersOnRxChar(true); }).Code(), 22);
    EXPECT_EQ(Raised([&] { r.port->RegisterLink(&reader); }).Code(), 18);
    r.port->UnRegisterLink(&reader);
    EXPECT_EQ(Raised([&] { r.port->UnRegisterLink(&reader); }).Code(), 18);
    r.port->UnRegisterLink(&plain);
}

TEST(CPort, LineSettingsFromTheProperties)
{
    Quiet r;
    r.port->Buffer().SetInputSize(4097);
    EXPECT_EQ(r.port->Buffer().InputSize(), 4096);
    r.port->SetBaudRate(brCustom);
    r.port->SetCustomBaudRate(31250);
    r.port->SetDataBits(dbFive);
    r.port->SetStopBits(sbOne5StopBits);
    r.port->Parity().SetReplace(true); // without Check: no replacing
    r.port->Parity().SetReplaceChar('?');
    r.port->Open();
    const ComBackend::LineSettings& s = r.fake->lastLine;
    EXPECT_EQ(std::tuple(r.fake->inputSize, s.xonLim, s.baudRate, s.stopBits, bool(s.parityReplace), s.replaceChar),
              std::tuple(4096u, 1024, 31250u, ComBackend::StopBits::OneAndHalf, false, 0));
    r.port->Parity().SetCheck(true);
    EXPECT_EQ(std::tuple(bool(r.fake->lastLine.parityReplace), r.fake->lastLine.replaceChar), std::tuple(true, '?'));

    // The 16-bit limits saturate instead of wrapping.
    r.port->Buffer().SetInputSize(1 << 20);
    EXPECT_EQ(r.port->MakeLineSettings().xonLim, 0xFFFF);

    // The flow-control choice is derived from its four fields.
    TComFlowControl f;
    f.SetFlowControl(fcHardware);
    EXPECT_EQ(std::tuple(f.ControlRTS(), f.FlowControl()), std::tuple(rtsHandshake, fcHardware));
    f.SetXonXoffIn(true);
    EXPECT_EQ(f.FlowControl(), fcCustom);
    f.SetFlowControl(fcSoftware);
    EXPECT_FALSE(f.OutCTSFlow());
    f.SetXonXoffOut(false);
    f.SetFlowControl(fcCustom); // changes nothing
    EXPECT_FALSE(f.XonXoffOut());
    f.SetFlowControl(fcNone);
    f.SetOutDSRFlow(true);
    f.SetControlDTR(dtrHandshake);
    EXPECT_EQ(f.FlowControl(), fcNone);
}

TEST(CPort, EveryFailingCallRaisesItsCode)
{
    Quiet r;
    r.fake->FailNext("Open", EBUSY);
    const EComPort open = Raised([&] { r.port->Open(); });
    EXPECT_EQ(std::tuple(open.Code(), open.WinCode()), std::tuple(1, EBUSY));
    EXPECT_STREQ(open.what(), "COM Port Error: Unable to open com port on /dev/ttyFAKE0");

    r.port->Open();
    uint8_t buf[8] = {};
    TCPortAsync rec;
    struct Case {
        const char* call;
        int code;
        std::function<void()> run;
    };
    const Case cases[] = {
        {"Write", 2, [&] { r.port->Write("x", 1); }},
        {"AbortPending", 5, [&] { r.port->AbortAllAsync(); }},
        {"SetLineSettings", 7, [&] { r.port->SetBaudRate(br2400); }},
        {"GetModemStatus", 11, [&] { r.port->Signals(); }},
        {"SetEventMask", 21, [&] { TComEvents ev{evRxChar}; r.port->WaitForEvent(ev, -1, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        r.fake->FailNext(c.call, EIO);
        const EComPort e = Raised(c.run);
        EXPECT_EQ(std::tuple(e.Code(), e.WinCode()), std::tuple(c.code, EIO));
        EXPECT_EQ(std::string(e.what()), "COM Port Error: " + ComErrorMessage(c.code) + " on /dev/ttyFAKE0");
    }
    // Gone devices report as their errno.
    r.fake->FailNext("GetModemStatus", ENODEV);
    EXPECT_EQ(Raised([&] { r.port->Signals(); }).WinCode(), ENODEV);

    EXPECT_EQ(Raised([&] { r.port->ReadAsync(buf, 1, nullptr); }).Code(), 4);
    EXPECT_EQ(Raised([&] { r.port->IsAsyncCompleted(nullptr); }).WinCode(), -1);

    r.port->SetReadAsyncExceptionsEnabled(true);
    r.fake->FailNext("Read", EIO);
    EXPECT_EQ(Raised([&] { r.port->Read(buf, 4); }).Code(), 3);
    r.fake->FailNext("Write", EIO);
    EXPECT_EQ(Raised([&] { r.port->WriteAsync(buf, 4, &rec); }).Code(), 2);
    EXPECT_EQ(Raised([&] { r.port->WaitForAsync(&rec); }).Code(), 2);

    // WaitForEvent: without a thread a hangup raises; with one it is refused.
    TComEvents ev{evRxChar, evCTS};
    r.fake->PushEvents(ComBackend::EvCts);
    r.port->WaitForEvent(ev, -1, 100);
    EXPECT_EQ(ev, TComEvents{evCTS});
    r.fake->PushWait({WaitOutcome::Hangup, 0, 0});
    EXPECT_EQ(Raised([&] { r.port->WaitForEvent(ev, -1, 100); }).Code(), 21);
    r.port->Close();
    FakePort t;
    t.port->Open();
    EXPECT_EQ(Raised([&] { TComEvents e{evRxChar}; t.port->WaitForEvent(e, -1, 0); }).Code(), 20);
}

TEST(CPort, ReadsAndWrites)
{
    Quiet r;
    TComLink link;
    Log seen;
    link.OnTx = [&](TCustomComPort&, bool on) { seen.push_back(on ? "tx on" : "tx off"); };
    link.OnTxBuf = [&](TCustomComPort&, const void* b, int n) {
        seen.push_back("txbuf " + std::string(static_cast<const char*>(b), std::size_t(n)));
    };
    r.port->RegisterLink(&link);
    r.port->Open();
    EXPECT_EQ(r.port->Write("abc", 3), 3);
    EXPECT_EQ(r.port->WriteStr("de"), 2);
    EXPECT_EQ(std::tuple(r.fake->written, seen), std::tuple("abcde", (Log{"tx on", "txbuf abc", "tx on", "txbuf de"})));
    r.fake->AddInput("hello");
    std::string text;
    EXPECT_EQ(r.port->ReadStr(text, 3), 3);
    EXPECT_EQ(r.port->ReadStr(text, 10), 2);
    EXPECT_EQ(text, "lo");

    // Failed reads are counted, not raised; a zero-count read leaves the
    // buffer alone; a read with nothing waiting clears the first byte.
    r.fake->FailNext("Read", EIO);
    char buf[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(r.port->Read(buf, 4), 0);
    EXPECT_EQ(r.port->ReadAsyncLastError(), EIO);
    r.fake->FailNext("Read", ENXIO);
    TCPortAsync rec;
    r.port->ReadAsync(buf, 4, &rec);
    EXPECT_TRUE(r.port->IsAsyncCompleted(&rec));
    EXPECT_EQ(r.port->WaitForAsync(&rec), 0);
    EXPECT_EQ(r.port->ReadAsyncErrorCount(), 2);
    EXPECT_EQ(r.port->ReadAsyncLastError(), ENXIO);
    buf[0] = 'X';
    buf[1] = 'Y';
    const int reads = r.fake->Count("Read");
    EXPECT_EQ(r.port->Read(buf, 0), 0);
    EXPECT_EQ(std::tuple(buf[0], r.fake->Count("Read")), std::tuple('X', reads));
    r.port->Read(buf, 1);
    EXPECT_EQ(std::tuple(buf[0], buf[1]), std::tuple(0, 'Y'));

    // Without overlapped operation a failed write counts and returns 0.
    r.port->Close();
    r.port->SetOverlapped(false);
    r.port->Open();
    r.fake->FailNext("Write", EIO);
    EXPECT_EQ(r.port->Write("q", 1), 0);
    EXPECT_EQ(r.port->WriteFailCount(), 1);
    r.port->Close();
    r.port->UnRegisterLink(&link);
}

TEST(CPort, CloseAlwaysCompletesAndTheDestructorNeverThrows)
{
    {
        FakePort r;
        r.port->Open();
        r.fake->FailNext("AbortPending", EIO);
        r.fake->ClearLog();
        EXPECT_EQ(Raised([&] { r.port->Close(); }).Code(), 5);
        EXPECT_FALSE(r.port->Connected());
        // The thread was stopped and joined and the handle closed before the raise.
        EXPECT_EQ(CloseWithoutWake(r.Log()), (Log{"AbortPending", "SetEventMask 0", "Purge 1 1", "Close"}));
        EXPECT_FALSE(r.fake->open);
    }
    {
        // A raising close handler does not stop the close either.
        FakePort r;
        r.port->OnBeforeClose = [](TCustomComPort&) { throw std::runtime_error("handler"); };
        r.port->Open();
        EXPECT_THROW(r.port->Close(), std::runtime_error);
        EXPECT_EQ(std::tuple(r.port->Connected(), r.fake->Count("Close")), std::tuple(false, 1));
    }
    FakePort r;
    r.port->Open();
    r.fake->FailAlways("AbortPending", EIO);
    r.port->OnAfterClose = [](TCustomComPort&) { throw std::runtime_error("late"); };
    EXPECT_NO_THROW(r.port.reset());
    EXPECT_FALSE(r.fake->open);
}

TEST(CPort, AFailedOpenLeavesThePortClosed)
{
    // A failure while applying the settings.
    FakePort r;
    r.fake->FailNext("SetTimeouts", EINVAL);
    EXPECT_EQ(Raised([&] { r.port->Open(); }).Code(), 8);
    EXPECT_EQ(std::tuple(r.port->Connected(), bool(r.fake->open)), std::tuple(false, false));
    EXPECT_EQ(r.fake->Count("SetEventMask"), 0); // no thread was started

    // A failure after the thread started: reading the line states.
    r.fake->ClearLog();
    TComLink link;
    std::vector<bool> conn;
    link.OnConn = [&](TCustomComPort&, bool on) { conn.push_back(on); };
    r.port->RegisterLink(&link);
    r.fake->FailNext("GetModemStatus", EIO);
    EXPECT_EQ(Raised([&] { r.port->Open(); }).Code(), 11);
    EXPECT_EQ(std::tuple(r.port->Connected(), bool(r.fake->open), r.fake->Log().back()), std::tuple(false, false, "Close"));
    EXPECT_EQ(r.fake->Count("SetEventMask"), 2); // the thread's mask was set and cleared
    EXPECT_EQ(conn, (std::vector<bool>{true, false}));

    // The device is free again.
    r.port->Open();
    EXPECT_TRUE(r.port->Connected());
    r.port->Close();
    r.port->UnRegisterLink(&link);
}
