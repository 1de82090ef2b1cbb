// The text rules of file intake: which names a filter lets through, how a path splits into
// folder, name and extension, and how the chosen-files string of a file dialog is read.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

/// True when `name` passes the ";"-separated `filters`. Each pattern is an ending, not a
/// wildcard: everything before its first "." is dropped ("*.txt" becomes ".txt"), ".*" lets
/// every name through, and any other pattern must equal the end of the name, letter case
/// ignored. An empty filter lets nothing through.
bool MatchesFilter(std::string_view name, std::string_view filters);

/// The ending a filter pattern stands for: the pattern from its first "." on ("*.txt" gives
/// ".txt"), or the whole pattern when it holds no ".". The ending ".*" lets every name through;
/// in any other ending a "*" is an ordinary character.
std::string_view filterEnding(std::string_view pattern);

/// A filter split into its patterns once, for scans that test many names against it.
class FilterPatterns {
public:
    explicit FilterPatterns(std::string_view filters);
    [[nodiscard]] bool matches(std::string_view name) const;
    /// Whether every name passes.
    [[nodiscard]] bool matchesAll() const { return m_matchAll; }

private:
    /// One ending as given, and its letter-case-folded characters for names that are not
    /// plain ASCII (or when the ending itself is not).
    struct Ending {
        std::string bytes;
        bool ascii = true;
        std::u32string folded;
    };

    bool m_matchAll = false;
    std::vector<Ending> m_endings;
};

/// A full path cut after its last "/".
struct FolderAndName {
    std::string_view folder; ///< up to and including the last "/"; empty when there is none
    std::string_view name;   ///< what follows it
};

FolderAndName splitFolderAndName(std::string_view fullPath);

/// A full path cut into the three texts a catalogue record holds.
struct SplitPath {
    std::string path;      ///< up to and including the last "/"
    std::string name;      ///< the last component before its last "."
    std::string extension; ///< from the last "." of the last component on, or empty
};

SplitPath splitFullPath(std::string_view fullPath);

/// A bare file name (no folder) split at its last ".": the extension keeps the ".".
struct NameParts {
    std::string_view name;
    std::string_view extension;
};

NameParts splitFileName(std::string_view fileName);

/// The folder with a "/" at its end (added only when missing).
std::string withTrailingSlash(std::string_view folder);

/// The full paths a chosen-files string names: the string itself when it holds no NUL;
/// otherwise the folder (its first element) joined with each following name. Empty names, as
/// a doubled or trailing NUL would give, name no file and are passed over.
std::vector<std::string> chosenFilePaths(std::string_view chosenFiles);

/// The other way round: full paths as the chosen-files strings a file dialog would give, one
/// per run of neighbouring paths in the same folder (a lone file as its full path).
std::vector<std::string> chosenFilesStrings(std::span<const std::string> fullPaths);

} // namespace corvelle
