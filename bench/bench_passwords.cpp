// Unlocking a large password file: read, decrypt, parse and index, as the
// master password's Enter runs it; the standard file and the strong one
// side by side, the strong one at the cost this machine gets for a new
// file, with the memory its key derivation takes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/status_log.h"
#include "bench_peak.h"
#include "passwords/key_cost.h"
#include "passwords/password_store.h"
#include "platform/headless/headless_platform.h"

namespace {

using namespace domora;

struct PasswordFile {
    explicit PasswordFile(int count, bool strong = false) {
        char pattern[] = "/tmp/domora-bench-XXXXXX";
        folder = std::string(::mkdtemp(pattern)) + "/";
        set_platform(&os);
        set_app_paths(folder + "domora", folder, "");
        status_log_set_path(folder + "status.log");
        reset_password_store();
        if (strong) LoadPasswords();  // no file yet: the new store is strong
        set_master_password("correct horse");
        for (int i = 0; i < count; ++i) {
            const std::string n = std::to_string(i);
            std::vector<std::string> fields = {"Account " + n, "User Name: person" + n, "Password: s3cr3t-" + n,
                                               "URL: https://www.example.org/" + n, "Note: opened in spring"};
            AppendPassword(i + 1, fields);
        }
        (void)SavePasswords();
        reset_password_store();
    }
    ~PasswordFile() {
        reset_password_store();
        status_log_set_path("");
        set_platform(nullptr);
        std::filesystem::remove_all(folder);
    }
    HeadlessPlatform os;
    std::string folder;
};

void BM_UnlockPasswords(benchmark::State& state) {
    PasswordFile file(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        set_master_password("correct horse");
        LoadPasswords();
        if (!IsUnlocked() || view_count() != state.range(0)) state.SkipWithError("the file did not open");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Every unlock derives the key again, as after a lock; the cost is the one
// measured when the file was made.
void BM_UnlockStrongPasswords(benchmark::State& state) {
    PasswordFile file(static_cast<int>(state.range(0)), true);
    for (auto _ : state) {
        reset_password_store();
        set_master_password("correct horse");
        LoadPasswords();
        if (!IsUnlocked() || view_count() != state.range(0)) state.SkipWithError("the file did not open");
    }
    const KdfCost cost = password_store().file_cost;
    state.counters["memory_MiB"] = cost.memory_kib / 1024.0;
    state.counters["passes"] = cost.passes;
    const bench_peak::Peak peak = bench_peak::measure(
        [&] {
            reset_password_store();
            set_master_password("correct horse");
        },
        [&] { LoadPasswords(); });
    if (!peak.ok) state.SkipWithError("the child process failed");
    state.counters["peak_MB"] = static_cast<double>(peak.peak_kb) / 1024.0;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// What choosing the cost takes on top, when a strong file is made.
void BM_ChooseCost(benchmark::State& state) {
    KdfCost cost;
    for (auto _ : state) cost = measured_cost();
    state.counters["memory_MiB"] = cost.memory_kib / 1024.0;
    state.counters["passes"] = cost.passes;
}

}  // namespace

BENCHMARK(BM_UnlockPasswords)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnlockStrongPasswords)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ChooseCost)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
