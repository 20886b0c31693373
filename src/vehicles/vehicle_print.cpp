#include "vehicles/vehicle_print.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "app/status_log.h"
#include "app/text.h"
#include "platform/print.h"
#include "printing/print_job.h"
#include "printing/print_settings_screen.h"
#include "ui/popups.h"
#include "vehicles/vehicle_export.h"
#include "vehicles/vehicle_photo.h"
#include "vehicles/vehicle_records.h"
#include "vehicles/vehicle_units.h"

namespace domora {

namespace {

constexpr const char* kProgressTitle = "Printing Vehicle Records";

int rounded(double value) { return static_cast<int>(std::lround(value)); }

int text_width(FontHandle font, const std::string& text) { return print_service().measure_text(font, text).width; }

// The height a wrapped line moves down by; an empty line (a text that broke
// at a leading blank) still takes a line.
int line_height_of(FontHandle font, const std::string& text) {
    PrintService& service = print_service();
    const int height = service.measure_text(font, text).height;
    return height > 0 ? height : service.measure_text(font, " ").height;
}

// Draws text wrapped from x to right; y ends at the last line's top.
void draw_wrapped(FontHandle font, const std::string& text, int x, int right, int& y) {
    for (const WrappedLine& line : wrap_print_text(font, text, x, right, y)) {
        if (!line.text.empty()) print_service().draw_text(x, line.y, font, kPrintBlack, line.text);
    }
}

void draw_right(int right, int y, FontHandle font, const std::string& text) {
    print_service().draw_text(right - text_width(font, text), y, font, kPrintBlack, text);
}

// Where the table's columns lie, measured in the bold font.
struct Columns {
    int date_right = 0;
    int odometer_left = 0;
    int odometer_right = 0;
    int cost_left = 0;
    int cost_right = 0;
    int record_left = 0;
    int fuel_detail_left = 0;
};

Columns measure_columns(const PrintJob& job) {
    const FontHandle bold = job.font_bold;
    const int gap = text_width(bold, "   ");
    Columns c;
    c.date_right = job.text.left + text_width(bold, "May 33, 2003");
    c.odometer_left = c.date_right + gap;
    c.odometer_right = c.odometer_left + text_width(bold, "9,999,999 km");
    c.cost_left = c.odometer_right + gap;
    c.cost_right = c.cost_left + text_width(bold, "$ 99999.99");
    c.record_left = c.cost_right + gap;
    c.fuel_detail_left = c.record_left + text_width(bold, "Gas:  ");
    return c;
}

void draw_page_number(const PrintJob& job, int page, int line_height) {
    clip_print(job.text);
    const std::string text = "Page " + std::to_string(page);
    const int centre = job.text.left + (job.text.right - job.text.left) / 2;
    print_service().draw_text(centre - text_width(job.font_normal, text) / 2, job.text.bottom - line_height, job.font_normal,
                              kPrintBlack, text);
}

// The first page's head: photo, heading, VIN and licence. Returns the line
// the table starts at.
int draw_head(VehicleManager& m, const PrintJob& job, int line_height) {
    PrintService& service = print_service();
    const std::optional<VehicleInfo> vehicle = m.store.current_vehicle();
    const Picture* photo = vehicle ? vehicle_photo(m, vehicle->photo) : nullptr;
    const Rect& text = job.text;
    const int frame_high = std::max(0, rounded(1.5 * job.caps.dpi_y));
    int frame_wide = 0;
    if (photo && !photo->empty()) {
        frame_wide = std::max(0, rounded(static_cast<double>(photo->width) / photo->height * frame_high));
    }
    const int head_x = frame_wide == 0 ? text.left : rounded(text.left + frame_wide + 0.2 * job.caps.dpi_x);
    clip_print(text);
    if (frame_wide > 0) {
        const int high = rounded(static_cast<double>(frame_wide) * photo->height / photo->width);
        const Rect frame{text.left, text.top, text.left + frame_wide, text.top + high};
        service.draw_image(frame, photo->width, photo->height, photo->pixels);
        service.frame_rect(frame, job.line_width, kPrintBlack);
    }
    int y = text.top;
    std::string heading;
    if (vehicle) heading = trim(vehicle->year + " " + vehicle->make + " " + vehicle->model);
    draw_wrapped(job.font_large, heading, head_x, text.right, y);
    y += 2 * line_height;
    const auto labelled = [&](const std::string& label, const std::string& value) {
        service.draw_text(head_x, y, job.font_bold, kPrintBlack, label);
        draw_wrapped(job.font_normal, value, head_x + text_width(job.font_bold, label), text.right, y);
    };
    labelled("VIN: ", vehicle ? vehicle->vin : std::string());
    y += 2 * line_height;
    labelled("License: ", vehicle ? vehicle->license : std::string());
    // The frame's height counts even without a photo, so tables line up.
    return std::max(y, text.top + frame_high) + 2 * line_height;
}

void draw_column_headings(const PrintJob& job, const Columns& c, int& line, int line_height) {
    PrintService& service = print_service();
    clip_print(job.text);
    service.draw_text(job.text.left, line, job.font_bold, kPrintBlack, "Date");
    draw_right(c.odometer_right, line, job.font_bold, "Odometer");
    draw_right(c.cost_right, line, job.font_bold, "Cost");
    service.draw_text(c.record_left, line, job.font_bold, kPrintBlack, "Record");
    service.fill_rect(Rect{job.text.left, line + line_height, job.text.right, line + line_height + job.line_width}, kPrintBlack);
    line += rounded(1.5 * line_height);
}

// One record's row; line ends at its last line's top.
void draw_row(const VehicleStore& store, std::size_t offset, const PrintJob& job, const Columns& c, const std::string& detail,
              int& line, int line_height) {
    PrintService& service = print_service();
    const ChunkHeader h = store.header(offset);
    const std::string date = format_date(h.year, h.month, h.day);
    const std::size_t blank = date.find(' ');
    service.set_clip(Rect{job.text.left, line, c.date_right, line + line_height});
    service.draw_text(job.text.left, line, job.font_normal, kPrintBlack, date.substr(0, blank));
    if (blank != std::string::npos) draw_right(c.date_right, line, job.font_normal, date.substr(blank + 1));
    if (h.b > 0) {
        service.set_clip(Rect{c.odometer_left, line, c.odometer_right, line + line_height});
        draw_right(c.odometer_right, line, job.font_normal, format_odometer(h.b));
    }
    if (h.d > 0) {
        service.set_clip(Rect{c.cost_left, line, c.cost_right, line + line_height});
        service.draw_text(c.cost_left, line, job.font_normal, kPrintBlack, "$");
        draw_right(c.cost_right, line, job.font_normal, format_cost(h.d));
    }
    service.set_clip(Rect{c.record_left, line, job.text.right, job.text.bottom});
    if (h.type == kRecordFuel) {
        service.draw_text(c.record_left, line, job.font_bold, kPrintBlack, "Gas:  ");
        draw_wrapped(job.font_normal, detail, c.fuel_detail_left, job.text.right, line);
    } else {
        draw_wrapped(job.font_normal, detail, c.record_left, job.text.right, line);
    }
}

std::string record_detail(const VehicleStore& store, std::size_t offset) {
    const ChunkHeader h = store.header(offset);
    if (h.type == kRecordFuel) return fuel_detail(h.a, h.b, h.c, h.d, h.e);
    return store.description(offset);
}

// The checks both the button and the print make: false after telling the user.
bool have_selected_records(const VehicleStore& store, std::vector<std::size_t>& offsets) {
    if (store.image().size() < kChunkHeaderSize) {
        show_ok("No Data To Print");
        return false;
    }
    offsets = vehicle_records_for_output(store, true);
    if (offsets.empty()) {
        show_ok("No records have been selected");
        return false;
    }
    return true;
}

}  // namespace

std::vector<WrappedLine> wrap_print_text(FontHandle font, const std::string& text, int x, int right, int& y) {
    PrintService& service = print_service();
    const int room = right - x;
    std::vector<WrappedLine> lines;
    std::string rest = text;
    while (service.measure_text(font, rest).width > room) {
        // Grow the line until it no longer fits, remembering the last blank.
        std::size_t blank = std::string::npos;
        std::size_t fits = 0;
        while (fits < rest.size() && service.measure_text(font, rest.substr(0, fits + 1)).width <= room) {
            if (rest[fits] == ' ') blank = fits;
            ++fits;
        }
        std::size_t take = 0, next = 0;
        if (fits < rest.size() && rest[fits] == ' ') {
            // The blank that would not fit ends the line just as well, and the
            // next line does not start with it.
            take = fits;
            next = fits + 1;
        } else if (blank != std::string::npos) {
            take = blank;
            next = blank + 1;
        } else {
            // A word wider than the room breaks between characters; at least
            // one goes on each line so that a tiny column still ends.
            take = std::max<std::size_t>(fits, 1);
            next = take;
        }
        lines.push_back(WrappedLine{rest.substr(0, take), y});
        // What the break leaves nothing after is the last line: y stays.
        if (next >= rest.size()) return lines;
        y += line_height_of(font, lines.back().text);
        rest.erase(0, next);
    }
    lines.push_back(WrappedLine{rest, y});
    return lines;
}

bool print_vehicle_records(VehicleManager& m, PrintSettings& record) {
    const VehicleStore& store = m.store;
    std::vector<std::size_t> offsets;
    if (!have_selected_records(store, offsets)) return false;
    validate_print_settings(kLayoutVehicleRecords, record);
    PrintJob job;
    if (!Printer_Start(record, job)) {
        status_log_write("Printer_Start failed");
        return false;
    }
    OpenProgress();
    PrintService& service = print_service();
    const int line_height = service.measure_text(job.font_normal, "|^yg$@").height;
    next_card(job);
    int page = 1;
    draw_page_number(job, page, line_height);
    if (job.outlines) frame_card(job);
    const Columns columns = measure_columns(job);
    int line = draw_head(m, job, line_height);
    draw_column_headings(job, columns, line, line_height);

    const long long total = static_cast<long long>(offsets.size());
    long long done = 0;
    for (std::size_t offset : offsets) {
        const std::string detail = record_detail(store, offset);
        const bool fuel = store.header(offset).type == kRecordFuel;
        int last = line;
        wrap_print_text(job.font_normal, detail, fuel ? columns.fuel_detail_left : columns.record_left, job.text.right, last);
        if (last + 2 * line_height > job.text.bottom) {
            next_card(job);
            draw_page_number(job, ++page, line_height);
            line = job.text.top;
        }
        draw_row(store, offset, job, columns, detail, line, line_height);
        line += line_height;
        ++done;
        UpdateProgress(kProgressTitle, std::to_string(done) + " of " + std::to_string(total), done, total);
    }
    CloseProgress();
    end_document(job);
    return true;
}

void print_vehicle_records(VehicleManager& m) {
    // Told before the settings screen, so nobody sets up a printer for nothing.
    std::vector<std::size_t> offsets;
    if (!have_selected_records(m.store, offsets)) return;
    std::string* value = print_settings_value(kLayoutVehicleRecords);
    PrintSettings record = load_print_settings(kLayoutVehicleRecords, value ? *value : std::string());
    validate_print_settings(kLayoutVehicleRecords, record);
    if (print_settings_screen(kLayoutVehicleRecords, "Vehicle Records", &record) != kPrintSettingsPrint) return;
    store_print_settings(kLayoutVehicleRecords, record);
    print_vehicle_records(m, record);
}

}  // namespace domora
