// What a character-cell terminal does, without any window: the screen
// buffer, the caret, the current attributes, the escape interpreter, the
// settings, received text, typed keys and the answers to the remote side's
// queries. The terminal widget draws it and feeds it; tests drive it alone.
//
// One thread (the GUI thread for the widget). The host tells whether a port
// is linked and open and takes the bytes to send; it must not throw, so a
// failing port never leaves received text half processed.
#pragma once

#include "ComTermBuffer.h"
#include "EscapeCodes.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

enum TTermEmulation { teVT100orANSI, teVT52, teNone };
enum TTermCaret { tcBlock, tcUnderline, tcNone };
enum TArrowKeys { akTerminal, akWindows };
enum TAdvanceCaret { acChar, acReturn, acLineFeed, acReverseLineFeed, acTab, acBackspace };
// The keys that travel as escape codes.
enum class TTermKey { Home, Left, Up, Right, Down };

class ITermHost {
public:
    virtual ~ITermHost() = default;
    virtual bool PortLinked() const = 0;
    virtual bool PortOpen() const = 0;
    // Writes to the port; never throws.
    virtual void SendBytes(const std::string& bytes) = 0;
    // Each received piece after the line-feed and 7-bit conversions.
    virtual void NotifyStringReceived(const std::string& /*text*/) {}
    // Every character that reached PutChar.
    virtual void NotifyCharPut(uint8_t /*c*/) {}
    virtual void NotifyUnhandledCode(TEscapeCode /*code*/, const TEscapeParams& /*params*/) {}
};

struct TTermAttributes {
    TTermColor FrontColor = TermRGB(255, 255, 255);
    TTermColor BackColor = TermRGB(0, 0, 0);
    bool Reverse = false;
    bool Bold = false;
    bool Underline = false;
};

class TComTermModel {
public:
    static constexpr int MaxColumns = 1000;
    static constexpr int MaxRows = 1000;
    // Received bytes are processed in pieces of at most this many.
    static constexpr std::size_t RxPiece = 1024;

    explicit TComTermModel(ITermHost* host = nullptr);
    ~TComTermModel();
    void SetHost(ITermHost* host) { FHost = host; }

    // ---- Size: a change re-creates the buffer and tab stops and keeps the
    // caret and the saved caret on the screen. Clamped to 1..Max.
    int Columns() const { return FBuffer.Columns(); }
    int Rows() const { return FBuffer.Rows(); }
    void SetColumns(int columns) { SetSize(columns, Rows()); }
    void SetRows(int rows) { SetSize(Columns(), rows); }
    void SetSize(int columns, int rows);

    // ---- Settings
    bool LocalEcho() const { return FLocalEcho; }
    void SetLocalEcho(bool on) { FLocalEcho = on; }
    bool SendLF() const { return FSendLF; }
    void SetSendLF(bool on) { FSendLF = on; }
    bool WrapLines() const { return FWrapLines; }
    void SetWrapLines(bool on) { FWrapLines = on; }
    bool Force7Bit() const { return FForce7Bit; }
    void SetForce7Bit(bool on) { FForce7Bit = on; }
    bool AppendLF() const { return FAppendLF; }
    void SetAppendLF(bool on) { FAppendLF = on; }
    TTermEmulation Emulation() const { return FEmulation; }
    void SetEmulation(TTermEmulation emulation);
    TTermCaret Caret() const { return FCaret; }
    void SetCaret(TTermCaret caret) { FCaret = caret; MarkChanged(); }
    TArrowKeys ArrowKeys() const { return FArrowKeys; }
    void SetArrowKeys(TArrowKeys keys) { FArrowKeys = keys; }
    bool AppCursorKeys() const { return FAppCursorKeys; }
    void SetAppCursorKeys(bool on) { FAppCursorKeys = on; }
    // The default text colour and background; bold text takes AltColor.
    TTermColor FontColor() const { return FFontColor; }
    void SetFontColor(TTermColor color);
    TTermColor BackColor() const { return FBackColor; }
    void SetBackColor(TTermColor color);
    TTermColor AltColor() const { return FAltColor; }
    void SetAltColor(TTermColor color) { FAltColor = color; }

    // ---- Screen state
    const TComTermBuffer& Buffer() const { return FBuffer; }
    const TTermAttributes& Attributes() const { return FAttributes; }
    int CaretColumn() const { return FCaretColumn; }
    int CaretRow() const { return FCaretRow; }
    int SavedCaretColumn() const { return FSavedColumn; }
    int SavedCaretRow() const { return FSavedRow; }
    // Clamped into the screen.
    void MoveCaret(int column, int row);

    // ---- Receiving
    // Any number of bytes, in pieces of at most RxPiece: line feeds appended
    // after CR and bit 7 cleared as set, then the piece is written.
    void RxBuf(const void* data, std::size_t count);
    // Through the escape interpreter (when there is one) onto the screen.
    void WriteStr(std::string_view text);
    void PutChar(uint8_t c);
    void AdvanceCaret(TAdvanceCaret kind);
    // False for a code the terminal does not perform.
    bool PutEscapeCode(TEscapeCode code, const TEscapeParams& params);
    void SetAttributes(const TEscapeParams& params);
    void SetMode(const TEscapeParams& params, bool on);

    // ---- Sending
    void SendChar(uint8_t c);
    // Writes the code's sequence to an open port; performs it here too when
    // LocalEcho is on.
    void SendCode(TEscapeCode code, const TEscapeParams& params);
    void KeyDown(TTermKey key);
    // The sequence the current emulation sends for code (empty: none).
    std::string CodeText(TEscapeCode code, const TEscapeParams& params) const;

    // ---- Whole screen
    void ClearScreen();
    // Rows up to the last non-empty one, each up to its last non-blank cell,
    // one byte per cell, CR LF between rows.
    void SaveToStream(std::ostream& out) const;
    // Every byte straight to PutChar.
    void LoadFromStream(std::istream& in);

    // ---- For the view: whether the screen (or the caret) changed, and
    // whether the size changed, since the last call.
    bool TakeChanged();
    bool TakeSizeChanged();

private:
    void MarkChanged() { FChanged = true; }
    void MoveBy(int columns, int rows);
    TComTermChar CellFor(uint8_t c) const;
    void Reply(TEscapeCode code, const TEscapeParams& params);
    void Send(const std::string& bytes);
    void FillTest();
    void UpdateBlank();

    ITermHost* FHost;
    TComTermBuffer FBuffer;
    std::unique_ptr<TEscapeCodes> FEscapeCodes;
    TTermAttributes FAttributes;
    TTermAttributes FSavedAttributes;
    int FCaretColumn = 1;
    int FCaretRow = 1;
    int FSavedColumn = 1;
    int FSavedRow = 1;

    bool FLocalEcho = false;
    bool FSendLF = false;
    bool FWrapLines = false;
    bool FForce7Bit = false;
    bool FAppendLF = false;
    TTermEmulation FEmulation = teVT100orANSI;
    TTermCaret FCaret = tcBlock;
    TArrowKeys FArrowKeys = akTerminal;
    bool FAppCursorKeys = false;
    TTermColor FFontColor = TermRGB(255, 255, 255);
    TTermColor FBackColor = TermRGB(0, 0, 0);
    TTermColor FAltColor = TermRGB(166, 166, 166);

    bool FChanged = true;
    bool FSizeChanged = true;
};
