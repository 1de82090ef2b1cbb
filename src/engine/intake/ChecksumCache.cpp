#include "intake/ChecksumCache.h"

#include "catalogue/Sqlite.h"
#include "checksum/clsCRC.h"
#include "common/PosixFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;

namespace corvelle {
namespace {

constexpr std::string_view kSchema =
    "CREATE TABLE IF NOT EXISTS Checksums ("
    " Device INTEGER NOT NULL, Inode INTEGER NOT NULL, Leading INTEGER NOT NULL,"
    " Size INTEGER NOT NULL, MtimeNs INTEGER NOT NULL, CtimeNs INTEGER NOT NULL,"
    " Crc INTEGER NOT NULL, FolderDevice INTEGER NOT NULL, FolderInode INTEGER NOT NULL,"
    " RowCheck INTEGER NOT NULL, PRIMARY KEY (Device, Inode, Leading)) WITHOUT ROWID;";

/// Marks the files this cache makes ("CrvC"), so that one is never taken for another file.
constexpr std::uint32_t kApplicationId = 0x43727643;
/// Another program's runs may hold the file while they save; this one waits that long.
constexpr int kBusyMilliseconds = 60'000;

enum class FileKind { Missing, Ours, Other };

/// What the file is, from its first bytes: missing or empty, one of these caches (perhaps
/// damaged past its first page), or anything else.
FileKind kindOf(const fs::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT ? FileKind::Missing : FileKind::Other;
    }
    const UniqueFd closer(fd);
    std::array<unsigned char, 72> header{};
    const ssize_t got = ::pread(fd, header.data(), header.size(), 0);
    if (got == 0) {
        return FileKind::Missing;
    }
    constexpr std::string_view magic("SQLite format 3\0", 16);
    if (got != static_cast<ssize_t>(header.size()) ||
        std::memcmp(header.data(), magic.data(), magic.size()) != 0) {
        return FileKind::Other;
    }
    std::uint32_t id = 0;
    for (std::size_t i = 68; i < 72; ++i) {
        id = (id << 8) | header[i];
    }
    return id == kApplicationId ? FileKind::Ours : FileKind::Other;
}

void openCache(sqlite::Connection& connection, const fs::path& file)
{
    connection.open(file, true);
    sqlite3_busy_timeout(connection.handle(), kBusyMilliseconds);
    connection.execute("PRAGMA application_id=" + std::to_string(kApplicationId) + ";");
    connection.execute(kSchema);
}

/// The numbers of an entry, in the order the table holds them.
template <class Entry> std::array<std::int64_t, 9> fieldsOf(const Entry& entry)
{
    return {static_cast<std::int64_t>(entry.file.device),
            static_cast<std::int64_t>(entry.file.inode),
            entry.leading,
            entry.size,
            entry.mtimeNs,
            entry.ctimeNs,
            static_cast<std::int64_t>(entry.crc),
            static_cast<std::int64_t>(entry.folder.device),
            static_cast<std::int64_t>(entry.folder.inode)};
}

/// A CRC-32 over a row's numbers. SQLite keeps no check of its own on the values it stores:
/// a row damaged in place would read as another valid row, and its checksum could match a
/// file it was never taken of.
std::int64_t rowCheck(const std::array<std::int64_t, 9>& fields)
{
    std::array<std::uint8_t, 9 * 8> bytes{};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        for (std::size_t b = 0; b < 8; ++b) {
            bytes[i * 8 + b] =
                static_cast<std::uint8_t>(static_cast<std::uint64_t>(fields[i]) >> (8 * b));
        }
    }
    return static_cast<std::int64_t>(~crc::crc32Update(0xFFFFFFFFu, bytes.data(), bytes.size()));
}

bool orderedByFile(const auto& a, const auto& b)
{
    return std::tie(a.file.device, a.file.inode, a.leading) <
           std::tie(b.file.device, b.file.inode, b.leading);
}

} // namespace

ChecksumCache::ChecksumCache(fs::path file, const std::function<void(std::string)>& warn)
    : m_file(std::move(file))
{
    const FileKind kind = kindOf(m_file);
    if (kind == FileKind::Other) {
        // Never another program's file: it is left as it is, and this run reads every file.
        throw std::runtime_error("'" + m_file.string() +
                                 "' is not a checksum cache: name a new file, or one that "
                                 "--cache made before (it is left as it is)");
    }
    try {
        load();
    } catch (const std::exception& error) {
        // A damaged cache could say anything: none of it is trusted. It is made anew.
        warn("the checksum cache '" + m_file.string() + "' is damaged (" + error.what() +
             "): it is made anew");
        m_known.clear();
        std::error_code ignored;
        fs::remove(m_file, ignored);
        fs::remove(m_file.string() + "-journal", ignored);
        sqlite::Connection connection;
        openCache(connection, m_file);
    }
    m_met = std::make_unique<std::atomic<bool>[]>(m_known.size());
}

ChecksumCache::~ChecksumCache() = default;

