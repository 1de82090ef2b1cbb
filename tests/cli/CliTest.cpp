// corvelle-cli run for real on small trees: exit codes, refusals, and the four output formats
// carrying every byte of every name.
#include "CliFixture.h"
#include "CliOptions.h"
#include "CliOutput.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <algorithm>
#include <sys/stat.h>

namespace corvelle {
namespace {

using test::buildSmallTree;
using test::Cli;
using test::CliResult;
using test::groupsOf;
using test::Row;
using test::runCli;
using test::splitText;
using test::TempDir;
using test::tsvRows;
using test::under;
using test::writeFile;
namespace fs = std::filesystem;

// --- Usage errors --------------------------------------------------------------------------

struct UsageCase {
    std::vector<std::string> args;
    std::string mentions;
};

class UsageErrors : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageErrors, endWithCodeTwoAndOneClearLine)
{
    TempDir dir;
    writeFile(dir / "file.txt", "x");
    writeFile(dir / "plain-file", "not a folder");
    const CliResult result = runCli(GetParam().args, dir.path());
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.out.empty());
    ASSERT_EQ(result.errLines().size(), 1u) << result.err;
    EXPECT_EQ(result.err.rfind("corvelle-cli: ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(GetParam().mentions), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, UsageErrors,
    ::testing::Values(
        UsageCase{{"--bogus", "."}, "--bogus"}, UsageCase{{"-x", "."}, "-x"},
        UsageCase{{"--use", "size,colour", "."}, "colour"},
        UsageCase{{"--match", "101", "."}, "101"}, UsageCase{{"--match", "eighty", "."}, "eighty"},
        UsageCase{{"--match=-1", "."}, "-1"}, UsageCase{{"--crc-first", "3K", "."}, "3K"},
        UsageCase{{"--format", "xml", "."}, "xml"}, UsageCase{{"--match"}, "needs a value"},
        UsageCase{{"-r"}, "no PATH"}, UsageCase{{"./missing-folder"}, "missing-folder"},
        UsageCase{{"--work-dir", "plain-file", "."}, "plain-file"},
        UsageCase{{"--work-dir", "no/such/dir", "."}, "no/such/dir"},
        UsageCase{{"--catalogue", "no/such/dir/cat.dat", "."}, "catalogue"},
        UsageCase{{"--recursive=yes", "."}, "--recursive"}, UsageCase{{"--use", "", "."}, "--use"},
        UsageCase{{"--use=size,", "."}, "''"}, UsageCase{{"--min-size", "ten", "."}, "ten"},
        UsageCase{{"--max-size", "1T", "."}, "1T"}, UsageCase{{"--hidden=no", "."}, "--hidden"},
        UsageCase{{"--min-size", "2K", "--max-size", "2047", "."}, "--min-size"},
        UsageCase{{"--trash", "--link", "."}, "at most one"},
        UsageCase{{"--keep", "biggest", "."}, "biggest"},
        UsageCase{{"--dry-run", "."}, "--dry-run"}));

TEST_F(Cli, helpAndVersionSucceed)
{
    const CliResult help = run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    EXPECT_NE(help.out.find("_base64"), std::string::npos);
    const CliResult version = run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("corvelle-cli ", 0), 0u);
}

// --- Output --------------------------------------------------------------------------------

TEST_F(Cli, tsvHoldsTheDuplicateListRows)
{
    buildSmallTree(dir);
    const CliResult result = runWithWorkDir({"-r", "-q", "--format", "tsv", "."});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.err.empty()) << result.err;
    const std::vector<Row> rows = tsvRows(result.out);
    ASSERT_EQ(rows.size(), 5u);
    for (const Row& row : rows) {
        ASSERT_EQ(row.size(), 7u);
        EXPECT_EQ(row[6].size(), 9u);
        EXPECT_EQ(row[6][0], '$');
    }
    // Relative PATHs are catalogued with absolute folders.
    EXPECT_EQ(groupsOf(rows),
              (std::set<std::set<std::string>>{
                  {under(dir, "a/x.txt"), under(dir, "b/x.txt"), under(dir, "c/y.TXT")},
                  {under(dir, "e/u.bin"), under(dir, "f/v.bin")}}));
    EXPECT_EQ(rows[0][1], "1");
    EXPECT_EQ(rows.back()[1], "2");
    EXPECT_EQ(rows[0][5], "12");
    // The work files went to the work folder.
    EXPECT_TRUE(fs::exists(work / "dedupe.dat"));
    EXPECT_TRUE(fs::exists(work / "dupelist.dat"));
    EXPECT_FALSE(fs::exists(dir / "dedupe.dat"));
}

