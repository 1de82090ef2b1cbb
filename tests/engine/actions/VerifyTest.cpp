#include "actions/Verify.h"

#include "TestSupport.h"
#include "actions/CopyActions.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace corvelle::test {
namespace {

class VerifyTest : public ::testing::Test {
protected:
    /// Writes the file and adds it to the group as the next row.
    void add(const std::string& name, std::string_view content)
    {
        writeFile(dir / name, content);
        group.push_back({static_cast<int>(group.size()) + 1, (dir / name).native(),
                         static_cast<std::int64_t>(content.size())});
    }
    static std::vector<std::vector<int>> setRows(const VerifyResult& result)
    {
        std::vector<std::vector<int>> out;
        for (const VerifiedSet& set : result.sets) {
            out.emplace_back();
            for (const VerifiedFile& file : set) {
                out.back().push_back(file.row);
            }
        }
        return out;
    }

    TempDir dir;
    std::vector<VerifyCandidate> group;
};

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

// The keep rules and the actions, on a verified set of real files.
class CopyActionsTest : public VerifyTest {
protected:
    VerifiedSet verified()
    {
        VerifyResult result = verifyGroup(group);
        EXPECT_EQ(result.sets.size(), 1u);
        return result.sets.empty() ? VerifiedSet{} : result.sets.front();
    }
    void setModified(const std::string& name, std::int64_t seconds)
    {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ::utimensat(AT_FDCWD, (dir / name).c_str(), times, 0);
    }
    ActionRequest request(CopyAction action)
    {
        ActionRequest out;
        out.action = action;
        out.trash = TrashEnvironment{dir / "data" / "Trash", ::geteuid()};
        out.done = [this](CopyAction, const std::string& copy, const std::string&) {
            done.push_back(copy);
        };
        return out;
    }
    std::vector<std::string> done;
};

TEST_F(CopyActionsTest, keepRulesNarrowInOrderAndTiesGoToTheFirstRow)
{
    add("x/bb.txt", "same");
    add("y/a.txt", "same");
    add("y/cc.txt", "same");
    add("z/d.txt", "same");
    setModified("x/bb.txt", 2000);
    setModified("y/a.txt", 1000);
    setModified("y/cc.txt", 3000);
    setModified("z/d.txt", 1000);
    const VerifiedSet set = verified();
    const auto keep = [&](std::vector<std::string> rules) {
        std::vector<KeepRule> parsed;
        for (const std::string& rule : rules) {
            parsed.push_back(KeepRule::parse(rule).value());
        }
        return chooseKept(set, parsed);
    };
    EXPECT_EQ(keep({}), 0u);
    EXPECT_EQ(keep({"last"}), 3u);
    EXPECT_EQ(keep({"oldest"}), 1u) << "a tie between rows 2 and 4 goes to the first";
    EXPECT_EQ(keep({"newest"}), 2u);
    EXPECT_EQ(keep({"shortest-path"}), 1u);
    // A rule that no file meets is passed over; a later one narrows what the earlier left.
    EXPECT_EQ(
        keep({"under=" + (dir / "none").native(), "under=" + (dir / "y/").native(), "newest"}), 2u);
    EXPECT_EQ(keep({"under=" + (dir / "y").native(), "last"}), 2u);
    EXPECT_FALSE(KeepRule::parse("under="));
}

TEST_F(CopyActionsTest, deleteAndTrashActOnlyOnCopiesStillAsVerified)
{
    add("keep.txt", "same");
    add("copy.txt", "same");
    add("rewritten.txt", "same");
    add("gone.txt", "same");
    add("swapped.txt", "same");
    add("odd \n%\xff.txt", "same");
    const VerifiedSet set = verified();
    ASSERT_EQ(set.size(), 6u);
    writeFile(dir / "rewritten.txt", "SAME");
    setModified("rewritten.txt", 5);
    fs::remove(dir / "gone.txt");
    fs::remove(dir / "swapped.txt");
    fs::create_symlink(dir / "keep.txt", dir / "swapped.txt");

    ActionReport dry;
    ActionRequest plan = request(CopyAction::Delete);
    plan.dryRun = true;
    actOnCopies(set, 0, plan, dry);
    EXPECT_EQ(dry.acted, 2u);
    EXPECT_TRUE(fs::exists(dir / "copy.txt")) << "a dry run touches nothing";

    ActionReport report;
    done.clear();
    actOnCopies(set, 0, request(CopyAction::Trash), report);
    EXPECT_EQ(report.acted, 2u);
    EXPECT_EQ(report.bytes, 8);
    ASSERT_EQ(report.skipped.size(), 3u);
    EXPECT_EQ(report.skipped[0].path, (dir / "rewritten.txt").native());
    EXPECT_FALSE(fs::exists(dir / "copy.txt"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "odd \n%\xff.txt")));
    EXPECT_EQ(readFile(dir / "data/Trash/files/odd \n%\xff.txt"), "same");
    EXPECT_EQ(readFile(dir / "keep.txt"), "same");
    EXPECT_TRUE(fs::is_symlink(dir / "swapped.txt"));
}

TEST_F(CopyActionsTest, nothingIsRemovedWhenTheKeptFileChangedOrIsTheSameFile)
{
    add("keep.txt", "same");
    add("copy.txt", "same");
    add("link.txt", "same");
    const VerifiedSet set = verified();
    // link.txt becomes the kept file itself, under another name.
    fs::remove(dir / "link.txt");
    fs::create_hard_link(dir / "keep.txt", dir / "link.txt");
    VerifiedSet linked = {set[0], set[2]};
    linked[1].status = statusOf(dir / "link.txt").value();
    ActionReport report;
    actOnCopies(linked, 0, request(CopyAction::Delete), report);
    ASSERT_EQ(report.skipped.size(), 1u);
    EXPECT_NE(report.skipped[0].reason.find("same file"), std::string::npos);

    fs::remove(dir / "keep.txt");
    ActionReport gone;
    actOnCopies(set, 0, request(CopyAction::Delete), gone);
    EXPECT_EQ(gone.acted, 0u);
    EXPECT_TRUE(fs::exists(dir / "copy.txt"));
}

TEST_F(CopyActionsTest, aLinkReplacesTheCopyInOneStep)
{
    add("keep.txt", "same");
    add("copy.txt", "same");
    const VerifiedSet set = verified();
    ActionReport report;
    actOnCopies(set, 0, request(CopyAction::Link), report);
    EXPECT_EQ(report.acted, 1u);
    EXPECT_EQ(statusOf(dir / "copy.txt")->identity, statusOf(dir / "keep.txt")->identity);
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().native().find(".corvelle-link-"), std::string::npos);
    }
    // A link to a file that is gone fails and leaves the copy.
    EXPECT_THROW(replaceWithLink((dir / "nothing").native(), (dir / "copy.txt").native()),
                 std::system_error);
    EXPECT_TRUE(fs::exists(dir / "copy.txt"));
}

} // namespace
} // namespace corvelle::test
