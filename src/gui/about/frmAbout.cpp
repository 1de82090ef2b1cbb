#include "about/frmAbout.h"

#include "about/ProductLabels.h"
#include "desktop/Desktop.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvelle {
namespace {

/// A label that looks and acts like a link, but hands the click to the window.
QLabel* makeLinkLabel(const QString& text, QWidget* parent)
{
    auto* label =
        new QLabel(QStringLiteral("<a href=\"#\">%1</a>").arg(text.toHtmlEscaped()), parent);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setAccessibleName(text);
    return label;
}

} // namespace

frmAbout::frmAbout(Desktop& desktop, QWidget* parent)
    : QDialog(parent)
    , m_desktop(desktop)
{
    setWindowTitle(QStringLiteral("About Corvelle"));
    setModal(true);

    auto* Label1 = makeProductNameLabel(this, 1.5);
    lblVersion = makeVersionLabel(this);
    auto* Label3 = new QLabel(QString::fromUtf8(makerLine), this);
    auto* Line1 = new QFrame(this);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    lblMail = makeLinkLabel(QString::fromUtf8(contactAddress), this);
    lblURL = makeLinkLabel(QString::fromUtf8(webAddress), this);
    cmdExit = new QPushButton(QStringLiteral("&Exit"), this);

    auto* layout = new QVBoxLayout(this);
    for (QWidget* widget : {static_cast<QWidget*>(Label1), static_cast<QWidget*>(lblVersion),
                            static_cast<QWidget*>(Label3), static_cast<QWidget*>(Line1),
                            static_cast<QWidget*>(lblMail), static_cast<QWidget*>(lblURL)}) {
        layout->addWidget(widget);
    }
    layout->addWidget(cmdExit, 0, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(lblMail, &QLabel::linkActivated, this, &frmAbout::lblMail_Click);
    connect(lblURL, &QLabel::linkActivated, this, &frmAbout::lblURL_Click);
    connect(cmdExit, &QPushButton::clicked, this, &QDialog::accept);
}

void frmAbout::lblMail_Click()
{
    // A desktop without a mail program leaves no trace: the result is not reported.
    (void)m_desktop.openUrl(std::string("mailto:") + contactAddress);
}

void frmAbout::lblURL_Click()
{
    (void)m_desktop.openUrl(webAddress);
}

} // namespace corvelle
