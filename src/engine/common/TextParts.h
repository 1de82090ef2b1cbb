// Small pieces of text: splitting a text at a separator without copying (filters at ";",
// tables at line ends), and a count with its noun.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvelle {

/// Calls visit(part) for each part of the text between separators, in order. A separator at
/// the very end starts no further part; an empty text has none.
template <class Visit> void forEachPart(std::string_view text, char separator, Visit&& visit)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        visit(text.substr(start, end - start));
        start = end + 1;
    }
}

/// "1 file", "3 files": the count and the noun, in the plural unless the count is one.
inline std::string countOf(std::int64_t count, std::string_view noun)
{
    return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

} // namespace corvelle
