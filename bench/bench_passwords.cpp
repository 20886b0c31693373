// Unlocking a large password file: read, decrypt, parse and index, as the
// master password's Enter runs it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/status_log.h"
#include "passwords/password_store.h"
#include "platform/headless/headless_platform.h"

namespace {

using namespace domora;

struct PasswordFile {
    explicit PasswordFile(int count) {
        char pattern[] = "/tmp/domora-bench-XXXXXX";
        folder = std::string(::mkdtemp(pattern)) + "/";
        set_platform(&os);
        set_app_paths(folder + "domora", folder, "");
        status_log_set_path(folder + "status.log");
        reset_password_store();
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

}  // namespace

BENCHMARK(BM_UnlockPasswords)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
