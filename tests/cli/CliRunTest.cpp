// corvelle-cli as a script sees it: what a run leaves behind however it ends, the empty
// results that are no error, the options that choose which files are taken, and the lines
// it writes on stderr.
#include "CliFixture.h"
#include "CliOptions.h"

#include <csignal>
#include <sys/stat.h>

namespace corvelle {
namespace {

using test::buildSmallTree;
using test::Cli;
using test::CliResult;
using test::groupsOf;
using test::RunningCli;
using test::tsvRows;
using test::under;
using test::writeFile;
namespace fs = std::filesystem;

/// The entries of a folder, by name.
std::set<std::string> entriesOf(const fs::path& folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

/// 1,500 pairs of duplicates: a tsv output of about 200 KB, more than a pipe holds, so that
/// the program is still writing it when the test acts.
void buildLargeOutputTree(const test::TempDir& dir)
{
    for (int i = 0; i < 1500; ++i) {
        const std::string content = "content number " + std::to_string(i);
        const std::string name = "file-with-a-longish-name-" + std::to_string(i) + ".txt";
        writeFile(dir / "first" / name, content);
        writeFile(dir / "second" / name, content);
    }
}

// --- What a run leaves behind ----------------------------------------------------------------

TEST_F(Cli, aNormalRunLeavesNothingInTheCurrentOrTemporaryFolder)
{
    buildSmallTree(dir);
    const std::set<std::string> before = entriesOf(dir.path());
    const CliResult result = run({"-r", "-q", "--format", "tsv", "."});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(tsvRows(result.out).size(), 5u);
    EXPECT_EQ(entriesOf(dir.path()), before) << "no work files in the current folder";
    EXPECT_FALSE(temporaryFilesLeft());

    // A work folder keeps the work files: 7 records of 613 bytes, 3 pairs of 8.
    ASSERT_EQ(runWithWorkDir({"-r", "-q", "."}).exitCode, 0);
    EXPECT_EQ(fs::file_size(work / "dedupe.dat"), 7u * 613u);
    EXPECT_EQ(fs::file_size(work / "dupelist.dat"), 3u * 8u);
    EXPECT_FALSE(temporaryFilesLeft());
}

TEST_F(Cli, aTemporaryFolderThatCannotBeMadeIsAUsageError)
{
    writeFile(dir / "a.txt", "same");
    const CliResult result = test::runCli({"a.txt"}, dir.path(), {"TMPDIR=" + under(dir, "none")});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "corvelle-cli: cannot make a temporary folder in '" + under(dir, "none") +
                              "': No such file or directory\n");
}

TEST_F(Cli, aClosedOutputEndsTheRunSilentlyAndCleansUp)
{
    buildLargeOutputTree(dir);
    // The reader goes after the first byte, as "| head -c1" does.
    RunningCli whileWriting({"-r", "--format", "tsv", "."}, dir.path(), environment());
    EXPECT_EQ(whileWriting.readByte(), "1"); // the first row's ID
    whileWriting.closeOutput();
    const CliResult cut = whileWriting.finish();
    EXPECT_EQ(cut.exitCode, 128 + SIGPIPE);
    EXPECT_EQ(cut.err, "");
    EXPECT_FALSE(temporaryFilesLeft());

    // A reader gone before any output: the run ends the same way, without finishing its work.
    RunningCli gone({"-r", "--format", "tsv", "."}, dir.path(), environment());
    gone.closeOutput();
    const CliResult early = gone.finish();
    EXPECT_EQ(early.exitCode, 128 + SIGPIPE);
    EXPECT_EQ(early.err, "");
    EXPECT_FALSE(temporaryFilesLeft());
}

TEST_F(Cli, anInterruptEvenDuringABlockedWriteCleansUp)
{
    buildLargeOutputTree(dir);
    RunningCli running({"-r", "--format", "tsv", "."}, dir.path(), environment());
    // Output has begun and cannot all fit in the pipe: the program is writing, or blocked.
    running.readByte();
    running.signal(SIGINT);
    const CliResult result = running.finish();
    EXPECT_EQ(result.exitCode, 128 + SIGINT);
    EXPECT_EQ(result.err, "");
    EXPECT_LT(result.out.size(), 150000u) << "the output was cut short";
    EXPECT_FALSE(temporaryFilesLeft());
}

// --- Nothing to compare is no error ----------------------------------------------------------

struct EmptyForm {
    std::string format;
    std::string output;
};

class EmptyResults : public Cli, public ::testing::WithParamInterface<EmptyForm> {};

TEST_P(EmptyResults, printTheFormatsEmptyFormAndSucceed)
{
    writeFile(dir / "one/only.txt", "x");
    writeFile(dir / "two/a.txt", "same size, other text");
    writeFile(dir / "two/b.txt", "same size, newer text");
    const std::string format = GetParam().format;

    // The same file twice is one record: nothing to compare.
    const CliResult single = run({"--format", format, "one/only.txt", under(dir, "one/only.txt")});
    EXPECT_EQ(single.exitCode, 0);
    EXPECT_EQ(single.out, GetParam().output);
    EXPECT_EQ(single.err,
              "corvelle-cli: You must have at least added 2 files to dedupe (1 file catalogued)\n");

    const CliResult different = run({"--format", format, "two"});
    EXPECT_EQ(different.exitCode, 0);
    EXPECT_EQ(different.out, GetParam().output);
    EXPECT_EQ(different.err, "corvelle-cli: no duplicates among 2 files catalogued\n");

    const CliResult quiet = run({"-q", "--format", format, "one", "two"});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out, GetParam().output);
    EXPECT_EQ(quiet.err, "");
    EXPECT_FALSE(temporaryFilesLeft());
}

INSTANTIATE_TEST_SUITE_P(Cli, EmptyResults,
                         ::testing::Values(EmptyForm{"json", "{\"groups\": []}\n"},
                                           EmptyForm{"csv", "ID,Dupe Group,Path,File Name,"
                                                            "Extension,Size,CRC\r\n"},
                                           EmptyForm{"tsv", ""},
                                           EmptyForm{"text", "No duplicates found.\n"}),
                         [](const auto& param) { return param.param.format; });

// --- Which files are taken -------------------------------------------------------------------

TEST_F(Cli, hiddenNamesAreScannedOnlyWithHidden)
{
    writeFile(dir / ".config/a.txt", "same");
    writeFile(dir / "visible/.b.txt", "same");
    writeFile(dir / "visible/c.txt", "same");
    const CliResult plain = run({"-r", "-q", "--format", "tsv", "."});
    EXPECT_EQ(plain.out, "");
    const CliResult hidden = run({"-r", "-q", "--hidden", "--format", "tsv", "."});
    ASSERT_EQ(hidden.exitCode, 0) << hidden.err;
    EXPECT_EQ(
        groupsOf(tsvRows(hidden.out)),
        (std::set<std::set<std::string>>{{under(dir, ".config/a.txt"), under(dir, "visible/.b.txt"),
                                          under(dir, "visible/c.txt")}}));
}

TEST_F(Cli, sizeLimitsLeaveFilesOut)
{
    writeFile(dir / "empty1.txt", "");
    writeFile(dir / "empty2.txt", "");
    writeFile(dir / "small1.txt", "tiny");
    writeFile(dir / "small2.txt", "tiny");
    writeFile(dir / "big1.txt", std::string(2048, 'b'));
    writeFile(dir / "big2.txt", std::string(2048, 'b'));
    const auto groups = [&](std::vector<std::string> limits) {
        limits.insert(limits.end(), {"-q", "--format", "tsv", "."});
        const CliResult result = run(limits);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        std::set<std::string> sizes;
        for (const test::Row& row : tsvRows(result.out)) {
            sizes.insert(row.at(5));
        }
        return sizes;
    };
    // Every empty file matches every other one, unless they are left out.
    EXPECT_EQ(groups({}), (std::set<std::string>{"0", "4", "2048"}));
    EXPECT_EQ(groups({"--min-size", "1"}), (std::set<std::string>{"4", "2048"}));
    EXPECT_EQ(groups({"--max-size", "2047"}), (std::set<std::string>{"0", "4"}));
    EXPECT_EQ(groups({"--min-size=5", "--max-size=1K"}), std::set<std::string>{});
    // Files named one by one are held to the limits too.
    EXPECT_EQ(run({"--min-size", "1", "-q", "--format", "tsv", "empty1.txt", "empty2.txt"}).out,
              "");
}

TEST_F(Cli, aFilterPatternThatMatchesLiterallyIsWarnedAbout)
{
    writeFile(dir / "a.txt", "same");
    writeFile(dir / "b.txt", "same");
    const CliResult star = run({"--filter", "*", "--format", "tsv", "."});
    EXPECT_EQ(star.exitCode, 0);
    EXPECT_EQ(star.out, "");
    ASSERT_EQ(star.errLines().size(), 2u) << star.err;
    EXPECT_EQ(star.errLines()[0],
              "corvelle-cli: --filter: the \"*\" in '*' is compared literally: it matches only "
              "names ending in '*' (patterns are name endings such as \"*.txt;*.doc\"; \"*.*\" "
              "takes every file)");
    EXPECT_EQ(star.errLines()[1],
              "corvelle-cli: You must have at least added 2 files to dedupe (0 files catalogued)");

    const CliResult fine = run({"--filter", "*.TXT;*.doc", "-q", "--format", "tsv", "."});
    EXPECT_EQ(fine.err, "");
    EXPECT_EQ(tsvRows(fine.out).size(), 2u);
}

TEST(CliOptions, filterWarningsNameOnlyThePatternsThatMislead)
{
    for (const std::string_view plain : {"*.*", "*.txt;*.DOC", ".txt", "abc", "", ";;"}) {
        EXPECT_TRUE(cli::filterWarnings(plain).empty()) << plain;
    }
    EXPECT_EQ(cli::filterWarnings("*;*.txt;*.t*").size(), 2u);
    const std::vector<std::string> ignored = cli::filterWarnings("a*.txt");
    ASSERT_EQ(ignored.size(), 1u);
    EXPECT_NE(ignored[0].find("taken as the ending '.txt'"), std::string::npos);
}

TEST(CliOptions, sizesTakeBinarySuffixes)
{
    EXPECT_EQ(cli::parseSize("10B"), FileSize(10));
    EXPECT_EQ(cli::parseSize("2KB"), FileSize(2048));
    EXPECT_EQ(cli::parseSize("5G"), FileSize(5LL << 30));
    for (const std::string_view refused : {"", "K", "-1", "1.5M", "1T", "9223372036854775807K"}) {
        EXPECT_EQ(cli::parseSize(refused), std::nullopt) << refused;
    }
}

// --- Lines on stderr -------------------------------------------------------------------------

TEST_F(Cli, aFileThatIsNotACatalogueIsRefusedInOneSentence)
{
    writeFile(dir / "a.txt", "same");
    writeFile(dir / "b.txt", "same");
    writeFile(dir / "notes.txt", "my notes, not a catalogue");
    const CliResult result = run({"--catalogue", "notes.txt", "."});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "corvelle-cli: 'notes.txt' is not a catalogue: name a new file, or one "
                          "that --catalogue made before (it is left as it is)\n");
    EXPECT_EQ(test::readFile(dir / "notes.txt"), "my notes, not a catalogue");
    EXPECT_FALSE(temporaryFilesLeft());
}

} // namespace
} // namespace corvelle
