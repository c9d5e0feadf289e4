// The character cells of a terminal screen and its tab stops. Plain C++, no
// Qt; used on the terminal's thread only. Columns and rows are 1-based; a read
// outside the screen gives a blank cell and a write outside it is ignored.
#pragma once

#include <cstdint>
#include <vector>

// 0x00BBGGRR, like every colour the program stores.
using TTermColor = uint32_t;

constexpr TTermColor TermRGB(int r, int g, int b)
{
    return TTermColor(r & 0xFF) | (TTermColor(g & 0xFF) << 8) | (TTermColor(b & 0xFF) << 16);
}

// One screen cell. Character 0 is an empty cell (shown and saved as a blank).
struct TComTermChar {
    uint8_t Ch = 0;
    bool Underline = false;
    TTermColor FrontColor = TermRGB(255, 255, 255);
    TTermColor BackColor = TermRGB(0, 0, 0);

    bool operator==(const TComTermChar&) const = default;
};

class TComTermBuffer {
public:
    static constexpr int TabWidth = 8;

    // Allocates columns x rows cleared cells (at least 1 x 1) and puts tab
    // stops at columns 1, 9, 17, ...
    void Init(int columns, int rows);
    // Re-creates the cells and tab stops for a new size, keeping the text
    // where old and new screen overlap.
    void Resize(int columns, int rows);
    int Columns() const { return FColumns; }
    int Rows() const { return FRows; }

    // The cell every clear writes (its colours are the terminal's defaults).
    void SetBlank(const TComTermChar& blank) { FBlank = blank; }
    const TComTermChar& Blank() const { return FBlank; }

    TComTermChar GetChar(int column, int row) const;
    void SetChar(int column, int row, const TComTermChar& cell);
    // The cells of one row (Columns() of them), nullptr outside the screen.
    const TComTermChar* Row(int row) const;

    // Content up one line, the last line cleared.
    void ScrollDown();
    // Content down one line, the first line cleared.
    void ScrollUp();
    // From column to the end of the line.
    void EraseLine(int column, int row);
    // From (column, row) to the end of the screen.
    void EraseScreen(int column, int row);
    void Clear() { EraseScreen(1, 1); }

    void SetTab(int column, bool on);
    bool GetTab(int column) const;
    // The first tab stop at or after column; 0 when there is none.
    int NextTab(int column) const;
    void ClearAllTabs();

    // The cells of row up to its last non-blank one (0 for an empty row).
    int GetLineLength(int row) const;
    // The last row that holds a non-blank cell (0 when the screen is empty).
    int GetLastLine() const;

private:
    bool Inside(int column, int row) const
    {
        return column >= 1 && column <= FColumns && row >= 1 && row <= FRows;
    }
    std::size_t Index(int column, int row) const
    {
        return std::size_t(row - 1) * std::size_t(FColumns) + std::size_t(column - 1);
    }
    void ResetTabs();

    int FColumns = 0;
    int FRows = 0;
    TComTermChar FBlank;
    std::vector<TComTermChar> FCells;
    std::vector<bool> FTabs;
};
