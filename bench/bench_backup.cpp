// A backup and a restore of a data folder with a 100 MB address file,
// against `cp -r` followed by `sync` of the same folder in the same run: the
// yardstick for a copy that is on the disk when it is done. Also how much a
// backup adds to the resident memory of the process.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/backup.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "bench_peak.h"
#include "platform/headless/headless_platform.h"

namespace {

using namespace domora;
namespace fs = std::filesystem;

struct NoProgress : CopyProgress {
    void step(int, int) override {}
};

void put(const std::string& path, std::size_t size, char fill) {
    std::ofstream out(path, std::ios::binary);
    std::string block(1 << 20, fill);
    for (std::size_t left = size; left > 0;) {
        const std::size_t n = std::min(left, block.size());
        out.write(block.data(), static_cast<std::streamsize>(n));
        left -= n;
    }
}

// A data folder as a user has it, the program beside it; the copies go into
// a folder beside both on the same disk.
struct DataFolder {
    explicit DataFolder(std::size_t address_bytes) {
        char pattern[] = "/tmp/domora-bench-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        root = made ? std::string(made) + "/" : std::string("/tmp/domora-bench-backup/");
        fs::create_directories(root + "data");
        fs::create_directories(root + "usb");
        set_platform(&os);
        AppPaths& p = app_paths();
        p = AppPaths{};
        p.program_path = root + "domora";
        p.data_folder = root + "data/";
        p.address_file = root + "data/address10.dat";
        p.password_file = root + "data/password10.dat";
        p.vehicle_file = root + "data/vehicle11.dat";
        p.reminders_file = root + "data/reminders.dat";
        p.settings_file = root + "data/setup313.dat";
        status_log_set_path(root + "status.log");
        put(p.program_path, 4 << 20, 'P');
        put(p.address_file, address_bytes, 'A');
        put(p.password_file, 200 << 10, 'W');
        put(p.vehicle_file, 300 << 10, 'V');
        put(p.reminders_file, 2 << 10, 'R');
        put(p.settings_file, 4 << 10, 'S');
    }
    ~DataFolder() {
        app_paths() = AppPaths{};
        set_platform(nullptr);
        fs::remove_all(root);
    }
    HeadlessPlatform os;
    std::string root;
};

constexpr std::size_t kAddressBytes = 100 << 20;

// The yardstick: the data folder and the program copied by cp, then sync.
void BM_CpThenSync(benchmark::State& state) {
    DataFolder folder(kAddressBytes);
    const std::string command = "cp -r " + folder.root + "data " + folder.root + "domora " + folder.root + "usb/ && sync";
    if (std::system(("sync; " + command).c_str()) != 0) state.SkipWithError("cp failed");
    for (auto _ : state) benchmark::DoNotOptimize(std::system(command.c_str()));
}

void BM_CpOnly(benchmark::State& state) {
    DataFolder folder(kAddressBytes);
    const std::string command = "cp -r " + folder.root + "data " + folder.root + "domora " + folder.root + "usb/";
    if (std::system(("sync; " + command + " && sync").c_str()) != 0) state.SkipWithError("cp failed");
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::system(command.c_str()));
        state.PauseTiming();
        (void)std::system("sync");
        state.ResumeTiming();
    }
}

void BM_Backup(benchmark::State& state) {
    DataFolder folder(kAddressBytes);
    NoProgress progress;
    (void)std::system("sync");
    (void)back_up_files(folder.root + "usb/Domora/", progress);
    for (auto _ : state) benchmark::DoNotOptimize(back_up_files(folder.root + "usb/Domora/", progress).ok());
}

void BM_Restore(benchmark::State& state) {
    DataFolder folder(kAddressBytes);
    NoProgress progress;
    (void)back_up_files(folder.root + "usb/Domora/", progress);
    (void)std::system("sync");
    for (auto _ : state) benchmark::DoNotOptimize(restore_files(folder.root + "usb/Domora/", progress).ok());
}

// Growth of the resident memory over a backup and a restore, in MB.
void BM_BackupAndRestoreMemory(benchmark::State& state) {
    DataFolder folder(kAddressBytes);
    bench_peak::Peak peak;
    for (auto _ : state) {
        peak = bench_peak::measure([] {}, [&] {
            NoProgress progress;
            (void)back_up_files(folder.root + "usb/Domora/", progress);
            (void)restore_files(folder.root + "usb/Domora/", progress);
        });
    }
    state.counters["growth_MB"] = static_cast<double>(peak.peak_kb - peak.before_kb) / 1024.0;
}

BENCHMARK(BM_CpOnly)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CpThenSync)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Backup)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Restore)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BackupAndRestoreMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
