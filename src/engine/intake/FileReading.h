// What intake learns about a file (its size and the checksum of its leading bytes) and about a
// folder (its entries), straight from the kernel: folders are read with getdents64 and files
// opened relative to their folder's descriptor, so no path is resolved twice and no symbolic
// link is followed inside a scan.
#pragma once

#include "checksum/clsCRC.h"
#include "common/PosixFile.h"
#include "common/Types.h"
#include "intake/IntakeNames.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

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
    Crc crc = Crc::NotRead;
    /// The CRC-32 after its final complement (valid when crc is Ok).
    std::uint32_t crcBits = 0;
    /// For a failed checksum: the whole blocks that were read before the failure.
    std::int64_t blocksDone = 0;

    friend bool operator==(const FileFacts&, const FileFacts&) = default;
};

/// Reads the size and leading bytes of files. One per thread: it owns its read buffer.
class FileReader {
public:
    explicit FileReader(std::int64_t crcSize);

    /// Examines `name` relative to the folder descriptor `dirFd` (or AT_FDCWD with a full
    /// path). Inside a scan links are not followed (followLinks false); a file the user named
    /// is taken as named. Never opens anything but a regular file, and never blocks on one
    /// that turns out to be a FIFO. `failAfter` makes reading fail once that many bytes were
    /// read (a fault for tests). Stops reading early when `cancel` becomes true.
    FileFacts examine(int dirFd, const char* name, bool followLinks,
                      const std::atomic<bool>* cancel, std::optional<FileSize> failAfter);

private:
    FileFacts sizeOnly(int dirFd, const char* name, bool followLinks) const;

    std::int64_t m_crcSize;
    std::vector<std::uint8_t> m_buffer;
    bool m_noAtime = true;
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
    /// The listed entries (plain files and folders; hidden names, links and special files
    /// are not listed) handled before the listing ended or failed.
    std::size_t entries = 0;
    std::vector<std::string> files;   ///< names passing the filter, in listing order
    std::vector<std::string> folders; ///< sub-folder names, in listing order
};

/// Lists the folder open on `fd`. Returns early (result unused) once `cancel` is true.
FolderListing listFolder(int fd, const FilterPatterns& filter, const std::atomic<bool>* cancel);

} // namespace corvelle::intake
