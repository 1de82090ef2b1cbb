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

TEST(GridModel, cellsKeepTabsAndNewlinesIntact)
{
    GridModel grid = makeDupeGrid();
    grid.AppendRow({"1", "1", "/a\tb/", "line\nbreak", ".t\tx", "5", "$00000000"});
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(grid.CellText(1, 2), "/a\tb/");
    EXPECT_EQ(grid.CellText(1, 3), "line\nbreak");
    EXPECT_EQ(grid.CellText(1, 4), ".t\tx");
    EXPECT_EQ(grid.CellText(1, 6), "$00000000");
}

TEST(GridModel, settingRowCountToOneRemovesDataRowsAndSelection)
{
    GridModel grid = makeDupeGrid();
    grid.AppendRow({"1"});
    grid.AppendRow({"2"});
    grid.SelectRow(2, true);
    grid.CurrentRow(2);
    grid.RowCount(1);
    EXPECT_EQ(grid.RowCount(), 1);
    EXPECT_EQ(grid.SelectedRowCount(), 0);
    EXPECT_EQ(grid.CurrentRow(), -1);
    EXPECT_EQ(grid.CellText(0, 0), "ID");
}

TEST(GridModel, removingARowMovesLaterSelectedRowsUp)
{
    GridModel grid = makeDupeGrid();
    for (const char* id : {"1", "2", "3", "4"}) {
        grid.AppendRow({id});
    }
    grid.SelectRow(1, true);
    grid.SelectRow(3, true);
    grid.SelectRow(4, true);
    grid.RemoveRow(3);
    ASSERT_EQ(grid.SelectedRowCount(), 2);
    EXPECT_EQ(grid.SelectedRowAt(0), 1);
    EXPECT_EQ(grid.SelectedRowAt(1), 3);
    EXPECT_EQ(grid.CellText(3, 0), "4");
    EXPECT_EQ(grid.FindRow("4", 0), 3);
    EXPECT_EQ(grid.FindRow("3", 0), -1);
}

TEST(GridModel, typedRecordsFollowTheirRowsAndTextRowsStandForNone)
{
    GridModel grid = makeDupeGrid();
    grid.AppendRow({"10"}, RowRecord{10_id, 1, 5'000'000'000});
    grid.AppendRowText("11\t1");
    grid.AppendRow({"12"}, RowRecord{12_id, 2, 0});
    EXPECT_EQ(grid.recordAt(1), (RowRecord{10_id, 1, 5'000'000'000}));
    EXPECT_EQ(grid.recordIdAt(2), RecordId{});
    EXPECT_EQ(grid.findRow(12_id), 3);

    grid.RemoveRow(1);
    EXPECT_EQ(grid.findRow(12_id), 2);
    EXPECT_EQ(grid.findRow(10_id), -1);
    EXPECT_EQ(grid.recordAt(2).group, 2);
    EXPECT_THROW((void)grid.recordAt(0), std::out_of_range) << "the header stands for nothing";
    EXPECT_THROW((void)grid.recordAt(3), std::out_of_range);
}

TEST(ListColumns, formatsAndRowsMatchTheListsColumns)
{
    EXPECT_EQ(dupeListFormat(), "<ID|<Dupe Group|<Path|<File Name|<Extension|<Size|<CRC");
    EXPECT_EQ(fileListFormat(), "<ID|<Path|<File Name|<Extension|<Size|<CRC");
    const RecordCells record{7_id, "/p/", "name", ".ext", 4'294'967'296, -1};
    EXPECT_EQ(fileListRow(record),
              (std::vector<std::string>{"7", "/p/", "name", ".ext", "4294967296", "$FFFFFFFF"}));
    const std::vector<std::string> dupe = dupeListRow(record, 3);
    ASSERT_EQ(dupe.size(), dupeColumnHeaders.size());
    EXPECT_EQ(dupe[columnIndex(DupeColumn::DupeGroup)], "3");
    EXPECT_EQ(dupe[columnIndex(DupeColumn::Crc)], "$FFFFFFFF");
}

TEST(GridModel, setSelectionTakesRowsInAnyOrderButOnlyDataRows)
{
    GridModel grid = makeDupeGrid();
    for (const char* id : {"1", "2", "3"}) {
        grid.AppendRow({id});
    }
    grid.setSelection({3, 1, 3});
    ASSERT_EQ(grid.SelectedRowCount(), 2);
    EXPECT_EQ(grid.SelectedRowAt(0), 1);
    EXPECT_EQ(grid.SelectedRowAt(1), 3);
    EXPECT_THROW(grid.setSelection({0}), std::out_of_range);
    EXPECT_THROW(grid.setSelection({4}), std::out_of_range);
    EXPECT_EQ(grid.SelectedRowCount(), 2) << "a refused selection changes nothing";
}

TEST(GridModel, backColorCoversExactlyTheRectangle)
{
    GridModel grid = makeDupeGrid();
    grid.AppendRow({"1"});
    grid.AppendRow({"2"});
    grid.AppendRow({"3"});
    grid.CellBackColor(1, 0, 2, 6, 16707305);
    EXPECT_EQ(grid.CellBackColor(1, 0), 16707305u);
    EXPECT_EQ(grid.CellBackColor(2, 6), 16707305u);
    EXPECT_FALSE(grid.CellBackColor(3, 0).has_value());
    EXPECT_FALSE(grid.CellBackColor(0, 0).has_value());
}

TEST(GridModel, refusesCellsOutsideTheGrid)
{
    GridModel grid = makeDupeGrid();
    EXPECT_THROW((void)grid.CellText(1, 0), std::out_of_range);
    EXPECT_THROW((void)grid.CellText(0, 7), std::out_of_range);
    EXPECT_THROW(grid.RemoveRow(0), std::out_of_range);
    EXPECT_THROW(grid.RowCount(0), std::out_of_range);
}

} // namespace
} // namespace corvelle

namespace corvelle::test {
namespace {

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

} // namespace
} // namespace corvelle::test

namespace corvelle::test {
namespace {

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
} // namespace corvelle::test
