#include "EscapeCodes.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <utility>

namespace {

std::unique_ptr<TEscapeCodes> Make(bool vt52)
{
    return vt52 ? std::unique_ptr<TEscapeCodes>(std::make_unique<TEscapeCodesVT52>())
                : std::unique_ptr<TEscapeCodes>(std::make_unique<TEscapeCodesVT100>());
}

// Feeds ESC + text one character at a time: nothing until the last one,
// which must finish the code.
::testing::AssertionResult FeedsToCode(TEscapeCodes& codes, const std::string& text)
{
    if (codes.ProcessChar(27) != erNothing)
        return ::testing::AssertionFailure() << "ESC did not start a sequence";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const TEscapeResult result = codes.ProcessChar(uint8_t(text[i]));
        const bool last = i + 1 == text.size();
        if (result != (last ? erCode : erNothing))
            return ::testing::AssertionFailure() << "result " << result << " at character " << i;
    }
    return ::testing::AssertionSuccess();
}

struct DetectRow { bool vt52; std::string text; TEscapeCode code; TEscapeParams params; };  // text: after ESC

// The forms the generators write are fed by the round trip further down;
// here the parameters they carry, and the forms only a peer sends.
const DetectRow DetectRows[] = {
    // VT52
    {true, "/Q", ecUnknown, {}}, {true, std::string("Y") + char(43) + char(63), ecCursorMove, {"12", "32"}},
    {true, "Q", ecUnknown, {}},
    // VT100, plain
    {false, "Ox", ecUnknown, {}}, {false, "#3", ecUnknown, {}}, {false, "=", ecUnknown, {}},
    // VT100, CSI
    {false, "[5B", ecCursorDown, {"5"}}, {false, "[12;40f", ecCursorMove, {"12", "40"}},
    {false, "[0J", ecEraseScreenFrom, {"0"}}, {false, "[2J", ecEraseScreen, {"2"}},
    {false, "[1J", ecUnknown, {"1"}}, {false, "[0K", ecEraseLineFrom, {"0"}}, {false, "[2K", ecEraseLine, {"2"}},
    {false, "[1K", ecUnknown, {"1"}}, {false, "[0g", ecClearTab, {"0"}}, {false, "[3g", ecClearAllTabs, {"3"}},
    {false, "[1g", ecUnknown, {"1"}}, {false, "[5n", ecQueryDevice, {"5"}}, {false, "[0n", ecReportDeviceOK, {"0"}},
    {false, "[3n", ecReportDeviceFailure, {"3"}}, {false, "[6n", ecQueryCursorPos, {"6"}},
    {false, "[n", ecUnknown, {}}, {false, "[0c", ecIdentify, {"0"}},
    {false, "[?1;2c", ecIdentResponse, {"?1", "2"}}, {false, "[1c", ecUnknown, {"1"}},
    {false, "[12;5R", ecReportCursorPos, {"12", "5"}}, {false, "[1;4m", ecAttributes, {"1", "4"}},
    {false, "[?1h", ecSetMode, {"?1"}}, {false, "[7l", ecResetMode, {"7"}}, {false, "[x", ecUnknown, {}},
    // Every ";" separates; an empty parameter keeps its place.
    {false, "[;5H", ecCursorHome, {"", "5"}}, {false, "[1;;2H", ecCursorHome, {"1", "", "2"}},
    {false, "[;m", ecAttributes, {"", ""}}, {false, "[;J", ecEraseScreenFrom, {"", ""}},
    // Any byte from "@" to "~" ends a control sequence; unknown ones whole.
    {false, "[2@", ecUnknown, {"2"}}, {false, "[1;2~", ecUnknown, {"1", "2"}}, {false, "[>0q", ecUnknown, {">0"}},
    {false, "[1 q", ecUnknown, {"1 "}},
    // Character-set designations are taken whole.
    {false, "(B", ecUnknown, {}}, {false, ")0", ecUnknown, {}},
};

TEST(EscapeCodes, EveryDetectionRowOneCharacterAtATime)
{
    for (const DetectRow& row : DetectRows) {
        SCOPED_TRACE((row.vt52 ? "VT52 ESC " : "VT100 ESC ") + row.text);
        auto codes = Make(row.vt52);
        ASSERT_TRUE(FeedsToCode(*codes, row.text));
        EXPECT_EQ(std::pair(codes->Code(), codes->Params()), std::pair(row.code, row.params));
        EXPECT_EQ(codes->ProcessChar('x'), erChar) << "the sequence did not end";
        EXPECT_EQ(codes->Character(), 'x');
    }
}

