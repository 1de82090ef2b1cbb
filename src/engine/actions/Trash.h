// The freedesktop.org Trash: a file is moved, never copied, into the trash of its own volume
// with a ".trashinfo" that lets the desktop's Trash restore it. Files on the home volume go to
// the home trash ($XDG_DATA_HOME/Trash, created with its parents when missing); files on other
// volumes go to "$topdir/.Trash/$uid" when the administrator provided a shared ".Trash"
// (a real folder with the sticky bit), else to "$topdir/.Trash-$uid".
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace corvelle {

/// Where the home trash is and whose trash it is; current() reads the environment.
struct TrashEnvironment {
    std::filesystem::path homeTrash;
    uid_t uid = 0;

    static TrashEnvironment current();
};

/// A trash folder: its "files" and "info" folders, and the volume's top folder when the paths
/// in its ".trashinfo" files are relative to it (empty for the home trash).
struct TrashFolder {
    std::filesystem::path root;
    std::filesystem::path topdir;

    [[nodiscard]] std::filesystem::path files() const { return root / "files"; }
    [[nodiscard]] std::filesystem::path info() const { return root / "info"; }
};

/// Moves the file into the trash of its volume and returns the path it now has there. Throws
/// std::system_error naming the file when it cannot be trashed; the file is then where it was.
/// Success is reported only once the file is found at its trash path and gone from its own.
std::filesystem::path
moveToTrash(const std::filesystem::path& file,
            const TrashEnvironment& environment = TrashEnvironment::current());

/// The trash folder a file on this volume goes to, created when missing. Throws when the
/// volume has no usable trash.
TrashFolder trashFolderFor(const std::filesystem::path& canonicalFile,
                           const TrashEnvironment& environment);

/// The ".trashinfo" text for a file trashed at `when` (local time). The path is percent-encoded
/// byte by byte, so spaces, "%", newlines and bytes that are not UTF-8 restore exactly.
std::string trashInfoText(std::string_view pathBytes, std::time_t when);

} // namespace corvelle
