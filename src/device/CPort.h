// The serial-port component: one port object with its settings sub-objects,
// the re-apply rules of its properties, blocking and record-based reads and
// writes, the per-port event thread and the links through which widgets follow
// a port. The operating system is reached only through ComBackend::IPort; every
// failing backend call becomes an EComPort with the component's error code.
#pragma once

#include "CPortTypes.h"
#include "ComBackend.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TCustomComPort;

// ---- Hooks the program plugs in ---------------------------------------------------

// Resolves "COMn" to a device path; an empty answer means no such port.
using TComPortResolver = std::function<std::string(int number)>;
void SetComPortResolver(TComPortResolver resolver);

// Hands a call to the GUI thread for smThreadSync and smWindowSync. The invoker
// should queue the call and return; the event thread itself waits until the
// call has run, and gives up waiting when the port is being closed, so a Close
// on the GUI thread never deadlocks against a pending call (a queued call that
// runs after that does nothing). Without an invoker the call runs on the event
// thread.
using TComSyncInvoker = std::function<void(std::function<void()> call)>;
void SetComSyncInvoker(TComSyncInvoker invoker);

// ---- Handler types ------------------------------------------------------------------

using TComNotifyEvent = std::function<void(TCustomComPort& sender)>;
using TRxCharEvent = std::function<void(TCustomComPort& sender, int count)>;
using TRxBufEvent = std::function<void(TCustomComPort& sender, const void* buffer, int count)>;
using TComSignalEvent = std::function<void(TCustomComPort& sender, bool onOff)>;
using TComErrorEvent = std::function<void(TCustomComPort& sender, TComErrors errors)>;

// ---- Settings sub-objects -------------------------------------------------------------
// Each belongs to a port (or stands alone as a value, port null). A setter that
// changes a value re-applies its group on an open port.

class TComBuffer {
public:
    explicit TComBuffer(TCustomComPort* port = nullptr) : FComPort(port) {}
    TComBuffer(const TComBuffer& other) : FInputSize(other.FInputSize), FOutputSize(other.FOutputSize) {}
    TComBuffer& operator=(const TComBuffer& other);

    int InputSize() const { return FInputSize; }
    int OutputSize() const { return FOutputSize; }
    // Odd sizes are lowered by one.
    void SetInputSize(int value);
    void SetOutputSize(int value);

private:
    TCustomComPort* FComPort;
    int FInputSize = 1024;
    int FOutputSize = 1024;
};

class TComParity {
public:
    explicit TComParity(TCustomComPort* port = nullptr) : FComPort(port) {}
    TComParity(const TComParity& other)
        : FBits(other.FBits), FCheck(other.FCheck), FReplace(other.FReplace), FReplaceChar(other.FReplaceChar) {}
    TComParity& operator=(const TComParity& other);

    TParityBits Bits() const { return FBits; }
    bool Check() const { return FCheck; }
    bool Replace() const { return FReplace; }
    uint8_t ReplaceChar() const { return FReplaceChar; }
    void SetBits(TParityBits value);
    void SetCheck(bool value);
    void SetReplace(bool value);
    void SetReplaceChar(uint8_t value);

private:
    TCustomComPort* FComPort;
    TParityBits FBits = prNone;
    bool FCheck = false;
    bool FReplace = false;
    uint8_t FReplaceChar = 0;
};

class TComTimeouts {
public:
    explicit TComTimeouts(TCustomComPort* port = nullptr) : FComPort(port) {}
    TComTimeouts(const TComTimeouts& other)
        : FReadInterval(other.FReadInterval), FReadTotalMultiplier(other.FReadTotalMultiplier),
          FReadTotalConstant(other.FReadTotalConstant), FWriteTotalMultiplier(other.FWriteTotalMultiplier),
          FWriteTotalConstant(other.FWriteTotalConstant) {}
    TComTimeouts& operator=(const TComTimeouts& other);

