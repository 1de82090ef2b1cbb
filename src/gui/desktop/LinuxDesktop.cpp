// The real Desktop: message boxes through QMessageBox, with the application's title.
#include "desktop/Desktop.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

namespace corvelle {
namespace {

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
        QMessageBox box(toQtIcon(message.icon), QString::fromStdString(message.title),
                        QString::fromStdString(message.text),
                        question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                        m_parent.data());
        const int answer = box.exec();
        if (!question) {
            return MessageAnswer::Ok;
        }
        return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
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
