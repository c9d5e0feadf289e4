#include "CPortTypes.h"

#include "ComBackend.h"
#include "ComEnum.h"

#include <array>
#include <utility>

namespace {

using namespace ComBackend;

constexpr std::array<std::pair<TComEvent, uint32_t>, 10> EventBitTable{{
    {evRxChar, EvRxChar},
    {evTxEmpty, EvTxEmpty},
    {evRxFlag, EvRxFlag},
    {evRing, EvRing},
    {evBreak, EvBreak},
    {evCTS, EvCts},
    {evDSR, EvDsr},
    {evError, EvErr},
    {evRLSD, EvRlsd},
    {evRx80Full, EvRx80Full},
}};

constexpr std::array<const char*, 16> BaudRateTexts{
    "Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400",
    "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
constexpr std::array<int, 16> BaudRateValues{
    0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400,
    19200, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr std::array<const char*, 3> StopBitsTexts{"1", "1.5", "2"};
constexpr std::array<const char*, 4> DataBitsTexts{"5", "6", "7", "8"};
constexpr std::array<const char*, 5> ParityTexts{"None", "Odd", "Even", "Mark", "Space"};
constexpr std::array<const char*, 4> FlowControlTexts{"Hardware", "Software", "None", "Custom"};
constexpr std::array<const char*, 4> ControlTexts{"Disable", "Enable", "Handshake", "Toggle"};

// Index of the text in the table (case-insensitive), or fallback.
template <std::size_t N>
int FindText(const std::array<const char*, N>& table, const std::string& text, int fallback)
{
    const std::string upper = ComUpperCase(text);
    for (std::size_t i = 0; i < N; ++i) {
        if (ComUpperCase(table[i]) == upper)
            return int(i);
    }
    return fallback;
}

template <std::size_t N>
std::string TextAt(const std::array<const char*, N>& table, int index)
{
    if (index < 0 || std::size_t(index) >= N)
        return std::string();
    return table[std::size_t(index)];
}

QString ExceptionText(int code, const std::string* port)
{
    QString text = QStringLiteral("COM Port Error: ") + QString::fromStdString(ComErrorMessage(code));
    if (port)
        text += QStringLiteral(" on ") + QString::fromStdString(*port);
    return text;
}

} // namespace

uint32_t EventsToBits(TComEvents events)
{
    uint32_t bits = 0;
    for (const auto& [event, bit] : EventBitTable) {
        if (events.Contains(event))
            bits |= bit;
    }
    return bits;
}

TComEvents BitsToEvents(uint32_t bits)
{
    TComEvents events;
    for (const auto& [event, bit] : EventBitTable) {
        if (bits & bit)
            events.Include(event);
    }
    return events;
}

TComErrors ErrorBitsToErrors(uint32_t bits, bool parityChecked)
{
    TComErrors errors;
    if (bits & CeFrame)
        errors.Include(ceFrame);
    if ((bits & CeRxParity) && parityChecked)
        errors.Include(ceRxParity);
    if (bits & CeOverrun)
        errors.Include(ceOverrun);
    if (bits & CeBreak)
        errors.Include(ceBreak);
    if (bits & CeIoe)
        errors.Include(ceIO);
    if (bits & CeMode)
        errors.Include(ceMode);
    if (bits & CeRxOver)
        errors.Include(ceRxOver);
    if (bits & CeTxFull)
        errors.Include(ceTxFull);
    return errors;
}

TComSignals ModemBitsToSignals(uint32_t bits)
{
    TComSignals signals;
    if (bits & MsCtsOn)
        signals.Include(csCTS);
    if (bits & MsDsrOn)
        signals.Include(csDSR);
    if (bits & MsRingOn)
        signals.Include(csRing);
    if (bits & MsRlsdOn)
        signals.Include(csRLSD);
    return signals;
}

EComPort::EComPort(int code, int winCode, const std::string& port)
    : Exception(ExceptionText(code, &port)), FCode(code), FWinCode(winCode)
{
}

EComPort::EComPort(int code)
    : Exception(ExceptionText(code, nullptr)), FCode(code), FWinCode(-1)
{
}

std::string ComErrorMessage(int code)
{
    static const char* const texts[] = {
        "Unable to open com port",
        "WriteFile function failed",
        "ReadFile function failed",
        "Invalid Async parameter",
        "PurgeComm function failed",
        "Unable to get async status",
        "SetCommState function failed",
        "SetCommTimeouts failed",
        "SetupComm function failed",
        "ClearCommError function failed",
        "GetCommModemStatus function failed",
        "EscapeCommFunction function failed",
        "TransmitCommChar function failed",
        "Cannot set property while connected",
        "EnumPorts function failed",
        "Failed to store settings",
        "Failed to load settings",
        "Link (un)registration failed",
        "Cannot change led state if ComPort is selected",
        "Cannot wait for event if event thread is created",
        "WaitForEvent method failed",
        "A component is linked to OnRxBuf event",
        "Registry error",
    };
    constexpr int count = int(sizeof(texts) / sizeof(texts[0]));
    if (code >= 1 && code <= count)
        return texts[code - 1];
    return "Unknown Error #" + std::to_string(code);
}

std::string ComErrorsToStr(TComErrors errors)
{
    if (errors.Empty())
        return "<Ok>";
    static constexpr std::pair<TComError, const char*> names[] = {
        {ceFrame, "Frame"}, {ceRxParity, "Parity"}, {ceOverrun, "Overrun"}, {ceBreak, "Break"},
        {ceIO, "IO"}, {ceMode, "Mode"}, {ceRxOver, "RxOver"}, {ceTxFull, "TxFull"},
    };
    std::string text = "<ComError:";
    bool first = true;
    for (const auto& [error, name] : names) {
        if (!errors.Contains(error))
            continue;
        if (!first)
            text += ',';
        text += name;
        first = false;
    }
    return text + '>';
}

TBaudRate StrToBaudRate(const std::string& text)
{
    return TBaudRate(FindText(BaudRateTexts, text, br9600));
}

TStopBits StrToStopBits(const std::string& text)
{
    return TStopBits(FindText(StopBitsTexts, text, sbOneStopBit));
}

TDataBits StrToDataBits(const std::string& text)
{
    return TDataBits(FindText(DataBitsTexts, text, dbEight));
}

TParityBits StrToParity(const std::string& text)
{
    return TParityBits(FindText(ParityTexts, text, prNone));
}

TFlowControl StrToFlowControl(const std::string& text)
{
    return TFlowControl(FindText(FlowControlTexts, text, fcCustom));
}

std::string BaudRateToStr(TBaudRate rate) { return TextAt(BaudRateTexts, rate); }
std::string StopBitsToStr(TStopBits stopBits) { return TextAt(StopBitsTexts, stopBits); }
std::string DataBitsToStr(TDataBits dataBits) { return TextAt(DataBitsTexts, dataBits); }
std::string ParityToStr(TParityBits parity) { return TextAt(ParityTexts, parity); }
std::string FlowControlToStr(TFlowControl flowControl) { return TextAt(FlowControlTexts, flowControl); }

int BaudRateToInt(TBaudRate rate)
{
    if (rate < 0 || std::size_t(rate) >= BaudRateValues.size())
        return 0;
    return BaudRateValues[std::size_t(rate)];
}

std::string DTRControlToStr(TDTRFlowControl control) { return TextAt(ControlTexts, control); }
std::string RTSControlToStr(TRTSFlowControl control) { return TextAt(ControlTexts, control); }

TDTRFlowControl StrToDTRControl(const std::string& text)
{
    const int index = FindText(ControlTexts, text, dtrDisable);
    return index == rtsToggle ? dtrDisable : TDTRFlowControl(index);
}

TRTSFlowControl StrToRTSControl(const std::string& text)
{
    return TRTSFlowControl(FindText(ControlTexts, text, rtsDisable));
}

std::string ComUpperCase(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return text;
}

void EnumComPorts(std::vector<std::string>& list, const std::string& sysfsRoot)
{
    std::vector<std::string> names;
    const int error = ComBackend::EnumComPortNames(sysfsRoot, names);
    if (error != 0)
        throw EComPort(23, error, "registry read");
    list = std::move(names);
}
