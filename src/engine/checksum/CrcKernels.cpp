// The CRC register updates behind clsCRC: a CRC-16 table loop, and CRC-32 kernels from the
// reference byte loop up to AVX-512 carry-less-multiply folding, one chosen at run time.
#include "checksum/CrcTables.h"
#include "checksum/clsCRC.h"

#include <bit>
#include <cstring>
#include <stdexcept>

#if defined(__x86_64__) || defined(__i386__)
#define CORVELLE_CRC_X86 1
#include <immintrin.h>
#else
#define CORVELLE_CRC_X86 0
#endif

namespace corvelle::crc {
namespace {

using detail::Table;

// --- Slicing-by-8 ------------------------------------------------------------------------

using SliceTables = std::array<Table, 8>;

/// Entry k of table n is the register change of byte k followed by n zero bytes, so eight
/// bytes cost eight independent lookups instead of a chain of eight.
constexpr SliceTables makeSliceTables()
{
    SliceTables tables{};
    tables[0] = detail::crc32Table;
    for (std::size_t n = 1; n < tables.size(); ++n) {
        for (std::size_t k = 0; k < 256; ++k) {
            const std::uint32_t previous = tables[n - 1][k];
            tables[n][k] = (previous >> 8) ^ detail::crc32Table[previous & 0xFFu];
        }
    }
    return tables;
}

constexpr SliceTables sliceTables = makeSliceTables();

std::uint32_t crc32SliceBy8(std::uint32_t reg, const std::uint8_t* data, std::size_t length)
{
    if constexpr (std::endian::native == std::endian::little) {
        const auto& t = sliceTables;
        for (; length >= 8; data += 8, length -= 8) {
            std::uint64_t word;
            std::memcpy(&word, data, sizeof word);
            word ^= reg;
            reg = t[7][word & 0xFFu] ^ t[6][(word >> 8) & 0xFFu] ^ t[5][(word >> 16) & 0xFFu] ^
                  t[4][(word >> 24) & 0xFFu] ^ t[3][(word >> 32) & 0xFFu] ^
                  t[2][(word >> 40) & 0xFFu] ^ t[1][(word >> 48) & 0xFFu] ^ t[0][word >> 56];
        }
    }
    return crc32ByteTable(reg, data, length);
}

// --- Carry-less-multiply folding ---------------------------------------------------------
//
// In the reflected bit order a 128-bit lane holds 128 message bits, its low quadword the
// earlier (higher-degree) half. Folding a lane forward over `bits` further message bits
// multiplies its low half by x^(bits+32) mod P and its high half by x^(bits-32) mod P; the
// extra x^32 is what the one-bit shift of the reflected constants absorbs. The register's
// initial value enters by XOR into the first four data bytes, and the last folded lane is a
// 16-byte message with the same CRC as everything folded into it, so it is finished by the
// table loop from register 0.

/// x^n mod P(x) for P = x^32 + 0x04C11DB7, in the ordinary (most significant bit first) form.
constexpr std::uint32_t xPowModP(unsigned n)
{
    std::uint32_t r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r = (r & 0x80000000u) != 0 ? (r << 1) ^ 0x04C11DB7u : r << 1;
    }
    return r;
}

constexpr std::uint32_t reflect32(std::uint32_t v)
{
    std::uint32_t r = 0;
    for (int i = 0; i < 32; ++i, v >>= 1) {
        r = (r << 1) | (v & 1u);
    }
    return r;
}

constexpr std::uint64_t foldMultiplier(unsigned n)
{
    return std::uint64_t{reflect32(xPowModP(n))} << 1;
}

struct FoldConstants {
    std::uint64_t low;  // multiplies the lane's low quadword
    std::uint64_t high; // multiplies the lane's high quadword
};

constexpr FoldConstants foldOver(unsigned bits)
{
    return {foldMultiplier(bits + 32), foldMultiplier(bits - 32)};
}

constexpr FoldConstants fold128 = foldOver(128);
constexpr FoldConstants fold256 = foldOver(256);
constexpr FoldConstants fold384 = foldOver(384);
constexpr FoldConstants fold512 = foldOver(512);
constexpr FoldConstants fold2048 = foldOver(2048);

// The published constants of the 128- and 512-bit folds: a check on the derivation above.
static_assert(fold128.low == 0x1751997d0u && fold128.high == 0x0ccaa009eu);
static_assert(fold512.low == 0x154442bd4u && fold512.high == 0x1c6e41596u);

#if CORVELLE_CRC_X86

// Below these lengths the set-up and the final reduction cost more than folding saves.
constexpr std::size_t pclmulMinimum = 128;
constexpr std::size_t vpclmulMinimum = 1024;

#define CORVELLE_TARGET_PCLMUL __attribute__((target("sse4.1,pclmul")))
#define CORVELLE_TARGET_VPCLMUL                                                                    \
    __attribute__((target("sse4.1,pclmul,avx512f,avx512bw,avx512vl,vpclmulqdq")))

CORVELLE_TARGET_PCLMUL inline __m128i constants128(FoldConstants k)
{
    return _mm_set_epi64x(static_cast<long long>(k.high), static_cast<long long>(k.low));
}

CORVELLE_TARGET_PCLMUL inline __m128i load128(const std::uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

/// Moves `lane` forward by the distance `k` was made for and adds the data found there.
CORVELLE_TARGET_PCLMUL inline __m128i foldLane(__m128i lane, __m128i k, __m128i data)
{
    const __m128i low = _mm_clmulepi64_si128(lane, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), data);
}

/// Folds the remaining whole 16-byte pieces into `lane`, then finishes with the table loop.
CORVELLE_TARGET_PCLMUL std::uint32_t finish(__m128i lane, const std::uint8_t* data,
                                            std::size_t length)
{
    const __m128i k128 = constants128(fold128);
    for (; length >= 16; data += 16, length -= 16) {
        lane = foldLane(lane, k128, load128(data));
    }
    std::uint8_t folded[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), lane);
    return crc32SliceBy8(crc32SliceBy8(0, folded, sizeof folded), data, length);
}

