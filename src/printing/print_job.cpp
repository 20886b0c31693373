#include "printing/print_job.h"

#include <algorithm>
#include <cmath>

#include "app/files.h"
#include "app/messages.h"
#include "app/settings.h"
#include "app/status_log.h"
#include "app/text.h"
#include "printing/device_mode.h"
#include "ui/file_browser.h"
#include "ui/popups.h"

namespace domora {

namespace {

int to_pixels(std::int32_t mils, int dpi) {
    return std::max(0, static_cast<int>(std::lround(static_cast<double>(mils) * dpi / 1000.0)));
}

void log(const std::string& text) { status_log_write(text); }

std::string n(std::int64_t value) { return log_number(value); }

// "Save as PDF" writes where the user says; false when the user cancels.
bool choose_pdf_file(std::string& path) {
    std::string folder = settings().export_path;
    std::string name = "Domora.pdf";
    for (;;) {
        int result = 0;
        BrowseForFile("Save as PDF", folder, name, result);
        if (result != 1) return false;
        name = trim(name);
        if (name.empty()) {
            show_message("You must enter a filename");
            continue;
        }
        if (name.size() < 4 || to_lower(name.substr(name.size() - 4)) != ".pdf") name += ".pdf";
        if (file_exists(folder + name)) {
            int answer = 2;
            ShowPopup(name + "|Already Exists!|Do you want to overwrite it?", "", 2, "OK|Cancel", 0, answer);
            if (answer != 1) continue;
        }
        settings().export_path = folder;
        save_settings();
        path = folder + name;
        return true;
    }
}

void unknown_problem(const std::string& printer) {
    show_message("There is an unknown problem with your printer:|" + printer +
                 "||Please make sure it is connected to your computer,|or choose a different printer.");
}

}  // namespace

int points_to_pixels(int dpi, int points) { return static_cast<int>(std::lround(dpi * 0.01389 * points)); }

void clip_print(const Rect& r, int grow) { print_service().set_clip(Rect{r.left, r.top, r.right + grow, r.bottom + grow}); }

void frame_card(const PrintJob& job) {
    clip_print(job.card, 2);
    print_service().frame_rect(job.card, job.line_width, kPrintBlack);
}

bool Printer_Start(PrintSettings& record, PrintJob& job) {
    PrintService& service = print_service();
    job = PrintJob{};
    log("");
    log("=== Printer Start ===");
    log("Psettings - Card Size: " + n(record.card_width()) + " x " + n(record.card_height()));
    if (record.card_width() == 0 || record.card_height() == 0) {
        show_message("Your printer is not setup correctly.|Please check your printer settings.");
        return false;
    }
    std::string devmode = record.device_mode();
    set_device_mode_field(devmode, kDmOrientationOffset, record.orientation());
    record.set_device_mode(devmode);
    log("Psettings - Orientation: " + n(record.orientation()));
    log("Paper Wide: " + n(record.paper_width()) + " - Paper High: " + n(record.paper_height()));
    const std::string printer = record.printer();
    log("Psettings - Printer: " + printer);
    log("Psettings - Dev Size: " + n(static_cast<std::int64_t>(devmode.size())));
    const std::vector<std::string> installed = installed_printers();
    const bool known = !printer.empty() && std::find(installed.begin(), installed.end(), printer) != installed.end();
    log("Open Printer: " + n(known ? 1 : 0));

    PrintDevice device;
    device.printer = printer;
    device.orientation = record.orientation();
    device.paper = record.paper();
    device.options = device_mode_options(devmode);
    if (printer == kSaveAsPdf && !choose_pdf_file(device.output_file)) {
        log("Save as PDF cancelled");
        return false;
    }
    if (!known || !service.open_device(device, job.caps)) {
        unknown_problem(printer);
        return false;
    }
    const PrintCaps& c = job.caps;
    job.line_width = std::max(2, static_cast<int>(std::lround(c.dpi_x * 0.01)));
    job.card_wide = to_pixels(record.card_width(), c.dpi_x);
    job.card_high = to_pixels(record.card_height(), c.dpi_y);
    job.horz_spacing = to_pixels(record.horz_spacing(), c.dpi_x);
    job.vert_spacing = to_pixels(record.vert_spacing(), c.dpi_y);
    job.page_left = to_pixels(record.horizontal_position(), c.dpi_x);
    job.page_top = to_pixels(record.vertical_position(), c.dpi_y);
    job.left_margin = to_pixels(record.left_margin(), c.dpi_x);
    job.right_margin = to_pixels(record.right_margin(), c.dpi_x);
    job.top_margin = to_pixels(record.top_margin(), c.dpi_y);
    job.bottom_margin = to_pixels(record.bottom_margin(), c.dpi_y);
    job.horz_count = std::max(1, record.horz_count());
    job.vert_count = std::max(1, record.vert_count());
    job.outlines = record.outlines();
    if (record.font_size() < 1 || record.font_size() > 63) record.set_font_size(10);
    job.font_height = points_to_pixels(c.dpi_y, record.font_size());
    job.large_font_height = static_cast<int>(std::lround(1.2 * job.font_height));

    job.face = record.face();
    if (job.face.empty()) job.face = "Arial";
    log("Psettings - Font Name: " + job.face);
    job.font_normal = service.create_font(FontSpec{job.face, job.font_height, 400, false, true});
    job.font_bold = service.create_font(FontSpec{job.face, job.font_height, 700, false, true});
    job.font_large = service.create_font(FontSpec{job.face, job.large_font_height, 700, false, true});

    log("===== PRINTER OUTPUT =====");
    job.page_left -= c.offset_x;
    job.page_top -= c.offset_y;
    const int started = service.start_document("Domora");
    log("Start Document: " + n(started));
    if (started <= 0) {
        // Nothing could be printed (a PDF file that cannot be written, a
        // queue that refuses the job): say so rather than print nothing quietly.
        for (FontHandle f : {job.font_normal, job.font_bold, job.font_large}) service.release_font(f);
        service.close_device();
        job = PrintJob{};
        unknown_problem(printer);
        return false;
    }
    job.page = 1;
    job.open = true;
    job.output_file = device.output_file;

    log("Printer DC: " + n(1));
    log("Resolution: " + n(c.printable_width) + " x " + n(c.printable_height));
    log("DPI: " + n(c.dpi_x) + " x " + n(c.dpi_y));
    log("Offset: " + n(c.offset_x) + " x " + n(c.offset_y));
    log("Page Size: " + n(c.page_width) + " x " + n(c.page_height));
    log("Page Left: " + n(job.page_left) + " - Page Top: " + n(job.page_top));
    log("Line Width: " + n(job.line_width));
    log("PRINTER START - pv.card_wide: " + n(job.card_wide) + " - pv.card_high: " + n(job.card_high));
    log("Devmode Paper Size: " + n(device_mode_field(devmode, kDmPaperSizeOffset)));
    log("Devmode Paper Length: " + n(device_mode_field(devmode, kDmPaperLengthOffset)));
    log("Devmode paper Width: " + n(device_mode_field(devmode, kDmPaperWidthOffset)));
    log("");
    return true;
}

void next_card(PrintJob& job) {
    PrintService& service = print_service();
    log("Next Card Position: " + n(job.card.left) + " x " + n(job.card.top));
    log("pv.card_wide: " + n(job.card_wide) + " - pv.card_high: " + n(job.card_high));
    log("pv.horz_spacing: " + n(job.horz_spacing) + " - pv.vert_spacing: " + n(job.vert_spacing));
    log("pv.horizontal: " + n(job.horizontal) + " - pv.vertical: " + n(job.vertical));
    log("pv.vert_count: " + n(job.vert_count) + " - pv.horz_count: " + n(job.horz_count));
    log("pv.page_flag: " + n(job.page_flag));
    int x = job.card.left;
    int y = job.card.top;
    if (job.page_flag <= 0) {
        job.page_flag = service.start_page();
        job.horizontal = 0;
        job.vertical = 0;
        x = job.page_left;
        y = job.page_top;
    } else {
        ++job.horizontal;
        x += job.horz_spacing + job.card_wide;
        if (job.horizontal >= job.horz_count) {
            job.horizontal = 0;
            x = job.page_left;
            ++job.vertical;
            y += job.vert_spacing + job.card_high;
            if (job.vertical >= job.vert_count) {
                job.vertical = 0;
                y = job.page_top;
                service.end_page();
                job.page_flag = service.start_page();
                ++job.page;
            }
        }
    }
    job.card = Rect{x, y, x + job.card_wide, y + job.card_high};
    log("Card Position: " + n(x) + " - " + n(y));
    clip_print(job.card, 1);
    job.text = Rect{std::max(0, x + job.left_margin), std::max(0, y + job.top_margin), job.card.right - job.right_margin,
                    job.card.bottom - job.bottom_margin};
    log("Text Region: " + n(job.text.left) + "/" + n(job.text.top) + "/" + n(job.text.right) + "/" + n(job.text.bottom));
    clip_print(job.text, 2);
    job.line = job.text.top;
    const int text_width = job.text.right - job.text.left;
    job.column_width = static_cast<int>((text_width - job.caps.dpi_x * 0.1875) / 2);
    job.full_line_width = static_cast<int>(text_width - job.caps.dpi_x * 0.04);
    job.line_count = 0;
    log("Exit next card - " + n(job.line) + " - " + n(job.column_width) + " - " + n(job.full_line_width) + " - " +
        n(job.text.left) + " - " + n(job.text.top));
}

void end_document(PrintJob& job) {
    if (!job.open) return;
    PrintService& service = print_service();
    if (job.page_flag > 0) service.end_page();
    job.page_flag = 0;
    const int result = service.end_document();
    const int error = service.last_error();
    log("End Document: " + n(result) + " = " + n(error) + " - " + service.error_text(error));
    for (FontHandle* f : {&job.font_normal, &job.font_bold, &job.font_large}) {
        service.release_font(*f);
        *f = 0;
    }
    service.close_device();
    job.open = false;
    if (!job.output_file.empty() && result > 0) show_message("Saved as PDF:|" + job.output_file);
}

}  // namespace domora
