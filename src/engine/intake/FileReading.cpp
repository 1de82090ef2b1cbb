#include "intake/FileReading.h"

#include "checksum/clsCRC.h"
#include "intake/ChecksumCache.h"
#include "intake/IntakeFaults.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace corvelle::intake {
namespace {

/// Large reads keep the system-call count low; the CRC is the same whatever the read size,
/// since the register simply carries over from one piece to the next.
constexpr std::size_t readChunk = 256 * 1024;

/// Big enough that a folder of a few hundred entries is listed in one call.
constexpr std::size_t listingBufferSize = 64 * 1024;

} // namespace

std::string failureReason(int error)
{
    switch (error) {
    case 0:
        return {};
    case readFailure::notRegularFile:
        return "not a regular file";
    case readFailure::endedEarly:
        return "the file ended before its length said";
    case readFailure::folderLoop:
        return "the folder is inside itself";
    case readFailure::changedWhileRead:
        return "the file changed while it was read";
    case readFailure::symbolicLink:
        return "a symbolic link, which is not followed";
    default:
        return std::strerror(error);
    }
}

FileReader::FileReader(const ReadSettings& settings, const Cancel* cancel)
    : m_crcSize(settings.crcSize)
    , m_scope(settings.scope)
    , m_faults(settings.faults)
    , m_cache(settings.cache)
    , m_cancel(cancel)
{}

FileFacts FileReader::examineIn(const FolderHandle& folder, const std::string& name)
{
    FileRead read;
    start(folder.fd.get(), name.c_str(), false, folder.path, {folder.device, folder.inode}, true,
          read);
    return std::move(read.facts);
}

FileFacts FileReader::examinePath(const std::string& fullPath)
{
    FileRead read;
    start(AT_FDCWD, fullPath.c_str(), true, {}, folderOfPath(fullPath), true, read);
    return std::move(read.facts);
}

bool FileReader::startIn(const FolderHandle& folder, const std::string& name, FileRead& read)
{
    return start(folder.fd.get(), name.c_str(), false, folder.path, {folder.device, folder.inode},
                 false, read);
}

bool FileReader::startPath(const std::string& fullPath, FileRead& read)
{
    return start(AT_FDCWD, fullPath.c_str(), true, {}, folderOfPath(fullPath), false, read);
}

PhysicalFile FileReader::folderOfPath(const std::string& fullPath) const
{
    struct stat st {};
    if (m_cache == nullptr ||
        ::stat(fullPath.substr(0, fullPath.rfind('/') + 1).c_str(), &st) != 0) {
        return {};
    }
    return PhysicalFile::of(st);
}

void FileReader::finish(FileRead& read)
{
    if (read.m_fd.valid()) {
        readLeadingBytes(read, true);
    }
}

