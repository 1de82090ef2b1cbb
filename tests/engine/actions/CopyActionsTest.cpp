// The keep rules and the actions, on verified sets of real files: the physical file is the
// unit, a file kept is never touched, and nothing in a Trash counts as a copy.
#include "actions/CopyActions.h"

#include "VerifiedGroup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace corvelle::test {
namespace {

class CopyActionsTest : public VerifiedGroup {
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
    ActionRequest request(FileAction action, bool dryRun = false)
    {
        ActionRequest out;
        out.action = action;
        out.dryRun = dryRun;
        out.done = [this](const PlannedAction& plan, const ActionResult&) {
            done.push_back(plan.path);
        };
        return out;
    }
    ActionReport act(const VerifiedSet& set, std::size_t kept, const ActionRequest& how)
    {
        ActionReport report;
        actOnCopies(set, kept, how, places, trash, report);
        return report;
    }
    KeepChoice keep(const VerifiedSet& set, const std::vector<std::string>& rules)
    {
        std::vector<KeepRule> parsed;
        for (const std::string& rule : rules) {
            parsed.push_back(KeepRule::parse(rule).value());
            EXPECT_TRUE(parsed.back().resolve()) << rule;
        }
        return chooseKept(set, parsed, places);
    }

    TrashEnvironment environment{dir / "data" / "Trash", ::geteuid()};
    FilePlaces places{TrashPlaces{}};
    TrashBins trash{environment};
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
    const auto kept = [&](std::vector<std::string> rules) {
        return keep(set, rules).kept.value_or(99);
    };
    EXPECT_EQ(kept({}), 0u);
    EXPECT_EQ(kept({"last"}), 3u);
    EXPECT_EQ(kept({"oldest"}), 1u) << "a tie between rows 2 and 4 goes to the first";
    EXPECT_EQ(kept({"newest"}), 2u);
    EXPECT_EQ(kept({"shortest-path"}), 1u);
    EXPECT_EQ(kept({"under=" + (dir / "y/").native(), "newest"}), 2u);
    EXPECT_EQ(kept({"under=" + (dir / "y").native(), "last"}), 2u);
    EXPECT_FALSE(KeepRule::parse("under="));

