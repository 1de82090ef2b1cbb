// Reviewing the duplicates in the window, offscreen with a scripted desktop: Select Duplicates
// from the menu by every rule and with a protected folder, Verify on a trap pair, the status
// line, a permanent delete declined and accepted, a Delete refused for a protected row, a
// Delete stopped from its progress window, Undo Delete, and the keys and names the window
// offers.
#include "ScriptedDesktop.h"
#include "TestSupport.h"
#include "catalogue/clsDatabase.h"
#include "controls/ListColumns.h"
#include "controls/TaskWindow.h"
#include "controls/ToolActions.h"
#include "mainwindow/frmMain.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <filesystem>

namespace corvelle {

using namespace toolIds;

class ReviewCommandsTest : public QObject {
    Q_OBJECT

private:
    /// A window whose duplicate list holds two groups: a trap group (same size and first
    /// 2 MB, a different last byte) and a pair of small copies.
    struct Fixture {
        Fixture()
        {
            startCatalogue(catalogue, store / "data.dat");
            qputenv("XDG_DATA_HOME", QByteArray::fromStdString((store / "data").native()));
            std::string big(3 * 1024 * 1024, 'b');
            test::writeFile(tree / "big/trap.bin", big);
            big.back() = 'c';
            test::writeFile(tree / "big/copy.bin", big);
            test::writeFile(tree / "big/copy again.bin", big);
            test::writeFile(tree / "small/a.txt", "small");
            test::writeFile(tree / "small/keep/a.txt", "small");
            window.progressDelayMilliseconds = 0;
            window.progressYieldMilliseconds = 0;
            desktop.folderChoices.push_back(tree.path().native());
            window.AddFolderRecursive();
            window.Dedupe();
        }
        ~Fixture() { qunsetenv("XDG_DATA_HOME"); }

        void click(std::string_view id) { window.tools().ToolClick(id); }
        std::vector<std::string> selectedPaths()
        {
            std::vector<std::string> paths;
            for (int i = 0; i < window.dupes().SelectedRowCount(); ++i) {
                paths.push_back(dupeRowPath(window.dupes(), window.dupes().SelectedRowAt(i)));
            }
            return paths;
        }
        int rowOf(const std::filesystem::path& file)
        {
            for (int row = 1; row < window.dupes().RowCount(); ++row) {
                if (dupeRowPath(window.dupes(), row) == file.native()) {
                    return row;
                }
            }
            return -1;
        }
        std::string status() const { return window.lblStatusLine->text().toStdString(); }

        test::TempDir store;
        test::TempDir tree;
        clsDatabase catalogue;
        test::ScriptedDesktop desktop;
        frmMain window{desktop, catalogue, store.path(), store / "Corvelle.html"};
    };

private slots:
    void selectDuplicatesFollowsTheRuleTheProtectedFoldersAndTheVerification()
    {
        Fixture f;
        QCOMPARE(f.window.dupes().RowCount(), 6);
        QVERIFY(f.window.toolActions().action(ID_VerifyDuplicates)->isEnabled());
        f.click(ID_KeepFirst);
        QCOMPARE(f.window.dupes().SelectedRowCount(), 3);
        QCOMPARE(f.status(), std::string("3 files selected in 2 groups"));

        f.window.protectedFolders().add((f.tree / "small/keep").native());
        f.click(ID_KeepLast);
        for (const std::string& path : f.selectedPaths()) {
            QVERIFY(path.find("/keep/") == std::string::npos);
        }

        // Verify splits the trap off: it is kept, and one proven copy stays with it.
        f.window.VerifyDuplicates();
        const int trap = f.rowOf(f.tree / "big/trap.bin");
        QCOMPARE(f.window.verification().stateOf(f.window.dupes().recordIdAt(trap)),
                 VerifyState::NotIdentical);
        QVERIFY(f.status().starts_with("Verified 2 groups: 4 files identical to another copy"));
        const QModelIndex trapCell = f.window.vsgDupes->model()->index(trap - 1, 1);
        QVERIFY(!trapCell.data(Qt::DecorationRole).isNull());
        QVERIFY(trapCell.data(Qt::ToolTipRole).toString().contains("not identical"));
        f.click(ID_KeepFirst);
        QCOMPARE(f.selectedPaths(), std::vector<std::string>{(f.tree / "big/copy.bin").native()});

        // Why the current row matched, from the pairs.
        f.window.dupes().CurrentRow(2);
        const std::string why = f.window.lblWhy->toolTip().toStdString();
        QVERIFY2(why.starts_with("Paired with '" + (f.tree / "big/").native()), why.c_str());
        QVERIFY2(why.find("size equal, CRC of the first 1 MB equal") != std::string::npos,
                 why.c_str());
        QVERIFY2(why.ends_with("identical byte for byte to another copy"), why.c_str());
    }

