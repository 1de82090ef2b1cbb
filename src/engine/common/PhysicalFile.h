// Which physical file a path names: its device and inode. Two paths with the same identity
// (hard links, or one file reached through a symbolic link to a folder) are one file, so
// one of them is never a duplicate of the other, and removing one frees nothing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

struct stat;

namespace corvelle {

struct PhysicalFile {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    /// Whether the identity was taken: a record made without one (0, 0) is one file with no
    /// other.
    [[nodiscard]] constexpr bool known() const noexcept { return inode != 0; }
    /// Whether both are known and name the same file.
    [[nodiscard]] constexpr bool sameFileAs(const PhysicalFile& other) const noexcept
    {
        return known() && device == other.device && inode == other.inode;
    }
    friend constexpr bool operator==(const PhysicalFile&, const PhysicalFile&) noexcept = default;
    /// By device, then inode: for ordered containers of files.
    friend constexpr bool operator<(const PhysicalFile& a, const PhysicalFile& b) noexcept
    {
        return a.device != b.device ? a.device < b.device : a.inode < b.inode;
    }

    /// The identity in a status the caller already has (from stat, fstat, fstatat).
    static PhysicalFile of(const struct stat& status) noexcept;
};

/// What lstat(2) (or fstat(2)) says of a file now, without following a final symbolic link.
struct PathStatus {
    PhysicalFile identity;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0; ///< the last modification, in nanoseconds since 1970
    /// The last change of content or attributes, in nanoseconds since 1970. Unlike the
    /// modification time, no user can set it back: a file rewritten with its old modification
    /// time put back still shows a new change time.
    std::int64_t ctimeNs = 0;
    std::uint64_t links = 0; ///< the file's hard links: its names in all folders
    bool regular = false;

    /// Whether both describe one regular file with the same length, modification and change
    /// time: the file as it was, as far as the file system can tell.
    [[nodiscard]] bool sameContentAs(const PathStatus& other) const noexcept
    {
        return regular && other.regular && identity == other.identity && identity.known() &&
               size == other.size && mtimeNs == other.mtimeNs && ctimeNs == other.ctimeNs;
    }
    static PathStatus of(const struct stat& status) noexcept;
};

/// The status of the path, or nothing when it cannot be examined (gone, or no permission).
std::optional<PathStatus> statusOf(const std::filesystem::path& path);

/// The identity of the folder the path names, links followed; nothing when it names no folder
/// (or none that can be examined).
std::optional<PhysicalFile> folderIdentity(const std::filesystem::path& path);

} // namespace corvelle
