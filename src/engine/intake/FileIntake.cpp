#include "intake/FileIntake.h"

#include "catalogue/clsDatabase.h"
#include "checksum/clsCRC.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"
#include "intake/FileReading.h"
#include "intake/IntakeNames.h"
#include "intake/IntakeSources.h"

#include <algorithm>

namespace corvelle {
namespace {

Message informationMessage(std::string text, std::string reason)
{
    Message message{std::move(text), MessageIcon::Information, MessageButtons::Ok};
    message.reason = std::move(reason);
    return message;
}

Message addingFileError(std::string_view fullPath, std::string reason)
{
    return informationMessage("Error adding file '" + std::string(fullPath) + "'",
                              std::move(reason));
}

Message scanningPathError(std::string_view folder, int error)
{
    return informationMessage("Error scanning path '" + std::string(folder) + "'",
                              intake::failureReason(error));
}

} // namespace

FileIntake::FileIntake(clsDatabase& catalogue, GridModel* objVsg, WorkHooks hooks)
    : m_catalogue(catalogue)
    , m_grid(objVsg)
    , m_hooks(std::move(hooks))
{}

FileIntake::~FileIntake() = default;

IntakeRequest IntakeRequest::folderScan(std::string folder, std::int32_t crcSize, bool recursive)
{
    IntakeRequest request;
    request.blnAddFolder = true;
    request.blnRecursive = recursive;
    request.lngCRCSize = crcSize;
    request.strFile = std::move(folder);
    return request;
}

IntakeRequest IntakeRequest::chosenFiles(std::string text, std::int32_t crcSize)
{
    IntakeRequest request;
    request.lngCRCSize = crcSize;
    request.strFile = std::move(text);
    return request;
}

void FileIntake::setFaults(IntakeFaults faults)
{
    m_faults = std::move(faults);
    m_hasFaults = m_faults.listingFails || m_faults.readFailsAfter || m_faults.beforeOpen ||
                  m_faults.whileReading || m_faults.readWithoutWaiting;
}

intake::ReadSettings FileIntake::readSettings() const
{
    return intake::ReadSettings{m_crcSize, m_hasFaults ? &m_faults : nullptr, m_scope, {}, m_cache};
}

bool FileIntake::stopSeen()
{
    const bool stop = m_hooks.stopRequested();
    m_stopped = m_stopped || stop;
    return stop;
}

void FileIntake::beginIntake(std::int32_t crcSize)
{
    m_crcSize = crcSize;
    m_processed = 0;
    m_stopped = false;
    m_hooks.setCaption("0 File(s) Processed");
}

Outcome FileIntake::intakeOutcome() const
{
    return m_stopped ? Outcome::Stopped : Outcome::Completed;
}

Outcome FileIntake::Run(const IntakeRequest& request)
{
    beginIntake(request.lngCRCSize);
    if (request.blnAddFolder) {
        ScanFolder(request.strFile, request.strFilters, request.blnRecursive);
    } else {
        CatalogueFileList(request.strFile);
    }
    return intakeOutcome();
}

Outcome FileIntake::RunFiles(std::span<const std::string> fullPaths, std::int32_t lngCRCSize)
{
    beginIntake(lngCRCSize);
    if (fullPaths.size() == 1) {
        CatalogueFile(fullPaths.front());
    } else {
        catalogueFiles(fullPaths);
    }
    return intakeOutcome();
}

void FileIntake::catalogue(std::string_view folder, std::string_view fileName,
                           const intake::FileFacts& facts)
{
    const auto fullPath = [&] { return std::string(folder) + std::string(fileName); };
    if (!facts.sizeKnown) {
        m_hooks.report(addingFileError(fullPath(), intake::failureReason(facts.error)));
        return;
    }
    if (!m_scope.takesSize(facts.size)) {
        return; // outside the sizes asked for: as if the filter had left it out
    }

    Checksum crc;
    if (m_crcSize > 0 && facts.size > 0) {
        // The progress a block-by-block checksum gives: 0 as it starts, then after every
        // block read the share of the leading bytes done so far.
        const std::int64_t total = std::min<std::int64_t>(facts.size.bytes(), m_crcSize);
        const bool ok = facts.crc == intake::FileFacts::Crc::Ok;
        if (m_hooks.progress != nullptr) {
            m_hooks.setProgress(0.0f);
            const std::int64_t blocks =
                ok ? (total + intake::crcBlockSize() - 1) / intake::crcBlockSize()
                   : facts.blocksDone;
            for (std::int64_t block = 1; block <= blocks; ++block) {
                const std::int64_t done = std::min(block * intake::crcBlockSize(), total);
                m_hooks.setProgress(
                    percentOf(static_cast<double>(done), static_cast<double>(total)));
            }
        }
        if (ok) {
            crc.value = toCrcValue(facts.crcBits);
        } else {
            // The file is still catalogued, with the -1 a failed checksum leaves behind.
            Message failed = crcFileErrorMessage(fullPath());
            failed.reason = intake::failureReason(facts.error);
            m_hooks.report(failed);
            crc = Checksum{-1, true};
        }
    }

    // Counted before the catalogue is asked, so refused files count too.
    ++m_processed;
    if (m_hooks.caption != nullptr) {
        m_hooks.setCaption(std::to_string(m_processed) + " File(s) Processed");
    }

    const auto [name, extension] = splitFileName(fileName);
    try {
        const RecordId id =
            m_catalogue.AddRecord(folder, name, extension, facts.size, crc, facts.identity);
        if (!id) {
            return; // already catalogued: no row, no message
        }
        ++m_accepted;
        if (m_grid != nullptr) {
            const RecordCells cells{id, folder, name, extension, facts.size, crc.value};
            m_grid->AppendRow(fileListRow(cells), RowRecord{id, 0, facts.size, facts.identity});
        }
    } catch (const std::exception& error) {
        // A failing store or list: this file is given up, what was done stays done, and the
        // intake goes on with the next file.
        m_hooks.report(addingFileError(fullPath(), error.what()));
    }
}

void FileIntake::catalogueNamed(std::string_view fullPath, const intake::FileFacts& facts)
{
    const auto [folder, fileName] = splitFolderAndName(fullPath);
    catalogue(folder, fileName, facts);
}

void FileIntake::CatalogueFile(std::string_view fullPath)
{
    const std::string path(fullPath);
    if (m_scope.excludes.excludesNamed(path, false)) {
        return;
    }
    intake::FileReader reader(readSettings());
    catalogueNamed(path, reader.examinePath(path));
}

void FileIntake::CatalogueFileList(std::string_view chosenFiles)
{
    if (chosenFiles.find('\0') == std::string_view::npos) {
        CatalogueFile(chosenFiles);
        return;
    }
    const std::vector<std::string> paths = chosenFilePaths(chosenFiles);
    catalogueFiles(paths);
}

void FileIntake::catalogueFiles(std::span<const std::string> fullPaths)
{
    std::vector<std::string> taken(fullPaths.begin(), fullPaths.end());
    std::erase_if(taken, [&](const std::string& path) {
        return m_scope.excludes.excludesNamed(path, false);
    });
    const int readers = m_mode == IntakeMode::ReadAhead && taken.size() > 1 ? m_readers : 0;
    auto source = intake::makeFileListSource(taken, readSettings(), readers);
    for (std::size_t i = 0; i < taken.size(); ++i) {
        const intake::ExaminedFile file = source->nextFile();
        catalogueNamed(file.name, file.facts);
        // The list is not a scan: it checks for a stop after each file but does not yield.
        if (stopSeen()) {
            return;
        }
    }
}

void FileIntake::ScanFolder(std::string_view folder, std::string_view filters, bool recursive)
{
    std::string root = withTrailingSlash(folder);
    FilterPatterns patterns(filters);
    intake::ReadSettings settings = readSettings();
    settings.trash = std::make_shared<const TrashPlaces>(
        TrashPlaces::find(m_trashEnvironment.value_or(TrashEnvironment::current())));
    std::unique_ptr<intake::IntakeSource> source =
        m_mode == IntakeMode::ReadAhead
            ? intake::makeReadAheadTreeSource(std::move(root), std::move(patterns), recursive,
                                              settings, m_readers)
            : intake::makeSequentialTreeSource(std::move(root), std::move(patterns), recursive,
                                               settings);

    // The folders come in scan order, each listed to its end. The checks below are those of
    // a scan that recurses folder by folder: a stop ends the whole scan after the entry or
    // file in hand, and a sub-folder is only entered while no stop was asked.
    using Failure = intake::FolderListing::Failure;
    bool first = true;
    intake::ScannedFolder scanned;
    while (source->nextFolder(scanned)) {
        if (!first && stopSeen()) {
            return;
        }
        first = false;
        for (std::size_t entry = 0; entry < scanned.entries; ++entry) {
            if (stopSeen()) {
                return;
            }
            m_hooks.yieldNow();
        }
        if (scanned.failure != Failure::None) {
            // An entry whose kind cannot be read is met inside the loop, after its stop check.
            if (scanned.failure == Failure::EntryAttributes && stopSeen()) {
                return;
            }
            // The folder's scan ends here: none of its files, none of its sub-folders.
            m_hooks.report(scanningPathError(scanned.folder->path, scanned.error));
            continue;
        }
        if (stopSeen()) {
            return;
        }
        for (std::size_t i = 0; i < scanned.fileCount; ++i) {
            const intake::ExaminedFile file = source->nextFile();
            catalogue(scanned.folder->path, file.name, file.facts);
            if (stopSeen()) {
                return;
            }
            m_hooks.yieldNow();
        }
    }
}

} // namespace corvelle
