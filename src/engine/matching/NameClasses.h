// Records that share a partition (they pass every ticked equality test with each other) and a
// prepared name form a class. The name test gives every member of a class the same answer
// against every member of another, so it runs once per pair of classes, and a class matches
// itself whenever equal names reach the score.
#pragma once

#include "common/PhysicalFile.h"
#include "matching/NameBounds.h"
#include "matching/NameTable.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <vector>

namespace corvelle {

inline constexpr std::uint32_t kNoClass = std::numeric_limits<std::uint32_t>::max();

struct NameClasses {
    std::vector<std::uint32_t> classOf;   // by record position: its class, or kNoClass
    std::vector<std::uint32_t> nameOf;    // by class: its NameTable id
    std::vector<std::uint32_t> partition; // by class
    std::vector<std::uint32_t> first;     // by class: its first member's position
    /// By class: 1 + the position of its last open member (one not grouped before the pass),
    /// 0 when it has none. Only open members can still be taken.
    std::vector<std::uint32_t> openEnd;
    /// By class: 1 + the position of its last open member that is the same physical file as
    /// its first member, 0 when none. The first head takes every other open member of its
    /// class, so only these can be left for the heads of other classes.
    std::vector<std::uint32_t> linkedEnd;
    std::vector<std::uint32_t> openStart; // class c: open[openStart[c] .. openStart[c + 1])
    std::vector<std::uint32_t> open;      // open members, by class, in position order

    /// partitionOf[i]: record i's partition, or kNoClass when it can pair with no record;
    /// fileOf[i]: the physical file it was made from.
    static NameClasses of(std::span<const std::uint32_t> partitionOf,
                          std::span<const std::uint32_t> nameOf,
                          std::span<const std::uint8_t> grouped,
                          const std::function<PhysicalFile(std::size_t)>& fileOf);

    [[nodiscard]] std::size_t count() const { return nameOf.size(); }
};

/// Heads of class `taker` take the open members of class `taken`: the taker's name, compared
/// first, reaches the score against the taken's.
struct ClassMatch {
    std::uint32_t taker;
    std::uint32_t taken;
};

/// How much work the search did: pairs of classes looked at, pairs that passed the bounds and
/// were compared exactly (in one direction or both), and matches found.
struct SearchCounts {
    std::uint64_t visited = 0;
    std::uint64_t comparedExactly = 0;
    std::uint64_t matched = 0;

    SearchCounts& operator+=(const SearchCounts& other);
};

/// Finds the matching pairs of different classes of a partition. Each pair of classes is
/// looked at once, by the class whose first member comes first, which settles both ways
/// round: the score depends on which name comes first.
class SimilarClasses {
public:
    SimilarClasses(const NameClasses& classes, const NameTable& names, std::int32_t matchScore);

    /// The matches, either way round, between class c and the classes of its partition whose
    /// first member comes after c's, where the taken class can still have an open member
    /// after the taker's first.
    void find(std::uint32_t c, std::vector<ClassMatch>& out, SearchCounts& counts) const;

    /// At most how many classes find(c) looks at.
    [[nodiscard]] std::size_t laterClasses(std::uint32_t c) const;

private:
    // The classes of each partition ordered by name length, then by first member: for each
    // length that can reach the score, the classes a search looks at are the tail of one run.
    struct LengthRun {
        std::uint32_t length;
        std::uint32_t begin;
        std::uint32_t end;
    };
    struct Entry {
        std::uint32_t cls;
        std::uint32_t first;
        std::uint32_t openEnd;
    };

    void index();
    void addRuns(const std::vector<std::uint32_t>& order);
    [[nodiscard]] std::size_t lengthOf(std::uint32_t c) const
    {
        return m_names.length(m_classes.nameOf[c]);
    }
    void findInRun(std::uint32_t c, const LengthRun& run, LcsBound& lcs,
                   std::vector<ClassMatch>& out, SearchCounts& counts) const;
    [[nodiscard]] bool matches(std::uint32_t taker, std::uint32_t taken) const;

    const NameClasses& m_classes;
    const NameTable& m_names;
    std::int32_t m_matchScore;
    NeededMatches m_needed;
    std::vector<std::uint32_t> m_runStart; // partition p: m_runs[m_runStart[p] .. [p + 1])
    std::vector<LengthRun> m_runs;
    std::vector<Signature> m_signatures; // by entry, beside m_entries for a tight scan
    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_rank; // by class: its place among its partition's by first
    std::vector<std::uint32_t> m_partitionSize; // classes per partition
};

} // namespace corvelle
