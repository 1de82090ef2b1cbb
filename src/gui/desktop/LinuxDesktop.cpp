// The real Desktop: QMessageBox with the application's title, QFileDialog for files and
// folders, QDesktopServices (xdg-open) for addresses, xdg-open on a path's exact bytes for
// files, and the file manager's D-Bus interface to show a file in its folder.
#include "common/TextEscapes.h"
#include "desktop/Desktop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <sys/wait.h>
#include <unistd.h>

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

QString toQPath(std::string_view path)
{
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
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

/// Runs the program on one argument, given as bytes (a name need not be UTF-8, which a
/// QString could not carry), detached: an intermediate child starts it and leaves at once,
/// so no process is left for this one to reap.
void launchDetached(const std::string& program, const std::string& argument)
{
    const char* argv[] = {program.c_str(), argument.c_str(), nullptr};
    const pid_t child = ::fork();
    if (child == 0) {
        if (::fork() == 0) {
            ::setsid();
            ::execv(program.c_str(), const_cast<char* const*>(argv));
        }
        ::_exit(0);
    }
    if (child > 0) {
        int status = 0;
        ::waitpid(child, &status, 0);
    }
}

/// Asks the running file manager to show the file selected in its folder; false when no
/// file manager offers the interface.
bool showItemOverDBus(std::string_view path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QString::fromLatin1(fileUrl(path))} << QString();
    constexpr int kTimeoutMs = 3000;
    return bus.call(call, QDBus::Block, kTimeoutMs).type() == QDBusMessage::ReplyMessage;
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
        if (question) {
            box.setDefaultButton(message.defaultAnswer == MessageAnswer::No ? QMessageBox::No
                                                                            : QMessageBox::Yes);
        }
        const int answer = box.exec();
        if (!question) {
            return MessageAnswer::Ok;
        }
        return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
    }

    std::vector<std::string> chooseFiles(std::string_view title, std::string_view filter,
                                         std::string_view startFolder) override
    {
        const QStringList chosen = QFileDialog::getOpenFileNames(
            m_parent.data(), toQString(title), toQPath(startFolder), toNameFilter(filter));
        std::vector<std::string> paths;
        paths.reserve(static_cast<std::size_t>(chosen.size()));
        for (const QString& path : chosen) {
            paths.push_back(toPathBytes(path));
        }
        return paths;
    }

    std::optional<std::string> chooseFolder(std::string_view title,
                                            std::string_view startFolder) override
    {
        const QString folder = QFileDialog::getExistingDirectory(
            m_parent.data(), toQString(title), toQPath(startFolder), QFileDialog::ShowDirsOnly);
        if (folder.isEmpty()) {
            return std::nullopt;
        }
        return toPathBytes(folder);
    }

    bool openUrl(std::string_view url) override
    {
        return QDesktopServices::openUrl(QUrl(toQString(url)));
    }

    void openPath(std::string_view path) override
    {
        const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (!opener.isEmpty()) {
            launchDetached(toPathBytes(opener), std::string(path));
        }
    }

    void showInFolder(std::string_view path) override
    {
        if (!showItemOverDBus(path)) {
            openPath(path.substr(0, path.rfind('/') + 1));
        }
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
