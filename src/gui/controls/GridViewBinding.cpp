#include "controls/GridViewBinding.h"

#include "controls/GridTableModel.h"

#include <QItemSelectionModel>
#include <QScopedValueRollback>
#include <QTableView>
#include <vector>

namespace corvelle {

GridViewBinding::GridViewBinding(QTableView& view, GridTableModel& model)
    : QObject(&view)
    , m_view(view)
    , m_model(model)
{
    m_view.setModel(&m_model);
    m_view.setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    applyHiddenColumns();

    QItemSelectionModel* selection = m_view.selectionModel();
    connect(selection, &QItemSelectionModel::selectionChanged, this,
            &GridViewBinding::viewSelectionChanged);
    connect(selection, &QItemSelectionModel::currentRowChanged, this,
            &GridViewBinding::viewCurrentChanged);
    connect(&m_model, &GridTableModel::gridSelectionChanged, this,
            &GridViewBinding::gridSelectionChanged);
    connect(&m_model, &GridTableModel::gridCurrentRowChanged, this,
            &GridViewBinding::gridCurrentRowChanged);
    connect(&m_model, &GridTableModel::columnVisibilityChanged, &m_view,
            &QTableView::setColumnHidden);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &GridViewBinding::applyHiddenColumns);
}

void GridViewBinding::applyHiddenColumns()
{
    for (int col = 0; col < m_model.columnCount(); ++col) {
        m_view.setColumnHidden(col, m_model.grid().ColumnHidden(col));
    }
}

void GridViewBinding::viewSelectionChanged()
{
    if (m_syncing) {
        return;
    }
    QScopedValueRollback guard(m_syncing, true);
    std::vector<int> rows;
    for (const QItemSelectionRange& range : m_view.selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            rows.push_back(GridTableModel::gridRow(row));
        }
    }
    m_model.grid().setSelection(std::move(rows));
}

void GridViewBinding::viewCurrentChanged()
{
    if (m_syncing) {
        return;
    }
    QScopedValueRollback guard(m_syncing, true);
    const QModelIndex current = m_view.selectionModel()->currentIndex();
    m_model.grid().CurrentRow(current.isValid() ? GridTableModel::gridRow(current.row()) : -1);
}

void GridViewBinding::gridSelectionChanged()
{
    if (m_syncing) {
        return;
    }
    QScopedValueRollback guard(m_syncing, true);
    const GridModel& grid = m_model.grid();
    const int lastColumn = m_model.columnCount() - 1;
    QItemSelection selection;
    for (int i = 0; i < grid.SelectedRowCount();) {
        // One range per run of consecutive rows.
        const int first = grid.SelectedRowAt(i);
        int last = first;
        while (++i < grid.SelectedRowCount() && grid.SelectedRowAt(i) == last + 1) {
            ++last;
        }
        selection.select(m_model.index(GridTableModel::viewRow(first), 0),
                         m_model.index(GridTableModel::viewRow(last), lastColumn));
    }
    m_view.selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void GridViewBinding::gridCurrentRowChanged()
{
    if (m_syncing) {
        return;
    }
    QScopedValueRollback guard(m_syncing, true);
    const int row = m_model.grid().CurrentRow();
    const QModelIndex index =
        row >= 1 ? m_model.index(GridTableModel::viewRow(row), 0) : QModelIndex();
    m_view.selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

} // namespace corvelle
