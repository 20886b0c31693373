// The address book at scale: sorting, writing and reloading a large book
// against writing and reloading it alone, a binary insertion sort of the
// offsets (the older way, quadratic in its moves) beside ours, a find over
// every record, adding records to a large book (the unique-name rule), one
// add as the Add button runs it, and the peak memory of a large book.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <thread>
#include <vector>

#include "addresses/address_list.h"
#include "app/files.h"
#include "app/startup.h"
#include "bench_peak.h"
#include "platform/headless/headless_platform.h"

namespace {

using namespace domora;

std::string make_book(int count) {
    static const char* const firsts[] = {"Ann", "Bob", "Cy", "Dora", "Emil", "Fay", "Gus", "Hana", "Ivo", "June"};
    static const char* const lasts[] = {"Lee", "Stone", "Adams", "M\xFCller", "Brown", "Garcia", "Nakamura", "Olsen"};
    std::mt19937 random(7);
    std::string file;
    for (int i = 0; i < count; ++i) {
        AddressValues v;
        v[kFieldFirst] = firsts[random() % 10];
        v[kFieldLast] = std::string(lasts[random() % 8]) + std::to_string(random() % 100000);
        if (i % 5 == 0) v[kFieldCompany] = "Company " + std::to_string(i);
        v[kFieldAddress1] = std::to_string(random() % 9999) + " Main Street";
        v[kFieldCity] = "Springfield";
        v[kFieldState] = "IL";
        v[kFieldZip] = std::to_string(60000 + random() % 9999);
        v[kFieldHomePhone] = "555-" + std::to_string(1000 + random() % 9000);
        v[kFieldEmail] = v[kFieldFirst] + "@example.com";
        file += build_address_record(i + 1, true, 0, v);
    }
    return file;
}

struct Book {
    explicit Book(int count) {
        char pattern[] = "/tmp/domora-bench-XXXXXX";
        folder = std::string(::mkdtemp(pattern)) + "/";
        set_platform(&os);
        app_paths().address_file = folder + "address10.dat";
        std::string file = make_book(count);
        unsorted = file;
        store.replace_image(std::move(file));
    }
    ~Book() {
        set_platform(nullptr);
        std::filesystem::remove_all(folder);
    }
    HeadlessPlatform os;
    std::string folder;
    std::string unsorted;
    AddressStore store;
};

void BM_SortWriteReload(benchmark::State& state) {
    Book book(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        book.store.replace_image(book.unsorted);
        state.ResumeTiming();
        benchmark::DoNotOptimize(sort_addresses(book.store).ok());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_WriteReload(benchmark::State& state) {
    Book book(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(book.store.write().ok());
        benchmark::DoNotOptimize(book.store.load().ok());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A binary insertion sort of the offsets, keys made once: each item moves those above it.
void BM_InsertionSortOfOffsets(benchmark::State& state) {
    Book book(static_cast<int>(state.range(0)));
    std::vector<std::string> keys;
    for (int i = 0; i < book.store.count(); ++i) {
        const std::uint32_t at = book.store.item(i);
        keys.push_back(address_sort_key(book.store.field_at(at, kFieldFirst), book.store.field_at(at, kFieldLast),
                                        book.store.field_at(at, kFieldCompany)));
    }
    for (auto _ : state) {
        std::vector<std::uint32_t> items(keys.size());
        for (std::size_t i = 0; i < items.size(); ++i) items[i] = static_cast<std::uint32_t>(i);
        for (std::size_t i = 1; i < items.size(); ++i) {
            const std::string& key = keys[items[i]];
            if (!(key < keys[items[i - 1]])) continue;
            const auto place = std::upper_bound(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(i), items[i],
                                                [&](std::uint32_t a, std::uint32_t b) { return keys[a] < keys[b]; });
            std::rotate(place, items.begin() + static_cast<std::ptrdiff_t>(i), items.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        }
        benchmark::DoNotOptimize(items.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_FindEverywhere(benchmark::State& state) {
    Book book(static_cast<int>(state.range(0)));
    book.store.write().ok();
    for (auto _ : state) benchmark::DoNotOptimize(apply_find(book.store, "stone1", kFindNew));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A thousand records added to a large book (as an import does), each checked against every name.
void BM_AppendThousand(benchmark::State& state) {
    Book book(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        book.store.replace_image(book.unsorted);
        state.ResumeTiming();
        AddressValues v;
        v[kFieldFirst] = "Ann";
        for (int i = 0; i < 1000; ++i) {
            v[kFieldLast] = "Lee" + std::to_string(i);
            benchmark::DoNotOptimize(book.store.append_record(book.store.new_record_id(), 0, v));
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}

}  // namespace

// Page Down as the list runs it (the selection moves, the select-all box is
// asked again), in a book of 1,000 and of 1,000,000: the work should follow
// the marks that change, not the size of the book.
void BM_PageDown(benchmark::State& state) {
    Book book(static_cast<int>(state.range(0)));
    AddressStore& store = book.store;
    store.set_current(0);
    select_only(store, 0);
    for (auto _ : state) {
        if (store.current() + 30 >= store.count()) store.set_current(0);
        step_current(store, 25, false, false);
        benchmark::DoNotOptimize(all_selected(store));
    }
}

BENCHMARK(BM_PageDown)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SortWriteReload)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteReload)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InsertionSortOfOffsets)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FindEverywhere)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppendThousand)->Arg(100000)->Unit(benchmark::kMillisecond);


namespace {

// A sorted book in the address file, loaded as entering the screen loads it.
struct SavedBook {
    explicit SavedBook(int count) : book(count) {
        benchmark::DoNotOptimize(sort_addresses(book.store).ok());
    }
    Book book;
};

// One add as the Add button runs it once the form is saved.
void add_one(AddressStore& store, int n) {
    store.set_mode_value(kModeAll);
    store.rebuild_view();
    const std::int32_t id = store.new_record_id();
    AddressValues v;
    v[kFieldFirst] = "Added";
    v[kFieldLast] = "Person" + std::to_string(n * 7919 % 100003);
    v[kFieldCity] = "Springfield";
    (void)store.append_record(id, kSelectedMark, v);
    (void)sort_addresses(store);
    store.rebuild_view();
    store.set_current(0);
    set_current_to_added(store, id);
    select_only(store, store.current());
}

// The first add after the book was loaded also learns the names and checks the order.
void BM_FirstAdd(benchmark::State& state) {
    SavedBook saved(static_cast<int>(state.range(0)));
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        (void)saved.book.store.load();
        state.ResumeTiming();
        add_one(saved.book.store, ++n);
    }
}

// The first add as a user makes it: the book was loaded a while ago (long
// enough for the system to take back memory it had free, as a virtual
// machine hands it to its host), then the Add form is open for a second
// while the name is typed. With the form's preparation, and without.
template <bool kPrepared>
void BM_FirstAddAsAUserDoes(benchmark::State& state) {
    SavedBook saved(static_cast<int>(state.range(0)));
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        discard_spare_files();
        (void)saved.book.store.load();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        if (kPrepared) saved.book.store.expect_save();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        state.ResumeTiming();
        add_one(saved.book.store, ++n);
    }
    discard_spare_files();
}

void BM_AddOne(benchmark::State& state) {
    SavedBook saved(static_cast<int>(state.range(0)));
    add_one(saved.book.store, 0);
    int n = 0;
    for (auto _ : state) add_one(saved.book.store, ++n);
}

// A find over every record as the Find button runs it; the save that ends
// it waits for the disk, which the CPU time leaves out.
void BM_Find(benchmark::State& state) {
    SavedBook saved(static_cast<int>(state.range(0)));
    const char* const texts[] = {"stone1", "springfield", "zz-none", "m\xDCller7"};
    int n = 0;
    for (auto _ : state) benchmark::DoNotOptimize(apply_find(saved.book.store, texts[n++ % 4], kFindNew));
    set_address_mode(saved.book.store, kModeAll);
}

// The save that ends a find, alone: the find's own work is BM_Find less this.
void BM_SaveAfterFind(benchmark::State& state) {
    SavedBook saved(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(saved.book.store.write().ok());
}

// Peak resident memory: a book loaded from its file, then ten adds and a find.
void BM_PeakMemory(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    bench_peak::Peak peak;
    double file_mb = 0;
    for (auto _ : state) {
        std::string folder;
        {
            // The file is made in a child too, so the parent stays small.
            char pattern[] = "/tmp/domora-bench-XXXXXX";
            folder = std::string(::mkdtemp(pattern)) + "/";
            const pid_t child = ::fork();
            if (child == 0) {
                HeadlessPlatform os;
                set_platform(&os);
                app_paths().address_file = folder + "address10.dat";
                AddressStore store;
                store.replace_image(make_book(count));
                (void)sort_addresses(store);
                ::_exit(0);
            }
            int status = 0;
            ::waitpid(child, &status, 0);
        }
        file_mb = static_cast<double>(std::filesystem::file_size(folder + "address10.dat")) / (1024.0 * 1024.0);
        HeadlessPlatform* os = nullptr;
        AddressStore* store = nullptr;
        peak = bench_peak::measure(
            [&] {
                os = new HeadlessPlatform;
                set_platform(os);
                app_paths().address_file = folder + "address10.dat";
                store = new AddressStore;
                (void)store->load();
            },
            [&] {
                for (int i = 0; i < 10; ++i) add_one(*store, i);
                benchmark::DoNotOptimize(apply_find(*store, "stone1", kFindNew));
            });
        std::filesystem::remove_all(folder);
    }
    if (!peak.ok) state.SkipWithError("the child process failed");
    state.counters["file_MB"] = file_mb;
    state.counters["loaded_MB"] = static_cast<double>(peak.before_kb) / 1024.0;
    state.counters["peak_MB"] = static_cast<double>(peak.peak_kb) / 1024.0;
}

// The first add after loading a book that is not in our order (one brought
// from elsewhere) beside the same add on the book once sorted, each with the
// peak memory of load and add against the size of the file. Prepared: as a
// user makes it, the Add form open for a second while the name is typed.
void first_add_from_file(benchmark::State& state, bool sorted, bool prepared) {
    const int count = static_cast<int>(state.range(0));
    char pattern[] = "/tmp/domora-bench-XXXXXX";
    const std::string folder = std::string(::mkdtemp(pattern)) + "/";
    const std::string kept = folder + "book.dat";
    {
        // Made in a child, so that this process stays small for the peak.
        const pid_t child = ::fork();
        if (child == 0) {
            HeadlessPlatform os;
            set_platform(&os);
            app_paths().address_file = kept;
            AddressStore store;
            store.replace_image(make_book(count));
            if (sorted) {
                (void)sort_addresses(store);
            } else {
                (void)store.write();
            }
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
    }
    HeadlessPlatform os;
    set_platform(&os);
    const std::string file = folder + "address10.dat";
    app_paths().address_file = file;
    const auto restore = [&] { std::filesystem::copy_file(kept, file, std::filesystem::copy_options::overwrite_existing); };
    int n = 0;
    {
        AddressStore store;
        for (auto _ : state) {
            state.PauseTiming();
            restore();
            discard_spare_files();
            (void)store.load();
            if (prepared) {
                store.expect_save();
                std::this_thread::sleep_for(std::chrono::seconds(1));
            }
            state.ResumeTiming();
            add_one(store, ++n);
        }
    }
    restore();
    AddressStore* store = nullptr;
    const bench_peak::Peak peak = bench_peak::measure(
        [&] {
            store = new AddressStore;
            (void)store->load();
            if (prepared) {
                store->expect_save();
                std::this_thread::sleep_for(std::chrono::seconds(1));
            }
        },
        [&] { add_one(*store, 1); });
    if (!peak.ok) state.SkipWithError("the child process failed");
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(kept)) / (1024.0 * 1024.0);
    state.counters["loaded_MB"] = static_cast<double>(peak.before_kb) / 1024.0;
    state.counters["peak_MB"] = static_cast<double>(peak.peak_kb) / 1024.0;
    set_platform(nullptr);
    std::filesystem::remove_all(folder);
}

void BM_FirstAddUnsortedBook(benchmark::State& state) { first_add_from_file(state, false, false); }
void BM_FirstAddSortedBook(benchmark::State& state) { first_add_from_file(state, true, false); }
void BM_FirstAddUnsortedBookPrepared(benchmark::State& state) { first_add_from_file(state, false, true); }
void BM_FirstAddSortedBookPrepared(benchmark::State& state) { first_add_from_file(state, true, true); }

}  // namespace

BENCHMARK(BM_FirstAddUnsortedBook)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FirstAddSortedBook)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FirstAddUnsortedBookPrepared)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FirstAddSortedBookPrepared)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FirstAdd)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FirstAddAsAUserDoes<false>)->Name("BM_FirstAddAsAUserDoes/Unprepared")->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FirstAddAsAUserDoes<true>)->Name("BM_FirstAddAsAUserDoes/Prepared")->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AddOne)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddOne)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(5);
// The part of an add that no way of placing the record avoids: the whole
// file written and flushed to the disk, alone.
BENCHMARK(BM_SaveAfterFind)->Name("BM_SaveWholeBook")->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Find)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveAfterFind)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Find)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_PeakMemory)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
