// UTF-8 as file names carry it: usually valid, not always. One decoder for the whole program.
#pragma once

#include <cstddef>
#include <string_view>

namespace corvelle {

/// Length of the valid UTF-8 sequence starting at text[at] (1 to 4), with its character in
/// `character`; 0 when the byte there starts no valid sequence (an overlong form, a
/// surrogate, a value past U+10FFFF, a stray or cut-off byte).
std::size_t utf8SequenceAt(std::string_view text, std::size_t at, char32_t& character);

inline std::size_t utf8SequenceAt(std::string_view text, std::size_t at)
{
    char32_t ignored = 0;
    return utf8SequenceAt(text, at, ignored);
}

} // namespace corvelle
