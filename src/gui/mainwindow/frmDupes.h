// frmDupes: the small modal window of a dedupe run: the step that is running, the progress
// bar, the running count of duplicates, and Stop.
#pragma once

#include "catalogue/DedupeRun.h"
#include "controls/ProgressWindow.h"

namespace corvelle {

class clsDatabase;
class GridModel;

class frmDupes final : public ProgressWindow {
    Q_OBJECT
public:
    frmDupes(clsDatabase& catalogue, DedupeFiles files, Desktop& desktop,
             QWidget* parent = nullptr);

    // What the caller sets before showing the window.
    GridModel* objVsg = nullptr;
    DedupeSettings settings;

    QLabel* lblStatus = nullptr;
    QLabel* lblCount = nullptr;

private:
    Outcome run(const WorkHooks& hooks) override;

    clsDatabase& m_catalogue;
    DedupeFiles m_files;
    DeferredLabel& m_status;
    DeferredLabel& m_count;
};

} // namespace corvelle
