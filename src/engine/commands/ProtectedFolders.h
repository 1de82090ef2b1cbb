// ProtectedFolders: folders whose files the window never selects for deletion nor deletes,
// held for the run like the other settings. Files are inside a folder by identity, as the keep
// rules compare them, so a folder reached through a link or another spelling is the same.
#pragma once

#include "common/PhysicalFile.h"

#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

class FilePlaces;

class ProtectedFolders {
public:
    struct Folder {
        std::string path; ///< as the user chose it, for the lists and messages
        PhysicalFile identity;
    };

    /// Adds the folder. Returns why it was not added: empty when it was, or when it was
    /// already protected.
    std::string add(std::string path);
    /// Removes the folder at this index of folders(); nothing for an index past the end.
    void remove(std::size_t index);
    [[nodiscard]] const std::vector<Folder>& folders() const { return m_folders; }
    [[nodiscard]] bool empty() const { return m_folders.empty(); }

    /// Whether the file lies inside a protected folder, at any depth.
    [[nodiscard]] bool protects(std::string_view file, FilePlaces& places) const;

private:
    std::vector<Folder> m_folders;
};

} // namespace corvelle
