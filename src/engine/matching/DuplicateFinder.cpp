#include "matching/DuplicateFinder.h"

#include "common/Utf8.h"
#include "common/WorkerPool.h"
#include "matching/NameMatching.h"
#include "matching/NameText.h"

#include <algorithm>
#include <array>
#include <limits>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvelle {
namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// A partition of records that pass every ticked equality test with each other. Fields of
// tests that are not ticked stay 0.
struct PartitionKey {
    std::uint32_t extension = 0;
    std::int64_t size = 0;
    std::uint32_t crc = 0;
    friend bool operator==(const PartitionKey&, const PartitionKey&) = default;
};

struct PartitionKeyHash {
    std::size_t operator()(const PartitionKey& k) const noexcept
    {
        std::uint64_t h = static_cast<std::uint64_t>(k.size) * 0x9E3779B97F4A7C15ull;
        h ^= (static_cast<std::uint64_t>(k.crc) << 32 | k.extension) * 0xBF58476D1CE4E5B9ull;
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

constexpr std::size_t kSlots = 64;
using Histogram = std::array<std::uint8_t, kSlots>;

/// Sum over the slots of the smaller count: no two names share more characters than this.
std::uint32_t sharedCharacters(const Histogram& a, const Histogram& b)
{
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    __m128i sum = zero;
    for (std::size_t k = 0; k < kSlots; k += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a.data() + k));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b.data() + k));
        sum = _mm_add_epi64(sum, _mm_sad_epu8(_mm_min_epu8(x, y), zero));
    }
    return static_cast<std::uint32_t>(_mm_cvtsi128_si32(sum) +
                                      _mm_cvtsi128_si32(_mm_srli_si128(sum, 8)));
#else
    std::uint32_t sum = 0;
    for (std::size_t k = 0; k < kSlots; ++k) {
        sum += std::min(a[k], b[k]);
    }
    return sum;
#endif
}

// Heads are compared in blocks: big enough to keep the threads busy, small enough that a
// stop is seen promptly.
constexpr std::size_t kBlockPairs = std::size_t{1} << 21;
constexpr std::size_t kBlockHeads = std::size_t{1} << 14;
// Partitions at least this large get an index of their members by name length.
constexpr std::size_t kIndexedPartition = 64;

} // namespace

std::string extensionKey(std::string_view utf8Bytes)
{
    const std::string_view field = utf8Bytes.substr(0, kNameFieldChars);
    if (!isAscii(field)) {
        return extensionKey(decodeName(utf8Bytes, kNameFieldChars));
    }
    // ASCII bytes are their own characters: upper-case them in place, no decoding needed.
    std::string key(field);
    for (char& c : key) {
        c = asciiUpper(c);
    }
    key.erase(key.find_last_not_of(' ') + 1);
    return key;
}

std::string extensionKey(std::u32string_view text)
{
    std::u32string upper(text.substr(0, kNameFieldChars));
    upperCaseInPlace(upper);
    upper.erase(upper.find_last_not_of(U' ') + 1);
    // An escaped byte encodes as its surrogate's three bytes, which no real character gives,
    // so the key stays one-to-one.
    std::string key;
    key.reserve(upper.size());
    for (const char32_t c : upper) {
        appendUtf8(key, c);
    }
    return key;
}

struct DuplicateFinder::Partitions {
    std::vector<std::uint32_t> of;      // per record: its partition, or kNone
    std::vector<std::uint32_t> rank;    // per record: its index among its partition's members
    std::vector<std::uint32_t> start;   // partition p: members[start[p] .. start[p + 1])
    std::vector<std::uint32_t> members; // record positions, ascending within a partition

    [[nodiscard]] std::size_t sizeOf(std::uint32_t p) const { return start[p + 1] - start[p]; }
    /// How many later members a record can pair with.
    [[nodiscard]] std::size_t laterMembers(std::size_t i) const
    {
        return of[i] == kNone ? 0 : sizeOf(of[i]) - rank[i] - 1;
    }
};

