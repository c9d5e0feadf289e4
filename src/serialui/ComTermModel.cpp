#include "ComTermModel.h"

#include <algorithm>
#include <istream>
#include <iterator>
#include <ostream>
#include <utility>

namespace {

constexpr uint8_t CR = 13;
constexpr uint8_t LF = 10;

// The caret moves by up to the largest parameter; long arithmetic keeps
// row + n from overflowing before the clamp.
int ClampedSum(int base, long long delta, int low, int high)
{
    return int(std::clamp<long long>(base + delta, low, high));
}

std::unique_ptr<TEscapeCodes> MakeEscapeCodes(TTermEmulation emulation)
{
    switch (emulation) {
    case teVT100orANSI: return std::make_unique<TEscapeCodesVT100>();
    case teVT52: return std::make_unique<TEscapeCodesVT52>();
    case teNone: break;
    }
    return nullptr;
}

} // namespace

TComTermModel::TComTermModel(ITermHost* host) : FHost(host)
{
    FEscapeCodes = MakeEscapeCodes(FEmulation);
    UpdateBlank();
    FBuffer.Init(80, 24);
}

TComTermModel::~TComTermModel() = default;

void TComTermModel::SetSize(int columns, int rows)
{
    columns = std::clamp(columns, 1, MaxColumns);
    rows = std::clamp(rows, 1, MaxRows);
    if (columns == Columns() && rows == Rows())
        return;
    FBuffer.Resize(columns, rows);
    FCaretColumn = std::min(FCaretColumn, columns);
    FCaretRow = std::min(FCaretRow, rows);
    FSavedColumn = std::min(FSavedColumn, columns);
    FSavedRow = std::min(FSavedRow, rows);
    FSizeChanged = true;
    MarkChanged();
}

void TComTermModel::SetEmulation(TTermEmulation emulation)
{
    if (emulation == FEmulation)
        return;
    FEmulation = emulation;
    FEscapeCodes = MakeEscapeCodes(emulation);
}

void TComTermModel::SetFontColor(TTermColor color)
{
    FFontColor = color;
    FAttributes.FrontColor = color;
    UpdateBlank();
    MarkChanged();
}

void TComTermModel::SetBackColor(TTermColor color)
{
    FBackColor = color;
    FAttributes.BackColor = color;
    UpdateBlank();
    MarkChanged();
}

void TComTermModel::UpdateBlank()
{
    TComTermChar blank;
    blank.FrontColor = FFontColor;
    blank.BackColor = FBackColor;
    FBuffer.SetBlank(blank);
}

void TComTermModel::MoveCaret(int column, int row)
{
    FCaretColumn = std::clamp(column, 1, Columns());
    FCaretRow = std::clamp(row, 1, Rows());
    MarkChanged();
}

void TComTermModel::MoveBy(int columns, int rows)
{
    MoveCaret(ClampedSum(FCaretColumn, columns, 1, Columns()), ClampedSum(FCaretRow, rows, 1, Rows()));
}

// ---- Receiving ---------------------------------------------------------------------------

void TComTermModel::RxBuf(const void* data, std::size_t count)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::string text;
    for (std::size_t done = 0; done < count;) {
        const std::size_t piece = std::min(RxPiece, count - done);
        text.clear();
        for (std::size_t i = 0; i < piece; ++i) {
            uint8_t c = bytes[done + i];
            if (FForce7Bit)
                c &= 0x7F;
            text.push_back(char(c));
            if (FAppendLF && c == CR)
                text.push_back(char(LF));
        }
        done += piece;
        if (FHost)
            FHost->NotifyStringReceived(text);
        WriteStr(text);
    }
}

void TComTermModel::WriteStr(std::string_view text)
{
    for (char ch : text) {
        const uint8_t c = uint8_t(ch);
        if (!FEscapeCodes) {
            PutChar(c);
            continue;
        }
        switch (FEscapeCodes->ProcessChar(c)) {
        case erChar:
            PutChar(FEscapeCodes->Character());
            break;
        case erCode:
            if (!PutEscapeCode(FEscapeCodes->Code(), FEscapeCodes->Params()) && FHost)
                FHost->NotifyUnhandledCode(FEscapeCodes->Code(), FEscapeCodes->Params());
            FEscapeCodes->ClearParams();
            break;
        case erNothing:
            break;
        }
    }
}

