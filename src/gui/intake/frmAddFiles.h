// frmAddFiles: the small modal window that runs one intake, with its progress bar, the count of
// files processed and Stop.
#pragma once

#include "controls/ProgressWindow.h"
#include "intake/FileIntake.h"

namespace corvelle {

class clsDatabase;
class GridModel;

class frmAddFiles final : public ProgressWindow {
    Q_OBJECT
public:
    frmAddFiles(clsDatabase& catalogue, Desktop& desktop, QWidget* parent = nullptr);

    // What the caller sets before showing the window.
    GridModel* objVsg = nullptr;
    IntakeRequest request;

    QLabel* Label1 = nullptr;
    QLabel* lblProcessed = nullptr;

private:
    Outcome run(const WorkHooks& hooks) override;

    clsDatabase& m_catalogue;
    DeferredLabel& m_processed;
};

} // namespace corvelle
