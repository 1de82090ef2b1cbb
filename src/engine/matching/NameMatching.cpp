#include "matching/NameMatching.h"

#include "matching/NameText.h"

#include <cmath>
#include <vector>

namespace corvelle {
namespace {

std::u32string stripPass(std::u32string_view name, char32_t open, char32_t close)
{
    std::u32string result;
    result.reserve(name.size());
    bool inside = false;
    for (const char32_t c : name) {
        if (c == open) {
            inside = true;
        } else if (c == close) {
            inside = false;
        } else if (!inside) {
            result.push_back(c);
        }
    }
    return result;
}

struct Run {
    std::size_t length = 0;
    std::size_t inA = 0;
    std::size_t inB = 0;
};

/// The longest common run of a and b: the earliest in a on ties, then the earliest in b.
/// runs[j] holds the length of the common run starting at (i + 1, j) while row i is worked.
Run longestRun(std::u32string_view a, std::u32string_view b, std::vector<std::uint32_t>& runs)
{
    Run best;
    runs.assign(b.size() + 1, 0);
    for (std::size_t i = a.size(); i-- > 0;) {
        const char32_t c = a[i];
        for (std::size_t j = 0; j < b.size(); ++j) {
            const std::uint32_t run = c == b[j] ? runs[j + 1] + 1 : 0;
            runs[j] = run;
            // Rows come in falling order of i, so within a row only a longer run wins and a
            // later (earlier-in-a) row wins ties.
            if (run > best.length || (run == best.length && run > 0 && i < best.inA)) {
                best = {run, i, j};
            }
        }
    }
    return best;
}

std::size_t commonLengthOf(std::u32string_view a, std::u32string_view b,
                           std::vector<std::uint32_t>& runs)
{
    if (a.empty() || b.empty()) {
        return 0;
    }
    const Run best = longestRun(a, b, runs);
    if (best.length == 0) {
        return 0;
    }
    const std::size_t right =
        commonLengthOf(a.substr(best.inA + best.length), b.substr(best.inB + best.length), runs);
    const std::size_t left = commonLengthOf(a.substr(0, best.inA), b.substr(0, best.inB), runs);
    return left + right + best.length;
}

/// 2m / (la + lb), computed as m / (la + lb), then times 2: the score rounds this times 100,
/// and which halves it meets depends on that order.
double ratioOf(std::size_t m, std::size_t la, std::size_t lb)
{
    const double ratio = static_cast<double>(m) / static_cast<double>(la + lb);
    return ratio * 2.0;
}

} // namespace

std::u32string StripBracketedText(std::u32string_view name)
{
    return stripPass(stripPass(name, U'(', U')'), U'[', U']');
}

std::u32string CleanName(std::u32string_view name, bool removeNumbers, bool removeSymbols,
                         bool removeSpaces)
{
    std::u32string result;
    result.reserve(name.size());
    for (const char32_t c : name) {
        bool keep = true;
        if (removeNumbers && isAsciiDigit(c)) {
            keep = false;
        }
        if (removeSymbols && !(isAsciiDigit(c) || isAsciiLetter(c) || c == U' ')) {
            keep = false;
        }
        if (removeSpaces && c == U' ') {
            keep = false;
        }
        if (keep) {
            result.push_back(c);
        }
    }
    return result;
}

double NameSimilarity(std::u32string_view a, std::u32string_view b)
{
    std::u32string upperA(a);
    std::u32string upperB(b);
    upperCaseInPlace(upperA);
    upperCaseInPlace(upperB);
    if (upperA == upperB) {
        return 1.0;
    }
    if (upperA.empty() || upperB.empty()) {
        return 0.0;
    }
    return ratioOf(commonLength(upperA, upperB), upperA.size(), upperB.size());
}

std::int32_t CommonLength(std::u32string_view NameBytes1, std::u32string_view NameBytes2,
                          std::int32_t s1, std::int32_t e1, std::int32_t s2, std::int32_t e2)
{
    if (s2 < 1 || s1 > e1 || s2 > e2 || s1 < 1) {
        return 0;
    }
    const auto range = [](std::u32string_view text, std::int32_t s, std::int32_t e) {
        const auto first = static_cast<std::size_t>(s - 1);
        const auto last = std::min(static_cast<std::size_t>(e), text.size());
        return first < last ? text.substr(first, last - first) : std::u32string_view();
    };
    std::vector<std::uint32_t> runs;
    return static_cast<std::int32_t>(
        commonLengthOf(range(NameBytes1, s1, e1), range(NameBytes2, s2, e2), runs));
}

std::size_t commonLength(std::u32string_view a, std::u32string_view b)
{
    thread_local std::vector<std::uint32_t> runs;
    return commonLengthOf(a, b, runs);
}

std::u32string prepareName(std::u32string_view name, const NameCleanup& cleanup)
{
    std::u32string_view text = trimSpaces(name.substr(0, kNameFieldChars));
    std::u32string stripped;
    if (cleanup.removeBracketedText) {
        stripped = StripBracketedText(text);
        text = stripped;
    }
    std::u32string cleaned =
        CleanName(text, cleanup.removeNumbers, cleanup.removeSymbols, cleanup.removeSpaces);
    std::u32string result(trimSpaces(cleaned));
    upperCaseInPlace(result);
    return result;
}

std::int32_t roundHalfEven(double value)
{
    // The default floating-point rounding mode rounds halves to even.
    return static_cast<std::int32_t>(std::nearbyint(value));
}

std::int32_t similarityScore(std::size_t m, std::size_t la, std::size_t lb)
{
    return roundHalfEven(ratioOf(m, la, lb) * 100.0);
}

std::int32_t preparedNameScore(std::u32string_view a, std::u32string_view b)
{
    if (a == b) {
        return 100;
    }
    if (a.empty() || b.empty()) {
        return 0;
    }
    return similarityScore(commonLength(a, b), a.size(), b.size());
}

} // namespace corvelle
