// File intake on real trees: what reaches the catalogue and the list, the counts, the stop,
// the failures and the files a scan must leave alone.
#include "IntakeHarness.h"
#include "checksum/clsCRC.h"
#include "common/PhysicalFile.h"

#include <algorithm>
#include <dirent.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelle {
namespace {

using test::IntakeHarness;
using test::TempDir;
using test::writeFile;
namespace fs = std::filesystem;

constexpr std::int32_t oneMegabyte = 1024 * 1024;

std::string folderOf(const fs::path& dir)
{
    return dir.string() + "/";
}

class IntakeModes : public ::testing::TestWithParam<IntakeMode> {};

std::string modeName(const ::testing::TestParamInfo<IntakeMode>& param)
{
    return param.param == IntakeMode::ReadAhead ? "ReadAhead" : "Sequential";
}

INSTANTIATE_TEST_SUITE_P(BothModes, IntakeModes,
                         ::testing::Values(IntakeMode::ReadAhead, IntakeMode::Sequential),
                         modeName);

// --- Cataloguing -----------------------------------------------------------------------------

TEST_P(IntakeModes, folderScanAddsRecordsRowsAndCounts)
{
    TempDir tree;
    writeFile(tree / "a.txt", "hello");
    writeFile(tree / "sub" / "b.doc", "world");
    IntakeHarness h;
    ASSERT_EQ(h.scan(GetParam(), tree.path(), false), Outcome::Completed);

    // Not recursive: the sub-folder's file stays out.
    const auto records = h.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].path, folderOf(tree.path()));
    EXPECT_EQ(records[0].file, "a");
    EXPECT_EQ(records[0].extension, ".txt");
    EXPECT_EQ(records[0].size, 5);
    EXPECT_EQ(toCrcBits(records[0].crc.value), 0x3610A686u); // CRC-32 of "hello"
    EXPECT_FALSE(records[0].crc.failed);

    const std::vector<std::string> row{
        toString(records[0].id), folderOf(tree.path()), "a", ".txt", "5", "$3610A686"};
    EXPECT_EQ(h.rows(), std::vector<std::vector<std::string>>{row});
    EXPECT_EQ(h.log.captions,
              (std::vector<std::string>{"0 File(s) Processed", "1 File(s) Processed"}));
    EXPECT_EQ(h.log.progress, (std::vector<float>{0.0f, 100.0f}));
    EXPECT_TRUE(h.log.messages.empty());
}

TEST_P(IntakeModes, withoutChecksumsTheCrcIsZeroAndProgressUntouched)
{
    TempDir tree;
    writeFile(tree / "a.txt", "hello");
    IntakeHarness h;
    auto run = h.intake(GetParam());
    ASSERT_EQ(run->Run(IntakeRequest::folderScan(tree.path(), 0)), Outcome::Completed);
    ASSERT_EQ(h.rows().size(), 1u);
    EXPECT_EQ(h.rows()[0][5], "$00000000");
    EXPECT_EQ(h.records()[0].size, 5);
    EXPECT_TRUE(h.log.progress.empty());
}

TEST_P(IntakeModes, refusedReAddsAreCountedWithoutRowOrMessage)
{
    TempDir tree;
    writeFile(tree / "a.txt", "one");
    writeFile(tree / "b.txt", "two");
    IntakeHarness h;
    ASSERT_EQ(h.scan(GetParam(), tree.path(), false), Outcome::Completed);
    ASSERT_EQ(h.rows().size(), 2u);
    h.log.captions.clear();

    auto again = h.intake(GetParam());
    ASSERT_EQ(again->Run(IntakeRequest::folderScan(tree.path(), oneMegabyte)), Outcome::Completed);
    EXPECT_EQ(again->lngProcessed(), 2);
    EXPECT_EQ(again->acceptedRecords(), 0);
    EXPECT_EQ(h.log.captions,
              (std::vector<std::string>{"0 File(s) Processed", "1 File(s) Processed",
                                        "2 File(s) Processed"}));
    EXPECT_EQ(h.rows().size(), 2u);
    EXPECT_EQ(h.records().size(), 2u);
    EXPECT_TRUE(h.log.messages.empty());
}

