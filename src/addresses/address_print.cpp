#include "addresses/address_print.h"

#include <algorithm>

#include "app/main_window.h"
#include "app/messages.h"
#include "app/settings.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/print.h"
#include "printing/print_job.h"
#include "printing/print_settings_screen.h"
#include "ui/popups.h"

namespace domora {

namespace {

// The layout offered first next time; kept while the program runs.
int g_last_layout = 0;

// Blanks and commas removed from both ends.
std::string trim_line(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" ,");
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(" ,");
    return text.substr(first, last - first + 1);
}

std::string cut(const std::string& text) { return text.substr(0, 255); }

bool selected(const AddressStore& store, int position) { return (store.marks_at(store.item(position)) & kSelectedMark) != 0; }

int selected_count(const AddressStore& store) {
    int n = 0;
    for (int p = 0; p < store.count(); ++p) n += selected(store, p) ? 1 : 0;
    return n;
}

void draw_label(const PrintJob& job, const std::vector<std::string>& lines, int record_size) {
    PrintService& service = print_service();
    const int region_w = job.text.right - job.text.left;
    const int region_h = job.text.bottom - job.text.top;
    int size = record_size;
    FontHandle font = 0;
    for (;;) {
        font = service.create_font(FontSpec{job.face, points_to_pixels(job.caps.dpi_y, size), 400, false, true});
        bool too_wide = false;
        for (const std::string& line : lines) too_wide = too_wide || service.measure_text(font, line).width > region_w;
        if (!too_wide || size <= 6) break;
        service.release_font(font);
        --size;
    }
    const int count = static_cast<int>(lines.size());
    int changed = size;
    while (changed > 6 && points_to_pixels(job.caps.dpi_y, changed) * count > region_h) --changed;
    if (changed != size) {
        service.release_font(font);
        font = service.create_font(FontSpec{job.face, points_to_pixels(job.caps.dpi_y, changed), 400, false, true});
    }
    const int line_height = points_to_pixels(job.caps.dpi_y, changed);
    const int block = line_height * count;
    int y = std::max(job.text.top, (job.text.top + job.text.bottom) / 2 - block / 2);
    clip_print(job.card);
    for (const std::string& line : lines) {
        service.draw_text(job.text.left, y, font, kPrintBlack, line);
        y += line_height;
    }
    service.release_font(font);
}

// The frame of the routines that share it: validate, start, progress.
class Run {
public:
    Run(int layout_id, PrintSettings& record, const char* title) : m_title(title) {
        validate_print_settings(layout_id, record);
        m_ok = Printer_Start(record, job);
        if (!m_ok) {
            status_log_write("Printer_Start failed");
            return;
        }
        OpenProgress();
    }
    ~Run() {
        if (!m_ok) return;
        CloseProgress();
        end_document(job);
    }
    bool ok() const { return m_ok; }
    void progress(long long done, long long total) {
        UpdateProgress(m_title, std::to_string(done) + " of " + std::to_string(total), done, total);
    }
    PrintJob job;

private:
    const char* m_title;
    bool m_ok = false;
};

}  // namespace

// ---- lines ------------------------------------------------------------------------------------------

std::vector<std::string> label_lines(const AddressValues& a) {
    const std::string city = a[kFieldCity] + ", " + a[kFieldState] + " " + a[kFieldZip];
    const std::string candidates[6] = {a[kFieldFirst] + " " + a[kFieldLast], a[kFieldCompany], a[kFieldAddress1],
                                       a[kFieldAddress2], city, a[kFieldCountry]};
    std::vector<std::string> lines;
    for (const std::string& c : candidates) {
        const std::string line = cut(trim_line(c));
        if (!line.empty()) lines.push_back(line);
    }
    if (lines.size() == 6) {
        // Six lines do not fit a label: the name and company share one.
        lines = {cut(trim_line(candidates[0] + " - " + candidates[1])), lines[2], lines[3], lines[4], lines[5]};
    }
    return lines;
}

