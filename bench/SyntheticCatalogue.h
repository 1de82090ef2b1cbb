// Synthetic catalogues for the benchmarks: deterministic, with a known share of copies.
#pragma once

#include "ReferenceDedupe.h"

#include <random>
#include <string>
#include <vector>

namespace corvelle::bench {

/// n records of which about a quarter are copies of an earlier record (same extension in
/// another letter case, size and checksum, in another folder).
inline std::vector<test::ReferenceRecord> syntheticCatalogue(std::size_t n)
{
    static const char* extensions[] = {".jpg", ".mp3", ".pdf", ".txt", ".docx", ".png"};
    std::mt19937_64 rng(1);
    std::vector<test::ReferenceRecord> records;
    records.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        test::ReferenceRecord r;
        if (i > 0 && rng() % 4 == 0) {
            r = records[rng() % i];
            r.file += " copy";
            r.extension[1] = static_cast<char>(r.extension[1] & ~0x20); // upper-case initial
        } else {
            r.file = "file " + std::to_string(i);
            r.extension = extensions[rng() % 6];
            r.size = static_cast<FileSize>(rng() % 50'000'000);
            r.crc.value = static_cast<CrcValue>(rng());
        }
        r.identity = PhysicalFile{1, i + 1}; // copies, not links: every record its own file
        records.push_back(r);
    }
    return records;
}

} // namespace corvelle::bench
