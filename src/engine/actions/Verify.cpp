#include "actions/Verify.h"

#include "common/Hooks.h"
#include "common/PosixFile.h"
#include "common/WorkerPool.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>

namespace corvelle {
namespace {

constexpr std::int64_t kBlock = 64 * 1024;
/// The bytes of each member asked of the disk at once, ahead of reading them block by block.
constexpr std::int64_t kWindow = 4 * kBlock;
constexpr const char* kNoMatch = "matches no other file in its group byte for byte";
constexpr const char* kChanged = "changed while it was being verified";
constexpr const char* kOnlyLinks =
    "matches no other file in its group byte for byte (the others equal to it are its own "
    "hard links or other paths of it)";

/// The stop flag the work checks, and the count of bytes compared it keeps up to date.
struct Watch {
    const StopFlag* stop = nullptr;
    std::atomic<std::int64_t>* bytesCompared = nullptr;

    [[nodiscard]] bool stopped() const { return stop != nullptr && stop->requested(); }
    void compared(std::size_t bytes) const
    {
        if (bytesCompared != nullptr) {
            bytesCompared->fetch_add(static_cast<std::int64_t>(bytes), std::memory_order_relaxed);
        }
    }
};

struct OpenFile {
    VerifiedFile file;
    UniqueFd fd;
};

/// Opens a member without following a link, as the regular file of its catalogued size.
std::optional<OpenFile> openMember(const VerifyCandidate& candidate, VerifyResult& result)
{
    UniqueFd fd(::open(candidate.path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        const int error = errno;
        if (error == ELOOP) {
            result.leftOut.push_back(
                {candidate.row, candidate.path, "is a symbolic link", LeftOut::Kind::Changed});
        } else {
            result.leftOut.push_back(
                {candidate.row, candidate.path, std::strerror(error), LeftOut::Kind::Unreadable});
        }
        return std::nullopt;
    }
    const PathStatus status = PathStatus::of(st);
    if (!status.regular) {
        result.leftOut.push_back(
            {candidate.row, candidate.path, "is not a regular file", LeftOut::Kind::Changed});
        return std::nullopt;
    }
    if (status.size != candidate.size.bytes()) {
        result.leftOut.push_back({candidate.row, candidate.path, kChanged, LeftOut::Kind::Changed});
        return std::nullopt;
    }
    return OpenFile{VerifiedFile{candidate.row, candidate.path, status, {}}, std::move(fd)};
}

/// Reads exactly `length` bytes at `offset`; false with why the member is left out when it
/// cannot.
bool readBlock(const OpenFile& member, char* buffer, std::size_t length, std::int64_t offset,
               LeftOut& why)
{
    try {
        if (readFullyAt(member.fd.get(), buffer, length, offset, member.file.path) == length) {
            return true;
        }
        why = {member.file.row, member.file.path, kChanged, LeftOut::Kind::Changed}; // shorter
    } catch (const std::system_error& error) {
        why = {member.file.row, member.file.path, error.code().message(),
               LeftOut::Kind::Unreadable};
    }
    return false;
}

/// Reads the member's block at `offset` if it is all in memory (true). Otherwise asks the disk
/// for the member's next window without waiting (false), so that the reads of all the members
/// are in flight together: on a cold cache a disk answers many requests at once far faster than
/// one after another. The request is only advice: where it is ignored, reading simply waits.
bool readIfInMemory(const OpenFile& member, char* buffer, std::size_t length, std::int64_t offset)
{
    iovec piece{buffer, length};
    const ssize_t got = ::preadv2(member.fd.get(), &piece, 1, offset, RWF_NOWAIT);
    if (got >= 0 && static_cast<std::size_t>(got) == length) {
        return true;
    }
    ::posix_fadvise(member.fd.get(), offset, kWindow, POSIX_FADV_WILLNEED);
    return false;
}

/// Whether the open file is still as it was when opened (not grown, not rewritten).
bool unchangedSinceOpened(const OpenFile& member)
{
    struct stat st {};
    return ::fstat(member.fd.get(), &st) == 0 &&
           PathStatus::of(st).sameContentAs(member.file.status);
}

/// The members (all open, all of one size) compared side by side: the classes of files equal
/// throughout, each of two or more members, as lists of indices into `members`.
std::vector<std::vector<std::size_t>> compareSideBySide(std::vector<OpenFile>& members,
                                                        std::int64_t size, const Watch& watch,
                                                        VerifyResult& result)
{
    std::vector<std::vector<std::size_t>> classes(1);
    for (std::size_t i = 0; i < members.size(); ++i) {
        classes[0].push_back(i);
    }
    // One block per member, side by side, left uninitialised: every byte compared was read.
    const auto blockSize = static_cast<std::size_t>(std::min<std::int64_t>(kBlock, size));
    const std::unique_ptr<char[]> arena(
        new char[std::max<std::size_t>(1, members.size() * blockSize)]);
    const auto buffer = [&](std::size_t i) { return arena.get() + i * blockSize; };
    for (std::int64_t offset = 0; offset < size && !classes.empty(); offset += kBlock) {
        if (watch.stopped()) {
            return {};
        }
        const auto length = static_cast<std::size_t>(std::min<std::int64_t>(kBlock, size - offset));
        std::vector<bool> inHand(members.size(), false);
        if (offset % kWindow == 0) {
            for (const std::vector<std::size_t>& members_of : classes) {
                for (const std::size_t i : members_of) {
                    inHand[i] = readIfInMemory(members[i], buffer(i), length, offset);
                }
            }
        }
        std::vector<std::vector<std::size_t>> next;
        for (const std::vector<std::size_t>& members_of : classes) {
            std::vector<std::vector<std::size_t>> parts;
            for (const std::size_t i : members_of) {
                LeftOut why;
                if (!inHand[i] && !readBlock(members[i], buffer(i), length, offset, why)) {
                    result.leftOut.push_back(std::move(why));
                    continue;
                }
                watch.compared(length);
                const auto same = std::find_if(parts.begin(), parts.end(), [&](const auto& part) {
                    return std::memcmp(buffer(part.front()), buffer(i), length) == 0;
                });
                if (same == parts.end()) {
                    parts.push_back({i});
                } else {
                    same->push_back(i);
                }
            }
            for (std::vector<std::size_t>& part : parts) {
                if (part.size() >= 2) {
                    next.push_back(std::move(part));
                } else {
                    const VerifiedFile& alone = members[part.front()].file;
                    result.leftOut.push_back({alone.row, alone.path, kNoMatch});
                }
            }
        }
        classes = std::move(next);
    }
    // A file that grew or was rewritten while read is not what was compared.
    std::vector<std::vector<std::size_t>> kept;
    for (std::vector<std::size_t>& members_of : classes) {
        std::erase_if(members_of, [&](std::size_t i) {
            if (unchangedSinceOpened(members[i])) {
                return false;
            }
            result.leftOut.push_back(
                {members[i].file.row, members[i].file.path, kChanged, LeftOut::Kind::Changed});
            return true;
        });
        if (members_of.size() >= 2) {
            kept.push_back(std::move(members_of));
        } else if (members_of.size() == 1) {
            const VerifiedFile& alone = members[members_of.front()].file;
            result.leftOut.push_back({alone.row, alone.path, kNoMatch});
        }
    }
    return kept;
}

/// Verifies up to maxOpen candidates of one size at once; sets and, when asked, the members
/// that matched no other (as one-member sets) are added to `sets`.
void verifyPart(std::span<const VerifyCandidate> part, std::int64_t size, const Watch& watch,
                VerifyResult& result, std::vector<VerifiedSet>& sets, bool keepSingles)
{
    std::vector<OpenFile> members;
    for (const VerifyCandidate& candidate : part) {
        if (std::optional<OpenFile> member = openMember(candidate, result)) {
            members.push_back(std::move(*member));
        }
    }
    VerifyResult local;
    const auto classes = compareSideBySide(members, size, watch, local);
    for (const auto& members_of : classes) {
        VerifiedSet set;
        for (const std::size_t i : members_of) {
            set.push_back(members[i].file);
        }
        sets.push_back(std::move(set));
    }
    for (LeftOut& left : local.leftOut) {
        const bool single = left.kind == LeftOut::Kind::NoMatch;
        if (single && keepSingles) {
            const auto member =
                std::find_if(members.begin(), members.end(),
                             [&](const OpenFile& m) { return m.file.row == left.row; });
            sets.push_back(VerifiedSet{member->file});
        } else {
            result.leftOut.push_back(std::move(left));
        }
    }
}

/// Two files of one size compared; true when every byte is equal and both are still the files
/// their parts verified: one rewritten or replaced since holds other bytes than its part's.
bool sameBytes(const VerifiedFile& a, const VerifiedFile& b, std::int64_t size, const Watch& watch)
{
    const VerifyCandidate pair[] = {{a.row, a.path, size}, {b.row, b.path, size}};
    VerifyResult scratch;
    std::vector<VerifiedSet> sets;
    verifyPart(pair, size, watch, scratch, sets, false);
    return sets.size() == 1 &&
           std::all_of(sets.front().begin(), sets.front().end(), [&](const VerifiedFile& again) {
               return again.status.sameContentAs(again.row == a.row ? a.status : b.status);
           });
}

void verifySameSize(std::span<const VerifyCandidate> group, std::int64_t size, const Watch& watch,
                    std::size_t maxOpen, VerifyResult& result)
{
    if (group.size() <= maxOpen) {
        verifyPart(group, size, watch, result, result.sets, false);
        return;
    }
    // Too many to hold open: verify in parts, then join the parts' sets (and their lone
    // members) by comparing first members two at a time.
    std::vector<VerifiedSet> pieces;
    for (std::size_t first = 0; first < group.size(); first += maxOpen) {
        verifyPart(group.subspan(first, std::min(maxOpen, group.size() - first)), size, watch,
                   result, pieces, true);
    }
    std::vector<VerifiedSet> joined;
    for (VerifiedSet& piece : pieces) {
        const auto same = std::find_if(joined.begin(), joined.end(), [&](const VerifiedSet& set) {
            return sameBytes(set.front(), piece.front(), size, watch);
        });
        if (same == joined.end()) {
            joined.push_back(std::move(piece));
        } else {
            same->insert(same->end(), piece.begin(), piece.end());
        }
    }
    for (VerifiedSet& set : joined) {
        if (set.size() >= 2) {
            result.sets.push_back(std::move(set));
        } else {
            result.leftOut.push_back({set.front().row, set.front().path, kNoMatch});
        }
    }
}

/// The rows of one physical file joined into one member. A set left with a single member
/// (a file and its own hard links) is no set: its rows are left out.
void joinPathsOfOneFile(VerifyResult& result)
{
    std::vector<VerifiedSet> sets;
    for (VerifiedSet& set : result.sets) {
        VerifiedSet members;
        for (VerifiedFile& file : set) {
            const auto same = std::find_if(members.begin(), members.end(), [&](const auto& m) {
                return m.status.identity.sameFileAs(file.status.identity);
            });
            if (same == members.end()) {
                members.push_back(std::move(file));
            } else {
                same->links.push_back({file.row, std::move(file.path)});
            }
        }
        if (members.size() >= 2) {
            sets.push_back(std::move(members));
            continue;
        }
        for (const LinkedPath& path : members.front().paths()) {
            result.leftOut.push_back({path.row, path.path, kOnlyLinks});
        }
    }
    result.sets = std::move(sets);
}

} // namespace

std::vector<LinkedPath> VerifiedFile::paths() const
{
    std::vector<LinkedPath> all{{row, path}};
    all.insert(all.end(), links.begin(), links.end());
    return all;
}

namespace {

/// Files seen in two sets as they were at two different moments: read once before and once
/// after a change, each set holds the bytes of another version, so they prove nothing about
/// each other. Such files leave every set as changed, and sets left with one member go.
void dropFilesChangedBetweenSets(VerifyResult& result)
{
    std::map<PhysicalFile, PathStatus> seen;
    std::set<PhysicalFile> changed;
    for (const VerifiedSet& set : result.sets) {
        for (const VerifiedFile& file : set) {
            const auto [found, added] = seen.emplace(file.status.identity, file.status);
            if (!added && !found->second.sameContentAs(file.status)) {
                changed.insert(file.status.identity);
            }
        }
    }
    if (changed.empty()) {
        return;
    }
    std::set<std::string> said;
    for (VerifiedSet& set : result.sets) {
        std::erase_if(set, [&](const VerifiedFile& file) {
            if (!changed.contains(file.status.identity)) {
                return false;
            }
            for (const LinkedPath& path : file.paths()) {
                if (said.insert(path.path).second) {
                    result.leftOut.push_back(
                        {path.row, path.path, kChanged, LeftOut::Kind::Changed});
                }
            }
            return true;
        });
        if (set.size() == 1) {
            for (const LinkedPath& path : set.front().paths()) {
                result.leftOut.push_back({path.row, path.path, kNoMatch});
            }
            set.clear();
        }
    }
    std::erase_if(result.sets, [](const VerifiedSet& set) { return set.empty(); });
}

} // namespace

void joinSetsSharingFiles(VerifyResult& result)
{
    dropFilesChangedBetweenSets(result);
    // Union-find over the sets, by the physical files they hold.
    std::vector<std::size_t> parent(result.sets.size());
    for (std::size_t i = 0; i < parent.size(); ++i) {
        parent[i] = i;
    }
    const auto root = [&](std::size_t i) {
        while (parent[i] != i) {
            i = parent[i] = parent[parent[i]];
        }
        return i;
    };
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> setOfFile;
    for (std::size_t i = 0; i < result.sets.size(); ++i) {
        for (const VerifiedFile& file : result.sets[i]) {
            const auto key =
                std::make_pair(file.status.identity.device, file.status.identity.inode);
            const auto [found, added] = setOfFile.emplace(key, i);
            if (!added) {
                parent[root(i)] = root(found->second);
            }
        }
    }
    std::map<std::size_t, VerifiedSet> joined;
    for (std::size_t i = 0; i < result.sets.size(); ++i) {
        VerifiedSet& into = joined[root(i)];
        for (VerifiedFile& file : result.sets[i]) {
            const auto same = std::find_if(into.begin(), into.end(), [&](const VerifiedFile& m) {
                return m.status.identity == file.status.identity;
            });
            if (same == into.end()) {
                into.push_back(std::move(file));
                continue;
            }
            for (LinkedPath& path : file.paths()) {
                same->links.push_back(std::move(path));
            }
        }
    }
    std::set<std::string> inASet;
    result.sets.clear();
    for (auto& [first, set] : joined) {
        for (VerifiedFile& file : set) {
            // The file's paths in row order, each once; the first row's is the file's own.
            std::vector<LinkedPath> paths = file.paths();
            std::sort(paths.begin(), paths.end(),
                      [](const LinkedPath& a, const LinkedPath& b) { return a.row < b.row; });
            std::vector<LinkedPath> once;
            for (LinkedPath& path : paths) {
                if (inASet.insert(path.path).second) {
                    once.push_back(std::move(path));
                }
            }
            if (once.empty()) {
                file.links.clear();
                file.path.clear(); // every path of it is in an earlier set already
                continue;
            }
            file.row = once.front().row;
            file.path = once.front().path;
            file.links.assign(std::make_move_iterator(once.begin() + 1),
                              std::make_move_iterator(once.end()));
        }
        std::erase_if(set, [](const VerifiedFile& file) { return file.path.empty(); });
        if (set.size() < 2) {
            continue; // its paths are all in other sets
        }
        std::sort(set.begin(), set.end(),
                  [](const VerifiedFile& a, const VerifiedFile& b) { return a.row < b.row; });
        result.sets.push_back(std::move(set));
    }
    std::sort(
        result.sets.begin(), result.sets.end(),
        [](const VerifiedSet& a, const VerifiedSet& b) { return a.front().row < b.front().row; });
    std::erase_if(result.leftOut, [&](const LeftOut& left) { return inASet.contains(left.path); });
}

VerifyResult mergeResults(std::vector<VerifyResult>& results, std::size_t* finished)
{
    VerifyResult all;
    for (VerifyResult& result : results) {
        if (result.sets.empty() && result.leftOut.empty()) {
            continue; // not finished
        }
        if (finished != nullptr) {
            ++*finished;
        }
        std::move(result.sets.begin(), result.sets.end(), std::back_inserter(all.sets));
        std::move(result.leftOut.begin(), result.leftOut.end(), std::back_inserter(all.leftOut));
    }
    joinSetsSharingFiles(all);
    return all;
}

VerifyResult verifyGroup(std::span<const VerifyCandidate> group, const StopFlag* stop,
                         std::size_t maxOpen, std::atomic<std::int64_t>* bytesCompared)
{
    const Watch watch{stop, bytesCompared};
    VerifyResult result;
    std::map<std::int64_t, std::vector<VerifyCandidate>> bySize;
    for (const VerifyCandidate& candidate : group) {
        bySize[candidate.size.bytes()].push_back(candidate);
    }
    for (const auto& [size, members] : bySize) {
        if (members.size() < 2) {
            result.leftOut.push_back({members.front().row, members.front().path, kNoMatch});
            continue;
        }
        verifySameSize(members, size, watch, std::max<std::size_t>(maxOpen, 2), result);
    }
    for (VerifiedSet& set : result.sets) {
        std::sort(set.begin(), set.end(),
                  [](const VerifiedFile& a, const VerifiedFile& b) { return a.row < b.row; });
    }
    joinPathsOfOneFile(result);
    std::sort(
        result.sets.begin(), result.sets.end(),
        [](const VerifiedSet& a, const VerifiedSet& b) { return a.front().row < b.front().row; });
    std::sort(result.leftOut.begin(), result.leftOut.end(),
              [](const LeftOut& a, const LeftOut& b) { return a.row < b.row; });
    return result;
}

namespace {

/// Files each verifying thread may hold open at once: a share of the process's limit, so that
/// large groups on every thread at once never run out of descriptors (a file that cannot be
/// opened would be left out of its set).
std::size_t openFilesPerThread(unsigned threads)
{
    constexpr std::size_t reserved = 64; // the catalogue, the outputs, the window, the libraries
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 256;
    }
    const std::size_t available =
        limit.rlim_cur > reserved ? static_cast<std::size_t>(limit.rlim_cur) - reserved : 0;
    return std::clamp<std::size_t>(available / threads, 2, 256);
}

} // namespace

std::vector<std::vector<VerifyCandidate>> candidateGroups(const GridModel& duplicates)
{
    std::map<std::int32_t, std::vector<VerifyCandidate>> groups;
    for (int row = 1; row < duplicates.RowCount(); ++row) {
        const RowRecord& record = duplicates.recordAt(row);
        groups[record.group].push_back({row, dupeRowPath(duplicates, row), record.size});
    }
    std::vector<std::vector<VerifyCandidate>> out;
    out.reserve(groups.size());
    for (auto& [group, candidates] : groups) {
        out.push_back(std::move(candidates));
    }
    return out;
}

std::vector<VerifyResult> verifyGroups(const std::vector<std::vector<VerifyCandidate>>& groups,
                                       const StopFlag& stop, std::atomic<std::size_t>* groupsDone,
                                       std::atomic<std::int64_t>* bytesCompared)
{
    std::vector<VerifyResult> results(groups.size());
    WorkerPool pool(std::max(8u, std::thread::hardware_concurrency()));
    const std::size_t maxOpen = openFilesPerThread(pool.threads());
    pool.forEach(groups.size(), [&](std::size_t i) {
        if (stop.requested()) {
            return;
        }
        results[i] = verifyGroup(groups[i], &stop, maxOpen, bytesCompared);
        if (stop.requested()) {
            results[i] = {}; // part-way: not a verdict on the group
        }
        if (groupsDone != nullptr) {
            groupsDone->fetch_add(1, std::memory_order_relaxed);
        }
    });
    return results;
}

} // namespace corvelle
