// Upper bounds on the matched characters of two names, cheap enough to try before the exact
// Ratcliff/Obershelp recursion, and the least number of matched characters that reaches a
// match score.
//
// Why the bounds hold: every level of the recursion matches one common run and recurses into
// the parts left of it in both names and the parts right of it in both names. The matched
// runs therefore come in the same order in both names: together they are a common
// subsequence. So the recursion's m never exceeds the length of the longest common
// subsequence (LCS), which never exceeds the characters the two names share as multisets,
// which never exceeds the same count taken over coarser character classes (counts merged
// into one slot share at least as much as they did apart: min(a1 + a2, b1 + b2) is at
// least min(a1, b1) + min(a2, b2)).
//
//     m  <=  LCS(a, b)  <=  sum over characters c of min(count_a(c), count_b(c))
//
// A pair whose bound is below the least m that reaches the score cannot match.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvelle {

/// The least m at which m matched characters reach `matchScore` between names of la and lb
/// characters, for every la, lb up to maxLength: table[la * (maxLength + 1) + lb]. A value
/// above min(la, lb) when no m does.
class NeededMatches {
public:
    NeededMatches(std::size_t maxLength, std::int32_t matchScore);

    [[nodiscard]] std::uint32_t operator()(std::size_t la, std::size_t lb) const
    {
        return m_table[la * m_side + lb];
    }
    /// Whether any pair of names of these lengths can reach the score.
    [[nodiscard]] bool feasible(std::size_t la, std::size_t lb) const
    {
        return (*this)(la, lb) <= std::min(la, lb);
    }

private:
    std::size_t m_side;
    std::vector<std::uint32_t> m_table;
};

/// A name's characters counted by slot, in 32 bytes: the characters coded 0 to 30 (the most
/// frequent, see NameTable) have a slot each, and the last byte counts all the others. The
/// bound it gives takes two vector operations.
struct alignas(32) Signature {
    static constexpr std::size_t kCountedSlots = 31;
    std::array<std::uint8_t, kCountedSlots + 1> counts{};

    /// The signature of a coded name. When a count does not fit in its byte, 255 in every
    /// byte: such a signature shares with any other at least that one's whole name, so it
    /// rules nothing out (a saturated count could bound too low).
    static Signature of(std::u32string_view codes);
};

/// Bound from signatures: the shared counts of the slots, the other characters counted
/// together. Inline: a search calls it for nearly every pair it looks at.
inline std::uint32_t sharedBySignature(const Signature& a, const Signature& b)
{
#if defined(__SSE2__)
    const auto* x = reinterpret_cast<const __m128i*>(a.counts.data());
    const auto* y = reinterpret_cast<const __m128i*>(b.counts.data());
    const __m128i zero = _mm_setzero_si128();
    const __m128i sum = _mm_add_epi64(
        _mm_sad_epu8(_mm_min_epu8(_mm_load_si128(x), _mm_load_si128(y)), zero),
        _mm_sad_epu8(_mm_min_epu8(_mm_load_si128(x + 1), _mm_load_si128(y + 1)), zero));
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(sum) +
                                      _mm_cvtsi128_si32(_mm_srli_si128(sum, 8)));
#else
    std::uint32_t sum = 0;
    for (std::size_t k = 0; k < a.counts.size(); ++k) {
        sum += std::min(a.counts[k], b.counts[k]);
    }
    return sum;
#endif
}

/// The first of signatures[from ..] that may share `needed` characters with `query`, or the
/// end when none may. Four signatures at a time where the processor has AVX2.
std::size_t nextPossibleMatch(std::span<const Signature> signatures, std::size_t from,
                              const Signature& query, std::uint32_t needed);

/// The length of the longest common subsequence of one name (set once) and each of many
/// others, by the bit-parallel algorithm of Allison and Dix: a bit per character of the first
/// name, a few word operations per character of the other.
class LcsBound {
public:
    void setFirst(std::u32string_view codes);
    [[nodiscard]] std::size_t with(std::u32string_view codes) const;

private:
    /// 1 + the index of the code's mask, 0 when the first name lacks the code.
    [[nodiscard]] std::uint32_t maskIndex(char32_t code) const;
    [[nodiscard]] std::size_t withOneWord(std::u32string_view codes) const;
    [[nodiscard]] std::size_t withManyWords(std::u32string_view codes) const;

    // The frequent codes are looked up directly, the rare ones in a sorted list.
    std::array<std::uint16_t, 256> m_frequent{};
    std::vector<std::pair<char32_t, std::uint16_t>> m_rare;
    std::vector<std::uint64_t> m_masks; // per distinct character: its positions, word by word
    std::size_t m_length = 0;
    std::size_t m_words = 0;
    mutable std::vector<std::uint64_t> m_row;
};

} // namespace corvelle
