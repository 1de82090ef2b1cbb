// The window's costs, offscreen: an intake of the many-small corpus through the real window
// The window's costs, offscreen: an intake of the many-small corpus through the real window
// against the same intake into a plain list; Dedupe of a million records, and Dedupe by name
// of 100,000 generated names, through the window against the same passes in the engine
// alone; Delete of 10,000 rows; a list of a million rows scrolled to its end, resized and
// selected in; Select Duplicates by every rule on a list of 250,000 rows; Verify Duplicates
// on the mixed corpus against the command line's --verify on the same list; and Undo Delete
// of 1,000 files.
//
// The corpora are $CORVELLE_CORPORA/many-small and mixed (scripts/run-benchmarks makes
// them); without them the cases that read them are skipped.
#include "CliActions.h"
#include "CliTerminal.h"
#include "NameCorpora.h"
#include "SyntheticCatalogue.h"
#include "catalogue/DedupeRun.h"
#include "catalogue/clsDatabase.h"
#include "controls/GridModel.h"
#include "controls/GridTableModel.h"
#include "controls/GridViewBinding.h"
#include "controls/ListColumns.h"
#include "controls/ToolModel.h"
#include "desktop/Desktop.h"
#include "intake/FileIntake.h"
#include "mainwindow/frmMain.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QTableView>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdlib.h>

