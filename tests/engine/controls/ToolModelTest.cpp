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

/// The IDs of a row of tools, "-" for a separator.
std::vector<std::string> idsOf(std::span<const Tool* const> tools)
{
    std::vector<std::string> ids;
    for (const Tool* tool : tools) {
        ids.push_back(tool->kind() == ToolKind::Separator ? "-" : tool->ToolId());
    }
    return ids;
}

class RecordingObserver : public ToolObserver {
public:
    void toolStateChanged(const Tool& tool) override { log.push_back("state " + tool.ToolId()); }
    void toolEnabledChanged(const Tool& tool) override
    {
        log.push_back("enabled " + tool.ToolId());
    }
    void comboIndexChanged(const Tool& tool) override { log.push_back("combo " + tool.ToolId()); }
    std::vector<std::string> log;
};

/// Records each event with the tool's value at the moment it arrives.
class RecordingEvents : public ToolEvents {
public:
    void ToolClick(Tool& tool) override
    {
        log.push_back("click " + tool.ToolId() + " " + std::to_string(tool.ToolState()));
    }
    void ComboChange(Tool& tool) override
    {
        log.push_back("change " + tool.ToolId() + " " + std::to_string(tool.ComboListIndex()));
    }
    std::vector<std::string> log;
};

TEST(ToolModel, menusHoldTheirToolsInOrderWithSeparators)
{
    const ToolModel tools;
    EXPECT_EQ(idsOf(tools.menuBar()),
              (std::vector<std::string>{"ID_File", "ID_Selection", "ID_Deduplication", "ID_Help"}));
    EXPECT_EQ(
        idsOf(tools.Tools(ID_Selection).children()),
        (std::vector<std::string>{"ID_AddFiles", "ID_AddFolder", "ID_AddFolderRecursive", "-",
                                  "ID_SetFileFilter", "-", "ID_RemoveSelection", "ID_ClearAll"}));
    EXPECT_EQ(
        idsOf(tools.Tools(ID_Deduplication).children()),
        (std::vector<std::string>{"ID_UseName", "ID_UseExtension", "ID_UseSize", "ID_UseCRC", "-",
                                  "ID_NameMatchingSettings", "ID_CRCSettings", "-", "ID_Dedupe"}));
    EXPECT_EQ(
        idsOf(tools.Tools(ID_NameMatchingSettings).children()),
        (std::vector<std::string>{"ID_RemoveBracketedText", "ID_RemoveNumbers", "ID_RemoveSymbols",
                                  "ID_RemoveSpaces", "ID_MatchPercentage"}));
    EXPECT_EQ(idsOf(tools.Tools(ID_CRCSettings).children()),
              (std::vector<std::string>{"ID_CRCFilesFirst"}));
    EXPECT_EQ(tools.Tools(ID_CRCFilesFirst).parent(), &tools.Tools(ID_CRCSettings));
    EXPECT_EQ(tools.Tools(ID_File).parent(), nullptr);
}

TEST(ToolModel, toolbarSharesTheMenuToolsAndCarriesHints)
{
    const ToolModel tools;
    EXPECT_EQ(idsOf(tools.toolbar()),
              (std::vector<std::string>{"ID_AddFiles", "ID_AddFolder", "ID_AddFolderRecursive", "-",
                                        "ID_SetFileFilter", "-", "ID_RemoveSelection",
                                        "ID_ClearAll", "-", "ID_Dedupe"}));
    // One tool, not a copy: the toolbar's Clear All is the menu's.
    EXPECT_EQ(tools.toolbar()[7], &tools.Tools(ID_ClearAll));
    EXPECT_EQ(tools.Tools(ID_ClearAll).hint(), "Clear All Files");
    EXPECT_EQ(tools.Tools(ID_AddFolderRecursive).hint(), "Add Folder Recursive");
    EXPECT_EQ(tools.Tools(ID_Exit).hint(), "");
}

TEST(ToolModel, kindsOfTools)
{
    const ToolModel tools;
    EXPECT_EQ(tools.Tools(ID_Help).kind(), ToolKind::Menu);
    EXPECT_EQ(tools.Tools(ID_CRCSettings).kind(), ToolKind::Submenu);
    EXPECT_EQ(tools.Tools(ID_UseName).kind(), ToolKind::StateButton);
    EXPECT_EQ(tools.Tools(ID_RemoveSpaces).kind(), ToolKind::StateButton);
    EXPECT_EQ(tools.Tools(ID_MatchPercentage).kind(), ToolKind::ComboBox);
    EXPECT_EQ(tools.Tools(ID_Dedupe).kind(), ToolKind::Button);
    EXPECT_EQ(tools.Tools(ID_SetFileFilter).caption(), "Se&t File Filter (*.*)");
}

