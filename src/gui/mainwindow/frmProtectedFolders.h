// frmProtectedFolders: the list of protected folders, with Add and Remove. Select Duplicates
// never selects a file inside one, and Delete refuses such files.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QListWidget;
class QPushButton;

namespace corvelle {

class Desktop;
class ProtectedFolders;

class frmProtectedFolders final : public QDialog {
    Q_OBJECT
public:
    /// `chooseFolder` asks for a folder to add (nothing when cancelled).
    frmProtectedFolders(ProtectedFolders& folders, Desktop& desktop,
                        std::function<std::optional<std::string>()> chooseFolder,
                        QWidget* parent = nullptr);

    void cmdAdd_Click();
    void cmdRemove_Click();

    QListWidget* lstFolders = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdRemove = nullptr;
    QPushButton* cmdClose = nullptr;

private:
    void showFolders();

    ProtectedFolders& m_folders;
    Desktop& m_desktop;
    std::function<std::optional<std::string>()> m_chooseFolder;
};

} // namespace corvelle
