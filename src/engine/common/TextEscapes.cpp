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

} // namespace corvelle
