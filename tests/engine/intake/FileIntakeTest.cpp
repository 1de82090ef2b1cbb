// File intake on real trees: what reaches the catalogue and the list, the counts, the stop,
// the failures and the files a scan must leave alone. Run in the read-ahead mode only:
// ReadAheadEquivalenceTest shows the sequential mode observes the same.
#include "IntakeHarness.h"
#include "checksum/clsCRC.h"

#include <algorithm>
#include <gtest/gtest.h>
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

    // Not recursive: the sub-folder's file stays out.
    const auto records = h.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].file, "a");
    EXPECT_EQ(records[0].extension, ".txt");
    EXPECT_EQ(records[0].size, 5);
    EXPECT_EQ(toCrcBits(records[0].crc.value), 0x3610A686u); // CRC-32 of "hello"
    const std::vector<std::string> row{
        toString(records[0].id), folderOf(tree.path()), "a", ".txt", "5", "$3610A686"};
    EXPECT_EQ(h.rows(), std::vector<std::vector<std::string>>{row});
    EXPECT_EQ(h.log.captions,
              (std::vector<std::string>{"0 File(s) Processed", "1 File(s) Processed"}));

    // The same folder again: counted, but no second record of one path (it would be listed as
    // its own duplicate), no row and no message.
    auto again = h.intake(kMode);
    ASSERT_EQ(again->Run(IntakeRequest::folderScan(tree.path(), oneMegabyte)), Outcome::Completed);
    EXPECT_EQ(again->lngProcessed(), 1);
    EXPECT_EQ(again->acceptedRecords(), 0);
    EXPECT_EQ(h.rows().size(), 1u);
    EXPECT_EQ(h.records().size(), 1u);
    EXPECT_TRUE(h.log.messages.empty());
}

// --- Stop --------------------------------------------------------------------------------------

struct StopCase {
    int stopAtYield;
    std::size_t records;
};

class StopTest : public ::testing::TestWithParam<StopCase> {};

// Root: three files and two sub-folders (five entries, five yields), then one yield after
// each of its files (yields 6 to 8); each sub-folder then yields once for its entry and once
// after its file.
TEST_P(StopTest, endsTheScanAfterTheEntryOrFileInHand)
{
    TempDir tree;
    writeFile(tree / "f1.txt", "1");
    writeFile(tree / "f2.txt", "2");
    writeFile(tree / "f3.txt", "3");
    writeFile(tree / "s1" / "g1.txt", "g1");
    writeFile(tree / "s2" / "g2.txt", "g2");
    IntakeHarness h;
    EXPECT_EQ(h.scan(kMode, tree.path(), true, GetParam().stopAtYield), Outcome::Stopped);
    EXPECT_EQ(h.records().size(), GetParam().records);
    EXPECT_EQ(std::count(h.log.events.begin(), h.log.events.end(), "yield"),
              GetParam().stopAtYield);
}

INSTANTIATE_TEST_SUITE_P(Yields, StopTest,
                         ::testing::Values(StopCase{3, 0},    // during the listing: no file
                                           StopCase{6, 2},    // the second file is in hand
                                           StopCase{8, 3},    // no sub-folder is entered
                                           StopCase{9, 3},    // during a sub-folder's listing
                                           StopCase{10, 4})); // the second is not entered

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

TEST(FileIntake, aFailedChecksumIsCataloguedAsFailedSoItMatchesNothing)
{
    TempDir tree;
    writeFile(tree / "big.bin", std::string(25000, 'b'));
    const std::string full = folderOf(tree.path()) + "big.bin";
    IntakeFaults faults;
    faults.readFailsAfter = [full](std::string_view path) -> std::optional<FileSize> {
        return path == full ? std::optional<FileSize>(15000) : std::nullopt;
    };
    IntakeHarness h;
    ASSERT_EQ(h.scan(kMode, tree.path(), false, 0, faults), Outcome::Completed);

    ASSERT_EQ(h.log.messages.size(), 1u);
    EXPECT_EQ(h.log.messages[0].text, crcFileErrorMessage(full).text);
    EXPECT_EQ(h.log.messages[0].reason, "Input/output error");
    const auto records = h.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].crc, (Checksum{-1, true}));
    EXPECT_EQ(records[0].size, 25000);
    EXPECT_EQ(h.rows()[0][5], "$FFFFFFFF");
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
        EXPECT_EQ(h.log.captions, std::vector<std::string>{"0 File(s) Processed"});
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
    for (const Message& m : h.log.messages) {
        EXPECT_EQ(m.text.rfind("Error adding file '" + folderOf(tree.path()), 0), 0u) << m.text;
        EXPECT_FALSE(m.reason.empty()) << m.text;
    }
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

TEST(FileIntake, sizesBeyondFourGigabytesAreStoredExactly)
{
    TempDir tree;
    writeFile(tree / "five.img", "");
    fs::resize_file(tree / "five.img", 5ull << 30); // sparse: no disk space used
    IntakeHarness h;
    ASSERT_EQ(h.scan(kMode, tree.path(), false), Outcome::Completed);
    ASSERT_EQ(h.records().size(), 1u);
    EXPECT_EQ(h.records()[0].size, 5368709120);
    EXPECT_EQ(h.rows()[0][4], "5368709120");
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
