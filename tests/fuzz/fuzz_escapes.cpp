// Names of any bytes through every escape: the tsv, readable and percent escapes read back to
// exactly those bytes, and no name puts a raw control character or bytes that are not UTF-8
// into the json output (the command-line test checks the escapes' forms there).
#include "CliOutput.h"
#include "FuzzInput.h"
#include "common/TextEscapes.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

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

        const auto id = static_cast<std::int32_t>(list.RowCount());
        list.AppendRow(
            dupeListRow(RecordCells{RecordId(id), "/" + name + "/", name, ".e", id, id}, 1),
            RowRecord{RecordId(id), 1, id});
    }

    const std::string json = cli::formatDuplicates(list, cli::OutputFormat::Json, DedupeSettings{});
    fuzz::check(isValidUtf8(json), "json: not UTF-8");
    for (const char c : json) {
        fuzz::check(static_cast<unsigned char>(c) >= 0x20 || c == '\n',
                    "json: a control character");
    }
    return 0;
}
