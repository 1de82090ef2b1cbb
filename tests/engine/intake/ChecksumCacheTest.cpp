// The checksum cache: a re-scan reads only what changed, by any sign the file system gives,
// and a cache that cannot be trusted is never used.
#include "intake/ChecksumCache.h"

#include "IntakeHarness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <thread>

namespace corvelle {
namespace {

using test::IntakeHarness;
using test::TempDir;
using test::writeFile;
namespace fs = std::filesystem;

class ChecksumCacheTest : public ::testing::Test {
protected:
    /// Scans the tree with the cache (saved afterwards) and returns the files that were read,
    /// and the rows of the file list.
    std::set<std::string> scan(std::vector<std::vector<std::string>>* rows = nullptr)
    {
        ChecksumCache cache(cacheFile, [this](std::string text) { warnings.push_back(text); });
        IntakeHarness h;
        auto run = h.intake(IntakeMode::ReadAhead);
        std::set<std::string> read;
        std::mutex readLock;
        IntakeFaults faults;
        faults.whileReading = [&](std::string_view path) {
            const std::lock_guard lock(readLock);
            read.insert(fs::path(path).filename().native());
        };
        run->setFaults(faults);
        run->setChecksumCache(&cache);
        EXPECT_EQ(run->Run(IntakeRequest::folderScan(tree.path(), 1024 * 1024, true)),
                  Outcome::Completed);
        cache.save();
        if (rows != nullptr) {
            *rows = h.rows();
        }
        return read;
    }
    /// Rewrites the file with other bytes of the same length and puts its times back.
    void rewriteInPlace(const std::string& name, std::string_view bytes)
    {
        struct stat st {};
        ASSERT_EQ(::stat((tree / name).c_str(), &st), 0);
        ::usleep(20'000);
        const int fd = ::open((tree / name).c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
        const timespec times[2] = {st.st_atim, st.st_mtim};
        ::utimensat(AT_FDCWD, (tree / name).c_str(), times, 0);
    }

    TempDir tree;
    TempDir keep;
    fs::path cacheFile = keep / "checksums.db";
    std::vector<std::string> warnings;
};

TEST_F(ChecksumCacheTest, aRescanReadsOnlyFilesChangedInAnyWayTheFileSystemShows)
{
    writeFile(tree / "same.txt", "unchanged");
    writeFile(tree / "rewritten.txt", "original");
    writeFile(tree / "replaced.txt", "original");
    writeFile(tree / "sub/deep.txt", "deep");
    EXPECT_EQ(scan().size(), 4u);

    // In place with the modification time put back: only the change time tells. Another file
    // of the same size and times moved into a name: only the inode tells.
    rewriteInPlace("rewritten.txt", "ORIGINAL");
    struct stat st {};
    ASSERT_EQ(::stat((tree / "replaced.txt").c_str(), &st), 0);
    writeFile(tree / "other", "ORIGINAL");
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, (tree / "other").c_str(), times, 0);
    fs::rename(tree / "other", tree / "replaced.txt");

    std::vector<std::vector<std::string>> cached;
    EXPECT_EQ(scan(&cached), (std::set<std::string>{"rewritten.txt", "replaced.txt"}));
    EXPECT_TRUE(warnings.empty());

    // The list is the one a scan without the cache gives.
    IntakeHarness plain;
    ASSERT_EQ(plain.scan(IntakeMode::ReadAhead, tree.path(), true), Outcome::Completed);
    EXPECT_EQ(cached, plain.rows());
    EXPECT_EQ(scan(), std::set<std::string>{}) << "everything is known now";
}

TEST_F(ChecksumCacheTest, filesGoneFromAListedFolderAreForgottenOthersKept)
{
    writeFile(tree / "a/one.txt", "1");
    writeFile(tree / "a/two.txt", "2");
    writeFile(tree / "b/three.txt", "3");
    scan();
    fs::remove(tree / "a/two.txt");
    // Folder b is not listed by this run: what the cache holds of it stays.
    {
        ChecksumCache cache(cacheFile, [](std::string) {});
        IntakeHarness h;
        auto run = h.intake(IntakeMode::Sequential);
        run->setChecksumCache(&cache);
        ASSERT_EQ(run->Run(IntakeRequest::folderScan(tree / "a", 1024 * 1024, false)),
                  Outcome::Completed);
        cache.save();
    }
    EXPECT_EQ(ChecksumCache(cacheFile, [](std::string) {}).size(), 2u);
}

TEST_F(ChecksumCacheTest, aScanThatLeavesFilesOutForgetsNoneOfThem)
{
    writeFile(tree / "a/one.txt", "1");
    writeFile(tree / "a/two.dat", "2");
    scan();
    const auto rescan = [&](std::string filter, std::int32_t crcSize, IntakeScope scope) {
        ChecksumCache cache(cacheFile, [](std::string) {});
        IntakeHarness h;
        auto run = h.intake(IntakeMode::Sequential);
        run->setChecksumCache(&cache);
        run->setScope(scope);
        IntakeRequest request = IntakeRequest::folderScan(tree / "a", crcSize, false);
        request.strFilters = std::move(filter);
        ASSERT_EQ(run->Run(request), Outcome::Completed);
        cache.save();
    };
    IntakeScope small;
    small.maxSize = 0;
    IntakeScope excluding;
    excluding.excludes.add("*.dat");
    rescan("*.txt", 1024 * 1024, {}); // two.dat is not looked at
    rescan("*.*", 0, {});             // sizes only: no checksum looked up
    rescan("*.*", 1024 * 1024, small);
    rescan("*.*", 1024 * 1024, excluding);
    EXPECT_EQ(ChecksumCache(cacheFile, [](std::string) {}).size(), 2u);
}

TEST_F(ChecksumCacheTest, aDamagedCacheIsMadeAnewAndAnotherProgramsFileIsLeftAlone)
{
    for (int i = 0; i < 300; ++i) {
        writeFile(tree / ("f" + std::to_string(i)), "content " + std::to_string(i));
    }
    scan();
    const std::uintmax_t whole = fs::file_size(cacheFile);
    ASSERT_GT(whole, 8192u);

    // Past its first page: truncated, then overwritten with other bytes.
    fs::resize_file(cacheFile, whole / 2);
    EXPECT_EQ(scan().size(), 300u);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("is damaged"), std::string::npos) << warnings[0];
    {
        const int fd = ::open(cacheFile.c_str(), O_WRONLY);
        const std::string noise(2000, '\x5a');
        ASSERT_GT(::pwrite(fd, noise.data(), noise.size(), 4096), 0);
        ::close(fd);
    }
    warnings.clear();
    EXPECT_EQ(scan().size(), 300u) << "nothing of a damaged cache is trusted";
    EXPECT_EQ(warnings.size(), 1u);
    EXPECT_EQ(scan().size(), 0u);

