#include "intake/IntakeSources.h"

#include "common/TrashPlaces.h"
#include "intake/ChecksumCache.h"
#include "intake/IntakeFaults.h"
#include "intake/ReadAheadSource.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelle::intake {
namespace {

/// Folders nearer the root than this keep their descriptor open while their sub-folders are
/// walked, so those open relative to it. Deeper folders are reached name by name from the
/// deepest held one instead, which keeps a pathologically deep tree from running out of
/// descriptors, and its paths (which may be longer than the system resolves) from being
/// resolved whole.
constexpr std::size_t heldDepth = 64;

bool listingFaulted(const IntakeFaults* faults, const std::string& folder)
{
    return faults != nullptr && faults->listingFails && faults->listingFails(folder);
}

} // namespace

// ---------------------------------------------------------------------------------------
// TreeWalker

struct TreeWalker::Frame {
    std::shared_ptr<const FolderHandle> folder; // null when too deep to hold a descriptor
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    std::vector<std::string> subfolders;
    std::size_t nextChild = 0;
};

TreeWalker::TreeWalker(std::string root, FilterPatterns filter, bool recursive,
                       const ReadSettings& settings, const Cancel* cancel)
    : m_root(withTrailingSlash(root))
    , m_filter(std::move(filter))
    , m_recursive(recursive)
    , m_hiddenNames(settings.scope.hiddenNames)
    , m_excludes(settings.scope.excludes)
    , m_oneFileSystem(settings.scope.oneFileSystem)
    , m_faults(settings.faults)
    , m_cancel(cancel)
    , m_trash(settings.trash)
    , m_cache(settings.cache)
    , m_cacheMeetsWholeFolders(settings.crcSize > 0 && m_filter.matchesAll() &&
                               m_excludes.empty() &&
                               settings.scope.minSize.bytes() == IntakeScope{}.minSize.bytes() &&
                               settings.scope.maxSize.bytes() == IntakeScope{}.maxSize.bytes())
{}

TreeWalker::~TreeWalker() = default;

bool TreeWalker::next(ScannedFolder& out)
{
    out = ScannedFolder{};
    if (!m_started) {
        m_started = true;
        if (m_excludes.excludesNamed(m_root, true)) {
            return false;
        }
        // The folder the user chose is taken as chosen, even when it is a link to a folder.
        int error = 0;
        auto root =
            openFolder(m_root, AT_FDCWD, nullptr, O_RDONLY | O_DIRECTORY | O_CLOEXEC, error);
        if (list(std::move(root), error, out)) {
            return true;
        }
    }
    while (!m_stack.empty()) {
        if (cancelled(m_cancel)) {
            return false;
        }
        Frame& top = m_stack.back();
        if (top.nextChild < top.subfolders.size()) {
            const std::string& name = top.subfolders[top.nextChild++];
            // O_NOFOLLOW: a sub-folder swapped for a link since it was listed is not entered.
            constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
            std::string path = top.path + name + '/';
            int error = 0;
            auto folder =
                top.folder ? openFolder(std::move(path), top.folder->fd.get(), &name, flags, error)
                           : openDeep(std::move(path), name, flags, error);
            if (list(std::move(folder), error, out)) {
                return true;
            }
            out = ScannedFolder{};
            continue;
        }
        m_stack.pop_back();
    }
    return false;
}

