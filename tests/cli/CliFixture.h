// Runs the real corvelle-cli binary on a temporary tree and reads what it printed and how it
// ended.
#pragma once

#include "TestSupport.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <poll.h>
#include <pty.h>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace corvelle::test {

namespace fs = std::filesystem;

/// The lines of a text, without their line ends.
inline std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;

    [[nodiscard]] std::vector<std::string> errLines() const { return linesOf(err); }
};

/// Where a run's stderr goes: a file, or a terminal (a pseudo-terminal the test reads), as
/// when a person runs it.
enum class ErrorOutput { File, Terminal };

/// A command line run in `cwd`, stdin from /dev/null, its stdout on a pipe that the test reads
/// or closes early, its stderr in a file or on a terminal.
class RunningCli {
public:
    RunningCli(std::vector<std::string> words, const fs::path& cwd,
               ErrorOutput errorOutput = ErrorOutput::File)
    {
        // Everything the child needs is made before the fork.
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        int pipeEnds[2];
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        m_output = pipeEnds[0];
        int err = -1;
        if (errorOutput == ErrorOutput::Terminal) {
            if (::openpty(&m_terminal, &err, nullptr, nullptr, nullptr) != 0) {
                throw std::runtime_error("openpty failed");
            }
            ::fcntl(m_terminal, F_SETFD, FD_CLOEXEC);
            ::fcntl(err, F_SETFD, FD_CLOEXEC);
        } else {
            err = ::open(m_errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        }
        m_child = ::fork();
        if (m_child < 0) {
            throw std::runtime_error("fork failed");
        }
        if (m_child == 0) {
            std::signal(SIGPIPE, SIG_DFL); // not the test's own handling
            const int in = ::open("/dev/null", O_RDONLY);
            if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(pipeEnds[1], 1) < 0 || ::dup2(err, 2) < 0 ||
                ::chdir(cwd.c_str()) != 0) {
                ::_exit(127);
            }
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(pipeEnds[1]);
        ::close(err);
    }
    ~RunningCli()
    {
        if (m_child > 0) {
            ::kill(m_child, SIGKILL);
            waitForExit();
        }
        closeOutput();
        if (m_terminal >= 0) {
            ::close(m_terminal);
        }
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

    /// Waits for the end: stdout (unless closed) and the terminal are read on, so the program
    /// never blocks on them.
    CliResult finish()
    {
        CliResult result;
        std::vector<std::pair<int, std::string*>> open;
        if (m_output >= 0) {
            open.emplace_back(m_output, &result.out);
        }
        if (m_terminal >= 0) {
            open.emplace_back(m_terminal, &result.err);
        }
        while (!open.empty()) {
            std::vector<pollfd> fds;
            for (const auto& [fd, text] : open) {
                fds.push_back(pollfd{fd, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), -1) < 0) {
                continue;
            }
            for (std::size_t i = fds.size(); i-- > 0;) {
                if (fds[i].revents == 0) {
                    continue;
                }
                char buffer[65536];
                const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
                if (got > 0) {
                    open[i].second->append(buffer, static_cast<std::size_t>(got));
                } else if (got == 0 || errno != EINTR) {
                    // The end of the pipe; a terminal whose other side is closed says EIO.
                    open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
                }
            }
        }
        result.exitCode = waitForExit();
        if (m_terminal < 0) {
            result.err = readFile(m_errFile);
        }
        return result;
    }

private:
    /// A death by a signal gives 128 + the signal, as a shell reports it.
    int waitForExit()
    {
        int status = 0;
        while (::waitpid(m_child, &status, 0) < 0) {
        }
        m_child = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    TempDir m_capture;
    fs::path m_errFile = m_capture / "err";
    int m_output = -1;
    int m_terminal = -1;
    pid_t m_child = -1;
};

/// The tsv output as rows of cells, each cell back to its bytes.
using Row = std::vector<std::string>;
inline std::vector<Row> tsvRows(const std::string& out)
{
    std::vector<Row> rows;
    for (const std::string& line : linesOf(out)) {
        Row cells(1);
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\t') {
                cells.emplace_back();
            } else if (line[i] == '\\' && i + 1 < line.size()) {
                const char next = line[++i];
                cells.back() += next == 't' ? '\t' : next == 'n' ? '\n' : next;
            } else {
                cells.back() += line[i];
            }
        }
        rows.push_back(cells);
    }
    return rows;
}

/// The groups of the tsv output as sets of full paths.
using Groups = std::set<std::set<std::string>>;
inline Groups groupsOf(const std::string& tsv)
{
    std::map<std::string, std::set<std::string>> byGroup;
    for (const Row& row : tsvRows(tsv)) {
        byGroup[row.at(1)].insert(row.at(2) + row.at(3) + row.at(4));
    }
    Groups groups;
    for (const auto& [number, members] : byGroup) {
        groups.insert(members);
    }
    return groups;
}

/// Words put between "env" and the program: "NAME=value" variables for it, then perhaps a
/// command that runs it (another user's identity, a private mount namespace, ...).
using Launcher = std::vector<std::string>;

/// Runs the program as the user nobody (the test runs as root), through a copy of it in `bin`
/// that nobody may run, wherever the build folder lies. What the run reads must be readable
/// by all, the folders it writes to writable by all.
inline Launcher runAsNobody(const TempDir& bin)
{
    fs::permissions(bin.path(), fs::perms::all);
    const fs::path program = bin / "corvelle-cli";
    fs::copy_file(CORVELLE_CLI_PATH, program);
    // The shell runs the copy, and drops the path of the original that follows it.
    const std::string runCopy = "shift; exec \"$0\" \"$@\"";
    return {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "sh",
            "-c",      runCopy,          program.string()};
}

/// A tree to run in, a work folder, and the folder the program makes its temporary folder in.
class Cli : public ::testing::Test {
protected:
    /// Starts corvelle-cli in the tree, with TMPDIR pointing to a folder of the test's own to
    /// see what a run leaves there.
    [[nodiscard]] std::unique_ptr<RunningCli>
    start(const std::vector<std::string>& args, const Launcher& launcher = {},
          ErrorOutput errorOutput = ErrorOutput::File) const
    {
        std::vector<std::string> words{"env", "TMPDIR=" + tmp.path().string()};
        words.insert(words.end(), launcher.begin(), launcher.end());
        words.emplace_back(CORVELLE_CLI_PATH);
        words.insert(words.end(), args.begin(), args.end());
        return std::make_unique<RunningCli>(words, dir.path(), errorOutput);
    }
    [[nodiscard]] CliResult run(const std::vector<std::string>& args,
                                const Launcher& launcher = {}) const
    {
        return start(args, launcher)->finish();
    }
    /// A run with stderr on a terminal; CliResult::err holds what the terminal showed.
    [[nodiscard]] CliResult runOnTerminal(const std::vector<std::string>& args) const
    {
        return start(args, {}, ErrorOutput::Terminal)->finish();
    }
    [[nodiscard]] bool temporaryFilesLeft() const { return !fs::is_empty(tmp.path()); }
    /// The full path of a file in the tree, as the program prints it.
    [[nodiscard]] std::string at(const std::string& relative) const
    {
        return dir.path().string() + "/" + relative;
    }

    TempDir dir;
    TempDir work;
    TempDir tmp;
};

} // namespace corvelle::test
