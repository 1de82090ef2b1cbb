// corvelle-cli on trees and ends that fight back: unreadable files and folders, a run killed or
// interrupted at any moment, a reader that goes away, and disks that fill up. Whatever happens the
// user's files stay as they were, what could not be read is said in one line, no list is printed as
// complete when it is not, and no work file is left.
#include "CliFixture.h"

#include <chrono>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace corvelle::test {
namespace {

/// The content of every file under `root`, by path.
std::map<std::string, std::string> contentsOf(const fs::path& root)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[entry.path().string()] = readFile(entry.path());
        }
    }
    return files;
}

// --- Files and folders that cannot be read ----------------------------------------------

TEST_F(Cli, whatCannotBeReadIsReportedInOneLineEachAndLeftOutOfTheList)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the program as another user";
    }
    writeFile(dir / "a/x.txt", "same content");
    writeFile(dir / "b/x.txt", "same content");
    writeFile(dir / "locked.txt", "same content");
    writeFile(dir / "closed/x.txt", "same content");
    // The program runs as nobody: everything it may read is readable by all, the work and
    // temporary folders are writable by all.
    for (const fs::path& folder : {dir.path(), dir / "a", dir / "b", work.path(), tmp.path()}) {
        fs::permissions(folder, fs::perms::all);
    }
    fs::permissions(dir / "locked.txt", fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(dir / "closed", fs::perms::owner_all);
    const TempDir bin;
    const Launcher asNobody = runAsNobody(bin);

    const auto before = contentsOf(dir.path());
    const CliResult r =
        run({"--work-dir", work.path().string(), "-r", "--format", "tsv", dir.path().string()},
            asNobody);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(groupsOf(r.out), (Groups{{at("a/x.txt"), at("b/x.txt")}}));
    EXPECT_EQ(r.errLines(),
              (std::vector<std::string>{
                  "corvelle-cli: Error CRC'ing file '" + at("locked.txt") + "': Permission denied",
                  "corvelle-cli: Error scanning path '" + at("closed/") + "': Permission denied"}));
    // Nothing written but the two work files, though the tree was writable by the program.
    EXPECT_FALSE(temporaryFilesLeft());
    EXPECT_EQ(contentsOf(work.path()).size(), 2u);
    EXPECT_EQ(contentsOf(dir.path()), before);
}

// --- Crashes and a full disk ----------------------------------------------------------------

TEST_F(Cli, aRunKilledAtAnyMomentLeavesTheTreeAsItWasAndTheNextRunSucceeds)
{
    // Small files in several folders; files 15 apart are duplicates.
    for (int i = 0; i < 40; ++i) {
        const int kind = i % 15;
        const auto bytes = randomBytes(static_cast<std::size_t>(1000 + (kind % 7) * 3000),
                                       static_cast<std::uint32_t>(kind));
        writeFile(dir / ("d" + std::to_string(i % 6)) / ("f" + std::to_string(i) + ".bin"),
                  std::string(bytes.begin(), bytes.end()));
    }
    const auto before = contentsOf(dir.path());
    const std::vector<std::string> args{
        "--work-dir", work.path().string(), "--catalogue", (work / "catalogue.db").string(),
        "-r",         "--format",           "tsv",         dir.path().string()};
    const auto started = std::chrono::steady_clock::now();
    const CliResult first = run(args);
    const auto runTime = std::chrono::steady_clock::now() - started;
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const Groups expected = groupsOf(first.out);
    ASSERT_FALSE(expected.empty());

    // Moments spread over a whole run (intake, the passes, the output), and a little past.
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(runTime) * 5 / 4;
    // The loop is bounded in time as well as in count, however slow the machine.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::mt19937 random(20261206);
    std::uniform_int_distribution<std::int64_t> moment(0, std::max<std::int64_t>(span.count(), 1));
    for (int kill = 0; kill < 50 && std::chrono::steady_clock::now() < deadline; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        const auto running = start(args);
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        running->signal(SIGKILL);
        running->finish();
        ASSERT_EQ(contentsOf(dir.path()), before);
        const CliResult next = run(args);
        ASSERT_EQ(next.exitCode, 0) << next.err;
        ASSERT_EQ(groupsOf(next.out), expected);
    }
    EXPECT_FALSE(temporaryFilesLeft());
}

