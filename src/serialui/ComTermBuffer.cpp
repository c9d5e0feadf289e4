#include "ComTermBuffer.h"

#include <algorithm>

namespace {

bool IsBlank(const TComTermChar& cell)
{
    return cell.Ch == 0 || cell.Ch == ' ';
}

} // namespace

void TComTermBuffer::Init(int columns, int rows)
{
    FColumns = std::max(columns, 1);
    FRows = std::max(rows, 1);
    FCells.assign(std::size_t(FColumns) * std::size_t(FRows), FBlank);
    ResetTabs();
}

void TComTermBuffer::Resize(int columns, int rows)
{
    const TComTermBuffer old = *this;
    Init(columns, rows);
    const int keepColumns = std::min(old.FColumns, FColumns);
    const int keepRows = std::min(old.FRows, FRows);
    for (int row = 1; row <= keepRows; ++row) {
        const TComTermChar* from = old.Row(row);
        std::copy(from, from + keepColumns, FCells.begin() + std::ptrdiff_t(Index(1, row)));
    }
}

void TComTermBuffer::ResetTabs()
{
    FTabs.assign(std::size_t(FColumns), false);
    for (int column = 1; column <= FColumns; column += TabWidth)
        FTabs[std::size_t(column - 1)] = true;
}

TComTermChar TComTermBuffer::GetChar(int column, int row) const
{
    return Inside(column, row) ? FCells[Index(column, row)] : FBlank;
}

void TComTermBuffer::SetChar(int column, int row, const TComTermChar& cell)
{
    if (Inside(column, row))
        FCells[Index(column, row)] = cell;
}

const TComTermChar* TComTermBuffer::Row(int row) const
{
    return row >= 1 && row <= FRows ? &FCells[Index(1, row)] : nullptr;
}

void TComTermBuffer::ScrollDown()
{
    std::copy(FCells.begin() + FColumns, FCells.end(), FCells.begin());
    std::fill(FCells.end() - FColumns, FCells.end(), FBlank);
}

void TComTermBuffer::ScrollUp()
{
    std::copy_backward(FCells.begin(), FCells.end() - FColumns, FCells.end());
    std::fill(FCells.begin(), FCells.begin() + FColumns, FBlank);
}

void TComTermBuffer::EraseLine(int column, int row)
{
    if (row < 1 || row > FRows)
        return;
    column = std::clamp(column, 1, FColumns + 1);
    const auto begin = FCells.begin() + std::ptrdiff_t(Index(1, row));
    std::fill(begin + (column - 1), begin + FColumns, FBlank);
}

void TComTermBuffer::EraseScreen(int column, int row)
{
    if (row < 1) {
        row = 1;
        column = 1;
    }
    if (row > FRows)
        return;
    EraseLine(column, row);
    std::fill(FCells.begin() + std::ptrdiff_t(Index(1, row)) + FColumns, FCells.end(), FBlank);
}

void TComTermBuffer::SetTab(int column, bool on)
{
    if (column >= 1 && column <= FColumns)
        FTabs[std::size_t(column - 1)] = on;
}

bool TComTermBuffer::GetTab(int column) const
{
    return column >= 1 && column <= FColumns && FTabs[std::size_t(column - 1)];
}

int TComTermBuffer::NextTab(int column) const
{
    for (int c = std::max(column, 1); c <= FColumns; ++c) {
        if (FTabs[std::size_t(c - 1)])
            return c;
    }
    return 0;
}

void TComTermBuffer::ClearAllTabs()
{
    std::fill(FTabs.begin(), FTabs.end(), false);
}

int TComTermBuffer::GetLineLength(int row) const
{
    const TComTermChar* cells = Row(row);
    if (!cells)
        return 0;
    for (int length = FColumns; length > 0; --length) {
        if (!IsBlank(cells[length - 1]))
            return length;
    }
    return 0;
}

int TComTermBuffer::GetLastLine() const
{
    for (int row = FRows; row > 0; --row) {
        if (GetLineLength(row) > 0)
            return row;
    }
    return 0;
}
