#include "actions/Trash.h"

#include "TestSupport.h"
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

TEST(TrashPlaces, eachVolumesTrashAndTheHomeTrashAreKnownByIdentity)
{
    TempDir dir;
    const std::string uid = std::to_string(::geteuid());
    // Two "volumes" as a mount table lists them, one with a space escaped in its name.
    fs::create_directories(dir / "home/Trash");
    fs::create_directories(dir / "vol one" / (".Trash-" + uid) / "files");
    fs::create_directories(dir / "vol2/.Trash" / uid / "files");
    fs::create_directories(dir / "vol2/.Trash-0000");
    fs::create_symlink(dir / "vol2", dir / "link-to-vol2");
    const std::string escaped =
        std::regex_replace((dir / "vol one").native(), std::regex(" "), "\\040");
    writeFile(dir / "mountinfo", "22 1 8:1 / " + escaped + " rw - ext4 /dev/a rw\n" +
                                     "23 1 8:2 / " + (dir / "link-to-vol2").native() +
                                     " rw - ext4 /dev/b rw\n");
    EXPECT_EQ(mountPoints(readFile(dir / "mountinfo")),
              (std::vector<fs::path>{dir / "vol one", dir / "link-to-vol2"}));

    const TrashPlaces places =
        TrashPlaces::find(TrashEnvironment{dir / "home/Trash", ::geteuid()}, dir / "mountinfo");
    const auto identity = [](const fs::path& folder) { return statusOf(folder)->identity; };
    EXPECT_TRUE(places.isTrash(identity(dir / "home/Trash")));
    EXPECT_TRUE(places.isTrash(identity(dir / "vol one" / (".Trash-" + uid))));
    EXPECT_TRUE(places.isTrash(identity(dir / "vol2/.Trash" / uid)));
    EXPECT_FALSE(places.isTrash(identity(dir / "vol2/.Trash")));
    EXPECT_FALSE(places.isTrash(identity(dir / "vol one" / (".Trash-" + uid) / "files")));
    EXPECT_FALSE(places.isTrash(identity(dir / "home")));
    EXPECT_FALSE(places.isTrash(PhysicalFile{}));
}

} // namespace
} // namespace corvelle::test
