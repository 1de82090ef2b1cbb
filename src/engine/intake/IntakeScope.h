// Which files an intake takes beyond what its filter says of their names: hidden names, a range
// of sizes, paths left out, and whether folder scans cross into other file systems. The window's
// intake takes every size, leaves hidden names out, excludes nothing and crosses file systems.
#pragma once

#include "common/Types.h"
#include "intake/PathExcludes.h"

#include <cstdint>
#include <limits>

namespace corvelle {

struct IntakeScope {
    /// Folder scans also take names starting with "." (hidden files and folders).
    bool hiddenNames = false;
    /// Files smaller than minSize or larger than maxSize are left out: neither read nor
    /// counted nor catalogued, whether a scan met them or they were named.
    FileSize minSize = 0;
    FileSize maxSize = std::numeric_limits<std::int64_t>::max();
    /// Files and folders left out by their path, named ones included: neither opened nor
    /// counted nor catalogued.
    PathExcludes excludes;
    /// Folder scans stay on the file system of the folder they started from: a folder on
    /// another device (a mount point) is passed over unopened.
    bool oneFileSystem = false;

    [[nodiscard]] bool takesSize(FileSize size) const { return size >= minSize && size <= maxSize; }
};

} // namespace corvelle