TEST_F(Cli, criteriaAndChecksumSizeComeFromTheOptions)
{
    // Equal in their first kilobyte only.
    writeFile(dir / "one.bin", std::string(1024, 'a') + std::string(100, 'b'));
    writeFile(dir / "two.bin", std::string(1024, 'a') + std::string(100, 'c'));
    writeFile(dir / "three.dat", std::string(1124, 'z'));

    const CliResult full = runWithWorkDir({"-q", "--format", "tsv", "."});
    EXPECT_TRUE(full.out.empty()) << full.out;

    const CliResult firstK = runWithWorkDir({"-q", "--format", "tsv", "--crc-first", "1K", "."});
    EXPECT_EQ(tsvRows(firstK.out).size(), 2u);

    // Size alone: all three are 1124 bytes.
    const CliResult sizeOnly = runWithWorkDir({"-q", "--format", "tsv", "--use", "size", "."});
    ASSERT_EQ(tsvRows(sizeOnly.out).size(), 3u);
    // Without crc as a criterion no checksum is computed at all.
    EXPECT_EQ(tsvRows(sizeOnly.out)[0][6], "$00000000");
}

TEST_F(Cli, filterLimitsFolderScansButNotNamedFiles)
{
    writeFile(dir / "a.txt", "same");
    writeFile(dir / "b.txt", "same");
    writeFile(dir / "c.log", "same");
    writeFile(dir / "d.log", "same");
    const CliResult result =
        runWithWorkDir({"-q", "--format", "tsv", "--filter", "*.TXT", ".", "c.log", "d.log"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(groupsOf(tsvRows(result.out)),
              (std::set<std::set<std::string>>{{under(dir, "a.txt"), under(dir, "b.txt")},
                                               {under(dir, "c.log"), under(dir, "d.log")}}));
}

TEST_F(Cli, linkToAFolderIsScannedButLinksInsideAreNot)
{
    writeFile(dir / "real/a.txt", "same");
    writeFile(dir / "real/b.txt", "same");
    fs::create_directory_symlink(dir / "real", dir / "named-link");
    fs::create_symlink(dir / "real" / "a.txt", dir / "real" / "c.txt");
    const CliResult result = runWithWorkDir({"-q", "--format", "tsv", "named-link"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(groupsOf(tsvRows(result.out)),
              (std::set<std::set<std::string>>{
                  {under(dir, "named-link/a.txt"), under(dir, "named-link/b.txt")}}));
}

TEST_F(Cli, unreadableFilesAreReportedWithTheirReasonAndTheRunStillSucceeds)
{
    writeFile(dir / "a.txt", "same");
    writeFile(dir / "b.txt", "same");
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "new\nline").c_str(), 0600), 0);
    const CliResult result =
        runWithWorkDir({"--format", "tsv", "a.txt", "pipe", "b.txt", "new\nline"});
    EXPECT_EQ(result.exitCode, 0);
    // One line each, the engine's text (the name escaped) and the reason.
    EXPECT_EQ(result.errLines(),
              (std::vector<std::string>{"corvelle-cli: Error adding file '" + under(dir, "pipe") +
                                            "': not a regular file",
                                        "corvelle-cli: Error adding file '" +
                                            under(dir, "new\\nline") + "': not a regular file"}));
    EXPECT_EQ(tsvRows(result.out).size(), 2u);
}

TEST_F(Cli, oddNamesSurviveTsvAndJson)
{
    const std::vector<std::string> names{"tab\there.txt", "new\nline.txt", "bad\xff\xfe.txt",
                                         "back\\slash.txt", "comma, \"quoted\".txt"};
    for (const std::string& name : names) {
        writeFile(dir / "one" / name, name);
        writeFile(dir / "two" / name, name);
    }
    const CliResult tsv = runWithWorkDir({"-r", "--format", "tsv", "."});
    ASSERT_EQ(tsv.exitCode, 0) << tsv.err;
    const std::vector<Row> rows = tsvRows(tsv.out);
    ASSERT_EQ(rows.size(), 10u);
    std::set<std::string> seen;
    for (const Row& row : rows) {
        ASSERT_EQ(row.size(), 7u) << "a name broke a line or a cell";
        seen.insert(row[3] + row[4]);
    }
    EXPECT_EQ(seen, std::set<std::string>(names.begin(), names.end()));

    const CliResult json = runWithWorkDir({"-r", "--format", "json", "."});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out.find('\t'), std::string::npos);
    EXPECT_NE(json.out.find(R"("name": "tab\there")"), std::string::npos);
    EXPECT_NE(json.out.find(R"("name": "new\nline")"), std::string::npos);
    EXPECT_NE(json.out.find(R"("name": "back\\slash")"), std::string::npos);
    EXPECT_NE(json.out.find(R"("name": "comma, \"quoted\"")"), std::string::npos);
    // Not UTF-8: a readable stand-in, and the exact bytes in base64 ("bad\xff\xfe").
    EXPECT_NE(
        json.out.find("\"name\": \"bad\xEF\xBF\xBD\xEF\xBF\xBD\", \"name_base64\": \"YmFk//4=\""),
        std::string::npos)
        << json.out;
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n') > 10, true);
    EXPECT_NE(json.out.find("\"group\": 5"), std::string::npos);
}

TEST_F(Cli, csvHasAHeaderAndQuotesWhatNeedsIt)
{
    writeFile(dir / "one/comma, \"q\".txt", "x");
    writeFile(dir / "two/comma, \"q\".txt", "x");
    const CliResult result = runWithWorkDir({"-r", "--format", "csv", "."});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::vector<std::string> lines = splitText(result.out, "\r\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "ID,Dupe Group,Path,File Name,Extension,Size,CRC");
    EXPECT_NE(lines[1].find(",\"comma, \"\"q\"\"\",.txt,1,$"), std::string::npos) << lines[1];
}

TEST_F(Cli, textShowsEachGroupsSizeAndASummaryOfWhatMatched)
{
    buildSmallTree(dir);
    const CliResult result = runWithWorkDir({"-r", dir.path().string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    // The groups' numbers follow the folders' listing order, which the file system decides.
    EXPECT_NE(result.out.find(": 3 files, 12 bytes each\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(": 2 files, 5 bytes each\n"), std::string::npos);
    EXPECT_NE(result.out.find("\n  " + under(dir, "e/u.bin") + "\n"), std::string::npos);
    // 2 x 12 + 1 x 5 bytes in the files beyond the first of each group.
    const std::string summary = "\n2 groups, 3 redundant files taking 29 bytes.\n"
                                "Matched on extension, size and the CRC-32 of the first 1 MB: each "
                                "file was checksummed whole, but not compared byte for byte.\n";
    EXPECT_TRUE(result.out.ends_with(summary)) << result.out;
}

TEST_F(Cli, namedCatalogueIsKeptAndStartsEmptyEachRun)
{
    writeFile(dir / "a.txt", "same");
    writeFile(dir / "b.txt", "same");
    const std::string catalogue = (work / "catalogue.db").string();
    for (int run = 0; run < 2; ++run) {
        const CliResult result = runWithWorkDir({"--format", "tsv", "--catalogue", catalogue, "."});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        // A second run over the same files finds them again: nothing is left from the first.
        EXPECT_EQ(tsvRows(result.out).size(), 2u);
    }
    EXPECT_TRUE(fs::exists(catalogue));
}

// --- One file under several paths ---------------------------------------------------------

/// One tsv row of the duplicate list, as the program prints it.
std::string tsvRow(int id, int group, const std::string& folder, const std::string& name,
                   const std::string& extension, int size, const std::string& crc)
{
    return std::to_string(id) + "\t" + std::to_string(group) + "\t" + folder + "\t" + name + "\t" +
           extension + "\t" + std::to_string(size) + "\t" + crc + "\n";
}

/// The default criteria, and the name alone (which computes no checksum).
struct Criteria {
    std::vector<std::string> options;
    std::string crcOfHello;
    std::string crcOfAbc;
};

class SeveralPaths : public Cli, public ::testing::WithParamInterface<Criteria> {
protected:
    [[nodiscard]] CliResult runTsv(const std::vector<std::string>& paths) const
    {
        std::vector<std::string> args = GetParam().options;
        args.insert(args.end(), {"-q", "--format", "tsv"});
        args.insert(args.end(), paths.begin(), paths.end());
        return runWithWorkDir(args);
    }
};

std::string criteriaName(const ::testing::TestParamInfo<Criteria>& param)
{
    return param.param.options.empty() ? "Default" : "ByName";
}

INSTANTIATE_TEST_SUITE_P(Cli, SeveralPaths,
                         ::testing::Values(Criteria{{}, "$3610A686", "$352441C2"},
                                           Criteria{{"--use", "name"}, "$00000000", "$00000000"}),
                         criteriaName);

TEST_P(SeveralPaths, hardLinksOfOneFileAreNoDuplicates)
{
    writeFile(dir / "a" / "song 1.mp3", "la la la");
    for (int i = 2; i <= 13; ++i) {
        fs::create_hard_link(dir / "a" / "song 1.mp3",
                             dir / "a" / ("song " + std::to_string(i) + ".mp3"));
    }
    fs::create_directory(dir / "b");
    fs::create_hard_link(dir / "a" / "song 1.mp3", dir / "b" / "song 1.mp3");
    std::vector<std::string> args = GetParam().options;
    args.insert(args.end(), {"-r", "a", "b"});
    const CliResult result = runWithWorkDir(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "No duplicates found.\n");
}

TEST_P(SeveralPaths, aRealCopyBesideHardLinksKeepsItsRowsAsTheyWere)
{
    writeFile(dir / "a" / "x.txt", "hello");
    fs::create_directory(dir / "b");
    fs::create_hard_link(dir / "a" / "x.txt", dir / "b" / "x.txt");
    writeFile(dir / "c" / "x.txt", "hello");
    const std::string crc = GetParam().crcOfHello;

    // The link before the copy is left out; the copy first takes every path of the file.
    const CliResult linkFirst = runTsv({"a", "b", "c"});
    ASSERT_EQ(linkFirst.exitCode, 0) << linkFirst.err;
    EXPECT_EQ(linkFirst.out, tsvRow(1, 1, under(dir, "a/"), "x", ".txt", 5, crc) +
                                 tsvRow(3, 1, under(dir, "c/"), "x", ".txt", 5, crc));
    const CliResult copyFirst = runTsv({"c", "a", "b"});
    ASSERT_EQ(copyFirst.exitCode, 0) << copyFirst.err;
    EXPECT_EQ(copyFirst.out, tsvRow(1, 1, under(dir, "c/"), "x", ".txt", 5, crc) +
                                 tsvRow(2, 1, under(dir, "a/"), "x", ".txt", 5, crc) +
                                 tsvRow(3, 1, under(dir, "b/"), "x", ".txt", 5, crc));
}

TEST_P(SeveralPaths, aFolderNamedTwiceThroughALinkIsNotItsOwnDuplicate)
{
    writeFile(dir / "real" / "solo.txt", "only once");
    writeFile(dir / "real" / "one" / "song.txt", "abc");
    writeFile(dir / "real" / "two" / "song.txt", "abc");
    fs::create_directory_symlink("real", dir / "link");
    // Both scans enter the sub-folders in the folder's own listing order: IDs 2 and 3 under
    // real, 5 and 6 under the link (1 and 4 are solo.txt).
    std::vector<std::string> order;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir / "real")) {
        if (entry.is_directory()) {
            order.push_back(entry.path().filename().string() + "/");
        }
    }
    ASSERT_EQ(order.size(), 2u);

    const CliResult result = runTsv({"-r", "real", "link"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string crc = GetParam().crcOfAbc;
    const auto row = [&](int id, int group, const std::string& folder) {
        return tsvRow(id, group, under(dir, folder), "song", ".txt", 3, crc);
    };
    // The other song is a real copy: it pairs with both paths of the first, which never pair
    // with each other, and no file pairs with itself.
    EXPECT_EQ(result.out, row(2, 1, "real/" + order[0]) + row(3, 1, "real/" + order[1]) +
                              row(6, 1, "link/" + order[1]) + row(3, 2, "real/" + order[1]) +
                              row(5, 2, "link/" + order[0]));
}

// --- Pieces of the command line and the output, directly ----------------------------------

/// A duplicate list of the given groups, each a list of (full path, size).
GridModel
duplicateList(const std::vector<std::vector<std::pair<std::string, std::int64_t>>>& groups)
{
    GridModel grid;
    grid.ColumnFormat(dupeListFormat());
    std::int32_t id = 0;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        for (const auto& [path, size] : groups[g]) {
            const std::size_t slash = path.rfind('/') + 1;
            const RecordCells cells{RecordId(++id),
                                    std::string_view(path).substr(0, slash),
                                    std::string_view(path).substr(slash),
                                    "",
                                    size,
                                    0};
            const auto group = static_cast<std::int32_t>(g + 1);
            grid.AppendRow(dupeListRow(cells, group), RowRecord{RecordId(id), group, size});
        }
    }
    return grid;
}

TEST(CliOutput, textGroupsGiveTheirSizeOnceOrPerFileWhenTheyDiffer)
{
    DedupeSettings nameOnly;
    nameOnly.blnUseName = true;
    nameOnly.blnUseExtension = nameOnly.blnUseSize = nameOnly.blnUseCRC = false;
    const GridModel grid = duplicateList({{{"/a/one", 85574}, {"/b/one", 85574}, {"/c/one", 85574}},
                                          {{"/a/tab\tname", 1}, {"/b/tab\tname", 1}},
                                          {{"/a/two", 1500}, {"/b/two", 2}}});
    EXPECT_EQ(cli::formatDuplicates(grid, cli::OutputFormat::Text, nameOnly),
              "Group 1: 3 files, 85,574 bytes each\n"
              "  /a/one\n  /b/one\n  /c/one\n\n"
              "Group 2: 2 files, 1 byte each\n"
              "  /a/tab\\tname\n  /b/tab\\tname\n\n"
              "Group 3: 2 files of different sizes\n"
              "  /a/two (1,500 bytes)\n  /b/two (2 bytes)\n\n"
              "3 groups, 4 redundant files taking 171,151 bytes.\n"
              "Matched on names at least 80% alike (bracketed text, numbers, symbols and spaces "
              "left out): the contents were not compared.\n");
    EXPECT_TRUE(cli::formatDuplicates(duplicateList({{{"/x", 7}, {"/y", 7}}}),
                                      cli::OutputFormat::Text, DedupeSettings{})
                    .ends_with("\n1 group, 1 redundant file taking 7 bytes.\n"
                               "Matched on extension, size and the CRC-32 of the first 1 MB: each "
                               "file was checksummed whole, but not compared byte for byte.\n"));
}

TEST(CliOutput, theMatchBasisFollowsTheCriteriaUsed)
{
    const DedupeSettings defaults;
    EXPECT_EQ(cli::matchBasis(defaults, 1024 * 1024 + 1),
              "Matched on extension, size and the CRC-32 of the first 1 MB: files can still "
              "differ after that.");

    DedupeSettings crcOnly;
    crcOnly.blnUseExtension = crcOnly.blnUseSize = false;
    crcOnly.lngCRCFilesFirstKB = 4;
    EXPECT_EQ(cli::matchBasis(crcOnly, 5000),
              "Matched on the CRC-32 of the first 4 KB: files can still differ after that.");

    DedupeSettings names;
    names.blnUseName = true;
    names.blnUseCRC = false;
    names.blnRemoveNumbers = names.blnRemoveSymbols = false;
    names.lngMatchScore = 70;
    EXPECT_EQ(cli::matchBasis(names, 1),
              "Matched on names at least 70% alike (bracketed text and spaces left out), "
              "extension and size: the contents were not compared.");
}

} // namespace
} // namespace corvelle
