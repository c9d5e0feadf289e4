#include "EscapeCodes.h"

#include <algorithm>
#include <climits>

namespace {

constexpr char Esc = '\x1b';

constexpr uint8_t Can = 0x18;
constexpr uint8_t Sub = 0x1A;

// Any of these ends a control sequence, also one the terminal does not know.
bool IsFinalByte(char c)
{
    return c >= 0x40 && c <= 0x7E;
}

std::string Seq(const char* text)
{
    return std::string(1, Esc) + text;
}

} // namespace

int GetParam(int n, const TEscapeParams& params)
{
    if (n < 1 || std::size_t(n) > params.size())
        return 1;
    const std::string& text = params[std::size_t(n - 1)];
    if (text.empty())
        return 1;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 1;
        if (value < INT_MAX)
            value = value * 10 + (c - '0');
    }
    return int(std::min<long long>(value, INT_MAX));
}

// ---- Interpreter ------------------------------------------------------------------

TEscapeResult TEscapeCodes::ProcessChar(uint8_t c)
{
    if (!FInSequence) {
        if (c == 27) {
            FSequence.clear();
            FParams.clear();
            FInSequence = true;
            SequenceStarted();
            return erNothing;
        }
        FCharacter = c;
        return erChar;
    }
    // CAN and SUB abandon the sequence; ESC starts a new one in its place.
    if (c == Can || c == Sub) {
        FInSequence = false;
        return erNothing;
    }
    if (c == 27) {
        FSequence.clear();
        FParams.clear();
        SequenceStarted();
        return erNothing;
    }
    FSequence.push_back(char(c));
    TEscapeCode code = DetectCode();
    if (code == ecNotCompleted) {
        if (FSequence.size() < MaxSequence)
            return erNothing;
        code = ecUnknown;
    }
    FCode = code;
    FInSequence = false;
    return erCode;
}

// ---- VT52 ---------------------------------------------------------------------------

TEscapeCode TEscapeCodesVT52::DetectCode()
{
    const std::size_t length = FSequence.size();
    switch (FSequence[0]) {
    case 'A': return ecCursorUp;
    case 'B': return ecCursorDown;
    case 'C': return ecCursorRight;
    case 'D': return ecCursorLeft;
    case 'H': return ecCursorHome;
    case 'I': return ecReverseLineFeed;
    case 'J': return ecEraseScreenFrom;
    case 'K': return ecEraseLineFrom;
    case 'Z': return ecIdentify;
    case '/':
        if (length < 2)
            return ecNotCompleted;
        return FSequence[1] == 'Z' ? ecIdentResponse : ecUnknown;
    case 'Y':
        if (length < 3)
            return ecNotCompleted;
        // Row, then column, each sent as its value + 31.
        FParams = {std::to_string(int(uint8_t(FSequence[1])) - 31),
                   std::to_string(int(uint8_t(FSequence[2])) - 31)};
        return ecCursorMove;
    default:
        return ecUnknown;
    }
}

std::string TEscapeCodesVT52::EscCodeToStr(TEscapeCode code, const TEscapeParams& params) const
{
    switch (code) {
    case ecCursorUp: return Seq("A");
    case ecCursorDown: return Seq("B");
    case ecCursorRight: return Seq("C");
    case ecCursorLeft: return Seq("D");
    case ecCursorHome: return Seq("H");
    case ecReverseLineFeed: return Seq("I");
    case ecEraseLineFrom: return Seq("K");
    case ecEraseScreenFrom: return Seq("J");
    case ecIdentify: return Seq("Z");
    case ecIdentResponse: return Seq("/Z");
    case ecCursorMove: {
        // A position travels as one byte: values past 224 cannot be sent.
        auto coord = [&](int n) { return char(std::min(GetParam(n, params), 224) + 31); };
        return Seq("Y") + coord(1) + coord(2);
    }
    default:
        return std::string();
    }
}

// ---- VT100 / ANSI ---------------------------------------------------------------------

TEscapeCode TEscapeCodesVT100::DetectCode()
{
    if (FSequence.size() == 1 && FSequence[0] == '[') {
        FInCsi = true;
        return ecNotCompleted;
    }
    return FInCsi ? DetectCsi() : DetectPlain();
}

TEscapeCode TEscapeCodesVT100::DetectPlain() const
{
    const std::string& s = FSequence;
    if (s == "O" || s == "#")
        return ecNotCompleted;
    // A character-set designation: taken whole, and not performed.
    if (s[0] == '(' || s[0] == ')')
        return s.size() < 2 ? ecNotCompleted : ecUnknown;
    if (s.size() == 2 && s[0] == 'O') {
        switch (s[1]) {
        case 'A': return ecAppCursorUp;
        case 'B': return ecAppCursorDown;
        case 'C': return ecAppCursorRight;
        case 'D': return ecAppCursorLeft;
        default: return ecUnknown;
        }
    }
    if (s == "#8")
        return ecTest;
    if (s == "H")
        return ecSetTab;
    if (s == "c")
        return ecReset;
    if (s == "7")
        return ecSaveCaretAndAttr;
    if (s == "8")
        return ecRestoreCaretAndAttr;
    return ecUnknown;
}

