// CatalogueLists: the two commands that take files out of the catalogue and its lists (Remove
// Selection and Clear All).
#pragma once

#include "common/Hooks.h"

#include <string>
#include <string_view>

namespace corvelle {

class clsDatabase;
class GridModel;

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
