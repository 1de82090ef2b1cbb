// Whole runs, intake and then the three dedupe passes, on real trees where one file has
// several paths: hard links, and a folder scanned a second time through a link to it.
#include "IntakeHarness.h"
#include "catalogue/DedupeRun.h"
#include "common/PhysicalFile.h"

#include <gtest/gtest.h>

namespace corvelle {
namespace {

using test::IntakeHarness;
using test::TempDir;
using test::writeFile;
namespace fs = std::filesystem;

/// The duplicate list as groups of full paths, each in row order: its head first.
using Groups = std::vector<std::vector<std::string>>;

DedupeSettings byName()
{
    DedupeSettings s;
    s.blnUseName = true;
    s.blnUseExtension = s.blnUseSize = s.blnUseCRC = false;
    return s;
}

/// The default criteria (extension, size, checksum) and the name alone take different ways
/// through the grouping pass; the trees below give the same groups under both.
class LinkedTree : public ::testing::TestWithParam<DedupeSettings> {
protected:
    /// Scans the folders one after another, then runs the three passes.
    Groups dedupe(const std::vector<fs::path>& folders, bool recursive = false)
    {
        for (const fs::path& folder : folders) {
            EXPECT_EQ(h.scan(IntakeMode::ReadAhead, folder, recursive), Outcome::Completed);
        }
        GridModel grid;
        grid.ColumnFormat(dupeListFormat());
        EXPECT_EQ(runDedupe(h.catalogue, GetParam(), DedupeFiles::in(work.path()), grid,
                            DedupeRunHooks{}),
                  Outcome::Completed);
        Groups groups;
        for (int row = 1; row < grid.RowCount(); ++row) {
            if (grid.CellText(row, 1) != std::to_string(groups.size())) {
                groups.emplace_back();
            }
            groups.back().push_back(std::string(grid.CellText(row, 2)) +
                                    std::string(grid.CellText(row, 3)) +
                                    std::string(grid.CellText(row, 4)));
        }
        expectNoHeadWithItsOwnFile(groups);
        return groups;
    }

    static void expectNoHeadWithItsOwnFile(const Groups& groups)
    {
        for (const auto& group : groups) {
            const PhysicalFile head = statusOf(group.front())->identity;
            for (std::size_t k = 1; k < group.size(); ++k) {
                EXPECT_FALSE(head.sameFileAs(statusOf(group[k])->identity))
                    << group.front() << " and " << group[k];
            }
        }
    }

    [[nodiscard]] std::string path(const std::string& relative) const
    {
        return (tree / relative).string();
    }

    TempDir tree;
    TempDir work;
    IntakeHarness h;
};

std::string criteriaName(const ::testing::TestParamInfo<DedupeSettings>& param)
{
    return param.param.blnUseName ? "ByName" : "Default";
}

INSTANTIATE_TEST_SUITE_P(LinkedTree, LinkedTree, ::testing::Values(DedupeSettings{}, byName()),
                         criteriaName);

TEST_P(LinkedTree, hardLinksInOneFolderAndAcrossFoldersAreNoDuplicates)
{
    writeFile(tree / "a" / "song 1.mp3", "la la la");
    for (int i = 2; i <= 13; ++i) {
        fs::create_hard_link(tree / "a" / "song 1.mp3",
                             tree / "a" / ("song " + std::to_string(i) + ".mp3"));
    }
    fs::create_directories(tree / "b" / "deeper");
    fs::create_hard_link(tree / "a" / "song 1.mp3", tree / "b" / "deeper" / "song 1.mp3");
    EXPECT_EQ(dedupe({tree / "a", tree / "b"}, true), Groups{});
    EXPECT_EQ(h.records().size(), 14u) << "every path is still a record and a row";
    EXPECT_EQ(h.rows().size(), 14u);
}

TEST_P(LinkedTree, aRealCopyGroupsWithTheLinksTheHeadLeaves)
{
    writeFile(tree / "a" / "x.txt", "hello");
    fs::create_directory(tree / "b");
    fs::create_hard_link(tree / "a" / "x.txt", tree / "b" / "x.txt");
    writeFile(tree / "c" / "x.txt", "hello");
    fs::create_directory(tree / "d");
    fs::create_hard_link(tree / "a" / "x.txt", tree / "d" / "x.txt");

    // a heads and takes the copy c; b, the link before the copy, is left alone; c heads the
    // link after it.
    EXPECT_EQ(dedupe({tree / "a", tree / "b", tree / "c", tree / "d"}),
              (Groups{{path("a/x.txt"), path("c/x.txt")}, {path("c/x.txt"), path("d/x.txt")}}));
}

TEST_P(LinkedTree, aFolderScannedAgainThroughALinkIsNotItsOwnDuplicate)
{
    writeFile(tree / "real" / "solo.txt", "only once");
    writeFile(tree / "real" / "one" / "song.txt", "abc");
    writeFile(tree / "real" / "two" / "song.txt", "abc");
    fs::create_directory_symlink(tree / "real", tree / "link");
    // Both scans meet the sub-folders in the folder's own listing order.
    std::vector<std::string> order;
    for (const fs::directory_entry& entry : fs::directory_iterator(tree / "real")) {
        if (entry.is_directory()) {
            order.push_back(entry.path().filename().string() + "/song.txt");
        }
    }
    ASSERT_EQ(order.size(), 2u);

    // The real copy in the other sub-folder pairs with both paths of the first song, which
    // never pair with each other.
    EXPECT_EQ(
        dedupe({tree / "real", tree / "link"}, true),
        (Groups{{path("real/" + order[0]), path("real/" + order[1]), path("link/" + order[1])},
                {path("real/" + order[1]), path("link/" + order[0])}}));
    EXPECT_EQ(h.records().size(), 6u);
}

} // namespace
} // namespace corvelle
