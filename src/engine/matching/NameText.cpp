#include "matching/NameText.h"

#include <algorithm>
#include <array>
#include <unicode/uchar.h>

namespace corvelle {
namespace {

// Code page 1252's characters for bytes 0x80..0x9F. The five undefined bytes stand for the
// C1 controls of the same value, as the system conversion tables have them.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char toCodePage1252(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<char>(static_cast<unsigned char>(c));
    }
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c) {
            return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

/// Length of the valid UTF-8 sequence at the start of `s`, or 0 if it is not one; the
/// character goes to `out`.
std::size_t decodeOne(std::string_view s, char32_t& out)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b0 = byte(0);
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    std::size_t length = 0;
    char32_t c = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        c = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        c = b0 & 0x0Fu;
        low = b0 == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = b0 == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        c = b0 & 0x07u;
        low = b0 == 0xF0 ? 0x90 : 0x80;  // no overlong forms
        high = b0 == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (s.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char b = byte(i);
        if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xBF)) {
            return 0;
        }
        c = (c << 6) | (b & 0x3Fu);
    }
    out = c;
    return length;
}

} // namespace

std::u32string decodeName(std::string_view bytes, std::size_t maxChars)
{
    std::u32string text;
    text.reserve(std::min(bytes.size(), maxChars));
    while (!bytes.empty() && text.size() < maxChars) {
        char32_t c = 0;
        std::size_t used = decodeOne(bytes, c);
        if (used == 0) {
            c = 0xDC00 + static_cast<unsigned char>(bytes.front());
            used = 1;
        }
        text.push_back(c);
        bytes.remove_prefix(used);
    }
    return text;
}

char32_t upperChar(char32_t c)
{
    if (c < 0x80) {
        return (c >= U'a' && c <= U'z') ? c - 0x20 : c;
    }
    if (isEscapedByte(c)) {
        return c;
    }
    return static_cast<char32_t>(u_toupper(static_cast<UChar32>(c)));
}

void upperCaseInPlace(std::u32string& text)
{
    for (char32_t& c : text) {
        c = upperChar(c);
    }
}

std::u32string_view trimSpaces(std::u32string_view text)
{
    const std::size_t first = text.find_first_not_of(U' ');
    if (first == std::u32string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(U' ');
    return text.substr(first, last - first + 1);
}

void encodeCodePage1252(std::u32string_view text, std::size_t width, char* out)
{
    std::size_t i = 0;
    for (; i < width && i < text.size(); ++i) {
        out[i] = toCodePage1252(text[i]);
    }
    for (; i < width; ++i) {
        out[i] = ' ';
    }
}

std::u32string decodeCodePage1252(std::string_view bytes)
{
    std::u32string text;
    text.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        text.push_back(b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80u] : char32_t{b});
    }
    return text;
}

} // namespace corvelle