TEST_F(Cli, theFolderOfAKilledRunIsRemovedByTheNextRunAndNothingElseIs)
{
    writeFile(dir / "a.txt", "x");
    writeFile(work / "elsewhere/data.dat", "not a run's");
    const auto runFolder = [&](const std::string& name, bool strangerInside) {
        const fs::path folder = tmp / name;
        writeFile(folder / "data.dat", "catalogue");
        writeFile(folder / "dedupe.dat", "work");
        if (strangerInside) {
            writeFile(folder / "notes.txt", "someone else's");
        }
        return folder;
    };
    const fs::path killed = runFolder("corvelle-cli-AAAAAA", false);
    const fs::path stranger = runFolder("corvelle-cli-BBBBBB", true);
    const fs::path live = runFolder("corvelle-cli-CCCCCC", false);
    const fs::path justMade = runFolder("corvelle-cli-DDDDDD", false);
    fs::create_directory_symlink(work / "elsewhere", tmp / "corvelle-cli-EEEEEE");
    const auto longAgo = fs::file_time_type::clock::now() - std::chrono::minutes(5);
    for (const fs::path& folder : {killed, stranger, live, work / "elsewhere"}) {
        fs::last_write_time(folder, longAgo);
    }
    const int lock = ::open(live.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);

    const CliResult r = run({"."});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_TRUE(fs::exists(stranger / "data.dat"));
    EXPECT_TRUE(fs::exists(live / "data.dat"));
    EXPECT_TRUE(fs::exists(justMade / "data.dat"));
    EXPECT_TRUE(fs::exists(work / "elsewhere/data.dat"));
    ::close(lock);
}

TEST_F(Cli, aFolderThatFillsUpFailsTheRunNamingTheFileAndPrintsNoList)
{
    if (std::system("unshare -m sh -c 'mount -t tmpfs tmpfs /tmp' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "cannot make a private mount namespace here (unshare -m)";
    }
    // 300 files of one content: an export of 300 × 613 = 183,900 bytes (45 pages of 4 KiB)
    // and 299 pairs of 8 bytes.
    for (int i = 0; i < 300; ++i) {
        writeFile(dir / ("a-somewhat-longer-file-name-" + std::to_string(i) + ".txt"),
                  "same content");
    }
    // The work folder on a small disk, mounted in a private mount namespace that vanishes with
    // the run; the catalogue is made there too.
    const std::string workDir = work.path().string();
    const std::string catalogue = workDir + "/catalogue.db";
    struct Case {
        std::string size;
        std::vector<std::string> options;
        std::string message;
    };
    const std::vector<Case> cases{
        {"64k",
         {"--work-dir", workDir},
         "Error occured exporting records to temp dupe check file: cannot write '" + workDir +
             "/dedupe.dat': No space left on device"},
        {"184320",
         {"--work-dir", workDir},
         "Error creating duplicate list: cannot write '" + workDir +
             "/dupelist.dat': No space left on device"},
        // Room for a new catalogue, not for its records.
        {"40k",
         {"--catalogue", catalogue},
         "Catalogue error saving '" + catalogue + "': database or disk is full"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const Launcher smallDisk{"unshare", "-m", "sh", "-c",
                                 "mount -t tmpfs -o size=" + c.size + " tmpfs '" + workDir +
                                     "' && exec \"$0\" \"$@\""};
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"--format", "tsv", dir.path().string()});
        const CliResult r = run(args, smallDisk);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, ""); // no list at all rather than part of one
        EXPECT_EQ(r.errLines(), std::vector<std::string>{"corvelle-cli: " + c.message});
        EXPECT_FALSE(temporaryFilesLeft());
    }

    // Without a work folder the work files are kept in memory: a small temporary folder holds
    // the run's catalogue alone. One too small even for that: the folder is gone when the run
    // ends (listed, inside the namespace, after the run: nothing may be left to list).
    const std::string temporary = tmp.path().string();
    for (const char* size : {"64k", "16k"}) {
        const Launcher smallTemporary{"unshare", "-m", "sh", "-c",
                                      "mount -t tmpfs -o size=" + std::string(size) + " tmpfs '" +
                                          temporary + "' && { \"$0\" \"$@\"; code=$?; ls -A '" +
                                          temporary + "' >&2; exit $code; }"};
        const CliResult r = run({"--format", "tsv", dir.path().string()}, smallTemporary);
        if (std::string(size) == "64k") {
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(linesOf(r.out).size(), 300u);
            EXPECT_EQ(r.err, "");
            continue;
        }
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        const std::vector<std::string> lines = r.errLines();
        ASSERT_EQ(lines.size(), 1u) << r.err;
        EXPECT_TRUE(lines[0].starts_with("corvelle-cli: cannot open the catalogue: ")) << lines[0];
        EXPECT_TRUE(lines[0].ends_with("database or disk is full")) << lines[0];
    }
}

