// The real Desktop: QMessageBox with the application's title, QFileDialog for files and
// folders, QDesktopServices (xdg-open) for addresses.
#include "desktop/Desktop.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

namespace corvelle {
namespace {

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// The path's bytes as the file system has them, whatever the names' encoding.
std::string toPathBytes(const QString& path)
{
    const QByteArray bytes = QFile::encodeName(path);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

/// "All Files (*.*)|*.*" as a Qt name filter: "All Files (*)". "*.*" means every file,
/// names without a dot included.
QString toNameFilter(std::string_view filter)
{
    const std::size_t bar = filter.find('|');
    std::string description(filter.substr(0, bar));
    const std::size_t at = description.find("(*.*)");
    if (at != std::string::npos) {
        description.replace(at, 5, "(*)");
    }
    return toQString(description);
}

QMessageBox::Icon toQtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

class LinuxDesktop final : public Desktop {
public:
    void setParentWindow(QWidget* parent) override { m_parent = parent; }

    MessageAnswer show(const Message& message) override
    {
        const bool question = message.buttons == MessageButtons::YesNo;
        QMessageBox box(toQtIcon(message.icon), toQString(message.title), toQString(message.text),
                        question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                        m_parent.data());
        const int answer = box.exec();
        if (!question) {
            return MessageAnswer::Ok;
        }
        return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }

    std::vector<std::string> chooseFiles(std::string_view title, std::string_view filter) override
    {
        const QStringList chosen = QFileDialog::getOpenFileNames(m_parent.data(), toQString(title),
                                                                 QString(), toNameFilter(filter));
        std::vector<std::string> paths;
        paths.reserve(static_cast<std::size_t>(chosen.size()));
        for (const QString& path : chosen) {
            paths.push_back(toPathBytes(path));
        }
        return paths;
    }

    std::optional<std::string> chooseFolder(std::string_view title) override
    {
        const QString folder = QFileDialog::getExistingDirectory(
            m_parent.data(), toQString(title), QString(), QFileDialog::ShowDirsOnly);
        if (folder.isEmpty()) {
            return std::nullopt;
        }
        return toPathBytes(folder);
    }

    bool openUrl(std::string_view url) override
    {
        return QDesktopServices::openUrl(QUrl(toQString(url)));
    }

private:
    QPointer<QWidget> m_parent;
};

} // namespace

std::unique_ptr<Desktop> makeLinuxDesktop()
{
    return std::make_unique<LinuxDesktop>();
}

} // namespace corvelle
