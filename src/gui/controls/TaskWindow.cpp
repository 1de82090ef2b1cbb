#include "controls/TaskWindow.h"

#include <QLabel>

namespace corvelle {

TaskWindow::TaskWindow(Desktop& desktop, const QString& status, Task task, QWidget* parent)
    : ProgressWindow(desktop, status, parent)
    , lblStatus(addLabel(120, status))
    , lblCount(addLabel(840, QString()))
    , m_task(std::move(task))
    , m_count(deferred(lblCount))
{}

Outcome TaskWindow::run(const WorkHooks& hooks)
{
    WorkHooks counted = hooks;
    counted.caption = &m_count;
    return m_task(counted);
}

} // namespace corvelle
