// The window's costs, offscreen: an intake of the many-small corpus through the real window
// against the same intake into a plain list, and a list of a million rows scrolled to its end,
// resized and selected in.
//
// The corpus is $CORVELLE_CORPORA/many-small (scripts/run-benchmarks makes it); without it
// the intake cases are skipped.
#include "catalogue/clsDatabase.h"
#include "controls/GridModel.h"
#include "controls/GridTableModel.h"
#include "controls/GridViewBinding.h"
#include "controls/ListColumns.h"
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

/// A desktop that answers every folder question with the corpus and says nothing.
class CorpusDesktop final : public Desktop {
public:
    void setParentWindow(QWidget*) override {}
    MessageAnswer show(const Message&) override { return MessageAnswer::No; }
    std::vector<std::string> chooseFiles(std::string_view, std::string_view) override { return {}; }
    std::optional<std::string> chooseFolder(std::string_view) override { return corpus().string(); }
    bool openUrl(std::string_view) override { return true; }
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
        Scratch scratch;
        clsDatabase catalogue;
        startCatalogue(catalogue, scratch.path / "data.dat");
        CorpusDesktop desktop;
        frmMain window(desktop, catalogue, scratch.path, scratch.path / "Corvelle.html");
        window.splashMilliseconds = 1;
        window.resize(1024, 768);
        window.show();
        while (!window.splashDone()) {
            QApplication::processEvents();
        }
        state.ResumeTiming();
        window.AddFolderRecursive();
        QApplication::processEvents(); // the list shows its rows
        state.counters["rows"] = window.files().RowCount() - 1;
    }
}
BENCHMARK(BM_Intake_Window)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

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
    static MillionRows rows;
    return rows;
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
