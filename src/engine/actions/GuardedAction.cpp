#include "actions/GuardedAction.h"

#include "common/PosixFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <random>
#include <sys/ioctl.h>
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
        const bool sharesData =
            plan.action == FileAction::Link || plan.action == FileAction::Reflink;
        if (sharesData && now->identity.device != keptNow->identity.device) {
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
    case FileAction::Reflink:
        replaceWithClone(plan.kept->path, plan.kept->evidence.status.identity, plan.path);
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
    if (former && plan.action == FileAction::Trash) {
        // Moved, not gone: it keeps its permissions, so that a restore gives it back as it was.
        (void)::chmod(result.trashPath.c_str(), *former);
    }
    result.after = statusOf(file).value_or(PathStatus{});
    if (plan.action == FileAction::Link || plan.action == FileAction::Reflink) {
        result.keptAfter = statusOf(kept);
    }
    return result;
}

namespace {

/// Makes the file that replaces `copy` under a temporary name in its folder, ".corvelle-" and
/// `stem` and a number, with `make(temporary)` (false with errno when it fails; EEXIST tries
/// another name), then renames it over the copy, so that at every moment the copy's name holds
/// either the old file or the new one. Throws naming the copy and what was being done.
template <class Make>
void replaceUnderTemporaryName(const std::string& copy, std::string_view stem, const char* doing,
                               Make make)
{
    const std::string folder = copy.substr(0, copy.rfind('/') + 1);
    // Seeded once per thread: a fresh random_device for every file would read the kernel's
    // entropy each time.
    static thread_local std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = folder + ".corvelle-" + std::string(stem) + "-" +
                                      std::to_string(random() % 1'000'000'000);
        if (!make(temporary)) {
            if (errno == EEXIST) {
                continue;
            }
            throw fileError(doing, copy, errno);
        }
        if (::rename(temporary.c_str(), copy.c_str()) != 0) {
            const int error = errno;
            ::unlink(temporary.c_str());
            throw fileError(doing, copy, error);
        }
        return;
    }
    throw fileError(doing, copy, EEXIST);
}

/// Whether FICLONE failed because the file system cannot clone (rather than, say, for want of
/// space or permission).
bool cannotClone(int error)
{
    return error == EOPNOTSUPP || error == ENOTTY || error == EINVAL || error == EXDEV ||
           error == ENOSYS;
}

/// Gives the clone the copy's owner, permissions and times, each as far as this user may set
/// it: only root gives a file to another owner, and a group only to one the user belongs to.
void takeOverAttributes(int clone, const struct stat& copy)
{
    if (::fchown(clone, copy.st_uid, copy.st_gid) != 0) {
        (void)::fchown(clone, static_cast<uid_t>(-1), copy.st_gid);
    }
    // After the owner: a change of owner clears the set-user-ID and set-group-ID bits.
    (void)::fchmod(clone, copy.st_mode & 07777);
    const std::array<timespec, 2> times{copy.st_atim, copy.st_mtim};
    (void)::futimens(clone, times.data());
}

} // namespace

void replaceWithLink(const std::string& kept, const std::string& copy)
{
    replaceUnderTemporaryName(copy, "link", "linking", [&](const std::string& temporary) {
        return ::link(kept.c_str(), temporary.c_str()) == 0;
    });
}

void replaceWithClone(const std::string& kept, const PhysicalFile& keptFile,
                      const std::string& copy)
{
    // The file kept is cloned through a descriptor proven to be the file verified, so that no
    // file put in its place since the check is cloned instead.
    const UniqueFd source(::open(kept.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat sourceStatus {};
    if (!source.valid() || ::fstat(source.get(), &sourceStatus) != 0) {
        throw fileError("reading the file kept", kept, errno);
    }
    if (!PhysicalFile::of(sourceStatus).sameFileAs(keptFile)) {
        throw std::system_error(ESTALE, std::generic_category(),
                                "reflinking '" + copy + "': the file kept, '" + kept +
                                    "', was replaced since it was checked");
    }
    struct stat copyStatus {};
    if (::lstat(copy.c_str(), &copyStatus) != 0) {
        throw fileError("reflinking", copy, errno);
    }
    replaceUnderTemporaryName(copy, "clone", "reflinking", [&](const std::string& temporary) {
        const UniqueFd clone(
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!clone.valid()) {
            return false;
        }
        if (::ioctl(clone.get(), FICLONE, source.get()) != 0) {
            const int error = errno;
            ::unlink(temporary.c_str());
            if (cannotClone(error)) {
                throw std::system_error(error, std::generic_category(),
                                        "reflinking '" + copy +
                                            "' (the file system cannot clone files)");
            }
            throw fileError("reflinking", copy, error);
        }
        takeOverAttributes(clone.get(), copyStatus);
        return true;
    });
}

} // namespace corvelle
