// corvelle-cli run for real on small trees: refusals, which files are taken, the output
// formats carrying every byte of every name, and one file under several paths never paired
// with itself.
#include "CliFixture.h"

namespace corvelle::test {
namespace {

TEST_F(Cli, usageErrorsEndWithCodeTwoAndOneLineNamingTheFault)
{
    writeFile(dir / "file.txt", "x");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--bogus", "."}, "--bogus"},
        {{"--match", "101", "."}, "101"},
        {{"--use", "", "."}, "--use"},
        {{"--max-size", "9223372036854775807K", "."}, "9223372036854775807K"},
        {{"--min-size", "2K", "--max-size", "2047", "."}, "--min-size"},
        {{"-r"}, "no PATH"},
        {{"./missing-folder"}, "missing-folder"},
        {{"--work-dir", "no/such/dir", "."}, "no/such/dir"},
        {{"--keep", "biggest", "--delete", "."}, "biggest"},
        {{"--keep", "under=no-such-folder", "--delete", "."}, "no-such-folder"},
        {{"--trash", "--link", "."}, "at most one"},
        {{"--dry-run", "."}, "--dry-run"},
        {{"--keep", "newest", "."}, "--keep"},
        {{"-0", "--format", "json", "."}, "--print0"},
        {{"--exclude=", "."}, "--exclude"},
        {{"--min-size", "1.5MB", "."}, "1.5MB"},
        // A work folder that cannot take the work files is refused before any work.
        {{"--work-dir", "/proc", "."}, "/proc"},
        {{"--work-dir", "file.txt", "."}, "file.txt"}};
    for (const auto& [args, mentions] : cases) {
        const CliResult result = run(args);
        EXPECT_EQ(result.exitCode, 2) << mentions;
        EXPECT_EQ(result.out, "");
        ASSERT_EQ(result.errLines().size(), 1u) << result.err;
        EXPECT_TRUE(result.err.starts_with("corvelle-cli: ")) << result.err;
        EXPECT_NE(result.err.find(mentions), std::string::npos) << result.err;
    }
    const CliResult noTemporary = run({"file.txt"}, {"TMPDIR=" + at("none")});
    EXPECT_EQ(noTemporary.exitCode, 2);
    EXPECT_EQ(noTemporary.err, "corvelle-cli: cannot make a temporary folder in '" + at("none") +
                                   "': No such file or directory\n");
}

TEST_F(Cli, tsvListsTheGroupsUnderOneAbsolutePathHoweverThePathIsWrittenAndLeavesNoWorkFiles)
{
    writeFile(dir / "a/x.txt", "same content");
    writeFile(dir / "b/x.txt", "same content");
    writeFile(dir / "c/y.TXT", "same content"); // another name, same extension in other case
    writeFile(dir / "d/z.dat", "same content"); // another extension: not a duplicate

    for (const std::string& given : {std::string("./"), std::string("a/.."), at("/")}) {
        const CliResult result = run({"-r", "-q", "--format", "tsv", given});
        ASSERT_EQ(result.exitCode, 0) << given << ": " << result.err;
        EXPECT_EQ(result.err, "");
        const std::vector<Row> rows = tsvRows(result.out);
        ASSERT_EQ(rows.size(), 3u) << given;
        for (const Row& row : rows) {
            ASSERT_EQ(row.size(), 7u);
            EXPECT_EQ(row[5], "12");
            EXPECT_TRUE(row[6].starts_with("$") && row[6].size() == 9) << row[6];
        }
        EXPECT_EQ(groupsOf(result.out), (Groups{{at("a/x.txt"), at("b/x.txt"), at("c/y.TXT")}}));
    }
    // The work files are private to the run and gone with it (--work-dir keeps them).
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 4);
    EXPECT_FALSE(temporaryFilesLeft());
}

TEST_F(Cli, criteriaAndChecksumSizeComeFromTheOptions)
{
    // Equal in their first kilobyte only.
    writeFile(dir / "one.bin", std::string(1024, 'a') + std::string(100, 'b'));
    writeFile(dir / "two.bin", std::string(1024, 'a') + std::string(100, 'c'));
    writeFile(dir / "three.dat", std::string(1124, 'z'));

    EXPECT_EQ(run({"-q", "--format", "tsv", "."}).out, "");
    EXPECT_EQ(tsvRows(run({"-q", "--format", "tsv", "--crc-first", "1K", "."}).out).size(), 2u);
    // Size alone: all three are 1124 bytes, and no checksum is computed at all.
    const std::vector<Row> sizeOnly =
        tsvRows(run({"-q", "--format", "tsv", "--use", "size", "."}).out);
    ASSERT_EQ(sizeOnly.size(), 3u);
    EXPECT_EQ(sizeOnly[0][6], "$00000000");
}

