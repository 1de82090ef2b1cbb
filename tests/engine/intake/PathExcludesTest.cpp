// Which paths the exclude patterns leave out: names alone, paths anchored or not, any depth.
#include "intake/PathExcludes.h"

#include <gtest/gtest.h>

namespace corvelle {
namespace {

struct ExcludeCase {
    std::string pattern;
    std::string path;
    bool folder;
    bool excluded;
};

class ExcludeTest : public ::testing::TestWithParam<ExcludeCase> {};

TEST_P(ExcludeTest, decidesWhichPathsAreLeftOut)
{
    const ExcludeCase& c = GetParam();
    PathExcludes excludes;
    excludes.add(c.pattern);
    EXPECT_EQ(excludes.excludes(c.path, c.folder), c.excluded)
        << "pattern '" << c.pattern << "' path '" << c.path << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, ExcludeTest,
    ::testing::Values(
        // Without "/": the name alone, at any depth, and "*" never spans a "/".
        ExcludeCase{"*.tmp", "/home/u/a.tmp", false, true},
        ExcludeCase{"*.tmp", "/home/u/a.tmp.bak", false, false},
        ExcludeCase{"node_modules", "/src/app/node_modules", true, true},
        ExcludeCase{"node_modules", "/src/node_modules_old", true, false},
        ExcludeCase{"*", "/any/thing", false, true}, ExcludeCase{"a?c", "/x/abc", false, true},
        ExcludeCase{"[ab]*", "/x/cab", false, false},
        // With "/": the end of the path, name by name.
        ExcludeCase{"cache/*.tmp", "/home/u/cache/x.tmp", false, true},
        ExcludeCase{"cache/*.tmp", "/home/u/cache/sub/x.tmp", false, false},
        ExcludeCase{"u/cache", "/home/u/cache", true, true},
        ExcludeCase{"u/cache", "/home/mu/cache", true, false},
        // "/" first: the whole path; a trailing "/" of the path changes nothing.
        ExcludeCase{"/home/*/cache", "/home/u/cache/", true, true},
        ExcludeCase{"/home/*/cache", "/srv/home/u/cache", true, false},
        ExcludeCase{"/*", "/etc", true, true},
        // "**": any number of folders, none included.
        ExcludeCase{"/data/**/raw", "/data/raw", true, true},
        ExcludeCase{"/data/**/raw", "/data/a/b/raw", true, true},
        ExcludeCase{"/data/**/raw", "/other/a/raw", true, false},
        ExcludeCase{"/data/**", "/data/a/b/c.txt", false, true},
        ExcludeCase{"build/**/*.o", "/p/build/x/y/z.o", false, true},
        // A final "/": folders only.
        ExcludeCase{"logs/", "/var/logs", true, true},
        ExcludeCase{"logs/", "/var/logs", false, false},
        // Bytes that are not UTF-8 and spaces match as they are; an empty pattern matches
        // nothing.
        ExcludeCase{"*\xff*", "/x/a\xff b", false, true}, ExcludeCase{"", "/x/a", false, false}));

TEST(PathExcludes, anyOfSeveralPatternsLeavesAPathOut)
{
    PathExcludes excludes;
    EXPECT_TRUE(excludes.empty());
    EXPECT_FALSE(excludes.excludes("/a/b.txt", false));
    excludes.add("*.bak");
    excludes.add("/a/secret/");
    EXPECT_TRUE(excludes.excludes("/x/y.bak", false));
    EXPECT_TRUE(excludes.excludes("/a/secret", true));
    EXPECT_FALSE(excludes.excludes("/a/secret", false));
    EXPECT_FALSE(excludes.excludes("/a/b.txt", false));
}

TEST(PathExcludes, aNamedPathInsideAFolderLeftOutIsLeftOutToo)
{
    // A scan of /a would never reach node_modules' files: naming one, or a folder below it,
    // leaves it out the same way.
    PathExcludes excludes;
    excludes.add("node_modules");
    excludes.add("/a/secret/");
    EXPECT_TRUE(excludes.excludesNamed("/a/node_modules/pkg", true));
    EXPECT_TRUE(excludes.excludesNamed("/a/node_modules/pkg/x.js", false));
    EXPECT_TRUE(excludes.excludesNamed("/a/secret/file.txt", false));
    EXPECT_FALSE(excludes.excludesNamed("/a/secret", false)) << "a file named secret is no folder";
    EXPECT_FALSE(excludes.excludesNamed("/a/modules/x.js", false));
    EXPECT_FALSE(excludes.excludes("/a/node_modules/pkg/x.js", false))
        << "a scan never meets it: the folder is left out before it is opened";
}
} // namespace
} // namespace corvelle
