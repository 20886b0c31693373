// One contacts sync of a scratch data folder with a CardDAV address book,
// timed, for bench/carddav_vs_vdirsyncer.sh. Prints one line:
//   <step> <milliseconds> <peak resident kB> <bytes of the cards kept> <resident kB before the sync> <CPU milliseconds>
// The milliseconds less the CPU milliseconds are, near enough, the time spent waiting for the server.
// usage: bench_carddav_sync STEP BOOK_URL USER PASSWORD DATA_FOLDER
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "addresses/address_store.h"
#include "app/files.h"
#include "app/startup.h"
#include "bench_peak.h"
#include "platform/headless/headless_platform.h"
#include "sync/sync_round.h"

namespace {

long long cpu_ms() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return static_cast<long long>(t.tv_sec) * 1000 + t.tv_usec / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s STEP BOOK_URL USER PASSWORD DATA_FOLDER\n", argv[0]);
        return 2;
    }
    using namespace domora;
    HeadlessPlatform os;
    set_platform(&os);
    const std::string folder = std::string(argv[5]) + "/";
    app_paths().address_file = folder + "address10.dat";
    const std::string state_path = folder + "carddav.dat";
    // Only a first sync sets the state up. The state is not read here: the
    // sync reads it for itself, and a copy held here, or the heap it leaves
    // behind, would blur what the sync takes.
    if (!file_exists(state_path)) {
        SyncState state;
        state.server = argv[2];
        state.user = argv[3];
        state.book_url = argv[2];
        if (!write_sync_state(state_path, state)) return 1;
    }
    HttpOptions options;
    options.user = argv[3];
    options.password = argv[4];
    options.allow_plain_http = true;
    AddressStore store;
    if (!store.load()) return 1;
    HttpClient http(options);
    const long before_kb = bench_peak::status_kb("VmRSS:");
    const long long cpu_start = cpu_ms();
    const auto start = std::chrono::steady_clock::now();
    Result<SyncReport> report = sync_address_book(http, state_path, store, [](const DeleteCounts&) { return true; }, UtcTime{});
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    const long long cpu = cpu_ms() - cpu_start;
    // The peak of the sync, before the state is read back below to count the cards.
    const long peak_kb = bench_peak::status_kb("VmHWM:");
    if (!report) {
        std::fprintf(stderr, "sync failed: %s\n", report.error().message.c_str());
        return 1;
    }
    std::size_t card_bytes = 0;
    // The state read back after the peak was taken, to count the cards it
    // keeps; BENCH_NO_COUNT=1 leaves it out (0 bytes), for a heap profiler.
    if (Result<SyncState> after = std::getenv("BENCH_NO_COUNT") ? Result<SyncState>(SyncState{}) : read_sync_state(state_path)) {
        for (const SyncEntry& e : after.value().entries) card_bytes += e.card.size;
    }
    std::printf("%s %lld %ld %zu %ld %lld\n", argv[1], static_cast<long long>(ms), peak_kb, card_bytes, before_kb, cpu);
    set_platform(nullptr);
    return 0;
}
