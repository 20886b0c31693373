// Importing a large vCard file: parse, unique names, append, sort and write,
// side by side with another address program converting the same file, when
// that program is installed (Debian's abook).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "addresses/address_exchange.h"
#include "addresses/address_import.h"
#include "addresses/address_list.h"
#include "addresses/address_store.h"
#include "app/startup.h"
#include "app/status_log.h"
#include "platform/headless/headless_platform.h"

namespace {

using namespace domora;

std::string make_cards(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        text += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Family" + std::to_string(i % 977) + ";Given" + n + ";;;\r\nFN:Given" + n +
                " Family\r\nORG:Company " + std::to_string(i % 131) + "\r\nEMAIL;TYPE=INTERNET:person" + n +
                "@example.org\r\nTEL;TYPE=CELL:+1-555-01" + std::to_string(i % 100) + "\r\nADR;TYPE=HOME:;;" + n +
                " Main St;Springfield;IL;62701;USA\r\nNOTE:Met at the fair\\nCall in spring\r\nEND:VCARD\r\n";
    }
    return text;
}

struct Folder {
    Folder() {
        char pattern[] = "/tmp/domora-bench-XXXXXX";
        path = std::string(::mkdtemp(pattern)) + "/";
        set_platform(&os);
        set_app_paths(path + "domora", path, "");
    }
    ~Folder() {
        set_platform(nullptr);
        std::filesystem::remove_all(path);
    }
    HeadlessPlatform os;
    std::string path;
};

void BM_ImportVcards(benchmark::State& state) {
    Folder folder;
    // Every line read goes to the status log, as in the program.
    status_log_set_path(folder.path + "status.log");
    std::ofstream(folder.path + "cards.vcf", std::ios::binary) << make_cards(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        AddressStore& store = address_store();
        store = AddressStore{};
        (void)store.load();
        std::int32_t last_id = 0;
        benchmark::DoNotOptimize(import_vcard_file(store, folder.path + "cards.vcf", last_id));
        benchmark::DoNotOptimize(sort_addresses(store).ok());
    }
    status_log_set_path("");
    state.counters["cards"] = static_cast<double>(state.range(0));
}

// The same file converted to CSV by abook, timed as a whole program run.
void BM_AbookConvert(benchmark::State& state) {
    if (std::system("command -v abook >/dev/null 2>&1") != 0) {
        state.SkipWithError("abook is not installed");
        return;
    }
    Folder folder;
    const std::string file = folder.path + "cards.vcf";
    std::ofstream(file, std::ios::binary) << make_cards(static_cast<int>(state.range(0)));
    const std::string command = "abook --convert --informat vcard --infile " + file + " --outformat csv --outfile " +
                                folder.path + "out.csv >/dev/null 2>&1";
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(std::system(command.c_str()));
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

BENCHMARK(BM_ImportVcards)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AbookConvert)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
