// One guarded action on one file, for both programs: a file goes to the Trash, is deleted, is
// replaced by a hard link to the file that stays or by a copy-on-write clone of it, or comes back
// from the Trash, only while it is still the file it was seen to be, and never when it is the file
// that stays. The check and the action are one place, so the window's Delete, the command line's
// actions and a dry run all decide alike.
#pragma once

#include "actions/Trash.h"
#include "common/PhysicalFile.h"

#include <optional>
#include <string>
#include <vector>

namespace corvelle {

/// Restore puts a file in the Trash back where it was trashed from.
enum class FileAction { Trash, Delete, Link, Restore, Reflink };

/// What a file was seen to be, which it must still be when it is acted on.
struct Evidence {
    enum class Source { Catalogued, Verified };

    /// Identity (unknown: not compared), size, and for a verified file the modification and
    /// change times.
    PathStatus status;
    /// Catalogued: the catalogue keeps identity and size, not the times. Verified: the file
    /// was read whole, and every field counts.
    Source source = Source::Verified;

    static Evidence verified(const PathStatus& status) { return {status, Source::Verified}; }
    static Evidence catalogued(PhysicalFile identity, std::int64_t size);

    /// Whether `now` still shows this file.
    [[nodiscard]] bool matches(const PathStatus& now) const;
    /// "verified" or "catalogued", for the reasons.
    [[nodiscard]] const char* seenAs() const;
};

/// The file that stays when a copy of it is acted on.
struct KeptFile {
    std::string path;
    Evidence evidence;
};

/// An action on one path, with everything its check needs.
struct PlannedAction {
    FileAction action = FileAction::Trash;
    std::string path; ///< the exact bytes of the path acted on
    Evidence evidence;
    /// For a copy of a verified set: the file that stays. It must still be as it was verified
    /// and be another file than the one acted on; a link or a clone is made of it.
    std::optional<KeptFile> kept;
    /// Physical files that stay (the rows of a group not being deleted): the file acted on
    /// must be none of them.
    std::vector<PhysicalFile> staying;
    /// A file without its owner's write permission gets it first (the window's read-only
    /// rule); it gets its permissions back when the action then fails.
    bool makeWritable = false;
    /// For Restore: the path the file goes back to, as its trash record named it when it was
    /// trashed. Nothing there is ever replaced.
    std::string destination;
};

/// How an action went.
struct ActionResult {
    bool done = false;
    /// Not done: the whole reason (what was wrong, or what failed, with which file and why).
    std::string reason;
    /// Done, to the Trash: where the file is now.
    std::string trashPath;
    /// Done: the physical file acted on, just after (its links left, its new change time).
    PathStatus after;
    /// Done, a link: the file kept, just after (one link more, a new change time).
    std::optional<PathStatus> keptAfter;
};

/// The check alone, as a dry run makes it: empty when the action may be done now, else why not.
std::string checkAction(const PlannedAction& plan);

/// Checks, then acts. Nothing is changed when the check fails.
ActionResult performAction(const PlannedAction& plan, TrashBins& trash);

/// Replaces `copy` by a hard link to `kept`: the link is made under a temporary name in the
/// copy's folder and renamed over the copy, so that at every moment the copy's name holds
/// either the old file or the link. Throws std::system_error naming the file.
void replaceWithLink(const std::string& kept, const std::string& copy);

/// Replaces `copy` by a clone of `kept` that shares its blocks (FICLONE): made under a
/// temporary name in the copy's folder, given the copy's owner, permissions and times as far
/// as this user may set them, and renamed over the copy. `kept` must still be the file
/// `keptFile`. Throws std::system_error naming the file; where the file system cannot clone,
/// the reason says so.
void replaceWithClone(const std::string& kept, const PhysicalFile& keptFile,
                      const std::string& copy);

} // namespace corvelle
