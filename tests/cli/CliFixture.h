// The tree a corvelle-cli test runs in, its private temporary folder, and readers of the
// program's output.
#pragma once

#include "CliRunner.h"

#include <gtest/gtest.h>
#include <map>
#include <set>

namespace corvelle::test {

namespace fs = std::filesystem;

/// A tsv cell back to its bytes.
inline std::string unescapeTsv(const std::string& cell)
{
    std::string out;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] != '\\' || i + 1 == cell.size()) {
            out += cell[i];
            continue;
        }
        const char next = cell[++i];
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next;
    }
    return out;
}

using Row = std::vector<std::string>;

inline std::vector<Row> tsvRows(const std::string& out)
{
    std::vector<Row> rows;
    for (const std::string& line : splitText(out, "\n")) {
        Row cells;
        for (const std::string& cell : splitText(line + "\t", "\t")) {
            cells.push_back(unescapeTsv(cell));
        }
        rows.push_back(cells);
    }
    return rows;
}

/// The groups of the tsv output as sets of full paths.
inline std::set<std::set<std::string>> groupsOf(const std::vector<Row>& rows)
{
    std::map<std::string, std::set<std::string>> byGroup;
    for (const Row& row : rows) {
        byGroup[row.at(1)].insert(row.at(2) + row.at(3) + row.at(4));
    }
    std::set<std::set<std::string>> groups;
    for (const auto& [number, members] : byGroup) {
        groups.insert(members);
    }
    return groups;
}

inline std::string under(const TempDir& dir, const std::string& relative)
{
    return dir.path().string() + "/" + relative;
}

/// Two groups by the default criteria (extension, size, leading-bytes checksum), and files
/// that must stay out of them.
inline void buildSmallTree(const TempDir& dir)
{
    writeFile(dir / "a/x.txt", "same content");
    writeFile(dir / "b/x.txt", "same content");
    writeFile(dir / "c/y.TXT", "same content"); // another name, same extension in other case
    writeFile(dir / "d/z.dat", "same content"); // another extension: not a duplicate
    writeFile(dir / "e/u.bin", "other");
    writeFile(dir / "f/v.bin", "other");
    writeFile(dir / "g/w.bin", "Other"); // same size, other checksum
}

/// A tree to run in, a work folder, and the folder the program makes its temporary folder in.
class Cli : public ::testing::Test {
protected:
    /// Runs corvelle-cli in the tree.
    [[nodiscard]] CliResult run(const std::vector<std::string>& args) const
    {
        return runCli(args, dir.path(), environment());
    }
    /// The same, its work files going to the work folder.
    [[nodiscard]] CliResult runWithWorkDir(std::vector<std::string> args) const
    {
        args.insert(args.begin(), {"--work-dir", work.path().string()});
        return run(args);
    }
    /// TMPDIR points to a folder of the test's own, to see what a run leaves there.
    [[nodiscard]] Environment environment() const { return {"TMPDIR=" + tmp.path().string()}; }
    [[nodiscard]] bool temporaryFilesLeft() const { return !fs::is_empty(tmp.path()); }

    TempDir dir;
    TempDir work;
    TempDir tmp;
};

} // namespace corvelle::test
