// Names of any bytes through every escape and output format: the tsv, readable and percent
// escapes read back to exactly those bytes, and the json output is UTF-8 whose strings give the
// bytes back.
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

/// Every `key` text of the json, in order, must give `expected` back: as it is, or where the
/// bytes are not UTF-8, as their lossy form followed by a "_base64" twin of the exact bytes.
void checkTexts(const std::vector<std::pair<std::string, std::string>>& texts,
                const std::string& key, const std::vector<std::string>& expected)
{
    std::size_t next = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].first != key) {
            continue;
        }
        fuzz::check(next < expected.size(), "json: a text too many");
        const std::string& bytes = expected[next++];
        if (isValidUtf8(bytes)) {
            fuzz::check(texts[i].second == bytes, "json: a text differs");
            continue;
        }
        fuzz::check(texts[i].second == lossyUtf8(bytes), "json: not the lossy form of the bytes");
        fuzz::check(i + 1 < texts.size() && texts[i + 1].first == key + "_base64" &&
                        texts[i + 1].second == cli::base64(bytes),
                    "json: no exact twin of bytes that are not UTF-8");
    }
    fuzz::check(next == expected.size(), "json: texts lost");
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
    checkTexts(texts, "name", names);
    checkTexts(texts, "path", folders);
    return 0;
}
