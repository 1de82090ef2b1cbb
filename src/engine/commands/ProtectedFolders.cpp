#include "commands/ProtectedFolders.h"

#include "actions/FilePlaces.h"

#include <algorithm>

namespace corvelle {

std::string ProtectedFolders::add(std::string path)
{
    const std::optional<PhysicalFile> found = folderIdentity(path);
    if (!found) {
        return "'" + path + "' is not a folder that exists";
    }
    const PhysicalFile identity = *found;
    const bool known = std::any_of(m_folders.begin(), m_folders.end(), [&](const Folder& folder) {
        return folder.identity.sameFileAs(identity);
    });
    if (!known) {
        m_folders.push_back(Folder{std::move(path), identity});
    }
    return {};
}

void ProtectedFolders::remove(std::size_t index)
{
    if (index < m_folders.size()) {
        m_folders.erase(m_folders.begin() + static_cast<std::ptrdiff_t>(index));
    }
}

bool ProtectedFolders::protects(std::string_view file, FilePlaces& places) const
{
    return std::any_of(m_folders.begin(), m_folders.end(),
                       [&](const Folder& folder) { return places.isUnder(file, folder.identity); });
}

} // namespace corvelle
