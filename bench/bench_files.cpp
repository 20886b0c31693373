// The price of safe saves: a data file written atomically (temporary file,
// flush to disk, rename) against a plain truncate-and-write of the same
// bytes, side by side in one run. Also the settings file's save and load.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

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
BENCHMARK(BM_SettingsSaveAndLoad)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
