// The catalogue store: a SQLite table with a unique key over path, name, extension, size and
// checksum, and a cursor over its records in ID order.
#include "catalogue/clsDatabase.h"

#include "catalogue/DatabaseImpl.h"
#include "common/PosixFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <numeric>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace corvelle {
namespace {

// The store is a per-run scratch file: nothing is synced, the journal stays in memory, and
// changes are committed in large batches. Our own connection sees every change at once, so
// answers stay exact; only a crash loses the batch, and the next run starts afresh anyway.
constexpr int kCommitEvery = 50000;
// SQLite's own page cache, in KiB. The work is sequential (records are added folder by folder
// and read back in ID order), so a modest cache does it at the same speed: pages beyond it are
// read from the operating system's file cache, which the process does not hold.
constexpr int kCacheKib = 8 * 1024;

constexpr std::string_view kSchema =
    "CREATE TABLE FileList ("
    " ID INTEGER PRIMARY KEY AUTOINCREMENT,"
    " Path BLOB NOT NULL, File BLOB NOT NULL, Extension BLOB NOT NULL,"
    " Size INTEGER NOT NULL, CRC INTEGER NOT NULL,"
    " CrcFailed INTEGER NOT NULL DEFAULT 0,"
    " Device INTEGER NOT NULL DEFAULT 0, Inode INTEGER NOT NULL DEFAULT 0);"
    "CREATE UNIQUE INDEX PrimaryKey ON FileList (Path, File, Extension, Size, CRC);";

/// Marks the database files this store makes ("Crvl"), so that one can be told from any
/// other database even when its pages are damaged: the mark sits in the file's first page,
/// which every commit writes whole.
constexpr std::uint32_t kApplicationId = 0x4372766C;

/// Whether the file starts with the header of a database that this store made.
bool madeByThisStore(const std::filesystem::path& file)
{
    constexpr std::string_view magic("SQLite format 3\0", 16);
    constexpr std::size_t applicationIdOffset = 68;
    std::array<unsigned char, applicationIdOffset + 4> header{};
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    const UniqueFd closer(fd);
    if (::pread(fd, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size()) ||
        std::memcmp(header.data(), magic.data(), magic.size()) != 0) {
        return false;
    }
    std::uint32_t id = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        id = (id << 8) | header[applicationIdOffset + i];
    }
    return id == kApplicationId;
}

} // namespace

std::string_view FolderNumbers::numberOf(std::string_view folder)
{
    auto found = m_numbers.find(std::string(folder));
    if (found == m_numbers.end()) {
        const auto number = static_cast<std::uint32_t>(m_folders.size());
        std::string stored(4, '\0');
        for (std::size_t i = 0; i < 4; ++i) {
            stored[i] = static_cast<char>((number >> (24 - 8 * i)) & 0xFFu);
        }
        found = m_numbers.emplace(std::string(folder), std::move(stored)).first;
        m_folders.push_back(&found->first);
    }
    return found->second;
}

const std::string& FolderNumbers::folderOf(std::string_view number) const
{
    std::uint32_t index = 0;
    for (const char byte : number.substr(0, 4)) {
        index = (index << 8) | static_cast<unsigned char>(byte);
    }
    if (number.size() != 4 || index >= m_folders.size()) {
        throw StoreError("Catalogue error: a record names no folder of this run");
    }
    return *m_folders[index];
}

namespace {

StoreError noCurrentRecord(const std::filesystem::path& file)
{
    return StoreError("No current record in the catalogue '" + file.string() + "'");
}

} // namespace

void clsDatabase::Impl::open(const std::filesystem::path& file)
{
    close();
    // An empty file is a new catalogue, as SQLite takes it for an empty database.
    std::error_code ec;
    const bool exists =
        std::filesystem::exists(file, ec) && std::filesystem::file_size(file, ec) != 0;
    m_connection.open(file, !exists);
    try {
        try {
            m_connection.execute("PRAGMA journal_mode=MEMORY; PRAGMA synchronous=OFF;"
                                 " PRAGMA temp_store=MEMORY; PRAGMA cache_size=-" +
                                 std::to_string(kCacheKib) + ";");
        } catch (const StoreError&) {
            if (sqlite3_errcode(m_connection.handle()) == SQLITE_NOTADB) {
                throw NotACatalogue(file);
            }
            throw;
        }
        if (!exists) {
            createSchema();
        } else if (!hasCatalogueTable()) {
            throw NotACatalogue(file);
        } else {
            addMissingColumns();
        }
        prepareStatements();
        m_connection.execute("BEGIN");
        requery();
    } catch (...) {
        close();
        throw;
    }
}