    // Not a cache at all, perhaps a file of the user's: it is never overwritten.
    writeFile(keep / "notes.txt", "my notes");
    EXPECT_THROW(ChecksumCache(keep / "notes.txt", [](std::string) {}), std::runtime_error);
    EXPECT_EQ(test::readFile(keep / "notes.txt"), "my notes");
}

TEST_F(ChecksumCacheTest, twoRunsSavingAtOnceKeepTheCacheWhole)
{
    const auto status = [](std::uint64_t inode) {
        PathStatus file;
        file.identity = {1, inode};
        file.size = 10;
        file.regular = true;
        return file;
    };
    ChecksumCache first(cacheFile, [](std::string) {});
    ChecksumCache second(cacheFile, [](std::string) {});
    for (std::uint64_t i = 1; i <= 2000; ++i) {
        first.remember(status(i), 1024, static_cast<std::uint32_t>(i), {1, 1});
        second.remember(status(i + 2000), 1024, static_cast<std::uint32_t>(i), {1, 2});
    }
    std::thread other([&] { second.save(); });
    first.save();
    other.join();
    std::vector<std::string> seen;
    ChecksumCache after(cacheFile, [&](std::string text) { seen.push_back(text); });
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(after.size(), 4000u);
    EXPECT_EQ(after.find(status(3000), 1024), 1000u);
    EXPECT_EQ(after.find(status(3000), 2048), std::nullopt) << "another leading size";
}

} // namespace
} // namespace corvelle
