#include "controls/GridSelectionModel.h"

#include "controls/GridTableModel.h"

#include <QScopedValueRollback>
#include <algorithm>
#include <iterator>

namespace corvelle {
namespace {

using Flags = QItemSelectionModel::SelectionFlags;

/// The grid rows the ranges cover, ascending, each once. Rows are selected whole.
std::vector<int> gridRowsOf(const QItemSelection& selection)
{
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selection) {
        if (!range.isValid()) {
            continue;
        }
        for (int row = range.top(); row <= range.bottom(); ++row) {
            rows.push_back(GridTableModel::gridRow(row));
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

/// `base` with `rows` deselected, toggled or selected, as Qt merges a command's ranges: a
/// deselection wins over a toggle, and a toggle over a selection.
std::vector<int> merged(const std::vector<int>& base, const std::vector<int>& rows, Flags command)
{
    std::vector<int> out;
    out.reserve(base.size() + rows.size());
    if (command & QItemSelectionModel::Deselect) {
        std::set_difference(base.begin(), base.end(), rows.begin(), rows.end(),
                            std::back_inserter(out));
    } else if (command & QItemSelectionModel::Toggle) {
        std::set_symmetric_difference(base.begin(), base.end(), rows.begin(), rows.end(),
                                      std::back_inserter(out));
    } else if (command & QItemSelectionModel::Select) {
        std::set_union(base.begin(), base.end(), rows.begin(), rows.end(), std::back_inserter(out));
    } else {
        out = base;
    }
    return out;
}

} // namespace

GridSelectionModel::GridSelectionModel(GridTableModel& model, QObject* parent)
    : QItemSelectionModel(&model, parent)
    , m_grid(model.grid())
{
    for (const auto moved : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(&model, moved, this, &GridSelectionModel::restartGesture);
    }
    // A reset makes Qt clear its own ranges through select(); the grid keeps its selection
    // across it (it moves the selected rows itself), so that clear must not reach it.
    connect(&model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_resetting = true; });
    connect(&model, &QAbstractItemModel::modelReset, this, [this] {
        m_resetting = false;
        restartGesture();
    });
}

void GridSelectionModel::select(const QItemSelection& selection, SelectionFlags command)
{
    if (command == NoUpdate) {
        return;
    }
    if (m_resetting) {
        QItemSelectionModel::select(selection, command);
        return;
    }
    // As Qt's model: Clear empties everything; a step without Current ends the gesture before
    // it (its rows stay as they are), and the rows of a step with Current replace the last's.
    if (command & Clear) {
        m_base.clear();
        m_gesture.clear();
    } else if (!(command & Current)) {
        restartGesture();
    }
    if (command & (Toggle | Select | Deselect)) {
        m_gesture = gridRowsOf(selection);
        m_gestureCommand = command;
    }
    const QScopedValueRollback applying(m_applying, true);
    m_grid.setSelection(merged(m_base, m_gesture, m_gestureCommand));
}

void GridSelectionModel::gridSelectionChanged()
{
    if (!m_applying) {
        restartGesture();
    }
}

void GridSelectionModel::restartGesture()
{
    m_base = m_grid.selectedRows();
    m_gesture.clear();
}

void GridSelectionModel::mirrorRows(int firstViewRow, int lastViewRow)
{
    const std::vector<int>& rows = m_grid.selectedRows();
    const int lastColumn = model()->columnCount() - 1;
    const int lastRow = std::min(GridTableModel::gridRow(lastViewRow),
                                 GridTableModel::gridRow(model()->rowCount() - 1));
    QItemSelection runs;
    auto at = std::lower_bound(rows.begin(), rows.end(), GridTableModel::gridRow(firstViewRow));
    while (at != rows.end() && *at <= lastRow) {
        const int first = *at;
        int last = first;
        while (++at != rows.end() && *at == last + 1 && *at <= lastRow) {
            ++last;
        }
        runs.select(model()->index(GridTableModel::viewRow(first), 0),
                    model()->index(GridTableModel::viewRow(last), lastColumn));
    }
    QItemSelectionModel::select(runs, ClearAndSelect);
}

GridSelectionDelegate::GridSelectionDelegate(const GridModel& grid, QObject* parent)
    : QStyledItemDelegate(parent)
    , m_grid(grid)
{}

void GridSelectionDelegate::initStyleOption(QStyleOptionViewItem* option,
                                            const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->state.setFlag(QStyle::State_Selected,
                          m_grid.IsSelected(GridTableModel::gridRow(index.row())));
}

} // namespace corvelle
