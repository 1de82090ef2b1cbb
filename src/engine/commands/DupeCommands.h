// What the buttons under the duplicate list do, decided without a screen: Delete asks its
// questions and removes each selected file from the disk, the lists and the catalogue; Open
// and Explore take the selected rows' paths from the catalogue's exact bytes.
#pragma once

#include "actions/GuardedAction.h"
#include "catalogue/clsDatabase.h"
#include "common/Hooks.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvelle {

class FilePlaces;

class GridModel;
class ProtectedFolders;
class UndoJournal;

inline constexpr std::string_view deleteQuestion = "Are you sure you wish to delete selected files";
inline constexpr std::string_view trashQuestion =
    "Would you like to delete the files to the Recyle Bin?";

/// "Error deleting file '…'" for a file that could not be deleted.
std::string deleteErrorMessage(std::string_view fullPath);
/// "Permanently delete N file(s)? They cannot be restored." and the first few paths.
std::string permanentDeleteQuestion(const std::vector<std::string>& paths);

/// How a Delete went.
struct DeleteReport {
    bool confirmed = false; ///< Yes to the first question
    FileAction action = FileAction::Trash;
    std::size_t done = 0;          ///< files trashed or deleted
    std::size_t failed = 0;        ///< reported one by one
    std::size_t protectedRows = 0; ///< inside a protected folder: not touched
    bool declined = false;         ///< No to the permanent delete: nothing touched
    bool stopped = false;
};

/// "12 files moved to the Trash; 2 could not be deleted", or empty after a first No.
std::string deleteStatusText(const DeleteReport& report);

/// A Delete the user has answered: the rows to act on (none when nothing is to be done) and
/// the report so far.
struct DeleteRequest {
    DeleteReport report;
    std::vector<int> rows;
};

class DupeCommands {
public:
    /// `trash` says where the Trash is at the moment of a Delete.
    DupeCommands(clsDatabase& catalogue, GridModel& files, GridModel& dupes, MessageSink& messages,
                 const ProtectedFolders& protectedFolders, UndoJournal& journal,
                 std::function<TrashEnvironment()> trash = &TrashEnvironment::current);

    /// Asks whether to delete and whether to the Trash; a permanent delete is asked once more,
    /// No being its default. Then removes each selected row's file, top to bottom, one per
    /// checkpoint of `hooks` (a stop leaves the rest). A file removed leaves both lists and
    /// the catalogue; a file that could not be removed is reported and its row stays, still
    /// selected. Rows inside a protected folder are named in one message and left as they
    /// are. A file is never removed while the rows of its group that are not being deleted
    /// are all gone or changed: it may be the last copy. The caller refreshes the captions.
    DeleteReport DeleteSelected(const WorkHooks& hooks = {});
    /// DeleteSelected in two steps: the questions, then the work.
    [[nodiscard]] DeleteRequest askDelete();
    DeleteReport deleteRows(DeleteRequest request, const WorkHooks& hooks = {});

    /// The full paths of the selected duplicate rows, in row order, as the catalogue holds
    /// them (rows whose record is gone are left out).
    [[nodiscard]] std::vector<std::string> selectedPaths();

private:
    /// A row's file as the catalogue describes it, ready to act on.
    struct RowFile {
        int row = 0;
        std::int32_t group = 0;
        std::optional<std::uint32_t> color;
        CatalogueRecord record;
        PlannedAction plan;
    };

    [[nodiscard]] bool confirmed(const Message& question);
    /// The row's file as the catalogue describes it; false when the row's record is gone.
    [[nodiscard]] bool fileOf(int row, FileAction action, RowFile& file);
    /// The selected rows without those inside a protected folder, which are named in one
    /// message.
    [[nodiscard]] std::vector<int> unprotected(const std::vector<int>& selected,
                                               DeleteReport& report);
    /// The physical files that stay in the row's group: rows not being deleted whose file is
    /// still as catalogued, is not itself going and is not inside a Trash (a file there is
    /// no copy to keep). `goingFiles` is sorted.
    [[nodiscard]] std::vector<PhysicalFile> stayingIn(int memberRow, const std::vector<int>& going,
                                                      const std::vector<PhysicalFile>& goingFiles,
                                                      FilePlaces& places);
    /// Whether the group of the row has rows that are not being deleted.
    [[nodiscard]] bool groupKeepsRows(int memberRow, const std::vector<int>& going) const;
    /// The rows removed leave both lists and the catalogue; returns each record's file-list
    /// row before the removal.
    std::unordered_map<std::int32_t, int> removeFromLists(const std::vector<int>& dupeRows);
    void journal(const DeleteReport& report, const std::vector<RowFile>& removed,
                 const std::vector<ActionResult>& results,
                 const std::unordered_map<std::int32_t, int>& fileRows);

    clsDatabase& m_catalogue;
    GridModel& m_files;
    GridModel& m_dupes;
    MessageSink& m_messages;
    const ProtectedFolders& m_protected;
    UndoJournal& m_journal;
    std::function<TrashEnvironment()> m_trash;
};

} // namespace corvelle