TEST_P(IntakeModes, leadingBytesAloneDecideTheChecksum)
{
    TempDir tree;
    std::string first(5000, 'x');
    std::string second = first;
    second[4000] = 'y';
    writeFile(tree / "one.bin", first);
    writeFile(tree / "two.bin", second);
    IntakeHarness h;
    auto run = h.intake(GetParam());
    ASSERT_EQ(run->Run(IntakeRequest::folderScan(tree.path(), 1024)), Outcome::Completed);
    const auto records = h.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].crc, records[1].crc);
    EXPECT_EQ(records[0].size, 5000);
}

TEST_P(IntakeModes, chosenFilesNameTheSameFilesWithOrWithoutTrailingSlash)
{
    using namespace std::string_literals;
    TempDir tree;
    writeFile(tree / "x.txt", "x");
    writeFile(tree / "y.txt", "y");
    for (const std::string& folder : {tree.path().string(), folderOf(tree.path())}) {
        IntakeHarness h;
        auto run = h.intake(GetParam());
        ASSERT_EQ(run->Run(IntakeRequest::chosenFiles(folder + "\0x.txt\0y.txt"s, oneMegabyte)),
                  Outcome::Completed);
        EXPECT_EQ(h.fullPaths(), (std::vector<std::string>{folderOf(tree.path()) + "x.txt",
                                                           folderOf(tree.path()) + "y.txt"}));
        EXPECT_EQ(h.log.captions.front(), "0 File(s) Processed");
        EXPECT_EQ(h.log.captions.back(), "2 File(s) Processed");
        // The chosen files are not a scan: nothing yields.
        EXPECT_EQ(std::count(h.log.events.begin(), h.log.events.end(), "yield"), 0);
    }
}

// --- Stop --------------------------------------------------------------------------------------

struct StopCase {
    int stopAtYield;
    std::size_t records;
};

class StopTest : public ::testing::TestWithParam<std::tuple<IntakeMode, StopCase>> {};

// Root: three files and two sub-folders (five entries, five yields), then one yield after
// each of its files (yields 6 to 8); each sub-folder then yields once for its entry and once
// after its file.
TEST_P(StopTest, endsTheScanAfterTheEntryOrFileInHand)
{
    const auto [mode, c] = GetParam();
    TempDir tree;
    writeFile(tree / "f1.txt", "1");
    writeFile(tree / "f2.txt", "2");
    writeFile(tree / "f3.txt", "3");
    writeFile(tree / "s1" / "g1.txt", "g1");
    writeFile(tree / "s2" / "g2.txt", "g2");
    IntakeHarness h;
    EXPECT_EQ(h.scan(mode, tree.path(), true, c.stopAtYield), Outcome::Stopped);
    EXPECT_EQ(h.records().size(), c.records);
    EXPECT_EQ(std::count(h.log.events.begin(), h.log.events.end(), "yield"), c.stopAtYield);
}

INSTANTIATE_TEST_SUITE_P(
    Yields, StopTest,
    ::testing::Combine(::testing::Values(IntakeMode::ReadAhead, IntakeMode::Sequential),
                       ::testing::Values(
                           // during the listing: no file at all
                           StopCase{3, 0},
                           // after the first file's yield the second file is in hand
                           StopCase{6, 2},
                           // after the last root file: no sub-folder is entered
                           StopCase{8, 3},
                           // during a sub-folder's listing: its file is not added
                           StopCase{9, 3},
                           // after the first sub-folder's file: the second is not entered
                           StopCase{10, 4})));

