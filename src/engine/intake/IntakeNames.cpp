#include "intake/IntakeNames.h"

#include <algorithm>
#include <cstdint>
#include <unicode/uchar.h>

namespace corvelle {
namespace {

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (static_cast<unsigned char>(c) & 0x80u) == 0; });
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

/// Code points of a name, letter case folded. A byte that does not start a valid UTF-8
/// sequence stands for itself (as a value no real character has), so names that are not
/// UTF-8 still compare byte for byte.
std::vector<std::int32_t> foldedCodePoints(std::string_view text)
{
    std::vector<std::int32_t> out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned lead = bytes[i];
        std::size_t length = 0;
        std::int32_t cp = 0;
        if (lead < 0x80u) {
            length = 1;
            cp = static_cast<std::int32_t>(lead);
        } else if (lead >= 0xC2u && lead <= 0xDFu) {
            length = 2;
            cp = static_cast<std::int32_t>(lead & 0x1Fu);
        } else if (lead >= 0xE0u && lead <= 0xEFu) {
            length = 3;
            cp = static_cast<std::int32_t>(lead & 0x0Fu);
        } else if (lead >= 0xF0u && lead <= 0xF4u) {
            length = 4;
            cp = static_cast<std::int32_t>(lead & 0x07u);
        }
        bool valid = length != 0 && i + length <= size;
        for (std::size_t k = 1; valid && k < length; ++k) {
            const unsigned next = bytes[i + k];
            valid = (next & 0xC0u) == 0x80u;
            cp = (cp << 6) | static_cast<std::int32_t>(next & 0x3Fu);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters either.
        if (valid && ((length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000) ||
                      (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)) {
            valid = false;
        }
        if (!valid) {
            out.push_back(-1 - static_cast<std::int32_t>(lead));
            ++i;
            continue;
        }
        out.push_back(static_cast<std::int32_t>(u_foldCase(cp, U_FOLD_CASE_DEFAULT)));
        i += length;
    }
    return out;
}

/// The last characters of `name` equal `ending`, letter case ignored.
bool endsWithIgnoringCase(std::string_view name, std::string_view ending)
{
    if (isAscii(ending) && isAscii(name)) {
        if (ending.size() > name.size()) {
            return false;
        }
        const std::string_view tail = name.substr(name.size() - ending.size());
        return std::equal(tail.begin(), tail.end(), ending.begin(), ending.end(),
                          [](char a, char b) { return asciiLower(a) == asciiLower(b); });
    }
    const std::vector<std::int32_t> n = foldedCodePoints(name);
    const std::vector<std::int32_t> e = foldedCodePoints(ending);
    return e.size() <= n.size() &&
           std::equal(e.begin(), e.end(), n.end() - static_cast<std::ptrdiff_t>(e.size()));
}

} // namespace

FilterPatterns::FilterPatterns(std::string_view filters)
{
    std::size_t start = 0;
    while (start <= filters.size() && !filters.empty()) {
        std::size_t end = filters.find(';', start);
        if (end == std::string_view::npos) {
            end = filters.size();
        }
        std::string_view pattern = filters.substr(start, end - start);
        if (const std::size_t dot = pattern.find('.'); dot != std::string_view::npos) {
            pattern.remove_prefix(dot);
        }
        // An empty pattern (a stray or trailing ";") names nothing; taken literally it would
        // be an ending every name has, and let the whole folder through.
        if (pattern == ".*") {
            m_matchAll = true;
        } else if (!pattern.empty()) {
            m_endings.emplace_back(pattern);
        }
        start = end + 1;
    }
}

bool FilterPatterns::matches(std::string_view name) const
{
    if (m_matchAll) {
        return true;
    }
    return std::any_of(m_endings.begin(), m_endings.end(), [name](const std::string& ending) {
        return endsWithIgnoringCase(name, ending);
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

SplitPath splitFullPath(std::string_view fullPath)
{
    SplitPath split;
    const std::size_t slash = fullPath.rfind('/');
    const std::size_t restStart = slash == std::string_view::npos ? 0 : slash + 1;
    split.path.assign(fullPath.substr(0, restStart));
    const NameParts parts = splitFileName(fullPath.substr(restStart));
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
