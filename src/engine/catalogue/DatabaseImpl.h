// The inside of clsDatabase, shared by the record operations and the three dedupe passes.
#pragma once

#include "catalogue/IdKeyset.h"
#include "catalogue/RecordFiles.h"
#include "catalogue/Sqlite.h"
#include "catalogue/clsDatabase.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace corvelle {

/// The identity read from two integer columns, device then inode. SQLite's integers are
/// signed: the two numbers are stored as their 64-bit patterns.
inline PhysicalFile identityInColumns(const sqlite::Statement& row, int deviceColumn)
{
    return PhysicalFile{static_cast<std::uint64_t>(row.integer(deviceColumn)),
                        static_cast<std::uint64_t>(row.integer(deviceColumn + 1))};
}

/// Reads a record's columns after the first (File, Extension, Size, CRC, CrcFailed, Device,
/// Inode, in that order) into `record`, reusing its strings' room; the first column, the path
/// or the ID, is the caller's.
inline void readRecordColumns(const sqlite::Statement& row, CatalogueRecord& record)
{
    record.file.assign(row.bytesView(1));
    record.extension.assign(row.bytesView(2));
    record.size = row.integer(3);
    record.crc.value = CrcValue(static_cast<std::int32_t>(row.integer(4)));
    record.crc.failed = row.integer(5) != 0;
    record.identity = identityInColumns(row, 6);
}

/// The folders of a scratch catalogue, each kept once: the file holds each record's folder as
/// a number, four bytes in big-endian order (so that the unique key's index grows at its end
/// as folders are scanned one after another).
class FolderNumbers {
public:
    /// The number that stands for the folder in the file, the folder numbered when new.
    std::string_view numberOf(std::string_view folder);
    /// The folder a stored number stands for.
    [[nodiscard]] const std::string& folderOf(std::string_view number) const;

private:
    std::unordered_map<std::string, std::string> m_numbers; // folder -> its stored number
    std::vector<const std::string*> m_folders;              // by number
};

class clsDatabase::Impl {
public:
    /// The cursor: the IDs of the table in ascending order, and where it rests.
    enum class Position { BeforeFirst, OnRecord, AfterLast };

    void open(const std::filesystem::path& file);
    void close();
    [[nodiscard]] bool isOpen() const { return m_connection.isOpen(); }
    void requireOpen() const;

    void requery();
    void moveFirst();
    void moveNext();
    void moveLast();
    bool find(RecordId id);
    const CatalogueRecord& current();
    RecordId add(std::string_view path, std::string_view file, std::string_view extension,
                 FileSize size, Checksum crc, PhysicalFile identity);
    void remove(RecordId id);
    void removeAll();

    /// Calls visit(record) for each record in cursor order, until it returns false; the
    /// records come without their Path. Leaves the cursor after the last record visited.
    template <typename Visit> void forEachFromFirst(Visit&& visit);

    [[nodiscard]] std::int32_t count() const { return static_cast<std::int32_t>(m_ids.size()); }
    [[nodiscard]] Position position() const { return m_position; }
    void restAfter(RecordId lastVisited);

    [[nodiscard]] const std::filesystem::path& file() const { return m_connection.file(); }

    /// Calls visit(record) for each record of these IDs (ascending, for locality), skipping
    /// IDs that name no record; the record passed is only valid during the call. The cursor
    /// does not move.
    template <typename Visit>
    void fetchEach(const std::vector<RecordId>& ascendingIds, Visit&& visit);
    /// The physical files of the records with these IDs, in any order; unknown where an ID
    /// names no record. One pass over the table, however many IDs are asked for.
    std::vector<PhysicalFile> physicalFilesOf(const std::vector<RecordId>& ids);

    /// Keeps each folder once, in memory (the catalogue must be empty).
    void numberFolders() { m_folderNumbers.emplace(); }
    /// The Path column's bytes as the record's folder.
    [[nodiscard]] std::string_view folderIn(std::string_view column) const
    {
        return m_folderNumbers ? std::string_view(m_folderNumbers->folderOf(column)) : column;
    }

    /// What the last export wrote, for the grouping pass.
    ExportSnapshot& lastExport() { return m_lastExport; }
    /// The pairs of the last grouping that kept them in memory, for the loading pass.
    std::vector<DupePair>& keptPairs() { return m_keptPairs; }

private:
    void createSchema();
    void addMissingColumns();
    /// Whether the open database holds the catalogue's table.
    bool hasCatalogueTable();
    void prepareStatements();
    void noteChange();
    void placeOn(std::size_t index);

    sqlite::Connection m_connection;
    sqlite::Statement m_insert;
    sqlite::Statement m_selectOne;
    sqlite::Statement m_deleteOne;
    sqlite::Statement m_selectAll;

    IdKeyset m_ids;
    std::size_t m_at = IdKeyset::npos;
    Position m_position = Position::BeforeFirst;
    std::optional<CatalogueRecord> m_current; // the loaded fields of *m_at
    int m_changesSinceCommit = 0;
    ExportSnapshot m_lastExport;
    std::vector<DupePair> m_keptPairs;
    std::optional<FolderNumbers> m_folderNumbers;
};

template <typename Visit> void clsDatabase::Impl::forEachFromFirst(Visit&& visit)
{
    requireOpen();
    sqlite::ResetGuard guard(m_selectAll);
    RecordId last;
    CatalogueRecord record;
    while (m_selectAll.step()) {
        record.id = RecordId{static_cast<std::int32_t>(m_selectAll.integer(0))};
        readRecordColumns(m_selectAll, record);
        last = record.id;
        if (!visit(record)) {
            restAfter(last);
            return;
        }
    }
    restAfter(RecordId{});
}

template <typename Visit>
void clsDatabase::Impl::fetchEach(const std::vector<RecordId>& ascendingIds, Visit&& visit)
{
    requireOpen();
    CatalogueRecord record;
    for (const RecordId id : ascendingIds) {
        if (m_ids.find(id) == IdKeyset::npos) {
            continue;
        }
        sqlite::ResetGuard guard(m_selectOne);
        m_selectOne.bind(1, id.value());
        if (!m_selectOne.step()) {
            continue;
        }
        record.id = id;
        record.path.assign(folderIn(m_selectOne.bytesView(0)));
        readRecordColumns(m_selectOne, record);
        visit(static_cast<const CatalogueRecord&>(record));
    }
}

} // namespace corvelle
