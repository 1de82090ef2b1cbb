// A duplicate group of real files to verify, built row by row.
#pragma once

#include "TestSupport.h"
#include "actions/Verify.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace corvelle::test {

class VerifiedGroup : public ::testing::Test {
protected:
    /// Writes the file and adds it to the group as the next row.
    void add(const std::string& name, std::string_view content)
    {
        writeFile(dir / name, content);
        addRow(name, static_cast<std::int64_t>(content.size()));
    }
    /// Adds a hard link of an earlier file as the next row.
    void addLink(const std::string& name, const std::string& target)
    {
        std::filesystem::create_directories((dir / name).parent_path());
        std::filesystem::create_hard_link(dir / target, dir / name);
        addRow(name, static_cast<std::int64_t>(std::filesystem::file_size(dir / name)));
    }
    void addRow(const std::string& name, std::int64_t size)
    {
        group.push_back({static_cast<int>(group.size()) + 1, (dir / name).native(), size});
    }
    /// The rows of each set, each physical file's paths in row order.
    static std::vector<std::vector<int>> setRows(const VerifyResult& result)
    {
        std::vector<std::vector<int>> out;
        for (const VerifiedSet& set : result.sets) {
            out.emplace_back();
            for (const VerifiedFile& file : set) {
                for (const LinkedPath& path : file.paths()) {
                    out.back().push_back(path.row);
                }
            }
        }
        return out;
    }

    TempDir dir;
    std::vector<VerifyCandidate> group;
};

} // namespace corvelle::test
