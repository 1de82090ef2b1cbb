#include "CliOptions.h"

#include "common/TextParts.h"
#include "controls/ToolModel.h"
#include "intake/IntakeNames.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <utility>

namespace corvelle::cli {
namespace {

std::string inQuotes(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

/// Applies "--use name,size": the listed criteria on, every other one off.
std::optional<std::string> applyUse(std::string_view list, DedupeSettings& settings)
{
    settings.blnUseName = settings.blnUseExtension = settings.blnUseSize = settings.blnUseCRC =
        false;
    if (list.empty()) {
        return "--use: give at least one of name, extension, size, crc";
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(',', start);
        const std::string word = lower(list.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (word == "name") {
            settings.blnUseName = true;
        } else if (word == "extension") {
            settings.blnUseExtension = true;
        } else if (word == "size") {
            settings.blnUseSize = true;
        } else if (word == "crc") {
            settings.blnUseCRC = true;
        } else {
            return "--use: unknown criterion " + inQuotes(word) +
                   " (choose from name, extension, size, crc)";
        }
        if (comma == std::string_view::npos) {
            return std::nullopt;
        }
        start = comma + 1;
    }
}

std::optional<std::int32_t> parsePercent(std::string_view text)
{
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0 ||
        value > 100) {
        return std::nullopt;
    }
    return value;
}

/// The value a word stands for in a table of words, if any.
template <class Value, std::size_t Count>
std::optional<Value> valueNamed(const std::array<std::pair<std::string_view, Value>, Count>& table,
                                std::string_view word)
{
    for (const auto& [name, value] : table) {
        if (name == word) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<OutputFormat> parseFormat(std::string_view text)
{
    static constexpr std::array<std::pair<std::string_view, OutputFormat>, 4> formats{
        {{"text", OutputFormat::Text},
         {"tsv", OutputFormat::Tsv},
         {"csv", OutputFormat::Csv},
         {"json", OutputFormat::Json}}};
    return valueNamed(formats, lower(text));
}

/// A checksum size of the window's list as the command line writes it: "1 KB" is "1K".
std::string commandLineSize(std::string_view caption)
{
    std::string size;
    for (const char c : caption) {
        if (c != ' ') {
            size += c;
        }
    }
    if (size.ends_with('B')) {
        size.pop_back();
    }
    return size;
}

/// One of the name clean-up steps of the settings.
using CleanupStep = bool DedupeSettings::*;

/// The clean-up step a --keep-* flag switches off; null for any other option.
CleanupStep stepKeptBy(std::string_view option)
{
    static constexpr std::array<std::pair<std::string_view, CleanupStep>, 4> keepFlags{{
        {"--keep-brackets", &DedupeSettings::blnRemoveBracketedText},
        {"--keep-numbers", &DedupeSettings::blnRemoveNumbers},
        {"--keep-symbols", &DedupeSettings::blnRemoveSymbols},
        {"--keep-spaces", &DedupeSettings::blnRemoveSpaces},
    }};
    for (const auto& [flag, step] : keepFlags) {
        if (flag == option) {
            return step;
        }
    }
    return nullptr;
}

} // namespace

std::optional<FileSize> parseSize(std::string_view text)
{
    std::string word = lower(text);
    if (word.ends_with('b')) {
        word.pop_back(); // "10B", "10KB"
    }
    std::int64_t unit = 1;
    if (!word.empty()) {
        switch (word.back()) {
        case 'k':
            unit = std::int64_t{1} << 10;
            break;
        case 'm':
            unit = std::int64_t{1} << 20;
            break;
        case 'g':
            unit = std::int64_t{1} << 30;
            break;
        default:
            break;
        }
    }
    if (unit != 1) {
        word.pop_back();
    }
    std::int64_t number = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), number);
    if (word.empty() || error != std::errc() || end != word.data() + word.size() || number < 0 ||
        number > std::numeric_limits<std::int64_t>::max() / unit) {
        return std::nullopt;
    }
    return FileSize(number * unit);
}

std::vector<std::string> filterWarnings(std::string_view filter)
{
    std::vector<std::string> warnings;
    forEachPart(filter, ';', [&](std::string_view pattern) {
        const std::string_view ending = filterEnding(pattern);
        const std::string_view ignored = pattern.substr(0, pattern.size() - ending.size());
        if (ending != ".*" && ending.find('*') != std::string_view::npos) {
            warnings.push_back("--filter: the \"*\" in " + inQuotes(pattern) +
                               " is compared literally: it matches only names ending in " +
                               inQuotes(ending) +
                               " (patterns are name endings such as \"*.txt;*.doc\"; \"*.*\" "
                               "takes every file)");
        } else if (!ignored.empty() && ignored != "*") {
            warnings.push_back("--filter: " + inQuotes(pattern) + " is taken as the ending " +
                               inQuotes(ending) + ": what comes before the first \".\" is ignored");
        }
    });
    return warnings;
}

std::optional<std::int32_t> crcFirstKilobytes(std::string_view name)
{
    std::string word = lower(name);
    if (word.ends_with("b")) { // "1KB", "16MB", as the window writes them
        word.pop_back();
    }
    for (const ComboEntry& entry : crcFilesFirstEntries()) {
        if (word == lower(commandLineSize(entry.text))) {
            std::int32_t kilobytes = 0;
            std::from_chars(entry.value.data(), entry.value.data() + entry.value.size(), kilobytes);
            return kilobytes;
        }
    }
    return std::nullopt;
}

namespace {

std::optional<FileAction> actionNamed(std::string_view name)
{
    static constexpr std::array<std::pair<std::string_view, FileAction>, 3> actions{
        {{"--trash", FileAction::Trash},
         {"--delete", FileAction::Delete},
         {"--link", FileAction::Link}}};
    return valueNamed(actions, name);
}

} // namespace

ParseResult parseArguments(const std::vector<std::string_view>& args)
{
    Options options;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            options.paths.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg[1] != '-') {
            // Bundled short flags: -rq.
            for (const char flag : arg.substr(1)) {
                if (flag == 'r') {
                    options.recursive = true;
                } else if (flag == 'q') {
                    options.quiet = true;
                } else if (flag == 'h') {
                    return ShowHelp{};
                } else {
                    return UsageError{"unknown option " + inQuotes(std::string("-") + flag)};
                }
            }
            continue;
        }

