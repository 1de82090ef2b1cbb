// A whole dedupe run (export, grouping, loading) on synthetic catalogues and on real and
// generated file names, against the plain loop that compares every record with every later
// one.
//
// The name corpora are those of NameCorpora.h; a corpus that is missing is skipped.
#include "NameCorpora.h"
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
#include <map>
#include <random>
#include <string>
#include <thread>
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

enum Criteria { kName, kNameAndExtension, kDefault };

DedupeSettings criteria(std::int64_t which)
{
    DedupeSettings settings; // extension, size, checksum; names at 80
    if (which != kDefault) {
        settings.blnUseName = true;
        settings.blnUseExtension = which == kNameAndExtension;
        settings.blnUseSize = settings.blnUseCRC = false;
    }
    return settings;
}

/// The pairs of distinct names the search looked at, compared exactly and found matching,
/// and the plain loop's time estimated from its speed on the first 3,000 records: counted
/// once per case, outside the timed runs.
struct CaseFacts {
    SearchCounts search;
    double plainSeconds = 0;
};

const CaseFacts& factsOf(const std::vector<test::ReferenceRecord>& records,
                         const DedupeSettings& settings, std::int64_t key)
{
    static std::map<std::int64_t, CaseFacts> known;
    const auto it = known.find(key);
    if (it != known.end()) {
        return it->second;
    }
    CaseFacts facts;
    facts.search =
        test::runFinder(records, settings, std::thread::hardware_concurrency()).nameSearch;
    const double n = static_cast<double>(records.size());
    facts.plainSeconds = n * (n - 1) / 2 / plainPairsPerSecond(records, 3'000, settings);
    return known.emplace(key, facts).first->second;
}

/// Args: the corpus, the criteria.
void BM_Dedupe_Corpus(benchmark::State& state)
{
    std::vector<test::ReferenceRecord> records = bench::nameCorpus(state.range(0));
    if (records.empty()) {
        state.SkipWithError("corpus missing: see scripts/run-benchmarks");
        return;
    }
    const DedupeSettings settings = criteria(state.range(1));
    for (auto _ : state) {
        report(state, timePasses(records, settings), records.size());
    }
    const CaseFacts& facts = factsOf(records, settings, state.range(0) * 16 + state.range(1));
    state.counters["names_visited"] = static_cast<double>(facts.search.visited);
    state.counters["compared_exactly"] = static_cast<double>(facts.search.comparedExactly);
    state.counters["matching"] = static_cast<double>(facts.search.matched);
    state.counters["plain_s"] = facts.plainSeconds;
    state.counters["threads"] = std::thread::hardware_concurrency();
}
// Medians of three runs: the machine may be shared.
BENCHMARK(BM_Dedupe_Corpus)
    ->ArgsProduct({{bench::kNames100k, bench::kUsr, bench::kNamesMillion},
                   {kName, kNameAndExtension, kDefault}})
    ->ArgNames({"corpus", "criteria"})
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
