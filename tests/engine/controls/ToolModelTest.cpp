// The tools model (start values, events, the settings it gives a run) and the tool commands'
// window-free decisions.
#include "controls/ToolModel.h"

#include "controls/Commands.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using namespace toolIds;
using Ids = std::vector<std::string>;

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

TEST(ToolModel, settingsStartAsTheWindowOffersThemAndFollowTheTools)
{
    ToolModel tools;
    const DedupeSettings start = tools.dedupeSettings();
    EXPECT_FALSE(start.blnUseName);
    EXPECT_TRUE(start.blnUseExtension && start.blnUseSize && start.blnUseCRC);
    EXPECT_TRUE(start.blnRemoveBracketedText && start.blnRemoveNumbers && start.blnRemoveSymbols &&
                start.blnRemoveSpaces);
    EXPECT_EQ(start.lngMatchScore, 80);
    EXPECT_EQ(start.lngCRCSize, 1048576);

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

TEST(ToolModel, userEventsUpdateTheToolBeforeTheyArriveAndCodeChangesRaiseNone)
{
    ToolModel tools;
    Recorder recorder;
    tools.setObserver(&recorder);
    tools.setEventHandler(&recorder);
    tools.Tools(ID_UseName).ToolState(1);
    tools.Tools(ID_UseName).ToolState(1); // no change: not observed
    tools.ToolClick(ID_UseCRC);
    tools.ToolClick(ID_Dedupe);
    tools.ComboChange(ID_CRCFilesFirst, 3);
    tools.ComboChange(ID_CRCFilesFirst, 3); // a change to the selected entry still arrives
    EXPECT_EQ(recorder.log, (Ids{"state ID_UseName", "state ID_UseCRC", "click ID_UseCRC 0",
                                 "click ID_Dedupe 0", "combo ID_CRCFilesFirst",
                                 "change ID_CRCFilesFirst 3", "change ID_CRCFilesFirst 3"}));
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
    const auto pick = [&](int index, bool filesListed) {
        tools.ComboChange(ID_CRCFilesFirst, index);
        commands.CRCFilesFirstChanged(filesListed, answer.confirm());
    };
    pick(10, true); // the confirmed entry
    EXPECT_EQ(answer.asked, 0);
    pick(3, true);
    EXPECT_EQ(answer.asked, 1);
    EXPECT_EQ(tools.Tools(ID_CRCFilesFirst).ComboListIndex(), 10);
    answer.yes = true;
    pick(3, true);
    EXPECT_EQ(tools.Tools(ID_CRCFilesFirst).ComboListIndex(), 3);

    // An entry picked with nothing listed is taken at once, and is what later changes are
    // measured against: files are now checksummed over 4 KB, so going back must ask.
    pick(2, false);
    EXPECT_EQ(commands.intCRCListIndex(), 2);
    answer.yes = false;
    pick(10, true);
    EXPECT_EQ(answer.asked, 3);
    EXPECT_EQ(tools.dedupeSettings().lngCRCSize, 4096);
}

} // namespace
} // namespace corvelle
