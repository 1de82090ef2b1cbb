#include "CliOptions.h"

#include "common/TextParts.h"
#include "controls/ToolModel.h"
#include "intake/IntakeNames.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <set>
#include <utility>

namespace corvelle::cli {

struct ParseState {
    Options options;
    /// The long names of the options given, for the rules between options.
    std::set<std::string_view> given;
    /// --content: the preset fills in what the options given leave open.
    bool content = false;
    /// --help or --version: the command line ends there.
    std::optional<ParseResult> ending;
};

namespace {

using Problem = std::optional<std::string>;

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

/// "a, b, c"; with `last` " or ", "a, b or c".
std::string joined(const std::vector<std::string>& words, std::string_view separator = ", ",
                   std::optional<std::string_view> last = std::nullopt)
{
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) {
            out += i + 1 == words.size() ? last.value_or(separator) : separator;
        }
        out += words[i];
    }
    return out;
}

/// The words of a table of (word, value) pairs.
template <class Value, std::size_t Count>
std::vector<std::string> wordsOf(const std::array<std::pair<std::string_view, Value>, Count>& table)
{
    std::vector<std::string> words;
    for (const auto& entry : table) {
        words.emplace_back(entry.first);
    }
    return words;
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

using Criterion = bool DedupeSettings::*;
constexpr std::array<std::pair<std::string_view, Criterion>, 4> criteria{
    {{"name", &DedupeSettings::blnUseName},
     {"extension", &DedupeSettings::blnUseExtension},
     {"size", &DedupeSettings::blnUseSize},
     {"crc", &DedupeSettings::blnUseCRC}}};

constexpr std::array<std::pair<std::string_view, OutputFormat>, 4> formats{
    {{"text", OutputFormat::Text},
     {"tsv", OutputFormat::Tsv},
     {"csv", OutputFormat::Csv},
     {"json", OutputFormat::Json}}};

constexpr std::array<std::pair<std::string_view, FileAction>, 4> actions{
    {{"--trash", FileAction::Trash},
     {"--delete", FileAction::Delete},
     {"--link", FileAction::Link},
     {"--reflink", FileAction::Reflink}}};

/// The keep rules as KeepRule::parse reads them; "under=" takes a folder.
const std::vector<std::string> keepWords{"first",         "last",         "oldest", "newest",
                                         "shortest-path", "longest-path", "under="};

/// "--trash, --delete, --link or --reflink".
std::string actionNames(std::string_view last)
{
    return joined(wordsOf(actions), ", ", last);
}

/// Applies "--use name,size": the listed criteria on, every other one off.
Problem applyUse(std::string_view list, DedupeSettings& settings)
{
    for (const auto& [word, criterion] : criteria) {
        settings.*criterion = false;
    }
    if (list.empty()) {
        return "--use: give at least one of " + joined(wordsOf(criteria));
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(',', start);
        const std::string word = lower(list.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        const std::optional<Criterion> criterion = valueNamed(criteria, word);
        if (!criterion) {
            return "--use: unknown criterion " + inQuotes(word) + " (choose from " +
                   joined(wordsOf(criteria)) + ")";
        }
        settings.** criterion = true;
        if (comma == std::string_view::npos) {
            return std::nullopt;
        }
        start = comma + 1;
    }
}

/// "extension,size,crc": the criteria in use, as --use takes them.
std::string criteriaInUse(const DedupeSettings& settings)
{
    std::vector<std::string> used;
    for (const auto& [word, criterion] : criteria) {
        if (settings.*criterion) {
            used.emplace_back(word);
        }
    }
    return joined(used, ",");
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

std::vector<std::string> crcSizes()
{
    std::vector<std::string> sizes;
    for (const ComboEntry& entry : crcFilesFirstEntries()) {
        sizes.push_back(commandLineSize(entry.text));
    }
    return sizes;
}

/// The command-line name of a checksum size in KB ("1M" for 1024).
std::string crcSizeName(std::int32_t kilobytes)
{
    for (const ComboEntry& entry : crcFilesFirstEntries()) {
        if (entry.value == std::to_string(kilobytes)) {
            return commandLineSize(entry.text);
        }
    }
    return std::to_string(kilobytes) + "K";
}

// --- What the options do --------------------------------------------------------------------

using Apply = std::function<Problem(ParseState&, std::string_view)>;

/// A flag that sets a switch of the options.
Apply setting(bool Options::*flag)
{
    return [flag](ParseState& state, std::string_view) -> Problem {
        state.options.*flag = true;
        return std::nullopt;
    };
}

/// A flag that switches a name clean-up step off.
Apply keepingStep(bool DedupeSettings::*step)
{
    return [step](ParseState& state, std::string_view) -> Problem {
        state.options.settings.*step = false;
        return std::nullopt;
    };
}

Apply choosingAction(FileAction action)
{
    return [action](ParseState& state, std::string_view) -> Problem {
        if (state.options.action && *state.options.action != action) {
            return actionNames(" and ") + ": at most one of them";
        }
        state.options.action = action;
        return std::nullopt;
    };
}

/// --min-size or --max-size.
Apply sizeLimit(std::string_view name, FileSize IntakeScope::*limit)
{
    return [name, limit](ParseState& state, std::string_view value) -> Problem {
        const std::optional<FileSize> size = parseSize(value);
        if (!size) {
            return std::string(name) + ": " + inQuotes(value) +
                   " is not a size (bytes, or a number with K, M, G, T, KB, MB, GB or TB)";
        }
        state.options.scope.*limit = *size;
        return std::nullopt;
    };
}

/// --work-dir or --catalogue: a path that must not be empty.
Apply placeOf(std::optional<std::string> Options::*place, std::string_view missing)
{
    return [place, missing](ParseState& state, std::string_view value) -> Problem {
        if (value.empty()) {
            return std::string(missing);
        }
        state.options.*place = std::string(value);
        return std::nullopt;
    };
}

Problem applyCrcFirst(ParseState& state, std::string_view value)
{
    const std::optional<std::int32_t> kilobytes = crcFirstKilobytes(value);
    if (!kilobytes) {
        return "--crc-first: " + inQuotes(value) + " is not one of " + joined(crcSizes(), " ");
    }
    state.options.settings.lngCRCFilesFirstKB = *kilobytes;
    return std::nullopt;
}

Problem applyMatch(ParseState& state, std::string_view value)
{
    const std::optional<std::int32_t> percent = parsePercent(value);
    if (!percent) {
        return "--match: " + inQuotes(value) + " is not a whole number from 0 to 100";
    }
    state.options.settings.lngMatchScore = *percent;
    return std::nullopt;
}

Problem applyFormat(ParseState& state, std::string_view value)
{
    const std::optional<OutputFormat> format = valueNamed(formats, lower(value));
    if (!format) {
        return "--format: " + inQuotes(value) + " is not one of " + joined(wordsOf(formats));
    }
    state.options.format = *format;
    return std::nullopt;
}

Problem applyKeep(ParseState& state, std::string_view value)
{
    const std::optional<KeepRule> rule = KeepRule::parse(value);
    if (!rule) {
        std::vector<std::string> rules = keepWords;
        rules.back() += "DIR";
        return "--keep: " + inQuotes(value) + " is not one of " + joined(rules);
    }
    state.options.keep.push_back(*rule);
    return std::nullopt;
}

Problem applyExclude(ParseState& state, std::string_view value)
{
    if (value.empty()) {
        return "--exclude needs a pattern";
    }
    state.options.excludes.emplace_back(value);
    return std::nullopt;
}

/// An option that ends the command line: --help, --version.
Apply ending(ParseResult result)
{
    return [result](ParseState& state, std::string_view) -> Problem {
        state.ending = result;
        return std::nullopt;
    };
}

// --- The table ------------------------------------------------------------------------------

std::vector<OptionEntry> makeTable()
{
    const auto flag = [](std::string_view name, char letter, std::string help, Apply apply,
                         std::string_view heading = {}) {
        OptionEntry option;
        option.name = name;
        option.letter = letter;
        option.help = std::move(help);
        option.apply = std::move(apply);
        option.heading = heading;
        return option;
    };
    const auto valued = [](std::string_view name, ValueKind kind, std::string_view valueName,
                           std::string help, Apply apply) {
        OptionEntry option;
        option.name = name;
        option.kind = kind;
        option.valueName = valueName;
        option.help = std::move(help);
        option.apply = std::move(apply);
        return option;
    };

    std::vector<OptionEntry> table;
    table.push_back(flag("--recursive", 'r', "also scan every sub-folder",
                         setting(&Options::recursive), "Which files:"));
    table.push_back(
        flag("--one-file-system", 'x',
             "do not enter folders on another file system (a mount point) than the PATH they "
             "are reached from",
             [](ParseState& state, std::string_view) -> Problem {
                 state.options.scope.oneFileSystem = true;
                 return std::nullopt;
             }));
    table.push_back(flag("--hidden", 0,
                         "also take names starting with \".\" in folder scans (skipped by "
                         "default)",
                         [](ParseState& state, std::string_view) -> Problem {
                             state.options.scope.hiddenNames = true;
                             return std::nullopt;
                         }));
    table.push_back(valued(
        "--exclude", ValueKind::Other, "PATTERN",
        "leave out the files and folders whose path matches the shell pattern (a folder "
        "left out is never opened); repeatable. \"*\", \"?\" and \"[...]\" match within one "
        "name, \"**\" any number of folders. A pattern without \"/\" matches the name alone "
        "(--exclude '*.tmp', --exclude node_modules); one starting with \"/\" the whole path; "
        "one starting with \"./\" or \"../\" the path from the current folder; any other the "
        "end of the path (--exclude 'cache/*.tmp'). A final \"/\" matches folders only. "
        "Named PATHs are matched too",
        applyExclude));
    table.back().repeatable = true;
    table.push_back(valued(
        "--filter", ValueKind::Other, "PATTERNS",
        "which names a folder scan takes: name endings separated by \";\", letter case "
        "ignored. A pattern counts from its first \".\" on: \"*.txt;*.doc\" takes names "
        "ending in .txt or .doc. This is not a wildcard: a \"*\" anywhere else is an ordinary "
        "character, so \"*\" alone or \"*.t*\" takes nothing. Named files are always taken",
        [](ParseState& state, std::string_view value) -> Problem {
            state.options.filter = std::string(value);
            return std::nullopt;
        }));
    table.back().shownDefault = [](const Options& o) { return "\"" + o.filter + "\""; };
    table.push_back(valued("--min-size", ValueKind::Other, "SIZE",
                           "leave out files smaller than SIZE: bytes, or a number with K, M, G "
                           "or T (powers of 1024: 1K = 1024, also written KiB) or KB, MB, GB or "
                           "TB (powers of 1000: 10MB = 10,000,000). --min-size 1 leaves out "
                           "empty files, which otherwise all match each other",
                           sizeLimit("--min-size", &IntakeScope::minSize)));
    table.push_back(valued("--max-size", ValueKind::Other, "SIZE",
                           "leave out files larger than SIZE",
                           sizeLimit("--max-size", &IntakeScope::maxSize)));

    table.push_back(flag(
        "--content", 0,
        "find files with the same contents, whatever their names: short for "
        "--use size,crc --verify --min-size 1 (options given beside it win)",
        [](ParseState& state, std::string_view) -> Problem {
            state.content = true;
            return std::nullopt;
        },
        "How files are matched:"));
    table.push_back(valued("--use", ValueKind::ListOf, "LIST",
                           "criteria from " + joined(wordsOf(criteria), ",") + ", comma-separated",
                           [](ParseState& state, std::string_view value) {
                               return applyUse(value, state.options.settings);
                           }));
    table.back().words = wordsOf(criteria);
    table.back().shownDefault = [](const Options& o) { return criteriaInUse(o.settings); };
    table.push_back(
        valued("--match", ValueKind::Other, "PERCENT", "name match percentage 0..100", applyMatch));
    table.back().shownDefault = [](const Options& o) {
        return std::to_string(o.settings.lngMatchScore);
    };
    using Step = bool DedupeSettings::*;
    const std::array<std::pair<std::string_view, Step>, 4> steps{
        {{"--keep-brackets", &DedupeSettings::blnRemoveBracketedText},
         {"--keep-numbers", &DedupeSettings::blnRemoveNumbers},
         {"--keep-symbols", &DedupeSettings::blnRemoveSymbols},
         {"--keep-spaces", &DedupeSettings::blnRemoveSpaces}}};
    for (const auto& [name, step] : steps) {
        const bool last = name == steps.back().first;
        table.push_back(flag(
            name, 0, last ? "switch off one name clean-up step (all four are on by default)" : "",
            keepingStep(step)));
    }
    table.push_back(valued("--crc-first", ValueKind::OneOf, "SIZE",
                           "leading bytes to checksum: " + joined(crcSizes(), " ") +
                               "; checksums are computed only when crc is a criterion",
                           applyCrcFirst));
    table.back().words = crcSizes();
    table.back().shownDefault = [](const Options& o) {
        return crcSizeName(o.settings.lngCRCFilesFirstKB);
    };
    table.push_back(flag("--verify", 0,
                         "compare the whole contents of every group's files and list only sets "
                         "of files identical byte for byte; a file that matches no other is left "
                         "out (named on stderr)",
                         setting(&Options::verify)));

    table.push_back(flag("--trash", 0,
                         "move every copy but one of each verified set to the Trash (the "
                         "desktop's: ~/.local/share/Trash, or the .Trash-UID folder of the file's "
                         "own volume), where it can be restored",
                         choosingAction(FileAction::Trash), "Acting on the copies:"));
    table.push_back(flag("--delete", 0, "delete every copy but one of each verified set",
                         choosingAction(FileAction::Delete)));
    table.push_back(flag("--link", 0,
                         "replace every copy but one of each verified set by a hard link to the "
                         "file kept (both must be on one file system)",
                         choosingAction(FileAction::Link)));
    table.push_back(flag("--reflink", 0,
                         "replace every copy but one of each verified set by a copy-on-write "
                         "clone of the file kept, which shares its blocks on disk (btrfs, XFS); "
                         "each copy keeps its own name, owner, permissions and times",
                         choosingAction(FileAction::Reflink)));
    table.push_back(valued("--keep", ValueKind::OneOf, "RULE",
                           "which file of a set stays: first (the earliest catalogued), last, "
                           "oldest, newest (modification time), shortest-path, longest-path, or "
                           "under=DIR (a file inside DIR). Repeatable: rules apply in order; ties "
                           "go to first",
                           applyKeep));
    table.back().words = keepWords;
    table.back().repeatable = true;
    table.back().shownDefault = [](const Options&) { return keepWords.front(); };
    table.push_back(flag("--dry-run", 0, "say what the action would do; touch nothing",
                         setting(&Options::dryRun)));

    table.push_back(
        valued("--format", ValueKind::OneOf, "FORMAT",
               "the output: " + joined(wordsOf(formats), ", ", " or ") + ", described below",
               applyFormat));
    table.back().heading = "Output and files:";
    table.back().words = wordsOf(formats);
    table.back().shownDefault = [](const Options&) { return std::string(formats.front().first); };
    table.push_back(flag("--print0", '0',
                         "print each path followed by a NUL byte and each group followed by one "
                         "more, for xargs -0, in place of --format",
                         [](ParseState& state, std::string_view) -> Problem {
                             state.options.format = OutputFormat::Nul;
                             return std::nullopt;
                         }));
    table.push_back(valued("--work-dir", ValueKind::Folder, "DIR",
                           "write the work files dedupe.dat and dupelist.dat to DIR and keep "
                           "them (default: none are written; what they would hold stays in "
                           "memory)",
                           placeOf(&Options::workDir, "--work-dir needs a folder")));
    table.push_back(valued("--catalogue", ValueKind::File, "FILE",
                           "keep the catalogue in FILE (emptied first; default: in a private "
                           "temporary folder, removed at exit)",
                           placeOf(&Options::catalogue, "--catalogue needs a file name")));
    table.push_back(valued("--cache", ValueKind::File, "FILE",
                           "keep the files' checksums in FILE between runs (made when missing): "
                           "a file still as it was is not read again",
                           placeOf(&Options::cache, "--cache needs a file name")));
    table.push_back(flag("--quiet", 'q',
                         "no progress display (shown only when stderr is a terminal), and no "
                         "note on stderr when there is nothing to report",
                         setting(&Options::quiet)));
    table.push_back(flag("--help", 'h', "show this help and exit", ending(ShowHelp{})));
    table.push_back(flag("--version", 0, "show the version and exit", ending(ShowVersion{})));
    return table;
}

/// The option the predicate picks, or null.
template <class Picks> const OptionEntry* findOption(Picks picks)
{
    const std::span<const OptionEntry> table = optionTable();
    const auto found = std::find_if(table.begin(), table.end(), picks);
    return found == table.end() ? nullptr : &*found;
}

/// Applies one option; `value` is empty and absent for a flag.
Problem applyOption(ParseState& state, const OptionEntry& option,
                    std::optional<std::string_view> value)
{
    if (option.kind == ValueKind::None && value) {
        return std::string(option.name) + " takes no value";
    }
    if (option.kind != ValueKind::None && !value) {
        return std::string(option.name) + " needs a value";
    }
    state.given.insert(option.name);
    return option.apply(state, value.value_or(std::string_view{}));
}

/// The rules between options, once all are read.
Problem finish(ParseState& state)
{
    Options& options = state.options;
    if (options.paths.empty()) {
        return "no PATH given";
    }
    const auto given = [&](std::string_view name) { return state.given.contains(name); };
    if (options.dryRun && !options.action) {
        return "--dry-run shows what " + actionNames(" or ") + " would do: give one";
    }
    if (!options.keep.empty() && !options.action) {
        return "--keep says which file " + actionNames(" or ") + " keeps: give one";
    }
    if (given("--print0") && given("--format")) {
        return "--print0 and --format: give one of them";
    }
    if (state.content) {
        if (!given("--use")) {
            applyUse("size,crc", options.settings);
        }
        if (!given("--min-size")) {
            options.scope.minSize = 1;
        }
        options.verify = true;
    }
    options.verify = options.verify || options.action.has_value();
    if (options.scope.minSize > options.scope.maxSize) {
        return "--min-size is larger than --max-size: no file could be taken";
    }
    // Checksums are only computed when they are compared, as in the window.
    options.settings.lngCRCSize =
        options.settings.blnUseCRC ? options.settings.lngCRCFilesFirstKB * 1024 : 0;
    return std::nullopt;
}

/// Reads one argument starting with "-" (not "--" alone); `next` hands out the argument after
/// it, for a value.
template <class Next> Problem readOption(ParseState& state, std::string_view arg, Next next)
{
    if (arg[1] != '-') {
        // Bundled short options: -rq; a letter that takes a value takes the rest, or the next
        // argument.
        for (std::size_t i = 1; i < arg.size() && !state.ending; ++i) {
            const OptionEntry* option = findOption(
                [&](const OptionEntry& candidate) { return candidate.letter == arg[i]; });
            if (option == nullptr) {
                return "unknown option " + inQuotes(std::string("-") + arg[i]);
            }
            std::optional<std::string_view> value;
            if (option->kind != ValueKind::None) {
                value = i + 1 < arg.size() ? std::optional(arg.substr(i + 1)) : next();
                i = arg.size();
            }
            if (Problem problem = applyOption(state, *option, value)) {
                return problem;
            }
        }
        return std::nullopt;
    }
    // A long option, with its value after "=" or as the next argument.
    const std::size_t eq = arg.find('=');
    const std::string_view name = arg.substr(0, eq);
    const OptionEntry* option =
        findOption([&](const OptionEntry& candidate) { return candidate.name == name; });
    if (option == nullptr) {
        return "unknown option " + inQuotes(name);
    }
    std::optional<std::string_view> value;
    if (eq != std::string_view::npos) {
        value = arg.substr(eq + 1);
    } else if (option->kind != ValueKind::None) {
        value = next();
    }
    return applyOption(state, *option, value);
}

// --- Help -----------------------------------------------------------------------------------

constexpr std::size_t helpWidth = 80;
constexpr std::size_t helpIndent = 21;

/// The words of the text in lines of at most helpWidth characters, the first going on from
/// helpIndent, the others indented by it.
std::string wrapped(std::string_view text)
{
    std::string out;
    std::size_t column = helpIndent;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find(' ', start), text.size());
        const std::string_view word = text.substr(start, end - start);
        start = end + 1;
        if (!out.empty() && column + 1 + word.size() > helpWidth) {
            out += "\n" + std::string(helpIndent, ' ');
            column = helpIndent;
        } else if (!out.empty()) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
    }
    return out;
}

/// "-r, --recursive" or "--use LIST".
std::string namesOf(const OptionEntry& option)
{
    std::string names = option.letter != 0 ? std::string("-") + option.letter + ", " : "";
    names += option.name;
    if (!option.valueName.empty()) {
        names += " " + std::string(option.valueName);
    }
    return names;
}

std::string optionsHelp()
{
    const Options defaults;
    std::string out;
    std::string sharing; // options that share the help of the next
    for (const OptionEntry& option : optionTable()) {
        if (!option.heading.empty()) {
            out += "\n" + std::string(option.heading) + "\n";
        }
        if (option.help.empty()) {
            sharing += namesOf(option) + ", ";
            continue;
        }
        std::string names = "  " + sharing + namesOf(option);
        sharing.clear();
        std::string help = option.help;
        if (option.shownDefault) {
            help += " (default " + option.shownDefault(defaults) + ")";
        }
        if (names.size() + 1 >= helpIndent) {
            names += "\n";
            names.resize(names.size() + helpIndent, ' ');
        } else {
            names.resize(helpIndent, ' ');
        }
        out += names + wrapped(help) + "\n";
    }
    return out;
}

} // namespace

