#include "mainwindow/frmProtectedFolders.h"

#include "commands/ProtectedFolders.h"
#include "common/TextEscapes.h"
#include "desktop/Desktop.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvelle {

frmProtectedFolders::frmProtectedFolders(ProtectedFolders& folders, Desktop& desktop,
                                         std::function<std::optional<std::string>()> chooseFolder,
                                         QWidget* parent)
    : QDialog(parent)
    , m_folders(folders)
    , m_desktop(desktop)
    , m_chooseFolder(std::move(chooseFolder))
{
    setWindowTitle(QStringLiteral("Protected Folders"));
    setModal(true);
    auto* label = new QLabel(
        QStringLiteral("Files inside these folders are never selected by Select Duplicates "
                       "and never deleted:"),
        this);
    label->setWordWrap(true);
    lstFolders = new QListWidget(this);
    lstFolders->setAccessibleName(QStringLiteral("Protected folders"));
    label->setBuddy(lstFolders);
    cmdAdd = new QPushButton(QStringLiteral("&Add..."), this);
    cmdRemove = new QPushButton(QStringLiteral("&Remove"), this);
    cmdClose = new QPushButton(QStringLiteral("&Close"), this);

    auto* buttons = new QHBoxLayout();
    buttons->addWidget(cmdAdd);
    buttons->addWidget(cmdRemove);
    buttons->addStretch(1);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(lstFolders, 1);
    layout->addLayout(buttons);
    resize(520, 300);

    connect(cmdAdd, &QPushButton::clicked, this, &frmProtectedFolders::cmdAdd_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmProtectedFolders::cmdRemove_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(lstFolders, &QListWidget::currentRowChanged, this,
            [this](int row) { cmdRemove->setEnabled(row >= 0); });
    showFolders();
}

void frmProtectedFolders::showFolders()
{
    lstFolders->clear();
    for (const ProtectedFolders::Folder& folder : m_folders.folders()) {
        lstFolders->addItem(QString::fromStdString(escapeReadable(folder.path)));
    }
    cmdRemove->setEnabled(lstFolders->currentRow() >= 0);
}

void frmProtectedFolders::cmdAdd_Click()
{
    const std::optional<std::string> folder = m_chooseFolder();
    if (!folder) {
        return;
    }
    const std::string refused = m_folders.add(*folder);
    if (!refused.empty()) {
        m_desktop.show(Message{refused, MessageIcon::Exclamation});
    }
    showFolders();
}

void frmProtectedFolders::cmdRemove_Click()
{
    const int row = lstFolders->currentRow();
    if (row >= 0) {
        m_folders.remove(static_cast<std::size_t>(row));
        showFolders();
    }
}

} // namespace corvelle
