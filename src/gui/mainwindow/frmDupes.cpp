#include "mainwindow/frmDupes.h"

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
    // Only the loading pass lets a failure out, with the file or store in its message; the
    // base window says it, and the rows loaded so far stay listed.
    const DedupeRunHooks runHooks{hooks, &m_status, &m_count};
    return runDedupe(m_catalogue, settings, m_files, *objVsg, runHooks);
}

} // namespace corvelle
