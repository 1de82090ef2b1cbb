// The desktop program's entry point: the catalogue, the main window, and the paths named on
// the command line.
#include "catalogue/clsDatabase.h"
#include "desktop/Desktop.h"
#include "mainwindow/frmMain.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvelle"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvelle"));
    QApplication::setDesktopFileName(QStringLiteral("org.corvelle.Corvelle"));
    QIcon icon;
    for (const int size : {16, 32, 48, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/corvelle-%1.png").arg(size), QSize(size, size));
    }
    QApplication::setWindowIcon(icon);
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(8.25);
    QApplication::setFont(font);

    const std::unique_ptr<corvelle::Desktop> desktop = corvelle::makeLinuxDesktop();
    corvelle::clsDatabase catalogue;
    const std::filesystem::path folder = corvelle::catalogueFolder();
    const std::filesystem::path file = folder / corvelle::catalogueFileName;
    try {
        corvelle::startCatalogue(catalogue, file);
    } catch (const std::exception& error) {
        desktop->show(
            corvelle::Message{"Cannot open the catalogue '" + file.string() + "': " + error.what(),
                              corvelle::MessageIcon::Critical, corvelle::MessageButtons::Ok});
        return 1;
    }

    corvelle::frmMain window(*desktop, catalogue, folder, corvelle::findHelpFile());
    window.show();
    std::vector<std::string> paths;
    for (const QString& path : QApplication::arguments().mid(1)) {
        paths.push_back(QFile::encodeName(path).toStdString());
    }
    window.addStartPaths(paths);
    return QApplication::exec();
}
