// The serial-port component's value types: the setting enumerations and their
// texts, event/signal/error sets and their platform bits, and the component's
// exception with its table of messages. Texts are UTF-8 std::string so that the
// port logic stays free of Qt; only EComPort converts to the common Exception.
#pragma once

#include "Globals.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

enum TBaudRate {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
    br19200, br38400, br56000, br57600, br115200, br128000, br256000
};
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };

enum TComEvent {
    evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
enum TComSignal { csCTS, csDSR, csRing, csRLSD };
enum TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
enum TComLinkEvent { leConn, leCTS, leDSR, leRLSD, leRing, leRx, leTx, leTxEmpty, leRxFlag };

enum TSyncMethod { smThreadSync, smWindowSync, smNone, smDisableEvents };
enum TStoreType { stRegistry, stIniFile };
enum TStoredProp { spBasic, spFlowControl, spBuffer, spTimeouts, spParity, spOthers };
enum TOperationKind { okWrite, okRead };
// Kept for the property; Linux threads of an unprivileged process all run at
// the normal priority, so the value is stored and not applied.
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// A set of enumeration values, one bit per value.
template <class E>
class TEnumSet {
public:
    constexpr TEnumSet() = default;
    constexpr TEnumSet(std::initializer_list<E> items)
    {
        for (E e : items)
            FBits |= Bit(e);
    }
    static constexpr TEnumSet FromMask(uint32_t mask)
    {
        TEnumSet s;
        s.FBits = mask;
        return s;
    }
    constexpr bool Contains(E e) const { return (FBits & Bit(e)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr uint32_t Mask() const { return FBits; }
    void Include(E e) { FBits |= Bit(e); }
    void Exclude(E e) { FBits &= ~Bit(e); }
    constexpr bool operator==(const TEnumSet&) const = default;
    constexpr TEnumSet operator|(TEnumSet o) const { return FromMask(FBits | o.FBits); }
    constexpr TEnumSet operator&(TEnumSet o) const { return FromMask(FBits & o.FBits); }

private:
    static constexpr uint32_t Bit(E e) { return uint32_t(1) << unsigned(e); }
    uint32_t FBits = 0;
};

using TComEvents = TEnumSet<TComEvent>;
using TComSignals = TEnumSet<TComSignal>;
using TComErrors = TEnumSet<TComError>;
using TStoredProps = TEnumSet<TStoredProp>;

inline constexpr TComEvents AllComEvents{evRxChar, evTxEmpty, evRxFlag, evRing, evBreak,
                                         evCTS, evDSR, evError, evRLSD, evRx80Full};

// ---- Platform bits (the backend's EventBits / ErrorBits / ModemBits) -------------

uint32_t EventsToBits(TComEvents events);
TComEvents BitsToEvents(uint32_t bits);
// parityChecked: a parity error is only reported while parity checking is on.
TComErrors ErrorBitsToErrors(uint32_t bits, bool parityChecked);
TComSignals ModemBitsToSignals(uint32_t bits);

// ---- The component's exception ------------------------------------------------

class EComPort : public Exception {
public:
    // A failing platform call: "COM Port Error: <text> on <port>".
    EComPort(int code, int winCode, const std::string& port);
    // A misuse of the component: "COM Port Error: <text>", WinCode -1.
    explicit EComPort(int code);

    int Code() const { return FCode; }
    // errno of the failing call, -1 when none.
    int WinCode() const { return FWinCode; }

private:
    int FCode;
    int FWinCode;
};

// The text of a component error code; "Unknown Error #<code>" outside 1..23.
std::string ComErrorMessage(int code);
// "<Ok>" or "<ComError:Frame,Overrun>".
std::string ComErrorsToStr(TComErrors errors);

// The system's serial ports by device name ("ttyS0", "ttyUSB0", ...), sorted
// case-insensitively, into list. An unreadable port list raises code 23 with
// the port text "registry read".
void EnumComPorts(std::vector<std::string>& list, const std::string& sysfsRoot = "/sys");

// ---- Texts of the settings ---------------------------------------------------------
// Text to value compares without regard to case; an unknown text gives the
// default of the type (br9600, sbOneStopBit, dbEight, prNone, fcCustom).

TBaudRate StrToBaudRate(const std::string& text);
TStopBits StrToStopBits(const std::string& text);
TDataBits StrToDataBits(const std::string& text);
TParityBits StrToParity(const std::string& text);
TFlowControl StrToFlowControl(const std::string& text);
std::string BaudRateToStr(TBaudRate rate);
std::string StopBitsToStr(TStopBits stopBits);
std::string DataBitsToStr(TDataBits dataBits);
std::string ParityToStr(TParityBits parity);
std::string FlowControlToStr(TFlowControl flowControl);
// 0 for brCustom, otherwise the rate in baud.
int BaudRateToInt(TBaudRate rate);

// DTR/RTS control as stored in the settings: "Disable", "Enable", "Handshake",
// "Toggle" (RTS only); unknown texts give the disabled state.
std::string DTRControlToStr(TDTRFlowControl control);
std::string RTSControlToStr(TRTSFlowControl control);
TDTRFlowControl StrToDTRControl(const std::string& text);
TRTSFlowControl StrToRTSControl(const std::string& text);

// ASCII upper case; the setting texts are all ASCII.
std::string ComUpperCase(std::string text);
