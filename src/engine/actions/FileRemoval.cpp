#include "actions/FileRemoval.h"

#include "common/PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelle {
namespace {

/// Whether the path still holds the file that was catalogued; the reason when not.
int mismatch(const CataloguedFile& file, const std::optional<PathStatus>& now)
{
    if (!now) {
        return errno;
    }
    if (!now->regular) {
        return EINVAL; // a link, folder or device stands in the file's place
    }
    if (now->size != file.size.bytes() ||
        (file.identity.known() && !(now->identity == file.identity))) {
        return ESTALE;
    }
    return 0;
}

/// The read-only rule: a file without the owner's write permission gets it first. Returns
/// the permissions to put back should the removal fail.
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

} // namespace

void removeCataloguedFile(const CataloguedFile& file, DeleteMode mode,
                          std::span<const PhysicalFile> staying, const TrashEnvironment& trash)
{
    const std::optional<PathStatus> now = statusOf(file.path);
    if (const int reason = mismatch(file, now); reason != 0) {
        throw fileError("deleting (not the file that was catalogued)", file.path, reason);
    }
    if (std::any_of(staying.begin(), staying.end(),
                    [&](const PhysicalFile& other) { return now->identity.sameFileAs(other); })) {
        throw fileError("deleting (the same file as one that stays)", file.path, EEXIST);
    }
    const std::optional<mode_t> former = makeWritable(file.path);
    try {
        if (mode == DeleteMode::Trash) {
            moveToTrash(file.path, trash);
        } else if (::unlink(file.path.c_str()) != 0) {
            throw fileError("deleting", file.path, errno);
        }
    } catch (...) {
        // A file that stays is left as it was, read-only included.
        if (former) {
            ::chmod(file.path.c_str(), *former);
        }
        throw;
    }
}

} // namespace corvelle
