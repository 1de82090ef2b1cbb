// Faults that tests inject into intake's reading, for the failure paths that cannot be
// produced at will on a real file system (an unreadable folder, a read error part-way).
#pragma once

#include "common/Types.h"

#include <functional>
#include <optional>
#include <string_view>

namespace corvelle {

/// May be called from reader threads.
struct IntakeFaults {
    /// Folders (given with their trailing "/") that cannot be listed.
    std::function<bool(std::string_view folder)> listingFails;
    /// Files whose reading fails once this many bytes have been read (0: at once).
    std::function<std::optional<FileSize>(std::string_view fullPath)> readFailsAfter;
};

} // namespace corvelle