    // Milliseconds; -1 is the "maximum" value (ReadInterval -1 with both read
    // totals 0: a read returns at once with what is there).
    int ReadInterval() const { return FReadInterval; }
    int ReadTotalMultiplier() const { return FReadTotalMultiplier; }
    int ReadTotalConstant() const { return FReadTotalConstant; }
    int WriteTotalMultiplier() const { return FWriteTotalMultiplier; }
    int WriteTotalConstant() const { return FWriteTotalConstant; }
    void SetReadInterval(int value);
    void SetReadTotalMultiplier(int value);
    void SetReadTotalConstant(int value);
    void SetWriteTotalMultiplier(int value);
    void SetWriteTotalConstant(int value);

private:
    void Set(int& field, int value);

    TCustomComPort* FComPort;
    int FReadInterval = -1;
    int FReadTotalMultiplier = 0;
    int FReadTotalConstant = 0;
    int FWriteTotalMultiplier = 100;
    int FWriteTotalConstant = 1000;
};

class TComFlowControl {
public:
    explicit TComFlowControl(TCustomComPort* port = nullptr) : FComPort(port) {}
    TComFlowControl(const TComFlowControl& other) { CopyValues(other); }
    TComFlowControl& operator=(const TComFlowControl& other);

    bool OutCTSFlow() const { return FOutCTSFlow; }
    bool OutDSRFlow() const { return FOutDSRFlow; }
    TDTRFlowControl ControlDTR() const { return FControlDTR; }
    TRTSFlowControl ControlRTS() const { return FControlRTS; }
    bool XonXoffOut() const { return FXonXoffOut; }
    bool XonXoffIn() const { return FXonXoffIn; }
    bool DSRSensitivity() const { return FDSRSensitivity; }
    bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
    uint8_t XonChar() const { return FXonChar; }
    uint8_t XoffChar() const { return FXoffChar; }
    void SetOutCTSFlow(bool value);
    void SetOutDSRFlow(bool value);
    void SetControlDTR(TDTRFlowControl value);
    void SetControlRTS(TRTSFlowControl value);
    void SetXonXoffOut(bool value);
    void SetXonXoffIn(bool value);
    void SetDSRSensitivity(bool value);
    void SetTxContinueOnXoff(bool value);
    void SetXonChar(uint8_t value);
    void SetXoffChar(uint8_t value);

    // Derived from RTS control, CTS flow and XON/XOFF; fcCustom when the
    // settings match none of the three standard forms.
    TFlowControl FlowControl() const;
    // fcHardware/fcSoftware/fcNone reset the four fields first; fcCustom keeps
    // them. Either way the line settings are re-applied.
    void SetFlowControl(TFlowControl value);

private:
    void CopyValues(const TComFlowControl& other);
    template <class T>
    void Set(T& field, T value);

    TCustomComPort* FComPort = nullptr;
    bool FOutCTSFlow = false;
    bool FOutDSRFlow = false;
    TDTRFlowControl FControlDTR = dtrDisable;
    TRTSFlowControl FControlRTS = rtsDisable;
    bool FXonXoffOut = false;
    bool FXonXoffIn = false;
    bool FDSRSensitivity = false;
    bool FTxContinueOnXoff = false;
    uint8_t FXonChar = 17;
    uint8_t FXoffChar = 19;
};

// ---- One read or write operation -------------------------------------------------------
// Operations run to their end when started (the backend blocks as the time-outs
// say), so a record is always complete afterwards.

class TCPortAsync {
public:
    TOperationKind Kind = okRead;
    std::vector<uint8_t> Data; // copy of the bytes written
    int Size = 0;              // bytes requested
    int Transferred = 0;
    int Error = 0;             // errno of the failed request, 0 when none
    bool Completed = false;
    bool ErrorHandled = false; // already counted; waiting reports no failure

    void Reset(TOperationKind kind);
};

// ---- Links ------------------------------------------------------------------------------

