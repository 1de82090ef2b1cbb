// Runs the real corvelle-cli binary and collects what it printed and how it ended.
#pragma once

#include "TestSupport.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

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

/// Variables set for the program on top of the test's own environment ("NAME=value").
using Environment = std::vector<std::string>;

/// A command that runs the program for the test, before its own path and arguments: another
/// user's identity, a private mount namespace ("setpriv", ...). Empty: the program itself.
using Launcher = std::vector<std::string>;

/// Starts corvelle-cli with `args` in `cwd`: stdin from /dev/null, stdout and stderr on the
/// given descriptors. Returns its process ID.
inline pid_t startCli(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                      const Environment& env, int out, int err, const Launcher& launcher = {})
{
    std::vector<std::string> copies = launcher;
    copies.emplace_back(CORVELLE_CLI_PATH);
    copies.insert(copies.end(), args.begin(), args.end());
    std::string program = copies.front();
    std::vector<char*> argv;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    // Ours first: getenv finds the first of a name.
    std::vector<std::string> variables = env;
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    for (char** entry = environ; *entry != nullptr; ++entry) {
        envp.push_back(*entry);
    }
    envp.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        // The test's own handling of SIGPIPE must not be inherited.
        std::signal(SIGPIPE, SIG_DFL);
        const int in = ::open("/dev/null", O_RDONLY);
        if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
            ::chdir(cwd.c_str()) != 0) {
            ::_exit(127);
        }
        ::execvpe(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    return child;
}

/// Waits for the process; a death by a signal gives 128 + the signal, as a shell reports it.
inline int waitForExit(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

/// corvelle-cli running with its stdout on a pipe that the test reads, or closes early.
class RunningCli {
public:
    RunningCli(const std::vector<std::string>& args, const std::filesystem::path& cwd,
               const Environment& env = {}, const Launcher& launcher = {})
    {
        int pipeEnds[2];
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        m_output = pipeEnds[0];
        const int err = ::open(m_errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        m_child = startCli(args, cwd, env, pipeEnds[1], err, launcher);
        ::close(pipeEnds[1]);
        ::close(err);
    }
    ~RunningCli()
    {
        if (m_child > 0) {
            ::kill(m_child, SIGKILL);
            waitForExit(m_child);
        }
        closeOutput();
    }
    RunningCli(const RunningCli&) = delete;
    RunningCli& operator=(const RunningCli&) = delete;

    /// Blocks until the program has written something, and returns one byte of it.
    std::string readByte()
    {
        char byte = 0;
        while (::read(m_output, &byte, 1) < 0) {
        }
        return std::string(1, byte);
    }
    /// The reader goes away, as "| head" does.
    void closeOutput()
    {
        if (m_output >= 0) {
            ::close(m_output);
            m_output = -1;
        }
    }
    void signal(int number) const { ::kill(m_child, number); }

    /// Waits for the end: stdout is read on (unless closed) so the program never blocks on it.
    CliResult finish()
    {
        CliResult result;
        char buffer[65536];
        ssize_t got = 0;
        while (m_output >= 0 && (got = ::read(m_output, buffer, sizeof buffer)) != 0) {
            if (got > 0) {
                result.out.append(buffer, static_cast<std::size_t>(got));
            }
        }
        result.exitCode = waitForExit(m_child);
        m_child = -1;
        result.err = readFile(m_errFile);
        return result;
    }

private:
    TempDir m_capture;
    std::filesystem::path m_errFile = m_capture / "err";
    int m_output = -1;
    pid_t m_child = -1;
};

/// Runs corvelle-cli with `args` in the folder `cwd` to its end.
inline CliResult runCli(const std::vector<std::string>& args, const std::filesystem::path& cwd,
                        const Environment& env = {}, const Launcher& launcher = {})
{
    return RunningCli(args, cwd, env, launcher).finish();
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
