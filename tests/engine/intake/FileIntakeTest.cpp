// File intake on real trees: what reaches the catalogue and the list, the failures and the
// files a scan must leave alone. Run in the read-ahead mode only:
// ReadAheadEquivalenceTest shows the sequential mode observes the same.
#include "IntakeHarness.h"
#include "checksum/clsCRC.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/stat.h>

namespace corvelle {
namespace {

using test::IntakeHarness;
using test::TempDir;
using test::writeFile;
namespace fs = std::filesystem;

constexpr IntakeMode kMode = IntakeMode::ReadAhead;
constexpr std::int32_t oneMegabyte = 1024 * 1024;

std::string folderOf(const fs::path& dir)
{
    return dir.string() + "/";
}

std::vector<std::string> sorted(std::vector<std::string> paths)
{
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST(FileIntake, folderScanAddsRecordsAndRowsAndARescanAddsNothing)
{
    TempDir tree;
    writeFile(tree / "a.txt", "hello");
    writeFile(tree / "sub" / "b.doc", "world");
    IntakeHarness h;
    ASSERT_EQ(h.scan(kMode, tree.path(), false), Outcome::Completed);

    // Not recursive: the sub-folder's file stays out. The row shows the record (the harness
    // checks the two agree); 3610A686 is the CRC-32 of "hello".
    const std::vector<std::string> row{"1", folderOf(tree.path()), "a", ".txt", "5", "$3610A686"};
    EXPECT_EQ(h.rows(), std::vector<std::vector<std::string>>{row});

    // The same folder again: counted, but no second record of one path (it would be listed as
    // its own duplicate), no row and no message.
    auto again = h.intake(kMode);
    ASSERT_EQ(again->Run(IntakeRequest::folderScan(tree.path(), oneMegabyte)), Outcome::Completed);
    EXPECT_EQ(again->lngProcessed(), 1);
    EXPECT_EQ(again->acceptedRecords(), 0);
    EXPECT_EQ(h.rows().size(), 1u);
    EXPECT_EQ(h.records().size(), 1u);
    EXPECT_TRUE(h.log.messages.empty());

    // A stop while the folder is listed ends the scan before any file (ReadAheadEquivalenceTest
    // compares stops at every kind of yield).
    IntakeHarness stopped;
    EXPECT_EQ(stopped.scan(kMode, tree.path(), true, 1), Outcome::Stopped);
    EXPECT_TRUE(stopped.records().empty());
}

// --- Failures ----------------------------------------------------------------------------------

TEST(FileIntake, unlistableOrMissingFoldersAreReportedAndTheirSiblingsStillScanned)
{
    TempDir tree;
    writeFile(tree / "top.txt", "t");
    writeFile(tree / "a" / "a.txt", "a");
    writeFile(tree / "b" / "b.txt", "b");
    writeFile(tree / "b" / "deep" / "d.txt", "d");
    const std::string broken = folderOf(tree / "b");
    IntakeFaults faults;
    faults.listingFails = [broken](std::string_view folder) { return folder == broken; };
    IntakeHarness h;
    ASSERT_EQ(h.scan(kMode, tree.path(), true, 0, faults), Outcome::Completed);
    EXPECT_EQ(h.log.messageTexts(),
              std::vector<std::string>{"Error scanning path '" + broken + "'"});
    EXPECT_EQ(h.log.messages[0].reason, "Input/output error"); // what the injected fault stands for
    EXPECT_EQ(sorted(h.fullPaths()), (std::vector<std::string>{folderOf(tree / "a") + "a.txt",
                                                               folderOf(tree.path()) + "top.txt"}));

    IntakeHarness missing;
    ASSERT_EQ(missing.scan(kMode, tree / "gone", true), Outcome::Completed);
    EXPECT_EQ(missing.log.messageTexts(),
              std::vector<std::string>{"Error scanning path '" + folderOf(tree / "gone") + "'"});
    EXPECT_EQ(missing.log.messages[0].reason, "No such file or directory");
}

TEST(FileIntake, missingOrFifoChosenFilesAreReportedWithoutWaitingForAWriter)
{
    TempDir tree;
    const fs::path fifo = tree / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& [path, reason] : {std::pair{tree / "absent.txt", "No such file or directory"},
                                       std::pair{fifo, "not a regular file"}}) {
        IntakeHarness h;
        auto run = h.intake(kMode);
        ASSERT_EQ(run->Run(IntakeRequest::chosenFiles(path.string(), oneMegabyte)),
                  Outcome::Completed);
        EXPECT_EQ(h.log.messageTexts(),
                  std::vector<std::string>{"Error adding file '" + path.string() + "'"});
        EXPECT_EQ(h.log.messages[0].reason, reason);
        EXPECT_TRUE(h.records().empty());
    }
}

TEST(FileIntake, storeFailureIsReportedPerFileAndTheIntakeGoesOn)
{
    TempDir tree;
    writeFile(tree / "a.txt", "a");
    writeFile(tree / "b.txt", "b");
    IntakeHarness h;
    h.catalogue.CloseProject();
    ASSERT_EQ(h.scan(kMode, tree.path(), false), Outcome::Completed);
    ASSERT_EQ(h.log.messages.size(), 2u);
    EXPECT_EQ(h.log.messages[1].text.rfind("Error adding file '" + folderOf(tree.path()), 0), 0u);
    EXPECT_TRUE(h.rows().empty());
}

// --- What a scan leaves alone, and what it keeps intact ----------------------------------------

TEST(FileIntake, hiddenEntriesFifosAndLinksAreNeitherListedNorFollowed)
{
    TempDir tree;
    writeFile(tree / "a.txt", "a");
    writeFile(tree / ".hidden.txt", "h");
    writeFile(tree / ".git" / "config", "c");
    writeFile(tree / "sub" / "b.txt", "b");
    ASSERT_EQ(::mkfifo((tree / "pipe").c_str(), 0600), 0);
    fs::create_directory_symlink(".", tree / "loop");            // a cycle if followed
    fs::create_directory_symlink("..", tree / "sub" / "up");     // another
    fs::create_symlink("a.txt", tree / "alias.txt");             // a duplicate if followed
    fs::create_symlink(tree / "nowhere", tree / "dangling.txt"); // an error if followed
    IntakeHarness h;
    ASSERT_EQ(h.scan(kMode, tree.path(), true), Outcome::Completed);
    EXPECT_EQ(sorted(h.fullPaths()), (std::vector<std::string>{folderOf(tree.path()) + "a.txt",
                                                               folderOf(tree / "sub") + "b.txt"}));
    EXPECT_TRUE(h.log.messages.empty());
}

TEST(FileIntake, foldersAreListedInOneOrderEverywhereAndTrashFoldersAreLeftOut)
{
    TempDir tree;
    for (const char* name : {"b.txt", "B2.txt", "a.txt", "_x.txt", "Z.txt", "\xc3\xa9.txt", "A.txt",
                             "sub2/s", "Sub1/s", "home/.local/Trash/files/t"}) {
        writeFile(tree / name, "same");
    }
    IntakeHarness h;
    h.trash.homeTrash = tree / "home/.local/Trash";
    auto run = h.intake(kMode);
    IntakeScope hidden;
    hidden.hiddenNames = true;
    run->setScope(hidden);
    ASSERT_EQ(run->Run(IntakeRequest::folderScan(tree.path(), 1024, true)), Outcome::Completed);
    // ASCII letters as upper case, then the bytes: "b.txt" before "B2.txt" ('.' < '2'), "A"
    // before "a", "_" after "Z", other bytes last; files before sub-folders.
    const std::string top = folderOf(tree.path());
    EXPECT_EQ(h.fullPaths(),
              (std::vector<std::string>{top + "A.txt", top + "a.txt", top + "b.txt", top + "B2.txt",
                                        top + "Z.txt", top + "_x.txt", top + "\xc3\xa9.txt",
                                        top + "Sub1/s", top + "sub2/s"}));
}

TEST(FileIntake, excludedFoldersAreNeverOpenedAndExcludedFilesNeverRead)
{
    TempDir tree;
    for (const char* name :
         {"keep/a.txt", "keep/b.tmp", "keep/cache/c.txt", "skip/d.txt", "deep/x/y/skip/e.txt"}) {
        writeFile(tree / name, "same");
    }
    TempDir elsewhere;
    writeFile(elsewhere / "named.tmp", "same");
    writeFile(elsewhere / "named.txt", "same");
    IntakeScope scope;
    scope.excludes.add("*.tmp");
    scope.excludes.add("skip");
    scope.excludes.add(tree.path().native() + "/keep/cache/");
    // Every folder and file the intake was about to open.
    std::vector<std::string> opened;
    std::mutex openedLock;
    IntakeFaults faults;
    faults.beforeOpen = [&](std::string_view path) {
        const std::lock_guard lock(openedLock);
        opened.emplace_back(path);
    };
    IntakeHarness h;
    auto run = h.intake(kMode);
    run->setScope(scope);
    run->setFaults(faults);
    ASSERT_EQ(run->Run(IntakeRequest::folderScan(tree.path(), 1024, true)), Outcome::Completed);
    ASSERT_EQ(run->RunFiles(std::vector<std::string>{(elsewhere / "named.tmp").native(),
                                                     (elsewhere / "named.txt").native()},
                            1024),
              Outcome::Completed);
    EXPECT_EQ(h.fullPaths(), (std::vector<std::string>{folderOf(tree.path()) + "keep/a.txt",
                                                       folderOf(elsewhere.path()) + "named.txt"}));
    for (const std::string& path : opened) {
        EXPECT_EQ(path.find("skip"), std::string::npos) << path;
        EXPECT_EQ(path.find("cache"), std::string::npos) << path;
        EXPECT_EQ(path.find(".tmp"), std::string::npos) << path;
    }
    EXPECT_TRUE(h.log.messages.empty());

    // A named folder that an exclude matches is not scanned at all.
    IntakeHarness named;
    auto excluded = named.intake(kMode);
    excluded->setScope(scope);
    ASSERT_EQ(excluded->Run(IntakeRequest::folderScan(tree / "skip", 1024, true)),
              Outcome::Completed);
    EXPECT_TRUE(named.records().empty());
}

TEST(FileIntake, sizesBeyondFourGigabytesAreStoredAndReadWhole)
{
    // 4 GiB + 1000: cut to 32 bits, its length would be 1,000 bytes and its checksum theirs.
    TempDir tree;
    writeFile(tree / "big.img", "");
    fs::resize_file(tree / "big.img", (4ull << 30) + 1000); // sparse: no disk space used
    IntakeHarness h;
    ASSERT_EQ(h.scan(kMode, tree.path(), false), Outcome::Completed);
    ASSERT_EQ(h.rows().size(), 1u);
    EXPECT_EQ(h.rows()[0][4], "4294968296"); // the harness checks the record's size agrees
    clsCRC megabyteOfZeros;
    megabyteOfZeros.AddBytes(std::vector<std::uint8_t>(oneMegabyte));
    EXPECT_EQ(h.records()[0].crc.value, megabyteOfZeros.Value());
}

TEST(FileIntake, checksumAndProgressMatchTheBlockByBlockEngine)
{
    TempDir tree;
    const std::vector<std::uint8_t> bytes = test::randomBytes(700001, 7);
    writeFile(tree / "data.bin",
              std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    const std::string full = (tree / "data.bin").string();
    for (const std::int32_t crcSize : {1024, 25000, oneMegabyte}) {
        test::RecordingProgress engineProgress;
        clsCRC engine;
        engine.CalculateFile(full, crcSize, &engineProgress);

        IntakeHarness h;
        auto run = h.intake(kMode);
        ASSERT_EQ(run->Run(IntakeRequest::chosenFiles(full, crcSize)), Outcome::Completed);
        ASSERT_EQ(h.records().size(), 1u);
        EXPECT_EQ(h.records()[0].crc.value, engine.Value()) << crcSize;
        EXPECT_EQ(h.log.progress, engineProgress.values) << crcSize;
    }
}

} // namespace
} // namespace corvelle