TComTermChar TComTermModel::CellFor(uint8_t c) const
{
    TComTermChar cell;
    cell.Ch = c;
    cell.Underline = FAttributes.Underline;
    if (FAttributes.Bold)
        cell.FrontColor = FAltColor;
    else
        cell.FrontColor = FAttributes.Reverse ? FAttributes.BackColor : FAttributes.FrontColor;
    cell.BackColor = FAttributes.Reverse ? FAttributes.FrontColor : FAttributes.BackColor;
    return cell;
}

void TComTermModel::PutChar(uint8_t c)
{
    switch (c) {
    case 8: AdvanceCaret(acBackspace); break;
    case 9: AdvanceCaret(acTab); break;
    case 10:
    case 12: AdvanceCaret(acLineFeed); break;
    case 13: AdvanceCaret(acReturn); break;
    default:
        if (c >= 32) {
            FBuffer.SetChar(FCaretColumn, FCaretRow, CellFor(c));
            AdvanceCaret(acChar);
        }
        break;
    }
    if (FHost)
        FHost->NotifyCharPut(c);
}

void TComTermModel::AdvanceCaret(TAdvanceCaret kind)
{
    MarkChanged();
    switch (kind) {
    case acChar:
        if (FCaretColumn < Columns()) {
            ++FCaretColumn;
        } else if (FWrapLines) {
            FCaretColumn = 1;
            if (FCaretRow < Rows())
                ++FCaretRow;
            else
                FBuffer.ScrollDown();
        }
        break;
    case acReturn:
        FCaretColumn = 1;
        break;
    case acLineFeed:
        if (FCaretRow < Rows())
            ++FCaretRow;
        else
            FBuffer.ScrollDown();
        break;
    case acReverseLineFeed:
        if (FCaretRow > 1)
            --FCaretRow;
        else
            FBuffer.ScrollUp();
        break;
    case acTab:
        if (const int tab = FBuffer.NextTab(FCaretColumn + 1))
            FCaretColumn = tab;
        break;
    case acBackspace:
        FCaretColumn = std::max(FCaretColumn - 1, 1);
        break;
    }
}

bool TComTermModel::PutEscapeCode(TEscapeCode code, const TEscapeParams& params)
{
    const int n = GetParam(1, params);
    MarkChanged();
    switch (code) {
    case ecCursorUp:
    case ecAppCursorUp: MoveBy(0, -n); break;
    case ecCursorDown:
    case ecAppCursorDown: MoveBy(0, n); break;
    case ecCursorLeft:
    case ecAppCursorLeft: MoveBy(-n, 0); break;
    case ecCursorRight:
    case ecAppCursorRight: MoveBy(n, 0); break;
    case ecCursorHome:
    case ecCursorMove: MoveCaret(GetParam(2, params), n); break;
    case ecReverseLineFeed: AdvanceCaret(acReverseLineFeed); break;
    case ecEraseLineFrom: FBuffer.EraseLine(FCaretColumn, FCaretRow); break;
    case ecEraseScreenFrom: FBuffer.EraseScreen(FCaretColumn, FCaretRow); break;
    case ecEraseLine:
        FCaretColumn = 1;
        FBuffer.EraseLine(1, FCaretRow);
        break;
    case ecEraseScreen:
        MoveCaret(1, 1);
        FBuffer.Clear();
        break;
    case ecSetTab: FBuffer.SetTab(FCaretColumn, true); break;
    case ecClearTab: FBuffer.SetTab(FCaretColumn, false); break;
    case ecClearAllTabs: FBuffer.ClearAllTabs(); break;
    case ecIdentify: Reply(ecIdentResponse, {"2"}); break;
    case ecQueryDevice: Reply(ecReportDeviceOK, {}); break;
    case ecQueryCursorPos:
        Reply(ecReportCursorPos, {std::to_string(FCaretRow), std::to_string(FCaretColumn)});
        break;
    case ecAttributes: SetAttributes(params); break;
    case ecSetMode: SetMode(params, true); break;
    case ecResetMode: SetMode(params, false); break;
    case ecReset: SetAttributes({"0"}); break;
    case ecSaveCaretAndAttr:
        FSavedAttributes = FAttributes;
        [[fallthrough]];
    case ecSaveCaret:
        FSavedColumn = FCaretColumn;
        FSavedRow = FCaretRow;
        break;
    case ecRestoreCaretAndAttr:
        FAttributes = FSavedAttributes;
        [[fallthrough]];
    case ecRestoreCaret: MoveCaret(FSavedColumn, FSavedRow); break;
    case ecTest: FillTest(); break;
    default: return false;
    }
    return true;
}

