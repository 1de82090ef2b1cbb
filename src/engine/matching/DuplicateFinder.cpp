#include "matching/DuplicateFinder.h"

#include "common/Utf8.h"
#include "common/WorkerPool.h"
#include "matching/NameClasses.h"
#include "matching/NameMatching.h"
#include "matching/NameTable.h"
#include "matching/NameText.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

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

// Heads are handled in blocks: the searches of a block's classes run on all threads, then
// the heads report in order. A block is big enough to keep the threads busy and small enough
// that a stop is seen promptly.
constexpr std::size_t kBlockHeads = std::size_t{1} << 14;
constexpr std::size_t kBlockSearchWork = std::size_t{1} << 22;

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

/// The sequential rule over classes. The first head of a class takes the open members after
/// it of every class its name matches (its own class too, when equal names reach the score),
/// except its own physical file. What it leaves is that one file under its other paths: a
/// later head of the class takes those that come after it, unless it is that file too. No
/// other later head of the class finds anything, since each record it could take was open
/// after the first head too.
class ClassTakes {
public:
    ClassTakes(NameClasses& classes, const GroupingSource& source,
               std::vector<std::uint8_t>& grouped, bool equalNamesMatch)
        : m_classes(classes)
        , m_source(source)
        , m_grouped(grouped)
        , m_equalNamesMatch(equalNamesMatch)
        , m_matches(classes.count())
        , m_pendingEnd(classes.openStart.begin() + 1, classes.openStart.end())
    {}

    void add(const ClassMatch& match) { m_matches[match.taker].push_back(match.taken); }

    /// Reports the pairs of one head, in position order.
    void reportHead(std::size_t head, GroupingObserver& observer)
    {
        const std::uint32_t c = m_classes.classOf[head];
        if (c == kNoClass) {
            return;
        }
        if (head == m_classes.first[c]) {
            firstHeadTakes(c, static_cast<std::uint32_t>(head), observer);
        } else if (!m_left.empty()) {
            laterHeadTakes(c, static_cast<std::uint32_t>(head), observer);
        }
    }

private:
    void firstHeadTakes(std::uint32_t c, std::uint32_t head, GroupingObserver& observer)
    {
        const PhysicalFile file = m_source.identity(head);
        m_taken.clear();
        std::vector<std::uint32_t> left;
        if (m_equalNamesMatch) {
            takeFrom(c, head, file, left);
        }
        for (const std::uint32_t other : m_matches[c]) {
            takeFrom(other, head, file, left);
        }
        m_matches[c] = {};
        std::sort(m_taken.begin(), m_taken.end());
        for (const std::uint32_t dupe : m_taken) {
            observer.pair(head, dupe);
        }
        if (!left.empty()) {
            std::sort(left.begin(), left.end());
            m_left.emplace(c, std::move(left));
        }
    }

    /// Takes the open members of class `from` after the head that are not the head's own
    /// file; those that are stay open, and are noted in `left`.
    void takeFrom(std::uint32_t from, std::uint32_t head, const PhysicalFile& file,
                  std::vector<std::uint32_t>& left)
    {
        std::uint32_t* open = m_classes.open.data();
        std::uint32_t kept = m_classes.openStart[from];
        for (std::uint32_t k = kept; k < m_pendingEnd[from]; ++k) {
            const std::uint32_t other = open[k];
            // A record at or before the head is past every later head's reach for good.
            if (other <= head || m_grouped[other] != 0) {
                continue;
            }
            if (file.sameFileAs(m_source.identity(other))) {
                open[kept++] = other;
                left.push_back(other);
            } else {
                m_grouped[other] = 1;
                m_taken.push_back(other);
            }
        }
        m_pendingEnd[from] = kept;
    }

    void laterHeadTakes(std::uint32_t c, std::uint32_t head, GroupingObserver& observer)
    {
        const auto it = m_left.find(c);
        if (it == m_left.end()) {
            return;
        }
        std::vector<std::uint32_t>& left = it->second;
        std::erase_if(left,
                      [&](std::uint32_t other) { return other <= head || m_grouped[other] != 0; });
        if (!left.empty() && m_source.identity(head).sameFileAs(m_source.identity(left[0]))) {
            return;
        }
        for (const std::uint32_t other : left) {
            m_grouped[other] = 1;
            observer.pair(head, other);
        }
        m_left.erase(it);
    }