FileFacts FileReader::sizeOnly(int dirFd, const char* name, bool followLinks) const
{
    FileFacts facts;
    struct stat st {};
    if (::fstatat(dirFd, name, &st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
        facts.error = errno;
    } else if (S_ISLNK(st.st_mode)) {
        facts.error = readFailure::symbolicLink; // put in the file's place since the listing
    } else if (!S_ISREG(st.st_mode)) {
        facts.error = readFailure::notRegularFile;
    } else {
        facts.sizeKnown = true;
        facts.size = st.st_size;
        facts.identity = PhysicalFile::of(st);
    }
    return facts;
}

int FileReader::openToRead(int dirFd, const char* name, bool followLinks)
{
    // O_NONBLOCK: should the entry have become a FIFO since it was listed, opening it must
    // not wait for a writer; the caller's fstat then refuses it.
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (!followLinks) {
        flags |= O_NOFOLLOW;
    }
    if (m_noAtime) {
        const int fd = ::openat(dirFd, name, flags | O_NOATIME);
        if (fd >= 0 || errno != EPERM) {
            return fd;
        }
        m_noAtime = false; // only the owner (or root) may ask for it
    }
    return ::openat(dirFd, name, flags);
}

bool FileReader::start(int dirFd, const char* name, bool followLinks, std::string_view folder,
                       PhysicalFile folderIdentity, bool mayWait, FileRead& read)
{
    read = FileRead{};
    read.m_folder = folderIdentity;
    std::optional<FileSize> failAfter;
    if (m_faults != nullptr) {
        read.m_fullPath = std::string(folder) + name;
        if (m_faults->beforeOpen) {
            m_faults->beforeOpen(read.m_fullPath);
        }
        if (m_faults->readFailsAfter) {
            failAfter = m_faults->readFailsAfter(read.m_fullPath);
        }
    }
    FileFacts& facts = read.facts;
    if (m_crcSize <= 0) {
        facts = sizeOnly(dirFd, name, followLinks);
        return true;
    }

    const int fd = openToRead(dirFd, name, followLinks);
    if (fd < 0) {
        const int openError = errno;
        // The length does not need the file to be readable. A readable length with an
        // unreadable content is a checksum failure, not a lost file.
        facts = sizeOnly(dirFd, name, followLinks);
        if (facts.sizeKnown) {
            facts.crc = facts.size == 0 ? FileFacts::Crc::Ok : FileFacts::Crc::Failed;
            facts.error = facts.size == 0 ? 0 : openError;
        }
        return true;
    }
    read.m_fd = UniqueFd(fd);

    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        facts.error = errno;
        read.m_fd.reset();
        return true;
    }
    if (!S_ISREG(st.st_mode)) {
        facts.error = readFailure::notRegularFile;
        read.m_fd.reset();
        return true;
    }
    facts.sizeKnown = true;
    facts.size = st.st_size;
    facts.identity = PhysicalFile::of(st);
    read.m_opened = PathStatus::of(st);
    read.m_total = std::min<std::int64_t>(facts.size.bytes(), m_crcSize);
    if (!m_scope.takesSize(facts.size)) {
        read.m_fd.reset();
        return true; // left out of the intake: its bytes are not needed
    }
    if (read.m_total <= 0) {
        facts.crc = FileFacts::Crc::Ok; // nothing to read: the initial CRC, 0
        read.m_fd.reset();
        return true;
    }
    read.m_readable =
        failAfter ? std::min<std::int64_t>(failAfter->bytes(), read.m_total) : read.m_total;
    if (m_cache != nullptr) {
        if (const std::optional<std::uint32_t> kept = m_cache->find(read.m_opened, m_crcSize)) {
            facts.crc = FileFacts::Crc::Ok; // as it was when last read: not read again
            facts.crcBits = *kept;
            read.m_fd.reset();
            return true;
        }
    }
    if (m_buffer.empty()) {
        m_buffer.resize(static_cast<std::size_t>(std::min<std::int64_t>(m_crcSize, readChunk)));
    }
    if (readLeadingBytes(read, mayWait)) {
        return true;
    }
    // Only advice: should the kernel ignore it, finish() simply waits for the disk.
    ::posix_fadvise(fd, 0, read.m_total, POSIX_FADV_WILLNEED);
    return false;
}

ssize_t FileReader::readWithoutWaiting(FileRead& read, std::size_t want)
{
    if (m_faults != nullptr && m_faults->readWithoutWaiting) {
        if (const int error = m_faults->readWithoutWaiting(read.m_fullPath); error != 0) {
            errno = error;
            return -1;
        }
    }
    iovec piece{m_buffer.data(), want};
    return ::preadv2(read.m_fd.get(), &piece, 1, -1, RWF_NOWAIT);
}

