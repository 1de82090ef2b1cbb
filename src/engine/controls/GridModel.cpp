#include "controls/GridModel.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace corvelle {
namespace {

// New rows go into blocks of this size; a row that does not fit in one gets a block of its own.
constexpr std::size_t kBlockBytes = std::size_t{64} * 1024;
// Garbage is swept once it is more than this and more than the live text.
constexpr std::size_t kTolerableGarbage = std::size_t{256} * 1024;

std::size_t lengthBytes(std::size_t length)
{
    std::size_t bytes = 1;
    while (length >= 0x80) {
        length >>= 7;
        ++bytes;
    }
    return bytes;
}

void appendLength(std::string& out, std::size_t length)
{
    while (length >= 0x80) {
        out += static_cast<char>((length & 0x7F) | 0x80);
        length >>= 7;
    }
    out += static_cast<char>(length);
}

/// Reads the length at `at` and moves `at` past it.
std::size_t readLength(const char*& at)
{
    std::size_t length = 0;
    int shift = 0;
    while (true) {
        const auto byte = static_cast<unsigned char>(*at++);
        length |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if (byte < 0x80) {
            return length;
        }
        shift += 7;
    }
}

} // namespace

template <class Cells> GridModel::Row GridModel::storeCells(const Cells& cells, std::size_t count)
{
    const std::size_t cols = static_cast<std::size_t>(m_colCount);
    std::size_t bytes = 0;
    bool anyText = false;
    for (std::size_t c = 0; c < cols; ++c) {
        const std::size_t length = c < count ? std::string_view(cells[c]).size() : 0;
        bytes += lengthBytes(length) + length;
        anyText = anyText || length > 0;
    }
    Row row;
    if (!anyText) {
        return row;
    }
    if (m_blocks.empty() || m_blocks.back().size() + bytes > m_blocks.back().capacity()) {
        m_blocks.emplace_back().reserve(std::max(kBlockBytes, bytes));
    }
    std::string& block = m_blocks.back();
    row.block = static_cast<std::uint32_t>(m_blocks.size() - 1);
    row.offset = static_cast<std::uint32_t>(block.size());
    for (std::size_t c = 0; c < cols; ++c) {
        const std::string_view text = c < count ? std::string_view(cells[c]) : std::string_view();
        appendLength(block, text.size());
        block += text;
    }
    m_textBytes += bytes;
    return row;
}

std::string_view GridModel::rowText(const Row& row) const
{
    if (row.block == kNoText) {
        return {};
    }
    const char* const begin = m_blocks[row.block].data() + row.offset;
    const char* at = begin;
    for (int c = 0; c < m_colCount; ++c) {
        at += readLength(at);
    }
    return {begin, static_cast<std::size_t>(at - begin)};
}

std::vector<std::string_view> GridModel::cellsOf(const Row& row,
                                                 const std::vector<std::string>& blocks) const
{
    std::vector<std::string_view> cells(static_cast<std::size_t>(m_colCount));
    if (row.block != kNoText) {
        const char* at = blocks[row.block].data() + row.offset;
        for (std::string_view& cell : cells) {
            const std::size_t length = readLength(at);
            cell = std::string_view(at, length);
            at += length;
        }
    }
    return cells;
}

void GridModel::release(const Row& row)
{
    m_garbageBytes += rowText(row).size();
    if (row.cellColors != kNoCellColors) {
        std::vector<Color>().swap(m_cellColors[row.cellColors]);
        ++m_garbageCellColors;
    }
}

void GridModel::releaseRange(std::size_t first, std::size_t end)
{
    for (std::size_t r = first; r < end; ++r) {
        release(m_rows[r]);
    }
}

void GridModel::compactIfWasteful()
{
    const bool wastefulText =
        m_garbageBytes > kTolerableGarbage && m_garbageBytes > m_textBytes - m_garbageBytes;
    const bool wastefulColors = m_garbageCellColors > 1024 &&
                                m_garbageCellColors > m_cellColors.size() - m_garbageCellColors;
    if (wastefulText || wastefulColors) {
        rewriteRows(m_colCount);
    }
}

