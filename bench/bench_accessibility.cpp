// What describing the widget table for a screen reader costs: one rebuild of
// a full table (300 records: the tab bar, buttons, labels, fields, check
// boxes, a list) into the description with a client listening, the same
// with the list holding many rows, and beside them the same rebuild with
// nobody listening, when nothing at all is built.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "app/main_window.h"
#include "app/settings.h"
#include "platform/accessibility.h"
#include "platform/headless/headless_platform.h"
#include "ui/accessible_tree.h"
#include "ui/tab_bar.h"
#include "ui/widgets.h"

namespace {

using namespace domora;

// Keeps only the newest description, as the Qt service does.
class Listener : public AccessibilityService {
public:
    bool on = true;
    long long described = 0;
    bool listening() override { return on; }
    void update(std::shared_ptr<const AccessibleTree> tree, const std::vector<AccessibleChange>&) override {
        m_tree = std::move(tree);
        ++described;
    }
    bool take_action(AccessibleAction&) override { return false; }

private:
    std::shared_ptr<const AccessibleTree> m_tree;
};

int g_rows = 0;

void describe_rows(const WidgetRecord& w, AccessibleList& out) {
    out.columns = {"Last", "First"};
    out.current_row = 0;
    out.rows.reserve(static_cast<std::size_t>(g_rows));
    for (int i = 0; i < g_rows; ++i) {
        AccessibleRow r;
        r.cells = {"Lastname" + std::to_string(i), "Firstname"};
        r.bounds = list_row_bounds(w, w.y1, i, 22, 0);
        out.rows.push_back(std::move(r));
    }
}

struct Window {
    Window() {
        set_platform(&os);
        set_accessibility_service(&listener);
        settings() = default_settings(os.work);
        read_client_size();
        rebuild_surface();
        set_list_describer(kKindAddressList, describe_rows);
    }
    ~Window() {
        set_accessibility_service(nullptr);
        release_fonts();
        set_platform(nullptr);
    }
    // A screen at the table's limit; `turn` changes one label, as a redraw does.
    void build(int turn) {
        const Fonts& f = fonts();
        BeginWidgets();
        add_tab_bar(3);
        AddWidget(600, kKindAddressList, 300, 60, 900, 900, 0, 0, f.user_normal, 0, "");
        for (int i = 0; widget_count() < kMaxWidgets - 1; ++i) {
            const int x = 10 + (i % 10) * 100, y = 60 + (i / 10) * 30;
            switch (i % 6) {
                case 0: AddWidget(1000 + i, kKindButton, x, y, x + 90, y + 26, 0, 0, f.button, 1, "Button " + std::to_string(i)); break;
                case 1: AddWidget(0, kKindLabel, x, y, x + 90, y + 26, 0, 0, f.input, 0, "Label " + std::to_string(i + turn % 2)); break;
                case 2: AddWidget(0, kKindTextInput, x, y, x + 90, y + 26, 0, 0, f.input, 0, "typed text"); break;
                case 3: AddWidget(1000 + i, kKindCheckBox, x, y, x + 90, y + 26, 0, 0, f.input, 0, "Check " + std::to_string(i)); break;
                case 4: AddWidget(1000 + i, kKindLink, x, y, x + 90, y + 26, 0, 0, f.link, 0, "name@example.com"); break;
                default: AddWidget(0, kKindOutline, x, y, x + 90, y + 26, 0, 0, 0, 0, ""); break;
            }
        }
    }
    HeadlessPlatform os;
    Listener listener;
};

void rebuild(benchmark::State& state, bool listening) {
    Window window;
    g_rows = static_cast<int>(state.range(0));
    window.listener.on = listening;
    forget_accessible_tree();
    int turn = 0;
    window.build(turn);
    publish_accessible_tree();
    for (auto _ : state) {
        // Only the description's part of a rebuild is timed: the table is
        // filled again outside the clock.
        state.PauseTiming();
        window.build(++turn);
        accessible_tree_changed();
        state.ResumeTiming();
        publish_accessible_tree();
    }
    state.counters["widgets"] = widget_count();
    state.counters["descriptions"] = static_cast<double>(window.listener.described);
    forget_accessible_tree();
}

// Target: at most 1 ms for the 300-record table with a listener.
void BM_RebuildDescribed(benchmark::State& state) { rebuild(state, true); }
BENCHMARK(BM_RebuildDescribed)->Arg(20)->Arg(1000)->Arg(5000)->Unit(benchmark::kMicrosecond);

// Side by side: nobody listens, and "descriptions" stays 0.
void BM_RebuildNobodyListening(benchmark::State& state) { rebuild(state, false); }
BENCHMARK(BM_RebuildNobodyListening)->Arg(20)->Arg(5000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
