// frmMain: the main window. Menu bar and toolbar built from the tools, the file list above and
// the duplicate list below in a splitter, Delete / Open / Explore under the duplicates, and the
// commands behind them. What can be decided without a screen is decided by the engine's
// ToolModel, SettingCommands and CatalogueLists; this class binds them to widgets.
#pragma once

#include "commands/CatalogueLists.h"
#include "commands/DupeCommands.h"
#include "commands/DupeVerification.h"
#include "commands/MatchReasons.h"
#include "commands/ProtectedFolders.h"
#include "commands/SelectionCommands.h"
#include "commands/UndoJournal.h"
#include "controls/GridModel.h"
#include "controls/GridTableModel.h"
#include "controls/ToolModel.h"
#include "intake/FileIntake.h"

#include <QMainWindow>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QTableView;

namespace corvelle {

class clsDatabase;
class Commands;
class Desktop;
class SettingCommands;
class ToolActions;

class frmMain final : public QMainWindow, private ToolEvents {
    Q_OBJECT
public:
    /// `catalogue` is open and empty (see startCatalogue). The dedupe run's work files go to
    /// `workFolder`, beside the catalogue. `helpFile` is the user guide that Contents opens.
    frmMain(Desktop& desktop, clsDatabase& catalogue, std::filesystem::path workFolder,
            std::filesystem::path helpFile, QWidget* parent = nullptr);
    ~frmMain() override;

    // The selection commands, as the menus and toolbar run them.
    void AddFiles();
    void AddFolder();
    void AddFolderRecursive();
    void RemoveSelection();
    void ClearAll(bool blnAsk);
    void ExitApplication();
    /// Checks that a comparison is possible, then runs it in frmDupes.
    void Dedupe();

    // The buttons under the duplicate list, and a double-click (activation) on one of its rows.
    void cmdDelete_Click();
    void cmdOpen_Click();
    void cmdExplore_Click();
    void vsgDupes_Activate();

    // Reviewing the duplicates: the Selection and Deduplication menus' later entries.
    /// Selects every copy but one per group by the keep rule of this tool.
    void SelectDuplicates(std::string_view toolId);
    void SelectNone();
    void InvertSelection();
    void ProtectedFoldersDialog();
    void UndoDelete();
    void VerifyDuplicates();

    /// How long a Delete or an Undo Delete runs before its progress window shows; tests
    /// shorten it.
    int progressDelayMilliseconds = 500;
    /// The least time between two rounds of events while one of them runs; tests make every
    /// step a round, so that they can press Stop at a known point.
    int progressYieldMilliseconds = 15;

    /// Adds what was named on the command line: each folder as Add Folder Recursive does, each
    /// run of files in one folder as Add Files does.
    void addStartPaths(const std::vector<std::string>& paths);

    /// How long the splash stays; tests shorten it.
    int splashMilliseconds = 2000;

    [[nodiscard]] ToolModel& tools() { return m_tools; }
    [[nodiscard]] ToolActions& toolActions() { return *m_actions; }
    [[nodiscard]] GridModel& files() { return m_files; }
    [[nodiscard]] GridModel& dupes() { return m_dupes; }
    [[nodiscard]] ProtectedFolders& protectedFolders() { return m_protected; }
    [[nodiscard]] const DupeVerification& verification() const { return m_verification; }
    [[nodiscard]] bool splashShown() const { return m_splashShown; }
    /// Whether the splash has been and gone (start-up paths wait for it).
    [[nodiscard]] bool splashDone() const { return m_splashDone; }

    QLabel* lblFiles = nullptr;
    QLabel* lblDuplicate = nullptr;
    QTableView* vsgFiles = nullptr;
    QTableView* vsgDupes = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdOpen = nullptr;
    QPushButton* cmdExplore = nullptr;
    QSplitter* SSSplitter = nullptr;
    /// The status line: why the current duplicate row matched, and what the last command did.
    QLabel* lblWhy = nullptr;
    QLabel* lblStatusLine = nullptr;
    QMenu* mnuDupes = nullptr; ///< the duplicate list's context menu

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ToolClick(Tool& tool) override;
    void ComboChange(Tool& tool) override;

    void buildLayout();
    void setUpLists();
    void vsgFiles_RowChanged();
    void vsgDupes_RowChanged();
    void vsgDupes_SelectionChanged();
    void setFileButtons(bool enabled);
    void buildStatusLine();
    void buildDupesMenu();
    void showWhy();
    void setStatusLine(const std::string& text);
    /// The review entries follow the list and the journal.
    void updateReviewTools();
    /// The duplicate list was loaded anew or emptied: what was known of its rows goes.
    void dupesReplaced();
    /// Asks for a folder, starting where the last dialog left off.
    std::optional<std::string> chooseFolder(std::string_view title);
    [[nodiscard]] std::optional<RowNote> verifyNote(int gridRow) const;
    void applyCrcColumns();
    void applyFileColumnWidths();
    void addChosenFiles(const std::vector<std::string>& fullPaths);
    void addFolder(std::string folder, bool recursive);
    void runIntake(IntakeRequest request);
    /// Asks before a checksum setting empties the lists; clears on Yes.
    bool confirmClearForSetting();
    void showAbout();
    void openContents();
    void showSplashOnce();
    [[nodiscard]] int pixels(int twips) const;
    [[nodiscard]] int twips(int pixels) const;

    Desktop& m_desktop;
    clsDatabase& m_catalogue;
    std::filesystem::path m_workFolder;
    std::filesystem::path m_helpFile;
    ToolModel m_tools;
    std::unique_ptr<SettingCommands> m_settings;
    GridModel m_files;
    GridModel m_dupes;
    CatalogueLists m_lists;
    ProtectedFolders m_protected;
    UndoJournal m_journal;
    DupeVerification m_verification;
    MatchReasons m_reasons;
    DupeCommands m_dupeCommands;
    SelectionCommands m_selection;
    std::string m_lastFolder; ///< where the add and folder dialogs start
    GridTableModel* m_filesModel = nullptr;
    GridTableModel* m_dupesModel = nullptr;
    ToolActions* m_actions = nullptr;
    bool m_splashShown = false;
    bool m_splashDone = false;
    std::vector<std::string> m_pendingPaths; ///< named at start, added once the splash is gone
};

/// Where the catalogue lives: beside the program when it runs from a build folder it can
/// write; for an installed program (its guide under ../share/doc/corvelle), or a folder it
/// cannot write, the per-user data folder (created when missing). An installed program never
/// writes beside itself, even when run by a user who could.
std::filesystem::path catalogueFolder(const std::filesystem::path& programFolder,
                                      const std::filesystem::path& userDataFolder);
/// The same for the running program and $XDG_DATA_HOME/corvelle.
std::filesystem::path catalogueFolder();

/// The user guide: installed under share/doc/corvelle beside the program's bin folder, or
/// beside the program itself (the build tree).
std::filesystem::path findHelpFile(const std::filesystem::path& programFolder);
std::filesystem::path findHelpFile();

/// Deletes the previous run's catalogue file if it can, then opens (creating) it and empties it.
/// Throws with the file and the reason when it cannot be opened.
void startCatalogue(clsDatabase& catalogue, const std::filesystem::path& file);

} // namespace corvelle
