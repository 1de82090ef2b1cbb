#include "commands/DupeCommands.h"

#include "actions/FilePlaces.h"
#include "commands/ProtectedFolders.h"
#include "commands/UndoJournal.h"
#include "common/TextEscapes.h"
#include "common/TextParts.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <algorithm>
#include <unordered_set>

namespace corvelle {
namespace {

/// Paths named in a message before "and N more".
constexpr std::size_t kPathsNamed = 5;

std::string namedPaths(const std::vector<std::string>& paths)
{
    std::string text;
    for (std::size_t i = 0; i < paths.size() && i < kPathsNamed; ++i) {
        text += "\n" + escapeReadable(paths[i]);
    }
    if (paths.size() > kPathsNamed) {
        text += "\n... and " + std::to_string(paths.size() - kPathsNamed) + " more";
    }
    return text;
}

/// Whether the file is among `going`, which is sorted.
bool isGoing(const std::vector<PhysicalFile>& going, const PhysicalFile& file)
{
    return file.known() && std::binary_search(going.begin(), going.end(), file);
}

} // namespace

std::string deleteErrorMessage(std::string_view fullPath)
{
    return "Error deleting file '" + std::string(fullPath) + "'";
}

std::string permanentDeleteQuestion(const std::vector<std::string>& paths)
{
    return "Permanently delete " + std::to_string(paths.size()) +
           " file(s)? They cannot be restored.\n" + namedPaths(paths);
}

std::string deleteStatusText(const DeleteReport& report)
{
    if (!report.confirmed) {
        return {};
    }
    std::string text =
        report.declined ? std::string("Nothing deleted")
        : report.action == FileAction::Trash
            ? countOf(static_cast<std::int64_t>(report.done), "file") + " moved to the Trash"
            : countOf(static_cast<std::int64_t>(report.done), "file") + " deleted permanently";
    if (report.failed > 0) {
        text += "; " + std::to_string(report.failed) + " could not be deleted";
    }
    if (report.protectedRows > 0) {
        text += "; " + std::to_string(report.protectedRows) + " in protected folders kept";
    }
    if (report.stopped) {
        text += " (stopped)";
    }
    return text;
}

DupeCommands::DupeCommands(clsDatabase& catalogue, GridModel& files, GridModel& dupes,
                           MessageSink& messages, const ProtectedFolders& protectedFolders,
                           UndoJournal& journal, std::function<TrashEnvironment()> trash)
    : m_catalogue(catalogue)
    , m_files(files)
    , m_dupes(dupes)
    , m_messages(messages)
    , m_protected(protectedFolders)
    , m_journal(journal)
    , m_trash(std::move(trash))
{}

bool DupeCommands::confirmed(const Message& question)
{
    return m_messages.show(question) == MessageAnswer::Yes;
}

bool DupeCommands::fileOf(int row, FileAction action, RowFile& file)
{
    const RecordId id = m_dupes.recordIdAt(row);
    if (!id || !m_catalogue.FindID(id)) {
        return false;
    }
    file.row = row;
    file.group = m_dupes.recordAt(row).group;
    file.color = m_dupes.CellBackColor(row, 0);
    file.record = m_catalogue.currentRecord();
    const CatalogueRecord& record = file.record;
    file.plan.action = action;
    file.plan.path = record.path + record.file + record.extension;
    file.plan.evidence = Evidence::catalogued(record.identity, record.size.bytes());
    file.plan.makeWritable = true;
    return true;
}

std::vector<int> DupeCommands::unprotected(const std::vector<int>& selected, DeleteReport& report)
{
    if (m_protected.empty()) {
        return selected;
    }
    FilePlaces places;
    std::vector<int> rows;
    std::vector<std::string> kept;
    for (const int row : selected) {
        std::string path = dupeRowPath(m_dupes, row);
        if (m_protected.protects(path, places)) {
            kept.push_back(std::move(path));
        } else {
            rows.push_back(row);
        }
    }
    report.protectedRows = kept.size();
    if (!kept.empty()) {
        m_messages.show(Message{"These files are inside protected folders and were not deleted:" +
                                    namedPaths(kept),
                                MessageIcon::Exclamation});
    }
    return rows;
}

bool DupeCommands::groupKeepsRows(int memberRow, const std::vector<int>& going) const
{
    const RowRange group = groupRowsOf(m_dupes, memberRow);
    for (int row = group.first; row < group.end; ++row) {
        if (!std::binary_search(going.begin(), going.end(), row)) {
            return true;
        }
    }
    return false;
}

std::vector<PhysicalFile> DupeCommands::stayingIn(int memberRow, const std::vector<int>& going,
                                                  const std::vector<PhysicalFile>& goingFiles,
                                                  FilePlaces& places)
{
    const RowRange group = groupRowsOf(m_dupes, memberRow);
    std::vector<PhysicalFile> staying;
    for (int row = group.first; row < group.end; ++row) {
        RowFile other;
        if (std::binary_search(going.begin(), going.end(), row) ||
            !fileOf(row, FileAction::Delete, other)) {
            continue;
        }
        if (places.isInTrash(other.plan.path)) {
            continue;
        }
        const std::optional<PathStatus> now = statusOf(other.plan.path);
        if (now && other.plan.evidence.matches(*now) && !isGoing(goingFiles, now->identity)) {
            staying.push_back(now->identity);
        }
    }
    return staying;
}

DeleteReport DupeCommands::DeleteSelected(const WorkHooks& hooks)
{
    return deleteRows(askDelete(), hooks);
}

DeleteRequest DupeCommands::askDelete()
{
    DeleteRequest request;
    DeleteReport& report = request.report;
    if (!confirmed(
            Message{std::string(deleteQuestion), MessageIcon::None, MessageButtons::YesNo})) {
        return request;
    }
    report.confirmed = true;
    report.action =
        confirmed(Message{std::string(trashQuestion), MessageIcon::None, MessageButtons::YesNo})
            ? FileAction::Trash
            : FileAction::Delete;
    std::vector<int> selected;
    for (int i = 0; i < m_dupes.SelectedRowCount(); ++i) {
        selected.push_back(m_dupes.SelectedRowAt(i));
    }
    std::vector<int> rows = unprotected(selected, report);
    if (rows.empty()) {
        return request;
    }
    if (report.action == FileAction::Delete) {
        // The shell this window stands in for confirms a permanent delete itself.
        std::vector<std::string> paths;
        for (const int row : rows) {
            paths.push_back(dupeRowPath(m_dupes, row));
        }
        Message question{permanentDeleteQuestion(paths), MessageIcon::Exclamation,
                         MessageButtons::YesNo};
        question.defaultAnswer = MessageAnswer::No;
        if (!confirmed(question)) {
            report.declined = true;
            return request;
        }
    }
    request.rows = std::move(rows);
    return request;
}

DeleteReport DupeCommands::deleteRows(DeleteRequest request, const WorkHooks& hooks)
{
    DeleteReport& report = request.report;
    const std::vector<int>& rows = request.rows;
    if (rows.empty()) {
        return report;
    }
    std::vector<RowFile> planned(rows.size());
    std::vector<bool> found(rows.size());
    std::vector<PhysicalFile> goingFiles;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        found[i] = fileOf(rows[i], report.action, planned[i]);
        if (found[i]) {
            goingFiles.push_back(planned[i].record.identity);
        }
    }
    std::sort(goingFiles.begin(), goingFiles.end());
    const TrashEnvironment environment = m_trash();
    TrashBins trash(environment);
    FilePlaces places(TrashPlaces::find(environment));
    // What stays of each group is looked at once, when its first row is acted on.
    std::unordered_map<std::int32_t, std::vector<PhysicalFile>> staying;
    std::vector<RowFile> removed;
    std::vector<ActionResult> results;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        RowFile& file = planned[i];
        ActionResult result;
        if (!found[i]) {
            file.plan.path = dupeRowPath(m_dupes, rows[i]);
            result.reason = "no longer in the catalogue";
        } else {
            const std::int32_t group = m_dupes.recordAt(rows[i]).group;
            auto stays = staying.find(group);
            if (stays == staying.end()) {
                stays = staying.emplace(group, stayingIn(rows[i], rows, goingFiles, places)).first;
            }
            file.plan.staying = stays->second;
            if (stays->second.empty() && groupKeepsRows(rows[i], rows)) {
                result.reason = "none of the files of its group that were to stay is still there";
            } else {
                result = performAction(file.plan, trash);
            }
        }
        if (result.done) {
            ++report.done;
            removed.push_back(std::move(file));
            results.push_back(std::move(result));
        } else {
            ++report.failed;
            Message message{deleteErrorMessage(file.plan.path), MessageIcon::Exclamation};
            message.reason = result.reason;
            m_messages.show(message);
        }
        hooks.setCaption(std::to_string(i + 1) + " Of " + std::to_string(rows.size()) +
                         " File(s) Deleted");
        if (!hooks.checkpoint(static_cast<double>(i + 1), static_cast<double>(rows.size()))) {
            report.stopped = i + 1 < rows.size();
            break;
        }
    }
    std::vector<int> removedRows;
    for (const RowFile& file : removed) {
        removedRows.push_back(file.row);
    }
    journal(report, removed, results, removeFromLists(removedRows));
    return report;
}

