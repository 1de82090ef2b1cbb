// Files and folders left out of an intake by their path: shell patterns such as the command
// line's --exclude takes. A folder left out is never opened, so nothing under it is read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

/// Shell patterns over absolute paths. Inside a pattern "*", "?" and "[...]" match within one
/// name, as fnmatch with FNM_PATHNAME does; "**" standing as a whole name matches any number of
/// folders, none included. A pattern starting with "/" is matched against the whole path; any
/// other against its end, so that a pattern without "/" matches the name alone and "cache/*.tmp"
/// a .tmp file inside any folder named cache. A pattern ending in "/" matches folders only.
class PathExcludes {
public:
    /// Adds a pattern; an empty one matches nothing.
    void add(std::string_view pattern);
    [[nodiscard]] bool empty() const { return m_patterns.empty(); }

    /// Whether the path (absolute; a trailing "/" is ignored) is left out. `folder`: the path
    /// is a folder.
    [[nodiscard]] bool excludes(std::string_view path, bool folder) const;
    /// The same for a path named to the intake rather than met in a scan: it is also left out
    /// when a folder it lies in is, as a scan of that folder would never reach it.
    [[nodiscard]] bool excludesNamed(std::string_view path, bool folder) const;

private:
    struct Pattern {
        std::vector<std::string> names; ///< one per path name; "**" for any run of folders
        bool foldersOnly = false;
    };
    std::vector<Pattern> m_patterns;
};

} // namespace corvelle