void ChecksumCache::load()
{
    sqlite::Connection connection;
    openCache(connection, m_file);
    sqlite::Statement all(connection, "SELECT Device, Inode, Leading, Size, MtimeNs, CtimeNs,"
                                      " Crc, FolderDevice, FolderInode, RowCheck FROM Checksums");
    const auto identity = [&](int column) {
        return PhysicalFile{static_cast<std::uint64_t>(all.integer(column)),
                            static_cast<std::uint64_t>(all.integer(column + 1))};
    };
    while (all.step()) {
        Entry entry;
        entry.file = identity(0);
        entry.leading = all.integer(2);
        entry.size = all.integer(3);
        entry.mtimeNs = all.integer(4);
        entry.ctimeNs = all.integer(5);
        entry.crc = static_cast<std::uint32_t>(all.integer(6));
        entry.folder = identity(7);
        if (rowCheck(fieldsOf(entry)) != all.integer(9)) {
            throw std::runtime_error("a row does not match its check");
        }
        m_known.push_back(entry);
    }
    // SQLite's order of signed integers is not that of the unsigned identities.
    std::sort(m_known.begin(), m_known.end(),
              [](const Entry& a, const Entry& b) { return orderedByFile(a, b); });
}

std::optional<std::uint32_t> ChecksumCache::find(const PathStatus& file, std::int64_t leading)
{
    const auto byFile = [](const Entry& entry, const PhysicalFile& wanted) {
        return std::tie(entry.file.device, entry.file.inode) <
               std::tie(wanted.device, wanted.inode);
    };
    auto at = std::lower_bound(m_known.begin(), m_known.end(), file.identity, byFile);
    std::optional<std::uint32_t> crc;
    // Every entry of the file is of a file this run met, whatever became of it.
    for (; at != m_known.end() && at->file == file.identity; ++at) {
        m_met[static_cast<std::size_t>(at - m_known.begin())].store(true,
                                                                    std::memory_order_relaxed);
        if (at->leading == leading && at->size == file.size && at->mtimeNs == file.mtimeNs &&
            at->ctimeNs == file.ctimeNs) {
            crc = at->crc;
        }
    }
    return crc;
}

void ChecksumCache::remember(const PathStatus& file, std::int64_t leading, std::uint32_t crc,
                             PhysicalFile folder)
{
    const std::lock_guard lock(m_mutex);
    m_learnt.push_back(
        Entry{file.identity, file.size, file.mtimeNs, file.ctimeNs, leading, crc, folder});
}

void ChecksumCache::folderListed(PhysicalFile folder)
{
    const std::lock_guard lock(m_mutex);
    m_listedFolders.push_back(folder);
}

std::size_t ChecksumCache::size() const
{
    return m_known.size() + m_learnt.size();
}

void ChecksumCache::save(bool complete)
{
    const std::lock_guard lock(m_mutex);
    sqlite::Connection connection;
    openCache(connection, m_file);
    connection.execute("BEGIN IMMEDIATE");
    try {
        sqlite::Statement insert(connection,
                                 "INSERT OR REPLACE INTO Checksums (Device, Inode, Leading, Size,"
                                 " MtimeNs, CtimeNs, Crc, FolderDevice, FolderInode, RowCheck)"
                                 " VALUES (?,?,?,?,?,?,?,?,?,?)");
        for (const Entry& entry : m_learnt) {
            sqlite::ResetGuard guard(insert);
            const std::array<std::int64_t, 9> fields = fieldsOf(entry);
            for (std::size_t i = 0; i < fields.size(); ++i) {
                insert.bind(static_cast<int>(i + 1), fields[i]);
            }
            insert.bind(10, rowCheck(fields));
            insert.step();
        }
        if (complete) {
            std::sort(m_listedFolders.begin(), m_listedFolders.end(),
                      [](const PhysicalFile& a, const PhysicalFile& b) {
                          return std::tie(a.device, a.inode) < std::tie(b.device, b.inode);
                      });
            const auto listed = [&](const PhysicalFile& folder) {
                return std::binary_search(m_listedFolders.begin(), m_listedFolders.end(), folder,
                                          [](const PhysicalFile& a, const PhysicalFile& b) {
                                              return std::tie(a.device, a.inode) <
                                                     std::tie(b.device, b.inode);
                                          });
            };
            sqlite::Statement drop(connection, "DELETE FROM Checksums WHERE Device=? AND"
                                               " Inode=? AND Leading=?");
            for (std::size_t i = 0; i < m_known.size(); ++i) {
                const Entry& entry = m_known[i];
                if (m_met[i].load(std::memory_order_relaxed) || !listed(entry.folder)) {
                    continue;
                }
                sqlite::ResetGuard guard(drop);
                drop.bind(1, static_cast<std::int64_t>(entry.file.device));
                drop.bind(2, static_cast<std::int64_t>(entry.file.inode));
                drop.bind(3, entry.leading);
                drop.step();
            }
        }
        connection.execute("COMMIT");
    } catch (...) {
        sqlite3_exec(connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

} // namespace corvelle
