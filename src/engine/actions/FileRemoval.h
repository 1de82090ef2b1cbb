// Removing one catalogued file from the disk, to the Trash or for good, and only if it is
// still the file the catalogue describes and not the same file as one that stays.
#pragma once

#include "actions/Trash.h"
#include "common/PhysicalFile.h"
#include "common/Types.h"

#include <filesystem>
#include <span>
#include <string>

namespace corvelle {

enum class DeleteMode { Trash = 1, Permanent = 2 };

/// A file as the catalogue saw it: its exact path bytes, its size and, when it was taken, its
/// identity.
struct CataloguedFile {
    std::string path;
    FileSize size = 0;
    PhysicalFile identity;
};

/// Checks that `file` is still a regular file (not a link, folder or anything else) of the
/// catalogued size and identity, and not the same physical file as any of `staying`; adds the
/// owner's write permission when it is missing; then trashes or unlinks it. Throws
/// std::system_error naming the file on any failure; the file is then left where it is.
void removeCataloguedFile(const CataloguedFile& file, DeleteMode mode,
                          std::span<const PhysicalFile> staying,
                          const TrashEnvironment& trash = TrashEnvironment::current());

} // namespace corvelle
