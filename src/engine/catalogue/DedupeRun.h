// One dedupe run as a pipeline: export, grouping, loading, each only when the one before
// completed and no stop was asked. The window and the command-line program both call this.
#pragma once

#include "common/DedupeSettings.h"
#include "common/Hooks.h"

#include <filesystem>

namespace corvelle {

class clsDatabase;
class GridModel;

/// The two work files of a run, inside the given folder.
struct DedupeFiles {
    std::filesystem::path exportFile; // "dedupe.dat"
    std::filesystem::path pairFile;   // "dupelist.dat"

    static DedupeFiles in(const std::filesystem::path& folder);
};

struct DedupeRunHooks {
    ProgressSink* progress = nullptr;
    CaptionSink* status = nullptr; // "Step 1 :  Exporting Records For Deduplication", ...
    CaptionSink* count = nullptr;  // "N Duplicate(s) Found"
    const StopFlag* stop = nullptr;
    std::function<void()> yield;
    MessageSink* messages = nullptr;
};

inline constexpr std::string_view stepExportCaption =
    "Step 1 :  Exporting Records For Deduplication";
inline constexpr std::string_view stepGroupCaption = "Step 2 :  Creating Duplicate List";

/// Runs the three passes. Completed when all three ran; Stopped or Failed say where it ended
/// (a failed pass has already reported its message). The duplicate grid is replaced only when
/// the loading pass runs.
Outcome runDedupe(clsDatabase& catalogue, const DedupeSettings& settings, const DedupeFiles& files,
                  GridModel& duplicates, const DedupeRunHooks& hooks);

} // namespace corvelle
