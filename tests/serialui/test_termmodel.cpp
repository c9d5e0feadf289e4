#include "ComTermModel.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>
#include <utility>

namespace {

struct RecordingHost : ITermHost {
    bool linked = true;
    bool open = true;
    std::string sent;
    std::vector<std::size_t> pieces;
    std::vector<TEscapeCode> unhandled;
    int chars = 0;

    bool PortLinked() const override { return linked; }
    bool PortOpen() const override { return open; }
    void SendBytes(const std::string& bytes) override { sent += bytes; }
    void NotifyStringReceived(const std::string& text) override { pieces.push_back(text.size()); }
    void NotifyCharPut(uint8_t) override { ++chars; }
    void NotifyUnhandledCode(TEscapeCode code, const TEscapeParams&) override { unhandled.push_back(code); }
};

std::string Screen(const TComTermModel& model)
{
    std::ostringstream out;
    model.SaveToStream(out);
    return out.str();
}

struct Caret { int column, row; };

// A 10 x 4 terminal fed text, then the screen as saved and the caret.
struct ScreenRow { TTermEmulation emulation; std::string input, screen; Caret caret; };

constexpr TTermEmulation A = teVT100orANSI;

const ScreenRow ScreenRows[] = {
    // Controls
    {A, "ab\rc", "cb", {2, 1}}, {A, "ab\ncd", "ab\r\n  cd", {5, 2}}, {A, "abc\b\bX", "aXc", {3, 1}},
    {A, "a\tb", "a       b", {10, 1}}, {A, "a\x0c" "b", "a\r\n b", {3, 2}}, {A, "\x01\x07x\x7f", "x\x7f", {3, 1}},
    {A, "\b\b", "", {1, 1}},
    // Scrolling and wrapping
    {A, "1\r\n2\r\n3\r\n4\r\n5", "2\r\n3\r\n4\r\n5", {2, 4}}, {A, "0123456789AB", "012345678B", {10, 1}},
    {A, "\x1b[7h" "0123456789AB", "0123456789\r\nAB", {3, 2}},
    {A, "\x1b[7h\x1b[4;1f" "0123456789X", "\r\n\r\n0123456789\r\nX", {2, 4}},
    {teVT52, "ab\x1bI" "cd", "  cd\r\nab", {5, 1}},
    // Caret moves, clamped to the screen
    {A, "\x1b[2;3fX", "\r\n  X", {4, 2}}, {A, "\x1b[3;4HX\x1b[A\x1b[2DY", "\r\n  Y\r\n   X", {4, 2}},
    {A, "\x1b[99;99fZ", "\r\n\r\n\r\n         Z", {10, 4}},
    {A, "\x1b[99999999999999B\x1b[99999999999999CZ", "\r\n\r\n\r\n         Z", {10, 4}},
    {A, "\x1b[4;4f\x1bOA\x1bOD\x1bOB\x1bOC", "", {4, 4}},
    {teVT52, std::string("\x1bY") + char(31 + 2) + char(31 + 5) + "X", "\r\n    X", {6, 2}},
    // Erasing
    {A, "abcdef\x1b[1;3f\x1b[K", "ab", {3, 1}}, {A, "abcdef\x1b[1;3f\x1b[2K", "", {1, 1}},
    {A, "ab\r\ncd\r\nef\x1b[2;2f\x1b[J", "ab\r\nc", {2, 2}}, {A, "ab\r\ncd\x1b[2J", "", {1, 1}},
    {teVT52, "abcd\x1b" "D\x1b" "D\x1bK", "ab", {3, 1}},
    // Tab stops
    {A, "\x1b[3ga\tb", "ab", {3, 1}}, {A, "\x1b[1;4f\x1bH\x1b[1;1f\tX", "   X", {5, 1}},
    {A, "\x1b[1;9f\x1b[g\x1b[1;1f\tX", "X", {2, 1}},
    // Saved caret, test pattern
    {A, "\x1b[2;2f\x1b[s\x1b[4;4f\x1b[uX", "\r\n X", {3, 2}},
    {A, "\x1b[3;2f\x1b" "7\x1b[1;1f\x1b" "8X", "\r\n\r\n X", {3, 3}},
    {A, "\x1b#8", "EEEEEEEEEE\r\nEEEEEEEEEE\r\nEEEEEEEEEE\r\nEEEEEEEEEE", {1, 1}},
    // No interpreter: ESC is an ignored control
    {teNone, "\x1b[2Jab", "[2Jab", {6, 1}},
};

TEST(TermModel, ScreenAndCaretAfterInput)
{
    for (const ScreenRow& row : ScreenRows) {
        SCOPED_TRACE(::testing::PrintToString(row.input));
        RecordingHost host;
        TComTermModel model(&host);
        model.SetSize(10, 4);
        model.SetEmulation(row.emulation);
        model.WriteStr(row.input);
        EXPECT_EQ(Screen(model), row.screen);
        EXPECT_EQ(std::pair(model.CaretColumn(), model.CaretRow()), std::pair(row.caret.column, row.caret.row));
    }
}

// What common host output shows, fed whole and split at every byte: empty
// parameters take their defaults, designations and sequences the terminal
// does not perform leave nothing on the screen, CAN and SUB cancel, ESC
// restarts.
TEST(TermModel, HostOutputFedWholeOrInPieces)
{
    struct Row { std::string input, screen; Caret caret; std::string attributes; };
    const Row rows[] = {
        {"\x1b[;5HX", "    X", {6, 1}, ""}, {"\x1b[2;HX", "\r\nX", {2, 2}, ""},
        {"\x1b[;J\x1b[HX", "X", {2, 1}, ""},
        {"\x1b[1;;4mA", "A", {2, 1}, "BU"}, {"\x1b[1;4m\x1b[;mA", "A", {2, 1}, ""},
        {"\x1b[1m\x1b[;;mA", "A", {2, 1}, ""},
        {"\x1b(BHi\x1b)0!", "Hi!", {4, 1}, ""}, {"\x1b[2@Hello", "Hello", {6, 1}, ""},
        {"\x1b[?25lab\x1b[?25h", "ab", {3, 1}, ""}, {"\x1b[1;2~\x1b[>0qok", "ok", {3, 1}, ""},
        {"\x1b[3\x18" "B", "B", {2, 1}, ""}, {"\x1b[3\x1a" "B", "B", {2, 1}, ""},
        {"\x1b[3\x1b[2;2fZ", "\r\n Z", {3, 2}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.input));
        for (std::size_t split = 0; split < row.input.size(); ++split) {
            SCOPED_TRACE(split);
            RecordingHost host;
            TComTermModel model(&host);
            model.SetSize(10, 4);
            model.WriteStr(std::string_view(row.input).substr(0, split));
            model.WriteStr(std::string_view(row.input).substr(split));
            EXPECT_EQ(Screen(model), row.screen);
            EXPECT_EQ(std::pair(model.CaretColumn(), model.CaretRow()), std::pair(row.caret.column, row.caret.row));
            const TComTermChar first = model.Buffer().GetChar(1, 1);
            const std::string attributes = std::string(first.FrontColor != TermRGB(255, 255, 255) ? "B" : "")
                                           + (first.Underline ? "U" : "");
            EXPECT_EQ(attributes, row.attributes);
        }
    }
}

