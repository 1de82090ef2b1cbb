// Which command a tool's click runs, and the rules that keep the settings tools in step.
#include "controls/Commands.h"

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

SettingCommands::SettingCommands(ToolModel& tools)
    : m_tools(tools)
    , m_crcListIndex(tools.Tools(ID_CRCFilesFirst).ComboListIndex())
{}

void SettingCommands::UseNameClicked()
{
    m_tools.Tools(ID_NameMatchingSettings).ToolEnabled(m_tools.Tools(ID_UseName).ToolState() == 1);
}

void SettingCommands::UseCRCClicked(bool filesListed, const ConfirmClear& confirmClear)
{
    Tool& useCrc = m_tools.Tools(ID_UseCRC);
    Tool& crcSettings = m_tools.Tools(ID_CRCSettings);
    if (useCrc.ToolState() == 0) {
        // The listed files keep their checksums; they are simply not compared.
        crcSettings.ToolEnabled(false);
        return;
    }
    if (!filesListed || confirmClear()) {
        crcSettings.ToolEnabled(true);
        return;
    }
    useCrc.ToolState(0);
}

void SettingCommands::CRCFilesFirstChanged(bool filesListed, const ConfirmClear& confirmClear)
{
    Tool& combo = m_tools.Tools(ID_CRCFilesFirst);
    const int picked = combo.ComboListIndex();
    if (!filesListed) {
        // Nothing to clear: the picked entry is the one the next files are checksummed with,
        // so a later change is measured against it.
        m_crcListIndex = picked;
        return;
    }
    if (picked == m_crcListIndex) {
        return;
    }
    if (confirmClear()) {
        m_crcListIndex = picked;
    } else {
        combo.ComboListIndex(m_crcListIndex);
    }
}

bool SettingCommands::crcColumnsShown() const
{
    return m_tools.Tools(ID_CRCSettings).ToolEnabled();
}

} // namespace corvelle
