// Writes a shell completion of corvelle-cli from its table of options, at build time:
// corvelle-cli-completion bash|zsh.
#include "CliCompletion.h"

#include <cstdio>
#include <string_view>

int main(int argc, char* argv[])
{
    const std::string_view shell = argc == 2 ? argv[1] : "";
    if (shell != "bash" && shell != "zsh") {
        std::fputs("usage: corvelle-cli-completion bash|zsh\n", stderr);
        return 2;
    }
    const std::string script =
        shell == "bash" ? corvelle::cli::bashCompletion() : corvelle::cli::zshCompletion();
    return std::fputs(script.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
}
