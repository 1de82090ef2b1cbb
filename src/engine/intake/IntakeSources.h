// Where the cataloguing loop gets its folders and files from. Both sources hand them out in
// exactly the order of a depth-first scan (a folder's files in listing order, then its
// sub-folders); the sequential one does the work when asked, the read-ahead one has a lister
// thread and reader threads do it ahead of time, so the loop only waits when it has caught up.
#pragma once

#include "intake/FileReading.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvelle::intake {

/// One listed folder as the cataloguing loop replays it.
struct ScannedFolder {
    std::shared_ptr<const FolderHandle> folder;
    FolderListing::Failure failure = FolderListing::Failure::None;
    int error = 0; ///< why it failed: an errno value or a readFailure code
    std::size_t entries = 0;
    /// Files passing the filter. The sequential source keeps their names here; the read-ahead
    /// source hands the names out with the files' facts and leaves only the count.
    std::vector<std::string> files;
    std::size_t fileCount = 0;
};

/// A file with what was learnt about it.
struct ExaminedFile {
    std::string name; ///< the name inside its folder, or a full path in list mode
    FileFacts facts;
};

/// Walks a tree depth first, listing one folder per call.
class TreeWalker {
public:
    /// `settings` give the injected faults and the scope: hidden names, the paths left out and
    /// whether other file systems are entered. `cancel` (optional) ends the walk early once
    /// requested.
    TreeWalker(std::string root, FilterPatterns filter, bool recursive,
               const ReadSettings& settings, const Cancel* cancel);
    ~TreeWalker();
    TreeWalker(const TreeWalker&) = delete;
    TreeWalker& operator=(const TreeWalker&) = delete;

    /// The next folder in scan order; false when the walk is over.
    bool next(ScannedFolder& out);

private:
    struct Frame;
    /// A handle on the folder `path`, opened as `name` relative to `dirFd`, or as `path` when
    /// `name` is null. A folder the test faults make unlistable is left unopened; `error` is
    /// then why it could not be opened. Null for a folder on another file system than the
    /// walk's first when the walk stays on one: it is passed over as if it were not there.
    std::shared_ptr<FolderHandle> openFolder(std::string path, int dirFd, const std::string* name,
                                             int flags, int& error) const;
    /// A handle on the sub-folder `name` of the top frame, which holds no descriptor: reached
    /// one name at a time from the deepest folder that holds one, each step checked to be the
    /// folder that was listed, so that no path longer than one name is ever resolved.
    std::shared_ptr<FolderHandle> openDeep(std::string path, const std::string& name, int flags,
                                           int& error) const;
    /// Lists the opened folder into `out`, and keeps its sub-folders to walk next. False when
    /// the folder is passed over as if it were not there: a Trash, or null from openFolder.
    bool list(std::shared_ptr<FolderHandle> folder, int openError, ScannedFolder& out);
    /// Takes the files and sub-folders that the excludes leave out off the listing.
    void dropExcluded(const std::string& folder, FolderListing& listing) const;
    /// Whether the folder or file at `path` is on another device than the walk's first folder.
    [[nodiscard]] bool onOtherDevice(int dirFd, const char* path) const;
    /// Whether the folder is one of those whose sub-folders are being walked.
    [[nodiscard]] bool isBeingWalked(dev_t device, ino_t inode) const;
    void enterLater(const std::shared_ptr<FolderHandle>& folder,
                    std::vector<std::string> subfolders);

    std::string m_root;
    FilterPatterns m_filter;
    bool m_recursive;
    bool m_hiddenNames;
    PathExcludes m_excludes;
    bool m_oneFileSystem;
    /// The device of the walk's first folder, once it is open.
    std::optional<dev_t> m_rootDevice;
    const IntakeFaults* m_faults;
    const Cancel* m_cancel;
    std::shared_ptr<const TrashPlaces> m_trash;
    ChecksumCache* m_cache;
    /// Whether this scan looks every file of a folder it lists up in the cache, so that the
    /// cache may forget the files of that folder it did not meet: they are gone. A scan that
    /// leaves files out (by name, excluded, by size) or reads no checksums meets only some,
    /// and the others are still there. Hidden files left out are the exception: they are
    /// few, and forgetting them costs a read, where keeping everything would let the cache
    /// grow with every file ever deleted.
    bool m_cacheMeetsWholeFolders;
    bool m_started = false;
    std::vector<Frame> m_stack;
};

class IntakeSource {
public:
    virtual ~IntakeSource() = default;
    /// The next folder of a folder scan; false when there is none.
    virtual bool nextFolder(ScannedFolder& out) = 0;
    /// The next file: of the folder last returned, or of the list in list mode.
    virtual ExaminedFile nextFile() = 0;
};

/// A folder scan that lists and reads on the calling thread, when asked.
std::unique_ptr<IntakeSource> makeSequentialTreeSource(std::string root, FilterPatterns filter,
                                                       bool recursive,
                                                       const ReadSettings& settings);
/// A folder scan listed by one thread and read by `readers` threads ahead of the caller.
std::unique_ptr<IntakeSource> makeReadAheadTreeSource(std::string root, FilterPatterns filter,
                                                      bool recursive, const ReadSettings& settings,
                                                      int readers);
/// Files named by full paths, read by `readers` threads ahead of the caller (0: sequential).
std::unique_ptr<IntakeSource> makeFileListSource(std::vector<std::string> fullPaths,
                                                 const ReadSettings& settings, int readers);

} // namespace corvelle::intake
