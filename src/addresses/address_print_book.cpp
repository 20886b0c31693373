// The two page layouts: the address book (full page or daytimer pages) and
// the member list.
#include <algorithm>
#include <cmath>

#include "addresses/address_print.h"
#include "app/status_log.h"
#include "app/text.h"
#include "platform/print.h"
#include "printing/print_job.h"
#include "ui/popups.h"

namespace domora {

namespace {

bool selected(const AddressStore& store, int position) { return (store.marks_at(store.item(position)) & kSelectedMark) != 0; }

// The common frame again, kept apart from the labels' so each file stands alone.
bool start(int layout_id, PrintSettings& record, PrintJob& job) {
    validate_print_settings(layout_id, record);
    if (!Printer_Start(record, job)) {
        status_log_write("Printer_Start failed");
        return false;
    }
    OpenProgress();
    return true;
}

void finish(PrintJob& job) {
    CloseProgress();
    end_document(job);
}

// Entry lines: a "-" is a separator that adds an empty line only after a
// line that is neither empty nor a separator; other lines need a value.
void add_line(std::vector<std::string>& lines, const std::string& prefix, const std::string& value) {
    if (prefix == "-") {
        if (!lines.empty() && !lines.back().empty()) lines.push_back("");
        return;
    }
    const std::string v = trim(value);
    if (!v.empty()) lines.push_back(prefix + v);
}

char index_letter(const AddressValues& a) {
    std::string name = book_name(a);
    if (name.empty()) name = trim(a[kFieldCompany]);
    return name.empty() ? ' ' : static_cast<char>(upper_byte(static_cast<unsigned char>(name[0])));
}

bool labelled(const std::string& line, std::size_t& colon) {
    colon = line.find(':');
    if (colon == std::string::npos) return false;
    const std::string label = to_lower(line.substr(0, colon));
    return label == "home" || label == "work" || label == "cell" || label == "email" || label == "web";
}

void rule(const PrintJob& job, int& line) {
    print_service().fill_rect(Rect{job.text.left, line, job.text.right, line + job.line_width}, kPrintBlack);
    line += job.font_height / 2;
}

}  // namespace

std::string book_name(const AddressValues& a) {
    std::string name = trim(a[kFieldLast] + ", " + a[kFieldFirst]);
    // Without a last name the comma would lead; without either it would stand alone.
    if (name.rfind(",", 0) == 0) name = trim(name.substr(1));
    return name;
}

std::vector<std::string> book_entry_lines(const AddressValues& a) {
    std::vector<std::string> lines;
    add_line(lines, "*", book_name(a));
    add_line(lines, "", a[kFieldCompany]);
    add_line(lines, "", a[kFieldAddress1]);
    add_line(lines, "", a[kFieldAddress2]);
    std::string city = trim(a[kFieldCity] + ", " + a[kFieldState] + "  " + a[kFieldZip]);
    if (city.rfind(",", 0) == 0) city = city.substr(1);
    add_line(lines, "", city);
    add_line(lines, "", a[kFieldCountry]);
    add_line(lines, "-", "");
    add_line(lines, "Home: ", a[kFieldHomePhone]);
    add_line(lines, "Work: ", a[kFieldWorkPhone]);
    add_line(lines, "Cell: ", a[kFieldCellPhone]);
    add_line(lines, "Email: ", a[kFieldEmail]);
    add_line(lines, "Web: ", a[kFieldWebSite]);
    add_line(lines, "-", "");
    add_line(lines, "", a[kFieldMisc1]);
    add_line(lines, "", a[kFieldMisc2]);
    add_line(lines, "", a[kFieldMisc3]);
    add_line(lines, "-", "");
    return lines;
}

// ---- the address book -----------------------------------------------------------------------------------

bool print_address_book(AddressStore& store, int layout_id, PrintSettings& record) {
    PrintJob job;
    if (!start(layout_id, record, job)) return false;
    PrintService& service = print_service();
    next_card(job);
    if (job.outlines) frame_card(job);
    int line = job.text.top;
    bool first_on_page = true;
    char previous = 0;
    const int value_offset = service.measure_text(job.font_normal, "Email: ").width;
    const int bar_height = static_cast<int>(std::lround(1.2 * job.font_height));
    int total = 0, done = 0;
    for (int p = 0; p < store.count(); ++p) total += selected(store, p) ? 1 : 0;
    for (int p = 0; p < store.count(); ++p) {
        if (!selected(store, p)) continue;
        const AddressValues a = store.record_at(store.item(p)).fields;
        const std::vector<std::string> lines = book_entry_lines(a);
        const int height = job.font_height * (static_cast<int>(lines.size()) + 2);
        if (line + height > job.text.bottom && !first_on_page) {
            next_card(job);
            if (job.outlines) frame_card(job);
            line = job.text.top;
            first_on_page = true;
        }
        clip_print(job.card);
        const char letter = index_letter(a);
        const bool new_letter = first_on_page || letter != previous;
        const int headings = record.index_headings();
        if (headings == 1 && new_letter) {
            service.fill_rect(Rect{job.text.left, line, job.text.right, line + bar_height}, kPrintBlack);
            const std::string text(1, letter);
            const int w = service.measure_text(job.font_bold, text).width;
            service.draw_text((job.text.left + job.text.right - w) / 2, line + (bar_height - job.font_height) / 2, job.font_bold,
                              kPrintWhite, text);
            line += 2 * job.font_height;
        } else if (!first_on_page) {
            rule(job, line);
        }
        if (headings == 2 && new_letter) {
            std::string text = " ";
            text += letter;
            text += ' ';
            const int w = service.measure_text(job.font_bold, text).width;
            service.fill_rect(Rect{job.text.right - w, line, job.text.right, line + bar_height}, kPrintBlack);
            service.draw_text(job.text.right - w, line + (bar_height - job.font_height) / 2, job.font_bold, kPrintWhite, text);
        }
        for (const std::string& text : lines) {
            std::size_t colon = 0;
            if (!text.empty() && text[0] == '*') {
                service.draw_text(job.text.left, line, job.font_large, kPrintBlack, text.substr(1));
                line += job.large_font_height;
                continue;
            }
            if (labelled(text, colon)) {
                service.draw_text(job.text.left, line, job.font_normal, kPrintBlack, text.substr(0, colon + 1));
                service.draw_text(job.text.left + value_offset, line, job.font_normal, kPrintBlack, trim(text.substr(colon + 1)));
            } else if (!text.empty()) {
                service.draw_text(job.text.left, line, job.font_normal, kPrintBlack, text);
            }
            line += job.font_height;
        }
        previous = letter;
        first_on_page = false;
        ++done;
        UpdateProgress("Printing Address Book", std::to_string(done) + " of " + std::to_string(total), done, total);
    }
    finish(job);
    return true;
}

// ---- the member list -----------------------------------------------------------------------------------------

bool print_member_list(AddressStore& store, int layout_id, PrintSettings& record) {
    PrintJob job;
    if (!start(layout_id, record, job)) return false;
    PrintService& service = print_service();
    next_card(job);
    if (job.outlines) {
        clip_print(job.card, 2);
        service.frame_rect(job.card, job.line_width, kPrintBlack);
    }
    int line = job.text.top;
    const FontHandle font = job.font_normal;
    const int line_height = service.measure_text(font, "|^yg$@").height;
    auto width = [&](const std::string& text) { return service.measure_text(font, text).width; };
    auto phone = [](const AddressValues& a) {
        if (!a[kFieldCellPhone].empty()) return a[kFieldCellPhone];
        if (!a[kFieldHomePhone].empty()) return a[kFieldHomePhone];
        return a[kFieldWorkPhone];
    };
    // Widths count every address of the view, selected or not.
    int last_w = 0, first_w = 0, email_w = 0, phone_w = 0, city_w = 0, state_w = 0;
    int total = 0;
    for (int p = 0; p < store.count(); ++p) {
        const AddressValues a = store.record_at(store.item(p)).fields;
        last_w = std::max(last_w, width(a[kFieldLast] + "    "));
        first_w = std::max(first_w, width(a[kFieldFirst] + "    "));
        email_w = std::max(email_w, width(a[kFieldEmail] + "    "));
        phone_w = std::max(phone_w, width(phone(a) + "    "));
        city_w = std::max(city_w, width(a[kFieldCity] + "    "));
        state_w = std::max(state_w, width(a[kFieldState]));
        total += selected(store, p) ? 1 : 0;
    }
    const int gap = width("    ");
    int done = 0;
    for (int p = 0; p < store.count(); ++p) {
        if (!selected(store, p)) continue;
        const AddressValues a = store.record_at(store.item(p)).fields;
        if (line + line_height > job.text.bottom) {
            next_card(job);
            line = job.text.top;
        }
        clip_print(job.card);
        int x = job.text.left;
        if (a[kFieldFirst].empty() && a[kFieldLast].empty()) {
            service.set_clip(Rect{job.card.left, job.card.top, x + last_w + first_w - gap, job.card.bottom});
            service.draw_text(x, line, font, kPrintBlack, a[kFieldCompany]);
            x += last_w + first_w;
        } else {
            service.draw_text(x, line, font, kPrintBlack, a[kFieldLast]);
            x += last_w;
            if (x + first_w < job.text.right) {
                service.draw_text(x, line, font, kPrintBlack, a[kFieldFirst]);
                x += first_w;
            }
        }
        clip_print(job.card);
        const std::pair<std::string, int> columns[] = {
            {a[kFieldEmail], email_w}, {phone(a), phone_w}, {a[kFieldCity], city_w}, {a[kFieldState], state_w}};
        for (const auto& [text, w] : columns) {
            if (x + w < job.text.right) {
                service.draw_text(x, line, font, kPrintBlack, text);
                x += w;
            }
        }
        line = static_cast<int>(std::lround(std::max(line + 1.2 * line_height, static_cast<double>(job.text.top))));
        if (p != store.count() - 1) {
            // A rule one pixel tall: one with no height would print nothing.
            service.fill_rect(Rect{job.text.left, line, job.text.right, line + 1}, kPrintBlack);
            line += static_cast<int>(std::lround(0.1 * line_height));
        }
        ++done;
        UpdateProgress("Printing Member List", std::to_string(done) + " of " + std::to_string(total), done, total);
    }
    finish(job);
    return true;
}

}  // namespace domora
