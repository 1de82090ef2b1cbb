#include "CliOutput.h"

#include "common/TextEscapes.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace corvelle::cli {
namespace {

constexpr int kColumns = static_cast<int>(dupeColumnHeaders.size());
constexpr std::size_t kPieceBytes = std::size_t{64} * 1024;

/// The output being written: text collects here and goes to the sink once a piece is full.
class Output {
public:
    explicit Output(const OutputSink& sink)
        : m_sink(sink)
    {
        m_text.reserve(kPieceBytes + kPieceBytes / 4);
    }
    std::string& text() { return m_text; }
    /// Whether the sink still takes pieces; hands the text over once a piece is full.
    bool open()
    {
        if (m_open && m_text.size() >= kPieceBytes) {
            hand();
        }
        return m_open;
    }
    /// Hands over the rest; false when the sink stopped the output.
    bool finish()
    {
        if (m_open && !m_text.empty()) {
            hand();
        }
        return m_open;
    }

private:
    void hand()
    {
        m_open = m_sink(m_text);
        m_text.clear();
    }

    const OutputSink& m_sink;
    std::string m_text;
    bool m_open = true;
};

std::string_view cell(const GridModel& grid, int row, DupeColumn column)
{
    return grid.CellText(row, columnIndex(column));
}

/// The list being written, and for verified sets the physical file number of each row and
/// perhaps what an action run did with each set.
struct ListView {
    const GridModel& grid;
    const std::vector<std::int32_t>* fileNumbers = nullptr;
    const ActionRecord* actions = nullptr;

