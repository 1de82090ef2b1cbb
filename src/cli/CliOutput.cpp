#include "CliOutput.h"

#include "common/TextEscapes.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <array>
#include <cstdint>

namespace corvelle::cli {
namespace {

constexpr int kColumns = static_cast<int>(dupeColumnHeaders.size());

const std::string& cell(const GridModel& grid, int row, DupeColumn column)
{
    return grid.CellText(row, columnIndex(column));
}

/// Calls visit(group, firstRow, endRow) for each group's run of rows, in list order.
template <class Visit> void forEachGroup(const GridModel& grid, Visit visit)
{
    int row = 1;
    while (row < grid.RowCount()) {
        const std::int32_t group = grid.recordAt(row).group;
        int end = row + 1;
        while (end < grid.RowCount() && grid.recordAt(end).group == group) {
            ++end;
        }
        visit(group, row, end);
        row = end;
    }
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

void appendJsonKey(std::string& out, std::string_view key)
{
    out += '"';
    out += key;
    out += "\": ";
}

/// "key": value, with the exact bytes beside a lossy text when the name is not UTF-8.
void appendJsonText(std::string& out, std::string_view key, std::string_view text)
{
    appendJsonKey(out, key);
    if (isValidUtf8(text)) {
        appendJsonString(out, text);
        return;
    }
    appendJsonString(out, lossyUtf8(text));
    out += ", ";
    appendJsonKey(out, std::string(key) + "_base64");
    appendJsonString(out, base64(text));
}

void appendJsonNumber(std::string& out, std::string_view key, std::int64_t value)
{
    appendJsonKey(out, key);
    out += std::to_string(value);
}

std::string fullPathOf(const GridModel& grid, int row)
{
    return cell(grid, row, DupeColumn::Path) + cell(grid, row, DupeColumn::FileName) +
           cell(grid, row, DupeColumn::Extension);
}

/// Every data row, its cells escaped and joined as the format writes them.
template <class Escape>
std::string joinRows(const GridModel& grid, char separator, std::string_view lineEnd, Escape escape)
{
    std::string out;
    for (int row = 1; row < grid.RowCount(); ++row) {
        for (int col = 0; col < kColumns; ++col) {
            if (col > 0) {
                out += separator;
            }
            out += escape(grid.CellText(row, col));
        }
        out += lineEnd;
    }
    return out;
}

std::string formatTsv(const GridModel& grid)
{
    return joinRows(grid, '\t', "\n", escapeTsv);
}

std::string formatCsv(const GridModel& grid)
{
    std::string out;
    for (const std::string_view header : dupeColumnHeaders) {
        out += out.empty() ? "" : ",";
        out += header;
    }
    out += "\r\n";
    return out + joinRows(grid, ',', "\r\n", escapeCsv);
}

void appendJsonFile(std::string& out, const GridModel& grid, int row)
{
    const RowRecord& record = grid.recordAt(row);
    out += '{';
    appendJsonNumber(out, "id", record.id.value());
    out += ", ";
    appendJsonText(out, "path", cell(grid, row, DupeColumn::Path));
    out += ", ";
    appendJsonText(out, "name", cell(grid, row, DupeColumn::FileName));
    out += ", ";
    appendJsonText(out, "extension", cell(grid, row, DupeColumn::Extension));
    out += ", ";
    appendJsonText(out, "full_path", fullPathOf(grid, row));
    out += ", ";
    appendJsonNumber(out, "size", record.size.bytes());
    out += ", ";
    appendJsonText(out, "crc", cell(grid, row, DupeColumn::Crc));
    out += '}';
}

std::string formatJson(const GridModel& grid)
{
    std::string out = "{\"groups\": [";
    bool first = true;
    forEachGroup(grid, [&](std::int32_t group, int row, int end) {
        out += first ? "\n  {" : "\n  ]},\n  {";
        first = false;
        appendJsonNumber(out, "group", group);
        out += ", \"files\": [";
        for (int r = row; r < end; ++r) {
            out += r == row ? "\n    " : ",\n    ";
            appendJsonFile(out, grid, r);
        }
    });
    out += first ? "]}\n" : "\n  ]}\n]}\n";
    return out;
}

std::string formatText(const GridModel& grid)
{
    std::string out;
    forEachGroup(grid, [&](std::int32_t group, int row, int end) {
        out += "Group " + std::to_string(group) + ": " + std::to_string(end - row) + " files\n";
        for (; row < end; ++row) {
            out += "  " + escapeReadable(fullPathOf(grid, row)) + "\n";
        }
        out += "\n";
    });
    const DuplicateCounts counts = countDuplicates(grid);
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
    forEachGroup(duplicates, [&](std::int32_t, int row, int end) {
        ++counts.groups;
        counts.rows += static_cast<std::size_t>(end - row);
    });
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