ssize_t FileReader::firstRead(FileRead& read, std::size_t want, bool mayWait)
{
    // Reads in memory take microseconds; one that waited for the disk takes far longer.
    constexpr auto diskWait = std::chrono::microseconds(200);
    constexpr int stretchInMemory = 64;

    if (mayWait || !m_noWaitReads) {
        return ::read(read.m_fd.get(), m_buffer.data(), want);
    }
    if (!m_tryMemoryFirst) {
        const auto started = std::chrono::steady_clock::now();
        const ssize_t got = ::read(read.m_fd.get(), m_buffer.data(), want);
        m_tryMemoryFirst = std::chrono::steady_clock::now() - started > diskWait;
        m_foundInMemory = 0;
        return got;
    }
    for (;;) {
        const ssize_t got = readWithoutWaiting(read, want);
        if (got < 0 && errno == EAGAIN) {
            m_foundInMemory = 0;
        } else if (got < 0 && (errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS)) {
            m_noWaitReads = false; // an older kernel or a file system that cannot tell
            return ::read(read.m_fd.get(), m_buffer.data(), want);
        } else if (got > 0 && ++m_foundInMemory >= stretchInMemory) {
            m_tryMemoryFirst = false;
        }
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

bool FileReader::readLeadingBytes(FileRead& read, bool mayWait)
{
    FileFacts& facts = read.facts;
    const int fd = read.m_fd.get();
    std::uint32_t reg = 0xFFFFFFFFu;
    std::int64_t done = 0;
    bool failed = read.m_readable < read.m_total;
    int error = failed ? EIO : 0;
    while (done < read.m_readable) {
        if (cancelled(m_cancel)) {
            read.m_fd.reset();
            return true; // abandoned: nobody reads the result
        }
        const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(
            read.m_readable - done, static_cast<std::int64_t>(m_buffer.size())));
        const ssize_t got =
            done == 0 ? firstRead(read, want, mayWait) : ::read(fd, m_buffer.data(), want);
        if (got < 0 && errno == EAGAIN && !mayWait) {
            return false; // not in memory yet: asked of the disk, finished later
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            // An error, or the file ended before its length said: either way these are not
            // the bytes the length promised, so no checksum is claimed for them.
            failed = true;
            error = got < 0 ? errno : readFailure::endedEarly;
            break;
        }
        reg = crc::crc32Update(reg, m_buffer.data(), static_cast<std::size_t>(got));
        if (done == 0 && m_faults != nullptr && m_faults->whileReading) {
            m_faults->whileReading(read.m_fullPath);
        }
        done += got;
    }
    // A file written to while it was read gives bytes of no one version of it: its length
    // and checksum would describe a file that never was, and could match a file it is not.
    struct stat after {};
    if (!failed &&
        (::fstat(fd, &after) != 0 || !PathStatus::of(after).sameContentAs(read.m_opened))) {
        failed = true;
        error = readFailure::changedWhileRead;
    }
    read.m_fd.reset();
    if (failed) {
        facts.crc = FileFacts::Crc::Failed;
        facts.error = error;
        facts.blocksDone = done / crcBlockSize();
        return true;
    }
    facts.crc = FileFacts::Crc::Ok;
    facts.crcBits = ~reg;
    if (m_cache != nullptr) {
        m_cache->remember(read.m_opened, m_crcSize, facts.crcBits, read.m_folder);
    }
    return true;
}

bool listedBefore(std::string_view a, std::string_view b)
{
    const auto upper = [](char c) {
        return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
    };
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char x = upper(a[i]);
        const unsigned char y = upper(b[i]);
        if (x != y) {
            return x < y;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    return a < b; // compared as unsigned bytes
}

FolderListing listFolder(int fd, const FilterPatterns& filter, bool hiddenNames,
                         const Cancel* cancel)
{
    FolderListing listing;
    std::vector<char> buffer(listingBufferSize);
    for (;;) {
        if (cancelled(cancel)) {
            return listing;
        }
        const ssize_t got = ::getdents64(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            listing.failure = FolderListing::Failure::Read;
            listing.error = errno;
            return listing;
        }
        if (got == 0) {
            std::sort(listing.files.begin(), listing.files.end(), listedBefore);
            std::sort(listing.folders.begin(), listing.folders.end(), listedBefore);
            return listing;
        }
        std::size_t offset = 0;
        while (offset < static_cast<std::size_t>(got)) {
            dirent64 entry{};
            // Records are packed on 8-byte boundaries in the buffer; copy the fixed part out
            // rather than casting, so alignment is never assumed.
            std::memcpy(&entry, buffer.data() + offset, offsetof(dirent64, d_name));
            const char* name = buffer.data() + offset + offsetof(dirent64, d_name);
            offset += entry.d_reclen;

            // Hidden entries (a leading ".") are not listed unless asked for; "." and ".." never.
            if (name[0] == '.' &&
                (!hiddenNames || name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
                continue;
            }
            unsigned char type = entry.d_type;
            if (type == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    listing.failure = FolderListing::Failure::EntryAttributes;
                    listing.error = errno;
                    return listing;
                }
                type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
            }
            if (type == DT_REG) {
                ++listing.entries;
                if (filter.matches(name)) {
                    listing.files.emplace_back(name);
                }
            } else if (type == DT_DIR) {
                ++listing.entries;
                listing.folders.emplace_back(name);
            }
            // Links, FIFOs, sockets and devices are not listed at all.
        }
    }
}

} // namespace corvelle::intake
