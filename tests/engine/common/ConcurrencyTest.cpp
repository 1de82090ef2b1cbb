#include "TestSupport.h"
#include "common/PosixFile.h"
#include "common/WorkerPool.h"

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdexcept>

namespace corvelle {
namespace {

TEST(WorkerPool, visitsEveryIndexOnceAcrossRepeatedLoops)
{
    WorkerPool pool(3);
    for (std::size_t count : {0u, 1u, 7u, 1000u}) {
        std::vector<std::atomic<int>> visits(count);
        pool.forEach(count, [&](std::size_t i) { ++visits[i]; });
        for (std::size_t i = 0; i < count; ++i) {
            ASSERT_EQ(visits[i].load(), 1) << "index " << i << " of " << count;
        }
    }
}

TEST(WorkerPool, rethrowsTheFirstFailureAndStaysUsable)
{
    WorkerPool pool(2);
    EXPECT_THROW(pool.forEach(100,
                              [](std::size_t i) {
                                  if (i == 42) {
                                      throw std::runtime_error("boom");
                                  }
                              }),
                 std::runtime_error);
    std::atomic<int> total = 0;
    pool.forEach(10, [&](std::size_t) { ++total; });
    EXPECT_EQ(total.load(), 10);
}

TEST(BackgroundWriter, writesEverythingInOrder)
{
    test::TempDir dir;
    const auto file = dir / "out.bin";
    UniqueFd fd = openFile(file, O_WRONLY | O_CREAT | O_TRUNC);
    std::string expected;
    {
        BackgroundWriter out(fd.get(), file, 10);
        for (char c = 'a'; c <= 'z'; ++c) {
            const std::size_t size = static_cast<std::size_t>(c - 'a') % 10 + 1;
            std::fill_n(out.reserve(size), size, c);
            expected.append(size, c);
        }
        out.finish();
    }
    closeFile(fd, file);
    EXPECT_EQ(test::readFile(file), expected);
}

TEST(BackgroundWriter, aFailedWriteIsRaisedWithTheFileName)
{
    test::TempDir dir;
    const auto file = dir / "read-only.bin";
    test::writeFile(file, "");
    UniqueFd fd = openFile(file, O_RDONLY);
    BackgroundWriter out(fd.get(), file, 4);
    out.reserve(4)[0] = 'x';
    try {
        out.reserve(4);
        out.finish();
        FAIL() << "writing to a read-only descriptor must fail";
    } catch (const std::system_error& e) {
        EXPECT_NE(std::string(e.what()).find("read-only.bin"), std::string::npos);
    }
}

} // namespace
} // namespace corvelle
