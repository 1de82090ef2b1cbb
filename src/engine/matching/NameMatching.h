// Name clean-up and the Ratcliff/Obershelp similarity that decides whether two file names
// are alike enough to count as duplicates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvelle {

/// Characters of a name that take part in a comparison: the export keeps 300 of them.
inline constexpr std::size_t kNameFieldChars = 300;

/// Drops parenthesised text, then square-bracketed text; brackets do not nest.
std::u32string StripBracketedText(std::u32string_view name);

/// Drops ASCII digits, everything but ASCII letters, digits and the space, and spaces, as
/// asked; the three tests are independent.
std::u32string CleanName(std::u32string_view name, bool removeNumbers, bool removeSymbols,
                         bool removeSpaces);

/// The Ratcliff/Obershelp ratio 2m / (la + lb) of two names, letter case ignored.
double NameSimilarity(std::u32string_view a, std::u32string_view b);

/// The number of matched characters of NameBytes1[s1..e1] and NameBytes2[s2..e2] (positions
/// from 1): the longest common run (the earliest in the first name on ties, then the earliest
/// in the second), plus the matches left and right of it, recursively.
std::int32_t CommonLength(std::u32string_view NameBytes1, std::u32string_view NameBytes2,
                          std::int32_t s1, std::int32_t e1, std::int32_t s2, std::int32_t e2);

/// The clean-up steps of a comparison.
struct NameCleanup {
    bool removeBracketedText = true;
    bool removeNumbers = true;
    bool removeSymbols = true;
    bool removeSpaces = true;
};

/// A name ready for comparison: cut to the export's 300 characters, trimmed, cleaned,
/// trimmed again and upper-cased.
std::u32string prepareName(std::u32string_view name, const NameCleanup& cleanup);

/// Rounds to the nearest whole number, halves to the even neighbour (12.5 → 12, 37.5 → 38).
std::int32_t roundHalfEven(double value);

/// The whole-percentage score of m matched characters between names of la and lb characters
/// (la + lb > 0), computed exactly as the ratio is: (m / (la + lb)) × 2, then × 100, rounded.
std::int32_t similarityScore(std::size_t m, std::size_t la, std::size_t lb);

/// The score of two prepared (upper-cased) names: 100 when equal, 0 when one is empty.
std::int32_t preparedNameScore(std::u32string_view a, std::u32string_view b);

/// m for two prepared names, computed over whole names in O(la × lb) per level.
std::size_t commonLength(std::u32string_view a, std::u32string_view b);

} // namespace corvelle
