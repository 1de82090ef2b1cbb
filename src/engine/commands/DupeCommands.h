// What the buttons under the duplicate list do, decided without a screen: Delete asks its two
// questions and removes each selected file from the disk, the lists and the catalogue; Open
// and Explore take the selected rows' paths from the catalogue's exact bytes.
#pragma once

#include "actions/GuardedAction.h"
#include "common/Hooks.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

class clsDatabase;
class GridModel;

inline constexpr std::string_view deleteQuestion = "Are you sure you wish to delete selected files";
inline constexpr std::string_view trashQuestion =
    "Would you like to delete the files to the Recyle Bin?";

/// "Error deleting file '…'" for a file that could not be deleted.
std::string deleteErrorMessage(std::string_view fullPath);

class DupeCommands {
public:
    /// `trash` says where the Trash is at the moment of a Delete.
    DupeCommands(clsDatabase& catalogue, GridModel& files, GridModel& dupes, MessageSink& messages,
                 std::function<TrashEnvironment()> trash = &TrashEnvironment::current);

    /// Asks whether to delete and whether to the Trash, then removes each selected row's
    /// file, top to bottom. A file removed leaves both lists and the catalogue; a file that
    /// could not be removed is reported and its row stays, still selected. The caller
    /// refreshes the caption in every case.
    void DeleteSelected();

    /// The full paths of the selected duplicate rows, in row order, as the catalogue holds
    /// them (rows whose record is gone are left out).
    [[nodiscard]] std::vector<std::string> selectedPaths();

private:
    /// The deletion of the row's file as the catalogue describes it; false when the row's
    /// record is gone.
    [[nodiscard]] bool deletionOf(int row, FileAction action, PlannedAction& plan);
    /// The identities, as they are now, of the rows of the member's group that are not being
    /// deleted.
    [[nodiscard]] std::vector<PhysicalFile> stayingIn(int memberRow,
                                                      const std::vector<int>& selected);
    void removeFromLists(const std::vector<int>& dupeRows);

    clsDatabase& m_catalogue;
    GridModel& m_files;
    GridModel& m_dupes;
    MessageSink& m_messages;
    std::function<TrashEnvironment()> m_trash;
};

} // namespace corvelle
