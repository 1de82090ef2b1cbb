#include "actions/Trash.h"

#include "common/PhysicalFile.h"
#include "common/PosixFile.h"
#include "common/TextEscapes.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace corvelle {
namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";

[[noreturn]] void fail(std::string_view doing, const fs::path& file, int error)
{
    throw fileError(doing, file, error);
}

/// The device of the path, or of its nearest existing ancestor (a trash not made yet).
dev_t deviceOfNearest(fs::path path)
{
    struct stat st {};
    while (::stat(path.c_str(), &st) != 0) {
        if (!path.has_relative_path()) {
            fail("examining", path, errno);
        }
        path = path.parent_path();
    }
    return st.st_dev;
}

dev_t deviceOf(const fs::path& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        fail("examining", path, errno);
    }
    return st.st_dev;
}

/// The top folder of the volume holding `folder`: the highest ancestor on the same device.
fs::path volumeTop(const fs::path& folder)
{
    const dev_t device = deviceOf(folder);
    fs::path top = folder;
    while (top.has_relative_path()) {
        const fs::path parent = top.parent_path();
        if (deviceOf(parent) != device) {
            break;
        }
        top = parent;
    }
    return top;
}

/// Makes the folder (mode 0700) unless it exists; then it must be a real folder, not a link.
void makePrivateFolder(const fs::path& folder)
{
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        fail("creating the trash folder", folder, errno);
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) {
        fail("examining the trash folder", folder, errno);
    }
    if (!S_ISDIR(st.st_mode)) {
        fail("using the trash folder", folder, ENOTDIR);
    }
}

void makePrivateFolders(const fs::path& folder)
{
    if (folder.has_relative_path() && !fs::exists(folder.parent_path())) {
        makePrivateFolders(folder.parent_path());
    }
    makePrivateFolder(folder);
}

/// The per-user trash under a volume's top folder, after the rules that keep one user's
/// files out of a folder another user controls.
TrashFolder volumeTrash(const fs::path& top, const TrashEnvironment& environment)
{
    const std::string uid = std::to_string(environment.uid);
    const fs::path shared = top / ".Trash";
    struct stat st {};
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
        const fs::path own = shared / uid;
        try {
            makePrivateFolder(own);
            makePrivateFolder(own / "files");
            makePrivateFolder(own / "info");
            return TrashFolder{own, top};
        } catch (const std::system_error&) {
            // A shared trash we cannot use: the per-user one below is the rule's fallback.
        }
    }
    const fs::path own = top / (".Trash-" + uid);
    makePrivateFolder(own);
    if (::lstat(own.c_str(), &st) != 0 || st.st_uid != environment.uid) {
        fail("using the trash folder (owned by another user)", own, EPERM);
    }
    makePrivateFolder(own / "files");
    makePrivateFolder(own / "info");
    return TrashFolder{own, top};
}

/// The name for the n-th attempt in the trash: the file's own name, then "name.2", "name.3"…,
/// cut so that the name with ".trashinfo" stays within a file name's limit.
std::string trashName(const std::string& name, int attempt)
{
    const std::string suffix = attempt == 1 ? std::string() : "." + std::to_string(attempt);
    const std::size_t room = NAME_MAX - kInfoSuffix.size() - suffix.size();
    return name.substr(0, std::min(name.size(), room)) + suffix;
}

