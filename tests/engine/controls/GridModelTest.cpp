#include "controls/GridModel.h"

#include "TestSupport.h"
#include "controls/ListColumns.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <random>

namespace corvelle {
namespace {

GridModel makeDupeGrid()
{
    GridModel grid;
    grid.ColumnFormat(dupeListFormat());
    return grid;
}

// The rows a delete acts on are the selected rows' records: a removal must move the selection
// and the records with their rows, or a later action takes another file.
TEST(GridModel, removingRowsMovesLaterSelectedRowsAndRecordsUpAndEmptyingDropsTheSelection)
{
    GridModel grid = makeDupeGrid();
    for (int id = 1; id <= 4; ++id) {
        grid.AppendRow({std::to_string(id)}, RowRecord{RecordId(id), 1, 5'000'000'000});
    }
    grid.AppendRowText("5\t1"); // a text row stands for no record
    grid.setSelection({4, 1, 3, 4});
    grid.RemoveRow(3);
    ASSERT_EQ(grid.SelectedRowCount(), 2);
    EXPECT_EQ(grid.SelectedRowAt(0), 1);
    EXPECT_EQ(grid.SelectedRowAt(1), 3);
    EXPECT_EQ(grid.CellText(3, 0), "4");
    EXPECT_EQ(grid.recordAt(3), (RowRecord{4_id, 1, 5'000'000'000}));
    EXPECT_EQ(grid.findRow(4_id), 3);
    EXPECT_EQ(grid.findRow(3_id), -1);
    EXPECT_EQ(grid.recordIdAt(4), RecordId{});

    grid.CurrentRow(2);
    grid.RowCount(1);
    EXPECT_EQ(grid.SelectedRowCount(), 0);
    EXPECT_EQ(grid.CurrentRow(), -1);
    EXPECT_EQ(grid.CellText(0, 0), "ID");
}

TEST(ListColumns, rowsShowSizesBeyondFourGigabytesAndFailedChecksums)
{
    const RecordCells record{7_id, "/p/", "name", ".ext", 4'294'967'296, -1};
    EXPECT_EQ(fileListRow(record),
              (std::vector<std::string>{"7", "/p/", "name", ".ext", "4294967296", "$FFFFFFFF"}));
    EXPECT_EQ(dupeListRow(record, 3)[columnIndex(DupeColumn::DupeGroup)], "3");
}

TEST(GridModelRowSets, removingASetGivesWhatRemovingEachRowFromTheBottomUpGives)
{
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        const int rows = 1 + static_cast<int>(random() % 120);
        GridModel grid;
        grid.ColCount(1);
        for (int i = 1; i <= rows; ++i) {
            grid.AppendRow(std::vector<std::string>{std::to_string(i)},
                           RowRecord{RecordId(i), 0, 0});
        }
        std::vector<int> removed;
        std::vector<int> selected;
        for (int row = 1; row <= rows; ++row) {
            if (random() % 2 == 0) {
                removed.push_back(row);
            }
            if (random() % 3 == 0) {
                selected.push_back(row);
            }
        }
        grid.setSelection(selected);
        grid.CurrentRow(1 + static_cast<int>(random() % static_cast<unsigned>(rows)));
        GridModel expected = grid;
        for (auto row = removed.rbegin(); row != removed.rend(); ++row) {
            expected.RemoveRow(*row);
        }
        grid.removeRowSet(removed);

        ASSERT_EQ(grid.RowCount(), expected.RowCount());
        for (int row = 1; row < grid.RowCount(); ++row) {
            ASSERT_EQ(grid.recordIdAt(row), expected.recordIdAt(row));
            ASSERT_EQ(grid.CellText(row, 0), expected.CellText(row, 0));
        }
        ASSERT_EQ(grid.CurrentRow(), expected.CurrentRow()) << "round " << round;
        ASSERT_EQ(grid.SelectedRowCount(), expected.SelectedRowCount());
        for (int i = 0; i < grid.SelectedRowCount(); ++i) {
            ASSERT_EQ(grid.SelectedRowAt(i), expected.SelectedRowAt(i));
        }
    }
}

/// The grid as plain rows of cells and colours, changed the way GridModel documents.
struct PlainGrid {
    struct Row {
        std::vector<std::string> cells;
        std::int32_t id = 0;
        std::vector<std::optional<Color>> colors;
        std::optional<Color> rowColor; // the last colour given to the whole row
    };
    int cols = 0;
    std::vector<Row> rows{Row{}};

    void setCols(int count)
    {
        cols = count;
        for (Row& row : rows) {
            row.cells.resize(static_cast<std::size_t>(count));
            // New cells take the colour last given to the whole row.
            row.colors.resize(static_cast<std::size_t>(count), row.rowColor);
        }
    }
};

std::string randomText(std::mt19937& random)
{
    switch (random() % 8) {
    case 0:
        return {};
    case 1:
        return std::string(200 + random() % 300, static_cast<char>('a' + random() % 26));
    case 2:
        return std::string(70'000 + random() % 1000, 'z'); // more than a storage block
    case 3:
        return std::string("\0tab\there\nline\xff", 15);
    default:
        return std::to_string(random());
    }
}

void expectSameGrid(const GridModel& grid, const PlainGrid& plain, int step)
{
    ASSERT_EQ(grid.RowCount(), static_cast<int>(plain.rows.size())) << "step " << step;
    ASSERT_EQ(grid.ColCount(), plain.cols) << "step " << step;
    for (int r = 0; r < grid.RowCount(); ++r) {
        const PlainGrid::Row& row = plain.rows[static_cast<std::size_t>(r)];
        if (r > 0) {
            ASSERT_EQ(grid.recordIdAt(r), RecordId(row.id)) << "step " << step << " row " << r;
        }
        for (int c = 0; c < plain.cols; ++c) {
            const auto col = static_cast<std::size_t>(c);
            ASSERT_EQ(grid.CellText(r, c), row.cells[col])
                << "step " << step << " row " << r << " col " << c;
            ASSERT_EQ(grid.CellBackColor(r, c), row.colors[col])
                << "step " << step << " row " << r << " col " << c;
        }
    }
}

// Rows are stored as text back to back and swept when removals leave much unused: every mix of
// appends, removals, column changes and colours must keep each cell's exact bytes and colour.
TEST(GridModelStorage, everyChangeKeepsTheCellsAPlainTableWouldHave)
{
    std::mt19937 random(11);
    for (int round = 0; round < 6; ++round) {
        GridModel grid;
        PlainGrid plain;
        grid.ColCount(3);
        plain.setCols(3);
        std::int32_t nextId = 1;
        for (int step = 0; step < 400; ++step) {
            const int dataRows = grid.RowCount() - 1;
            const unsigned op = random() % 20;
            if (op < 10) {
                std::vector<std::string> cells(random() % 6);
                for (std::string& cell : cells) {
                    cell = randomText(random);
                }
                grid.AppendRow(std::vector<std::string>(cells), RowRecord{RecordId(nextId), 0, 0});
                cells.resize(static_cast<std::size_t>(plain.cols));
                plain.rows.push_back(
                    {cells,
                     nextId++,
                     std::vector<std::optional<Color>>(static_cast<std::size_t>(plain.cols)),
                     {}});
            } else if (op < 13 && dataRows > 0) {
                const int first = 1 + static_cast<int>(random() % static_cast<unsigned>(dataRows));
                const int last =
                    first +
                    static_cast<int>(random() % static_cast<unsigned>(dataRows - first + 1));
                grid.RemoveRows(first, last);
                plain.rows.erase(plain.rows.begin() + first, plain.rows.begin() + last + 1);
            } else if (op < 15 && dataRows > 0) {
                std::vector<int> removed;
                for (int row = 1; row <= dataRows; ++row) {
                    if (random() % 3 == 0) {
                        removed.push_back(row);
                    }
                }
                grid.removeRowSet(removed);
                for (auto row = removed.rbegin(); row != removed.rend(); ++row) {
                    plain.rows.erase(plain.rows.begin() + *row);
                }
            } else if (op == 15) {
                const int rows =
                    1 + static_cast<int>(random() % static_cast<unsigned>(dataRows + 3));
                grid.RowCount(rows);
                const PlainGrid::Row empty{
                    std::vector<std::string>(static_cast<std::size_t>(plain.cols)),
                    0,
                    std::vector<std::optional<Color>>(static_cast<std::size_t>(plain.cols)),
                    {}};
                plain.rows.resize(static_cast<std::size_t>(rows), empty);
            } else if (op == 16) {
                const int cols = 1 + static_cast<int>(random() % 5);
                grid.ColCount(cols);
                plain.setCols(cols);
            } else if (op < 19 && dataRows > 0) {
                const int row1 = 1 + static_cast<int>(random() % static_cast<unsigned>(dataRows));
                const int row2 = 1 + static_cast<int>(random() % static_cast<unsigned>(dataRows));
                const int col1 = static_cast<int>(random() % static_cast<unsigned>(plain.cols));
                const int col2 = static_cast<int>(random() % static_cast<unsigned>(plain.cols));
                const Color color = random() % 0xFFFFFF;
                grid.CellBackColor(row1, col1, row2, col2, color);
                const bool wholeRows =
                    std::min(col1, col2) == 0 && std::max(col1, col2) == plain.cols - 1;
                for (int r = std::min(row1, row2); r <= std::max(row1, row2); ++r) {
                    PlainGrid::Row& row = plain.rows[static_cast<std::size_t>(r)];
                    std::fill(row.colors.begin() + std::min(col1, col2),
                              row.colors.begin() + std::max(col1, col2) + 1, color);
                    if (wholeRows) {
                        row.rowColor = color;
                    }
                }
            } else if (op == 19) {
                GridModel copy = grid; // a copy keeps every cell, and so does the original
                grid = copy;
            }
            expectSameGrid(grid, plain, step);
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

} // namespace
} // namespace corvelle
