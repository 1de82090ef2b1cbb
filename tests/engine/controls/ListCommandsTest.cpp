#include "controls/ListCommands.h"

#include "TestSupport.h"
#include "catalogue/clsDatabase.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <gtest/gtest.h>

namespace corvelle::test {
namespace {

TEST(ListLayout, captionsCountDataRowsAndNameTheCurrentOne)
{
    GridModel grid;
    grid.ColumnFormat(fileListFormat());
    EXPECT_EQ(rowCaption("File List", grid), "File List (Row 0 Of 0)");
    for (int i = 0; i < 10; ++i) {
        grid.AppendRow({"x"});
    }
    grid.CurrentRow(3);
    EXPECT_EQ(rowCaption("Duplicate List", grid), "Duplicate List (Row 3 Of 10)");
}

TEST(ListLayout, widthsAreSharesOfTheFileListRoundedHalfToEven)
{
    EXPECT_EQ(fileColumnWidths(kDesignFileListWidth),
              (std::array<int, 6>{0, 3963, 3963, 1166, 1166, 1166}));
    // 0.34 × 1150 = 391; 0.1 × 1105 = 110.5 goes to the even 110, 0.1 × 1115 to 112.
    EXPECT_EQ(fileColumnWidths(1105)[3], 110);
    EXPECT_EQ(fileColumnWidths(1115)[3], 112);
    EXPECT_EQ(dupeColumnWidths(kDesignFileListWidth),
              (std::array<int, 7>{0, 1166, 3380, 3380, 1166, 1166, 1166}));
}

class CatalogueListsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.OpenProject(dir / "data.dat");
        files.ColumnFormat(fileListFormat());
        dupes.ColumnFormat(dupeListFormat());
    }

    void addFiles(int count)
    {
        for (int i = 0; i < count; ++i) {
            const std::string name = "f" + std::to_string(i);
            const RecordId id = db.AddRecord("/p/", name, ".txt", i, 0);
            files.AppendRow(fileListRow(RecordCells{id, "/p/", name, ".txt", i, 0}),
                            RowRecord{id, 0, i});
        }
        dupes.AppendRow({"1", "1"});
    }

    std::vector<std::string> listedNames() const
    {
        std::vector<std::string> names;
        for (int row = 1; row < files.RowCount(); ++row) {
            names.emplace_back(files.CellText(row, columnIndex(FileColumn::FileName)));
        }
        return names;
    }

    TempDir dir;
    clsDatabase db;
    GridModel files;
    GridModel dupes;
    RecordingMessages messages;
    CatalogueLists lists{db, files, dupes, messages};
};

TEST_F(CatalogueListsTest, removeSelectionTakesExactlyTheSelectedRecordsInAnyOrder)
{
    addFiles(7);
    files.SelectRow(6, true);
    files.SelectRow(2, true);
    files.SelectRow(3, true);
    messages.answers = {MessageAnswer::Yes};
    ASSERT_TRUE(lists.RemoveSelection());
    EXPECT_EQ(messages.texts(), std::vector<std::string>{std::string(removeSelectionQuestion)});
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"f0", "f3", "f4", "f6"}));
    EXPECT_EQ(db.RecordCount(), 4);
    for (const RecordId gone : {2_id, 3_id, 6_id}) {
        EXPECT_FALSE(db.FindID(gone)) << gone;
    }
    EXPECT_EQ(files.SelectedRowCount(), 0);
    EXPECT_EQ(dupes.RowCount(), 1) << "the duplicate list is emptied";
}

TEST_F(CatalogueListsTest, decliningOrSelectingNothingChangesNothing)
{
    addFiles(3);
    EXPECT_FALSE(lists.RemoveSelection());
    EXPECT_TRUE(messages.shown.empty()) << "nothing selected: no question";
    files.SelectRow(1, true);
    messages.answers = {MessageAnswer::No};
    EXPECT_FALSE(lists.RemoveSelection());
    EXPECT_FALSE(lists.ClearAll(true));
    EXPECT_EQ(db.RecordCount(), 3);
    EXPECT_EQ(files.RowCount(), 4);
    EXPECT_EQ(dupes.RowCount(), 2);
}

TEST_F(CatalogueListsTest, clearAllAsksEvenWhenEmptyAndClearsAtOnceWithoutAsking)
{
    messages.answers = {MessageAnswer::Yes};
    EXPECT_TRUE(lists.ClearAll(true));
    EXPECT_EQ(messages.texts(), std::vector<std::string>{std::string(clearAllQuestion)});
    addFiles(2);
    EXPECT_TRUE(lists.ClearAll(false));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(db.RecordCount(), 0);
    EXPECT_EQ(files.RowCount(), 1);
    EXPECT_EQ(dupes.RowCount(), 1);
}

} // namespace
} // namespace corvelle::test
