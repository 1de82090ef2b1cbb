// Which command a click on one of the window's tools runs.
#pragma once

#include <string_view>

namespace corvelle {

/// What a click on a tool runs.
enum class Command {
    None,    ///< menu headings and the two settings submenus
    Setting, ///< a setting read where it is used: nothing to do at the click
    About,
    Contents,
    UseName,
    UseCRC,
    Dedupe,
    Exit,
    AddFiles,
    AddFolder,
    AddFolderRecursive,
    RemoveSelection,
    ClearAll,
    SetFileFilter,
    SelectDuplicates, ///< one of the keep rules of the Select Duplicates submenu
    SelectNone,
    InvertSelection,
    ProtectedFolders,
    UndoDelete,
    VerifyDuplicates,
};

/// The keep rule of a Select Duplicates entry ("first", "newest", "under=" for the folder
/// entry, whose folder is asked for); empty for any other ID.
[[nodiscard]] std::string_view keepRuleFor(std::string_view toolId);

/// The command a click on the tool with this ID runs; Command::None for any other ID.
[[nodiscard]] Command commandFor(std::string_view toolId);

} // namespace corvelle