class TComLink {
public:
    // Signal handlers: leConn, leCTS, leDSR, leRLSD, leRx, leTx.
    TComSignalEvent OnConn;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TComSignalEvent OnRx;
    TComSignalEvent OnTx;
    // Notify handlers: leRing, leTxEmpty, leRxFlag.
    TComNotifyEvent OnRing;
    TComNotifyEvent OnTxEmpty;
    TComNotifyEvent OnRxFlag;
    // Received and written bytes.
    TRxBufEvent OnRxBuf;
    TRxBufEvent OnTxBuf;
    // The port is being destroyed and has already dropped this link: the
    // owner must forget the port (and not unregister). Called once, on the
    // destroying thread, after the port was closed and its event thread
    // ended.
    TComNotifyEvent OnRemove;
};

// ---- Event thread --------------------------------------------------------------------------
// One per open port with events. It waits on the backend and runs the port's
// event paths (smNone: right here; smThreadSync/smWindowSync: through the
// sync invoker, waiting for the call). Nothing thrown ends the process: a
// raising handler ends the loop, and so does anything else thrown in it; both
// are logged and the port stays open and closable.

class TComThread : public std::enable_shared_from_this<TComThread> {
public:
    // Sets the port's event mask and keeps the port's name for its log lines
    // (read here, on the opening thread). Start runs the loop.
    TComThread(TCustomComPort& port, std::shared_ptr<ComBackend::IPort> backend);
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    void Start();
    // Asks the loop to end and releases any wait; any thread, returns at once.
    void Stop();
    // Waits for the thread; from the thread itself it only detaches.
    void Join();
    bool IsCurrentThread() const;
    // The loop leaves the port alone after it ends: set when the port was closed
    // from this thread's own handler, which already cleaned the port up.
    void Abandon() { FState->abandoned = true; }
    bool StopRequested() const { return FState->stop; }

private:
    struct State {
        std::atomic<bool> stop{false};
        std::atomic<bool> abandoned{false};
        std::mutex mutex;
        std::condition_variable wake;
    };

    void Execute() noexcept;
    void RunLoop();
    void Finish() noexcept;
    // False when the loop must end (a handler raised).
    bool DispatchComMsg(TComEvents events);
    bool DoEvents(TComEvents events);
    bool SyncEvents(TComEvents events);

    TCustomComPort* FComPort;
    const std::string FPortName;
    std::shared_ptr<ComBackend::IPort> FBackend;
    std::shared_ptr<State> FState;
    TSyncMethod FSyncMethod;
    std::thread FThread;
    std::thread::id FThreadId;
};

// ---- The port -------------------------------------------------------------------------------
// Threads: settings, Open and Close belong to one controlling thread (the GUI
// thread); the event thread runs the handlers, which may read, write and
// close the port. Closes are serialised: a second Close waits until the first
// has ended, except on the port's own event thread while another thread
// closes (that close waits for the event thread, so the handler's Close
// returns at once). Connected() turns false for other threads only when a
// close has completely ended, so a handler that closes its port has finished
// with it (after-close hook, thread tidy-up) before anyone may destroy it; the
// remaining paths of that event are skipped.

class TCustomComPort {
public:
    explicit TCustomComPort(ComBackend::PortFactory factory = ComBackend::CreatePosixPort);
    // Closes the port; never throws (a failing close is logged).
    virtual ~TCustomComPort();
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;

    // ---- Properties
    const std::string& Name() const { return FName; }
    void SetName(const std::string& name) { FName = name; }