TEST(FileIntake, stopDuringChosenFilesEndsAfterTheFileInHand)
{
    using namespace std::string_literals;
    TempDir tree;
    writeFile(tree / "x.txt", "x");
    writeFile(tree / "y.txt", "y");
    IntakeHarness h;
    WorkHooks hooks;
    hooks.stop = &h.stop;
    hooks.caption = &h.log;
    struct StopOnCount final : CaptionSink {
        StopFlag* flag;
        explicit StopOnCount(StopFlag* f)
            : flag(f)
        {}
        void setCaption(std::string_view text) override
        {
            if (text == "1 File(s) Processed") {
                flag->request();
            }
        }
    } stopper(&h.stop);
    hooks.caption = &stopper;
    FileIntake run(h.catalogue, &h.files, hooks);
    EXPECT_EQ(run.Run(IntakeRequest::chosenFiles(tree.path().string() + "\0x.txt\0y.txt"s, 0)),
              Outcome::Stopped);
    EXPECT_EQ(h.fullPaths(), std::vector<std::string>{folderOf(tree.path()) + "x.txt"});
}

// --- Failures ----------------------------------------------------------------------------------

TEST_P(IntakeModes, unlistableSubFolderIsReportedOnceAndItsSiblingsStillScanned)
{
    TempDir tree;
    writeFile(tree / "top.txt", "t");
    writeFile(tree / "a" / "a.txt", "a");
    writeFile(tree / "b" / "b.txt", "b");
    writeFile(tree / "b" / "deep" / "d.txt", "d");
    writeFile(tree / "c" / "c.txt", "c");
    const std::string broken = folderOf(tree / "b");
    IntakeFaults faults;
    faults.listingFails = [broken](std::string_view folder) { return folder == broken; };
    IntakeHarness h;
    ASSERT_EQ(h.scan(GetParam(), tree.path(), true, 0, faults), Outcome::Completed);

    EXPECT_EQ(h.log.messageTexts(),
              std::vector<std::string>{"Error scanning path '" + broken + "'"});
    EXPECT_EQ(h.log.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(h.log.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(h.log.messages[0].title, "Corvelle");
    EXPECT_EQ(h.log.messages[0].reason, "Input/output error"); // what the injected fault stands for
    auto paths = h.fullPaths();
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{folderOf(tree / "a") + "a.txt",
                                               folderOf(tree / "c") + "c.txt",
                                               folderOf(tree.path()) + "top.txt"}));
}

TEST_P(IntakeModes, missingFolderIsReportedWithItsTrailingSlash)
{
    TempDir tree;
    IntakeHarness h;
    ASSERT_EQ(h.scan(GetParam(), tree / "gone", true), Outcome::Completed);
    EXPECT_EQ(h.log.messageTexts(),
              std::vector<std::string>{"Error scanning path '" + folderOf(tree / "gone") + "'"});
    EXPECT_EQ(h.log.messages[0].reason, "No such file or directory");
    EXPECT_TRUE(h.records().empty());
}

TEST_P(IntakeModes, failedChecksumStillCataloguesTheFileAsFailed)
{
    TempDir tree;
    writeFile(tree / "big.bin", std::string(25000, 'b'));
    const std::string full = folderOf(tree.path()) + "big.bin";
    IntakeFaults faults;
    faults.readFailsAfter = [full](std::string_view path) -> std::optional<FileSize> {
        return path == full ? std::optional<FileSize>(15000) : std::nullopt;
    };
    IntakeHarness h;
    ASSERT_EQ(h.scan(GetParam(), tree.path(), false, 0, faults), Outcome::Completed);

    // One whole block was read before the failure, so the bar got that far.
    EXPECT_EQ(h.log.progress, (std::vector<float>{0.0f, 40.96f}));
    ASSERT_EQ(h.log.messages.size(), 1u);
    EXPECT_EQ(h.log.messages[0].text, crcFileErrorMessage(full).text);
    EXPECT_EQ(h.log.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(h.log.messages[0].reason, "Input/output error");
    const auto records = h.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].crc, (Checksum{-1, true}));
    EXPECT_EQ(records[0].size, 25000);
    EXPECT_EQ(h.rows()[0][5], "$FFFFFFFF");
    EXPECT_EQ(h.log.captions.back(), "1 File(s) Processed");
}

