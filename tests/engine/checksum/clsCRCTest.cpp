#include "checksum/clsCRC.h"

#include "TestSupport.h"
#include "common/Types.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelle {
namespace {

using test::RecordingMessages;
using test::RecordingProgress;
using test::TempDir;

constexpr std::int32_t Crc16 = 0;
constexpr std::int32_t Crc32 = 1;

/// CRC-32 `Value` of bytes from a cleared register, by the reference byte loop.
std::int32_t crc32Of(ByteArray bytes)
{
    return toCrcValue(~crc::crc32ByteTable(0xFFFFFFFFu, bytes.data(), bytes.size())).stored();
}

TEST(clsCRC, checkValuesWholeAndInPieces)
{
    struct Case {
        std::int32_t algorithm;
        std::string_view text;
        std::int32_t value;
    };
    for (const Case& c : {Case{Crc32, "123456789", -873187034}, Case{Crc32, "abc", 891568578},
                          Case{Crc16, "123456789", 0x31C3}, Case{Crc16, "abc", 40406}}) {
        SCOPED_TRACE(c.text);
        clsCRC crc;
        crc.Algorithm(c.algorithm);
        EXPECT_EQ(crc.AddString(c.text), c.value);
        EXPECT_EQ(crc.Value(), c.value);
        crc.Clear();
        crc.AddString(c.text.substr(0, 1));
        EXPECT_EQ(crc.CalculateString(c.text.substr(1)), c.value);
    }
}

class clsCRCFile : public ::testing::Test {
protected:
    TempDir dir;
    RecordingMessages messages;
    RecordingProgress progress;
    clsCRC crc{&messages};

    std::filesystem::path fileOf(const std::vector<std::uint8_t>& bytes)
    {
        const auto path = dir / "data.bin";
        test::writeFile(path, {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
        return path;
    }
};

TEST_F(clsCRCFile, readsTheLeadingBytesInBlocksWithProgress)
{
    const auto data = test::randomBytes(25000, 1);
    const auto path = fileOf(data);
    for (const std::int64_t maxSize : {std::int64_t{25000}, std::int64_t{1} << 40}) {
        progress.values.clear();
        crc.AddString("left over");
        EXPECT_EQ(crc.CalculateFile(path, maxSize, &progress), crc32Of(data));
        EXPECT_EQ(crc.Value(), crc32Of(data));
        EXPECT_EQ(progress.values, (std::vector<float>{0.0f, 40.96f, 81.92f, 100.0f}));
    }

    progress.values.clear();
    EXPECT_EQ(crc.CalculateFile(path, 1024, &progress), crc32Of(ByteArray(data).first(1024)));
    EXPECT_EQ(progress.values, (std::vector<float>{0.0f, 100.0f}));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(clsCRCFile, unreadablePathsFailWithoutBlocking)
{
    const auto fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& path : {dir / "missing", fifo, dir.path()}) {
        SCOPED_TRACE(path);
        messages.shown.clear();
        EXPECT_EQ(crc.CalculateFile(path, 1024, &progress), std::nullopt);
        ASSERT_EQ(messages.texts(),
                  std::vector<std::string>{crcFileErrorMessage(path.string()).text});
        EXPECT_EQ(crc.Value(), -1);
    }
    EXPECT_TRUE(progress.values.empty());
}

TEST_F(clsCRCFile, sparseFilesBeyondFourGibibytes)
{
    const std::vector<std::uint8_t> zeros(std::size_t{1} << 20);
    // 4 GiB + 1000 would read only 1,000 bytes if its length were cut to 32 bits.
    for (const std::int64_t size : {std::int64_t{5} << 30, (std::int64_t{4} << 30) + 1000}) {
        const auto path = dir / "sparse.bin";
        test::writeFile(path, "");
        if (::truncate(path.c_str(), size) != 0) {
            GTEST_SKIP() << "the file system refuses a sparse file of " << size << " bytes";
        }
        progress.values.clear();
        EXPECT_EQ(crc.CalculateFile(path, std::int64_t{1} << 20, &progress), crc32Of(zeros));
        EXPECT_EQ(progress.values.size(), 1u + 103u);
        EXPECT_EQ(progress.values.back(), 100.0f);
    }
}

} // namespace
} // namespace corvelle
