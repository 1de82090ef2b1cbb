// The checksum settings' rules: a run never compares checksums taken over different lengths.
#include "commands/SettingCommands.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using namespace toolIds;

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
