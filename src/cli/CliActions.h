// --verify and the actions of corvelle-cli: the duplicate list split into sets of files equal
// byte for byte, and the copies of each set trashed, deleted, linked or reflinked.
#pragma once

#include "CliOptions.h"
#include "CliOutput.h"
#include "actions/Verify.h"

#include <vector>

namespace corvelle {
class StopFlag;
class GridModel;
} // namespace corvelle

namespace corvelle::cli {

class TerminalDisplay;

/// The verified sets of the list's groups, in the list's order, and `verified` filled with
/// them as groups renumbered from 1, the paths of each physical file side by side. Each file
/// left out is named on stderr (unless quiet). The display shows the bytes compared.
std::vector<VerifiedSet> verifyDuplicates(const GridModel& duplicates, const Options& options,
                                          const StopFlag& stop, TerminalDisplay& display,
                                          VerifiedList& verified);

/// Acts on the copies of every set, one physical file kept in each. Says on stderr what it
/// did (or, in a dry run, what it would do) and sums up, unless quiet; every file skipped is
/// named. The display shows the files acted on. Returns what was done with each set; every
/// intended action succeeded when none was skipped.
ActionRecord actOnSets(const std::vector<VerifiedSet>& sets, const Options& options,
                       const StopFlag& stop, TerminalDisplay& display);

} // namespace corvelle::cli
