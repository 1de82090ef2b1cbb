// corvelle-cli's --verify and its actions, run for real: nothing that merely looked alike is
// ever touched, one file of each set stays, and a kill at any moment loses nothing.
#include "CliFixture.h"
#include "CliOutput.h"
#include "common/PhysicalFile.h"

#include <cstring>
#include <nlohmann/json.hpp>
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

    const CliResult named =
        run({"-r", "-q", "--use", "name", "--filter", "*.jpg", "--delete", "."});
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

/// The lines of stderr that announce an action ("trashed 'x' (keeping 'y')"), a dry run's
/// in the words of the real run.
std::vector<std::string> actionLines(const std::string& err)
{
    static const std::pair<std::string_view, std::string_view> words[] = {
        {"would trash ", "trashed "}, {"would delete ", "deleted "}, {"would link ", "linked "}};
    std::vector<std::string> lines;
    for (std::string line : linesOf(err)) {
        line = line.substr(std::string_view("corvelle-cli: ").size());
        if (line.find("' (keeping '") == std::string::npos) {
            continue;
        }
        for (const auto& [dry, done] : words) {
            if (line.starts_with(dry)) {
                line = std::string(done) + line.substr(dry.size());
            }
        }
        lines.push_back(line);
    }
    return lines;
}

TEST_F(Cli, aFileInATrashIsNeverTakenForACopy)
{
    const fs::path home = dir / "home";
    const Launcher user{"HOME=" + home.native(),
                        "XDG_DATA_HOME=" + (home / ".local/share").native()};
    writeFile(home / "docs/r.txt", "report");
    writeFile(home / "docs/r-old.txt", "report");
    ASSERT_EQ(run({"-q", "--trash", "home/docs/r-old.txt", "home/docs/r.txt"}, user).exitCode, 0);
    ASSERT_TRUE(fs::exists(home / ".local/share/Trash/files/r.txt"));

    // A scan of the home folder, hidden folders and all, does not see the Trash: the live
    // copy has no twin to go for.
    const CliResult scanned = run({"-r", "--hidden", "--trash", home.native()}, user);
    EXPECT_EQ(scanned.exitCode, 0) << scanned.err;
    EXPECT_EQ(readFile(home / "docs/r-old.txt"), "report");

    // Named, the trashed file is catalogued and verified, but it keeps nothing alive.
    const CliResult named =
        run({"--trash", (home / ".local/share/Trash/files/r.txt").native(), "home/docs"}, user);
    EXPECT_EQ(named.exitCode, 0) << named.err;
    EXPECT_NE(named.err.find("left alone the set of '"), std::string::npos) << named.err;
    EXPECT_EQ(readFile(home / "docs/r-old.txt"), "report");

    // A volume's own Trash, found through the mount table.
    if (std::system("unshare -m true >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "cannot make a private mount namespace here (unshare -m)";
    }
    const std::string volume = (dir / "volume").native();
    const std::string trash = volume + "/.Trash-" + std::to_string(::geteuid()) + "/files";
    fs::create_directories(volume);
    const Launcher mounted{"unshare", "-m", "sh", "-c",
                           "mount -t tmpfs tmpfs '" + volume + "' && mkdir -p '" + trash +
                               "' && echo same >'" + trash + "/a' && echo same >'" + volume +
                               "/a' && exec \"$0\" \"$@\""};
    const CliResult onVolume = run({"-r", "--hidden", "--format", "tsv", volume}, mounted);
    EXPECT_EQ(onVolume.exitCode, 0) << onVolume.err;
    EXPECT_EQ(onVolume.out, "");
}

TEST_F(Cli, keepUnderComparesFoldersNotTheirSpelling)
{
    writeFile(dir / "real/Photos/p.jpg", "photo");
    writeFile(dir / "Backup/p.jpg", "photo");
    fs::create_directory_symlink("real/Photos", dir / "Photos");
    const CliResult kept =
        run({"-r", "-q", "--trash", "--keep", "under=Photos", "Backup", "real/Photos"},
            {"XDG_DATA_HOME=" + (work / "share").native()});
    EXPECT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_EQ(readFile(dir / "real/Photos/p.jpg"), "photo");
    EXPECT_FALSE(fs::exists(dir / "Backup/p.jpg"));

    // A set with no file inside the folder is left alone, and the run says so.
    writeFile(dir / "Backup/q1.jpg", "other");
    writeFile(dir / "Backup/q2.jpg", "other");
    const CliResult none =
        run({"-r", "--delete", "--keep", "under=Photos", "--keep", "newest", "Backup", "Photos"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("skipped '" + at("Backup/q1.jpg") +
                            "': its set is left alone: none "
                            "of its files is inside '" +
                            at("Photos") + "'"),
              std::string::npos)
        << none.err;
    EXPECT_TRUE(fs::exists(dir / "Backup/q1.jpg"));
    EXPECT_TRUE(fs::exists(dir / "Backup/q2.jpg"));
}

TEST_F(Cli, hardLinksAreOneFileOfTheirSetAndAFileNamedAsKeptStays)
{
    // Equal in their first megabyte: only verification tells them apart.
    std::string bytes(1'100'000, 'k');
    writeFile(dir / "k.bin", bytes);
    fs::create_hard_link(dir / "k.bin", dir / "h.bin");
    bytes.back() = 'x';
    writeFile(dir / "x.bin", bytes);
    const CliResult alone = run({"--verify", "x.bin", "k.bin", "h.bin"});
    EXPECT_EQ(alone.exitCode, 0);
    EXPECT_NE(alone.out.find("No duplicates found."), std::string::npos) << alone.out;

    writeFile(dir / "t/h", "content");
    writeFile(dir / "t/xx", "content");
    fs::create_hard_link(dir / "t/h", dir / "t/zzz");
    const CliResult listed = run({"-r", "--verify", "t"});
    EXPECT_EQ(listed.out, "Group 1: 2 files (3 paths), 7 bytes each\n  " + at("t/h") + "\n  " +
                              at("t/zzz") + " (the same file as the path above)\n  " + at("t/xx") +
                              "\n\n1 group, 1 redundant file taking 7 bytes.\n" +
                              std::string(cli::verifiedBasis) + "\n");
    const CliResult tsv = run({"-r", "--verify", "--format", "tsv", "t"});
    std::vector<std::string> fileNumbers;
    for (const Row& row : tsvRows(tsv.out)) {
        fileNumbers.push_back(row.at(7));
    }
    EXPECT_EQ(fileNumbers, (std::vector<std::string>{"1", "1", "2"}));

    const CliResult deleted = run({"-r", "--delete", "--keep", "longest-path", "t"});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
    EXPECT_EQ(
        actionLines(deleted.err),
        std::vector<std::string>{"deleted '" + at("t/xx") + "' (keeping '" + at("t/h") + "')"});
    EXPECT_NE(deleted.err.find("deleted 1 file (7 bytes freed)"), std::string::npos);
    EXPECT_EQ(readFile(dir / "t/h"), "content");
    EXPECT_EQ(readFile(dir / "t/zzz"), "content");
}

/// A file's content and identity.
struct Seen {
    std::string content;
    PhysicalFile identity;
};

/// Every regular file under the root by its real path, the Trash left out; links are not
/// followed.
std::map<std::string, Seen> filesUnder(const fs::path& root)
{
    std::map<std::string, Seen> files;
    for (const auto& entry : fs::recursive_directory_iterator(fs::canonical(root))) {
        if (!entry.is_symlink() && entry.is_regular_file()) {
            files[entry.path().native()] = {readFile(entry.path()),
                                            statusOf(entry.path())->identity};
        }
    }
    return files;
}

/// The real path of a file reached through a link to its folder.
std::string realPath(const std::string& path)
{
    const fs::path file(path);
    return (fs::canonical(file.parent_path()) / file.filename()).native();
}

TEST_F(Cli, aDryRunAnnouncesExactlyWhatTheRealRunDoesAndEveryContentStays)
{
    // Trees of copies, hard links and links to folders and files, with every action and
    // several keep rules; some files are reached through two paths.
    const std::vector<std::vector<std::string>> keeps = {
        {},
        {"--keep", "last"},
        {"--keep", "longest-path"},
        {"--keep", "shortest-path"},
        {"--keep", "under=tree/b", "--keep", "newest"}};
    const std::vector<std::string> actions = {"--trash", "--delete", "--link"};
    const Launcher data{"XDG_DATA_HOME=" + (work / "share").native()};
    std::mt19937 random(7);
    std::size_t actedInAll = 0;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        fs::remove_all(dir / "tree");
        for (const char* folder : {"tree/a", "tree/b", "tree/c"}) {
            fs::create_directories(dir / folder);
        }
        for (int i = 0; i < 40; ++i) {
            const fs::path file = dir / "tree" /
                                  std::string(1, static_cast<char>('a' + random() % 3)) /
                                  ("f" + std::to_string(i));
            const fs::path earlier = dir / "tree/a" / ("f" + std::to_string(random() % (i + 1)));
            if (random() % 4 == 0 && fs::exists(earlier)) {
                fs::create_hard_link(earlier, file);
            } else {
                writeFile(file, "content " + std::to_string(random() % 8));
            }
        }
        fs::create_directory_symlink("../a", dir / "tree/b/to-a");
        fs::create_symlink("../a/f0", dir / "tree/c/link-f0");
        const std::map<std::string, Seen> before = filesUnder(dir / "tree");

        std::vector<std::string> args = {"-r", actions[random() % actions.size()]};
        const std::vector<std::string>& keep = keeps[random() % keeps.size()];
        args.insert(args.end(), keep.begin(), keep.end());
        args.insert(args.end(), {"tree", "tree/b/to-a"});
        std::vector<std::string> dryArgs = args;
        dryArgs.push_back("--dry-run");
        const CliResult dry = run(dryArgs, data);
        const CliResult real = run(args, data);
        EXPECT_EQ(dry.exitCode, real.exitCode) << real.err;
        const std::vector<std::string> done = actionLines(real.err);
        EXPECT_EQ(actionLines(dry.err), done);
        actedInAll += done.size();

        const std::map<std::string, Seen> after = filesUnder(dir / "tree");
        std::set<std::string> contentsBefore;
        std::set<std::string> contentsAfter;
        for (const auto& [path, seen] : before) {
            contentsBefore.insert(seen.content);
        }
        for (const auto& [path, seen] : after) {
            contentsAfter.insert(seen.content);
        }
        EXPECT_EQ(contentsAfter, contentsBefore) << "a content is gone from outside the Trash";
        std::set<std::string> actedOn;
        for (const std::string& line : done) {
            const std::size_t start = line.find('\'') + 1;
            actedOn.insert(realPath(line.substr(start, line.find("' (keeping") - start)));
        }
        for (const std::string& line : done) {
            const std::size_t start = line.find("(keeping '") + 10;
            const std::string kept = realPath(line.substr(start, line.size() - start - 2));
            EXPECT_FALSE(actedOn.contains(kept)) << kept << " was named as kept, then acted on";
            ASSERT_TRUE(after.contains(kept)) << kept;
            EXPECT_EQ(after.at(kept).content, before.at(kept).content) << kept;
            EXPECT_EQ(after.at(kept).identity, before.at(kept).identity) << kept;
        }
    }
    EXPECT_GT(actedInAll, 50u);
}

TEST_F(Cli, theJsonRecordSaysWhatWasKeptAndDoneAndCountsBytesOnce)
{
    // Set 1: a copy with two names in the tree (its bytes go once both names went) and a copy
    // with a name outside the tree (it frees nothing). Set 2: no file under the folder to
    // keep under, so it is left alone. Set 3: a name that is not UTF-8.
    writeFile(dir / "t/a/keep.bin", std::string(1000, 'k'));
    writeFile(dir / "t/b/copy.bin", std::string(1000, 'k'));
    fs::create_hard_link(dir / "t/b/copy.bin", dir / "t/b/copy-link.bin");
    writeFile(dir / "t/c/shared.bin", std::string(1000, 'k'));
    fs::create_hard_link(dir / "t/c/shared.bin", dir / "outside.bin");
    writeFile(dir / "t/b/q1.txt", "other");
    writeFile(dir / "t/c/q2.txt", "other");
    writeFile(dir / "t/a/odd\xff.dat", "odd");
    writeFile(dir / "t/c/odd\xff.dat", "odd");
    const Launcher data{"XDG_DATA_HOME=" + (work / "share").native()};
    const std::vector<std::string> args{"-r",       "--trash", "--keep", "under=t/a",
                                        "--format", "json",    "t"};

    std::vector<std::string> dryArgs = args;
    dryArgs.push_back("--dry-run");
    const CliResult dry = run(dryArgs, data);
    const CliResult real = run(args, data);
    EXPECT_EQ(real.exitCode, 1) << "a set was left alone: " << real.err;
    const nlohmann::json record = nlohmann::json::parse(real.out);
    const nlohmann::json dryRecord = nlohmann::json::parse(dry.out);
    // The sets in the order of their first files: t/a/keep.bin, t/a/odd, t/b/q1.txt.
    ASSERT_EQ(record["groups"].size(), 3u) << real.out;

    const nlohmann::json& first = record["groups"][0];
    EXPECT_EQ(first["kept"], at("t/a/keep.bin"));
    EXPECT_EQ(first["bytes_freed"], 1000);
    std::vector<std::string> trashed;
    for (const nlohmann::json& action : first["actions"]) {
        EXPECT_EQ(action["action"], "trashed");
        EXPECT_EQ(readFile(action["trash_path"].get<std::string>()), std::string(1000, 'k'));
        trashed.push_back(action["path"]);
    }
    EXPECT_EQ(trashed, (std::vector<std::string>{at("t/b/copy-link.bin"), at("t/b/copy.bin"),
                                                 at("t/c/shared.bin")}));
    EXPECT_EQ(readFile(dir / "outside.bin"), std::string(1000, 'k'));

    const nlohmann::json& alone = record["groups"][2];
    EXPECT_TRUE(alone["kept"].is_null());
    EXPECT_EQ(alone["left_alone"], "none of its files is inside '" + at("t/a") + "'");
    ASSERT_EQ(alone["actions"].size(), 2u);
    EXPECT_EQ(alone["actions"][0]["action"], "skipped");
    EXPECT_NE(alone["actions"][0]["reason"].get<std::string>().find("left alone"),
              std::string::npos);

    const nlohmann::json& odd = record["groups"][1];
    EXPECT_EQ(odd["kept_base64"], cli::base64(at("t/a/odd\xff.dat")));
    EXPECT_EQ(odd["actions"][0]["path_base64"], cli::base64(at("t/c/odd\xff.dat")));
    EXPECT_EQ(
        record["summary"],
        (nlohmann::json{{"dry_run", false}, {"acted", 4}, {"skipped", 2}, {"bytes_freed", 1003}}));

    // The dry run announced the same, in its own words.
    EXPECT_EQ(dryRecord["summary"]["dry_run"], true);
    EXPECT_EQ(dryRecord["summary"]["bytes_freed"], 1003);
    EXPECT_EQ(dryRecord["groups"][0]["actions"][0]["action"], "would trash");
    EXPECT_EQ(dryRecord["groups"][0]["actions"].size(), 3u);
    EXPECT_FALSE(dryRecord["groups"][0]["actions"][0].contains("trash_path"));
}

/// The commands that make and mount a file system of the kind in `dir`/vol, from an image
/// in `work`, in a private mount namespace.
std::string mountScript(const std::string& kind, const fs::path& image)
{
    const std::string mkfs = kind == "btrfs" ? "mkfs.btrfs -q" : "mkfs.xfs -q -m reflink=1";
    return "command -v " + mkfs.substr(0, mkfs.find(' ')) + " >/dev/null || { echo 'no " +
           mkfs.substr(0, mkfs.find(' ')) + "' >&2; exit 77; }; truncate -s 320M '" +
           image.native() + "' && " + mkfs + " '" + image.native() +
           "' >/dev/null 2>&1 && mkdir -p vol && mount -o loop '" + image.native() +
           "' vol 2>/dev/null || { echo 'cannot mount a loop device' >&2; exit 77; }; ";
}

TEST_F(Cli, reflinkClonesTheFileKeptIntoEachCopyOnAFileSystemThatCan)
{
    // Where the file system cannot clone (the test folder's own), each copy is skipped with
    // the reason and stays as it was.
    writeFile(dir / "plain/a.bin", "same bytes");
    writeFile(dir / "plain/b.bin", "same bytes");
    const PhysicalFile before = statusOf(dir / "plain/b.bin")->identity;
    const CliResult cannot = run({"-r", "-q", "--reflink", "plain"});
    if (cannot.exitCode == 0) {
        GTEST_SKIP() << "the test folder's own file system clones files";
    }
    EXPECT_EQ(cannot.exitCode, 1);
    EXPECT_NE(cannot.err.find("skipped '" + at("plain/b.bin") + "': reflinking '" +
                              at("plain/b.bin") + "' (the file system cannot clone files)"),
              std::string::npos)
        << cannot.err;
    EXPECT_EQ(statusOf(dir / "plain/b.bin")->identity, before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "plain"), fs::directory_iterator()), 2);

    if (std::system("unshare -m true >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "cannot make a private mount namespace here (unshare -m)";
    }
    std::vector<std::string> skipped;
    for (const std::string kind : {"btrfs", "xfs"}) {
        SCOPED_TRACE(kind);
        fs::remove_all(dir / "vol");
        // Three copies of a file written one by one (no blocks shared yet), one of them with
        // another owner, permissions and times; then, after the run, each file's first
        // physical block, its flags, its attributes and its content, one line each.
        const std::string files =
            "head -c 300000 /dev/urandom >vol/kept.bin && mkdir vol/d && "
            "for f in vol/copy1.bin vol/d/copy2.bin vol/d/copy3.bin; do "
            "cp --reflink=never vol/kept.bin $f; done && "
            "chown nobody:nogroup vol/d/copy2.bin && chmod 640 vol/d/copy2.bin && "
            "touch -d '2001-02-03 04:05:06' vol/d/copy2.bin && "
            "stat -c '%n %a %U %G %Y' vol/d/copy2.bin >'" +
            (work / "attributes-before").native() + "' && ";
        const std::string report =
            "for f in vol/kept.bin vol/copy1.bin vol/d/copy2.bin vol/d/copy3.bin; do "
            "printf '%s %s %s\\n' $f \"$(filefrag -v $f | awk '$1 == \"0:\" {print $4, $NF}')\" "
            "\"$(cmp -s $f '" +
            (work / "original").native() + "' && echo same)\"; done >'" +
            (work / "extents").native() + "'; stat -c '%n %a %U %G %Y' vol/d/copy2.bin >'" +
            (work / "attributes-after").native() + "'; ls -A vol vol/d >'" +
            (work / "listing").native() + "'; ";
        const Launcher onCloningDisk{"unshare", "-m", "sh", "-c",
                                     mountScript(kind, work / "image") + files +
                                         "cp vol/kept.bin '" + (work / "original").native() +
                                         "' && \"$0\" \"$@\"; code=$?; " + report + "exit $code"};
        const CliResult r = run({"-r", "--reflink", "--format", "json", "vol"}, onCloningDisk);
        fs::remove(work / "image");
        if (r.exitCode == 77) {
            skipped.push_back(kind + ": " + r.err);
            continue;
        }
        EXPECT_EQ(r.exitCode, 0) << r.err;
        const nlohmann::json record = nlohmann::json::parse(r.out);
        EXPECT_EQ(record["summary"]["acted"], 3);
        EXPECT_EQ(record["summary"]["bytes_freed"], 900000);
        EXPECT_EQ(record["groups"][0]["actions"][0]["action"], "reflinked");

        // Every copy now starts at the kept file's first block, shared, with its content.
        const std::vector<std::string> extents = linesOf(readFile(work / "extents"));
        ASSERT_EQ(extents.size(), 4u) << readFile(work / "extents");
        const std::string keptBlock = extents[0].substr(extents[0].find(' ') + 1);
        for (const std::string& line : extents) {
            EXPECT_EQ(line.substr(line.find(' ') + 1), keptBlock) << line;
            EXPECT_NE(line.find("shared"), std::string::npos) << line;
            EXPECT_TRUE(line.ends_with(" same")) << line;
        }
        // The copy keeps its owner, permissions and modification time; no temporary file is
        // left behind.
        EXPECT_EQ(readFile(work / "attributes-after"), readFile(work / "attributes-before"));
        EXPECT_EQ(readFile(work / "listing").find(".corvelle"), std::string::npos);
    }
    if (skipped.size() == 2) {
        GTEST_SKIP() << "no file system that clones could be mounted here: " << skipped[0]
                     << skipped[1];
    }
}

} // namespace
} // namespace corvelle::test
