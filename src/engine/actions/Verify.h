// Whole-content verification of duplicate groups: a group found by names, extensions, sizes
// and the checksum of the leading bytes is split into sets of files whose every byte is equal.
// Only such sets are ever acted on.
#pragma once

#include "common/PhysicalFile.h"
#include "common/Types.h"

#include <atomic>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace corvelle {

class GridModel;
class StopFlag;

/// A member of a duplicate group to verify: its row in the list and its exact path.
struct VerifyCandidate {
    int row = 0;
    std::string path;
    FileSize size = 0; ///< as catalogued
};

/// A further path of a verified file: another row that names the same physical file.
struct LinkedPath {
    int row = 0;
    std::string path;
};

/// A physical file proven identical to the other members of its set, as it was when read:
/// its first row and path, and the other rows naming the same file (its hard links, or the
/// file reached through another path), in row order.
struct VerifiedFile {
    int row = 0;
    std::string path;
    PathStatus status;
    std::vector<LinkedPath> links;

    /// Every catalogued path of the file, the first row's first.
    [[nodiscard]] std::vector<LinkedPath> paths() const;
};

/// Two or more different physical files proven byte for byte identical, in the order of
/// their first rows.
using VerifiedSet = std::vector<VerifiedFile>;

/// A file left out: it matched no other, could not be read, or changed since it was catalogued
/// or while it was read.
struct LeftOut {
    enum class Kind { NoMatch, Unreadable, Changed };
    int row = 0;
    std::string path;
    std::string reason;
    Kind kind = Kind::NoMatch;
};

struct VerifyResult {
    std::vector<VerifiedSet> sets;
    std::vector<LeftOut> leftOut;
};

/// Reads the members side by side, block by block, and keeps together only files equal so
/// far; a set is dropped as soon as it is down to one member. Files of different sizes are
/// never identical. Rows naming one physical file are one member of its set: a file and its
/// hard link are never a set by themselves. Symbolic links are never followed (a member that is one
/// is left out), and a file whose size differs from its catalogued size has changed and is left
/// out. `maxOpen` caps the files open at once: larger groups are verified in parts whose sets are
/// then joined by verifying their first members against each other. `bytesCompared`, when
/// given, grows by the bytes of every block read and compared, for progress shown elsewhere.
VerifyResult verifyGroup(std::span<const VerifyCandidate> group, const StopFlag* stop = nullptr,
                         std::size_t maxOpen = 256,
                         std::atomic<std::int64_t>* bytesCompared = nullptr);

/// Joins the sets that share a physical file: a file in two groups of the list (a record
/// listed twice, or two paths of one file in different groups) makes their sets one, since
/// all their files are then equal. A path listed twice is kept once, at its first row. The
/// files left out that are in a set after all are no longer left out.
void joinSetsSharingFiles(VerifyResult& result);

/// The results of the groups of a list as one, their sets sharing files joined. `finished`,
/// when given, counts the groups that have a result (a stop leaves the others empty).
VerifyResult mergeResults(std::vector<VerifyResult>& results, std::size_t* finished = nullptr);

/// The duplicate list's groups as candidates to verify, in ascending group number, each
/// group's rows in list order. The list's cells hold the catalogue's bytes as they are, so
/// each path names exactly the file catalogued.
std::vector<std::vector<VerifyCandidate>> candidateGroups(const GridModel& duplicates);

/// Verifies each group on its own, many groups at once on a pool of threads: more threads
/// than cores, since on a cold cache they mostly wait for the disk, which answers many reads at
/// once faster than a few. Result i is group i's; a group not finished before a stop has an
/// empty result. `groupsDone` and `bytesCompared`, when given, count the groups finished and
/// the bytes read and compared, for a display on another thread.
std::vector<VerifyResult> verifyGroups(const std::vector<std::vector<VerifyCandidate>>& groups,
                                       const StopFlag& stop,
                                       std::atomic<std::size_t>* groupsDone = nullptr,
                                       std::atomic<std::int64_t>* bytesCompared = nullptr);

} // namespace corvelle