void GridModel::rewriteRows(int cols)
{
    std::vector<std::string> old;
    old.swap(m_blocks);
    std::vector<std::vector<Color>> oldColors;
    oldColors.swap(m_cellColors);
    m_textBytes = 0;
    m_garbageBytes = 0;
    m_garbageCellColors = 0;
    const int oldCols = m_colCount;
    for (Row& row : m_rows) {
        if (row.block != kNoText) {
            m_colCount = oldCols;
            const std::vector<std::string_view> cells = cellsOf(row, old);
            m_colCount = cols;
            const Row stored = storeCells(cells, cells.size());
            row.block = stored.block;
            row.offset = stored.offset;
        }
        if (row.cellColors != kNoCellColors) {
            m_cellColors.push_back(std::move(oldColors[row.cellColors]));
            row.cellColors = static_cast<std::uint32_t>(m_cellColors.size() - 1);
        }
    }
    m_colCount = cols;
}

void GridModel::RowCount(int rows)
{
    if (rows < 1) {
        throw std::out_of_range("a grid keeps its header row");
    }
    const int current = RowCount();
    if (rows == 1 && current == 1) {
        ++m_removals; // emptied again: a list loaded anew starts here
    }
    if (rows < current) {
        if (m_observer != nullptr) {
            m_observer->rowsAboutToBeRemoved(rows, current - 1);
        }
        releaseRange(static_cast<std::size_t>(rows), m_rows.size());
        m_rows.resize(static_cast<std::size_t>(rows));
        ++m_removals;
        compactIfWasteful();
        std::erase_if(m_selected, [rows](int r) { return r >= rows; });
        if (m_currentRow >= rows) {
            m_currentRow = -1;
        }
        if (m_observer != nullptr) {
            m_observer->rowsRemoved();
        }
    } else if (rows > current) {
        if (m_observer != nullptr) {
            m_observer->rowsAboutToBeInserted(current, rows - 1);
        }
        m_rows.resize(static_cast<std::size_t>(rows));
        if (m_observer != nullptr) {
            m_observer->rowsInserted();
        }
    }
}

void GridModel::ColCount(int cols)
{
    if (cols < 0) {
        throw std::out_of_range("negative column count");
    }
    if (m_observer != nullptr) {
        m_observer->aboutToReset();
    }
    ++m_removals;
    rewriteRows(cols);
    m_columns.resize(static_cast<std::size_t>(cols));
    for (const Row& row : m_rows) {
        if (row.cellColors != kNoCellColors) {
            m_cellColors[row.cellColors].resize(static_cast<std::size_t>(cols), row.color);
        }
    }
    if (m_observer != nullptr) {
        m_observer->reset();
    }
}

void GridModel::ColumnFormat(std::string_view format)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t bar = format.find('|', start);
        parts.push_back(format.substr(start, bar - start));
        if (bar == std::string_view::npos) {
            break;
        }
        start = bar + 1;
    }
    ColCount(static_cast<int>(parts.size()));
    for (std::size_t c = 0; c < parts.size(); ++c) {
        std::string_view& header = parts[c];
        m_columns[c].leftAligned = header.starts_with('<');
        if (header.starts_with('<') || header.starts_with('>') || header.starts_with('^')) {
            header.remove_prefix(1);
        }
    }
    // The header gets new text and keeps its colours.
    Row& headerRow = m_rows[0];
    m_garbageBytes += rowText(headerRow).size();
    const Row stored = storeCells(parts, parts.size());
    headerRow.block = stored.block;
    headerRow.offset = stored.offset;
    if (m_observer != nullptr) {
        m_observer->cellsChanged(0, 0, 0, m_colCount - 1);
    }
}

bool GridModel::ColumnHidden(int col) const
{
    checkCell(0, col);
    return m_columns[static_cast<std::size_t>(col)].hidden;
}

void GridModel::ColumnHidden(int col, bool hidden)
{
    checkCell(0, col);
    m_columns[static_cast<std::size_t>(col)].hidden = hidden;
    if (m_observer != nullptr) {
        m_observer->columnHiddenChanged(col);
    }
}

