#include "common/TextEscapes.h"

#include "common/Utf8.h"

namespace corvelle {
namespace {

void appendHexByte(std::string& out, unsigned char c)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    out += "\\x";
    out += digits[c >> 4];
    out += digits[c & 0xFu];
}

/// The escapes every output shares: a backslash, a tab and a newline. False for any other
/// byte, which the caller then writes its own way.
bool appendSharedEscape(std::string& out, char c)
{
    switch (c) {
    case '\\':
        out += "\\\\";
        return true;
    case '\t':
        out += "\\t";
        return true;
    case '\n':
        out += "\\n";
        return true;
    default:
        return false;
    }
}

} // namespace

std::string escapeTsv(std::string_view cell)
{
    std::string out;
    out.reserve(cell.size());
    for (const char c : cell) {
        if (!appendSharedEscape(out, c)) {
            out += c;
        }
    }
    return out;
}

std::string escapeReadable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        if (appendSharedEscape(out, text[i])) {
            ++i;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20u || c == 0x7Fu) {
            appendHexByte(out, c);
        } else if (c >= 0x80u) {
            const std::size_t length = utf8SequenceAt(text, i);
            if (length == 0) {
                appendHexByte(out, c);
            } else {
                out.append(text.substr(i, length));
                i += length;
                continue;
            }
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out;
}

bool isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length = utf8SequenceAt(text, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string lossyUtf8(std::string_view text)
{
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length = utf8SequenceAt(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool plainInUrlPath(unsigned char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= '0' && byte <= '9') || byte == '/' || byte == '-' || byte == '_' ||
           byte == '.' || byte == '~';
}

} // namespace

std::string percentEncodePath(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (plainInUrlPath(byte)) {
            out.push_back(c);
        } else {
            out += {'%', digits[byte >> 4], digits[byte & 0x0F]};
        }
    }
    return out;
}

std::string percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string fileUrl(std::string_view absolutePath)
{
    return "file://" + percentEncodePath(absolutePath);
}

} // namespace corvelle