TEST(ToolModel, startValues)
{
    const ToolModel tools;
    EXPECT_EQ(tools.Tools(ID_UseName).ToolState(), 0);
    EXPECT_FALSE(tools.Tools(ID_NameMatchingSettings).ToolEnabled());
    for (const std::string_view id :
         {ID_UseExtension, ID_UseSize, ID_UseCRC, ID_RemoveBracketedText, ID_RemoveNumbers,
          ID_RemoveSymbols, ID_RemoveSpaces}) {
        EXPECT_EQ(tools.Tools(id).ToolState(), 1) << id;
    }
    EXPECT_TRUE(tools.Tools(ID_CRCSettings).ToolEnabled());

    const Tool& match = tools.Tools(ID_MatchPercentage);
    EXPECT_EQ(match.ComboListIndex(), 2);
    EXPECT_EQ(match.comboEntries()[2].text, "80%");
    EXPECT_EQ(match.comboEntries().size(), 6u);
    const Tool& crc = tools.Tools(ID_CRCFilesFirst);
    EXPECT_EQ(crc.ComboListIndex(), 10);
    EXPECT_EQ(crc.comboEntries()[10].text, "1 MB");
    EXPECT_EQ(crc.ComboEntryValue(10), "1024");
    EXPECT_EQ(crc.comboEntries().size(), 15u);
}

TEST(ToolModel, freshSettingsEqualTheStartValues)
{
    const ToolModel tools;
    const DedupeSettings read = tools.dedupeSettings();
    const DedupeSettings start;
    EXPECT_EQ(read.blnUseName, start.blnUseName);
    EXPECT_EQ(read.blnUseExtension, start.blnUseExtension);
    EXPECT_EQ(read.blnUseSize, start.blnUseSize);
    EXPECT_EQ(read.blnUseCRC, start.blnUseCRC);
    EXPECT_EQ(read.blnRemoveBracketedText, start.blnRemoveBracketedText);
    EXPECT_EQ(read.blnRemoveNumbers, start.blnRemoveNumbers);
    EXPECT_EQ(read.blnRemoveSymbols, start.blnRemoveSymbols);
    EXPECT_EQ(read.blnRemoveSpaces, start.blnRemoveSpaces);
    EXPECT_EQ(read.lngMatchScore, 80);
    EXPECT_EQ(read.lngCRCFilesFirstKB, 1024);
    EXPECT_EQ(read.lngCRCSize, 1048576);
}

TEST(ToolModel, settingsFollowTheTools)
{
    ToolModel tools;
    tools.Tools(ID_UseSize).ToolState(0);
    tools.Tools(ID_RemoveNumbers).ToolState(0);
    tools.Tools(ID_MatchPercentage).ComboListIndex(5);
    tools.Tools(ID_CRCFilesFirst).ComboListIndex(14);
    DedupeSettings read = tools.dedupeSettings();
    EXPECT_FALSE(read.blnUseSize);
    EXPECT_FALSE(read.blnRemoveNumbers);
    EXPECT_TRUE(read.blnRemoveSymbols);
    EXPECT_EQ(read.lngMatchScore, 50);
    EXPECT_EQ(read.lngCRCFilesFirstKB, 16384);
    EXPECT_EQ(read.lngCRCSize, 16777216);

    tools.Tools(ID_CRCFilesFirst).ComboListIndex(0);
    EXPECT_EQ(tools.dedupeSettings().lngCRCSize, 1024);
}

TEST(ToolModel, checksumSizeIsZeroWhileCrcSettingsAreDisabled)
{
    ToolModel tools;
    tools.Tools(ID_CRCSettings).ToolEnabled(false);
    const DedupeSettings read = tools.dedupeSettings();
    EXPECT_EQ(read.lngCRCSize, 0);
    EXPECT_EQ(read.lngCRCFilesFirstKB, 1024); // the entry stays selected
    // Whether CRCs are compared is the tick alone.
    EXPECT_TRUE(read.blnUseCRC);
}

TEST(ToolModel, unknownIdIsAnErrorThatNamesIt)
{
    ToolModel tools;
    try {
        (void)tools.Tools("ID_Nonesuch");
        FAIL() << "no exception";
    } catch (const std::out_of_range& error) {
        EXPECT_NE(std::string(error.what()).find("ID_Nonesuch"), std::string::npos);
    }
    EXPECT_THROW((void)tools.Tools(""), std::out_of_range); // separators have no ID
    EXPECT_THROW(tools.ToolClick("ID_Nonesuch"), std::out_of_range);
    EXPECT_EQ(tools.findTool("ID_Nonesuch"), nullptr);
}

