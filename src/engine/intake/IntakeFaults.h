// Faults that tests inject into intake's reading, for the failure paths that cannot be
// produced at will on a real file system (an unreadable folder, a read error part-way), and
// the moments at which a test may change a file under the intake's feet (between the listing
// and the opening, and while the checksum is read). Null outside tests, and then nothing of
// this is looked at.
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
    /// Called with a file's full path, or a folder's path with its final "/", after it was
    /// listed (or named) and before it is opened or its length read.
    std::function<void(std::string_view fullPath)> beforeOpen;
    /// Called with a file's full path once the first piece of its checksum has been read,
    /// while the file is still open.
    std::function<void(std::string_view fullPath)> whileReading;
    /// What a read that must not wait for the disk answers for a file, instead of asking the
    /// kernel: 0 asks the kernel; EAGAIN says the bytes are not in memory yet; EOPNOTSUPP says
    /// the kernel cannot tell.
    std::function<int(std::string_view fullPath)> readWithoutWaiting;
};

} // namespace corvelle