std::vector<std::string> envelope_lines(const AddressValues& a) {
    std::vector<std::string> candidates = {a[kFieldFirst] + " " + a[kFieldLast], a[kFieldCompany], a[kFieldAddress1],
                                           a[kFieldAddress2]};
    if (!a[kFieldCity].empty() || !a[kFieldState].empty()) {
        candidates.push_back(a[kFieldCity] + ", " + a[kFieldState] + " " + a[kFieldZip]);
    }
    candidates.push_back(a[kFieldCountry]);
    std::vector<std::string> lines;
    for (const std::string& c : candidates) {
        const std::string line = cut(trim(c));
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// ---- the Print button ----------------------------------------------------------------------------------

void print_selected_addresses(AddressStore& store) {
    if (store.count() == 0 || store.image().empty()) {
        show_message("There are no addresses to print");
        return;
    }
    if (!store.valid_position(store.current())) {
        show_message("No Record Selected");
        return;
    }
    std::vector<PrintLayout> layouts;
    std::string names;
    for (const PrintLayout& l : print_layouts()) {
        if (l.id == kLayoutVehicleRecords) continue;
        layouts.push_back(l);
        if (!names.empty()) names += '|';
        names += l.name;
    }
    int button = 2;
    int chosen = g_last_layout;
    ShowChoice("Print Selected Addresses", names, "OK|Cancel", button, chosen);
    wait_for_key_release();
    if (button != 1 || chosen < 0 || chosen >= static_cast<int>(layouts.size())) return;
    g_last_layout = chosen;
    const PrintLayout layout = layouts[static_cast<std::size_t>(chosen)];

    reset_label_map();
    std::string* value = print_settings_value(layout.id);
    PrintSettings record = load_print_settings(layout.id, value ? *value : std::string());
    // A printer that has gone is replaced before the user sees the settings.
    validate_print_settings(layout.id, record);
    if (print_settings_screen(layout.id, layout.name, &record) != kPrintSettingsPrint) return;
    store_print_settings(layout.id, record);
    if (layout.id >= 1 && layout.id <= 4) {
        print_envelopes(store, layout.id, record);
    } else if (layout.id >= 20 && layout.id <= 27) {
        print_labels(store, layout.id, record);
    } else if (layout.id == kLayoutAddressBook || layout.id == kLayoutDaytimer) {
        print_address_book(store, layout.id, record);
    } else if (layout.id == kLayoutMemberList) {
        print_member_list(store, layout.id, record);
    }
}

// ---- labels ----------------------------------------------------------------------------------------------

bool print_labels(AddressStore& store, int layout_id, PrintSettings& record) {
    Run run(layout_id, record, "Printing Labels");
    if (!run.ok()) return false;
    PrintJob& job = run.job;
    LabelMap& map = label_map();
    const int per_sheet = job.horz_count * job.vert_count;
    const int copies = record.copies();
    const int total = selected_count(store);
    int done = 0;
    int position = 0;
    for (int p = 0; p < store.count(); ++p) {
        if (!selected(store, p)) continue;
        const std::vector<std::string> lines = label_lines(store.record_at(store.item(p)).fields);
        int printed = 0;
        while (printed < copies) {
            next_card(job);
            const int state = position < static_cast<int>(map.size()) ? map[static_cast<std::size_t>(position)] : 1;
            status_log_write("\r\nCurrent Label: " + log_number(position) + " - State: " + log_number(state) +
                             " - Label Copies: " + log_number(copies));
            if (state != 0) {
                if (job.outlines) frame_card(job);
                draw_label(job, lines, record.font_size());
                ++printed;
            }
            if (++position >= per_sheet) {
                map.fill(1);
                position = 0;
            }
        }
        run.progress(++done, total);
    }
    return true;
}

// ---- envelopes ---------------------------------------------------------------------------------------------

bool print_envelopes(AddressStore& store, int layout_id, PrintSettings& record) {
    Run run(layout_id, record, "Printing Envelopes");
    if (!run.ok()) return false;
    PrintJob& job = run.job;
    PrintService& service = print_service();
    const int total = selected_count(store);
    int done = 0;
    for (int p = 0; p < store.count(); ++p) {
        if (!selected(store, p)) continue;
        const std::vector<std::string> lines = envelope_lines(store.record_at(store.item(p)).fields);
        next_card(job);
        if (job.outlines) frame_card(job);
        clip_print(job.card);
        int widest = 0;
        for (const std::string& line : lines) widest = std::max(widest, service.measure_text(job.font_normal, line).width);
        const int left = (job.text.left + job.text.right) / 2 - widest / 2;
        int y = (job.text.top + job.text.bottom) / 2 - job.font_height * static_cast<int>(lines.size()) / 2;
        for (const std::string& line : lines) {
            service.draw_text(left, y, job.font_normal, kPrintBlack, line);
            y += job.font_height;
        }
        const int small = points_to_pixels(job.caps.dpi_y, 12);
        const FontHandle font = service.create_font(FontSpec{job.face, small, 400, false, true});
        y = job.text.top;
        const std::vector<std::string> parts = split_bars(settings().return_address);
        for (std::size_t i = 0; i < parts.size() && i < 5; ++i) {
            const std::string part = trim(parts[i]);
            if (part.empty()) continue;
            service.draw_text(job.text.left, y, font, kPrintBlack, part);
            y += small;
        }
        service.release_font(font);
        run.progress(++done, total);
    }
    return true;
}

}  // namespace domora