TEST(ToolModel, operationsRefuseToolsOfTheWrongKindAndBadValues)
{
    ToolModel tools;
    EXPECT_THROW(tools.Tools(ID_Dedupe).ToolState(1), std::invalid_argument);
    EXPECT_THROW(tools.Tools(ID_UseName).ToolState(2), std::invalid_argument);
    EXPECT_THROW((void)tools.Tools(ID_UseName).ComboListIndex(), std::invalid_argument);
    EXPECT_THROW(tools.ComboChange(ID_UseName, 0), std::invalid_argument);

    Tool& match = tools.Tools(ID_MatchPercentage);
    EXPECT_THROW(match.ComboListIndex(6), std::out_of_range);
    EXPECT_THROW(match.ComboListIndex(-1), std::out_of_range);
    EXPECT_THROW((void)match.ComboEntryValue(6), std::out_of_range);
    EXPECT_EQ(match.ComboListIndex(), 2);
    EXPECT_EQ(match.ComboEntryValue(0), "100");
}

TEST(ToolModel, observerHearsRealChangesOnly)
{
    ToolModel tools;
    RecordingObserver observer;
    tools.setObserver(&observer);
    tools.Tools(ID_UseName).ToolState(1);
    tools.Tools(ID_UseName).ToolState(1);
    tools.Tools(ID_NameMatchingSettings).ToolEnabled(true);
    tools.Tools(ID_CRCSettings).ToolEnabled(true);
    tools.Tools(ID_CRCFilesFirst).ComboListIndex(3);
    tools.Tools(ID_CRCFilesFirst).ComboListIndex(3);
    EXPECT_EQ(observer.log,
              (std::vector<std::string>{"state ID_UseName", "enabled ID_NameMatchingSettings",
                                        "combo ID_CRCFilesFirst"}));
}

TEST(ToolModel, settingFromCodeRaisesNoEvent)
{
    ToolModel tools;
    RecordingEvents events;
    tools.setEventHandler(&events);
    tools.Tools(ID_UseCRC).ToolState(0);
    tools.Tools(ID_CRCFilesFirst).ComboListIndex(4);
    EXPECT_TRUE(events.log.empty());
}

TEST(ToolModel, clickFlipsAStateButtonBeforeTheEvent)
{
    ToolModel tools;
    RecordingObserver observer;
    RecordingEvents events;
    tools.setObserver(&observer);
    tools.setEventHandler(&events);
    tools.ToolClick(ID_UseCRC);
    tools.ToolClick(ID_UseCRC);
    tools.ToolClick(ID_Dedupe);
    EXPECT_EQ(events.log, (std::vector<std::string>{"click ID_UseCRC 0", "click ID_UseCRC 1",
                                                    "click ID_Dedupe 0"}));
    EXPECT_EQ(observer.log, (std::vector<std::string>{"state ID_UseCRC", "state ID_UseCRC"}));
}

TEST(ToolModel, comboChangeSelectsTheEntryAndArrivesEvenWhenUnchanged)
{
    ToolModel tools;
    RecordingEvents events;
    tools.setEventHandler(&events);
    tools.ComboChange(ID_CRCFilesFirst, 3);
    tools.ComboChange(ID_CRCFilesFirst, 3);
    EXPECT_EQ(events.log,
              (std::vector<std::string>{"change ID_CRCFilesFirst 3", "change ID_CRCFilesFirst 3"}));
    EXPECT_THROW(tools.ComboChange(ID_CRCFilesFirst, 15), std::out_of_range);
    EXPECT_EQ(tools.Tools(ID_CRCFilesFirst).ComboListIndex(), 3);
}

TEST(ToolModel, toolsInADisabledSubmenuCannotBeUsed)
{
    ToolModel tools;
    RecordingEvents events;
    tools.setEventHandler(&events);
    // Name Matching Settings starts disabled: its tools are out of reach.
    EXPECT_FALSE(tools.isUsable(tools.Tools(ID_RemoveSpaces)));
    tools.ToolClick(ID_RemoveSpaces);
    tools.ComboChange(ID_MatchPercentage, 0);
    tools.Tools(ID_CRCSettings).ToolEnabled(false);
    tools.ComboChange(ID_CRCFilesFirst, 0);
    tools.Tools(ID_Dedupe).ToolEnabled(false);
    tools.ToolClick(ID_Dedupe);
    EXPECT_TRUE(events.log.empty());
    EXPECT_EQ(tools.Tools(ID_RemoveSpaces).ToolState(), 1);
    EXPECT_EQ(tools.Tools(ID_MatchPercentage).ComboListIndex(), 2);
    EXPECT_EQ(tools.Tools(ID_CRCFilesFirst).ComboListIndex(), 10);

    tools.Tools(ID_NameMatchingSettings).ToolEnabled(true);
    tools.ToolClick(ID_RemoveSpaces);
    EXPECT_EQ(events.log, (std::vector<std::string>{"click ID_RemoveSpaces 0"}));
}

