// The repair of a damaged vehicle file of 100,000 records (fifty vehicles,
// junk between chunks, damaged records, duplicates and records whose vehicle
// is gone, all in random order) beside a plain save of the same file, so the
// repair's own share shows as a ratio in one run.
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
#include "vehicles/vehicle_repair.h"
#include "vehicles/vehicle_store.h"

namespace {

using namespace domora;

constexpr int kRecords = 100000;
constexpr int kVehicles = 50;

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

std::string damaged_file() {
    std::mt19937 random(11);
    std::vector<std::string> chunks;
    for (int v = 1; v <= kVehicles; ++v) {
        ChunkHeader car;
        car.type = kRecordVehicle;
        car.vehicle_id = v * 3;
        car.year = static_cast<std::uint16_t>(1990 + v % 30);
        car.month = 1;
        car.day = 1;
        chunks.push_back(encode_chunk(car, vehicle_body("Volvo", "240 #" + std::to_string(v), "YV1AX884", "ABC 123", "")));
    }
    for (int i = static_cast<int>(chunks.size()); i < kRecords; ++i) {
        ChunkHeader h;
        // One record in a hundred belongs to a vehicle that is gone.
        h.vehicle_id = i % 100 == 0 ? 999 : 3 * (1 + static_cast<int>(random() % kVehicles));
        h.record_id = i;
        h.year = static_cast<std::uint16_t>(i % 500 == 0 ? 2301 : 1990 + i / 3000);
        h.month = static_cast<std::uint8_t>(1 + random() % 12);
        h.day = static_cast<std::uint8_t>(1 + random() % 28);
        h.b = i * 200;
        h.d = static_cast<std::int32_t>(random() % 100000);
        if (i % 6 == 0) {
            h.type = kRecordMaintenance;
            chunks.push_back(encode_chunk(h, maintenance_body("Oil change and filter, tyres rotated")));
        } else {
            h.type = kRecordFuel;
            h.a = h.b - 180;
            h.c = 38000;
            h.e = 126000;
            chunks.push_back(encode_chunk(h, {}));
        }
        if (i % 250 == 0) chunks.push_back(chunks.back());  // a duplicate
    }
    std::shuffle(chunks.begin(), chunks.end(), random);
    std::string file;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        if (i % 1000 == 0) file += "damaged";
        file += chunks[i];
    }
    return file;
}

void BM_Repair(benchmark::State& state) {
    Folder folder;
    const std::string file = damaged_file();
    VehicleStore store(folder.path + "vehicle11.dat");
    RepairOutcome outcome;
    for (auto _ : state) {
        state.PauseTiming();
        (void)write_file_atomic(store.path(), file);
        state.ResumeTiming();
        outcome = repair_vehicle_file(store, StoreCallbacks{}, 2026);
    }
    if (outcome.status != RepairOutcome::Repaired || outcome.duplicates == 0 || outcome.lost_records == 0) {
        state.SkipWithError("the repair did not do its work");
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_SaveSameFile(benchmark::State& state) {
    Folder folder;
    const std::string file = damaged_file();
    VehicleStore store(folder.path + "vehicle11.dat");
    for (auto _ : state) {
        state.PauseTiming();
        (void)write_file_atomic(store.path(), file);
        store.load();
        state.ResumeTiming();
        benchmark::DoNotOptimize(store.save().ok());
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

BENCHMARK(BM_Repair)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveSameFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
