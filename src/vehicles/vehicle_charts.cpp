#include "vehicles/vehicle_charts.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "app/main_window.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/print.h"
#include "printing/print_job.h"
#include "printing/print_settings_screen.h"
#include "ui/full_view.h"
#include "ui/popups.h"
#include "ui/widgets.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_units.h"

namespace domora {

namespace {

constexpr int kChartsAreaId = 620;
constexpr int kChartsPrintId = 621;
constexpr int kChartsCloseId = 622;
// A century of months is more than any car keeps; a damaged date beyond it
// must not make a chart of a million columns.
constexpr int kMostMonths = 1200;

// Months counted from January of year 0.
int month_index(int year, int month) { return year * 12 + std::clamp(month, 1, 12) - 1; }

std::string heading_of(const VehicleStore& store) {
    const std::optional<VehicleInfo> vehicle = store.current_vehicle();
    return vehicle ? trim(vehicle->year + " " + vehicle->make + " " + vehicle->model) : std::string();
}

// ---- printing ----------------------------------------------------------------------------------------

// The printed page's canvas: the print service in the job's device pixels,
// with fonts a little smaller than the job's, as a chart's labels want.
class PrintCanvas : public ChartCanvas {
public:
    explicit PrintCanvas(const PrintJob& job) : m_thin(std::max(1, job.caps.dpi_x / 150)) {
        PrintService& service = print_service();
        const int height = std::max(1, job.font_height * 3 / 4);
        m_normal = service.create_font(FontSpec{job.face, height, 400, false, true});
        m_bold = service.create_font(FontSpec{job.face, height, 700, false, true});
    }
    ~PrintCanvas() override {
        print_service().release_font(m_normal);
        print_service().release_font(m_bold);
    }
    PrintCanvas(const PrintCanvas&) = delete;
    PrintCanvas& operator=(const PrintCanvas&) = delete;