/// The prepared names of the records that share a partition with another record, and what
/// makes skipping hopeless pairs cheap: character histograms, a name-length index of the
/// large partitions, and the least number of matched characters each pair of lengths needs.
struct DuplicateFinder::Names {
    std::vector<std::u32string> text;
    std::vector<Histogram> histogram;
    std::vector<std::uint8_t> histogramExact; // 0 when a count did not fit in a byte
    std::size_t maxLength = 0;
    std::vector<std::uint32_t> neededMatches; // [la * (maxLength + 1) + lb]
    // Large partitions: members sorted by (length, position); byLength[p] indexes lengths.
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> lengthStart;
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> byLength;

    [[nodiscard]] std::uint32_t needed(std::size_t la, std::size_t lb) const
    {
        return neededMatches[la * (maxLength + 1) + lb];
    }
};

DuplicateFinder::DuplicateFinder(const GroupingSource& source, const DedupeSettings& settings)
    : m_source(source)
    , m_settings(settings)
    , m_threads(std::thread::hardware_concurrency())
    , m_count(source.count())
{}

DuplicateFinder::~DuplicateFinder() = default;

bool DuplicateFinder::run(GroupingObserver& observer)
{
    if (m_count < 2) {
        return true;
    }
    partition();
    const bool nameAlwaysPasses = !m_settings.blnUseName || m_settings.lngMatchScore <= 0;
    return nameAlwaysPasses ? runTransitive(observer) : runByName(observer);
}

void DuplicateFinder::partition()
{
    m_partitions = std::make_unique<Partitions>();
    Partitions& parts = *m_partitions;
    parts.of.assign(m_count, kNone);
    parts.rank.assign(m_count, 0);

    // Partition IDs by key through an open-addressing table: one probe sequence per record,
    // no allocation per record.
    std::unordered_map<std::string, std::uint32_t> extensionIds;
    std::vector<PartitionKey> keys;
    std::vector<std::uint32_t> sizes;
    std::size_t capacity = 16;
    while (capacity < 2 * m_count) {
        capacity *= 2;
    }
    std::vector<std::uint32_t> table(capacity, kNone);
    const PartitionKeyHash hash;
    for (std::size_t i = 0; i < m_count; ++i) {
        PartitionKey key;
        if (m_settings.blnUseCRC) {
            const Checksum crc = m_source.crc(i);
            if (crc.failed) {
                continue; // a failed checksum equals nothing
            }
            key.crc = toCrcBits(crc.value);
        }
        if (m_settings.blnUseSize) {
            key.size = m_source.size(i);
        }
        if (m_settings.blnUseExtension) {
            const auto next = static_cast<std::uint32_t>(extensionIds.size());
            key.extension = extensionIds.try_emplace(m_source.extensionKey(i), next).first->second;
        }
        std::size_t slot = hash(key) & (capacity - 1);
        while (table[slot] != kNone && !(keys[table[slot]] == key)) {
            slot = (slot + 1) & (capacity - 1);
        }
        if (table[slot] == kNone) {
            table[slot] = static_cast<std::uint32_t>(keys.size());
            keys.push_back(key);
            sizes.push_back(0);
        }
        const std::uint32_t p = table[slot];
        parts.of[i] = p;
        parts.rank[i] = sizes[p]++;
    }

    parts.start.assign(sizes.size() + 1, 0);
    for (std::size_t p = 0; p < sizes.size(); ++p) {
        parts.start[p + 1] = parts.start[p] + sizes[p];
    }
    parts.members.assign(parts.start.back(), 0);
    for (std::size_t i = 0; i < m_count; ++i) {
        if (parts.of[i] != kNone) {
            parts.members[parts.start[parts.of[i]] + parts.rank[i]] = static_cast<std::uint32_t>(i);
        }
    }
}

