#include "commands/DupeCommands.h"

#include "TestSupport.h"
#include "catalogue/clsDatabase.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"
#include "intake/IntakeNames.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace corvelle::test {
namespace {

/// A catalogue of real files with both lists filled as a dedupe would leave them.
class DupeCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.OpenProject(dir / "data.dat");
        files.ColumnFormat(fileListFormat());
        dupes.ColumnFormat(dupeListFormat());
    }

    /// Writes the file, catalogues it and lists it in the file list and in group `group`.
    RecordId add(const std::string& name, std::int32_t group, std::string_view content = "same")
    {
        const fs::path file = dir / "files" / name;
        writeFile(file, content);
        const auto [folder, stem, extension] = splitFullPath(file.native());
        const FileSize size = static_cast<std::int64_t>(content.size());
        const RecordId id =
            db.AddRecord(folder, stem, extension, size, 0, statusOf(file)->identity);
        const RecordCells cells{id, folder, stem, extension, size, 0};
        files.AppendRow(fileListRow(cells), RowRecord{id, 0, size});
        dupes.AppendRow(dupeListRow(cells, group), RowRecord{id, group, size});
        return id;
    }

    std::vector<std::int32_t> ids(const GridModel& grid) const
    {
        std::vector<std::int32_t> out;
        for (int row = 1; row < grid.RowCount(); ++row) {
            out.push_back(grid.recordIdAt(row).value());
        }
        return out;
    }

    bool catalogued(RecordId id) { return db.FindID(id); }

    TempDir dir;
    clsDatabase db;
    GridModel files;
    GridModel dupes;
    RecordingMessages messages;
    DupeCommands commands{db, files, dupes, messages, [this] {
                              return TrashEnvironment{dir / "Trash", ::geteuid()};
                          }};
};

TEST_F(DupeCommandsTest, aFailedRowIsReportedAndStaysSelectedWhileTheOthersGoEverywhere)
{
    const RecordId a = add("a.txt", 1);
    const RecordId b = add("b\tname\n\xff.txt", 1);
    const RecordId c = add("c.txt", 2);
    const RecordId d = add("d.txt", 2);
    // b is swapped for a folder after the dedupe: it is no longer the file catalogued.
    fs::remove(dir / "files" / "b\tname\n\xff.txt");
    fs::create_directory(dir / "files" / "b\tname\n\xff.txt");
    dupes.setSelection({1, 2, 3});
    messages.answers = {MessageAnswer::Yes, MessageAnswer::No};

    commands.DeleteSelected();

    ASSERT_EQ(messages.texts(),
              (std::vector<std::string>{std::string(deleteQuestion), std::string(trashQuestion),
                                        "Error deleting file '" + (dir / "files").native() +
                                            "/b\tname\n\xff.txt'"}));
    EXPECT_EQ(ids(dupes), (std::vector<std::int32_t>{b.value(), d.value()}));
    EXPECT_EQ(ids(files), (std::vector<std::int32_t>{b.value(), d.value()}));
    EXPECT_EQ(dupes.SelectedRowCount(), 1);
    EXPECT_EQ(dupes.SelectedRowAt(0), 1);
    EXPECT_FALSE(catalogued(a));
    EXPECT_TRUE(catalogued(b));
    EXPECT_FALSE(catalogued(c));
    EXPECT_FALSE(fs::exists(dir / "files" / "a.txt"));
    EXPECT_FALSE(fs::exists(dir / "files" / "c.txt"));
    EXPECT_FALSE(fs::exists(dir / "Trash")) << "No to the second question deletes for good";
}

TEST_F(DupeCommandsTest, noToTheFirstQuestionOrNoSelectionTouchesNothing)
{
    add("a.txt", 1);
    add("b.txt", 1);
    dupes.setSelection({1});
    messages.answers = {MessageAnswer::No};
    commands.DeleteSelected();
    EXPECT_EQ(messages.texts(), (std::vector<std::string>{std::string(deleteQuestion)}));

    dupes.ClearSelection();
    messages.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    commands.DeleteSelected();
    EXPECT_EQ(messages.shown.size(), 3u) << "both questions are still asked";
    EXPECT_EQ(dupes.RowCount(), 3);
    EXPECT_EQ(files.RowCount(), 3);
    EXPECT_TRUE(fs::exists(dir / "files" / "a.txt"));
}

TEST_F(DupeCommandsTest, aCopyThatIsTheSameFileAsOneThatStaysIsNeverRemoved)
{
    add("a.txt", 1);
    // b is, by now, a hard link to a, which stays: removing it would free nothing.
    add("b.txt", 1);
    fs::remove(dir / "files" / "b.txt");
    fs::create_hard_link(dir / "files" / "a.txt", dir / "files" / "b.txt");
    dupes.setSelection({2});
    messages.answers = {MessageAnswer::Yes, MessageAnswer::No};
    commands.DeleteSelected();
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(dupes.RowCount(), 3);
    EXPECT_TRUE(fs::exists(dir / "files" / "b.txt"));
}

} // namespace
} // namespace corvelle::test