/// rename(2) that never replaces what is at the destination.
bool renameNoReplace(const fs::path& from, const fs::path& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the flag: a name that is free now is as good as it gets.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void writeInfoFile(const UniqueFd& fd, const fs::path& infoFile, const std::string& text)
{
    writeAll(fd.get(), text.data(), text.size(), infoFile);
}

/// The path the .trashinfo records: absolute for the home trash, else relative to the
/// volume's top folder.
std::string recordedPath(const fs::path& canonicalFile, const TrashFolder& folder)
{
    if (folder.topdir.empty()) {
        return canonicalFile.native();
    }
    return canonicalFile.lexically_relative(folder.topdir).native();
}

/// Moves the file (examined as `before`) into the trash folder under a name free there.
fs::path moveIntoTrash(const fs::path& file, const fs::path& canonicalFile,
                       const PathStatus& before, const TrashFolder& trash)
{
    const std::string name = canonicalFile.filename().native();
    const std::string info = trashInfoText(recordedPath(canonicalFile, trash), std::time(nullptr));
    for (int attempt = 1;; ++attempt) {
        const std::string entry = trashName(name, attempt);
        const fs::path infoFile = trash.info() / (entry + std::string(kInfoSuffix));
        UniqueFd fd(::open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!fd.valid()) {
            if (errno == EEXIST) {
                continue;
            }
            fail("writing the trash information", infoFile, errno);
        }
        const fs::path destination = trash.files() / entry;
        try {
            writeInfoFile(fd, infoFile, info);
            closeFile(fd, infoFile);
            if (!renameNoReplace(canonicalFile, destination)) {
                const int reason = errno;
                ::unlink(infoFile.c_str());
                if (reason == EEXIST) {
                    continue;
                }
                fail("moving to the trash", file, reason);
            }
        } catch (...) {
            ::unlink(infoFile.c_str());
            throw;
        }
        const std::optional<PathStatus> after = statusOf(destination);
        if (!after || after->identity != before.identity || statusOf(canonicalFile)) {
            fail("moving to the trash (the file is not where it was moved)", file, EIO);
        }
        return destination;
    }
}

/// The record of a file in a trash's "files" folder, and the folder its relative paths start
/// from: the volume's top folder, above ".Trash-$uid" or above ".Trash/$uid".
struct TrashRecord {
    fs::path infoFile;
    fs::path topdir;
};

TrashRecord recordOf(const fs::path& trashPath)
{
    const fs::path root = trashPath.parent_path().parent_path();
    fs::path top = root.parent_path();
    if (top.filename() == ".Trash") {
        top = top.parent_path();
    }
    return {root / "info" / (trashPath.filename().native() + std::string(kInfoSuffix)), top};
}

std::string readInfoFile(const fs::path& infoFile)
{
    const UniqueFd fd(::open(infoFile.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) {
        fail("reading the trash information", infoFile, errno);
    }
    std::string text(4096, '\0');
    text.resize(readFully(fd.get(), text.data(), text.size(), infoFile));
    return text;
}

} // namespace

fs::path trashedFrom(const fs::path& trashPath)
{
    const TrashRecord record = recordOf(trashPath);
    const std::string text = readInfoFile(record.infoFile);
    constexpr std::string_view key = "\nPath=";
    const std::size_t at = text.find(key);
    if (!text.starts_with("[Trash Info]\n") || at == std::string::npos) {
        fail("reading the trash information", record.infoFile, EINVAL);
    }
    const std::size_t start = at + key.size();
    const fs::path recorded = percentDecode(text.substr(start, text.find('\n', start) - start));
    if (recorded.empty()) {
        fail("reading the trash information", record.infoFile, EINVAL);
    }
    return recorded.is_absolute() ? recorded : record.topdir / recorded;
}

void restoreFromTrash(const fs::path& trashPath, const fs::path& original)
{
    if (trashedFrom(trashPath) != original) {
        fail("restoring (its trash record names another place)", trashPath, EINVAL);
    }
    if (!renameNoReplace(trashPath, original)) {
        fail("restoring", original, errno);
    }
    // The record goes only once the file is back: until then the Trash still lists it.
    ::unlink(recordOf(trashPath).infoFile.c_str());
}

TrashFolder trashFolderFor(const fs::path& canonicalFile, const TrashEnvironment& environment)
{
    struct stat st {};
    if (::lstat(canonicalFile.c_str(), &st) != 0) {
        fail("moving to the trash", canonicalFile, errno);
    }
    if (st.st_dev == deviceOfNearest(environment.homeTrash)) {
        const TrashFolder home{environment.homeTrash, {}};
        makePrivateFolders(home.files());
        makePrivateFolder(home.info());
        if (deviceOf(home.files()) == st.st_dev) {
            return home;
        }
    }
    TrashFolder folder = volumeTrash(volumeTop(canonicalFile.parent_path()), environment);
    if (deviceOf(folder.files()) != st.st_dev) {
        fail("moving to the trash (no trash on the file's volume)", canonicalFile, EXDEV);
    }
    return folder;
}

const TrashFolder& TrashBins::folderFor(const fs::path& canonicalFile, dev_t device)
{
    auto found = m_folders.find(device);
    if (found == m_folders.end()) {
        found = m_folders.emplace(device, trashFolderFor(canonicalFile, m_environment)).first;
    }
    return found->second;
}

fs::path moveToTrash(const fs::path& file, const TrashEnvironment& environment)
{
    TrashBins bins(environment);
    return moveToTrash(file, bins);
}

fs::path moveToTrash(const fs::path& file, TrashBins& bins)
{
    const fs::path absolute = fs::absolute(file);
    const std::string name = absolute.filename().native();
    if (name.empty() || name == "." || name == "..") {
        fail("moving to the trash", file, EINVAL);
    }
    std::error_code error;
    const fs::path folder = fs::canonical(absolute.parent_path(), error);
    if (error) {
        fail("moving to the trash", file, error.value());
    }
    const fs::path canonicalFile = folder / name;
    struct stat st {};
    if (::lstat(canonicalFile.c_str(), &st) != 0) {
        fail("moving to the trash", file, errno);
    }
    const PathStatus before = PathStatus::of(st);
    // A trash folder found earlier in the run may have gone since (the Trash emptied by
    // removing its folders): it is looked for once more before the file is given up.
    for (int round = 0;; ++round) {
        const TrashFolder& trash = bins.folderFor(canonicalFile, st.st_dev);
        try {
            return moveIntoTrash(file, canonicalFile, before, trash);
        } catch (const std::system_error& failure) {
            if (round > 0 || failure.code().value() != ENOENT || fs::exists(trash.info())) {
                throw;
            }
            bins.forget(st.st_dev);
        }
    }
}

std::string trashInfoText(std::string_view pathBytes, std::time_t when)
{
    std::tm local{};
    ::localtime_r(&when, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + percentEncodePath(pathBytes) + "\nDeletionDate=" + date + "\n";
}

} // namespace corvelle
