#include "matching/NameBounds.h"

#include "matching/NameMatching.h"

#include <algorithm>
#include <bit>
#include <limits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace corvelle {
namespace {

/// The least m that reaches the score between names of these lengths (la + lb > 0).
std::uint32_t leastMatching(std::size_t la, std::size_t lb, std::int32_t matchScore)
{
    // The score grows with m, so search the least m that reaches it.
    std::size_t low = 0;
    std::size_t high = std::min(la, lb) + 1;
    while (low < high) {
        const std::size_t mid = (low + high) / 2;
        if (similarityScore(mid, la, lb) >= matchScore) {
            high = mid;
        } else {
            low = mid + 1;
        }
    }
    return static_cast<std::uint32_t>(low);
}

std::size_t nextPossibleOneByOne(std::span<const Signature> signatures, std::size_t from,
                                 const Signature& query, std::uint32_t needed)
{
    while (from < signatures.size() && sharedBySignature(query, signatures[from]) < needed) {
        ++from;
    }
    return from;
}

#if defined(__x86_64__)
/// The bound of one signature as four partial sums, one per 64-bit lane.
__attribute__((target("avx2"))) inline __m256i partialBounds(__m256i query, const Signature& other)
{
    const __m256i counts = _mm256_load_si256(reinterpret_cast<const __m256i*>(other.counts.data()));
    return _mm256_sad_epu8(_mm256_min_epu8(query, counts), _mm256_setzero_si256());
}

/// The bounds of four signatures: lane k holds signature k's.
__attribute__((target("avx2"))) inline __m256i fourBounds(__m256i query, const Signature* four)
{
    const __m256i s0 = partialBounds(query, four[0]);
    const __m256i s1 = partialBounds(query, four[1]);
    const __m256i s2 = partialBounds(query, four[2]);
    const __m256i s3 = partialBounds(query, four[3]);
    const __m256i t01 =
        _mm256_add_epi64(_mm256_unpacklo_epi64(s0, s1), _mm256_unpackhi_epi64(s0, s1));
    const __m256i t23 =
        _mm256_add_epi64(_mm256_unpacklo_epi64(s2, s3), _mm256_unpackhi_epi64(s2, s3));
    return _mm256_add_epi64(_mm256_permute2x128_si256(t01, t23, 0x20),
                            _mm256_permute2x128_si256(t01, t23, 0x31));
}

__attribute__((target("avx2"))) std::size_t
nextPossibleByFours(std::span<const Signature> signatures, std::size_t from, const Signature& query,
                    std::uint32_t needed)
{
    const __m256i wanted = _mm256_set1_epi64x(static_cast<long long>(needed) - 1);
    const __m256i q = _mm256_load_si256(reinterpret_cast<const __m256i*>(query.counts.data()));
    for (; from + 4 <= signatures.size(); from += 4) {
        const __m256i reach = _mm256_cmpgt_epi64(fourBounds(q, signatures.data() + from), wanted);
        const int any = _mm256_movemask_pd(_mm256_castsi256_pd(reach));
        if (any != 0) {
            return from + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(any)));
        }
    }
    return nextPossibleOneByOne(signatures, from, query, needed);
}

using NextPossible = std::size_t (*)(std::span<const Signature>, std::size_t, const Signature&,
                                     std::uint32_t);
NextPossible chosenByProcessor()
{
    __builtin_cpu_init(); // this runs before main
    return __builtin_cpu_supports("avx2") ? nextPossibleByFours : nextPossibleOneByOne;
}
const NextPossible nextPossible = chosenByProcessor();
#else
const auto nextPossible = nextPossibleOneByOne;
#endif

} // namespace

std::size_t nextPossibleMatch(std::span<const Signature> signatures, std::size_t from,
                              const Signature& query, std::uint32_t needed)
{
    return nextPossible(signatures, from, query, needed);
}

NeededMatches::NeededMatches(std::size_t maxLength, std::int32_t matchScore)
    : m_side(maxLength + 1)
    , m_table(m_side * m_side)
{
    for (std::size_t la = 0; la <= maxLength; ++la) {
        for (std::size_t lb = 0; lb <= maxLength; ++lb) {
            // Two empty names are equal: score 100.
            const std::uint32_t none = matchScore <= 100 ? 0 : 1;
            m_table[la * m_side + lb] = la + lb == 0 ? none : leastMatching(la, lb, matchScore);
        }
    }
}

