// frmAddFiles: the small modal window that runs one intake, with its progress bar, the count of
// files processed and Stop. It starts its work once it is visible and hides itself at the end.
#pragma once

#include "common/Hooks.h"
#include "intake/FileIntake.h"

#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace corvelle {

class clsDatabase;
class Desktop;
class GridModel;

class frmAddFiles final : public QDialog {
    Q_OBJECT
public:
    frmAddFiles(clsDatabase& catalogue, Desktop& desktop, QWidget* parent = nullptr);
    ~frmAddFiles() override;

    // What the caller sets before showing the window.
    GridModel* objVsg = nullptr;
    IntakeRequest request;
    /// Run at each round of events during the intake, to bring the caller's views up to date.
    std::function<void()> refreshCaller;
    /// The least time between two rounds of events during the intake.
    int yieldIntervalMs = 15;

    QLabel* Label1 = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QLabel* lblProcessed = nullptr;
    QPushButton* cmdStop = nullptr;

    /// How the last intake ended.
    [[nodiscard]] Outcome outcome() const { return m_outcome; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    class Display;
    void runIntake();

    clsDatabase& m_catalogue;
    Desktop& m_desktop;
    StopFlag m_stop;
    bool Flag = false;
    Outcome m_outcome = Outcome::Completed;
};

} // namespace corvelle