    // A folder holding none of the files leaves the set alone, as a failure to report.
    fs::create_directories(dir / "none");
    const KeepChoice none = keep(set, {"under=" + (dir / "none").native()});
    EXPECT_FALSE(none.kept);
    EXPECT_TRUE(none.refused);
    EXPECT_NE(none.reason.find("none"), std::string::npos) << none.reason;
}

TEST_F(CopyActionsTest, underComparesLocationsNotSpellings)
{
    // Photos is a link to real/Photos; the copy in Backup must go, whichever way the folder
    // was named.
    add("Backup/p.jpg", "photo");
    add("real/Photos/p.jpg", "photo");
    fs::create_directory_symlink(dir / "real/Photos", dir / "Photos");
    const VerifiedSet set = verified();
    for (const fs::path& folder :
         {dir / "Photos", dir / "real/Photos/", dir / "Backup/../Photos"}) {
        EXPECT_EQ(keep(set, {"under=" + folder.native()}).kept, 1u) << folder;
    }
    // A member named through the link is inside the folder it links to.
    group.clear();
    add("Backup/q.jpg", "other photo");
    writeFile(dir / "real/Photos/q.jpg", "other photo");
    addRow("Photos/q.jpg", 11);
    EXPECT_EQ(keep(verified(), {"under=" + (dir / "real/Photos").native()}).kept, 1u);
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

    const ActionReport dry = act(set, 0, request(FileAction::Delete, true));
    EXPECT_EQ(dry.acted, 2u);
    EXPECT_EQ(done.size(), 2u);
    EXPECT_TRUE(fs::exists(dir / "copy.txt")) << "a dry run touches nothing";

    done.clear();
    const ActionReport report = act(set, 0, request(FileAction::Trash));
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
    linked[0].status = statusOf(dir / "keep.txt").value();
    linked[1].status = statusOf(dir / "link.txt").value();
    const ActionReport report = act(linked, 0, request(FileAction::Delete));
    ASSERT_EQ(report.skipped.size(), 1u);
    EXPECT_NE(report.skipped[0].reason.find("same file"), std::string::npos);

    fs::remove(dir / "keep.txt");
    EXPECT_EQ(act(set, 0, request(FileAction::Delete)).acted, 0u);
    EXPECT_TRUE(fs::exists(dir / "copy.txt"));
}

TEST_F(CopyActionsTest, thePhysicalFileIsTheUnitOfKeepingAndOfBytesFreed)
{
    // h and zzz are one file; xx is a copy of it; w is a copy with a link outside the set.
    add("h", "0123456789");
    add("xx", "0123456789");
    addLink("zzz", "h");
    add("w", "0123456789");
    fs::create_hard_link(dir / "w", dir / "w-elsewhere");
    VerifyResult result = verifyGroup(group);
    ASSERT_EQ(result.sets.size(), 1u);
    VerifiedSet set = result.sets.front();
    ASSERT_EQ(set.size(), 3u);

    // The longest path is zzz: its file stays, and neither of its names is touched.
    const KeepChoice choice = keep(set, {"longest-path"});
    ASSERT_EQ(choice.kept, 0u);
    const ActionReport dry = act(set, 0, request(FileAction::Delete, true));
    const std::vector<std::string> announced = done;
    done.clear();
    const ActionReport real = act(set, 0, request(FileAction::Delete));
    EXPECT_EQ(done, announced) << "the dry run announced what the real run did";
    EXPECT_EQ(dry.acted, real.acted);
    EXPECT_EQ(dry.bytes, real.bytes);
    EXPECT_EQ(done, (std::vector<std::string>{(dir / "xx").native(), (dir / "w").native()}));
    EXPECT_EQ(real.bytes, 10) << "w keeps a name elsewhere and frees nothing";
    EXPECT_EQ(readFile(dir / "h"), "0123456789");
    EXPECT_EQ(readFile(dir / "zzz"), "0123456789");

    // Both names of a copy go, one after the other, and its bytes count once.
    group.clear();
    add("a/kept", "abc");
    add("b/copy", "abc");
    addLink("b/copy-link", "b/copy");
    done.clear();
    const ActionReport both = act(verified(), 0, request(FileAction::Trash));
    EXPECT_EQ(both.acted, 2u);
    EXPECT_EQ(both.bytes, 3);
    EXPECT_TRUE(both.skipped.empty()) << both.skipped.front().reason;
    EXPECT_FALSE(fs::exists(dir / "b/copy-link"));
}

TEST_F(CopyActionsTest, aFileInATrashIsNeverKeptAndNeverTheOnlyOtherCopy)
{
    add("docs/r.txt", "report");
    add("data/Trash/files/r-old.txt", "report");
    add("docs/r2.txt", "report");
    places = FilePlaces(TrashPlaces::find(environment, "/dev/null"));
    const VerifiedSet set = verified();
    // The first row is in the Trash: the first file outside it stays.
    EXPECT_EQ(keep(set, {"last"}).kept, 2u);
    EXPECT_EQ(keep(set, {"under=" + (dir / "data").native()}).refused, true);
    const ActionReport report = act(set, 2, request(FileAction::Delete));
    EXPECT_EQ(report.acted, 1u);
    EXPECT_TRUE(fs::exists(dir / "data/Trash/files/r-old.txt")) << "a Trash is left as it is";
    EXPECT_FALSE(fs::exists(dir / "docs/r.txt"));

    // A live file whose only twin is in the Trash is the last copy: it is left alone.
    group.clear();
    add("docs/only.txt", "only");
    add("data/Trash/files/only.txt", "only");
    const KeepChoice alone = keep(verified(), {});
    EXPECT_FALSE(alone.kept);
    EXPECT_FALSE(alone.refused);
}

TEST_F(CopyActionsTest, aLinkReplacesTheCopyInOneStep)
{
    add("keep.txt", "same");
    add("copy.txt", "same");
    add("copy2.txt", "same");
    const VerifiedSet set = verified();
    const ActionReport report = act(set, 0, request(FileAction::Link));
    EXPECT_EQ(report.acted, 2u) << "the first link's new change time on the kept file is ours";
    EXPECT_EQ(statusOf(dir / "copy.txt")->identity, statusOf(dir / "keep.txt")->identity);
    EXPECT_EQ(statusOf(dir / "copy2.txt")->identity, statusOf(dir / "keep.txt")->identity);
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
