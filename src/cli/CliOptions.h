// The command line of corvelle-cli: what it accepts, and the settings it turns into.
#pragma once

#include "actions/CopyActions.h"
#include "common/DedupeSettings.h"
#include "intake/IntakeScope.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace corvelle::cli {

enum class OutputFormat { Text, Tsv, Csv, Json };

struct Options {
    std::vector<std::string> paths;
    bool recursive = false;
    bool quiet = false;
    /// The window's start values, changed by --use, --match, --keep-* and --crc-first.
    DedupeSettings settings;
    std::string filter = "*.*";
    /// --hidden, --min-size and --max-size.
    IntakeScope scope;
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
    /// --trash, --delete or --link; at most one.
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

/// The text of --help.
std::string helpText();

/// One line for each pattern of the filter that will not do what it seems to: a "*" that is
/// compared literally, or text before the first "." that is ignored.
std::vector<std::string> filterWarnings(std::string_view filter);

/// A size in bytes, or with a K, M or G suffix (powers of 1024); a final "B" is allowed.
std::optional<FileSize> parseSize(std::string_view text);

/// The checksum sizes the window offers, in KB, and their command-line names ("1K" … "16M").
std::optional<std::int32_t> crcFirstKilobytes(std::string_view name);

} // namespace corvelle::cli
