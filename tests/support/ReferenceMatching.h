// The name comparison written out the plain way (triple loop, recursion over positions from
// 1), as an independent reference for the fast code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvelle::test {

std::int32_t naiveCommonLength(const std::u32string& a, const std::u32string& b, int s1, int e1,
                               int s2, int e2);

/// Trim, optional bracket removal, clean-up, trim, upper-case, ratio, score, threshold.
bool referenceNamesMatch(std::string_view fileA, std::string_view fileB, bool brackets,
                         bool numbers, bool symbols, bool spaces, std::int32_t matchScore);

} // namespace corvelle::test
