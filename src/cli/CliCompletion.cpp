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
std::vector<std::string> spellings(const OptionEntry& option)
{
    std::vector<std::string> names{std::string(option.name)};
    if (option.letter != 0) {
        names.push_back(std::string("-") + option.letter);
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
    for (const OptionEntry& option : optionTable()) {
        if (option.kind == kind) {
            for (const std::string& name : spellings(option)) {
                label += (label.empty() ? "" : "|") + name;
            }
        }
    }
    return label;
}

/// The bash case branch that completes the value of one option with its words.
std::string bashWordsBranch(const OptionEntry& option)
{
    std::string branch = "    " + std::string(option.name) + ")\n";
    if (option.kind == ValueKind::ListOf) {
        // Separated by ",": the words after the last comma.
        branch += "        local head=\n"
                  "        [[ $value == *,* ]] && head=${value%,*},\n"
                  "        _corvelle_cli_reply \"$head\" -W '" +
                  spaced(option.words) +
                  "' -- \"${value##*,}\"\n"
                  "        compopt -o nospace 2>/dev/null ;;\n";
        return branch;
    }
    for (const std::string& word : option.words) {
        if (takesFolder(word)) {
            // "under=" and then a folder.
            branch += "        if [[ $value == " + word + "* ]]; then\n" +
                      "            _corvelle_cli_reply " + word + " -S / -d -- \"${value#" + word +
                      "}\"\n" + "            compopt -o nospace 2>/dev/null\n" +
                      "            return\n" + "        fi\n";
        }
    }
    branch += "        _corvelle_cli_reply '' -W '" + spaced(option.words) + "' -- \"$value\"\n";
    if (std::any_of(option.words.begin(), option.words.end(), takesFolder)) {
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
std::string zshValueAction(const OptionEntry& option)
{
    switch (option.kind) {
    case ValueKind::OneOf:
        return std::any_of(option.words.begin(), option.words.end(), takesFolder)
                   ? "->" + std::string(option.name.substr(2))
                   : "(" + spaced(option.words) + ")";
    case ValueKind::ListOf:
        return "_sequence compadd - " + spaced(option.words);
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

/// The option's line among the arguments of zsh's _arguments.
std::string zshArgumentLine(const OptionEntry& option, std::string_view help)
{
    const std::string description = "[" + zshDescription(help) + "]";
    std::string names = std::string(option.name);
    std::string line = "    ";
    if (option.letter != 0) {
        const std::string letter = std::string("-") + option.letter;
        line += "'(" + letter + " " + names + ")'{" + letter + "," + names + "}'";
    } else {
        line += "'" + std::string(option.repeatable ? "*" : "");
        line += names;
    }
    if (option.kind != ValueKind::None) {
        line += "=";
    }
    line += description;
    if (option.kind != ValueKind::None) {
        std::string value(option.valueName);
        std::transform(value.begin(), value.end(), value.begin(),
                       [](char c) { return static_cast<char>(c - 'A' + 'a'); });
        line += ":" + value + ":" + zshValueAction(option);
    }
    return line + "' \\\n";
}

} // namespace

std::string bashCompletion()
{
    std::string options;
    std::string branches;
    for (const OptionEntry& option : optionTable()) {
        options += (options.empty() ? "" : " ") + spaced(spellings(option));
        if (option.kind == ValueKind::OneOf || option.kind == ValueKind::ListOf) {
            branches += bashWordsBranch(option);
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
    std::string argumentLines;
    std::string states;
    std::string sharedHelp;
    const std::span<const OptionEntry> table = optionTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const OptionEntry& option = table[i];
        // Options that share the next one's help get it too.
        std::size_t helped = i;
        while (helped + 1 < table.size() && table[helped].help.empty()) {
            ++helped;
        }
        argumentLines += zshArgumentLine(option, table[helped].help);
        if (zshValueAction(option).starts_with("->")) {
            std::string folderWords;
            std::string plainWords;
            for (const std::string& word : option.words) {
                (takesFolder(word) ? folderWords : plainWords) += " " + word;
            }
            states += "    " + std::string(option.name.substr(2)) +
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
           argumentLines + "    '*:path:_files' && return 0\n\ncase $state in\n" + states +
           "esac\n";
}

} // namespace corvelle::cli