Signature Signature::of(std::u32string_view codes)
{
    std::array<std::uint32_t, kCountedSlots + 1> counts{};
    for (const char32_t code : codes) {
        ++counts[std::min<std::size_t>(code, kCountedSlots)];
    }
    Signature signature;
    for (std::size_t k = 0; k < counts.size(); ++k) {
        if (counts[k] > 255) {
            signature.counts.fill(255);
            return signature;
        }
        signature.counts[k] = static_cast<std::uint8_t>(counts[k]);
    }
    return signature;
}

void LcsBound::setFirst(std::u32string_view codes)
{
    m_frequent.fill(0);
    m_rare.clear();
    m_masks.clear();
    m_length = codes.size();
    m_words = (m_length + 63) / 64;
    std::uint16_t distinct = 0;
    for (const char32_t code : codes) {
        if (code < m_frequent.size()) {
            if (m_frequent[code] == 0) {
                m_frequent[code] = ++distinct;
            }
        } else if (std::none_of(m_rare.begin(), m_rare.end(),
                                [&](const auto& rare) { return rare.first == code; })) {
            m_rare.emplace_back(code, ++distinct);
        }
    }
    std::sort(m_rare.begin(), m_rare.end());
    m_masks.assign(std::size_t{distinct} * m_words, 0);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const std::uint32_t index = maskIndex(codes[i]);
        m_masks[(index - 1) * m_words + i / 64] |= std::uint64_t{1} << (i % 64);
    }
    m_row.resize(m_words);
}

std::uint32_t LcsBound::maskIndex(char32_t code) const
{
    if (code < m_frequent.size()) {
        return m_frequent[code];
    }
    const auto it =
        std::lower_bound(m_rare.begin(), m_rare.end(), std::pair(code, std::uint16_t{0}));
    return it != m_rare.end() && it->first == code ? it->second : 0;
}

std::size_t LcsBound::with(std::u32string_view codes) const
{
    return m_words <= 1 ? withOneWord(codes) : withManyWords(codes);
}

// The row V has a 0 bit for each position of the first name that ends a longer common
// subsequence than the position before it; a character c of the other name moves them by
// V' = (V + (V & M)) | (V & ~M), M being c's positions. The zeros left count the LCS.
std::size_t LcsBound::withOneWord(std::u32string_view codes) const
{
    std::uint64_t row = ~std::uint64_t{0};
    for (const char32_t code : codes) {
        const std::uint32_t index = maskIndex(code);
        if (index != 0) {
            const std::uint64_t mask = m_masks[index - 1];
            row = (row + (row & mask)) | (row & ~mask);
        }
    }
    const std::uint64_t used =
        m_length == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << m_length) - 1;
    return m_length - static_cast<std::size_t>(std::popcount(row & used));
}

std::size_t LcsBound::withManyWords(std::u32string_view codes) const
{
    std::fill(m_row.begin(), m_row.end(), ~std::uint64_t{0});
    for (const char32_t code : codes) {
        const std::uint32_t index = maskIndex(code);
        if (index == 0) {
            continue;
        }
        const std::uint64_t* mask = m_masks.data() + (index - 1) * m_words;
        std::uint64_t carry = 0;
        for (std::size_t w = 0; w < m_words; ++w) {
            const std::uint64_t v = m_row[w];
            const std::uint64_t sum = v + (v & mask[w]);
            const std::uint64_t total = sum + carry;
            carry = static_cast<std::uint64_t>(sum < v) | static_cast<std::uint64_t>(total < sum);
            m_row[w] = total | (v & ~mask[w]);
        }
    }
    std::size_t ones = 0;
    for (std::size_t w = 0; w < m_words; ++w) {
        const std::size_t bits = std::min<std::size_t>(64, m_length - w * 64);
        const std::uint64_t used = bits == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
        ones += static_cast<std::size_t>(std::popcount(m_row[w] & used));
    }
    return m_length - ones;
}

} // namespace corvelle
