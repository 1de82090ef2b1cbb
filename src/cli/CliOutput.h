// The duplicate list as corvelle-cli prints it: text, tsv, csv or json, straight from the
// rows of the list, with every byte of every name accounted for.
#pragma once

#include "CliOptions.h"

#include <string>
#include <string_view>

namespace corvelle {
class GridModel;
}

namespace corvelle::cli {

/// Counts over the duplicate list: groups, and the files beyond the first of each group.
struct DuplicateCounts {
    std::size_t groups = 0;
    std::size_t rows = 0;
    [[nodiscard]] std::size_t redundant() const { return rows - groups; }
};

DuplicateCounts countDuplicates(const GridModel& duplicates);

/// The whole output for the list, in the chosen format.
std::string formatDuplicates(const GridModel& duplicates, OutputFormat format);

/// A tsv cell: "\" as "\\", tab as "\t", newline as "\n", every other byte unchanged.
std::string escapeTsv(std::string_view cell);
/// A csv field (RFC 4180): quoted when it holds a comma, quote, CR or LF; quotes doubled.
std::string escapeCsv(std::string_view field);
/// Text for a person, and for a terminal: control characters, "\" and bytes that are not
/// UTF-8 written as \t, \n, \\, \xNN.
std::string escapeReadable(std::string_view text);

/// Whether the bytes are valid UTF-8.
bool isValidUtf8(std::string_view text);
/// The bytes as UTF-8, with U+FFFD for each byte that is not part of a valid sequence.
std::string lossyUtf8(std::string_view text);
std::string base64(std::string_view bytes);

} // namespace corvelle::cli
