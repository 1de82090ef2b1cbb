#include "intake/IntakeNames.h"

#include "common/TextParts.h"
#include "matching/NameText.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <unicode/uchar.h>

namespace corvelle {
namespace {

/// Characters of a name, letter case folded. A byte that is not valid UTF-8 stays a
/// character of its own (see decodeName), so such names still compare byte for byte.
std::u32string foldedCharacters(std::string_view text)
{
    std::u32string out = decodeName(text);
    for (char32_t& c : out) {
        if (!isEscapedByte(c)) {
            c = static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
        }
    }
    return out;
}

/// The last bytes of `name` equal `ending`, ASCII letter case ignored.
bool endsWithAsciiIgnoringCase(std::string_view name, std::string_view ending)
{
    if (ending.size() > name.size()) {
        return false;
    }
    const std::string_view tail = name.substr(name.size() - ending.size());
    return std::equal(tail.begin(), tail.end(), ending.begin(), ending.end(),
                      [](char a, char b) { return asciiUpper(a) == asciiUpper(b); });
}

} // namespace

std::string_view filterEnding(std::string_view pattern)
{
    const std::size_t dot = pattern.find('.');
    return dot == std::string_view::npos ? pattern : pattern.substr(dot);
}

FilterPatterns::FilterPatterns(std::string_view filters)
{
    forEachPart(filters, ';', [&](std::string_view part) {
        const std::string_view pattern = filterEnding(part);
        // An empty pattern (a stray ";") names nothing; taken literally it would be an ending
        // every name has, and let the whole folder through.
        if (pattern == ".*") {
            m_matchAll = true;
        } else if (!pattern.empty()) {
            m_endings.push_back(
                Ending{std::string(pattern), isAscii(pattern), foldedCharacters(pattern)});
        }
    });
}

bool FilterPatterns::matches(std::string_view name) const
{
    if (m_matchAll) {
        return true;
    }
    // Both ASCII: bytes compare directly. Otherwise the name is folded, once for all the
    // endings, and compared character by character.
    const bool asciiName = isAscii(name);
    std::optional<std::u32string> foldedName;
    return std::any_of(m_endings.begin(), m_endings.end(), [&](const Ending& ending) {
        if (asciiName && ending.ascii) {
            return endsWithAsciiIgnoringCase(name, ending.bytes);
        }
        if (!foldedName) {
            foldedName = foldedCharacters(name);
        }
        const std::u32string& n = *foldedName;
        const std::u32string& e = ending.folded;
        return e.size() <= n.size() &&
               std::equal(e.begin(), e.end(), n.end() - static_cast<std::ptrdiff_t>(e.size()));
    });
}

bool MatchesFilter(std::string_view name, std::string_view filters)
{
    return FilterPatterns(filters).matches(name);
}

NameParts splitFileName(std::string_view fileName)
{
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) {
        return {fileName, {}};
    }
    return {fileName.substr(0, dot), fileName.substr(dot)};
}

FolderAndName splitFolderAndName(std::string_view fullPath)
{
    const std::size_t slash = fullPath.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    return {fullPath.substr(0, nameStart), fullPath.substr(nameStart)};
}

SplitPath splitFullPath(std::string_view fullPath)
{
    SplitPath split;
    const auto [folder, fileName] = splitFolderAndName(fullPath);
    split.path.assign(folder);
    const NameParts parts = splitFileName(fileName);
    split.name.assign(parts.name);
    split.extension.assign(parts.extension);
    return split;
}

std::string withTrailingSlash(std::string_view folder)
{
    std::string out(folder);
    if (out.empty() || out.back() != '/') {
        out.push_back('/');
    }
    return out;
}

std::vector<std::string> chosenFilesStrings(std::span<const std::string> fullPaths)
{
    const auto folderOf = [](std::string_view path) {
        const std::size_t slash = path.rfind('/');
        return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
    };
    std::vector<std::string> strings;
    for (std::size_t first = 0; first < fullPaths.size();) {
        const std::string_view folder = folderOf(fullPaths[first]);
        std::size_t end = first + 1;
        while (end < fullPaths.size() && folderOf(fullPaths[end]) == folder) {
            ++end;
        }
        if (end - first == 1 || folder.empty()) {
            strings.push_back(fullPaths[first]);
            first += 1;
            continue;
        }
        std::string chosen(folder);
        for (; first < end; ++first) {
            chosen += '\0';
            chosen += std::string_view(fullPaths[first]).substr(folder.size());
        }
        strings.push_back(std::move(chosen));
    }
    return strings;
}

std::vector<std::string> chosenFilePaths(std::string_view chosenFiles)
{
    std::vector<std::string> paths;
    std::size_t nul = chosenFiles.find('\0');
    if (nul == std::string_view::npos) {
        paths.emplace_back(chosenFiles);
        return paths;
    }
    const std::string folder = withTrailingSlash(chosenFiles.substr(0, nul));
    while (nul != std::string_view::npos) {
        const std::size_t start = nul + 1;
        nul = chosenFiles.find('\0', start);
        const std::string_view name = chosenFiles.substr(
            start, nul == std::string_view::npos ? std::string_view::npos : nul - start);
        if (!name.empty()) {
            paths.push_back(folder + std::string(name));
        }
    }
    return paths;
}

} // namespace corvelle