std::span<const OptionEntry> optionTable()
{
    static const std::vector<OptionEntry> table = makeTable();
    return table;
}

ParseResult parseArguments(const std::vector<std::string_view>& args)
{
    ParseState state;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            state.options.paths.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const auto next = [&]() -> std::optional<std::string_view> {
            if (i + 1 < args.size()) {
                return args[++i];
            }
            return std::nullopt;
        };
        if (Problem problem = readOption(state, arg, next)) {
            return UsageError{*problem};
        }
        if (state.ending) {
            return *state.ending;
        }
    }
    if (Problem problem = finish(state)) {
        return UsageError{*problem};
    }
    return state.options;
}

std::optional<FileSize> parseSize(std::string_view text)
{
    std::string word = lower(text);
    // "10", "10B", "10K", "10KiB" (1024s), "10KB" (1000s).
    bool decimal = false;
    if (word.ends_with("ib")) {
        word.resize(word.size() - 2);
        if (word.empty() || std::string_view("kmgt").find(word.back()) == std::string_view::npos) {
            return std::nullopt;
        }
    } else if (word.ends_with('b')) {
        word.pop_back();
        decimal = !word.empty() && std::string_view("kmgt").find(word.back()) != std::string::npos;
    }
    std::int64_t unit = 1;
    const std::size_t power =
        word.empty() ? std::string_view::npos : std::string_view("kmgt").find(word.back());
    if (power != std::string_view::npos) {
        word.pop_back();
        for (std::size_t i = 0; i <= power; ++i) {
            unit *= decimal ? 1000 : 1024;
        }
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

std::string helpText()
{
    return R"(Usage: corvelle-cli [OPTIONS] PATH...
Catalogue files and folders, then list the groups of duplicates among them.

  PATH               a folder to scan or a file to catalogue, in the order given; a
                     link to a folder counts as a folder, but links inside a scanned
                     folder are never followed

Which to use: --content finds files whose bytes are equal whatever their names,
as jdupes and fdupes do; use it to free space. Without it the search is the
window's: the same extension, size and CRC-32 of the first megabyte, without
reading files whole (quicker, but such files can still differ: --verify, or any
action, compares them byte for byte). --use name finds files with similar names.
)" + optionsHelp() +
           R"(
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
         same name ending in "_base64" holds the exact bytes (standard base64).
         With an action each group also says what was kept and done (below)
         With --verify (and every action) tsv and csv add an eighth column,
         Physical File, and json a "physical_file" field: the number, within its
         group, of the file each path names; hard links of one file share it
  -0     each full path as it is, followed by NUL; an extra NUL after each group
With nothing to compare (fewer than 2 files catalogued) or no duplicates found, the
output is empty: {"groups": []}, the csv header alone, nothing for tsv and -0, and
one sentence for text; the reason goes to stderr.

CRC column: "$" and the CRC-32 of the file's leading bytes in hex. $00000000 when
crc is not a criterion (nothing was read) or for an empty file; $FFFFFFFF when the
file could not be read (it then matches no other file by checksum).

Messages go to stderr, one line each, starting with "corvelle-cli: ": files that
cannot be read and folders that cannot be listed, with the reason.

Actions: --trash, --delete, --link and --reflink imply --verify: nothing is acted
on unless it was just proven identical, byte for byte, to the file kept. Just
before each action the copy must still be the file verified (device, inode, size,
modification and change time, not a link) and the file kept must still be there
as verified; two paths of one physical file are never acted on. Each action, each
file skipped and a closing summary go to stderr (with -q only what was skipped).
Bytes freed count each physical file once, when its last name went. With --format
json the output is written once the actions are done: each group has "kept" (the
file that stays, or null when the set was left alone, with "left_alone" saying
why) and "actions", one per path acted on: {"path", "action": "trashed" (with
"trash_path"), "deleted", "linked", "reflinked" or "skipped" (with "reason")};
a dry run says "would trash" and so on. A closing "summary" gives "acted",
"skipped" and "bytes_freed".

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