bool clsDatabase::Impl::hasCatalogueTable()
{
    sqlite::Statement find(m_connection,
                           "SELECT 1 FROM sqlite_master WHERE type='table' AND name='FileList'");
    return find.step();
}

void clsDatabase::Impl::createSchema()
{
    m_connection.execute("PRAGMA page_size=8192; PRAGMA application_id=" +
                         std::to_string(kApplicationId));
    m_connection.execute(kSchema);
}

/// A catalogue file written before records kept their physical file gains the two columns;
/// its records keep no identity.
void clsDatabase::Impl::addMissingColumns()
{
    bool hasIdentity = false;
    {
        sqlite::Statement column(m_connection,
                                 "SELECT 1 FROM pragma_table_info('FileList') WHERE name='Inode'");
        hasIdentity = column.step();
    }
    if (!hasIdentity) {
        m_connection.execute("ALTER TABLE FileList ADD COLUMN Device INTEGER NOT NULL DEFAULT 0;"
                             "ALTER TABLE FileList ADD COLUMN Inode INTEGER NOT NULL DEFAULT 0;");
    }
}

void clsDatabase::Impl::prepareStatements()
{
    m_insert = sqlite::Statement(
        m_connection, "INSERT INTO FileList (Path, File, Extension, Size, CRC, CrcFailed,"
                      " Device, Inode) VALUES (?,?,?,?,?,?,?,?)");
    m_selectOne = sqlite::Statement(m_connection,
                                    "SELECT Path, File, Extension, Size, CRC, CrcFailed, Device,"
                                    " Inode FROM FileList WHERE ID=?");
    m_deleteOne = sqlite::Statement(m_connection, "DELETE FROM FileList WHERE ID=?");
    m_selectAll = sqlite::Statement(
        m_connection, "SELECT ID, File, Extension, Size, CRC, CrcFailed, Device, Inode"
                      " FROM FileList ORDER BY ID");
}

