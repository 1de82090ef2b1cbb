#include "TestSupport.h"
#include "common/PosixFile.h"
#include "common/WorkerPool.h"

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdexcept>

namespace corvelle {
namespace {

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
