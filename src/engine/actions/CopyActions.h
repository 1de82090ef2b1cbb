// What is done with the copies of a verified set: which file stays (the keep rules), and the
// Trash, deletion or hard link of every other one, each only while both the copy and the file
// kept are still exactly as they were verified.
#pragma once

#include "actions/Trash.h"
#include "actions/Verify.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

/// One rule for the file that stays. Rules apply in order, each narrowing the files the one
/// before left; what is still tied after the last goes to the first row.
struct KeepRule {
    enum class Kind { First, Last, Oldest, Newest, ShortestPath, LongestPath, Under };
    Kind kind = Kind::First;
    std::string folder; ///< for Under: files inside it are preferred

    /// "first", "last", "oldest", "newest", "shortest-path", "longest-path", "under=DIR".
    static std::optional<KeepRule> parse(std::string_view text);
};

/// The index in the set of the file that stays.
std::size_t chooseKept(const VerifiedSet& set, const std::vector<KeepRule>& rules);

enum class CopyAction { Trash, Delete, Link };

/// How the actions went: the files acted on and their bytes, and each file skipped with why.
struct ActionReport {
    struct Skipped {
        std::string path;
        std::string reason;
    };
    std::size_t acted = 0;
    std::int64_t bytes = 0;
    std::vector<Skipped> skipped;
};

struct ActionRequest {
    CopyAction action = CopyAction::Trash;
    bool dryRun = false;
    TrashEnvironment trash;
    /// Told each action done (or, in a dry run, that would be done): the copy, the file kept.
    std::function<void(CopyAction, const std::string& copy, const std::string& kept)> done;
};

/// Acts on every file of the set but the one at `kept`. Just before each, the copy must still
/// be the regular file verified (device, inode, size and modification time), the file kept
/// must still be there as verified, and the two must be different files; a link needs both on
/// one file system. Anything else is skipped with the reason.
void actOnCopies(const VerifiedSet& set, std::size_t kept, const ActionRequest& request,
                 ActionReport& report);

/// Replaces `copy` by a hard link to `kept`: the link is made under a temporary name in the
/// copy's folder and renamed over the copy, so that at every moment the copy's name holds
/// either the old file or the link. Throws std::system_error naming the file.
void replaceWithLink(const std::string& kept, const std::string& copy);

} // namespace corvelle
