// Where this user's Trash folders are, known by identity. A file in a Trash is no copy worth
// keeping: emptying the Trash loses it. So folder scans never enter a Trash, and no action
// keeps a file that lies in one.
#pragma once

#include "common/PhysicalFile.h"

#include <filesystem>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace corvelle {

/// Where the home trash is and whose trash it is; current() reads the environment.
struct TrashEnvironment {
    std::filesystem::path homeTrash;
    uid_t uid = 0;

    static TrashEnvironment current();
};

/// The Trash folders that exist now: the home trash and, on every mounted volume,
/// "$topdir/.Trash/$uid" and "$topdir/.Trash-$uid". Recognised by device and inode, so that a
/// Trash reached through a link, a bind mount or another spelling is still the Trash.
class TrashPlaces {
public:
    TrashPlaces() = default;
    /// The Trash folders of the environment's user, found now. `mountTable` is the mount
    /// table to read the volumes' top folders from (the form of /proc/self/mountinfo).
    static TrashPlaces find(const TrashEnvironment& environment,
                            const std::filesystem::path& mountTable = "/proc/self/mountinfo");

    /// Whether the folder of this identity is a Trash folder.
    [[nodiscard]] bool isTrash(PhysicalFile folder) const;
    /// Adds a folder to treat as a Trash; nothing when it does not exist.
    void add(const std::filesystem::path& folder);

private:
    std::vector<PhysicalFile> m_folders;
};

/// The mount points listed in a mount table of the /proc/self/mountinfo form, unescaped.
std::vector<std::filesystem::path> mountPoints(std::string_view mountTableText);

} // namespace corvelle
