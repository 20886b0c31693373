// Keys in the real window at 1,000 and at 1,000,000 addresses, side by side
// in one run, on an X server of the bench's own: the program's own CPU time
// (from /proc, so the X server and xdotool are not counted) for Page Down in
// the list, and for the first add to a book in our sort order and to one in
// another order (a book brought from elsewhere). Needs Xvfb and xdotool.
// With programs named, each of them in turn (an older build beside this one):
//   bench_window_keys [PAGE_DOWNS [PROGRAM...]]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "window_bench.h"
#include "addresses/address_store.h"

namespace {

namespace fs = std::filesystem;
using domora::e2e::have;
using domora::e2e::spawn_program;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using domora::bench::read;
using domora::bench::stop;

// The CPU time a process has used so far, user and system, in milliseconds.
double cpu_ms(pid_t pid) {
    std::string stat = read("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream in(stat.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && in >> field; ++i) {
        if (i == 14) utime = std::atoll(field.c_str());
        if (i == 15) stime = std::atoll(field.c_str());
    }
    return 1000.0 * static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// The process's peak resident memory so far, in megabytes.
double peak_mb(pid_t pid) {
    const std::string status = read("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = status.find("VmHWM:");
    return at == std::string::npos ? -1 : std::atof(status.c_str() + at + 6) / 1024.0;
}

// Waits until the process has used no CPU for a quarter of a second: it has
// taken every key sent and drawn what they changed.
bool settle(pid_t pid, std::chrono::seconds limit = 120s) {
    const auto until = Clock::now() + limit;
    double last = cpu_ms(pid);
    int quiet = 0;
    while (Clock::now() < until) {
        std::this_thread::sleep_for(50ms);
        const double now = cpu_ms(pid);
        quiet = now == last ? quiet + 1 : 0;
        last = now;
        if (quiet >= 5) return true;
    }
    return false;
}

// A book of n addresses: in our sort order (by last name), or the same
// records shuffled, as another program may have left them.
void write_book(const fs::path& path, int n, bool sorted) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    if (!sorted) std::shuffle(order.begin(), order.end(), std::mt19937(20261209));
    char last[16];
    for (const int k : order) {
        std::snprintf(last, sizeof last, "L%07d", k);
        domora::AddressValues values;
        values[0] = "F";
        values[1] = last;
        values[5] = "Springfield";
        out << domora::build_address_record(k + 1, true, 0, values);
    }
}

struct Window : domora::bench::PrivateDisplay {
    Window() : PrivateDisplay(360) {}
    ~Window() { stop(program); }

    // Starts the program on the Addresses screen with a book of n addresses.
    bool open(const std::string& binary, int n, bool sorted) {
        stop(program);
        fs::remove_all(root / "app");
        fs::create_directories(root / "app");
        fs::copy_file(binary, root / "app" / "domora");
        write_book(root / "app" / "address10.dat", n, sorted);
        fs::remove(root / "dump.txt");
        program = spawn_program({(root / "app" / "domora").string(), "address"}, env);
        const auto until = Clock::now() + 120s;
        while (Clock::now() < until && read(root / "dump.txt").find("screen\t3") == std::string::npos) std::this_thread::sleep_for(20ms);
        return read(root / "dump.txt").find("screen\t3") != std::string::npos && settle(program);
    }

    int keys(const std::string& command) {
        const std::string line = "DISPLAY=" + display + " xdotool search --sync --onlyvisible --pid " + std::to_string(program) +
                                 " | head -n 1 | DISPLAY=" + display + " xargs -r -I{} xdotool windowfocus --sync {} " + command;
        return std::system(line.c_str());
    }

    // The program's CPU milliseconds for the keys, once it has settled.
    double cpu_for(const std::vector<std::string>& commands) {
        const double before = cpu_ms(program);
        for (const std::string& command : commands) {
            if (keys(command) != 0) return -1;
        }
        if (!settle(program)) return -1;
        return cpu_ms(program) - before;
    }

    pid_t program = -1;
};

}  // namespace

int main(int argc, char** argv) {
    const int page_downs = argc > 1 ? std::atoi(argv[1]) : 200;
    std::vector<std::string> programs(argv + std::min(argc, 2), argv + argc);
    if (programs.empty()) programs.push_back(DOMORA_BINARY);
    if (!have("Xvfb") || !have("xdotool")) {
        std::fprintf(stderr, "needs Xvfb and xdotool\n");
        return 1;
    }
    Window window;
    std::string page_keys = "key --delay 5";
    for (int i = 0; i < page_downs; ++i) page_keys += " Next";
    for (const std::string& program : programs) {
        std::printf("%s\n%-46s %10s\n", program.c_str(), "what (the program's own CPU time)", "ms");
        double per_key[2] = {0, 0};
        const int sizes[2] = {1000, 1000000};
        for (int s = 0; s < 2; ++s) {
            if (!window.open(program, sizes[s], true)) {
                std::fprintf(stderr, "the window did not come up with %d addresses\n", sizes[s]);
                return 1;
            }
            per_key[s] = window.cpu_for({page_keys}) / page_downs;
            std::printf("Page Down, %7d addresses, per key          %10.3f\n", sizes[s], per_key[s]);
        }
        std::printf("Page Down, ratio 1,000,000 : 1,000             %10.2f\n", per_key[1] / per_key[0]);
        for (const bool sorted : {true, false}) {
            if (!window.open(program, 1000000, sorted)) return 1;
            // "a" opens the add form and its last field saves on Enter; only the save is the add's time.
            if (window.cpu_for({"type a"}) < 0) return 1;
            std::string tabs = "key";
            for (int i = 0; i < 15; ++i) tabs += " Tab";
            if (window.cpu_for({"type Zed", "key Tab", "type Young", tabs}) < 0) return 1;
            const double ms = window.cpu_for({"key Return"});
            std::printf("first add, 1,000,000 addresses, %-14s %10.1f   peak %.0f MB, file %.0f MB\n", sorted ? "sorted" : "other order",
                        ms, peak_mb(window.program),
                        static_cast<double>(fs::file_size(window.root / "app" / "address10.dat")) / (1024.0 * 1024.0));
        }
    }
    return 0;
}