namespace {

using namespace corvelle;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path corpus(std::string_view name = "many-small")
{
    const char* corpora = std::getenv("CORVELLE_CORPORA");
    return corpora == nullptr ? fs::path() : fs::path(corpora) / name;
}

/// A fresh folder for a catalogue, removed afterwards.
struct Scratch {
    Scratch()
    {
        std::string pattern = (fs::temp_directory_path() / "corvelle-bench-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Scratch() { fs::remove_all(path); }
    fs::path path;
};

/// A desktop that answers every folder question with `folder`, the first `yes` questions with
/// Yes and every later one with No, and shows nothing.
class BenchDesktop final : public Desktop {
public:
    explicit BenchDesktop(fs::path chosenFolder = corpus(), int yes = 1)
        : folder(std::move(chosenFolder))
        , m_yes(yes)
    {}
    void setParentWindow(QWidget*) override {}
    MessageAnswer show(const Message& message) override
    {
        if (message.buttons != MessageButtons::YesNo) {
            return MessageAnswer::Ok;
        }
        return m_questions++ < m_yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    std::vector<std::string> chooseFiles(std::string_view, std::string_view,
                                         std::string_view) override
    {
        return {};
    }
    std::optional<std::string> chooseFolder(std::string_view, std::string_view) override
    {
        return folder.string();
    }
    bool openUrl(std::string_view) override { return true; }
    void openPath(std::string_view) override {}
    void showInFolder(std::string_view) override {}

    fs::path folder; ///< the answer to every folder question

private:
    int m_yes;
    int m_questions = 0;
};

/// A main window on screen (offscreen), past its splash.
struct ShownWindow {
    explicit ShownWindow(const fs::path& folder = corpus(), int yes = 1)
        : desktop(folder, yes)
    {
        startCatalogue(catalogue, scratch.path / "data.dat");
        window.splashMilliseconds = 1;
        window.resize(1024, 768);
        window.show();
        while (!window.splashDone()) {
            QApplication::processEvents();
        }
    }
    Scratch scratch;
    clsDatabase catalogue;
    BenchDesktop desktop;
    frmMain window{desktop, catalogue, scratch.path, scratch.path / "Corvelle.html"};
};

void BM_Intake_PlainList(benchmark::State& state)
{
    if (!fs::is_directory(corpus())) {
        state.SkipWithError("set CORVELLE_CORPORA to a folder with many-small");
        return;
    }
    for (auto _ : state) {
        Scratch scratch;
        clsDatabase catalogue;
        startCatalogue(catalogue, scratch.path / "data.dat");
        GridModel files;
        files.ColumnFormat(fileListFormat());
        IntakeRequest request;
        request.blnAddFolder = request.blnRecursive = true;
        request.lngCRCSize = 1024 * 1024;
        request.strFile = corpus().string();
        FileIntake intake(catalogue, &files, WorkHooks{});
        intake.Run(request);
        state.counters["rows"] = files.RowCount() - 1;
    }
}
BENCHMARK(BM_Intake_PlainList)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Intake_Window(benchmark::State& state)
{
    if (!fs::is_directory(corpus())) {
        state.SkipWithError("set CORVELLE_CORPORA to a folder with many-small");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        ShownWindow shown;
        state.ResumeTiming();
        shown.window.AddFolderRecursive();
        QApplication::processEvents(); // the list shows its rows
        state.counters["rows"] = shown.window.files().RowCount() - 1;
    }
}
BENCHMARK(BM_Intake_Window)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

constexpr std::size_t kDedupeRecords = 1'000'000;

/// Catalogues the record in `path` and, given a file list, lists it there as an intake would.
void catalogueRecord(clsDatabase& catalogue, GridModel* files, const std::string& path,
                     test::ReferenceRecord& r)
{
    r.id = catalogue.AddRecord(path, r.file, r.extension, r.size, r.crc, r.identity);
    if (files != nullptr) {
        files->AppendRow(
            fileListRow(RecordCells{r.id, path, r.file, r.extension, r.size, r.crc.value}),
            RowRecord{r.id, 0, r.size, r.identity});
    }
}

/// Catalogues the records (in the file list too, when given one).
void catalogueRecords(std::vector<test::ReferenceRecord>& records, clsDatabase& catalogue,
                      GridModel* files)
{
    int folder = 0;
    for (test::ReferenceRecord& r : records) {
        catalogueRecord(catalogue, files, "/bench/folder " + std::to_string(folder++ % 5000) + "/",
                        r);
    }
}

/// By name at 80 %, as the window's tools give it once Name is ticked and the rest not.
DedupeSettings byNameOnly(ToolModel& tools)
{
    using namespace toolIds;
    tools.Tools(ID_UseName).ToolState(1);
    for (const std::string_view id : {ID_UseExtension, ID_UseSize, ID_UseCRC}) {
        tools.Tools(id).ToolState(0);
    }
    return tools.dedupeSettings();
}

/// Args: 0 for the synthetic million by the default criteria, 1 for 100,000 generated names
/// by name.
std::vector<test::ReferenceRecord> dedupeCase(std::int64_t which)
{
    return which == 0 ? bench::syntheticCatalogue(kDedupeRecords)
                      : bench::nameCorpus(bench::kNames100k);
}

void BM_Dedupe_EngineAlone(benchmark::State& state)
{
    std::vector<test::ReferenceRecord> records = dedupeCase(state.range(0));
    ToolModel tools;
    const DedupeSettings settings = state.range(0) == 0 ? DedupeSettings{} : byNameOnly(tools);
    for (auto _ : state) {
        state.PauseTiming();
        Scratch scratch;
        clsDatabase catalogue;
        startCatalogue(catalogue, scratch.path / "data.dat");
        catalogueRecords(records, catalogue, nullptr);
        GridModel dupes;
        dupes.ColumnFormat(dupeListFormat());
        state.ResumeTiming();
        runDedupe(catalogue, settings, DedupeFiles::in(scratch.path), dupes, DedupeRunHooks{});
        state.counters["rows"] = dupes.RowCount() - 1;
    }
}
/// Both cases, medians of three runs: the machine may be shared.
void dedupeCases(benchmark::internal::Benchmark* bench)
{
    bench->Arg(0)->Arg(1)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);
    bench->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(BM_Dedupe_EngineAlone)->Apply(dedupeCases);

void BM_Dedupe_Window(benchmark::State& state)
{
    std::vector<test::ReferenceRecord> records = dedupeCase(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        ShownWindow shown;
        if (state.range(0) != 0) {
            byNameOnly(shown.window.tools());
        }
        catalogueRecords(records, shown.catalogue, &shown.window.files());
        QApplication::processEvents();
        state.ResumeTiming();
        shown.window.Dedupe();
        QApplication::processEvents(); // the list shows its rows
        state.counters["rows"] = shown.window.dupes().RowCount() - 1;
    }
}
BENCHMARK(BM_Dedupe_Window)->Apply(dedupeCases);

/// `pairs` pairs of small files with the same contents, in `folder`/a and `folder`/b.
void writePairs(const fs::path& folder, int pairs)
{
    for (const char* copy : {"a", "b"}) {
        fs::create_directories(folder / copy);
    }
    for (int i = 0; i < pairs; ++i) {
        for (const char* copy : {"a", "b"}) {
            const fs::path file = folder / copy / (std::to_string(i) + ".txt");
            FILE* out = std::fopen(file.c_str(), "w");
            std::fprintf(out, "content %d\n", i);
            std::fclose(out);
        }
    }
}

/// The window deduplicates the pairs of `folder` and selects the second row of each.
void selectSecondCopies(ShownWindow& shown)
{
    shown.window.AddFolderRecursive();
    shown.window.Dedupe();
    std::vector<int> rows;
    for (int row = 2; row < shown.window.dupes().RowCount(); row += 2) {
        rows.push_back(row);
    }
    shown.window.dupes().setSelection(rows);
    QApplication::processEvents();
}

/// Delete, for good, of one file of each of 10,000 pairs of real files.
void BM_Delete_TenThousandRows(benchmark::State& state)
{
    constexpr int kPairs = 10'000;
    for (auto _ : state) {
        state.PauseTiming();
        Scratch tree;
        writePairs(tree.path, kPairs);
        ShownWindow shown(tree.path);
        selectSecondCopies(shown);
        state.ResumeTiming();
        shown.window.cmdDelete_Click(); // Yes, then No: for good
        QApplication::processEvents();
        state.PauseTiming();
        state.counters["rows_left"] = shown.window.dupes().RowCount() - 1;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Delete_TenThousandRows)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

/// A file list of a million rows in a view on screen.
struct MillionRows {
    MillionRows()
    {
        files.ColumnFormat(fileListFormat());
        files.ColumnHidden(0, true);
        for (int i = 1; i <= 1'000'000; ++i) {
            const std::string name = "file " + std::to_string(i);
            files.AppendRow(fileListRow(RecordCells{RecordId{i}, "/home/user/Pictures/2026/", name,
                                                    ".jpg", 100'000 + i, i}),
                            RowRecord{RecordId{i}, 0, 100'000 + i});
        }
        model = std::make_unique<GridTableModel>(files);
        binding = new GridViewBinding(view, *model);
        view.resize(1024, 700);
        view.show();
        QApplication::processEvents();
    }
    /// Paints the view now, as the next frame would.
    void paint() { view.viewport()->repaint(); }

    GridModel files;
    std::unique_ptr<GridTableModel> model;
    QTableView view;
    GridViewBinding* binding = nullptr;
};

MillionRows& millionRows()
{
    // Never destroyed: a widget destroyed at exit, after the application object, crashes.
    static MillionRows* rows = new MillionRows;
    return *rows;
}

void BM_MillionRows_ScrollToEnd(benchmark::State& state)
{
    MillionRows& rows = millionRows();
    bool atEnd = false;
    for (auto _ : state) {
        atEnd ? rows.view.scrollToTop() : rows.view.scrollToBottom();
        atEnd = !atEnd;
        rows.paint();
    }
}
BENCHMARK(BM_MillionRows_ScrollToEnd)->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_MillionRows_Resize(benchmark::State& state)
{
    MillionRows& rows = millionRows();
    bool wide = false;
    for (auto _ : state) {
        rows.view.resize(wide ? 1024 : 900, 700);
        wide = !wide;
        QApplication::processEvents();
        rows.paint();
    }
}
BENCHMARK(BM_MillionRows_Resize)->Iterations(20)->Unit(benchmark::kMillisecond);

void BM_MillionRows_SelectionChange(benchmark::State& state)
{
    MillionRows& rows = millionRows();
    int row = 999'000;
    for (auto _ : state) {
        rows.view.selectionModel()->select(rows.model->index(row++, 1),
                                           QItemSelectionModel::ClearAndSelect |
                                               QItemSelectionModel::Rows);
        rows.paint();
    }
    state.counters["selected_in_grid"] = rows.files.SelectedRowCount();
}
BENCHMARK(BM_MillionRows_SelectionChange)->Iterations(20)->Unit(benchmark::kMillisecond);

/// A window whose duplicate list has 250,000 rows: 125,000 pairs of real empty files (the rules
/// on time look at them), catalogued with each pair's own size and checksum, beside 750,000
/// records of files without a copy, so that the catalogue holds a million.
struct SelectionList {
    static constexpr int kPairs = 125'000;
    static constexpr int kAlone = 750'000;
    static constexpr int kFilesPerFolder = 500;

    SelectionList()
        : shown(tree.path / "b") // the folder "Keep the One Inside a Folder..." is given
    {
        for (int i = 0; i < kPairs; ++i) {
            for (const char* side : {"a", "b"}) {
                const fs::path folder = tree.path / side / std::to_string(i / kFilesPerFolder);
                if (i % kFilesPerFolder == 0) {
                    fs::create_directories(folder);
                }
                test::ReferenceRecord r;
                r.file = "file " + std::to_string(i);
                r.extension = ".dat";
                std::fclose(std::fopen((folder / (r.file + r.extension)).c_str(), "w"));
                r.size = 1000 + i;
                r.crc.value = CrcValue(i);
                r.identity = statusOf(folder / (r.file + r.extension))->identity;
                catalogueRecord(shown.catalogue, &shown.window.files(), folder.string() + "/", r);
            }
        }
        for (int i = 0; i < kAlone; ++i) {
            test::ReferenceRecord r;
            r.file = "alone " + std::to_string(i);
            r.extension = ".dat";
            r.size = 10'000'000 + i;
            r.crc.value = CrcValue(i);
            r.identity = PhysicalFile{1, static_cast<std::uint64_t>(i) + 1};
            catalogueRecord(shown.catalogue, &shown.window.files(),
                            "/bench/alone " + std::to_string(i / kFilesPerFolder) + "/", r);
        }
        shown.window.Dedupe();
        QApplication::processEvents();
    }

    Scratch tree;
    ShownWindow shown;
};

/// Made when first used; released in main, while the application still runs.
std::unique_ptr<SelectionList> g_selectionList;

/// Select Duplicates by the rule, where every row was selected the other way: the rule's
/// selection inverted within the groups (as after choosing one rule, then another).
void BM_SelectDuplicates(benchmark::State& state, std::string_view rule)
{
    if (!g_selectionList) {
        g_selectionList = std::make_unique<SelectionList>();
    }
    frmMain& window = g_selectionList->shown.window;
    for (auto _ : state) {
        state.PauseTiming();
        window.SelectDuplicates(rule);
        window.InvertSelection();
        QApplication::processEvents();
        state.ResumeTiming();
        window.SelectDuplicates(rule);
        QApplication::processEvents(); // the list shows the selection
    }
    state.counters["rows"] = window.dupes().RowCount() - 1;
    state.counters["selected"] = window.dupes().SelectedRowCount();
}
#define SELECT_DUPLICATES(Rule, Tool)                                                              \
    BENCHMARK_CAPTURE(BM_SelectDuplicates, Rule, toolIds::Tool)                                    \
        ->Iterations(1)                                                                            \
        ->Repetitions(3)                                                                           \
        ->ReportAggregatesOnly(true)                                                               \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->UseRealTime()
SELECT_DUPLICATES(First, ID_KeepFirst);
SELECT_DUPLICATES(Last, ID_KeepLast);
SELECT_DUPLICATES(Oldest, ID_KeepOldest);
SELECT_DUPLICATES(Newest, ID_KeepNewest);
SELECT_DUPLICATES(ShortestPath, ID_KeepShortestPath);
SELECT_DUPLICATES(LongestPath, ID_KeepLongestPath);
SELECT_DUPLICATES(InsideFolder, ID_KeepInsideFolder);

/// The list with every other row selected, scrolled from one end to the other and painted.
void BM_SelectDuplicates_ThenScroll(benchmark::State& state)
{
    if (!g_selectionList) {
        g_selectionList = std::make_unique<SelectionList>();
    }
    frmMain& window = g_selectionList->shown.window;
    window.SelectDuplicates(toolIds::ID_KeepFirst);
    QApplication::processEvents();
    bool atEnd = false;
    for (auto _ : state) {
        atEnd ? window.vsgDupes->scrollToTop() : window.vsgDupes->scrollToBottom();
        atEnd = !atEnd;
        window.vsgDupes->viewport()->repaint();
    }
    state.counters["selected"] = window.dupes().SelectedRowCount();
}
BENCHMARK(BM_SelectDuplicates_ThenScroll)->Iterations(10)->Unit(benchmark::kMillisecond);

/// The mixed corpus added and deduplicated in a window, its files read once so that every
/// verification measured reads them from the page cache.
struct MixedList {
    MixedList()
        : shown(corpus("mixed"))
    {
        shown.window.AddFolderRecursive();
        shown.window.Dedupe();
        shown.window.VerifyDuplicates();
    }
    ShownWindow shown;
};

std::unique_ptr<MixedList> g_mixedList;

/// The mixed list, or null (the benchmark skipped) without the corpus.
MixedList* mixedList(benchmark::State& state)
{
    if (!fs::is_directory(corpus("mixed"))) {
        state.SkipWithError("set CORVELLE_CORPORA to a folder with mixed");
        return nullptr;
    }
    if (!g_mixedList) {
        g_mixedList = std::make_unique<MixedList>();
    }
    return g_mixedList.get();
}

void BM_VerifyDuplicates_Window(benchmark::State& state)
{
    MixedList* list = mixedList(state);
    if (list == nullptr) {
        return;
    }
    for (auto _ : state) {
        list->shown.window.VerifyDuplicates();
        QApplication::processEvents(); // the list shows the verification
    }
    state.counters["rows"] = list->shown.window.dupes().RowCount() - 1;
}
BENCHMARK(BM_VerifyDuplicates_Window)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

/// What corvelle-cli --verify does with the same list.
void BM_VerifyDuplicates_CommandLine(benchmark::State& state)
{
    MixedList* list = mixedList(state);
    if (list == nullptr) {
        return;
    }
    cli::Options options;
    options.quiet = true;
    const StopFlag stop;
    cli::TerminalDisplay display(false);
    for (auto _ : state) {
        cli::VerifiedList verified;
        verified.rows.ColumnFormat(dupeListFormat());
        benchmark::DoNotOptimize(
            cli::verifyDuplicates(list->shown.window.dupes(), options, stop, display, verified));
    }
    state.counters["rows"] = list->shown.window.dupes().RowCount() - 1;
}
BENCHMARK(BM_VerifyDuplicates_CommandLine)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

/// Undo Delete of 1,000 files the window sent to the Trash: the files back at their paths,
/// their records in the catalogue and their rows in both lists.
void BM_UndoDelete_ThousandFiles(benchmark::State& state)
{
    constexpr int kPairs = 1'000;
    for (auto _ : state) {
        state.PauseTiming();
        // The Trash in the scratch folder: on the copies' volume, and not the user's.
        Scratch scratch;
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString((scratch.path / "data").native()));
        writePairs(scratch.path / "copies", kPairs);
        {
            ShownWindow shown(scratch.path / "copies", 2); // Delete: Yes, to the Trash: Yes
            selectSecondCopies(shown);
            shown.window.cmdDelete_Click();
            QApplication::processEvents();
            state.ResumeTiming();
            shown.window.UndoDelete();
            QApplication::processEvents(); // the lists show the rows back
            state.PauseTiming();
            state.counters["rows"] = shown.window.dupes().RowCount() - 1;
        }
        qunsetenv("XDG_DATA_HOME");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_UndoDelete_ThousandFiles)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_selectionList.reset();
    g_mixedList.reset();
    return 0;
}