// CAN and SUB abandon a sequence, ESC inside one starts the next afresh.
TEST(EscapeCodes, CancelAndRestartInsideASequence)
{
    for (const uint8_t cancel : {uint8_t(0x18), uint8_t(0x1A)}) {
        for (const bool vt52 : {false, true}) {
            auto codes = Make(vt52);
            for (const char c : std::string(vt52 ? "\x1bY!" : "\x1b[12") + char(cancel))
                EXPECT_EQ(codes->ProcessChar(uint8_t(c)), erNothing);
            EXPECT_FALSE(codes->InSequence());
            EXPECT_EQ(codes->ProcessChar('A'), erChar);
        }
    }
    TEscapeCodesVT100 codes;
    for (const char c : std::string("\x1b[12\x1b[3"))
        EXPECT_EQ(codes.ProcessChar(uint8_t(c)), erNothing);
    EXPECT_EQ(codes.ProcessChar('B'), erCode);
    EXPECT_EQ(std::pair(codes.Code(), codes.Params()), std::pair(ecCursorDown, TEscapeParams {"3"}));
    TEscapeCodesVT52 vt52;
    for (const char c : std::string("\x1bY\x1b"))
        EXPECT_EQ(vt52.ProcessChar(uint8_t(c)), erNothing);
    EXPECT_EQ(vt52.ProcessChar('A'), erCode);
    EXPECT_EQ(vt52.Code(), ecCursorUp);
}

TEST(EscapeCodes, EndlessSequenceEndsAsUnknownAtItsCap)
{
    TEscapeCodesVT100 codes;
    // A CSI whose final letter never comes: 64 characters after ESC at most.
    const std::string text = "[" + std::string(TEscapeCodes::MaxSequence - 1, '9');
    ASSERT_TRUE(FeedsToCode(codes, text));
    EXPECT_EQ(codes.Code(), ecUnknown);
    EXPECT_EQ(codes.ProcessChar('A'), erChar) << "later output is not swallowed";
}

TEST(EscapeCodes, GetParamNeverThrowsAndClamps)
{
    const struct { TEscapeParams params; int n; int expected; } rows[] = {
        {{"12", "40"}, 1, 12}, {{"12", "40"}, 2, 40}, {{"12", "40"}, 3, 1}, {{}, 1, 1},
        {{"007"}, 1, 7},       {{"?5"}, 1, 1},        {{";5"}, 1, 1},       {{""}, 1, 1},
        {{"-2"}, 1, 1},        {{"5x"}, 1, 1},        {{"99999999999999999999"}, 1, INT_MAX},
        {{"0"}, 1, 0},         {{"5"}, 0, 1},
    };
    for (const auto& row : rows)
        EXPECT_EQ(GetParam(row.n, row.params), row.expected) << "parameter " << row.n;
}

TEST(EscapeCodes, GeneratedSequencesAreDetectedAsTheirCode)
{
    const TEscapeParams params{"12", "32"};
    for (bool vt52 : {false, true}) {
        auto generator = Make(vt52);
        int generated = 0;
        for (int value = ecCursorUp; value <= ecTest; ++value) {
            const auto code = TEscapeCode(value);
            const std::string text = generator->EscCodeToStr(code, params);
            if (text.empty())
                continue;
            ++generated;
            SCOPED_TRACE(std::string(vt52 ? "VT52 " : "VT100 ") + std::to_string(value));
            ASSERT_EQ(text[0], '\x1b');
            auto detector = Make(vt52);
            ASSERT_TRUE(FeedsToCode(*detector, text.substr(1)));
            EXPECT_EQ(detector->Code(), code);
            EXPECT_EQ(detector->ProcessChar('x'), erChar) << "the sequence did not end";
            if (code == ecCursorMove || code == ecReportCursorPos) {
                EXPECT_EQ(detector->Params(), params);
            }
            if (code == ecIdentResponse && !vt52) {
                EXPECT_EQ(GetParam(2, detector->Params()), 12);
            }
        }
        EXPECT_EQ(generated, vt52 ? 11 : 33);
    }
    // Row 12, column 32 travel as the characters 43 and 63.
    EXPECT_EQ(TEscapeCodesVT52().EscCodeToStr(ecCursorMove, params), std::string("\x1bY") + char(43) + char(63));
}

} // namespace
