// The duplicate search written out the plain way: every head against every later record,
// names cleaned anew for every pair, the longest common run found by the triple loop. An
// independent reference for the fast code, in tests and benchmarks.
#pragma once

#include "common/DedupeSettings.h"
#include "common/PhysicalFile.h"
#include "common/Types.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle::test {

std::int32_t naiveCommonLength(const std::u32string& a, const std::u32string& b, int s1, int e1,
                               int s2, int e2);

/// Trim, optional bracket removal, clean-up, trim, upper-case, ratio, score, threshold.
bool referenceNamesMatch(std::string_view fileA, std::string_view fileB, bool brackets,
                         bool numbers, bool symbols, bool spaces, std::int32_t matchScore);

struct ReferenceRecord {
    RecordId id;
    std::string file;
    std::string extension;
    FileSize size = 0;
    Checksum crc;
    PhysicalFile identity{}; // records of one physical file are never paired
};

struct ReferenceResult {
    std::string pairs;    // the pair file's bytes
    std::string exported; // the export file's bytes, Grouped marks included
};

/// The grouping loop over the records in export order; stops after that many heads.
ReferenceResult referenceGrouping(const std::vector<ReferenceRecord>& records,
                                  const DedupeSettings& settings,
                                  std::size_t stopAfterHeads = SIZE_MAX);

} // namespace corvelle::test
