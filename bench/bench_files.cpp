// The price of safe saves: a data file written atomically (temporary file,
// flush to disk, rename) against a plain truncate-and-write of the same
// bytes, side by side in one run. A large file saved now and then, as a
// user adds an address every few seconds, into a new file each time against
// over the version the save before kept. Also the settings file's save and load.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "app/files.h"
#include "app/settings.h"
#include "platform/headless/headless_platform.h"

namespace {

using namespace domora;

struct Folder {
    Folder() {
        char pattern[] = "/tmp/domora-bench-XXXXXX";
        path = std::string(::mkdtemp(pattern)) + "/";
        set_platform(&os);
    }
    ~Folder() {
        set_platform(nullptr);
        std::filesystem::remove_all(path);
    }
    HeadlessPlatform os;
    std::string path;
};

void BM_PlainWrite(benchmark::State& state) {
    Folder folder;
    const std::string data(static_cast<std::size_t>(state.range(0)), 'x');
    for (auto _ : state) {
        const FileHandle h = file_open("o", folder.path + "data.dat");
        file_write(h, data, 0, static_cast<std::int64_t>(data.size()));
        file_close(h);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_AtomicWrite(benchmark::State& state) {
    Folder folder;
    const std::string data(static_cast<std::size_t>(state.range(0)), 'x');
    for (auto _ : state) benchmark::DoNotOptimize(write_file_atomic(folder.path + "data.dat", data).ok());
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// Saves a few seconds apart: memory the system has let go of in between
// (as a virtual machine hands free memory back to its host) is slow to get
// again, and a save into a new file needs as much of it as the file is big.
template <bool kReusing>
void BM_SaveEveryFewSeconds(benchmark::State& state) {
    Folder folder;
    const std::string data(static_cast<std::size_t>(state.range(0)), 'x');
    const std::string file = folder.path + "address10.dat";
    const auto save = [&] { return kReusing ? write_file_atomic_reusing(file, data) : write_file_atomic(file, data); };
    (void)write_file_atomic(file, data);
    (void)save();  // the first save has no version kept yet
    for (auto _ : state) {
        state.PauseTiming();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        state.ResumeTiming();
        benchmark::DoNotOptimize(save().ok());
    }
    discard_spare_files();
}

void BM_SettingsSaveAndLoad(benchmark::State& state) {
    Folder folder;
    settings_set_path(folder.path + "setup313.dat");
    settings() = default_settings(Rect{0, 0, 1920, 1040});
    settings().label_5160 = std::string(400, 'L');
    for (auto _ : state) {
        benchmark::DoNotOptimize(save_settings());
        load_settings(Rect{0, 0, 1920, 1040});
    }
}

BENCHMARK(BM_PlainWrite)->Arg(64 << 10)->Arg(8 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AtomicWrite)->Arg(64 << 10)->Arg(8 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveEveryFewSeconds<false>)->Name("BM_SaveEveryFewSeconds/IntoANewFile")->Arg(100 << 20)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SaveEveryFewSeconds<true>)->Name("BM_SaveEveryFewSeconds/OverTheKeptVersion")->Arg(100 << 20)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SettingsSaveAndLoad)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