TEST(FileIntake, missingChosenFileIsReportedAndNotCounted)
{
    TempDir tree;
    IntakeHarness h;
    auto run = h.intake(IntakeMode::ReadAhead);
    const IntakeRequest request =
        IntakeRequest::chosenFiles((tree / "absent.txt").string(), oneMegabyte);
    ASSERT_EQ(run->Run(request), Outcome::Completed);
    EXPECT_EQ(h.log.messageTexts(),
              std::vector<std::string>{"Error adding file '" + request.strFile + "'"});
    EXPECT_EQ(h.log.messages[0].reason, "No such file or directory");
    EXPECT_EQ(h.log.captions, std::vector<std::string>{"0 File(s) Processed"});
    EXPECT_TRUE(h.records().empty());
}

TEST(FileIntake, chosenFifoIsRefusedWithoutWaitingForAWriter)
{
    TempDir tree;
    const fs::path fifo = tree / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    IntakeHarness h;
    auto run = h.intake(IntakeMode::Sequential);
    ASSERT_EQ(run->Run(IntakeRequest::chosenFiles(fifo.string(), oneMegabyte)), Outcome::Completed);
    EXPECT_EQ(h.log.messageTexts(),
              std::vector<std::string>{"Error adding file '" + fifo.string() + "'"});
    EXPECT_EQ(h.log.messages[0].reason, "not a regular file");
    EXPECT_TRUE(h.records().empty());
}

TEST_P(IntakeModes, storeFailureIsReportedPerFileAndTheIntakeGoesOn)
{
    TempDir tree;
    writeFile(tree / "a.txt", "a");
    writeFile(tree / "b.txt", "b");
    IntakeHarness h;
    h.catalogue.CloseProject();
    ASSERT_EQ(h.scan(GetParam(), tree.path(), false), Outcome::Completed);
    ASSERT_EQ(h.log.messages.size(), 2u);
    for (const Message& m : h.log.messages) {
        EXPECT_EQ(m.text.rfind("Error adding file '" + folderOf(tree.path()), 0), 0u) << m.text;
        EXPECT_FALSE(m.reason.empty()) << m.text;
    }
    // The count comes before the catalogue is asked.
    EXPECT_EQ(h.log.captions.back(), "2 File(s) Processed");
    EXPECT_TRUE(h.rows().empty());
}

// --- What a scan leaves alone, and what it keeps intact ----------------------------------------

TEST_P(IntakeModes, hiddenEntriesFifosAndLinksAreNeitherListedNorFollowed)
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
    ASSERT_EQ(h.scan(GetParam(), tree.path(), true), Outcome::Completed);
    auto paths = h.fullPaths();
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{folderOf(tree.path()) + "a.txt",
                                               folderOf(tree / "sub") + "b.txt"}));
    EXPECT_TRUE(h.log.messages.empty());
    // Entries that are not listed get no yield: 3 listed at the top (a.txt, sub and nothing
    // else), one file yield; 1 entry and 1 file yield in sub.
    EXPECT_EQ(std::count(h.log.events.begin(), h.log.events.end(), "yield"), 2 + 1 + 1 + 1);
}

TEST_P(IntakeModes, sizesBeyondFourGigabytesAreStoredExactly)
{
    TempDir tree;
    constexpr std::uintmax_t fiveGiB = 5ull << 30;
    constexpr std::uintmax_t oneGiB = 1ull << 30;
    writeFile(tree / "five.img", "");
    writeFile(tree / "one.img", "");
    fs::resize_file(tree / "five.img", fiveGiB); // sparse: no disk space used
    fs::resize_file(tree / "one.img", oneGiB);
    IntakeHarness h;
    ASSERT_EQ(h.scan(GetParam(), tree.path(), false), Outcome::Completed);
    std::map<std::string, FileSize> sizes;
    for (const CatalogueRecord& r : h.records()) {
        sizes[r.file] = r.size;
    }
    EXPECT_EQ(sizes["five"], 5368709120);
    EXPECT_EQ(sizes["one"], 1073741824);
    for (const auto& row : h.rows()) {
        EXPECT_TRUE(row[4] == "5368709120" || row[4] == "1073741824") << row[4];
    }
}

