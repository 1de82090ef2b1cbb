#include "commands/DupeCommands.h"

#include "TestSupport.h"
#include "catalogue/clsDatabase.h"
#include "commands/ProtectedFolders.h"
#include "commands/UndoJournal.h"
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

    std::vector<int> ids(const GridModel& grid) const
    {
        std::vector<int> out;
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
    ProtectedFolders protectedFolders;
    UndoJournal journal;
    DupeCommands commands{db, files, dupes, messages, protectedFolders, journal, [this] {
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
    messages.answers = {MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::Yes};

    const DeleteReport report = commands.DeleteSelected();

    const std::string folder = (dir / "files").native() + "/";
    ASSERT_EQ(messages.texts(),
              (std::vector<std::string>{
                  std::string(deleteQuestion), std::string(trashQuestion),
                  "Permanently delete 3 file(s)? They cannot be restored.\n\n" + folder +
                      "a.txt\n" + folder + "b\\tname\\n\\xFF.txt\n" + folder + "c.txt",
                  "Error deleting file '" + folder + "b\tname\n\xff.txt'"}));
    EXPECT_EQ(messages.shown[2].defaultAnswer, MessageAnswer::No);
    EXPECT_EQ(deleteStatusText(report), "2 files deleted permanently; 1 could not be deleted");
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
    messages.answers = {MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::Yes};
    commands.DeleteSelected();
    ASSERT_EQ(messages.shown.size(), 4u);
    EXPECT_EQ(dupes.RowCount(), 3);
    EXPECT_TRUE(fs::exists(dir / "files" / "b.txt"));
}

TEST_F(DupeCommandsTest, noToThePermanentDeleteQuestionDeletesNothing)
{
    add("a.txt", 1);
    add("b.txt", 1);
    dupes.setSelection({2});
    messages.answers = {MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::No};
    const DeleteReport report = commands.DeleteSelected();
    EXPECT_TRUE(report.declined);
    EXPECT_EQ(deleteStatusText(report), "Nothing deleted");
    EXPECT_TRUE(fs::exists(dir / "files" / "b.txt"));
    EXPECT_EQ(dupes.RowCount(), 3);
    EXPECT_FALSE(journal.canUndo());
}

TEST_F(DupeCommandsTest, rowsInsideAProtectedFolderAreRefusedInOneMessageAndTheOthersGo)
{
    add("a.txt", 1);
    add("keep/b.txt", 1);
    add("keep/deeper/c.txt", 1);
    add("d.txt", 2);
    add("e.txt", 2);
    ASSERT_EQ(protectedFolders.add((dir / "files" / "keep").native()), "");
    dupes.setSelection({2, 3, 5});
    messages.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    const DeleteReport report = commands.DeleteSelected();
    ASSERT_EQ(messages.texts().size(), 3u);
    EXPECT_EQ(messages.texts()[2],
              "These files are inside protected folders and were not deleted:\n" +
                  (dir / "files/keep/b.txt").native() + "\n" +
                  (dir / "files/keep/deeper/c.txt").native());
    EXPECT_TRUE(fs::exists(dir / "files/keep/b.txt"));
    EXPECT_TRUE(fs::exists(dir / "files/keep/deeper/c.txt"));
    EXPECT_FALSE(fs::exists(dir / "files/e.txt"));
    EXPECT_EQ(deleteStatusText(report), "1 file moved to the Trash; 2 in protected folders kept");
}

TEST_F(DupeCommandsTest, aCopyIsKeptWhenTheRowsMeantToStayAreGoneOrGoingThemselves)
{
    add("a.txt", 1);
    add("b.txt", 1);
    add("c.txt", 2, "other");
    add("d.txt", 2, "other");
    fs::remove(dir / "files" / "a.txt"); // the copy meant to stay went behind our back
    dupes.setSelection({2, 4});
    messages.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    commands.DeleteSelected();
    EXPECT_TRUE(fs::exists(dir / "files" / "b.txt")) << "b may be the last copy";
    EXPECT_FALSE(fs::exists(dir / "files" / "d.txt")) << "c stays for d";
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[2].reason,
              "none of the files of its group that were to stay is still there");
}

TEST_F(DupeCommandsTest, aCopyInsideTheTrashIsNoCopyThatStays)
{
    fs::create_directories(dir / "Trash" / "info");
    add("../Trash/files/a.txt", 1); // thrown away already: emptying the Trash ends it
    add("b.txt", 1);
    dupes.setSelection({2});
    messages.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    commands.DeleteSelected();
    EXPECT_TRUE(fs::exists(dir / "files" / "b.txt")) << "b is the last copy outside the Trash";
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[2].reason,
              "none of the files of its group that were to stay is still there");
}

