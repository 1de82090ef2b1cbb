// Which command a tool's click runs.
#include "commands/Command.h"

#include "controls/ToolModel.h"

#include <array>
#include <utility>

namespace corvelle {

using namespace toolIds;

Command commandFor(std::string_view toolId)
{
    static constexpr std::array<std::pair<std::string_view, Command>, 24> commands{{
        {ID_About, Command::About},
        {ID_Contents, Command::Contents},
        {ID_UseCRC, Command::UseCRC},
        {ID_UseSize, Command::Setting},
        {ID_UseExtension, Command::Setting},
        {ID_UseName, Command::UseName},
        {ID_RemoveBracketedText, Command::Setting},
        {ID_RemoveNumbers, Command::Setting},
        {ID_RemoveSymbols, Command::Setting},
        {ID_RemoveSpaces, Command::Setting},
        {ID_MatchPercentage, Command::Setting},
        {ID_Dedupe, Command::Dedupe},
        {ID_Exit, Command::Exit},
        {ID_AddFiles, Command::AddFiles},
        {ID_AddFolder, Command::AddFolder},
        {ID_AddFolderRecursive, Command::AddFolderRecursive},
        {ID_RemoveSelection, Command::RemoveSelection},
        {ID_ClearAll, Command::ClearAll},
        {ID_SetFileFilter, Command::SetFileFilter},
        {ID_SelectNone, Command::SelectNone},
        {ID_InvertSelection, Command::InvertSelection},
        {ID_ProtectedFolders, Command::ProtectedFolders},
        {ID_UndoDelete, Command::UndoDelete},
        {ID_VerifyDuplicates, Command::VerifyDuplicates},
    }};
    for (const auto& [id, command] : commands) {
        if (id == toolId) {
            return command;
        }
    }
    return keepRuleFor(toolId).empty() ? Command::None : Command::SelectDuplicates;
}

std::string_view keepRuleFor(std::string_view toolId)
{
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 7> rules{{
        {ID_KeepFirst, "first"},
        {ID_KeepLast, "last"},
        {ID_KeepOldest, "oldest"},
        {ID_KeepNewest, "newest"},
        {ID_KeepShortestPath, "shortest-path"},
        {ID_KeepLongestPath, "longest-path"},
        {ID_KeepInsideFolder, "under="},
    }};
    for (const auto& [id, rule] : rules) {
        if (id == toolId) {
            return rule;
        }
    }
    return {};
}

} // namespace corvelle
