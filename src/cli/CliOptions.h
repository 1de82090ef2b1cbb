// The command line of corvelle-cli: every option declared once, in one table that the parser,
// --help and the shell completions all read, and the settings a command line turns into.
#pragma once

#include "actions/CopyActions.h"
#include "common/DedupeSettings.h"
#include "intake/IntakeScope.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace corvelle::cli {

/// Nul: -0, each path followed by a NUL and each group by one more.
enum class OutputFormat { Text, Tsv, Csv, Json, Nul };

struct Options {
    std::vector<std::string> paths;
    bool recursive = false;
    bool quiet = false;
    /// The window's start values, changed by --use, --match, --keep-* and --crc-first.
    DedupeSettings settings;
    std::string filter = "*.*";
    /// --hidden, --min-size, --max-size and --one-file-system; the excludes are added from
    /// `excludes` once the current folder is known.
    IntakeScope scope;
    /// --exclude, as given.
    std::vector<std::string> excludes;
    /// Where the work files go and stay; without it, a private temporary folder.
    std::optional<std::string> workDir;
    std::optional<std::string> catalogue;
    /// --cache: checksums kept between runs.
    std::optional<std::string> cache;
    OutputFormat format = OutputFormat::Text;
    /// --verify: the groups split into sets of files equal byte for byte. Every action
    /// implies it.
    bool verify = false;
    /// --keep, in the order given.
    std::vector<KeepRule> keep;
    /// --trash, --delete, --link or --reflink; at most one.
    std::optional<FileAction> action;
    bool dryRun = false;
};

struct ShowHelp {};
struct ShowVersion {};
/// A command line that cannot be run; the text is the one-line reason.
struct UsageError {
    std::string message;
};

using ParseResult = std::variant<Options, ShowHelp, ShowVersion, UsageError>;

/// Reads the arguments (without the program name). Settles every setting, including
/// lngCRCSize (0 unless crc is a criterion); does not look at the file system.
ParseResult parseArguments(const std::vector<std::string_view>& args);

/// A command line being read: the options so far, and what was given.
struct ParseState;

/// What an option's value is, for the parser, --help and the completions.
enum class ValueKind {
    None,   ///< a flag
    OneOf,  ///< one of the option's words
    ListOf, ///< some of its words, separated by ","
    Folder, ///< a folder
    File,   ///< a file
    Other   ///< a number, a size, a pattern: nothing to complete
};

/// One option, as the parser, --help, the manual page check and the completions know it.
struct OptionEntry {
    std::string_view name; ///< "--recursive"
    char letter = 0;       ///< 'r' for -r; 0 when there is no short form
    ValueKind kind = ValueKind::None;
    std::string_view valueName; ///< the value in --help: "SIZE"
    /// What it does, one paragraph; empty: the option shares the next one's.
    std::string help;
    /// The values to complete, and for OneOf and ListOf the only ones taken. A word ending in
    /// "=" is followed by a folder ("under=DIR").
    std::vector<std::string> words;
    /// The value a run has without the option, as --help shows it; null when there is none
    /// worth showing.
    std::function<std::string(const Options&)> shownDefault;
    /// Applies the option with its value (empty for a flag); the reason when it is refused.
    std::function<std::optional<std::string>(ParseState&, std::string_view)> apply;
    /// Whether it may be given more than once, each time adding to the last.
    bool repeatable = false;
    /// A heading in --help before this option: it starts a new part.
    std::string_view heading;
};

/// Every option, in the order of --help.
std::span<const OptionEntry> optionTable();

/// The text of --help.
std::string helpText();

/// One line for each pattern of the filter that will not do what it seems to: a "*" that is
/// compared literally, or text before the first "." that is ignored.
std::vector<std::string> filterWarnings(std::string_view filter);

/// A size in bytes, or a number with a unit: K, M, G and T (or KiB … TiB) are powers of 1024,
/// KB, MB, GB and TB powers of 1000; letter case does not count.
std::optional<FileSize> parseSize(std::string_view text);

/// The checksum sizes the window offers, in KB, and their command-line names ("1K" … "16M").
std::optional<std::int32_t> crcFirstKilobytes(std::string_view name);

} // namespace corvelle::cli
