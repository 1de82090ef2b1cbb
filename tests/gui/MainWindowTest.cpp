// The main window with a scripted desktop: start values, captions, the checksum settings'
// questions, the selection commands and the intake window, offscreen.
#include "ScriptedDesktop.h"
#include "TestSupport.h"
#include "about/frmSplash.h"
#include "catalogue/clsDatabase.h"
#include "controls/Commands.h"
#include "controls/ListColumns.h"
#include "controls/ListCommands.h"
#include "controls/ProgressWindow.h"
#include "controls/ToolActions.h"
#include "intake/frmAddFiles.h"
#include "mainwindow/frmDupes.h"
#include "mainwindow/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>

namespace corvelle {

using namespace toolIds;

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
        void addTree()
        {
            desktop.folderChoices.push_back(treePath());
            window.AddFolder();
        }
        bool crcColumnsHidden() const
        {
            return window.vsgFiles->isColumnHidden(columnIndex(FileColumn::Crc)) &&
                   window.vsgDupes->isColumnHidden(columnIndex(DupeColumn::Crc));
        }

        test::TempDir store;
        test::TempDir tree;
        clsDatabase catalogue;
        test::ScriptedDesktop desktop;
        frmMain window{desktop, catalogue, store.path(), store / "Corvelle.html"};
    };

    static QString text(const QLabel* label) { return label->text(); }