TEST_F(Cli, aFilterLimitsFolderScansButNotNamedFilesAndAMisleadingPatternIsWarnedAbout)
{
    writeFile(dir / "a.txt", "same");
    writeFile(dir / "b.txt", "same");
    writeFile(dir / "c.log", "same");
    writeFile(dir / "d.log", "same");
    const CliResult result =
        run({"-q", "--format", "tsv", "--filter", "*.TXT;*.doc", ".", "c.log", "d.log"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(groupsOf(result.out),
              (Groups{{at("a.txt"), at("b.txt")}, {at("c.log"), at("d.log")}}));

    // "*" is a name ending, not a wildcard: the user is told why nothing was taken.
    const CliResult star = run({"--filter", "*", "--format", "tsv", "."});
    EXPECT_EQ(star.exitCode, 0);
    EXPECT_EQ(star.out, "");
    ASSERT_EQ(star.errLines().size(), 2u) << star.err;
    EXPECT_NE(star.errLines()[0].find("the \"*\" in '*' is compared literally"), std::string::npos);
}

TEST_F(Cli, excludedFilesAndFoldersAreLeftOutAndAnExcludedFolderIsNeverOpened)
{
    for (const char* name : {"src/a.c", "src/a.o", "src/cache/x.c", "build/a.c", "deep/1/2/3/a.c",
                             "keep/cache/y.c", "named.c"}) {
        writeFile(dir / name, "same");
    }
    const auto groups = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"-r", "-q", "--format", "tsv"});
        const CliResult result = run(args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return groupsOf(result.out);
    };
    // By name, by the end of the path, from the current folder, at any depth; a named file
    // and a named folder are held to the patterns too.
    EXPECT_EQ(
        groups({"--exclude", "*.o", "--exclude", "build", "--exclude", "src/cache/", "--exclude",
                "./deep/**/3", "--exclude", "named.*", "src", "build", "deep", "keep", "named.c"}),
        (Groups{{at("src/a.c"), at("keep/cache/y.c")}}));
    EXPECT_EQ(groups({"--exclude", at("keep") + "/**", "--exclude", "*.o", "."}),
              (Groups{{at("named.c"), at("build/a.c"), at("deep/1/2/3/a.c"), at("src/a.c"),
                       at("src/cache/x.c")}}));

    // A folder the run may not read, left out: not opened, so no error and exit 0.
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the program as another user";
    }
    fs::create_directories(dir / "closed/inner");
    for (const fs::path& folder :
         {dir.path(), dir / "src", dir / "src/cache", dir / "build", dir / "deep", dir / "deep/1",
          dir / "deep/1/2", dir / "deep/1/2/3", dir / "keep", dir / "keep/cache", work.path(),
          tmp.path()}) {
        fs::permissions(folder, fs::perms::all);
    }
    fs::permissions(dir / "closed", fs::perms::owner_all);
    const TempDir bin;
    const Launcher asNobody = runAsNobody(bin);
    const CliResult closed = run({"-r", "--format", "tsv", "."}, asNobody);
    EXPECT_EQ(closed.exitCode, 0);
    EXPECT_EQ(closed.err,
              "corvelle-cli: Error scanning path '" + at("closed/") + "': Permission denied\n");
    const CliResult left = run({"-r", "--exclude", "closed", "--format", "tsv", "."}, asNobody);
    EXPECT_EQ(left.exitCode, 0);
    EXPECT_EQ(left.err, "");
    EXPECT_EQ(groupsOf(left.out), groupsOf(closed.out));
}