    NameClasses& m_classes;
    const GroupingSource& m_source;
    std::vector<std::uint8_t>& m_grouped;
    bool m_equalNamesMatch;
    std::vector<std::vector<std::uint32_t>> m_matches; // by taker class, until its first head
    std::vector<std::uint32_t> m_pendingEnd; // class c: open[openStart[c] .. here) may be taken
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> m_left; // by class
    std::vector<std::uint32_t> m_taken;
};

// Equal names make one class, so each pair of distinct names is compared once; the bounds
// and the length index skip the pairs that cannot reach the score; the heads then apply the
// rule class by class.
bool DuplicateFinder::runByName(GroupingObserver& observer)
{
    m_nameSearch = {};
    std::vector<std::uint8_t> grouped(m_count);
    for (std::size_t i = 0; i < m_count; ++i) {
        grouped[i] = m_source.grouped(i) ? 1 : 0;
    }
    NameTable names;
    NameClasses classes = classesByName(names, grouped);
    const SimilarClasses similar(classes, names, m_settings.lngMatchScore);
    ClassTakes takes(classes, m_source, grouped, m_settings.lngMatchScore <= 100);
    return reportInBlocks(classes, similar, takes, observer);
}

/// Cleans the name of each record that can take part in a pair, once, and puts the records
/// that share a partition and a name into one class.
NameClasses DuplicateFinder::classesByName(NameTable& names,
                                           const std::vector<std::uint8_t>& grouped) const
{
    const NameCleanup cleanup{m_settings.blnRemoveBracketedText, m_settings.blnRemoveNumbers,
                              m_settings.blnRemoveSymbols, m_settings.blnRemoveSpaces};
    std::vector<std::uint32_t> partitionOf(m_count, kNoClass);
    std::vector<std::uint32_t> nameOf(m_count, 0);
    for (std::size_t i = 0; i < m_count; ++i) {
        if (m_partitions->canPair(i)) {
            partitionOf[i] = m_partitions->of[i];
            nameOf[i] = names.intern(prepareName(m_source.name(i), cleanup));
        }
    }
    names.code();
    return NameClasses::of(partitionOf, nameOf, grouped,
                           [&](std::size_t i) { return m_source.identity(i); });
}

/// Runs the searches of a block of heads' classes on all threads, then reports the block's
/// heads in order, so that a record taken by an earlier head is never paired again.
bool DuplicateFinder::reportInBlocks(const NameClasses& classes, const SimilarClasses& similar,
                                     ClassTakes& takes, GroupingObserver& observer)
{
    WorkerPool pool(m_threads);
    std::vector<std::uint32_t> searched;
    std::vector<std::vector<ClassMatch>> found;
    std::vector<SearchCounts> counts;
    for (std::size_t head = 0; head + 1 < m_count;) {
        searched.clear();
        std::size_t end = head;
        std::size_t work = 0;
        for (; end + 1 < m_count && end - head < kBlockHeads && work < kBlockSearchWork; ++end) {
            const std::uint32_t c = classes.classOf[end];
            if (c != kNoClass && classes.first[c] == end) {
                searched.push_back(c);
                work += similar.laterClasses(c) + 1;
            }
        }
        found.resize(std::max(found.size(), searched.size()));
        counts.assign(searched.size(), SearchCounts{});
        pool.forEach(searched.size(), [&](std::size_t k) {
            found[k].clear();
            similar.find(searched[k], found[k], counts[k]);
        });
        for (std::size_t k = 0; k < searched.size(); ++k) {
            m_nameSearch += counts[k];
            for (const ClassMatch& match : found[k]) {
                takes.add(match);
            }
        }
        for (; head < end; ++head) {
            takes.reportHead(head, observer);
            if (!observer.headDone(head)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace corvelle
