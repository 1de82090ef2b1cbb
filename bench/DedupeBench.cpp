// A whole dedupe run (export, grouping, loading) on synthetic catalogues and on the names
// corpus, against the plain loop that compares every record with every later one.
//
// The names corpus is read from $CORVELLE_CORPORA/names.manifest.tsv (scripts/run-benchmarks
// makes it); without it that case is skipped.
#include "ReferenceDedupe.h"
#include "SyntheticCatalogue.h"
#include "catalogue/DedupeRun.h"
#include "catalogue/clsDatabase.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace corvelle;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

/// A scratch folder for one benchmark case, removed afterwards.
struct WorkDir {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("corvelle-dedupe-bench-" + std::to_string(getpid()));
    WorkDir()
    {
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~WorkDir() { std::filesystem::remove_all(path); }
};

/// The names corpus as catalogue records, from its manifest (no file is read).
std::vector<test::ReferenceRecord> namesCorpus()
{
    const char* corpora = std::getenv("CORVELLE_CORPORA");
    if (corpora == nullptr) {
        return {};
    }
    std::ifstream manifest(std::filesystem::path(corpora) / "names.manifest.tsv");
    std::vector<test::ReferenceRecord> records;
    std::string line;
    std::getline(manifest, line); // header
    while (std::getline(manifest, line)) {
        const std::string relpath = line.substr(line.rfind('\t') + 1);
        std::string name = relpath.substr(relpath.rfind('/') + 1);
        test::ReferenceRecord r;
        const std::size_t dot = name.rfind('.');
        r.file = dot == std::string::npos ? name : name.substr(0, dot);
        r.extension = dot == std::string::npos ? "" : name.substr(dot);
        r.identity = PhysicalFile{1, records.size() + 1};
        records.push_back(r);
    }
    return records;
}

struct RunTimes {
    double exportSeconds = 0;
    double groupSeconds = 0;
    double loadSeconds = 0;
    std::size_t rows = 0;
};

/// Catalogues the records (untimed), then times the three passes.
RunTimes timePasses(std::vector<test::ReferenceRecord>& records, const DedupeSettings& settings)
{
    WorkDir dir;
    clsDatabase db;
    db.OpenProject(dir.path / "data.dat");
    int folder = 0;
    for (test::ReferenceRecord& r : records) {
        r.id = db.AddRecord("/bench/folder " + std::to_string(folder++ % 5000) + "/", r.file,
                            r.extension, r.size, r.crc, r.identity);
    }
    const DedupeFiles files = DedupeFiles::in(dir.path);
    GridModel grid;
    grid.ColumnFormat(dupeListFormat());
    const WorkHooks hooks;
    RunTimes times;
    auto start = Clock::now();
    db.ExportRecordset(files.exportFile, hooks);
    times.exportSeconds = secondsSince(start);
    start = Clock::now();
    db.FindDupes(files.exportFile, files.pairFile, settings, hooks);
    times.groupSeconds = secondsSince(start);
    start = Clock::now();
    db.AddDupes(files.pairFile, grid, hooks);
    times.loadSeconds = secondsSince(start);
    times.rows = static_cast<std::size_t>(grid.RowCount() - 1);
    return times;
}

void report(benchmark::State& state, const RunTimes& t, std::size_t records)
{
    const double total = t.exportSeconds + t.groupSeconds + t.loadSeconds;
    state.SetIterationTime(total);
    state.SetItemsProcessed(static_cast<std::int64_t>(records));
    state.counters["export_s"] = t.exportSeconds;
    state.counters["group_s"] = t.groupSeconds;
    state.counters["load_s"] = t.loadSeconds;
    state.counters["rows"] = static_cast<double>(t.rows);
}

/// Times the plain loop on the first `limit` records; returns its pairs per second.
double plainPairsPerSecond(const std::vector<test::ReferenceRecord>& records, std::size_t limit,
                           const DedupeSettings& settings)
{
    const std::vector<test::ReferenceRecord> part(
        records.begin(),
        records.begin() + static_cast<std::ptrdiff_t>(std::min(limit, records.size())));
    const auto start = Clock::now();
    benchmark::DoNotOptimize(test::referenceGrouping(part, settings));
    const double n = static_cast<double>(part.size());
    return n * (n - 1) / 2 / secondsSince(start);
}

void BM_Dedupe_Synthetic(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    std::vector<test::ReferenceRecord> records = bench::syntheticCatalogue(n);
    const DedupeSettings settings; // extension, size, checksum
    for (auto _ : state) {
        report(state, timePasses(records, settings), n);
    }
    if (n <= 20'000) {
        const double pairsPerSecond = plainPairsPerSecond(records, n, settings);
        const double plainSeconds =
            static_cast<double>(n) * static_cast<double>(n - 1) / 2 / pairsPerSecond;
        state.counters["plain_s"] = plainSeconds;
        state.counters["speedup"] =
            plainSeconds /
            (state.counters["export_s"] + state.counters["group_s"] + state.counters["load_s"]);
    }
}
BENCHMARK(BM_Dedupe_Synthetic)
    ->Arg(1'000)
    ->Arg(20'000)
    ->Arg(1'000'000)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_Dedupe_NamesCorpus(benchmark::State& state)
{
    std::vector<test::ReferenceRecord> records = namesCorpus();
    if (records.empty()) {
        state.SkipWithError("set CORVELLE_CORPORA to a folder with names.manifest.tsv");
        return;
    }
    DedupeSettings settings;
    settings.blnUseName = true;
    settings.blnUseExtension = settings.blnUseSize = settings.blnUseCRC = false;
    settings.lngMatchScore = 80;
    for (auto _ : state) {
        report(state, timePasses(records, settings), records.size());
    }
    // The plain loop takes minutes on the whole corpus; time it on the first 3,000 names and
    // scale by the number of pairs.
    const double pairsPerSecond = plainPairsPerSecond(records, 3'000, settings);
    const double n = static_cast<double>(records.size());
    const double plainSeconds = n * (n - 1) / 2 / pairsPerSecond;
    state.counters["plain_pairs_per_s"] = pairsPerSecond;
    state.counters["plain_s"] = plainSeconds;
    state.counters["speedup"] =
        plainSeconds /
        (state.counters["export_s"] + state.counters["group_s"] + state.counters["load_s"]);
}
BENCHMARK(BM_Dedupe_NamesCorpus)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
