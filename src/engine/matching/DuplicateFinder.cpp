#include "matching/DuplicateFinder.h"

#include "common/Utf8.h"
#include "common/WorkerPool.h"
#include "matching/NameMatching.h"
#include "matching/NameText.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace corvelle {
namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// A partition of records that pass every ticked equality test with each other. Fields of
// tests that are not ticked stay 0. The size comes first, so that the key takes 16 bytes.
struct PartitionKey {
    std::int64_t size = 0;
    std::uint32_t extension = 0;
    std::uint32_t crc = 0;
    friend bool operator==(const PartitionKey&, const PartitionKey&) = default;
};
static_assert(sizeof(PartitionKey) == 16);

struct PartitionKeyHash {
    std::size_t operator()(const PartitionKey& k) const noexcept
    {
        std::uint64_t h = static_cast<std::uint64_t>(k.size) * 0x9E3779B97F4A7C15ull;
        h ^= (static_cast<std::uint64_t>(k.crc) << 32 | k.extension) * 0xBF58476D1CE4E5B9ull;
        return static_cast<std::size_t>(h ^ (h >> 29));
    }
};

/// The partition key of each record: the fields of the ticked equality tests.
class PartitionKeys {
public:
    PartitionKeys(const GroupingSource& source, const DedupeSettings& settings)
        : m_source(source)
        , m_settings(settings)
    {}

    /// Nothing when the record equals no other record: its checksum failed.
    std::optional<PartitionKey> keyOf(std::size_t i)
    {
        PartitionKey key;
        if (m_settings.blnUseCRC) {
            const Checksum crc = m_source.crc(i);
            if (crc.failed) {
                return std::nullopt;
            }
            key.crc = toCrcBits(crc.value);
        }
        if (m_settings.blnUseSize) {
            key.size = m_source.size(i).bytes();
        }
        if (m_settings.blnUseExtension) {
            const auto next = static_cast<std::uint32_t>(m_extensionIds.size());
            key.extension =
                m_extensionIds.try_emplace(m_source.extensionKey(i), next).first->second;
        }
        return key;
    }

private:
    const GroupingSource& m_source;
    const DedupeSettings& m_settings;
    std::unordered_map<std::string, std::uint32_t> m_extensionIds; // numbered as first seen
};

/// Numbers the distinct keys from 0 in the order they are first seen, through an
/// open-addressing table: one probe sequence per record, no allocation per record.
class PartitionIds {
public:
    explicit PartitionIds(std::size_t records)
    {
        std::size_t capacity = 16;
        while (capacity < 2 * records) {
            capacity *= 2;
        }
        m_table.assign(capacity, kNone);
        m_mask = capacity - 1;
    }

    std::uint32_t idOf(const PartitionKey& key)
    {
        std::size_t slot = m_hash(key) & m_mask;
        while (m_table[slot] != kNone && !(m_keys[m_table[slot]] == key)) {
            slot = (slot + 1) & m_mask;
        }
        if (m_table[slot] == kNone) {
            m_table[slot] = static_cast<std::uint32_t>(m_keys.size());
            m_keys.push_back(key);
        }
        return m_table[slot];
    }

private:
    std::vector<PartitionKey> m_keys; // by ID
    std::vector<std::uint32_t> m_table;
    std::size_t m_mask = 0;
    PartitionKeyHash m_hash;
};

// A name's characters counted by slot: the most frequent characters of all names have a slot
// each, the rest share the last one.
constexpr std::size_t kSlots = 64;
using Histogram = std::array<std::uint8_t, kSlots>;
using CharacterSlots = std::unordered_map<char32_t, std::uint8_t>;

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

/// Per record: its name's histogram, and whether every count fitted in a byte (a saturated
/// count could bound too low, so such a histogram is never used to skip a pair).
struct CharacterHistograms {
    std::vector<Histogram> counts;
    std::vector<std::uint8_t> exact;

    /// Whether the names of records a and b surely share fewer than `needed` characters.
    [[nodiscard]] bool shareFewerThan(std::size_t a, std::size_t b, std::uint32_t needed) const
    {
        return exact[a] != 0 && exact[b] != 0 && sharedCharacters(counts[a], counts[b]) < needed;
    }
};

