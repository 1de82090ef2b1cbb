#include "actions/GuardedAction.h"

#include "common/PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelle {
namespace {

/// A handle on the file at the path itself (a link is not followed), through which its state
/// can be read after it has been renamed or unlinked.
UniqueFd holdFile(const std::string& path)
{
    return UniqueFd(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
}

std::optional<PathStatus> statusOf(const UniqueFd& fd)
{
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        return std::nullopt;
    }
    return PathStatus::of(st);
}

/// Why the action may not be done, given the file and the file kept as they are now; empty
/// when it may.
std::string refusal(const PlannedAction& plan, const std::optional<PathStatus>& now,
                    const std::optional<PathStatus>& keptNow)
{
    if (!now || !plan.evidence.matches(*now)) {
        return std::string("changed, moved or replaced since it was ") + plan.evidence.seenAs();
    }
    if (plan.kept) {
        const KeptFile& kept = *plan.kept;
        if (!keptNow || !kept.evidence.matches(*keptNow)) {
            return "the file kept, '" + kept.path + "', changed or is gone since it was " +
                   kept.evidence.seenAs();
        }
        if (now->identity.sameFileAs(keptNow->identity)) {
            return "is the same file as the one kept, '" + kept.path + "'";
        }
        if (plan.action == FileAction::Link && now->identity.device != keptNow->identity.device) {
            return "is on another file system than the file kept, '" + kept.path + "'";
        }
    }
    if (std::any_of(plan.staying.begin(), plan.staying.end(),
                    [&](const PhysicalFile& other) { return now->identity.sameFileAs(other); })) {
        return "is the same file as one that stays";
    }
    return {};
}

/// The read-only rule: a file without the owner's write permission gets it first. Returns
/// the permissions to put back should the action fail.
std::optional<mode_t> makeWritable(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        throw fileError("examining", path, errno);
    }
    if ((st.st_mode & S_IWUSR) != 0) {
        return std::nullopt;
    }
    if (::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0) {
        throw fileError("making writable", path, errno);
    }
    return st.st_mode & 07777;
}

/// Does the action; throws std::system_error naming the file when it fails.
void act(const PlannedAction& plan, TrashBins& trash, ActionResult& result)
{
    switch (plan.action) {
    case FileAction::Trash:
        result.trashPath = moveToTrash(plan.path, trash).native();
        return;
    case FileAction::Delete:
        if (::unlink(plan.path.c_str()) != 0) {
            throw fileError("deleting", plan.path, errno);
        }
        return;
    case FileAction::Link:
        replaceWithLink(plan.kept->path, plan.path);
        return;
    case FileAction::Restore:
        restoreFromTrash(plan.path, plan.destination);
        return;
    }
}

} // namespace

Evidence Evidence::catalogued(PhysicalFile identity, std::int64_t size)
{
    Evidence evidence;
    evidence.status.identity = identity;
    evidence.status.size = size;
    evidence.status.regular = true;
    evidence.source = Source::Catalogued;
    return evidence;
}

bool Evidence::matches(const PathStatus& now) const
{
    if (source == Source::Verified) {
        return now.sameContentAs(status);
    }
    return now.regular && now.size == status.size &&
           (!status.identity.known() || now.identity == status.identity);
}

const char* Evidence::seenAs() const
{
    return source == Source::Verified ? "verified" : "catalogued";
}

std::string checkAction(const PlannedAction& plan)
{
    return refusal(plan, statusOf(plan.path), plan.kept ? statusOf(plan.kept->path) : std::nullopt);
}

ActionResult performAction(const PlannedAction& plan, TrashBins& trash)
{
    ActionResult result;
    const UniqueFd file = holdFile(plan.path);
    const UniqueFd kept = plan.kept ? holdFile(plan.kept->path) : UniqueFd();
    result.reason = refusal(plan, statusOf(file), plan.kept ? statusOf(kept) : std::nullopt);
    if (!result.reason.empty()) {
        return result;
    }
    std::optional<mode_t> former;
    try {
        if (plan.makeWritable) {
            former = makeWritable(plan.path);
        }
        act(plan, trash, result);
    } catch (const std::system_error& error) {
        // A file that stays is left as it was, read-only included.
        if (former) {
            ::chmod(plan.path.c_str(), *former);
        }
        result.reason = error.what();
        return result;
    }
    result.done = true;
    result.after = statusOf(file).value_or(PathStatus{});
    if (plan.action == FileAction::Link) {
        result.keptAfter = statusOf(kept);
    }
    return result;
}

void replaceWithLink(const std::string& kept, const std::string& copy)
{
    const std::string folder = copy.substr(0, copy.rfind('/') + 1);
    // Seeded once per thread: a fresh random_device for every file would read the kernel's
    // entropy each time.
    static thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary =
            folder + ".corvelle-link-" + std::to_string(random() % 1'000'000'000);
        if (::link(kept.c_str(), temporary.c_str()) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            throw fileError("linking", copy, errno);
        }
        if (::rename(temporary.c_str(), copy.c_str()) != 0) {
            const int error = errno;
            ::unlink(temporary.c_str());
            throw fileError("linking", copy, error);
        }
        return;
    }
    throw fileError("linking", copy, EEXIST);
}

} // namespace corvelle
