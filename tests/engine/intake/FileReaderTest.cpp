// FileReader on its own: which files each way of naming them reaches, and the settings it is
// made with (checksum size, test faults, cancel) applied to every file it reads.
#include "TestSupport.h"
#include "intake/FileReading.h"
#include "intake/IntakeFaults.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace corvelle::intake {
namespace {

using test::TempDir;
using test::writeFile;
namespace fs = std::filesystem;

constexpr std::uint32_t crcOfHello = 0x3610A686u;

FolderHandle openFolder(const fs::path& dir)
{
    FolderHandle folder;
    folder.path = dir.string() + "/";
    folder.fd = UniqueFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder;
}

TEST(FileReader, aScanDoesNotFollowALinkThatANamedFileFollows)
{
    TempDir tree;
    writeFile(tree / "real.txt", "hello");
    fs::create_symlink(tree / "real.txt", tree / "link.txt");
    FileReader reader(ReadSettings{1024, nullptr});
    const FolderHandle folder = openFolder(tree.path());

    const FileFacts inScan = reader.examineIn(folder, "link.txt");
    EXPECT_FALSE(inScan.sizeKnown);

    const FileFacts named = reader.examinePath((tree / "link.txt").string());
    EXPECT_TRUE(named.sizeKnown);
    EXPECT_EQ(named.size, 5);
    EXPECT_EQ(named.crc, FileFacts::Crc::Ok);
    EXPECT_EQ(named.crcBits, crcOfHello);
    EXPECT_EQ(reader.examineIn(folder, "real.txt"), named);
}

TEST(FileReader, eachFailureKeepsItsReason)
{
    TempDir tree;
    ASSERT_EQ(::mkfifo((tree / "pipe").c_str(), 0600), 0);
    for (const std::int64_t crcSize : {0, 1024}) {
        FileReader reader(ReadSettings{crcSize, nullptr});
        EXPECT_EQ(reader.examinePath((tree / "absent").string()).error, ENOENT) << crcSize;
        EXPECT_EQ(reader.examineIn(openFolder(tree.path()), "pipe").error,
                  readFailure::notRegularFile)
            << crcSize;
    }
    EXPECT_EQ(failureReason(EACCES), "Permission denied");
    EXPECT_EQ(failureReason(readFailure::notRegularFile), "not a regular file");
}

TEST(FileReader, sizesOnlyWithoutAChecksumAndNothingReadOnceCancelled)
{
    TempDir tree;
    writeFile(tree / "a.txt", "hello");
    const std::string path = (tree / "a.txt").string();

    const FileFacts sizeOnly = FileReader(ReadSettings{0, nullptr}).examinePath(path);
    EXPECT_TRUE(sizeOnly.sizeKnown);
    EXPECT_EQ(sizeOnly.crc, FileFacts::Crc::NotRead);

    Cancel cancel;
    FileReader reader(ReadSettings{1024, nullptr}, &cancel);
    EXPECT_EQ(reader.examinePath(path).crc, FileFacts::Crc::Ok);
    cancel.request();
    EXPECT_EQ(reader.examinePath(path).crc, FileFacts::Crc::NotRead);
}

TEST(FileReader, aReadLeftForTheDiskFinishesAsAWaitingReadWould)
{
    TempDir tree;
    writeFile(tree / "a.txt", "hello");
    writeFile(tree / "b.txt", "hello");
    IntakeFaults faults;
    faults.readWithoutWaiting = [](std::string_view) { return EAGAIN; };
    FileReader reader(ReadSettings{1024, &faults});
    const FolderHandle folder = openFolder(tree.path());

    FileRead read;
    ASSERT_FALSE(reader.startIn(folder, "a.txt", read));
    reader.finish(read);
    EXPECT_EQ(read.facts, FileReader(ReadSettings{1024, nullptr}).examineIn(folder, "a.txt"));

    // Written to while its read waited for the disk: no checksum of a file that never was.
    ASSERT_FALSE(reader.startIn(folder, "b.txt", read));
    writeFile(tree / "b.txt", "hello, world");
    reader.finish(read);
    EXPECT_EQ(read.facts.crc, FileFacts::Crc::Failed);
    EXPECT_EQ(read.facts.error, readFailure::changedWhileRead);

    // Where the kernel cannot tell what is in memory, every read waits.
    faults.readWithoutWaiting = [](std::string_view) { return EOPNOTSUPP; };
    ASSERT_TRUE(reader.startIn(folder, "a.txt", read));
    EXPECT_EQ(read.facts.crcBits, crcOfHello);
}

} // namespace
} // namespace corvelle::intake
