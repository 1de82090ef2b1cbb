#include "CliOutput.h"

#include "common/Utf8.h"
#include "controls/GridModel.h"

#include <array>
#include <charconv>
#include <cstdint>

namespace corvelle::cli {
namespace {

enum Column { colId = 0, colGroup, colPath, colName, colExtension, colSize, colCrc, columnCount };

constexpr std::array<std::string_view, columnCount> headers{
    "ID", "Dupe Group", "Path", "File Name", "Extension", "Size", "CRC"};

void appendHexByte(std::string& out, unsigned char c)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    out += "\\x";
    out += digits[c >> 4];
    out += digits[c & 0xFu];
}

void appendJsonString(std::string& out, std::string_view text)
{
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (c < 0x20u) {
                static constexpr char digits[] = "0123456789abcdef";
                out += "\\u00";
                out += digits[c >> 4];
                out += digits[c & 0xFu];
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

/// "key": value, with the exact bytes beside a lossy text when the name is not UTF-8.
void appendJsonText(std::string& out, std::string_view key, std::string_view text)
{
    out += '"';
    out += key;
    out += "\": ";
    if (isValidUtf8(text)) {
        appendJsonString(out, text);
        return;
    }
    appendJsonString(out, lossyUtf8(text));
    out += ", \"";
    out += key;
    out += "_base64\": ";
    appendJsonString(out, base64(text));
}

/// A cell holding a decimal number, as a JSON number; a string should it hold anything else.
void appendJsonNumber(std::string& out, std::string_view key, std::string_view cell)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    out += '"';
    out += key;
    out += "\": ";
    if (!cell.empty() && error == std::errc() && end == cell.data() + cell.size()) {
        out += std::to_string(value);
    } else {
        appendJsonString(out, cell);
    }
}

std::string fullPathOf(const GridModel& grid, int row)
{
    return grid.CellText(row, colPath) + grid.CellText(row, colName) +
           grid.CellText(row, colExtension);
}

std::string formatTsv(const GridModel& grid)
{
    std::string out;
    for (int row = 1; row < grid.RowCount(); ++row) {
        for (int col = 0; col < columnCount; ++col) {
            if (col > 0) {
                out += '\t';
            }
            out += escapeTsv(grid.CellText(row, col));
        }
        out += '\n';
    }
    return out;
}

std::string formatCsv(const GridModel& grid)
{
    std::string out;
    for (int col = 0; col < columnCount; ++col) {
        out += col > 0 ? "," : "";
        out += headers[static_cast<std::size_t>(col)];
    }
    out += "\r\n";
    for (int row = 1; row < grid.RowCount(); ++row) {
        for (int col = 0; col < columnCount; ++col) {
            out += col > 0 ? "," : "";
            out += escapeCsv(grid.CellText(row, col));
        }
        out += "\r\n";
    }
    return out;
}

std::string formatJson(const GridModel& grid)
{
    std::string out = "{\"groups\": [";
    const std::string* group = nullptr;
    for (int row = 1; row < grid.RowCount(); ++row) {
        const std::string& cell = grid.CellText(row, colGroup);
        if (group == nullptr || cell != *group) {
            out += group == nullptr ? "\n  {" : "\n  ]},\n  {";
            appendJsonNumber(out, "group", cell);
            out += ", \"files\": [\n    {";
            group = &cell;
        } else {
            out += ",\n    {";
        }
        appendJsonNumber(out, "id", grid.CellText(row, colId));
        out += ", ";
        appendJsonText(out, "path", grid.CellText(row, colPath));
        out += ", ";
        appendJsonText(out, "name", grid.CellText(row, colName));
        out += ", ";
        appendJsonText(out, "extension", grid.CellText(row, colExtension));
        out += ", ";
        appendJsonText(out, "full_path", fullPathOf(grid, row));
        out += ", ";
        appendJsonNumber(out, "size", grid.CellText(row, colSize));
        out += ", ";
        appendJsonText(out, "crc", grid.CellText(row, colCrc));
        out += "}";
    }
    out += group == nullptr ? "]}\n" : "\n  ]}\n]}\n";
    return out;
}

std::string formatText(const GridModel& grid)
{
    std::string out;
    const DuplicateCounts counts = countDuplicates(grid);
    int row = 1;
    while (row < grid.RowCount()) {
        const std::string& group = grid.CellText(row, colGroup);
        int end = row;
        while (end < grid.RowCount() && grid.CellText(end, colGroup) == group) {
            ++end;
        }
        out += "Group " + escapeReadable(group) + ": " + std::to_string(end - row) + " files\n";
        for (; row < end; ++row) {
            out += "  " + escapeReadable(fullPathOf(grid, row)) + "\n";
        }
        out += "\n";
    }
    if (counts.groups == 0) {
        out += "No duplicates found.\n";
    } else {
        out += std::to_string(counts.groups) + " duplicate group(s), " +
               std::to_string(counts.redundant()) + " redundant file(s).\n";
    }
    return out;
}

} // namespace

DuplicateCounts countDuplicates(const GridModel& duplicates)
{
    DuplicateCounts counts;
    const std::string* group = nullptr;
    for (int row = 1; row < duplicates.RowCount(); ++row) {
        const std::string& cell = duplicates.CellText(row, colGroup);
        if (group == nullptr || cell != *group) {
            ++counts.groups;
            group = &cell;
        }
        ++counts.rows;
    }
    return counts;
}

std::string formatDuplicates(const GridModel& duplicates, OutputFormat format)
{
    switch (format) {
    case OutputFormat::Tsv:
        return formatTsv(duplicates);
    case OutputFormat::Csv:
        return formatCsv(duplicates);
    case OutputFormat::Json:
        return formatJson(duplicates);
    case OutputFormat::Text:
        break;
    }
    return formatText(duplicates);
}

namespace {

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

std::string escapeCsv(std::string_view field)
{
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(field);
    }
    std::string out = "\"";
    for (const char c : field) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    out += '"';
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

std::string base64(std::string_view bytes)
{
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const std::uint32_t n =
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
            static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
            static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[(n >> 18) & 63u];
        out += alphabet[(n >> 12) & 63u];
        out += alphabet[(n >> 6) & 63u];
        out += alphabet[n & 63u];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t n = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (rest == 2) {
            n |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        }
        out += alphabet[(n >> 18) & 63u];
        out += alphabet[(n >> 12) & 63u];
        out += rest == 2 ? alphabet[(n >> 6) & 63u] : '=';
        out += '=';
    }
    return out;
}

} // namespace corvelle::cli
