// The duplicate list as corvelle-cli prints it: text, tsv, csv or json, straight from the
// rows of the list, with every byte of every name accounted for.
#pragma once

#include "CliOptions.h"
#include "common/DedupeSettings.h"
#include "common/TextEscapes.h"
#include "common/Types.h"

#include <functional>
#include <string>
#include <string_view>

namespace corvelle {
class GridModel;
}

namespace corvelle::cli {

/// Counts over the duplicate list: groups, the files beyond the first of each group (the
/// redundant ones) and the bytes those take, and the largest file of all.
struct DuplicateCounts {
    std::size_t groups = 0;
    std::size_t rows = 0;
    std::int64_t redundantBytes = 0;
    FileSize largest = 0;
    [[nodiscard]] std::size_t redundant() const { return rows - groups; }
};

DuplicateCounts countDuplicates(const GridModel& duplicates);

/// Takes the output piece by piece, in order; false: no more pieces are wanted.
using OutputSink = std::function<bool(std::string_view)>;

/// The output for the list in the chosen format, handed to the sink in pieces of about 64 KiB,
/// so that a long list is never held as one text. The text format's summary says what the
/// match was based on, from the settings the run used (`verified`: the groups are sets of
/// files proven equal byte for byte, --verify). Returns false when the sink stopped it.
bool writeDuplicates(const GridModel& duplicates, OutputFormat format,
                     const DedupeSettings& settings, const OutputSink& sink, bool verified = false);

/// The same output as one text.
std::string formatDuplicates(const GridModel& duplicates, OutputFormat format,
                             const DedupeSettings& settings, bool verified = false);

/// What a verified list's summary says the match was based on.
inline constexpr std::string_view verifiedBasis =
    "Verified: the files of each group were compared byte for byte and are identical.";

/// "Matched on extension, size and the CRC-32 of the first 1 MB: files can still differ after
/// that." `largest` is the largest grouped file: a checksum that covered every grouped file
/// whole is said so.
std::string matchBasis(const DedupeSettings& settings, FileSize largest);

/// A count with "," between groups of three digits: 85,574.
std::string withThousands(std::int64_t number);
/// "1 file", "3 files": a count with its noun, in the singular for one.
std::string counted(std::int64_t count, std::string_view noun);

/// A csv field (RFC 4180): quoted when it holds a comma, quote, CR or LF; quotes doubled.
std::string escapeCsv(std::string_view field);

std::string base64(std::string_view bytes);

} // namespace corvelle::cli
