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

/// IDs drawn uniformly from those BM_AddRecord gave out; one fixed sequence per seed.
class RandomIds {
public:
    explicit RandomIds(std::mt19937::result_type seed)
        : m_rng(seed)
    {}
    RecordId next() { return RecordId{m_pick(m_rng)}; }

private:
    std::mt19937 m_rng;
    std::uniform_int_distribution<std::int32_t> m_pick{1, kRecords};
};

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
    RandomIds ids(2);
    for (auto _ : state) {
        for (int i = 0; i < kLookups; ++i) {
            benchmark::DoNotOptimize(db.FindID(ids.next()));
        }
    }
    state.SetItemsProcessed(kLookups);
}
BENCHMARK(BM_FindID)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FindIDAndReadFields(benchmark::State& state)
{
    clsDatabase& db = store().db;
    RandomIds ids(3);
    for (auto _ : state) {
        for (int i = 0; i < kLookups / 4; ++i) {
            if (db.FindID(ids.next())) {
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
    RandomIds ids(4);
    for (auto _ : state) {
        for (int i = 0; i < kDeletes; ++i) {
            db.DeleteRecord(ids.next());
        }
    }
    state.SetItemsProcessed(kDeletes);
}
BENCHMARK(BM_DeleteRecord)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