// --- Ends of a run ----------------------------------------------------------------------------

/// 1,500 pairs of duplicates: a tsv output of about 200 KB, more than a pipe holds, so that
/// the program is still writing it when the test acts.
void buildLargeOutputTree(const TempDir& dir)
{
    for (int i = 0; i < 1500; ++i) {
        const std::string name = "file-with-a-longish-name-" + std::to_string(i) + ".txt";
        writeFile(dir / "first" / name, "content number " + std::to_string(i));
        writeFile(dir / "second" / name, "content number " + std::to_string(i));
    }
}

TEST_F(Cli, aClosedOutputEndsTheRunSilentlyAndCleansUp)
{
    buildLargeOutputTree(dir);
    // The reader goes after the first byte, as "| head -c1" does.
    const auto running = start({"-r", "--format", "tsv", "."});
    EXPECT_EQ(running->readByte(), "1"); // the first row's ID
    running->closeOutput();
    const CliResult cut = running->finish();
    EXPECT_EQ(cut.exitCode, 128 + SIGPIPE);
    EXPECT_EQ(cut.err, "");
    EXPECT_FALSE(temporaryFilesLeft());

    // A reader gone before any output: a watch on the output ends the run during its work.
    const auto gone = start({"-r", "--format", "tsv", "."});
    gone->closeOutput();
    const CliResult early = gone->finish();
    EXPECT_EQ(early.exitCode, 128 + SIGPIPE);
    EXPECT_EQ(early.err, "");
    EXPECT_FALSE(temporaryFilesLeft());
}

TEST_F(Cli, anInterruptEvenDuringABlockedWriteCleansUp)
{
    buildLargeOutputTree(dir);
    const auto running = start({"-r", "--format", "tsv", "."});
    // Output has begun and cannot all fit in the pipe: the program is writing, or blocked.
    running->readByte();
    running->signal(SIGINT);
    const CliResult result = running->finish();
    EXPECT_EQ(result.exitCode, 128 + SIGINT);
    EXPECT_EQ(result.err, "");
    EXPECT_LT(result.out.size(), 150000u) << "the output was cut short";
    EXPECT_FALSE(temporaryFilesLeft());
}

TEST_F(Cli, anOutputThatCannotBeWrittenFailsTheRun)
{
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full here";
    }
    writeFile(dir / "a.txt", "same content");
    writeFile(dir / "b.txt", "same content");
    const CliResult r = run({"."}, {"sh", "-c", "exec \"$0\" \"$@\" >/dev/full"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "corvelle-cli: cannot write the output: No space left on device\n");
    EXPECT_FALSE(temporaryFilesLeft());
}

} // namespace
} // namespace corvelle::test
