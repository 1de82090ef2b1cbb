#include "commands/UndoJournal.h"

#include "actions/GuardedAction.h"
#include "common/TextEscapes.h"
#include "common/TextParts.h"
#include "controls/ListColumns.h"

#include <algorithm>

namespace corvelle {
namespace {

/// Where a row goes back: its former number, less the rows before it that are still missing.
int rowNow(int former, const std::vector<int>& stillMissing)
{
    const auto before = std::lower_bound(stillMissing.begin(), stillMissing.end(), former);
    return former - static_cast<int>(before - stillMissing.begin());
}

} // namespace

std::string undoStatusText(const UndoReport& report)
{
    std::string text =
        countOf(static_cast<std::int64_t>(report.restored), "file") + " restored from the Trash";
    if (report.refused > 0) {
        text += "; " + std::to_string(report.refused) + " could not be restored";
    }
    return text;
}

void UndoJournal::recordTrashed(std::vector<TrashedFile> files, const GridModel& fileList,
                                const GridModel& dupes)
{
    std::sort(files.begin(), files.end(),
              [](const TrashedFile& a, const TrashedFile& b) { return a.dupeRow < b.dupeRow; });
    m_files = std::move(files);
    m_fileListRemovals = fileList.removals();
    m_dupeRemovals = dupes.removals();
    m_deletedForGood = false;
}

void UndoJournal::recordDeletedForGood()
{
    m_files.clear();
    m_deletedForGood = true;
}

std::string UndoJournal::whyNot() const
{
    if (canUndo()) {
        return {};
    }
    if (m_deletedForGood) {
        return "The last Delete removed its files permanently: they cannot be restored.";
    }
    return "No Delete has sent files to the Trash.";
}

UndoReport UndoJournal::UndoDelete(clsDatabase& catalogue, GridModel& fileList, GridModel& dupes,
                                   MessageSink& messages, const Renumbered& renumbered,
                                   const WorkHooks& hooks)
{
    UndoReport report;
    TrashBins trash;
    std::vector<std::pair<std::size_t, RecordId>> restored; // journal index, new ID
    std::string refusals;
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        const TrashedFile& file = m_files[i];
        PlannedAction plan;
        plan.action = FileAction::Restore;
        plan.path = file.trashPath;
        plan.evidence = Evidence::verified(file.inTrash);
        plan.destination = file.original;
        const ActionResult result = performAction(plan, trash);
        if (!result.done) {
            ++report.refused;
            refusals += "\n'" + escapeReadable(file.original) + "': " + result.reason;
        } else {
            ++report.restored;
            const CatalogueRecord& record = file.record;
            const RecordId id = catalogue.AddRecord(record.path, record.file, record.extension,
                                                    record.size, record.crc, record.identity);
            restored.emplace_back(i, id);
            if (id && renumbered) {
                renumbered(record.id, id);
            }
        }
        hooks.setCaption(std::to_string(i + 1) + " Of " + std::to_string(m_files.size()) +
                         " File(s) Restored");
        if (!hooks.checkpoint(static_cast<double>(i + 1), static_cast<double>(m_files.size()))) {
            break;
        }
    }
    putRowsBack(restored, fileList, dupes);
    std::vector<TrashedFile> left;
    auto next = restored.begin();
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        if (next != restored.end() && next->first == i) {
            ++next;
        } else {
            left.push_back(std::move(m_files[i]));
        }
    }
    m_files = std::move(left);
    if (!refusals.empty()) {
        messages.show(
            Message{"These files could not be restored and are still in the Trash:" + refusals,
                    MessageIcon::Exclamation});
    }
    return report;
}

void UndoJournal::putRowsBack(const std::vector<std::pair<std::size_t, RecordId>>& restored,
                              GridModel& fileList, GridModel& dupes) const
{
    // The rows still missing once these are back: the journal's others.
    std::vector<int> missingFileRows;
    std::vector<int> missingDupeRows;
    auto next = restored.begin();
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        if (next != restored.end() && next->first == i) {
            ++next;
            continue;
        }
        if (m_files[i].fileRow >= 1) {
            missingFileRows.push_back(m_files[i].fileRow);
        }
        missingDupeRows.push_back(m_files[i].dupeRow);
    }
    std::sort(missingFileRows.begin(), missingFileRows.end());
    // Rows taken out since the Delete move the others: the remembered numbers no longer hold.
    // The file list then takes the rows at its end; the duplicate list, loaded anew or
    // emptied, no longer holds the files' groups.
    const bool fileRowsHold = fileList.removals() == m_fileListRemovals;
    const bool dupeRowsHold = dupes.removals() == m_dupeRemovals;
    std::vector<InsertedRow> fileRows;
    std::vector<InsertedRow> dupeRows;
    for (const auto& [index, id] : restored) {
        if (!id) {
            continue; // catalogued again meanwhile: its own rows show it
        }
        const TrashedFile& file = m_files[index];
        const CatalogueRecord& record = file.record;
        const RecordCells cells{id,          record.path,     record.file, record.extension,
                                record.size, record.crc.value};
        const int fileAt = fileRowsHold && file.fileRow >= 1
                               ? rowNow(file.fileRow, missingFileRows)
                               : fileList.RowCount() + static_cast<int>(fileRows.size());
        fileRows.push_back(
            {fileAt, fileListRow(cells), RowRecord{id, 0, record.size, record.identity}, {}});
        if (dupeRowsHold) {
            dupeRows.push_back(
                {rowNow(file.dupeRow, missingDupeRows), dupeListRow(cells, file.group),
                 RowRecord{id, file.group, record.size, record.identity}, file.color});
        }
    }
    std::sort(fileRows.begin(), fileRows.end(),
              [](const InsertedRow& a, const InsertedRow& b) { return a.at < b.at; });
    fileList.insertRows(std::move(fileRows));
    dupes.insertRows(std::move(dupeRows));
}

} // namespace corvelle
