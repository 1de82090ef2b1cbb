// Trees that change under the intake's feet, and trees deeper than a path can name: every
// file is either catalogued as it was read or reported with its reason, nothing is followed
// or waited on, and both ways of reading give the same result.
#include "IntakeHarness.h"
#include "intake/FileReading.h"
#include "intake/IntakeFaults.h"

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelle::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t oneMegabyte = 1024 * 1024;

/// A message and its reason.
using Reported = std::pair<std::string, std::string>;

/// The messages with their reasons, in name order (the listing's order is the file system's).
std::vector<Reported> reported(const EventLog& log)
{
    std::vector<Reported> out;
    for (const Message& message : log.messages) {
        out.emplace_back(message.text, message.reason);
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(HostileTree, filesAndFoldersSwappedAfterListingAreReportedNeverFollowedNorWaitedOn)
{
    for (const IntakeMode mode : {IntakeMode::Sequential, IntakeMode::ReadAhead}) {
        for (const std::int32_t crcSize : {0, oneMegabyte}) {
            SCOPED_TRACE(testing::Message() << "read-ahead " << (mode == IntakeMode::ReadAhead)
                                            << ", checksum " << crcSize);
            TempDir tree;
            TempDir outside;
            writeFile(outside / "secret.txt", "not in the tree");
            const std::string dir = tree.path().string() + "/";
            for (const char* name : {"1-kept.txt", "2-gone.txt", "3-link.txt", "4-fifo.txt",
                                     "kept/a.txt", "linked/a.txt", "filed/a.txt"}) {
                writeFile(tree / name, "content");
            }
            IntakeFaults faults;
            faults.beforeOpen = [&](std::string_view fullPath) {
                const std::string path(fullPath);
                if (path.ends_with("gone.txt")) {
                    fs::remove(path);
                } else if (path.ends_with("link.txt")) {
                    fs::remove(path);
                    fs::create_symlink(outside / "secret.txt", path);
                } else if (path.ends_with("fifo.txt")) {
                    fs::remove(path);
                    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
                } else if (path == dir + "linked/") {
                    fs::remove_all(path);
                    fs::create_directory_symlink(outside.path(), tree / "linked");
                } else if (path == dir + "filed/") {
                    fs::remove_all(path);
                    writeFile(tree / "filed", "now a file");
                }
            };
            IntakeHarness h;
            auto intake = h.intake(mode);
            intake->setFaults(faults);
            EXPECT_EQ(intake->Run(IntakeRequest::folderScan(tree.path(), crcSize, true)),
                      Outcome::Completed);

            EXPECT_EQ(h.fullPaths(),
                      (std::vector<std::string>{dir + "1-kept.txt", dir + "kept/a.txt"}));
            const std::string followed = "a symbolic link, which is not followed";
            const std::vector<Reported> expected{
                {"Error adding file '" + dir + "2-gone.txt'", "No such file or directory"},
                {"Error adding file '" + dir + "3-link.txt'", followed},
                {"Error adding file '" + dir + "4-fifo.txt'", "not a regular file"},
                {"Error scanning path '" + dir + "filed/'", "Not a directory"},
                {"Error scanning path '" + dir + "linked/'", followed}};
            EXPECT_EQ(reported(h.log), expected);
        }
    }
}

TEST(HostileTree, aFileWrittenOrFailingWhileItIsReadGetsNoChecksumThatCouldMatch)
{
    // Large enough that its checksum takes several reads, so it changes between them.
    const std::string original(600 * 1024, 'a');
    for (const IntakeMode mode : {IntakeMode::Sequential, IntakeMode::ReadAhead}) {
        SCOPED_TRACE(mode == IntakeMode::ReadAhead ? "read-ahead" : "sequential");
        TempDir tree;
        const std::string dir = tree.path().string() + "/";
        for (const char* name : {"fails.bin", "grows.bin", "shrinks.bin", "steady.bin"}) {
            writeFile(tree / name, original);
        }
        IntakeFaults faults;
        faults.readFailsAfter = [&](std::string_view path) -> std::optional<FileSize> {
            return path == dir + "fails.bin" ? std::optional<FileSize>(15000) : std::nullopt;
        };
        faults.whileReading = [&](std::string_view fullPath) {
            const std::string path(fullPath);
            if (path.ends_with("grows.bin")) {
                const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
                ASSERT_GE(fd, 0);
                ASSERT_EQ(::write(fd, "more", 4), 4);
                ::close(fd);
            } else if (path.ends_with("shrinks.bin")) {
                ASSERT_EQ(::truncate(path.c_str(), 1000), 0);
            }
        };
        IntakeHarness h;
        EXPECT_EQ(h.scan(mode, tree.path(), false, 0, faults), Outcome::Completed);

        // Each is still catalogued (its length was read), but only the steady file with a
        // checksum: the others hold a failed -1, which matches nothing.
        std::map<std::string, Checksum> crcs;
        for (const CatalogueRecord& record : h.records()) {
            crcs[record.file] = record.crc;
        }
        ASSERT_EQ(crcs.size(), 4u);
        EXPECT_EQ(crcs["fails"], (Checksum{-1, true}));
        EXPECT_EQ(crcs["grows"], (Checksum{-1, true}));
        EXPECT_EQ(crcs["shrinks"], (Checksum{-1, true}));
        EXPECT_FALSE(crcs["steady"].failed);
        const std::vector<Reported> expected{
            {"Error CRC'ing file '" + dir + "fails.bin'", "Input/output error"},
            {"Error CRC'ing file '" + dir + "grows.bin'", "the file changed while it was read"},
            {"Error CRC'ing file '" + dir + "shrinks.bin'",
             "the file ended before its length said"}};
        EXPECT_EQ(reported(h.log), expected);
    }
}

/// Makes `levels` nested folders of `nameLength`-byte names under `root`, one file in each, one
/// name at a time, as no path that long can be resolved whole.
void makeDeepTree(const fs::path& root, int levels, std::size_t nameLength)
{
    const std::string name(nameLength, 'd');
    int dirFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; level < levels; ++level) {
        const int file = ::openat(dirFd, "f.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        EXPECT_EQ(::write(file, "x", 1), 1);
        ::close(file);
        EXPECT_EQ(::mkdirat(dirFd, name.c_str(), 0755), 0);
        const int sub = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(dirFd);
        dirFd = sub;
    }
    ::close(dirFd);
}

TEST(HostileTree, aTreeDeeperThanAPathCanNameIsScannedToItsBottomInOrder)
{
    TempDir tree;
    constexpr int levels = 120;
    makeDeepTree(tree.path(), levels, 60);
    std::vector<std::string> expected;
    std::string folder = tree.path().string() + "/";
    for (int level = 0; level < levels; ++level) {
        expected.push_back(folder + "f.txt");
        folder += std::string(60, 'd') + "/";
    }
    ASSERT_GT(expected.back().size(), std::size_t{PATH_MAX});
    for (const IntakeMode mode : {IntakeMode::Sequential, IntakeMode::ReadAhead}) {
        SCOPED_TRACE(mode == IntakeMode::ReadAhead ? "read-ahead" : "sequential");
        IntakeHarness h;
        EXPECT_EQ(h.scan(mode, tree.path(), true), Outcome::Completed);
        EXPECT_TRUE(h.log.messages.empty()) << h.log.messages.front().text;
        EXPECT_EQ(h.fullPaths(), expected);
    }
}

} // namespace
} // namespace corvelle::test
