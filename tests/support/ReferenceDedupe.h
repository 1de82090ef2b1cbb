// The duplicate search written out the plain way: every head against every later record,
// names cleaned anew for every pair, the longest common run found by the triple loop. An
// independent reference for the fast code, in tests and benchmarks.
#pragma once

#include "common/DedupeSettings.h"
#include "common/PhysicalFile.h"
#include "common/Types.h"
#include "matching/NameClasses.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle::test {

std::int32_t naiveCommonLength(const std::u32string& a, const std::u32string& b, int s1, int e1,
                               int s2, int e2);

struct ReferenceRecord {
    RecordId id;
    std::string file;
    std::string extension;
    FileSize size = 0;
    Checksum crc;
    PhysicalFile identity{}; // records of one physical file are never paired
    bool grouped = false;    // marked Grouped before the pass
};

struct ReferenceResult {
    std::string pairs;    // the pair file's bytes
    std::string exported; // the export file's bytes, Grouped marks included
};

/// The grouping loop over the records in export order; stops after that many heads.
ReferenceResult referenceGrouping(const std::vector<ReferenceRecord>& records,
                                  const DedupeSettings& settings,
                                  std::size_t stopAfterHeads = SIZE_MAX);

/// What the fast finder gives for the same records: the pair file's bytes, and what its name
/// search did.
struct FinderRun {
    std::string pairs;
    SearchCounts nameSearch;
};
FinderRun runFinder(const std::vector<ReferenceRecord>& records, const DedupeSettings& settings,
                    unsigned threads);

/// The pair file's bytes the fast finder gives for the same records, on that many threads.
std::string finderPairs(const std::vector<ReferenceRecord>& records, const DedupeSettings& settings,
                        unsigned threads);

/// The IDs of a pair file, head and duplicate in turn.
std::vector<RecordId> pairIds(std::string_view pairs);

/// Settings chosen by the low eight bits, one per criterion and clean-up, and a score.
DedupeSettings settingsFromBits(unsigned bits, std::int32_t matchScore);

} // namespace corvelle::test
