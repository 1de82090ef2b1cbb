// SelectionCommands: the selections the duplicate list offers beyond the user's own. Select
// Duplicates selects, in every group, every file but the one a keep rule chooses, with the
// rules and the code of the command line's --keep; Select None; Invert Selection within
// Groups. None of them ever leaves a group with no row kept.
#pragma once

#include "actions/CopyActions.h"

#include <cstddef>
#include <string>
#include <vector>

namespace corvelle {

class DupeVerification;
class GridModel;
class ProtectedFolders;

/// What Select Duplicates did.
struct SelectionReport {
    std::size_t selected = 0;  ///< rows
    std::size_t groups = 0;    ///< groups with a row selected
    std::size_t leftAlone = 0; ///< groups the rule found nothing to keep in
    std::string leftAloneWhy;  ///< the rule's reason, for the first of them
};

/// "1,255 files selected in 578 groups; 3 groups left alone: none of its files is inside …".
std::string selectionStatusText(const SelectionReport& report);

class SelectionCommands {
public:
    SelectionCommands(GridModel& dupes, const ProtectedFolders& protectedFolders,
                      const DupeVerification& verification);

    /// Selects, in every group, every physical file but the one `rule` keeps (an "under" rule
    /// must be resolved). The rows of one physical file go together. A file inside a protected
    /// folder or a Trash is never selected; after a verification only copies proven identical
    /// to the file kept are, and a file identical to none is kept. `places` knows the Trash.
    SelectionReport SelectDuplicates(const KeepRule& rule, FilePlaces& places);
    void SelectNone();
    /// In every group with a row selected, selects exactly the rows that were not.
    void InvertWithinGroups();

private:
    GridModel& m_dupes;
    const ProtectedFolders& m_protected;
    const DupeVerification& m_verification;
};

} // namespace corvelle
