#include "CliCompletion.h"

#include "CliOptions.h"

#include <algorithm>

namespace corvelle::cli {
namespace {

/// The words joined by spaces.
std::string spaced(const std::vector<std::string>& words)
{
    std::string out;
    for (const std::string& word : words) {
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

/// Every spelling of the option: "--recursive -r".
std::vector<std::string> spellings(const OptionSpec& spec)
{
    std::vector<std::string> names{std::string(spec.name)};
    if (spec.letter != 0) {
        names.push_back(std::string("-") + spec.letter);
    }
    return names;
}

/// A word of an option that a folder follows: "under=".
bool takesFolder(const std::string& word)
{
    return word.ends_with('=');
}

/// The names of the options whose values are completed alike, "--a|--b", for a case label.
std::string caseLabel(ValueKind kind)
{
    std::string label;
    for (const OptionSpec& spec : optionTable()) {
        if (spec.kind == kind) {
            for (const std::string& name : spellings(spec)) {
                label += (label.empty() ? "" : "|") + name;
            }
        }
    }
    return label;
}

/// The bash case branch that completes the value of one option with its words.
std::string bashWordsBranch(const OptionSpec& spec)
{
    std::string branch = "    " + std::string(spec.name) + ")\n";
    if (spec.kind == ValueKind::ListOf) {
        // Separated by ",": the words after the last comma.
        branch += "        local head=\n"
                  "        [[ $value == *,* ]] && head=${value%,*},\n"
                  "        _corvelle_cli_reply \"$head\" -W '" +
                  spaced(spec.words) +
                  "' -- \"${value##*,}\"\n"
                  "        compopt -o nospace 2>/dev/null ;;\n";
        return branch;
    }
    for (const std::string& word : spec.words) {
        if (takesFolder(word)) {
            // "under=" and then a folder.
            branch += "        if [[ $value == " + word + "* ]]; then\n" +
                      "            _corvelle_cli_reply " + word + " -S / -d -- \"${value#" + word +
                      "}\"\n" + "            compopt -o nospace 2>/dev/null\n" +
                      "            return\n" + "        fi\n";
        }
    }
    branch += "        _corvelle_cli_reply '' -W '" + spaced(spec.words) + "' -- \"$value\"\n";
    if (std::any_of(spec.words.begin(), spec.words.end(), takesFolder)) {
        branch += "        [[ ${COMPREPLY[0]-} == *= ]] && compopt -o nospace 2>/dev/null\n";
    }
    return branch + "        ;;\n";
}

/// Text for a zsh _arguments description: no brackets, colons or quotes of its own.
std::string zshDescription(std::string_view help)
{
    std::string text(help.substr(0, std::min(help.find_first_of(";:("), help.size())));
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    std::string out;
    for (const char c : text) {
        if (c == '[' || c == ']' || c == ':' || c == '\\') {
            out += '\\';
        }
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out;
}

/// What zsh completes as an option's value: after the description's ":VALUE:".
std::string zshValueAction(const OptionSpec& spec)
{
    switch (spec.kind) {
    case ValueKind::OneOf:
        return std::any_of(spec.words.begin(), spec.words.end(), takesFolder)
                   ? "->" + std::string(spec.name.substr(2))
                   : "(" + spaced(spec.words) + ")";
    case ValueKind::ListOf:
        return "_sequence compadd - " + spaced(spec.words);
    case ValueKind::Folder:
        return "_files -/";
    case ValueKind::File:
        return "_files";
    case ValueKind::None:
    case ValueKind::Other:
        break;
    }
    return " ";
}

/// One _arguments spec line for the option.
std::string zshSpec(const OptionSpec& spec, std::string_view help)
{
    const std::string description = "[" + zshDescription(help) + "]";
    std::string names = std::string(spec.name);
    std::string line = "    ";
    if (spec.letter != 0) {
        const std::string letter = std::string("-") + spec.letter;
        line += "'(" + letter + " " + names + ")'{" + letter + "," + names + "}'";
    } else {
        line += "'" + std::string(spec.repeatable ? "*" : "");
        line += names;
    }
    if (spec.kind != ValueKind::None) {
        line += "=";
    }
    line += description;
    if (spec.kind != ValueKind::None) {
        std::string value(spec.valueName);
        std::transform(value.begin(), value.end(), value.begin(),
                       [](char c) { return static_cast<char>(c - 'A' + 'a'); });
        line += ":" + value + ":" + zshValueAction(spec);
    }
    return line + "' \\\n";
}

} // namespace

std::string bashCompletion()
{
    std::string options;
    std::string branches;
    for (const OptionSpec& spec : optionTable()) {
        options += (options.empty() ? "" : " ") + spaced(spellings(spec));
        if (spec.kind == ValueKind::OneOf || spec.kind == ValueKind::ListOf) {
            branches += bashWordsBranch(spec);
        }
    }
    return R"(# bash completion for corvelle-cli, written from the program's own table of options.

# Sets COMPREPLY to compgen's words (the arguments after the first) with the text $1 before
# each, less what bash already counts as typed before the word: it splits words at "=".
_corvelle_cli_reply()
{
    local head=$1
    shift
    mapfile -t COMPREPLY < <(compgen "$@")
    COMPREPLY=("${COMPREPLY[@]/#/$typed$head}")
    if [[ $COMP_WORDBREAKS == *=* && $typed$head == *=* ]]; then
        local split=$typed$head
        split=${split%=*}=
        COMPREPLY=("${COMPREPLY[@]#"$split"}")
    fi
}

_corvelle_cli()
{
    # The word being completed and the one before it, put back together where bash split
    # them at "=" ("--keep under=/x", "--format=csv").
    local -a words=()
    local i word
    for ((i = 1; i <= COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if ((${#words[@]} > 0)) && [[ $word == = || ${words[-1]} == *= ]]; then
            words[-1]+=$word
        else
            words+=("$word")
        fi
    done
    local cur=${words[-1]-} prev= option value typed=
    ((${#words[@]} > 1)) && prev=${words[-2]}
    if [[ $cur == --*=* ]]; then
        option=${cur%%=*}
        value=${cur#*=}
        typed=$option=
    else
        option=$prev
        value=$cur
    fi

    case $option in
)" + branches +
           "    " + caseLabel(ValueKind::Folder) + R"()
        _corvelle_cli_reply '' -d -- "$value"
        compopt -o filenames 2>/dev/null ;;
    )" + caseLabel(ValueKind::File) +
           R"()
        _corvelle_cli_reply '' -f -- "$value"
        compopt -o filenames 2>/dev/null ;;
    )" + caseLabel(ValueKind::Other) +
           R"()
        COMPREPLY=() ;;
    *)
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W ')" +
           options + R"(' -- "$cur"))
        else
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            compopt -o filenames 2>/dev/null
        fi ;;
    esac
}
complete -F _corvelle_cli corvelle-cli
)";
}

std::string zshCompletion()
{
    std::string specs;
    std::string states;
    std::string sharedHelp;
    const std::span<const OptionSpec> table = optionTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const OptionSpec& spec = table[i];
        // Options that share the next one's help get it too.
        std::size_t helped = i;
        while (helped + 1 < table.size() && table[helped].help.empty()) {
            ++helped;
        }
        specs += zshSpec(spec, table[helped].help);
        if (zshValueAction(spec).starts_with("->")) {
            std::string folderWords;
            std::string plainWords;
            for (const std::string& word : spec.words) {
                (takesFolder(word) ? folderWords : plainWords) += " " + word;
            }
            states += "    " + std::string(spec.name.substr(2)) +
                      ")\n"
                      "        if compset -P '*='; then\n"
                      "            _files -/\n"
                      "        else\n"
                      "            compadd -S ''" +
                      folderWords + "\n            compadd" + plainWords + "\n        fi ;;\n";
        }
    }
    return "#compdef corvelle-cli\n"
           "# zsh completion for corvelle-cli, written from the program's own table of "
           "options.\n\n"
           "local state\n"
           "_arguments -s -S \\\n" +
           specs + "    '*:path:_files' && return 0\n\ncase $state in\n" + states + "esac\n";
}

} // namespace corvelle::cli
