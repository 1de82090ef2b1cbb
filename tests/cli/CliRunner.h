// Runs the real corvelle-cli binary and collects what it printed and how it ended.
#pragma once

#include "TestSupport.h"

#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace corvelle::test {

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;

    [[nodiscard]] std::vector<std::string> errLines() const
    {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < err.size()) {
            const std::size_t end = err.find('\n', start);
            lines.push_back(err.substr(start, end - start));
            start = end == std::string::npos ? err.size() : end + 1;
        }
        return lines;
    }
};

/// Runs corvelle-cli with `args` in the folder `cwd`, stdin from /dev/null.
inline CliResult runCli(const std::vector<std::string>& args, const std::filesystem::path& cwd)
{
    TempDir capture;
    const std::filesystem::path outFile = capture / "out";
    const std::filesystem::path errFile = capture / "err";
    const pid_t child = ::fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
            ::dup2(err, 2) < 0 || ::chdir(cwd.c_str()) != 0) {
            ::_exit(127);
        }
        std::vector<char*> argv;
        std::string program = CORVELLE_CLI_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string& arg : copies) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    CliResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readFile(outFile);
    result.err = readFile(errFile);
    return result;
}

/// Splits text at `separator`, dropping one empty piece after a final separator.
inline std::vector<std::string> splitText(const std::string& text, const std::string& separator)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string::npos) {
            end = text.size();
        }
        pieces.push_back(text.substr(start, end - start));
        start = end + separator.size();
    }
    return pieces;
}

} // namespace corvelle::test
