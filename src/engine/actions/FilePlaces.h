// Where files lie, compared by identity rather than by the spelling of their paths: whether
// a file is inside a folder (through links, "..", bind mounts and relative names alike), and
// whether it is inside a Trash.
#pragma once

#include "common/PhysicalFile.h"
#include "common/TrashPlaces.h"

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvelle {

class FilePlaces {
public:
    explicit FilePlaces(TrashPlaces trash = {})
        : m_trash(std::move(trash))
    {}

    /// Whether the file lies in the folder or anywhere beneath it.
    [[nodiscard]] bool isUnder(std::string_view file, PhysicalFile folder);
    /// Whether the file lies in a Trash folder or anywhere beneath one.
    [[nodiscard]] bool isInTrash(std::string_view file);

    /// The folder entry a path names: its folder's identity and its name. Two paths with one
    /// entry (one reached through a link to the folder) are one name: removing either removes
    /// both, where two hard links are two names.
    struct Entry {
        PhysicalFile folder;
        std::string name;
        friend bool operator==(const Entry&, const Entry&) = default;
    };
    [[nodiscard]] Entry entryOf(std::string_view file);

private:
    /// The identities of the file's folder and of every folder above it up to the root, as
    /// the folder resolves now; empty when it cannot be resolved. Found once per folder.
    const std::vector<PhysicalFile>& foldersAbove(std::string_view file);

    /// Looks a folder up by its text without making a string of it: asked once per file.
    struct TextHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const noexcept
        {
            return std::hash<std::string_view>{}(text);
        }
    };

    TrashPlaces m_trash;
    std::unordered_map<std::string, std::vector<PhysicalFile>, TextHash, std::equal_to<>>
        m_byFolder;
    std::unordered_map<std::string, PhysicalFile> m_byCanonical;
};

} // namespace corvelle
