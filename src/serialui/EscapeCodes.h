// Terminal escape sequences: an interpreter fed one received character at a
// time, and a generator that turns a code back into the sequence to send.
// TEscapeCodesVT52 and TEscapeCodesVT100 implement the two dialects.
//
// Plain C++, no Qt. One interpreter belongs to one terminal and is used on
// that terminal's thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum TEscapeResult { erChar, erCode, erNothing };

enum TEscapeCode {
    ecUnknown, ecNotCompleted,
    ecCursorUp, ecCursorDown, ecCursorLeft, ecCursorRight, ecCursorHome, ecCursorMove,
    ecReverseLineFeed,
    ecAppCursorLeft, ecAppCursorRight, ecAppCursorUp, ecAppCursorDown,
    ecEraseLineFrom, ecEraseScreenFrom, ecEraseLine, ecEraseScreen,
    ecSetTab, ecClearTab, ecClearAllTabs,
    ecIdentify, ecIdentResponse, ecQueryDevice, ecReportDeviceOK, ecReportDeviceFailure,
    ecQueryCursorPos, ecReportCursorPos,
    ecAttributes, ecSetMode, ecResetMode, ecReset,
    ecSaveCaretAndAttr, ecRestoreCaretAndAttr, ecSaveCaret, ecRestoreCaret,
    ecTest
};

// The parameters of a code as received: texts, numbers or not.
using TEscapeParams = std::vector<std::string>;

// The n-th parameter (1-based) as a number: 1 when there are fewer than n, and
// also when the text is not a plain decimal number ("?5", ";5", "", "-2").
// Numbers too large for an int are clamped to its maximum.
int GetParam(int n, const TEscapeParams& params);

class TEscapeCodes {
public:
    // Longest sequence collected after ESC; a longer one ends as ecUnknown so
    // that a sequence whose final character never comes cannot swallow the
    // output that follows it.
    static constexpr std::size_t MaxSequence = 64;

    virtual ~TEscapeCodes() = default;

    // Feeds one character: erChar (a plain character, see Character), erCode
    // (a finished sequence, see Code and Params) or erNothing (ESC seen or a
    // sequence not finished yet). Inside a sequence CAN (0x18) and SUB (0x1A)
    // abandon it and ESC starts a new one. A sequence the dialect does not
    // know ends as ecUnknown once it is complete (for VT100 control sequences:
    // at any byte from "@" to "~"), so nothing of it is shown.
    TEscapeResult ProcessChar(uint8_t c);
    // The sequence that sends code, starting with ESC; empty when the dialect
    // has none for it. Numbers come from params through GetParam.
    virtual std::string EscCodeToStr(TEscapeCode code, const TEscapeParams& params) const = 0;

    uint8_t Character() const { return FCharacter; }
    TEscapeCode Code() const { return FCode; }
    const TEscapeParams& Params() const { return FParams; }
    void ClearParams() { FParams.clear(); }
    bool InSequence() const { return FInSequence; }

protected:
    // Looks at the text collected since ESC (its last character just added)
    // and names the code, ecNotCompleted while more is needed.
    virtual TEscapeCode DetectCode() = 0;
    virtual void SequenceStarted() {}

    std::string FSequence;
    TEscapeParams FParams;

private:
    uint8_t FCharacter = 0;
    TEscapeCode FCode = ecUnknown;
    bool FInSequence = false;
};

class TEscapeCodesVT52 : public TEscapeCodes {
public:
    std::string EscCodeToStr(TEscapeCode code, const TEscapeParams& params) const override;

protected:
    TEscapeCode DetectCode() override;
};

class TEscapeCodesVT100 : public TEscapeCodes {
public:
    std::string EscCodeToStr(TEscapeCode code, const TEscapeParams& params) const override;

protected:
    TEscapeCode DetectCode() override;
    void SequenceStarted() override { FInCsi = false; }

private:
    TEscapeCode DetectPlain() const;
    TEscapeCode DetectCsi();
    void SplitParams(const std::string& text);

    bool FInCsi = false;
};
