// GridModel: the plain model of a list (the file list and the duplicate list). A table of text
// cells whose row 0 is the header; the views draw it, the engine writes rows into it.
#pragma once

#include "common/PhysicalFile.h"
#include "common/Types.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

/// A colour as 0x00BBGGRR.
using Color = std::uint32_t;

/// Told about every change, so that a view can follow the model. The "about to" calls come
/// before the model changes, the others after.
class GridObserver {
public:
    virtual ~GridObserver() = default;
    virtual void rowsAboutToBeInserted(int first, int last) = 0;
    virtual void rowsInserted() = 0;
    virtual void rowsAboutToBeRemoved(int first, int last) = 0;
    virtual void rowsRemoved() = 0;
    virtual void aboutToReset() = 0;
    virtual void reset() = 0;
    virtual void cellsChanged(int row1, int col1, int row2, int col2) = 0;
    virtual void columnHiddenChanged(int /*col*/) {}
    virtual void redrawModeChanged() {}
    virtual void currentRowChanged() {}
    virtual void selectionChanged() {}
};

/// What a data row stands for, kept beside its cells so that commands and outputs use typed
/// values and never parse cell text. A row added as text alone stands for no record (ID 0).
struct RowRecord {
    RecordId id;
    std::int32_t group = 0; ///< the duplicate group, from 1; 0 in the file list
    FileSize size = 0;
    /// The file the record was made from (unknown for a record made without one): rows of one
    /// physical file are known as such without asking the catalogue.
    PhysicalFile identity{};

    friend bool operator==(const RowRecord&, const RowRecord&) = default;
};

/// A row to put into the grid at `at`: its cells from column 0 on, what it stands for, and
/// the colour of the whole row (none: no colour).
struct InsertedRow {
    int at = 1;
    std::vector<std::string> cells;
    RowRecord record;
    std::optional<Color> color;
};

class GridModel {
public:
    GridModel() = default;

    /// Rows including the header row. Setting 1 removes every data row.
    [[nodiscard]] int RowCount() const { return static_cast<int>(m_rows.size()); }
    void RowCount(int rows);
    [[nodiscard]] int ColCount() const { return m_colCount; }
    void ColCount(int cols);
    [[nodiscard]] int HeaderRows() const { return 1; }
    [[nodiscard]] int HeaderCols() const { return 0; }

    /// "<ID|<Path|...": "|" separates columns, "<" makes a column left-aligned. Sets the column
    /// count and the header texts.
    void ColumnFormat(std::string_view format);
    [[nodiscard]] bool ColumnHidden(int col) const;
    void ColumnHidden(int col, bool hidden);
    [[nodiscard]] int ColumnWidth(int col) const;
    void ColumnWidth(int col, int twips);
    [[nodiscard]] bool ColumnLeftAligned(int col) const;

    /// Index of the current row; -1 when there is none.
    [[nodiscard]] int CurrentRow() const { return m_currentRow; }
    void CurrentRow(int row);

    /// Adds a row at the end with these cells, from column 0 on. A cell may hold any bytes
    /// (tabs and newlines included): nothing is split.
    void AppendRow(std::span<const std::string> cells);
    void AppendRow(std::vector<std::string>&& cells, const RowRecord& record = {});
    /// Adds a row given as one text with the cells separated by tab characters.
    void AppendRowText(std::string_view tabSeparated);
    /// Removes a data row; the rows below move up and stay selected if they were.
    void RemoveRow(int row);
    /// Removes the data rows first to last in one step, as RemoveRow would one by one.
    void RemoveRows(int first, int last);
    /// Removes these data rows (any order, duplicates ignored) with the same result as
    /// RemoveRow on each. Many scattered rows go in one pass, told to the observer as a
    /// reset followed by the selection and the current row.
    void removeRowSet(std::vector<int> rows);
    /// Puts rows back in one step. Each `at` is the row's number once all of them are in, in
    /// ascending order; an `at` past the end appends. The rows at and below each move down.
    void insertRows(std::vector<InsertedRow> rows);
    /// How many times rows have left the grid (removed, or all cleared, even when it was
    /// empty already). Rows only added at
    /// the end leave the earlier rows where they were: a command that remembers row numbers
    /// knows by an unchanged count that they still hold.
    [[nodiscard]] std::uint64_t removals() const { return m_removals; }

