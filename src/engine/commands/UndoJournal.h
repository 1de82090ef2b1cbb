// UndoJournal: what the last Delete sent to the Trash, and Undo Delete, which puts it back: each
// file at the exact path its Trash record names, through the guarded restore (only the file
// that was trashed, never over another), its record back in the catalogue and its rows back in
// both lists where they were.
#pragma once

#include "catalogue/clsDatabase.h"
#include "common/Hooks.h"
#include "common/PhysicalFile.h"
#include "controls/GridModel.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvelle {

/// A file a Delete sent to the Trash, with all it takes to put it back.
struct TrashedFile {
    CatalogueRecord record;
    std::string trashPath;
    std::string original; ///< where its Trash record says it came from
    PathStatus inTrash;   ///< the file as it was once in the Trash
    int fileRow = -1;     ///< its row in the file list before the Delete; -1: none
    int dupeRow = 0;      ///< its row in the duplicate list before the Delete
    std::int32_t group = 0;
    std::optional<Color> color;
};

/// How an Undo Delete went.
struct UndoReport {
    std::size_t restored = 0;
    std::size_t refused = 0;
};

/// "12 files restored from the Trash; 1 could not be restored".
std::string undoStatusText(const UndoReport& report);

class UndoJournal {
public:
    /// Told when a restored record comes back under a new ID.
    using Renumbered = std::function<void(RecordId from, RecordId to)>;

    /// The last Delete sent these files to the Trash and left the lists as they are now.
    void recordTrashed(std::vector<TrashedFile> files, const GridModel& fileList,
                       const GridModel& dupes);
    /// The last Delete removed files permanently: nothing can be undone.
    void recordDeletedForGood();

    [[nodiscard]] bool canUndo() const { return !m_files.empty(); }
    /// Why Undo Delete cannot be used now, for its tooltip; empty when it can.
    [[nodiscard]] std::string whyNot() const;
    [[nodiscard]] std::span<const TrashedFile> files() const { return m_files; }

    /// Puts every file back, one at a time through `hooks` (a stop leaves the rest in the
    /// journal). A file that cannot go back (its path is taken, it changed in the Trash) is
    /// named in one message and stays in the Trash and in the journal.
    UndoReport UndoDelete(clsDatabase& catalogue, GridModel& fileList, GridModel& dupes,
                          MessageSink& messages, const Renumbered& renumbered,
                          const WorkHooks& hooks = {});

private:
    /// The rows of the restored files put back where they were, under their new IDs.
    void putRowsBack(const std::vector<std::pair<std::size_t, RecordId>>& restored,
                     GridModel& fileList, GridModel& dupes) const;

    std::vector<TrashedFile> m_files; ///< in duplicate-list order
    std::uint64_t m_fileListRemovals = 0;
    std::uint64_t m_dupeRemovals = 0;
    bool m_deletedForGood = false;
};

} // namespace corvelle
