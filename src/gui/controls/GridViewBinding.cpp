#include "controls/GridViewBinding.h"

#include "controls/GridSelectionModel.h"
#include "controls/GridTableModel.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>

namespace corvelle {

GridViewBinding::GridViewBinding(QTableView& view, GridTableModel& model)
    : QObject(&view)
    , m_view(view)
    , m_model(model)
{
    m_view.setModel(&m_model);
    QItemSelectionModel* qtSelection = m_view.selectionModel();
    m_selection = new GridSelectionModel(m_model, &m_view);
    m_view.setSelectionModel(m_selection);
    delete qtSelection; // the view made it with the model, and lets it go unused
    m_view.setItemDelegate(new GridSelectionDelegate(m_model.grid(), &m_view));
    m_view.setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    applyHiddenColumns();

    connect(m_selection, &QItemSelectionModel::currentRowChanged, this,
            &GridViewBinding::viewCurrentChanged);
    // Scrolling, resizing and rows coming or going change the rows on screen.
    QScrollBar* rows = m_view.verticalScrollBar();
    connect(rows, &QScrollBar::valueChanged, this, &GridViewBinding::mirrorRowsOnScreen);
    connect(rows, &QScrollBar::rangeChanged, this, &GridViewBinding::mirrorRowsOnScreen);
    connect(&m_model, &GridTableModel::gridSelectionChanged, this,
            &GridViewBinding::gridSelectionChanged);
    connect(&m_model, &GridTableModel::gridCurrentRowChanged, this,
            &GridViewBinding::gridCurrentRowChanged);
    connect(&m_model, &GridTableModel::columnVisibilityChanged, &m_view,
            &QTableView::setColumnHidden);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &GridViewBinding::applyHiddenColumns);
    // A reset empties Qt's ranges; the grid's selection shows again on the rows on screen.
    connect(&m_model, &QAbstractItemModel::modelReset, this, &GridViewBinding::mirrorRowsOnScreen);
}

void GridViewBinding::applyHiddenColumns()
{
    for (int col = 0; col < m_model.columnCount(); ++col) {
        m_view.setColumnHidden(col, m_model.grid().ColumnHidden(col));
    }
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
    m_selection->gridSelectionChanged();
    mirrorRowsOnScreen();
    m_view.viewport()->update(); // the rows paint themselves from the grid
}

void GridViewBinding::mirrorRowsOnScreen()
{
    // A page either side covers what a key can reach before the next scroll mirrors again.
    const int rowHeight = std::max(1, m_view.verticalHeader()->defaultSectionSize());
    const int pageRows = std::max(1, m_view.viewport()->height() / rowHeight);
    const int top = std::max(0, m_view.rowAt(0));
    m_selection->mirrorRows(std::max(0, top - pageRows), top + 2 * pageRows);
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