/// A large partition's members sorted by (name length, position): the members whose names
/// have length l are members[start[l] .. start[l + 1]).
struct LengthIndex {
    std::vector<std::uint32_t> members;
    std::vector<std::uint32_t> start;
};

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

    /// Fills start and members once every record has its partition and rank.
    void listMembers(const std::vector<std::uint32_t>& sizes)
    {
        start.assign(sizes.size() + 1, 0);
        for (std::size_t p = 0; p < sizes.size(); ++p) {
            start[p + 1] = start[p] + sizes[p];
        }
        members.assign(start.back(), 0);
        for (std::size_t i = 0; i < of.size(); ++i) {
            if (of[i] != kNone) {
                members[start[of[i]] + rank[i]] = static_cast<std::uint32_t>(i);
            }
        }
    }

    [[nodiscard]] std::size_t count() const { return start.size() - 1; }
    [[nodiscard]] std::size_t sizeOf(std::uint32_t p) const { return start[p + 1] - start[p]; }
    [[nodiscard]] std::span<const std::uint32_t> membersOf(std::uint32_t p) const
    {
        return {members.data() + start[p], members.data() + start[p + 1]};
    }
    /// Whether record i shares its partition with another record: only then can it pair.
    [[nodiscard]] bool canPair(std::size_t i) const { return of[i] != kNone && sizeOf(of[i]) > 1; }
    /// The later members of record i's partition: the only records it can take as duplicates.
    [[nodiscard]] std::span<const std::uint32_t> laterMembers(std::size_t i) const
    {
        if (of[i] == kNone) {
            return {};
        }
        return membersOf(of[i]).subspan(rank[i] + 1);
    }
};

/// The prepared names of the records that share a partition with another record, and what
/// makes skipping hopeless pairs cheap: character histograms, the least number of matched
/// characters each pair of lengths needs, and a name-length index of the large partitions.
/// runByName builds it stage by stage; then many threads read it at once.
struct DuplicateFinder::Names {
    std::int32_t matchScore = 0;
    std::vector<std::u32string> text;
    std::size_t maxLength = 0;
    CharacterHistograms histograms;
    std::vector<std::uint32_t> neededMatches; // [la * (maxLength + 1) + lb]
    std::unordered_map<std::uint32_t, LengthIndex> byLength;

    [[nodiscard]] std::uint32_t needed(std::size_t la, std::size_t lb) const
    {
        return neededMatches[la * (maxLength + 1) + lb];
    }

    void indexLargePartitions(const Partitions& parts);
    [[nodiscard]] LengthIndex lengthIndexOf(std::span<const std::uint32_t> members) const;

    /// Whether the names of two records reach the match score; the cheap bounds go first.
    [[nodiscard]] bool matches(std::size_t head, std::uint32_t other) const
    {
        const std::u32string& a = text[head];
        const std::u32string& b = text[other];
        const std::uint32_t least = needed(a.size(), b.size());
        if (std::min(a.size(), b.size()) < least) {
            return false;
        }
        if (histograms.shareFewerThan(head, other, least)) {
            return false;
        }
        return preparedNameScore(a, b) >= matchScore;
    }

    void findMatches(const Partitions& parts, std::size_t head,
                     std::vector<std::uint32_t>& out) const;
    void findMatchesByLength(const LengthIndex& index, std::size_t head,
                             std::vector<std::uint32_t>& out) const;
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
    PartitionKeys keys(m_source, m_settings);
    PartitionIds ids(m_count);
    std::vector<std::uint32_t> sizes;
    for (std::size_t i = 0; i < m_count; ++i) {
        const std::optional<PartitionKey> key = keys.keyOf(i);
        if (!key) {
            continue;
        }
        const std::uint32_t p = ids.idOf(*key);
        if (p == sizes.size()) {
            sizes.push_back(0);
        }
        parts.of[i] = p;
        parts.rank[i] = sizes[p]++;
    }
    parts.listMembers(sizes);
}