    TextExtent measure(ChartFont font, const std::string& text) override { return print_service().measure_text(of(font), text); }
    void text(int x, int y, ChartFont font, std::uint32_t colour, const std::string& text) override {
        print_service().draw_text(x, y, of(font), colour, text);
    }
    void line(int x1, int y1, int x2, int y2, int width, std::uint32_t colour) override {
        print_service().draw_line(x1, y1, x2, y2, std::max(1, width), colour);
    }
    void fill(const Rect& r, std::uint32_t colour) override { print_service().fill_rect(r, colour); }
    int thin() const override { return m_thin; }

private:
    FontHandle of(ChartFont font) const { return font == ChartFont::Bold ? m_bold : m_normal; }
    int m_thin;
    FontHandle m_normal = 0;
    FontHandle m_bold = 0;
};

void print_charts_button(VehicleManager& m) {
    std::string* value = print_settings_value(kLayoutVehicleRecords);
    PrintSettings record = load_print_settings(kLayoutVehicleRecords, value ? *value : std::string());
    validate_print_settings(kLayoutVehicleRecords, record);
    if (print_settings_screen(kLayoutVehicleRecords, "Vehicle Charts", &record) != kPrintSettingsPrint) return;
    store_print_settings(kLayoutVehicleRecords, record);
    print_vehicle_charts(m, record);
}

// ---- the view -------------------------------------------------------------------------------------------

const VehicleCharts* g_shown = nullptr;

void draw_charts_widget(WidgetRecord& w) {
    const Rect r = w.rect();
    FillBox(r, rgb(255, 255, 255));
    FrameBox(r, kPanelLine);
    if (!g_shown) return;
    ScreenCanvas canvas(fonts().input, fonts().message);
    ClipTo(r);
    draw_vehicle_charts(canvas, Rect{r.left + 20, r.top + 16, r.right - 20, r.bottom - 12}, *g_shown, platform().date_order());
    ClipTo(Rect{});
}

void draw_charts_view(const std::string& heading) {
    const MainWindowState& win = main_window();
    BeginWidgets();
    const int below_title = add_view_title(heading.empty() ? "Charts" : heading + " - Charts", 44);
    const int buttons_top = win.client_height - 20 - 32;
    AddWidget(kChartsAreaId, kKindVehicleCharts, 20, below_title + 14, win.client_width - 20, buttons_top - 14, 0, 0, 0, 0, "");
    add_button_row(buttons_top, {{kChartsPrintId, "Print"}, {kChartsCloseId, "Close"}}, 110);
    DrawAllWidgets();
}

}  // namespace

VehicleCharts vehicle_charts(const VehicleStore& store, std::int32_t vehicle_id) {
    VehicleCharts charts;
    const int unit = economy_display_unit();
    LineChart& economy = charts.economy;
    economy.title = "Fuel Economy per Fill-up";
    economy.unit = economy_unit_name(unit);
    economy.series_label = "Each fill-up";
    BarChart& costs = charts.costs;
    costs.title = "Costs per Month";
    costs.prefix = "$";
    costs.lower_label = "Fuel";
    costs.upper_label = "Maintenance";

    std::int64_t distance = 0, fuel = 0;
    std::map<int, std::pair<std::int64_t, std::int64_t>> months;  // fuel and maintenance, thousandths
    for (std::size_t offset : store.chunks()) {
        const ChunkHeader h = store.header(offset);
        if (h.vehicle_id != vehicle_id || (h.type != kRecordFuel && h.type != kRecordMaintenance)) continue;
        auto& month = months[month_index(h.year, h.month)];
        if (h.type == kRecordMaintenance) {
            month.second += h.d;
            continue;
        }
        month.first += h.d;
        ++charts.fill_ups;
        distance += static_cast<std::int64_t>(h.b) - h.a;
        fuel += h.c;
        economy.points.push_back(ChartPoint{day_number(h.year, h.month, h.day), economy_value(h.e, unit)});
    }
    if (charts.fill_ups > 0) {
        charts.average_economy = fuel_economy(0, distance, fuel);
        economy.has_average = true;
        economy.average = economy_value(charts.average_economy, unit);
        economy.average_label = "Average " + format_economy_in(charts.average_economy, unit);
    }
    if (charts.fill_ups == 0) economy.note = "No fill-ups recorded yet";
    if (charts.fill_ups == 1) economy.note = "Only one fill-up so far: the next one starts the line";

    if (months.empty()) {
        costs.note = "No costs recorded yet";
        return charts;
    }
    // Every month from the first record's to the last's, empty ones too.
    const int last = months.rbegin()->first;
    const int first = std::max(months.begin()->first, last - kMostMonths + 1);
    for (int i = first; i <= last; ++i) {
        const auto it = months.find(i);
        costs.lower.push_back(it == months.end() ? 0 : static_cast<double>(it->second.first) / 1000.0);
        costs.upper.push_back(it == months.end() ? 0 : static_cast<double>(it->second.second) / 1000.0);
        costs.names.push_back(platform().month_abbreviation(i % 12 + 1));
        costs.groups.push_back(std::to_string(i / 12));
    }
    return charts;
}

void draw_vehicle_charts(ChartCanvas& canvas, const Rect& area, const VehicleCharts& charts, DateOrder order) {
    const int gap = std::max(1, canvas.measure(ChartFont::Normal, "Mg").height) * 2;
    const int middle = area.top + (area.bottom - area.top) / 2;
    draw_line_chart(canvas, Rect{area.left, area.top, area.right, middle - gap / 2}, charts.economy, order);
    draw_bar_chart(canvas, Rect{area.left, middle + gap / 2, area.right, area.bottom}, charts.costs);
}

void show_vehicle_charts(VehicleManager& m) {
    if (!need_vehicle(m)) return;
    set_widget_drawer(kKindVehicleCharts, draw_charts_widget);
    VehicleCharts charts = vehicle_charts(m.store, m.store.current_vehicle_id());
    const std::string heading = heading_of(m.store);
    g_shown = &charts;
    const InputState& in = input();
    run_full_view([&] { draw_charts_view(heading); }, [&](int id) {
        if (id == kChartsPrintId) {
            wait_for_release();
            // The print settings screen covers the view; it is drawn again after it.
            print_charts_button(m);
            main_window().screen_needs_redraw = true;
            return false;
        }
        return id == kChartsCloseId || (id == 0 && in.key == kKeyEscape);
    });
    g_shown = nullptr;
    wait_for_key_up();
}

bool print_vehicle_charts(VehicleManager& m, PrintSettings& record) {
    if (!need_vehicle(m)) return false;
    const VehicleCharts charts = vehicle_charts(m.store, m.store.current_vehicle_id());
    validate_print_settings(kLayoutVehicleRecords, record);
    PrintJob job;
    if (!Printer_Start(record, job)) {
        status_log_write("Printer_Start failed");
        return false;
    }
    PrintService& service = print_service();
    next_card(job);
    if (job.outlines) frame_card(job);
    clip_print(job.text);
    const std::string heading = heading_of(m.store);
    service.draw_text(job.text.left, job.text.top, job.font_large, kPrintBlack, heading);
    const int below = job.text.top + service.measure_text(job.font_large, heading.empty() ? " " : heading).height * 2;
    {
        PrintCanvas canvas(job);
        draw_vehicle_charts(canvas, Rect{job.text.left, below, job.text.right, job.text.bottom}, charts, platform().date_order());
    }
    end_document(job);
    return true;
}

}  // namespace domora
