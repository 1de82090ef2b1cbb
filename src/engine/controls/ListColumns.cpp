#include "controls/ListColumns.h"

#include "controls/GridModel.h"

#include <span>

namespace corvelle {
namespace {

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
    std::string path(dupes.CellText(row, columnIndex(DupeColumn::Path)));
    path += dupes.CellText(row, columnIndex(DupeColumn::FileName));
    path += dupes.CellText(row, columnIndex(DupeColumn::Extension));
    return path;
}

} // namespace corvelle