CORVELLE_TARGET_PCLMUL std::uint32_t crc32Pclmul(std::uint32_t reg, const std::uint8_t* data,
                                                 std::size_t length)
{
    if (length < pclmulMinimum) {
        return crc32SliceBy8(reg, data, length);
    }
    // Four independent lanes keep the multiplier busy while each fold waits on its latency.
    __m128i x0 = _mm_xor_si128(load128(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x1 = load128(data + 16);
    __m128i x2 = load128(data + 32);
    __m128i x3 = load128(data + 48);
    data += 64;
    length -= 64;

    const __m128i k512 = constants128(fold512);
    for (; length >= 64; data += 64, length -= 64) {
        x0 = foldLane(x0, k512, load128(data));
        x1 = foldLane(x1, k512, load128(data + 16));
        x2 = foldLane(x2, k512, load128(data + 32));
        x3 = foldLane(x3, k512, load128(data + 48));
    }

    const __m128i k128 = constants128(fold128);
    __m128i lane = foldLane(x0, k128, x1);
    lane = foldLane(lane, k128, x2);
    lane = foldLane(lane, k128, x3);
    return finish(lane, data, length);
}

CORVELLE_TARGET_VPCLMUL inline __m512i load512(const std::uint8_t* p)
{
    return _mm512_loadu_si512(p);
}

CORVELLE_TARGET_VPCLMUL inline __m512i constants512(FoldConstants k)
{
    const auto low = static_cast<long long>(k.low);
    const auto high = static_cast<long long>(k.high);
    return _mm512_set4_epi64(high, low, high, low);
}

CORVELLE_TARGET_VPCLMUL inline __m512i foldLanes(__m512i lanes, __m512i k, __m512i data)
{
    const __m512i low = _mm512_clmulepi64_epi128(lanes, k, 0x00);
    const __m512i high = _mm512_clmulepi64_epi128(lanes, k, 0x11);
    return _mm512_ternarylogic_epi64(low, high, data, 0x96); // low ^ high ^ data
}

// The zero-masking extract, because GCC 12 reports the plain one's undefined filler as
// possibly uninitialised.
template <int Lane> CORVELLE_TARGET_VPCLMUL inline __m128i laneOf(__m512i lanes)
{
    return _mm512_maskz_extracti32x4_epi32(0xF, lanes, Lane);
}

CORVELLE_TARGET_VPCLMUL std::uint32_t crc32Vpclmul512(std::uint32_t reg, const std::uint8_t* data,
                                                      std::size_t length)
{
    if (length < vpclmulMinimum) {
        return crc32Pclmul(reg, data, length);
    }
    // Four registers of four lanes: sixteen folds in flight per 256 bytes.
    __m512i x0 = _mm512_xor_si512(load512(data), _mm512_maskz_set1_epi32(1, static_cast<int>(reg)));
    __m512i x1 = load512(data + 64);
    __m512i x2 = load512(data + 128);
    __m512i x3 = load512(data + 192);
    data += 256;
    length -= 256;

    const __m512i k2048 = constants512(fold2048);
    for (; length >= 256; data += 256, length -= 256) {
        x0 = foldLanes(x0, k2048, load512(data));
        x1 = foldLanes(x1, k2048, load512(data + 64));
        x2 = foldLanes(x2, k2048, load512(data + 128));
        x3 = foldLanes(x3, k2048, load512(data + 192));
    }

    const __m512i k512 = constants512(fold512);
    __m512i x = foldLanes(x0, k512, x1);
    x = foldLanes(x, k512, x2);
    x = foldLanes(x, k512, x3);
    for (; length >= 64; data += 64, length -= 64) {
        x = foldLanes(x, k512, load512(data));
    }

    // Bring lanes 0 to 2 up to lane 3 (384, 256 and 128 bits ahead) and add them all up.
    const __m512i kLanes = _mm512_set_epi64(
        0, 0, static_cast<long long>(fold128.high), static_cast<long long>(fold128.low),
        static_cast<long long>(fold256.high), static_cast<long long>(fold256.low),
        static_cast<long long>(fold384.high), static_cast<long long>(fold384.low));
    const __m512i moved = foldLanes(x, kLanes, _mm512_setzero_si512());
    const __m128i lane = _mm_xor_si128(_mm_xor_si128(laneOf<0>(moved), laneOf<1>(moved)),
                                       _mm_xor_si128(laneOf<2>(moved), laneOf<3>(x)));
    return finish(lane, data, length);
}

#endif // CORVELLE_CRC_X86

using KernelFunction = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);

KernelFunction kernelFunction(Crc32Kernel kernel)
{
    switch (kernel) {
    case Crc32Kernel::ByteTable:
        return crc32ByteTable;
    case Crc32Kernel::SliceBy8:
        return crc32SliceBy8;
#if CORVELLE_CRC_X86
    case Crc32Kernel::Pclmul:
        return crc32Pclmul;
    case Crc32Kernel::Vpclmul512:
        return crc32Vpclmul512;
#else
    case Crc32Kernel::Pclmul:
    case Crc32Kernel::Vpclmul512:
        break;
#endif
    }
    throw std::invalid_argument("CRC-32 kernel not built for this processor");
}

Crc32Kernel chooseKernel()
{
    for (const Crc32Kernel kernel : {Crc32Kernel::Vpclmul512, Crc32Kernel::Pclmul}) {
        if (crc32KernelSupported(kernel)) {
            return kernel;
        }
    }
    return Crc32Kernel::SliceBy8;
}

} // namespace

