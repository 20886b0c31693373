// Importing a large vCard file: parse, unique names, append, sort, write and
// log, side by side with another address program converting the same file
// (Debian's abook, installed by the test bootstrap). Also many cards that
// share one name against as many distinct ones (the unique-name rule must
// stay linear), single values of ever more lines (so must the readers), and
// the peak memory of a large import.
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
#include "addresses/address_screen_parts.h"
#include "addresses/address_store.h"
#include "app/startup.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/status_log.h"
#include "bench_peak.h"
#include "platform/headless/headless_platform.h"
#include "ui/popups.h"
#include "ui/widgets.h"

namespace {

using namespace domora;

// same_name: every card carries one name, as unnamed contacts do.
std::string make_cards(int count, bool same_name = false) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        const std::string name = same_name ? "N:Family;Given;;;\r\nFN:Given Family\r\nORG:Company\r\n"
                                           : "N:Family" + std::to_string(i % 977) + ";Given" + n + ";;;\r\nFN:Given" + n +
                                                 " Family\r\nORG:Company " + std::to_string(i % 131) + "\r\n";
        text += "BEGIN:VCARD\r\nVERSION:3.0\r\n" + name + "EMAIL;TYPE=INTERNET:person" + n +
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
        status_log_set_path("");
        set_platform(nullptr);
        std::filesystem::remove_all(path);
    }
    HeadlessPlatform os;
    std::string path;
};

// The whole job as the Import button runs it on an empty book.
void import_once(const std::string& file) {
    AddressStore& store = address_store();
    store = AddressStore{};
    (void)store.load();
    std::int32_t last_id = 0;
    benchmark::DoNotOptimize(import_vcard_file(store, file, last_id));
    benchmark::DoNotOptimize(sort_addresses(store).ok());
    set_current_by_id(store, last_id);
    select_only(store, store.current());
}

void run_import(benchmark::State& state, bool same_name) {
    Folder folder;
    // Every line read goes to the status log, as in the program.
    status_log_set_path(folder.path + "status.log");
    const std::string file = folder.path + "cards.vcf";
    std::ofstream(file, std::ios::binary) << make_cards(static_cast<int>(state.range(0)), same_name);
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(folder.path + "status.log");
        std::filesystem::remove(folder.path + "address10.dat");
        state.ResumeTiming();
        import_once(file);
    }
    state.counters["cards"] = static_cast<double>(state.range(0));
}

void BM_ImportVcards(benchmark::State& state) { run_import(state, false); }
void BM_ImportOneName(benchmark::State& state) { run_import(state, true); }

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

// Peak resident memory of the whole import, in a fresh child process.
void BM_ImportPeakMemory(benchmark::State& state) {
    Folder folder;
    status_log_set_path(folder.path + "status.log");
    const std::string file = folder.path + "cards.vcf";
    std::ofstream(file, std::ios::binary) << make_cards(static_cast<int>(state.range(0)));
    bench_peak::Peak peak;
    for (auto _ : state) peak = bench_peak::measure([] {}, [&] { import_once(file); });
    if (!peak.ok) state.SkipWithError("the child process failed");
    state.counters["start_MB"] = static_cast<double>(peak.before_kb) / 1024.0;
    state.counters["peak_MB"] = static_cast<double>(peak.peak_kb) / 1024.0;
}

// A small import as the Import button runs it, from the click on
// "Clipboard" to the list shown again: ten cards on the clipboard, into a
// book of a thousand. What stays is the fixed cost of an import. The CPU
// time counts the dialog's own drawing before the click too.
void BM_ImportTenCardsFromTheClick(benchmark::State& state) {
    Folder folder;
    status_log_set_path(folder.path + "status.log");
    settings() = default_settings(folder.os.work);
    settings_set_path(folder.path + "setup313.dat");
    folder.os.client_width = 1600;
    folder.os.client_height = 970;
    read_client_size();
    rebuild_surface();
    const std::string cards = make_cards(static_cast<int>(state.range(0)));
    // Where the dialog's button is: shown once with nothing to do, it ends at once.
    folder.os.script.clear();
    {
        int b = 0, c = 0;
        ShowChoice("Import Addresses", "Business Card Format (vcard/vcf)|Comma Separated Values (csv)", "File|Clipboard|Cancel", b, c);
    }
    main_window().quit_requested = false;
    register_address_list_drawer();
    const WidgetRecord button = widgets()[static_cast<std::size_t>(FindWidget(kFirstButtonId + 1))];
    AddressStore& store = address_store();
    double program_ms = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(folder.path + "address10.dat");
        store = AddressStore{};
        for (int i = 0; i < 1000; ++i) {
            AddressValues v;
            v[kFieldFirst] = "Ann";
            v[kFieldLast] = "Lee" + std::to_string(i);
            (void)store.append_record(i + 1, 0, v);
        }
        (void)sort_addresses(store);
        folder.os.clipboard = cards;
        folder.os.script.clear();
        folder.os.push_click((button.x1 + button.x2) / 2, (button.y1 + button.y2) / 2);
        main_window().quit_requested = false;
        const std::uint64_t start = folder.os.tick_ms();
        state.ResumeTiming();
        import_addresses(store);
        // The screen loop's redraw that follows.
        draw_address_screen();
        benchmark::DoNotOptimize(store.count());
        program_ms += static_cast<double>(folder.os.tick_ms() - start);
    }
    // The time the program's own clock saw pass: the waits it made (the
    // click's 60 ms of script included), with drawing and files taking none.
    state.counters["program_ms"] = program_ms / static_cast<double>(state.iterations());
    release_fonts();
}

// One value made long in the ways that once took time by the square of its
// length: a vCard line folded many times before its ':', and a quoted CSV
// value of many lines. Twice the length should take about twice the time.
std::string folded_card(int folds) {
    std::string text = "BEGIN:VCARD\r\nN:Lee;Ann\r\nNOTE";
    for (int i = 0; i < folds; ++i) text += "\r\n ;X-P=y";
    return text + ":done\r\nEND:VCARD\r\n";
}

std::string csv_of_many_lines(int lines) {
    std::string text = "First,Notes\r\nAnn,\"";
    for (int i = 0; i < lines; ++i) text += "line\n";  // as a file written on Linux has them
    return text + "\"\r\n";
}

void BM_FoldedVcardLine(benchmark::State& state) {
    const std::string text = folded_card(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(parse_vcards(text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_CsvValueOfManyLines(benchmark::State& state) {
    const std::string text = csv_of_many_lines(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        for (const std::string& line : csv_lines(text)) benchmark::DoNotOptimize(split_csv_line(line));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

BENCHMARK(BM_FoldedVcardLine)->Arg(10000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvValueOfManyLines)->Arg(10000)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportTenCardsFromTheClick)->Arg(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportVcards)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_AbookConvert)->Arg(10000)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ImportOneName)->Arg(4000)->Arg(8000)->Arg(16000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportVcards)->Name("BM_ImportDistinct")->Arg(16000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportPeakMemory)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