bool DuplicateFinder::runTransitive(GroupingObserver& observer)
{
    // Every test is an equivalence here, so the first member of a partition takes every later
    // member that is not grouped yet, except its own physical file. What it leaves (besides
    // records grouped before the pass) is that one file under its other paths. A later
    // member that is another file takes all of them that come after it; one that is the same
    // file takes none. Any other member finds nobody left.
    const Partitions& parts = *m_partitions;
    struct SameFileLeft {
        std::vector<std::uint32_t> members; // in position order
        std::size_t next = 0;               // the first one that may still come after a head
    };
    std::unordered_map<std::uint32_t, SameFileLeft> left; // by partition

    const auto firstMemberTakes = [&](std::size_t head) {
        const std::span<const std::uint32_t> later = parts.laterMembers(head);
        if (later.empty()) {
            return;
        }
        const PhysicalFile file = m_source.identity(head);
        SameFileLeft same;
        for (const std::uint32_t other : later) {
            if (m_source.grouped(other)) {
                continue;
            }
            if (file.sameFileAs(m_source.identity(other))) {
                same.members.push_back(other);
            } else {
                observer.pair(head, other);
            }
        }
        if (!same.members.empty()) {
            left.emplace(parts.of[head], std::move(same));
        }
    };
    const auto laterMemberTakes = [&](std::size_t head) {
        const auto it = left.find(parts.of[head]);
        if (it == left.end()) {
            return;
        }
        SameFileLeft& same = it->second;
        const std::size_t end = same.members.size();
        while (same.next < end && same.members[same.next] <= head) {
            ++same.next;
        }
        if (same.next < end &&
            !m_source.identity(head).sameFileAs(m_source.identity(same.members[same.next]))) {
            for (; same.next < end; ++same.next) {
                observer.pair(head, same.members[same.next]);
            }
        }
        if (same.next == end) {
            left.erase(it);
        }
    };

    for (std::size_t head = 0; head + 1 < m_count; ++head) {
        if (parts.of[head] != kNone) {
            if (parts.rank[head] == 0) {
                firstMemberTakes(head);
            } else if (!left.empty()) {
                laterMemberTakes(head);
            }
        }
        if (!observer.headDone(head)) {
            return false;
        }
    }
    return true;
}

namespace {

/// The most frequent characters of all names get a histogram slot of their own; the rest
/// share the last one, which only loosens the bound (merged counts never share fewer).
CharacterSlots slotsByFrequency(const std::vector<std::u32string>& names)
{
    std::unordered_map<char32_t, std::size_t> frequency;
    for (const std::u32string& name : names) {
        for (const char32_t c : name) {
            ++frequency[c];
        }
    }
    std::vector<std::pair<std::size_t, char32_t>> ranked;
    for (const auto& [c, n] : frequency) {
        ranked.emplace_back(n, c);
    }
    std::sort(ranked.begin(), ranked.end(), std::greater<>());
    CharacterSlots slotOf;
    for (std::size_t k = 0; k < ranked.size() && k + 1 < kSlots; ++k) {
        slotOf[ranked[k].second] = static_cast<std::uint8_t>(k);
    }
    return slotOf;
}

/// Counts a name's characters by slot into `histogram`, each count capped at 255. Returns
/// false when a count did not fit.
bool fillHistogram(std::u32string_view name, const CharacterSlots& slots, Histogram& histogram)
{
    std::array<std::uint32_t, kSlots> counts{};
    for (const char32_t c : name) {
        const auto slot = slots.find(c);
        ++counts[slot == slots.end() ? kSlots - 1 : slot->second];
    }
    bool exact = true;
    for (std::size_t k = 0; k < kSlots; ++k) {
        if (counts[k] > 255) {
            exact = false;
        }
        histogram[k] = static_cast<std::uint8_t>(std::min<std::uint32_t>(counts[k], 255));
    }
    return exact;
}

CharacterHistograms histogramsOf(const std::vector<std::u32string>& names,
                                 const CharacterSlots& slots)
{
    CharacterHistograms histograms;
    histograms.counts.resize(names.size());
    histograms.exact.assign(names.size(), 1);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!fillHistogram(names[i], slots, histograms.counts[i])) {
            histograms.exact[i] = 0;
        }
    }
    return histograms;
}

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

/// Pairs a head with each of its matches that no earlier head took and that is not its own
/// physical file, in position order.
bool reportHead(std::size_t head, const std::vector<std::uint32_t>& matches,
                const GroupingSource& source, std::vector<std::uint8_t>& grouped,
                GroupingObserver& observer)
{
    if (!matches.empty()) {
        const PhysicalFile file = source.identity(head);
        for (const std::uint32_t other : matches) {
            if (grouped[other] == 0 && !file.sameFileAs(source.identity(other))) {
                grouped[other] = 1;
                observer.pair(head, other);
            }
        }
    }
    return observer.headDone(head);
}

} // namespace

void DuplicateFinder::Names::indexLargePartitions(const Partitions& parts)
{
    for (std::uint32_t p = 0; p < parts.count(); ++p) {
        if (parts.sizeOf(p) >= kIndexedPartition) {
            byLength.emplace(p, lengthIndexOf(parts.membersOf(p)));
        }
    }
}

