// The columns of the two lists, their widths and row captions, and the cells of their rows: the
// file list shows the catalogue, the duplicate list the groups a dedupe found. Column 0 of both
// holds the record's ID.
#pragma once

#include "common/Types.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

class GridModel;

enum class FileColumn { Id, Path, FileName, Extension, Size, Crc };
enum class DupeColumn { Id, DupeGroup, Path, FileName, Extension, Size, Crc };

inline constexpr std::array<std::string_view, 6> fileColumnHeaders{"ID",        "Path", "File Name",
                                                                   "Extension", "Size", "CRC"};
inline constexpr std::array<std::string_view, 7> dupeColumnHeaders{
    "ID", "Dupe Group", "Path", "File Name", "Extension", "Size", "CRC"};

/// A column's index in its grid.
constexpr int columnIndex(FileColumn column)
{
    return static_cast<int>(column);
}
constexpr int columnIndex(DupeColumn column)
{
    return static_cast<int>(column);
}

/// The grids' column formats ("<ID|<Path|..."): every column left-aligned.
std::string fileListFormat();
std::string dupeListFormat();

/// What one catalogue record shows in a list row.
struct RecordCells {
    RecordId id;
    std::string_view path;
    std::string_view file;
    std::string_view extension;
    FileSize size = 0;
    CrcValue crc = 0;
};

/// The cells of the record's file-list row, from column 0 on.
std::vector<std::string> fileListRow(const RecordCells& record);
/// The cells of the record's duplicate-list row in the given group, from column 0 on.
std::vector<std::string> dupeListRow(const RecordCells& record, std::int32_t group);

/// The full path of a duplicate-list row's file: its Path, File Name and Extension cells,
/// which hold the catalogue's bytes as they are.
std::string dupeRowPath(const GridModel& dupes, int row);
/// The same path added to the end of `out`.
void appendDupeRowPath(const GridModel& dupes, int row, std::string& out);

/// Rows first to end - 1 of a list.
struct RowRange {
    int first = 1;
    int end = 1;
};
/// The rows of the duplicate-list group that holds `row`: a group's rows are neighbours.
RowRange groupRowsOf(const GridModel& dupes, int row);

/// "File List (Row r Of n)": r is the current row (0 when there is none), n the data rows.
std::string rowCaption(std::string_view listName, const GridModel& grid);

/// The file list's width in twips at design; the duplicate list's column widths come from it.
inline constexpr int kDesignFileListWidth = 11655;

/// Column widths in twips for a file list this wide, column 0 (hidden) included: 0.34, 0.34
/// and 0.1 of the width, rounded to the nearest whole twip, halves to even.
std::array<int, 6> fileColumnWidths(int fileListWidth);
/// The duplicate list's widths, also taken from the file list's width.
std::array<int, 7> dupeColumnWidths(int fileListWidth);

} // namespace corvelle
