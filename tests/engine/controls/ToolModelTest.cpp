// Tests of the tools model (layout, start values, operations, events, settings) and of the
// tool commands' window-free decisions.
#include "controls/ToolModel.h"

#include "controls/Commands.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using namespace toolIds;
using Ids = std::vector<std::string>;

/// The IDs of a row of tools, "-" for a separator.
Ids idsOf(std::span<const Tool* const> tools)
{
    Ids ids;
    for (const Tool* tool : tools) {
        ids.push_back(tool->kind() == ToolKind::Separator ? "-" : tool->ToolId());
    }
    return ids;
}

/// Records observer calls and events, each event with the tool's value when it arrives.
class Recorder : public ToolObserver, public ToolEvents {
public:
    void toolStateChanged(const Tool& tool) override { log.push_back("state " + tool.ToolId()); }
    void toolEnabledChanged(const Tool& tool) override { log.push_back("on " + tool.ToolId()); }
    void comboIndexChanged(const Tool& tool) override { log.push_back("combo " + tool.ToolId()); }
    void ToolClick(Tool& tool) override
    {
        log.push_back("click " + tool.ToolId() + " " + std::to_string(tool.ToolState()));
    }
    void ComboChange(Tool& tool) override
    {
        log.push_back("change " + tool.ToolId() + " " + std::to_string(tool.ComboListIndex()));
    }
    Ids log;
};

TEST(ToolModel, menusAndToolbarHoldTheirToolsInOrder)
{
    const ToolModel tools;
    EXPECT_EQ(idsOf(tools.menuBar()),
              (Ids{"ID_File", "ID_Selection", "ID_Deduplication", "ID_Help"}));
    EXPECT_EQ(idsOf(tools.Tools(ID_Selection).children()),
              (Ids{"ID_AddFiles", "ID_AddFolder", "ID_AddFolderRecursive", "-", "ID_SetFileFilter",
                   "-", "ID_RemoveSelection", "ID_ClearAll"}));
    EXPECT_EQ(idsOf(tools.Tools(ID_Deduplication).children()),
              (Ids{"ID_UseName", "ID_UseExtension", "ID_UseSize", "ID_UseCRC", "-",
                   "ID_NameMatchingSettings", "ID_CRCSettings", "-", "ID_Dedupe"}));
    EXPECT_EQ(idsOf(tools.Tools(ID_NameMatchingSettings).children()),
              (Ids{"ID_RemoveBracketedText", "ID_RemoveNumbers", "ID_RemoveSymbols",
                   "ID_RemoveSpaces", "ID_MatchPercentage"}));
    EXPECT_EQ(tools.Tools(ID_CRCFilesFirst).parent(), &tools.Tools(ID_CRCSettings));
    EXPECT_EQ(idsOf(tools.toolbar()),
              (Ids{"ID_AddFiles", "ID_AddFolder", "ID_AddFolderRecursive", "-", "ID_SetFileFilter",
                   "-", "ID_RemoveSelection", "ID_ClearAll", "-", "ID_Dedupe"}));
    // The toolbar's Clear All is the menu's tool, not a copy.
    EXPECT_EQ(tools.toolbar()[7], &tools.Tools(ID_ClearAll));
    EXPECT_EQ(tools.Tools(ID_ClearAll).hint(), "Clear All Files");
    EXPECT_EQ(tools.Tools(ID_Exit).hint(), "");
}

TEST(ToolModel, startValues)
{
    const ToolModel tools;
    EXPECT_EQ(tools.Tools(ID_CRCSettings).kind(), ToolKind::Submenu);
    EXPECT_EQ(tools.Tools(ID_UseName).kind(), ToolKind::StateButton);
    EXPECT_EQ(tools.Tools(ID_MatchPercentage).kind(), ToolKind::ComboBox);
    EXPECT_EQ(tools.Tools(ID_UseName).ToolState(), 0);
    EXPECT_FALSE(tools.Tools(ID_NameMatchingSettings).ToolEnabled());
    EXPECT_TRUE(tools.Tools(ID_CRCSettings).ToolEnabled());
    for (const std::string_view id :
         {ID_UseExtension, ID_UseSize, ID_UseCRC, ID_RemoveBracketedText, ID_RemoveNumbers,
          ID_RemoveSymbols, ID_RemoveSpaces}) {
        EXPECT_EQ(tools.Tools(id).ToolState(), 1) << id;
    }
    const Tool& match = tools.Tools(ID_MatchPercentage);
    EXPECT_EQ(match.comboEntries()[static_cast<std::size_t>(match.ComboListIndex())].text, "80%");
    const Tool& crc = tools.Tools(ID_CRCFilesFirst);
    EXPECT_EQ(crc.comboEntries()[static_cast<std::size_t>(crc.ComboListIndex())].text, "1 MB");

    const DedupeSettings read = tools.dedupeSettings();
    EXPECT_FALSE(read.blnUseName);
    EXPECT_TRUE(read.blnRemoveSpaces);
    EXPECT_EQ(read.lngMatchScore, 80);
    EXPECT_EQ(read.lngCRCFilesFirstKB, 1024);
    EXPECT_EQ(read.lngCRCSize, 1048576);
}

