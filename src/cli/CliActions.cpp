#include "CliActions.h"

#include "CliOutput.h"
#include "CliTerminal.h"
#include "common/Hooks.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <set>

namespace corvelle::cli {
namespace {

/// How an action is written once done, in a dry run, and while it goes on.
struct ActionWords {
    FileAction action;
    const char* done;
    const char* wouldDo;
    const char* doing;
};

constexpr std::array<ActionWords, 4> actionWords{{
    {FileAction::Trash, "trashed", "would trash", "Trashing"},
    {FileAction::Delete, "deleted", "would delete", "Deleting"},
    {FileAction::Link, "linked", "would link", "Linking"},
    {FileAction::Reflink, "reflinked", "would reflink", "Reflinking"},
}};

const ActionWords& wordsFor(FileAction action)
{
    return *std::find_if(actionWords.begin(), actionWords.end(),
                         [&](const ActionWords& words) { return words.action == action; });
}

/// The actions of a set in the order of its paths, as the output lists them.
void inPathOrder(const VerifiedSet& set, std::vector<SetOutcome::Action>& actions)
{
    std::map<std::string, std::size_t> position;
    for (const VerifiedFile& member : set) {
        for (const LinkedPath& path : member.paths()) {
            position.emplace(path.path, position.size());
        }
    }
    std::stable_sort(actions.begin(), actions.end(), [&](const auto& a, const auto& b) {
        return position[a.path] < position[b.path];
    });
}

/// A set of which no file stays: when a keep rule refused it, every path counts as skipped and
/// fails the run; a set with nothing to act on is only announced.
void leaveAlone(const VerifiedSet& set, const KeepChoice& choice, bool announce,
                TerminalDisplay& display, ActionReport& report)
{
    if (choice.refused) {
        for (const VerifiedFile& member : set) {
            for (const LinkedPath& path : member.paths()) {
                report.skipped.push_back({path.path, "its set is left alone: " + choice.reason});
            }
        }
    } else if (announce) {
        display.say("left alone the set of '" + set.front().path + "': " + choice.reason);
    }
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
                                          const StopFlag& stop, TerminalDisplay& display,
                                          VerifiedList& verified)
{
    const std::vector<std::vector<VerifyCandidate>> groups = candidateGroups(duplicates);
    std::vector<VerifyResult> results;
    std::atomic<std::size_t> groupsDone{0};
    std::atomic<std::int64_t> compared{0};
    const Rate rate;
    display.showWhile([&] { results = verifyGroups(groups, stop, &groupsDone, &compared); },
                      [&] {
                          const auto bytes = static_cast<double>(compared.load());
                          return "Verifying: " + bytesForPeople(bytes) + " compared (" +
                                 rate.perSecond(bytes) + "), group " +
                                 withThousands(static_cast<std::int64_t>(groupsDone.load())) +
                                 " of " + withThousands(static_cast<std::int64_t>(groups.size()));
                      });
    display.clear();
    VerifyResult all = mergeResults(results);
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

ActionRecord actOnSets(const std::vector<VerifiedSet>& sets, const Options& options,
                       const StopFlag& stop, TerminalDisplay& display)
{
    const TrashEnvironment environment = TrashEnvironment::current();
    FilePlaces places(TrashPlaces::find(environment));
    TrashBins trash(environment);
    const ActionWords& words = wordsFor(*options.action);
    const std::string done = options.dryRun ? words.wouldDo : words.done;
    const bool announce = options.dryRun || !options.quiet;

    ActionRecord record;
    record.dryRun = options.dryRun;
    ActionReport report;
    const Rate rate;
    // "Trashing: set 12 of 300, 40 files trashed (85 files/s)".
    const auto progress = [&] {
        const auto acted = static_cast<std::int64_t>(report.acted);
        display.showWork(std::string(options.dryRun ? "Checking" : words.doing) + ": set " +
                         withThousands(static_cast<std::int64_t>(record.sets.size())) + " of " +
                         withThousands(static_cast<std::int64_t>(sets.size())) + ", " +
                         counted(acted, "file") + " " + (options.dryRun ? "checked" : words.done) +
                         " (" + rate.perSecond(static_cast<double>(acted), "files") + ")");
    };
    ActionRequest request;
    request.action = *options.action;
    request.dryRun = options.dryRun;
    request.done = [&](const PlannedAction& plan, const ActionResult& result) {
        if (announce) {
            display.say(done + " '" + plan.path + "' (keeping '" + plan.kept->path + "')");
        }
        record.sets.back().actions.push_back({plan.path, done, result.trashPath, {}});
        progress();
    };
    for (const VerifiedSet& set : sets) {
        if (stop.requested()) {
            break;
        }
        SetOutcome& outcome = record.sets.emplace_back();
        const std::size_t skippedBefore = report.skipped.size();
        const std::int64_t bytesBefore = report.bytes;
        const KeepChoice choice = chooseKept(set, options.keep, places);
        if (choice.kept) {
            outcome.kept = set[*choice.kept].path;
            actOnCopies(set, *choice.kept, request, places, trash, report);
        } else {
            outcome.leftAlone = choice.reason;
            leaveAlone(set, choice, announce, display, report);
        }
        for (std::size_t i = skippedBefore; i < report.skipped.size(); ++i) {
            outcome.actions.push_back(
                {report.skipped[i].path, "skipped", {}, report.skipped[i].reason});
        }
        inPathOrder(set, outcome.actions);
        outcome.bytesFreed = report.bytes - bytesBefore;
        progress();
    }
    display.clear();
    for (const ActionReport::Skipped& skipped : report.skipped) {
        printMessageLine("skipped '" + skipped.path + "': " + skipped.reason);
    }
    if (announce) {
        printMessageLine(done + " " + counted(static_cast<std::int64_t>(report.acted), "file") +
                         " (" + counted(report.bytes, "byte") +
                         (options.dryRun ? " to free" : " freed") + "), skipped " +
                         withThousands(static_cast<std::int64_t>(report.skipped.size())));
    }
    record.acted = report.acted;
    record.skipped = report.skipped.size();
    record.bytesFreed = report.bytes;
    return record;
}

} // namespace corvelle::cli
