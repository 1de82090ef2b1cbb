#include "common/PhysicalFile.h"

#include <sys/stat.h>

namespace corvelle {

PhysicalFile PhysicalFile::of(const struct stat& status) noexcept
{
    return PhysicalFile{static_cast<std::uint64_t>(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
}

PathStatus PathStatus::of(const struct stat& status) noexcept
{
    PathStatus out;
    out.identity = PhysicalFile::of(status);
    out.size = static_cast<std::int64_t>(status.st_size);
    out.mtimeNs = static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 +
                  static_cast<std::int64_t>(status.st_mtim.tv_nsec);
    out.ctimeNs = static_cast<std::int64_t>(status.st_ctim.tv_sec) * 1'000'000'000 +
                  static_cast<std::int64_t>(status.st_ctim.tv_nsec);
    out.links = static_cast<std::uint64_t>(status.st_nlink);
    out.regular = S_ISREG(status.st_mode);
    return out;
}

std::optional<PhysicalFile> folderIdentity(const std::filesystem::path& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    return PhysicalFile::of(st);
}

std::optional<PathStatus> statusOf(const std::filesystem::path& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return PathStatus::of(st);
}

} // namespace corvelle
