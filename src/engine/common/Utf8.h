// UTF-8 as file names carry it: usually valid, not always. One decoder and one encoder for the
// whole program.
#pragma once

#include <cstddef>
#include <string>
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

/// Appends the UTF-8 bytes of one character (at most U+10FFFF). A lone surrogate takes the
/// three bytes of its value, which the decoder above rejects: distinct characters always give
/// distinct bytes, so encoded text can serve as a key.
void appendUtf8(std::string& out, char32_t c);

} // namespace corvelle
