#include "commands/DupeCommands.h"

#include "catalogue/clsDatabase.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace corvelle {

std::string deleteErrorMessage(std::string_view fullPath)
{
    return "Error deleting file '" + std::string(fullPath) + "'";
}

DupeCommands::DupeCommands(clsDatabase& catalogue, GridModel& files, GridModel& dupes,
                           MessageSink& messages, std::function<TrashEnvironment()> trash)
    : m_catalogue(catalogue)
    , m_files(files)
    , m_dupes(dupes)
    , m_messages(messages)
    , m_trash(std::move(trash))
{}

bool DupeCommands::deletionOf(int row, FileAction action, PlannedAction& plan)
{
    const RecordId id = m_dupes.recordIdAt(row);
    if (!id || !m_catalogue.FindID(id)) {
        return false;
    }
    const CatalogueRecord& record = m_catalogue.currentRecord();
    plan.action = action;
    plan.path = record.path + record.file + record.extension;
    plan.evidence = Evidence::catalogued(record.identity, record.size.bytes());
    plan.makeWritable = true;
    return true;
}

std::vector<PhysicalFile> DupeCommands::stayingIn(int memberRow, const std::vector<int>& selected)
{
    // A group's rows are neighbours in the list: look only around the member's own row.
    const std::int32_t group = m_dupes.recordAt(memberRow).group;
    int first = memberRow;
    while (first > 1 && m_dupes.recordAt(first - 1).group == group) {
        --first;
    }
    std::vector<PhysicalFile> staying;
    for (int row = first; row < m_dupes.RowCount() && m_dupes.recordAt(row).group == group; ++row) {
        if (std::binary_search(selected.begin(), selected.end(), row)) {
            continue;
        }
        PlannedAction other;
        if (deletionOf(row, FileAction::Delete, other)) {
            if (const std::optional<PathStatus> now = statusOf(other.path)) {
                staying.push_back(now->identity);
            }
        }
    }
    return staying;
}

void DupeCommands::DeleteSelected()
{
    if (m_messages.show(Message{std::string(deleteQuestion), MessageIcon::None,
                                MessageButtons::YesNo}) != MessageAnswer::Yes) {
        return;
    }
    const FileAction action = m_messages.show(Message{std::string(trashQuestion), MessageIcon::None,
                                                      MessageButtons::YesNo}) == MessageAnswer::Yes
                                  ? FileAction::Trash
                                  : FileAction::Delete;
    std::vector<int> selected;
    selected.reserve(static_cast<std::size_t>(m_dupes.SelectedRowCount()));
    for (int i = 0; i < m_dupes.SelectedRowCount(); ++i) {
        selected.push_back(m_dupes.SelectedRowAt(i));
    }
    if (selected.empty()) {
        return;
    }
    TrashBins trash(m_trash());
    // What stays of each group is looked at once, when its first row is acted on: the loop
    // does not yield, so nothing else changes the lists meanwhile.
    std::unordered_map<std::int32_t, std::vector<PhysicalFile>> staying;
    std::vector<int> removed;
    for (const int row : selected) {
        PlannedAction plan;
        ActionResult result;
        if (deletionOf(row, action, plan)) {
            const std::int32_t group = m_dupes.recordAt(row).group;
            auto found = staying.find(group);
            if (found == staying.end()) {
                found = staying.emplace(group, stayingIn(row, selected)).first;
            }
            plan.staying = found->second;
            result = performAction(plan, trash);
        } else {
            plan.path = dupeRowPath(m_dupes, row);
            result.reason = "no longer in the catalogue";
        }
        if (result.done) {
            removed.push_back(row);
        } else {
            Message message{deleteErrorMessage(plan.path), MessageIcon::Exclamation};
            message.reason = result.reason;
            m_messages.show(message);
        }
    }
    removeFromLists(removed);
}

void DupeCommands::removeFromLists(const std::vector<int>& dupeRows)
{
    if (dupeRows.empty()) {
        return;
    }
    std::unordered_set<std::int32_t> ids;
    for (const int row : dupeRows) {
        ids.insert(m_dupes.recordIdAt(row).value());
    }
    // Each record's first row in the file list, found in one pass rather than one search each.
    std::vector<int> fileRows;
    std::unordered_set<std::int32_t> found;
    for (int row = 1; row < m_files.RowCount() && found.size() < ids.size(); ++row) {
        const std::int32_t id = m_files.recordIdAt(row).value();
        if (ids.contains(id) && found.insert(id).second) {
            fileRows.push_back(row);
        }
    }
    m_files.removeRowSet(std::move(fileRows));
    for (const std::int32_t id : ids) {
        m_catalogue.DeleteRecord(RecordId(id));
    }
    m_dupes.removeRowSet(dupeRows);
}

std::vector<std::string> DupeCommands::selectedPaths()
{
    std::vector<std::string> paths;
    for (int i = 0; i < m_dupes.SelectedRowCount(); ++i) {
        PlannedAction file;
        if (deletionOf(m_dupes.SelectedRowAt(i), FileAction::Delete, file)) {
            paths.push_back(std::move(file.path));
        }
    }
    return paths;
}

} // namespace corvelle