TEST(ToolModel, settingsFollowTheTools)
{
    ToolModel tools;
    tools.Tools(ID_UseSize).ToolState(0);
    tools.Tools(ID_MatchPercentage).ComboListIndex(5);
    tools.Tools(ID_CRCFilesFirst).ComboListIndex(14);
    DedupeSettings read = tools.dedupeSettings();
    EXPECT_FALSE(read.blnUseSize);
    EXPECT_EQ(read.lngMatchScore, 50);
    EXPECT_EQ(read.lngCRCSize, 16777216);

    // No checksums while CRC Settings is disabled; the entry and the tick stay as they were.
    tools.Tools(ID_CRCSettings).ToolEnabled(false);
    read = tools.dedupeSettings();
    EXPECT_EQ(read.lngCRCSize, 0);
    EXPECT_EQ(read.lngCRCFilesFirstKB, 16384);
    EXPECT_TRUE(read.blnUseCRC);
}

TEST(ToolModel, codeChangesReachTheObserverOnlyWhenRealAndRaiseNoEvent)
{
    ToolModel tools;
    Recorder recorder;
    tools.setObserver(&recorder);
    tools.setEventHandler(&recorder);
    tools.Tools(ID_UseName).ToolState(1);
    tools.Tools(ID_UseName).ToolState(1);
    tools.Tools(ID_NameMatchingSettings).ToolEnabled(true);
    tools.Tools(ID_CRCSettings).ToolEnabled(true);
    tools.Tools(ID_CRCFilesFirst).ComboListIndex(3);
    tools.Tools(ID_CRCFilesFirst).ComboListIndex(3);
    EXPECT_EQ(recorder.log,
              (Ids{"state ID_UseName", "on ID_NameMatchingSettings", "combo ID_CRCFilesFirst"}));
}

TEST(ToolModel, userEventsUpdateTheToolBeforeTheyArrive)
{
    ToolModel tools;
    Recorder recorder;
    tools.setObserver(&recorder);
    tools.setEventHandler(&recorder);
    tools.ToolClick(ID_UseCRC);
    tools.ToolClick(ID_Dedupe);
    tools.ComboChange(ID_CRCFilesFirst, 3);
    tools.ComboChange(ID_CRCFilesFirst, 3); // a change to the selected entry still arrives
    EXPECT_EQ(recorder.log, (Ids{"state ID_UseCRC", "click ID_UseCRC 0", "click ID_Dedupe 0",
                                 "combo ID_CRCFilesFirst", "change ID_CRCFilesFirst 3",
                                 "change ID_CRCFilesFirst 3"}));
}

TEST(ToolModel, toolsOutOfReachIgnoreUserEvents)
{
    ToolModel tools;
    Recorder recorder;
    tools.setEventHandler(&recorder);
    // Name Matching Settings starts disabled, and with it everything inside.
    tools.ToolClick(ID_RemoveSpaces);
    tools.ComboChange(ID_MatchPercentage, 0);
    tools.Tools(ID_Dedupe).ToolEnabled(false);
    tools.ToolClick(ID_Dedupe);
    EXPECT_TRUE(recorder.log.empty());
    EXPECT_EQ(tools.Tools(ID_RemoveSpaces).ToolState(), 1);
    EXPECT_EQ(tools.Tools(ID_MatchPercentage).ComboListIndex(), 2);

    tools.Tools(ID_NameMatchingSettings).ToolEnabled(true);
    EXPECT_TRUE(tools.isUsable(tools.Tools(ID_RemoveSpaces)));
    tools.ToolClick(ID_RemoveSpaces);
    EXPECT_EQ(recorder.log, (Ids{"click ID_RemoveSpaces 0"}));
}

