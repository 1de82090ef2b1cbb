#include "ReferenceDedupe.h"

#include "catalogue/RecordFiles.h"
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

namespace {

std::u32string extensionAsCompared(std::string_view extension)
{
    std::u32string text = decodeName(extension, 300);
    for (char32_t& c : text) {
        c = upperChar(c);
    }
    text.erase(text.find_last_not_of(U' ') + 1);
    return text;
}

bool recordsMatch(const ReferenceRecord& a, const ReferenceRecord& b, const DedupeSettings& s)
{
    if (s.blnUseName &&
        !referenceNamesMatch(a.file, b.file, s.blnRemoveBracketedText, s.blnRemoveNumbers,
                             s.blnRemoveSymbols, s.blnRemoveSpaces, s.lngMatchScore)) {
        return false;
    }
    if (s.blnUseExtension && extensionAsCompared(a.extension) != extensionAsCompared(b.extension)) {
        return false;
    }
    if (s.blnUseSize && a.size != b.size) {
        return false;
    }
    return !s.blnUseCRC || (!a.crc.failed && !b.crc.failed && a.crc.value == b.crc.value);
}

} // namespace

ReferenceResult referenceGrouping(const std::vector<ReferenceRecord>& records,
                                  const DedupeSettings& settings, std::size_t stopAfterHeads)
{
    ReferenceResult result;
    using namespace dedupe_record;
    result.exported.resize(records.size() * kSize);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ReferenceRecord& r = records[i];
        encodeDedupeRecord(r.id, r.file, r.extension, r.size, r.crc.value,
                           &result.exported[i * kSize]);
    }
    for (std::size_t i = 0; i + 1 < records.size(); ++i) {
        for (std::size_t j = i + 1; j < records.size(); ++j) {
            if (result.exported[j * kSize + kGroupedOffset] != 0 ||
                !recordsMatch(records[i], records[j], settings) ||
                records[i].identity.sameFileAs(records[j].identity)) {
                continue;
            }
            result.exported[j * kSize + kGroupedOffset] = 1;
            char pair[8];
            putInt32(pair, records[i].id.value());
            putInt32(pair + 4, records[j].id.value());
            result.pairs.append(pair, 8);
        }
        if (i + 1 == stopAfterHeads) {
            break;
        }
    }
    return result;
}

} // namespace corvelle::test
