#include "mainwindow/frmDupes.h"

#include "desktop/Desktop.h"

#include <QLabel>

namespace corvelle {

frmDupes::frmDupes(clsDatabase& catalogue, DedupeFiles files, Desktop& desktop, QWidget* parent)
    : ProgressWindow(desktop, QStringLiteral("Finding duplicates"), parent)
    , lblStatus(addLabel(120, QStringLiteral("Step 1 : Exporting Records For Deduplication")))
    , lblCount(addLabel(840, QStringLiteral("0 Duplicate(s) Found")))
    , m_catalogue(catalogue)
    , m_files(std::move(files))
    , m_status(deferred(lblStatus))
    , m_count(deferred(lblCount))
{}

Outcome frmDupes::run(const WorkHooks& hooks)
{
    DedupeRunHooks runHooks{hooks, &m_status, &m_count};
    try {
        return runDedupe(m_catalogue, settings, m_files, *objVsg, runHooks);
    } catch (const std::exception& error) {
        // Only the loading pass lets a failure out; the rows loaded so far stay listed.
        m_desktop.show(Message{std::string("Error loading duplicate list: ") + error.what(),
                               MessageIcon::Critical, MessageButtons::Ok});
        return Outcome::Failed;
    }
}

} // namespace corvelle