bool DuplicateFinder::runTransitive(GroupingObserver& observer)
{
    // Every test is an equivalence here, so the first member of a partition takes every later
    // member that is not grouped yet, and the later members find nobody left.
    const Partitions& parts = *m_partitions;
    for (std::size_t head = 0; head + 1 < m_count; ++head) {
        if (parts.of[head] != kNone && parts.rank[head] == 0) {
            const std::uint32_t p = parts.of[head];
            for (std::uint32_t k = parts.start[p] + 1; k < parts.start[p + 1]; ++k) {
                if (!m_source.grouped(parts.members[k])) {
                    observer.pair(head, parts.members[k]);
                }
            }
        }
        if (!observer.headDone(head)) {
            return false;
        }
    }
    return true;
}

namespace {

/// The least m at which m matched characters reach the score, for every pair of lengths
/// (a value above both lengths when no m does).
std::vector<std::uint32_t> neededMatchTable(std::size_t maxLength, std::int32_t matchScore)
{
    const std::size_t side = maxLength + 1;
    std::vector<std::uint32_t> table(side * side);
    for (std::size_t la = 0; la <= maxLength; ++la) {
        for (std::size_t lb = 0; lb <= maxLength; ++lb) {
            std::uint32_t needed = 0;
            if (la + lb == 0) {
                needed = matchScore <= 100 ? 0 : 1; // two empty names are equal: score 100
            } else {
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
                needed = static_cast<std::uint32_t>(low);
            }
            table[la * side + lb] = needed;
        }
    }
    return table;
}

} // namespace

