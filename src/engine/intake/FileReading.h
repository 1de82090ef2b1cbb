// What intake learns about a file (its size and the checksum of its leading bytes) and about a
// folder (its entries), straight from the kernel: folders are read with getdents64 and files
// opened relative to their folder's descriptor, so no path is resolved twice and no symbolic
// link is followed inside a scan.
#pragma once

#include "checksum/clsCRC.h"
#include "common/PhysicalFile.h"
#include "common/PosixFile.h"
#include "common/Types.h"
#include "intake/Cancel.h"
#include "intake/IntakeNames.h"
#include "intake/IntakeScope.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace corvelle {
struct IntakeFaults;
class ChecksumCache;
class TrashPlaces;
} // namespace corvelle

namespace corvelle::intake {

/// The checksum reads files in blocks of this size and reports progress after each block.
constexpr std::int64_t crcBlockSize()
{
    return static_cast<std::int64_t>(clsCRC::blockSize);
}

/// A folder being scanned: its path as the catalogue shows it (ending in "/") and, while its
/// files are still to be read, an open descriptor to read them through.
struct FolderHandle {
    std::string path;
    UniqueFd fd;
    dev_t device = 0;
    ino_t inode = 0;
};

/// Everything cataloguing needs to know about one file.
struct FileFacts {
    enum class Crc : std::uint8_t { NotRead, Ok, Failed };

    /// False when the file is gone, is not a regular file, or its length cannot be read.
    bool sizeKnown = false;
    FileSize size = 0;
    /// Which physical file it is, from the same status that gave the size.
    PhysicalFile identity{};
    Crc crc = Crc::NotRead;
    /// The CRC-32 after its final complement (valid when crc is Ok).
    std::uint32_t crcBits = 0;
    /// For a failed checksum: the whole blocks that were read before the failure.
    std::int64_t blocksDone = 0;
    /// Why the size is unknown or the checksum failed: an errno value or a readFailure code;
    /// 0 when nothing failed.
    int error = 0;

    friend bool operator==(const FileFacts&, const FileFacts&) = default;
};

/// Failures that have no errno value of their own, as FileFacts::error and
/// FolderListing::error give them (errno values are positive).
namespace readFailure {
inline constexpr int notRegularFile = -1;   ///< a folder, FIFO, socket or device, not a file
inline constexpr int endedEarly = -2;       ///< the file ended before its length said
inline constexpr int folderLoop = -3;       ///< a folder met again inside itself
inline constexpr int changedWhileRead = -4; ///< the file's length or time changed during the read
inline constexpr int symbolicLink = -5;     ///< a symbolic link met inside a scan, not followed
} // namespace readFailure

/// The reason a read or listing failed, as a person reads it ("Permission denied").
std::string failureReason(int error);

/// How one intake reads: the same for every reader and folder walker it uses.
struct ReadSettings {
    /// Leading bytes of each file to checksum; 0: sizes only.
    std::int64_t crcSize = 0;
    /// Faults injected by tests; null outside them.
    const IntakeFaults* faults = nullptr;
    /// Hidden names and sizes taken; a file of a size left out is not read.
    IntakeScope scope{};
    /// The Trash folders a folder scan passes over; none when null.
    std::shared_ptr<const TrashPlaces> trash{};
    /// Checksums kept from earlier runs, and where this run's go; none when null.
    ChecksumCache* cache = nullptr;
};

/// One file's examination, which may be left part-way: the file open and its length known,
/// its leading bytes asked of the disk and still to be read.
class FileRead {
public:
    /// What is known so far; everything once the examination is finished.
    FileFacts facts;

private:
    friend class FileReader;
    UniqueFd m_fd;               ///< open while leading bytes remain to be read
    std::int64_t m_total = 0;    ///< the leading bytes to checksum
    std::int64_t m_readable = 0; ///< of those, the bytes a test fault lets be read
    PathStatus m_opened;         ///< the file as opened
    PhysicalFile m_folder;       ///< the folder it was found in, for the checksum cache
    std::string m_fullPath;      ///< for the test faults only
};

/// Reads the size and leading bytes of files. One per thread: it owns its read buffer. Never
/// opens anything but a regular file, and never blocks on one that turns out to be a FIFO.
class FileReader {
public:
    /// `cancel` (optional) makes the reader give up a file part-way once it is requested.
    explicit FileReader(const ReadSettings& settings, const Cancel* cancel = nullptr);

