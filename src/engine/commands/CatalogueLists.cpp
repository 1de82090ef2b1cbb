#include "commands/CatalogueLists.h"

#include "catalogue/clsDatabase.h"
#include "controls/GridModel.h"

#include <vector>

namespace corvelle {
CatalogueLists::CatalogueLists(clsDatabase& catalogue, GridModel& files, GridModel& dupes,
                               MessageSink& messages)
    : m_catalogue(catalogue)
    , m_files(files)
    , m_dupes(dupes)
    , m_messages(messages)
{}

bool CatalogueLists::confirmed(std::string_view question)
{
    const Message message{std::string(question), MessageIcon::None, MessageButtons::YesNo};
    return m_messages.show(message) == MessageAnswer::Yes;
}

bool CatalogueLists::RemoveSelection()
{
    if (m_files.SelectedRowCount() < 1 || !confirmed(removeSelectionQuestion)) {
        return false;
    }
    // The selection as it is now: each record goes, then its rows in one step.
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(m_files.SelectedRowCount()));
    for (int i = 0; i < m_files.SelectedRowCount(); ++i) {
        rows.push_back(m_files.SelectedRowAt(i));
    }
    for (const int row : rows) {
        m_catalogue.DeleteRecord(m_files.recordIdAt(row));
    }
    m_files.removeRowSet(std::move(rows));
    m_dupes.RowCount(1);
    return true;
}

bool CatalogueLists::ClearAll(bool blnAsk)
{
    if (blnAsk && !confirmed(clearAllQuestion)) {
        return false;
    }
    m_catalogue.DeleteRecords();
    m_files.RowCount(1);
    m_dupes.RowCount(1);
    return true;
}

} // namespace corvelle
