#include "matching/NameText.h"

#include "common/Utf8.h"

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

} // namespace

std::u32string decodeName(std::string_view bytes, std::size_t maxChars)
{
    std::u32string text;
    text.reserve(std::min(bytes.size(), maxChars));
    std::size_t at = 0;
    while (at < bytes.size() && text.size() < maxChars) {
        char32_t c = 0;
        std::size_t used = utf8SequenceAt(bytes, at, c);
        if (used == 0) {
            c = 0xDC00 + static_cast<unsigned char>(bytes[at]);
            used = 1;
        }
        text.push_back(c);
        at += used;
    }
    return text;
}

char32_t upperChar(char32_t c)
{
    if (c < 0x80) {
        return asciiUpper(c);
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
