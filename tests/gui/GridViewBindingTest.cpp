// A list view and its grid agree on the selection, the current row and the hidden columns,
// whichever side changes them.
#include "controls/GridViewBinding.h"

#include "controls/GridTableModel.h"
#include "controls/ListColumns.h"

#include <QItemSelectionModel>
#include <QTableView>
#include <QTest>

namespace corvelle {

class GridViewBindingTest : public QObject {
    Q_OBJECT

private:
    static void fill(GridModel& grid, int rows)
    {
        grid.ColumnFormat(dupeListFormat());
        for (int id = 1; id <= rows; ++id) {
            grid.AppendRow({std::to_string(id)}, RowRecord{RecordId{id}, 1, 0});
        }
    }

private slots:
    void theViewsSelectionBecomesTheGrids()
    {
        GridModel grid;
        fill(grid, 6);
        GridTableModel model(grid);
        QTableView view;
        GridViewBinding binding(view, model);
        QItemSelectionModel* selection = view.selectionModel();
        selection->select(model.index(4, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->select(model.index(1, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->select(model.index(2, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(grid.SelectedRowCount(), 3);
        QCOMPARE(grid.SelectedRowAt(0), 2);
        QCOMPARE(grid.SelectedRowAt(2), 5);
        selection->setCurrentIndex(model.index(3, 0), QItemSelectionModel::NoUpdate);
        QCOMPARE(grid.CurrentRow(), 4);

        // Removing a row keeps both sides on the same records.
        grid.RemoveRow(3);
        QCOMPARE(grid.SelectedRowCount(), 2);
        QCOMPARE(selection->selectedRows().size(), 2);
        QCOMPARE(grid.recordIdAt(grid.SelectedRowAt(1)).value(), 5);
    }

    void theGridsSelectionShowsInTheView()
    {
        GridModel grid;
        fill(grid, 5);
        GridTableModel model(grid);
        QTableView view;
        GridViewBinding binding(view, model);
        grid.setSelection({1, 2, 5});
        QCOMPARE(view.selectionModel()->selectedRows().size(), 3);
        QVERIFY(view.selectionModel()->isRowSelected(4, {}));
        grid.ClearSelection();
        QVERIFY(!view.selectionModel()->hasSelection());
        QCOMPARE(grid.SelectedRowCount(), 0);
    }

    void hiddenColumnsFollowTheGrid()
    {
        GridModel grid;
        fill(grid, 1);
        grid.ColumnHidden(0, true);
        GridTableModel model(grid);
        QTableView view;
        GridViewBinding binding(view, model);
        QVERIFY(view.isColumnHidden(0));
        grid.ColumnHidden(6, true);
        QVERIFY(view.isColumnHidden(6));
        grid.ColumnHidden(6, false);
        QVERIFY(!view.isColumnHidden(6));
    }
};

} // namespace corvelle

QTEST_MAIN(corvelle::GridViewBindingTest)
#include "GridViewBindingTest.moc"