void TComTermModel::FillTest()
{
    const TComTermChar cell = CellFor('E');
    for (int row = 1; row <= Rows(); ++row) {
        for (int column = 1; column <= Columns(); ++column)
            FBuffer.SetChar(column, row, cell);
    }
}

void TComTermModel::SetAttributes(const TEscapeParams& params)
{
    // No parameter, or only empty ones ("ESC[;m"), resets; an empty one
    // among others changes nothing.
    if (std::all_of(params.begin(), params.end(), [](const std::string& p) { return p.empty(); })) {
        SetAttributes({"0"});
        return;
    }
    for (int i = 1; i <= int(params.size()); ++i) {
        if (params[std::size_t(i - 1)].empty())
            continue;
        switch (GetParam(i, params)) {
        case 0:
            FAttributes = TTermAttributes{FFontColor, FBackColor, false, false, false};
            break;
        case 1: FAttributes.Bold = true; break;
        case 4: FAttributes.Underline = true; break;
        case 7: FAttributes.Reverse = true; break;
        case 21: FAttributes.Bold = false; break;
        case 24: FAttributes.Underline = false; break;
        case 27: FAttributes.Reverse = false; break;
        default: break;
        }
    }
}

void TComTermModel::SetMode(const TEscapeParams& params, bool on)
{
    if (params.empty())
        return;
    const std::string& mode = params.front();
    if (mode == "?1")
        FAppCursorKeys = on;
    else if (mode == "7")
        FWrapLines = on;
    else if (mode == "?3")
        SetColumns(on ? 132 : 80);
}

// ---- Sending -------------------------------------------------------------------------------

std::string TComTermModel::CodeText(TEscapeCode code, const TEscapeParams& params) const
{
    return FEscapeCodes ? FEscapeCodes->EscCodeToStr(code, params) : std::string();
}

void TComTermModel::Send(const std::string& bytes)
{
    if (!bytes.empty() && FHost && FHost->PortOpen())
        FHost->SendBytes(bytes);
}

void TComTermModel::Reply(TEscapeCode code, const TEscapeParams& params)
{
    Send(CodeText(code, params));
}

void TComTermModel::SendChar(uint8_t c)
{
    const bool linked = FHost && FHost->PortLinked();
    if (FLocalEcho) {
        PutChar(c);
        if (c == CR && FSendLF && !linked)
            PutChar(LF);
    }
    std::string bytes(1, char(c));
    if (c == CR && FSendLF)
        bytes.push_back(char(LF));
    Send(bytes);
}

void TComTermModel::SendCode(TEscapeCode code, const TEscapeParams& params)
{
    Send(CodeText(code, params));
    if (FLocalEcho)
        PutEscapeCode(code, params);
}

void TComTermModel::KeyDown(TTermKey key)
{
    static constexpr TEscapeCode plain[] = {ecCursorHome, ecCursorLeft, ecCursorUp, ecCursorRight, ecCursorDown};
    static constexpr TEscapeCode application[] = {ecUnknown, ecAppCursorLeft, ecAppCursorUp, ecAppCursorRight,
                                                  ecAppCursorDown};
    const auto index = std::size_t(key);
    if (FAppCursorKeys) {
        if (key != TTermKey::Home)
            SendCode(application[index], {});
        return;
    }
    if (FArrowKeys == akWindows)
        PutEscapeCode(plain[index], {});
    else
        SendCode(plain[index], {});
}

// ---- Whole screen -----------------------------------------------------------------------------

void TComTermModel::ClearScreen()
{
    FBuffer.Clear();
    MoveCaret(1, 1);
}

void TComTermModel::SaveToStream(std::ostream& out) const
{
    const int last = FBuffer.GetLastLine();
    std::string line;
    for (int row = 1; row <= last; ++row) {
        const TComTermChar* cells = FBuffer.Row(row);
        line.assign(std::size_t(FBuffer.GetLineLength(row)), ' ');
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (cells[i].Ch != 0)
                line[i] = char(cells[i].Ch);
        }
        if (row < last)
            line += "\r\n";
        out.write(line.data(), std::streamsize(line.size()));
    }
}

void TComTermModel::LoadFromStream(std::istream& in)
{
    std::for_each(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(),
                  [this](char c) { PutChar(uint8_t(c)); });
}

bool TComTermModel::TakeChanged()
{
    return std::exchange(FChanged, false);
}

bool TComTermModel::TakeSizeChanged()
{
    return std::exchange(FSizeChanged, false);
}