int GridModel::ColumnWidth(int col) const
{
    checkCell(0, col);
    return m_columns[static_cast<std::size_t>(col)].width;
}

void GridModel::ColumnWidth(int col, int twips)
{
    checkCell(0, col);
    m_columns[static_cast<std::size_t>(col)].width = twips;
}

bool GridModel::ColumnLeftAligned(int col) const
{
    checkCell(0, col);
    return m_columns[static_cast<std::size_t>(col)].leftAligned;
}

void GridModel::CurrentRow(int row)
{
    if (row >= RowCount()) {
        throw std::out_of_range("row " + std::to_string(row) + " is not in the grid");
    }
    const int next = row < 0 ? -1 : row;
    if (next == m_currentRow) {
        return;
    }
    m_currentRow = next;
    if (m_observer != nullptr) {
        m_observer->currentRowChanged();
    }
}

void GridModel::AppendRow(std::span<const std::string> cells)
{
    insertRowAt(RowCount(), storeCells(cells, cells.size()));
}

void GridModel::AppendRow(std::vector<std::string>&& cells, const RowRecord& record)
{
    Row row = storeCells(cells, cells.size());
    row.record = record;
    insertRowAt(RowCount(), row);
}

void GridModel::AppendRowText(std::string_view tabSeparated)
{
    std::vector<std::string_view> cells;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = tabSeparated.find('\t', start);
        cells.push_back(tabSeparated.substr(start, tab - start));
        if (tab == std::string_view::npos) {
            break;
        }
        start = tab + 1;
    }
    insertRowAt(RowCount(), storeCells(cells, cells.size()));
}

void GridModel::RemoveRow(int row)
{
    RemoveRows(row, row);
}

void GridModel::RemoveRows(int first, int last)
{
    checkDataRow(first);
    checkDataRow(last);
    if (last < first) {
        throw std::out_of_range("no rows from " + std::to_string(first) + " to " +
                                std::to_string(last));
    }
    const int count = last - first + 1;
    if (m_observer != nullptr) {
        m_observer->rowsAboutToBeRemoved(first, last);
    }
    releaseRange(static_cast<std::size_t>(first), static_cast<std::size_t>(last) + 1);
    m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
    ++m_removals;
    compactIfWasteful();
    std::erase_if(m_selected, [&](int row) { return row >= first && row <= last; });
    for (int& selected : m_selected) {
        if (selected > last) {
            selected -= count;
        }
    }
    if (m_currentRow >= first && m_currentRow <= last) {
        m_currentRow = first < RowCount() ? first : RowCount() - 1;
        if (m_currentRow < 1) {
            m_currentRow = -1;
        }
    } else if (m_currentRow > last) {
        m_currentRow -= count;
    }
    if (m_observer != nullptr) {
        m_observer->rowsRemoved();
    }
}

void GridModel::removeRowSet(std::vector<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (const int row : rows) {
        checkDataRow(row);
    }
    std::vector<std::pair<int, int>> runs; // first, last
    for (const int row : rows) {
        if (!runs.empty() && runs.back().second == row - 1) {
            runs.back().second = row;
        } else {
            runs.emplace_back(row, row);
        }
    }
    // A few runs go one by one from the bottom up, so that the rows above keep their numbers
    // and the views keep their place; beyond that, each run would move the whole tail again.
    constexpr std::size_t kRunsRemovedOneByOne = 32;
    if (runs.size() <= kRunsRemovedOneByOne) {
        for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
            RemoveRows(run->first, run->second);
        }
        return;
    }
    if (m_observer != nullptr) {
        m_observer->aboutToReset();
    }
    // newRow[r]: where row r goes, or -1 when it is removed.
    std::vector<int> newRow(m_rows.size(), -1);
    std::size_t kept = 0;
    auto removed = rows.begin();
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        if (removed != rows.end() && static_cast<std::size_t>(*removed) == r) {
            release(m_rows[r]);
            ++removed;
            continue;
        }
        newRow[r] = static_cast<int>(kept);
        if (kept != r) {
            m_rows[kept] = m_rows[r];
        }
        ++kept;
    }
    m_rows.resize(kept);
    ++m_removals;
    compactIfWasteful();
    std::vector<int> selected;
    for (const int row : m_selected) {
        if (newRow[static_cast<std::size_t>(row)] >= 0) {
            selected.push_back(newRow[static_cast<std::size_t>(row)]);
        }
    }
    m_selected = std::move(selected);
    if (m_currentRow >= 1) {
        // As RemoveRows does: a removed current row hands over to the next row left.
        int row = m_currentRow;
        while (row < static_cast<int>(newRow.size()) && newRow[static_cast<std::size_t>(row)] < 0) {
            ++row;
        }
        m_currentRow = row < static_cast<int>(newRow.size()) ? newRow[static_cast<std::size_t>(row)]
                                                             : RowCount() - 1;
        if (m_currentRow < 1) {
            m_currentRow = -1;
        }
    }
    if (m_observer != nullptr) {
        m_observer->reset();
        m_observer->selectionChanged();
        m_observer->currentRowChanged();
    }
}

