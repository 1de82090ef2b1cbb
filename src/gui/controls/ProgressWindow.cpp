#include "controls/ProgressWindow.h"

#include "controls/UiYield.h"
#include "desktop/Desktop.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <cmath>

namespace corvelle {

void DeferredLabel::setCaption(std::string_view text)
{
    m_text.assign(text);
    m_changed = true;
}

void DeferredLabel::show()
{
    if (m_changed) {
        m_label->setText(QString::fromUtf8(m_text.data(), static_cast<qsizetype>(m_text.size())));
        m_changed = false;
    }
}

/// The progress bar's value as the work sets it, shown at the next round of events.
class ProgressWindow::Progress final : public ProgressSink {
public:
    explicit Progress(QProgressBar* bar)
        : m_bar(bar)
    {}
    void setValue(float percent) override { m_percent = percent; }
    void show() { m_bar->setValue(static_cast<int>(std::floor(m_percent))); }

private:
    QProgressBar* m_bar;
    float m_percent = 0.0f;
};

ProgressWindow::ProgressWindow(Desktop& desktop, const QString& accessibleName, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , m_desktop(desktop)
{
    setWindowTitle(QString());
    setAccessibleName(accessibleName);
    setModal(true);
    const double dpi = logicalDpiX();
    const auto px = [dpi](int twips) { return twipsToPixels(twips, dpi); };
    setFixedSize(px(4680), px(1695));

    ProgressBar = new QProgressBar(this);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    ProgressBar->setAccessibleName(QStringLiteral("Progress"));
    ProgressBar->setGeometry(px(120), px(360), px(4455), px(375));
    cmdStop = new QPushButton(QStringLiteral("&Stop"), this);
    cmdStop->setGeometry(px(3600), px(1200), px(975), px(375));
    cmdStop->setAutoDefault(false);
    connect(cmdStop, &QPushButton::clicked, this, [this] { m_stop.request(); });
    m_progress = std::make_unique<Progress>(ProgressBar);
}

ProgressWindow::~ProgressWindow() = default;

QLabel* ProgressWindow::addLabel(int topTwips, const QString& text)
{
    const double dpi = logicalDpiX();
    auto* label = new QLabel(text, this);
    label->setGeometry(twipsToPixels(120, dpi), twipsToPixels(topTwips, dpi),
                       twipsToPixels(4455, dpi), twipsToPixels(255, dpi));
    return label;
}

DeferredLabel& ProgressWindow::deferred(QLabel* label)
{
    m_labels.push_back(std::make_unique<DeferredLabel>(label));
    return *m_labels.back();
}

void ProgressWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!Flag) {
        Flag = true;
        // Once the window is on screen, not inside its own show.
        QTimer::singleShot(0, this, &ProgressWindow::start);
    }
}

void ProgressWindow::refresh()
{
    m_progress->show();
    for (const auto& label : m_labels) {
        label->show();
    }
    if (refreshCaller) {
        refreshCaller();
    }
}

void ProgressWindow::start()
{
    UiYield yield([this] { refresh(); }, yieldIntervalMs);
    runWork([&yield] { yield(); });
    accept();
}

Outcome ProgressWindow::runShownAfter(int delayMs)
{
    Flag = true; // the work runs here, not from the window's first showing
    UiYield yield([this] { refresh(); }, yieldIntervalMs);
    QElapsedTimer since;
    since.start();
    const Outcome outcome = runWork([&] {
        if (!isVisible()) {
            if (since.elapsed() < delayMs) {
                return;
            }
            setModal(true);
            show();
        }
        yield();
    });
    hide();
    return outcome;
}

Outcome ProgressWindow::runWork(const std::function<void()>& yield)
{
    m_stop.clear();
    WorkHooks hooks;
    hooks.progress = m_progress.get();
    hooks.stop = &m_stop;
    hooks.yield = yield;
    hooks.messages = &m_desktop;
    try {
        m_outcome = run(hooks);
    } catch (const std::exception& error) {
        // A failure the work did not report itself (a list or store that broke): said, never
        // let out of the event loop.
        m_desktop.show(Message{error.what(), MessageIcon::Critical, MessageButtons::Ok});
        m_outcome = Outcome::Failed;
    }
    refresh();
    return m_outcome;
}

} // namespace corvelle
