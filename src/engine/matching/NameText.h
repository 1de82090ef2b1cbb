// Names as the matcher sees them: Unicode characters decoded from a file name's bytes, with
// the simple upper-case mapping, and their form in the single-byte export code page.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace corvelle {

/// A byte that is not part of valid UTF-8 decodes to U+DC00 + byte: a lone surrogate, which
/// valid UTF-8 never yields, so it equals only the same byte and is no letter, digit or space.
constexpr bool isEscapedByte(char32_t c)
{
    return c >= 0xDC80 && c <= 0xDCFF;
}

/// True when every byte is ASCII: such bytes decode one to one into characters of the same
/// value, which is the fast path of every name and extension.
constexpr bool isAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char b) { return static_cast<unsigned char>(b) < 0x80; });
}

constexpr bool isAsciiDigit(char32_t c)
{
    return c >= U'0' && c <= U'9';
}

constexpr bool isAsciiLetter(char32_t c)
{
    return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z');
}

/// The upper case of an ASCII letter, as a character or as a byte; everything else unchanged.
template <typename Char> constexpr Char asciiUpper(Char c)
{
    return c >= Char{'a'} && c <= Char{'z'} ? static_cast<Char>(c - Char{'a'} + Char{'A'}) : c;
}

/// Decodes UTF-8 bytes into characters, keeping at most maxChars of them.
std::u32string decodeName(std::string_view bytes, std::size_t maxChars = std::u32string::npos);

/// The simple (one-to-one) Unicode upper-case mapping of one character.
char32_t upperChar(char32_t c);
void upperCaseInPlace(std::u32string& text);

/// Removes leading and trailing spaces (U+0020 only; other white space stays).
std::u32string_view trimSpaces(std::u32string_view text);

/// Encodes into code page 1252, one "?" for each character it cannot represent, cut or
/// padded with spaces to exactly `width` bytes.
void encodeCodePage1252(std::u32string_view text, std::size_t width, char* out);
/// Decodes code page 1252 bytes (undefined bytes map to the C1 controls of the same value).
std::u32string decodeCodePage1252(std::string_view bytes);

} // namespace corvelle
