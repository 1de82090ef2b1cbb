// What is done with the copies of a verified set: which physical file stays (the keep rules),
// and the Trash, deletion or hard link of every path of every other one, each through the
// guarded action, so only while both the copy and the file kept are exactly as verified.
#pragma once

#include "actions/FilePlaces.h"
#include "actions/GuardedAction.h"
#include "actions/Verify.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

/// One rule for the file that stays. Rules apply in order, each narrowing the files the one
/// before left; what is still tied after the last goes to the first row.
struct KeepRule {
    enum class Kind { First, Last, Oldest, Newest, ShortestPath, LongestPath, Under };
    Kind kind = Kind::First;
    std::string folder; ///< for Under: the folder as given, for messages
    /// For Under: the folder itself. Files are under it when it is among their folders, by
    /// identity; set it with resolve() before choosing.
    PhysicalFile folderIdentity{};

    /// "first", "last", "oldest", "newest", "shortest-path", "longest-path", "under=DIR".
    static std::optional<KeepRule> parse(std::string_view text);
    /// For Under: finds the folder now; false when it is not a folder that exists.
    bool resolve();
};

/// The file of a set that stays, or why the set is left alone.
struct KeepChoice {
    /// The member that stays; none when the set is left alone.
    std::optional<std::size_t> kept;
    /// Why the set is left alone.
    std::string reason;
    /// Whether leaving it alone fails the run: a rule that no file met, as opposed to a set
    /// with nothing to act on (its other files are in a Trash).
    bool refused = false;
};

/// What the keep rules look at of one physical file: its rows and paths, and when it was last
/// modified. A verified file gives one, and so do the rows of one file in a group of the window.
struct KeepCandidate {
    std::vector<LinkedPath> paths; ///< every path of the file, its first row's first
    std::int64_t mtimeNs = 0;

    static KeepCandidate of(const VerifiedFile& file);
};

/// Chooses the physical file that stays. Only a file outside every Trash stays, and a set is
/// left alone when it has no other such file to act on, or when an "under" rule finds none of
/// its files inside its folder.
KeepChoice chooseKept(std::span<const KeepCandidate> members, const std::vector<KeepRule>& rules,
                      FilePlaces& places);
KeepChoice chooseKept(const VerifiedSet& set, const std::vector<KeepRule>& rules,
                      FilePlaces& places);

/// How the actions went: the paths acted on, the bytes freed, and each path skipped with why.
struct ActionReport {
    struct Skipped {
        std::string path;
        std::string reason;
    };
    std::size_t acted = 0;
    /// The sizes of the physical files whose every link went: a file that keeps a name
    /// somewhere frees nothing.
    std::int64_t bytes = 0;
    std::vector<Skipped> skipped;
};

struct ActionRequest {
    FileAction action = FileAction::Trash;
    bool dryRun = false;
    /// Told each action done (or, in a dry run, found possible), with how it went.
    std::function<void(const PlannedAction&, const ActionResult&)> done;
};

/// Acts on every catalogued path of every member of the set but the one at `kept`, members
/// and paths inside a Trash excepted. A dry run makes each check the real run would make
/// first, so that on an unchanged tree it announces exactly what the real run does.
void actOnCopies(const VerifiedSet& set, std::size_t kept, const ActionRequest& request,
                 FilePlaces& places, TrashBins& trash, ActionReport& report);

} // namespace corvelle
