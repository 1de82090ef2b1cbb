// The shell completions of corvelle-cli, written from its table of options, so that every
// option and every word an option takes is offered as the parser reads it.
#pragma once

#include <string>

namespace corvelle::cli {

/// The bash completion script: options, the words of --use, --format, --keep (under= then a
/// folder) and --crc-first, folders after --work-dir, files after --catalogue and as PATHs.
std::string bashCompletion();

/// The zsh completion function (#compdef corvelle-cli) offering the same.
std::string zshCompletion();

} // namespace corvelle::cli
