// Catalogue store throughput: adding a million distinct records, finding random IDs, and
// deleting ten thousand of them, in that order on one store.
#include "catalogue/clsDatabase.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

namespace {

using corvelle::clsDatabase;
using corvelle::RecordId;

constexpr int kRecords = 1'000'000;
constexpr int kLookups = 2'000'000;
constexpr int kDeletes = 10'000;

struct Store {
    std::filesystem::path file = std::filesystem::temp_directory_path() /
                                 ("corvelle-bench-" + std::to_string(getpid()) + ".dat");
    clsDatabase db;

    Store()
    {
        std::filesystem::remove(file);
        db.OpenProject(file);
    }
    ~Store()
    {
        db.CloseProject();
        std::filesystem::remove(file);
    }
};

Store& store()
{
    static Store instance;
    return instance;
}

void BM_AddRecord(benchmark::State& state)
{
    clsDatabase& db = store().db;
    std::mt19937 rng(1);
    for (auto _ : state) {
        for (int i = 0; i < kRecords; ++i) {
            const std::string folder = "/home/user/Music/Artist " + std::to_string(i / 100) +
                                       "/Album " + std::to_string(i / 10) + "/";
            const std::string name = "Track " + std::to_string(i % 100) + " - Title";
            const RecordId id = db.AddRecord(folder, name, ".mp3", 3'000'000 + (rng() & 0xFFFFF),
                                             static_cast<std::int32_t>(rng()));
            benchmark::DoNotOptimize(id);
        }
    }
    state.SetItemsProcessed(kRecords);
}
BENCHMARK(BM_AddRecord)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FindID(benchmark::State& state)
{
    clsDatabase& db = store().db;
    std::mt19937 rng(2);
    std::uniform_int_distribution<std::int32_t> pick(1, kRecords);
    for (auto _ : state) {
        for (int i = 0; i < kLookups; ++i) {
            benchmark::DoNotOptimize(db.FindID(RecordId{pick(rng)}));
        }
    }
    state.SetItemsProcessed(kLookups);
}
BENCHMARK(BM_FindID)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FindIDAndReadFields(benchmark::State& state)
{
    clsDatabase& db = store().db;
    std::mt19937 rng(3);
    std::uniform_int_distribution<std::int32_t> pick(1, kRecords);
    for (auto _ : state) {
        for (int i = 0; i < kLookups / 4; ++i) {
            if (db.FindID(RecordId{pick(rng)})) {
                benchmark::DoNotOptimize(db.currentRecord().size);
            }
        }
    }
    state.SetItemsProcessed(kLookups / 4);
}
BENCHMARK(BM_FindIDAndReadFields)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DeleteRecord(benchmark::State& state)
{
    clsDatabase& db = store().db;
    std::mt19937 rng(4);
    std::uniform_int_distribution<std::int32_t> pick(1, kRecords);
    for (auto _ : state) {
        for (int i = 0; i < kDeletes; ++i) {
            db.DeleteRecord(RecordId{pick(rng)});
        }
    }
    state.SetItemsProcessed(kDeletes);
}
BENCHMARK(BM_DeleteRecord)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
