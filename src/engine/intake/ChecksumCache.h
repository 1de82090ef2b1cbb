// Checksums kept between runs: the CRC of a file's first N bytes, under what identifies the
// file's content as far as the file system can tell (device, inode, size, modification time
// and change time, to the nanosecond). A file whose key still matches is not read again; any
// change to it, or another file in its place, changes the key. The cache only saves reading
// files to checksum them: verification and every action still compare the bytes themselves.
#pragma once

#include "common/PhysicalFile.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace corvelle {

class ChecksumCache {
public:
    /// Opens the cache file, or makes it when missing. A file that is not such a cache, or is
    /// damaged, is never trusted: it is made anew, and `warn` is told why.
    ChecksumCache(std::filesystem::path file, const std::function<void(std::string)>& warn);
    ~ChecksumCache();
    ChecksumCache(const ChecksumCache&) = delete;
    ChecksumCache& operator=(const ChecksumCache&) = delete;

    /// The CRC-32 of the first `leading` bytes of the file, when it is still as it was when
    /// that was taken. Safe to call from several threads at once.
    [[nodiscard]] std::optional<std::uint32_t> find(const PathStatus& file, std::int64_t leading);
    /// Keeps the CRC-32 of the first `leading` bytes of the file, found in `folder`. Safe to
    /// call from several threads at once.
    void remember(const PathStatus& file, std::int64_t leading, std::uint32_t crc,
                  PhysicalFile folder);
    /// The folder was listed whole in this run: what the cache holds of files in it that this
    /// run did not meet is of files no longer there, and goes when the cache is saved.
    void folderListed(PhysicalFile folder);

    /// Writes what this run learnt: new entries, and entries of files no longer in listed
    /// folders removed (unless `complete` is false: a run cut short removes nothing). Another
    /// run saving the same file at once waits for it. Throws std::runtime_error naming the
    /// file when it cannot be written.
    void save(bool complete = true);

    /// Entries held: those read at the start and those learnt since.
    [[nodiscard]] std::size_t size() const;

private:
    struct Entry {
        PhysicalFile file;
        std::int64_t size = 0;
        std::int64_t mtimeNs = 0;
        std::int64_t ctimeNs = 0;
        std::int64_t leading = 0;
        std::uint32_t crc = 0;
        PhysicalFile folder;
    };
    void load();
    /// The entries in the file as found at the start, by file and leading bytes.
    std::vector<Entry> m_known;
    /// Which of m_known this run met (a file in its place, changed or not).
    std::unique_ptr<std::atomic<bool>[]> m_met;
    std::mutex m_mutex; // guards the two below
    std::vector<Entry> m_learnt;
    std::vector<PhysicalFile> m_listedFolders;
    std::filesystem::path m_file;
};

} // namespace corvelle