        // Long options, with the value after "=" or as the next argument.
        std::string_view name = arg;
        std::optional<std::string_view> inlineValue;
        if (const std::size_t eq = arg.find('='); eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        const auto flag = [&](bool& target) -> std::optional<UsageError> {
            if (inlineValue) {
                return UsageError{std::string(name) + " takes no value"};
            }
            target = true;
            return std::nullopt;
        };
        const auto value = [&]() -> std::optional<std::string_view> {
            if (inlineValue) {
                return inlineValue;
            }
            if (i + 1 < args.size()) {
                return args[++i];
            }
            return std::nullopt;
        };

        std::optional<UsageError> error;
        bool keep = false;
        if (name == "--recursive") {
            error = flag(options.recursive);
        } else if (name == "--quiet") {
            error = flag(options.quiet);
        } else if (name == "--hidden") {
            error = flag(options.scope.hiddenNames);
        } else if (name == "--verify") {
            error = flag(options.verify);
        } else if (name == "--dry-run") {
            error = flag(options.dryRun);
        } else if (const std::optional<FileAction> action = actionNamed(name)) {
            error = flag(keep);
            if (options.action && *options.action != *action) {
                return UsageError{"--trash, --delete and --link: at most one of them"};
            }
            options.action = action;
        } else if (name == "--help") {
            return ShowHelp{};
        } else if (name == "--version") {
            return ShowVersion{};
        } else if (const CleanupStep step = stepKeptBy(name)) {
            error = flag(keep);
            options.settings.*step = false;
        } else if (name == "--use" || name == "--match" || name == "--crc-first" ||
                   name == "--filter" || name == "--work-dir" || name == "--catalogue" ||
                   name == "--cache" || name == "--format" || name == "--min-size" ||
                   name == "--max-size" || name == "--keep") {
            const std::optional<std::string_view> v = value();
            if (!v) {
                return UsageError{std::string(name) + " needs a value"};
            }
            if (name == "--use") {
                if (auto problem = applyUse(*v, options.settings)) {
                    return UsageError{*problem};
                }
            } else if (name == "--match") {
                const auto percent = parsePercent(*v);
                if (!percent) {
                    return UsageError{"--match: " + inQuotes(*v) +
                                      " is not a whole number from 0 to 100"};
                }
                options.settings.lngMatchScore = *percent;
            } else if (name == "--crc-first") {
                const auto kilobytes = crcFirstKilobytes(*v);
                if (!kilobytes) {
                    std::string sizes;
                    for (const ComboEntry& entry : crcFilesFirstEntries()) {
                        sizes += " " + commandLineSize(entry.text);
                    }
                    return UsageError{"--crc-first: " + inQuotes(*v) + " is not one of" + sizes};
                }
                options.settings.lngCRCFilesFirstKB = *kilobytes;
            } else if (name == "--filter") {
                options.filter = std::string(*v);
            } else if (name == "--keep") {
                const std::optional<KeepRule> rule = KeepRule::parse(*v);
                if (!rule) {
                    return UsageError{"--keep: " + inQuotes(*v) +
                                      " is not one of first, last, oldest, newest, "
                                      "shortest-path, longest-path, under=DIR"};
                }
                options.keep.push_back(*rule);
            } else if (name == "--min-size" || name == "--max-size") {
                const std::optional<FileSize> size = parseSize(*v);
                if (!size) {
                    return UsageError{std::string(name) + ": " + inQuotes(*v) +
                                      " is not a size (bytes, or a number with K, M or G)"};
                }
                (name == "--min-size" ? options.scope.minSize : options.scope.maxSize) = *size;
            } else if (name == "--work-dir") {
                if (v->empty()) {
                    return UsageError{"--work-dir needs a folder"};
                }
                options.workDir = std::string(*v);
            } else if (name == "--catalogue" || name == "--cache") {
                if (v->empty()) {
                    return UsageError{std::string(name) + " needs a file name"};
                }
                (name == "--cache" ? options.cache : options.catalogue) = std::string(*v);
            } else {
                const auto format = parseFormat(*v);
                if (!format) {
                    return UsageError{"--format: " + inQuotes(*v) +
                                      " is not one of text, tsv, csv, json"};
                }
                options.format = *format;
            }
        } else {
            return UsageError{"unknown option " + inQuotes(name)};
        }
        if (error) {
            return *error;
        }
    }
    if (options.paths.empty()) {
        return UsageError{"no PATH given"};
    }
    if (options.dryRun && !options.action) {
        return UsageError{"--dry-run shows what --trash, --delete or --link would do: give one"};
    }
    options.verify = options.verify || options.action.has_value();
    if (options.scope.minSize > options.scope.maxSize) {
        return UsageError{"--min-size is larger than --max-size: no file could be taken"};
    }
    // Checksums are only computed when they are compared, as in the window.
    options.settings.lngCRCSize =
        options.settings.blnUseCRC ? options.settings.lngCRCFilesFirstKB * 1024 : 0;
    return options;
}

std::string helpText()
{
    return R"(Usage: corvelle-cli [OPTIONS] PATH...
Catalogue files and folders, then list the groups of duplicates among them.

  PATH               a folder to scan or a file to catalogue, in the order given; a
                     link to a folder counts as a folder, but links inside a scanned
                     folder are never followed
  -r, --recursive    also scan every sub-folder
  --hidden           also take names starting with "." in folder scans (skipped
                     by default)
  --min-size SIZE    leave out files smaller than SIZE: bytes, or a number with K,
                     M or G (1K = 1024). --min-size 1 leaves out empty files, which
                     otherwise all match each other
  --max-size SIZE    leave out files larger than SIZE
  --filter PATTERNS  which names a folder scan takes: name endings separated by
                     ";", letter case ignored (default "*.*", every file). A
                     pattern counts from its first "." on: "*.txt;*.doc" takes
                     names ending in .txt or .doc. This is not a wildcard: a "*"
                     anywhere else is an ordinary character, so "*" alone or
                     "*.t*" takes nothing. Named files are always taken
  --use LIST         criteria from name,extension,size,crc, comma-separated
                     (default extension,size,crc)
  --match PERCENT    name match percentage 0..100 (default 80)
  --keep-brackets, --keep-numbers, --keep-symbols, --keep-spaces
                     switch off one name clean-up step (all four are on by default)
  --crc-first SIZE   leading bytes to checksum: 1K 2K 4K 8K 16K 32K 64K 128K 256K
                     512K 1M 2M 4M 8M 16M (default 1M); checksums are computed only
                     when crc is a criterion
  --work-dir DIR     write the work files dedupe.dat and dupelist.dat to DIR and
                     keep them (default: none are written; what they would hold
                     stays in memory)
  --catalogue FILE   keep the catalogue in FILE (emptied first; default: in a
                     private temporary folder, removed at exit)
  --cache FILE       keep the files' checksums in FILE between runs (made when
                     missing): a file still as it was is not read again
  --format FORMAT    text (default), tsv, csv or json
  --verify           compare the whole contents of every group's files and list
                     only sets of files identical byte for byte; a file that
                     matches no other is left out (named on stderr)
  --trash            move every copy but one of each verified set to the Trash
                     (the desktop's: ~/.local/share/Trash, or the .Trash-UID
                     folder of the file's own volume), where it can be restored
  --delete           delete every copy but one of each verified set
  --link             replace every copy but one of each verified set by a hard
                     link to the file kept (both must be on one file system)
  --keep RULE        which file of a set stays: first (default: the earliest
                     catalogued), last, oldest, newest (modification time),
                     shortest-path, longest-path, or under=DIR (a file inside
                     DIR). Repeatable: rules apply in order; ties go to first
  --dry-run          say what --trash, --delete or --link would do; touch nothing
  -q, --quiet        no progress display (shown only when stderr is a terminal), and
                     no note on stderr when there is nothing to report
  -h, --help         show this help and exit
  --version          show the version and exit

Output (on stdout), one entry per row of the duplicate list, grouped:
  text   each group with its number, its file count and the size of its files, then
         their full paths; a closing summary with the groups, the redundant files,
         the bytes they take and what the match was based on. Control characters,
         backslashes and bytes that are not UTF-8 are written as \t \n \\ \xNN
  tsv    ID, Dupe Group, Path, File Name, Extension, Size, CRC separated by tabs,
         one row per line, no header; inside a cell \ is written \\, a tab \t
         and a newline \n; every other byte as it is
  csv    the same seven columns with a header row, RFC 4180 (CRLF line ends)
  json   {"groups": [{"group": N, "files": [{"id", "path", "name", "extension",
         "full_path", "size", "crc"}]}]}. A text field whose bytes are not valid
         UTF-8 holds them with U+FFFD for each invalid byte, and a field of the
         same name ending in "_base64" holds the exact bytes (standard base64)
With nothing to compare (fewer than 2 files catalogued) or no duplicates found, the
output is empty: {"groups": []}, the csv header alone, nothing for tsv, and one
sentence for text; the reason goes to stderr.

CRC column: "$" and the CRC-32 of the file's leading bytes in hex. $00000000 when
crc is not a criterion (nothing was read) or for an empty file; $FFFFFFFF when the
file could not be read (it then matches no other file by checksum).

Messages go to stderr, one line each, starting with "corvelle-cli: ": files that
cannot be read and folders that cannot be listed, with the reason.

Actions: --trash, --delete and --link imply --verify: nothing is acted on unless it
was just proven identical, byte for byte, to the file kept. Just before each action
the copy must still be the file verified (device, inode, size, modification time,
not a link) and the file kept must still be there as verified; two paths of one
physical file are never acted on. Each action, each file skipped and a closing
summary go to stderr (with -q only what was skipped).

Exit status:
  0    the run completed, with or without duplicates (even if some files could
       not be read; those are reported on stderr)
  1    a dedupe pass failed or the --catalogue file could not be saved (then no
       list is printed), the output could not be written, or an action was
       skipped or failed (each one named on stderr)
  2    usage error: unknown option, bad value, no criterion, a PATH that does not
       exist, a work folder that cannot be written, a catalogue that cannot be
       opened or a --catalogue file that is not a catalogue
  130  interrupted (Ctrl-C); 143 on SIGTERM, 129 on SIGHUP. The process ends by
       the signal itself once its temporary files are removed
  141  the output's reader went away (as with "| head"): the run stops at once,
       silently, and removes its temporary files
)";
}

} // namespace corvelle::cli