TEST(TermModel, AttributesColourTheCells)
{
    TComTermModel model;
    model.SetAltColor(TermRGB(0, 0, 255));
    model.WriteStr("\x1b[1mB\x1b[0;7mR\x1b[27;4mU\x1b[mN\x1b[7m\x1b" "cP");
    const TTermColor white = TermRGB(255, 255, 255);
    const TTermColor black = TermRGB(0, 0, 0);
    const struct { int column; TTermColor front, back; bool underline; } cells[] = {
        {1, TermRGB(0, 0, 255), black, false}, // bold: the alternative colour
        {2, black, white, false},              // reverse
        {3, white, black, true},               // underline
        {4, white, black, false},              // all off
        {5, white, black, false},              // reset
    };
    for (const auto& c : cells) {
        const TComTermChar cell = model.Buffer().GetChar(c.column, 1);
        EXPECT_EQ(std::tuple(cell.FrontColor, cell.BackColor, cell.Underline), std::tuple(c.front, c.back, c.underline))
            << c.column;
    }
}

TEST(TermModel, AnswersQueriesWithoutEchoingThem)
{
    const struct { TTermEmulation emulation; std::string input; bool open; std::string reply; } rows[] = {
        {A, "\x1b[6n", true, "\x1b[1;1R"}, {A, "ab\r\ncd\x1b[6n", true, "\x1b[2;3R"}, {A, "\x1b[c", true, "\x1b[?1;2c"},
        {A, "\x1b[0c", true, "\x1b[?1;2c"}, {A, "\x1b[5n", true, "\x1b[0n"}, {A, "\x1b[6n", false, ""},
        {teVT52, "\x1bZ", true, "\x1b/Z"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.input));
        RecordingHost host;
        host.open = row.open;
        TComTermModel model(&host);
        model.SetLocalEcho(true);
        model.SetEmulation(row.emulation);
        model.WriteStr(row.input);
        EXPECT_EQ(host.sent, row.reply);
        EXPECT_EQ(Screen(model).find('\x1b'), std::string::npos);
    }
}

TEST(TermModel, UnhandledCodesAreReported)
{
    RecordingHost host;
    TComTermModel model(&host);
    model.WriteStr("\x1b[1J\x1b[0n\x1b=x");
    EXPECT_EQ(host.unhandled, (std::vector<TEscapeCode>{ecUnknown, ecReportDeviceOK, ecUnknown}));
    EXPECT_EQ(Screen(model), "x");
}

