#include "ReferenceMatching.h"

#include "matching/NameMatching.h"
#include "matching/NameText.h"

#include <cmath>

namespace corvelle::test {

std::int32_t naiveCommonLength(const std::u32string& a, const std::u32string& b, int s1, int e1,
                               int s2, int e2)
{
    if (s2 < 1 || s1 > e1 || s2 > e2 || s1 < 1) {
        return 0;
    }
    int best = 0;
    int p1 = 0;
    int p2 = 0;
    for (int i = s1; i <= e1; ++i) {
        for (int j = s2; j <= e2; ++j) {
            int k = 0;
            while (a[static_cast<std::size_t>(i + k - 1)] ==
                   b[static_cast<std::size_t>(j + k - 1)]) {
                ++k;
                if (k > best) {
                    best = k;
                    p1 = i;
                    p2 = j;
                }
                if (j + k > e2 || i + k > e1) {
                    break;
                }
            }
        }
    }
    return naiveCommonLength(a, b, p1 + best, e1, p2 + best, e2) +
           naiveCommonLength(a, b, s1, p1 - 1, s2, p2 - 1) + best;
}

namespace {

std::u32string cleaned(std::string_view file, bool brackets, bool numbers, bool symbols,
                       bool spaces)
{
    std::u32string name(trimSpaces(decodeName(file, 300)));
    if (brackets) {
        name = StripBracketedText(name);
    }
    name = CleanName(name, numbers, symbols, spaces);
    std::u32string result(trimSpaces(name));
    for (char32_t& c : result) {
        c = upperChar(c);
    }
    return result;
}

} // namespace

bool referenceNamesMatch(std::string_view fileA, std::string_view fileB, bool brackets,
                         bool numbers, bool symbols, bool spaces, std::int32_t matchScore)
{
    const std::u32string a = cleaned(fileA, brackets, numbers, symbols, spaces);
    const std::u32string b = cleaned(fileB, brackets, numbers, symbols, spaces);
    double ratio = 0.0;
    if (a == b) {
        ratio = 1.0;
    } else if (!a.empty() && !b.empty()) {
        const int la = static_cast<int>(a.size());
        const int lb = static_cast<int>(b.size());
        const double m = naiveCommonLength(a, b, 1, la, 1, lb);
        ratio = m / (la + lb);
        ratio = ratio * 2;
    }
    const auto score = static_cast<std::int32_t>(std::nearbyint(ratio * 100));
    return score >= matchScore;
}

} // namespace corvelle::test
