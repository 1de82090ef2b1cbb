// DuplicateFinder: which records duplicate which, in the order the sequential rule finds them.
// The rule: for each record in export order (the head), every later record that is not yet
// grouped, passes every ticked test and is not the head's own physical file (a hard link, or
// the same file reached through another path) joins the head's group. The finder keeps the
// rule's results and their order while doing far less work: records are partitioned by the
// equality tests, names are cleaned once, records with equal names are compared as one, and
// name pairs that cannot reach the match score are skipped by exact bounds.
#pragma once

#include "common/DedupeSettings.h"
#include "common/PhysicalFile.h"
#include "common/Types.h"
#include "matching/NameClasses.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

class ClassTakes;
class NameTable;

/// What the finder needs of each record, by export position (from 0).
class GroupingSource {
public:
    virtual ~GroupingSource() = default;
    [[nodiscard]] virtual std::size_t count() const = 0;
    /// The name as compared: its first 300 characters.
    [[nodiscard]] virtual std::u32string name(std::size_t i) const = 0;
    /// The extension as compared: upper-cased, without trailing spaces (see extensionKey).
    [[nodiscard]] virtual std::string extensionKey(std::size_t i) const = 0;
    [[nodiscard]] virtual FileSize size(std::size_t i) const = 0;
    [[nodiscard]] virtual Checksum crc(std::size_t i) const = 0;
    /// The record's Grouped mark before the pass.
    [[nodiscard]] virtual bool grouped(std::size_t i) const = 0;
    /// The physical file the record was made from (unknown: one file with no other).
    [[nodiscard]] virtual PhysicalFile identity(std::size_t i) const = 0;
};

/// The comparable form of an extension given as UTF-8 bytes: its first 300 characters,
/// upper-cased, trailing spaces removed.
std::string extensionKey(std::string_view utf8Bytes);
/// The same for an extension given as Unicode text.
std::string extensionKey(std::u32string_view text);

/// Receives the findings head by head.
class GroupingObserver {
public:
    virtual ~GroupingObserver() = default;
    /// The record at position dupe joins the group of the record at position head.
    virtual void pair(std::size_t head, std::size_t dupe) = 0;
    /// Every pair of this head has been reported. Return false to stop after it.
    virtual bool headDone(std::size_t head) = 0;
};

class DuplicateFinder {
public:
    DuplicateFinder(const GroupingSource& source, const DedupeSettings& settings);
    ~DuplicateFinder();
    DuplicateFinder(const DuplicateFinder&) = delete;
    DuplicateFinder& operator=(const DuplicateFinder&) = delete;

    /// Walks the heads (positions 0 to count - 2) in order. Returns false when the observer
    /// asked to stop.
    bool run(GroupingObserver& observer);

    /// Threads used for name comparisons (1: only the calling thread).
    void setThreads(unsigned threads) { m_threads = threads; }

    /// What the name search of the last run did.
    [[nodiscard]] const SearchCounts& nameSearch() const { return m_nameSearch; }

private:
    struct Partitions;

    void partition();
    bool runTransitive(GroupingObserver& observer);
    bool runByName(GroupingObserver& observer);
    [[nodiscard]] NameClasses classesByName(NameTable& names,
                                            const std::vector<std::uint8_t>& grouped) const;
    bool reportInBlocks(const NameClasses& classes, const SimilarClasses& similar,
                        ClassTakes& takes, GroupingObserver& observer);

    const GroupingSource& m_source;
    DedupeSettings m_settings;
    unsigned m_threads = 0;
    std::size_t m_count = 0;
    std::unique_ptr<Partitions> m_partitions;
    SearchCounts m_nameSearch;
};

} // namespace corvelle
