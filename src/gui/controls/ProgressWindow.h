// ProgressWindow: the small modal window shared by the intake and the dedupe run. A label, a
// progress bar, a second label and Stop, in the same fixed layout; the work starts once the
// window is visible, shows its progress at each round of events, and the window hides itself
// when the work has ended.
#pragma once

#include "common/Hooks.h"

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;

namespace corvelle {

class Desktop;

/// A label's text as the work sets it, put on screen at the next round of events: setting a
/// label for every file would cost more than reading the file.
class DeferredLabel final : public CaptionSink {
public:
    explicit DeferredLabel(QLabel* label)
        : m_label(label)
    {}
    void setCaption(std::string_view text) override;
    void show();

private:
    QLabel* m_label;
    std::string m_text;
    bool m_changed = false;
};

class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    ~ProgressWindow() override;

    /// Run at each round of events during the work, to bring the caller's views up to date.
    std::function<void()> refreshCaller;
    /// The least time between two rounds of events during the work.
    int yieldIntervalMs = 15;

    QProgressBar* ProgressBar = nullptr;
    QPushButton* cmdStop = nullptr;

    /// How the last run ended.
    [[nodiscard]] Outcome outcome() const { return m_outcome; }

    /// Runs the work at once without showing the window; it appears, modal, only once the
    /// work has taken `delayMs`, and goes when the work ends. Until then no event is taken,
    /// as for a short command that never yields.
    Outcome runShownAfter(int delayMs);

protected:
    ProgressWindow(Desktop& desktop, const QString& accessibleName, QWidget* parent);

    /// A label of the layout's width at this height (twips), showing `text`.
    QLabel* addLabel(int topTwips, const QString& text);
    /// Labels the work writes through a DeferredLabel, shown at each round of events.
    DeferredLabel& deferred(QLabel* label);

    /// The work: `hooks` carry the progress bar, the stop flag, the yield and the messages.
    virtual Outcome run(const WorkHooks& hooks) = 0;

    void showEvent(QShowEvent* event) override;

    Desktop& m_desktop;

private:
    class Progress;
    void start();
    void refresh();
    Outcome runWork(const std::function<void()>& yield);

    StopFlag m_stop;
    bool Flag = false;
    Outcome m_outcome = Outcome::Completed;
    std::vector<std::unique_ptr<DeferredLabel>> m_labels;
    std::unique_ptr<Progress> m_progress;
};

} // namespace corvelle
