// The table model over a list: what views see of rows, cells and colours, and how bulk
// additions reach them.
#include "controls/GridTableModel.h"

#include "controls/ListColumns.h"

#include <QAbstractItemModelTester>
#include <QColor>
#include <QSignalSpy>
#include <QTest>

namespace corvelle {

class GridTableModelTest : public QObject {
    Q_OBJECT

private:
    static void appendRecord(GridModel& grid, int number, std::string_view name)
    {
        const RecordId id{number};
        grid.AppendRow(fileListRow(RecordCells{id, "/p/", name, ".txt", 10, 0}),
                       RowRecord{id, 0, 10});
    }

private slots:
    void followsEveryChangeOfTheGrid()
    {
        GridModel grid;
        GridTableModel model(grid);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        grid.ColumnFormat(fileListFormat());
        QCOMPARE(model.columnCount(), 6);
        QCOMPARE(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QString("File Name"));
        for (int id = 1; id <= 5; ++id) {
            appendRecord(grid, id, "f" + std::to_string(id));
        }
        QCOMPARE(model.rowCount(), 5);
        grid.RemoveRow(2);
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.recordIdAt(model.index(1, 0)).value(), 3);
        QCOMPARE(model.findRow(RecordId{5}), model.index(3, 0));
        QVERIFY(!model.findRow(RecordId{2}).isValid());
        grid.RowCount(1);
        QCOMPARE(model.rowCount(), 0);
    }

    void namesAreShownReadablyInTheirOwnColumn()
    {
        GridModel grid;
        grid.ColumnFormat(fileListFormat());
        GridTableModel model(grid);
        appendRecord(grid, 1, "tab\there\nnewline\xff");
        const QString shown = model.data(model.index(0, 2), Qt::DisplayRole).toString();
        QCOMPARE(shown, QString("tab\\there\\nnewline\\xFF"));
        QCOMPARE(model.data(model.index(0, 3), Qt::DisplayRole).toString(), QString(".txt"));
        QCOMPARE(std::string(grid.CellText(1, 2)), std::string("tab\there\nnewline\xff"));
    }

    void shadesAreTheCellsBackgrounds()
    {
        GridModel grid;
        grid.ColumnFormat(dupeListFormat());
        GridTableModel model(grid);
        grid.AppendRow({"1"});
        grid.AppendRow({"2"});
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        grid.CellBackColor(1, 0, 2, 6, 16707305); // red 233, green 238, blue 254
        QCOMPARE(changed.count(), 1);
        QCOMPARE(model.data(model.index(1, 6), Qt::BackgroundRole).value<QColor>(),
                 QColor(233, 238, 254));
        grid.AppendRow({"3"});
        QVERIFY(!model.data(model.index(2, 0), Qt::BackgroundRole).isValid());
    }

    void bulkAdditionsReachTheViewsInBatches()
    {
        GridModel grid;
        grid.ColumnFormat(fileListFormat());
        GridTableModel model(grid);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        grid.RedrawMode(2);
        for (int id = 1; id <= 1000; ++id) {
            appendRecord(grid, id, "f");
        }
        QCOMPARE(model.rowCount(), 0);
        model.publishPendingRows();
        QCOMPARE(model.rowCount(), 1000);
        appendRecord(grid, 1001, "f");
        grid.RemoveRow(1); // a removal first publishes what is pending
        QCOMPARE(model.rowCount(), 1000);
        grid.RedrawMode(1);
        QCOMPARE(inserted.count(), 2);
        appendRecord(grid, 1002, "f");
        QCOMPARE(model.rowCount(), 1001);
        QCOMPARE(inserted.count(), 3);
    }

    void hidingAColumnIsAnnounced()
    {
        GridModel grid;
        grid.ColumnFormat(fileListFormat());
        GridTableModel model(grid);
        QSignalSpy visibility(&model, &GridTableModel::columnVisibilityChanged);
        grid.ColumnHidden(0, true);
        QCOMPARE(visibility.count(), 1);
        QCOMPARE(visibility.at(0).at(0).toInt(), 0);
        QCOMPARE(visibility.at(0).at(1).toBool(), true);
    }
};

} // namespace corvelle

QTEST_MAIN(corvelle::GridTableModelTest)
#include "GridTableModelTest.moc"