std::shared_ptr<FolderHandle> TreeWalker::openFolder(std::string path, int dirFd,
                                                     const std::string* name, int flags,
                                                     int& error) const
{
    if (onOtherDevice(dirFd, name != nullptr ? name->c_str() : path.c_str())) {
        return nullptr;
    }
    auto folder = std::make_shared<FolderHandle>();
    folder->path = std::move(path);
    error = EIO; // what an injected fault stands for
    if (m_faults != nullptr && m_faults->beforeOpen) {
        m_faults->beforeOpen(folder->path);
    }
    if (!listingFaulted(m_faults, folder->path)) {
        const char* relative = name != nullptr ? name->c_str() : folder->path.c_str();
        folder->fd = UniqueFd(::openat(dirFd, relative, flags));
        error = folder->fd.valid() ? 0 : errno;
        // A link (put in the folder's place since it was listed) fails with ENOTDIR or
        // ELOOP; say what it is.
        struct stat st {};
        if ((error == ENOTDIR || error == ELOOP) && (flags & O_NOFOLLOW) != 0 &&
            ::fstatat(dirFd, relative, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
            error = readFailure::symbolicLink;
        }
    }
    return folder;
}

std::shared_ptr<FolderHandle> TreeWalker::openDeep(std::string path, const std::string& name,
                                                   int flags, int& error) const
{
    std::size_t held = m_stack.size();
    while (held > 0 && !m_stack[held - 1].folder) {
        --held;
    }
    if (held == 0) {
        return openFolder(std::move(path), AT_FDCWD, nullptr, flags, error);
    }
    int dirFd = m_stack[held - 1].folder->fd.get();
    UniqueFd step;
    for (std::size_t i = held; i < m_stack.size(); ++i) {
        const Frame& frame = m_stack[i];
        const std::string& parent = m_stack[i - 1].path;
        const std::string part =
            frame.path.substr(parent.size(), frame.path.size() - parent.size() - 1);
        UniqueFd next(::openat(dirFd, part.c_str(), flags));
        struct stat st {};
        if (!next.valid() || ::fstat(next.get(), &st) != 0) {
            error = errno;
        } else if (st.st_dev != frame.device || st.st_ino != frame.inode) {
            error = ENOENT; // not the folder that was listed there any more
        } else {
            step = std::move(next);
            dirFd = step.get();
            continue;
        }
        auto folder = std::make_shared<FolderHandle>();
        folder->path = std::move(path);
        return folder;
    }
    return openFolder(std::move(path), dirFd, &name, flags, error);
}

bool TreeWalker::onOtherDevice(int dirFd, const char* path) const
{
    // Asked of the entry itself, before it is opened: opening an automount point would mount
    // what it stands for.
    struct stat st {};
    return m_oneFileSystem && m_rootDevice &&
           ::fstatat(dirFd, path, &st, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT) == 0 &&
           st.st_dev != *m_rootDevice;
}

void TreeWalker::dropExcluded(const std::string& folder, FolderListing& listing) const
{
    if (m_excludes.empty()) {
        return;
    }
    std::erase_if(listing.files, [&](const std::string& name) {
        return m_excludes.excludes(folder + name, false);
    });
    std::erase_if(listing.folders, [&](const std::string& name) {
        return m_excludes.excludes(folder + name, true);
    });
}

bool TreeWalker::list(std::shared_ptr<FolderHandle> folder, int openError, ScannedFolder& out)
{
    if (!folder) {
        return false;
    }
    out.failure = FolderListing::Failure::Open;
    out.error = openError;
    struct stat st {};
    if (folder->fd.valid() && ::fstat(folder->fd.get(), &st) != 0) {
        out.error = errno;
    } else if (folder->fd.valid() && m_trash && m_trash->isTrash(PhysicalFile::of(st))) {
        // A Trash holds what was thrown away: none of it is a copy to keep, and none of it
        // may be kept in place of a copy outside.
        return false;
    } else if (folder->fd.valid()) {
        folder->device = st.st_dev;
        folder->inode = st.st_ino;
        if (!m_rootDevice) {
            m_rootDevice = st.st_dev;
        }
        // Links are never followed, but a folder mounted inside itself still forms a loop;
        // it is reported like a folder that cannot be listed rather than walked forever.
        if (isBeingWalked(st.st_dev, st.st_ino)) {
            out.error = readFailure::folderLoop;
        } else {
            FolderListing listing = listFolder(folder->fd.get(), m_filter, m_hiddenNames, m_cancel);
            out.failure = listing.failure;
            out.error = listing.error;
            out.entries = listing.entries;
            if (listing.failure == FolderListing::Failure::None) {
                dropExcluded(folder->path, listing);
                if (m_cache != nullptr && m_cacheMeetsWholeFolders) {
                    m_cache->folderListed(PhysicalFile::of(st));
                }
                out.fileCount = listing.files.size();
                out.files = std::move(listing.files);
                if (m_recursive && !listing.folders.empty()) {
                    enterLater(folder, std::move(listing.folders));
                }
            }
        }
    }
    if (out.failure != FolderListing::Failure::None) {
        folder->fd = UniqueFd();
    }
    out.folder = std::move(folder);
    return true;
}

bool TreeWalker::isBeingWalked(dev_t device, ino_t inode) const
{
    return std::any_of(m_stack.begin(), m_stack.end(), [&](const Frame& frame) {
        return frame.device == device && frame.inode == inode;
    });
}

void TreeWalker::enterLater(const std::shared_ptr<FolderHandle>& folder,
                            std::vector<std::string> subfolders)
{
    Frame frame;
    frame.path = folder->path;
    frame.device = folder->device;
    frame.inode = folder->inode;
    frame.subfolders = std::move(subfolders);
    if (m_stack.size() < heldDepth) {
        frame.folder = folder;
    }
    m_stack.push_back(std::move(frame));
}

// ---------------------------------------------------------------------------------------
// Sequential

namespace {

class SequentialTreeSource final : public IntakeSource {
public:
    SequentialTreeSource(std::string root, FilterPatterns filter, bool recursive,
                         const ReadSettings& settings)
        : m_walker(std::move(root), std::move(filter), recursive, settings, nullptr)
        , m_reader(settings)
    {}

    bool nextFolder(ScannedFolder& out) override
    {
        if (!m_walker.next(m_current)) {
            return false;
        }
        m_nextFile = 0;
        out.folder = m_current.folder;
        out.failure = m_current.failure;
        out.error = m_current.error;
        out.entries = m_current.entries;
        out.fileCount = m_current.fileCount;
        out.files.clear();
        return true;
    }

    ExaminedFile nextFile() override
    {
        ExaminedFile file;
        file.name = std::move(m_current.files.at(m_nextFile++));
        file.facts = m_reader.examineIn(*m_current.folder, file.name);
        return file;
    }

private:
    TreeWalker m_walker;
    FileReader m_reader;
    ScannedFolder m_current;
    std::size_t m_nextFile = 0;
};

class SequentialListSource final : public IntakeSource {
public:
    SequentialListSource(std::vector<std::string> paths, const ReadSettings& settings)
        : m_paths(std::move(paths))
        , m_reader(settings)
    {}

    bool nextFolder(ScannedFolder& /*out*/) override { return false; }

    ExaminedFile nextFile() override
    {
        ExaminedFile file;
        file.name = std::move(m_paths.at(m_next++));
        file.facts = m_reader.examinePath(file.name);
        return file;
    }

private:
    std::vector<std::string> m_paths;
    FileReader m_reader;
    std::size_t m_next = 0;
};

} // namespace

std::unique_ptr<IntakeSource> makeSequentialTreeSource(std::string root, FilterPatterns filter,
                                                       bool recursive, const ReadSettings& settings)
{
    return std::make_unique<SequentialTreeSource>(std::move(root), std::move(filter), recursive,
                                                  settings);
}

std::unique_ptr<IntakeSource> makeReadAheadTreeSource(std::string root, FilterPatterns filter,
                                                      bool recursive, const ReadSettings& settings,
                                                      int readers)
{
    auto source = std::make_unique<ReadAheadSource>(settings);
    source->startTree(std::move(root), std::move(filter), recursive, readers);
    return source;
}

std::unique_ptr<IntakeSource> makeFileListSource(std::vector<std::string> fullPaths,
                                                 const ReadSettings& settings, int readers)
{
    if (readers <= 0) {
        return std::make_unique<SequentialListSource>(std::move(fullPaths), settings);
    }
    auto source = std::make_unique<ReadAheadSource>(settings);
    source->startList(std::move(fullPaths), readers);
    return source;
}

} // namespace corvelle::intake
