// The vehicle file at 100,000 records: a save (compact, sort, atomic write,
// reload) of a file written in random order, beside a save of one already
// in order, a load alone, and the bare atomic write of the same bytes, so
// the sort's and the reload's shares show as ratios in one run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/files.h"
#include "app/settings.h"
#include "platform/headless/headless_platform.h"
#include "vehicles/vehicle_store.h"

namespace {

using namespace domora;

constexpr int kRecords = 100000;

struct Folder {
    Folder() {
        char pattern[] = "/tmp/domora-bench-XXXXXX";
        path = std::string(::mkdtemp(pattern)) + "/";
        set_platform(&os);
        settings().vehicle_id = 1;
    }
    ~Folder() {
        set_platform(nullptr);
        std::filesystem::remove_all(path);
    }
    HeadlessPlatform os;
    std::string path;
};

// One vehicle and its fill-ups and services over the years, in random order.
std::string shuffled_file() {
    std::vector<std::string> chunks;
    std::mt19937 random(7);
    for (int i = 1; i < kRecords; ++i) {
        ChunkHeader h;
        h.vehicle_id = 1;
        h.record_id = i + 1;
        h.year = static_cast<std::uint16_t>(1990 + i / 3000);
        h.month = static_cast<std::uint8_t>(1 + random() % 12);
        h.day = static_cast<std::uint8_t>(1 + random() % 28);
        h.b = static_cast<std::int32_t>(std::int64_t{i} * 20000);  // 200 km a step stays within the field
        h.d = static_cast<std::int32_t>(random() % 100000);
        if (i % 6 == 0) {
            h.type = kRecordMaintenance;
            chunks.push_back(encode_chunk(h, maintenance_body("Oil change and filter, tyres rotated")));
        } else {
            h.type = kRecordFuel;
            h.a = h.b - 18000;
            h.c = 38000;
            h.e = 126000;
            chunks.push_back(encode_chunk(h, {}));
        }
    }
    std::shuffle(chunks.begin(), chunks.end(), random);
    ChunkHeader car;
    car.type = kRecordVehicle;
    car.vehicle_id = 1;
    car.record_id = 1;
    car.year = 1990;
    car.month = 1;
    car.day = 1;
    std::string file = encode_chunk(car, vehicle_body("Volvo", "240", "YV1AX884", "ABC 123", ""));
    for (const std::string& c : chunks) file += c;
    return file;
}

void BM_SaveShuffled(benchmark::State& state) {
    Folder folder;
    const std::string file = shuffled_file();
    VehicleStore store(folder.path + "vehicle11.dat");
    for (auto _ : state) {
        state.PauseTiming();
        (void)write_file_atomic(store.path(), file);
        store.load();
        state.ResumeTiming();
        benchmark::DoNotOptimize(store.save().ok());
    }
    if (store.record_count() != kRecords - 1) state.SkipWithError("records went missing");
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_SaveInOrder(benchmark::State& state) {
    Folder folder;
    VehicleStore store(folder.path + "vehicle11.dat");
    (void)write_file_atomic(store.path(), shuffled_file());
    store.load();
    (void)store.save();
    for (auto _ : state) benchmark::DoNotOptimize(store.save().ok());
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_Load(benchmark::State& state) {
    Folder folder;
    VehicleStore store(folder.path + "vehicle11.dat");
    (void)write_file_atomic(store.path(), shuffled_file());
    for (auto _ : state) {
        store.load();
        benchmark::DoNotOptimize(store.average_economy());
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_AtomicWriteAlone(benchmark::State& state) {
    Folder folder;
    const std::string file = shuffled_file();
    for (auto _ : state) benchmark::DoNotOptimize(write_file_atomic(folder.path + "vehicle11.dat", file).ok());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
}

BENCHMARK(BM_SaveShuffled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveInOrder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AtomicWriteAlone)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
