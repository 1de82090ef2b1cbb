#include "controls/GridTableModel.h"

#include "common/TextEscapes.h"

#include <QColor>
#include <QString>

namespace corvelle {
namespace {

QColor toQColor(Color bgr)
{
    return QColor(static_cast<int>(bgr & 0xFFu), static_cast<int>((bgr >> 8) & 0xFFu),
                  static_cast<int>((bgr >> 16) & 0xFFu));
}

QString readable(std::string_view bytes)
{
    const std::string text = escapeReadable(bytes);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

GridTableModel::GridTableModel(GridModel& grid, QObject* parent)
    : QAbstractTableModel(parent)
    , m_grid(grid)
    , m_publishedRows(grid.RowCount() - 1)
{
    m_grid.setObserver(this);
}

GridTableModel::~GridTableModel()
{
    m_grid.setObserver(nullptr);
}

int GridTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_publishedRows;
}

int GridTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_grid.ColCount();
}

QVariant GridTableModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return displayText(index);
    case Qt::ToolTipRole:
        return toolTip(index);
    case Qt::DecorationRole:
        return decoration(index);
    case Qt::BackgroundRole:
        return background(index);
    case Qt::TextAlignmentRole:
        return alignment(index.column());
    default:
        return {};
    }
}

QVariant GridTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_grid.ColCount()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return readable(m_grid.CellText(0, section));
    }
    if (role == Qt::TextAlignmentRole) {
        return alignment(section);
    }
    return {};
}

QVariant GridTableModel::displayText(const QModelIndex& index) const
{
    return readable(m_grid.CellText(gridRow(index.row()), index.column()));
}

std::optional<RowNote> GridTableModel::noteAt(const QModelIndex& index) const
{
    if (index.column() != m_notesColumn || !m_notes) {
        return std::nullopt;
    }
    return m_notes(gridRow(index.row()));
}

QVariant GridTableModel::toolTip(const QModelIndex& index) const
{
    // The whole text of a cell the column is too narrow for, and the row's note.
    const QString text = displayText(index).toString();
    const std::optional<RowNote> note = noteAt(index);
    if (!note || note->text.isEmpty()) {
        return text;
    }
    return text.isEmpty() ? note->text : text + QLatin1Char('\n') + note->text;
}

QVariant GridTableModel::decoration(const QModelIndex& index) const
{
    const std::optional<RowNote> note = noteAt(index);
    if (!note || note->icon.isNull()) {
        return {};
    }
    return note->icon;
}

void GridTableModel::setRowNotes(int column, RowNotes notes)
{
    m_notesColumn = column;
    m_notes = std::move(notes);
    rowNotesChanged();
}

void GridTableModel::rowNotesChanged()
{
    if (m_publishedRows > 0 && m_notesColumn >= 0) {
        emit dataChanged(index(0, m_notesColumn), index(m_publishedRows - 1, m_notesColumn),
                         {Qt::DecorationRole, Qt::ToolTipRole});
    }
}

QVariant GridTableModel::background(const QModelIndex& index) const
{
    const std::optional<Color> color = m_grid.CellBackColor(gridRow(index.row()), index.column());
    if (!color) {
        return {};
    }
    return toQColor(*color);
}

QVariant GridTableModel::alignment(int column) const
{
    const Qt::Alignment horizontal =
        m_grid.ColumnLeftAligned(column) ? Qt::AlignLeft : Qt::AlignRight;
    return QVariant::fromValue(horizontal | Qt::AlignVCenter);
}

RecordId GridTableModel::recordIdAt(const QModelIndex& index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return RecordId{};
    }
    return m_grid.recordIdAt(gridRow(index.row()));
}

QModelIndex GridTableModel::findRow(RecordId id) const
{
    const int row = m_grid.findRow(id);
    if (row < 0 || viewRow(row) >= m_publishedRows) {
        return {};
    }
    return index(viewRow(row), 0);
}

void GridTableModel::publishPendingRows()
{
    const int rows = gridDataRows();
    if (m_inserting || rows <= m_publishedRows) {
        return;
    }
    beginInsertRows({}, m_publishedRows, rows - 1);
    m_publishedRows = rows;
    endInsertRows();
}

void GridTableModel::rowsAboutToBeInserted(int first, int last)
{
    if (inBulkMode()) {
        return; // published in batches
    }
    publishPendingRows();
    beginInsertRows({}, viewRow(first), viewRow(last));
    m_inserting = true;
}

void GridTableModel::rowsInserted()
{
    if (!m_inserting) {
        return;
    }
    m_publishedRows = gridDataRows();
    m_inserting = false;
    endInsertRows();
}

void GridTableModel::rowsAboutToBeRemoved(int first, int last)
{
    publishPendingRows();
    beginRemoveRows({}, viewRow(first), viewRow(last));
}

void GridTableModel::rowsRemoved()
{
    m_publishedRows = gridDataRows();
    endRemoveRows();
}

void GridTableModel::aboutToReset()
{
    beginResetModel();
}

void GridTableModel::reset()
{
    m_publishedRows = gridDataRows();
    endResetModel();
}

void GridTableModel::cellsChanged(int row1, int col1, int row2, int col2)
{
    if (row1 == 0) {
        emit headerDataChanged(Qt::Horizontal, col1, col2);
    }
    const int first = viewRow(std::max(row1, 1));
    const int last = std::min(viewRow(row2), m_publishedRows - 1);
    if (first <= last) {
        emit dataChanged(index(first, col1), index(last, col2));
    }
}

void GridTableModel::columnHiddenChanged(int col)
{
    emit columnVisibilityChanged(col, m_grid.ColumnHidden(col));
}

void GridTableModel::redrawModeChanged()
{
    if (!inBulkMode()) {
        publishPendingRows();
    }
}

void GridTableModel::currentRowChanged()
{
    emit gridCurrentRowChanged();
}

void GridTableModel::selectionChanged()
{
    emit gridSelectionChanged();
}

} // namespace corvelle