// --- Order -------------------------------------------------------------------------------------

/// The order a depth-first scan must produce, from the file system's own listing order.
void expectedScanOrder(const fs::path& folder, std::vector<std::string>& out)
{
    std::vector<std::string> files;
    std::vector<std::string> folders;
    DIR* dir = ::opendir(folder.c_str());
    ASSERT_NE(dir, nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name[0] == '.') {
            continue;
        }
        const fs::file_status status = fs::symlink_status(folder / name);
        if (fs::is_regular_file(status)) {
            files.push_back(folderOf(folder) + name);
        } else if (fs::is_directory(status)) {
            folders.push_back(name);
        }
    }
    ::closedir(dir);
    out.insert(out.end(), files.begin(), files.end());
    for (const std::string& name : folders) {
        expectedScanOrder(folder / name, out);
    }
}

TEST_P(IntakeModes, filesComeInListingOrderThenSubFoldersDepthFirst)
{
    TempDir tree;
    for (int i = 0; i < 40; ++i) {
        writeFile(tree / ("file" + std::to_string(i) + ".dat"), std::to_string(i));
    }
    for (const char* sub : {"x", "y", "z", "w"}) {
        for (int i = 0; i < 5; ++i) {
            writeFile(tree / sub / ("f" + std::to_string(i)), std::string(sub) + std::to_string(i));
            writeFile(tree / sub / "nested" / ("n" + std::to_string(i)), std::to_string(i) + sub);
        }
    }
    std::vector<std::string> expected;
    expectedScanOrder(tree.path(), expected);
    ASSERT_EQ(expected.size(), 80u);
    IntakeHarness h;
    ASSERT_EQ(h.scan(GetParam(), tree.path(), true), Outcome::Completed);
    EXPECT_EQ(h.fullPaths(), expected);
}

TEST_P(IntakeModes, deepTreesAreWalkedToTheBottomInOrder)
{
    // Deep enough that the deepest folders are opened by full path rather than through a
    // descriptor kept for each level.
    TempDir tree;
    fs::path folder = tree.path();
    std::vector<std::string> expected;
    for (int depth = 0; depth < 90; ++depth) {
        writeFile(folder / "f.txt", std::to_string(depth));
        expected.push_back(folderOf(folder) + "f.txt");
        folder /= "d";
    }
    IntakeHarness h;
    ASSERT_EQ(h.scan(GetParam(), tree.path(), true), Outcome::Completed);
    EXPECT_TRUE(h.log.messages.empty());
    EXPECT_EQ(h.fullPaths(), expected);
}

// --- Agreement with the checksum engine -------------------------------------------------------

TEST(FileIntake, checksumAndProgressMatchTheBlockByBlockEngine)
{
    TempDir tree;
    const std::vector<std::uint8_t> bytes = test::randomBytes(700001, 7);
    writeFile(tree / "data.bin",
              std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    const std::string full = (tree / "data.bin").string();
    for (const std::int32_t crcSize : {1024, 10240, 25000, 300000, oneMegabyte, 16 * oneMegabyte}) {
        test::RecordingProgress engineProgress;
        clsCRC engine;
        engine.CalculateFile(full, crcSize, &engineProgress);

        IntakeHarness h;
        auto run = h.intake(IntakeMode::Sequential);
        ASSERT_EQ(run->Run(IntakeRequest::chosenFiles(full, crcSize)), Outcome::Completed);
        ASSERT_EQ(h.records().size(), 1u);
        EXPECT_EQ(h.records()[0].crc.value, engine.Value()) << crcSize;
        EXPECT_EQ(h.log.progress, engineProgress.values) << crcSize;
    }
}

} // namespace
} // namespace corvelle