    /// A file met by a folder scan, opened through its folder's descriptor; a link is not
    /// followed.
    FileFacts examineIn(const FolderHandle& folder, const std::string& name);
    /// A file the user named by its full path, taken as named: a link to a file is followed.
    FileFacts examinePath(const std::string& fullPath);

    /// examineIn and examinePath without waiting for the disk: when the file's leading bytes
    /// are not in memory yet, they are asked of the disk and the examination is left open
    /// (false); finish() completes it, by when the disk has had time to answer. Starting a
    /// run of files before finishing any keeps the run's reads in flight together, which a
    /// disk answers far faster than one read after another. True: `read.facts` is complete.
    bool startIn(const FolderHandle& folder, const std::string& name, FileRead& read);
    bool startPath(const std::string& fullPath, FileRead& read);
    /// Completes an examination that start left open.
    void finish(FileRead& read);

private:
    /// `folder` is the path the name is relative to (empty for a full path); it is only put
    /// together with the name for the test faults. `folderIdentity` is where the file was
    /// found, for the checksum cache.
    bool start(int dirFd, const char* name, bool followLinks, std::string_view folder,
               PhysicalFile folderIdentity, bool mayWait, FileRead& read);
    /// The identity of a named file's folder when the checksum cache wants it.
    [[nodiscard]] PhysicalFile folderOfPath(const std::string& fullPath) const;
    FileFacts sizeOnly(int dirFd, const char* name, bool followLinks) const;
    /// A descriptor to read the file's bytes through, or -1 with errno.
    int openToRead(int dirFd, const char* name, bool followLinks);
    /// Reads and checksums the leading bytes. Unless `mayWait`, gives up (false) before
    /// reading anything when they are not in memory.
    bool readLeadingBytes(FileRead& read, bool mayWait);
    /// The first read, answered only from memory: EAGAIN when the bytes are not there yet.
    ssize_t readWithoutWaiting(FileRead& read, std::size_t want);

    std::int64_t m_crcSize;
    IntakeScope m_scope;
    const IntakeFaults* m_faults;
    ChecksumCache* m_cache;
    const Cancel* m_cancel;
    std::vector<std::uint8_t> m_buffer;
    bool m_noAtime = true;
    /// The first read of a file. Unless `mayWait`, it tries memory alone while files are
    /// being found missing from it; -1 with EAGAIN when the bytes are not there yet.
    ssize_t firstRead(FileRead& read, std::size_t want, bool mayWait);

    /// False once the kernel said it cannot answer a read from memory alone; every read then
    /// waits for the disk.
    bool m_noWaitReads = true;
    /// A read that tries memory alone costs a little more than a plain one, so after a stretch
    /// of files all found in memory they are read plainly, until a plain read is seen waiting
    /// for the disk.
    bool m_tryMemoryFirst = true;
    int m_foundInMemory = 0;
};

/// One folder's listing, read to its end.
struct FolderListing {
    enum class Failure : std::uint8_t {
        None,
        Open,            ///< the folder could not be opened (nothing listed)
        EntryAttributes, ///< an entry's kind could not be read; `entries` came before it
        Read             ///< reading the listing failed after `entries` entries
    };

    Failure failure = Failure::None;
    /// Why the listing failed: an errno value or a readFailure code; 0 when it did not.
    int error = 0;
    /// The listed entries (plain files and folders; links and special files, and hidden
    /// names unless asked for, are not listed) handled before the listing ended or failed.
    std::size_t entries = 0;
    std::vector<std::string> files;   ///< names passing the filter, in listing order
    std::vector<std::string> folders; ///< sub-folder names, in listing order
};

/// Whether `a` is listed before `b`: names compared with ASCII letters as upper case, then
/// byte by byte. The kernel hands a folder's entries out in an order of its own, which differs
/// from one file system, machine and run to another; in this order the lists, the groups, the
/// output and the choice of the first file are the same everywhere.
bool listedBefore(std::string_view a, std::string_view b);

/// Lists the folder open on `fd`, files and sub-folders each in listedBefore order. Names
/// starting with "." are listed only when `hiddenNames` ("." and ".." never). Returns early
/// (result unused) once `cancel` is requested.
FolderListing listFolder(int fd, const FilterPatterns& filter, bool hiddenNames,
                         const Cancel* cancel);

} // namespace corvelle::intake
