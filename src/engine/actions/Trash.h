// The freedesktop.org Trash: a file is moved, never copied, into the trash of its own volume
// with a ".trashinfo" that lets the desktop's Trash restore it. Files on the home volume go to
// the home trash ($XDG_DATA_HOME/Trash, created with its parents when missing); files on other
// volumes go to "$topdir/.Trash/$uid" when the administrator provided a shared ".Trash"
// (a real folder with the sticky bit), else to "$topdir/.Trash-$uid".
#pragma once

#include "common/TrashPlaces.h"

#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace corvelle {

/// A trash folder: its "files" and "info" folders, and the volume's top folder when the paths
/// in its ".trashinfo" files are relative to it (empty for the home trash).
struct TrashFolder {
    std::filesystem::path root;
    std::filesystem::path topdir;

    [[nodiscard]] std::filesystem::path files() const { return root / "files"; }
    [[nodiscard]] std::filesystem::path info() const { return root / "info"; }
};

/// The trash folders of one run of actions: each volume's is looked for (and made when
/// missing) when the first file of that volume goes to the Trash, and then used for every
/// later one, rather than found again for each file.
class TrashBins {
public:
    explicit TrashBins(TrashEnvironment environment = TrashEnvironment::current())
        : m_environment(std::move(environment))
    {}

    [[nodiscard]] const TrashEnvironment& environment() const { return m_environment; }
    /// The trash folder for a file on this device, `canonicalFile` being one such file: made
    /// when missing, found once per device. Throws when the volume has no usable trash.
    const TrashFolder& folderFor(const std::filesystem::path& canonicalFile, dev_t device);
    /// Forgets the folder found for the device (it has gone since it was found).
    void forget(dev_t device) { m_folders.erase(device); }

private:
    TrashEnvironment m_environment;
    std::map<dev_t, TrashFolder> m_folders;
};

/// Moves the file into the trash of its volume and returns the path it now has there. Throws
/// std::system_error naming the file when it cannot be trashed; the file is then where it was.
/// Success is reported only once the file is found at its trash path and gone from its own.
std::filesystem::path moveToTrash(const std::filesystem::path& file, TrashBins& bins);
/// The same with the trash folders found for this file alone.
std::filesystem::path moveToTrash(const std::filesystem::path& file,
                                  const TrashEnvironment& environment);

/// Where the file now at `trashPath` (in a trash's "files" folder) was trashed from, as the
/// trash's own record of it says: the ".trashinfo" path decoded byte for byte, and made
/// absolute against the volume's top folder when the record holds it relative. Throws
/// std::system_error naming the record when it cannot be read or names no path.
std::filesystem::path trashedFrom(const std::filesystem::path& trashPath);

/// Puts the file at `trashPath` back at `original`, never over anything there, and then removes
/// its ".trashinfo". Throws std::system_error naming the file when its record no longer names
/// `original`, when `original` is taken (EEXIST) or when it cannot be moved there; the file is
/// then still in the Trash with its record.
void restoreFromTrash(const std::filesystem::path& trashPath,
                      const std::filesystem::path& original);

/// The trash folder a file on this volume goes to, created when missing. Throws when the
/// volume has no usable trash.
TrashFolder trashFolderFor(const std::filesystem::path& canonicalFile,
                           const TrashEnvironment& environment);

/// The ".trashinfo" text for a file trashed at `when` (local time). The path is percent-encoded
/// byte by byte, so spaces, "%", newlines and bytes that are not UTF-8 restore exactly.
std::string trashInfoText(std::string_view pathBytes, std::time_t when);

} // namespace corvelle
