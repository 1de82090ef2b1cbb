#include "checksum/clsCRC.h"

#include "TestSupport.h"
#include "common/Types.h"

#include <functional>
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

std::string_view textOf(const std::vector<std::uint8_t>& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

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

/// A progress object that runs `onCall(n)` at its n-th value (counting from 1).
struct ScriptedProgress final : ProgressSink {
    std::vector<float> values;
    std::function<void(std::size_t)> onCall;
    void setValue(float percent) override
    {
        values.push_back(percent);
        onCall(values.size());
    }
};

class clsCRCFile : public ::testing::Test {
protected:
    TempDir dir;
    RecordingMessages messages;
    RecordingProgress progress;
    clsCRC crc{&messages};

    std::filesystem::path fileOf(const std::vector<std::uint8_t>& bytes)
    {
        const auto path = dir / "data.bin";
        test::writeFile(path, textOf(bytes));
        return path;
    }

    void expectFailureReported(const std::filesystem::path& path)
    {
        ASSERT_EQ(messages.shown.size(), 1u);
        const Message& shown = messages.shown.front();
        EXPECT_EQ(shown.text, "Error CRC'ing file '" + path.string() + "'");
        EXPECT_EQ(crc.Value(), -1);
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
        expectFailureReported(path);
    }
    EXPECT_TRUE(progress.values.empty());
}

TEST_F(clsCRCFile, failureMidwayKeepsTheLastCompleteBlock)
{
    const auto data = test::randomBytes(25000, 3);
    const auto path = fileOf(data);
    const std::int32_t firstBlock = crc32Of(ByteArray(data).first(clsCRC::blockSize));
    const std::function<void(std::size_t)> shrink = [&](std::size_t call) {
        if (call == 2) {
            std::filesystem::resize_file(path, 15000);
        }
    };
    const std::function<void(std::size_t)> fail = [](std::size_t call) {
        if (call == 2) {
            throw std::runtime_error("progress bar gone");
        }
    };
    for (const auto& onCall : {shrink, fail}) {
        test::writeFile(path, textOf(data));
        messages.shown.clear();
        ScriptedProgress scripted;
        scripted.onCall = onCall;
        EXPECT_EQ(crc.CalculateFile(path, 25000, &scripted), firstBlock);
        expectFailureReported(path);
        EXPECT_EQ(scripted.values, (std::vector<float>{0.0f, 40.96f}));
    }
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
