// The rules that keep the settings tools in step.
#include "commands/SettingCommands.h"

namespace corvelle {

using namespace toolIds;

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