    /// Whether the row names the same physical file as the row before it.
    [[nodiscard]] bool samePhysicalFileAsAbove(int row) const
    {
        return fileNumbers != nullptr && row > 1 &&
               grid.recordAt(row).group == grid.recordAt(row - 1).group &&
               fileNumbers->at(static_cast<std::size_t>(row)) ==
                   fileNumbers->at(static_cast<std::size_t>(row - 1));
    }
};

constexpr std::string_view kPhysicalFileHeader = "Physical File";

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

/// Every data row, its cells escaped and joined as the format writes them; for verified sets
/// the physical file's number after them.
template <class Escape>
void joinRows(Output& output, const ListView& list, char separator, std::string_view lineEnd,
              Escape escape)
{
    std::string& out = output.text();
    const GridModel& grid = list.grid;
    for (int row = 1; row < grid.RowCount() && output.open(); ++row) {
        for (int col = 0; col < kColumns; ++col) {
            if (col > 0) {
                out += separator;
            }
            out += escape(grid.CellText(row, col));
        }
        if (list.fileNumbers != nullptr) {
            out += separator;
            out += std::to_string(list.fileNumbers->at(static_cast<std::size_t>(row)));
        }
        out += lineEnd;
    }
}

void writeTsv(Output& output, const ListView& list)
{
    joinRows(output, list, '\t', "\n", escapeTsv);
}

void writeCsv(Output& output, const ListView& list)
{
    std::string& out = output.text();
    bool first = true;
    for (const std::string_view header : dupeColumnHeaders) {
        out += first ? "" : ",";
        out += header;
        first = false;
    }
    if (list.fileNumbers != nullptr) {
        out += ",";
        out += kPhysicalFileHeader;
    }
    out += "\r\n";
    joinRows(output, list, ',', "\r\n", escapeCsv);
}

void appendJsonFile(std::string& out, const ListView& list, int row)
{
    const GridModel& grid = list.grid;
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
    appendJsonText(out, "full_path", dupeRowPath(grid, row));
    out += ", ";
    appendJsonNumber(out, "size", record.size.bytes());
    out += ", ";
    appendJsonText(out, "crc", cell(grid, row, DupeColumn::Crc));
    if (list.fileNumbers != nullptr) {
        out += ", ";
        appendJsonNumber(out, "physical_file", list.fileNumbers->at(static_cast<std::size_t>(row)));
    }
    out += '}';
}

/// `, "kept": …, "actions": [...]` of a group: what an action run did with its set.
void appendJsonOutcome(std::string& out, const ActionRecord& record, std::int32_t group)
{
    const auto index = static_cast<std::size_t>(group - 1);
    static const SetOutcome notReached{std::nullopt, "the run was stopped before it", {}, 0};
    const SetOutcome& outcome = index < record.sets.size() ? record.sets[index] : notReached;
    out += ",\n   ";
    if (outcome.kept) {
        appendJsonText(out, "kept", *outcome.kept);
    } else {
        out += "\"kept\": null, ";
        appendJsonText(out, "left_alone", outcome.leftAlone);
    }
    out += ", ";
    appendJsonNumber(out, "bytes_freed", outcome.bytesFreed);
    out += ", \"actions\": [";
    bool first = true;
    for (const SetOutcome::Action& action : outcome.actions) {
        out += first ? "\n    {" : ",\n    {";
        first = false;
        appendJsonText(out, "path", action.path);
        out += ", ";
        appendJsonText(out, "action", action.done);
        if (!action.trashPath.empty()) {
            out += ", ";
            appendJsonText(out, "trash_path", action.trashPath);
        }
        if (!action.reason.empty()) {
            out += ", ";
            appendJsonText(out, "reason", action.reason);
        }
        out += '}';
    }
    out += first ? "]" : "\n   ]";
}

void appendJsonSummary(std::string& out, const ActionRecord& record)
{
    out += ",\n\"summary\": {\"dry_run\": ";
    out += record.dryRun ? "true" : "false";
    out += ", ";
    appendJsonNumber(out, "acted", static_cast<std::int64_t>(record.acted));
    out += ", ";
    appendJsonNumber(out, "skipped", static_cast<std::int64_t>(record.skipped));
    out += ", ";
    appendJsonNumber(out, "bytes_freed", record.bytesFreed);
    out += "}";
}

void writeJson(Output& output, const ListView& list)
{
    const GridModel& grid = list.grid;
    std::string& out = output.text();
    out += "{\"groups\": [";
    bool first = true;
    forEachGroup(grid, [&](std::int32_t group, int row, int end) {
        if (!output.open()) {
            return;
        }
        out += first ? "\n  {" : "\n  },\n  {";
        first = false;
        appendJsonNumber(out, "group", group);
        out += ", \"files\": [";
        for (int r = row; r < end; ++r) {
            out += r == row ? "\n    " : ",\n    ";
            appendJsonFile(out, list, r);
        }
        out += "\n  ]";
        if (list.actions != nullptr) {
            appendJsonOutcome(out, *list.actions, group);
        }
    });
    out += first ? "]" : "\n  }\n]";
    if (list.actions != nullptr) {
        appendJsonSummary(out, *list.actions);
    }
    out += "}\n";
}

/// Each full path as it is, followed by NUL, and one more NUL after each group, for xargs -0.
void writeNul(Output& output, const ListView& list)
{
    std::string& out = output.text();
    forEachGroup(list.grid, [&](std::int32_t, int row, int end) {
        if (!output.open()) {
            return;
        }
        for (int r = row; r < end; ++r) {
            out += dupeRowPath(list.grid, r);
            out += '\0';
        }
        out += '\0';
    });
}

std::string bytesText(FileSize size)
{
    return counted(size.bytes(), "byte");
}

/// "Group 3: 3 files, 85,574 bytes each" and the paths; each path with its size when the
/// sizes differ (size was not a criterion). A further path of one physical file says so.
void appendTextGroup(std::string& out, const ListView& list, std::int32_t group, int row, int end)
{
    const GridModel& grid = list.grid;
    const FileSize size = grid.recordAt(row).size;
    bool sameSize = true;
    int files = 0;
    for (int r = row; r < end; ++r) {
        sameSize = sameSize && grid.recordAt(r).size == size;
        files += r > row && list.samePhysicalFileAsAbove(r) ? 0 : 1;
    }
    const std::string paths = files == end - row ? "" : " (" + counted(end - row, "path") + ")";
    out += "Group " + std::to_string(group) + ": " + counted(files, "file") + paths +
           (sameSize ? ", " + bytesText(size) + " each\n" : " of different sizes\n");
    for (int r = row; r < end; ++r) {
        out += "  " + escapeReadable(dupeRowPath(grid, r));
        if (!sameSize) {
            out += " (" + bytesText(grid.recordAt(r).size) + ")";
        }
        out += r > row && list.samePhysicalFileAsAbove(r) ? " (the same file as the path above)\n"
                                                          : "\n";
    }
    out += "\n";
}

DuplicateCounts countList(const ListView& list)
{
    DuplicateCounts counts;
    forEachGroup(list.grid, [&](std::int32_t, int row, int end) {
        ++counts.groups;
        for (int r = row; r < end; ++r) {
            const FileSize size = list.grid.recordAt(r).size;
            counts.largest = std::max(counts.largest, size);
            if (r > row && list.samePhysicalFileAsAbove(r)) {
                continue;
            }
            ++counts.files;
            counts.redundantBytes += r == row ? 0 : size.bytes();
        }
    });
    return counts;
}

void writeText(Output& output, const ListView& list, const DedupeSettings& settings)
{
    std::string& out = output.text();
    const DuplicateCounts counts = countList(list);
    if (counts.groups == 0) {
        out += "No duplicates found.\n";
        return;
    }
    forEachGroup(list.grid, [&](std::int32_t group, int row, int end) {
        if (output.open()) {
            appendTextGroup(out, list, group, row, end);
        }
    });
    out += counted(static_cast<std::int64_t>(counts.groups), "group") + ", " +
           counted(static_cast<std::int64_t>(counts.redundant()), "redundant file") + " taking " +
           bytesText(counts.redundantBytes) + ".\n";
    const bool verified = list.fileNumbers != nullptr;
    out += (verified ? std::string(verifiedBasis) : matchBasis(settings, counts.largest)) + "\n";
}

bool writeList(const ListView& list, OutputFormat format, const DedupeSettings& settings,
               const OutputSink& sink)
{
    Output output(sink);
    switch (format) {
    case OutputFormat::Tsv:
        writeTsv(output, list);
        break;
    case OutputFormat::Csv:
        writeCsv(output, list);
        break;
    case OutputFormat::Json:
        writeJson(output, list);
        break;
    case OutputFormat::Nul:
        writeNul(output, list);
        break;
    case OutputFormat::Text:
        writeText(output, list, settings);
        break;
    }
    return output.finish();
}

std::string formatList(const ListView& list, OutputFormat format, const DedupeSettings& settings)
{
    std::string all;
    writeList(list, format, settings, [&](std::string_view piece) {
        all += piece;
        return true;
    });
    return all;
}

/// "a, b and c".
std::string listed(const std::vector<std::string>& items)
{
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        out += i == 0 ? "" : i + 1 == items.size() ? " and " : ", ";
        out += items[i];
    }
    return out;
}

