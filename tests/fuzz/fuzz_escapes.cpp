// Names of any bytes through every escape and output format: tsv and readable text escapes
// read back to exactly those bytes, percent-encoding too; the json output is UTF-8 whose
// strings, read as a json reader reads them, give the exact bytes back (through the "_base64"
// fields where the text is not UTF-8), and the csv output's records give the names back.
#include "CliOutput.h"
#include "FuzzInput.h"
#include "common/TextEscapes.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace corvelle;

/// The reverse of the tsv and readable escapes: \\ \t \n \r and \xNN.
std::string unescape(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out.push_back(text[i]);
            continue;
        }
        fuzz::check(i + 1 < text.size(), "an escape cut short");
        const char kind = text[++i];
        if (const auto at = std::string_view("\\tnr").find(kind); at != std::string_view::npos) {
            out.push_back("\\\t\n\r"[at]);
        } else {
            fuzz::check(kind == 'x' && i + 2 < text.size(), "an unknown escape");
            out.push_back(
                static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
        }
    }
    return out;
}

/// Every `"key": "text"` of a json document in order, the texts decoded as a json reader
/// decodes them. Outside strings only structure, spaces and numbers may appear, and the
/// brackets must balance.
std::vector<std::pair<std::string, std::string>> jsonTexts(std::string_view json)
{
    std::vector<std::string> strings; // with ":" standing for a colon between two of them
    std::vector<std::pair<std::string, std::string>> texts;
    int depth = 0;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c != '"') {
            fuzz::check(std::string_view("{}[],: \n-0123456789").find(c) != std::string_view::npos,
                        "json: a stray character");
            depth += (c == '{' || c == '[') - (c == '}' || c == ']');
            fuzz::check(depth >= 0, "json: a bracket closed twice");
            if (c == ':') {
                strings.emplace_back(":");
            } else if (c != ' ') {
                strings.clear(); // a number or structure: the next text has no key before it
            }
            continue;
        }
        std::string text;
        for (++i;; ++i) {
            fuzz::check(i < json.size(), "json: a string cut short");
            const auto b = static_cast<unsigned char>(json[i]);
            fuzz::check(b >= 0x20, "json: a raw control character");
            if (b == '"') {
                break;
            }
            if (b != '\\') {
                text.push_back(json[i]);
                continue;
            }
            fuzz::check(i + 1 < json.size(), "json: an escape cut short");
            const char kind = json[++i];
            if (const auto at = std::string_view("\"\\/bfnrt").find(kind);
                at != std::string_view::npos) {
                text.push_back("\"\\/\b\f\n\r\t"[at]);
                continue;
            }
            // \uXXXX stands for a code point; the writer needs it only for control characters.
            fuzz::check(kind == 'u' && i + 4 < json.size(), "json: a bad escape");
            const long code = std::stol(std::string(json.substr(i + 1, 4)), nullptr, 16);
            fuzz::check(code < 0x20, "json: \\u for a character that needs none");
            text.push_back(static_cast<char>(code));
            i += 4;
        }
        if (strings.size() >= 2 && strings.back() == ":") {
            texts.emplace_back(strings[strings.size() - 2], text);
        }
        strings.push_back(std::move(text));
    }
    fuzz::check(depth == 0, "json: a bracket left open");
    return texts;
}

std::string fromBase64(std::string_view text)
{
    const std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text.substr(0, text.find('='))) {
        const auto value = alphabet.find(c);
        fuzz::check(value != std::string_view::npos, "base64: bad character");
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return out;
}

/// The exact bytes of every `key` text, in order: the "_base64" twin when there is one.
std::vector<std::string> exactTexts(const std::vector<std::pair<std::string, std::string>>& texts,
                                    const std::string& key)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].first != key) {
            continue;
        }
        if (i + 1 < texts.size() && texts[i + 1].first == key + "_base64") {
            out.push_back(fromBase64(texts[i + 1].second));
            fuzz::check(texts[i].second == lossyUtf8(out.back()),
                        "json: the text is not the lossy form of the exact bytes");
        } else {
            out.push_back(texts[i].second);
        }
    }
    return out;
}

/// RFC 4180 records: fields split at commas outside quotes, quotes doubled inside them.
std::vector<std::vector<std::string>> readCsv(std::string_view text)
{
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string& field = records.back().back();
        if (quoted) {
            if (text[i] != '"') {
                field.push_back(text[i]);
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                field.push_back(text[++i]);
            } else {
                quoted = false;
            }
        } else if (text[i] == '"' && field.empty()) {
            quoted = true;
        } else if (text[i] == ',') {
            records.back().emplace_back();
        } else if (text.substr(i, 2) == "\r\n") {
            records.emplace_back(1);
            ++i;
        } else {
            fuzz::check(text[i] != '"' && text[i] != '\r' && text[i] != '\n',
                        "csv: quote or line end in an unquoted field");
            field.push_back(text[i]);
        }
    }
    fuzz::check(!quoted, "csv: unterminated quote");
    records.pop_back(); // after the last CRLF
    return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzInput input(data, size);
    std::vector<std::string> names;
    while (!input.empty() && names.size() < 4) {
        names.emplace_back(input.text());
    }
    if (names.empty()) {
        return 0;
    }

    std::vector<std::string> folders;
    GridModel list; // one group holding every name as a file in a folder of the same bytes
    list.ColumnFormat(dupeListFormat());
    for (const std::string& name : names) {
        const std::string tsv = escapeTsv(name);
        fuzz::check(tsv.find_first_of("\t\n") == std::string::npos, "tsv: a raw tab or newline");
        fuzz::check(unescape(tsv) == name, "tsv: does not read back");
        const std::string readable = escapeReadable(name);
        fuzz::check(isValidUtf8(readable), "readable: not UTF-8");
        for (const char c : readable) {
            fuzz::check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F,
                        "readable: a control character");
        }
        fuzz::check(unescape(readable) == name, "readable: does not read back");
        fuzz::check(percentDecode(percentEncodePath(name)) == name, "percent: does not read back");

        const auto id = static_cast<std::int32_t>(folders.size() + 1);
        folders.push_back("/" + name + "/");
        list.AppendRow(
            dupeListRow(RecordCells{RecordId(id), folders.back(), name, ".e", id, id}, 1),
            RowRecord{RecordId(id), 1, id});
    }

    const std::string json = cli::formatDuplicates(list, cli::OutputFormat::Json, DedupeSettings{});
    fuzz::check(isValidUtf8(json), "json: not UTF-8");
    const auto texts = jsonTexts(json);
    fuzz::check(exactTexts(texts, "name") == names, "json: the names differ");
    fuzz::check(exactTexts(texts, "path") == folders, "json: the paths differ");

    const auto records =
        readCsv(cli::formatDuplicates(list, cli::OutputFormat::Csv, DedupeSettings{}));
    fuzz::check(records.size() == names.size() + 1, "csv: records lost");
    for (std::size_t i = 0; i < names.size(); ++i) {
        fuzz::check(records[i + 1].size() == 7, "csv: a record without its seven fields");
        fuzz::check(records[i + 1][3] == names[i], "csv: name differs");
    }
    return 0;
}