void TEscapeCodesVT100::SplitParams(const std::string& text)
{
    // Every ";" separates: an empty parameter keeps its place (and reads as
    // its default); no text at all is no parameter.
    FParams.clear();
    if (text.empty())
        return;
    std::string current;
    for (char c : text) {
        if (c == ';') {
            FParams.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    FParams.push_back(current);
}

TEscapeCode TEscapeCodesVT100::DetectCsi()
{
    const char last = FSequence.back();
    if (!IsFinalByte(last))
        return ecNotCompleted;
    SplitParams(FSequence.substr(1, FSequence.size() - 2));
    // An empty first parameter is its default, as if none was given.
    const bool none = FParams.empty() || FParams[0].empty();
    const char lead = none ? '\0' : FParams[0][0];
    switch (last) {
    case 'A': return ecCursorUp;
    case 'B': return ecCursorDown;
    case 'C': return ecCursorRight;
    case 'D': return ecCursorLeft;
    case 'H': return ecCursorHome;
    case 'f': return ecCursorMove;
    case 'J':
        if (none || lead == '0')
            return ecEraseScreenFrom;
        return lead == '2' ? ecEraseScreen : ecUnknown;
    case 'K':
        if (none || lead == '0')
            return ecEraseLineFrom;
        return lead == '2' ? ecEraseLine : ecUnknown;
    case 'g':
        if (none || lead == '0')
            return ecClearTab;
        return lead == '3' ? ecClearAllTabs : ecUnknown;
    case 'n':
        switch (lead) {
        case '5': return ecQueryDevice;
        case '0': return ecReportDeviceOK;
        case '3': return ecReportDeviceFailure;
        case '6': return ecQueryCursorPos;
        default: return ecUnknown;
        }
    case 'c':
        if (FParams.empty() || (FParams.size() == 1 && (FParams[0].empty() || FParams[0] == "0")))
            return ecIdentify;
        return FParams.size() == 2 && FParams[0] == "?1" ? ecIdentResponse : ecUnknown;
    case 'R': return ecReportCursorPos;
    case 'm': return ecAttributes;
    case 'h': return ecSetMode;
    case 'l': return ecResetMode;
    case 's': return ecSaveCaret;
    case 'u': return ecRestoreCaret;
    default: return ecUnknown;
    }
}

std::string TEscapeCodesVT100::EscCodeToStr(TEscapeCode code, const TEscapeParams& params) const
{
    auto two = [&](char last) {
        return std::string(1, Esc) + '[' + std::to_string(GetParam(1, params)) + ';' +
               std::to_string(GetParam(2, params)) + last;
    };
    switch (code) {
    case ecCursorUp: return Seq("[A");
    case ecCursorDown: return Seq("[B");
    case ecCursorRight: return Seq("[C");
    case ecCursorLeft: return Seq("[D");
    case ecCursorHome: return Seq("[H");
    case ecCursorMove: return two('f');
    case ecAppCursorLeft: return Seq("OD");
    case ecAppCursorRight: return Seq("OC");
    case ecAppCursorUp: return Seq("OA");
    case ecAppCursorDown: return Seq("OB");
    case ecEraseLineFrom: return Seq("[K");
    case ecEraseScreenFrom: return Seq("[J");
    case ecEraseLine: return Seq("[2K");
    case ecEraseScreen: return Seq("[2J");
    case ecSetTab: return Seq("H");
    case ecClearTab: return Seq("[g");
    case ecClearAllTabs: return Seq("[3g");
    case ecIdentify: return Seq("[c");
    case ecIdentResponse: return Seq("[?1;") + std::to_string(GetParam(1, params)) + 'c';
    case ecQueryDevice: return Seq("[5n");
    case ecReportDeviceOK: return Seq("[0n");
    case ecReportDeviceFailure: return Seq("[3n");
    case ecQueryCursorPos: return Seq("[6n");
    case ecReportCursorPos: return two('R');
    case ecAttributes: return Seq("[m");
    case ecSetMode: return Seq("[h");
    case ecResetMode: return Seq("[l");
    case ecReset: return Seq("c");
    case ecSaveCaretAndAttr: return Seq("7");
    case ecRestoreCaretAndAttr: return Seq("8");
    case ecSaveCaret: return Seq("[s");
    case ecRestoreCaret: return Seq("[u");
    case ecTest: return Seq("#8");
    default: return std::string();
    }
}
