// Which files an intake takes beyond what its filter says of their names: hidden names, and a
// range of sizes. The window's intake takes every size and leaves hidden names out.
#pragma once

#include "common/Types.h"

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

    [[nodiscard]] bool takesSize(FileSize size) const { return size >= minSize && size <= maxSize; }
};

} // namespace corvelle
