#include "intake/frmAddFiles.h"

#include "controls/UiYield.h"
#include "desktop/Desktop.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <cmath>

namespace corvelle {

/// Receives the intake's progress and caption, and shows them at each round of events: setting
/// a label's text for every file would cost more than reading the file.
class frmAddFiles::Display final : public ProgressSink, public CaptionSink {
public:
    explicit Display(frmAddFiles& window)
        : m_window(window)
    {}
    void setValue(float percent) override { m_percent = percent; }
    void setCaption(std::string_view text) override
    {
        m_caption.assign(text);
        m_captionChanged = true;
    }
    void show()
    {
        m_window.ProgressBar->setValue(static_cast<int>(std::floor(m_percent)));
        if (m_captionChanged) {
            m_window.lblProcessed->setText(QString::fromStdString(m_caption));
            m_captionChanged = false;
        }
    }

private:
    frmAddFiles& m_window;
    float m_percent = 0.0f;
    std::string m_caption;
    bool m_captionChanged = false;
};

frmAddFiles::frmAddFiles(clsDatabase& catalogue, Desktop& desktop, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , m_catalogue(catalogue)
    , m_desktop(desktop)
{
    setWindowTitle(QString());
    setModal(true);
    setAccessibleName(QStringLiteral("Adding files"));
    const double dpi = logicalDpiX();
    const auto px = [dpi](int twips) { return twipsToPixels(twips, dpi); };
    setFixedSize(px(4680), px(1695));

    Label1 = new QLabel(QStringLiteral("Calculating File CRC"), this);
    Label1->setGeometry(px(120), px(120), px(4455), px(255));
    ProgressBar = new QProgressBar(this);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    ProgressBar->setAccessibleName(QStringLiteral("Progress"));
    ProgressBar->setGeometry(px(120), px(360), px(4455), px(375));
    lblProcessed = new QLabel(QStringLiteral("0 File(s) Processed"), this);
    lblProcessed->setGeometry(px(120), px(840), px(4455), px(255));
    cmdStop = new QPushButton(QStringLiteral("&Stop"), this);
    cmdStop->setGeometry(px(3600), px(1200), px(975), px(375));
    cmdStop->setAutoDefault(false);
    connect(cmdStop, &QPushButton::clicked, this, [this] { m_stop.request(); });
}

frmAddFiles::~frmAddFiles() = default;

void frmAddFiles::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!Flag) {
        Flag = true;
        // Once the window is on screen, not inside its own show.
        QTimer::singleShot(0, this, &frmAddFiles::runIntake);
    }
}

void frmAddFiles::runIntake()
{
    Display display(*this);
    m_stop.clear();
    UiYield yield(
        [&] {
            display.show();
            if (refreshCaller) {
                refreshCaller();
            }
        },
        yieldIntervalMs);
    WorkHooks hooks;
    hooks.progress = &display;
    hooks.caption = &display;
    hooks.stop = &m_stop;
    hooks.yield = [&yield] { yield(); };
    hooks.messages = &m_desktop;
    FileIntake intake(m_catalogue, objVsg, hooks);
    m_outcome = intake.Run(request);
    display.show();
    if (refreshCaller) {
        refreshCaller();
    }
    accept();
}

} // namespace corvelle
