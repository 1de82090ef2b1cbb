// File names for the benchmarks, as catalogue records (no file is read): generated corpora
// from the manifests $CORVELLE_CORPORA/names-SEED.manifest.tsv that scripts/run-benchmarks
// makes, seeds 2 to 6 (100,000 names) and, when present, 7 to 51 (a million with the first);
// and the real names of the files under /usr.
#pragma once

#include "ReferenceDedupe.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace corvelle::bench {

/// A record of this file name, its own physical file.
inline test::ReferenceRecord recordOfName(const std::string& name, std::size_t index)
{
    test::ReferenceRecord r;
    const std::size_t dot = name.rfind('.');
    r.file = dot == std::string::npos ? name : name.substr(0, dot);
    r.extension = dot == std::string::npos ? "" : name.substr(dot);
    r.identity = PhysicalFile{1, index + 1};
    return r;
}

/// The names of generated corpora of these seeds as catalogue records, from their manifests
/// (no file is read); nothing when a manifest is missing.
inline std::vector<test::ReferenceRecord> namesCorpus(int firstSeed, int lastSeed)
{
    const char* corpora = std::getenv("CORVELLE_CORPORA");
    std::vector<test::ReferenceRecord> records;
    for (int seed = firstSeed; corpora != nullptr && seed <= lastSeed; ++seed) {
        std::ifstream manifest(std::filesystem::path(corpora) /
                               ("names-" + std::to_string(seed) + ".manifest.tsv"));
        if (!manifest) {
            return {};
        }
        std::string line;
        std::getline(manifest, line); // header
        while (std::getline(manifest, line)) {
            const std::string relpath = line.substr(line.rfind('\t') + 1);
            records.push_back(recordOfName(relpath.substr(relpath.rfind('/') + 1), records.size()));
        }
    }
    return records;
}

/// The names of the regular files under /usr, in the order a recursive scan meets them
/// (hidden names and links left out, as a scan does).
inline std::vector<test::ReferenceRecord> usrNames()
{
    std::vector<test::ReferenceRecord> records;
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::recursive_directory_iterator
             it("/usr", fs::directory_options::skip_permission_denied, error),
         end;
         it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with('.')) {
            if (it->is_directory(error)) {
                it.disable_recursion_pending();
            }
            continue;
        }
        if (it->is_regular_file(error) && !it->is_symlink(error)) {
            records.push_back(recordOfName(name, records.size()));
        }
    }
    return records;
}

enum NameCorpus { kNames100k, kNamesMillion, kUsr };

/// The records of a corpus; none when it is missing.
inline std::vector<test::ReferenceRecord> nameCorpus(std::int64_t which)
{
    switch (which) {
    case kNames100k:
        return namesCorpus(2, 6);
    case kNamesMillion:
        return namesCorpus(2, 51);
    default:
        return usrNames();
    }
}

} // namespace corvelle::bench
