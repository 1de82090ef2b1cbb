#include "intake/frmAddFiles.h"

#include <QLabel>

namespace corvelle {

frmAddFiles::frmAddFiles(clsDatabase& catalogue, Desktop& desktop, QWidget* parent)
    : ProgressWindow(desktop, QStringLiteral("Adding files"), parent)
    , Label1(addLabel(120, QStringLiteral("Calculating File CRC")))
    , lblProcessed(addLabel(840, QStringLiteral("0 File(s) Processed")))
    , m_catalogue(catalogue)
    , m_processed(deferred(lblProcessed))
{}

Outcome frmAddFiles::run(const WorkHooks& hooks)
{
    WorkHooks intakeHooks = hooks;
    intakeHooks.caption = &m_processed;
    FileIntake intake(m_catalogue, objVsg, intakeHooks);
    return intake.Run(request);
}

} // namespace corvelle
