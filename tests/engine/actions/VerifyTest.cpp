#include "actions/Verify.h"

#include "VerifiedGroup.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace corvelle::test {
namespace {

using VerifyTest = VerifiedGroup;

TEST_F(VerifyTest, filesThatDifferAfterTheFirstMegabyteLinksAndChangedFilesAreLeftOut)
{
    std::string content(1'100'000, 'x');
    add("a.bin", content);
    content[1'050'000] = 'y';
    add("b.bin", content);
    add("c.bin", content);
    add("d.bin", "different size");
    add("link.txt", "different size");
    fs::remove(dir / "link.txt");
    fs::create_symlink(dir / "d.bin", dir / "link.txt");
    add("grown.txt", "different size");
    writeFile(dir / "grown.txt", "different size and more");
    add("empty1", ""); // no reading needed
    add("empty2", "");
    const VerifyResult result = verifyGroup(group);
    EXPECT_EQ(setRows(result), (std::vector<std::vector<int>>{{2, 3}, {7, 8}}));
    std::vector<int> leftOut;
    for (const auto& file : result.leftOut) {
        leftOut.push_back(file.row);
    }
    ASSERT_EQ(leftOut, (std::vector<int>{1, 4, 5, 6}));
    EXPECT_EQ(result.leftOut[2].reason, "is a symbolic link");
}

TEST_F(VerifyTest, largeGroupsVerifiedInPartsGiveTheSameSets)
{
    const std::string contents[] = {"AAAA", "BBBB", "AAAA", "CCCC", "BBBB", "AAAA", "DDDD"};
    for (std::size_t i = 0; i < std::size(contents); ++i) {
        add("f" + std::to_string(i), contents[i]);
    }
    const auto expected = std::vector<std::vector<int>>{{1, 3, 6}, {2, 5}};
    for (const std::size_t maxOpen : {2u, 3u, 100u}) {
        EXPECT_EQ(setRows(verifyGroup(group, nullptr, maxOpen)), expected) << maxOpen;
    }
}

TEST_F(VerifyTest, pathsOfOnePhysicalFileAreOneMemberAndNeverASetByThemselves)
{
    // k and h are one file; x differs from it in its last byte only.
    add("x.bin", "content X");
    add("k.bin", "content Y");
    addLink("h.bin", "k.bin");
    const VerifyResult alone = verifyGroup(group);
    EXPECT_TRUE(alone.sets.empty()) << "a file and its hard link are not two copies";
    EXPECT_EQ(alone.leftOut.size(), 3u);

    // One real copy of it: one set of two physical files, the first with its link.
    add("copy.bin", "content Y");
    addLink("sub/h2.bin", "copy.bin");
    const VerifyResult result = verifyGroup(group, nullptr, 2);
    ASSERT_EQ(result.sets.size(), 1u);
    const VerifiedSet& set = result.sets.front();
    ASSERT_EQ(set.size(), 2u);
    EXPECT_EQ(setRows(result), (std::vector<std::vector<int>>{{2, 3, 4, 5}}));
    EXPECT_EQ(set[0].links.size(), 1u);
    EXPECT_EQ(set[0].status.links, 2u);
    EXPECT_EQ(set[1].path, (dir / "copy.bin").native());
}

TEST_F(VerifyTest, setsAreNotJoinedThroughAFileThatChangedBetweenTheirReads)
{
    // f is in two groups: read with a and b, then rewritten in place, then read with c and d.
    // Each set proves its members equal to one version of f only; joined, a could be kept for
    // c and d and the other version would go.
    add("a.bin", "version 1");
    add("b.bin", "version 1");
    add("f.bin", "version 1");
    VerifyResult first = verifyGroup(group);
    ASSERT_EQ(first.sets.size(), 1u);
    writeFile(dir / "f.bin", "version 2");
    writeFile(dir / "c.bin", "version 2");
    writeFile(dir / "d.bin", "version 2");
    group = {{3, (dir / "f.bin").native(), 9},
             {4, (dir / "c.bin").native(), 9},
             {5, (dir / "d.bin").native(), 9}};
    VerifyResult second = verifyGroup(group);
    ASSERT_EQ(second.sets.size(), 1u);

    VerifyResult both = std::move(first);
    both.sets.push_back(std::move(second.sets.front()));
    joinSetsSharingFiles(both);
    EXPECT_EQ(setRows(both), (std::vector<std::vector<int>>{{1, 2}, {4, 5}}));
    ASSERT_EQ(both.leftOut.size(), 1u);
    EXPECT_EQ(both.leftOut.front().row, 3);
    EXPECT_EQ(both.leftOut.front().kind, LeftOut::Kind::Changed);
}

} // namespace
} // namespace corvelle::test
