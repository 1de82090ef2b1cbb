#include "CliActions.h"

#include "CliOutput.h"
#include "CliTerminal.h"
#include "common/Hooks.h"
#include "common/WorkerPool.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <algorithm>
#include <map>
#include <sys/resource.h>
#include <thread>

namespace corvelle::cli {
namespace {

/// The rows of each group, in the list's order.
std::map<std::int32_t, std::vector<int>> rowsByGroup(const GridModel& duplicates)
{
    std::map<std::int32_t, std::vector<int>> groups;
    for (int row = 1; row < duplicates.RowCount(); ++row) {
        groups[duplicates.recordAt(row).group].push_back(row);
    }
    return groups;
}

/// A row's file. The list's cells hold the catalogue's bytes as they are (nothing in this
/// program's list is escaped or shortened), so they name exactly the file catalogued.
VerifyCandidate candidateOf(const GridModel& duplicates, int row)
{
    VerifyCandidate candidate;
    candidate.row = row;
    candidate.path = dupeRowPath(duplicates, row);
    candidate.size = duplicates.recordAt(row).size;
    return candidate;
}

/// Files each verifying thread may hold open at once: a share of the process's limit, so that
/// large groups on every thread at once never run out of descriptors (a file that cannot be
/// opened would be left out of its set).
std::size_t openFilesPerThread(unsigned threads)
{
    constexpr std::size_t reserved = 64; // the catalogue, the output, the terminal, the library
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 256;
    }
    const std::size_t available =
        limit.rlim_cur > reserved ? static_cast<std::size_t>(limit.rlim_cur) - reserved : 0;
    return std::clamp<std::size_t>(available / threads, 2, 256);
}

/// How an action is written once done ("trashed"), or in a dry run ("would trash").
std::string actedWord(CopyAction action, bool dryRun)
{
    switch (action) {
    case CopyAction::Trash:
        return dryRun ? "would trash" : "trashed";
    case CopyAction::Delete:
        return dryRun ? "would delete" : "deleted";
    case CopyAction::Link:
        break;
    }
    return dryRun ? "would link" : "linked";
}

} // namespace

std::vector<VerifiedSet> verifyDuplicates(const GridModel& duplicates, const Options& options,
                                          const StopFlag& stop, GridModel& verified)
{
    // The groups are read on several threads, each group on its own, since reading and
    // comparing is most of the work. More threads than cores: on a cold cache they mostly wait
    // for the disk, which answers many reads at once faster than a few.
    std::vector<std::vector<VerifyCandidate>> groups;
    for (const auto& [group, rows] : rowsByGroup(duplicates)) {
        std::vector<VerifyCandidate>& candidates = groups.emplace_back();
        for (const int row : rows) {
            candidates.push_back(candidateOf(duplicates, row));
        }
    }
    std::vector<VerifyResult> results(groups.size());
    WorkerPool pool(std::max(8u, std::thread::hardware_concurrency()));
    const std::size_t maxOpen = openFilesPerThread(pool.threads());
    pool.forEach(groups.size(), [&](std::size_t i) {
        if (!stop.requested()) {
            results[i] = verifyGroup(groups[i], &stop, maxOpen);
        }
    });
    std::vector<VerifiedSet> sets;
    for (VerifyResult& result : results) {
        if (!options.quiet) {
            for (const LeftOut& left : result.leftOut) {
                printMessageLine("left out '" + left.path + "': " + left.reason);
            }
        }
        for (VerifiedSet& set : result.sets) {
            sets.push_back(std::move(set));
        }
    }
    std::sort(sets.begin(), sets.end(), [](const VerifiedSet& a, const VerifiedSet& b) {
        return a.front().row < b.front().row;
    });
    // The sets as groups, numbered anew.
    const int groupColumn = columnIndex(DupeColumn::DupeGroup);
    for (std::size_t i = 0; i < sets.size(); ++i) {
        const auto group = static_cast<std::int32_t>(i + 1);
        for (const VerifiedFile& file : sets[i]) {
            std::vector<std::string> cells;
            for (int col = 0; col < duplicates.ColCount(); ++col) {
                cells.push_back(col == groupColumn
                                    ? std::to_string(group)
                                    : std::string(duplicates.CellText(file.row, col)));
            }
            RowRecord record = duplicates.recordAt(file.row);
            record.group = group;
            verified.AppendRow(std::move(cells), record);
        }
    }
    return sets;
}

bool actOnSets(const std::vector<VerifiedSet>& sets, const Options& options, const StopFlag& stop)
{
    ActionRequest request;
    request.action = *options.action;
    request.dryRun = options.dryRun;
    request.trash = TrashEnvironment::current();
    request.done = [&](CopyAction action, const std::string& copy, const std::string& kept) {
        if (options.dryRun || !options.quiet) {
            printMessageLine(actedWord(action, options.dryRun) + " '" + copy + "' (keeping '" +
                             kept + "')");
        }
    };
    ActionReport report;
    for (const VerifiedSet& set : sets) {
        if (stop.requested()) {
            break;
        }
        actOnCopies(set, chooseKept(set, options.keep), request, report);
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
