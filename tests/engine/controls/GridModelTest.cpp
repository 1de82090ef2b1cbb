#include "controls/GridModel.h"

#include "TestSupport.h"
#include "controls/ListColumns.h"

#include <gtest/gtest.h>
#include <random>

namespace corvelle {
namespace {

GridModel makeDupeGrid()
{
    GridModel grid;
    grid.ColumnFormat(dupeListFormat());
    return grid;
}

// Removals moving the selection and the records with their rows are shown by the delete
// command's test and by the storage test below. Emptying must drop the selection, or the next
// list's rows would be selected without the user having chosen them.
TEST(GridModel, emptyingDropsTheSelectionAndTheCurrentRow)
{
    GridModel grid = makeDupeGrid();
    for (int id = 1; id <= 4; ++id) {
        grid.AppendRow({std::to_string(id)}, RowRecord{RecordId(id), 1, 5});
    }
    grid.setSelection({4, 1});
    grid.CurrentRow(2);
    grid.RowCount(1);
    EXPECT_EQ(grid.SelectedRowCount(), 0);
    EXPECT_EQ(grid.CurrentRow(), -1);
    EXPECT_EQ(grid.CellText(0, 0), "ID");
}

std::string randomText(std::mt19937& random)
{
    switch (random() % 6) {
    case 0:
        return {};
    case 1:
        return std::string(70'000 + random() % 1000, 'z'); // more than a storage block
    case 2:
        return std::string("\0tab\there\nline\xff", 15);
    default:
        return std::to_string(random());
    }
}

// Rows are stored as text back to back and swept when removals leave much unused: every mix of
// appends, removals and column changes must keep each row's exact bytes and record, and a set
// removed at once must leave the rows, selection and current row that removing each row from
// the bottom up leaves.
TEST(GridModelStorage, everyChangeKeepsTheRowsAPlainTableWouldHave)
{
    std::mt19937 random(11);
    GridModel grid;
    grid.ColCount(3);
    std::vector<std::pair<std::int32_t, std::vector<std::string>>> plain{{0, {"", "", ""}}};
    std::int32_t nextId = 1;
    for (int step = 0; step < 3000; ++step) {
        const int dataRows = grid.RowCount() - 1;
        const auto cols = static_cast<std::size_t>(grid.ColCount());
        const unsigned op = random() % 10;
        if (op < 5 || dataRows == 0) {
            std::vector<std::string> cells(random() % 6);
            for (std::string& cell : cells) {
                cell = randomText(random);
            }
            grid.AppendRow(std::vector<std::string>(cells), RowRecord{RecordId(nextId), 0, 0});
            cells.resize(cols);
            plain.emplace_back(nextId++, cells);
        } else if (op < 7) {
            const int first = 1 + static_cast<int>(random() % static_cast<unsigned>(dataRows));
            const int last = first + static_cast<int>(random() % (dataRows - first + 1u));
            grid.RemoveRows(first, last);
            plain.erase(plain.begin() + first, plain.begin() + last + 1);
        } else if (op < 9) {
            std::vector<int> removed;
            std::vector<int> selected;
            for (int row = 1; row <= dataRows; ++row) {
                if (random() % 3 == 0) {
                    removed.push_back(row);
                }
                if (random() % 3 == 0) {
                    selected.push_back(row);
                }
            }
            grid.setSelection(selected);
            grid.CurrentRow(1 + static_cast<int>(random() % static_cast<unsigned>(dataRows)));
            GridModel expected = grid;
            for (auto row = removed.rbegin(); row != removed.rend(); ++row) {
                expected.RemoveRow(*row);
                plain.erase(plain.begin() + *row);
            }
            grid.removeRowSet(removed);
            ASSERT_EQ(grid.CurrentRow(), expected.CurrentRow()) << "step " << step;
            ASSERT_EQ(grid.SelectedRowCount(), expected.SelectedRowCount()) << "step " << step;
            for (int i = 0; i < grid.SelectedRowCount(); ++i) {
                ASSERT_EQ(grid.SelectedRowAt(i), expected.SelectedRowAt(i)) << "step " << step;
            }
        } else {
            const int newCols = 1 + static_cast<int>(random() % 5);
            grid.ColCount(newCols);
            for (auto& row : plain) {
                row.second.resize(static_cast<std::size_t>(newCols));
            }
        }
        ASSERT_EQ(grid.RowCount(), static_cast<int>(plain.size())) << "step " << step;
        for (int r = 1; r < grid.RowCount(); ++r) {
            const auto& row = plain[static_cast<std::size_t>(r)];
            ASSERT_EQ(grid.recordIdAt(r), RecordId(row.first)) << "step " << step << " row " << r;
            for (int c = 0; c < grid.ColCount(); ++c) {
                ASSERT_EQ(grid.CellText(r, c), row.second[static_cast<std::size_t>(c)])
                    << "step " << step << " row " << r << " col " << c;
            }
        }
    }
}

} // namespace
} // namespace corvelle
