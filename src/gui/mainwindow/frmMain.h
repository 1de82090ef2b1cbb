// frmMain: the main window. For now it carries the title and the desktop door; the lists,
// tools and commands join it as they are built.
#pragma once

#include "desktop/Desktop.h"

#include <QMainWindow>
#include <memory>

namespace corvelle {

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(std::unique_ptr<Desktop> desktop, QWidget* parent = nullptr);

private:
    std::unique_ptr<Desktop> m_desktop;
};

} // namespace corvelle