    // False once the port is closed; while a close runs it reads true except
    // on the closing thread from the moment the handle is released.
    bool Connected() const;
    void SetConnected(bool value);
    const std::string& Port() const { return FPort; }
    // On an open port: close, take the new name, open again.
    void SetPort(const std::string& value);
    TBaudRate BaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate value);
    int CustomBaudRate() const { return FCustomBaudRate; }
    void SetCustomBaudRate(int value);
    TStopBits StopBits() const { return FStopBits; }
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const { return FDataBits; }
    void SetDataBits(TDataBits value);
    bool DiscardNull() const { return FDiscardNull; }
    void SetDiscardNull(bool value);
    uint8_t EventChar() const { return FEventChar; }
    void SetEventChar(uint8_t value);
    TComEvents Events() const { return FEvents; }
    void SetEvents(TComEvents value) { FEvents = value; } // takes effect at the next open
    TSyncMethod SyncMethod() const { return FSyncMethod; }
    void SetSyncMethod(TSyncMethod value);            // EComPort 14 while connected
    TThreadPriority EventThreadPriority() const { return FEventThreadPriority; }
    void SetEventThreadPriority(TThreadPriority value); // EComPort 14 while connected
    bool TriggersOnRxChar() const;
    void SetTriggersOnRxChar(bool value);             // EComPort 22 with an OnRxBuf link
    bool Overlapped() const { return FOverlapped; }
    void SetOverlapped(bool value);                   // ignored while connected
    TStoredProps StoredProps() const { return FStoredProps; }
    void SetStoredProps(TStoredProps value) { FStoredProps = value; }
    bool InputCountNotSupported() const { return FInputCountNotSupported; }
    void SetInputCountNotSupported(bool value) { FInputCountNotSupported = value; }

    TComBuffer& Buffer() { return FBuffer; }
    TComParity& Parity() { return FParity; }
    TComTimeouts& Timeouts() { return FTimeouts; }
    TComFlowControl& FlowControl() { return FFlowControl; }
    const TComBuffer& Buffer() const { return FBuffer; }
    const TComParity& Parity() const { return FParity; }
    const TComTimeouts& Timeouts() const { return FTimeouts; }
    const TComFlowControl& FlowControl() const { return FFlowControl; }
    void SetBuffer(const TComBuffer& value) { FBuffer = value; }
    void SetParity(const TComParity& value) { FParity = value; }
    void SetTimeouts(const TComTimeouts& value) { FTimeouts = value; }
    void SetFlowControl(const TComFlowControl& value) { FFlowControl = value; }

    // Failed read requests: raise EComPort 3 when enabled, else count them.
    bool ReadAsyncExceptionsEnabled() const { return FReadAsyncExceptionsEnabled; }
    void SetReadAsyncExceptionsEnabled(bool value) { FReadAsyncExceptionsEnabled = value; }
    int ReadAsyncErrorCount() const { return FReadAsyncErrorCount; }
    int ReadAsyncLastError() const { return FReadAsyncLastError; }
    int WriteFailCount() const { return FWriteFailCount; }

    // ---- Opening and settings
    // Waits for a close running on another thread first; on the port's own
    // event thread while another thread closes it, does nothing.
    void Open();
    // Always ends closed (thread stopped and joined, handle closed); a failure
    // on the way (an aborted transfer, a raising handler) is raised afterwards.
    // See the class comment for concurrent closes and a close from a handler.
    void Close();
    // A close is under way (on any thread): a handler that keeps the event
    // thread busy returns so that the close can join it.
    bool Closing() const { return FClosing; }
    void BeginUpdate();
    void EndUpdate();
    virtual void SetupComPort();
    void ApplyDCB();
    void ApplyTimeouts();
    void ApplyBuffer();
    // The line settings the port would apply now.
    ComBackend::LineSettings MakeLineSettings() const;

    // ---- Reading and writing
    int Read(void* buffer, int count);
    int Write(const void* buffer, int count);
    int ReadStr(std::string& text, int count);
    int WriteStr(const std::string& text);
    void ReadAsync(void* buffer, int count, TCPortAsync* async);
    void WriteAsync(const void* buffer, int count, TCPortAsync* async);
    void ReadStrAsync(std::string& text, int count, TCPortAsync* async);
    void WriteStrAsync(const std::string& text, TCPortAsync* async);
    int WaitForAsync(TCPortAsync* async);
    bool IsAsyncCompleted(TCPortAsync* async);
    void AbortAllAsync();

    // ---- Queues and lines
    int InputCount();
    int OutputCount();
    uint32_t StateFlags();
    TComErrors LastErrors();
    TComSignals Signals();
    void SetDTR(bool on);
    void SetRTS(bool on);
    void SetBreak(bool on);
    void SetXonXoff(bool on);
    void TransmitChar(uint8_t c);
    void ClearBuffer(bool input, bool output);
    // Only without an event thread (else EComPort 20). stopFd: a descriptor
    // whose readability ends the wait, -1 for none; timeoutMs -1 = no limit.
    // A time-out or stop is no failure (events stay empty).
    void WaitForEvent(TComEvents& events, int stopFd, int timeoutMs);

    // ---- Settings store
    // stIniFile: path is the ini file, the component's name its section.
    // stRegistry: path "ROOT\key\path"; kept in the user's configuration folder
    // ($XDG_CONFIG_HOME or ~/.config) in TRAXEL/comport-registry.ini, section
    // "ROOT\key\path\<name>". A path without "\" stores and loads nothing.
    void StoreSettings(TStoreType storeType, const std::string& path);
    void LoadSettings(TStoreType storeType, const std::string& path);

    // ---- Links
    // A registered link is either unregistered before the port goes, or told
    // through its OnRemove that the port went (the destructor drops every
    // link it still holds).
    void RegisterLink(TComLink* link);
    void UnRegisterLink(TComLink* link);
    bool HasLink() const { return FHasLink; }

    // ---- Setup dialog
    // Lets the operator edit the port's settings in the dialog the widget
    // layer installed (SetComSetupDialog); true when they were changed.
    // Raises Exception "No setup dialog installed for the serial port" when
    // none was installed (this layer has no widgets).
    bool ShowSetupDialog();

    // ---- Event paths (the event thread calls them; CallRxChar reads the input)
    void CallRxChar();
    void CallError();
    void CallTxEmpty();
    void CallBreak();
    void CallRing();
    void CallCTSChange();
    void CallDSRChange();
    void CallRxFlag();
    void CallRLSDChange();
    void CallRx80Full();
    // Runs the paths of the events in their fixed order; stops early when the
    // flag is set (the port is being closed) or a handler closed the port.
    void DispatchEvents(TComEvents events, const std::atomic<bool>* stop);

    // ---- Handlers
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TComNotifyEvent OnTxEmpty;
    TComNotifyEvent OnBreak;
    TComNotifyEvent OnRing;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TComErrorEvent OnError;
    TComNotifyEvent OnRxFlag;
    TComNotifyEvent OnAfterOpen;
    TComNotifyEvent OnAfterClose;
    TComNotifyEvent OnBeforeOpen;
    TComNotifyEvent OnBeforeClose;
    TComNotifyEvent OnRx80Full;

