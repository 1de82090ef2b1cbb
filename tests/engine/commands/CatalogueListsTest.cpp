#include "commands/CatalogueLists.h"

#include "TestSupport.h"
#include "catalogue/clsDatabase.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <gtest/gtest.h>

namespace corvelle::test {
namespace {

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
    EXPECT_EQ(listedNames(), (std::vector<std::string>{"f0", "f3", "f4", "f6"}));
    EXPECT_EQ(db.RecordCount(), 4);
    for (const RecordId gone : {2_id, 3_id, 6_id}) {
        EXPECT_FALSE(db.FindID(gone)) << gone;
    }
    EXPECT_EQ(files.SelectedRowCount(), 0);
    EXPECT_EQ(dupes.RowCount(), 1) << "the duplicate list is emptied";
}

TEST_F(CatalogueListsTest, decliningOrSelectingNothingChangesNothingAndClearAllClearsBoth)
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

    EXPECT_TRUE(lists.ClearAll(false)); // without asking
    EXPECT_EQ(db.RecordCount(), 0);
    EXPECT_EQ(files.RowCount(), 1);
    EXPECT_EQ(dupes.RowCount(), 1);
}

} // namespace
} // namespace corvelle::test
