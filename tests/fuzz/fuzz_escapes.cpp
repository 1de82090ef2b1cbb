// Names of any bytes through every escape and output format: tsv and readable text escapes
// read back to exactly those bytes, percent-encoding too, and the csv and json outputs parse
// with a standard reader (a small one below) and give the exact bytes back, through the
// "_base64" fields where the text is not UTF-8.
#include "CliOutput.h"
#include "FuzzInput.h"
#include "common/TextEscapes.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
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
        if (kind == '\\') {
            out.push_back('\\');
        } else if (kind == 't') {
            out.push_back('\t');
        } else if (kind == 'n') {
            out.push_back('\n');
        } else if (kind == 'r') {
            out.push_back('\r');
        } else if (kind == 'x' && i + 2 < text.size()) {
            out.push_back(
                static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
        } else {
            fuzz::fail("an unknown escape");
        }
    }
    return out;
}

// A JSON reader after RFC 8259, enough to check the output: values are kept as their decoded
// strings (objects as maps, arrays as lists).
struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    std::string text; // a string's UTF-8, or a number's digits
    std::vector<Json> items;
    std::map<std::string, Json> members;
};

class JsonReader {
public:
    explicit JsonReader(std::string_view text)
        : m_text(text)
    {}

    Json document()
    {
        Json value = read();
        skipSpace();
        fuzz::check(m_at == m_text.size(), "json: text after the document");
        return value;
    }

private:
    void skipSpace()
    {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\n' ||
                                        m_text[m_at] == '\r' || m_text[m_at] == '\t')) {
            ++m_at;
        }
    }
    char next()
    {
        fuzz::check(m_at < m_text.size(), "json: cut short");
        return m_text[m_at++];
    }
    void expect(char c) { fuzz::check(next() == c, "json: unexpected character"); }

    Json read()
    {
        skipSpace();
        fuzz::check(m_at < m_text.size(), "json: no value");
        Json value;
        const char c = m_text[m_at];
        if (c == '{') {
            value.kind = Json::Kind::Object;
            ++m_at;
            skipSpace();
            if (m_text[m_at] == '}') {
                ++m_at;
                return value;
            }
            for (;;) {
                skipSpace();
                const std::string key = string();
                skipSpace();
                expect(':');
                value.members[key] = read();
                skipSpace();
                if (next() == '}') {
                    return value;
                }
            }
        }
        if (c == '[') {
            value.kind = Json::Kind::Array;
            ++m_at;
            skipSpace();
            if (m_text[m_at] == ']') {
                ++m_at;
                return value;
            }
            for (;;) {
                value.items.push_back(read());
                skipSpace();
                if (next() == ']') {
                    return value;
                }
            }
        }
        if (c == '"') {
            value.kind = Json::Kind::String;
            value.text = string();
            return value;
        }
        value.kind = Json::Kind::Number;
        while (m_at < m_text.size() &&
               std::string_view("-+.eE0123456789").find(m_text[m_at]) != std::string_view::npos) {
            value.text.push_back(m_text[m_at++]);
        }
        fuzz::check(!value.text.empty(), "json: not a value");
        return value;
    }

    unsigned hex4()
    {
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = next();
            const auto digit =
                std::string_view("0123456789abcdef").find(static_cast<char>(c | 0x20));
            fuzz::check(digit != std::string_view::npos, "json: bad \\u escape");
            value = value * 16 + static_cast<unsigned>(digit);
        }
        return value;
    }

    std::string string()
    {
        expect('"');
        std::string out;
        for (;;) {
            const char c = next();
            if (c == '"') {
                return out;
            }
            fuzz::check(static_cast<unsigned char>(c) >= 0x20, "json: raw control character");
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            const char kind = next();
            const std::string_view simple = "\"\\/bfnrt";
            const std::string_view meaning = "\"\\/\b\f\n\r\t";
            if (const auto at = simple.find(kind); at != std::string_view::npos) {
                out.push_back(meaning[at]);
                continue;
            }
            fuzz::check(kind == 'u', "json: bad escape");
            char32_t code = hex4();
            if (code >= 0xD800 && code < 0xDC00) {
                expect('\\');
                expect('u');
                const unsigned low = hex4();
                fuzz::check(low >= 0xDC00 && low < 0xE000, "json: lone surrogate");
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            }
            fuzz::check(code < 0xD800 || code >= 0xE000, "json: lone surrogate");
            appendUtf8Bytes(out, code);
        }
    }

    static void appendUtf8Bytes(std::string& out, char32_t c)
    {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

std::string fromBase64(std::string_view text)
{
    const std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') {
            break;
        }
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

/// A field's exact bytes: the "_base64" twin when there is one.
std::string exact(const Json& file, const std::string& field)
{
    if (const auto twin = file.members.find(field + "_base64"); twin != file.members.end()) {
        fuzz::check(file.members.at(field).text == lossyUtf8(fromBase64(twin->second.text)),
                    "json: the text field is not the lossy form of the exact bytes");
        return fromBase64(twin->second.text);
    }
    fuzz::check(isValidUtf8(file.members.at(field).text), "json: a text field is not UTF-8");
    return file.members.at(field).text;
}

/// RFC 4180 records: fields split at commas outside quotes, quotes doubled inside them.
std::vector<std::vector<std::string>> readCsv(std::string_view text)
{
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    std::size_t i = 0;
    while (i < text.size()) {
        std::string& field = records.back().back();
        if (text[i] == '"' && field.empty()) {
            ++i;
            for (;;) {
                fuzz::check(i < text.size(), "csv: unterminated quote");
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field.push_back(text[i++]);
            }
            continue;
        }
        if (text[i] == ',') {
            records.back().emplace_back();
            ++i;
        } else if (text.substr(i, 2) == "\r\n") {
            records.emplace_back(1);
            i += 2;
        } else {
            fuzz::check(text[i] != '"' && text[i] != '\r' && text[i] != '\n',
                        "csv: quote or line end in an unquoted field");
            field.push_back(text[i++]);
        }
    }
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
    }

    // One group holding every name as a file in a folder of the same bytes.
    GridModel list;
    list.ColumnFormat(dupeListFormat());
    std::int32_t id = 0;
    for (const std::string& name : names) {
        ++id;
        const std::string folder = "/" + name + "/";
        list.AppendRow(dupeListRow(RecordCells{RecordId(id), folder, name, ".e", id, id}, 1),
                       RowRecord{RecordId(id), 1, id});
    }

    const Json json =
        JsonReader(cli::formatDuplicates(list, cli::OutputFormat::Json, DedupeSettings{}))
            .document();
    const Json& files = json.members.at("groups").items.at(0).members.at("files");
    fuzz::check(files.items.size() == names.size(), "json: rows lost");
    for (std::size_t i = 0; i < names.size(); ++i) {
        fuzz::check(exact(files.items[i], "name") == names[i], "json: name differs");
        fuzz::check(exact(files.items[i], "path") == "/" + names[i] + "/", "json: path differs");
    }

    const auto records =
        readCsv(cli::formatDuplicates(list, cli::OutputFormat::Csv, DedupeSettings{}));
    fuzz::check(records.size() == names.size() + 1, "csv: records lost");
    for (std::size_t i = 0; i < names.size(); ++i) {
        fuzz::check(records[i + 1].size() == 7, "csv: a record without its seven fields");
        fuzz::check(records[i + 1][3] == names[i], "csv: name differs");
    }
    return 0;
}
