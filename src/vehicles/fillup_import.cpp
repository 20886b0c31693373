#include "vehicles/fillup_import.h"

#include <algorithm>
#include <map>
#include <optional>

#include "app/files.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/status_log.h"
#include "app/text.h"
#include "ui/file_browser.h"
#include "ui/full_view.h"
#include "ui/popups.h"
#include "ui/widgets.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_units.h"

namespace domora {

namespace {

// ---- the form --------------------------------------------------------------------------------------

constexpr int kRowBase = 700;
constexpr int kResetId = 720;
constexpr int kAutoId = 721;
constexpr int kOkId = 722;
constexpr int kCancelId = 723;

// The rows after the five columns: the choices each offers, in the order of
// the value it sets.
constexpr int kRowDistance = kFillUpColumns;
constexpr int kRowVolume = kRowDistance + 1;
constexpr int kRowDates = kRowDistance + 2;
constexpr int kRowDecimal = kRowDistance + 3;
constexpr int kRowCount = kRowDistance + 4;
const char* const kRowLabels[kRowCount] = {"Date:",          "Odometer:",  "Fuel Quantity:", "Total Cost:",  "Price per Unit:",
                                           "Distance Unit:", "Fuel Unit:", "Date Order:",    "Decimal Mark:"};
const std::vector<std::string> kOptions[kRowCount - kFillUpColumns] = {
    {"Kilometres", "Miles"},
    {"Litres", "US Gallons", "UK Gallons"},
    {"Year Month Day", "Day Month Year", "Month Day Year"},
    {"Point (1,234.5)", "Comma (1.234,5)"},
};
constexpr const char* kBlankColumn = "Blank - Do not import this field";

int row_value(const FillUpLayout& l, int row) {
    switch (row) {
        case kRowDistance: return l.distance == DistanceUnit::Miles ? 1 : 0;
        case kRowVolume: return l.volume == VolumeUnit::UsGallons ? 1 : l.volume == VolumeUnit::UkGallons ? 2 : 0;
        case kRowDates: return l.dates == DateOrder::DayMonthYear ? 1 : l.dates == DateOrder::MonthDayYear ? 2 : 0;
        case kRowDecimal: return l.decimal == ',' ? 1 : 0;
        default: return l.columns[static_cast<std::size_t>(row)];
    }
}

void set_row_value(FillUpLayout& l, int row, int value) {
    switch (row) {
        case kRowDistance: l.distance = value == 1 ? DistanceUnit::Miles : DistanceUnit::Kilometres; break;
        case kRowVolume: l.volume = value == 1 ? VolumeUnit::UsGallons : value == 2 ? VolumeUnit::UkGallons : VolumeUnit::Litres; break;
        case kRowDates:
            l.dates = value == 1 ? DateOrder::DayMonthYear : value == 2 ? DateOrder::MonthDayYear : DateOrder::YearMonthDay;
            break;
        case kRowDecimal: l.decimal = value == 1 ? ',' : '.'; break;
        default: l.columns[static_cast<std::size_t>(row)] = value; break;
    }
}

// What a row's box shows; a column row lists the header's names after "Blank".
std::vector<std::string> row_choices(const CsvTable& table, int row) {
    if (row >= kFillUpColumns) return kOptions[row - kFillUpColumns];
    std::vector<std::string> lines = {kBlankColumn};
    for (std::size_t c = 0; c < table.header.size() && c < 255; ++c) lines.push_back(table.header[c].substr(0, 80));
    return lines;
}

std::string row_text(const CsvTable& table, const FillUpLayout& l, int row) {
    const int value = row_value(l, row);
    if (row < kFillUpColumns) {
        return value > 0 && value <= static_cast<int>(table.header.size()) ? table.header[static_cast<std::size_t>(value - 1)] : "";
    }
    const std::vector<std::string>& options = kOptions[row - kFillUpColumns];
    return options[static_cast<std::size_t>(std::clamp(value, 0, static_cast<int>(options.size()) - 1))];
}

// How the first row reads with the layout as it stands, so the user sees a
// wrong unit or date order before anything is imported.
std::string first_row_reading(const CsvTable& table, const FillUpLayout& l) {
    if (table.rows.empty()) return "The file holds no fill-ups below its header line.";
    if (!layout_complete(l)) return "Choose the columns of the date, the odometer and the fuel quantity.";
    CsvTable first = table;
    first.rows.resize(1);
    const ReadFillUps read = read_fill_ups(first, l);
    const std::string line = "Line " + std::to_string(table.rows[0].line);
    if (!read.bad.empty()) return line + ": " + read.bad[0].reason;
    if (read.fill_ups.empty()) return line + " is blank.";
    const FillUp& f = read.fill_ups[0];
    return line + " reads: " + format_date(f.year, f.month, f.day) + " - " + format_odometer(f.odometer) + " - " +
           format_fuel(f.fuel) + " - " + format_cost_total(f.cost);
}

void draw_form(const CsvTable& table, const FillUpLayout& layout) {
    const Fonts& f = fonts();
    const MainWindowState& win = main_window();
    BeginWidgets();
    const int heading_bottom = add_view_title("Select the CSV columns and units of the fill-ups.", 50);
    int label_width = 0;
    for (const char* label : kRowLabels) label_width = std::max(label_width, MeasureText(f.message, label).width);
    const int row_height = std::max(FontHeight(f.input) + 8, std::min(46, (win.client_height - 210 - heading_bottom) / kRowCount));
    const int box_width = std::min(520, win.client_width - label_width - 200);
    const int left = (win.client_width - label_width - 12 - box_width) / 2;
    int y = heading_bottom + 20;
    for (int i = 0; i < kRowCount; ++i) {
        if (i == kFillUpColumns) y += row_height / 3;  // the units apart from the columns
        const int text_height = FontHeight(f.message);
        const int lw = MeasureText(f.message, kRowLabels[i]).width;
        AddWidget(0, kKindLabel, left + label_width - lw, y + (row_height - 4 - text_height) / 2, left + label_width + 1,
                  y + row_height, rgb(255, 255, 255), 0, f.message, 0, kRowLabels[i]);
        AddWidget(kRowBase + i, kKindButton, left + label_width + 12, y, left + label_width + 12 + box_width, y + row_height - 4,
                  rgb(0, 0, 0), 0, f.input, 0, ">" + row_text(table, layout, i));
        y += row_height;
    }
    const std::string reading = first_row_reading(table, layout);
    const int reading_width = std::min(MeasureText(f.input, reading).width, win.client_width - 40);
    AddWidget(0, kKindLabel, (win.client_width - reading_width) / 2, y + 8, (win.client_width + reading_width) / 2 + 1,
              y + 8 + FontHeight(f.input), rgb(200, 220, 230), 0, f.input, 0, reading);
    const int buttons_top = std::min(y + 20 + FontHeight(f.input), win.client_height - 44);
    add_button_row(buttons_top, {{kResetId, "Reset"}, {kAutoId, "Auto"}, {kOkId, "OK"}, {kCancelId, "Cancel"}}, 80);
    DrawAllWidgets();
}

// ---- the closing message ------------------------------------------------------------------------------

// Line numbers by reason, ten to a text line, so that the message fits a popup.
constexpr int kMostReportLines = 14;

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

bool run_fill_up_form(const CsvTable& table, FillUpLayout& layout) {
    const FillUpLayout guessed = layout;
    bool accepted = false;
    const InputState& in = input();
    run_full_view([&] { draw_form(table, layout); }, [&](int id) {
        if (id >= kRowBase && id < kRowBase + kRowCount) {
            wait_for_release();
            const int row = id - kRowBase;
            popup_list().lines = row_choices(table, row);
            const WidgetRecord& box = widgets()[static_cast<std::size_t>(FindWidget(id))];
            int chosen = -1;
            PickFromList(box.x1, box.y2, box.x2 - box.x1, 0, 0, chosen);
            if (chosen >= 0) set_row_value(layout, row, chosen);
        } else if (id == kResetId) {
            layout.columns = {};
        } else if (id == kAutoId) {
            layout = guessed;
        } else if (id == kOkId || (id == 0 && in.key == kKeyReturn)) {
            wait_for_release();
            if (layout_complete(layout)) {
                accepted = true;
                return true;
            }
            show_ok("Please choose the columns of the date,|the odometer and the fuel quantity.");
        } else if (id == kCancelId || (id == 0 && in.key == kKeyEscape)) {
            return true;
        } else {
            return false;
        }
        main_window().screen_needs_redraw = true;
        return false;
    });
    wait_for_key_up();
    return accepted;
}

std::string import_report(const ImportPlan& plan, int imported, const std::string& vehicle) {
    std::string text = imported == 0 ? std::string("No fill-ups were imported")
                                     : plural(static_cast<std::size_t>(imported), "fill-up", "fill-ups") + " imported";
    if (imported > 0 && !vehicle.empty()) text += " into " + vehicle;
    text += ".";
    if (plan.first_without_start > 0) {
        text += "|The fill-up of line " + std::to_string(plan.first_without_start) +
                " has no earlier reading to start from and was skipped.";
    }
    if (plan.already_there > 0) {
        text += "|" + plural(static_cast<std::size_t>(plan.already_there), "fill-up was", "fill-ups were") +
                " already in the log and left out.";
    }
    if (plan.bad.empty()) return text;

    std::vector<std::string> reasons;
    std::map<std::string, std::vector<int>> lines;
    for (const BadRow& b : plan.bad) {
        if (!lines.count(b.reason)) reasons.push_back(b.reason);
        lines[b.reason].push_back(b.line);
    }
    text += "||" + plural(plan.bad.size(), "line", "lines") + " could not be read:";
    int used = 0;
    std::size_t left_out = 0;
    for (const std::string& reason : reasons) {
        const std::vector<int>& numbers = lines[reason];
        const std::size_t room = used < kMostReportLines ? static_cast<std::size_t>(kMostReportLines - used) * 10 : 0;
        const std::size_t shown = std::min(numbers.size(), room);
        left_out += numbers.size() - shown;
        if (shown == 0) continue;
        std::string part = shown == 1 ? "Line " : "Lines ";
        for (std::size_t i = 0; i < shown; ++i) part += (i == 0 ? "" : i % 10 == 0 ? ",|" : ", ") + std::to_string(numbers[i]);
        text += "|" + part + ": " + reason;
        used += static_cast<int>((shown + 9) / 10);
    }
    if (left_out > 0) text += "|and " + plural(left_out, "more line", "more lines") + ", all named in the status log";
    return text;
}

std::string import_fill_ups(VehicleManager& m) {
    if (!need_vehicle(m)) return {};
    std::string folder = folder_exists(settings().import_path) ? settings().import_path : std::string();
    std::string name;
    int result = 0;
    BrowseForFile("Import Fill-ups from a CSV File", folder, name, result);
    wait_for_key_up();
    if (result != 1) return {};
    const std::string path = folder + name;
    FileInfo info;
    if (name.empty() || !platform().sys_stat(path, info) || info.is_folder) return "No File Selected";
    settings().import_path = folder;
    save_settings();
    Result<std::string> bytes = read_whole_file(path);
    if (!bytes) return "The file could not be read.|" + path + "|" + bytes.error().message;
    const CsvTable table = read_csv_table(bytes.value());
    if (table.header.empty()) return "No fill-ups were found in|" + name;
    FillUpLayout layout = guess_layout(table, us_units(), platform().date_order());
    if (!run_fill_up_form(table, layout)) return {};

    VehicleStore& store = m.store;
    const std::int32_t vehicle_id = store.current_vehicle_id();
    const ImportPlan plan = plan_import(read_fill_ups(table, layout), store, vehicle_id, store.new_ids().record_id);
    status_log_write("Fill-up Import: " + path + " -" + log_number(static_cast<std::int64_t>(plan.records.size())) +
                     " imported," + log_number(static_cast<std::int64_t>(plan.bad.size())) + " not read");
    for (const BadRow& b : plan.bad) status_log_write("Fill-up Import: line" + log_number(b.line) + " - " + b.reason);

    // One save for the lot, which sorts them in among the vehicle's records.
    std::int32_t latest_id = 0;
    for (const ChunkHeader& h : plan.records) {
        store.append_chunk(h, {});
        latest_id = h.record_id;  // in odometer order: the last is the latest
    }
    const int imported = static_cast<int>(plan.records.size());
    if (imported > 0) {
        store.set_display_filter(kFilterAll);
        report_save(store.save());
        store.select_record(latest_id);
        select_only_current(m);
        show_record(m, store.record_position());
    }
    const std::optional<VehicleInfo> vehicle = store.current_vehicle();
    return import_report(plan, imported, vehicle ? trim(vehicle->year + " " + vehicle->make + " " + vehicle->model) : "");
}

}  // namespace domora