void DupeCommands::journal(const DeleteReport& report, const std::vector<RowFile>& removed,
                           const std::vector<ActionResult>& results,
                           const std::unordered_map<std::int32_t, int>& fileRows)
{
    if (removed.empty()) {
        return; // nothing done: the last Delete that did something can still be undone
    }
    if (report.action != FileAction::Trash) {
        m_journal.recordDeletedForGood();
        return;
    }
    std::vector<TrashedFile> trashed;
    for (std::size_t i = 0; i < removed.size(); ++i) {
        const RowFile& file = removed[i];
        TrashedFile entry;
        entry.record = file.record;
        entry.trashPath = results[i].trashPath;
        try {
            entry.original = trashedFrom(entry.trashPath).native();
        } catch (const std::system_error&) {
            entry.original = file.plan.path; // the restore then checks the record again
        }
        entry.inTrash = results[i].after;
        const auto row = fileRows.find(file.record.id.value());
        entry.fileRow = row == fileRows.end() ? -1 : row->second;
        entry.dupeRow = file.row;
        entry.group = file.group;
        entry.color = file.color;
        trashed.push_back(std::move(entry));
    }
    m_journal.recordTrashed(std::move(trashed), m_files, m_dupes);
}

std::unordered_map<std::int32_t, int>
DupeCommands::removeFromLists(const std::vector<int>& dupeRows)
{
    std::unordered_map<std::int32_t, int> fileRows;
    if (dupeRows.empty()) {
        return fileRows;
    }
    std::unordered_set<std::int32_t> ids;
    for (const int row : dupeRows) {
        ids.insert(m_dupes.recordIdAt(row).value());
    }
    // Each record's first row in the file list, found in one pass rather than one search each.
    std::vector<int> rows;
    for (int row = 1; row < m_files.RowCount() && fileRows.size() < ids.size(); ++row) {
        const std::int32_t id = m_files.recordIdAt(row).value();
        if (ids.contains(id) && fileRows.emplace(id, row).second) {
            rows.push_back(row);
        }
    }
    m_files.removeRowSet(std::move(rows));
    for (const std::int32_t id : ids) {
        m_catalogue.DeleteRecord(RecordId(id));
    }
    m_dupes.removeRowSet(dupeRows);
    return fileRows;
}

std::vector<std::string> DupeCommands::selectedPaths()
{
    std::vector<std::string> paths;
    for (int i = 0; i < m_dupes.SelectedRowCount(); ++i) {
        RowFile file;
        if (fileOf(m_dupes.SelectedRowAt(i), FileAction::Delete, file)) {
            paths.push_back(std::move(file.plan.path));
        }
    }
    return paths;
}

} // namespace corvelle
