// A catalogue in a temporary folder, with the work files beside it, for the dedupe passes.
#pragma once

#include "TestSupport.h"
#include "catalogue/DedupeRun.h"
#include "catalogue/clsDatabase.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <gtest/gtest.h>

namespace corvelle::test {

class DedupePasses : public ::testing::Test {
protected:
    void SetUp() override { db.OpenProject(dir / "data.dat"); }

    RecordId add(std::string_view file, std::string_view extension = ".txt", FileSize size = 10,
                 Checksum crc = {}, std::string_view path = "/p/", PhysicalFile identity = {})
    {
        const RecordId id = db.AddRecord(path, file, extension, size, crc, identity);
        EXPECT_TRUE(id) << "record refused: " << file;
        return id;
    }

    WorkHooks hooks() { return WorkHooks{&progress, &caption, &stop, yield, &messages}; }

    static GridModel dupeGrid()
    {
        GridModel grid;
        grid.ColumnFormat(dupeListFormat());
        return grid;
    }

    /// Every cell of the grid and its shade, a row a line.
    static std::string gridText(const GridModel& grid)
    {
        std::string text;
        for (int row = 0; row < grid.RowCount(); ++row) {
            for (int col = 0; col < grid.ColCount(); ++col) {
                text += std::string(grid.CellText(row, col)) + '\t' +
                        std::to_string(grid.CellBackColor(row, col).value_or(0)) + '\t';
            }
            text += '\n';
        }
        return text;
    }

    TempDir dir;
    DedupeFiles files = DedupeFiles::in(dir.path());
    clsDatabase db;
    RecordingProgress progress;
    RecordingCaption caption;
    RecordingMessages messages;
    StopFlag stop;
    std::function<void()> yield;
};

} // namespace corvelle::test
