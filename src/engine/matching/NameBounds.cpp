#include "matching/NameBounds.h"

#include "matching/NameMatching.h"

#include <algorithm>
#include <bit>
#include <limits>

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

} // namespace

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
