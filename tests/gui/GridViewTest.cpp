// A list shown in a view: the table model follows every change of the list, shows names
// readably, and the view and the list agree on the selection whichever side changes it (the
// window's Delete acts on the list's selection).
#include "controls/GridTableModel.h"
#include "controls/GridViewBinding.h"
#include "controls/ListColumns.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

namespace corvelle {

class GridViewTest : public QObject {
    Q_OBJECT

private:
    static void appendRecord(GridModel& grid, int number, std::string_view name)
    {
        const RecordId id{number};
        grid.AppendRow(fileListRow(RecordCells{id, "/p/", name, ".txt", 10, 0}),
                       RowRecord{id, 0, 10});
    }

private slots:
    void theModelFollowsEveryChangeOfTheGridAndShowsNamesReadably()
    {
        GridModel grid;
        GridTableModel model(grid);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        grid.ColumnFormat(fileListFormat());
        QCOMPARE(model.columnCount(), 6);
        appendRecord(grid, 1, "tab\there\nnewline\xff");
        QCOMPARE(model.data(model.index(0, 2), Qt::DisplayRole).toString(),
                 QString("tab\\there\\nnewline\\xFF"));
        QCOMPARE(std::string(grid.CellText(1, 2)), std::string("tab\there\nnewline\xff"));

        // Bulk additions reach the view in batches; a removal first publishes what is pending.
        grid.RedrawMode(2);
        for (int id = 2; id <= 1000; ++id) {
            appendRecord(grid, id, "f");
        }
        QCOMPARE(model.rowCount(), 1);
        model.publishPendingRows();
        QCOMPARE(model.rowCount(), 1000);
        appendRecord(grid, 1001, "f");
        grid.RemoveRow(2);
        QCOMPARE(model.rowCount(), 1000);
        grid.RedrawMode(1);
        QCOMPARE(inserted.count(), 3);
        // Rows and their records moved up together.
        QCOMPARE(model.recordIdAt(model.index(1, 0)).value(), 3);
        QCOMPARE(model.findRow(RecordId{5}), model.index(3, 0));
        QVERIFY(!model.findRow(RecordId{2}).isValid());
        grid.RowCount(1);
        QCOMPARE(model.rowCount(), 0);
    }

    void viewAndGridAgreeOnTheSelectionWhicheverSideChangesIt()
    {
        GridModel grid;
        grid.ColumnFormat(dupeListFormat());
        for (int id = 1; id <= 6; ++id) {
            grid.AppendRow({std::to_string(id)}, RowRecord{RecordId{id}, 1, 0});
        }
        GridTableModel model(grid);
        QTableView view;
        GridViewBinding binding(view, model);
        QItemSelectionModel* selection = view.selectionModel();
        for (const int row : {4, 1, 2}) {
            selection->select(model.index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
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

        grid.setSelection({1, 2, 5});
        QCOMPARE(selection->selectedRows().size(), 3);
        QVERIFY(selection->isRowSelected(4, {}));
        grid.ClearSelection();
        QVERIFY(!selection->hasSelection());
        QCOMPARE(grid.SelectedRowCount(), 0);
    }
};

} // namespace corvelle

QTEST_MAIN(corvelle::GridViewTest)
#include "GridViewTest.moc"
