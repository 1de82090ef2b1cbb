// A list shown in a view: the table model follows every change of the list, shows names
// readably, and the view and the list agree on the selection whichever side changes it (the
// window's Delete acts on the list's selection), the list's selection changing under a
// person's gestures as Qt's own would.
#include "controls/GridSelectionModel.h"
#include "controls/GridTableModel.h"
#include "controls/GridViewBinding.h"
#include "controls/ListColumns.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <functional>

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

        // Clearing through the view, and a click below the last row, clear the list too.
        view.resize(400, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        grid.setSelection({1, 3});
        view.clearSelection();
        QCOMPARE(grid.SelectedRowCount(), 0);
        grid.setSelection({1, 3});
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                          QPoint(5, view.viewport()->height() - 5));
        QCOMPARE(grid.SelectedRowCount(), 0);

        // Many rows removed at once reach the view as a reset; the rows left keep their
        // selection, on screen and in the list.
        for (int id = 7; id <= 200; ++id) {
            grid.AppendRow({std::to_string(id)}, RowRecord{RecordId{id}, 1, 0});
        }
        grid.setSelection({1, 2, 3});
        std::vector<int> scattered;
        for (int row = 10; row < 200; row += 2) {
            scattered.push_back(row);
        }
        grid.removeRowSet(scattered);
        QCOMPARE(grid.SelectedRowCount(), 3);
        QCOMPARE(selection->selectedRows().size(), 3);
    }

    /// Clicks, Shift and Ctrl clicks, a drag and keys on a list whose every other row a command
    /// selected change the list's selection exactly as they change Qt's own selection model,
    /// and the rows paint as the list has them.
    void gesturesChangeALargeSelectionAsQtsOwnModelWould()
    {
        constexpr int kRows = 1000; // every other row: more runs than Qt's ranges copy
        GridModel grid;
        grid.ColumnFormat(dupeListFormat());
        QStandardItemModel qtModel(kRows, grid.ColCount());
        for (int id = 1; id <= kRows; ++id) {
            grid.AppendRow({std::to_string(id)}, RowRecord{RecordId{id}, 1, 0});
        }
        GridTableModel model(grid);
        QTableView view;
        GridViewBinding binding(view, model);
        QTableView qtView;
        qtView.setModel(&qtModel);
        qtView.setSelectionBehavior(QAbstractItemView::SelectRows);
        qtView.setSelectionMode(QAbstractItemView::ExtendedSelection);
        for (QTableView* each : {&view, &qtView}) {
            each->resize(500, 400);
            each->show();
            QVERIFY(QTest::qWaitForWindowExposed(each));
        }
        std::vector<int> everyOther;
        QItemSelection qtEveryOther;
        for (int row = 1; row <= kRows; row += 2) {
            everyOther.push_back(row);
            qtEveryOther.select(qtModel.index(row - 1, 0), qtModel.index(row - 1, 0));
        }
        grid.setSelection(everyOther);
        qtView.selectionModel()->select(qtEveryOther, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);

        const auto listed = [&] { return grid.selectedRows(); };
        const auto qtListed = [&] {
            std::vector<int> rows;
            for (const QModelIndex& index : qtView.selectionModel()->selectedRows()) {
                rows.push_back(index.row() + 1);
            }
            std::sort(rows.begin(), rows.end());
            return rows;
        };
        const auto onBoth = [&](auto gesture) {
            gesture(view, model);
            gesture(qtView, qtModel);
        };
        const auto click = [](int row, Qt::KeyboardModifiers modifiers) {
            return [=](QTableView& on, QAbstractItemModel& m) {
                QTest::mouseClick(on.viewport(), Qt::LeftButton, modifiers,
                                  on.visualRect(m.index(row, 1)).center());
            };
        };
        const auto key = [](Qt::Key pressed, Qt::KeyboardModifiers modifiers) {
            return [=](QTableView& on, QAbstractItemModel&) {
                QTest::keyClick(&on, pressed, modifiers);
            };
        };
        const auto drag = [](int from, int to, Qt::KeyboardModifiers modifiers) {
            return [=](QTableView& on, QAbstractItemModel& m) {
                const QPoint start = on.visualRect(m.index(from, 1)).center();
                const QPoint end = on.visualRect(m.index(to, 1)).center();
                QTest::mousePress(on.viewport(), Qt::LeftButton, modifiers, start);
                for (const QPoint& at : {(start + end) / 2, end}) {
                    QMouseEvent move(QEvent::MouseMove, at, on.viewport()->mapToGlobal(at),
                                     Qt::NoButton, Qt::LeftButton, modifiers);
                    QApplication::sendEvent(on.viewport(), &move);
                }
                QTest::mouseRelease(on.viewport(), Qt::LeftButton, modifiers, end);
            };
        };
        const std::vector<
            std::pair<const char*, std::function<void(QTableView&, QAbstractItemModel&)>>>
            gestures{
                {"Ctrl+click a selected row", click(0, Qt::ControlModifier)},
                {"Ctrl+click an unselected row", click(3, Qt::ControlModifier)},
                {"Shift+click further down", click(8, Qt::ShiftModifier)},
                {"Shift+click back up", click(5, Qt::ShiftModifier)},
                {"Ctrl+Shift+click", click(12, Qt::ControlModifier | Qt::ShiftModifier)},
                {"Shift+Down", key(Qt::Key_Down, Qt::ShiftModifier)},
                {"Ctrl+Down, then Ctrl+Space", key(Qt::Key_Down, Qt::ControlModifier)},
                {"Ctrl+Space", key(Qt::Key_Space, Qt::ControlModifier)},
                {"a Ctrl drag down", drag(2, 9, Qt::ControlModifier)},
                {"a Ctrl drag up", drag(11, 6, Qt::ControlModifier)},
                {"a drag", drag(14, 17, Qt::NoModifier)},
                {"a click", click(9, Qt::NoModifier)},
                {"Shift+click", click(4, Qt::ShiftModifier)},
                {"Ctrl+A", key(Qt::Key_A, Qt::ControlModifier)},
            };
        QCOMPARE(listed(), qtListed());
        for (const auto& [name, gesture] : gestures) {
            onBoth(gesture);
            QVERIFY2(listed() == qtListed(), name);
        }

        // The rows paint as the list has them, however many runs it holds.
        grid.setSelection(everyOther);
        auto* delegate = qobject_cast<GridSelectionDelegate*>(view.itemDelegate());
        QVERIFY(delegate != nullptr);
        for (const int row : {0, 1, 998, 999}) {
            QStyleOptionViewItem option;
            delegate->initStyleOption(&option, model.index(row, 2));
            QCOMPARE(option.state.testFlag(QStyle::State_Selected), row % 2 == 0);
        }
    }
};

} // namespace corvelle

QTEST_MAIN(corvelle::GridViewTest)
#include "GridViewTest.moc"
