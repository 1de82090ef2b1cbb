// TaskWindow: the progress window for one of the window's own commands (Delete, Undo Delete,
// Verify Duplicates): what is being done, the progress bar, a running count, and Stop.
#pragma once

#include "controls/ProgressWindow.h"

#include <functional>

namespace corvelle {

class TaskWindow final : public ProgressWindow {
    Q_OBJECT
public:
    /// The work; its hooks' caption is the count label.
    using Task = std::function<Outcome(const WorkHooks&)>;

    TaskWindow(Desktop& desktop, const QString& status, Task task, QWidget* parent = nullptr);

    QLabel* lblStatus = nullptr;
    QLabel* lblCount = nullptr;

private:
    Outcome run(const WorkHooks& hooks) override;

    Task m_task;
    DeferredLabel& m_count;
};

} // namespace corvelle