LengthIndex DuplicateFinder::Names::lengthIndexOf(std::span<const std::uint32_t> members) const
{
    LengthIndex index;
    index.members.assign(members.begin(), members.end());
    std::stable_sort(
        index.members.begin(), index.members.end(),
        [&](std::uint32_t x, std::uint32_t y) { return text[x].size() < text[y].size(); });
    index.start.assign(maxLength + 2, 0);
    for (const std::uint32_t member : index.members) {
        ++index.start[text[member].size() + 1];
    }
    for (std::size_t l = 1; l < index.start.size(); ++l) {
        index.start[l] += index.start[l - 1];
    }
    return index;
}

/// The records after `head` in its partition whose names match, in position order.
void DuplicateFinder::Names::findMatches(const Partitions& parts, std::size_t head,
                                         std::vector<std::uint32_t>& out) const
{
    out.clear();
    const std::span<const std::uint32_t> later = parts.laterMembers(head);
    if (later.empty()) {
        return;
    }
    const auto index = byLength.find(parts.of[head]);
    if (index != byLength.end()) {
        findMatchesByLength(index->second, head, out);
        return;
    }
    for (const std::uint32_t other : later) {
        if (matches(head, other)) {
            out.push_back(other);
        }
    }
}

/// The same through a length index: only lengths that can reach the score are visited.
void DuplicateFinder::Names::findMatchesByLength(const LengthIndex& index, std::size_t head,
                                                 std::vector<std::uint32_t>& out) const
{
    const std::size_t la = text[head].size();
    for (std::size_t lb = 0; lb <= maxLength; ++lb) {
        if (std::min(la, lb) < needed(la, lb)) {
            continue;
        }
        // Members of one length are in position order: those after the head form the tail.
        const auto first = index.members.begin() + index.start[lb];
        const auto last = index.members.begin() + index.start[lb + 1];
        for (auto it = std::upper_bound(first, last, static_cast<std::uint32_t>(head)); it != last;
             ++it) {
            if (matches(head, *it)) {
                out.push_back(*it);
            }
        }
    }
    std::sort(out.begin(), out.end());
}

// Names are cleaned once; histograms, the needed-match table and the length index then let
// the heads skip the pairs that cannot reach the score.
bool DuplicateFinder::runByName(GroupingObserver& observer)
{
    Names names = prepareNames();
    names.histograms = histogramsOf(names.text, slotsByFrequency(names.text));
    names.neededMatches = neededMatchTable(names.maxLength, names.matchScore);
    names.indexLargePartitions(*m_partitions);
    return reportInBlocks(names, observer);
}

/// Cleans each name that can take part in a pair, once; the others stay empty.
DuplicateFinder::Names DuplicateFinder::prepareNames() const
{
    const NameCleanup cleanup{m_settings.blnRemoveBracketedText, m_settings.blnRemoveNumbers,
                              m_settings.blnRemoveSymbols, m_settings.blnRemoveSpaces};
    Names names;
    names.matchScore = m_settings.lngMatchScore;
    names.text.resize(m_count);
    for (std::size_t i = 0; i < m_count; ++i) {
        if (m_partitions->canPair(i)) {
            names.text[i] = prepareName(m_source.name(i), cleanup);
            names.maxLength = std::max(names.maxLength, names.text[i].size());
        }
    }
    return names;
}

/// Finds the matches of a block of heads on all threads, then reports them head by head in
/// order, so a record taken by an earlier head is never paired again.
bool DuplicateFinder::reportInBlocks(const Names& names, GroupingObserver& observer) const
{
    const Partitions& parts = *m_partitions;
    const auto blockEnd = [&](std::size_t head) {
        std::size_t end = head;
        std::size_t pairs = 0;
        while (end + 1 < m_count && end - head < kBlockHeads && pairs < kBlockPairs) {
            pairs += parts.laterMembers(end).size();
            ++end;
        }
        return end;
    };
    std::vector<std::uint8_t> grouped(m_count);
    for (std::size_t i = 0; i < m_count; ++i) {
        grouped[i] = m_source.grouped(i) ? 1 : 0;
    }
    WorkerPool pool(m_threads);
    std::vector<std::vector<std::uint32_t>> found;
    for (std::size_t head = 0; head + 1 < m_count;) {
        const std::size_t end = blockEnd(head);
        found.resize(end - head);
        pool.forEach(end - head,
                     [&](std::size_t k) { names.findMatches(parts, head + k, found[k]); });
        for (std::size_t k = 0; k < end - head; ++k) {
            if (!reportHead(head + k, found[k], m_source, grouped, observer)) {
                return false;
            }
        }
        head = end;
    }
    return true;
}

} // namespace corvelle
