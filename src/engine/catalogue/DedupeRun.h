// One dedupe run as a pipeline: export, grouping, loading, each only when the one before
// completed and no stop was asked. The window and the command-line program both call this.
#pragma once

#include "common/DedupeSettings.h"
#include "common/Hooks.h"

#include <filesystem>

namespace corvelle {

class clsDatabase;
class GridModel;

/// The names of a run's two work files.
inline constexpr const char* exportFileName = "dedupe.dat";
inline constexpr const char* pairFileName = "dupelist.dat";

/// The two work files of a run. Empty paths keep their contents in memory instead, in a
/// compact form: the 613-byte export records are never made.
struct DedupeFiles {
    std::filesystem::path exportFile;
    std::filesystem::path pairFile;

    /// The two work files inside the given folder.
    static DedupeFiles in(const std::filesystem::path& folder);
    /// No work files: a run that nobody asked to keep them for.
    static DedupeFiles none() { return {}; }
};

/// What a run reports to: the passes' shared hooks (progress, stop, yield, messages; their
/// caption is not used) and the run's two labels.
struct DedupeRunHooks {
    WorkHooks work;
    CaptionSink* status = nullptr; // "Step 1 :  Exporting Records For Deduplication", ...
    CaptionSink* count = nullptr;  // "N Duplicate(s) Found"
};

inline constexpr std::string_view stepExportCaption =
    "Step 1 :  Exporting Records For Deduplication";
inline constexpr std::string_view stepGroupCaption = "Step 2 :  Creating Duplicate List";

/// Runs the three passes. Completed when all three ran; Stopped or Failed say where it ended.
/// The duplicate grid is replaced only when the loading pass runs.
///
/// Errors: export and grouping catch their own failures, report them through the messages
/// hook and return Failed. Loading reports nothing itself: a pair file or catalogue that
/// cannot be read escapes as std::system_error or StoreError, with the rows loaded so far
/// left in the grid, so that the caller decides how to tell the user.
Outcome runDedupe(clsDatabase& catalogue, const DedupeSettings& settings, const DedupeFiles& files,
                  GridModel& duplicates, const DedupeRunHooks& hooks);

} // namespace corvelle
