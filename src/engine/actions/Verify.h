// Whole-content verification of duplicate groups: a group found by names, extensions, sizes
// and the checksum of the leading bytes is split into sets of files whose every byte is equal.
// Only such sets are ever acted on.
#pragma once

#include "common/PhysicalFile.h"
#include "common/Types.h"

#include <functional>
#include <span>
#include <string>
#include <vector>

namespace corvelle {

class StopFlag;

/// A member of a duplicate group to verify: its row in the list and its exact path.
struct VerifyCandidate {
    int row = 0;
    std::string path;
    FileSize size = 0; ///< as catalogued
};

/// A file proven identical to the other members of its set, as it was when read.
struct VerifiedFile {
    int row = 0;
    std::string path;
    PathStatus status;
};

/// Files proven byte for byte identical, in the order of their rows.
using VerifiedSet = std::vector<VerifiedFile>;

/// A file left out: it could not be read, changed while it was read, or matched no other.
struct LeftOut {
    int row = 0;
    std::string path;
    std::string reason;
};

struct VerifyResult {
    std::vector<VerifiedSet> sets;
    std::vector<LeftOut> leftOut;
};

/// Reads the members side by side, block by block, and keeps together only files equal so
/// far; a set is dropped as soon as it is down to one member. Files of different sizes are
/// never identical. Symbolic links are never followed (a member that is one is left out),
/// and a file whose size differs from its catalogued size has changed and is left out.
/// `maxOpen` caps the files open at once: larger groups are verified in parts whose sets are
/// then joined by verifying their first members against each other.
VerifyResult verifyGroup(std::span<const VerifyCandidate> group, const StopFlag* stop = nullptr,
                         std::size_t maxOpen = 256);

} // namespace corvelle