TEST_F(DupeCommandsTest, undoPutsOddNamesBackExactlyAndRefusesAPathTakenMeanwhile)
{
    const std::vector<std::string> names{"with space.txt", "100%.txt", "new\nline.txt",
                                         "byte\xff.txt", "plain.txt"};
    add("kept.txt", 1);
    for (std::size_t i = 0; i < names.size(); ++i) {
        add(names[i], 1, "same");
    }
    add("other.txt", 2, "x");
    add("other copy.txt", 2, "x");
    const std::vector<int> rowsBefore = ids(dupes);
    const std::vector<int> fileRowsBefore = ids(files);
    dupes.setSelection({2, 3, 4, 5, 6});
    messages.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    commands.DeleteSelected();
    ASSERT_TRUE(journal.canUndo());
    ASSERT_EQ(dupes.RowCount(), 4);
    // Another file takes the last name's place before the Undo.
    writeFile(dir / "files" / "plain.txt", "someone else's");

    const UndoReport report =
        journal.UndoDelete(db, files, dupes, messages, [](RecordId, RecordId) {});

    EXPECT_EQ(undoStatusText(report), "4 files restored from the Trash; 1 could not be restored");
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        EXPECT_EQ(readFile(dir / "files" / names[i]), "same") << names[i];
    }
    EXPECT_EQ(readFile(dir / "files" / "plain.txt"), "someone else's") << "nothing overwritten";
    EXPECT_NE(messages.texts().back().find("plain.txt"), std::string::npos);
    // The rows are back where they were, in both lists, with records in the catalogue.
    ASSERT_EQ(dupes.RowCount(), 8);
    for (int row = 2; row <= 5; ++row) {
        EXPECT_EQ(dupeRowPath(dupes, row), (dir / "files" / names[row - 2]).native());
        EXPECT_TRUE(catalogued(dupes.recordIdAt(row)));
        EXPECT_EQ(dupes.recordAt(row).group, 1);
    }
    EXPECT_EQ(files.RowCount(), 8);
    EXPECT_TRUE(journal.canUndo()) << "the refused file can be tried again";

    fs::remove(dir / "files" / "plain.txt");
    journal.UndoDelete(db, files, dupes, messages, [](RecordId, RecordId) {});
    EXPECT_EQ(readFile(dir / "files" / "plain.txt"), "same");
    EXPECT_EQ(dupes.RowCount(), static_cast<int>(rowsBefore.size()) + 1);
    EXPECT_EQ(files.RowCount(), static_cast<int>(fileRowsBefore.size()) + 1);
    EXPECT_FALSE(journal.canUndo());
    EXPECT_TRUE(fs::is_empty(dir / "Trash" / "info"));
}

TEST_F(DupeCommandsTest, aPermanentDeleteLeavesNothingToUndoAndSaysWhy)
{
    add("a.txt", 1);
    add("b.txt", 1);
    add("c.txt", 1);
    dupes.setSelection({2});
    messages.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    commands.DeleteSelected();
    ASSERT_TRUE(journal.canUndo());
    dupes.setSelection({2});
    messages.answers = {MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::Yes};
    commands.DeleteSelected();
    EXPECT_FALSE(journal.canUndo());
    EXPECT_EQ(journal.whyNot(),
              "The last Delete removed its files permanently: they cannot be restored.");
}

} // namespace
} // namespace corvelle::test