std::uint32_t crc32ByteTable(std::uint32_t reg, const std::uint8_t* data, std::size_t length)
{
    const Table& table = detail::crc32Table;
    for (std::size_t i = 0; i < length; ++i) {
        reg = (reg >> 8) ^ table[(reg ^ data[i]) & 0xFFu];
    }
    return reg;
}

std::uint32_t crc16Update(std::uint32_t reg, const std::uint8_t* data, std::size_t length)
{
    const Table& table = detail::crc16Table;
    for (std::size_t i = 0; i < length; ++i) {
        reg = ((reg << 8) ^ table[((reg >> 8) ^ data[i]) & 0xFFu]) & 0xFFFFu;
    }
    return reg;
}

bool crc32KernelSupported(Crc32Kernel kernel)
{
    switch (kernel) {
    case Crc32Kernel::ByteTable:
    case Crc32Kernel::SliceBy8:
        return true;
#if CORVELLE_CRC_X86
    case Crc32Kernel::Pclmul:
        __builtin_cpu_init();
        return __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("pclmul");
    case Crc32Kernel::Vpclmul512:
        return crc32KernelSupported(Crc32Kernel::Pclmul) && __builtin_cpu_supports("avx512f") &&
               __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
               __builtin_cpu_supports("vpclmulqdq");
#else
    case Crc32Kernel::Pclmul:
    case Crc32Kernel::Vpclmul512:
        return false;
#endif
    }
    return false;
}

std::uint32_t crc32UpdateWith(Crc32Kernel kernel, std::uint32_t reg, const std::uint8_t* data,
                              std::size_t length)
{
    if (!crc32KernelSupported(kernel)) {
        throw std::invalid_argument("CRC-32 kernel not supported by this processor");
    }
    return kernelFunction(kernel)(reg, data, length);
}

Crc32Kernel crc32ActiveKernel()
{
    static const Crc32Kernel active = chooseKernel();
    return active;
}

std::uint32_t crc32Update(std::uint32_t reg, const std::uint8_t* data, std::size_t length)
{
    static const KernelFunction active = kernelFunction(crc32ActiveKernel());
    return active(reg, data, length);
}

} // namespace corvelle::crc
