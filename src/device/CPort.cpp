#include "CPort.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace ComBackend;

// ---- Hooks -------------------------------------------------------------------------------

namespace {

std::mutex& HookMutex()
{
    static std::mutex mutex;
    return mutex;
}

TComPortResolver& ResolverHook()
{
    static TComPortResolver resolver;
    return resolver;
}

TComSyncInvoker& InvokerHook()
{
    static TComSyncInvoker invoker;
    return invoker;
}

TComSyncInvoker CurrentInvoker()
{
    std::lock_guard<std::mutex> lock(HookMutex());
    return InvokerHook();
}

bool AllDigits(const std::string& text, std::size_t from)
{
    if (from >= text.size())
        return false;
    return std::all_of(text.begin() + std::ptrdiff_t(from), text.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

void LogHandlerFailure(const std::string& port, const char* what)
{
    DebugLog(QStringLiteral("COM port %1: event handler raised \"%2\"; the port delivers no further events")
                 .arg(QString::fromStdString(port), QString::fromUtf8(what)));
}

} // namespace

void SetComPortResolver(TComPortResolver resolver)
{
    std::lock_guard<std::mutex> lock(HookMutex());
    ResolverHook() = std::move(resolver);
}

void SetComSyncInvoker(TComSyncInvoker invoker)
{
    std::lock_guard<std::mutex> lock(HookMutex());
    InvokerHook() = std::move(invoker);
}

std::string ComPortDevicePath(const std::string& port)
{
    if (port.size() > 3 && ComUpperCase(port.substr(0, 3)) == "COM" && AllDigits(port, 3)) {
        int number = 0;
        if (!TryStrToIntStrict(QString::fromStdString(port.substr(3)), number))
            return std::string();
        TComPortResolver resolver;
        {
            std::lock_guard<std::mutex> lock(HookMutex());
            resolver = ResolverHook();
        }
        return resolver ? resolver(number) : std::string();
    }
    if (!port.empty() && port.front() == '/')
        return port;
    return "/dev/" + port;
}

// ---- Sub-objects ----------------------------------------------------------------------------

TComBuffer& TComBuffer::operator=(const TComBuffer& other)
{
    FInputSize = other.FInputSize;
    FOutputSize = other.FOutputSize;
    if (FComPort)
        FComPort->ApplyBuffer();
    return *this;
}

void TComBuffer::SetInputSize(int value)
{
    value -= value % 2;
    if (value == FInputSize)
        return;
    FInputSize = value;
    if (FComPort)
        FComPort->ApplyBuffer();
}

void TComBuffer::SetOutputSize(int value)
{
    value -= value % 2;
    if (value == FOutputSize)
        return;
    FOutputSize = value;
    if (FComPort)
        FComPort->ApplyBuffer();
}

TComParity& TComParity::operator=(const TComParity& other)
{
    FBits = other.FBits;
    FCheck = other.FCheck;
    FReplace = other.FReplace;
    FReplaceChar = other.FReplaceChar;
    if (FComPort)
        FComPort->ApplyDCB();
    return *this;
}

#define COM_SETTER(Class, Name, Type, Apply)      \
    void Class::Set##Name(Type value)             \
    {                                             \
        if (value == F##Name)                     \
            return;                               \
        F##Name = value;                          \
        if (FComPort)                             \
            FComPort->Apply();                    \
    }

COM_SETTER(TComParity, Bits, TParityBits, ApplyDCB)
COM_SETTER(TComParity, Check, bool, ApplyDCB)
COM_SETTER(TComParity, Replace, bool, ApplyDCB)
COM_SETTER(TComParity, ReplaceChar, uint8_t, ApplyDCB)

TComTimeouts& TComTimeouts::operator=(const TComTimeouts& other)
{
    FReadInterval = other.FReadInterval;
    FReadTotalMultiplier = other.FReadTotalMultiplier;
    FReadTotalConstant = other.FReadTotalConstant;
    FWriteTotalMultiplier = other.FWriteTotalMultiplier;
    FWriteTotalConstant = other.FWriteTotalConstant;
    if (FComPort)
        FComPort->ApplyTimeouts();
    return *this;
}

COM_SETTER(TComTimeouts, ReadInterval, int, ApplyTimeouts)
COM_SETTER(TComTimeouts, ReadTotalMultiplier, int, ApplyTimeouts)
COM_SETTER(TComTimeouts, ReadTotalConstant, int, ApplyTimeouts)
COM_SETTER(TComTimeouts, WriteTotalMultiplier, int, ApplyTimeouts)
COM_SETTER(TComTimeouts, WriteTotalConstant, int, ApplyTimeouts)

void TComFlowControl::CopyValues(const TComFlowControl& other)
{
    FOutCTSFlow = other.FOutCTSFlow;
    FOutDSRFlow = other.FOutDSRFlow;
    FControlDTR = other.FControlDTR;
    FControlRTS = other.FControlRTS;
    FXonXoffOut = other.FXonXoffOut;
    FXonXoffIn = other.FXonXoffIn;
    FDSRSensitivity = other.FDSRSensitivity;
    FTxContinueOnXoff = other.FTxContinueOnXoff;
    FXonChar = other.FXonChar;
    FXoffChar = other.FXoffChar;
}

TComFlowControl& TComFlowControl::operator=(const TComFlowControl& other)
{
    CopyValues(other);
    if (FComPort)
        FComPort->ApplyDCB();
    return *this;
}

COM_SETTER(TComFlowControl, OutCTSFlow, bool, ApplyDCB)
COM_SETTER(TComFlowControl, OutDSRFlow, bool, ApplyDCB)
COM_SETTER(TComFlowControl, ControlDTR, TDTRFlowControl, ApplyDCB)
COM_SETTER(TComFlowControl, ControlRTS, TRTSFlowControl, ApplyDCB)
COM_SETTER(TComFlowControl, XonXoffOut, bool, ApplyDCB)
COM_SETTER(TComFlowControl, XonXoffIn, bool, ApplyDCB)
COM_SETTER(TComFlowControl, DSRSensitivity, bool, ApplyDCB)
COM_SETTER(TComFlowControl, TxContinueOnXoff, bool, ApplyDCB)
COM_SETTER(TComFlowControl, XonChar, uint8_t, ApplyDCB)
COM_SETTER(TComFlowControl, XoffChar, uint8_t, ApplyDCB)

#undef COM_SETTER

TFlowControl TComFlowControl::FlowControl() const
{
    if (FControlRTS == rtsHandshake && FOutCTSFlow && !FXonXoffIn && !FXonXoffOut)
        return fcHardware;
    if (FControlRTS == rtsDisable && !FOutCTSFlow && FXonXoffIn && FXonXoffOut)
        return fcSoftware;
    if (FControlRTS == rtsDisable && !FOutCTSFlow && !FXonXoffIn && !FXonXoffOut)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value)
{
    if (value != fcCustom) {
        FControlRTS = rtsDisable;
        FOutCTSFlow = false;
        FXonXoffIn = false;
        FXonXoffOut = false;
        if (value == fcHardware) {
            FControlRTS = rtsHandshake;
            FOutCTSFlow = true;
        } else if (value == fcSoftware) {
            FXonXoffIn = true;
            FXonXoffOut = true;
        }
    }
    if (FComPort)
        FComPort->ApplyDCB();
}

void TCPortAsync::Reset(TOperationKind kind)
{
    Kind = kind;
    Data.clear();
    Size = 0;
    Transferred = 0;
    Error = 0;
    Completed = false;
    ErrorHandled = false;
}

// ---- Event thread ----------------------------------------------------------------------------

namespace {

// What the port code running on an event thread needs to know about it. Lives
// on that thread's stack for the whole loop; only that thread touches it.
struct TComDispatch {
    const TCustomComPort* port = nullptr;
    bool left = false; // a handler closed the port: hands off
};

thread_local TComDispatch* CurrentDispatch = nullptr;

void LogThreadFailure(const std::string& port, const char* what) noexcept
{
    try {
        DebugLog(QStringLiteral("COM port %1: event thread ended by \"%2\"; the port delivers no further events")
                     .arg(QString::fromStdString(port), QString::fromUtf8(what)));
    } catch (...) {
    }
}

} // namespace

TComThread::TComThread(TCustomComPort& port, std::shared_ptr<IPort> backend)
    : FComPort(&port), FPortName(port.Port()), FBackend(std::move(backend)), FState(std::make_shared<State>()),
      FSyncMethod(port.SyncMethod())
{
    // A failing mask only means no events; the port itself works on.
    FBackend->SetEventMask(EventsToBits(port.Events()));
}

TComThread::~TComThread()
{
    Stop();
    Join();
}

void TComThread::Start()
{
    // The loop waits for the lock, so the thread id is known before any
    // handler can ask for it.
    std::lock_guard<std::mutex> lock(FState->mutex);
    FThread = std::thread([self = shared_from_this()] { self->Execute(); });
    FThreadId = FThread.get_id();
}

void TComThread::Stop()
{
    {
        std::lock_guard<std::mutex> lock(FState->mutex);
        if (FState->stop)
            return;
        FState->stop = true;
    }
    FState->wake.notify_all();
    FBackend->WakeWaiter();
}

void TComThread::Join()
{
    if (!FThread.joinable())
        return;
    if (IsCurrentThread())
        FThread.detach();
    else
        FThread.join();
}

bool TComThread::IsCurrentThread() const
{
    return FThreadId == std::this_thread::get_id();
}

void TComThread::Execute() noexcept
{
    {
        std::lock_guard<std::mutex> lock(FState->mutex);
    }
    TComDispatch dispatch;
    dispatch.port = FComPort;
    CurrentDispatch = &dispatch;
    // Whatever escapes the loop ends it, never the program.
    try {
        RunLoop();
    } catch (const std::exception& e) {
        LogThreadFailure(FPortName, e.what());
    } catch (...) {
        LogThreadFailure(FPortName, "unknown exception");
    }
    Finish();
    CurrentDispatch = nullptr;
}

void TComThread::RunLoop()
{
    // Local references: a handler may close or even destroy the port.
    const std::shared_ptr<State> state = FState;
    const std::shared_ptr<IPort> backend = FBackend;
    while (!state->stop) {
        const WaitResult result = backend->WaitEvent(-1, -1);
        if (state->stop)
            break;
        if (result.outcome == WaitOutcome::Events) {
            if (!DispatchComMsg(BitsToEvents(result.occurred)))
                break;
            continue;
        }
        if (result.outcome == WaitOutcome::Timeout)
            continue;
        if (result.outcome == WaitOutcome::Failed && result.error == EINTR)
            continue;
        // Stopped, Hangup (device gone: waiting again would spin) or a failed wait.
        break;
    }
}

void TComThread::Finish() noexcept
{
    if (FState->abandoned)
        return;
    try {
        FBackend->SetEventMask(0);
        FBackend->Purge(true, true);
    } catch (...) {
        LogThreadFailure(FPortName, "cleaning up raised");
    }
}

bool TComThread::DispatchComMsg(TComEvents events)
{
    switch (FSyncMethod) {
    case smNone:
        return DoEvents(events);
    case smThreadSync:
    case smWindowSync:
        return SyncEvents(events);
    case smDisableEvents:
        break;
    }
    return true;
}

bool TComThread::DoEvents(TComEvents events)
{
    try {
        FComPort->DispatchEvents(events, &FState->stop);
        return true;
    } catch (const std::exception& e) {
        LogHandlerFailure(FPortName, e.what());
    } catch (...) {
        LogHandlerFailure(FPortName, "unknown exception");
    }
    return false;
}

bool TComThread::SyncEvents(TComEvents events)
{
    const TComSyncInvoker invoker = CurrentInvoker();
    if (!invoker)
        return DoEvents(events);

    struct Job {
        bool done = false;
        bool abandoned = false;
        bool ok = true;
    };
    auto job = std::make_shared<Job>();
    const std::shared_ptr<State> state = FState;
    TCustomComPort* port = FComPort;
    auto call = [job, state, port, portName = FPortName, events] {
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            if (job->abandoned || state->stop)
                return;
        }
        bool ok = true;
        try {
            port->DispatchEvents(events, &state->stop);
        } catch (const std::exception& e) {
            LogHandlerFailure(portName, e.what());
            ok = false;
        } catch (...) {
            LogHandlerFailure(portName, "unknown exception");
            ok = false;
        }
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            job->done = true;
            job->ok = ok;
        }
        state->wake.notify_all();
    };
    try {
        invoker(call);
    } catch (const std::exception& e) {
        LogHandlerFailure(FPortName, e.what());
        return false;
    } catch (...) {
        LogHandlerFailure(FPortName, "unknown exception");
        return false;
    }
    std::unique_lock<std::mutex> lock(state->mutex);
    state->wake.wait(lock, [&] { return job->done || state->stop; });
    if (!job->done) {
        // Closing: the GUI thread may be the one waiting for us.
        job->abandoned = true;
        return false;
    }
    return job->ok;
}

// ---- Port: construction, open, close ------------------------------------------------------------

TCustomComPort::TCustomComPort(PortFactory factory) : FFactory(std::move(factory)) {}

TCustomComPort::~TCustomComPort()
{
    CloseNoThrow();
    ReapRetiredThreads(true);
    // Widgets linked to the port would otherwise unregister from freed memory
    // when they go later.
    std::vector<TComLink*> links;
    {
        std::lock_guard<std::mutex> lock(FLinksMutex);
        links.swap(FLinks);
        FHasLink = false;
        FAnyLink = false;
    }
    for (TComLink* link : links) {
        if (!link->OnRemove)
            continue;
        try {
            link->OnRemove(*this);
        } catch (const std::exception& e) {
            DebugLog(QStringLiteral("Removing %1: %2").arg(QString::fromStdString(FPort), QString::fromUtf8(e.what())));
        } catch (...) {
        }
    }
}

namespace {

std::mutex& SetupDialogMutex()
{
    static std::mutex mutex;
    return mutex;
}

TComSetupDialog& InstalledSetupDialog()
{
    static TComSetupDialog dialog;
    return dialog;
}

} // namespace

void SetComSetupDialog(TComSetupDialog dialog)
{
    std::lock_guard<std::mutex> lock(SetupDialogMutex());
    InstalledSetupDialog() = std::move(dialog);
}

bool TCustomComPort::ShowSetupDialog()
{
    TComSetupDialog dialog;
    {
        std::lock_guard<std::mutex> lock(SetupDialogMutex());
        dialog = InstalledSetupDialog();
    }
    if (!dialog)
        throw Exception("No setup dialog installed for the serial port");
    return dialog(*this);
}

void TCustomComPort::CloseNoThrow() noexcept
{
    try {
        Close();
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Closing %1: %2").arg(QString::fromStdString(FPort), QString::fromUtf8(e.what())));
    } catch (...) {
        DebugLog(QStringLiteral("Closing %1 failed").arg(QString::fromStdString(FPort)));
    }
}

void TCustomComPort::RaisePlatform(int code, int error) const
{
    throw EComPort(code, error, FPort);
}

void TCustomComPort::CreateHandle()
{
    const std::string path = ComPortDevicePath(FPort);
    if (path.empty())
        RaisePlatform(1, ENOENT);
    if (!FBackend) {
        std::unique_ptr<IPort> port = FFactory ? FFactory() : nullptr;
        if (!port)
            RaisePlatform(1, ENODEV);
        FBackend = std::move(port);
    }
    const int error = FBackend->Open(path);
    if (error != 0)
        RaisePlatform(1, error);
}

void TCustomComPort::ReleaseHandle()
{
    if (FBackend)
        FBackend->Close();
    FConnected = false;
}

bool TCustomComPort::Connected() const
{
    if (FConnected)
        return true;
    const std::thread::id closer = FCloser.load();
    return closer != std::thread::id() && closer != std::this_thread::get_id();
}

bool TCustomComPort::OnOwnEventThread() const
{
    return CurrentDispatch && CurrentDispatch->port == this;
}

bool TCustomComPort::LeftByHandler() const
{
    // Compares the address only: the port itself may be gone.
    return CurrentDispatch && CurrentDispatch->port == this && CurrentDispatch->left;
}

bool TCustomComPort::BeginClose()
{
    const std::thread::id me = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(FLifeMutex);
    if (FCloser.load() == me)
        return false; // a close handler closing again
    if (FCloser.load() != std::thread::id() && OnOwnEventThread())
        return false; // that close is waiting for this very thread
    FCloseDone.wait(lock, [&] { return FCloser.load() == std::thread::id(); });
    if (!FConnected)
        return false;
    FCloser = me;
    return true;
}

void TCustomComPort::EndClose()
{
    if (OnOwnEventThread())
        CurrentDispatch->left = true;
    // Notified under the lock: a waiter may destroy the port as soon as it
    // gets the lock, and nothing of the port is touched after the unlock.
    std::lock_guard<std::mutex> lock(FLifeMutex);
    FCloser = std::thread::id();
    FCloseDone.notify_all();
}

void TCustomComPort::Open()
{
    {
        std::unique_lock<std::mutex> lock(FLifeMutex);
        const std::thread::id closer = FCloser.load();
        if (closer != std::thread::id() && closer != std::this_thread::get_id()) {
            if (OnOwnEventThread())
                return; // the port is being closed under this thread
            FCloseDone.wait(lock, [&] { return FCloser.load() == std::thread::id(); });
        }
    }
    if (FConnected)
        return;
    ReapRetiredThreads(false);
    CallBeforeOpen();
    CreateHandle();
    FConnected = true;
    bool linksToldConnected = false;
    try {
        SetupComPort();
        if (!FEvents.Empty() && FOverlapped) {
            FEventThread = std::make_shared<TComThread>(*this, FBackend);
            FThreadCreated = true;
            FEventThread->Start();
        }
        linksToldConnected = true;
        CallAfterOpen();
    } catch (...) {
        // Never leave a half-opened port holding the device (unless a
        // handler on the new thread has closed it already).
        if (BeginClose()) {
            std::exception_ptr ignored;
            StopEventThread(ignored);
            ReleaseHandle();
            if (linksToldConnected) {
                try {
                    SendSignalToLink(leConn, false);
                } catch (...) {
                }
            }
            EndClose();
        }
        throw;
    }
}

void TCustomComPort::StopEventThread(std::exception_ptr& failure)
{
    if (!FEventThread)
        return;
    const std::shared_ptr<TComThread> thread = std::move(FEventThread);
    FEventThread.reset();
    FThreadCreated = false;
    if (thread->IsCurrentThread()) {
        // Closed from one of our own handlers: the thread cannot wait for
        // itself. It ends on its own once the handler returns; the port is
        // cleaned up here, and the thread is joined by the next Open, Close
        // or the destructor.
        thread->Abandon();
        thread->Stop();
        if (FBackend) {
            FBackend->SetEventMask(0);
            FBackend->Purge(true, true);
        }
        std::lock_guard<std::mutex> lock(FLifeMutex);
        FRetiredThreads.push_back(thread);
        return;
    }
    try {
        thread->Stop();
        thread->Join();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
}

void TCustomComPort::ReapRetiredThreads(bool finalPass)
{
    // Joined outside the lock: a retired thread may still be in a handler
    // that calls Close.
    std::vector<std::shared_ptr<TComThread>> reaped;
    {
        std::lock_guard<std::mutex> lock(FLifeMutex);
        for (auto it = FRetiredThreads.begin(); it != FRetiredThreads.end();) {
            if ((*it)->IsCurrentThread() && !finalPass) {
                ++it;
                continue;
            }
            reaped.push_back(std::move(*it));
            it = FRetiredThreads.erase(it);
        }
    }
    for (const std::shared_ptr<TComThread>& thread : reaped)
        thread->Join();
}

void TCustomComPort::Close()
{
    if (!BeginClose())
        return;
    const std::exception_ptr failure = CloseSteps();
    EndClose();
    if (failure)
        std::rethrow_exception(failure);
}

std::exception_ptr TCustomComPort::CloseSteps()
{
    std::exception_ptr failure;
    try {
        CallBeforeClose();
    } catch (...) {
        failure = std::current_exception();
    }
    FClosing = true;
    try {
        AbortAllAsync();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    StopEventThread(failure);
    ReleaseHandle();
    FClosing = false;
    try {
        CallAfterClose();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    ReapRetiredThreads(false);
    return failure;
}

// ---- Properties ---------------------------------------------------------------------------------

void TCustomComPort::SetConnected(bool value)
{
    if (value)
        Open();
    else
        Close();
}

void TCustomComPort::SetPort(const std::string& value)
{
    if (value == FPort)
        return;
    if (!FConnected) {
        FPort = value;
        return;
    }
    std::exception_ptr closeFailure;
    try {
        Close();
    } catch (...) {
        closeFailure = std::current_exception();
    }
    FPort = value;
    Open();
    if (closeFailure)
        std::rethrow_exception(closeFailure);
}

namespace {

// Stores value and tells whether it differed: a setter re-applies only a change.
template <class T>
bool Change(T& field, T value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

void TCustomComPort::SetBaudRate(TBaudRate value)
{
    if (Change(FBaudRate, value))
        ApplyDCB();
}

void TCustomComPort::SetCustomBaudRate(int value)
{
    if (Change(FCustomBaudRate, value))
        ApplyDCB();
}

void TCustomComPort::SetStopBits(TStopBits value)
{
    if (Change(FStopBits, value))
        ApplyDCB();
}

void TCustomComPort::SetDataBits(TDataBits value)
{
    if (Change(FDataBits, value))
        ApplyDCB();
}

void TCustomComPort::SetDiscardNull(bool value)
{
    if (Change(FDiscardNull, value))
        ApplyDCB();
}

void TCustomComPort::SetEventChar(uint8_t value)
{
    if (Change(FEventChar, value))
        ApplyDCB();
}

void TCustomComPort::SetSyncMethod(TSyncMethod value)
{
    if (value == FSyncMethod)
        return;
    if (FConnected)
        throw EComPort(14);
    FSyncMethod = value;
}

void TCustomComPort::SetEventThreadPriority(TThreadPriority value)
{
    if (value == FEventThreadPriority)
        return;
    if (FConnected)
        throw EComPort(14);
    FEventThreadPriority = value;
}

bool TCustomComPort::TriggersOnRxChar() const
{
    return FTriggersOnRxChar && !FHasLink;
}

void TCustomComPort::SetTriggersOnRxChar(bool value)
{
    if (FHasLink)
        throw EComPort(22);
    FTriggersOnRxChar = value;
}

void TCustomComPort::SetOverlapped(bool value)
{
    if (!FConnected)
        FOverlapped = value;
}

// ---- Settings application ------------------------------------------------------------------------

void TCustomComPort::BeginUpdate()
{
    ++FUpdateCount;
}

void TCustomComPort::EndUpdate()
{
    if (FUpdateCount <= 0)
        return;
    if (--FUpdateCount == 0)
        SetupComPort();
}

void TCustomComPort::SetupComPort()
{
    ApplyBuffer();
    ApplyDCB();
    ApplyTimeouts();
}

LineSettings TCustomComPort::MakeLineSettings() const
{
    LineSettings s;
    s.baudRate = uint32_t(FBaudRate == brCustom ? std::max(FCustomBaudRate, 0) : BaudRateToInt(FBaudRate));
    s.dataBits = 5 + int(FDataBits);
    static constexpr ComBackend::Parity parities[] = {ComBackend::Parity::None, ComBackend::Parity::Odd,
                                                      ComBackend::Parity::Even, ComBackend::Parity::Mark,
                                                      ComBackend::Parity::Space};
    s.parity = parities[FParity.Bits()];
    static constexpr ComBackend::StopBits stops[] = {ComBackend::StopBits::One, ComBackend::StopBits::OneAndHalf,
                                                    ComBackend::StopBits::Two};
    s.stopBits = stops[FStopBits];
    s.parityCheck = FParity.Check();
    s.parityReplace = FParity.Check() && FParity.Replace();
    s.replaceChar = s.parityReplace ? FParity.ReplaceChar() : 0;
    s.discardNull = FDiscardNull;
    s.outCtsFlow = FFlowControl.OutCTSFlow();
    s.outDsrFlow = FFlowControl.OutDSRFlow();
    s.xonXoffOut = FFlowControl.XonXoffOut();
    s.xonXoffIn = FFlowControl.XonXoffIn();
    s.dsrSensitivity = FFlowControl.DSRSensitivity();
    s.txContinueOnXoff = FFlowControl.TxContinueOnXoff();
    static constexpr DtrControl dtrs[] = {DtrControl::Disable, DtrControl::Enable, DtrControl::Handshake};
    s.dtrControl = dtrs[FFlowControl.ControlDTR()];
    static constexpr RtsControl rtss[] = {RtsControl::Disable, RtsControl::Enable, RtsControl::Handshake,
                                          RtsControl::Toggle};
    s.rtsControl = rtss[FFlowControl.ControlRTS()];
    s.xonChar = FFlowControl.XonChar();
    s.xoffChar = FFlowControl.XoffChar();
    s.eventChar = FEventChar;
    // The limits are 16-bit fields; a huge buffer must not wrap them to a small value.
    const int limit = std::clamp(FBuffer.InputSize() / 4, 0, 0xFFFF);
    s.xonLim = uint16_t(limit);
    s.xoffLim = uint16_t(limit);
    return s;
}

void TCustomComPort::ApplyDCB()
{
    if (!CanApply())
        return;
    const int error = FBackend->SetLineSettings(MakeLineSettings());
    if (error != 0)
        RaisePlatform(7, error);
}

void TCustomComPort::ApplyTimeouts()
{
    if (!CanApply())
        return;
    ComBackend::Timeouts t;
    // -1 is the all-bits-set "maximum" of the stored values.
    t.readInterval = uint32_t(FTimeouts.ReadInterval());
    t.readTotalMultiplier = uint32_t(FTimeouts.ReadTotalMultiplier());
    t.readTotalConstant = uint32_t(FTimeouts.ReadTotalConstant());
    t.writeTotalMultiplier = uint32_t(FTimeouts.WriteTotalMultiplier());
    t.writeTotalConstant = uint32_t(FTimeouts.WriteTotalConstant());
    const int error = FBackend->SetTimeouts(t);
    if (error != 0)
        RaisePlatform(8, error);
}

void TCustomComPort::ApplyBuffer()
{
    if (!CanApply())
        return;
    const int error = FBackend->SetBufferSizes(uint32_t(std::max(FBuffer.InputSize(), 0)),
                                               uint32_t(std::max(FBuffer.OutputSize(), 0)));
    if (error != 0)
        RaisePlatform(9, error);
}

// ---- Reading and writing ----------------------------------------------------------------------------

int TCustomComPort::Read(void* buffer, int count)
{
    if (!FReadAsyncPtr)
        FReadAsyncPtr = std::make_unique<TCPortAsync>();
    ReadAsync(buffer, count, FReadAsyncPtr.get());
    return WaitForAsync(FReadAsyncPtr.get());
}

void TCustomComPort::ReadAsync(void* buffer, int count, TCPortAsync* async)
{
    if (!async)
        throw EComPort(4);
    async->Reset(okRead);
    async->Size = std::max(count, 0);
    if (async->Size == 0 || FClosing) {
        async->Completed = true;
        return;
    }
    static_cast<uint8_t*>(buffer)[0] = 0;
    std::size_t done = 0;
    const int error = FBackend ? FBackend->Read(buffer, std::size_t(async->Size), done) : EBADF;
    async->Completed = true;
    async->Transferred = int(std::min(done, std::size_t(async->Size)));
    if (error == 0)
        return;
    async->Error = error;
    if (FReadAsyncExceptionsEnabled)
        RaisePlatform(3, error);
    // Counted here; the caller gets what arrived (nothing when the request
    // failed at once) instead of a wait on a request that never started.
    ++FReadAsyncErrorCount;
    FReadAsyncLastError = error;
    async->ErrorHandled = true;
}

int TCustomComPort::Write(const void* buffer, int count)
{
    if (!FOverlapped) {
        if (count <= 0)
            return 0;
        std::size_t done = 0;
        const int error = FBackend ? FBackend->Write(buffer, std::size_t(count), done) : EBADF;
        if (error != 0) {
            ++FWriteFailCount;
            return 0;
        }
        return int(done);
    }
    if (!FWriteAsyncPtr)
        FWriteAsyncPtr = std::make_unique<TCPortAsync>();
    WriteAsync(buffer, count, FWriteAsyncPtr.get());
    return WaitForAsync(FWriteAsyncPtr.get());
}

void TCustomComPort::WriteAsync(const void* buffer, int count, TCPortAsync* async)
{
    if (!async)
        throw EComPort(4);
    async->Reset(okWrite);
    async->Size = std::max(count, 0);
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (async->Size > 0)
        async->Data.assign(bytes, bytes + async->Size);
    std::size_t done = 0;
    int error = 0;
    if (async->Size > 0)
        error = FBackend ? FBackend->Write(async->Data.data(), async->Data.size(), done) : EBADF;
    async->Completed = true;
    async->Transferred = int(std::min(done, std::size_t(async->Size)));
    if (error != 0) {
        async->Error = error;
        RaisePlatform(2, error);
    }
    SendSignalToLink(leTx, true);
}

int TCustomComPort::ReadStr(std::string& text, int count)
{
    text.assign(std::size_t(std::max(count, 0)), '\0');
    const int done = text.empty() ? 0 : Read(text.data(), int(text.size()));
    text.resize(std::size_t(done));
    return done;
}

int TCustomComPort::WriteStr(const std::string& text)
{
    return Write(text.data(), int(text.size()));
}

void TCustomComPort::ReadStrAsync(std::string& text, int count, TCPortAsync* async)
{
    if (!async)
        throw EComPort(4);
    text.assign(std::size_t(std::max(count, 0)), '\0');
    try {
        ReadAsync(text.data(), int(text.size()), async);
    } catch (...) {
        text.clear();
        throw;
    }
    text.resize(std::size_t(async->Transferred));
}

void TCustomComPort::WriteStrAsync(const std::string& text, TCPortAsync* async)
{
    WriteAsync(text.data(), int(text.size()), async);
}

int TCustomComPort::WaitForAsync(TCPortAsync* async)
{
    if (!async)
        throw EComPort(4);
    if (async->Error != 0 && !async->ErrorHandled)
        RaisePlatform(async->Kind == okRead ? 3 : 2, async->Error);
    // Taken first: a link handler may close the port, and the record with it.
    const int transferred = async->Transferred;
    if (async->Kind == okRead) {
        // Only links follow the receive state; the queue is not asked otherwise.
        if (async->Error == 0 && FAnyLink && InputCount() == 0)
            SendSignalToLink(leRx, false);
    } else if (transferred > 0) {
        TxNotifyLink(async->Data.data(), transferred);
    }
    return transferred;
}

bool TCustomComPort::IsAsyncCompleted(TCPortAsync* async)
{
    if (!async)
        throw EComPort(4);
    return async->Completed;
}

void TCustomComPort::AbortAllAsync()
{
    if (!FOverlapped)
        return;
    const int error = FBackend ? FBackend->AbortPending() : EBADF;
    if (error != 0)
        RaisePlatform(5, error);
}

// ---- Queues and lines -----------------------------------------------------------------------------

namespace {

Status QueryStatus(IPort* backend, int& error)
{
    Status status;
    error = backend ? backend->GetStatus(status) : EBADF;
    return status;
}

} // namespace

int TCustomComPort::InputCount()
{
    if (FInputCountNotSupported || FClosing)
        return 0;
    int error = 0;
    const Status status = QueryStatus(Backend(), error);
    if (error != 0)
        RaisePlatform(10, error);
    return int(std::min<uint32_t>(status.inQueue, 0x7FFFFFFF));
}

int TCustomComPort::OutputCount()
{
    int error = 0;
    const Status status = QueryStatus(Backend(), error);
    if (error != 0)
        RaisePlatform(10, error);
    return int(std::min<uint32_t>(status.outQueue, 0x7FFFFFFF));
}

uint32_t TCustomComPort::StateFlags()
{
    int error = 0;
    const Status status = QueryStatus(Backend(), error);
    if (error != 0)
        RaisePlatform(10, error);
    return status.flags;
}

TComErrors TCustomComPort::LastErrors()
{
    int error = 0;
    const Status status = QueryStatus(Backend(), error);
    if (error != 0)
        RaisePlatform(10, error);
    return ErrorBitsToErrors(status.errors, FParity.Check());
}

TComSignals TCustomComPort::Signals()
{
    uint32_t bits = 0;
    const int error = FBackend ? FBackend->GetModemStatus(bits) : EBADF;
    if (error != 0)
        RaisePlatform(11, error);
    return ModemBitsToSignals(bits);
}

namespace {

int RunEscape(IPort* backend, ComBackend::Escape function)
{
    return backend ? backend->EscapeFunction(function) : EBADF;
}

} // namespace

void TCustomComPort::SetDTR(bool on)
{
    if (const int error = RunEscape(Backend(), on ? ComBackend::Escape::SetDtr : ComBackend::Escape::ClrDtr))
        RaisePlatform(12, error);
}

void TCustomComPort::SetRTS(bool on)
{
    if (const int error = RunEscape(Backend(), on ? ComBackend::Escape::SetRts : ComBackend::Escape::ClrRts))
        RaisePlatform(12, error);
}

void TCustomComPort::SetBreak(bool on)
{
    if (const int error = RunEscape(Backend(), on ? ComBackend::Escape::SetBreak : ComBackend::Escape::ClrBreak))
        RaisePlatform(12, error);
}

void TCustomComPort::SetXonXoff(bool on)
{
    if (const int error = RunEscape(Backend(), on ? ComBackend::Escape::SetXon : ComBackend::Escape::SetXoff))
        RaisePlatform(12, error);
}

void TCustomComPort::TransmitChar(uint8_t c)
{
    const int error = FBackend ? FBackend->TransmitChar(c) : EBADF;
    if (error != 0)
        RaisePlatform(13, error);
}

void TCustomComPort::ClearBuffer(bool input, bool output)
{
    const int error = FBackend ? FBackend->Purge(input, output) : EBADF;
    if (error != 0)
        RaisePlatform(5, error);
}

void TCustomComPort::WaitForEvent(TComEvents& events, int stopFd, int timeoutMs)
{
    if (FThreadCreated)
        throw EComPort(20);
    if (!FBackend)
        RaisePlatform(21, EBADF);
    if (const int error = FBackend->SetEventMask(EventsToBits(events)))
        RaisePlatform(21, error);
    const WaitResult result = FBackend->WaitEvent(stopFd, timeoutMs);
    FBackend->SetEventMask(0);
    events = TComEvents();
    switch (result.outcome) {
    case WaitOutcome::Events:
        events = BitsToEvents(result.occurred);
        return;
    case WaitOutcome::Timeout:
    case WaitOutcome::Stopped:
        return;
    case WaitOutcome::Hangup:
        RaisePlatform(21, EIO);
    case WaitOutcome::Failed:
        break;
    }
    RaisePlatform(21, result.error != 0 ? result.error : EIO);
}

// ---- Links ---------------------------------------------------------------------------------------------

std::vector<TComLink*> TCustomComPort::LinksCopy() const
{
    std::lock_guard<std::mutex> lock(FLinksMutex);
    return FLinks;
}

void TCustomComPort::RegisterLink(TComLink* link)
{
    if (!link)
        throw EComPort(18);
    std::lock_guard<std::mutex> lock(FLinksMutex);
    if (std::find(FLinks.begin(), FLinks.end(), link) != FLinks.end())
        throw EComPort(18);
    FLinks.push_back(link);
    FHasLink = std::any_of(FLinks.begin(), FLinks.end(), [](TComLink* l) { return bool(l->OnRxBuf); });
    FAnyLink = !FLinks.empty();
}

void TCustomComPort::UnRegisterLink(TComLink* link)
{
    std::lock_guard<std::mutex> lock(FLinksMutex);
    const auto it = std::find(FLinks.begin(), FLinks.end(), link);
    if (!link || it == FLinks.end())
        throw EComPort(18);
    FLinks.erase(it);
    FHasLink = std::any_of(FLinks.begin(), FLinks.end(), [](TComLink* l) { return bool(l->OnRxBuf); });
    FAnyLink = !FLinks.empty();
}

void TCustomComPort::SendSignalToLink(TComLinkEvent event, bool onOff)
{
    for (TComLink* link : LinksCopy()) {
        if (LeftByHandler())
            return;
        TComSignalEvent* handler = nullptr;
        switch (event) {
        case leConn: handler = &link->OnConn; break;
        case leCTS: handler = &link->OnCTSChange; break;
        case leDSR: handler = &link->OnDSRChange; break;
        case leRLSD: handler = &link->OnRLSDChange; break;
        case leRx: handler = &link->OnRx; break;
        case leTx: handler = &link->OnTx; break;
        default: break;
        }
        if (handler && *handler)
            (*handler)(*this, onOff);
    }
}

void TCustomComPort::NotifyLink(TComLinkEvent event)
{
    for (TComLink* link : LinksCopy()) {
        if (LeftByHandler())
            return;
        TComNotifyEvent* handler = nullptr;
        switch (event) {
        case leRing: handler = &link->OnRing; break;
        case leTxEmpty: handler = &link->OnTxEmpty; break;
        case leRxFlag: handler = &link->OnRxFlag; break;
        default: break;
        }
        if (handler && *handler)
            (*handler)(*this);
    }
}

void TCustomComPort::TxNotifyLink(const void* buffer, int count)
{
    for (TComLink* link : LinksCopy()) {
        if (LeftByHandler())
            return;
        if (link->OnTxBuf)
            link->OnTxBuf(*this, buffer, count);
    }
}

// ---- Event paths -----------------------------------------------------------------------------------------

void TCustomComPort::DispatchEvents(TComEvents events, const std::atomic<bool>* stop)
{
    using Path = void (TCustomComPort::*)();
    static constexpr std::pair<TComEvent, Path> order[] = {
        {evError, &TCustomComPort::CallError},
        {evRxChar, &TCustomComPort::CallRxChar},
        {evTxEmpty, &TCustomComPort::CallTxEmpty},
        {evBreak, &TCustomComPort::CallBreak},
        {evRing, &TCustomComPort::CallRing},
        {evCTS, &TCustomComPort::CallCTSChange},
        {evDSR, &TCustomComPort::CallDSRChange},
        {evRxFlag, &TCustomComPort::CallRxFlag},
        {evRLSD, &TCustomComPort::CallRLSDChange},
        {evRx80Full, &TCustomComPort::CallRx80Full},
    };
    for (const auto& [event, path] : order) {
        // These first: after a handler closed (or destroyed) the port,
        // nothing of it may be touched.
        if ((stop && *stop) || LeftByHandler())
            return;
        if (!FConnected)
            return;
        if (events.Contains(event))
            (this->*path)();
    }
}

void TCustomComPort::CallRxChar()
{
    if (FInputCountNotSupported)
        return;
    int count = InputCount();
    if (count > 0)
        SendSignalToLink(leRx, true);
    if (count > 0 && !LeftByHandler() && !TriggersOnRxChar()) {
        std::vector<uint8_t> buffer;
        int got = 0;
        bool didRead = false;
        auto readOnce = [&] {
            buffer.resize(std::size_t(count));
            got = Read(buffer.data(), count);
            if (!LeftByHandler())
                DoRxBuf(buffer.data(), got);
            didRead = true;
        };
        for (TComLink* link : LinksCopy()) {
            if (LeftByHandler())
                return;
            if (!link->OnRxBuf)
                continue;
            if (!didRead)
                readOnce();
            // Only what was read: a short read leaves the rest of the buffer unset.
            if (!LeftByHandler())
                link->OnRxBuf(*this, buffer.data(), got);
        }
        if (LeftByHandler())
            return;
        if (!didRead && !FTriggersOnRxChar)
            readOnce();
        if (didRead)
            count = 0;
    }
    if (count > 0 && !LeftByHandler())
        DoRxChar(count);
}

void TCustomComPort::CallError()
{
    const TComErrors errors = LastErrors();
    if (!errors.Empty())
        DoError(errors);
}

void TCustomComPort::CallTxEmpty()
{
    SendSignalToLink(leTx, false);
    NotifyLink(leTxEmpty);
    if (!LeftByHandler())
        DoTxEmpty();
}

void TCustomComPort::CallBreak() { DoBreak(); }
void TCustomComPort::CallRx80Full() { DoRx80Full(); }

void TCustomComPort::CallRing()
{
    NotifyLink(leRing);
    if (!LeftByHandler())
        DoRing();
}

void TCustomComPort::CallRxFlag()
{
    NotifyLink(leRxFlag);
    if (!LeftByHandler())
        DoRxFlag();
}

void TCustomComPort::CallCTSChange()
{
    const bool on = Signals().Contains(csCTS);
    SendSignalToLink(leCTS, on);
    if (!LeftByHandler())
        DoCTSChange(on);
}

void TCustomComPort::CallDSRChange()
{
    const bool on = Signals().Contains(csDSR);
    SendSignalToLink(leDSR, on);
    if (!LeftByHandler())
        DoDSRChange(on);
}

void TCustomComPort::CallRLSDChange()
{
    const bool on = Signals().Contains(csRLSD);
    SendSignalToLink(leRLSD, on);
    if (!LeftByHandler())
        DoRLSDChange(on);
}

void TCustomComPort::CallBeforeOpen() { DoBeforeOpen(); }

void TCustomComPort::CallAfterOpen()
{
    SendSignalToLink(leConn, true);
    DoAfterOpen();
    CallCTSChange();
    CallDSRChange();
    CallRLSDChange();
}

void TCustomComPort::CallBeforeClose()
{
    SendSignalToLink(leCTS, false);
    SendSignalToLink(leDSR, false);
    SendSignalToLink(leRLSD, false);
    DoCTSChange(false);
    DoDSRChange(false);
    DoRLSDChange(false);
    DoBeforeClose();
}

void TCustomComPort::CallAfterClose()
{
    SendSignalToLink(leConn, false);
    DoAfterClose();
}

void TCustomComPort::DoRxChar(int count) { if (OnRxChar) OnRxChar(*this, count); }
void TCustomComPort::DoRxBuf(const void* buffer, int count) { if (OnRxBuf) OnRxBuf(*this, buffer, count); }
void TCustomComPort::DoTxEmpty() { if (OnTxEmpty) OnTxEmpty(*this); }
void TCustomComPort::DoBreak() { if (OnBreak) OnBreak(*this); }
void TCustomComPort::DoRing() { if (OnRing) OnRing(*this); }
void TCustomComPort::DoRxFlag() { if (OnRxFlag) OnRxFlag(*this); }
void TCustomComPort::DoCTSChange(bool onOff) { if (OnCTSChange) OnCTSChange(*this, onOff); }
void TCustomComPort::DoDSRChange(bool onOff) { if (OnDSRChange) OnDSRChange(*this, onOff); }
void TCustomComPort::DoRLSDChange(bool onOff) { if (OnRLSDChange) OnRLSDChange(*this, onOff); }
void TCustomComPort::DoError(TComErrors errors) { if (OnError) OnError(*this, errors); }
void TCustomComPort::DoRx80Full() { if (OnRx80Full) OnRx80Full(*this); }
void TCustomComPort::DoBeforeOpen() { if (OnBeforeOpen) OnBeforeOpen(*this); }
void TCustomComPort::DoAfterOpen() { if (OnAfterOpen) OnAfterOpen(*this); }
void TCustomComPort::DoBeforeClose() { if (OnBeforeClose) OnBeforeClose(*this); }
void TCustomComPort::DoAfterClose() { if (OnAfterClose) OnAfterClose(*this); }

// ---- Settings store ------------------------------------------------------------------------------------------

namespace {

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// A small ini file: sections of key=value lines. Names compare without case;
// whatever else the file holds is kept when it is written back.
class TIniFile {
public:
    // False when the file exists but cannot be read; a missing file is empty.
    bool Load(const std::string& path)
    {
        FSections.clear();
        std::error_code ec;
        if (!std::filesystem::exists(path, ec))
            return !ec;
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return false;
        std::string line;
        Section* current = nullptr;
        while (std::getline(in, line)) {
            const std::string text = Trim(line);
            if (text.empty() || text.front() == ';')
                continue;
            if (text.front() == '[' && text.back() == ']') {
                current = &FindOrAdd(text.substr(1, text.size() - 2));
                continue;
            }
            const auto eq = text.find('=');
            if (!current || eq == std::string::npos)
                continue;
            current->values.emplace_back(Trim(text.substr(0, eq)), Trim(text.substr(eq + 1)));
        }
        return !in.bad();
    }

    // Written next to the target and renamed over it, so a failed write never
    // leaves a half file behind.
    bool Save(const std::string& path) const
    {
        const std::string temp = path + ".tmp";
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            if (!out)
                return false;
            for (const Section& section : FSections) {
                out << '[' << section.name << "]\n";
                for (const auto& [key, value] : section.values)
                    out << key << '=' << value << '\n';
                out << '\n';
            }
            out.flush();
            if (!out) {
                std::error_code ignored;
                std::filesystem::remove(temp, ignored);
                return false;
            }
        }
        std::error_code ec;
        std::filesystem::rename(temp, path, ec);
        if (ec) {
            std::filesystem::remove(temp, ec);
            return false;
        }
        return true;
    }

    const std::string* Get(const std::string& section, const std::string& key) const
    {
        const Section* s = Find(section);
        if (!s)
            return nullptr;
        const std::string upper = ComUpperCase(key);
        for (const auto& [k, v] : s->values) {
            if (ComUpperCase(k) == upper)
                return &v;
        }
        return nullptr;
    }

    void Set(const std::string& section, const std::string& key, const std::string& value)
    {
        Section& s = FindOrAdd(section);
        const std::string upper = ComUpperCase(key);
        for (auto& [k, v] : s.values) {
            if (ComUpperCase(k) == upper) {
                v = value;
                return;
            }
        }
        s.values.emplace_back(key, value);
    }

private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> values;
    };

    const Section* Find(const std::string& name) const
    {
        const std::string upper = ComUpperCase(name);
        for (const Section& s : FSections) {
            if (ComUpperCase(s.name) == upper)
                return &s;
        }
        return nullptr;
    }

    Section& FindOrAdd(const std::string& name)
    {
        if (const Section* s = Find(name))
            return const_cast<Section&>(*s);
        FSections.push_back(Section{name, {}});
        return FSections.back();
    }

    std::vector<Section> FSections;
};

std::string BoolToStore(bool value) { return value ? "Yes" : "No"; }
bool StoreToBool(const std::string& text) { return ComUpperCase(text) == "YES"; }

// Printable characters as themselves, every other as "#<code>".
std::string CharToStore(uint8_t c)
{
    if (c >= 33 && c <= 127)
        return std::string(1, char(c));
    return "#" + std::to_string(c);
}

bool StoreToChar(const std::string& text, uint8_t& c)
{
    if (text.empty()) {
        c = 0;
        return true;
    }
    if (text.front() == '#' && text.size() > 1) {
        int code = 0;
        if (!TryStrToIntStrict(QString::fromStdString(text.substr(1)), code) || code < 0 || code > 255)
            return false;
        c = uint8_t(code);
        return true;
    }
    c = uint8_t(text.front());
    return true;
}

bool StoreToInt(const std::string& text, int& value)
{
    return TryStrToIntStrict(QString::fromStdString(text), value);
}

// The section that stands for a registry key, or empty when the path names none.
std::string RegistrySection(const std::string& path, const std::string& name)
{
    const auto slash = path.find('\\');
    if (slash == std::string::npos)
        return std::string();
    std::string root = ComUpperCase(path.substr(0, slash));
    if (root != "HKEY_LOCAL_MACHINE" && root != "HKEY_CURRENT_USER")
        root = "HKEY_CURRENT_USER";
    std::string key = path.substr(slash + 1);
    if (key.empty() || key.back() != '\\')
        key += '\\';
    return root + '\\' + key + name;
}

std::string RegistryFile()
{
    std::string base;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !home[0])
            return std::string();
        base = std::string(home) + "/.config";
    }
    return base + "/TRAXEL/comport-registry.ini";
}

} // namespace

void TCustomComPort::StoreSettings(TStoreType storeType, const std::string& path)
{
    if (storeType == stIniFile) {
        StoreIni(path, FName);
        return;
    }
    const std::string section = RegistrySection(path, FName);
    if (section.empty())
        return;
    const std::string file = RegistryFile();
    if (file.empty())
        throw EComPort(16);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    if (ec)
        throw EComPort(16);
    StoreIni(file, section);
}

void TCustomComPort::LoadSettings(TStoreType storeType, const std::string& path)
{
    if (storeType == stIniFile) {
        LoadIni(path, FName);
        return;
    }
    const std::string section = RegistrySection(path, FName);
    if (section.empty())
        return;
    const std::string file = RegistryFile();
    if (file.empty())
        throw EComPort(17);
    LoadIni(file, section);
}

void TCustomComPort::StoreIni(const std::string& file, const std::string& section)
{
    TIniFile ini;
    if (!ini.Load(file))
        throw EComPort(16);
    auto put = [&](const char* key, const std::string& value) { ini.Set(section, key, value); };
    auto putInt = [&](const char* key, int value) { put(key, std::to_string(value)); };
    if (FStoredProps.Contains(spBasic)) {
        put("Port", FPort);
        put("BaudRate", BaudRateToStr(FBaudRate));
        if (FBaudRate == brCustom)
            putInt("CustomBaudRate", FCustomBaudRate);
        put("StopBits", StopBitsToStr(FStopBits));
        put("DataBits", DataBitsToStr(FDataBits));
        put("Parity", ParityToStr(FParity.Bits()));
        put("FlowControl", FlowControlToStr(FFlowControl.FlowControl()));
    }
    if (FStoredProps.Contains(spOthers)) {
        put("EventChar", CharToStore(FEventChar));
        put("DiscardNull", BoolToStore(FDiscardNull));
    }
    if (FStoredProps.Contains(spParity)) {
        put("Parity.Check", BoolToStore(FParity.Check()));
        put("Parity.Replace", BoolToStore(FParity.Replace()));
        put("Parity.ReplaceChar", CharToStore(FParity.ReplaceChar()));
    }
    if (FStoredProps.Contains(spBuffer)) {
        putInt("Buffer.OutputSize", FBuffer.OutputSize());
        putInt("Buffer.InputSize", FBuffer.InputSize());
    }
    if (FStoredProps.Contains(spTimeouts)) {
        putInt("Timeouts.ReadInterval", FTimeouts.ReadInterval());
        putInt("Timeouts.ReadTotalConstant", FTimeouts.ReadTotalConstant());
        putInt("Timeouts.ReadTotalMultiplier", FTimeouts.ReadTotalMultiplier());
        putInt("Timeouts.WriteTotalConstant", FTimeouts.WriteTotalConstant());
        putInt("Timeouts.WriteTotalMultiplier", FTimeouts.WriteTotalMultiplier());
    }
    if (FStoredProps.Contains(spFlowControl)) {
        put("FlowControl.ControlRTS", RTSControlToStr(FFlowControl.ControlRTS()));
        put("FlowControl.ControlDTR", DTRControlToStr(FFlowControl.ControlDTR()));
        put("FlowControl.DSRSensitivity", BoolToStore(FFlowControl.DSRSensitivity()));
        put("FlowControl.OutCTSFlow", BoolToStore(FFlowControl.OutCTSFlow()));
        put("FlowControl.OutDSRFlow", BoolToStore(FFlowControl.OutDSRFlow()));
        put("FlowControl.TxContinueOnXoff", BoolToStore(FFlowControl.TxContinueOnXoff()));
        put("FlowControl.XonXoffIn", BoolToStore(FFlowControl.XonXoffIn()));
        put("FlowControl.XonXoffOut", BoolToStore(FFlowControl.XonXoffOut()));
        put("FlowControl.XoffChar", CharToStore(FFlowControl.XoffChar()));
        put("FlowControl.XonChar", CharToStore(FFlowControl.XonChar()));
    }
    if (!ini.Save(file))
        throw EComPort(16);
}

void TCustomComPort::LoadIni(const std::string& file, const std::string& section)
{
    TIniFile ini;
    if (!ini.Load(file))
        throw EComPort(17);

    // Every value is checked before the first one is set, so a damaged file
    // changes nothing. A value the file does not hold keeps its setting.
    std::vector<std::function<void()>> apply;
    auto text = [&](const char* key, auto&& use) {
        if (const std::string* value = ini.Get(section, key))
            apply.push_back([use, v = *value] { use(v); });
    };
    auto boolean = [&](const char* key, auto&& use) {
        text(key, [use](const std::string& v) { use(StoreToBool(v)); });
    };
    auto integer = [&](const char* key, bool allowNegative, auto&& use) {
        if (const std::string* value = ini.Get(section, key)) {
            int n = 0;
            if (!StoreToInt(*value, n) || (!allowNegative && n < 0))
                throw EComPort(17);
            apply.push_back([use, n] { use(n); });
        }
    };
    auto character = [&](const char* key, auto&& use) {
        if (const std::string* value = ini.Get(section, key)) {
            uint8_t c = 0;
            if (!StoreToChar(*value, c))
                throw EComPort(17);
            apply.push_back([use, c] { use(c); });
        }
    };

    if (FStoredProps.Contains(spBasic)) {
        text("Port", [this](const std::string& v) { SetPort(v); });
        text("BaudRate", [this](const std::string& v) { SetBaudRate(StrToBaudRate(v)); });
        integer("CustomBaudRate", false, [this](int v) { SetCustomBaudRate(v); });
        text("StopBits", [this](const std::string& v) { SetStopBits(StrToStopBits(v)); });
        text("DataBits", [this](const std::string& v) { SetDataBits(StrToDataBits(v)); });
        text("Parity", [this](const std::string& v) { FParity.SetBits(StrToParity(v)); });
        text("FlowControl", [this](const std::string& v) { FFlowControl.SetFlowControl(StrToFlowControl(v)); });
    }
    if (FStoredProps.Contains(spOthers)) {
        character("EventChar", [this](uint8_t v) { SetEventChar(v); });
        boolean("DiscardNull", [this](bool v) { SetDiscardNull(v); });
    }
    if (FStoredProps.Contains(spParity)) {
        boolean("Parity.Check", [this](bool v) { FParity.SetCheck(v); });
        boolean("Parity.Replace", [this](bool v) { FParity.SetReplace(v); });
        character("Parity.ReplaceChar", [this](uint8_t v) { FParity.SetReplaceChar(v); });
    }
    if (FStoredProps.Contains(spBuffer)) {
        integer("Buffer.OutputSize", false, [this](int v) { FBuffer.SetOutputSize(v); });
        integer("Buffer.InputSize", false, [this](int v) { FBuffer.SetInputSize(v); });
    }
    if (FStoredProps.Contains(spTimeouts)) {
        integer("Timeouts.ReadInterval", true, [this](int v) { FTimeouts.SetReadInterval(v); });
        integer("Timeouts.ReadTotalConstant", true, [this](int v) { FTimeouts.SetReadTotalConstant(v); });
        integer("Timeouts.ReadTotalMultiplier", true, [this](int v) { FTimeouts.SetReadTotalMultiplier(v); });
        integer("Timeouts.WriteTotalConstant", true, [this](int v) { FTimeouts.SetWriteTotalConstant(v); });
        integer("Timeouts.WriteTotalMultiplier", true, [this](int v) { FTimeouts.SetWriteTotalMultiplier(v); });
    }
    if (FStoredProps.Contains(spFlowControl)) {
        text("FlowControl.ControlRTS", [this](const std::string& v) { FFlowControl.SetControlRTS(StrToRTSControl(v)); });
        text("FlowControl.ControlDTR", [this](const std::string& v) { FFlowControl.SetControlDTR(StrToDTRControl(v)); });
        boolean("FlowControl.DSRSensitivity", [this](bool v) { FFlowControl.SetDSRSensitivity(v); });
        boolean("FlowControl.OutCTSFlow", [this](bool v) { FFlowControl.SetOutCTSFlow(v); });
        boolean("FlowControl.OutDSRFlow", [this](bool v) { FFlowControl.SetOutDSRFlow(v); });
        boolean("FlowControl.TxContinueOnXoff", [this](bool v) { FFlowControl.SetTxContinueOnXoff(v); });
        boolean("FlowControl.XonXoffIn", [this](bool v) { FFlowControl.SetXonXoffIn(v); });
        boolean("FlowControl.XonXoffOut", [this](bool v) { FFlowControl.SetXonXoffOut(v); });
        character("FlowControl.XoffChar", [this](uint8_t v) { FFlowControl.SetXoffChar(v); });
        character("FlowControl.XonChar", [this](uint8_t v) { FFlowControl.SetXonChar(v); });
    }

    BeginUpdate();
    try {
        for (const auto& step : apply)
            step();
    } catch (...) {
        try {
            EndUpdate();
        } catch (...) {
        }
        throw;
    }
    EndUpdate();
}
