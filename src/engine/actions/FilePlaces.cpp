#include "actions/FilePlaces.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>

namespace corvelle {

bool FilePlaces::isUnder(std::string_view file, PhysicalFile folder)
{
    const std::vector<PhysicalFile>& above = foldersAbove(file);
    return std::any_of(above.begin(), above.end(),
                       [&](const PhysicalFile& one) { return one.sameFileAs(folder); });
}

bool FilePlaces::isInTrash(std::string_view file)
{
    const std::vector<PhysicalFile>& above = foldersAbove(file);
    return std::any_of(above.begin(), above.end(),
                       [&](const PhysicalFile& one) { return m_trash.isTrash(one); });
}

FilePlaces::Entry FilePlaces::entryOf(std::string_view file)
{
    const std::vector<PhysicalFile>& above = foldersAbove(file);
    const std::size_t slash = file.rfind('/');
    return Entry{above.empty() ? PhysicalFile{} : above.front(),
                 std::string(slash == std::string_view::npos ? file : file.substr(slash + 1))};
}

const std::vector<PhysicalFile>& FilePlaces::foldersAbove(std::string_view file)
{
    const std::size_t slash = file.rfind('/');
    const std::string_view folderText = slash == std::string_view::npos ? std::string_view(".")
                                        : slash == 0                    ? std::string_view("/")
                                                                        : file.substr(0, slash);
    const auto found = m_byFolder.find(folderText);
    if (found != m_byFolder.end()) {
        return found->second;
    }
    std::string folder(folderText);
    std::vector<PhysicalFile> above;
    // The real location, with every link and ".." resolved: its ancestors are the folders
    // the file truly lies in. A folder bound elsewhere keeps its identity, so it is found
    // whichever of its places a folder to compare with was named by.
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(folder.c_str(), nullptr),
                                                               &std::free);
    if (resolved) {
        std::string canonical = resolved.get();
        for (;;) {
            auto [known, added] = m_byCanonical.try_emplace(canonical);
            if (added) {
                struct stat st {};
                if (::stat(canonical.c_str(), &st) == 0) {
                    known->second = PhysicalFile::of(st);
                }
            }
            above.push_back(known->second);
            if (canonical == "/") {
                break;
            }
            const std::size_t up = canonical.rfind('/');
            canonical.resize(up == 0 ? 1 : up);
        }
    }
    return m_byFolder.emplace(std::move(folder), std::move(above)).first->second;
}

} // namespace corvelle
