// corvelle-cli: catalogue the given paths, run the dedupe, print the duplicate list.
#pragma once

namespace corvelle::cli {

/// Runs the command line; returns the process exit code.
int run(int argc, char* argv[]);

} // namespace corvelle::cli
