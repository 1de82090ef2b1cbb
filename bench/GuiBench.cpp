// The window's costs, offscreen: an intake of the many-small corpus through the real window
// against the same intake into a plain list; Dedupe of a million records, and Dedupe by name
// of 100,000 generated names, through the window against the same passes in the engine
// alone; Delete of 10,000 rows; and a list of a million rows scrolled to its end, resized and
// selected in.
//
// The corpus is $CORVELLE_CORPORA/many-small (scripts/run-benchmarks makes it); without it
// the intake cases are skipped.
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

fs::path corpus()
{
    const char* corpora = std::getenv("CORVELLE_CORPORA");
    return corpora == nullptr ? fs::path() : fs::path(corpora) / "many-small";
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

/// A desktop that answers every folder question with `folder`, the first question with Yes
/// and every later one with No, and shows nothing.
class BenchDesktop final : public Desktop {
public:
    explicit BenchDesktop(fs::path folder = corpus())
        : m_folder(std::move(folder))
    {}
    void setParentWindow(QWidget*) override {}
    MessageAnswer show(const Message& message) override
    {
        if (message.buttons != MessageButtons::YesNo) {
            return MessageAnswer::Ok;
        }
        return m_questions++ == 0 ? MessageAnswer::Yes : MessageAnswer::No;
    }
    std::vector<std::string> chooseFiles(std::string_view, std::string_view,
                                         std::string_view) override
    {
        return {};
    }
    std::optional<std::string> chooseFolder(std::string_view, std::string_view) override
    {
        return m_folder.string();
    }
    bool openUrl(std::string_view) override { return true; }
    void openPath(std::string_view) override {}
    void showInFolder(std::string_view) override {}

private:
    fs::path m_folder;
    int m_questions = 0;
};

/// A main window on screen (offscreen), past its splash.
struct ShownWindow {
    explicit ShownWindow(const fs::path& folder = corpus())
        : desktop(folder)
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

/// Catalogues the records (in the file list too, when given one).
void catalogueRecords(std::vector<test::ReferenceRecord>& records, clsDatabase& catalogue,
                      GridModel* files)
{
    int folder = 0;
    for (test::ReferenceRecord& r : records) {
        const std::string path = "/bench/folder " + std::to_string(folder++ % 5000) + "/";
        r.id = catalogue.AddRecord(path, r.file, r.extension, r.size, r.crc, r.identity);
        if (files != nullptr) {
            files->AppendRow(
                fileListRow(RecordCells{r.id, path, r.file, r.extension, r.size, r.crc.value}),
                RowRecord{r.id, 0, r.size});
        }
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

/// Delete, for good, of one file of each of 10,000 pairs of real files.
void BM_Delete_TenThousandRows(benchmark::State& state)
{
    constexpr int kPairs = 10'000;
    for (auto _ : state) {
        state.PauseTiming();
        Scratch tree;
        for (int i = 0; i < kPairs; ++i) {
            for (const char* copy : {"a", "b"}) {
                const fs::path file = tree.path / copy / (std::to_string(i) + ".txt");
                fs::create_directories(file.parent_path());
                FILE* out = std::fopen(file.c_str(), "w");
                std::fprintf(out, "content %d\n", i);
                std::fclose(out);
            }
        }
        ShownWindow shown(tree.path);
        shown.window.AddFolderRecursive();
        shown.window.Dedupe();
        std::vector<int> rows;
        for (int row = 2; row < shown.window.dupes().RowCount(); row += 2) {
            rows.push_back(row);
        }
        shown.window.dupes().setSelection(rows);
        QApplication::processEvents();
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

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