TEST(TermModel, SizeChangesKeepCaretAndCellsInside)
{
    TComTermModel model;
    model.WriteStr("abc\x1b[20;70f\x1b[s\x1b[24;80f");
    model.SetSize(40, 10);
    EXPECT_EQ(std::pair(model.Buffer().Columns(), model.Buffer().Rows()), std::pair(40, 10));
    EXPECT_EQ(std::pair(model.CaretColumn(), model.CaretRow()), std::pair(40, 10));
    model.WriteStr("\x1b[uZ");
    EXPECT_EQ(model.Buffer().GetChar(40, 10).Ch, 'Z');
    EXPECT_EQ(model.Buffer().GetChar(41, 1).Ch, 0) << "reads outside are blank";
    EXPECT_EQ(model.Buffer().NextTab(2), 9);
    EXPECT_EQ(Screen(model).substr(0, 3), "abc");

    model.WriteStr("\x1b[?3h\x1b[10;132fX");
    EXPECT_EQ(model.Columns(), 132);
    EXPECT_EQ(model.Buffer().GetChar(132, 10).Ch, 'X');
    model.WriteStr("\x1b[?3l");
    EXPECT_EQ(model.Columns(), 80);
    EXPECT_EQ(model.CaretColumn(), 80);
    model.SetSize(0, 5000);
    EXPECT_EQ(std::pair(model.Columns(), model.Rows()), std::pair(1, TComTermModel::MaxRows));
}

TEST(TermModel, ReceivedBlocksOfAnySizeAreProcessedInPieces)
{
    RecordingHost host;
    TComTermModel model(&host);
    model.SetWrapLines(true);
    const std::string block(3000, 'x');
    model.RxBuf(block.data(), block.size());
    EXPECT_EQ(host.pieces, (std::vector<std::size_t>{1024, 1024, 952}));
    EXPECT_EQ(host.chars, 3000);

    TComTermModel converted(&host);
    converted.SetAppendLF(true);
    converted.SetForce7Bit(true);
    const std::string text = "a\rb\xc1";
    converted.RxBuf(text.data(), text.size());
    EXPECT_EQ(Screen(converted), "a\r\nbA");
}

TEST(TermModel, SavingTrimsAndLoadingSkipsTheInterpreter)
{
    TComTermModel model;
    EXPECT_EQ(Screen(model), "");
    model.WriteStr("ab  \r\n\r\n  c   ");
    EXPECT_EQ(Screen(model), "ab\r\n\r\n  c");
    model.ClearScreen();
    std::istringstream in("\x1b[2Jx\r\ny");
    model.LoadFromStream(in);
    EXPECT_EQ(Screen(model), "[2Jx\r\ny");
}

TEST(TermModel, TypedCharactersAndKeys)
{
    const struct { bool localEcho, sendLF, linked; std::string typed, sent; Caret caret; } chars[] = {
        {false, false, true, "a", "a", {1, 1}}, {true, false, true, "a", "a", {2, 1}},
        {false, true, true, "\r", "\r\n", {1, 1}}, {true, true, true, "x\r", "x\r\n", {1, 1}},
        {true, true, false, "x\r", "", {1, 2}},
    };
    for (const auto& row : chars) {
        RecordingHost host;
        host.linked = host.open = row.linked;
        TComTermModel model(&host);
        model.SetLocalEcho(row.localEcho);
        model.SetSendLF(row.sendLF);
        for (char c : row.typed)
            model.SendChar(uint8_t(c));
        EXPECT_EQ(host.sent, row.sent) << ::testing::PrintToString(row.typed);
        EXPECT_EQ(std::pair(model.CaretColumn(), model.CaretRow()), std::pair(row.caret.column, row.caret.row));
    }

    const struct { TTermEmulation emulation; bool appKeys; TArrowKeys arrows; bool localEcho; TTermKey key;
                   std::string sent; Caret caret; } keys[] = {
        {teVT100orANSI, false, akTerminal, false, TTermKey::Up, "\x1b[A", {5, 5}},
        {teVT100orANSI, false, akTerminal, true, TTermKey::Down, "\x1b[B", {5, 6}},
        {teVT100orANSI, false, akWindows, false, TTermKey::Left, "", {4, 5}},
        {teVT100orANSI, false, akWindows, false, TTermKey::Home, "", {1, 1}},
        {teVT100orANSI, true, akWindows, false, TTermKey::Right, "\x1bOC", {5, 5}},
        {teVT100orANSI, true, akTerminal, false, TTermKey::Home, "", {5, 5}},
        {teVT52, false, akTerminal, false, TTermKey::Left, "\x1b" "D", {5, 5}},
    };
    for (const auto& row : keys) {
        RecordingHost host;
        TComTermModel model(&host);
        model.SetEmulation(row.emulation);
        model.MoveCaret(5, 5);
        model.SetAppCursorKeys(row.appKeys);
        model.SetArrowKeys(row.arrows);
        model.SetLocalEcho(row.localEcho);
        model.KeyDown(row.key);
        EXPECT_EQ(host.sent, row.sent) << int(row.key);
        EXPECT_EQ(std::pair(model.CaretColumn(), model.CaretRow()), std::pair(row.caret.column, row.caret.row))
            << int(row.key);
    }
}

} // namespace