bool DuplicateFinder::runByName(GroupingObserver& observer)
{
    const Partitions& parts = *m_partitions;
    const std::int32_t score = m_settings.lngMatchScore;
    const NameCleanup cleanup{m_settings.blnRemoveBracketedText, m_settings.blnRemoveNumbers,
                              m_settings.blnRemoveSymbols, m_settings.blnRemoveSpaces};

    // Prepare each name that can take part in a pair, once.
    Names names;
    names.text.resize(m_count);
    std::unordered_map<char32_t, std::size_t> frequency;
    for (std::size_t i = 0; i < m_count; ++i) {
        if (parts.of[i] == kNone || parts.sizeOf(parts.of[i]) < 2) {
            continue;
        }
        names.text[i] = prepareName(m_source.name(i), cleanup);
        names.maxLength = std::max(names.maxLength, names.text[i].size());
        for (const char32_t c : names.text[i]) {
            ++frequency[c];
        }
    }

    // The most frequent characters get a histogram slot of their own; the rest share the
    // last one, which only loosens the bound (merged counts never share fewer).
    std::vector<std::pair<std::size_t, char32_t>> ranked;
    for (const auto& [c, n] : frequency) {
        ranked.emplace_back(n, c);
    }
    std::sort(ranked.begin(), ranked.end(), std::greater<>());
    std::unordered_map<char32_t, std::uint8_t> slotOf;
    for (std::size_t k = 0; k < ranked.size() && k + 1 < kSlots; ++k) {
        slotOf[ranked[k].second] = static_cast<std::uint8_t>(k);
    }
    names.histogram.resize(m_count);
    names.histogramExact.assign(m_count, 1);
    for (std::size_t i = 0; i < m_count; ++i) {
        std::array<std::uint32_t, kSlots> counts{};
        for (const char32_t c : names.text[i]) {
            const auto slot = slotOf.find(c);
            ++counts[slot == slotOf.end() ? kSlots - 1 : slot->second];
        }
        for (std::size_t k = 0; k < kSlots; ++k) {
            if (counts[k] > 255) {
                names.histogramExact[i] = 0;
            }
            names.histogram[i][k] =
                static_cast<std::uint8_t>(std::min<std::uint32_t>(counts[k], 255));
        }
    }
    names.neededMatches = neededMatchTable(names.maxLength, score);

    // Large partitions get their members indexed by name length.
    for (std::uint32_t p = 0; p + 1 < parts.start.size(); ++p) {
        if (parts.sizeOf(p) < kIndexedPartition) {
            continue;
        }
        std::vector<std::uint32_t> sorted(parts.members.begin() + parts.start[p],
                                          parts.members.begin() + parts.start[p + 1]);
        std::stable_sort(sorted.begin(), sorted.end(), [&](std::uint32_t x, std::uint32_t y) {
            return names.text[x].size() < names.text[y].size();
        });
        std::vector<std::uint32_t> lengthStart(names.maxLength + 2, 0);
        for (const std::uint32_t member : sorted) {
            ++lengthStart[names.text[member].size() + 1];
        }
        for (std::size_t l = 1; l < lengthStart.size(); ++l) {
            lengthStart[l] += lengthStart[l - 1];
        }
        names.lengthStart.emplace(p, std::move(lengthStart));
        names.byLength.emplace(p, std::move(sorted));
    }

    const auto matches = [&](std::size_t head, std::uint32_t other) {
        const std::u32string& a = names.text[head];
        const std::u32string& b = names.text[other];
        const std::uint32_t needed = names.needed(a.size(), b.size());
        if (std::min(a.size(), b.size()) < needed) {
            return false;
        }
        if (names.histogramExact[head] != 0 && names.histogramExact[other] != 0 &&
            sharedCharacters(names.histogram[head], names.histogram[other]) < needed) {
            return false;
        }
        return preparedNameScore(a, b) >= score;
    };

    // The records after `head` in its partition whose names match, in position order.
    const auto findMatches = [&](std::size_t head, std::vector<std::uint32_t>& out) {
        out.clear();
        const std::uint32_t p = parts.of[head];
        const auto byLength = names.byLength.find(p);
        if (byLength == names.byLength.end()) {
            for (std::uint32_t k = parts.start[p] + parts.rank[head] + 1; k < parts.start[p + 1];
                 ++k) {
                if (matches(head, parts.members[k])) {
                    out.push_back(parts.members[k]);
                }
            }
            return;
        }
        const std::vector<std::uint32_t>& lengthStart = names.lengthStart.at(p);
        const std::size_t la = names.text[head].size();
        for (std::size_t lb = 0; lb <= names.maxLength; ++lb) {
            if (std::min(la, lb) < names.needed(la, lb)) {
                continue;
            }
            const auto first = byLength->second.begin() + lengthStart[lb];
            const auto last = byLength->second.begin() + lengthStart[lb + 1];
            for (auto it = std::upper_bound(first, last, static_cast<std::uint32_t>(head));
                 it != last; ++it) {
                if (matches(head, *it)) {
                    out.push_back(*it);
                }
            }
        }
        std::sort(out.begin(), out.end());
    };

    std::vector<std::uint8_t> grouped(m_count);
    for (std::size_t i = 0; i < m_count; ++i) {
        grouped[i] = m_source.grouped(i) ? 1 : 0;
    }
    WorkerPool pool(m_threads);
    std::vector<std::vector<std::uint32_t>> found;
    std::size_t head = 0;
    while (head + 1 < m_count) {
        std::size_t end = head;
        std::size_t pairs = 0;
        while (end + 1 < m_count && end - head < kBlockHeads && pairs < kBlockPairs) {
            pairs += parts.laterMembers(end);
            ++end;
        }
        found.resize(end - head);
        pool.forEach(end - head, [&](std::size_t k) {
            if (parts.laterMembers(head + k) > 0) {
                findMatches(head + k, found[k]);
            } else {
                found[k].clear();
            }
        });
        for (std::size_t k = 0; k < end - head; ++k) {
            for (const std::uint32_t other : found[k]) {
                if (grouped[other] == 0) {
                    grouped[other] = 1;
                    observer.pair(head + k, other);
                }
            }
            if (!observer.headDone(head + k)) {
                return false;
            }
        }
        head = end;
    }
    return true;
}

} // namespace corvelle
