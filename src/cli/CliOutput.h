// The duplicate list as corvelle-cli prints it: text, tsv, csv or json, straight from the
// rows of the list, with every byte of every name accounted for.
#pragma once

#include "CliOptions.h"
#include "common/TextEscapes.h"

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

/// A csv field (RFC 4180): quoted when it holds a comma, quote, CR or LF; quotes doubled.
std::string escapeCsv(std::string_view field);

std::string base64(std::string_view bytes);

} // namespace corvelle::cli
