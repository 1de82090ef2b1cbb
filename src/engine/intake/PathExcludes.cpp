#include "intake/PathExcludes.h"

#include "common/TextParts.h"

#include <algorithm>
#include <fnmatch.h>
#include <optional>
#include <span>

namespace corvelle {
namespace {

constexpr std::string_view anyFolders = "**";

/// The names of a path or pattern between its "/"s; empty names (a leading or doubled "/")
/// are dropped.
std::vector<std::string> namesOf(std::string_view path)
{
    std::vector<std::string> names;
    forEachPart(path, '/', [&](std::string_view name) {
        if (!name.empty()) {
            names.emplace_back(name);
        }
    });
    return names;
}

bool nameMatches(const std::string& pattern, const std::string& name)
{
    return ::fnmatch(pattern.c_str(), name.c_str(), 0) == 0;
}

/// Whether the pattern's names match the path's names, all of them. "**" is matched as "*" is
/// in a text: at first over no names, then over one more each time what follows it fails, so
/// that no pattern takes more than (pattern names) x (path names) comparisons.
bool matchNames(std::span<const std::string> pattern, std::span<const std::string> names)
{
    // Most paths are not excluded: a last name that fails rules them out at once.
    if (!pattern.empty() && pattern.back() != anyFolders &&
        (names.empty() || !nameMatches(pattern.back(), names.back()))) {
        return false;
    }
    std::size_t p = 0;
    std::size_t n = 0;
    std::optional<std::size_t> lastAny;
    std::size_t resumeAt = 0;
    while (n < names.size()) {
        if (p < pattern.size() && pattern[p] == anyFolders) {
            lastAny = p++;
            resumeAt = n;
        } else if (p < pattern.size() && nameMatches(pattern[p], names[n])) {
            ++p;
            ++n;
        } else if (lastAny) {
            p = *lastAny + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == anyFolders) {
        ++p;
    }
    return p == pattern.size();
}

} // namespace

void PathExcludes::add(std::string_view pattern)
{
    if (pattern.empty()) {
        return;
    }
    Pattern added;
    added.foldersOnly = pattern.size() > 1 && pattern.ends_with('/');
    added.names = namesOf(pattern);
    // Unanchored: it may start at any folder of the path.
    if (!pattern.starts_with('/') && (added.names.empty() || added.names.front() != anyFolders)) {
        added.names.insert(added.names.begin(), std::string(anyFolders));
    }
    // "a/**/**/b" is "a/**/b".
    added.names.erase(std::unique(added.names.begin(), added.names.end(),
                                  [](const std::string& a, const std::string& b) {
                                      return a == anyFolders && b == anyFolders;
                                  }),
                      added.names.end());
    m_patterns.push_back(std::move(added));
}

bool PathExcludes::excludes(std::string_view path, bool folder) const
{
    if (m_patterns.empty()) {
        return false;
    }
    const std::vector<std::string> names = namesOf(path);
    return std::any_of(m_patterns.begin(), m_patterns.end(), [&](const Pattern& pattern) {
        return (folder || !pattern.foldersOnly) && matchNames(pattern.names, names);
    });
}

bool PathExcludes::excludesNamed(std::string_view path, bool folder) const
{
    if (m_patterns.empty()) {
        return false;
    }
    const std::vector<std::string> names = namesOf(path);
    for (std::size_t length = 1; length <= names.size(); ++length) {
        const bool isFolder = length < names.size() || folder;
        const std::span<const std::string> leading(names.data(), length);
        if (std::any_of(m_patterns.begin(), m_patterns.end(), [&](const Pattern& pattern) {
                return (isFolder || !pattern.foldersOnly) && matchNames(pattern.names, leading);
            })) {
            return true;
        }
    }
    return false;
}

} // namespace corvelle
