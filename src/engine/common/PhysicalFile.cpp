#include "common/PhysicalFile.h"

#include <sys/stat.h>

namespace corvelle {

PhysicalFile PhysicalFile::of(const struct stat& status) noexcept
{
    return PhysicalFile{static_cast<std::uint64_t>(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
}

std::optional<PathStatus> statusOf(const std::filesystem::path& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    PathStatus status;
    status.identity = PhysicalFile::of(st);
    status.size = static_cast<std::int64_t>(st.st_size);
    status.regular = S_ISREG(st.st_mode);
    return status;
}

} // namespace corvelle
