// FileIntake: adds chosen files, or the files of a folder (and, on request, of all its
// sub-folders), to the catalogue: folder, name, extension, size and the CRC-32 of the leading
// bytes, one list row per record the catalogue accepts. The progress window and the
// command-line program both drive it.
#pragma once

#include "common/Hooks.h"
#include "common/TrashPlaces.h"
#include "common/Types.h"
#include "intake/IntakeFaults.h"
#include "intake/IntakeScope.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace corvelle {

class ChecksumCache;
class clsDatabase;
class GridModel;

namespace intake {
struct FileFacts;
struct ReadSettings;
} // namespace intake

/// How files are read. The order of the records, rows, messages and captions is the same in
/// both; read-ahead only takes the waiting off the calling thread.
enum class IntakeMode {
    ReadAhead, ///< folders listed and files read by worker threads ahead of cataloguing
    Sequential ///< everything on the calling thread, one file after another
};

/// What one intake is asked to do: the progress window's parameters, set by the command that
/// shows it.
struct IntakeRequest {
    /// True: strFile is a folder to scan. False: strFile is the chosen-files string.
    bool blnAddFolder = false;
    /// Folder mode only: also scan every sub-folder.
    bool blnRecursive = false;
    /// Leading bytes of each file to checksum; 0: no checksum.
    std::int32_t lngCRCSize = 0;
    /// Patterns separated by ";"; used in folder mode only.
    std::string strFilters = "*.*";
    /// Folder mode: the folder. List mode: one full path, or the folder and then the names,
    /// separated by NUL characters.
    std::string strFile;

    /// A scan of the folder (and, when recursive, of all its sub-folders), every file taken.
    static IntakeRequest folderScan(std::string folder, std::int32_t crcSize,
                                    bool recursive = false);
    /// The files a chosen-files string names.
    static IntakeRequest chosenFiles(std::string text, std::int32_t crcSize);
};

class FileIntake {
public:
    /// `objVsg` receives one row per accepted record (ID, Path, File Name, Extension, Size,
    /// CRC); it may be null. `hooks` carries the per-file checksum progress (0 … 100), the
    /// caption "N File(s) Processed", the stop flag, the yield and the messages.
    FileIntake(clsDatabase& catalogue, GridModel* objVsg, WorkHooks hooks);
    ~FileIntake();
    FileIntake(const FileIntake&) = delete;
    FileIntake& operator=(const FileIntake&) = delete;

    /// One intake: the count starts again at 0 ("0 File(s) Processed"), then the chosen files
    /// are catalogued or the folder scanned. Stopped when the stop flag cut it short. The
    /// caller clears its stop flag as the intake starts (the flag is the caller's: the Stop
    /// button's, or the command line's interrupt).
    Outcome Run(const IntakeRequest& request);

    /// One intake of chosen files given by their full paths (the count starts again at 0).
    /// Behaves as a chosen-files string naming them would, but the files may lie in different
    /// folders.
    Outcome RunFiles(std::span<const std::string> fullPaths, std::int32_t lngCRCSize);

    /// Files processed in the current intake, refused ones included.
    [[nodiscard]] std::int64_t lngProcessed() const { return m_processed; }
    /// Records the catalogue accepted, over every intake of this object.
    [[nodiscard]] std::int64_t acceptedRecords() const { return m_accepted; }
    /// The stop request as the loop sees it.
    [[nodiscard]] bool blnStopScan() const { return m_hooks.stopRequested(); }

    void setMode(IntakeMode mode) { m_mode = mode; }
    /// Threads that read files in read-ahead mode (at least 1).
    void setReaderThreads(int readers) { m_readers = readers < 1 ? 1 : readers; }
    void setFaults(IntakeFaults faults);
    /// Hidden names and the sizes taken, for every later intake of this object.
    void setScope(const IntakeScope& scope) { m_scope = scope; }
    /// Checksums kept between runs: files still as they were are not read again. The cache
    /// outlives every intake of this object.
    void setChecksumCache(ChecksumCache* cache) { m_cache = cache; }
    /// Whose Trash folders folder scans pass over; by default the environment's at each scan.
    void setTrashEnvironment(TrashEnvironment environment) { m_trashEnvironment = environment; }

private:
    /// Catalogues one file given by its full path.
    void CatalogueFile(std::string_view fullPath);
    /// Catalogues the files a chosen-files string names, in order; stops after a file when a
    /// stop was asked.
    void CatalogueFileList(std::string_view chosenFiles);
    /// Catalogues several files given by full paths, as a chosen-files string would.
    void catalogueFiles(std::span<const std::string> fullPaths);
    /// Lists the folder, adds its files that pass the filter in listing order, then (when
    /// recursive) scans its sub-folders depth first.
    void ScanFolder(std::string_view folder, std::string_view filters, bool recursive);

    /// The count starts again at 0, the stop of an earlier intake is forgotten, and the
    /// checksum size is the new intake's.
    void beginIntake(std::int32_t crcSize);
    /// Stopped when a stop cut the current intake short.
    [[nodiscard]] Outcome intakeOutcome() const;
    /// Reads the stop flag at a checkpoint, remembering that a stop cut the intake short.
    bool stopSeen();
    /// The cataloguing of one examined file: checksum progress and failure, the count, the
    /// record and its row.
    void catalogue(std::string_view folder, std::string_view fileName,
                   const intake::FileFacts& facts);
    /// The same for a file named by its full path.
    void catalogueNamed(std::string_view fullPath, const intake::FileFacts& facts);
    [[nodiscard]] intake::ReadSettings readSettings() const;

    clsDatabase& m_catalogue;
    GridModel* m_grid;
    WorkHooks m_hooks;
    IntakeMode m_mode = IntakeMode::ReadAhead;
    // Four readers, each with a run of reads in flight on a cold page cache: 100,000 small
    // files take 2.3 s cold with four (2.9 s with two, about the same with eight), and on a
    // warm cache four cost no more than two, where eight already compete for the cores.
    int m_readers = 4;
    IntakeFaults m_faults;
    bool m_hasFaults = false;
    IntakeScope m_scope;
    std::optional<TrashEnvironment> m_trashEnvironment;
    ChecksumCache* m_cache = nullptr;
    std::int32_t m_crcSize = 0; ///< the current intake's lngCRCSize
    std::int64_t m_processed = 0;
    std::int64_t m_accepted = 0;
    bool m_stopped = false;
};

} // namespace corvelle
