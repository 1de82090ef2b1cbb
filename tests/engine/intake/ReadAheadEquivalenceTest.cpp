// Reading ahead on worker threads must not change anything observable: the same records with
// the same IDs, the same rows, and the same progress values, captions, messages and yields in
// the same order as cataloguing one file after another on the calling thread.
#include "IntakeHarness.h"

#include <cerrno>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

namespace corvelle {
namespace {

using test::IntakeHarness;
using test::TempDir;
namespace fs = std::filesystem;

/// A tree with a bit of everything: files of many sizes (empty, one block, block boundaries,
/// several read chunks), hidden files, links, a FIFO, nested and empty folders.
void buildTree(const fs::path& root, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    const std::vector<std::size_t> sizes{0, 1, 100, 10239, 10240, 10241, 30000, 300000, 1100000};
    std::vector<fs::path> folders{root};
    for (int i = 0; i < 12; ++i) {
        const fs::path parent = folders[rng() % folders.size()];
        folders.push_back(parent / ("d" + std::to_string(i)));
        fs::create_directories(folders.back());
    }
    for (int i = 0; i < 150; ++i) {
        const fs::path folder = folders[rng() % folders.size()];
        const std::size_t size = sizes[rng() % sizes.size()];
        // Small content pools make duplicates, so some records are refused as re-adds.
        const std::vector<std::uint8_t> bytes = test::randomBytes(size, rng() % 3);
        const std::string name = (i % 17 == 0 ? "." : "") + std::string("f") + std::to_string(i) +
                                 (i % 5 == 0 ? "" : ".bin");
        test::writeFile(folder / name, std::string_view(reinterpret_cast<const char*>(bytes.data()),
                                                        bytes.size()));
    }
    ::mkfifo((folders[3] / "pipe").c_str(), 0600);
    fs::create_directory_symlink(root, folders[5] / "back-to-root");
    fs::create_symlink(folders[1] / "nowhere", folders[2] / "dangling");
}

struct Observed {
    std::vector<std::string> events;
    std::vector<std::vector<std::string>> rows;
    std::vector<CatalogueRecord> records;
    Outcome outcome = Outcome::Failed;
};

Observed observe(IntakeMode mode, int readers, const fs::path& root, int stopAtYield,
                 const IntakeFaults& faults, bool scanTwice)
{
    IntakeHarness h;
    Observed seen;
    for (int pass = 0; pass < (scanTwice ? 2 : 1); ++pass) {
        auto run = h.intake(mode, stopAtYield, readers);
        run->setFaults(faults);
        seen.outcome = run->Run(IntakeRequest::folderScan(root, 1024 * 1024, true));
    }
    seen.events = h.log.events;
    seen.rows = h.rows();
    for (const CatalogueRecord& r : h.records()) {
        seen.records.push_back(r);
    }
    return seen;
}

void expectSame(const Observed& a, const Observed& b)
{
    EXPECT_EQ(a.outcome, b.outcome);
    EXPECT_EQ(a.events, b.events);
    EXPECT_EQ(a.rows, b.rows);
    ASSERT_EQ(a.records.size(), b.records.size());
    for (std::size_t i = 0; i < a.records.size(); ++i) {
        EXPECT_EQ(a.records[i].id, b.records[i].id);
        EXPECT_EQ(a.records[i].path + a.records[i].file + a.records[i].extension,
                  b.records[i].path + b.records[i].file + b.records[i].extension);
        EXPECT_EQ(a.records[i].size, b.records[i].size);
        EXPECT_EQ(a.records[i].crc, b.records[i].crc);
    }
}

/// How the reads that must not wait for the disk are answered: by the kernel (on a warm test
/// tree, always from memory); "not in memory yet" for about half the files, whose reads then
/// finish after the rest of their run, failures included; or "cannot tell", as on a kernel
/// without such reads, so that every read waits.
enum class NoWait { Kernel, HalfNotInMemory, Unsupported };

IntakeFaults someFaults(NoWait noWait = NoWait::HalfNotInMemory)
{
    IntakeFaults faults;
    if (noWait != NoWait::Kernel) {
        faults.readWithoutWaiting = [noWait](std::string_view path) {
            if (noWait == NoWait::Unsupported) {
                return EOPNOTSUPP;
            }
            return path.ends_with("3.bin") || std::hash<std::string_view>{}(path) % 2 == 0 ? EAGAIN
                                                                                           : 0;
        };
    }
    faults.listingFails = [](std::string_view folder) { return folder.ends_with("/d4/"); };
    faults.readFailsAfter = [](std::string_view path) -> std::optional<FileSize> {
        if (path.ends_with("3.bin")) {
            return 20000;
        }
        if (path.ends_with("7.bin")) {
            return 0;
        }
        return std::nullopt;
    };
    return faults;
}

TEST(ReadAhead, fullScanMatchesTheSequentialLoop)
{
    TempDir tree;
    buildTree(tree.path(), 11);
    const IntakeFaults faults = someFaults();
    const Observed sequential = observe(IntakeMode::Sequential, 1, tree.path(), 0, faults, true);
    // The tree really exercises the paths under comparison.
    ASSERT_GT(sequential.records.size(), 50u);
    ASSERT_FALSE(
        std::none_of(sequential.events.begin(), sequential.events.end(),
                     [](const std::string& e) { return e.starts_with("message Error CRC"); }));
    ASSERT_FALSE(
        std::none_of(sequential.events.begin(), sequential.events.end(),
                     [](const std::string& e) { return e.starts_with("message Error scanning"); }));
    for (const NoWait noWait : {NoWait::Kernel, NoWait::HalfNotInMemory, NoWait::Unsupported}) {
        for (const int readers : {1, 3}) {
            SCOPED_TRACE("readers " + std::to_string(readers) + ", no-wait reads " +
                         std::to_string(static_cast<int>(noWait)));
            expectSame(
                observe(IntakeMode::ReadAhead, readers, tree.path(), 0, someFaults(noWait), true),
                sequential);
        }
    }
}

TEST(ReadAhead, stoppedScanMatchesTheSequentialLoop)
{
    TempDir tree;
    buildTree(tree.path(), 23);
    const IntakeFaults faults = someFaults();
    for (const int stopAt : {1, 2, 9, 40, 77, 131, 160}) {
        SCOPED_TRACE("stop at yield " + std::to_string(stopAt));
        const Observed sequential =
            observe(IntakeMode::Sequential, 1, tree.path(), stopAt, faults, false);
        const Observed readAhead =
            observe(IntakeMode::ReadAhead, 2, tree.path(), stopAt, faults, false);
        expectSame(readAhead, sequential);
    }
}

TEST(ReadAhead, chosenFilesMatchTheSequentialLoop)
{
    TempDir tree;
    buildTree(tree.path(), 5);
    std::string chosen = tree.path().string();
    int count = 0;
    for (const auto& entry : fs::directory_iterator(tree.path())) {
        chosen += '\0';
        chosen += entry.path().filename().string(); // folders and links too: they must fail
        ++count;
    }
    chosen += std::string("\0missing.bin", 12);
    ASSERT_GT(count, 3);
    std::vector<Observed> seen;
    for (const IntakeMode mode : {IntakeMode::Sequential, IntakeMode::ReadAhead}) {
        IntakeHarness h;
        auto run = h.intake(mode);
        run->setFaults(someFaults());
        Observed o;
        o.outcome = run->Run(IntakeRequest::chosenFiles(chosen, 1024 * 1024));
        o.events = h.log.events;
        o.rows = h.rows();
        o.records = h.records();
        seen.push_back(o);
    }
    expectSame(seen[1], seen[0]);
}

} // namespace
} // namespace corvelle