/// The checksummed size as the window's list names it: "64 KB", "1 MB".
std::string crcSizeText(std::int32_t kilobytes)
{
    return kilobytes >= 1024 && kilobytes % 1024 == 0 ? std::to_string(kilobytes / 1024) + " MB"
                                                      : std::to_string(kilobytes) + " KB";
}

/// "names at least 80% alike (bracketed text, numbers, symbols and spaces left out)".
std::string nameCriterion(const DedupeSettings& settings)
{
    std::vector<std::string> removed;
    if (settings.blnRemoveBracketedText) {
        removed.emplace_back("bracketed text");
    }
    if (settings.blnRemoveNumbers) {
        removed.emplace_back("numbers");
    }
    if (settings.blnRemoveSymbols) {
        removed.emplace_back("symbols");
    }
    if (settings.blnRemoveSpaces) {
        removed.emplace_back("spaces");
    }
    std::string text = "names at least " + std::to_string(settings.lngMatchScore) + "% alike";
    return removed.empty() ? text : text + " (" + listed(removed) + " left out)";
}

} // namespace

std::string withThousands(std::int64_t number)
{
    const std::string digits = std::to_string(number);
    const std::size_t sign = number < 0 ? 1 : 0;
    std::string out = digits.substr(0, sign);
    for (std::size_t i = sign; i < digits.size(); ++i) {
        if (i > sign && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return out;
}

std::string counted(std::int64_t count, std::string_view noun)
{
    return withThousands(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

DuplicateCounts countDuplicates(const GridModel& duplicates)
{
    return countList(ListView{duplicates});
}

DuplicateCounts countDuplicates(const VerifiedList& verified)
{
    return countList(ListView{verified.rows, &verified.fileNumbers});
}

std::string matchBasis(const DedupeSettings& settings, FileSize largest)
{
    std::vector<std::string> criteria;
    if (settings.blnUseName) {
        criteria.push_back(nameCriterion(settings));
    }
    if (settings.blnUseExtension) {
        criteria.emplace_back("extension");
    }
    if (settings.blnUseSize) {
        criteria.emplace_back("size");
    }
    std::string caveat = "the contents were not compared";
    if (settings.blnUseCRC) {
        const std::int32_t kilobytes = settings.lngCRCFilesFirstKB;
        criteria.push_back("the CRC-32 of the first " + crcSizeText(kilobytes));
        caveat = largest.bytes() > std::int64_t{kilobytes} * 1024
                     ? "files can still differ after that"
                     : "each file was checksummed whole, but not compared byte for byte";
    }
    return "Matched on " + listed(criteria) + ": " + caveat + ".";
}

bool writeDuplicates(const GridModel& duplicates, OutputFormat format,
                     const DedupeSettings& settings, const OutputSink& sink)
{
    return writeList(ListView{duplicates}, format, settings, sink);
}

bool writeDuplicates(const VerifiedList& verified, OutputFormat format,
                     const DedupeSettings& settings, const OutputSink& sink)
{
    return writeList(ListView{verified.rows, &verified.fileNumbers, verified.actions}, format,
                     settings, sink);
}

std::string formatDuplicates(const GridModel& duplicates, OutputFormat format,
                             const DedupeSettings& settings)
{
    return formatList(ListView{duplicates}, format, settings);
}

std::string formatDuplicates(const VerifiedList& verified, OutputFormat format,
                             const DedupeSettings& settings)
{
    return formatList(ListView{verified.rows, &verified.fileNumbers, verified.actions}, format,
                      settings);
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
