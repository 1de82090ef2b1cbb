// The settings the tools give a run.
#include "controls/ToolModel.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace corvelle {
namespace {

using namespace toolIds;

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

} // namespace
} // namespace corvelle
