// The duplicate list as corvelle-cli prints it: text, tsv, csv or json, straight from the
// rows of the list, with every byte of every name accounted for.
#pragma once

#include "CliOptions.h"
#include "common/DedupeSettings.h"
#include "common/TextEscapes.h"
#include "common/Types.h"
#include "controls/GridModel.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle::cli {

/// What an action run did with one verified set.
struct SetOutcome {
    /// One path acted on, or found possible to act on in a dry run, or skipped.
    struct Action {
        std::string path;
        /// "trashed", "deleted", "linked", "reflinked" ("would trash" … in a dry run), or
        /// "skipped".
        std::string done;
        std::string trashPath; ///< for "trashed": where the file is now
        std::string reason;    ///< for "skipped": why
    };
    /// The full path of the physical file kept; none when the set was left alone.
    std::optional<std::string> kept;
    std::string leftAlone; ///< why the set was left alone
    std::vector<Action> actions;
    /// The sizes of the set's physical files whose last name went.
    std::int64_t bytesFreed = 0;
};

/// What an action run did, set by set, for the json output.
struct ActionRecord {
    bool dryRun = false;
    /// In the order of the sets; a set the run did not reach (it was stopped) has none.
    std::vector<SetOutcome> sets;
    std::size_t acted = 0;
    std::size_t skipped = 0;
    std::int64_t bytesFreed = 0;
};

/// Verified sets as a list: one group per set, and beside each row the number of the physical
/// file it names within its set (from 1; the header row's is 0). Rows of one group with one
/// number are paths of one file: its hard links, or the file reached through two paths.
struct VerifiedList {
    GridModel rows;
    std::vector<std::int32_t> fileNumbers;
    /// After an action run: what was done with each set, which the json output adds to its
    /// group.
    const ActionRecord* actions = nullptr;
};

/// Counts over the duplicate list: groups, the files beyond the first of each group (the
/// redundant ones) and the bytes those take, and the largest file of all. In a verified list a
/// file is a physical file: its further paths are neither redundant nor take more bytes.
struct DuplicateCounts {
    std::size_t groups = 0;
    std::size_t files = 0;
    std::int64_t redundantBytes = 0;
    FileSize largest = 0;
    [[nodiscard]] std::size_t redundant() const { return files - groups; }
};

DuplicateCounts countDuplicates(const GridModel& duplicates);
DuplicateCounts countDuplicates(const VerifiedList& verified);

/// Takes the output piece by piece, in order; false: no more pieces are wanted.
using OutputSink = std::function<bool(std::string_view)>;

/// The output for the list in the chosen format, handed to the sink in pieces of about 64 KiB,
/// so that a long list is never held as one text. The text format's summary says what the
/// match was based on, from the settings the run used. Returns false when the sink stopped it.
bool writeDuplicates(const GridModel& duplicates, OutputFormat format,
                     const DedupeSettings& settings, const OutputSink& sink);
/// The same for verified sets (--verify): the summary says the files were compared byte for
/// byte, and every format says which paths are one physical file (tsv and csv in an eighth
/// column, "Physical File"; json as "physical_file"; text beside each further path).
bool writeDuplicates(const VerifiedList& verified, OutputFormat format,
                     const DedupeSettings& settings, const OutputSink& sink);

/// The output as one text.
std::string formatDuplicates(const GridModel& duplicates, OutputFormat format,
                             const DedupeSettings& settings);
std::string formatDuplicates(const VerifiedList& verified, OutputFormat format,
                             const DedupeSettings& settings);

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
