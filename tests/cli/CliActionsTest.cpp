// corvelle-cli's --verify and its actions, run for real: nothing that merely looked alike is
// ever touched, one file of each set stays, and a kill at any moment loses nothing.
#include "CliFixture.h"

#include <random>
#include <sys/stat.h>

namespace corvelle::test {
namespace {

TEST_F(Cli, onlyFilesIdenticalThroughoutAreActedOnAndOneOfEachStays)
{
    // Same size and first megabyte, different after it; and names alike with other contents.
    std::string big(1'200'000, 'b');
    writeFile(dir / "a/big.bin", big);
    writeFile(dir / "b/big.bin", big);
    big[1'150'000] = 'c';
    writeFile(dir / "c/big.bin", big);
    writeFile(dir / "a/Holiday 2019.jpg", "photo one");
    writeFile(dir / "b/Holiday (2019).jpg", "photo two");

    const CliResult listed = run({"-r", "--verify", "--format", "tsv", "."});
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(groupsOf(listed.out), (Groups{{at("a/big.bin"), at("b/big.bin")}}));
    EXPECT_NE(listed.err.find("left out '" + at("c/big.bin") + "'"), std::string::npos);

    const CliResult named = run({"-r", "-q", "--use", "name", "--delete", "."});
    EXPECT_EQ(named.exitCode, 0) << named.err;
    EXPECT_TRUE(fs::exists(dir / "b/Holiday (2019).jpg")) << "alike names, other contents";

    // A kept catalogue is saved only after the verification that reads it. The folder to keep
    // under is relative, as people write it, and the files' paths are absolute.
    const CliResult deleted = run({"-r", "-q", "--keep", "under=./b/", "--delete", "--catalogue",
                                   (work / "cat.dat").native(), "."});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
    EXPECT_FALSE(fs::exists(dir / "a/big.bin"));
    EXPECT_TRUE(fs::exists(dir / "b/big.bin"));
    EXPECT_TRUE(fs::exists(dir / "c/big.bin"));
    EXPECT_TRUE(fs::exists(work / "cat.dat"));
}

TEST_F(Cli, aSetLargerThanTheOpenFilesLimitIsVerifiedWhole)
{
    // More copies than the process may hold open: verified in parts and joined, none left out.
    for (int i = 0; i < 300; ++i) {
        writeFile(dir / ("c" + std::to_string(i) + ".txt"), "same");
    }
    const CliResult r = run({"--verify", "--format", "tsv", "."}, {"prlimit", "--nofile=100:100"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const Groups groups = groupsOf(r.out);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups.begin()->size(), 300u);
}

TEST_F(Cli, trashGoesToTheDesktopsTrashAndADryRunTouchesNothing)
{
    const std::string odd = "odd name %\n\xff.txt";
    writeFile(dir / "a/keep.txt", "same");
    writeFile(dir / ("b/" + odd), "same");
    const Launcher data{"XDG_DATA_HOME=" + (work / "not-yet/share").native()};

    const CliResult dry = run({"-r", "-q", "--trash", "--dry-run", "a", "b"}, data);
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_NE(dry.err.find("would trash"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir / ("b/" + odd)));
    EXPECT_FALSE(fs::exists(work / "not-yet"));

    const CliResult trashed = run({"-r", "--trash", "a", "b"}, data);
    EXPECT_EQ(trashed.exitCode, 0) << trashed.err;
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / ("b/" + odd))));
    EXPECT_EQ(readFile(work / ("not-yet/share/Trash/files/" + odd)), "same");
    EXPECT_NE(readFile(work / ("not-yet/share/Trash/info/" + odd + ".trashinfo"))
                  .find("/b/odd%20name%20%25%0A%FF.txt\n"),
              std::string::npos);
    EXPECT_NE(trashed.err.find("trashed 1 file (4 bytes freed)"), std::string::npos) << trashed.err;
}

TEST_F(Cli, aLinkAcrossFileSystemsIsSkippedAndTheRunSaysSo)
{
    struct stat here {};
    struct stat shm {};
    if (::stat(dir.path().c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 ||
        here.st_dev == shm.st_dev) {
        GTEST_SKIP() << "no second volume at /dev/shm";
    }
    const fs::path other = "/dev/shm/corvelle-cli-link-" + std::to_string(::getpid());
    writeFile(dir / "a/file.txt", "same");
    writeFile(other / "file.txt", "same");
    const CliResult linked = run({"-q", "--link", "a", other.native()});
    EXPECT_EQ(linked.exitCode, 1);
    EXPECT_NE(linked.err.find("another file system"), std::string::npos) << linked.err;
    EXPECT_EQ(readFile(other / "file.txt"), "same");
    fs::remove_all(other);
}

TEST_F(Cli, aKillDuringLinkingNeverLosesAFile)
{
    for (int i = 0; i < 200; ++i) {
        writeFile(dir / ("a/" + std::to_string(i) + ".dat"), "content " + std::to_string(i));
    }
    std::mt19937 random(5);
    for (int round = 0; round < 15; ++round) {
        // Fresh copies each round: the last round may have linked them.
        fs::remove_all(dir / "b");
        for (int i = 0; i < 200; ++i) {
            writeFile(dir / ("b/" + std::to_string(i) + ".dat"), "content " + std::to_string(i));
        }
        const auto running = start({"-r", "-q", "--link", "a", "b"});
        ::usleep(static_cast<useconds_t>(random() % 60'000));
        running->signal(SIGKILL);
        (void)running->finish();
        for (int i = 0; i < 200; ++i) {
            for (const char* side : {"a/", "b/"}) {
                const fs::path file = dir / (side + std::to_string(i) + ".dat");
                ASSERT_EQ(readFile(file), "content " + std::to_string(i))
                    << file << " round " << round;
            }
        }
    }
    // A kill between making a link and renaming it over the copy leaves the link under its
    // temporary name: one more name of a file that stays, never a loss.
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        if (entry.path().filename().native().starts_with(".corvelle-link-")) {
            EXPECT_GE(fs::hard_link_count(entry.path()), 2u) << entry.path();
        }
    }
}

} // namespace
} // namespace corvelle::test
