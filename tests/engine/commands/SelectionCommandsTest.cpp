// Select Duplicates, Select None and Invert Selection within Groups on real files: the keep
// rules of the command line, one physical file as one member, protected folders, and a
// verification that splits a group.
#include "commands/SelectionCommands.h"

#include "TestSupport.h"
#include "actions/FilePlaces.h"
#include "catalogue/clsDatabase.h"
#include "commands/DupeVerification.h"
#include "commands/ProtectedFolders.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"
#include "intake/IntakeNames.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace corvelle::test {
namespace {

class SelectionCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.OpenProject(dir / "data.dat");
        dupes.ColumnFormat(dupeListFormat());
    }

    /// Lists the file (written when it does not exist yet) as the next row of `group`.
    void add(const std::string& name, std::int32_t group, std::string_view content = "same",
             std::int64_t mtimeSeconds = 0)
    {
        const fs::path file = dir / name;
        if (!fs::exists(file)) {
            writeFile(file, content);
        }
        if (mtimeSeconds != 0) {
            const timespec times[2] = {{mtimeSeconds, 0}, {mtimeSeconds, 0}};
            ::utimensat(AT_FDCWD, file.c_str(), times, 0);
        }
        const auto [folder, stem, extension] = splitFullPath(file.native());
        const FileSize size = static_cast<std::int64_t>(fs::file_size(file));
        const RecordId id =
            db.AddRecord(folder, stem, extension, size, 0, statusOf(file)->identity);
        dupes.AppendRow(dupeListRow(RecordCells{id, folder, stem, extension, size, 0}, group),
                        RowRecord{id, group, size, statusOf(file)->identity});
    }

    std::vector<int> select(const std::string& ruleText)
    {
        std::optional<KeepRule> rule = KeepRule::parse(ruleText);
        EXPECT_TRUE(rule && rule->resolve()) << ruleText;
        report = commands.SelectDuplicates(*rule, places);
        return selection();
    }

    std::vector<int> selection() const
    {
        std::vector<int> rows;
        for (int i = 0; i < dupes.SelectedRowCount(); ++i) {
            rows.push_back(dupes.SelectedRowAt(i));
        }
        return rows;
    }

    TempDir dir;
    clsDatabase db;
    GridModel dupes;
    ProtectedFolders protectedFolders;
    DupeVerification verification;
    FilePlaces places;
    SelectionReport report;
    SelectionCommands commands{dupes, protectedFolders, verification};
};

TEST_F(SelectionCommandsTest, eachRuleKeepsItsFileAndSelectsTheOthersOfEveryGroup)
{
    add("b/old.txt", 1, "same", 1'000'000);
    add("a/deeper/newest.txt", 1, "same", 3'000'000);
    add("c/mid.txt", 1, "same", 2'000'000);
    add("x/one.dat", 2, "other", 5'000'000);
    add("x/two.dat", 2, "other", 5'000'000); // ties go to the first row
    const std::string underA = "under=" + (dir / "a").native();
    const std::vector<std::pair<std::string, std::vector<int>>> cases{
        {"first", {2, 3, 5}},  {"last", {1, 2, 4}},          {"oldest", {2, 3, 5}},
        {"newest", {1, 3, 5}}, {"shortest-path", {2, 3, 5}}, {"longest-path", {1, 3, 5}},
        {underA, {1, 3}},
    };
    for (const auto& [rule, selected] : cases) {
        EXPECT_EQ(select(rule), selected) << rule;
    }
    EXPECT_EQ(report.leftAlone, 1u) << "group 2 has no file inside a/";
    EXPECT_EQ(selectionStatusText(report), "2 files selected in 1 group; 1 group left alone: "
                                           "none of its files is inside '" +
                                               (dir / "a").native() + "'");
}

TEST_F(SelectionCommandsTest, aProtectedFileIsNeverSelectedAndHardLinksGoTogether)
{
    add("keep/a.txt", 1);
    add("b.txt", 1);
    fs::create_hard_link(dir / "b.txt", dir / "b-link.txt");
    add("b-link.txt", 1);
    add("c.txt", 1);
    ASSERT_EQ(protectedFolders.add((dir / "keep").native()), "");
    // Last keeps c; b and its link are one file, selected together; a is protected.
    EXPECT_EQ(select("last"), (std::vector<int>{2, 3}));
    // First keeps a, protected or not; b goes with its link.
    EXPECT_EQ(select("first"), (std::vector<int>{2, 3, 4}));
}

TEST_F(SelectionCommandsTest, afterAVerificationOnlyProvenCopiesAreSelected)
{
    // The trap: same size and first bytes, a different last byte.
    std::string content(3 * 1024 * 1024, 'x');
    add("trap.bin", 1, content);
    content.back() = 'y';
    add("copy1.bin", 1, content);
    add("copy2.bin", 1, content);
    EXPECT_EQ(select("first"), (std::vector<int>{2, 3})) << "unverified, the group is one";

    StopFlag stop;
    const VerifySummary summary =
        verification.apply(dupes, verifyGroups(candidateGroups(dupes), stop));
    EXPECT_EQ(summary.identical, 2u);
    EXPECT_EQ(summary.notIdentical, 1u);
    EXPECT_EQ(verification.stateOf(dupes.recordIdAt(1)), VerifyState::NotIdentical);
    EXPECT_EQ(verification.stateOf(dupes.recordIdAt(2)), VerifyState::Identical);
    // The trap is kept, and one of the proven pair stays with it.
    EXPECT_EQ(select("first"), (std::vector<int>{3}));
}

TEST_F(SelectionCommandsTest, aFileInTwoGroupsNeverLeavesOneWithNothingKept)
{
    // b is a copy in group 1 and the head of group 2 (names chain).
    add("a.txt", 1);
    add("b.txt", 1);
    const RecordId b = dupes.recordIdAt(2);
    dupes.AppendRow({toString(b), "2", (dir / "").native(), "b", ".txt", "4", "$00000000"},
                    RowRecord{b, 2, 4, dupes.recordAt(2).identity});
    add("c.txt", 2);
    EXPECT_EQ(select("last"), (std::vector<int>{1}))
        << "group 1 keeps b, so group 2 keeps b too and c stays";
    for (const std::string rule : {"first", "newest", "longest-path"}) {
        const std::vector<int> rows = select(rule);
        for (const std::int32_t group : {1, 2}) {
            const RowRange range = groupRowsOf(dupes, group == 1 ? 1 : 3);
            int kept = 0;
            for (int row = range.first; row < range.end; ++row) {
                kept += dupes.IsSelected(row) ? 0 : 1;
            }
            EXPECT_GE(kept, 1) << rule << " group " << group;
        }
    }
}

TEST_F(SelectionCommandsTest, invertWorksWithinGroupsThatHaveASelectionAndNoneClears)
{
    add("a.txt", 1);
    add("b.txt", 1);
    add("c.txt", 1);
    add("d.txt", 2, "other");
    add("e.txt", 2, "other");
    dupes.setSelection({2, 3});
    commands.InvertWithinGroups();
    EXPECT_EQ(selection(), (std::vector<int>{1})) << "group 2 had nothing selected: untouched";
    commands.SelectNone();
    EXPECT_TRUE(selection().empty());
}

} // namespace
} // namespace corvelle::test
