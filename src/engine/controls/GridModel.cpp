#include "controls/GridModel.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

namespace corvelle {
namespace {

const std::string& emptyCell()
{
    static const std::string empty;
    return empty;
}

} // namespace

void GridModel::RowCount(int rows)
{
    if (rows < 1) {
        throw std::out_of_range("a grid keeps its header row");
    }
    const int current = RowCount();
    if (rows < current) {
        if (m_observer != nullptr) {
            m_observer->rowsAboutToBeRemoved(rows, current - 1);
        }
        m_rows.resize(static_cast<std::size_t>(rows));
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
        m_rows.resize(
            static_cast<std::size_t>(rows),
            Row{std::vector<std::string>(static_cast<std::size_t>(m_colCount)), {}, kNoColor, {}});
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
    m_colCount = cols;
    m_columns.resize(static_cast<std::size_t>(cols));
    for (Row& row : m_rows) {
        row.cells.resize(static_cast<std::size_t>(cols));
        if (!row.cellColors.empty()) {
            row.cellColors.resize(static_cast<std::size_t>(cols), row.color);
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
        std::string_view header = parts[c];
        m_columns[c].leftAligned = header.starts_with('<');
        if (header.starts_with('<') || header.starts_with('>') || header.starts_with('^')) {
            header.remove_prefix(1);
        }
        m_rows[0].cells[c] = std::string(header);
    }
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
    AppendRow(std::vector<std::string>(cells.begin(), cells.end()));
}

void GridModel::AppendRow(std::vector<std::string>&& cells, const RowRecord& record)
{
    cells.resize(static_cast<std::size_t>(m_colCount));
    insertRow(Row{std::move(cells), record, kNoColor, {}});
}

void GridModel::AppendRowText(std::string_view tabSeparated)
{
    std::vector<std::string> cells;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = tabSeparated.find('\t', start);
        cells.emplace_back(tabSeparated.substr(start, tab - start));
        if (tab == std::string_view::npos) {
            break;
        }
        start = tab + 1;
    }
    AppendRow(cells);
}

void GridModel::insertRow(Row row)
{
    const int at = RowCount();
    if (m_observer != nullptr) {
        m_observer->rowsAboutToBeInserted(at, at);
    }
    m_rows.push_back(std::move(row));
    if (m_observer != nullptr) {
        m_observer->rowsInserted();
    }
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
    m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
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
            ++removed;
            continue;
        }
        newRow[r] = static_cast<int>(kept);
        if (kept != r) {
            m_rows[kept] = std::move(m_rows[r]);
        }
        ++kept;
    }
    m_rows.resize(kept);
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

const std::string& GridModel::CellText(int row, int col) const
{
    checkCell(row, col);
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    const auto c = static_cast<std::size_t>(col);
    return c < r.cells.size() ? r.cells[c] : emptyCell();
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
            row.cellColors.clear();
            continue;
        }
        if (row.cellColors.empty()) {
            row.cellColors.assign(static_cast<std::size_t>(m_colCount), row.color);
        }
        std::fill(row.cellColors.begin() + cLow, row.cellColors.begin() + cHigh + 1, color);
    }
    if (m_observer != nullptr) {
        m_observer->cellsChanged(rLow, cLow, rHigh, cHigh);
    }
}

std::optional<Color> GridModel::CellBackColor(int row, int col) const
{
    checkCell(row, col);
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    const Color color =
        r.cellColors.empty() ? r.color : r.cellColors[static_cast<std::size_t>(col)];
    if (color == kNoColor) {
        return std::nullopt;
    }
    return color;
}

int GridModel::FindRow(std::string_view value, int col) const
{
    checkCell(0, col);
    for (int r = 1; r < RowCount(); ++r) {
        if (m_rows[static_cast<std::size_t>(r)].cells[static_cast<std::size_t>(col)] == value) {
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