TEST_F(Cli, oneFileSystemStaysOutOfAFileSystemMountedInsideTheTree)
{
    if (std::system("unshare -m true >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "cannot make a private mount namespace here (unshare -m)";
    }
    writeFile(dir / "a/x.txt", "same");
    writeFile(dir / "b/x.txt", "same");
    fs::create_directories(dir / "mnt");
    // A tmpfs mounted at mnt, in a namespace that vanishes with the run, holding a third copy.
    const Launcher mounted{"unshare", "-m", "sh", "-c",
                           "mount -t tmpfs tmpfs mnt && mkdir mnt/sub && echo -n same "
                           ">mnt/sub/x.txt && exec \"$0\" \"$@\""};
    const CliResult crossing = run({"-r", "-q", "--format", "tsv", "."}, mounted);
    EXPECT_EQ(groupsOf(crossing.out), (Groups{{at("a/x.txt"), at("b/x.txt"), at("mnt/sub/x.txt")}}))
        << crossing.err;
    const CliResult staying = run({"-r", "-q", "-x", "--format", "tsv", "."}, mounted);
    EXPECT_EQ(staying.exitCode, 0) << staying.err;
    EXPECT_EQ(groupsOf(staying.out), (Groups{{at("a/x.txt"), at("b/x.txt")}}));
    // The mounted file system named as a PATH is scanned: it is where the scan starts.
    const CliResult named = run({"-r", "-q", "-x", "--format", "tsv", "a", "mnt"}, mounted);
    EXPECT_EQ(groupsOf(named.out), (Groups{{at("a/x.txt"), at("mnt/sub/x.txt")}}));
}

TEST_F(Cli, aFolderScannedWithoutRecursionSaysItsSubFoldersNeedR)
{
    writeFile(dir / "photos/2019/a.jpg", "same");
    writeFile(dir / "photos/2020/a.jpg", "same");
    writeFile(dir / "flat/b.jpg", "other");
    const CliResult result = run({"photos", "flat"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(
        result.errLines(),
        (std::vector<std::string>{
            "corvelle-cli: '" + at("photos") + "' has sub-folders, which are scanned only with -r",
            "corvelle-cli: You must have at least added 2 files to dedupe (1 file "
            "catalogued)"}));
    EXPECT_EQ(run({"-q", "photos"}).err, "");
    EXPECT_EQ(run({"-r", "photos"}).errLines().size(), 0u);
}

TEST_F(Cli, nulSeparatedOutputReadsBackThroughXargs)
{
    const std::string odd = "new\nline 'quoted' \xff.txt";
    writeFile(dir / "a" / odd, "one");
    writeFile(dir / "b" / odd, "one");
    writeFile(dir / "c/two.txt", "two two");
    writeFile(dir / "d/two.txt", "two two");
    const CliResult result = run({"-r", "-q", "-0", "--content", "."});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, at("a/" + odd) + '\0' + at("b/" + odd) + '\0' + '\0' + at("c/two.txt") +
                              '\0' + at("d/two.txt") + '\0' + '\0');
    // xargs -0 hands every path over intact, and an empty argument between groups.
    writeFile(work / "out", result.out);
    const std::string command = "xargs -0 -n 1 sh -c 'test -z \"$0\" && echo GROUP || cat \"$0\"' "
                                "< '" +
                                (work / "out").native() + "'";
    std::string read;
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        read += buffer;
    }
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_EQ(read, "oneoneGROUP\ntwo twotwo twoGROUP\n");
    // Nothing to list: nothing at all.
    EXPECT_EQ(run({"-q", "-0", "c"}).out, "");
}

TEST_F(Cli, progressIsDrawnOnATerminalOnlyAndClearedAtTheEnd)
{
    for (int i = 0; i < 40; ++i) {
        writeFile(dir / ("a/" + std::to_string(i)), std::string(20'000, static_cast<char>(i)));
        writeFile(dir / ("b/" + std::to_string(i)), std::string(20'000, static_cast<char>(i)));
    }
    const CliResult verified = runOnTerminal({"-r", "--verify", "--format", "tsv", "."});
    EXPECT_EQ(verified.exitCode, 0);
    EXPECT_NE(verified.err.find("Cataloguing: 80 files processed"), std::string::npos)
        << verified.err;
    EXPECT_NE(verified.err.find("Verifying: 1.5 MiB compared ("), std::string::npos);
    EXPECT_NE(verified.err.find("), group 40 of 40"), std::string::npos);
    // Every line drawn is cleared before the end.
    EXPECT_TRUE(verified.err.ends_with("\r\033[K")) << verified.err;

    const CliResult deleted = runOnTerminal({"-r", "--delete", "--keep", "first", "."});
    EXPECT_EQ(deleted.exitCode, 0);
    EXPECT_NE(deleted.err.find("Deleting: set 1 of 40, "), std::string::npos) << deleted.err;
    EXPECT_NE(deleted.err.find(" files/s)"), std::string::npos);
    EXPECT_NE(deleted.err.find("deleted 40 files"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "b/0"));

    // Quiet, or stderr not a terminal: no progress line at all.
    EXPECT_EQ(runOnTerminal({"-q", "-r", "--verify", "--format", "tsv", "."}).err, "");
    EXPECT_EQ(run({"-r", "--verify", "--format", "tsv", "."}).err.find('\r'), std::string::npos);
}

TEST_F(Cli, oddNamesSurviveEveryFormat)
{
    const std::string longest = std::string(251, 'n') + ".txt"; // 255 bytes, the most
    const std::vector<std::string> names{"tab\there.txt",         "new\nline.txt",
                                         "bad\xff\xfe.txt",       "back\\slash.txt",
                                         "comma, \"quoted\".txt", longest};
    for (const std::string& name : names) {
        writeFile(dir / "one" / name, name);
        writeFile(dir / "two" / name, name);
    }
    const CliResult tsv = run({"-r", "--format", "tsv", "."});
    ASSERT_EQ(tsv.exitCode, 0) << tsv.err;
    const std::vector<Row> rows = tsvRows(tsv.out);
    ASSERT_EQ(rows.size(), 12u);
    std::set<std::string> seen;
    for (const Row& row : rows) {
        ASSERT_EQ(row.size(), 7u) << "a name broke a line or a cell";
        seen.insert(row[3] + row[4]);
    }
    EXPECT_EQ(seen, std::set<std::string>(names.begin(), names.end()));

    const CliResult json = run({"-r", "--format", "json", "."});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out.find('\t'), std::string::npos);
    for (const char* name :
         {R"("tab\there")", R"("new\nline")", R"("back\\slash")", R"("comma, \"quoted\"")"}) {
        EXPECT_NE(json.out.find(std::string("\"name\": ") + name), std::string::npos) << name;
    }
    // Not UTF-8: a readable stand-in, and the exact bytes in base64 ("bad\xff\xfe").
    EXPECT_NE(
        json.out.find("\"name\": \"bad\xEF\xBF\xBD\xEF\xBF\xBD\", \"name_base64\": \"YmFk//4=\""),
        std::string::npos)
        << json.out;

    const CliResult csv = run({"-r", "--format", "csv", "."});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_NE(csv.out.find(",\"comma, \"\"quoted\"\"\",.txt,"), std::string::npos) << csv.out;
}

TEST_F(Cli, nothingToCompareIsNoErrorAndPrintsTheFormatsEmptyForm)
{
    writeFile(dir / "one/only.txt", "x");
    writeFile(dir / "two/a.txt", "same size, other text");
    writeFile(dir / "two/b.txt", "same size, newer text");
    // The same file named twice is one record: nothing to compare.
    const CliResult single = run({"one/only.txt", at("one/only.txt")});
    EXPECT_EQ(single.exitCode, 0);
    EXPECT_EQ(single.out, "No duplicates found.\n");
    EXPECT_EQ(single.err,
              "corvelle-cli: You must have at least added 2 files to dedupe (1 file catalogued)\n");
    const CliResult different = run({"two"});
    EXPECT_EQ(different.exitCode, 0);
    EXPECT_EQ(different.err, "corvelle-cli: no duplicates among 2 files catalogued\n");

    // A script reads an empty list of its format, and with -q nothing on stderr.
    const std::map<std::string, std::string> emptyForms{
        {"json", "{\"groups\": []}\n"},
        {"csv", "ID,Dupe Group,Path,File Name,Extension,Size,CRC\r\n"},
        {"tsv", ""}};
    for (const auto& [format, empty] : emptyForms) {
        const CliResult quiet = run({"-q", "--format", format, "one", "two"});
        EXPECT_EQ(quiet.exitCode, 0);
        EXPECT_EQ(quiet.out, empty);
        EXPECT_EQ(quiet.err, "");
    }
    EXPECT_FALSE(temporaryFilesLeft());
}

TEST_F(Cli, hiddenNamesAndSizeLimitsChooseTheFilesTaken)
{
    const std::string big(2048, 'b');
    writeFile(dir / ".config/a.txt", big);
    writeFile(dir / "visible/.b.txt", big);
    writeFile(dir / "visible/c.txt", big);
    writeFile(dir / "empty1.txt", "");
    writeFile(dir / "empty2.txt", "");
    const auto groups = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"-r", "-q", "--format", "tsv"});
        return groupsOf(run(args).out);
    };
    // Every empty file matches every other one, unless they are left out.
    const Groups empties{{at("empty1.txt"), at("empty2.txt")}};
    EXPECT_EQ(groups({"."}), empties);
    EXPECT_EQ(groups({"--hidden", "--min-size", "1", "."}),
              (Groups{{at(".config/a.txt"), at("visible/.b.txt"), at("visible/c.txt")}}));
    EXPECT_EQ(groups({"--hidden", "--max-size=1K", "."}), empties);
    // Files named one by one are held to the limits too.
    EXPECT_EQ(groups({"--min-size", "1", "empty1.txt", "empty2.txt"}), Groups{});
}

TEST_F(Cli, aFileThatIsNotACatalogueIsRefusedAndLeftAsItWas)
{
    writeFile(dir / "a.txt", "same");
    writeFile(dir / "b.txt", "same");
    writeFile(dir / "notes.txt", "my notes, not a catalogue");
    const CliResult result = run({"--catalogue", "notes.txt", "."});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "corvelle-cli: 'notes.txt' is not a catalogue: name a new file, or one "
                          "that --catalogue made before (it is left as it is)\n");
    EXPECT_EQ(readFile(dir / "notes.txt"), "my notes, not a catalogue");
    EXPECT_FALSE(temporaryFilesLeft());
}

