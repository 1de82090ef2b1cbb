// CRC-32 throughput over 256 MiB of random bytes: the engine's kernels, the reference byte
// loop, zlib and ISA-L. Every case must agree on the result before it is timed.
#include "checksum/clsCRC.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <isa-l/crc.h>
#include <vector>
#include <zlib.h>

namespace {

using corvelle::crc::Crc32Kernel;

constexpr std::size_t bufferSize = std::size_t{256} << 20;

const std::vector<std::uint8_t>& buffer()
{
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> out(bufferSize);
        std::uint64_t state = 0x9E3779B97F4A7C15u; // splitmix64: quick and incompressible
        for (std::size_t i = 0; i < out.size(); i += 8) {
            std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
            z ^= z >> 31;
            for (std::size_t b = 0; b < 8; ++b) {
                out[i + b] = static_cast<std::uint8_t>(z >> (8 * b));
            }
        }
        return out;
    }();
    return bytes;
}

/// A finished CRC-32 (initial value and final complement applied) of the whole buffer.
using Crc32Function = std::function<std::uint32_t(const std::uint8_t*, std::size_t)>;

std::uint32_t engineCrc(Crc32Kernel kernel, const std::uint8_t* data, std::size_t length)
{
    return ~corvelle::crc::crc32UpdateWith(kernel, 0xFFFFFFFFu, data, length);
}

void runCrc(benchmark::State& state, const Crc32Function& crc, std::uint32_t expected)
{
    const auto& bytes = buffer();
    for (auto _ : state) {
        const std::uint32_t result = crc(bytes.data(), bytes.size());
        benchmark::DoNotOptimize(result);
        if (result != expected) {
            state.SkipWithError("wrong CRC");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes.size()));
}

void add(const char* name, Crc32Function crc, std::uint32_t expected)
{
    benchmark::RegisterBenchmark(name, [crc = std::move(crc), expected](benchmark::State& state) {
        runCrc(state, crc, expected);
    })->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const auto& bytes = buffer();
    const std::uint32_t expected = engineCrc(Crc32Kernel::SliceBy8, bytes.data(), bytes.size());

    add(
        "BM_Crc32_ByteTable",
        [](const std::uint8_t* data, std::size_t length) {
            return engineCrc(Crc32Kernel::ByteTable, data, length);
        },
        expected);
    add(
        "BM_Crc32_Engine",
        [](const std::uint8_t* data, std::size_t length) {
            return ~corvelle::crc::crc32Update(0xFFFFFFFFu, data, length);
        },
        expected);
    add(
        "BM_Crc32_Zlib",
        [](const std::uint8_t* data, std::size_t length) {
            // zlib takes at most 4 GiB minus one per call; the buffer is far below that.
            return static_cast<std::uint32_t>(crc32(0, data, static_cast<uInt>(length)));
        },
        expected);
    add(
        "BM_Crc32_Isal",
        [](const std::uint8_t* data, std::size_t length) {
            return crc32_gzip_refl(0, data, length);
        },
        expected);

    const struct {
        const char* name;
        Crc32Kernel kernel;
    } kernels[] = {{"BM_Crc32_SliceBy8", Crc32Kernel::SliceBy8},
                   {"BM_Crc32_Pclmul", Crc32Kernel::Pclmul},
                   {"BM_Crc32_Vpclmul512", Crc32Kernel::Vpclmul512}};
    for (const auto& k : kernels) {
        if (corvelle::crc::crc32KernelSupported(k.kernel)) {
            add(
                k.name,
                [kernel = k.kernel](const std::uint8_t* data, std::size_t length) {
                    return engineCrc(kernel, data, length);
                },
                expected);
        } else {
            std::fprintf(stderr, "%s: not supported by this processor\n", k.name);
        }
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return EXIT_SUCCESS;
}
