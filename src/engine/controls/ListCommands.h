// What the main window's lists show and do that needs no screen: the row captions, the column
// widths, and the two commands that take files out of the catalogue (Remove Selection and
// Clear All).
#pragma once

#include "common/Hooks.h"

#include <array>
#include <string>
#include <string_view>

namespace corvelle {

class clsDatabase;
class GridModel;

/// "File List (Row r Of n)": r is the current row (0 when there is none), n the data rows.
std::string rowCaption(std::string_view listName, const GridModel& grid);

/// The file list's width in twips at design; the duplicate list's column widths come from it.
inline constexpr int kDesignFileListWidth = 11655;

/// Column widths in twips for a file list this wide, column 0 (hidden) included: 0.34, 0.34
/// and 0.1 of the width, rounded to the nearest whole twip, halves to even.
std::array<int, 6> fileColumnWidths(int fileListWidth);
/// The duplicate list's widths, also taken from the file list's width.
std::array<int, 7> dupeColumnWidths(int fileListWidth);

inline constexpr std::string_view removeSelectionQuestion =
    "Delete selected rows, this will also clear dupe list?";
inline constexpr std::string_view clearAllQuestion =
    "Clear all rows, this will also clear dupe list?";

/// The catalogue and its two lists, for the commands that take files out of them. Removing
/// files always empties the duplicate list, whose groups could name records that are gone.
class CatalogueLists {
public:
    CatalogueLists(clsDatabase& catalogue, GridModel& files, GridModel& dupes,
                   MessageSink& messages);

    /// Asks removeSelectionQuestion when file rows are selected; on Yes deletes their records
    /// and rows, and empties the duplicate list. True when it did.
    bool RemoveSelection();
    /// Asks clearAllQuestion when blnAsk is true; on Yes (or without asking) deletes every
    /// record and empties both lists. True when it did.
    bool ClearAll(bool blnAsk);

private:
    [[nodiscard]] bool confirmed(std::string_view question);

    clsDatabase& m_catalogue;
    GridModel& m_files;
    GridModel& m_dupes;
    MessageSink& m_messages;
};

} // namespace corvelle
