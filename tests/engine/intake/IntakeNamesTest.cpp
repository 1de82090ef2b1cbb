// Filters, name splitting and the chosen-files string.
#include "intake/IntakeNames.h"

#include <gtest/gtest.h>

namespace corvelle {
namespace {

struct FilterCase {
    std::string name;
    std::string filters;
    bool passes;
};

class FilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilterTest, decidesWhichNamesPass)
{
    const FilterCase& c = GetParam();
    EXPECT_EQ(MatchesFilter(c.name, c.filters), c.passes)
        << "name '" << c.name << "' filters '" << c.filters << "'";
    EXPECT_EQ(FilterPatterns(c.filters).matches(c.name), c.passes);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, FilterTest,
    ::testing::Values(
        // "*.*" lets everything through, names without an extension included.
        FilterCase{"README", "*.*", true},
        // Endings compare without regard to letter case; the second is tried when the first fails.
        FilterCase{"x.TXT", "*.doc;*.txt", true}, FilterCase{"c.text", "*.txt;*.doc", false},
        // A lone "*" is compared literally, and an empty filter has no pattern at all.
        FilterCase{"x.txt", "*", false}, FilterCase{"x", "", false},
        // A pattern without "." is an ending of the whole name.
        FilterCase{"fooabc", "abc", true}, FilterCase{"abcfoo", "abc", false},
        // Everything before the first "." goes: "x*.txt" is ".txt", "*.tar.gz" ".tar.gz".
        FilterCase{"report.txt", "x*.txt", true}, FilterCase{"a.gz", "*.tar.gz", false},
        // A stray ";" adds no pattern that would let everything through.
        FilterCase{"b.doc", "*.txt;", false},
        // Letter case folds beyond ASCII, and bytes that are not UTF-8 compare as bytes.
        FilterCase{"CAFÉ.ÉTÉ", "*.été", true}, FilterCase{"caf.\xff", "*.\xfe", false},
        FilterCase{"a.TXT", "*.été;*.txt", true}));

struct SplitCase {
    std::string fullPath;
    std::string path;
    std::string name;
    std::string extension;
};

class SplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, cutsAtTheLastSlashAndTheLastDotOfTheName)
{
    const SplitCase& c = GetParam();
    const SplitPath split = splitFullPath(c.fullPath);
    EXPECT_EQ(split.path, c.path);
    EXPECT_EQ(split.name, c.name);
    EXPECT_EQ(split.extension, c.extension);
    EXPECT_EQ(split.path + split.name + split.extension, c.fullPath);
    // The folder and name the cataloguing of a chosen file works from cut at the same place.
    const FolderAndName cut = splitFolderAndName(c.fullPath);
    EXPECT_EQ(cut.folder, c.path);
    EXPECT_EQ(cut.name, c.name + c.extension);
}

INSTANTIATE_TEST_SUITE_P(Names, SplitTest,
                         ::testing::Values(SplitCase{"/d/archive.tar.gz", "/d/", "archive.tar",
                                                     ".gz"},
                                           SplitCase{"/d/.profile", "/d/", "", ".profile"},
                                           SplitCase{"/top", "/", "top", ""},
                                           // A "." in a folder name is not an extension.
                                           SplitCase{"/a.b/c", "/a.b/", "c", ""}));

TEST(ChosenFiles, aFolderThenNamesWithOrWithoutSlashAndPathsWrittenBackReadTheSame)
{
    using namespace std::string_literals;
    EXPECT_EQ(chosenFilePaths("/data/x.txt"), std::vector<std::string>{"/data/x.txt"});
    const std::vector<std::string> expected{"/A/x.txt", "/A/y.txt"};
    EXPECT_EQ(chosenFilePaths("/A/\0x.txt\0y.txt"s), expected);
    // A terminating NUL, as some dialogs leave, names no extra file.
    EXPECT_EQ(chosenFilePaths("/A\0x.txt\0y.txt\0"s), expected);
    EXPECT_EQ(chosenFilePaths("/\0etc-file"s), std::vector<std::string>{"/etc-file"});

    const std::vector<std::string> paths{"/A/x.txt", "/A/y\tz", "/B/c", "/A/w", "/r"};
    const std::vector<std::string> strings = chosenFilesStrings(paths);
    EXPECT_EQ(strings, (std::vector<std::string>{"/A/\0x.txt\0y\tz"s, "/B/c", "/A/w", "/r"}));
}

} // namespace
} // namespace corvelle