void GridModel::insertRows(std::vector<InsertedRow> rows)
{
    if (rows.empty()) {
        return;
    }
    std::vector<Row> stored;
    stored.reserve(rows.size());
    for (InsertedRow& row : rows) {
        Row made = storeCells(row.cells, row.cells.size());
        made.record = row.record;
        made.color = row.color.value_or(kNoColor);
        stored.push_back(made);
    }
    // As removeRowSet: a few go in one by one, so that the views keep their place; more in
    // one pass, told as a reset.
    constexpr std::size_t kRowsInsertedOneByOne = 32;
    if (stored.size() <= kRowsInsertedOneByOne) {
        for (std::size_t i = 0; i < stored.size(); ++i) {
            insertRowAt(std::min(rows[i].at, RowCount()), stored[i]);
        }
        return;
    }
    // Where each row now in the grid goes once all are in.
    const auto shifted = [&](int row) {
        for (const InsertedRow& inserted : rows) {
            if (inserted.at <= row) {
                ++row;
            }
        }
        return row;
    };
    std::vector<int> selected;
    for (const int row : m_selected) {
        selected.push_back(shifted(row));
    }
    const int current = m_currentRow >= 1 ? shifted(m_currentRow) : m_currentRow;
    if (m_observer != nullptr) {
        m_observer->aboutToReset();
    }
    std::deque<Row> merged;
    std::size_t next = 0;
    for (std::size_t r = 0; r < m_rows.size() || next < stored.size();) {
        const int at = static_cast<int>(merged.size());
        if (next < stored.size() && (rows[next].at <= at || r == m_rows.size())) {
            merged.push_back(stored[next++]);
        } else {
            merged.push_back(m_rows[r++]);
        }
    }
    m_rows = std::move(merged);
    m_selected = std::move(selected);
    m_currentRow = current;
    if (m_observer != nullptr) {
        m_observer->reset();
        m_observer->selectionChanged();
        m_observer->currentRowChanged();
    }
}

void GridModel::insertRowAt(int at, const Row& row)
{
    if (m_observer != nullptr) {
        m_observer->rowsAboutToBeInserted(at, at);
    }
    m_rows.insert(m_rows.begin() + at, row);
    for (int& selected : m_selected) {
        if (selected >= at) {
            ++selected;
        }
    }
    if (m_currentRow >= at) {
        ++m_currentRow;
    }
    if (m_observer != nullptr) {
        m_observer->rowsInserted();
    }
}

std::string_view GridModel::CellText(int row, int col) const
{
    checkCell(row, col);
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    if (r.block == kNoText) {
        return {};
    }
    const char* at = m_blocks[r.block].data() + r.offset;
    for (int c = 0; c < col; ++c) {
        at += readLength(at);
    }
    const std::size_t length = readLength(at);
    return {at, length};
}

