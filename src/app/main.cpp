// The desktop program's entry point.
#include "mainwindow/frmMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    corvelle::frmMain window(corvelle::makeLinuxDesktop());
    window.show();
    return QApplication::exec();
}