private slots:
    void startsWithTheStartValuesAndEmptyCaptions()
    {
        Fixture f;
        ToolActions& actions = f.window.toolActions();
        QVERIFY(!actions.action(ID_UseName)->isChecked());
        QVERIFY(!actions.menu(ID_NameMatchingSettings)->menuAction()->isEnabled());
        for (const auto id : {ID_UseExtension, ID_UseSize, ID_UseCRC, ID_RemoveBracketedText,
                              ID_RemoveNumbers, ID_RemoveSymbols, ID_RemoveSpaces}) {
            QVERIFY(actions.action(id)->isChecked());
        }
        QCOMPARE(actions.combo(ID_MatchPercentage)->currentText(), QString("80%"));
        QCOMPARE(actions.combo(ID_CRCFilesFirst)->currentText(), QString("1 MB"));
        QCOMPARE(text(f.window.lblFiles), QString("File List (Row 0 Of 0)"));
        QCOMPARE(text(f.window.lblDuplicate), QString("Duplicate List (Row 0 Of 0)"));
        QVERIFY(f.window.vsgFiles->isColumnHidden(0));
        QVERIFY(f.window.vsgDupes->isColumnHidden(0));
        QVERIFY(!f.crcColumnsHidden());
        QCOMPARE(f.window.windowTitle(), QString("Corvelle"));
        f.window.resize(100, 100);
        QVERIFY(f.window.width() >= 800 && f.window.height() >= 600);
    }

    void addsHandTheChecksumSizeOfTheTools()
    {
        Fixture f;
        f.addTree();
        QCOMPARE(f.desktop.folderRequests, std::vector<std::string>{"Select Folder To Add"});
        QCOMPARE(f.window.files().RowCount(), 5);
        QCOMPARE(text(f.window.lblFiles), QString("File List (Row 0 Of 4)"));
        QVERIFY(f.window.files().CellText(1, columnIndex(FileColumn::Crc)) != "$00000000");

        // Use CRC unticked: no checksums (lngCRCSize 0), and no question with files listed.
        f.window.toolActions().action(ID_UseCRC)->trigger();
        QVERIFY(f.desktop.messages.empty());
        QVERIFY(f.crcColumnsHidden());
        f.window.ClearAll(false);
        f.desktop.fileChoices.push_back({f.treePath() + "/f1.txt", f.treePath() + "/f2.txt"});
        f.window.AddFiles();
        QCOMPARE(f.desktop.fileRequests.at(0).title, std::string("Select Files To Add:-"));
        QCOMPARE(f.desktop.fileRequests.at(0).filter, std::string("All Files (*.*)|*.*"));
        QCOMPARE(f.window.files().RowCount(), 3);
        QCOMPARE(std::string(f.window.files().CellText(2, columnIndex(FileColumn::Crc))),
                 std::string("$00000000"));
    }

    void useCrcAsksBeforeClearingAndNoTakesItBack()
    {
        Fixture f;
        f.addTree();
        QAction* useCrc = f.window.toolActions().action(ID_UseCRC);
        useCrc->trigger(); // off: no question
        f.desktop.answers = {MessageAnswer::No};
        useCrc->trigger();
        QCOMPARE(f.desktop.texts(), std::vector<std::string>{std::string(clearListQuestion)});
        QVERIFY(!useCrc->isChecked());
        QVERIFY(!f.window.toolActions().menu(ID_CRCSettings)->menuAction()->isEnabled());
        QVERIFY(f.crcColumnsHidden());
        QCOMPARE(f.window.files().RowCount(), 5);

        f.desktop.answers = {MessageAnswer::Yes};
        useCrc->trigger();
        QCOMPARE(f.desktop.messages.size(), std::size_t{2}); // no second question to clear
        QVERIFY(useCrc->isChecked());
        QVERIFY(!f.crcColumnsHidden());
        QCOMPARE(f.window.files().RowCount(), 1);
        QCOMPARE(f.catalogue.RecordCount(), 0);
        QVERIFY(!f.window.cmdDelete->isEnabled());
        QCOMPARE(text(f.window.lblFiles), QString("File List (Row 0 Of 0)"));
    }

    void removeSelectionTakesTheRowsSelectedInAnyOrder()
    {
        Fixture f;
        f.addTree();
        QItemSelectionModel* selection = f.window.vsgFiles->selectionModel();
        const auto select = [&](int row) {
            selection->select(f.window.vsgFiles->model()->index(row, 1),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        };
        select(3);
        select(0);
        select(2);
        const RecordId kept = f.window.files().recordIdAt(2);
        f.desktop.answers = {MessageAnswer::Yes};
        f.window.toolActions().action(ID_RemoveSelection)->trigger();
        QCOMPARE(f.desktop.texts(), std::vector<std::string>{std::string(removeSelectionQuestion)});
        QCOMPARE(f.window.files().RowCount(), 2);
        QCOMPARE(f.window.files().recordIdAt(1).value(), kept.value());
        QCOMPARE(f.catalogue.RecordCount(), 1);
        QVERIFY(!f.window.cmdOpen->isEnabled());
        QCOMPARE(text(f.window.lblFiles), QString("File List (Row 0 Of 1)"));
    }

    void clearAllOnAnEmptyListStillAsksAndFilterIsNotYetThere()
    {
        Fixture f;
        f.window.toolActions().action(ID_ClearAll)->trigger();
        f.window.toolActions().action(ID_SetFileFilter)->trigger();
        QCOMPARE(f.desktop.texts(),
                 (std::vector<std::string>{std::string(clearAllQuestion), "To be implemented"}));
        QCOMPARE(f.desktop.messages[1].buttons, MessageButtons::Ok);
    }

    void stopEndsTheIntakeAfterTheCurrentFile()
    {
        Fixture f;
        GridModel files;
        files.ColumnFormat(fileListFormat());
        frmAddFiles intake(f.catalogue, f.desktop);
        intake.objVsg = &files;
        intake.request.blnAddFolder = true;
        intake.request.strFile = f.treePath();
        intake.yieldIntervalMs = 0;
        intake.refreshCaller = [&] { intake.cmdStop->click(); };
        intake.exec();
        QCOMPARE(intake.outcome(), Outcome::Stopped);
        QVERIFY(files.RowCount() < 5); // stopped at its first round of events
        QCOMPARE(intake.lblProcessed->text(),
                 QString("%1 File(s) Processed").arg(files.RowCount() - 1));
        QVERIFY(intake.isHidden());
    }

    void splashShowsOnceAndStartPathsWaitForIt()
    {
        Fixture f;
        f.window.splashMilliseconds = 10;
        f.window.addStartPaths({f.treePath()});
        QCOMPARE(f.window.files().RowCount(), 1); // nothing is added before the splash
        f.window.show();
        QTRY_VERIFY(f.window.splashDone());
        QCOMPARE(f.window.files().RowCount(), 5);
        f.window.showMinimized();
        f.window.showNormal();
        QTest::qWait(20);
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            QVERIFY(qobject_cast<frmSplash*>(widget) == nullptr);
        }
    }

    void dedupeChecksCriteriaFirstThenTheFileCount()
    {
        Fixture f;
        ToolActions& actions = f.window.toolActions();
        for (const auto id : {ID_UseExtension, ID_UseSize, ID_UseCRC}) {
            actions.action(id)->trigger();
        }
        actions.action(ID_Dedupe)->trigger();
        actions.action(ID_UseSize)->trigger();
        actions.action(ID_Dedupe)->trigger();
        QCOMPARE(f.desktop.texts(),
                 (std::vector<std::string>{"At least one setting must be ticked",
                                           "You must have at least added 2 files to dedupe"}));
    }

    void dedupeListsTheGroupsAndKeepsItsWorkFilesBesideTheCatalogue()
    {
        Fixture f;
        test::writeFile(f.tree / "dir/copy/f1.txt", "content 1");
        f.addTree();
        f.desktop.folderChoices.push_back(f.treePath() + "/copy");
        f.window.AddFolder();
        f.window.Dedupe();
        QCOMPARE(f.window.dupes().RowCount(), 3);
        QCOMPARE(f.window.dupes().recordAt(2).group, 1);
        QCOMPARE(text(f.window.lblDuplicate), QString("Duplicate List (Row 0 Of 2)"));
        QVERIFY(std::filesystem::exists(f.store / "dedupe.dat"));
        QVERIFY(std::filesystem::exists(f.store / "dupelist.dat"));
    }

    void deleteOpenAndExploreActOnTheSelectedRowsFiles()
    {
        Fixture f;
        const std::string odd = "odd\tname\n\xff";
        test::writeFile(f.tree / "dir/copy/f1.txt", "content 1");
        test::writeFile(f.tree / ("dir/copy/" + odd + ".txt"), "content 2");
        f.addTree();
        f.desktop.folderChoices.push_back(f.treePath() + "/copy");
        f.window.AddFolder();
        f.window.Dedupe();
        // Groups: f1 with copy/f1, f2 with copy/odd.
        QCOMPARE(f.window.dupes().RowCount(), 5);
        QTableView* view = f.window.vsgDupes;
        view->selectionModel()->select(f.window.vsgDupes->model()->index(1, 1),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        view->selectionModel()->select(f.window.vsgDupes->model()->index(3, 1),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QVERIFY(f.window.cmdOpen->isEnabled());
        const std::string copied =
            std::string(f.window.dupes().CellText(2, columnIndex(DupeColumn::Path))) +
            std::string(f.window.dupes().CellText(2, columnIndex(DupeColumn::FileName))) + ".txt";
        const std::string oddPath = f.treePath() + "/copy/" + odd + ".txt";
        QCOMPARE(copied, f.treePath() + "/copy/f1.txt");

        f.window.cmdOpen->click();
        f.window.cmdExplore->click();
        QCOMPARE(f.desktop.openedPaths, (std::vector<std::string>{copied, oddPath}));
        QCOMPARE(f.desktop.shownInFolder, (std::vector<std::string>{copied, oddPath}));
        emit view->activated(view->model()->index(1, 2));
        QCOMPARE(f.desktop.openedPaths.size(), std::size_t{4});

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
        QCOMPARE(f.window.files().RowCount(), 5);
        QCOMPARE(text(f.window.lblDuplicate).endsWith(" Of 2)"), true);
        QCOMPARE(text(f.window.lblFiles).endsWith(" Of 4)"), true);
        QCOMPARE(f.catalogue.RecordCount(), 4);
    }

    void stopDuringTheExportLeavesTheDuplicateListAsItWas()
    {
        Fixture f;
        f.addTree();
        f.window.dupes().AppendRow({"earlier"});
        frmDupes run(f.catalogue, DedupeFiles::in(f.store.path()), f.desktop);
        run.objVsg = &f.window.dupes();
        run.yieldIntervalMs = 0;
        run.refreshCaller = [&] { run.cmdStop->click(); };
        run.exec();
        QCOMPARE(run.outcome(), Outcome::Stopped);
        QCOMPARE(run.lblStatus->text(), QString("Step 2 :  Creating Duplicate List"));
        QCOMPARE(f.window.dupes().RowCount(), 2);
        QCOMPARE(std::string(f.window.dupes().CellText(1, 0)), std::string("earlier"));
    }

    void aDedupeAfterAStoppedOneStartsAfreshAndNothingFoundEmptiesTheList()
    {
        Fixture f;
        f.addTree();
        f.window.dupes().AppendRow({"earlier"});
        f.window.Dedupe();
        QCOMPARE(f.window.dupes().RowCount(), 1);
        QCOMPARE(text(f.window.lblDuplicate), QString("Duplicate List (Row 0 Of 0)"));

        test::writeFile(f.tree / "dir/copy/f1.txt", "content 1");
        f.desktop.folderChoices.push_back(f.treePath() + "/copy");
        f.window.AddFolder();
        frmDupes stopped(f.catalogue, DedupeFiles::in(f.store.path()), f.desktop);
        stopped.objVsg = &f.window.dupes();
        stopped.yieldIntervalMs = 0;
        stopped.refreshCaller = [&] { stopped.cmdStop->click(); };
        stopped.exec();
        QCOMPARE(stopped.outcome(), Outcome::Stopped);
        f.window.Dedupe();
        QCOMPARE(f.window.dupes().RowCount(), 3);
        QCOMPARE(text(f.window.lblDuplicate), QString("Duplicate List (Row 0 Of 2)"));
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

    void theCatalogueAndGuideAreFoundFromTheBuildTreeAndFromAnInstall()
    {
        test::TempDir dir;
        const auto build = dir / "build/src/app";
        std::filesystem::create_directories(build);
        QCOMPARE(catalogueFolder(build, dir / "data"), build);
        QCOMPARE(findHelpFile(build), build / "Corvelle.html");

        const auto bin = dir / "usr/bin";
        std::filesystem::create_directories(bin);
        test::writeFile(dir / "usr/share/doc/corvelle/Corvelle.html", "<html>");
        // Even where it could write (root can, anywhere), an installed program does not.
        QCOMPARE(catalogueFolder(bin, dir / "data/corvelle"), dir / "data/corvelle");
        QVERIFY(std::filesystem::is_directory(dir / "data/corvelle"));
        QCOMPARE(findHelpFile(bin), dir / "usr/share/doc/corvelle/Corvelle.html");
    }

    void aCatalogueThatCannotBeOpenedIsAnError()
    {
        clsDatabase catalogue;
        QVERIFY_THROWS_EXCEPTION(std::exception,
                                 startCatalogue(catalogue, "/nonexistent/folder/data.dat"));
    }
};

} // namespace corvelle

QTEST_MAIN(corvelle::MainWindowTest)
#include "MainWindowTest.moc"
