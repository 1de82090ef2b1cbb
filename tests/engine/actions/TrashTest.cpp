#include "actions/Trash.h"

#include "TestSupport.h"
#include "actions/FileRemoval.h"
#include "common/TextEscapes.h"

#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace corvelle::test {
namespace {

/// The Path and DeletionDate of a .trashinfo file.
struct TrashInfo {
    std::string path;
    std::string date;
};

TrashInfo parseInfo(const std::string& text)
{
    const std::regex form("\\[Trash Info\\]\nPath=([^\n]*)\nDeletionDate=([^\n]*)\n");
    std::smatch match;
    if (!std::regex_match(text, match, form)) {
        ADD_FAILURE() << "not a trash information file: " << text;
        return {};
    }
    return {percentDecode(match[1].str()), match[2].str()};
}

fs::path infoFileOf(const fs::path& trashed)
{
    return trashed.parent_path().parent_path() / "info" /
           (trashed.filename().native() + ".trashinfo");
}

TEST(Trash, homeTrashIsCreatedPrivateAndRestoresOddNamesExactlyAndNeverOverwrites)
{
    TempDir dir;
    const TrashEnvironment environment{dir / "not-yet" / "share" / "Trash", ::geteuid()};
    // The last is a second "plain.txt": both must be kept.
    const std::vector<std::string> names = {"a/plain.txt", "a/with space %25.doc",
                                            "a/line\nbreak\tbad\xff\xfe utf8.bin", "b/plain.txt"};
    std::vector<fs::path> trashed;
    for (const std::string& name : names) {
        const fs::path file = dir / name;
        writeFile(file, "content of " + name);
        trashed.push_back(moveToTrash(file, environment));

        EXPECT_FALSE(fs::exists(fs::symlink_status(file))) << name;
        EXPECT_EQ(trashed.back().parent_path(), environment.homeTrash / "files");
        EXPECT_EQ(readFile(trashed.back()), "content of " + name);
        const TrashInfo info = parseInfo(readFile(infoFileOf(trashed.back())));
        EXPECT_EQ(info.path, (fs::canonical(dir.path()) / name).native());
        EXPECT_TRUE(
            std::regex_match(info.date, std::regex("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d")))
            << info.date;
    }
    EXPECT_NE(trashed[0], trashed[3]);
    EXPECT_EQ(readFile(trashed[0]), "content of a/plain.txt");
    struct stat st {};
    ASSERT_EQ(::stat(environment.homeTrash.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Nothing was left in the current folder, whatever it is.
    EXPECT_FALSE(fs::exists("files"));
}

TEST(Trash, aFileThatCannotBeTrashedStaysAndTheErrorNamesIt)
{
    TempDir dir;
    const TrashEnvironment environment{dir / "Trash", ::geteuid()};
    try {
        moveToTrash(dir / "missing.txt", environment);
        FAIL() << "a missing file was reported trashed";
    } catch (const std::system_error& error) {
        EXPECT_NE(std::string(error.what()).find("missing.txt"), std::string::npos);
    }
    // A trash folder that is a file, not a folder, refuses; the file stays.
    writeFile(dir / "Trash" / "files", "in the way");
    writeFile(dir / "keep.txt", "x");
    EXPECT_THROW(moveToTrash(dir / "keep.txt", environment), std::system_error);
    EXPECT_EQ(readFile(dir / "keep.txt"), "x");
    EXPECT_FALSE(fs::exists(dir / "Trash" / "info") && !fs::is_empty(dir / "Trash" / "info"));
}

TEST(Trash, aFileOnAnotherVolumeGoesToThatVolumesOwnTrash)
{
    // /dev/shm is a volume of its own on most systems; the home trash stays on the temporary
    // folder's volume.
    TempDir dir;
    struct stat home {};
    struct stat shm {};
    if (::stat(dir.path().c_str(), &home) != 0 || ::stat("/dev/shm", &shm) != 0 ||
        home.st_dev == shm.st_dev || ::access("/dev/shm", W_OK) != 0) {
        GTEST_SKIP() << "no second writable volume at /dev/shm";
    }
    const fs::path folder = "/dev/shm/corvelle-trash-test-" + std::to_string(::getpid());
    const fs::path ownTrash = "/dev/shm/.Trash-" + std::to_string(::geteuid());
    const bool trashExisted = fs::exists(ownTrash);
    writeFile(folder / "copy 1.txt", "on another volume");
    const TrashEnvironment environment{dir / "Trash", ::geteuid()};
    const fs::path trashed = moveToTrash(folder / "copy 1.txt", environment);

    EXPECT_EQ(trashed.parent_path(), ownTrash / "files");
    EXPECT_EQ(readFile(trashed), "on another volume");
    EXPECT_EQ(parseInfo(readFile(infoFileOf(trashed))).path,
              folder.filename().native() + "/copy 1.txt");
    EXPECT_FALSE(fs::exists(dir / "Trash")) << "the home trash was not touched";
    fs::remove(infoFileOf(trashed));
    fs::remove(trashed);
    fs::remove_all(folder);
    if (!trashExisted) {
        fs::remove_all(ownTrash);
    }
}

class RemovalTest : public ::testing::Test {
protected:
    CataloguedFile catalogued(const std::string& name, std::string_view content)
    {
        writeFile(dir / name, content);
        return CataloguedFile{(dir / name).native(), static_cast<std::int64_t>(content.size()),
                              statusOf(dir / name)->identity};
    }

    TempDir dir;
    TrashEnvironment environment{dir / "Trash", ::geteuid()};
};

TEST_F(RemovalTest, onlyTheFileThatWasCataloguedIsEverRemoved)
{
    const auto expectRefused = [&](const CataloguedFile& file, DeleteMode mode) {
        EXPECT_THROW(removeCataloguedFile(file, mode, {}, environment), std::system_error)
            << file.path;
    };
    // Swapped for a symbolic link to another file: neither the link nor its target goes.
    const CataloguedFile swapped = catalogued("swapped.txt", "abc");
    writeFile(dir / "target.txt", "abc");
    fs::remove(swapped.path);
    fs::create_symlink(dir / "target.txt", swapped.path);
    expectRefused(swapped, DeleteMode::Permanent);
    EXPECT_TRUE(fs::is_symlink(swapped.path));
    EXPECT_EQ(readFile(dir / "target.txt"), "abc");

    // Replaced by a folder, or by another file of another size or identity.
    const CataloguedFile folder = catalogued("folder", "abc");
    fs::remove(folder.path);
    fs::create_directory(folder.path);
    expectRefused(folder, DeleteMode::Trash);
    EXPECT_TRUE(fs::is_directory(folder.path));

    const CataloguedFile grown = catalogued("grown.txt", "abc");
    writeFile(grown.path, "abcd");
    expectRefused(grown, DeleteMode::Permanent);
    const CataloguedFile replaced = catalogued("replaced.txt", "abc");
    writeFile(dir / "other.txt", "xyz");
    fs::remove(replaced.path);
    fs::rename(dir / "other.txt", replaced.path);
    expectRefused(replaced, DeleteMode::Permanent);
    EXPECT_EQ(readFile(replaced.path), "xyz");
}

TEST_F(RemovalTest, aHardLinkOfAFileThatStaysIsNeverRemoved)
{
    const CataloguedFile kept = catalogued("kept.txt", "same bytes");
    fs::create_hard_link(kept.path, dir / "link.txt");
    const CataloguedFile link{(dir / "link.txt").native(), kept.size, kept.identity};
    const PhysicalFile staying[] = {kept.identity};
    EXPECT_THROW(removeCataloguedFile(link, DeleteMode::Permanent, staying, environment),
                 std::system_error);
    EXPECT_TRUE(fs::exists(dir / "link.txt"));
    // With nothing of it staying, the user may remove it, for good, read-only as it is.
    ::chmod(link.path.c_str(), 0444);
    removeCataloguedFile(link, DeleteMode::Permanent, {}, environment);
    EXPECT_FALSE(fs::exists(dir / "link.txt"));
    EXPECT_FALSE(fs::exists(environment.homeTrash));
    EXPECT_EQ(readFile(kept.path), "same bytes");
}

TEST_F(RemovalTest, aReadOnlyFileThatCannotBeTrashedStaysReadOnly)
{
    const CataloguedFile file = catalogued("read-only.txt", "abc");
    ::chmod(file.path.c_str(), 0444);
    writeFile(environment.homeTrash / "files", "in the way");
    EXPECT_THROW(removeCataloguedFile(file, DeleteMode::Trash, {}, environment), std::system_error);
    EXPECT_EQ(fs::status(file.path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

} // namespace
} // namespace corvelle::test
