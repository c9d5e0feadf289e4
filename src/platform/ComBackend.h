// The operating-system side of the serial-port component. The component's
// core (settings, re-apply rules, error codes, events and their order) talks
// only to this interface: the POSIX implementation drives real ports and
// pseudo-terminals, a scripted one in the tests drives everything else.
//
// Every call that can fail returns 0 or an errno value; the core alone turns
// a failure into the component's error code. Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace ComBackend {

// Comm-event bits, the values the component stores and converts.
enum EventBits : uint32_t {
    EvRxChar = 0x0001,
    EvRxFlag = 0x0002,
    EvTxEmpty = 0x0004,
    EvCts = 0x0008,
    EvDsr = 0x0010,
    EvRlsd = 0x0020,
    EvBreak = 0x0040,
    EvErr = 0x0080,
    EvRing = 0x0100,
    EvRx80Full = 0x0400,
};

// Line-error bits reported by GetStatus.
enum ErrorBits : uint32_t {
    CeRxOver = 0x0001,
    CeOverrun = 0x0002,
    CeRxParity = 0x0004,
    CeFrame = 0x0008,
    CeBreak = 0x0010,
    CeTxFull = 0x0100,
    CeIoe = 0x0400,
    CeMode = 0x8000,
};

// Modem-status bits reported by GetModemStatus.
enum ModemBits : uint32_t {
    MsCtsOn = 0x0010,
    MsDsrOn = 0x0020,
    MsRingOn = 0x0040,
    MsRlsdOn = 0x0080,
};

enum class Parity { None, Odd, Even, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };
enum class DtrControl { Disable, Enable, Handshake };
enum class RtsControl { Disable, Enable, Handshake, Toggle };

// The whole line set-up, applied in one call.
struct LineSettings {
    uint32_t baudRate = 9600;
    int dataBits = 8; // 5..8
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    bool parityCheck = false;
    bool parityReplace = false;
    uint8_t replaceChar = 0;
    bool discardNull = false;
    bool outCtsFlow = false;
    bool outDsrFlow = false;
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    DtrControl dtrControl = DtrControl::Disable;
    RtsControl rtsControl = RtsControl::Disable;
    uint8_t xonChar = 17;
    uint8_t xoffChar = 19;
    uint8_t eventChar = 0;
    uint16_t xonLim = 0;
    uint16_t xoffLim = 0;
};

// Read and write time-outs in milliseconds, with the component's meaning:
// readInterval = MaxWait with both read totals 0 returns at once with what is
// there; all read values 0 waits for the whole count; otherwise the total
// limit is multiplier x count + constant (0 = none) and, when readInterval is
// not 0, a read also ends once that long passes between two bytes after the
// first. Writes: multiplier x count + constant, 0 and 0 = no limit.
struct Timeouts {
    static constexpr uint32_t MaxWait = 0xFFFFFFFFu;
    uint32_t readInterval = MaxWait;
    uint32_t readTotalMultiplier = 0;
    uint32_t readTotalConstant = 0;
    uint32_t writeTotalMultiplier = 100;
    uint32_t writeTotalConstant = 1000;
};

struct Status {
    uint32_t errors = 0;      // ErrorBits that occurred since the last call
    uint32_t inQueue = 0;     // bytes waiting to be read
    uint32_t outQueue = 0;    // bytes not yet sent
    uint32_t flags = 0;       // line state flags (0 where the system has none)
};

enum class Escape { SetDtr, ClrDtr, SetRts, ClrRts, SetBreak, ClrBreak, SetXon, SetXoff };

enum class WaitOutcome {
    Events,   // occurred holds at least one bit of the mask
    Stopped,  // WakeWaiter or the caller's stop descriptor
    Timeout,
    Hangup,   // the device went away (unplugged, pseudo-terminal closed)
    Failed,   // error holds the errno
};

struct WaitResult {
    WaitOutcome outcome = WaitOutcome::Failed;
    uint32_t occurred = 0;
    int error = 0;
};

class IPort {
public:
    virtual ~IPort() = default;

    // Opens the device exclusively (a second opener fails), non-blocking,
    // and puts it into raw mode before anything is read or written.
    virtual int Open(const std::string& path) = 0;
    // Releases any pending read, write or wait first. Never fails.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    virtual int SetLineSettings(const LineSettings& settings) = 0;
    virtual int SetTimeouts(const Timeouts& timeouts) = 0;
    virtual int SetBufferSizes(uint32_t inputSize, uint32_t outputSize) = 0;

    // Block as the time-outs say; done holds what was transferred, also on
    // time-out (which is no error). AbortPending releases both at once.
    virtual int Read(void* buffer, std::size_t count, std::size_t& done) = 0;
    virtual int Write(const void* buffer, std::size_t count, std::size_t& done) = 0;
    virtual int AbortPending() = 0;
    virtual int Purge(bool input, bool output) = 0;

    virtual int GetStatus(Status& status) = 0;
    // A port without modem lines (a pseudo-terminal) reports 0 and succeeds.
    virtual int GetModemStatus(uint32_t& modemBits) = 0;
    // Without modem lines DTR/RTS are remembered and succeed.
    virtual int EscapeFunction(Escape function) = 0;
    virtual int TransmitChar(uint8_t c) = 0;

    // The events WaitEvent reports; 0 releases a waiting WaitEvent.
    virtual int SetEventMask(uint32_t mask) = 0;
    // Waits for an event of the mask, WakeWaiter, the stop descriptor (an
    // eventfd or pipe, -1 for none) becoming readable, or timeoutMs (-1 = no
    // limit). An idle port costs no CPU while waiting.
    virtual WaitResult WaitEvent(int stopFd, int timeoutMs) = 0;
    // Makes the current (or next) WaitEvent return Stopped. Any thread.
    virtual void WakeWaiter() = 0;
};

using PortFactory = std::function<std::unique_ptr<IPort>()>;

// The backend for real devices and pseudo-terminals.
std::unique_ptr<IPort> CreatePosixPort();

} // namespace ComBackend
