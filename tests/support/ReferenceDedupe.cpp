#include "ReferenceDedupe.h"

#include "catalogue/RecordFiles.h"
#include "matching/DuplicateFinder.h"
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

/// Trim, optional bracket removal, clean-up, trim, upper-case, ratio, score, threshold.
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

/// One record of a pair file: head ID, duplicate ID.
void appendPair(std::string& pairs, RecordId head, RecordId dupe)
{
    char pair[8];
    putInt32(pair, head.value());
    putInt32(pair + 4, dupe.value());
    pairs.append(pair, 8);
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
        result.exported[i * kSize + kGroupedOffset] = r.grouped ? 1 : 0;
    }
    for (std::size_t i = 0; i + 1 < records.size(); ++i) {
        for (std::size_t j = i + 1; j < records.size(); ++j) {
            if (result.exported[j * kSize + kGroupedOffset] != 0 ||
                !recordsMatch(records[i], records[j], settings) ||
                records[i].identity.sameFileAs(records[j].identity)) {
                continue;
            }
            result.exported[j * kSize + kGroupedOffset] = 1;
            appendPair(result.pairs, records[i].id, records[j].id);
        }
        if (i + 1 == stopAfterHeads) {
            break;
        }
    }
    return result;
}

namespace {

class ReferenceSource final : public GroupingSource {
public:
    explicit ReferenceSource(const std::vector<ReferenceRecord>& records)
        : m_records(records)
    {}
    [[nodiscard]] std::size_t count() const override { return m_records.size(); }
    [[nodiscard]] std::u32string name(std::size_t i) const override
    {
        return decodeName(m_records[i].file, 300);
    }
    [[nodiscard]] std::string extensionKey(std::size_t i) const override
    {
        return corvelle::extensionKey(m_records[i].extension);
    }
    [[nodiscard]] FileSize size(std::size_t i) const override { return m_records[i].size; }
    [[nodiscard]] Checksum crc(std::size_t i) const override { return m_records[i].crc; }
    [[nodiscard]] bool grouped(std::size_t i) const override { return m_records[i].grouped; }
    [[nodiscard]] PhysicalFile identity(std::size_t i) const override
    {
        return m_records[i].identity;
    }

private:
    const std::vector<ReferenceRecord>& m_records;
};

struct IndexPairs final : GroupingObserver {
    std::vector<std::pair<std::size_t, std::size_t>> found;
    void pair(std::size_t head, std::size_t dupe) override { found.emplace_back(head, dupe); }
    bool headDone(std::size_t) override { return true; }
};

} // namespace

FinderRun runFinder(const std::vector<ReferenceRecord>& records, const DedupeSettings& settings,
                    unsigned threads)
{
    const ReferenceSource source(records);
    DuplicateFinder finder(source, settings);
    finder.setThreads(threads);
    IndexPairs found;
    finder.run(found);
    FinderRun run;
    for (const auto& [head, dupe] : found.found) {
        appendPair(run.pairs, records[head].id, records[dupe].id);
    }
    run.nameSearch = finder.nameSearch();
    return run;
}

std::string finderPairs(const std::vector<ReferenceRecord>& records, const DedupeSettings& settings,
                        unsigned threads)
{
    return runFinder(records, settings, threads).pairs;
}

std::vector<RecordId> pairIds(std::string_view pairs)
{
    std::vector<RecordId> ids;
    for (std::size_t at = 0; at + 4 <= pairs.size(); at += 4) {
        ids.push_back(RecordId{getInt32(pairs.data() + at)});
    }
    return ids;
}

DedupeSettings settingsFromBits(unsigned bits, std::int32_t matchScore)
{
    DedupeSettings s;
    s.blnUseName = (bits & 1) != 0;
    s.blnUseExtension = (bits & 2) != 0;
    s.blnUseSize = (bits & 4) != 0;
    s.blnUseCRC = (bits & 8) != 0;
    s.blnRemoveBracketedText = (bits & 16) != 0;
    s.blnRemoveNumbers = (bits & 32) != 0;
    s.blnRemoveSymbols = (bits & 64) != 0;
    s.blnRemoveSpaces = (bits & 128) != 0;
    s.lngMatchScore = matchScore;
    return s;
}

} // namespace corvelle::test