    void aPermanentDeleteIsConfirmedAndUndoRestoresWhatWentToTheTrash()
    {
        Fixture f;
        const std::string copy = (f.tree / "big/copy.bin").native();
        const std::string again = (f.tree / "big/copy again.bin").native();
        f.window.dupes().setSelection({3});
        f.desktop.answers = {MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::No};
        f.window.cmdDelete->click();
        QVERIFY(f.desktop.texts()[2].starts_with(
            "Permanently delete 1 file(s)? They cannot be restored."));
        QVERIFY(std::filesystem::exists(again));
        QCOMPARE(f.status(), std::string("Nothing deleted"));

        f.window.dupes().setSelection({2, 3});
        f.desktop.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
        f.window.cmdDelete->click();
        QCOMPARE(f.status(), std::string("2 files moved to the Trash"));
        QVERIFY(!std::filesystem::exists(copy));
        QAction* undo = f.window.toolActions().action(ID_UndoDelete);
        QVERIFY(undo->isEnabled());
        QCOMPARE(undo->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
        undo->trigger();
        QCOMPARE(f.status(), std::string("2 files restored from the Trash"));
        QCOMPARE(test::readFile(copy).size(), std::size_t{3 * 1024 * 1024});
        QCOMPARE(f.window.dupes().RowCount(), 6);
        QCOMPARE(dupeRowPath(f.window.dupes(), 2), copy);

        f.window.dupes().setSelection({5});
        f.desktop.answers = {MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::Yes};
        f.window.cmdDelete->click();
        QCOMPARE(f.status(), std::string("1 file deleted permanently"));
        QVERIFY(!undo->isEnabled());
        QVERIFY(undo->toolTip().contains("permanently"));
    }

    void everyRuleAndTheFolderRuleSelectFromTheMenu()
    {
        Fixture f;
        const auto paths = [&](std::initializer_list<const char*> names) {
            std::vector<std::string> out;
            for (const char* name : names) {
                out.push_back((f.tree / name).native());
            }
            return out;
        };
        // Times that differ from the order of the rows.
        const auto now = std::filesystem::file_time_type::clock::now();
        const std::vector<std::pair<const char*, int>> ages{{"big/copy again.bin", 2},
                                                            {"big/copy.bin", 3},
                                                            {"big/trap.bin", 1},
                                                            {"small/a.txt", 1},
                                                            {"small/keep/a.txt", 2}};
        for (const auto& [name, hours] : ages) {
            std::filesystem::last_write_time(f.tree / name, now - std::chrono::hours(hours));
        }
        f.click(ID_KeepOldest);
        QCOMPARE(f.selectedPaths(), paths({"big/copy again.bin", "big/trap.bin", "small/a.txt"}));
        f.click(ID_KeepNewest);
        QCOMPARE(f.selectedPaths(),
                 paths({"big/copy again.bin", "big/copy.bin", "small/keep/a.txt"}));
        f.click(ID_KeepShortestPath); // a tie goes to the first row
        QCOMPARE(f.selectedPaths(),
                 paths({"big/copy again.bin", "big/trap.bin", "small/keep/a.txt"}));
        f.click(ID_KeepLongestPath);
        QCOMPARE(f.selectedPaths(), paths({"big/copy.bin", "big/trap.bin", "small/a.txt"}));

        // Inside a folder: the folder is asked for; a group with nothing inside it is left
        // alone and the status line says so. A cancelled question changes nothing.
        const std::string keep = (f.tree / "small/keep").native();
        f.desktop.folderChoices.push_back(keep);
        f.click(ID_KeepInsideFolder);
        QCOMPARE(f.selectedPaths(), paths({"small/a.txt"}));
        QCOMPARE(f.status(), "1 file selected in 1 group; 1 group left alone: none of its files "
                             "is inside '" +
                                 keep + "'");
        f.desktop.folderChoices.push_back(std::nullopt);
        f.click(ID_KeepInsideFolder);
        QCOMPARE(f.selectedPaths(), paths({"small/a.txt"}));
    }

    void aDeleteRefusesProtectedRowsAndActsOnTheRest()
    {
        Fixture f;
        const std::string kept = (f.tree / "small/keep/a.txt").native();
        QCOMPARE(f.window.protectedFolders().add((f.tree / "small/keep").native()), "");
        f.window.dupes().setSelection({f.rowOf(f.tree / "big/copy.bin"), f.rowOf(kept)});
        f.desktop.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
        f.window.cmdDelete->click();
        const std::vector<std::string> texts = f.desktop.texts();
        QCOMPARE(std::count_if(
                     texts.begin(), texts.end(),
                     [&](const std::string& text) { return text.find(kept) != std::string::npos; }),
                 1);
        QVERIFY(std::filesystem::exists(kept));
        QVERIFY(!std::filesystem::exists(f.tree / "big/copy.bin"));
        QCOMPARE(f.status(), std::string("1 file moved to the Trash; 1 in protected folders kept"));
    }

    void aDeleteShowsItsProgressAndStopsWhereAsked()
    {
        Fixture f;
        const std::vector<std::filesystem::path> going{
            f.tree / "big/copy again.bin", f.tree / "big/copy.bin", f.tree / "small/a.txt"};
        std::vector<int> rows;
        for (const std::filesystem::path& file : going) {
            rows.push_back(f.rowOf(file));
        }
        f.window.dupes().setSelection(rows);
        // Stop is pressed at the first round of events, which comes after the first file.
        QString shownCount;
        QTimer::singleShot(0, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* task = qobject_cast<TaskWindow*>(widget);
                if (task != nullptr && task->isVisible()) {
                    shownCount = task->lblCount->text();
                    task->cmdStop->click();
                }
            }
        });
        f.desktop.answers = {MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::Yes};
        f.window.cmdDelete->click();
        QCOMPARE(shownCount, QStringLiteral("1 Of 3 File(s) Deleted"));
        QCOMPARE(f.status(), std::string("1 file deleted permanently (stopped)"));
        QVERIFY(!std::filesystem::exists(going[0]));
        QVERIFY(std::filesystem::exists(going[1]) && std::filesystem::exists(going[2]));
        QCOMPARE(f.window.dupes().RowCount(), 5);
        QCOMPARE(f.rowOf(going[0]), -1);
    }

