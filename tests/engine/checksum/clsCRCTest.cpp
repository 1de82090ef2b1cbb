#include "checksum/clsCRC.h"

#include "TestSupport.h"
#include "common/Types.h"

#include <gtest/gtest.h>
#include <random>

namespace corvelle {
namespace {

using crc::Crc32Kernel;

/// Compares one kernel with the byte loop on `length` bytes that start `offset` bytes into an
/// allocation ending exactly where they end, so that a read past the end trips the sanitizer.
void expectSameAsByteLoop(Crc32Kernel kernel, std::size_t length, std::size_t offset,
                          std::uint32_t reg, std::uint32_t seed)
{
    const std::vector<std::uint8_t> buffer = test::randomBytes(offset + length, seed);
    const std::uint8_t* data = buffer.data() + offset;
    ASSERT_EQ(crc::crc32UpdateWith(kernel, reg, data, length),
              crc::crc32ByteTable(reg, data, length))
        << "kernel " << static_cast<int>(kernel) << ", length " << length << ", offset " << offset
        << ", register " << reg;
}

TEST(CrcKernels, everyKernelMatchesTheByteLoop)
{
    std::mt19937 random(20240601);
    for (const Crc32Kernel kernel : {Crc32Kernel::ByteTable, Crc32Kernel::SliceBy8,
                                     Crc32Kernel::Pclmul, Crc32Kernel::Vpclmul512}) {
        if (!crc::crc32KernelSupported(kernel)) {
            continue;
        }
        for (std::size_t length = 0; length <= 1300; ++length) { // every fold boundary
            expectSameAsByteLoop(kernel, length, length % 61, random(), random());
        }
        for (int i = 0; i < 200; ++i) {
            expectSameAsByteLoop(kernel, random() % 5001, random() % 64, random(), random());
        }
        for (const std::size_t length : {std::size_t{1} << 20, (std::size_t{3} << 18) + 255}) {
            expectSameAsByteLoop(kernel, length, random() % 64, random(), random());
        }
    }
}

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

// Through the kernel chosen at run time.
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

// The program reads files through the intake; this reading is the intake tests' reference.
TEST(clsCRC, aFileIsReadUpToTheLengthAskedInBlocksWithProgress)
{
    TempDir dir;
    RecordingMessages messages;
    RecordingProgress progress;
    clsCRC crc{&messages};
    const auto data = test::randomBytes(25000, 1);
    const auto path = dir / "data.bin";
    test::writeFile(path, {reinterpret_cast<const char*>(data.data()), data.size()});
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

} // namespace
} // namespace corvelle
