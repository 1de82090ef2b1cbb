// The main window with a scripted desktop, offscreen: Delete, Open and Explore on the selected
// rows, a stopped Dedupe, and a failure of the work that it did not report itself.
#include "ScriptedDesktop.h"
#include "TestSupport.h"
#include "catalogue/clsDatabase.h"
#include "controls/ProgressWindow.h"
#include "mainwindow/frmDupes.h"
#include "mainwindow/frmMain.h"

#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace corvelle {

/// Work that breaks in a way it does not report itself.
class BrokenWork final : public ProgressWindow {
public:
    explicit BrokenWork(Desktop& desktop)
        : ProgressWindow(desktop, QStringLiteral("Broken"), nullptr)
    {}

private:
    Outcome run(const WorkHooks&) override { throw std::runtime_error("cannot read '/x'"); }
};

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    /// A window over four files of distinct contents in tree/dir.
    struct Fixture {
        Fixture()
        {
            startCatalogue(catalogue, store / "data.dat");
            for (int i = 0; i < 4; ++i) {
                test::writeFile(tree / ("dir/f" + std::to_string(i) + ".txt"),
                                "content " + std::to_string(i));
            }
        }
        std::string treePath() const { return (tree / "dir").string(); }
        void addFolder(const std::string& folder)
        {
            desktop.folderChoices.push_back(folder);
            window.AddFolder();
        }

        test::TempDir store;
        test::TempDir tree;
        clsDatabase catalogue;
        test::ScriptedDesktop desktop;
        frmMain window{desktop, catalogue, store.path(), store / "Corvelle.html"};
    };

private slots:
    void deleteOpenAndExploreActOnTheSelectedRowsFiles()
    {
        Fixture f;
        const std::string odd = "odd\tname\n\xff";
        test::writeFile(f.tree / "dir/copy/f1.txt", "content 1");
        test::writeFile(f.tree / ("dir/copy/" + odd + ".txt"), "content 2");
        f.addFolder(f.treePath());
        f.addFolder(f.treePath() + "/copy");
        f.window.Dedupe();
        // Groups: f1 with copy/f1, f2 with copy/odd.
        QCOMPARE(f.window.dupes().RowCount(), 5);
        QTableView* view = f.window.vsgDupes;
        for (const int row : {1, 3}) {
            view->selectionModel()->select(view->model()->index(row, 1),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        // Rows 1 and 3 are the copies, second in each group.
        const std::string copied = f.treePath() + "/copy/f1.txt";
        const std::string oddPath = f.treePath() + "/copy/" + odd + ".txt";

        f.window.cmdOpen->click();
        f.window.cmdExplore->click();
        QCOMPARE(f.desktop.openedPaths, (std::vector<std::string>{copied, oddPath}));
        QCOMPARE(f.desktop.shownInFolder, (std::vector<std::string>{copied, oddPath}));

        // To the Trash, with a data folder that does not exist yet.
        const auto dataHome = f.store / "data-home";
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dataHome.native()));
        f.desktop.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
        f.window.cmdDelete->click();
        qunsetenv("XDG_DATA_HOME");
        QCOMPARE(f.desktop.texts().size(), std::size_t{2});
        QVERIFY(!std::filesystem::exists(copied));
        QVERIFY(!std::filesystem::exists(oddPath));
        QCOMPARE(test::readFile(dataHome / "Trash/files" / (odd + ".txt")),
                 std::string("content 2"));
        QCOMPARE(view->model()->rowCount(), 2);
        QVERIFY(std::filesystem::exists(f.treePath() + "/f1.txt"));
        QVERIFY(std::filesystem::exists(f.treePath() + "/f2.txt"));
    }

    void aStoppedDedupeLeavesTheListAsItWasAndTheNextStartsAfresh()
    {
        Fixture f;
        f.addFolder(f.treePath());
        // Nothing found empties the list.
        f.window.dupes().AppendRow({"earlier"});
        f.window.Dedupe();
        QCOMPARE(f.window.dupes().RowCount(), 1);

        test::writeFile(f.tree / "dir/copy/f1.txt", "content 1");
        f.addFolder(f.treePath() + "/copy");
        f.window.dupes().AppendRow({"earlier"});
        frmDupes stopped(f.catalogue, DedupeFiles::in(f.store.path()), f.desktop);
        stopped.objVsg = &f.window.dupes();
        stopped.yieldIntervalMs = 0;
        stopped.refreshCaller = [&] { stopped.cmdStop->click(); };
        stopped.exec();
        QCOMPARE(stopped.outcome(), Outcome::Stopped);
        QCOMPARE(f.window.dupes().RowCount(), 2);
        QCOMPARE(std::string(f.window.dupes().CellText(1, 0)), std::string("earlier"));

        // Nothing of the stopped run is taken for done.
        f.window.Dedupe();
        QCOMPARE(f.window.dupes().RowCount(), 3);
    }

    void aFailureTheWorkDidNotReportIsShownAndTheWindowCloses()
    {
        test::ScriptedDesktop desktop;
        BrokenWork work(desktop);
        work.exec();
        QCOMPARE(work.outcome(), Outcome::Failed);
        QCOMPARE(desktop.texts(), std::vector<std::string>{"cannot read '/x'"});
        QCOMPARE(desktop.messages[0].icon, MessageIcon::Critical);
    }
};

} // namespace corvelle

QTEST_MAIN(corvelle::MainWindowTest)
#include "MainWindowTest.moc"
