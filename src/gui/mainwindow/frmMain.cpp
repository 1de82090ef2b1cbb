#include "mainwindow/frmMain.h"

#include <QLabel>

namespace corvelle {

frmMain::frmMain(std::unique_ptr<Desktop> desktop, QWidget* parent)
    : QMainWindow(parent)
    , m_desktop(std::move(desktop))
{
    setWindowTitle(QString::fromUtf8(applicationTitle.data(),
                                     static_cast<qsizetype>(applicationTitle.size())));
    setMinimumSize(800, 600);
    m_desktop->setParentWindow(this);
    auto* placeholder = new QLabel(tr("Corvelle"), this);
    placeholder->setAlignment(Qt::AlignCenter);
    setCentralWidget(placeholder);
}

} // namespace corvelle
