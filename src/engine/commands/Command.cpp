// Which command a tool's click runs.
#include "commands/Command.h"

#include "controls/ToolModel.h"

#include <array>
#include <utility>

namespace corvelle {

using namespace toolIds;

Command commandFor(std::string_view toolId)
{
    static constexpr std::array<std::pair<std::string_view, Command>, 19> commands{{
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
    }};
    for (const auto& [id, command] : commands) {
        if (id == toolId) {
            return command;
        }
    }
    return Command::None;
}

} // namespace corvelle