    void theListOffersItsKeysMenuAndNamesToEveryone()
    {
        Fixture f;
        QVERIFY(f.window.mnuDupes != nullptr);
        QStringList entries;
        for (const QAction* action : f.window.mnuDupes->actions()) {
            entries << action->text();
        }
        QCOMPARE(entries, (QStringList{"&Open", "&Explore", "&Delete", "", "Select &Duplicates"}));
        // The Delete key on the list runs Delete.
        const auto keys = f.window.vsgDupes->findChildren<QShortcut*>();
        QCOMPARE(keys.size(), 1);
        QCOMPARE(keys.front()->key(), QKeySequence(QKeySequence::Delete));
        f.desktop.answers = {MessageAnswer::No};
        emit keys.front()->activated();
        QCOMPARE(f.desktop.texts(), std::vector<std::string>{std::string(deleteQuestion)});
        for (const std::string_view id : {ID_MatchPercentage, ID_CRCFilesFirst}) {
            QAccessibleInterface* combo =
                QAccessible::queryAccessibleInterface(f.window.toolActions().combo(id));
            QVERIFY(!combo->text(QAccessible::Name).isEmpty());
        }
        // The add dialogs start where the last one left off.
        QCOMPARE(f.desktop.folderStarts.front(), QFile::encodeName(QDir::homePath()).toStdString());
        f.window.AddFolder();
        QCOMPARE(f.desktop.folderStarts.back(), f.tree.path().native());
    }
};

} // namespace corvelle

QTEST_MAIN(corvelle::ReviewCommandsTest)
#include "ReviewCommandsTest.moc"
