#include "TestSupport.h"
#include "checksum/clsCRC.h"

#include <gtest/gtest.h>
#include <random>

namespace corvelle::crc {
namespace {

std::vector<Crc32Kernel> supportedKernels()
{
    std::vector<Crc32Kernel> kernels;
    for (const Crc32Kernel kernel : {Crc32Kernel::ByteTable, Crc32Kernel::SliceBy8,
                                     Crc32Kernel::Pclmul, Crc32Kernel::Vpclmul512}) {
        if (crc32KernelSupported(kernel)) {
            kernels.push_back(kernel);
        }
    }
    return kernels;
}

/// Compares one kernel with the byte loop on `length` bytes that start `offset` bytes into an
/// allocation ending exactly where they end, so that a read past the end trips the sanitizer.
void expectSameAsByteLoop(Crc32Kernel kernel, std::size_t length, std::size_t offset,
                          std::uint32_t reg, std::uint32_t seed)
{
    const std::vector<std::uint8_t> buffer = test::randomBytes(offset + length, seed);
    const std::uint8_t* data = buffer.data() + offset;
    ASSERT_EQ(crc32UpdateWith(kernel, reg, data, length), crc32ByteTable(reg, data, length))
        << "kernel " << static_cast<int>(kernel) << ", length " << length << ", offset " << offset
        << ", register " << reg;
}

TEST(CrcKernels, everyKernelMatchesTheByteLoop)
{
    std::mt19937 random(20240601);
    for (const Crc32Kernel kernel : supportedKernels()) {
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

TEST(CrcKernels, checkValueThroughTheRunTimeChoice)
{
    EXPECT_TRUE(crc32KernelSupported(crc32ActiveKernel()));
    if (crc32KernelSupported(Crc32Kernel::Vpclmul512)) {
        EXPECT_EQ(crc32ActiveKernel(), Crc32Kernel::Vpclmul512);
    }
    const std::string_view check = "123456789";
    const auto* data = reinterpret_cast<const std::uint8_t*>(check.data());
    EXPECT_EQ(~crc32Update(0xFFFFFFFFu, data, check.size()), 0xCBF43926u);
    const auto big = test::randomBytes(100000, 9);
    EXPECT_EQ(crc32Update(0x1234u, big.data(), big.size()),
              crc32ByteTable(0x1234u, big.data(), big.size()));
}

} // namespace
} // namespace corvelle::crc
