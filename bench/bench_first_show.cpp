// From start to the first picture of the real program, on an X server of the
// bench's own: with no window manager at all (a kiosk, a bare X server) and
// with openbox, side by side in one run. The first picture is the first full
// draw, which the widget dump records. Needs Xvfb and openbox; skips without.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "window_bench.h"

namespace {

namespace fs = std::filesystem;
using domora::e2e::have;
using domora::e2e::spawn_program;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using domora::bench::read;
using domora::bench::stop;

// The display of the bench's own, and openbox on it when asked for.
struct Bench : domora::bench::PrivateDisplay {
    Bench() : PrivateDisplay(260) {}
    ~Bench() { stop(manager); }

    bool start_manager() {
        manager = spawn_program({"openbox"}, env);
        // Ready once it has claimed the screen.
        for (int i = 0; i < 600; ++i) {
            const std::string command = "DISPLAY=" + display + " xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'";
            if (std::system(command.c_str()) == 0) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    // Seconds from the start to the first full draw; negative when there was none.
    double first_picture() {
        fs::remove_all(root / "app");
        fs::create_directories(root / "app");
        fs::copy_file(DOMORA_BINARY, root / "app" / "domora");
        fs::remove(root / "dump.txt");
        const auto started = Clock::now();
        pid_t program = spawn_program({(root / "app" / "domora").string()}, env);
        double seconds = -1;
        while (Clock::now() - started < 30s) {
            if (read(root / "dump.txt").find("screen\t3") != std::string::npos) {
                seconds = std::chrono::duration<double>(Clock::now() - started).count();
                break;
            }
            std::this_thread::sleep_for(1ms);
        }
        stop(program);
        return seconds;
    }

    pid_t manager = -1;
};

void run(benchmark::State& state, bool window_manager) {
    Bench bench;
    if (!bench.ready() || (window_manager && (!have("openbox") || !bench.start_manager()))) {
        state.SkipWithError("needs Xvfb and openbox");
        return;
    }
    bench.first_picture();  // the first start warms the disk cache and the font cache
    for (auto _ : state) {
        const double seconds = bench.first_picture();
        if (seconds < 0) {
            state.SkipWithError("no first picture within 30 s");
            return;
        }
        state.SetIterationTime(seconds);
    }
}

void BM_FirstPictureWithoutWindowManager(benchmark::State& state) { run(state, false); }
void BM_FirstPictureUnderOpenbox(benchmark::State& state) { run(state, true); }

BENCHMARK(BM_FirstPictureWithoutWindowManager)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstPictureUnderOpenbox)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