TEST_F(Cli, aChecksumCacheGivesTheSameListAndAFileNotACacheIsLeftAlone)
{
    for (int i = 0; i < 20; ++i) {
        writeFile(dir / ("t/" + std::to_string(i) + ".txt"), "content " + std::to_string(i % 7));
    }
    const std::string cache = (work / "checksums").native();
    const CliResult plain = run({"-r", "--format", "tsv", "t"});
    const CliResult first = run({"-r", "--format", "tsv", "--cache", cache, "t"});
    writeFile(dir / "t/3.txt", "content 4"); // a copy now
    const CliResult plainAgain = run({"-r", "--format", "tsv", "t"});
    const CliResult second = run({"-r", "--format", "tsv", "--cache", cache, "t"});
    EXPECT_EQ(first.out, plain.out);
    EXPECT_EQ(second.out, plainAgain.out);
    EXPECT_NE(second.out, first.out);
    EXPECT_EQ(first.err + second.err, "");

    writeFile(dir / "notes.txt", "my notes, not a cache");
    const CliResult refused = run({"--cache", "notes.txt", "t"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_EQ(refused.err, "corvelle-cli: --cache: 'notes.txt' is not a checksum cache: name a "
                           "new file, or one that --cache made before (it is left as it is)\n");
    EXPECT_EQ(readFile(dir / "notes.txt"), "my notes, not a cache");
}

TEST_F(Cli, oneFileUnderSeveralPathsIsNeverPairedWithItself)
{
    // A folder named twice, once through a link, and a real copy of its song elsewhere.
    writeFile(dir / "real/song.txt", "abc");
    writeFile(dir / "copy/song.txt", "abc");
    fs::create_directory_symlink("real", dir / "link");
    // Hard links of one file, in one folder and in another.
    writeFile(dir / "a/song 1.mp3", "la la la");
    for (int i = 2; i <= 13; ++i) {
        fs::create_hard_link(dir / "a/song 1.mp3", dir / ("a/song " + std::to_string(i) + ".mp3"));
    }
    fs::create_directory(dir / "b");
    fs::create_hard_link(dir / "a/song 1.mp3", dir / "b/song 1.mp3");

    const CliResult result = run({"-r", "-q", "--format", "tsv", "real", "link", "copy", "a", "b"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    // IDs in the order named: the link was scanned (ID 2), and its song paired with nothing.
    EXPECT_EQ(result.out, "1\t1\t" + at("real/") + "\tsong\t.txt\t3\t$352441C2\n3\t1\t" +
                              at("copy/") + "\tsong\t.txt\t3\t$352441C2\n");
}

TEST_F(Cli, textGivesEachGroupsSizesAndSaysWhatTheMatchRestsOn)
{
    for (const char* folder : {"a/", "b/", "c/"}) {
        writeFile(dir / (folder + std::string("one")), std::string(85574, 'x'));
    }
    writeFile(dir / "a/tab\tname", std::string(1500, 'y'));
    writeFile(dir / "b/tab\tname", "yy");
    // Named one by one, the files are catalogued (and grouped) in this order.
    const CliResult result =
        run({"--use", "name", "a/one", "b/one", "c/one", "a/tab\tname", "b/tab\tname"});
    EXPECT_EQ(result.out, "Group 1: 3 files, 85,574 bytes each\n  " + at("a/one") + "\n  " +
                              at("b/one") + "\n  " + at("c/one") +
                              "\n\nGroup 2: 2 files of different sizes\n  " + at("a/tab\\tname") +
                              " (1,500 bytes)\n  " + at("b/tab\\tname") +
                              " (2 bytes)\n\n"
                              "2 groups, 3 redundant files taking 171,150 bytes.\n"
                              "Matched on names at least 80% alike (bracketed text, numbers, "
                              "symbols and spaces left out): the contents were not compared.\n");
}

} // namespace
} // namespace corvelle::test
