#include "CliActions.h"

#include "CliOutput.h"
#include "CliTerminal.h"
#include "common/Hooks.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

namespace corvelle::cli {
namespace {

/// How an action is written once done ("trashed"), or in a dry run ("would trash").
std::string actedWord(FileAction action, bool dryRun)
{
    switch (action) {
    case FileAction::Trash:
        return dryRun ? "would trash" : "trashed";
    case FileAction::Delete:
        return dryRun ? "would delete" : "deleted";
    case FileAction::Link:
        break;
    case FileAction::Restore:
        return dryRun ? "would restore" : "restored";
    }
    return dryRun ? "would link" : "linked";
}

/// Appends the row of the duplicate list to the verified list, in its new group.
void appendVerifiedRow(const GridModel& duplicates, int row, std::int32_t group,
                       GridModel& verified)
{
    const int groupColumn = columnIndex(DupeColumn::DupeGroup);
    std::vector<std::string> cells;
    for (int col = 0; col < duplicates.ColCount(); ++col) {
        cells.push_back(col == groupColumn ? std::to_string(group)
                                           : std::string(duplicates.CellText(row, col)));
    }
    RowRecord record = duplicates.recordAt(row);
    record.group = group;
    verified.AppendRow(std::move(cells), record);
}

} // namespace

std::vector<VerifiedSet> verifyDuplicates(const GridModel& duplicates, const Options& options,
                                          const StopFlag& stop, VerifiedList& verified)
{
    VerifyResult all;
    for (VerifyResult& result : verifyGroups(candidateGroups(duplicates), stop)) {
        std::move(result.sets.begin(), result.sets.end(), std::back_inserter(all.sets));
        std::move(result.leftOut.begin(), result.leftOut.end(), std::back_inserter(all.leftOut));
    }
    joinSetsSharingFiles(all);
    if (!options.quiet) {
        std::set<std::string> named;
        for (const LeftOut& left : all.leftOut) {
            if (named.insert(left.path).second) {
                printMessageLine("left out '" + left.path + "': " + left.reason);
            }
        }
    }
    std::vector<VerifiedSet> sets = std::move(all.sets);
    // The sets as groups, numbered anew; the paths of one physical file side by side.
    verified.fileNumbers.assign(1, 0);
    for (std::size_t i = 0; i < sets.size(); ++i) {
        const auto group = static_cast<std::int32_t>(i + 1);
        for (std::size_t member = 0; member < sets[i].size(); ++member) {
            for (const LinkedPath& path : sets[i][member].paths()) {
                appendVerifiedRow(duplicates, path.row, group, verified.rows);
                verified.fileNumbers.push_back(static_cast<std::int32_t>(member + 1));
            }
        }
    }
    return sets;
}

bool actOnSets(const std::vector<VerifiedSet>& sets, const Options& options, const StopFlag& stop)
{
    const TrashEnvironment environment = TrashEnvironment::current();
    FilePlaces places(TrashPlaces::find(environment));
    TrashBins trash(environment);
    ActionRequest request;
    request.action = *options.action;
    request.dryRun = options.dryRun;
    request.done = [&](const PlannedAction& plan, const ActionResult&) {
        if (options.dryRun || !options.quiet) {
            printMessageLine(actedWord(plan.action, options.dryRun) + " '" + plan.path +
                             "' (keeping '" + plan.kept->path + "')");
        }
    };
    ActionReport report;
    for (const VerifiedSet& set : sets) {
        if (stop.requested()) {
            break;
        }
        const KeepChoice choice = chooseKept(set, options.keep, places);
        if (choice.kept) {
            actOnCopies(set, *choice.kept, request, places, trash, report);
        } else if (choice.refused) {
            for (const VerifiedFile& member : set) {
                for (const LinkedPath& path : member.paths()) {
                    report.skipped.push_back(
                        {path.path, "its set is left alone: " + choice.reason});
                }
            }
        } else if (!options.quiet || options.dryRun) {
            printMessageLine("left alone the set of '" + set.front().path + "': " + choice.reason);
        }
    }
    for (const ActionReport::Skipped& skipped : report.skipped) {
        printMessageLine("skipped '" + skipped.path + "': " + skipped.reason);
    }
    if (!options.quiet || options.dryRun) {
        const std::string done = actedWord(request.action, options.dryRun);
        printMessageLine(done + " " + counted(static_cast<std::int64_t>(report.acted), "file") +
                         " (" + counted(report.bytes, "byte") +
                         (options.dryRun ? " to free" : " freed") + "), skipped " +
                         withThousands(static_cast<std::int64_t>(report.skipped.size())));
    }
    return report.skipped.empty();
}

} // namespace corvelle::cli