void clsDatabase::Impl::close()
{
    if (!m_connection.isOpen()) {
        return;
    }
    m_insert = {};
    m_selectOne = {};
    m_deleteOne = {};
    m_selectAll = {};
    const bool committed =
        sqlite3_get_autocommit(m_connection.handle()) != 0 ||
        sqlite3_exec(m_connection.handle(), "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    std::optional<StoreError> failure;
    if (!committed) {
        failure = m_connection.error("saving");
    }
    m_connection.close();
    m_folderNumbers.reset();
    m_ids.clear();
    m_position = Position::BeforeFirst;
    m_current.reset();
    if (failure) {
        throw *failure;
    }
}

void clsDatabase::Impl::requireOpen() const
{
    if (!m_connection.isOpen()) {
        throw StoreError("The catalogue is not open");
    }
}

void clsDatabase::Impl::requery()
{
    requireOpen();
    m_ids.clear();
    sqlite::Statement ids(m_connection, "SELECT ID FROM FileList ORDER BY ID");
    while (ids.step()) {
        m_ids.append(RecordId{static_cast<std::int32_t>(ids.integer(0))});
    }
    if (m_ids.empty()) {
        m_position = Position::BeforeFirst;
        m_current.reset();
    } else {
        placeOn(m_ids.first());
    }
}

void clsDatabase::Impl::placeOn(std::size_t index)
{
    m_at = index;
    m_position = Position::OnRecord;
    m_current.reset();
}

void clsDatabase::Impl::moveFirst()
{
    requireOpen();
    if (m_ids.empty()) {
        throw noCurrentRecord(file());
    }
    placeOn(m_ids.first());
}

void clsDatabase::Impl::moveNext()
{
    requireOpen();
    switch (m_position) {
    case Position::AfterLast:
        throw noCurrentRecord(file());
    case Position::BeforeFirst:
        if (m_ids.empty()) {
            throw noCurrentRecord(file());
        }
        placeOn(m_ids.first());
        return;
    case Position::OnRecord: {
        const std::size_t next = m_ids.next(m_at);
        if (next == IdKeyset::npos) {
            m_position = Position::AfterLast;
            m_current.reset();
        } else {
            placeOn(next);
        }
        return;
    }
    }
}

void clsDatabase::Impl::moveLast()
{
    requireOpen();
    if (m_ids.empty()) {
        throw noCurrentRecord(file());
    }
    placeOn(m_ids.last());
}

void clsDatabase::Impl::restAfter(RecordId lastVisited)
{
    const std::size_t next = !lastVisited ? IdKeyset::npos : m_ids.after(lastVisited);
    if (next == IdKeyset::npos) {
        m_position = m_ids.empty() ? Position::BeforeFirst : Position::AfterLast;
        m_current.reset();
    } else {
        placeOn(next);
    }
}

bool clsDatabase::Impl::find(RecordId id)
{
    requireOpen();
    const std::size_t at = m_ids.find(id);
    if (at == IdKeyset::npos) {
        return false;
    }
    if (m_position != Position::OnRecord || m_at != at) {
        placeOn(at);
    }
    return true;
}

const CatalogueRecord& clsDatabase::Impl::current()
{
    requireOpen();
    if (m_position != Position::OnRecord) {
        throw noCurrentRecord(file());
    }
    if (!m_current) {
        sqlite::ResetGuard guard(m_selectOne);
        m_selectOne.bind(1, m_ids.at(m_at).value());
        if (!m_selectOne.step()) {
            throw noCurrentRecord(file());
        }
        CatalogueRecord record;
        record.id = m_ids.at(m_at);
        record.path.assign(folderIn(m_selectOne.bytesView(0)));
        readRecordColumns(m_selectOne, record);
        m_current = std::move(record);
    }
    return *m_current;
}

std::vector<PhysicalFile> clsDatabase::Impl::physicalFilesOf(const std::vector<RecordId>& ids)
{
    requireOpen();
    std::vector<std::size_t> byId(ids.size());
    std::iota(byId.begin(), byId.end(), std::size_t{0});
    std::sort(byId.begin(), byId.end(),
              [&](std::size_t a, std::size_t b) { return ids[a] < ids[b]; });
    std::vector<PhysicalFile> identities(ids.size());
    // Both sides in ID order: one merge, with only the records that have an identity.
    sqlite::Statement known(m_connection,
                            "SELECT ID, Device, Inode FROM FileList WHERE Inode<>0 ORDER BY ID");
    std::size_t k = 0;
    while (k < byId.size() && known.step()) {
        const RecordId id{static_cast<std::int32_t>(known.integer(0))};
        while (k < byId.size() && ids[byId[k]] < id) {
            ++k;
        }
        for (; k < byId.size() && ids[byId[k]] == id; ++k) {
            identities[byId[k]] = identityInColumns(known, 1);
        }
    }
    return identities;
}

RecordId clsDatabase::Impl::add(std::string_view path, std::string_view file,
                                std::string_view extension, FileSize size, Checksum crc,
                                PhysicalFile identity)
{
    requireOpen();
    sqlite::ResetGuard guard(m_insert);
    m_insert.bindBytes(1, m_folderNumbers ? m_folderNumbers->numberOf(path) : path);
    m_insert.bindBytes(2, file);
    m_insert.bindBytes(3, extension);
    m_insert.bind(4, size.bytes());
    m_insert.bind(5, crc.value.stored());
    m_insert.bind(6, crc.failed ? 1 : 0);
    m_insert.bind(7, static_cast<std::int64_t>(identity.device));
    m_insert.bind(8, static_cast<std::int64_t>(identity.inode));
    const int rc = m_insert.stepRaw();
    if (rc != SQLITE_DONE) {
        // A refused save leaves the catalogue as it was and answers 0. If SQLite had to
        // abandon the whole batch (disk full, I/O error), records we reported as added are
        // gone: that is no refusal, and the caller must hear of it.
        if (sqlite3_get_autocommit(m_connection.handle()) != 0) {
            StoreError failure = m_connection.error("adding a record to");
            m_connection.execute("BEGIN");
            requery();
            throw failure;
        }
        return RecordId{};
    }
    const sqlite3_int64 id = sqlite3_last_insert_rowid(m_connection.handle());
    if (id > std::numeric_limits<std::int32_t>::max()) {
        // IDs are 32-bit everywhere else; a catalogue this large refuses further records.
        sqlite::ResetGuard undo(m_deleteOne);
        m_deleteOne.bind(1, id);
        m_deleteOne.step();
        return RecordId{};
    }
    const RecordId added{static_cast<std::int32_t>(id)};
    // The cursor rests on the new record; its fields are read back only if someone asks.
    placeOn(m_ids.append(added));
    noteChange();
    return added;
}

void clsDatabase::Impl::remove(RecordId id)
{
    requireOpen();
    {
        sqlite::ResetGuard guard(m_deleteOne);
        m_deleteOne.bind(1, id.value());
        m_deleteOne.step();
    }
    m_ids.erase(id);
    noteChange();
    // The requery after a deletion puts the cursor on the first record. The ID set is kept
    // in step with the table, so it needs no reload.
    if (m_ids.empty()) {
        m_position = Position::BeforeFirst;
        m_current.reset();
    } else {
        placeOn(m_ids.first());
    }
}

void clsDatabase::Impl::removeAll()
{
    requireOpen();
    m_connection.execute("DELETE FROM FileList");
    noteChange();
    requery();
}

void clsDatabase::Impl::noteChange()
{
    if (++m_changesSinceCommit < kCommitEvery) {
        return;
    }
    m_changesSinceCommit = 0;
    m_connection.execute("COMMIT");
    m_connection.execute("BEGIN");
}

clsDatabase::clsDatabase()
    : m_impl(std::make_unique<Impl>())
{}

clsDatabase::~clsDatabase()
{
    try {
        m_impl->close();
    } catch (const StoreError&) {
        // Nothing can be reported from a destructor; CloseProject reports it when called.
    }
}

void clsDatabase::OpenProject(const std::filesystem::path& strFileName)
{
    m_impl->open(strFileName);
}

void clsDatabase::openEmptied(const std::filesystem::path& file)
{
    if (madeByThisStore(file)) {
        m_impl->close();
        if (::truncate(file.c_str(), 0) != 0) {
            throw StoreError("Catalogue error emptying '" + file.string() +
                             "': " + std::strerror(errno));
        }
        m_impl->open(file);
        return;
    }
    m_impl->open(file);
    m_impl->removeAll();
}

void clsDatabase::openScratch(const std::filesystem::path& file)
{
    openEmptied(file);
    m_impl->numberFolders();
}

void clsDatabase::CloseProject()
{
    m_impl->close();
}

bool clsDatabase::isOpen() const
{
    return m_impl->isOpen();
}

std::int32_t clsDatabase::RecordCount()
{
    m_impl->requireOpen();
    return m_impl->count();
}

bool clsDatabase::Eof()
{
    m_impl->requireOpen();
    return m_impl->count() == 0 || m_impl->position() == Impl::Position::AfterLast;
}

bool clsDatabase::Bof()
{
    m_impl->requireOpen();
    return m_impl->count() == 0 || m_impl->position() == Impl::Position::BeforeFirst;
}

void clsDatabase::MoveFirst()
{
    m_impl->moveFirst();
}

void clsDatabase::MoveNext()
{
    m_impl->moveNext();
}

void clsDatabase::MoveLast()
{
    m_impl->moveLast();
}

std::string clsDatabase::ID()
{
    return toString(m_impl->current().id);
}

std::string clsDatabase::Path()
{
    return m_impl->current().path;
}

std::string clsDatabase::File()
{
    return m_impl->current().file;
}

std::string clsDatabase::Extension()
{
    return m_impl->current().extension;
}

FileSize clsDatabase::Size()
{
    return m_impl->current().size;
}

CrcValue clsDatabase::CRC()
{
    return m_impl->current().crc.value;
}

bool clsDatabase::CrcFailed()
{
    return m_impl->current().crc.failed;
}

const CatalogueRecord& clsDatabase::currentRecord()
{
    return m_impl->current();
}

bool clsDatabase::FindID(RecordId ID)
{
    return m_impl->find(ID);
}

RecordId clsDatabase::AddRecord(std::string_view strPath, std::string_view strFile,
                                std::string_view strExtension, FileSize lngSize, Checksum lngCRC,
                                PhysicalFile identity)
{
    return m_impl->add(strPath, strFile, strExtension, lngSize, lngCRC, identity);
}

void clsDatabase::DeleteRecord(RecordId intID)
{
    m_impl->remove(intID);
}

void clsDatabase::DeleteRecords()
{
    m_impl->removeAll();
}

} // namespace corvelle