protected:
    virtual void DoRxChar(int count);
    virtual void DoRxBuf(const void* buffer, int count);
    virtual void DoTxEmpty();
    virtual void DoBreak();
    virtual void DoRing();
    virtual void DoRxFlag();
    virtual void DoCTSChange(bool onOff);
    virtual void DoDSRChange(bool onOff);
    virtual void DoRLSDChange(bool onOff);
    virtual void DoError(TComErrors errors);
    virtual void DoRx80Full();
    virtual void DoBeforeOpen();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoAfterClose();

    void CallBeforeOpen();
    void CallAfterOpen();
    void CallBeforeClose();
    void CallAfterClose();

    void SendSignalToLink(TComLinkEvent event, bool onOff);
    void NotifyLink(TComLinkEvent event);
    void TxNotifyLink(const void* buffer, int count);

private:
    friend class TComThread;

    bool CanApply() const { return FConnected && FUpdateCount == 0; }
    ComBackend::IPort* Backend() const { return FBackend.get(); }
    [[noreturn]] void RaisePlatform(int code, int error) const;
    void CreateHandle();
    void ReleaseHandle();
    // Claims the close for this thread; false when there is nothing to do
    // (closed, already closing here, or closing elsewhere while this is the
    // port's own event thread). Waits for a close running on another thread.
    bool BeginClose();
    // Ends the claimed close: the last touch of the port by its closer.
    void EndClose();
    // The steps of a claimed close; returns the first failure.
    std::exception_ptr CloseSteps();
    // True on the port's own event thread.
    bool OnOwnEventThread() const;
    // True on the event thread once one of its handlers closed this port:
    // the port may be gone, nothing of it may be touched any more.
    bool LeftByHandler() const;
    void StopEventThread(std::exception_ptr& failure);
    void ReapRetiredThreads(bool finalPass);
    std::vector<TComLink*> LinksCopy() const;
    void StoreIni(const std::string& file, const std::string& section);
    void LoadIni(const std::string& file, const std::string& section);
    void CloseNoThrow() noexcept;

    ComBackend::PortFactory FFactory;
    std::shared_ptr<ComBackend::IPort> FBackend;
    // Guards FCloser and FRetiredThreads; FEventThread is changed only by
    // Open and by the claimed closer.
    std::mutex FLifeMutex;
    std::condition_variable FCloseDone;
    std::atomic<std::thread::id> FCloser{};
    std::shared_ptr<TComThread> FEventThread;
    // Threads whose port was closed from their own handler; joined later.
    std::vector<std::shared_ptr<TComThread>> FRetiredThreads;
    std::atomic<bool> FThreadCreated{false};
    bool FInputCountNotSupported = false;
    int FUpdateCount = 0;

    mutable std::mutex FLinksMutex;
    std::vector<TComLink*> FLinks;
    std::atomic<bool> FHasLink{false};
    // Any link registered at all (a signal LED follows the receive state
    // without taking the bytes).
    std::atomic<bool> FAnyLink{false};
    bool FTriggersOnRxChar = true;
    TThreadPriority FEventThreadPriority = tpNormal;
    std::atomic<bool> FConnected{false};
    // Set while Close stops the port: reads and InputCount answer 0 at once, so
    // a receive loop in a handler ends instead of holding the close up.
    std::atomic<bool> FClosing{false};

    std::string FName;
    TBaudRate FBaudRate = br9600;
    int FCustomBaudRate = 9600;
    std::string FPort = "COM1";
    TStopBits FStopBits = sbOneStopBit;
    TDataBits FDataBits = dbEight;
    bool FDiscardNull = false;
    uint8_t FEventChar = 0;
    TComEvents FEvents = AllComEvents;
    TComBuffer FBuffer{this};
    TComParity FParity{this};
    TComTimeouts FTimeouts{this};
    TComFlowControl FFlowControl{this};
    TSyncMethod FSyncMethod = smThreadSync;
    TStoredProps FStoredProps{spBasic};

    bool FReadAsyncExceptionsEnabled = false;
    int FReadAsyncErrorCount = 0;
    int FReadAsyncLastError = 0;
    int FWriteFailCount = 0;
    bool FOverlapped = true;
    std::unique_ptr<TCPortAsync> FReadAsyncPtr;
    std::unique_ptr<TCPortAsync> FWriteAsyncPtr;
};

// The published form; all behaviour is in TCustomComPort.
// The setup dialog ShowSetupDialog shows: installed once by the widget layer;
// an empty function removes it.
using TComSetupDialog = std::function<bool(TCustomComPort& port)>;
void SetComSetupDialog(TComSetupDialog dialog);

class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
};

// A minimal stream over a port: reads and writes block as the port's
// time-outs say; seeking always answers 0.
class TComStream {
public:
    explicit TComStream(TCustomComPort& port) : FComPort(port) {}
    int Read(void* buffer, int count) { return FComPort.Read(buffer, count); }
    int Write(const void* buffer, int count) { return FComPort.Write(buffer, count); }
    int64_t Seek(int64_t, int) { return 0; }

private:
    TCustomComPort& FComPort;
};

// The device path a port name opens: "COMn" through the resolver (empty when
// it has no answer), an absolute path as it is, anything else under /dev/.
std::string ComPortDevicePath(const std::string& port);
