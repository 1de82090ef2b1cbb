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

TEST(GridModel, columnFormatSetsHeadersAndCount)
{
    const GridModel grid = makeDupeGrid();
    EXPECT_EQ(grid.ColCount(), 7);
    EXPECT_EQ(grid.RowCount(), 1);
    EXPECT_EQ(grid.CellText(0, 1), "Dupe Group");
    EXPECT_EQ(grid.CellText(0, 6), "CRC");
    EXPECT_TRUE(grid.ColumnLeftAligned(3));
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

TEST(GridModel, tabSeparatedRowsSplitAtTabs)
{
    GridModel grid = makeDupeGrid();
    grid.AppendRowText("7\t2\t/p/\tname\t.ext\t12\t$0000ABCD");
    EXPECT_EQ(grid.CellText(1, 0), "7");
    EXPECT_EQ(grid.CellText(1, 6), "$0000ABCD");
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