void GridModel::CellBackColor(int row1, int col1, int row2, int col2, Color color)
{
    checkCell(row1, col1);
    checkCell(row2, col2);
    const auto [rLow, rHigh] = std::minmax(row1, row2);
    const auto [cLow, cHigh] = std::minmax(col1, col2);
    const bool wholeRows = cLow == 0 && cHigh == m_colCount - 1;
    for (int r = rLow; r <= rHigh; ++r) {
        Row& row = m_rows[static_cast<std::size_t>(r)];
        if (wholeRows) {
            row.color = color;
            if (row.cellColors != kNoCellColors) {
                std::vector<Color>().swap(m_cellColors[row.cellColors]);
                ++m_garbageCellColors;
                row.cellColors = kNoCellColors;
            }
            continue;
        }
        if (row.cellColors == kNoCellColors) {
            row.cellColors = static_cast<std::uint32_t>(m_cellColors.size());
            m_cellColors.emplace_back(static_cast<std::size_t>(m_colCount), row.color);
        }
        std::vector<Color>& colors = m_cellColors[row.cellColors];
        std::fill(colors.begin() + cLow, colors.begin() + cHigh + 1, color);
    }
    if (wholeRows) {
        compactIfWasteful();
    }
    if (m_observer != nullptr) {
        m_observer->cellsChanged(rLow, cLow, rHigh, cHigh);
    }
}

std::optional<Color> GridModel::CellBackColor(int row, int col) const
{
    checkCell(row, col);
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    const Color color = r.cellColors == kNoCellColors
                            ? r.color
                            : m_cellColors[r.cellColors][static_cast<std::size_t>(col)];
    if (color == kNoColor) {
        return std::nullopt;
    }
    return color;
}

int GridModel::FindRow(std::string_view value, int col) const
{
    checkCell(0, col);
    for (int r = 1; r < RowCount(); ++r) {
        if (CellText(r, col) == value) {
            return r;
        }
    }
    return -1;
}

const RowRecord& GridModel::recordAt(int row) const
{
    checkDataRow(row);
    return m_rows[static_cast<std::size_t>(row)].record;
}

int GridModel::findRow(RecordId id) const
{
    for (int r = 1; r < RowCount(); ++r) {
        if (m_rows[static_cast<std::size_t>(r)].record.id == id) {
            return r;
        }
    }
    return -1;
}

int GridModel::SelectedRowAt(int i) const
{
    if (i < 0 || i >= SelectedRowCount()) {
        throw std::out_of_range("selection index " + std::to_string(i) + " out of range");
    }
    return m_selected[static_cast<std::size_t>(i)];
}

bool GridModel::IsSelected(int row) const
{
    return std::binary_search(m_selected.begin(), m_selected.end(), row);
}

void GridModel::SelectRow(int row, bool selected)
{
    checkCell(row, 0);
    const auto at = std::lower_bound(m_selected.begin(), m_selected.end(), row);
    const bool present = at != m_selected.end() && *at == row;
    if (selected == present) {
        return;
    }
    if (selected) {
        m_selected.insert(at, row);
    } else {
        m_selected.erase(at);
    }
    if (m_observer != nullptr) {
        m_observer->selectionChanged();
    }
}

void GridModel::ClearSelection()
{
    if (m_selected.empty()) {
        return;
    }
    m_selected.clear();
    if (m_observer != nullptr) {
        m_observer->selectionChanged();
    }
}

void GridModel::setSelection(std::vector<int> rows)
{
    for (const int row : rows) {
        checkDataRow(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows == m_selected) {
        return;
    }
    m_selected = std::move(rows);
    if (m_observer != nullptr) {
        m_observer->selectionChanged();
    }
}

void GridModel::RedrawMode(int mode)
{
    if (mode == m_redrawMode) {
        return;
    }
    m_redrawMode = mode;
    if (m_observer != nullptr) {
        m_observer->redrawModeChanged();
    }
}

void GridModel::checkDataRow(int row) const
{
    if (row < 1 || row >= RowCount()) {
        throw std::out_of_range("row " + std::to_string(row) + " is not a data row");
    }
}

void GridModel::checkCell(int row, int col) const
{
    if (row < 0 || row >= RowCount() || col < 0 || col >= m_colCount) {
        throw std::out_of_range("cell (" + std::to_string(row) + ", " + std::to_string(col) +
                                ") is not in the grid");
    }
}

} // namespace corvelle