TEST(Commands, clicksRunTheirCommands)
{
    EXPECT_EQ(commandFor(ID_ClearAll), Command::ClearAll);
    EXPECT_EQ(commandFor(ID_AddFolderRecursive), Command::AddFolderRecursive);
    EXPECT_EQ(commandFor(ID_RemoveSpaces), Command::Setting);
    // Headings, the settings submenus and the combo's own click do nothing.
    EXPECT_EQ(commandFor(ID_Selection), Command::None);
    EXPECT_EQ(commandFor(ID_CRCSettings), Command::None);
    EXPECT_EQ(commandFor(ID_CRCFilesFirst), Command::None);
}

/// A scripted answer to the clearing question that counts how often it was asked.
struct Answer {
    bool yes = false;
    int asked = 0;
    SettingCommands::ConfirmClear confirm()
    {
        return [this] {
            ++asked;
            return yes;
        };
    }
};

TEST(SettingCommands, useNameOpensItsSettingsExactlyWhileTicked)
{
    ToolModel tools;
    SettingCommands commands(tools);
    tools.ToolClick(ID_UseName);
    commands.UseNameClicked();
    EXPECT_TRUE(tools.Tools(ID_NameMatchingSettings).ToolEnabled());
    tools.ToolClick(ID_UseName);
    commands.UseNameClicked();
    EXPECT_FALSE(tools.Tools(ID_NameMatchingSettings).ToolEnabled());
}

TEST(SettingCommands, useCrcAsksOnlyWhenTickedWithFilesListed)
{
    ToolModel tools;
    SettingCommands commands(tools);
    Answer answer; // No
    const auto click = [&](bool filesListed) {
        tools.ToolClick(ID_UseCRC);
        commands.UseCRCClicked(filesListed, answer.confirm());
    };
    click(true); // unticked: never asks
    EXPECT_EQ(answer.asked, 0);
    EXPECT_FALSE(commands.crcColumnsShown());
    EXPECT_EQ(tools.dedupeSettings().lngCRCSize, 0);

    click(true); // ticked, declined: unticked again, settings stay closed
    EXPECT_EQ(answer.asked, 1);
    EXPECT_EQ(tools.Tools(ID_UseCRC).ToolState(), 0);
    EXPECT_FALSE(commands.crcColumnsShown());

    click(false); // ticked on an empty list: no question
    EXPECT_EQ(answer.asked, 1);
    EXPECT_TRUE(commands.crcColumnsShown());

    click(true);
    answer.yes = true;
    click(true);
    EXPECT_EQ(answer.asked, 2);
    EXPECT_EQ(tools.Tools(ID_UseCRC).ToolState(), 1);
    EXPECT_TRUE(commands.crcColumnsShown());
}

TEST(SettingCommands, crcEntryChangeWithFilesListedAsksAndNoRestoresTheFormerEntry)
{
    ToolModel tools;
    SettingCommands commands(tools);
    Answer answer;
    const auto pick = [&](int index) {
        tools.ComboChange(ID_CRCFilesFirst, index);
        commands.CRCFilesFirstChanged(true, answer.confirm());
    };
    pick(10); // the confirmed entry
    EXPECT_EQ(answer.asked, 0);
    pick(3);
    EXPECT_EQ(answer.asked, 1);
    EXPECT_EQ(tools.Tools(ID_CRCFilesFirst).ComboListIndex(), 10);
    answer.yes = true;
    pick(3);
    EXPECT_EQ(tools.Tools(ID_CRCFilesFirst).ComboListIndex(), 3);
    EXPECT_EQ(commands.intCRCListIndex(), 3);
}

TEST(SettingCommands, crcEntryPickedOnAnEmptyListIsWhatLaterChangesAreMeasuredAgainst)
{
    ToolModel tools;
    SettingCommands commands(tools);
    Answer answer;
    tools.ComboChange(ID_CRCFilesFirst, 2); // "4 KB" with nothing listed: taken at once
    commands.CRCFilesFirstChanged(false, answer.confirm());
    EXPECT_EQ(commands.intCRCListIndex(), 2);

    // Files are now checksummed over 4 KB; going back to "1 MB" must ask.
    tools.ComboChange(ID_CRCFilesFirst, 10);
    commands.CRCFilesFirstChanged(true, answer.confirm());
    EXPECT_EQ(answer.asked, 1);
    EXPECT_EQ(tools.dedupeSettings().lngCRCSize, 4096);
}

} // namespace
} // namespace corvelle
