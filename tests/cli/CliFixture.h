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

/// A command line run in `cwd`, stdin from /dev/null, its stdout on a pipe that the test reads
/// or closes early, its stderr in a file.
class RunningCli {
public:
    RunningCli(std::vector<std::string> words, const fs::path& cwd)
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
        const int err = ::open(m_errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
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
        result.exitCode = waitForExit();
        result.err = readFile(m_errFile);
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

/// A tree to run in, a work folder, and the folder the program makes its temporary folder in.
class Cli : public ::testing::Test {
protected:
    /// Starts corvelle-cli in the tree, with TMPDIR pointing to a folder of the test's own to
    /// see what a run leaves there.
    [[nodiscard]] std::unique_ptr<RunningCli> start(const std::vector<std::string>& args,
                                                    const Launcher& launcher = {}) const
    {
        std::vector<std::string> words{"env", "TMPDIR=" + tmp.path().string()};
        words.insert(words.end(), launcher.begin(), launcher.end());
        words.emplace_back(CORVELLE_CLI_PATH);
        words.insert(words.end(), args.begin(), args.end());
        return std::make_unique<RunningCli>(words, dir.path());
    }
    [[nodiscard]] CliResult run(const std::vector<std::string>& args,
                                const Launcher& launcher = {}) const
    {
        return start(args, launcher)->finish();
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
