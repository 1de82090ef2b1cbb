#include "controls/ListColumns.h"

#include "controls/GridModel.h"
#include "matching/NameMatching.h"

#include <span>

namespace corvelle {
namespace {

int share(int width, double fraction)
{
    return roundHalfEven(width * fraction);
}

std::string leftAlignedFormat(std::span<const std::string_view> headers)
{
    std::string format;
    for (const std::string_view header : headers) {
        format += format.empty() ? "<" : "|<";
        format += header;
    }
    return format;
}

} // namespace

std::string fileListFormat()
{
    return leftAlignedFormat(fileColumnHeaders);
}

std::string dupeListFormat()
{
    return leftAlignedFormat(dupeColumnHeaders);
}

std::vector<std::string> fileListRow(const RecordCells& record)
{
    return {toString(record.id),           std::string(record.path), std::string(record.file),
            std::string(record.extension), toString(record.size),    formatCrc(record.crc)};
}

std::vector<std::string> dupeListRow(const RecordCells& record, std::int32_t group)
{
    return {toString(record.id),      std::to_string(group),         std::string(record.path),
            std::string(record.file), std::string(record.extension), toString(record.size),
            formatCrc(record.crc)};
}

std::string dupeRowPath(const GridModel& dupes, int row)
{
    std::string path;
    appendDupeRowPath(dupes, row, path);
    return path;
}

void appendDupeRowPath(const GridModel& dupes, int row, std::string& out)
{
    out += dupes.CellText(row, columnIndex(DupeColumn::Path));
    out += dupes.CellText(row, columnIndex(DupeColumn::FileName));
    out += dupes.CellText(row, columnIndex(DupeColumn::Extension));
}

RowRange groupRowsOf(const GridModel& dupes, int row)
{
    const std::int32_t group = dupes.recordAt(row).group;
    RowRange rows{row, row + 1};
    while (rows.first > 1 && dupes.recordAt(rows.first - 1).group == group) {
        --rows.first;
    }
    while (rows.end < dupes.RowCount() && dupes.recordAt(rows.end).group == group) {
        ++rows.end;
    }
    return rows;
}

std::string rowCaption(std::string_view listName, const GridModel& grid)
{
    const int current = grid.CurrentRow() < 0 ? 0 : grid.CurrentRow();
    return std::string(listName) + " (Row " + std::to_string(current) + " Of " +
           std::to_string(grid.RowCount() - 1) + ")";
}

std::array<int, 6> fileColumnWidths(int fileListWidth)
{
    const int wide = share(fileListWidth, 0.34);
    const int narrow = share(fileListWidth, 0.1);
    return {0, wide, wide, narrow, narrow, narrow};
}

std::array<int, 7> dupeColumnWidths(int fileListWidth)
{
    const int wide = share(fileListWidth, 0.29);
    const int narrow = share(fileListWidth, 0.1);
    return {0, narrow, wide, wide, narrow, narrow, narrow};
}

} // namespace corvelle
