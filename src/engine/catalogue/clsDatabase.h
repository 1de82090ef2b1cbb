// clsDatabase: the per-run catalogue of files (one record per file, a cursor over them) and
// the three passes of a dedupe run that work on it.
#pragma once

#include "common/DedupeSettings.h"
#include "common/Hooks.h"
#include "common/PhysicalFile.h"
#include "common/Types.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

class GridModel;

/// The catalogue's file name where the programs keep it, and the journal SQLite keeps beside
/// it while a change is written.
inline constexpr const char* catalogueFileName = "data.dat";
inline constexpr const char* catalogueJournalName = "data.dat-journal";

/// A failure of the store other than a refused record: the message names the catalogue file
/// and the SQLite error.
class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// An existing file opened as the catalogue holds something else: not a database, or a
/// database without the catalogue's table. The file is left as it was.
class NotACatalogue : public StoreError {
public:
    explicit NotACatalogue(const std::filesystem::path& file)
        : StoreError("'" + file.string() + "' is not a catalogue")
        , m_file(file)
    {}
    [[nodiscard]] const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_file;
};

/// One catalogue record as the store holds it. Texts are the exact bytes of the names.
struct CatalogueRecord {
    RecordId id;
    std::string path;
    std::string file;
    std::string extension;
    FileSize size = 0;
    Checksum crc;
    /// The physical file the record was made from; unknown for a record added without one.
    /// Not part of the unique key: two paths of one file are two records.
    PhysicalFile identity{};
};

class clsDatabase {
public:
    clsDatabase();
    ~clsDatabase();
    clsDatabase(const clsDatabase&) = delete;
    clsDatabase& operator=(const clsDatabase&) = delete;

    /// Opens the catalogue file, creating it (with its table and unique key) when it does not
    /// exist or is empty. An existing file opens with its first record current; one that is
    /// not a catalogue raises NotACatalogue.
    void OpenProject(const std::filesystem::path& strFileName);
    /// Opens the catalogue file with no records in it, for a run that starts afresh. A file
    /// this store made is begun again from nothing, even one that a run killed part-way left
    /// damaged (its records were to go anyway); a catalogue of an earlier version is emptied;
    /// a new or empty file is created. Anything else raises NotACatalogue and is left as it was.
    void openEmptied(const std::filesystem::path& file);
    /// Opens the file as a new, empty catalogue for this run alone, as openEmptied does, that
    /// nobody else will read: each folder is then kept once, in memory, and the file holds a
    /// four-byte number in its place, which takes a large tree's catalogue from about 145 to
    /// about 80 bytes a file on disk. Every field reads as ever.
    void openScratch(const std::filesystem::path& file);
    void CloseProject();
    [[nodiscard]] bool isOpen() const;

    /// The number of records in the cursor (exact; not limited to 16 bits).
    std::int32_t RecordCount();
    /// Cursor past the last record. (EOF and BOF are C macros, hence the spelling.)
    bool Eof();
    /// Cursor before the first record.
    bool Bof();
    void MoveFirst();
    void MoveNext();
    void MoveLast();

    /// Fields of the current record; reading them with no current record raises StoreError.
    std::string ID();
    std::string Path();
    std::string File();
    std::string Extension();
    FileSize Size();
    CrcValue CRC();
    /// Whether the current record's checksum failed (its CRC is then -1).
    bool CrcFailed();
    /// The whole current record.
    const CatalogueRecord& currentRecord();

    /// Makes the record with this ID current; false (cursor unspecified) when there is none.
    bool FindID(RecordId ID);

    /// Adds a record and makes it current. Returns its new ID, or 0 when the store refuses it
    /// (a record with the same path, name, extension, size and checksum exists, or the save
    /// failed); the catalogue is then unchanged. `identity`, the physical file the record
    /// was made from, is kept with it and plays no part in the unique key.
    RecordId AddRecord(std::string_view strPath, std::string_view strFile,
                       std::string_view strExtension, FileSize lngSize, Checksum lngCRC,
                       PhysicalFile identity = {});
    RecordId AddRecord(std::string_view strPath, std::string_view strFile,
                       std::string_view strExtension, FileSize lngSize, CrcValue lngCRC,
                       PhysicalFile identity = {})
    {
        return AddRecord(strPath, strFile, strExtension, lngSize, Checksum{lngCRC, false},
                         identity);
    }

    /// Deletes the record (no error when there is none), then puts the cursor on the first
    /// record.
    void DeleteRecord(RecordId intID);
    /// Deletes every record, then puts the cursor on the first record (BOF and EOF).
    void DeleteRecords();

    /// Writes the catalogue in cursor order to the fixed-record export file. An empty name
    /// writes no file: the records are kept in memory alone, in a compact form, for FindDupes.
    Outcome ExportRecordset(const std::filesystem::path& strFileName, const WorkHooks& hooks);
    /// Compares every exported record with every later one and writes the duplicate pairs.
    /// hooks.caption receives the running count ("N Duplicate(s) Found"). An empty export file
    /// name takes the records the last export kept in memory; an empty pair file name keeps
    /// the pairs in memory for AddDupes. The results are those the files would give.
    Outcome FindDupes(const std::filesystem::path& strFileName1,
                      const std::filesystem::path& strFileName2, const DedupeSettings& settings,
                      const WorkHooks& hooks);
    /// Lets go of what the last export remembers of its records beyond the file. A later
    /// FindDupes on that file reads the file back, as for an export file written elsewhere.
    void forgetExport();
    /// Fills the grid with the numbered, shaded duplicate groups of the pair file (an empty
    /// name: of the pairs the last FindDupes kept in memory, which this hands over: a second
    /// call without a FindDupes between finds none, where a pair file can be read again).
    Outcome AddDupes(const std::filesystem::path& strFileName, GridModel& objVsg,
                     const WorkHooks& hooks);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace corvelle