    /// The cell's text. It stays valid until the grid next changes.
    [[nodiscard]] std::string_view CellText(int row, int col) const;
    /// Sets the background colour of every cell of the rectangle.
    void CellBackColor(int row1, int col1, int row2, int col2, Color color);
    /// A cell's background colour; empty when none was set.
    [[nodiscard]] std::optional<Color> CellBackColor(int row, int col) const;

    /// First data row whose text in column col equals value; -1 when there is none.
    [[nodiscard]] int FindRow(std::string_view value, int col) const;

    /// The record a data row stands for.
    [[nodiscard]] const RowRecord& recordAt(int row) const;
    [[nodiscard]] RecordId recordIdAt(int row) const { return recordAt(row).id; }
    /// First data row standing for the record; -1 when there is none.
    [[nodiscard]] int findRow(RecordId id) const;

    [[nodiscard]] int SelectedRowCount() const { return static_cast<int>(m_selected.size()); }
    /// The selected data rows, ascending: all of them at once, where SelectedRowAt gives one.
    [[nodiscard]] const std::vector<int>& selectedRows() const { return m_selected; }
    [[nodiscard]] int SelectedRowAt(int i) const;
    [[nodiscard]] bool IsSelected(int row) const;
    void SelectRow(int row, bool selected);
    void ClearSelection();
    /// Makes exactly these data rows the selection (any order, duplicates ignored), telling
    /// the observer once.
    void setSelection(std::vector<int> rows);

    /// 1: normal drawing; 2: bulk-addition mode (views may defer repainting).
    [[nodiscard]] int RedrawMode() const { return m_redrawMode; }
    void RedrawMode(int mode);

    void setObserver(GridObserver* observer) { m_observer = observer; }

private:
    // A row's cells are stored back to back in a text block, each as its length (7 bits a
    // byte, low bits first, the high bit set while more follow) and then its bytes: a list of
    // a million rows takes little more than its text. Rows are written once and never edited
    // in place; a removed or rewritten row leaves its old text behind as garbage, which
    // rewriteRows() sweeps once it outweighs the live text.
    struct Row {
        std::uint32_t block = kNoText; // kNoText: every cell empty
        std::uint32_t offset = 0;      // where the cells start in the block
        RowRecord record;
        Color color = kNoColor;                   // the whole row's colour
        std::uint32_t cellColors = kNoCellColors; // m_cellColors index, once a part was coloured
    };
    struct Column {
        int width = 0;
        bool hidden = false;
        bool leftAligned = true;
    };
    static constexpr Color kNoColor = 0xFFFFFFFFu;
    static constexpr std::uint32_t kNoText = 0xFFFFFFFFu;
    static constexpr std::uint32_t kNoCellColors = 0xFFFFFFFFu;

    void checkDataRow(int row) const;
    void checkCell(int row, int col) const;
    /// Stores the cells (the first m_colCount of them, empty ones added) as a row's text.
    template <class Cells> Row storeCells(const Cells& cells, std::size_t count);
    void insertRowAt(int at, const Row& row);
    [[nodiscard]] std::string_view rowText(const Row& row) const;
    /// The row's cells as stored in these blocks.
    [[nodiscard]] std::vector<std::string_view>
    cellsOf(const Row& row, const std::vector<std::string>& blocks) const;
    /// The row's text and cell colours are no longer used.
    void release(const Row& row);
    void releaseRange(std::size_t first, std::size_t end);
    void compactIfWasteful();
    /// Writes every row's text anew without garbage, with `cols` cells (cut or padded).
    void rewriteRows(int cols);

    std::deque<Row> m_rows = std::deque<Row>(1); // the header row and the data rows
    std::vector<std::string> m_blocks;
    std::size_t m_textBytes = 0;    // in all blocks
    std::size_t m_garbageBytes = 0; // of that, no longer used by a row
    std::vector<std::vector<Color>> m_cellColors;
    std::size_t m_garbageCellColors = 0;
    std::vector<Column> m_columns;
    int m_colCount = 0;
    int m_currentRow = -1;
    int m_redrawMode = 1;
    std::vector<int> m_selected; // ascending row numbers
    std::uint64_t m_removals = 0;
    GridObserver* m_observer = nullptr;
};

} // namespace corvelle
