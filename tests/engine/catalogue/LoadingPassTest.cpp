#include "DedupePassFixture.h"
#include "catalogue/RecordFiles.h"

#include <tuple>

namespace corvelle::test {
namespace {

constexpr Color kBlue = 16707305;
constexpr Color kRose = 15330558;

/// A row's record ID, group and colour.
using Row = std::tuple<std::string, std::string, Color>;

class Loading : public DedupePasses {
protected:
    void SetUp() override
    {
        DedupePasses::SetUp();
        for (int i = 1; i <= 6; ++i) {
            add("f" + std::to_string(i), ".e", i * 100, Checksum{i == 6 ? -1 : 0x1A2B * i});
        }
    }

    void writePairs(std::initializer_list<std::pair<std::int32_t, std::int32_t>> pairs)
    {
        std::string bytes;
        for (const auto& [head, dupe] : pairs) {
            char raw[8];
            putInt32(raw, head);
            putInt32(raw + 4, dupe);
            bytes.append(raw, 8);
        }
        writeFile(files.pairFile, bytes);
    }

    /// The rows by their records (what a delete acts on), each checked against its cells.
    std::vector<Row> rows() const
    {
        std::vector<Row> out;
        for (int r = 1; r < grid.RowCount(); ++r) {
            const RowRecord& record = grid.recordAt(r);
            out.emplace_back(toString(record.id), std::to_string(record.group),
                             grid.CellBackColor(r, grid.ColCount() - 1).value_or(0));
            EXPECT_EQ(grid.CellText(r, 0), std::get<0>(out.back()));
            EXPECT_EQ(grid.CellText(r, 1), std::get<1>(out.back()));
            EXPECT_EQ(grid.CellBackColor(r, 0), grid.CellBackColor(r, grid.ColCount() - 1));
        }
        return out;
    }

    GridModel grid = dupeGrid();
};

TEST_F(Loading, groupsReplaceEarlierRowsAreShadedAlternatelyAndChainsShowTheSharedRecordTwice)
{
    grid.AppendRow({"99", "9"});
    writePairs({{1, 2}, {1, 3}, {4, 5}, {5, 6}});
    EXPECT_EQ(db.AddDupes(files.pairFile, grid, hooks()), Outcome::Completed);
    EXPECT_EQ(rows(), (std::vector<Row>{{"1", "1", kBlue},
                                        {"2", "1", kBlue},
                                        {"3", "1", kBlue},
                                        {"4", "2", kRose},
                                        {"5", "2", kRose},
                                        {"5", "3", kBlue},
                                        {"6", "3", kBlue}}));
    EXPECT_EQ(grid.CellText(1, 3), "f1");
    EXPECT_EQ(grid.CellText(1, 6), "$00001A2B");
    EXPECT_EQ(grid.CellText(7, 6), "$FFFFFFFF");
    EXPECT_EQ(db.ID(), "6") << "the cursor rests on the last record found";
}

TEST_F(Loading, aDuplicateWhoseHeadIsGoneJoinsNoOtherGroup)
{
    db.DeleteRecord(4_id);
    writePairs({{1, 2}, {4, 5}, {4, 3}, {6, 1}});
    db.AddDupes(files.pairFile, grid, hooks());
    // 5 and 3 would otherwise show under group 1, as duplicates of files they do not match.
    EXPECT_EQ(rows(),
              (std::vector<Row>{
                  {"1", "1", kBlue}, {"2", "1", kBlue}, {"6", "2", kRose}, {"1", "2", kRose}}));

    // A group whose only duplicate is gone keeps its head row, shaded on its own.
    db.DeleteRecord(1_id);
    db.DeleteRecord(3_id);
    writePairs({{1, 2}, {2, 3}, {5, 6}});
    db.AddDupes(files.pairFile, grid, hooks());
    EXPECT_FALSE(grid.CellBackColor(0, 0).has_value()) << "the header is never shaded";
    EXPECT_EQ(rows(), (std::vector<Row>{{"2", "1", kBlue}, {"5", "2", kRose}, {"6", "2", kRose}}));
}

TEST_F(Loading, stopEndsAfterTheCurrentPair)
{
    writePairs({{1, 2}, {3, 4}, {5, 6}});
    yield = stopAfterYields(stop, 2);
    EXPECT_EQ(db.AddDupes(files.pairFile, grid, hooks()), Outcome::Stopped);
    EXPECT_EQ(grid.RowCount(), 5);
}

} // namespace
} // namespace corvelle::test
