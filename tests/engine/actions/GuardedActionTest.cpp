// The one guarded action both programs remove files through: only the file that was seen is
// ever acted on, never one that stays.
#include "actions/GuardedAction.h"

#include "TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace corvelle::test {
namespace {

class GuardedActionTest : public ::testing::Test {
protected:
    /// The deletion of a file as the window's catalogue saw it.
    PlannedAction catalogued(const std::string& name, std::string_view content,
                             FileAction action = FileAction::Delete)
    {
        writeFile(dir / name, content);
        PlannedAction plan;
        plan.action = action;
        plan.path = (dir / name).native();
        plan.evidence = Evidence::catalogued(statusOf(dir / name)->identity,
                                             static_cast<std::int64_t>(content.size()));
        plan.makeWritable = true;
        return plan;
    }
    ActionResult perform(const PlannedAction& plan) { return performAction(plan, trash); }

    TempDir dir;
    TrashBins trash{TrashEnvironment{dir / "Trash", ::geteuid()}};
};

TEST_F(GuardedActionTest, onlyTheFileThatWasCataloguedIsEverRemoved)
{
    const auto expectRefused = [&](const PlannedAction& plan) {
        const ActionResult result = perform(plan);
        EXPECT_FALSE(result.done) << plan.path;
        EXPECT_EQ(checkAction(plan), result.reason) << "a dry run decides alike";
    };
    // Swapped for a symbolic link to another file: neither the link nor its target goes.
    const PlannedAction swapped = catalogued("swapped.txt", "abc");
    writeFile(dir / "target.txt", "abc");
    fs::remove(swapped.path);
    fs::create_symlink(dir / "target.txt", swapped.path);
    expectRefused(swapped);
    EXPECT_TRUE(fs::is_symlink(swapped.path));
    EXPECT_EQ(readFile(dir / "target.txt"), "abc");

    // Replaced by a folder, or by another file of another size or identity.
    const PlannedAction folder = catalogued("folder", "abc", FileAction::Trash);
    fs::remove(folder.path);
    fs::create_directory(folder.path);
    expectRefused(folder);
    EXPECT_TRUE(fs::is_directory(folder.path));

    const PlannedAction grown = catalogued("grown.txt", "abc");
    writeFile(grown.path, "abcd");
    expectRefused(grown);
    const PlannedAction replaced = catalogued("replaced.txt", "abc");
    writeFile(dir / "other.txt", "xyz");
    fs::remove(replaced.path);
    fs::rename(dir / "other.txt", replaced.path);
    expectRefused(replaced);
    EXPECT_EQ(readFile(replaced.path), "xyz");
    EXPECT_NE(perform(replaced).reason.find("since it was catalogued"), std::string::npos);
}

TEST_F(GuardedActionTest, aHardLinkOfAFileThatStaysIsNeverRemoved)
{
    const PlannedAction kept = catalogued("kept.txt", "same bytes");
    fs::create_hard_link(kept.path, dir / "link.txt");
    PlannedAction link = kept;
    link.path = (dir / "link.txt").native();
    link.staying = {kept.evidence.status.identity};
    EXPECT_FALSE(perform(link).done);
    EXPECT_TRUE(fs::exists(dir / "link.txt"));
    // With nothing of it staying, the user may remove it, for good, read-only as it is.
    ::chmod(link.path.c_str(), 0444);
    link.staying.clear();
    const ActionResult removed = perform(link);
    EXPECT_TRUE(removed.done) << removed.reason;
    EXPECT_FALSE(fs::exists(dir / "link.txt"));
    EXPECT_EQ(removed.after.links, 1u) << "the other name is left";
    EXPECT_FALSE(fs::exists(dir / "Trash"));
    EXPECT_EQ(readFile(kept.path), "same bytes");
}

TEST_F(GuardedActionTest, aReadOnlyFileStaysReadOnlyWhetherTrashedOrNot)
{
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const PlannedAction moved = catalogued("moved.txt", "abc", FileAction::Trash);
    ::chmod(moved.path.c_str(), 0444);
    const ActionResult result = perform(moved);
    ASSERT_TRUE(result.done) << result.reason;
    EXPECT_EQ(fs::status(result.trashPath).permissions() & fs::perms::all, readOnly)
        << "a restore gives it back as it was";

    const PlannedAction file = catalogued("read-only.txt", "abc", FileAction::Trash);
    ::chmod(file.path.c_str(), 0444);
    fs::remove_all(dir / "Trash" / "files");
    writeFile(dir / "Trash" / "files", "in the way");
    EXPECT_FALSE(perform(file).done);
    EXPECT_EQ(fs::status(file.path).permissions() & fs::perms::all, readOnly);
}

TEST_F(GuardedActionTest, aFileRewrittenWithItsOldModificationTimeIsNotActedOn)
{
    // Verified copies, then rewritten in place with the modification time put back: only the
    // change time tells, for the copy as for the file kept.
    writeFile(dir / "kept.txt", "same");
    writeFile(dir / "copy.txt", "same");
    const auto verified = [&](const std::string& name) {
        return Evidence::verified(statusOf(dir / name).value());
    };
    PlannedAction plan;
    plan.action = FileAction::Delete;
    plan.path = (dir / "copy.txt").native();
    plan.evidence = verified("copy.txt");
    plan.kept = KeptFile{(dir / "kept.txt").native(), verified("kept.txt")};

    const auto rewriteKeepingTime = [&](const std::string& name, std::string_view bytes) {
        struct stat st {};
        ASSERT_EQ(::stat((dir / name).c_str(), &st), 0);
        ::usleep(20'000); // a later change time, whatever the granularity of the clock
        writeFile(dir / name, bytes);
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ::utimensat(AT_FDCWD, (dir / name).c_str(), times, 0);
        ASSERT_EQ(statusOf(dir / name)->mtimeNs, PathStatus::of(st).mtimeNs);
    };
    rewriteKeepingTime("copy.txt", "SAME");
    EXPECT_FALSE(perform(plan).done);
    EXPECT_EQ(readFile(dir / "copy.txt"), "SAME");

    plan.evidence = verified("copy.txt");
    rewriteKeepingTime("kept.txt", "KEEP");
    const ActionResult result = perform(plan);
    EXPECT_FALSE(result.done);
    EXPECT_NE(result.reason.find("the file kept"), std::string::npos) << result.reason;
    EXPECT_TRUE(fs::exists(dir / "copy.txt"));
}

TEST_F(GuardedActionTest, aCloneTheFileSystemCannotMakeLeavesTheCopyAsItWas)
{
    writeFile(dir / "kept.bin", "same bytes");
    writeFile(dir / "copy.bin", "same bytes");
    PlannedAction plan;
    plan.action = FileAction::Reflink;
    plan.path = (dir / "copy.bin").native();
    plan.evidence = Evidence::verified(statusOf(plan.path).value());
    plan.kept =
        KeptFile{(dir / "kept.bin").native(), Evidence::verified(*statusOf(dir / "kept.bin"))};
    const ActionResult result = perform(plan);
    if (result.done) {
        GTEST_SKIP() << "the test folder's file system clones files; the command-line test "
                        "covers a clone";
    }
    EXPECT_NE(result.reason.find("reflinking '" + plan.path + "' (the file system cannot clone"),
              std::string::npos)
        << result.reason;
    // The copy is the very file it was, and no temporary file is left beside it.
    EXPECT_TRUE(plan.evidence.matches(statusOf(plan.path).value()));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);

    // The file kept swapped for another since it was verified: nothing is cloned from it.
    writeFile(dir / "other.bin", "same bytes");
    fs::rename(dir / "other.bin", dir / "kept.bin");
    EXPECT_NE(perform(plan).reason.find("the file kept"), std::string::npos);
    EXPECT_TRUE(plan.evidence.matches(statusOf(plan.path).value()));
}

} // namespace
} // namespace corvelle::test