TEST(Commands, clicksRunTheirCommands)
{
    EXPECT_EQ(commandFor(ID_ClearAll), Command::ClearAll);
    EXPECT_EQ(commandFor(ID_AddFolderRecursive), Command::AddFolderRecursive);
    EXPECT_EQ(commandFor(ID_UseCRC), Command::UseCRC);
    EXPECT_EQ(commandFor(ID_UseName), Command::UseName);
    EXPECT_EQ(commandFor(ID_RemoveSpaces), Command::Setting);
    EXPECT_EQ(commandFor(ID_MatchPercentage), Command::Setting);
    // Headings, the settings submenus and the combo's own click do nothing.
    EXPECT_EQ(commandFor(ID_Selection), Command::None);
    EXPECT_EQ(commandFor(ID_CRCSettings), Command::None);
    EXPECT_EQ(commandFor(ID_CRCFilesFirst), Command::None);
    EXPECT_EQ(commandFor("ID_Nonesuch"), Command::None);
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

TEST(SettingCommands, untickingUseCrcNeverAsks)
{
    ToolModel tools;
    SettingCommands commands(tools);
    Answer answer;
    tools.ToolClick(ID_UseCRC);
    commands.UseCRCClicked(true, answer.confirm());
    EXPECT_EQ(answer.asked, 0);
    EXPECT_FALSE(tools.Tools(ID_CRCSettings).ToolEnabled());
    EXPECT_FALSE(commands.crcColumnsShown());
    EXPECT_EQ(tools.dedupeSettings().lngCRCSize, 0);
}

TEST(SettingCommands, tickingUseCrcAsksOnlyWhileFilesAreListed)
{
    ToolModel tools;
    SettingCommands commands(tools);
    Answer answer;
    tools.ToolClick(ID_UseCRC);
    commands.UseCRCClicked(true, answer.confirm());

    tools.ToolClick(ID_UseCRC);
    commands.UseCRCClicked(false, answer.confirm());
    EXPECT_EQ(answer.asked, 0);
    EXPECT_TRUE(commands.crcColumnsShown());

    tools.ToolClick(ID_UseCRC); // off again, then on with files listed
    commands.UseCRCClicked(true, answer.confirm());
    answer.yes = true;
    tools.ToolClick(ID_UseCRC);
    commands.UseCRCClicked(true, answer.confirm());
    EXPECT_EQ(answer.asked, 1);
    EXPECT_EQ(tools.Tools(ID_UseCRC).ToolState(), 1);
    EXPECT_TRUE(commands.crcColumnsShown());
}

TEST(SettingCommands, decliningUseCrcUnticksItAndKeepsItsSettingsClosed)
{
    ToolModel tools;
    SettingCommands commands(tools);
    Answer answer; // No
    tools.ToolClick(ID_UseCRC);
    commands.UseCRCClicked(true, answer.confirm());
    tools.ToolClick(ID_UseCRC);
    commands.UseCRCClicked(true, answer.confirm());
    EXPECT_EQ(answer.asked, 1);
    EXPECT_EQ(tools.Tools(ID_UseCRC).ToolState(), 0);
    EXPECT_FALSE(tools.Tools(ID_CRCSettings).ToolEnabled());
    EXPECT_FALSE(commands.crcColumnsShown());
}

TEST(SettingCommands, crcEntryChangeWithFilesListedAsksAndNoRestoresTheFormerEntry)
{
    ToolModel tools;
    SettingCommands commands(tools);
    Answer answer;
    tools.ComboChange(ID_CRCFilesFirst, 10); // the entry already confirmed
    commands.CRCFilesFirstChanged(true, answer.confirm());
    EXPECT_EQ(answer.asked, 0);

    tools.ComboChange(ID_CRCFilesFirst, 3);
    commands.CRCFilesFirstChanged(true, answer.confirm());
    EXPECT_EQ(answer.asked, 1);
    EXPECT_EQ(tools.Tools(ID_CRCFilesFirst).ComboListIndex(), 10);
    EXPECT_EQ(commands.intCRCListIndex(), 10);

    answer.yes = true;
    tools.ComboChange(ID_CRCFilesFirst, 3);
    commands.CRCFilesFirstChanged(true, answer.confirm());
    EXPECT_EQ(answer.asked, 2);
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
    EXPECT_EQ(answer.asked, 0);
    EXPECT_EQ(commands.intCRCListIndex(), 2);

    // Files are now checksummed over 4 KB; going back to "1 MB" must ask.
    tools.ComboChange(ID_CRCFilesFirst, 10);
    commands.CRCFilesFirstChanged(true, answer.confirm());
    EXPECT_EQ(answer.asked, 1);
    EXPECT_EQ(tools.Tools(ID_CRCFilesFirst).ComboListIndex(), 2);
    EXPECT_EQ(tools.dedupeSettings().lngCRCSize, 4096);
}

} // namespace
} // namespace corvelle
